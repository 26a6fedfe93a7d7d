// The Open/Import window: a file chosen with the open chooser (or dropped on the window),
// opened as a new project or added to the current one with a placement per axis.
#pragma once
#include <string>
#include <vector>

#include "support/widgets.h"
#include "ui/file_chooser.h"

struct App;

struct OpenImportDialog {
    bool open = false;
    FloatingWindow window;
    bool placed = false;
    std::string path;                // "" for none
    int target = 60;                 // 60 new project, 61 add to the current project
    int horizontal = 24;             // 22 crop, 23 fit, 24 extend
    int vertical = 33;               // 32 crop, 33 fit, 34 extend
    bool asking = false;             // the chooser was started by this window
    bool ask_on_first_frame = false;
    bool sound_chosen = false;       // a sound was chosen: the analysis parameters window opens
};

// The open chooser's filters, in the order shown.
std::vector<FileFilter> open_file_filters();
// Opens the window; without a file the chooser shows at once, with one (a dropped file) it
// is chosen already.
void open_import_open(OpenImportDialog& d, const std::string& path);
// Takes a chosen file: one that does not exist is dropped.
void open_import_choose(OpenImportDialog& d, const std::string& path);
// Whether the New/Add choice and the placement radios are shown.
bool open_import_shows_target(const OpenImportDialog& d, const App& app);
bool open_import_shows_methods(const OpenImportDialog& d, const App& app);
// "Load": opens, imports, or replays an archive; the window closes. False without a file.
bool open_import_load(OpenImportDialog& d, App& app);
void open_import_frame(WidgetContext& ctx, App& app, OpenImportDialog& d, FileChooser& chooser, int screen_w,
                       int screen_h);
