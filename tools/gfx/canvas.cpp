#include "gfx/canvas.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

namespace {

constexpr int ss = 8;  // samples per pixel along each axis; 64 bits of coverage per pixel
constexpr float pi = std::numbers::pi_v<float>;

int segments_for(float r)
{
    return std::clamp(int(r * 8), 24, 256);
}

// Sets, in sample row `sy`, the samples whose centres lie in [xa, xb) pixels.
void set_span(std::vector<uint64_t>& bits, int width, int sy, float xa, float xb)
{
    int a = std::max(0, int(std::ceil(xa * ss - 0.5f)));
    int b = std::min(width * ss, int(std::ceil(xb * ss - 0.5f)));
    if (a >= b) return;
    int shift = (sy % ss) * ss;
    uint64_t* row = bits.data() + size_t(sy / ss) * width;
    for (int p = a / ss; p <= (b - 1) / ss; ++p) {
        int lo = std::max(a, p * ss) - p * ss, hi = std::min(b, p * ss + ss) - p * ss;
        uint64_t m = ((uint64_t(1) << hi) - 1) & ~((uint64_t(1) << lo) - 1);
        row[p] |= m << shift;
    }
}

void rasterise(std::vector<uint64_t>& bits, const canvas& c, const polygon& poly)
{
    struct edge {
        float x0, y0, x1, y1;
    };
    std::vector<edge> edges;
    float ymin = 1e30f, ymax = -1e30f;
    for (const contour& ct : poly.contours) {
        for (size_t i = 0; i < ct.size(); ++i) {
            vec2 p = ct[i], q = ct[(i + 1) % ct.size()];
            edge e{p.x * c.scale, p.y * c.scale, q.x * c.scale, q.y * c.scale};
            if (e.y0 == e.y1) continue;
            edges.push_back(e);
            ymin = std::min({ymin, e.y0, e.y1});
            ymax = std::max({ymax, e.y0, e.y1});
        }
    }
    if (edges.empty()) return;
    int sy0 = std::max(0, int(std::floor(ymin * ss)));
    int sy1 = std::min(c.height * ss, int(std::ceil(ymax * ss)) + 1);
    std::vector<float> xs;
    for (int sy = sy0; sy < sy1; ++sy) {
        float y = (sy + 0.5f) / ss;
        xs.clear();
        for (const edge& e : edges)
            if ((e.y0 <= y) != (e.y1 <= y)) xs.push_back(e.x0 + (y - e.y0) * (e.x1 - e.x0) / (e.y1 - e.y0));
        std::sort(xs.begin(), xs.end());
        for (size_t i = 0; i + 1 < xs.size(); i += 2) set_span(bits, c.width, sy, xs[i], xs[i + 1]);
    }
}

void over(float* d, rgba col, float cov)
{
    float a = col.a * cov;
    d[0] = col.r * a + d[0] * (1 - a);
    d[1] = col.g * a + d[1] * (1 - a);
    d[2] = col.b * a + d[2] * (1 - a);
    d[3] = a + d[3] * (1 - a);
}

// One box pass of half-width r along rows (stride 1) or columns (stride = width).
void box_pass(std::vector<float>& v, int count, int length, int step, int stride, int r)
{
    std::vector<float> line(length);
    for (int k = 0; k < count; ++k) {
        float* base = v.data() + size_t(k) * stride;
        for (int i = 0; i < length; ++i) line[i] = base[size_t(i) * step];
        float sum = 0;
        for (int i = -r; i <= r; ++i)
            if (i >= 0 && i < length) sum += line[i];
        for (int i = 0; i < length; ++i) {
            base[size_t(i) * step] = sum / float(2 * r + 1);
            if (i - r >= 0) sum -= line[i - r];
            if (i + r + 1 < length) sum += line[i + r + 1];
        }
    }
}

}  // namespace

rgba rgb_hex(uint32_t v, float alpha)
{
    return {float((v >> 16) & 255) / 255.0f, float((v >> 8) & 255) / 255.0f, float(v & 255) / 255.0f, alpha};
}

