// The keyboard map of the main window: keys become the requests of their menu entries, held
// states that the player, the knobs and the view read, zoom steps and jumps of the playback
// position.
#include "app/input_keys.h"

#include "app/input.h"
#include "app/navigation.h"
#include "app/shell.h"
#include "support/log.h"
#include "ui/menu.h"

namespace {

// Keys that act as the menu entry of the same request. A letter is the letter alone; Ctrl
// with a letter is no shortcut except Ctrl+Z.
struct KeyEntry {
    SDL_Keycode key;
    bool shift;  // the entry with Shift held; the plain entry otherwise
    int id;
};
constexpr KeyEntry key_entries[] = {
    {SDLK_c, false, 2020},       // Copy
    {SDLK_d, false, 2050},       // Default Values
    {SDLK_e, false, 2040},       // Erase Mask
    {SDLK_j, false, 8040},       // Merge Down
    {SDLK_k, false, 3080},       // Suspend Processing
    {SDLK_n, false, 8010},       // New Layer
    {SDLK_o, false, 1020},       // Open...
    {SDLK_r, false, 1070},       // Reload
    {SDLK_s, false, 1060},       // Save...
    {SDLK_t, false, 8120},       // Turn Off Layer
    {SDLK_u, false, 2010},       // Undo
    {SDLK_v, false, 8090},       // View Current Layer Only
    {SDLK_v, true, 8100},        // View Current Group Only
    {SDLK_DELETE, false, 8050},  // Delete Layer
    {SDLK_SPACE, true, 3020},    // Pause After Current Loop
};

bool is_letter(SDL_Keycode k) { return k >= SDLK_a && k <= SDLK_z; }

// The player reads the two playback keys from its controls.
void publish_held(Shell& sh)
{
    PlaybackControls& c = sh.app.playback.controls;
    c.reverse_key = sh.input.held.backwards;
    c.loop_key = sh.input.held.loop;
}

// The held state a key drives, or null.
bool* held_flag(HeldKeys& h, SDL_Keycode k)
{
    switch (k) {
    case SDLK_b: return &h.backwards;
    case SDLK_f: return &h.unlock;
    case SDLK_h: return &h.outline;
    case SDLK_l: return &h.loop;
    case SDLK_LEFT: return &h.left;
    case SDLK_RIGHT: return &h.right;
    case SDLK_END: return &h.end;
    default: return nullptr;
    }
}

}  // namespace

int key_menu_entry(SDL_Keycode key, Uint16 mod)
{
    const bool ctrl = (mod & KMOD_CTRL) != 0, shift = (mod & KMOD_SHIFT) != 0;
    if (key == SDLK_z)
        return ctrl ? 2010 : 0;
    if (key == SDLK_F4)
        return (mod & KMOD_ALT) ? 1080 : 0;
    if (ctrl && is_letter(key))
        return 0;
    for (const KeyEntry& e : key_entries)
        if (e.key == key && e.shift == shift)
            return e.id;
    // Shift changes nothing for the keys that have no entry of their own with it.
    for (const KeyEntry& e : key_entries)
        if (e.key == key && !e.shift)
            return e.id;
    return 0;
}

void input_key_event(Shell& sh, const SDL_KeyboardEvent& event)
{
    InputState& in = sh.input;
    HeldKeys& h = in.held;
    const SDL_Keycode key = event.keysym.sym;
    const bool down = event.type == SDL_KEYDOWN;
    // The modifier state every key event carries, with the key's own modifier bit as the event
    // says it went, so that releasing one Ctrl while the other is held keeps Ctrl held.
    Uint16 mod = event.keysym.mod;
    const Uint16 own = key == SDLK_LCTRL    ? KMOD_LCTRL
                       : key == SDLK_RCTRL  ? KMOD_RCTRL
                       : key == SDLK_LSHIFT ? KMOD_LSHIFT
                       : key == SDLK_RSHIFT ? KMOD_RSHIFT
                                            : 0;
    mod = down ? (Uint16)(mod | own) : (Uint16)(mod & ~own);
    h.ctrl = (mod & KMOD_CTRL) != 0;
    h.shift = (mod & KMOD_SHIFT) != 0;

    if (bool* flag = held_flag(h, key)) {
        // A key-up always releases; a held letter is pressed only without Ctrl.
        if (!down)
            *flag = false;
        else if (!(is_letter(key) && (mod & KMOD_CTRL)))
            *flag = true;
        publish_held(sh);
        sh.interface_changed = true;
        return;
    }
    if (!down)
        return;

    AppRequests& r = sh.app.requests;
    switch (key) {
    case SDLK_ESCAPE:
        input_cancel(sh);
        r.tool = tool_cursor + 1;  // as the Tools menu's "Cursor"
        return;
    case SDLK_PAGEUP:
        in.zoom_steps += 1;
        return;
    case SDLK_PAGEDOWN:
        in.zoom_steps -= 1;
        return;
    case SDLK_DOWN:
        navigation_seek_end(sh, false);
        return;
    case SDLK_UP:
        navigation_seek_end(sh, true);
        return;
    case SDLK_SPACE:
        if (!(mod & KMOD_SHIFT)) {
            if (!event.repeat)
                r.play = 1;  // the Play/Pause button's request
            return;
        }
        break;
    default:
        break;
    }
    // A key held down repeats; a command runs once per press (a repeated Undo would redo).
    if (event.repeat)
        return;
    if (const int id = key_menu_entry(key, mod)) {
        if (!menu_action(sh.menus, sh.app, id))
            log_printf(stderr, "Menu entry %d is not available\n", id);
        sh.interface_changed = true;
    }
}

void input_release_keys(Shell& sh)
{
    sh.input.held = HeldKeys();
    publish_held(sh);
    sh.interface_changed = true;
}

void input_wheel_event(Shell& sh, const SDL_MouseWheelEvent& wheel)
{
    int notches = wheel.y;
    if (wheel.direction == SDL_MOUSEWHEEL_FLIPPED)
        notches = -notches;
    sh.input.zoom_steps += notches;
}

const char* tool_help_text(int tool)
{
    switch (tool) {
    case tool_dark_spray:
        return "Dark spray tool : Press the left mouse button to darken the area, the right button to restore it";
    case tool_white_paint_spray:
        return "White paint spray tool : Press the left mouse button paint white, the right button to erase";
    case tool_brighten_spray:
        return "\"Flashlight\" spray tool : Press the left mouse button to brighten the area, the right button to "
               "restore it";
    case tool_smart_erase:
        return "\"Road roller\" spray tool : Press the left mouse button to level/smart erase the area, the right "
               "button to restore it";
    case tool_rectangle:
        return "Rectangle tool : Press the left mouse button to darken the area, the right button to lighten it";
    case tool_move:
        return "Move tool : Hold the shift key to move the layer only horizontally or vertically";
    case tool_convolution_centre:
        return "Set convolution centre : Click on the image to set the layer's convolution centre";
    default:
        return SONOGRAPHICA_TITLE;
    }
}
