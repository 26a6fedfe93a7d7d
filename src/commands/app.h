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
#include "commands/sound_save_job.h"
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
    // Raised by the menus and the button bar; ui/menu_requests.cpp carries out all but the
    // windows, which the dialogs open.
    int extend_cut = 0;              // open the Extend/cut duration window
    int new_project = 0;             // open the New project window
    int volume_limiter = 0;          // open the Volume limiter window
    int audio_output = 0;            // open the Audio driver & output window
    int about = 0;                   // open the About window
    int open_file = 0;               // open the Open/Import window (File > Open..., key O)
    int erase_mask = 0;
    int default_values = 0;          // Min./Max. frequency, Time resolution, Gamma, Frequency scale knobs
    int loop_playback = 0;           // option toggles, each flips its state
    int pause_after_loop = 0;
    int live_synthesis = 0;
    int unnormalised_output = 0;
    int suspend_processing = 0;
    int long_blocks = 0;
    int constant_time_resolution = 0;
    int linear_knob_control = 0;
    int save_live_output = 0;        // start recording what the audio callback plays
    int suspend_live_output = 0;     // pause or resume that recording
    int mix_channels = 0;            // two mono files into one stereo WAV
    int history_unit = 0;            // the History menu entry's identifier (4010..4040)
    int force_fast_display = 0;
    int force_smooth_display = 0;
    int rhythm_overlay = 0;
    int semitone_overlay = 0;
    int tool = 0;                    // the chosen tool plus 1
    int harmonics_modifier = 0;
    int magnet_modifier = 0;
    int image_operation = 0;         // the image operation's index plus 1 (rotations included)
    int new_layer = 0;
    int duplicate_layer = 0;
    int add_separator = 0;
    int merge_down = 0;
    int delete_layer = 0;
    int merge_all = 0;
    int move_layer_up = 0;
    int move_layer_down = 0;
    int view_current_layer_only = 0;
    int view_current_group_only = 0;
    int turn_off_layer = 0;
    int blending = 0;                // the blending mode plus 1
    int select_layer = 0;            // the layer-list entry's number plus 1
    int open_manual = 0;
    int check_updates = 0;
    int open_files_folder = 0;
};

// On/off options of the menus that no other record holds; the check marks are derived from them
// and from the records that hold the others (project, playback controls, tool settings).
struct AppToggles {
    bool unnormalised_output = false;
    bool linear_knob_control = false;
    bool live_output_suspended = false;
    float min_pitch_resolution = 24.0f;  // restored when constant time resolution is turned off
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
    float width = 20.0f;             // "Tool:Width": the brush width in screen pixels
    int spray_harmonics = 100;       // "Tool:Spray harmonics"
    bool harmonics_modifier = false;
    bool magnet_modifier = false;
};

// How the picture is shown; flipped by the View menu.
struct DisplayToggles {
    bool force_fast_display = false;    // nearest-pixel resampling always (never with the next)
    bool force_smooth_display = false;  // tent-filtered resampling always
    bool vision_mode = false;           // false colours through the gradient image
    bool rhythm_overlay = false;        // 4/4 bar and beat lines
    bool semitone_overlay = false;      // a dashed line at every semitone that has room
};

struct App {
    Project project;
    ArchiveState archive;
    HistoryRecorder history;
    LoadRequest load;
    SoundSaveJob sound_save;         // a sound file being written on its own thread (the save window)
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
    DisplayToggles display;          // how the window shows it

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
    AppToggles toggles;
};
