#include "ui/open_import.h"

#include <algorithm>

#include "commands/app.h"
#include "commands/archive_read.h"
#include "commands/history.h"
#include "commands/import.h"
#include "engine/synthesis_workers.h"
#include "media/file_names.h"
#include "support/log.h"
#include "support/paths.h"
#include "ui/dialog_layout.h"

std::vector<FileFilter> open_file_filters()
{
    // Every name the readers take: our own WAV/AIFF/TIFF/FITS readers, the decoder libraries and
    // libsndfile's containers.
    const char* pictures = "*.bmp;*.exr;*.hdr;*.gif;*.jpg;*.jpeg;*.png;*.psd;*.tga;*.tif;*.tiff;*.webp;*.pnm;*.pgm;"
                           "*.ppm;*.pbm";
    const char* sounds = "*.mp3;*.ogg;*.opus;*.wav;*.rf64;*.bw64;*.w64;*.flac;*.aif;*.aiff;*.aifc;*.au;*.snd;*.caf;"
                         "*.voc;*.ircam;*.sf;*.paf;*.svx;*.nist;*.sd2";
    return {
        {"All supported image and sound formats (SGA, TIFF, PNG, JPEG, BMP, EXR, WebP, MP3, WAVE, AIFF, FLAC, OGG, "
         "Opus, AU, CAF...)",
         std::string("*.sga;") + pictures + ";" + sounds},
        {"Sonographica Archive (SGA)", "*.sga"},
        {"All supported image formats (TIFF, PNG, JPG, BMP, EXR, WebP...)", pictures},
        {"All supported sound formats (MP3, WAV, FLAC, AIFF, OGG, Opus, AU, CAF, W64, RF64, VOC...)", sounds},
        {"All files", "*.*"},
    };
}

void open_import_open(OpenImportDialog& d, const std::string& path)
{
    d.open = true;
    d.path.clear();
    d.ask_on_first_frame = path.empty();
    if (!path.empty())
        open_import_choose(d, path);
}

void open_import_choose(OpenImportDialog& d, const std::string& path)
{
    if (!file_exists(path)) {
        log_printf(stderr, "File %s couldn't be found\n", path.c_str());
        d.path.clear();
        return;
    }
    d.path = path;
    if (classify_file_name(path) == file_class_sound)
        d.sound_chosen = true;
}

bool open_import_shows_target(const OpenImportDialog& d, const App& app)
{
    const Project& p = app.project;
    const bool has_image = p.width > 0 && p.height > 0 && !p.layers.empty();
    return has_image && !d.path.empty() && classify_file_name(d.path) != file_class_archive;
}

bool open_import_shows_methods(const OpenImportDialog& d, const App& app)
{
    return open_import_shows_target(d, app) && d.target == 61;
}

bool open_import_load(OpenImportDialog& d, App& app)
{
    if (d.path.empty())
        return false;
    const bool add = open_import_shows_target(d, app) && d.target == 61;
    d.open = false;
    stop_composite_loop(app.compositor);
    synthesis_stop_workers(app.playback);
    // An archive replayed now comes after a load still running, in the project and the history.
    finish_load(app);
    if (classify_file_name(d.path) == file_class_archive) {
        // Replayed line by line like the last session, and copied into the history.
        history_restart_for_import_dialog(app.history);
        load_archive(app, d.path);
        complete_load(app);
        app.requests.layer_list_refresh = 1;
        app.requests.archive_line_executed = 1;
        app.requests.view_reset = 1;
        return true;
    }
    const int modes[3] = {place_crop, place_fit, place_extend};
    if (add)
        return import_file_from_interface(app, d.path, modes[std::clamp(d.horizontal - 22, 0, 2)],
                                          modes[std::clamp(d.vertical - 32, 0, 2)]);
    // The history starts afresh only once the file has been loaded: a cancelled load keeps it.
    return open_file_from_interface(app, d.path, history_restart_import_dialog);
}

void open_import_frame(WidgetContext& ctx, App& app, OpenImportDialog& d, FileChooser& chooser, int screen_w,
                       int screen_h)
{
    if (!d.open)
        return;
    const int s = ctx.scale;
    const int L = dialog_open_import;
    const bool input_pass = ctx.target.pixels == nullptr;
    dialog_size_window(L, d.window, s);
    if (!d.placed) {
        d.window.x = std::max(0, (screen_w - d.window.w) / 2);
        d.window.y = std::max(0, (screen_h - d.window.h) / 3);
        d.placed = true;
    }
    floating_window(ctx, 7001, d.window, dialog_text(L, 0), screen_w, screen_h);
    const ResolvedLayout r = dialog_resolve(L, d.window, s);
    const bool select = button(ctx, 7010, dialog_rect(r, 10), dialog_text(L, 10));
    label(ctx, dialog_rect(r, 14), d.path.empty() ? dialog_text(L, 14) : get_filename_from_path(d.path));
    if (open_import_shows_target(d, app)) {
        radio(ctx, 7060, dialog_rect(r, 60), dialog_text(L, 60), d.target, 60);
        radio(ctx, 7061, dialog_rect(r, 61), dialog_text(L, 61), d.target, 61);
    }
    if (open_import_shows_methods(d, app)) {
        label(ctx, dialog_rect(r, 20), dialog_text(L, 20));
        label(ctx, dialog_rect(r, 30), dialog_text(L, 30));
        for (int i = 0; i < 3; i++) {
            radio(ctx, 7022 + i, dialog_rect(r, 22 + i), dialog_text(L, 22 + i), d.horizontal, 22 + i);
            radio(ctx, 7032 + i, dialog_rect(r, 32 + i), dialog_text(L, 32 + i), d.vertical, 32 + i);
        }
    }
    const WidgetRect load_rect = dialog_rect(r, 50);
    const bool load = button(ctx, 7050, load_rect, dialog_text(L, 50));
    const bool cancel = button(ctx, 7055, dialog_rect(r, 55), dialog_text(L, 55));
    if (d.path.empty() && rect_contains(load_rect, ctx.input.pointer_x, ctx.input.pointer_y))
        label(ctx, dialog_rect(r, 51), dialog_text(L, 51), 0xFFE8D080u);
    if (!input_pass)
        return;
    if ((select || d.ask_on_first_frame) && chooser.state.load() == chooser_idle) {
        d.ask_on_first_frame = false;
        FileChooserRequest r;
        r.title = "Open";
        r.folder = app.last_folder;
        r.filters = open_file_filters();
        file_chooser_start(chooser, r);
        d.asking = true;
    }
    if (d.asking) {
        std::string path;
        const int answer = file_chooser_take(chooser, &path);
        if (answer == chooser_chosen)
            open_import_choose(d, path);
        if (answer == chooser_chosen || answer == chooser_cancelled)
            d.asking = false;
    }
    if (cancel || d.window.close_clicked)
        d.open = false;
    else if (load)
        open_import_load(d, app);
}
