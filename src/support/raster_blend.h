// Inner loops shared by the drawing files: source-over blending two channels at a time.
#pragma once
#include <cstdint>
#include <climits>

#include "support/raster.h"

inline bool raster_ok(const Raster& r)
{
    return r.pixels && r.width > 0 && r.height > 0 && r.stride >= r.width;
}

inline bool view_ok(const ImageView& v)
{
    return v.pixels && v.width > 0 && v.height > 0 && v.stride >= v.width;
}

// A colour and its alpha pre-multiplied once, two 16-bit lanes per word: red and blue in
// `rb`, alpha and green in `ag`. The alpha lane holds 255 * a, which makes the result's
// alpha a + d_a * (255 - a) / 255 (an opaque destination stays opaque).
struct BlendSource {
    uint32_t rb;
    uint32_t ag;
    uint32_t inv;
};

inline BlendSource blend_source(uint32_t colour, uint32_t a)
{
    return {(colour & 0xFF00FFu) * a, (((colour >> 8) & 0xFFu) | 0xFF0000u) * a, 255u - a};
}

// Same as blend_source for a source already multiplied by its alpha (premultiplied ARGB,
// every colour channel <= the alpha, which keeps the lanes from overflowing).
inline BlendSource blend_source_premultiplied(uint32_t p)
{
    return {(p & 0xFF00FFu) * 255u, ((p >> 8) & 0xFF00FFu) * 255u, 255u - (p >> 24)};
}

// Each lane holds x + 128 with x <= 255 * 255; (t + (t >> 8)) >> 8 is then exactly
// round(x / 255), and no lane can carry into the next (the sums stay below 65,536).
inline uint32_t blend_with(uint32_t d, const BlendSource& s)
{
    uint32_t rb = s.rb + (d & 0xFF00FFu) * s.inv + 0x800080u;
    uint32_t ag = s.ag + ((d >> 8) & 0xFF00FFu) * s.inv + 0x800080u;
    rb = ((rb + ((rb >> 8) & 0xFF00FFu)) >> 8) & 0xFF00FFu;
    ag = (ag + ((ag >> 8) & 0xFF00FFu)) & 0xFF00FF00u;
    return rb | ag;
}

// A colour ready to be put on single pixels: opaque colours are stored, others blended.
struct Pen {
    BlendSource s;
    uint32_t colour;
    bool opaque;
    explicit Pen(uint32_t c) : s(blend_source(c, c >> 24)), colour(c | 0xFF000000u), opaque((c >> 24) == 255) {}
    void put(uint32_t& d) const { d = opaque ? colour : blend_with(d, s); }
};

inline uint32_t blend_over(uint32_t d, uint32_t colour, uint32_t a)
{
    if (a == 255)
        return colour | 0xFF000000u;
    if (a == 0)
        return d;
    return blend_with(d, blend_source(colour, a));
}

// round(x / 255) for 0 <= x <= 255 * 255.
inline uint32_t div255(uint32_t x)
{
    x += 128;
    return (x + (x >> 8)) >> 8;
}

inline int clamp_to_int(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int(v);
}
