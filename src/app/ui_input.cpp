#include "app/ui_input.h"

#include <algorithm>
#include <chrono>
#include <functional>

#include "app/layout.h"
#include "app/pointer_scale.h"
#include "app/shell.h"
#include "support/prefs.h"

namespace {

int widget_mods(int m)
{
    return ((m & KMOD_SHIFT) ? wmod_shift : 0) | ((m & KMOD_CTRL) ? wmod_ctrl : 0);
}

int widget_key(const SDL_Keysym& k)
{
    if (k.mod & KMOD_CTRL) {
        switch (k.sym) {
        case SDLK_a: return wkey_select_all;
        case SDLK_c: return wkey_copy;
        case SDLK_x: return wkey_cut;
        case SDLK_v: return wkey_paste;
        default: break;
        }
    }
    switch (k.sym) {
    case SDLK_LEFT: return wkey_left;
    case SDLK_RIGHT: return wkey_right;
    case SDLK_HOME: return wkey_home;
    case SDLK_END: return wkey_end;
    case SDLK_BACKSPACE: return wkey_backspace;
    case SDLK_DELETE: return wkey_delete;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return wkey_enter;
    case SDLK_ESCAPE: return wkey_escape;
    case SDLK_UP: return wkey_up;
    case SDLK_DOWN: return wkey_down;
    case SDLK_TAB: return wkey_tab;
    default: return wkey_none;
    }
}

std::string clipboard_get(void*)
{
    std::string text;
    if (char* t = SDL_GetClipboardText()) {
        text = t;
        SDL_free(t);
    }
    return text;
}

void clipboard_set(void*, const std::string& text) { SDL_SetClipboardText(text.c_str()); }

bool input_empty(const WidgetInput& in)
{
    return !in.left_pressed && !in.left_released && !in.right_pressed && in.text.empty() && in.keys.empty();
}

double seconds_now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Every window, in drawing order (the last one on top). The input pass runs them from the
// top down, and a press inside an open window is kept from the windows under it.
void run_windows(Shell& sh, bool input_pass)
{
    UiState& ui = sh.ui;
    App& app = sh.app;
    PrefStore& prefs = app.prefs ? *app.prefs : pref_main_store();
    WidgetContext& c = ui.ctx;
    const int w = sh.width, h = sh.height;
    if (ui.open_import.sound_chosen) {
        ui.open_import.sound_chosen = false;
        analysis_params_open(ui.analysis);
    }
    const double now = seconds_now();
    struct Window {
        bool open;
        const FloatingWindow* frame;
        std::function<void()> run;
    };
    const Window windows[] = {
        {ui.console.visible, &ui.console.window, [&] { console_frame(c, app, ui.console, w, h); }},
        {ui.extend_cut.open, &ui.extend_cut.window, [&] { extend_cut_frame(c, app, ui.extend_cut, w, h); }},
        {ui.new_project.open, &ui.new_project.window, [&] { new_project_frame(c, app, ui.new_project, w, h); }},
        {ui.save_format.open, &ui.save_format.window,
         [&] { save_format_frame(c, app, ui.save_format, ui.chooser, w, h); }},
        {ui.volume_limiter.open, &ui.volume_limiter.window,
         [&] { volume_limiter_frame(c, ui.volume_limiter, sh.audio.limiter, &prefs, w, h); }},
        {ui.audio_output.open, &ui.audio_output.window,
         [&] { audio_output_frame(c, ui.audio_output, sh.audio, prefs, w, h); }},
        {ui.about.open, &ui.about.window, [&] { about_frame(c, ui.about, w, h); }},
        {ui.open_import.open, &ui.open_import.window,
         [&] { open_import_frame(c, app, ui.open_import, ui.chooser, w, h); }},
        {ui.analysis.open, &ui.analysis.window, [&] { analysis_params_frame(c, app, ui.analysis, &prefs, now, w, h); }},
        {load_progress_showing(app), &ui.load_progress.window, [&] { load_progress_frame(c, app, ui.load_progress, w, h); }},
        {ui.chooser.in_app, &ui.chooser.window, [&] { file_chooser_frame(c, ui.chooser, w, h); }},
    };
    const int n = (int)(sizeof windows / sizeof windows[0]);
    for (int k = 0; k < n; k++) {
        const Window& win = windows[input_pass ? n - 1 - k : k];
        win.run();
        if (input_pass && win.open && c.input.left_pressed &&
            floating_window_contains(*win.frame, c.input.pointer_x, c.input.pointer_y))
            c.pointer_captured = true;
    }
    // The "Saved" label fades out: frames keep coming while it does.
    if (ui.analysis.open && analysis_params_saved_fade(ui.analysis, now) > 0)
        sh.interface_changed = true;
    // Long work on its own thread: its progress is drawn every frame, and once more when it
    // has ended, so that its window does not stay on the screen.
    const bool busy = load_progress_showing(app) || app.sound_save.running.load();
    if (busy || ui.load_progress.busy_last_frame)
        sh.interface_changed = true;
    if (input_pass)
        ui.load_progress.busy_last_frame = busy;
}

}  // namespace

