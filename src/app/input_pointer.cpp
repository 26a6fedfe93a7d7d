// The pointer in the main window, once per frame: which of the button bar, the picture (tool
// strokes and seeking) and the menu bar a press belongs to, and what each does until the
// release. Exactly one of them takes a press.
#include <SDL.h>

#include <algorithm>
#include <cmath>

#include "app/bar_input.h"
#include "app/input.h"
#include "app/layout.h"
#include "app/menu_shell.h"
#include "app/seek.h"
#include "app/shell.h"
#include "app/tool_stroke.h"
#include "app/view_coords.h"
#include "ui/menu_draw.h"

namespace {

bool inside(int x, int y, int left, int top, int width, int height)
{
    return x >= left && x < left + width && y >= top && y < top + height;
}

// A press on an open floating window is the window's.
bool window_has_pointer(const Shell& sh, int x, int y)
{
    const UiState& u = sh.ui;
    const std::pair<bool, const FloatingWindow*> windows[] = {
        {u.console.visible, &u.console.window},         {u.extend_cut.open, &u.extend_cut.window},
        {u.new_project.open, &u.new_project.window},    {u.save_format.open, &u.save_format.window},
        {u.volume_limiter.open, &u.volume_limiter.window}, {u.audio_output.open, &u.audio_output.window},
        {u.about.open, &u.about.window},                {u.open_import.open, &u.open_import.window},
        {u.analysis.open, &u.analysis.window},          {u.chooser.in_app, &u.chooser.window},
    };
    for (const auto& [open, window] : windows)
        if (open && floating_window_contains(*window, x, y))
            return true;
    return false;
}

bool ctrl_held(const Shell& sh) { return sh.input.held.ctrl || (SDL_GetModState() & KMOD_CTRL) != 0; }

// Mode 1: the press goes to a control of the bar, the picture or nowhere.
int press_target(Shell& sh, const ScreenLayout& l)
{
    const int x = sh.pointer_x, y = sh.pointer_y;
    if (bar_press(sh, x, y))
        return pointer_control;
    if (window_has_pointer(sh, x, y))
        return pointer_idle;
    if (inside(x, y, l.image_x, l.image_y, l.image_width, l.image_height))
        return sh.app.tool == tool_cursor ? pointer_seek : pointer_tool;
    if (y >= 0 && y < l.menu_bar_height)
        return pointer_menu;
    return pointer_idle;
}

}  // namespace

void input_pointer_frame(Shell& sh)
{
    InputState& in = sh.input;
    App& app = sh.app;
    const ScreenLayout l =
        screen_layout(sh.width, sh.height, sh.scale, sh.startup.waveform_height, app.project.lossless);
    tool_view_from_layout(app, l, sh.scale);

    constexpr unsigned pressing = SDL_BUTTON_LMASK | SDL_BUTTON_RMASK;
    const unsigned buttons = sh.pointer_buttons & pressing;
    const bool pressed = buttons != 0 && (in.previous_buttons & pressing) == 0;
    const bool released = buttons == 0 && (in.previous_buttons & pressing) != 0;
    in.previous_buttons = sh.pointer_buttons;
    const bool left = (buttons & SDL_BUTTON_LMASK) != 0, right = (buttons & SDL_BUTTON_RMASK) != 0;
    in.precision = right || (left && ctrl_held(sh));

    const int previous = in.mode;
    if (pressed) {
        // An open menu or the bar under the pointer takes the press (and a press beside an open
        // menu only closes it).
        if (previous == pointer_menu_hover || menu_has_pointer(sh.menus, sh.pointer_y))
            in.mode = pointer_menu;
        else
            in.mode = press_target(sh, l);
    } else if (released) {
        if (previous == pointer_control)
            bar_release(sh);
        else if (previous == pointer_tool)
            tool_stroke_end(sh);
        in.mode = pointer_idle;
        in.control = -1;
    }

    switch (in.mode) {
    case pointer_control:
        bar_drag(sh);
        break;
    case pointer_tool:
        tool_stroke_frame(sh, pressed);
        break;
    case pointer_seek:
        if (pressed || sh.pointer_x != in.seek_x)
            seek_to_pointer(sh, l);
        break;
    default:
        break;
    }
    in.seek_x = in.mode == pointer_seek ? sh.pointer_x : -1000000;
    follow_painted_columns(sh, l);

    // The menus follow the pointer while it hovers on them, while one is pressed, and in the
    // frame of the release that may choose an entry; never during a stroke or a knob drag.
    if (in.mode == pointer_menu || (buttons == 0 && (in.mode == pointer_idle || in.mode == pointer_menu_hover)))
        shell_menu_pointer(sh);
    if (in.mode == pointer_idle || in.mode == pointer_menu_hover)
        in.mode = buttons == 0 && menu_has_pointer(sh.menus, sh.pointer_y) ? pointer_menu_hover : pointer_idle;
}
