// The pointer on the button bar: a press picks a control, the drag turns a knob or shows a
// button's pressed state, the release acts.
#include "app/bar_input.h"

#include "app/bar_actions.h"
#include "app/bar_state.h"
#include "app/input.h"
#include "app/menu_shell.h"
#include "app/pointer_scale.h"
#include "app/shell.h"

namespace {

constexpr const char* knob_help = "Move the mouse in circles around the knob. Hold the right mouse button for more precision.";

BarControl* dragged_control(Shell& sh)
{
    if (sh.input.mode != pointer_control || sh.input.control < 0 || sh.input.control >= bar_slot_count)
        return nullptr;
    BarControl& c = sh.bar.bar.controls[sh.input.control];
    return c.type < control_none ? &c : nullptr;
}

// The right button, or Ctrl with the left, turns a knob a hundred times slower.
bool precision(const Shell& sh)
{
    const bool left = (sh.pointer_buttons & SDL_BUTTON_LMASK) != 0;
    const bool right = (sh.pointer_buttons & SDL_BUTTON_RMASK) != 0;
    const bool ctrl = sh.input.held.ctrl || (SDL_GetModState() & KMOD_CTRL) != 0;
    return sh.input.precision || right || (left && ctrl);
}

void drag_knob(Shell& sh, BarControl& c, int knob)
{
    BarState& b = sh.bar;
    double change;
    if (sh.app.toggles.linear_knob_control) {
        const int dy = sh.pointer_y - b.last_y;
        b.last_y = sh.pointer_y;
        change = knob_linear_change(dy, precision(sh));
        // At the window's top or bottom row the pointer goes back to the middle, so that a
        // long drag keeps turning.
        if (sh.height > 2 && (sh.pointer_y <= 0 || sh.pointer_y >= sh.height - 1)) {
            b.last_y = sh.height / 2;
            if (!sh.synthetic_pointer && sh.window) {
                // The window counts in points, the screen buffer in pixels; the row the pointer
                // will be read back at is the one the next frame's motion counts from.
                int w = 0, h = 0;
                SDL_GetWindowSize(sh.window, &w, &h);
                const int y = window_to_screen(b.last_y, sh.height, h);
                SDL_WarpMouseInWindow(sh.window, window_to_screen(sh.pointer_x, sh.width, w), y);
                b.last_y = window_to_screen(y, h, sh.height);
            }
            sh.pointer_y = b.last_y;
        }
    } else {
        change = knob_circular_change(b.knob_drag, pointer_angle(c.x, c.y, sh.pointer_x, sh.pointer_y),
                                      sh.knobs.angle[knob], precision(sh));
    }
    if (change != 0.0) {
        knob_set_angle(sh.knobs, knob, knob_turn(sh.knobs.angle[knob], change), knob_context(sh));
        c.changed = true;
        knob_live(sh, knob);
    }
    c.frame = knob_frame(c.frames, sh.knobs.angle[knob]);
    sh.input.status = knob_help;
    sh.bar_knob_changed = sh.input.control;
}

void drag_button(Shell& sh, BarControl& c)
{
    const bool over = control_contains(c, sh.pointer_x, sh.pointer_y);
    const int pressed = c.pressed;
    const bool hover = c.hover;
    if (c.type == control_push)
        c.pressed = over ? 1 : 0;
    else if (c.type == control_toggle)
        c.pressed = over ? !c.value : c.value;
    else if (c.type == control_hover)
        c.hover = over;
    if (c.pressed != pressed || c.hover != hover)
        sh.interface_changed = true;
}

}  // namespace

bool bar_press(Shell& sh, int x, int y)
{
    bar_sync(sh);
    const int slot = bar_hit(sh.bar.bar, x, y, sh.app.project.lossless, sh.input.held.unlock);
    if (slot < 0)
        return false;
    BarState& b = sh.bar;
    BarControl& c = b.bar.controls[slot];
    sh.input.mode = pointer_control;
    sh.input.control = slot;
    b.rest_pressed = c.pressed;
    const int knob = slot_knob(slot);
    if (knob >= 0) {
        b.rest_angle = sh.knobs.angle[knob];
        b.rest_value = sh.knobs.value[knob];
        b.last_y = y;
        knob_grab(b.knob_drag, pointer_angle(c.x, c.y, x, y));
        sh.input.status = knob_help;
    } else {
        drag_button(sh, c);
    }
    sh.interface_changed = true;
    return true;
}

void bar_drag(Shell& sh)
{
    BarControl* c = dragged_control(sh);
    if (!c)
        return;
    const int knob = slot_knob(sh.input.control);
    if (knob >= 0)
        drag_knob(sh, *c, knob);
    else
        drag_button(sh, *c);
}

void bar_release(Shell& sh)
{
    BarControl* c = dragged_control(sh);
    if (!c)
        return;
    const int slot = sh.input.control;
    const int knob = slot_knob(slot);
    // The control is no longer dragged from here on: what the actions derive from the
    // program's state is shown again.
    sh.input.control = -1;
    if (knob >= 0) {
        if (c->changed)
            knob_release(sh, knob);
        c->changed = false;
    } else if (c->type == control_push) {
        const bool act = c->pressed == 1;
        c->pressed = 0;
        if (act)
            bar_button_action(sh, slot);
    } else if (c->type == control_toggle) {
        if (c->pressed != c->value) {
            c->value = c->pressed;
            bar_button_action(sh, slot);
        }
    } else if (c->type == control_hover) {
        if (c->hover)
            bar_button_action(sh, slot);
        c->hover = false;
    }
    sh.interface_changed = true;
}

void bar_cancel(Shell& sh)
{
    BarControl* c = dragged_control(sh);
    if (!c)
        return;
    const int knob = slot_knob(sh.input.control);
    if (knob >= 0) {
        sh.knobs.angle[knob] = sh.bar.rest_angle;
        sh.knobs.value[knob] = sh.bar.rest_value;
        c->frame = knob_frame(c->frames, sh.knobs.angle[knob]);
        c->changed = false;
        knob_live(sh, knob);
    } else {
        c->pressed = sh.bar.rest_pressed;
        c->hover = false;
    }
    sh.interface_changed = true;
}
