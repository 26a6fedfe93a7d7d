// One frame of the loop: events, requests, file completion, synthesis, drawing, presenting.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <ctime>
#include <thread>

#include "app/clipboard.h"
#include "app/input_keys.h"
#include "app/pointer_scale.h"
#include "app/screen.h"
#include "app/shell.h"
#include "app/ui_input.h"
#include "app/window.h"
#include "app/menu_shell.h"
#include "ui/menu_draw.h"
#include "commands/archive_read.h"
#include "commands/history.h"
#include "commands/import.h"
#include "engine/synthesis_workers.h"
#include "layers/composite.h"
#include "media/file_names.h"
#include "project/project_synthesis.h"
#include "support/log.h"
#include "support/paths.h"
#include "support/prefs.h"

namespace {

void poll_events(Shell& sh, int wait_ms)
{
    SDL_Event e;
    bool have = wait_ms > 0 ? SDL_WaitEventTimeout(&e, wait_ms) != 0 : SDL_PollEvent(&e) != 0;
    while (have) {
        ui_event(sh, e);
        switch (e.type) {
        case SDL_QUIT:
            sh.app.requests.quit = 1;
            break;
        case SDL_KEYDOWN:
            if (!ui_key_down(sh, e.key))
                input_key_event(sh, e.key);
            break;
        case SDL_KEYUP:
            input_key_event(sh, e.key);  // a release always ends a held key, focus or not
            break;
        case SDL_MOUSEWHEEL:
            input_wheel_event(sh, e.wheel);
            break;
        case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED || e.window.event == SDL_WINDOWEVENT_EXPOSED ||
                e.window.event == SDL_WINDOWEVENT_MAXIMIZED || e.window.event == SDL_WINDOWEVENT_RESTORED)
                sh.interface_changed = true;
            if (e.window.event == SDL_WINDOWEVENT_ENTER || e.window.event == SDL_WINDOWEVENT_LEAVE)
                sh.interface_changed = true;
            if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST)
                input_release_keys(sh);  // their key-ups will go to another window
            break;
        case SDL_DROPFILE:
            SDL_free(e.drop.file);
            break;
        default:
            break;
        }
        have = SDL_PollEvent(&e) != 0;
    }
}

// The stored window size follows the window unless it is maximised or larger than the desktop.
void store_window_size(Shell& sh)
{
    if (!sh.app.prefs)
        return;
    const bool maximised = (SDL_GetWindowFlags(sh.window) & SDL_WINDOW_MAXIMIZED) != 0;
    SDL_Rect usable = {0, 0, 0, 0};
    SDL_GetDisplayUsableBounds(0, &usable);
    int w = 0, h = 0;
    SDL_GetWindowSize(sh.window, &w, &h);
    if (!maximised && w <= usable.w && h <= usable.h)
        pref_set_two_numbers(*sh.app.prefs, "Interface:Window dimensions", w, "x", h, "");
    if (maximised != sh.maximised || sh.frames == 0)
        pref_set_onoff(*sh.app.prefs, "Interface:Window is maximised", maximised ? 1 : 0);
    sh.maximised = maximised;
}

bool project_has_picture(const Project& p) { return p.width > 0 && p.height > 0 && !p.layers.empty(); }

// Reload and the command-line file: ask to save first, then open through the interpreter as
// the first line of a new history.
void reopen(Shell& sh, int which)
{
    App& app = sh.app;
    if (project_has_picture(app.project) && sh.deferred_reopen == 0) {
        if (question_box(sh, "Save the current project to file before closing it?", "Save before closing")) {
            app.requests.save = 1;
            sh.deferred_reopen = which;
            return;
        }
    }
    sh.deferred_reopen = 0;
    const std::string path = which == 1 ? app.current_file : sh.command_line_path;
    if (!path.empty() && !file_exists(path))
        log_printf(stderr, "File %s couldn't be opened\n", path.c_str());
    if (path.empty()) {
        log_printf(stdout, "Creating new image\n");
        return;
    }
    log_printf(stdout, "Opening file : %s\n", path.c_str());
    stop_composite_loop(app.compositor);
    synthesis_stop_workers(app.playback);
    app.last_folder = path_folder(path);
    if (open_file_from_interface(app, path, history_restart_open) && which == 2)
        app.opened_from_command_line = true;
}

void resume_last_session(Shell& sh)
{
    App& app = sh.app;
    stop_composite_loop(app.compositor);
    synthesis_stop_workers(app.playback);
    finish_load(app);  // the history to replay holds a load still running
    const std::string path = history_file(app.history);
    if (!file_exists(path)) {
        log_printf(stderr, "File %s couldn't be opened\n", path.c_str());
        return;
    }
    load_archive(app, path);
    complete_load(app);
    app.requests.layer_list_refresh = 1;
    app.requests.archive_line_executed = 1;
    app.requests.view_reset = 1;
}

void undo(Shell& sh)
{
    App& app = sh.app;
    stop_composite_loop(app.compositor);
    synthesis_stop_workers(app.playback);
    record_line(app, record_action, 1, nullptr, "Undo\n");
    app.image_update_level = update_full;
}