rgba mix(rgba a, rgba b, float t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

rgba with_alpha(rgba c, float alpha)
{
    return {c.r, c.g, c.b, alpha};
}

canvas canvas_make(float width, float height, float scale)
{
    canvas c;
    c.width = int(std::lround(width * scale));
    c.height = int(std::lround(height * scale));
    c.scale = scale;
    c.px.assign(size_t(c.width) * c.height * 4, 0.0f);
    return c;
}

std::vector<float> shape_coverage(const canvas& c, const shape& s)
{
    std::vector<uint64_t> bits(size_t(c.width) * c.height, 0);
    for (const polygon& p : s) rasterise(bits, c, p);
    std::vector<float> cov(bits.size());
    for (size_t i = 0; i < bits.size(); ++i) cov[i] = float(std::popcount(bits[i])) / float(ss * ss);
    return cov;
}

void fill(canvas& c, const shape& s, rgba colour)
{
    fill_coverage(c, shape_coverage(c, s), colour);
}

void fill_paint(canvas& c, const shape& s, const paint_fn& paint)
{
    std::vector<float> cov = shape_coverage(c, s);
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            float k = cov[size_t(y) * c.width + x];
            if (k <= 0) continue;
            vec2 p{(x + 0.5f) / c.scale, (y + 0.5f) / c.scale};
            over(&c.px[(size_t(y) * c.width + x) * 4], paint(p), k);
        }
}

void fill_coverage(canvas& c, std::span<const float> cov, rgba colour, int dx, int dy)
{
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            int sx = x - dx, sy = y - dy;
            if (sx < 0 || sy < 0 || sx >= c.width || sy >= c.height) continue;
            float k = cov[size_t(sy) * c.width + sx];
            if (k > 0) over(&c.px[(size_t(y) * c.width + x) * 4], colour, k);
        }
}

void blur(std::vector<float>& cov, int width, int height, float radius)
{
    // Three box passes of width w give a variance of 3 (w² − 1) / 12.
    int w = std::max(1, int(std::lround(std::sqrt(4 * radius * radius + 1))));
    int r = w / 2;
    if (r < 1) return;
    for (int pass = 0; pass < 3; ++pass) {
        box_pass(cov, height, width, 1, width, r);
        box_pass(cov, width, height, width, 1, r);
    }
}

void mask(canvas& c, std::span<const float> cov)
{
    for (size_t i = 0; i < cov.size(); ++i)
        for (int k = 0; k < 4; ++k) c.px[i * 4 + k] *= cov[i];
}

void blit(canvas& dst, const canvas& src, int x, int y)
{
    for (int sy = 0; sy < src.height; ++sy) {
        int dy = y + sy;
        if (dy < 0 || dy >= dst.height) continue;
        for (int sx = 0; sx < src.width; ++sx) {
            int dx = x + sx;
            if (dx < 0 || dx >= dst.width) continue;
            const float* s = &src.px[(size_t(sy) * src.width + sx) * 4];
            float* d = &dst.px[(size_t(dy) * dst.width + dx) * 4];
            for (int k = 0; k < 4; ++k) d[k] = s[k] + d[k] * (1 - s[3]);
        }
    }
}

contour rect_contour(float x, float y, float w, float h)
{
    return {{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}};
}

contour rounded_rect_contour(float x, float y, float w, float h, float r)
{
    r = std::min({r, w / 2, h / 2});
    if (r <= 0) return rect_contour(x, y, w, h);
    contour ct;
    int n = std::max(6, segments_for(r) / 4);
    const vec2 centres[4] = {{x + w - r, y + r}, {x + w - r, y + h - r}, {x + r, y + h - r}, {x + r, y + r}};
    for (int k = 0; k < 4; ++k)
        for (int i = 0; i <= n; ++i) {
            float a = (float(k) + float(i) / float(n)) * pi / 2;  // clockwise from 12 o'clock
            ct.push_back({centres[k].x + r * std::sin(a), centres[k].y - r * std::cos(a)});
        }
    return ct;
}

