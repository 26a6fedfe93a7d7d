#include "commands/import.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <system_error>
#include <utility>
#include <vector>

#include "commands/app.h"
#include "engine/scale.h"
#include "engine/synthesis_workers.h"
#include "layers/stack.h"
#include "media/file_names.h"
#include "media/image_read.h"
#include "media/sound_read.h"
#include "commands/archive_read.h"
#include "commands/history.h"
#include "project/project.h"
#include "support/image_scale.h"
#include "support/log.h"
#include "support/paths.h"

namespace {

// Whether the project can be given a picture of rows × columns: the program's picture limit
// and the interpreter's own. Checked before anything changes, so that a load the project
// cannot take leaves it as it was. Logs one line when not.
bool project_can_hold(const App& app, long long rows, long long columns, const std::string& path)
{
    bool ok = rows > 0 && columns > 0 && rows <= picture_max_side && columns <= picture_max_side &&
              rows * columns <= picture_max_pixels && rows * columns <= app.archive.max_picture_pixels;
    if (!ok)
        log_printf(stderr, "Error: %s gives a picture of %lld x %lld pixels, which the project cannot hold\n",
                   path.c_str(), columns, rows);
    return ok;
}

// The layer's name goes into a "New layer" line: one too long for a line would be ignored
// after the project had already changed.
bool layer_name_fits(const std::string& name, const std::string& path)
{
    if (name.size() + 16 < (size_t)archive_line_limit)
        return true;
    log_printf(stderr, "Error: the name of %s is too long for a layer\n", path.c_str());
    return false;
}

// Executes one line of the completion step (not recorded: the line that started the load is).
void execute_line(App& app, const char* format, ...) __attribute__((format(printf, 2, 3)));
void execute_line(App& app, const char* format, ...)
{
    char text[archive_line_limit + 64];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    execute_archive_line(app, text, nullptr);
}

Layer* current_image_layer(Project& p)
{
    if (p.current_layer < 0 || p.current_layer >= (int)p.layers.size())
        return nullptr;
    Layer& l = p.layers[(size_t)p.current_layer];
    return l.image ? &l : nullptr;
}

// The loaded picture becomes the pixels of the current layer: handed over when it has the
// project's size, placed by the request's modes otherwise.
void install_picture(Project& p, Layer& layer, LoadRequest& r)
{
    std::lock_guard<std::mutex> lock(p.image_lock);
    if (r.width == p.width && r.height == p.height) {
        image_free(layer.image);
        layer.image = r.picture;
        r.picture = nullptr;
    } else {
        place_picture(r.picture, r.width, r.height, layer.image, p.width, p.height, r.horizontal_mode,
                      r.vertical_mode);
    }
}

// What opening and importing share at the end: the layer's restore source, and the marks
// that make the view, the compositing and the synthesis catch up.
void finish_layer(App& app)
{
    Project& p = app.project;
    if (Layer* layer = current_image_layer(p)) {
        image_free(layer->original_image);
        layer->original_image = image_copy(layer->image, p.height, p.width);
        layer->original_width = p.width;
        layer->original_height = p.height;
    }
    app.requests.view_reset = 1;
    app.requests.layer_list_refresh = 1;
    app.requests.archive_line_executed = 1;
    p.recomposite_needed = true;
    p.composite_width = p.width;
    p.composite_height = p.height;
    p.content_changed = content_dimensions;
}

bool complete_open(App& app, LoadRequest& r)
{
    Project& p = app.project;
    const std::string name = get_filename_from_path(r.path);
    if (!layer_name_fits(name, r.path) || !project_can_hold(app, r.height, r.width, r.path))
        return false;
    if (r.original_image && !project_can_hold(app, r.original_height, r.original_width, r.path))
        return false;
    if ((long long)r.original_sound.size() > std::min<long long>(sound_max_samples, app.archive.max_sound_samples)) {
        log_printf(stderr, "Error: %s is too long to open: %zu samples\n", r.path.c_str(), r.original_sound.size());
        return false;
    }

    app.view_current_layer_only = false;
    execute_line(app, "Clear image");
    execute_line(app, "Dimensions %d px x %d px", r.width, r.height);
    execute_line(app, "New layer \"%s\"", name.c_str());
    Layer* layer = current_image_layer(p);
    if (!layer || p.width != r.width || p.height != r.height) {
        log_printf(stderr, "Error: %s could not be installed as the project\n", r.path.c_str());
        return false;
    }
    install_picture(p, *layer, r);

    if (!r.colours.empty() && r.colour_width == p.width && r.colour_height == p.height)
        p.colour_image = std::move(r.colours);

    if (r.original_image) {
        execute_line(app, "New original image (%d x %d)", r.original_width, r.original_height);
        if (p.original_image && p.original_image_width == r.original_width &&
            p.original_image_height == r.original_height) {
            image_free(p.original_image);
            p.original_image = r.original_image;
            r.original_image = nullptr;
        }
    }

    // The frequency axis and the time step of the new picture: those it was analysed with.
    // Set before the original sound, so that its block geometry follows the new time step.
    p.fmin = r.analysis.fmin;
    p.fmax = r.analysis.fmax;
    p.scale_base = r.analysis.scale_base;
    p.time_resolution = r.analysis.time_resolution;
    update_block_width(p);

    if (r.file_class == file_class_sound) {
        const int length = (int)r.original_sound.size();
        execute_line(app, "New original sound (%d samples)", length);
        if (p.original_sound_length == length && (long long)p.original_sound.size() >= length) {
            std::copy(r.original_sound.begin(), r.original_sound.end(), p.original_sound.begin());
        } else {
            // The line was refused (it said why): an old sound must not pass for this one.
            set_original_sound(p, {}, 0);
        }
        app.reference_sound = name;
    }
    app.last_folder = path_folder(r.path);
    app.current_file = r.path;
    finish_layer(app);
    return true;
}

bool complete_import(App& app, LoadRequest& r)
{
    Project& p = app.project;
    const std::string name = get_filename_from_path(r.path);
    if (!layer_name_fits(name, r.path))
        return false;
    if ((int)p.layers.size() >= max_layers) {
        log_printf(stderr, "Error: %s cannot be imported: the project has %d layers already\n", r.path.c_str(),
                   (int)p.layers.size());
        return false;
    }
    // An extending axis grows the project to the picture; a project without a picture yet
    // takes the picture's size whatever the modes.
    int W = p.width, H = p.height;
    if (W <= 0 || H <= 0) {
        W = r.width;
        H = r.height;
    } else {
        if (r.horizontal_mode == place_extend)
            W = std::max(W, r.width);
        if (r.vertical_mode == place_extend)
            H = std::max(H, r.height);
    }
    if (!project_can_hold(app, H, W, r.path))
        return false;
    if (W != p.width || H != p.height) {
        execute_line(app, "Crop %d px x %d px", W, H);
        if (p.width != W || p.height != H) {
            log_printf(stderr, "Error: %s could not be imported\n", r.path.c_str());
            return false;
        }
    }
    const size_t layers_before = p.layers.size();
    execute_line(app, "New layer \"%s\"", name.c_str());
    Layer* layer = current_image_layer(p);
    if (!layer || p.layers.size() != layers_before + 1) {
        log_printf(stderr, "Error: %s could not be imported\n", r.path.c_str());
        return false;
    }
    install_picture(p, *layer, r);
    finish_layer(app);
    return true;
}

const char* mode_word(int mode) { return mode == place_crop ? "crop" : mode == place_fit ? "fit" : "extend"; }

// A path goes into an archive line between double quotes: it must hold neither a quote nor
// a line break, and must leave the line within the interpreter's length.
bool path_fits_archive_line(const std::string& path)
{
    bool ok = !path.empty() && path.find_first_of("\"\n\r") == std::string::npos &&
              path.size() + 32 < (size_t)archive_line_limit;
    if (!ok)
        log_printf(stderr, "Error: the file name %s cannot be written in an archive line\n", path.c_str());
    return ok;
}

// The history records of a load started from the interface, now that it is installed: the
// history starts afresh first when the load asked for it. Taken out of the request before
// being written, since recording an "Open" line finishes a load that holds records.
void record_installed_load(App& app)
{
    LoadRequest& r = app.load;
    std::vector<std::pair<int, std::string>> records = std::move(r.records);
    r.records.clear();
    if (records.empty())
        return;
    if (r.history_restart == history_restart_open)
        history_restart_for_open(app.history);
    else if (r.history_restart == history_restart_import_dialog)
        history_restart_for_import_dialog(app.history);
    for (const auto& [kind, text] : records)
        record_text(app, kind, 0, nullptr, text);
}

std::vector<std::string> analysis_lines(const Project& p)
{
    std::vector<std::string> lines;
    auto add = [&lines](const char* format, auto... values) {
        char text[256];
        snprintf(text, sizeof text, format, values...);
        lines.push_back(text);
    };
    add("Analysis frequency range %g Hz - %g Hz", p.analysis_fmin, p.analysis_fmax);
    if (p.analysis_scale_base != 2.0f)
        add("Analysis frequency scale %g", p.analysis_scale_base);
    add("Analysis time resolution %g px/s", p.analysis_time_resolution);
    add("Analysis pitch resolution %g px/octave", p.pitch_resolution);
    add("Analysis minimum pitch resolution %g px/octave", p.min_pitch_resolution > 0.0f ? p.min_pitch_resolution : 0.0f);
    add("Analysis transition time resolution %g px/s", p.transition_time_resolution);
    if (p.channel_selection == channels_left)
        lines.push_back("Analysis left channel only");
    else if (p.channel_selection == channels_right)
        lines.push_back("Analysis right channel only");
    return lines;
}

// Starts the load of `line` on the loader thread, keeping what the history needs for the
// completion step to record. A load still running is finished first, so that its records
// (written when it completes) come before these.
bool load_from_interface(App& app, const std::string& path, const std::string& line, int history_restart)
{
    finish_load(app);
    LoadRequest& r = app.load;
    if (classify_file_name(path) == file_class_sound)
        for (const std::string& text : analysis_lines(app.project))
            r.records.emplace_back(record_plain, text);
    r.records.emplace_back(record_action, line);
    r.records.emplace_back(record_plain, "");
    r.history_restart = history_restart;
    r.use_thread = true;
    execute_archive_line(app, line, nullptr);
    r.use_thread = false;
    if (!r.in_flight.load() && !r.done.load()) {
        // Nothing was started (the interpreter said why): nothing is recorded.
        r.records.clear();
        r.history_restart = history_goes_on;
        return false;
    }
    return true;
}

}  // namespace

