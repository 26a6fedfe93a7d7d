// The window of long work: a bar with the percentage done ("%.1f%%"), a line saying what
// runs, and a "Cancel" button. Used while a sound is analysed for loading; the save window
// draws the same bar while a sound file is rendered.
#pragma once
#include <string>

#include "support/widgets.h"

struct App;

struct ProgressWindow {
    FloatingWindow window;
    bool placed = false;
    bool busy_last_frame = false;    // long work ran at the last frame (its end is drawn once more)
};

// The percentage as shown: "%.1f%%" of the fraction, kept within 0 to 100.
std::string progress_percent_text(double fraction);
// A bar filled to `fraction` with the percentage in its middle.
void progress_bar(WidgetContext& ctx, WidgetRect r, double fraction);

// The analysis progress window, shown while a load runs on the loader thread. Its "Cancel"
// (or the close box) stops the load; the project stays as it was. Draws nothing otherwise.
void load_progress_frame(WidgetContext& ctx, App& app, ProgressWindow& w, int screen_w, int screen_h);
// Whether the window shows now: a load from the interface is running.
bool load_progress_showing(const App& app);
