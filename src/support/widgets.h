// Immediate-mode widgets for the floating windows: each call both handles this frame's input
// and, when the context has a target raster, draws the element. No window system here: the
// caller fills a WidgetInput from its events, so tests drive the widgets with synthetic input.
//
// The caller runs its windows twice per drawn frame: once with the frame's input and no
// target (what the user did), then, when the screen is redrawn, with an empty input and the
// screen as target (what it looks like). With an empty input no widget reports anything, so
// the second pass draws the state the first one left.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/font.h"
#include "support/raster.h"

// Keys the widgets react to; everything typed as text arrives as UTF-8 in WidgetInput::text.
enum : int {
    wkey_none = 0,
    wkey_left,
    wkey_right,
    wkey_home,
    wkey_end,
    wkey_backspace,
    wkey_delete,
    wkey_enter,
    wkey_escape,
    wkey_up,
    wkey_down,
    wkey_select_all,  // Ctrl+A
    wkey_copy,        // Ctrl+C
    wkey_cut,         // Ctrl+X
    wkey_paste,       // Ctrl+V
    wkey_tab,
};

enum : int {
    wmod_shift = 1,
    wmod_ctrl = 2,
};

struct WidgetKey {
    int key = wkey_none;
    int mods = 0;
};

// One frame of input, in screen pixels.
struct WidgetInput {
    int pointer_x = -1000, pointer_y = -1000;
    bool left_down = false;        // the left button is held now
    bool left_pressed = false;     // it went down this frame
    bool left_released = false;    // it went up this frame
    bool double_click = false;     // the press of this frame is a double click
    bool right_pressed = false;
    int mods = 0;                  // held modifiers (wmod_*)
    std::string text;              // text typed this frame (UTF-8)
    std::vector<WidgetKey> keys;   // keys pressed this frame, in order
};

// The clipboard, through the caller (the desktop program passes SDL's).
using ClipboardGetFn = std::string (*)(void* context);
using ClipboardSetFn = void (*)(void* context, const std::string& text);

struct WidgetRect {
    int x = 0, y = 0, w = 0, h = 0;
};

inline bool rect_contains(const WidgetRect& r, int x, int y)
{
    return x >= r.x && y >= r.y && x < r.x + r.w && y < r.y + r.h;
}

struct TextField;

// What every widget call shares during one pass.
struct WidgetContext {
    WidgetInput input;
    Raster target;                 // where to draw; no pixels: handle input only
    const Font* font = nullptr;    // the interface font at the current scale
    int scale = 1;
    TextField* focus = nullptr;    // the field that gets the keys; null: the shortcuts get them
    int pressed_id = 0;            // the button, checkbox or knob the left press began on
    bool pointer_captured = false; // a window or widget used the pointer this frame
    bool focus_seen = false;       // the focused field ran (or got the focus) this pass
    ClipboardGetFn clipboard_get = nullptr;
    ClipboardSetFn clipboard_set = nullptr;
    void* clipboard_context = nullptr;
};

// True while a text field has the keyboard: the caller then keeps keys from its shortcuts.
inline bool widgets_have_keyboard_focus(const WidgetContext& ctx) { return ctx.focus != nullptr; }
// Starts a pass: input taken, pointer not yet used.
void widgets_begin(WidgetContext& ctx, WidgetInput input, Raster target);
bool widgets_drawing(const WidgetContext& ctx);
// Ends an input pass: a focus whose field did not run (its window closed) is dropped, so the
// shortcuts never stay blocked by a field nobody sees.
void widgets_end(WidgetContext& ctx);

// ---- Text fields ----
// A single line of UTF-8 text. `cursor` and `anchor` are byte offsets on character
// boundaries; the selection runs between them.
struct TextField {
    std::string text;
    size_t cursor = 0;
    size_t anchor = 0;
    int scroll = 0;                // pixels of text hidden at the left
};

enum : int {
    field_changed = 1,   // the text was edited
    field_entered = 2,   // Enter was pressed
    field_escaped = 4,   // Escape was pressed (the focus is dropped)
};

