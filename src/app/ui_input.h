// The floating windows in the frame loop: SDL events become widget input, the windows run
// once per frame after the requests, and are drawn above everything else.
#pragma once
#include <SDL.h>

struct Shell;

// Gathers the event into the frame's widget input.
void ui_event(Shell& sh, const SDL_Event& e);
// A key press: true when the windows take it (F3, or any key while a text field has the
// keyboard focus), so that the shortcuts never see it.
bool ui_key_down(Shell& sh, const SDL_KeyboardEvent& k);
// Runs the open windows with the frame's input.
void ui_frame(Shell& sh);
// True while any floating window (or the console) is shown.
bool ui_windows_open(const Shell& sh);
// Draws the open windows into the screen buffer.
void ui_draw(Shell& sh);
