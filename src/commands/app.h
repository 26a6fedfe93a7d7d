// The shared state of a run: the open project, the interpreter and history recorder, the
// file load in progress, and the requests and toggles through which the archive language
// talks to the interface. Plain data: the interface derives what it shows from it.
#pragma once
#include <string>

#include "engine/playback.h"
#include "layers/composite_thread.h"
#include "layers/spray.h"
#include "layers/tool_view.h"
#include "commands/import.h"
#include "commands/archive_read.h"
#include "commands/view.h"
#include "commands/history.h"
#include "project/project.h"

struct PrefStore;

// Raised by archive lines and carried out by the main loop (or by the command-line runner).
struct AppRequests {
    int live_synthesis_on = 0;       // switch live synthesis on ("Synthesis" lines)
    int archive_line_executed = 0;   // refresh the window title and layer state
    int layer_list_refresh = 0;      // rebuild the layer list and the blending check marks
    int view_reset = 0;              // show the whole picture, zoom 1, centred (after a file load)
    int quit = 0;
    // Raised by the interface (keys, menus, buttons) and carried out by the desktop loop.
    int play = 0;                    // start playback, or stop it where it is
    int reload = 0;                  // open the current file again
    int command_line_file = 0;       // open the file named on the command line (first frame)
    int resume_last_session = 0;     // replay the history of the data folder
    int undo = 0;
    int copy = 0;                    // the composite to the clipboard
    int save = 0;                    // Save... (the save dialog)
    int extend_cut = 0;              // open the Extend/cut duration window
    int new_project = 0;             // open the New project window
    int volume_limiter = 0;          // open the Volume limiter window
    int audio_output = 0;            // open the Audio driver & output window
    int about = 0;                   // open the About window
    int open_file = 0;               // open the Open/Import window (File > Open..., key O)
};

// What the next frame must redo after a change of the picture: 0 nothing, 1 recomposite and
// resynthesise, 2 recomposite after a tool stroke, 3 restart synthesis (a parameter changed).
enum : int {
    update_none = 0,
    update_full = 1,
    update_stroke = 2,
    update_synthesis = 3,
};

// Units in which recorded lines write positions and sizes (unit indexes).
struct HistoryUnits {
    int time = 3;                    // "sec"
    int frequency_position = 4;      // "Hz"
    int frequency_dimensions = 5;    // "st"
    bool relative_selection = false; // "Selected layer %+d"
};

// The current tool of the pointer on the picture.
enum : int {
    tool_cursor = 0,
    tool_dark_spray = 1,
    tool_white_paint_spray = 2,
    tool_brighten_spray = 3,
    tool_smart_erase = 4,
    tool_rectangle = 5,
    tool_move = 6,
    tool_convolution_centre = 7,
};

// Painting tool settings that a spray stroke reads besides its arguments.
struct ToolSettings {
    int spray_harmonics = 100;       // "Tool:Spray harmonics"
    bool harmonics_modifier = false;
    bool magnet_modifier = false;
};

struct App {
    Project project;
    ArchiveState archive;
    HistoryRecorder history;
    LoadRequest load;
    AppRequests requests;
    HistoryUnits units;

    // Toggles read by the stack code.
    bool view_current_layer_only = false;
    bool view_current_group_only = false;

    float gamma_control = 1.0f;      // the layer panel's gamma knob: the current layer's gamma
    int view_zoom_flag = 0;          // raised by the "zoom" line
    std::string last_folder;         // folder of the last file opened
    std::string reference_sound;     // name of the sound the project was opened from, for the view
    PrefStore* prefs = nullptr;      // the preference store of the run
    std::string current_file;        // the file the project was last opened from (Reload)
    bool opened_from_command_line = false;
    int image_update_level = update_none;
    int tool = tool_cursor;
    ViewState view;                  // what part of the picture the window shows

    // What the audio callback plays and the synthesis workers render; the desktop program sets
    // it up once at start-up, the command line for each playback.
    PlaybackState playback;
    int sound_save_mode = -1;        // the mode sound saves render in; -1: the project's own

    // Declared after the project: their threads (compositing, spray drainer) are joined before
    // the project goes.
    Compositor compositor;
    ToolView tool_view;              // the view as the painting tools see it
    ToolSettings tools;
    SprayTool spray;
};
