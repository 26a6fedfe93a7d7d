// Pixmap blits: blended, copied, modulated and scaled.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

#include "support/raster.h"
#include "support/raster_blend.h"

namespace {

// The overlap of a w x h source placed at (x, y) with the destination: destination
// rectangle (dx, dy, w, h) and the source offset (sx, sy). False when nothing overlaps.
struct Overlap {
    int dx, dy, sx, sy, w, h;
};

bool overlap(const Raster& dst, int x, int y, const ImageView& src, Overlap& o)
{
    if (!raster_ok(dst) || !view_ok(src))
        return false;
    int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
    int64_t x1 = std::min<int64_t>(int64_t(x) + src.width, dst.width);
    int64_t y1 = std::min<int64_t>(int64_t(y) + src.height, dst.height);
    if (x0 >= x1 || y0 >= y1)
        return false;
    o = {int(x0), int(y0), int(x0 - x), int(y0 - y), int(x1 - x0), int(y1 - y0)};
    return true;
}

}  // namespace

void blit(const Raster& dst, int x, int y, const ImageView& src)
{
    Overlap o;
    if (!overlap(dst, x, y, src, o))
        return;
    for (int j = 0; j < o.h; j++) {
        uint32_t* d = dst.pixels + ptrdiff_t(o.dy + j) * dst.stride + o.dx;
        const uint32_t* s = src.pixels + ptrdiff_t(o.sy + j) * src.stride + o.sx;
        // A whole opaque row is one copy; the test is a branch-free pass the compiler vectorises.
        uint32_t all = 0xFFFFFFFFu;
        for (int i = 0; i < o.w; i++)
            all &= s[i];
        if ((all >> 24) == 255) {
            std::memcpy(d, s, size_t(o.w) * sizeof(uint32_t));
            continue;
        }
        int i = 0;
        while (i < o.w) {
            uint32_t a = s[i] >> 24;
            if (a == 255) {
                int e = i + 1;
                while (e < o.w && (s[e] >> 24) == 255)
                    e++;
                std::memcpy(d + i, s + i, size_t(e - i) * sizeof(uint32_t));
                i = e;
            } else if (a == 0) {
                i++;
            } else {
                d[i] = blend_with(d[i], blend_source(s[i], a));
                i++;
            }
        }
    }
}

void blit_copy(const Raster& dst, int x, int y, const ImageView& src)
{
    Overlap o;
    if (!overlap(dst, x, y, src, o))
        return;
    // The source may be the destination itself (scrolling): rows go bottom-up when the copy
    // moves towards higher addresses, and memmove handles the overlap within a row.
    const uint32_t* s0 = src.pixels + ptrdiff_t(o.sy) * src.stride + o.sx;
    uint32_t* d0 = dst.pixels + ptrdiff_t(o.dy) * dst.stride + o.dx;
    const bool backwards = std::less<const uint32_t*>()(s0, d0);
    for (int k = 0; k < o.h; k++) {
        int j = backwards ? o.h - 1 - k : k;
        std::memmove(d0 + ptrdiff_t(j) * dst.stride, s0 + ptrdiff_t(j) * src.stride, size_t(o.w) * sizeof(uint32_t));
    }
}

void blit_modulated(const Raster& dst, int x, int y, const ImageView& src, uint32_t modulate)
{
    if (modulate == 0xFFFFFFFFu) {
        blit(dst, x, y, src);
        return;
    }
    Overlap o;
    if ((modulate >> 24) == 0 || !overlap(dst, x, y, src, o))
        return;
    const uint32_t ma = modulate >> 24, mr = (modulate >> 16) & 255, mg = (modulate >> 8) & 255, mb = modulate & 255;
    for (int j = 0; j < o.h; j++) {
        uint32_t* d = dst.pixels + ptrdiff_t(o.dy + j) * dst.stride + o.dx;
        const uint32_t* s = src.pixels + ptrdiff_t(o.sy + j) * src.stride + o.sx;
        for (int i = 0; i < o.w; i++) {
            uint32_t p = s[i];
            uint32_t a = div255((p >> 24) * ma);
            if (a == 0)
                continue;
            uint32_t c = (div255(((p >> 16) & 255) * mr) << 16) | (div255(((p >> 8) & 255) * mg) << 8) |
                         div255((p & 255) * mb);
            d[i] = blend_over(d[i], c, a);
        }
    }
}

