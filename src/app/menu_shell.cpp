// The menu entries that reach the desktop (manual, data folder, download page) and the menus'
// requests carried out in the desktop program's frame.
#include "app/menu_shell.h"

#include <spawn.h>
#include <sys/wait.h>

#include <ctime>
#include <string>

#include "app/shell.h"
#include "app/user_guide.h"
#include "support/palette_entries.h"
#include "ui/menu_draw.h"
#include "commands/history.h"
#include "commands/archive_read.h"
#include "engine/synthesis_workers.h"
#include "layers/composite_thread.h"
#include "support/prefs.h"
#include "support/log.h"
#include "support/paths.h"
#include "ui/menu_requests.h"

extern char** environ;

#ifndef SONOGRAPHICA_UPDATES_URL
#define SONOGRAPHICA_UPDATES_URL ""
#endif

namespace {

int take(int& flag)
{
    int v = flag;
    flag = 0;
    return v;
}

}  // namespace

// Hands a file, folder or address to the desktop's default handler. xdg-open returns at once
// after starting the viewer, so waiting for it does not block the frame for long.
bool desktop_open(const std::string& target)
{
    const char* argv[] = {"xdg-open", target.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, (char* const*)argv, environ) != 0) {
        log_printf(stderr, "Couldn't run xdg-open to open %s\n", target.c_str());
        return false;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        log_printf(stderr, "xdg-open couldn't open %s\n", target.c_str());
        return false;
    }
    return true;
}

KnobContext knob_context(const Shell& sh)
{
    KnobContext c;
    c.analysis_fmax = sh.app.project.analysis_fmax;
    c.sample_rate = sh.app.project.sample_rate;
    c.image_width = sh.app.project.width;
    return c;
}

// Records the line and executes it; a history that cannot be written still lets it happen.
void run_line(App& app, const std::string& text)
{
    if (!record_text(app, record_action, 1, nullptr, text))
        execute_archive_line(app, text, nullptr);
}

void knobs_from_project(Shell& sh)
{
    const Project& p = sh.app.project;
    const KnobContext c = knob_context(sh);
    knob_set_value(sh.knobs, knob_volume, 0.0, c);
    knob_set_value(sh.knobs, knob_min_frequency, p.fmin, c);
    knob_set_value(sh.knobs, knob_max_frequency, p.fmax, c);
    knob_set_value(sh.knobs, knob_time_resolution, p.time_resolution, c);
    knob_set_value(sh.knobs, knob_gamma, sh.app.gamma_control, c);
    knob_set_value(sh.knobs, knob_layer_intensity, 0.0, c);
    knob_set_value(sh.knobs, knob_frequency_scale, p.scale_base, c);
    knob_set_value(sh.knobs, knob_spray_width, sh.startup.tool_width, c);
    knob_set_value(sh.knobs, knob_tool_intensity, sh.startup.tool_intensity, c);
}

void default_values(Shell& sh)
{
    App& app = sh.app;
    Project& p = app.project;
    double fmin = sh.startup.analysis_fmin, fmax = sh.startup.analysis_fmax, resolution = sh.startup.time_resolution;
    if (app.prefs) {
        pref_get_two_numbers(*app.prefs, "Analysis:Frequency range", fmin, " - ", fmax, " Hz", &fmin, &fmax);
        resolution = pref_get_number(*app.prefs, "Analysis:Time resolution", resolution, " pixels/second");
    }
    knobs_default_values(sh.knobs, fmin, fmax, resolution, knob_context(sh));
    app.gamma_control = 1.0f;
    // The synthesis follows the knobs: what changed is recorded, applied, and synthesised again.
    char line[160];
    bool changed = false;
    stop_composite_loop(app.compositor);
    synthesis_stop_workers(app.playback);
    if (p.fmin != (float)fmin || p.fmax != (float)fmax) {
        snprintf(line, sizeof line, "Frequency range %g Hz - %g Hz", fmin, fmax);
        run_line(app, line);
        changed = true;
    }
    if (p.scale_base != 2.0f) {
        run_line(app, "Frequency scale 2");
        changed = true;
    }
    if (p.time_resolution != (float)resolution) {
        snprintf(line, sizeof line, "Time resolution %g px/s", resolution);
        run_line(app, line);
        changed = true;
    }
    if (p.current_layer >= 0 && p.current_layer < (int)p.layers.size() && p.layers[p.current_layer].image &&
        p.layers[p.current_layer].gamma != 1.0f) {
        run_line(app, "Gamma 1");
        changed = true;
    }
    if (changed) {
        record_text(app, record_plain, 0, nullptr, "");
        if (p.width > 0 && p.height > 0 && app.image_update_level == update_none)
            app.image_update_level = update_full;
        app.requests.archive_line_executed = 1;
    }
    sh.interface_changed = true;
}

