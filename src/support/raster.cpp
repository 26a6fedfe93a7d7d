// Rasters, images, rectangles and lines.
#include "support/raster.h"

#include <algorithm>
#include <cstdlib>

#include "support/log.h"
#include "support/raster_blend.h"

Pixmap pixmap_create(int width, int height, uint32_t colour)
{
    Pixmap img;
    if (width < 0 || height < 0 || int64_t(width) * height > pixmap_max_pixels) {
        log_printf(stderr, "Pixmap of %d x %d pixels refused: too large\n", width, height);
        return img;
    }
    if (width == 0 || height == 0)
        return img;
    img.pixels.assign(size_t(width) * size_t(height), colour);
    img.width = width;
    img.height = height;
    return img;
}

Raster raster_of(Pixmap& image)
{
    if (image.pixels.size() < size_t(image.width) * size_t(image.height) || image.width <= 0 || image.height <= 0)
        return {};
    return {image.pixels.data(), image.width, image.height, image.width};
}

ImageView view_of(const Pixmap& image)
{
    if (image.pixels.size() < size_t(image.width) * size_t(image.height) || image.width <= 0 || image.height <= 0)
        return {};
    return {image.pixels.data(), image.width, image.height, image.width};
}

ImageView view_of(const Raster& raster)
{
    return {raster.pixels, raster.width, raster.height, raster.stride};
}

// The rectangle clipped to [0, width) x [0, height); false when nothing is left.
// 64-bit arithmetic so that extreme coordinates cannot overflow.
static bool clip_rect(int width, int height, int& x, int& y, int& w, int& h)
{
    int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
    int64_t x1 = std::min<int64_t>(int64_t(x) + w, width), y1 = std::min<int64_t>(int64_t(y) + h, height);
    if (x0 >= x1 || y0 >= y1)
        return false;
    x = int(x0);
    y = int(y0);
    w = int(x1 - x0);
    h = int(y1 - y0);
    return true;
}

Raster sub_raster(const Raster& parent, int x, int y, int w, int h)
{
    if (!raster_ok(parent) || !clip_rect(parent.width, parent.height, x, y, w, h))
        return {parent.pixels, 0, 0, parent.stride};
    return {parent.pixels + ptrdiff_t(y) * parent.stride + x, w, h, parent.stride};
}

ImageView sub_view(const ImageView& parent, int x, int y, int w, int h)
{
    if (!view_ok(parent) || !clip_rect(parent.width, parent.height, x, y, w, h))
        return {parent.pixels, 0, 0, parent.stride};
    return {parent.pixels + ptrdiff_t(y) * parent.stride + x, w, h, parent.stride};
}

uint32_t blend_pixel(uint32_t dst, uint32_t colour, uint32_t alpha)
{
    return blend_over(dst, colour, alpha & 255);
}

void raster_fill(const Raster& r, uint32_t colour)
{
    fill_rect(r, 0, 0, r.width, r.height, colour);
}

void fill_rect(const Raster& r, int x, int y, int w, int h, uint32_t colour)
{
    if (!raster_ok(r) || !clip_rect(r.width, r.height, x, y, w, h))
        return;
    for (int j = 0; j < h; j++) {
        uint32_t* d = r.pixels + ptrdiff_t(y + j) * r.stride + x;
        std::fill(d, d + w, colour);
    }
}

void blend_rect(const Raster& r, int x, int y, int w, int h, uint32_t colour)
{
    uint32_t a = colour >> 24;
    if (a == 255) {
        fill_rect(r, x, y, w, h, colour);
        return;
    }
    if (a == 0 || !raster_ok(r) || !clip_rect(r.width, r.height, x, y, w, h))
        return;
    const BlendSource s = blend_source(colour, a);
    for (int j = 0; j < h; j++) {
        uint32_t* d = r.pixels + ptrdiff_t(y + j) * r.stride + x;
        for (int i = 0; i < w; i++)
            d[i] = blend_with(d[i], s);
    }
}

void draw_hline(const Raster& r, int x, int y, int length, uint32_t colour)
{
    blend_rect(r, x, y, length, 1, colour);
}

void draw_vline(const Raster& r, int x, int y, int length, uint32_t colour)
{
    blend_rect(r, x, y, 1, length, colour);
}

