#include "app/pointer_scale.h"

#include <cmath>

#include "app/shell.h"

int window_to_screen(int v, int window_extent, int screen_extent)
{
    if (window_extent <= 0 || screen_extent <= 0 || window_extent == screen_extent)
        return v;
    // Floor, so that the last point of the window lands on the last pixels, never past them.
    return (int)std::floor((double)v * screen_extent / window_extent);
}

void pointer_to_screen(const Shell& sh, int* x, int* y)
{
    if (!sh.window)
        return;
    int w = 0, h = 0;
    SDL_GetWindowSize(sh.window, &w, &h);
    *x = window_to_screen(*x, w, sh.width);
    *y = window_to_screen(*y, h, sh.height);
}
