#include "ui/about.h"

#include <algorithm>

#include "layers/convolution_gpu.h"
#include "ui/dialog_layout.h"

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
    dialog_size_window(dialog_about, d.window, s);
    if (!d.filled) {
        about_fill(d, gpu_available());
        d.window.x = std::max(0, (screen_w - d.window.w) / 2);
        d.window.y = std::max(0, (screen_h - d.window.h) / 3);
    }
    floating_window(ctx, 6001, d.window, dialog_text(dialog_about, 0), screen_w, screen_h);
    const ResolvedLayout r = dialog_resolve(dialog_about, d.window, s);
    label(ctx, dialog_rect(r, 10), d.name);
    label(ctx, dialog_rect(r, 20), d.built);
    label(ctx, dialog_rect(r, 40), d.convolution);
    if (d.window.close_clicked)
        d.open = false;
}
