// The menu bar on the screen: the titles, the open menu with its shadow, and the pointer on
// the bar and in the open menu (pointer modes 8 and 9).
#pragma once
#include "support/raster.h"
#include "ui/menu.h"

struct Font;

// What the menus are drawn with; a missing image is drawn without.
struct MenuLook {
    const Font* font = nullptr;   // the 16-pixel font
    ImageView line;               // separator
    ImageView shadow;             // nine-slice, borders a third of its size
    uint32_t text = 0xFFE0E0E0u, dimmed = 0xFF808080u, background = 0xFF34343Au;
    uint32_t highlight = 0xFF4A5A78u, check = 0xFFE0E0E0u;
};

// Lays the open menu's entries out: 22-pixel entries from 25 pixels below the top,
// separators as tall as the separator image, further columns where the window ends.
void menu_layout_open(MenuBar& bar, const MenuLook& look, int window_height);
// The menu whose title spans x on the bar (from x + 6 to x + 18 + its width); -1 for none.
int menu_title_at(const MenuBar& bar, int x);
// One frame of the pointer: opens, switches and closes menus, highlights the entry under the
// pointer; returns the identifier of the entry the button was released over, 0 for none. Sets
// bar.changed when what is shown changed. `window_height` bounds the menu's columns.
int menu_pointer(MenuBar& bar, const MenuLook& look, int x, int y, bool button_down, int window_height);
// True while the menus own the pointer: on the bar, or anywhere while a menu is open.
bool menu_has_pointer(const MenuBar& bar, int y);
// The titles over the bar (drawn by the caller) and the open menu.
void menu_draw(const Raster& screen, const MenuBar& bar, const MenuLook& look);