void ui_event(Shell& sh, const SDL_Event& e)
{
    WidgetInput& in = sh.ui.pending;
    switch (e.type) {
    case SDL_TEXTINPUT:
        in.text += e.text.text;
        break;
    case SDL_MOUSEBUTTONDOWN:
        if (e.button.button == SDL_BUTTON_LEFT) {
            in.left_pressed = true;
            in.double_click = e.button.clicks == 2;
        } else if (e.button.button == SDL_BUTTON_RIGHT) {
            in.right_pressed = true;
        }
        in.pointer_x = e.button.x;
        in.pointer_y = e.button.y;
        pointer_to_screen(sh, &in.pointer_x, &in.pointer_y);
        break;
    case SDL_DROPFILE:
        // A file dropped on the window: the Open/Import window with that file chosen.
        if (e.drop.file) {
            open_import_open(sh.ui.open_import, e.drop.file);
            sh.interface_changed = true;
        }
        break;
    case SDL_MOUSEBUTTONUP:
        if (e.button.button == SDL_BUTTON_LEFT)
            in.left_released = true;
        in.pointer_x = e.button.x;
        in.pointer_y = e.button.y;
        pointer_to_screen(sh, &in.pointer_x, &in.pointer_y);
        break;
    default:
        break;
    }
}

bool ui_key_down(Shell& sh, const SDL_KeyboardEvent& k)
{
    UiState& ui = sh.ui;
    if (k.keysym.sym == SDLK_F3) {
        if (!k.repeat)
            console_toggle(ui.ctx, ui.console);
        sh.interface_changed = true;
        return true;
    }
    if (!widgets_have_keyboard_focus(ui.ctx))
        return false;
    const int key = widget_key(k.keysym);
    if (key != wkey_none)
        ui.pending.keys.push_back({key, widget_mods(k.keysym.mod)});
    // Alt+F4 still quits; every other key belongs to the field.
    return !(k.keysym.sym == SDLK_F4 && (k.keysym.mod & KMOD_ALT));
}

void ui_frame(Shell& sh)
{
    UiState& ui = sh.ui;
    WidgetInput in = std::move(ui.pending);
    ui.pending = WidgetInput();
    if (sh.pointer_x > -1000) {
        in.pointer_x = sh.pointer_x;
        in.pointer_y = sh.pointer_y;
    }
    in.left_down = (sh.pointer_buttons & SDL_BUTTON_LMASK) != 0;
    in.mods = widget_mods(SDL_GetModState());
    // Text typed while no field has the focus belongs to the shortcuts.
    if (!widgets_have_keyboard_focus(ui.ctx))
        in.text.clear();
    const bool something = !input_empty(in) || in.left_down;
    ui.ctx.scale = sh.scale;
    ui.ctx.font = &sh.gfx.font12;  // the fonts are loaded at the interface scale
    ui.ctx.clipboard_get = clipboard_get;
    ui.ctx.clipboard_set = clipboard_set;
    // Requests from the menus, keys and archive lines open the windows.
    AppRequests& r = sh.app.requests;
    if (r.new_project) {
        const ScreenLayout l = screen_layout(sh.width, sh.height, sh.scale, sh.startup.waveform_height, sh.app.project.lossless);
        new_project_open(ui.new_project, (sh.width - l.image_x) / std::max(sh.scale, 1));
    }
    if (r.extend_cut)
        extend_cut_open(ui.extend_cut);
    if (r.volume_limiter)
        volume_limiter_open(ui.volume_limiter);
    if (r.audio_output)
        audio_output_open(ui.audio_output);
    if (r.about)
        about_open(ui.about);
    if (r.open_file)
        open_import_open(ui.open_import, "");
    if (r.new_project || r.extend_cut || r.volume_limiter || r.audio_output || r.about || r.open_file)
        sh.interface_changed = true;
    r.new_project = r.extend_cut = r.volume_limiter = r.audio_output = r.about = r.open_file = 0;
    const int chooser_before = ui.chooser.state.load();
    widgets_begin(ui.ctx, in, Raster());
    run_windows(sh, true);
    widgets_end(ui.ctx);
    if ((something || ui.chooser.state.load() != chooser_before) && ui_windows_open(sh))
        sh.interface_changed = true;
}

bool ui_windows_open(const Shell& sh)
{
    const UiState& ui = sh.ui;
    return ui.console.visible || ui.extend_cut.open || ui.new_project.open || ui.save_format.open || ui.chooser.in_app ||
           ui.volume_limiter.open || ui.audio_output.open || ui.about.open || ui.open_import.open || ui.analysis.open;
}

void ui_draw(Shell& sh)
{
    UiState& ui = sh.ui;
    // The state the input pass left, drawn: no presses, no keys, the pointer where it is.
    WidgetInput in;
    in.pointer_x = sh.pointer_x;
    in.pointer_y = sh.pointer_y;
    in.left_down = (sh.pointer_buttons & SDL_BUTTON_LMASK) != 0;
    in.mods = ui.ctx.input.mods;
    widgets_begin(ui.ctx, in, raster_of(sh.screen));
    run_windows(sh, false);
}
