// The channel rule shared by the TIFF and FITS readers: a pixel's linear float samples to
// one grey value or to 8-bit RGBA.
#pragma once
#include <cmath>

#include "media/image_read.h"

// Three or more samples are averaged; otherwise the first is the grey value.
inline float samples_to_grey(const float* s, int count)
{
    return count >= 3 ? (s[0] + s[1] + s[2]) * 0.33333334f : s[0];
}

// The first samples are copied, a single grey sample (with or without alpha) is repeated
// into R, G and B, a missing alpha is opaque. Colours are encoded for display, alpha stays
// linear.
inline void samples_to_rgba8(const float* s, int count, unsigned char* out)
{
    if (count >= 3) {
        out[0] = linear_to_srgb8(s[0]);
        out[1] = linear_to_srgb8(s[1]);
        out[2] = linear_to_srgb8(s[2]);
    } else {
        out[0] = out[1] = out[2] = linear_to_srgb8(s[0]);
    }
    const int alpha = count == 2 ? 1 : count >= 4 ? 3 : -1;
    if (alpha < 0) {
        out[3] = 255;
    } else {
        const float a = s[alpha];
        out[3] = a >= 1.0f ? 255 : a > 0.0f ? (unsigned char)std::nearbyint(a * 255.0f) : 0;
    }
}