contour ellipse_contour(float cx, float cy, float rx, float ry)
{
    contour ct;
    int n = segments_for(std::max(rx, ry));
    for (int i = 0; i < n; ++i) {
        float a = 2 * pi * float(i) / float(n);
        ct.push_back({cx + rx * std::sin(a), cy - ry * std::cos(a)});
    }
    return ct;
}

shape rect(float x, float y, float w, float h)
{
    return {polygon{{rect_contour(x, y, w, h)}}};
}
shape rounded_rect(float x, float y, float w, float h, float r)
{
    return {polygon{{rounded_rect_contour(x, y, w, h, r)}}};
}
shape circle(float cx, float cy, float r)
{
    return {polygon{{ellipse_contour(cx, cy, r, r)}}};
}
shape ring(float cx, float cy, float r_out, float r_in)
{
    return {polygon{{ellipse_contour(cx, cy, r_out, r_out), ellipse_contour(cx, cy, r_in, r_in)}}};
}
shape poly(std::vector<vec2> points)
{
    return {polygon{{std::move(points)}}};
}

shape stroke(std::span<const vec2> pts, float w, bool round_ends, bool closed)
{
    shape s;
    size_t n = pts.size();
    if (n == 0) return s;
    float h = w / 2;
    size_t segs = closed ? n : n - 1;
    for (size_t i = 0; i < segs; ++i) {
        vec2 p = pts[i], q = pts[(i + 1) % n];
        float dx = q.x - p.x, dy = q.y - p.y, len = std::hypot(dx, dy);
        if (len <= 0) continue;
        float nx = -dy / len * h, ny = dx / len * h;
        s.push_back(polygon{
            {{{p.x + nx, p.y + ny}, {q.x + nx, q.y + ny}, {q.x - nx, q.y - ny}, {p.x - nx, p.y - ny}}}});
    }
    for (size_t i = 0; i < n; ++i) {
        bool end = !closed && (i == 0 || i == n - 1);
        if (!end || round_ends) s.push_back(circle(pts[i].x, pts[i].y, h)[0]);
    }
    return s;
}

shape arc_stroke(float cx, float cy, float r, float a0, float a1, float w, bool round_ends)
{
    shape s;
    float h = w / 2;
    int n = std::max(2, int(float(segments_for(r)) * std::abs(a1 - a0) / (2 * pi)) + 1);
    contour ct;
    for (int i = 0; i <= n; ++i) {
        float a = a0 + (a1 - a0) * float(i) / float(n);
        ct.push_back({cx + (r + h) * std::sin(a), cy - (r + h) * std::cos(a)});
    }
    for (int i = n; i >= 0; --i) {
        float a = a0 + (a1 - a0) * float(i) / float(n);
        ct.push_back({cx + (r - h) * std::sin(a), cy - (r - h) * std::cos(a)});
    }
    s.push_back(polygon{{ct}});
    if (round_ends) {
        s.push_back(circle(cx + r * std::sin(a0), cy - r * std::cos(a0), h)[0]);
        s.push_back(circle(cx + r * std::sin(a1), cy - r * std::cos(a1), h)[0]);
    }
    return s;
}

std::vector<vec2> bezier(vec2 p0, vec2 p1, vec2 p2, vec2 p3, int segments)
{
    std::vector<vec2> out;
    for (int i = 0; i <= segments; ++i) {
        float t = float(i) / float(segments), u = 1 - t;
        float a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
        out.push_back({a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y});
    }
    return out;
}

shape join(shape a, const shape& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<uint8_t> canvas_rgba8(const canvas& c)
{
    std::vector<uint8_t> out(c.px.size());
    for (size_t i = 0; i < c.px.size(); i += 4) {
        float a = std::clamp(c.px[i + 3], 0.0f, 1.0f);
        for (int k = 0; k < 3; ++k) {
            float v = a > 0 ? c.px[i + k] / a : 0.0f;
            out[i + k] = uint8_t(std::lround(std::clamp(v, 0.0f, 1.0f) * 255));
        }
        out[i + 3] = uint8_t(std::lround(a * 255));
    }
    return out;
}