// A line of the test script: recorded and executed like a line typed into the console.
void run_script_line(Shell& sh)
{
    if (sh.script_next >= sh.script.size())
        return;
    const std::string& line = sh.script[sh.script_next++];
    record_text(sh.app, record_plain, 0, nullptr, line);
    const char* next = sh.script_next < sh.script.size() ? sh.script[sh.script_next].c_str() : nullptr;
    execute_archive_line(sh.app, line, next);
    sh.app.requests.archive_line_executed = 1;
}

void carry_out_requests(Shell& sh)
{
    App& app = sh.app;
    AppRequests& r = app.requests;
    if (r.play) {
        r.play = 0;
        if (app.playback.play_state == play_stopped) {
            app.playback.controls.suspend = false;  // playing needs the workers: Suspend Processing ends
            playback_start(app.playback);
        }
        else
            playback_stop(app.playback);
        sh.interface_changed = true;
    }
    if (r.save) {
        r.save = 0;
        save_format_open(sh.ui.save_format);
        sh.interface_changed = true;
    }
    if (sh.deferred_reopen > 0 && !sh.ui.save_format.open) {
        // The reopening the save question deferred goes on once the project was saved; a
        // save window closed without saving keeps the project open instead.
        const int which = sh.deferred_reopen;
        if (sh.ui.save_format.saved) {
            sh.deferred_reopen = -1;
            reopen(sh, which);
        } else {
            sh.deferred_reopen = 0;
            log_printf(stdout, "Not saved: the project stays open\n");
        }
    }
    // A finished background load becomes the project (or a layer).
    complete_load(app);
    if (r.resume_last_session) {
        r.resume_last_session = 0;
        resume_last_session(sh);
    }
    if (r.reload) {
        r.reload = 0;
        reopen(sh, 1);
    }
    if (r.command_line_file) {
        r.command_line_file = 0;
        reopen(sh, 2);
    }
    if (r.copy) {
        r.copy = 0;
        clipboard_copy_composite(app.project);
    }
    if (r.undo) {
        r.undo = 0;
        undo(sh);
    }
    if (r.live_synthesis_on) {
        r.live_synthesis_on = 0;
        if (!app.project.live_synthesis)
            project_live_synthesis(app.playback, app.project, true, project_knobs(app.project));
    }
    if (r.view_reset) {
        r.view_reset = 0;
        view_reset(app.view, app.project.width, app.project.height);
        sh.display_stale = true;
        sh.interface_changed = true;
    }
    if (r.archive_line_executed) {
        r.archive_line_executed = 0;
        std::string title = SONOGRAPHICA_TITLE;
        if (!app.current_file.empty())
            title = get_filename_from_path(app.current_file) + " - " + title;
        SDL_SetWindowTitle(sh.window, title.c_str());
        if (app.project.recomposite_needed)
            app.image_update_level = std::max(app.image_update_level, (int)update_full);
        // The view follows a picture whose size changed.
        if (app.view.first_column + app.view.visible_columns > app.project.width ||
            app.view.first_row + app.view.visible_rows > app.project.height || app.view.visible_columns == 0)
            view_reset(app.view, app.project.width, app.project.height);
        sh.display_stale = true;
        sh.image_changed = true;
    }
    shell_menu_requests(sh);
    r.layer_list_refresh = 0;  // the layer list of the menus is rebuilt from the project each time it opens
}

// After a stroke, a composite whose peak moved by more than a factor of 100 either way is
// synthesised again as a whole: the normalisation of every block changed with it. Reads the
// composite that the refresh before it brought up to date.
bool stroke_moved_peak(Shell& sh)
{
    Project& p = sh.app.project;
    float peak = 0.0f;
    {
        std::lock_guard<std::mutex> lock(p.image_lock);
        for (int r = 0; r < p.composite_height && p.composite; r++)
            for (int c = 0; c < p.composite_width; c++)
                peak = std::max(peak, std::fabs(p.composite[r][c]));
    }
    const float previous = sh.stroke_peak;
    sh.stroke_peak = peak;
    const float ratio = previous > 0.0f ? peak / previous : 1.0f;
    return ratio > 100.0f || ratio < 0.01f;
}

// Synthesis follows the picture; the composite is brought up to date first.
void follow_picture(Shell& sh)
{
    App& app = sh.app;
    Project& p = app.project;
    // Without a composite there is nothing to bring up to date: asking every frame would redraw
    // an empty window forever.
    if ((app.image_update_level != update_none || p.recomposite_needed) && p.composite) {
        const bool stroke = app.image_update_level == update_stroke && app.tool != tool_white_paint_spray;
        if (refresh_view(p, app.compositor, 0)) {
            sh.image_changed = true;
            sh.display_stale = true;
        }
        if (stroke && stroke_moved_peak(sh))
            p.content_changed |= content_pixels;
        app.image_update_level = update_none;
    }
    if (!p.composite || p.width <= 0)
        return;
    app.playback.controls.first_visible_column = app.view.first_column;
    SynthesisMessage message;
    if (project_synthesis_update(app.playback, p, project_knobs(p), &message)) {
        app.spray.stale.block_width = app.playback.geometry.block_width;
        app.spray.stale.block_count = app.playback.geometry.block_count;
        sh.interface_changed = true;
    }
    if (message.title)
        message_box(sh, message.text ? message.text : "", message.title, 0);
    int first = 0, last = -1;
    if (take_stale_blocks(app.spray.stale, &first, &last))
        synthesis_render_blocks_again(app.playback, first, last);
}

