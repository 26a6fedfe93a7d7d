// A small vector rasteriser for the interface images: shapes in design units, filled with
// 8 × 8 supersampled coverage into a premultiplied RGBA float canvas, so that one
// description draws crisp at any pixel scale (1× and 2× come from the same shapes).
#pragma once
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

struct vec2 {
    float x, y;
};

// Straight (not premultiplied) sRGB colour, each channel 0..1.
struct rgba {
    float r, g, b, a;
};

rgba rgb_hex(uint32_t rrggbb, float alpha = 1.0f);
rgba mix(rgba a, rgba b, float t);
rgba with_alpha(rgba c, float alpha);

using contour = std::vector<vec2>;
// Even-odd within a polygon (a contour inside another cuts a hole); a shape is the union of
// its polygons, so overlapping strokes never cancel each other.
struct polygon {
    std::vector<contour> contours;
};
using shape = std::vector<polygon>;

struct canvas {
    int width = 0, height = 0;  // pixels
    float scale = 1;            // pixels per design unit
    std::vector<float> px;      // premultiplied RGBA, 4 floats per pixel
};

// A canvas of width × height design units, at `scale` pixels per unit.
canvas canvas_make(float width, float height, float scale);

// Coverage of a shape, one float 0..1 per pixel of the canvas.
std::vector<float> shape_coverage(const canvas& c, const shape& s);

// Paint receives the pixel centre in design units.
using paint_fn = std::function<rgba(vec2)>;
void fill(canvas& c, const shape& s, rgba colour);
void fill_paint(canvas& c, const shape& s, const paint_fn& paint);
// Composites `colour` with per-pixel coverage `cov` (canvas sized), moved by (dx, dy) pixels.
void fill_coverage(canvas& c, std::span<const float> cov, rgba colour, int dx = 0, int dy = 0);
// Three box passes approximate a gaussian of about `radius` pixels.
void blur(std::vector<float>& cov, int width, int height, float radius);
// Keeps only the part of the canvas inside the coverage (alpha multiplied by it).
void mask(canvas& c, std::span<const float> cov);
// Draws `src` onto `dst` with its top-left corner at pixel (x, y), clipped.
void blit(canvas& dst, const canvas& src, int x, int y);

// Shape builders, all in design units.
contour rect_contour(float x, float y, float w, float h);
contour rounded_rect_contour(float x, float y, float w, float h, float r);
contour ellipse_contour(float cx, float cy, float rx, float ry);
shape rect(float x, float y, float w, float h);
shape rounded_rect(float x, float y, float w, float h, float r);
shape circle(float cx, float cy, float r);
shape ring(float cx, float cy, float r_out, float r_in);
shape poly(std::vector<vec2> points);
// A polyline of width `w` with round joins and round (or square-cut) ends.
shape stroke(std::span<const vec2> points, float w, bool round_ends = true, bool closed = false);
// An arc of radius r around (cx, cy), angles in radians clockwise from 12 o'clock.
shape arc_stroke(float cx, float cy, float r, float a0, float a1, float w, bool round_ends = true);
// Points of a cubic Bézier curve, end points included.
std::vector<vec2> bezier(vec2 p0, vec2 p1, vec2 p2, vec2 p3, int segments = 32);
shape join(shape a, const shape& b);

// 8-bit straight RGBA, row by row, as written to PNG.
std::vector<uint8_t> canvas_rgba8(const canvas& c);
