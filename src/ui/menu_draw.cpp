#include "ui/menu_draw.h"

#include <algorithm>

#include "support/font.h"

namespace {

int bar_height(const MenuBar& bar) { return 22 * bar.scale; }

bool is_separator(const MenuEntry& e) { return e.label == "-"; }

int entry_at(const MenuBar& bar, int x, int y)
{
    if (bar.open < 0)
        return -1;
    const std::vector<MenuEntry>& entries = bar.menus[bar.open].entries;
    for (size_t i = 0; i < entries.size(); i++) {
        const MenuEntry& e = entries[i];
        if (!is_separator(e) && x >= e.x && x < e.x + e.width && y >= e.y && y < e.y + e.height)
            return (int)i;
    }
    return -1;
}

bool inside_open_menu(const MenuBar& bar, int x, int y)
{
    if (bar.open < 0)
        return false;
    const Menu& m = bar.menus[bar.open];
    const int left = m.x + 6 * bar.scale, top = 25 * bar.scale;
    return x >= left && x < left + bar.open_width && y >= top - 3 * bar.scale && y < top + bar.open_height;
}

void set_open(MenuBar& bar, int menu)
{
    if (bar.open != menu || bar.highlighted != -1)
        bar.changed = true;
    bar.open = menu;
    bar.highlighted = -1;
}

// The shadow's nine slices: corners as they are, edges stretched along, the centre over the rest.
void draw_shadow(const Raster& screen, const ImageView& shadow, int x, int y, int w, int h)
{
    if (shadow.width < 3 || shadow.height < 3)
        return;
    const int b = shadow.width / 3, bh = shadow.height / 3;
    const int xs[4] = {x - b, x, x + w, x + w + b};
    const int ys[4] = {y - bh, y, y + h, y + h + bh};
    const int sx[4] = {0, b, shadow.width - b, shadow.width};
    const int sy[4] = {0, bh, shadow.height - bh, shadow.height};
    for (int j = 0; j < 3; j++)
        for (int i = 0; i < 3; i++) {
            ImageView part = shadow;
            part.pixels = shadow.pixels + (size_t)sy[j] * (size_t)shadow.stride + (size_t)sx[i];
            part.width = sx[i + 1] - sx[i];
            part.height = sy[j + 1] - sy[j];
            const int dw = xs[i + 1] - xs[i], dh = ys[j + 1] - ys[j];
            if (dw <= 0 || dh <= 0 || part.width <= 0 || part.height <= 0)
                continue;
            if (dw == part.width && dh == part.height)
                blit(screen, xs[i], ys[j], part);
            else
                blit_scaled(screen, xs[i], ys[j], dw, dh, part, ScaleFilter::nearest);
        }
}

void draw_check(const Raster& r, int x, int y, int size, uint32_t colour)
{
    // A tick of two strokes, two pixels thick.
    for (int d = 0; d < 2; d++) {
        draw_line(r, x, y + size / 2 + d, x + size / 3, y + size - 1 + d, colour);
        draw_line(r, x + size / 3, y + size - 1 + d, x + size, y + d, colour);
    }
}

}  // namespace

void menu_layout_open(MenuBar& bar, const MenuLook& look, int window_height)
{
    // Laid out once per opening: the Layers menu may hold thousands of entries.
    if (bar.open == bar.laid_out && window_height == bar.laid_out_height)
        return;
    bar.laid_out = bar.open;
    bar.laid_out_height = window_height;
    bar.open_width = bar.open_height = 0;
    if (bar.open < 0)
        return;
    Menu& m = bar.menus[bar.open];
    const int s = bar.scale;
    const bool fonts = look.font && font_ok(*look.font);
    int column_width = look.line.width;
    for (const MenuEntry& e : m.entries) {
        if (is_separator(e) || !fonts)
            continue;
        int w = text_width(*look.font, e.label);
        if (*e.shortcut)
            w += 24 * s + text_width(*look.font, e.shortcut);
        column_width = std::max(column_width, w + 40 * s);
    }
    column_width = std::max(column_width, 120 * s);
    const int left = m.x + 6 * s, top = 25 * s;
    const int separator = look.line.height > 0 ? look.line.height : 5 * s;
    int x = left, y = top, bottom = top;
    for (MenuEntry& e : m.entries) {
        const int h = is_separator(e) ? separator : 22 * s;
        // A menu taller than the window goes on in a further column.
        if (y + h > window_height && y > top) {
            x += column_width;
            y = top;
        }
        e.x = x;
        e.y = y;
        e.width = column_width;
        e.height = h;
        y += h;
        bottom = std::max(bottom, y);
    }
    bar.open_width = x + column_width - left;
    bar.open_height = bottom - top;
}

