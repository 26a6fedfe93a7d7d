// The New project window: the picture's size given in pixels or in seconds and pixels per
// octave, the fields recomputing each other; Create records the block of lines that makes
// the empty project.
#pragma once
#include <string>

#include "support/widgets.h"

struct App;

struct NewProjectDialog {
    bool open = false;
    int first_frame = 2;
    int available_width = 800;       // logical pixels right of the image area's left edge
    FloatingWindow window;
    int time_radio = 16;             // 12 pixels, 16 seconds
    int pitch_radio = 36;            // 32 pixels, 36 pixels per octave
    TextField width, seconds;        // 13, 17
    TextField height, per_octave;    // 33, 37
    TextField time_resolution;       // 72
    TextField fmin, fmax;            // 82, 83
};

// Opens the window; `available_width` is the window's width less the image area's left edge.
void new_project_open(NewProjectDialog& d, int available_width);
// The fields from the analysis preferences (the program's defaults without a store).
void new_project_load_defaults(NewProjectDialog& d, const App& app);
// After field `element` was edited: its radio is chosen and the other fields follow.
void new_project_recompute(NewProjectDialog& d, const App& app, int element);
// The block of lines Create records and executes.
std::string new_project_lines(const NewProjectDialog& d, const App& app);
// Create: the block recorded as the start of a new history and executed; the window closes.
void new_project_create(NewProjectDialog& d, App& app);
void new_project_frame(WidgetContext& ctx, App& app, NewProjectDialog& d, int screen_w, int screen_h);