// Premultiplied form of an ARGB pixel, channels rounded and kept <= alpha.
static inline void premultiply(uint32_t p, float out[4])
{
    float a = float(p >> 24);
    out[0] = a;
    out[1] = float((p >> 16) & 255) * a;
    out[2] = float((p >> 8) & 255) * a;
    out[3] = float(p & 255) * a;
}

void blit_scaled(const Raster& dst, int x, int y, int w, int h, const ImageView& src, ScaleFilter filter)
{
    if (!raster_ok(dst) || !view_ok(src) || w <= 0 || h <= 0)
        return;
    if (w == src.width && h == src.height) {
        blit(dst, x, y, src);
        return;
    }
    int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
    int64_t x1 = std::min<int64_t>(int64_t(x) + w, dst.width), y1 = std::min<int64_t>(int64_t(y) + h, dst.height);
    if (x0 >= x1 || y0 >= y1)
        return;
    if (filter == ScaleFilter::nearest) {
        // Source column of destination column i: floor((2 i + 1) * src_w / (2 w)), exact in integers.
        std::vector<int> cols(size_t(x1 - x0));
        for (int64_t X = x0; X < x1; X++)
            cols[size_t(X - x0)] = int(((2 * (X - x) + 1) * src.width) / (2 * int64_t(w)));
        for (int64_t Y = y0; Y < y1; Y++) {
            int sy = int(((2 * (Y - y) + 1) * src.height) / (2 * int64_t(h)));
            const uint32_t* s = src.pixels + ptrdiff_t(sy) * src.stride;
            uint32_t* d = dst.pixels + ptrdiff_t(Y) * dst.stride;
            for (int64_t X = x0; X < x1; X++) {
                uint32_t p = s[cols[size_t(X - x0)]];
                d[X] = blend_over(d[X], p, p >> 24);
            }
        }
        return;
    }
    // Bilinear: position (i + 0.5) * src / dst - 0.5, clamped to the source's pixel centres.
    struct Tap {
        int i0, i1;
        float f;
    };
    auto taps = [](int64_t from, int64_t to, int64_t origin, int dst_size, int src_size) {
        std::vector<Tap> t(size_t(to - from));
        double k = double(src_size) / dst_size;
        for (int64_t i = from; i < to; i++) {
            double p = (double(i - origin) + 0.5) * k - 0.5;
            p = std::clamp(p, 0.0, double(src_size - 1));
            int i0 = int(p);
            int i1 = std::min(i0 + 1, src_size - 1);
            t[size_t(i - from)] = {i0, i1, float(p - i0)};
        }
        return t;
    };
    std::vector<Tap> tx = taps(x0, x1, x, w, src.width), ty = taps(y0, y1, y, h, src.height);
    for (int64_t Y = y0; Y < y1; Y++) {
        const Tap& v = ty[size_t(Y - y0)];
        const uint32_t* r0 = src.pixels + ptrdiff_t(v.i0) * src.stride;
        const uint32_t* r1 = src.pixels + ptrdiff_t(v.i1) * src.stride;
        uint32_t* d = dst.pixels + ptrdiff_t(Y) * dst.stride;
        for (int64_t X = x0; X < x1; X++) {
            const Tap& u = tx[size_t(X - x0)];
            float p00[4], p01[4], p10[4], p11[4];
            premultiply(r0[u.i0], p00);
            premultiply(r0[u.i1], p01);
            premultiply(r1[u.i0], p10);
            premultiply(r1[u.i1], p11);
            float w00 = (1 - u.f) * (1 - v.f), w01 = u.f * (1 - v.f), w10 = (1 - u.f) * v.f, w11 = u.f * v.f;
            float q[4];
            for (int c = 0; c < 4; c++)
                q[c] = p00[c] * w00 + p01[c] * w01 + p10[c] * w10 + p11[c] * w11;
            // Back to 0..255: alpha, then each channel premultiplied by alpha / 255 and kept <= alpha.
            uint32_t a = uint32_t(std::clamp(q[0], 0.0f, 255.0f) + 0.5f);
            if (a == 0)
                continue;
            uint32_t ch[3];
            for (int c = 0; c < 3; c++)
                ch[c] = std::min<uint32_t>(a, uint32_t(std::clamp(q[c + 1] * (1.0f / 255.0f), 0.0f, 255.0f) + 0.5f));
            uint32_t pm = (a << 24) | (ch[0] << 16) | (ch[1] << 8) | ch[2];
            d[X] = blend_with(d[X], blend_source_premultiplied(pm));
        }
    }
}