// Until the save chooser exists the recording goes to the data folder, named by the time.
void start_output_recording(Shell& sh)
{
    if (!sh.audio.device) {
        message_box(sh, "There is no sound output to record: no audio device is open.", "Save Live Synthesis Output", 1);
        return;
    }
    char name[96];
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    strftime(name, sizeof name, "Output %Y-%m-%d %H-%M-%S.wav", &local);
    const std::string path = path_join(data_folder(), name);
    if (!audio_record_start(sh.audio, path))
        message_box(sh, ("The output recording could not be created:\n" + path).c_str(), "Save Live Synthesis Output", 0);
    sh.app.toggles.live_output_suspended = false;
    menu_sync_checks(sh.menus, sh.app);
}

const char* menu_updates_address() { return SONOGRAPHICA_UPDATES_URL; }

void shell_menu_requests(Shell& sh)
{
    AppRequests& r = sh.app.requests;
    if (take(r.open_manual))
        open_user_guide(sh);
    if (take(r.open_files_folder) && !desktop_open(data_folder()))
        message_box(sh, ("The folder could not be opened with xdg-open:\n" + data_folder()).c_str(),
                    "Open Sonographica Files Folder", 1);
    if (take(r.check_updates) && *menu_updates_address() && !desktop_open(menu_updates_address()))
        message_box(sh, "The download page could not be opened with xdg-open.", "Check for Updates Online", 1);
    if (take(r.default_values))
        default_values(sh);
    if (take(r.save_live_output))
        start_output_recording(sh);
    if (take(r.suspend_live_output)) {
        if (!sh.audio.recorder.recording) {
            log_printf(stderr, "No output recording in progress\n");
            sh.app.toggles.live_output_suspended = false;
        } else {
            sh.app.toggles.live_output_suspended = !sh.app.toggles.live_output_suspended;
            output_recorder_suspend(sh.audio.recorder, sh.app.toggles.live_output_suspended);
        }
        menu_sync_checks(sh.menus, sh.app);
    }
    if (menu_carry_out_requests(sh.app, sh.menus)) {
        sh.interface_changed = true;
        sh.image_changed = true;
        sh.display_stale = true;
    }
}

namespace {

MenuLook menu_look(const Shell& sh)
{
    MenuLook look;
    look.font = &sh.gfx.font16;
    look.line = view_of(sh.gfx.menu_line);
    look.shadow = view_of(sh.gfx.menu_shadow);
    look.text = palette_colour(sh.gfx, palette_text, look.text);
    look.dimmed = palette_colour(sh.gfx, palette_text_dimmed, look.dimmed);
    look.background = palette_colour(sh.gfx, palette_menu_background, look.background);
    look.highlight = palette_colour(sh.gfx, palette_menu_highlight, look.highlight);
    look.check = palette_colour(sh.gfx, palette_check_mark, look.check);
    return look;
}

}  // namespace

void shell_menu_pointer(Shell& sh)
{
    MenuBar& bar = sh.menus;
    const int was_open = bar.open;
    const bool left = (sh.pointer_buttons & SDL_BUTTON_LMASK) != 0;
    if (!menu_has_pointer(bar, sh.pointer_y) && !bar.pressed)
        return;
    const int id = menu_pointer(bar, menu_look(sh), sh.pointer_x, sh.pointer_y, left, sh.height);
    if (bar.open >= 0 && bar.open != was_open) {
        // What the menu shows is brought up to date as it opens, not on every frame.
        if (bar.open == menu_layers)
            layer_list_refresh(bar, sh.app);
        else
            menu_sync_checks(bar, sh.app);
        menu_layout_open(bar, menu_look(sh), sh.height);
    }
    if (id)
        menu_action(bar, sh.app, id);
    if (bar.changed) {
        bar.changed = false;
        sh.menus_changed = true;
    }
}

void draw_menus(Shell& sh)
{
    menu_draw(raster_of(sh.screen), sh.menus, menu_look(sh));
}