// Draws the dashes of a line along one axis: `start` is the line's first coordinate on that
// axis, `limit` the raster's size on it; `put(p)` draws the pixel at coordinate p.
template <class Put>
static void dash_run(int start, int length, int limit, int dash, int gap, int phase, Put put)
{
    if (length <= 0 || dash <= 0)
        return;
    int64_t period = int64_t(dash) + std::max(gap, 0);
    int64_t first = std::max<int64_t>(0, -int64_t(start));  // first visible index along the line
    int64_t last = std::min<int64_t>(length, int64_t(limit) - start);
    if (first >= last)
        return;
    int64_t pos = (first + phase) % period;
    if (pos < 0)
        pos += period;
    for (int64_t i = first; i < last; i++) {
        if (pos < dash)
            put(int(start + i));
        if (++pos == period)
            pos = 0;
    }
}

void draw_dashed_hline(const Raster& r, int x, int y, int length, uint32_t colour, int dash, int gap, int phase)
{
    uint32_t a = colour >> 24;
    if (!raster_ok(r) || a == 0 || y < 0 || y >= r.height)
        return;
    uint32_t* row = r.pixels + ptrdiff_t(y) * r.stride;
    const Pen pen(colour);
    dash_run(x, length, r.width, dash, gap, phase, [&](int p) { pen.put(row[p]); });
}

void draw_dashed_vline(const Raster& r, int x, int y, int length, uint32_t colour, int dash, int gap, int phase)
{
    uint32_t a = colour >> 24;
    if (!raster_ok(r) || a == 0 || x < 0 || x >= r.width)
        return;
    uint32_t* col = r.pixels + x;
    const Pen pen(colour);
    dash_run(y, length, r.height, dash, gap, phase, [&](int p) { pen.put(col[ptrdiff_t(p) * r.stride]); });
}

void draw_line(const Raster& r, int x0, int y0, int x1, int y1, uint32_t colour)
{
    uint32_t a = colour >> 24;
    if (!raster_ok(r) || a == 0)
        return;
    const Pen pen(colour);
    int64_t dx = int64_t(x1) - x0, dy = int64_t(y1) - y0;
    bool x_major = std::llabs(dx) >= std::llabs(dy);
    // Walk the major axis: coordinate m0 + sm * i for i in [0, n], minor coordinate
    // n0 + sn * floor((2 * i * dn + n) / (2 * n)) (the ideal line rounded, halves onward).
    int64_t m0 = x_major ? x0 : y0, n0 = x_major ? y0 : x0;
    int64_t dm = x_major ? dx : dy, dn = x_major ? dy : dx;
    int sm = dm < 0 ? -1 : 1, sn = dn < 0 ? -1 : 1;
    int64_t n = std::llabs(dm), dnn = std::llabs(dn);
    int m_limit = x_major ? r.width : r.height, n_limit = x_major ? r.height : r.width;
    // Steps whose major coordinate lies inside the raster.
    int64_t i_first, i_last;
    if (sm > 0) {
        i_first = std::max<int64_t>(0, -m0);
        i_last = std::min<int64_t>(n, m_limit - 1 - m0);
    } else {
        i_first = std::max<int64_t>(0, m0 - (m_limit - 1));
        i_last = std::min<int64_t>(n, m0);
    }
    if (i_first > i_last)
        return;
    if (n == 0) {  // a single point
        int64_t px = x0, py = y0;
        if (px >= 0 && px < r.width && py >= 0 && py < r.height) {
            pen.put(r.pixels[ptrdiff_t(py) * r.stride + px]);
        }
        return;
    }
    // Error term of the minor coordinate at step i_first, then one addition per step.
    __int128 num = __int128(2) * i_first * dnn + n;
    int64_t q = int64_t(num / (2 * n)), rem = int64_t(num % (2 * n));
    for (int64_t i = i_first; i <= i_last; i++) {
        int64_t m = m0 + sm * i, mn = n0 + sn * q;
        if (mn >= 0 && mn < n_limit) {
            int64_t px = x_major ? m : mn, py = x_major ? mn : m;
            pen.put(r.pixels[ptrdiff_t(py) * r.stride + px]);
        }
        rem += 2 * dnn;
        while (rem >= 2 * n) {
            rem -= 2 * n;
            q++;
        }
    }
}

void draw_rect_outline(const Raster& r, int x, int y, int w, int h, uint32_t colour)
{
    if (w <= 0 || h <= 0)
        return;
    draw_hline(r, x, y, w, colour);
    if (h > 1)
        draw_hline(r, x, clamp_to_int(int64_t(y) + h - 1), w, colour);
    if (h > 2) {
        draw_vline(r, x, clamp_to_int(int64_t(y) + 1), h - 2, colour);
        if (w > 1)
            draw_vline(r, clamp_to_int(int64_t(x) + w - 1), clamp_to_int(int64_t(y) + 1), h - 2, colour);
    }
}
