// Pointer positions from SDL into screen-buffer pixels. SDL reports them in window points; on
// a high-density desktop the drawable, and so the screen buffer, has more pixels than the
// window has points, and everything that hit-tests the pointer works in buffer pixels.
#pragma once

struct Shell;

// A coordinate along an axis of `window_extent` points onto one of `screen_extent` pixels;
// unchanged when either extent is unknown (0 or less).
int window_to_screen(int v, int window_extent, int screen_extent);
// Both coordinates of a window position of the shell's window, in place.
void pointer_to_screen(const Shell& sh, int* x, int* y);