// Replaces the text and puts the cursor at its end, nothing selected.
void text_field_set(TextField& f, std::string_view text);
// Typed text replaces the selection; control characters are dropped.
bool text_field_insert(TextField& f, std::string_view text);
// One key; returns field_* flags. Up, Down and unknown keys do nothing here.
int text_field_key(TextField& f, const WidgetKey& key, const WidgetContext* clipboard);
std::string text_field_selection(const TextField& f);

// The field in `r`: a click inside focuses it (a click elsewhere takes the focus away), then
// the frame's text and keys are applied while it has the focus. Returns field_* flags.
int text_field(WidgetContext& ctx, TextField& f, WidgetRect r);
void widgets_focus(WidgetContext& ctx, TextField* f);

// ---- Buttons, checkboxes, radios, labels, boxes ----
// `id`: any number unique among the widgets of a pass (window number × 1000 + element).
// True once, on the release of a press that began on it, with the pointer still over it.
bool button(WidgetContext& ctx, int id, WidgetRect r, std::string_view label);
// Flips `value` (0/1) on a click; true when it changed.
bool checkbox(WidgetContext& ctx, int id, WidgetRect r, std::string_view label, int& value);
// Sets `group` to `element` on a click; true when it changed.
bool radio(WidgetContext& ctx, int id, WidgetRect r, std::string_view label, int& group, int element);
void label(WidgetContext& ctx, WidgetRect r, std::string_view text, uint32_t colour = 0xFFE0E0E0u);
// Word-wrapped into the rectangle's width; returns the height used.
int label_wrapped(WidgetContext& ctx, WidgetRect r, std::string_view text, uint32_t colour = 0xFFD0D0D0u);
void box(WidgetContext& ctx, WidgetRect r);

// ---- Drop-down lists ----
struct DropDown {
    std::vector<std::string> items;
    int chosen = 0;
    bool open = false;
};
// True when another item was chosen.
bool drop_down(WidgetContext& ctx, int id, WidgetRect r, DropDown& d);

// ---- Knobs ----
enum : int { knob_linear = 0, knob_log = 1, knob_tan = 2 };

struct KnobScale {
    double min = 0, max = 1;
    int kind = knob_linear;
    double arg = 1;                // the "tan" scale's parameter
};
// Travel t in [0, 1] to the value, and back; exact at both ends for every scale.
double knob_value_at(const KnobScale& s, double t);
double knob_travel_of(const KnobScale& s, double value);

struct Knob {
    KnobScale scale;
    double default_value = 0;
    double t = 0;                  // current travel
    double value = 0;              // the value at t; a value set exactly reads back exactly
    const char* format = "%g";
    const char* unit = "";
    // Interaction.
    bool dragging = false;
    int last_y = 0;
    bool editing = false;          // a right-click opened the value for typing
    TextField edit;
};
enum : int {
    knob_changed = 1,
    knob_released = 2,
};
void knob_setup(Knob& k, double min, double def, double max, int kind, double arg, const char* format, const char* unit);
double knob_value(const Knob& k);
void knob_set_value(Knob& k, double value);
// Travel per pixel dragged: 1/200, with Shift 1/2000, with Shift+Ctrl 1/20000.
double knob_drag_step(int mods);
// Dragged up (more) and down (less); right-click types a value (an expression), Enter sets it;
// double-click returns to the default. Returns knob_* flags.
int knob(WidgetContext& ctx, int id, WidgetRect r, std::string_view name, Knob& k);

// ---- Floating windows ----
struct FloatingWindow {
    int x = 40, y = 60;            // top-left, screen pixels
    int w = 300, h = 200;
    bool dragging = false;
    int grab_dx = 0, grab_dy = 0;
    bool close_clicked = false;    // the title bar's close box was clicked this pass
};
// The frame with its title bar; dragging the title bar moves it (kept on the target or the
// given screen size), its close box sets close_clicked. Returns the content rectangle.
WidgetRect floating_window(WidgetContext& ctx, int id, FloatingWindow& w, std::string_view title, int screen_w, int screen_h);
// Whether a press at the pointer falls on the window (the picture's tools leave it alone).
inline bool floating_window_contains(const FloatingWindow& w, int x, int y) { return rect_contains({w.x, w.y, w.w, w.h}, x, y); }
int title_bar_height(const WidgetContext& ctx);
