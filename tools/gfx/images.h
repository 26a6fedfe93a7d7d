// The interface images drawn from vector shapes: menu pieces, knob, button faces, the bar's
// corner, the button bar's icons and the application icon. Every function draws at `scale`
// pixels per design unit, so the 2× set is drawn, not enlarged.
#pragma once
#include "gfx/canvas.h"

constexpr int knob_frames = 64;

canvas draw_menu_bar(float scale);
canvas draw_menu_line(float scale);
canvas draw_menu_shadow(float scale);
canvas draw_knob(float scale);
canvas draw_knob_anim(float scale);
canvas draw_knob_frame(float scale, int frame);  // one frame of the strip
canvas draw_button(float scale, float width, float height);
canvas draw_corner(float scale);
canvas draw_icon(float scale, const char* name);  // name without folder and extension
canvas draw_app_icon(int pixels);

// Names of the icons draw_icon knows, in button bar order.
extern const char* const icon_names[14];
