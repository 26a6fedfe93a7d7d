// The About window: the program's name and version, when it was built, and whether layer
// convolution runs on the GPU.
#pragma once
#include <string>

#include "support/widgets.h"

struct AboutDialog {
    bool open = false;
    bool filled = false;             // the texts are made once, the first time it is shown
    FloatingWindow window;
    std::string name, built, convolution;
};

void about_open(AboutDialog& d);
// The texts; `gpu` tells whether the GPU compute context could be created.
void about_fill(AboutDialog& d, bool gpu);
void about_frame(WidgetContext& ctx, AboutDialog& d, int screen_w, int screen_h);