// Nothing plays, renders, loads or is scripted: the loop may wait for the next event.
bool idle(Shell& sh)
{
    const App& app = sh.app;
    if (app.playback.play_state != play_stopped || app.load.in_flight || app.compositor.loop_running ||
        sh.script_next < sh.script.size() || sh.exit_after_frames >= 0 || sh.interface_changed || sh.image_changed)
        return false;
    if (app.playback.changed.load())
        return false;
    // Held arrow keys move the playback position every frame, not only when events come.
    if (sh.input.held.left || sh.input.held.right)
        return false;
    // A waveform strip on its way is drawn as soon as it arrives.
    std::lock_guard<std::mutex> lock(sh.waveform.lock);
    return !sh.waveform.requested && !sh.waveform.busy && !sh.waveform.ready;
}

}  // namespace

bool shell_frame(Shell& sh)
{
    App& app = sh.app;
    // Events: waiting for them when there is nothing else to do keeps an idle editor idle.
    poll_events(sh, idle(sh) ? 100 : 0);
    if (window_update_size(sh)) {
        sh.interface_changed = true;
        sh.display_stale = true;
        store_window_size(sh);
    }
    const int previous_x = sh.pointer_x, previous_y = sh.pointer_y;
    if (!sh.synthetic_pointer) {
        SDL_GetMouseState(&sh.pointer_x, &sh.pointer_y);
        sh.pointer_buttons = SDL_GetMouseState(nullptr, nullptr);
        pointer_to_screen(sh, &sh.pointer_x, &sh.pointer_y);
        if (!(SDL_GetWindowFlags(sh.window) & SDL_WINDOW_MOUSE_FOCUS)) {
            sh.pointer_x = sh.pointer_y = -1000;
            sh.pointer_buttons = 0;
        }
    }
    sh.input.middle = (sh.pointer_buttons & SDL_BUTTON_MMASK) != 0;
    input_navigation_frame(sh);

    // The play cursor moves every frame while playing; the pointer readout follows the pointer,
    // except while the menus own it: then only what the menus show changes.
    const bool menus_own_pointer = menu_has_pointer(sh.menus, previous_y) && menu_has_pointer(sh.menus, sh.pointer_y);
    // So does a knob being turned: its drag redraws only the knob.
    if (app.playback.play_state.load() != play_stopped ||
        ((sh.pointer_x != previous_x || sh.pointer_y != previous_y) && !menus_own_pointer &&
         sh.input.mode != pointer_control))
        sh.interface_changed = true;
    if (sh.waveform.ready.exchange(false))
        sh.interface_changed = true;

    input_pointer_frame(sh);
    run_script_line(sh);
    carry_out_requests(sh);
    ui_frame(sh);
    follow_picture(sh);
    if (app.playback.changed.exchange(false))
        sh.interface_changed = true;

    if (sh.interface_changed || sh.image_changed) {
        screen_draw(sh);
        window_present(sh);
    } else if (sh.menus_changed) {
        if (!screen_draw_menus(sh))
            screen_draw(sh);
        window_present(sh);
    } else if (sh.bar_knob_changed >= 0) {
        if (!screen_draw_bar_knob(sh, sh.bar_knob_changed))
            screen_draw(sh);
        window_present(sh);
    }
    sh.interface_changed = sh.image_changed = sh.menus_changed = false;
    sh.bar_knob_changed = -1;
    sh.frames++;
    // A headless run ends after its frames, but never before its script ran and its loads
    // completed, so that what it shows does not depend on the machine's speed.
    bool strip_pending;
    {
        std::lock_guard<std::mutex> lock(sh.waveform.lock);
        strip_pending = sh.waveform.requested || sh.waveform.busy || sh.waveform.ready;
    }
    const bool settled = sh.script_next >= sh.script.size() && !app.load.in_flight &&
                         !app.requests.command_line_file && !strip_pending;
    if (sh.exit_after_frames >= 0 && sh.frames >= sh.exit_after_frames && settled)
        app.requests.quit = 1;
    if (!app.requests.quit)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return !app.requests.quit;
}

int shell_main(int argc, char** argv)
{
    static Shell sh;  // large, and alive until the process ends
    if (!shell_startup(sh, argc, argv)) {
        shell_shutdown(sh);
        return 1;
    }
    while (shell_frame(sh)) {
    }
    if (!sh.screenshot_path.empty()) {
        screen_draw(sh);
        screen_save_png(sh, sh.screenshot_path.c_str());
    }
    shell_shutdown(sh);
    return 0;
}
