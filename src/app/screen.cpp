#include "app/screen.h"

#include <algorithm>

#include <stb/stb_image_write.h>

#include "app/bar_state.h"
#include "app/view_draw.h"
#include "app/layout.h"
#include "app/menu_shell.h"
#include "app/shell.h"
#include "app/ui_input.h"
#include "support/font.h"
#include "support/log.h"
#include "support/palette_entries.h"

namespace {

// The bar's picture repeated across the window; a plain band when the picture is missing.
void draw_menu_bar(Shell& sh, const ScreenLayout& l)
{
    Raster screen = raster_of(sh.screen);
    Raster bar = sub_raster(screen, 0, 0, sh.width, l.menu_bar_height);
    const Pixmap& tile = sh.gfx.menu_bar;
    if (tile.width <= 0 || tile.height <= 0) {
        fill_rect(bar, 0, 0, bar.width, bar.height, palette_colour(sh.gfx, palette_menu_background, 0xFF303038u));
        return;
    }
    ImageView v = view_of(tile);
    if (tile.height == bar.height) {
        for (int x = 0; x < bar.width; x += tile.width)
            blit(bar, x, 0, v);
    } else {
        for (int x = 0; x < bar.width; x += tile.width)
            blit_scaled(bar, x, 0, tile.width, bar.height, v, ScaleFilter::bilinear);
    }
}

// The rectangle the open menu and its shadow cover, clipped to the screen; width 0 for none.
void open_menu_rect(const Shell& sh, int* x, int* y, int* w, int* h)
{
    *x = *y = *w = *h = 0;
    const MenuBar& bar = sh.menus;
    if (bar.open < 0 || bar.open_width <= 0)
        return;
    const int s = bar.scale;
    const int bw = sh.gfx.menu_shadow.width / 3, bh = sh.gfx.menu_shadow.height / 3;
    const int left = bar.menus[bar.open].x + 6 * s, top = 25 * s;
    const int x0 = std::max(0, left - bw), y0 = std::max(0, top - bh);
    const int x1 = std::min(sh.width, left + bar.open_width + 3 * s + bw);
    const int y1 = std::min(sh.height, top + bar.open_height + 3 * s + bh);
    if (x1 > x0 && y1 > y0) {
        *x = x0;
        *y = y0;
        *w = x1 - x0;
        *h = y1 - y0;
    }
}

void save_region(const Pixmap& screen, int x, int y, int w, int h, Shell::Saved& out)
{
    out.x = x;
    out.y = y;
    out.width = w;
    out.height = h;
    out.pixels.resize((size_t)w * (size_t)h);
    for (int r = 0; r < h; r++)
        std::copy_n(&screen.pixels[(size_t)(y + r) * (size_t)screen.width + (size_t)x], w, &out.pixels[(size_t)r * (size_t)w]);
}

void restore_region(Pixmap& screen, const Shell::Saved& saved)
{
    if (saved.x + saved.width > screen.width || saved.y + saved.height > screen.height)
        return;
    for (int r = 0; r < saved.height; r++)
        std::copy_n(&saved.pixels[(size_t)r * (size_t)saved.width], saved.width,
                    &screen.pixels[(size_t)(saved.y + r) * (size_t)screen.width + (size_t)saved.x]);
}

// Keeps what the titles and the open menu are about to cover.
void save_under_menus(Shell& sh, const ScreenLayout& l)
{
    save_region(sh.screen, 0, 0, sh.width, std::min(sh.height, l.menu_bar_height), sh.under_title_row);
    int x, y, w, h;
    open_menu_rect(sh, &x, &y, &w, &h);
    save_region(sh.screen, x, y, w, h, sh.under_menu);
}

void add_dirty(Shell& sh, int x, int y, int w, int h)
{
    if (w > 0 && h > 0 && sh.dirty_count < 4) {
        int* d = sh.dirty[sh.dirty_count++];
        d[0] = x;
        d[1] = y;
        d[2] = w;
        d[3] = h;
    }
}

}  // namespace

void screen_draw(Shell& sh)
{
    App& app = sh.app;
    const int waveform_height = sh.startup.waveform_height;
    ScreenLayout l = screen_layout(sh.width, sh.height, sh.scale, waveform_height, app.project.lossless);
    Raster screen = raster_of(sh.screen);
    raster_fill(screen, palette_colour(sh.gfx, palette_window_background, 0xFF202024u));
    draw_menu_bar(sh, l);

    view_draw(sh, l);
    bar_draw(sh, l);
    view_draw_labels(sh, l);
    save_under_menus(sh, l);
    draw_menus(sh);
    ui_draw(sh);  // the floating windows above everything
    sh.dirty_count = 0;
}

