#include "ui/about.h"

#include <algorithm>

#include "layers/convolution_gpu.h"

void about_open(AboutDialog& d) { d.open = true; }

void about_fill(AboutDialog& d, bool gpu)
{
    d.name = "Sonographica 1.11.2";
    d.built = std::string("Compiled on ") + __DATE__ + " at " + __TIME__;
    d.convolution = gpu ? "\xE2\x9C\x94 OpenCL is detected and used for GPU-accelerated layer convolution"
                        : "\xE2\x9D\x8C OpenCL isn't detected, therefore layer convolution is done on the CPU";
    d.filled = true;
}

void about_frame(WidgetContext& ctx, AboutDialog& d, int screen_w, int screen_h)
{
    if (!d.open)
        return;
    const int s = ctx.scale;
    if (!d.filled) {
        about_fill(d, gpu_available());
        d.window.w = 480 * s;
        d.window.h = 120 * s;
        d.window.x = std::max(0, (screen_w - d.window.w) / 2);
        d.window.y = std::max(0, (screen_h - d.window.h) / 3);
    }
    const WidgetRect in = floating_window(ctx, 6001, d.window, "About", screen_w, screen_h);
    label(ctx, {in.x, in.y, in.w, 20 * s}, d.name);
    label(ctx, {in.x, in.y + 24 * s, in.w, 20 * s}, d.built);
    label(ctx, {in.x, in.y + 52 * s, in.w, 20 * s}, d.convolution);
    if (d.window.close_clicked)
        d.open = false;
}
