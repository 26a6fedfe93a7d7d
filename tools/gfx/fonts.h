// The bitmap fonts of the interface, rendered from a TrueType file (layout described at the
// top of tools/make_gfx.cpp).
#pragma once
#include <cstdint>
#include <span>
#include <vector>

constexpr int font_first_code = 32;
constexpr int font_cells = 224;  // codes 32 to 255

struct font_atlas {
    int cell_width = 0, cell_height = 0;
    int baseline = 0;             // row of the baseline inside each cell
    std::vector<uint8_t> glyphs;  // RGBA, cell_width × (cell_height × font_cells)
    std::vector<uint8_t> limits;  // same size; first row of a cell marks the glyph's columns
};

// Unicode code point of a Windows-1252 byte; 0 for the five codes the table leaves undefined.
uint32_t cp1252_to_unicode(int code);

// Renders the cells of the font of nominal size `nominal` (pixels from the font's ascender to
// its descender, give or take the row that keeps the x-height on the pixel grid), enlarged
// `factor` times. Returns false (after one log line) when the file is not a usable font.
bool render_font(std::span<const uint8_t> ttf, int nominal, int factor, font_atlas& out);

// Columns [first, last] marked in the limits row of `code`; false for an absent glyph.
bool glyph_columns(const font_atlas& f, int code, int& first, int& last);
