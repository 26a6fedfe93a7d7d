#include "layers/convolution.h"

#include <atomic>

#include "support/log.h"

// This build has no FFT convolution yet: the accumulated picture stays as it is. Said once per
// run, since a stroke recomposites many times a second.
void convolve_layer(const Image layer, Image accumulated, int width, int height, int cx, int cy, int looped)
{
    static std::atomic<bool> said{false};
    if (!said.exchange(true))
        log_printf(stderr, "Convolution blending is not available in this build\n");
}

void release_unused_convolution_buffers() {}
