// The desktop program's state around the App record: the window and its screen buffer, the
// interface images, the audio device, the frame's redraw flags and the hooks tests use.
#pragma once
#include <SDL.h>

#include <string>
#include <vector>

#include "app/bar_state.h"
#include "app/display.h"
#include "app/input.h"
#include "app/interface_images.h"
#include "app/tool_stroke.h"
#include "app/waveform.h"
#include "audio/audio_device.h"
#include "commands/app.h"
#include "support/prefs.h"
#include "support/raster.h"
#include "ui/knob.h"
#include "ui/menu.h"
#include "ui/ui_state.h"

// A Yes/No question; the default shows an SDL message box, tests answer it themselves.
using QuestionFn = bool (*)(void* context, const char* text, const char* title);
using MessageFn = void (*)(void* context, const char* text, const char* title, int warning);
// Opens a document with the desktop's viewer; true when it could. The default runs xdg-open.
using OpenFn = bool (*)(void* context, const char* path);

struct Shell {
    App app;
    AudioOutput audio;
    bool audio_ok = false;

    // The window. `width` × `height` are the screen buffer's pixels; `scale` is the interface
    // scale (2 on a high-density desktop), by which every layout size in logical pixels is
    // multiplied.
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    int width = 0, height = 0;
    int texture_width = 0, texture_height = 0;
    int scale = 1;
    bool maximised = false;
    Pixmap screen;
    InterfaceImages gfx;
    MenuBar menus;                   // the menu bar, its open menu and the layer list
    BarState bar;                    // the button bar's controls, their drag and pictures
    Knobs knobs;                     // the button bar's knobs
    InputState input;                // keys held, the pointer mode, the stroke under way
    ToolStroke stroke;               // the tool stroke under way (pointer mode 4)

    // Per frame.
    bool interface_changed = true;   // redraw the interface around the picture
    bool image_changed = true;       // redraw the picture
    bool size_changed = false;       // the window was resized since the last frame
    bool menus_changed = false;      // only the menu bar or the open menu changed: redraw just them
    int bar_knob_changed = -1;       // only this knob slot of the bar and the status line changed
    long long frames = 0;            // frames run
    long long presents = 0;          // frames presented
    long long partial_presents = 0;  // of which only changed rectangles went up
    int pointer_x = -1000, pointer_y = -1000;
    unsigned pointer_buttons = 0;

    // The display of the picture: rebuilt when the picture or the view changes, copied into
    // the screen buffer on every redraw.
    Pixmap display;
    bool display_stale = true;
    DisplayKey display_key;          // what the display was last built for
    float display_max = 0.0f;        // the visible maximum the display was last built with
    bool stroke_active = false;      // a tool stroke is under way: the display takes the fast resampler
    WaveformThread waveform;         // the strip above the picture, built on its own thread
    float stroke_peak = 0.0f;        // the composite's peak at the end of the last stroke

    // Start-up.
    PrefStartupValues startup;       // what the preferences held at start-up
    std::vector<std::string> args;   // the command line, program name first
    std::string command_line_path;   // the file the command line names ("" for none)
    bool save_question_pending = false;  // Reload waits for the save that the user asked for
    int deferred_reopen = 0;         // 1 reload, 2 the command-line file, after that save

    // Hooks of the environment: questions and messages (SDL message boxes unless replaced),
    // a script of archive lines run one per frame, a screenshot after the last frame, a
    // frame limit.
    QuestionFn question = nullptr;
    MessageFn message = nullptr;
    OpenFn open_document = nullptr;  // the user guide's viewer (xdg-open unless replaced)
    void* hook_context = nullptr;
    std::vector<std::string> script;
    size_t script_next = 0;
    std::string screenshot_path;
    long long exit_after_frames = -1;
    bool synthetic_pointer = false;  // tests set pointer_x/y/buttons themselves before each frame

    UiState ui;                      // the floating windows and the console

    // What the open menu covers, kept when the screen is drawn, so that a change of the menus
    // alone puts it back and draws the menus again instead of redrawing the whole window.
    struct Saved {
        int x = 0, y = 0, width = 0, height = 0;
        std::vector<uint32_t> pixels;
    };
    Saved under_title_row, under_menu;
    // The part of the screen buffer changed since the last present; width 0: all of it.
    int dirty_count = 0;
    int dirty[4][4] = {};            // x, y, width, height

    Shell() = default;
    Shell(const Shell&) = delete;
    Shell& operator=(const Shell&) = delete;
};

// message_box: a modal box with a warning icon when `warning`, else an error icon.
void message_box(Shell& sh, const char* text, const char* title, int warning);
// question_box: a Yes/No question with a warning icon; true for Yes.
bool question_box(Shell& sh, const char* text, const char* title);

// The command line's file: the first argument, or the second when the first begins with "-"
// and a second exists; "" when there is none.
std::string command_line_file(const std::vector<std::string>& args);

// Where the interface pictures are: SONOGRAPHICA_GFX_DIR, else "gfx" beside the program (a
// build tree), else "share/sonographica/gfx" of the prefix the program is installed in.
std::string interface_folder();

// Start-up in the program's fixed order: data folder, crash handler, log, preferences, window,
// images and fonts, audio, the project's locks and tables. False when no window could be made
// (the reason is logged).
bool shell_startup(Shell& sh, int argc, char** argv);
// One frame of the loop. Returns false once the quit request is set.
bool shell_frame(Shell& sh);
// Stops every worker and the audio device, then closes the window.
void shell_shutdown(Shell& sh);
// start-up, frames until quit, shutdown; the process's exit status.
int shell_main(int argc, char** argv);
