// Bitmap font loading and Windows-1252 / UTF-8 text drawing.
#include "support/font.h"

#include <algorithm>
#include <cmath>

#include "support/log.h"
#include "support/png_load.h"
#include "support/raster_blend.h"

constexpr int glyph_count = 224;
constexpr uint32_t replacement_char = 0xFFFD;

Font font_from_images(const Pixmap& glyphs, const Pixmap& limits, int offset)
{
    Font f;
    if (glyphs.width <= 0 || glyphs.height <= 0 || glyphs.height % glyph_count != 0 ||
        glyphs.width != limits.width || glyphs.height != limits.height ||
        glyphs.pixels.size() != size_t(glyphs.width) * size_t(glyphs.height) ||
        limits.pixels.size() != glyphs.pixels.size() || glyphs.width > INT16_MAX) {
        log_printf(stderr, "Font refused: a %d x %d glyph image with a %d x %d limits image\n", glyphs.width,
                   glyphs.height, limits.width, limits.height);
        return f;
    }
    const int W = glyphs.width, H = glyphs.height / glyph_count;
    if (H > INT16_MAX) {
        log_printf(stderr, "Font refused: cells of %d rows\n", H);
        return f;
    }
    f.cell_width = W;
    f.cell_height = H;
    f.offset = offset;
    // A picture without transparency (saved as grey or RGB) carries its coverage and its
    // marks in the grey level instead; reading its alpha would make every glyph a solid
    // block as wide as the cell.
    auto opaque = [](const Pixmap& img) {
        return std::all_of(img.pixels.begin(), img.pixels.end(), [](uint32_t p) { return (p >> 24) == 255; });
    };
    const bool grey = opaque(glyphs), grey_marks = opaque(limits);
    auto coverage_of = [grey](uint32_t p) { return uint8_t(grey ? (p >> 8) & 255 : p >> 24); };
    auto marked = [grey_marks](uint32_t p) { return (grey_marks ? (p >> 8) & 255 : p >> 24) == 255; };
    for (int k = 0; k < glyph_count; k++) {
        const uint32_t* mark = limits.pixels.data() + size_t(k) * H * W;
        int first = -1, last = -1;
        for (int i = 0; i < W; i++)
            if (marked(mark[i])) {
                if (first < 0)
                    first = i;
                last = i;
            }
        Font::Glyph& g = f.glyphs[size_t(k)];
        if (first < 0) {
            if (k == 0)
                g.advance = int16_t(std::max(1, H / 4));
            continue;
        }
        g.width = int16_t(last - first + 1);
        g.advance = g.width;
        // Keep only the rows that hold ink, so drawing skips the empty space above and below.
        const uint32_t* cell = glyphs.pixels.data() + size_t(k) * H * W + first;
        int top = H, bottom = 0;
        for (int j = 0; j < H; j++)
            for (int i = 0; i < g.width; i++)
                if (coverage_of(cell[size_t(j) * W + i])) {
                    top = std::min(top, j);
                    bottom = j + 1;
                    break;
                }
        if (top >= bottom)
            top = bottom = 0;
        g.ink_top = int16_t(top);
        g.ink_bottom = int16_t(bottom);
        g.start = uint32_t(f.coverage.size());
        for (int j = top; j < bottom; j++)
            for (int i = 0; i < g.width; i++)
                f.coverage.push_back(coverage_of(cell[size_t(j) * W + i]));
    }
    const Font::Glyph& cap = f.glyphs['H' - 32];
    if (cap.ink_bottom > cap.ink_top) {
        f.cap_top = cap.ink_top;
        f.baseline = cap.ink_bottom;
    } else {  // no capital H: assume capitals fill the middle 60 % of the cell
        f.cap_top = H / 5;
        f.baseline = H - H / 5;
    }
    return f;
}

Font font_load(const char* glyph_path, const char* limits_path, int offset)
{
    Pixmap glyphs = pixmap_load_png(glyph_path);
    if (glyphs.pixels.empty())
        return {};
    Pixmap limits = pixmap_load_png(limits_path);
    if (limits.pixels.empty())
        return {};
    return font_from_images(glyphs, limits, offset);
}

// ---- drawing -----------------------------------------------------------------------------

// Blends `coverage` (0..255) of `colour` onto one pixel; the colour's alpha scales it.
struct Ink {
    uint32_t colour, rb, ag, alpha;
    explicit Ink(uint32_t c) : colour(c | 0xFF000000u), rb(c & 0xFF00FFu), ag(((c >> 8) & 0xFFu) | 0xFF0000u), alpha(c >> 24) {}
    void put(uint32_t& d, uint32_t coverage) const
    {
        uint32_t a = alpha == 255 ? coverage : div255(coverage * alpha);
        if (a == 255)
            d = colour;
        else if (a)
            d = blend_with(d, BlendSource{rb * a, ag * a, 255u - a});
    }
};

