// Bringing a file into the project: "Open" makes it a new project, "Import" adds it as a
// layer. The archive interpreter fills the request; the loader reads and converts the file
// (on its own thread when the interface started it, in place while an archive is read) and
// the completion step, on the main thread, changes the project through archive lines.
#pragma once
#include <string>

#include "media/loader.h"

struct App;

// Copies the project's analysis parameters, channel selection and sample rate into the
// request, then runs the loader: on a thread of its own when the interface asked for one
// (`use_thread`) and no archive is being read, otherwise in place, so that the caller can
// complete it at once. The interpreter fills path, kind, modes and target size before.
void start_load(App& app);

// The completion step, on the main thread: does nothing unless `done` is set; then joins the
// loader thread and installs its results through "Clear image", "Dimensions", "Crop", "New
// layer", "New original image" and "New original sound" lines. A load without a picture, or
// one the project cannot take, changes nothing and counts as a failed line
// (app.archive.failed_lines). The request is cleared in every case.
void complete_load(App& app);

// Waits for a load still running on its thread, then completes it. Used before a new request
// (one load at a time) and by callers that need the result now.
void finish_load(App& app);

// How the history starts afresh when a load from the interface is installed.
enum : int {
    history_goes_on = 0,
    history_restart_open = 1,           // history_restart_for_open
    history_restart_import_dialog = 2,  // history_restart_for_import_dialog
};

// The interface's way in: executes "Open \"%s\"" or "Import \"%s\" h%s v%s" with the loader on
// its own thread; the main loop then completes it (complete_load). What the history needs to
// replay the load is recorded only once the load has been installed: the history restarted by
// `history_restart` (history_goes_on: not), for a sound the analysis parameter lines as they
// were when the load started (plain lines: the project already holds those values), then the
// "Open"/"Import" line as an action and an empty line. A cancelled or failed load records
// nothing. A load still running is finished first.
// Returns false, with one log line, for a path the archive language cannot carry (a double
// quote or a line break in it, or longer than a line) or a load that could not start.
bool open_file_from_interface(App& app, const std::string& path, int history_restart = history_goes_on);
bool import_file_from_interface(App& app, const std::string& path, int horizontal_mode, int vertical_mode);
// The analysis parameter lines of a sound that is opened or imported, recorded as plain lines.
void record_analysis_lines(App& app);

// Asks a load running on the loader thread to stop (between the bands of its analysis):
// the completion step then logs one line and leaves the project and the history as they
// were. Returns false when no load runs. The caller waits with finish_load, or lets the
// main loop's complete_load pick the stopped load up.
bool cancel_load(App& app);
