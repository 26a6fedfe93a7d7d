// Bringing the program up in its fixed order, and down again.
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <fstream>

#include "app/shell.h"
#include "app/menu_shell.h"
#include "app/user_guide.h"
#include "app/window.h"
#include "commands/history.h"
#include "engine/noise.h"
#include "engine/synthesis_workers.h"
#include "project/project_prefs.h"
#include "support/crash.h"
#include "support/log.h"
#include "support/paths.h"
#include "support/save_file.h"

namespace {

// The compositor's hooks: the display follows the composite, and live mode re-estimates its
// output level after the synthesis copy was rewritten.
void on_composited(void* context, int quick)
{
    Shell& sh = *(Shell*)context;
    // After a stroke's columns alone, the pointer code redraws those columns of the display.
    if (quick != refresh_columns_only)
        sh.display_stale = true;
}

void on_synthesis_copy(void* context)
{
    Shell& sh = *(Shell*)context;
    level_estimate_hook(&sh.app.playback);
}

// A relative name taken as the folder the program was started in means it.
std::string from_start_folder(const std::string& path)
{
    char cwd[4096];
    if (path.empty() || path[0] == '/' || !getcwd(cwd, sizeof cwd))
        return path;
    return path_join(cwd, path);
}

// The hooks for tests and headless runs, from the environment (the command line belongs to
// the file rule).
void read_environment(Shell& sh)
{
    if (const char* script = getenv("SONOGRAPHICA_SCRIPT"); script && *script) {
        std::ifstream in(script);
        if (!in)
            log_printf(stderr, "File not found: %s\n", script);
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            sh.script.push_back(line);
        }
    }
    if (const char* shot = getenv("SONOGRAPHICA_SCREENSHOT"); shot && *shot)
        sh.screenshot_path = from_start_folder(shot);
    if (const char* frames = getenv("SONOGRAPHICA_EXIT_AFTER_FRAMES"); frames && *frames)
        sh.exit_after_frames = atoll(frames);
}

}  // namespace

std::string interface_folder()
{
    if (const char* dir = getenv("SONOGRAPHICA_GFX_DIR"); dir && *dir)
        return dir;
    // A build tree keeps the pictures beside the programs; an installed program finds them in
    // the shared data folder of its prefix.
    const std::string exe = executable_folder();
    const std::string beside = path_join(exe, "gfx");
    if (file_exists(path_join(beside, "palette.png")))
        return beside;
    const std::string installed = path_join(path_folder(exe), "share/sonographica/gfx");
    if (file_exists(path_join(installed, "palette.png")))
        return installed;
    return beside;
}

std::string command_line_file(const std::vector<std::string>& args)
{
    if (args.size() < 2)
        return "";
    if (!args[1].empty() && args[1][0] == '-')
        return args.size() >= 3 ? args[2] : "";
    return args[1];
}

bool shell_startup(Shell& sh, int argc, char** argv)
{
    App& app = sh.app;
    sh.args.assign(argv, argv + argc);

    // A relative file name on the command line means the folder the program was started in,
    // not the program's own folder, which becomes the working directory below.
    // The same holds for the files the environment names, so they are read or resolved here.
    sh.command_line_path = from_start_folder(command_line_file(sh.args));
    read_environment(sh);

    // Data folder, crash report, history, random seed, log, working directory.
    const std::string& folder = data_folder();
    crash_handler_install(folder.c_str());
    app.history.path.clear();
    app.requests = AppRequests{};
    random_seed((uint32_t)time(nullptr));
    log_open(folder.c_str());
    // A save cut short by a crash or a kill leaves its temporary behind; the real file is whole.
    remove_stale_temporaries(folder);
    if (!set_working_directory_to_executable())
        log_printf(stderr, "Warning: the program's folder could not be made the working directory\n");

    if (!sh.command_line_path.empty()) {
        app.last_folder = path_folder(sh.command_line_path);
        app.requests.command_line_file = 1;
    }

    // Preferences. Live synthesis is switched on in the first frame when they ask for it.
    load_project_preferences(app.project, pref_main_store(), folder, &sh.startup);
    app.prefs = &pref_main_store();
    history_units_from_preferences(sh.startup, &app.units.time, &app.units.frequency_position,
                                   &app.units.frequency_dimensions);
    app.units.relative_selection = sh.startup.relative_selection_index == 1;
    app.tools.spray_harmonics = sh.startup.spray_harmonics;
    app.tools.width = (float)sh.startup.tool_width;
    app.project.live_synthesis = false;
    app.requests.live_synthesis_on = sh.startup.live_synthesis ? 1 : 0;

    // The window and the interface's pictures.
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        log_printf(stderr, "SDL_Init failed: %s\n", SDL_GetError());
        return false;
    }
    sh.scale = window_interface_scale();
    if (!window_create(sh))
        return false;
    interface_images_load(sh.gfx, interface_folder(), sh.scale);
    user_guide_check();
    sh.menus.scale = sh.scale;
    menu_build(sh.menus, &sh.gfx.font16, sh.startup.history_menu != 0, menu_updates_address());
    app.toggles.linear_knob_control = sh.startup.linear_knob_control != 0;
    menu_sync_checks(sh.menus, app);
    knobs_from_project(sh);

    // The engine and the sound card: the callback runs from here on.
    app.compositor.render_view = on_composited;
    app.compositor.start_level_estimate = on_synthesis_copy;
    app.compositor.context = &sh;
    sh.audio.buffer_length = sh.startup.buffer_length;
    sh.audio_ok = audio_init(sh.audio, app.playback, app.project, *app.prefs);
    view_reset(app.view, app.project.width, app.project.height);
    return true;
}

void shell_shutdown(Shell& sh)
{
    App& app = sh.app;
    // Nothing may run on the project or play from the buffers once the window goes.
    waveform_stop(sh.waveform);
    stop_composite_loop(app.compositor);
    // Work still running is stopped, not finished: a half-loaded file is dropped, a sound
    // being saved leaves no partial file.
    cancel_load(app);
    finish_load(app);
    sound_save_stop(app.sound_save);
    playback_stop(app.playback);
    audio_close(sh.audio);
    synthesis_shutdown(app.playback);
    history_close(app.history);
    window_destroy(sh);
    SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS);
    log_printf(stdout, "\nQuitting program.\n");
}