static void draw_glyph(const Raster& r, const Font& f, const Font::Glyph& g, int x, int top, const Ink& ink)
{
    // Rows and columns of the glyph's ink that land inside the raster (64-bit: no overflow).
    int64_t j0 = std::max<int64_t>(g.ink_top, -int64_t(top));
    int64_t j1 = std::min<int64_t>(g.ink_bottom, int64_t(r.height) - top);
    int64_t i0 = std::max<int64_t>(0, -int64_t(x));
    int64_t i1 = std::min<int64_t>(g.width, int64_t(r.width) - x);
    if (j0 >= j1 || i0 >= i1)
        return;
    for (int64_t j = j0; j < j1; j++) {
        const uint8_t* c = f.coverage.data() + g.start + size_t(j - g.ink_top) * size_t(g.width);
        uint32_t* row = r.pixels + ptrdiff_t(top + j) * r.stride;
        for (int64_t i = i0; i < i1; i++)
            if (c[i])
                ink.put(row[x + i], c[i]);
    }
}

// Vector shapes for the symbols the fonts lack, in a unit square (v downwards).
static float segment_distance(float u, float v, float ax, float ay, float bx, float by)
{
    float px = u - ax, py = v - ay, dx = bx - ax, dy = by - ay;
    float len2 = dx * dx + dy * dy;
    float t = len2 > 0 ? std::clamp((px * dx + py * dy) / len2, 0.0f, 1.0f) : 0.0f;  // a point: its distance
    float ex = px - t * dx, ey = py - t * dy;
    return std::sqrt(ex * ex + ey * ey);
}

static bool symbol_inside(uint32_t cp, float u, float v)
{
    switch (cp) {
    case 0x2714:  // check mark
        return segment_distance(u, v, 0.08f, 0.55f, 0.38f, 0.85f) < 0.11f ||
               segment_distance(u, v, 0.38f, 0.85f, 0.92f, 0.12f) < 0.11f;
    case 0x274C:  // cross
        return segment_distance(u, v, 0.14f, 0.14f, 0.86f, 0.86f) < 0.11f ||
               segment_distance(u, v, 0.86f, 0.14f, 0.14f, 0.86f) < 0.11f;
    case 0x26A0: {  // warning: a filled triangle with the exclamation mark cut out
        bool in_triangle = v <= 0.95f && v >= 0.04f && std::fabs(u - 0.5f) <= (v - 0.04f) * 0.53f;
        bool bar = std::fabs(u - 0.5f) < 0.07f && v > 0.36f && v < 0.64f;
        bool dot = segment_distance(u, v, 0.5f, 0.81f, 0.5f, 0.81f) < 0.075f;
        return in_triangle && !bar && !dot;
    }
    case 0x1F4C4: {  // page: outline with a folded corner and three lines of text
        auto in_page = [](float u, float v, float inset) {
            return u >= 0.14f + inset && u <= 0.86f - inset && v >= 0.03f + inset && v <= 0.97f - inset &&
                   u - 0.6f <= v - 0.03f - inset * 0.6f;
        };
        if (in_page(u, v, 0.0f) && !in_page(u, v, 0.09f))
            return true;
        for (float line : {0.45f, 0.6f, 0.75f})
            if (std::fabs(v - line) < 0.035f && u > 0.3f && u < 0.7f)
                return true;
        return false;
    }
    default:
        return false;
    }
}

static bool is_symbol(uint32_t cp)
{
    return cp == 0x2714 || cp == 0x274C || cp == 0x26A0 || cp == 0x1F4C4;
}

// Size of a symbol or box: the capital height, at least 3 pixels; the gap after it.
static int symbol_side(const Font& f)
{
    return std::max(3, f.baseline - f.cap_top);
}
static int symbol_gap(const Font& f)
{
    return std::max(1, symbol_side(f) / 5);
}
static int box_width(const Font& f)
{
    return std::max(3, symbol_side(f) * 3 / 5);
}

static void draw_symbol(const Raster& r, const Font& f, uint32_t cp, int x, int cell_top, const Ink& ink)
{
    const int side = symbol_side(f);
    const int64_t top = int64_t(cell_top) + f.cap_top;
    const int64_t left = int64_t(x) + symbol_gap(f) / 2;
    for (int j = 0; j < side; j++) {
        int64_t py = top + j;
        if (py < 0 || py >= r.height)
            continue;
        for (int i = 0; i < side; i++) {
            int64_t px = left + i;
            if (px < 0 || px >= r.width)
                continue;
            // 4 x 4 samples per pixel give the shapes smooth edges at small sizes.
            int hits = 0;
            for (int sj = 0; sj < 4; sj++)
                for (int si = 0; si < 4; si++)
                    hits += symbol_inside(cp, (i + (si + 0.5f) / 4) / side, (j + (sj + 0.5f) / 4) / side);
            if (hits)
                ink.put(r.pixels[ptrdiff_t(py) * r.stride + px], uint32_t(hits * 255 / 16));
        }
    }
}

