// Writes the interface images into a "gfx" folder at build time, at 1× and, under "2x/",
// at twice the pixel size for high-density screens: nothing binary lives in the repository.
//
//   make_gfx <output folder> <font.ttf> [--contact-sheet <file.png>]
//
// Bitmap fonts, "font/font12.png", "font16.png", "font24.png" (twice the size under 2x/):
//   an RGBA image W pixels wide and 224 × H pixels tall, 224 cells of H rows stacked
//   vertically; cell k holds the glyph of byte 32 + k in Windows-1252 (0x80..0x9F through
//   that code page's table: 0x80 is the euro sign, 0x97 the em dash; the undefined 0x81,
//   0x8D, 0x8F, 0x90 and 0x9D are empty cells). RGB is white and the glyph's antialiased
//   coverage is in alpha. H is the nominal size or a row or two more where the x-height,
//   kept on whole pixels, and the accents on capitals need it (14, 18 and 24 rows with
//   DejaVu Sans; exactly twice that under 2x/). The baseline is on the same row in every cell.
// Glyph limits, "font/fontNN_limits.png": the same size; in the first row of each cell,
//   pixels of alpha 255 (white) mark the glyph's horizontal extent, its advance widened to
//   any ink beyond it: the glyph occupies columns [first marked, last marked]. A cell whose
//   first row has no marked pixel is an absent glyph. The space has an advance.
// Palettes: "palette.png" one row of palette_entry_count colours (src/support/palette_entries.h);
//   "gradient.png" one row of 256 colours, the Vision Mode ramp; "rainbow.png" one row, the
//   waveform band colours from the lowest band to the highest, then the strip's background.
// "menu_bar.png": a tile repeated across the window width. "menu_line.png": a menu separator
//   on a transparent ground. "corner.png": the button bar's top-left corner, opaque: window
//   background outside a quarter circle of the bar's panel colour.
// "menu_shadow.png": a nine-slice with borders of a third of its size (8 px at 1×, 16 px at
//   2×): drawn around a menu's rectangle grown by the border on every side and moved down and
//   right by 3 px (6 px at 2×); the corners as they are, each edge slice stretched along its
//   edge, the centre stretched over the interior (uniform, so stretching it changes nothing).
// "knob_anim.png": 64 frames of the knob's size stacked vertically; frame f shows the value
//   arc and pointer at f / 64 × 270° clockwise from 7:30, drawn over "knob.png". Button faces
//   hold the released state above the pressed (or active) one. Icons are 32 × 32 (64 × 64
//   under 2x/), drawn over a button face.
// "icon/sonographica-48.png", "-128.png", "-256.png": the application icon, the same design
//   as data/icons/sonographica.svg.
#include <stb/stb_image_write.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "gfx/canvas.h"
#include "gfx/colour.h"
#include "gfx/fonts.h"
#include "gfx/images.h"
#include "support/log.h"

namespace fs = std::filesystem;

