// Two-dimensional convolution of the accumulated picture with a layer, for the two convolution
// blending modes, computed with FFTs on the GPU (OpenCL and clFFT) when one is available and on
// the processor otherwise. Spectra and results are cached by content: after an edit elsewhere
// in the stack, only the pictures that changed are transformed again.
//
// Transform frame: fw = next_fast_size(2 width - 1) by fh = next_fast_size(2 height - 1), large
// enough for a linear convolution; N = fw × fh. A spectrum is N interleaved complex values,
// row-major with rows of fw, scaled by 1/N; the backward transform is unscaled.
#pragma once
#include <cstdint>

#include "engine/image.h"

// Replaces `accumulated` by its convolution with `layer`, whose pixel (cx, cy) is the kernel
// origin: each layer pixel adds a copy of the picture shifted by its distance from (cx, cy) and
// scaled by its value. With `looped` what leaves at the left or right edge comes back at the
// other; past the top and bottom it is lost either way. Safe to call from any thread (calls
// are serialised); compositing calls it under the image lock.
void convolve_layer(const Image layer, Image accumulated, int width, int height, int cx, int cy, int looped);

// XXH64 (seed 0) over the rows in order, width × 4 bytes each; a missing row counts as zeros.
uint64_t image_hash(const Image image, int width, int height);

// The spectrum of `image` (whose hash is `hash`) laid into the fw × fh frame: from the cache, or
// computed and cached. Stays valid until release_unused_convolution_buffers frees it, so the
// caller must keep compositing from running meanwhile (hold the image lock).
const float* image_spectrum(const Image image, uint64_t hash, int width, int height, int fw, int fh);

// Copies (add 0, after clearing `destination`) or adds (add 1) scale × result[py × fw + px] to
// destination[py + oy][px + ox], for every point of the fw × fh result that lands inside the
// width × height destination. Missing destination rows are skipped.
void place_result(const float* result, Image destination, int fw, int fh, int width, int height, int ox, int oy,
                  float scale, int add);

// End of a composite: frees every cached spectrum and result that this composite did not use,
// then marks the rest unused for the next one. Their memory is kept for reuse by the next
// composite and freed at the end of it.
void release_unused_convolution_buffers();

// Transforms computed since the last reset, per backend: the cache's promise made countable.
struct ConvolutionStats {
    long cpu_forward = 0, cpu_backward = 0;
    long gpu_forward = 0, gpu_backward = 0;
};
ConvolutionStats convolution_stats();
void convolution_stats_reset();
// Buffers the cache holds now (spectra and results).
int convolution_cached_buffers();

// False keeps every transform on the processor even when a GPU is available (tests and
// benchmarks compare the backends); true, the default, lets gpu_available decide.
void convolution_allow_gpu(bool allow);
