// Bitmap fonts and text: Windows-1252 byte strings (interface texts) and UTF-8 (dialog texts).
//
// A font is two pictures of equal size, W pixels wide and 224 x H tall: 224 cells of H rows
// stacked vertically, cell k holding the glyph of Windows-1252 code 32 + k. The glyph
// picture's alpha is the coverage. In the limits picture, the pixels of a cell's first row
// whose alpha is 255 mark the glyph's columns: it occupies [first marked, last marked], and
// that width is also its advance. A cell without a mark is an absent glyph: it draws nothing
// and advances 0, except the space, which always advances (a quarter of H when unmarked).
// A picture without any transparency (saved as grey or RGB) gives coverage and marks by its
// grey level instead, white on black.
//
// Each font has a signed vertical offset (-5, -7 and -11 for the 12, 16 and 24 pixel fonts):
// text drawn at (x, y) puts the top row of its cells at y + offset, so y sits near the middle
// of the letters whatever the font. Text is blended in its colour (the colour's alpha scales
// the coverage). Measurement returns exactly the advance that drawing uses.
//
// UTF-8 text maps each code point into Windows-1252 and draws it from the font. The symbols
// U+2714 (check), U+274C (cross), U+26A0 (warning) and U+1F4C4 (page), which the fonts lack,
// are drawn as small vector shapes as tall as the font's capitals; any other code point,
// a glyph the font lacks and every invalid UTF-8 byte draw as a hollow box. Control
// characters (below 32) draw nothing and advance 0, as they do in Windows-1252 text.
#pragma once
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "support/raster.h"

struct Font {
    int cell_width = 0;
    int cell_height = 0;
    int offset = 0;
    // Rows [cap_top, baseline) hold the capital H's ink: the height the symbols are drawn at.
    int cap_top = 0;
    int baseline = 0;
    // Per glyph: its coverage (width x (ink_bottom - ink_top) bytes, rows of ink only)
    // starts at coverage[start]; width 0 is an absent glyph.
    struct Glyph {
        uint32_t start = 0;
        int16_t width = 0;
        int16_t advance = 0;
        int16_t ink_top = 0;
        int16_t ink_bottom = 0;
    };
    std::array<Glyph, 224> glyphs{};
    std::vector<uint8_t> coverage;
};

// A font from its glyph and limits pictures. Pictures of different sizes, or a height that
// is not a positive multiple of 224, give an empty font (cell_height 0) and a log line.
Font font_from_images(const Pixmap& glyphs, const Pixmap& limits, int offset);
// The same from PNG files ("gfx/font/font12.png" and "gfx/font/font12_limits.png", ...);
// a missing file logs "File not found: <path>" and gives an empty font.
Font font_load(const char* glyph_path, const char* limits_path, int offset);

// An empty font draws nothing and measures 0.
inline bool font_ok(const Font& f)
{
    return f.cell_height > 0;
}
// Height of a line of text: the cell height.
inline int font_height(const Font& f)
{
    return f.cell_height;
}

// Windows-1252 text; bytes below 32 are layout, not glyphs: they draw nothing and advance 0.
// The draw functions return the x after the last character.
int text_width(const Font& font, std::string_view text);
int draw_text(const Raster& r, const Font& font, int x, int y, std::string_view text, uint32_t colour);

// UTF-8 text.
int text_width_utf8(const Font& font, std::string_view text);
int draw_text_utf8(const Raster& r, const Font& font, int x, int y, std::string_view text, uint32_t colour);

// The code point starting at text[pos], advancing pos past it. Overlong forms, surrogates,
// values above U+10FFFF, stray continuation bytes and truncated sequences give U+FFFD and
// advance one byte, so decoding always moves on. At the end (pos >= size) returns 0.
uint32_t utf8_next(std::string_view text, size_t& pos);
// The Windows-1252 code of a code point (32..255), or -1 where it has none.
int unicode_to_cp1252(uint32_t code_point);