namespace {

bool write_png(const fs::path& path, int w, int h, const uint8_t* rgba)
{
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (!stbi_write_png(path.c_str(), w, h, 4, rgba, w * 4)) {
        log_printf(stderr, "Cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

bool write_canvas(const fs::path& path, const canvas& c)
{
    std::vector<uint8_t> px = canvas_rgba8(c);
    return write_png(path, c.width, c.height, px.data());
}

canvas row_canvas(const std::vector<rgba>& colours)
{
    canvas c = canvas_make(float(colours.size()), 1, 1);
    for (size_t i = 0; i < colours.size(); ++i) {
        rgba v = colours[i];
        float* p = &c.px[i * 4];
        p[0] = v.r * v.a, p[1] = v.g * v.a, p[2] = v.b * v.a, p[3] = v.a;
    }
    return c;
}

std::vector<uint8_t> read_file(const char* path)
{
    std::vector<uint8_t> data;
    FILE* f = std::fopen(path, "rb");
    if (!f) return data;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
    std::fclose(f);
    return data;
}

struct image_set {
    std::vector<std::pair<std::string, canvas>> images;
    font_atlas fonts[3];
};

constexpr int font_sizes[3] = {12, 16, 24};

bool build_set(float scale, const std::vector<uint8_t>& ttf, image_set& set)
{
    auto add = [&](const char* name, canvas c) { set.images.emplace_back(name, std::move(c)); };
    add("menu_bar.png", draw_menu_bar(scale));
    add("menu_line.png", draw_menu_line(scale));
    add("menu_shadow.png", draw_menu_shadow(scale));
    add("knob.png", draw_knob(scale));
    add("knob_anim.png", draw_knob_anim(scale));
    add("button_small.png", draw_button(scale, 32, 32));
    add("button_med.png", draw_button(scale, 48, 32));
    add("button_big.png", draw_button(scale, 64, 48));
    add("corner.png", draw_corner(scale));
    for (const char* icon : icon_names) add((std::string(icon) + ".png").c_str(), draw_icon(scale, icon));
    for (int i = 0; i < 3; ++i)
        if (!render_font(ttf, font_sizes[i], int(scale), set.fonts[i])) return false;
    return true;
}

bool write_set(const fs::path& dir, const image_set& set)
{
    for (const auto& [name, c] : set.images)
        if (!write_canvas(dir / name, c)) return false;
    for (int i = 0; i < 3; ++i) {
        const font_atlas& f = set.fonts[i];
        std::string base = "font/font" + std::to_string(font_sizes[i]);
        int h = f.cell_height * font_cells;
        if (!write_png(dir / (base + ".png"), f.cell_width, h, f.glyphs.data()) ||
            !write_png(dir / (base + "_limits.png"), f.cell_width, h, f.limits.data()))
            return false;
    }
    return true;
}

// Draws Windows-1252 `text` with the atlas the way the interface will: the marked columns
// of each cell, side by side.
int draw_text(canvas& c, const font_atlas& f, int x, int y, const char* text, rgba colour)
{
    for (const char* s = text; *s; ++s) {
        int code = uint8_t(*s), first, last;
        if (!glyph_columns(f, code, first, last)) continue;
        const uint8_t* cell =
            f.glyphs.data() + size_t(code - font_first_code) * f.cell_width * f.cell_height * 4;
        std::vector<float> cov(size_t(c.width) * c.height, 0.0f);
        for (int gy = 0; gy < f.cell_height; ++gy)
            for (int gx = first; gx <= last; ++gx) {
                int px = x + gx - first, py = y + gy;
                if (px >= 0 && py >= 0 && px < c.width && py < c.height)
                    cov[size_t(py) * c.width + px] =
                        float(cell[(size_t(gy) * f.cell_width + gx) * 4 + 3]) / 255.0f;
            }
        fill_coverage(c, cov, colour);
        x += last - first + 1;
    }
    return x;
}

const canvas* find(const image_set& set, const std::string& name)
{
    for (const auto& [n, c] : set.images)
        if (n == name) return &c;
    return nullptr;
}

// A menu bar with one open menu, put together the way the interface will: the bar tile
// repeated, the shadow as a nine-slice, separators, entries in the 16-pixel font.
int menu_mock(canvas& sheet, const image_set& set, int left, int top)
{
    const canvas& bar = *find(set, "menu_bar.png");
    const canvas& line = *find(set, "menu_line.png");
    const canvas& shadow = *find(set, "menu_shadow.png");
    const font_atlas& font = set.fonts[1];
    const float s = bar.scale;
    const int width = int(420 * s);
    for (int x = 0; x < width; x += bar.width) blit(sheet, bar, left + x, top);
    int tx = 0, menu_x = 0;
    for (const char* title : {"File", "Edit", "View", "Help"}) {
        if (std::strcmp(title, "Edit") == 0) menu_x = tx;
        int end = draw_text(sheet, font, left + tx + int(6 * s), top + (bar.height - font.cell_height) / 2, title,
                            theme(palette_text));
        tx = end - left + int(6 * s);
    }
    const char* entries[] = {"Undo", "Redo", nullptr, "Copy", "Paste"};
    const int entry_h = int(22 * s), menu_w = line.width;
    int menu_h = 0;
    for (const char* e : entries) menu_h += e ? entry_h : line.height;
    const int mx = left + menu_x, my = top + int(25 * s);
    // Nine-slice: the border is a third of the image; grow by it, move down and right.
    const int b = shadow.width / 3, off = int(3 * s);
    const int gw = menu_w + 2 * b, gh = menu_h + 2 * b, gx = mx - b + off, gy = my - b + off;
    auto source = [&](int d, int extent) { return d < b ? d : d >= extent - b ? 3 * b - (extent - d) : b; };
    for (int dy = 0; dy < gh; ++dy)
        for (int dx = 0; dx < gw; ++dx) {
            const float* p = &shadow.px[(size_t(source(dy, gh)) * shadow.width + source(dx, gw)) * 4];
            int x = gx + dx, y = gy + dy;
            if (x < 0 || y < 0 || x >= sheet.width || y >= sheet.height) continue;
            float* d = &sheet.px[(size_t(y) * sheet.width + x) * 4];
            for (int k = 0; k < 4; ++k) d[k] = p[k] + d[k] * (1 - p[3]);
        }
    fill(sheet, rect(float(mx), float(my), float(menu_w), float(menu_h)),
         theme(palette_menu_background));
    int y = my;
    for (int i = 0; i < 5; ++i) {
        if (!entries[i]) {
            blit(sheet, line, mx, y);
            y += line.height;
            continue;
        }
        if (i == 1) fill(sheet, rect(float(mx), float(y), float(menu_w), float(entry_h)), theme(palette_menu_highlight));
        draw_text(sheet, font, mx + int(10 * s), y + (entry_h - font.cell_height) / 2, entries[i],
                  theme(i == 4 ? palette_text_dimmed : palette_text));
        y += entry_h;
    }
    return y + b - top;
}

// Everything on one page, at both scales, for looking at the set as a whole.
canvas contact_sheet(const image_set& one, const image_set& two, const std::vector<canvas>& app_icons)
{
    canvas sheet = canvas_make(1400, 1900, 1);
    fill(sheet, rect(0, 0, 1400, 1900), theme(palette_window_background));
    rgba text = theme(palette_text);
    int y = 10;
    for (const image_set* set : {&one, &two}) {
        int x = 10, row_h = 0;
        const char* skip[] = {"knob_anim.png", "menu_line.png"};
        for (const auto& [name, c] : set->images) {
            if (name == skip[0] || name == skip[1]) continue;
            if (x + c.width > 1390) x = 10, y += row_h + 10, row_h = 0;
            canvas bg = canvas_make(float(c.width + 8), float(c.height + 8), 1);
            fill(bg, rect(0, 0, float(bg.width), float(bg.height)), theme(palette_panel));
            blit(bg, c, 4, 4);
            blit(sheet, bg, x, y);
            x += bg.width + 6;
            row_h = std::max(row_h, bg.height);
        }
        y += row_h + 12;
        // Icons on button faces, released and pressed, and knob frames over the knob.
        const canvas* button = find(*set, "button_small.png");
        x = 10;
        for (int state = 0; state < 2; ++state)
            for (const char* icon : icon_names) {
                canvas b = canvas_make(float(button->width), float(button->height) / 2, 1);
                blit(b, *button, 0, -state * b.height);
                blit(b, *find(*set, std::string(icon) + ".png"), 0, 0);
                blit(sheet, b, x, y);
                x += b.width + 4;
            }
        y += button->height / 2 + 8;
        x = 10;
        const canvas* knob = find(*set, "knob.png");
        for (int f : {0, 10, 21, 32, 43, 54, 63}) {
            canvas k = *knob;
            canvas frame = draw_knob_frame(knob->scale, f);
            blit(k, frame, 0, 0);
            blit(sheet, k, x, y);
            x += k.width + 6;
        }
        const canvas* menu = find(*set, "menu_line.png");
        canvas m = canvas_make(float(menu->width), float(menu->height) * 3, 1);
        fill(m, rect(0, 0, float(m.width), float(m.height)), theme(palette_menu_background));
        blit(m, *menu, 0, menu->height);
        blit(sheet, m, x, y);
        y += knob->height + 10;
        for (const font_atlas& f : set->fonts) {
            draw_text(sheet, f, 10, y,
                      "Sonographica \x97 Open, Save, Quit \x80 12,5 dB  0 25 125 500 1.8 k 7 k 26 k  "
                      "\xc0\xc9\xce\xd5\xdc \xe9\xe8\xe7 gjpqy \x93quoted\x94",
                      text);
            y += f.cell_height + 4;
        }
        y += menu_mock(sheet, *set, 10, y + 4) + 12;
    }
    int x = 10;
    const auto table = theme_palette();
    std::vector<rgba> pal(table.begin(), table.end());
    for (size_t i = 0; i < pal.size(); ++i) {
        fill(sheet, rect(float(x + 34 * int(i)), float(y), 30, 30), pal[i]);
    }
    y += 40;
    std::vector<rgba> ramp = vision_gradient(256), bands = waveform_bands(11);
    for (int i = 0; i < 256; ++i) fill(sheet, rect(float(10 + 2 * i), float(y), 2, 30), ramp[size_t(i)]);
    for (size_t i = 0; i < bands.size(); ++i)
        fill(sheet, rect(float(540 + 30 * int(i)), float(y), 28, 30), bands[i]);
    y += 40;
    x = 10;
    for (const canvas& icon : app_icons) {
        blit(sheet, icon, x, y);
        x += icon.width + 10;
    }
    return sheet;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* sheet_path = nullptr;
    std::vector<const char*> args;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--contact-sheet") == 0 && i + 1 < argc)
            sheet_path = argv[++i];
        else
            args.push_back(argv[i]);
    }
    if (args.size() != 2) {
        log_printf(stderr, "Usage: make_gfx <output folder> <font.ttf> [--contact-sheet <file.png>]\n");
        return 2;
    }
    fs::path out = args[0];
    std::vector<uint8_t> ttf = read_file(args[1]);
    if (ttf.empty()) {
        log_printf(stderr, "Font file not found or empty: %s (install fonts-dejavu-core)\n", args[1]);
        return 1;
    }
    image_set one, two;
    if (!build_set(1, ttf, one) || !build_set(2, ttf, two)) return 1;
    const auto table = theme_palette();
    one.images.emplace_back("palette.png", row_canvas({table.begin(), table.end()}));
    one.images.emplace_back("gradient.png", row_canvas(vision_gradient(256)));
    one.images.emplace_back("rainbow.png", row_canvas(waveform_bands(11)));
    if (!write_set(out, one) || !write_set(out / "2x", two)) return 1;
    // Palettes are tables, not pictures: the same files serve both scales.
    for (const char* name : {"palette.png", "gradient.png", "rainbow.png"})
        if (!write_canvas(out / "2x" / name, *find(one, name))) return 1;
    std::vector<canvas> app_icons;
    for (int size : {48, 128, 256}) {
        app_icons.push_back(draw_app_icon(size));
        if (!write_canvas(out / "icon" / ("sonographica-" + std::to_string(size) + ".png"), app_icons.back()))
            return 1;
    }
    if (sheet_path && !write_canvas(sheet_path, contact_sheet(one, two, app_icons))) return 1;
    return 0;
}
