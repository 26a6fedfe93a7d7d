// Software drawing into 32-bit pixel buffers: rasters, images, rectangles, lines and blits.
//
// Pixels are uint32_t 0xAARRGGBB, so a screen buffer can be copied as it is into an
// ARGB8888 streaming texture. Every primitive clips to its raster: negative coordinates,
// shapes larger than the raster, zero or negative sizes and a null or empty raster are all
// safe and draw only what lies inside. Coordinates are pixels; the drawing layer knows no
// interface scale, callers at scale 2 pass doubled coordinates and use the 2x fonts.
//
// Blending is "source over destination" with the source alpha a (0..255), per channel
//     out = round((s * a + d * (255 - a)) / 255)
// and for the alpha channel out_a = a + round(d_a * (255 - a) / 255), so an opaque
// destination stays opaque. The rounding is exact (no per-pixel division, no drift).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// A writable view of pixels: row y starts at pixels + y * stride (stride in pixels, >= width).
struct Raster {
    uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
};

// A read-only view, the source of blits.
struct ImageView {
    const uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
};

// An owning picture, rows packed (stride == width).
struct Pixmap {
    std::vector<uint32_t> pixels;
    int width = 0;
    int height = 0;
};

// The largest image the drawing layer allocates (pixels): far beyond any screen or
// interface image, small enough that width * height * 4 never overflows.
constexpr int64_t pixmap_max_pixels = int64_t(1) << 28;

// A width x height image filled with `colour`. Negative sizes or more than pixmap_max_pixels
// pixels give an empty image and a log line; a zero size gives an empty image silently.
Pixmap pixmap_create(int width, int height, uint32_t colour = 0);

Raster raster_of(Pixmap& image);
ImageView view_of(const Pixmap& image);
ImageView view_of(const Raster& raster);

// The part of the rectangle (x, y, w, h) that lies inside `parent`, as a view sharing its
// pixels: drawing into it is drawing into the parent clipped to that rectangle. Its (0, 0)
// is the parent's (max(x, 0), max(y, 0)) (the clipped top-left corner). A rectangle outside
// the parent gives a view of size 0 in which every primitive draws nothing.
Raster sub_raster(const Raster& parent, int x, int y, int w, int h);
ImageView sub_view(const ImageView& parent, int x, int y, int w, int h);

inline uint32_t argb(int a, int r, int g, int b)
{
    return (uint32_t(a & 255) << 24) | (uint32_t(r & 255) << 16) | (uint32_t(g & 255) << 8) | uint32_t(b & 255);
}

// `colour` over `dst` with alpha `alpha` (the colour's own alpha is ignored): the formula above.
uint32_t blend_pixel(uint32_t dst, uint32_t colour, uint32_t alpha);

// Every pixel of the raster set to `colour` (copied, not blended).
void raster_fill(const Raster& r, uint32_t colour);
// Pixels of the rectangle set to `colour` (copied, not blended: the opaque fast path).
void fill_rect(const Raster& r, int x, int y, int w, int h, uint32_t colour);
// `colour` blended over the rectangle with the colour's alpha (255 copies, 0 draws nothing).
void blend_rect(const Raster& r, int x, int y, int w, int h, uint32_t colour);

// Lines blend with the colour's alpha. Horizontal: pixels x .. x + length - 1 of row y;
// vertical: rows y .. y + length - 1 of column x. A length <= 0 draws nothing.
void draw_hline(const Raster& r, int x, int y, int length, uint32_t colour);
void draw_vline(const Raster& r, int x, int y, int length, uint32_t colour);

// Dashed lines: pixel i of the line (i = 0 at x, or at y) is drawn when
// (i + phase) mod (dash + gap) < dash, so a phase of k moves the pattern k pixels back
// along the line (scrolling dashes keep moving smoothly). Any phase, negative too, works.
// dash <= 0 draws nothing; gap <= 0 draws a solid line.
void draw_dashed_hline(const Raster& r, int x, int y, int length, uint32_t colour, int dash, int gap, int phase);
void draw_dashed_vline(const Raster& r, int x, int y, int length, uint32_t colour, int dash, int gap, int phase);

// A one-pixel line from (x0, y0) to (x1, y1), both end points drawn, no pixel drawn twice.
// Along the longer axis every pixel is visited once; the other coordinate is the exact
// rounding (halves away from the start) of the ideal line, so a line and its reverse cover
// the same pixels except where the ideal line passes exactly between two. Work is bounded
// by the raster size whatever the coordinates.
void draw_line(const Raster& r, int x0, int y0, int x1, int y1, uint32_t colour);

// The one-pixel border of the rectangle, each pixel blended once.
void draw_rect_outline(const Raster& r, int x, int y, int w, int h, uint32_t colour);

// `src` with its top-left at (x, y), blended with the source alpha per pixel. Runs of opaque
// source pixels are copied whole and transparent ones skipped, so an opaque image costs a
// row copy per row.
void blit(const Raster& dst, int x, int y, const ImageView& src);
// `src` copied with its alpha as it is, no blending: for pictures known to be opaque.
// The source may overlap the destination (a view of the same pixels scrolls them); the
// other blits read a source distinct from their destination.
void blit_copy(const Raster& dst, int x, int y, const ImageView& src);
// `src` with every channel multiplied by the matching channel of `modulate` / 255, then
// blended: 0xFFFFFFFF is plain blit, 0x80FFFFFF half transparent, 0xFF00FF00 keeps green
// only (a tint of a white icon draws it in the tint's colour).
void blit_modulated(const Raster& dst, int x, int y, const ImageView& src, uint32_t modulate);

enum class ScaleFilter { nearest, bilinear };
// `src` stretched over the rectangle (x, y, w, h) and blended. Destination pixel centres map
// onto the source as (i + 0.5) * src_w / w (likewise in y). Nearest takes the source pixel
// under that point; bilinear interpolates the four around it (clamped at the edges) in
// premultiplied alpha, so transparent pixels lend no colour to their neighbours.
void blit_scaled(const Raster& dst, int x, int y, int w, int h, const ImageView& src, ScaleFilter filter);
