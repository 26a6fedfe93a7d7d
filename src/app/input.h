// Keyboard and pointer input of the main window: keys become requests and held states, the
// pointer drives the button bar, the tools on the picture, seeking and the menu bar. Runs on
// the main thread inside the frame loop.
#pragma once
#include <SDL.h>

#include <string>

struct Shell;

// What the pointer is doing, kept from frame to frame.
enum PointerMode : int {
    pointer_idle = 0,
    pointer_pressed = 1,     // a button was just pressed
    pointer_control = 2,     // dragging a knob or button of the button bar
    pointer_tool = 4,        // applying the current tool to the picture
    pointer_menu_hover = 8,  // on the menu bar
    pointer_menu = 9,        // pressed on the menu bar
    pointer_seek = 10,       // seeking the playback position
};

// Keys held down between their key-down and key-up.
struct HeldKeys {
    bool backwards = false;  // B: playback runs backwards
    bool unlock = false;     // F: knobs that lossless mode locks turn anyway
    bool outline = false;    // H: the tool outline outside the picture too
    bool loop = false;       // L: playback loops
    bool left = false, right = false;  // move the playback position
    bool end = false;        // End: vertical pointer motion pans, as the middle button
    bool ctrl = false, shift = false;
};

struct InputState {
    int mode = pointer_idle;
    unsigned previous_buttons = 0;   // the pointer buttons of the previous frame
    HeldKeys held;
    int zoom_steps = 0;              // wheel notches and Page Up/Down, consumed once per frame
    bool middle = false;             // the middle button is down
    // Vertical pan while the middle button or End is held.
    bool panning = false;
    int pan_y = 0;
    float pan_centre_row = 0.0f;
    bool precision = false;          // right button, or Ctrl with the left
    // The stroke under way (mode 4).
    int stroke_frames = 0;
    int anchor_column = 0, anchor_row = 0;
    bool stroke_erase = false;       // the stroke was started with the precision choice
    int control = -1;                // the button-bar slot being dragged in mode 2
    std::string status;              // the status line of this frame
    int seek_x = -1000000;           // the pointer x of the last seek in mode 10
};

// A key-down or key-up while no text field has the keyboard focus.
void input_key_event(Shell& sh, const SDL_KeyboardEvent& key);
// A wheel event: its notches become zoom steps.
void input_wheel_event(Shell& sh, const SDL_MouseWheelEvent& wheel);
// Once per frame after the pointer state is read: advances the pointer mode and drives the
// button bar, tool strokes, seeking and the menu bar.
void input_pointer_frame(Shell& sh);
// Once per frame: the zoom steps, the vertical pan and the arrow-key seeking.
void input_navigation_frame(Shell& sh);
// Escape: ends the pointer interaction under way without recording anything.
void input_cancel(Shell& sh);
// The status line's text for the current tool: its help text, or the program's title.
const char* tool_help_text(int tool);