int menu_title_at(const MenuBar& bar, int x)
{
    const int s = bar.scale;
    for (int i = 0; i < menu_count; i++) {
        const Menu& m = bar.menus[i];
        if (*m.title && x >= m.x + 6 * s && x < m.x + 18 * s + m.width)
            return i;
    }
    return -1;
}

bool menu_has_pointer(const MenuBar& bar, int y) { return bar.open >= 0 || (y >= 0 && y < bar_height(bar)); }

int menu_pointer(MenuBar& bar, const MenuLook& look, int x, int y, bool down, int window_height)
{
    const bool pressed_now = down && !bar.pressed;
    const bool released_now = !down && bar.pressed;
    bar.pressed = down;
    const bool on_bar = y >= 0 && y < bar_height(bar);
    int chosen = 0;
    if (on_bar) {
        const int title = menu_title_at(bar, x);
        if (pressed_now && title >= 0)
            set_open(bar, title == bar.open ? -1 : title);
        else if (bar.open >= 0 && title >= 0 && title != bar.open)
            set_open(bar, title);  // moving along the bar
        else if (bar.highlighted != -1) {
            bar.highlighted = -1;
            bar.changed = true;
        }
        menu_layout_open(bar, look, window_height);
        return 0;
    }
    if (bar.open < 0)
        return 0;
    menu_layout_open(bar, look, window_height);
    const int entry = entry_at(bar, x, y);
    if (entry != bar.highlighted) {
        bar.highlighted = entry;
        bar.changed = true;
    }
    if (released_now && entry >= 0) {
        chosen = bar.menus[bar.open].entries[(size_t)entry].id;
        set_open(bar, -1);
    } else if (pressed_now && !inside_open_menu(bar, x, y)) {
        set_open(bar, -1);
    }
    return chosen;
}

void menu_draw(const Raster& screen, const MenuBar& bar, const MenuLook& look)
{
    const int s = bar.scale;
    const bool fonts = look.font && font_ok(*look.font);
    const int text_h = fonts ? font_height(*look.font) : 0;
    for (int i = 0; i < menu_count && fonts; i++) {
        const Menu& m = bar.menus[i];
        if (!*m.title)
            continue;
        if (i == bar.open)
            fill_rect(screen, m.x + 6 * s, 0, m.width + 12 * s, bar_height(bar), look.highlight);
        // Text drawn at y has its cells' top row at y + offset: centre the cell in the bar.
        draw_text(screen, *look.font, m.x + 12 * s, (bar_height(bar) - text_h) / 2 - look.font->offset, m.title,
                  look.text);
    }
    if (bar.open < 0 || bar.open_width <= 0)
        return;
    const Menu& m = bar.menus[bar.open];
    const int left = m.x + 6 * s, top = 25 * s;
    draw_shadow(screen, look.shadow, left + 3 * s, top + 3 * s, bar.open_width, bar.open_height);
    fill_rect(screen, left, top, bar.open_width, bar.open_height, look.background);
    for (size_t i = 0; i < m.entries.size(); i++) {
        const MenuEntry& e = m.entries[i];
        if (e.x >= screen.width)
            break;  // further columns lie beyond the window
        if (is_separator(e)) {
            if (look.line.width > 0)
                blit(screen, e.x, e.y, look.line);
            else
                draw_hline(screen, e.x + 4 * s, e.y + e.height / 2, e.width - 8 * s, look.dimmed);
            continue;
        }
        if ((int)i == bar.highlighted && !e.greyed)
            fill_rect(screen, e.x, e.y, e.width, e.height, look.highlight);
        const uint32_t colour = e.greyed ? look.dimmed : look.text;
        if (e.checked)
            draw_check(screen, e.x + 6 * s, e.y + 6 * s, 10 * s, look.check);
        if (!fonts)
            continue;
        const int ty = e.y + (e.height - text_h) / 2 - look.font->offset;
        draw_text(screen, *look.font, e.x + 24 * s, ty, e.label, colour);
        if (*e.shortcut)
            draw_text(screen, *look.font, e.x + e.width - 16 * s - text_width(*look.font, e.shortcut), ty, e.shortcut,
                      look.dimmed);
    }
}
