// The whole sound of a picture at once, without a sound card: what playback would play from
// the first sample to the last, for saving to a file. Block modes render every block on all
// processors without the pauses the live workers take; live mode runs the live generator from
// column 0 to the last column at the cursor's speed, so the file sounds as it was heard.
#pragma once
#include <atomic>
#include <vector>

#include "engine/playback.h"

struct RenderInput {
    const float* const* picture = nullptr;  // rows of the picture, row 0 at the top
    int width = 0, height = 0;
    float fmin = 27.5f, fmax = 20000.0f, scale_base = 2.0f, time_resolution = 100.0f;
    int sample_rate = 44100;
    bool long_blocks = false;
    int mode = synthesis_noise;             // synthesis_noise, synthesis_lossless, synthesis_live
    // Lossless mode: the original picture (same size) and sound.
    const float* const* original_image = nullptr;
    const float* original_sound = nullptr;
    long long original_sound_length = 0;    // real samples: the output length
    long long original_sound_size = 0;      // samples readable, padding included
    int threads = 0;                        // 0: every processor
    // Called on the calling thread with the fraction done, rising to 1.
    void (*progress)(void* user, double fraction) = nullptr;
    void* user = nullptr;
    // Raised by another thread to stop the rendering between blocks (or chunks of live
    // output): render_to_sound then returns false with `out` empty, logging nothing.
    const std::atomic<bool>* cancel = nullptr;
};

// Renders into `out`. Block modes are scaled by the normalisation gain G = 1/peak, as playback
// scales them (a silent picture stays silent); live samples come out divided by the level
// divisor as playback divides them. Returns false, with `out` empty and one line logged, when
// the input gives no sound (no picture, no usable geometry, lossless without its original),
// or silently when it was cancelled.
bool render_to_sound(const RenderInput& in, std::vector<float>& out);
