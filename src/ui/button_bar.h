// The button bar along the bottom of the window: 34 control slots (nine knobs and the push,
// toggle and hover buttons), where they sit in the two-row and one-row layouts, which one the
// pointer hits, and the arithmetic of turning a knob. Positions are screen pixels (logical
// sizes times the interface scale). The knobs' angles and values live in `Knobs` (ui/knob.h):
// knob slot k + 1 shows knob k.
#pragma once

enum : int {
    control_knob = 0,
    control_push = 1,    // acts on release while still pressed
    control_toggle = 2,  // flips on release over it
    control_hover = 3,   // highlighted while the pointer is over it (Play/Pause)
    control_none = 4,    // an empty slot: never hit, never drawn
};

constexpr int bar_slot_count = 34;

// Slot numbers. 1 to 9 are the knobs in the order of ui/knob.h (slot = knob + 1).
enum : int {
    slot_first_knob = 1,
    slot_last_knob = 9,
    slot_play = 10,
    slot_open = 11,
    slot_save = 12,
    slot_quit = 13,
    slot_cursor = 15,        // the seven tool buttons, one radio group
    slot_move = 16,
    slot_dark_spray = 17,
    slot_white_spray = 18,
    slot_brighten_spray = 19,
    slot_smart_erase = 20,
    slot_rectangle = 21,
    slot_flip = 26,
    slot_help = 27,
    slot_invert = 28,
    slot_mask_invert = 29,
    slot_vision_mode = 30,
    slot_lossless = 31,
    slot_harmonics = 32,
    slot_magnet = 33,
};

// Which face a button is drawn with.
enum : int { face_small = 0, face_med = 1, face_big = 2 };

struct BarControl {
    int type = control_none;
    int x = 0, y = 0;            // centre
    int radius = 0;              // hit distance from the centre
    int left = 0, top = 0;       // knob: the corner its geometry counts from; button: its face
    int width = 0, height = 0;   // button face size
    int face = face_small;
    // Push: 1 while held over it. Toggle: the state shown (inverted while the press is over
    // it). Play/Pause: 2 playing, 0 paused.
    int pressed = 0;
    int value = 0;               // a toggle's settled state
    int frames = 64;             // knob animation frames
    int frame = 0;               // knob animation frame shown
    bool lossless_lock = false;  // not turned while lossless synthesis is on (unless F is held)
    bool changed = false;        // a knob turned since its value was last applied
    bool hover = false;          // the pointer is over a hover button
};

struct ButtonBar {
    BarControl controls[bar_slot_count];
    bool one_row = false;        // 169 logical rows: the nine knobs side by side
    bool compact = false;        // one row in a window too narrow for knobs and buttons side by side
    int width = 0, bar_y = 0, bar_height = 0, scale = 1;
    int status_x = 0, status_y = 0, status_width = 0;     // the status line (y: middle of the text)
    int lossless_text_x = 0, lossless_text_y = 0;          // "ON"/"OFF", the reference below
};

// The slot of knob k and the knob of a slot (-1 when it holds none).
constexpr int knob_slot(int knob) { return knob + slot_first_knob; }
constexpr int slot_knob(int slot) { return slot >= slot_first_knob && slot <= slot_last_knob ? slot - slot_first_knob : -1; }
// The tool a tool button chooses (-1 for other slots) and the button of a tool (-1 for tool 7).
int slot_tool(int slot);
int tool_slot(int tool);

// Places every control for a window `width` pixels wide whose bar occupies rows bar_y to
// bar_y + bar_height - 1. The bar is one row of knobs when it is less than 280 logical rows
// tall; buttons keep their pressed states, values and frames.
void bar_layout(ButtonBar& bar, int width, int bar_y, int bar_height, int scale);

// The first slot, in slot order, whose centre lies within its radius of (x, y); a slot that
// lossless mode locks is skipped while `lossless` is on and `unlock` (F) is not held. -1: none.
int bar_hit(const ButtonBar& bar, int x, int y, bool lossless, bool unlock);

// Whether (x, y) lies within the control's radius.
bool control_contains(const BarControl& c, int x, int y);

// Where the texts of a knob go (screen pixels): the seven scale labels centred at their
// points, the name and unit centred horizontally at their rows, the value text centred on the
// knob; the knob image's top-left corner.
struct KnobGeometry {
    int label_x[7] = {}, label_y[7] = {};
    int centre_x = 0;
    int name_y = 0, unit_y = 0, value_y = 0;
    int image_x = 0, image_y = 0, image_size = 0;
};
KnobGeometry knob_geometry(const BarControl& knob, int scale);

// The animation frame showing `angle`: floor(frames × angle / (1.5π)) within [0, frames - 1].
int knob_frame(int frames, double angle);

// The pointer's angle around a knob centre: atan2 of the pointer relative to the centre + π/2.
double pointer_angle(int cx, int cy, int px, int py);

// Turning a knob in circles: the grab offset and the pointer angle tracked from frame to frame.
struct KnobDrag {
    double grab_offset = 0.0;
    double tracked = 0.0;
};
// The press: the offset that makes the pointer's current angle the starting point.
void knob_grab(KnobDrag& d, double angle_now);
// One frame of the drag with the pointer at `angle_now`: the change of the knob's angle. The
// pointer's motion since the last frame wrapped into [-π, π] advances the tracked angle; none
// at an end of travel towards that end, so circling past the end stops there; at most 2
// radians; a hundredth with `precision`.
double knob_circular_change(KnobDrag& d, double angle_now, double knob_angle, bool precision);
// Linear knob control: -0.016 radian per pixel of downward motion (a hundredth with precision).
double knob_linear_change(int dy, bool precision);
// The angle after a change, kept within [0, 1.5π].
double knob_turn(double angle, double change);