void start_load(App& app)
{
    LoadRequest& r = app.load;
    const Project& p = app.project;
    r.analysis.fmin = p.analysis_fmin;
    r.analysis.fmax = p.analysis_fmax;
    r.analysis.scale_base = p.analysis_scale_base;
    r.analysis.time_resolution = p.analysis_time_resolution;
    r.analysis.transition_time_resolution = p.transition_time_resolution;
    r.analysis.pitch_resolution = p.pitch_resolution;
    r.analysis.min_pitch_resolution = p.min_pitch_resolution;
    // A minimum pitch resolution of 0 is how the project says constant time resolution.
    r.analysis.constant_time_resolution = !(p.min_pitch_resolution > 0.0f);
    r.channel_selection = p.channel_selection;
    r.sample_rate = p.sample_rate;
    r.cancel.store(false);
    r.cancelled = false;
    r.done.store(false);
    analysis_progress.store(0.0);

    // While an archive is read, each load is completed before the next line.
    const bool threaded = r.use_thread && app.archive.load_depth == 0;
    r.use_thread = false;
    if (threaded) {
        r.in_flight.store(true);
        try {
            r.thread = std::thread([&r] { load_file(r); });
            return;
        } catch (const std::system_error&) {
            r.in_flight.store(false);
        }
    }
    if (r.print_progress)
        load_file_with_progress(r);
    else
        load_file(r);
}

