#include "gfx/fonts.h"

#include <stb/stb_truetype.h>

#include <algorithm>
#include <cmath>

#include "support/log.h"

uint32_t cp1252_to_unicode(int code)
{
    static const uint16_t high[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    if (code < 0 || code > 255) return 0;
    if (code >= 0x80 && code < 0xA0) return high[code - 0x80];
    return uint32_t(code);
}

namespace {

struct glyph_box {
    uint32_t cp = 0;
    int left = 0, right = 0;  // marked extent relative to the pen origin, right exclusive
    bool present = false;
};

}  // namespace

bool render_font(std::span<const uint8_t> ttf, int nominal, int factor, font_atlas& out)
{
    stbtt_fontinfo font;
    int offset = ttf.empty() ? -1 : stbtt_GetFontOffsetForIndex(ttf.data(), 0);
    if (offset < 0 || !stbtt_InitFont(&font, ttf.data(), offset)) {
        log_printf(stderr, "Not a usable TrueType font (%zu bytes)\n", ttf.size());
        return false;
    }
    // Without hinting, lower-case letters stay crisp only when their flat tops fall on a
    // pixel edge: the size is nudged so that the x-height is a whole number of pixels at 1×,
    // and the cell grows by a row where the descender then needs it. The 2× set is exactly
    // twice the 1× metrics, so that layouts scale by a whole factor.
    float scale = stbtt_ScaleForPixelHeight(&font, float(nominal));
    int bx0, by0, bx1, x_height;
    if (stbtt_GetCodepointBox(&font, 'x', &bx0, &by0, &bx1, &x_height) && x_height > 0) {
        float rows = std::round(float(x_height) * scale);
        if (rows >= 1) scale = rows / float(x_height);
    }
    int ascent, descent, gap;
    stbtt_GetFontVMetrics(&font, &ascent, &descent, &gap);
    int baseline = int(std::lround(float(ascent) * scale));
    int below = int(std::ceil(float(-descent) * scale));
    // Accents on capitals may reach above the ascender once the size is nudged: room for them.
    for (int code = font_first_code; code < font_first_code + font_cells; ++code) {
        uint32_t cp = cp1252_to_unicode(code);
        int x0, y0, x1, y1;
        if (cp == 0 || stbtt_FindGlyphIndex(&font, int(cp)) == 0) continue;
        stbtt_GetCodepointBitmapBox(&font, int(cp), scale, scale, &x0, &y0, &x1, &y1);
        if (y1 > y0) baseline = std::max(baseline, -y0);
    }
    int cell_height = std::max(nominal, baseline + below) * factor;
    baseline *= factor;
    scale *= float(factor);

    // The extent is the advance widened to any ink that would fall outside it, so that a
    // reader drawing only the marked columns never cuts a glyph.
    glyph_box boxes[font_cells];
    int width = 1;
    for (int k = 0; k < font_cells; ++k) {
        glyph_box& b = boxes[k];
        b.cp = cp1252_to_unicode(font_first_code + k);
        if (b.cp == 0 || stbtt_FindGlyphIndex(&font, int(b.cp)) == 0) continue;
        int advance, bearing, x0, y0, x1, y1;
        stbtt_GetCodepointHMetrics(&font, int(b.cp), &advance, &bearing);
        stbtt_GetCodepointBitmapBox(&font, int(b.cp), scale, scale, &x0, &y0, &x1, &y1);
        int adv = std::max(1, int(std::lround(float(advance) * scale)));
        b.left = x1 > x0 ? std::min(0, x0) : 0;
        b.right = x1 > x0 ? std::max(adv, x1) : adv;
        b.present = true;
        width = std::max(width, b.right - b.left);
    }

    out.cell_width = width;
    out.cell_height = cell_height;
    out.baseline = baseline;
    size_t cell_bytes = size_t(width) * cell_height * 4;
    out.glyphs.assign(cell_bytes * font_cells, 0);
    out.limits.assign(cell_bytes * font_cells, 0);
    std::vector<uint8_t> bitmap;
    for (int k = 0; k < font_cells; ++k) {
        const glyph_box& b = boxes[k];
        if (!b.present) continue;
        uint8_t* cell = out.glyphs.data() + cell_bytes * k;
        uint8_t* mark = out.limits.data() + cell_bytes * k;
        for (int x = 0; x < b.right - b.left; ++x) {
            uint8_t* p = mark + size_t(x) * 4;
            p[0] = p[1] = p[2] = p[3] = 255;
        }
        int x0, y0, x1, y1;
        stbtt_GetCodepointBitmapBox(&font, int(b.cp), scale, scale, &x0, &y0, &x1, &y1);
        int w = x1 - x0, h = y1 - y0;
        if (w <= 0 || h <= 0) continue;
        bitmap.assign(size_t(w) * h, 0);
        stbtt_MakeCodepointBitmap(&font, bitmap.data(), w, h, w, scale, scale, int(b.cp));
        for (int y = 0; y < h; ++y) {
            int cy = baseline + y0 + y;
            if (cy < 0 || cy >= cell_height) continue;  // accents beyond the ascender are clipped
            for (int x = 0; x < w; ++x) {
                int cx = x0 - b.left + x;
                uint8_t* p = cell + (size_t(cy) * width + cx) * 4;
                p[0] = p[1] = p[2] = 255;
                p[3] = bitmap[size_t(y) * w + x];
            }
        }
    }
    return true;
}

bool glyph_columns(const font_atlas& f, int code, int& first, int& last)
{
    int k = code - font_first_code;
    if (k < 0 || k >= font_cells) return false;
    const uint8_t* row = f.limits.data() + size_t(k) * f.cell_width * f.cell_height * 4;
    first = -1;
    for (int x = 0; x < f.cell_width; ++x)
        if (row[x * 4 + 3] == 255) {
            if (first < 0) first = x;
            last = x;
        }
    return first >= 0;
}
