// The console: one archive line typed and run against the open project, recorded in the
// history like any other action, with the lines of this run recalled by Up and Down.
#pragma once
#include <string>
#include <vector>

#include "support/widgets.h"

struct App;

struct Console {
    bool visible = false;
    bool placed = false;             // the window got its first position
    FloatingWindow window;
    TextField field;
    std::vector<std::string> lines;  // run in this program run, in order
    size_t browse = 0;               // 0 .. lines.size(); lines.size() is the new, empty line
};

// F3: shows the console with an empty field at the end of its history and the keyboard
// focus in the field, or hides it (the history stays).
void console_toggle(WidgetContext& ctx, Console& c);
// Runs the line as the console does: executed, recorded, appended to the recall history.
void console_run(App& app, Console& c, const std::string& line);
// One pass of the console window; nothing while hidden.
void console_frame(WidgetContext& ctx, App& app, Console& c, int screen_w, int screen_h);