void complete_load(App& app)
{
    LoadRequest& r = app.load;
    if (!r.done.load(std::memory_order_acquire))
        return;
    if (r.thread.joinable())
        r.thread.join();
    r.in_flight.store(false);
    if (r.cancelled) {
        // The user's choice, not a failure: the project and the history stay as they were.
        log_printf(stdout, "Loading %s cancelled: the project is as it was\n", get_filename_from_path(r.path).c_str());
        const bool progress = r.print_progress;
        clear_load_request(r);
        r.print_progress = progress;
        return;
    }
    // The loader leaves no picture when the file could not be found, read or decoded: the
    // reader has logged why, and the project stays exactly as it was. Either way the line
    // that asked for the load counts as failed.
    bool installed = false;
    if (!r.picture)
        r.failures++;
    if (r.picture) {
        // The lines of the completion set data targets of their own; what the line that
        // started the load left pending ("Open" and "Import" leave none) stays in force.
        const int pending = app.archive.pending;
        // The workers render from the pictures about to change.
        synthesis_stop_workers(app.playback);
        installed = r.import ? complete_import(app, r) : complete_open(app, r);
        app.archive.pending = pending;
    }
    if (!installed)
        app.archive.failed_lines++;
    else
        record_installed_load(app);
    const bool progress = r.print_progress;
    clear_load_request(r);
    r.print_progress = progress;
}

void finish_load(App& app)
{
    LoadRequest& r = app.load;
    if (r.thread.joinable())
        r.thread.join();
    r.in_flight.store(false);
    complete_load(app);
}

void record_analysis_lines(App& app)
{
    for (const std::string& line : analysis_lines(app.project))
        record_text(app, record_plain, 0, nullptr, line);
}

bool cancel_load(App& app)
{
    LoadRequest& r = app.load;
    if (!r.in_flight.load() || r.done.load())
        return false;
    r.cancel.store(true);
    return true;
}

bool open_file_from_interface(App& app, const std::string& path, int history_restart)
{
    if (!path_fits_archive_line(path))
        return false;
    return load_from_interface(app, path, "Open \"" + path + "\"", history_restart);
}

bool import_file_from_interface(App& app, const std::string& path, int horizontal_mode, int vertical_mode)
{
    if (!path_fits_archive_line(path))
        return false;
    return load_from_interface(app, path,
                               "Import \"" + path + "\" h" + mode_word(horizontal_mode) + " v" + mode_word(vertical_mode),
                               history_goes_on);
}
