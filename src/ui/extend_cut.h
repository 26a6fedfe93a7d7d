// The Extend/cut duration window: three knobs (seconds, percent, pixels) generate a "Crop"
// line that the user may edit before applying it.
#pragma once
#include <string>

#include "support/widgets.h"

struct App;

struct ExtendCutDialog {
    bool open = false;
    int first_frame = 2;             // 2 when just opened: the knobs take the picture's size
    FloatingWindow window;
    Knob seconds, percent, pixels;   // elements 10, 20, 30
    int chosen = 12;                 // radio group: 12 seconds, 22 percent, 32 pixels
    TextField command;               // element 60
};

void extend_cut_open(ExtendCutDialog& d);
// The "Crop" line the chosen knob generates.
std::string extend_cut_command(const ExtendCutDialog& d);
// Sets the knobs from the picture: seconds default to its duration with one pixel's
// duration as minimum, percent with one pixel in percent as minimum, pixels its width.
void extend_cut_fit(ExtendCutDialog& d, const App& app);
void extend_cut_frame(WidgetContext& ctx, App& app, ExtendCutDialog& d, int screen_w, int screen_h);