static void draw_box(const Raster& r, const Font& f, int x, int cell_top, uint32_t colour)
{
    int64_t left = int64_t(x) + symbol_gap(f) / 2, top = int64_t(cell_top) + f.cap_top;
    if (left > INT32_MAX || top > INT32_MAX || left < INT32_MIN || top < INT32_MIN)
        return;
    draw_rect_outline(r, int(left), int(top), box_width(f), symbol_side(f), colour);
}

// One walk for drawing and measuring, so that the measured width is the drawn advance.
// `r` null measures only.
static int64_t run_cp1252(const Raster* r, const Font& f, int64_t x, int y, std::string_view text, uint32_t colour)
{
    if (!font_ok(f))
        return x;
    const Ink ink(colour);
    const int top = clamp_to_int(int64_t(y) + f.offset);
    const bool draw = r && raster_ok(*r) && (colour >> 24) != 0;
    for (unsigned char c : text) {
        if (c < 32)
            continue;
        const Font::Glyph& g = f.glyphs[c - 32u];
        if (draw && g.width && x > INT32_MIN && x < INT32_MAX)
            draw_glyph(*r, f, g, int(x), top, ink);
        x += g.advance;
    }
    return x;
}

static int64_t run_utf8(const Raster* r, const Font& f, int64_t x, int y, std::string_view text, uint32_t colour)
{
    if (!font_ok(f))
        return x;
    const Ink ink(colour);
    const int top = clamp_to_int(int64_t(y) + f.offset);
    const bool draw = r && raster_ok(*r) && (colour >> 24) != 0;
    size_t pos = 0;
    while (pos < text.size()) {
        uint32_t cp = utf8_next(text, pos);
        if (cp < 32)
            continue;
        bool on_screen = x > INT32_MIN && x < INT32_MAX;
        int code = unicode_to_cp1252(cp);
        if (code >= 32 && f.glyphs[size_t(code - 32)].advance > 0) {
            const Font::Glyph& g = f.glyphs[size_t(code - 32)];
            if (draw && g.width && on_screen)
                draw_glyph(*r, f, g, int(x), top, ink);
            x += g.advance;
        } else if (is_symbol(cp)) {
            if (draw && on_screen)
                draw_symbol(*r, f, cp, int(x), top, ink);
            x += symbol_side(f) + symbol_gap(f);
        } else {
            if (draw && on_screen)
                draw_box(*r, f, int(x), top, colour);
            x += box_width(f) + symbol_gap(f);
        }
    }
    return x;
}

int text_width(const Font& font, std::string_view text)
{
    return clamp_to_int(run_cp1252(nullptr, font, 0, 0, text, 0));
}

int draw_text(const Raster& r, const Font& font, int x, int y, std::string_view text, uint32_t colour)
{
    return clamp_to_int(run_cp1252(&r, font, x, y, text, colour));
}

int text_width_utf8(const Font& font, std::string_view text)
{
    return clamp_to_int(run_utf8(nullptr, font, 0, 0, text, 0));
}

int draw_text_utf8(const Raster& r, const Font& font, int x, int y, std::string_view text, uint32_t colour)
{
    return clamp_to_int(run_utf8(&r, font, x, y, text, colour));
}

// ---- encodings ---------------------------------------------------------------------------

uint32_t utf8_next(std::string_view text, size_t& pos)
{
    if (pos >= text.size())
        return 0;
    const unsigned char b0 = (unsigned char)text[pos];
    if (b0 < 0x80) {
        pos++;
        return b0;
    }
    int len;
    uint32_t cp, min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2, cp = b0 & 0x1Fu, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3, cp = b0 & 0x0Fu, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4, cp = b0 & 0x07u, min = 0x10000;
    } else {  // continuation byte out of place, 0xC0/0xC1 (always overlong), 0xF5 and above
        pos++;
        return replacement_char;
    }
    if (text.size() - pos < size_t(len)) {
        pos++;
        return replacement_char;
    }
    for (int i = 1; i < len; i++) {
        unsigned char b = (unsigned char)text[pos + size_t(i)];
        if ((b & 0xC0) != 0x80) {
            pos++;
            return replacement_char;
        }
        cp = (cp << 6) | (b & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        pos++;
        return replacement_char;
    }
    pos += size_t(len);
    return cp;
}

int unicode_to_cp1252(uint32_t cp)
{
    if ((cp >= 32 && cp < 127) || (cp >= 0xA0 && cp <= 0xFF))
        return int(cp);
    // Codes 0x80..0x9F of Windows-1252 (0 where the code is unassigned).
    static constexpr uint16_t high[32] = {
        0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
        0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};
    if (cp == 0)
        return -1;
    for (int i = 0; i < 32; i++)
        if (high[i] == cp)
            return 0x80 + i;
    return -1;
}
