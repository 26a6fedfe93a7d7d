// The main window and the way the screen buffer reaches it: an SDL renderer (OpenGL driver
// preferred, software fallback) and a streaming texture the buffer is copied into.
#pragma once

struct Shell;

// Creates the window (stored dimensions or the usable area of display 0, maximised), the
// renderer and the screen buffer. False, with the SDL error logged, when any of them fails.
bool window_create(Shell& sh);
// Reads the window's size in pixels; when it changed, reallocates the screen buffer and
// returns true.
bool window_update_size(Shell& sh);
// Copies the screen buffer to the window and shows it.
void window_present(Shell& sh);
void window_destroy(Shell& sh);
// The interface scale: SONOGRAPHICA_SCALE, else GDK_SCALE, else 2 on a display of 192 dpi or
// more, else 1.
int window_interface_scale();
