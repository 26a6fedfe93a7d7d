#include "media/loader.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <system_error>

#include "engine/scale.h"
#include "media/file_names.h"
#include "media/image_read.h"
#include "media/sound_read.h"
#include "project/project.h"
#include "support/image_scale.h"
#include "support/log.h"
#include "support/paths.h"
#include "support/progress.h"

namespace {

void free_results(LoadRequest& r)
{
    image_free(r.picture);
    image_free(r.original_image);
    r.picture = r.original_image = nullptr;
    r.width = r.height = r.original_width = r.original_height = 0;
    r.original_sound.clear();
    r.original_sound.shrink_to_fit();
    r.colours.clear();
    r.colours.shrink_to_fit();
    r.colour_width = r.colour_height = 0;
    r.file_class = file_class_none;
}

// Analyses an opened or imported sound into the request's picture.
void load_sound_file(LoadRequest& r)
{
    std::vector<float> samples = load_sound_resampled(r.path.c_str(), r.channel_selection, r.sample_rate);
    if (samples.empty() || r.cancel.load())
        return;  // the reader said why, or the load was cancelled
    if (!r.import && (long long)samples.size() > sound_max_samples) {
        log_printf(stderr, "Error: %s is too long to open: %zu samples, at most %lld\n", r.path.c_str(),
                   samples.size(), sound_max_samples);
        return;
    }
    const AnalysisParameters& a = r.analysis;
    const int n = (int)samples.size();
    const int rows = analysis_image_height(a.fmin, a.fmax, a.pitch_resolution);
    if (rows >= 2 && std::isfinite(a.time_resolution) && a.time_resolution > 0.0f &&
        (float)n * (a.time_resolution / (float)r.sample_rate) < 1.0f) {
        log_printf(stderr, "Error: %s is too short to give one column at %g px/s\n", r.path.c_str(),
                   a.time_resolution);
        return;
    }
    int columns = 0;
    Image picture = analyse_sound(samples.data(), n, r.sample_rate, rows, a, &columns, 0, &r.cancel);
    if (!picture)
        return;  // analysis said why, or was cancelled
    scale_image_to_unit_peak(picture, rows, columns);
    if (!r.import) {
        r.original_image = image_copy(picture, rows, columns);
        r.original_width = columns;
        r.original_height = rows;
        r.original_sound = std::move(samples);
    }
    r.picture = picture;
    r.width = columns;
    r.height = rows;
}

void load_picture_file(LoadRequest& r)
{
    Rgba8Raster colours;
    int w = 0, h = 0;
    Image picture = load_image_grey(r.path, &w, &h, r.import ? nullptr : &colours);
    if (!picture)
        return;  // the reader said why
    if (!r.import && colours.width == w && colours.height == h &&
        colours.pixels.size() == (size_t)w * (size_t)h * 4) {
        r.colours.resize((size_t)w * (size_t)h);
        const unsigned char* c = colours.pixels.data();
        for (size_t i = 0; i < r.colours.size(); i++, c += 4)
            r.colours[i] = (unsigned)c[0] | (unsigned)c[1] << 8 | (unsigned)c[2] << 16 | (unsigned)c[3] << 24;
        r.colour_width = w;
        r.colour_height = h;
    }
    r.picture = picture;
    r.width = w;
    r.height = h;
}

// The size an imported picture takes on one axis: its own (crop), at least the project's
// (extend), or the project's (fit; its own when the project has no picture yet).
int placed_size(int mode, int target, int loaded)
{
    if (mode == place_crop)
        return loaded;
    if (mode == place_extend)
        return std::max(target, loaded);
    return target > 0 ? target : loaded;
}

void place_import(LoadRequest& r)
{
    int W = placed_size(r.horizontal_mode, r.target_width, r.width);
    int H = placed_size(r.vertical_mode, r.target_height, r.height);
    if (W == r.width && H == r.height)
        return;
    if (!picture_size_ok(H, W, "The placed picture")) {
        free_results(r);
        return;
    }
    Image placed = image_alloc(H, W);
    place_picture(r.picture, r.width, r.height, placed, W, H, r.horizontal_mode, r.vertical_mode);
    image_free(r.picture);
    r.picture = placed;
    r.width = W;
    r.height = H;
}

}  // namespace

void load_file_with_progress(LoadRequest& r)
{
    std::thread worker;
    try {
        worker = std::thread([&r] { load_file(r); });
    } catch (const std::system_error&) {
        load_file(r);
        return;
    }
    const bool sound = classify_file_name(r.path) == file_class_sound;
    ProgressLine line;
    if (sound)
        progress_begin(line, "Analysing " + get_filename_from_path(r.path));
    double fraction = 0.0;
    for (;;) {
        const bool finished = r.done.load(std::memory_order_acquire);
        if (sound) {
            fraction = std::clamp(analysis_progress.load(), 0.0, 1.0);
            if (finished && r.picture)
                fraction = 1.0;
            progress_update(line, fraction);
        }
        if (finished)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (sound)
        progress_end(line, fraction);
    worker.join();
}


LoadRequest::~LoadRequest()
{
    // Nobody is left to take the result: the loader stops between bands.
    cancel.store(true);
    if (thread.joinable())
        thread.join();
    free_results(*this);
}

void clear_load_request(LoadRequest& r)
{
    if (r.thread.joinable())
        r.thread.join();
    free_results(r);
    r.path.clear();
    r.import = 0;
    r.horizontal_mode = place_extend;
    r.vertical_mode = place_fit;
    r.target_width = r.target_height = 0;
    r.use_thread = false;
    r.cancel.store(false);
    r.cancelled = false;
    r.records.clear();
    r.history_restart = 0;
    r.done.store(false);
    r.in_flight.store(false);
}

void place_picture(const Image src, int w, int h, Image dst, int W, int H, int horizontal_mode, int vertical_mode)
{
    if (!src || !dst || w <= 0 || h <= 0 || W <= 0 || H <= 0)
        return;
    // A fit axis maps the last pixel onto the last; one source pixel is stretched across.
    auto axis_scale = [](int mode, int from, int to) {
        if (mode != place_fit)
            return 1.0;
        if (from == 1)
            return to > 1 ? INFINITY : 1.0;
        return (double)(to - 1) / (double)(from - 1);
    };
    scale_image_tent(src, w, h, dst, W, H, axis_scale(horizontal_mode, w, W), axis_scale(vertical_mode, h, H));
}

void load_file(LoadRequest& r)
{
    free_results(r);
    r.cancelled = false;
    r.file_class = classify_file_name(r.path);
    if (r.file_class == file_class_sound)
        load_sound_file(r);
    else if (r.file_class == file_class_image)
        load_picture_file(r);
    else
        log_printf(stderr, "Error: %s is not a picture or a sound\n", r.path.c_str());
    if (r.picture && r.import && !r.cancel.load())
        place_import(r);
    if (r.cancel.load()) {
        free_results(r);
        r.cancelled = true;
    }
    r.done.store(true, std::memory_order_release);
}

