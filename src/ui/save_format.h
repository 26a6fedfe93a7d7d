// The Saving Format Selection window: the format chosen with its description, then the save
// chooser with that format's one filter; the file is written through the archive language.
#pragma once
#include <string>

#include "support/widgets.h"
#include "ui/file_chooser.h"

struct App;

// Formats in the order shown (radio elements 30 onwards).
enum : int {
    save_history = 0,
    save_status,
    save_tiff,
    save_png,
    save_bmp,
    save_jpeg,
    save_wav,
    save_aiff,
    save_flac,
    save_exr,
    save_format_count,
};

struct SaveFormatInfo {
    const char* radio;               // the radio's text
    const char* description;
    FileFilter filter;               // the save chooser's one filter
    const char* extension;           // added when the chosen name has none
};
const SaveFormatInfo& save_format_info(int format);

struct SaveFormatDialog {
    bool open = false;
    FloatingWindow window;
    int chosen = 30;                 // radio element: 30 + format
    int wait_frames = -1;            // frames left before the chooser shows; -1 none pending
    bool placed = false;
    bool saved = false;              // a file was written since the window opened
    std::string failure;             // why the last try wrote nothing, shown in the window
    bool rendering = false;          // a sound file of this window is being written (app.sound_save)
};

void save_format_open(SaveFormatDialog& d);
// What "Proceed to Save dialog..." does: the save chooser shows two frames later.
void save_format_proceed(SaveFormatDialog& d, const FileChooser& chooser);
// Saves the project under `path` in the format: the history copied, or "Save" executed
// without being recorded and recorded as a comment so that a replay writes nothing.
// The format's extension is added to a path that has none. True when written; a failed save
// records nothing.
bool save_format_write(App& app, int format, std::string path);
// Whether the format is a sound file, rendered and written on a worker thread by the window.
bool save_format_is_sound(int format);
// Starts writing the sound file of `format` under `path` on the worker thread (the format's
// extension added to a path that has none). False, with one log line, when it cannot start:
// nothing is recorded then. Its end is taken by save_format_frame, which records the
// comment line once the file is in place.
bool save_format_start_sound(App& app, SaveFormatDialog& d, int format, std::string path);
// While a sound file is written the window shows its progress and a "Cancel" that stops it
// (the close box too); a cancelled or failed save leaves nothing under the name and keeps the
// window open for another try. One save at a time: the window offers no other until it ends.
void save_format_frame(WidgetContext& ctx, App& app, SaveFormatDialog& d, FileChooser& chooser, int screen_w,
                       int screen_h);