bool screen_draw_bar_knob(Shell& sh, int slot)
{
    const ScreenLayout l = screen_layout(sh.width, sh.height, sh.scale, sh.startup.waveform_height, sh.app.project.lossless);
    const ButtonBar& bar = sh.bar.bar;
    if (ui_windows_open(sh) || sh.menus.open >= 0 || slot < 0 || slot >= bar_slot_count ||
        sh.screen.width != sh.width || bar.width != sh.width || l.bar_height <= 0)
        return false;
    const BarControl& c = bar.controls[slot];
    if (c.type != control_knob)
        return false;
    // The bar is drawn whole into the buffer as a whole redraw would draw it (panel, controls,
    // then the time labels along its top edge), and only the knob's box and the status line
    // are kept from it: the rest goes back as it was.
    const int s = std::max(1, sh.scale), line = font_height(sh.gfx.font12);
    const int boxes[2][4] = {{c.left, c.top, 110 * s, 110 * s},
                             {bar.status_x, bar.status_y - line, bar.status_width, 2 * line}};
    Shell::Saved before;
    save_region(sh.screen, 0, l.bar_y, sh.width, std::min(l.bar_height, sh.height - l.bar_y), before);
    bar_draw(sh, l);
    view_draw_time_labels(sh, l);
    Shell::Saved kept[2];
    for (int i = 0; i < 2; i++) {
        const int x0 = std::clamp(boxes[i][0], 0, sh.width), y0 = std::clamp(boxes[i][1], l.bar_y, sh.height);
        const int x1 = std::clamp(boxes[i][0] + boxes[i][2], 0, sh.width);
        const int y1 = std::clamp(boxes[i][1] + boxes[i][3], l.bar_y, sh.height);
        save_region(sh.screen, x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0), kept[i]);
    }
    restore_region(sh.screen, before);
    sh.dirty_count = 0;
    for (const Shell::Saved& k : kept) {
        restore_region(sh.screen, k);
        add_dirty(sh, k.x, k.y, k.width, k.height);
    }
    return true;
}

bool screen_draw_menus(Shell& sh)
{
    const ScreenLayout l = screen_layout(sh.width, sh.height, sh.scale, sh.startup.waveform_height, sh.app.project.lossless);
    // A floating window may lie over the menus: then only a whole redraw keeps the order.
    if (ui_windows_open(sh) || sh.under_title_row.width != sh.width || sh.screen.width != sh.width)
        return false;
    const Shell::Saved old = sh.under_menu;
    restore_region(sh.screen, old);
    restore_region(sh.screen, sh.under_title_row);
    save_under_menus(sh, l);
    draw_menus(sh);
    sh.dirty_count = 0;
    add_dirty(sh, sh.under_title_row.x, sh.under_title_row.y, sh.under_title_row.width, sh.under_title_row.height);
    add_dirty(sh, old.x, old.y, old.width, old.height);
    add_dirty(sh, sh.under_menu.x, sh.under_menu.y, sh.under_menu.width, sh.under_menu.height);
    return true;
}

bool screen_save_png(const Shell& sh, const char* path)
{
    if (sh.screen.width <= 0 || sh.screen.height <= 0) {
        log_printf(stderr, "Error: no screen to save to %s\n", path);
        return false;
    }
    // The buffer holds 0xAARRGGBB words; PNG wants R, G, B bytes.
    std::vector<unsigned char> rgb((size_t)sh.screen.width * (size_t)sh.screen.height * 3);
    for (size_t i = 0; i < sh.screen.pixels.size(); i++) {
        uint32_t c = sh.screen.pixels[i];
        rgb[i * 3] = (unsigned char)(c >> 16);
        rgb[i * 3 + 1] = (unsigned char)(c >> 8);
        rgb[i * 3 + 2] = (unsigned char)c;
    }
    if (!stbi_write_png(path, sh.screen.width, sh.screen.height, 3, rgb.data(), sh.screen.width * 3)) {
        log_printf(stderr, "Error: couldn't write the screenshot %s\n", path);
        return false;
    }
    return true;
}
