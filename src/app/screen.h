// Drawing the window's contents into the screen buffer.
#pragma once

struct Shell;

// Draws the whole interface: background, menu bar, the picture's display in the image area,
// the button bar's panel. Rebuilds the display first when it is stale.
void screen_draw(Shell& sh);
// Redraws only the menu titles and the open menu over what they covered at the last whole
// redraw, and marks those rectangles as what the next present uploads. False, drawing nothing,
// when that cannot be done (a floating window is open, the window changed): draw everything.
bool screen_draw_menus(Shell& sh);
// Redraws only a knob of the button bar and the bar's status line (a knob being turned), and
// marks those rectangles as what the next present uploads. False, drawing nothing, when that
// cannot be done (a menu or a floating window is open, the window changed): draw everything.
bool screen_draw_bar_knob(Shell& sh, int slot);
// Writes the screen buffer as a PNG file. False, with one log line, when it cannot.
bool screen_save_png(const Shell& sh, const char* path);
