#include "media/resample.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "engine/fft.h"
#include "media/sound_read.h"
#include "support/alloc.h"
#include "support/log.h"

std::vector<float> resample_sound(std::vector<float> samples, int from_rate, int to_rate)
{
    const int r1 = from_rate, r2 = to_rate;
    const size_t c = samples.size();
    if (c == 0) {
        log_printf(stderr, "In resample_sound(): no samples to resample.\n");
        return {};
    }
    if (r1 < 1 || r1 > sound_rate_max || r2 < 1 || r2 > sound_rate_max) {
        log_printf(stderr, "In resample_sound(): cannot resample from %d Hz to %d Hz.\n", r1, r2);
        return {};
    }
    // Whole seconds of sound, so that the two transform sizes are in the exact ratio of the
    // rates. x is single precision; should it round below c / r1 the padding is widened,
    // since the sound must fit the transform.
    const float x = (float)c / (float)r1;
    uint64_t seconds = (uint64_t)std::ceil(x);
    if (seconds * (uint64_t)r1 < c)
        seconds = (c + (uint64_t)r1 - 1) / (uint64_t)r1;
    const uint64_t l1 = seconds * (uint64_t)r1, l2 = seconds * (uint64_t)r2;
    const uint64_t limit = sound_sample_limit();
    if (l1 > limit || l2 > limit) {
        log_printf(stderr, "In resample_sound(): %llu samples at %d Hz are too long to resample.\n",
                   (unsigned long long)c, r1);
        return {};
    }
    const int n1 = (int)l1, n2 = (int)l2;

    std::vector<float> spectrum = std::move(samples);
    resize_with_huge_pages(spectrum, (size_t)n1, 0.0f);
    // Plans of their own, not the shared cache: these sizes are seldom met twice, and a
    // cached plan of a whole sound would hold its tables and push out the engine's.
    real_fft_with_plan(*fft_plan_build(n1), spectrum.data(), spectrum.data(), FFT_FORWARD);

    // Halfcomplex layout: real parts from the start, imaginary parts from the end. The bins
    // both lengths share keep their places; an odd length's last bin has a real part of its
    // own in the middle, which goes to the same bin.
    std::vector<float> out;
    resize_with_huge_pages(out, (size_t)n2, 0.0f);
    if (r1 <= r2) {
        const int h = n1 / 2;
        memcpy(out.data(), spectrum.data(), (size_t)h * sizeof(float));
        if (n1 % 2)
            out[(size_t)h] = spectrum[(size_t)h];
        memcpy(out.data() + (n2 - h), spectrum.data() + (n1 - h), (size_t)h * sizeof(float));
    } else {
        const int h = n2 / 2;
        memcpy(out.data(), spectrum.data(), (size_t)h * sizeof(float));
        if (n2 % 2)
            out[(size_t)h] = spectrum[(size_t)h];
        memcpy(out.data() + (n2 - h), spectrum.data() + (n1 - h), (size_t)h * sizeof(float));
        // Taper the top of the narrower band, so its edge does not ring.
        for (int64_t i = (int64_t)std::nearbyint(0.46 * n2); 2 * i < n2; i++) {
            const float w = (float)((std::cos(((double)i / n2 - 0.46) * 25.0000057) + 1.0) * 0.5);
            out[(size_t)i] *= w;
            if (i > 0)
                out[(size_t)(n2 - i)] *= w;
        }
    }
    std::vector<float>().swap(spectrum);
    real_fft_with_plan(*fft_plan_build(n2), out.data(), out.data(), FFT_BACKWARD);

    float count_f = std::nearbyint((float)r2 * x);
    size_t count = count_f < 0.0f ? 0 : (size_t)count_f;
    if (count > (size_t)n2)
        count = (size_t)n2;
    if (count == 0) {
        log_printf(stderr, "In resample_sound(): %llu samples at %d Hz are shorter than one sample at %d Hz.\n",
                   (unsigned long long)c, r1, r2);
        return {};
    }
    out.resize(count);
    out.shrink_to_fit();
    return out;
}
