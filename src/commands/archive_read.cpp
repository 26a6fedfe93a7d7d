#include "commands/image_ops_menu.h"
#include "commands/spray_record.h"
#include "commands/archive_read.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands/app.h"
#include "layers/composite.h"
#include "layers/image_ops.h"
#include "layers/layer_move.h"
#include "layers/rectangle.h"
#include "layers/spray.h"
#include "layers/stack.h"
#include "media/file_names.h"
#include "media/image_write.h"
#include "commands/import.h"
#include "commands/project_sound.h"
#include "media/resample.h"
#include "commands/archive_write.h"
#include "project/base85.h"
#include "commands/history.h"
#include "project/units.h"
#include "support/expression.h"
#include "support/log.h"
#include "support/paths.h"

namespace {

// Every word buffer holds a whole line, so no field can overflow; the widths in the
// patterns below say the same to the reader.
constexpr int word_size = archive_line_limit;
#define FIELD "2049"

// Archives opening archives: deep enough for any real use, far from the stack's end.
constexpr int max_load_depth = 8;
// Values that are cast to whole numbers must stay far inside the int range.
constexpr double max_pixel_coordinate = 1e9;
constexpr float max_time_resolution = 1e6f;
constexpr int max_harmonics = 4096;
constexpr int max_sample_rate = 10000000;

struct Line {
    App& app;
    Project& p;
    ArchiveState& st;
    const char* text;       // the line, NUL-terminated
    const char* next;       // the line after it, or null
    bool reported = false;  // the line's one log line has been written: it failed
    bool unknown = false;   // no command has the line's first word

    // A unit name read from the line; unknown names are reported by the lookup itself.
    int unit(const char* name)
    {
        int u = unit_index(name);
        if (u == unit_none)
            reported = true;
        return u;
    }
    // One log line for a line whose values cannot be used; nothing else of it happens.
    void refuse()
    {
        if (!reported)
            log_printf(stderr, "Warning: archive line ignored, its values cannot be used: %s\n", text);
        reported = true;
    }
};

bool is_note_text(const char* s) { return s[0] >= 'A' && s[0] <= 'G'; }

bool current_layer_valid(const Project& p)
{
    return p.current_layer >= 0 && p.current_layer < (int)p.layers.size();
}

Layer* current_layer(Project& p) { return current_layer_valid(p) ? &p.layers[p.current_layer] : nullptr; }

// Text after a keyword read with "%[^\n]", without trailing blanks (a hand-edited archive
// may carry them, and a carriage return may survive from another system).
void trim_right(char* s)
{
    size_t n = strlen(s);
    while (n > 0 && isspace((unsigned char)s[n - 1]))
        s[--n] = '\0';
}

// A horizontal position or size given as text with a unit, in pixels; NaN when unusable.
float horizontal_pixels(Line& l, const char* value, const char* unit_name)
{
    int u = l.unit(unit_name);
    if (u == unit_none)
        return NAN;
    return convert_unit(0.0f, value, u, unit_px, l.p, 1);
}

// A vertical value: a text that begins with a note letter is a note whatever unit follows.
float vertical_pixels(Line& l, const char* value, const char* unit_name)
{
    int u = is_note_text(value) ? (int)unit_note : l.unit(unit_name);
    if (u == unit_none)
        return NAN;
    return convert_unit(0.0f, value, u, unit_px, l.p, 0);
}

// Rounds a pixel value to a whole pixel; false for values no picture could use.
bool whole_pixel(float v, int* out)
{
    if (!std::isfinite(v) || std::fabs((double)v) > max_pixel_coordinate)
        return false;
    *out = (int)std::nearbyint(v);
    return true;
}

// Whether an archive may ask for a picture of this size: within the picture limit and
// within the interpreter's own budget. Logs one line when not.
bool picture_allowed(const ArchiveState& st, long long rows, long long columns, const char* what)
{
    if (rows >= 0 && columns >= 0 && rows * columns > st.max_picture_pixels && rows <= picture_max_side &&
        columns <= picture_max_side) {
        log_printf(stderr, "Error: %s of %lld x %lld pixels is larger than an archive may ask for\n", what,
                   columns, rows);
        return false;
    }
    return picture_size_ok(rows, columns, what);
}

// ---------------------------------------------------------------------------------------
// Commands. Each returns true when the line ends early (no closing refresh).

void cmd_header(Line& l)
{
    char version[word_size] = "";
    sscanf(l.text, "Sonographica Archive v%" FIELD "s", version);
    char major = 0;
    float minor = l.st.version;
    sscanf(version, "%c.%g", &major, &minor);
    if (major != '1' || !(minor <= 2.2f))
        log_printf(stderr, "Warning: Archive version %s not supported by this version of Sonographica\n", version);
    // A version that is not a number would make every version rule false at once.
    if (std::isfinite(minor))
        l.st.version = minor;
    l.st.pending = pending_none;
}

void cmd_title(Line& l)
{
    char title[word_size];
    if (sscanf(l.text, "Title \"%" FIELD "[^\"]\"", title) == 1)
        l.p.title = title;
    l.st.pending = pending_none;
}

void cmd_clear(Line& l)
{
    reset_project(l.p);
    l.st.pending = pending_none;
}

// "Dimensions" grows the picture, "Crop" sets its size exactly.
void cmd_dimensions(Line& l, bool exact)
{
    l.st.pending = pending_none;
    char keyword[word_size], wv[word_size] = "", wu[word_size] = "", hv[word_size] = "", hu[word_size] = "";
    sscanf(l.text, "%" FIELD "s %" FIELD "s %" FIELD "s x %" FIELD "s %" FIELD "s", keyword, wv, wu, hv, hu);

    // Both sides are read before anything changes, so a bad line leaves the project alone.
    int width_unit = l.unit(wu);
    if (width_unit == unit_none)
        return;
    float seconds_or_value = (float)parse_time_value(wv);
    float w = convert_unit(seconds_or_value, nullptr, width_unit, unit_px, l.p, 1);
    float h = vertical_pixels(l, hv, hu);
    int W, H;
    if (!whole_pixel(w, &W) || !whole_pixel(h, &H)) {
        l.refuse();
        return;
    }
    if (width_unit != unit_px)
        W += 1;

    Project& p = l.p;
    bool clear = l.st.version < 1.0f || !p.composite;
    int old_w = clear ? 0 : p.width, old_h = clear ? 0 : p.height;
    int final_w = exact ? W : std::max(W, old_w), final_h = exact ? H : std::max(H, old_h);
    bool keeps_image_layers = false;
    if (!clear)
        for (const Layer& layer : p.layers)
            keeps_image_layers |= layer.image != nullptr;
    if (final_w < 0 || final_h < 0 || ((final_w == 0 || final_h == 0) && keeps_image_layers)) {
        l.refuse();
        return;
    }
    if (!picture_allowed(l.st, final_h, final_w, "The project")) {
        l.reported = true;
        return;
    }

    std::scoped_lock lock(p.synthesis_copy_lock, p.layer_table_lock, p.undo_lock, p.image_lock);
    if (clear) {
        // The emptying keeps the frequency scale: a status file states the scale just
        // before its "Dimensions" line, and would otherwise always come back logarithmic.
        float base = p.scale_base;
        reset_project_locked(p);
        p.scale_base = base;
    } else
        free_pictures(p, false);
    resize_project(p, final_w, final_h, exact);
}

bool valid_range(float a, float b) { return std::isfinite(a) && std::isfinite(b) && a > 0.0f && b > a; }
bool positive(float v) { return std::isfinite(v) && v > 0.0f; }

void cmd_analysis(Line& l)
{
    l.st.pending = pending_none;
    Project& p = l.p;
    char keyword[word_size], second[word_size] = "";
    sscanf(l.text, "%" FIELD "s %" FIELD "s", keyword, second);
    float v;
    if (!strcmp(second, "frequency")) {
        float a = p.analysis_fmin, b = p.analysis_fmax;
        if (sscanf(l.text, "Analysis frequency range %g Hz - %g Hz", &a, &b) >= 1) {
            if (!valid_range(a, b))
                return l.refuse();
            p.analysis_fmin = a;
            p.analysis_fmax = b;
        } else if (sscanf(l.text, "Analysis frequency scale %g", &(v = p.analysis_scale_base)) == 1) {
            if (!positive(v))
                return l.refuse();
            p.analysis_scale_base = v;
        }
    } else if (!strcmp(second, "time")) {
        if (sscanf(l.text, "Analysis time resolution %g px/s", &(v = p.analysis_time_resolution)) == 1) {
            if (!positive(v) || v > max_time_resolution)
                return l.refuse();
            p.analysis_time_resolution = v;
        }
    } else if (!strcmp(second, "pitch")) {
        if (sscanf(l.text, "Analysis pitch resolution %g px/octave", &(v = p.pitch_resolution)) == 1) {
            if (!positive(v))
                return l.refuse();
            p.pitch_resolution = v;
        }
    } else if (!strcmp(second, "minimum")) {
        if (sscanf(l.text, "Analysis minimum pitch resolution %g px/octave", &(v = p.min_pitch_resolution)) == 1) {
            if (!std::isfinite(v) || v < 0.0f)
                return l.refuse();
            p.min_pitch_resolution = v;
        }
    } else if (!strcmp(second, "transition")) {
        if (sscanf(l.text, "Analysis transition time resolution %g px/s", &(v = p.transition_time_resolution)) == 1) {
            if (!positive(v) || v > max_time_resolution)
                return l.refuse();
            p.transition_time_resolution = v;
        }
    } else if (!strcmp(second, "left")) {
        p.channel_selection = channels_left;
    } else if (!strcmp(second, "right")) {
        p.channel_selection = channels_right;
    }
}

// A bound of "Frequency range" in Hz. A note is turned into its frequency directly, which
// is exact and needs no picture, where a trip through rows would need one of two rows or more.
float frequency_bound(Line& l, const char* value, const char* unit_name)
{
    if (is_note_text(value))
        return number_to_note(read_note(value));
    int u = l.unit(unit_name);
    if (u == unit_none)
        return NAN;
    return convert_unit(0.0f, value, u, unit_hz, l.p, 0);
}

void cmd_frequency(Line& l)
{
    l.st.pending = pending_none;
    Project& p = l.p;
    char keyword[word_size], second[word_size] = "";
    sscanf(l.text, "%" FIELD "s %" FIELD "s", keyword, second);
    if (!strcmp(second, "range")) {
        char v1[word_size] = "", u1[word_size] = "", v2[word_size] = "", u2[word_size] = "";
        sscanf(l.text, "Frequency range %" FIELD "s", v1);
        float a, b;
        if (is_note_text(v1)) {
            sscanf(l.text, "Frequency range %" FIELD "s - %" FIELD "s %" FIELD "s", v1, v2, u2);
            a = frequency_bound(l, v1, "");
        } else {
            sscanf(l.text, "Frequency range %" FIELD "s %" FIELD "s - %" FIELD "s %" FIELD "s", v1, u1, v2, u2);
            a = frequency_bound(l, v1, u1);
        }
        b = std::isfinite(a) ? frequency_bound(l, v2, u2) : NAN;
        if (!valid_range(a, b))
            return l.refuse();
        p.fmin = a;
        p.fmax = b;
    } else if (!strcmp(second, "scale")) {
        float v = p.scale_base;
        if (sscanf(l.text, "Frequency scale %g", &v) == 1) {
            if (!positive(v))
                return l.refuse();
            p.scale_base = v;
        }
    }
}

void cmd_time(Line& l)
{
    l.st.pending = pending_none;
    char keyword[word_size], second[word_size] = "";
    sscanf(l.text, "%" FIELD "s %" FIELD "s", keyword, second);
    if (strcmp(second, "resolution"))
        return;
    float v = l.p.time_resolution;
    if (sscanf(l.text, "Time resolution %g px/s", &v) != 1)
        return;
    if (!positive(v) || v > max_time_resolution)
        return l.refuse();
    l.p.time_resolution = v;
    update_block_width(l.p);
}

void cmd_synthesis(Line& l)
{
    l.st.pending = pending_none;
    Project& p = l.p;
    char keyword[word_size], second[word_size] = "";
    sscanf(l.text, "%" FIELD "s %" FIELD "s", keyword, second);
    if (!strcmp(second, "lossless")) {
        p.lossless = true;
        if (p.live_synthesis)
            l.app.requests.live_synthesis_on = 1;
    } else if (!strcmp(second, "live") || !strcmp(second, "noise")) {
        p.lossless = false;
        if (!p.live_synthesis)
            l.app.requests.live_synthesis_on = 1;
    }
}

void cmd_samplerate(Line& l)
{
    int rate = l.p.archive_sample_rate;
    if (sscanf(l.text, "Samplerate %d Hz", &rate) != 1)
        return;
    if (rate < 0 || rate > max_sample_rate)
        return l.refuse();
    l.p.archive_sample_rate = rate;
}

void cmd_new(Line& l)
{
    Project& p = l.p;
    char keyword[word_size], kind[word_size] = "", name[word_size] = "";
    sscanf(l.text, "%" FIELD "s %" FIELD "s \"%" FIELD "[^\"]\"", keyword, kind, name);
    if (!strcmp(kind, "layer")) {
        // A refused layer must not let its data fall into the layer below.
        l.st.pending = new_layer(p, name) ? pending_layer_image : pending_none;
    } else if (!strcmp(kind, "separator")) {
        l.st.pending = new_separator(p, name) ? pending_separator : pending_none;
    } else if (!strcmp(kind, "original")) {
        char what[word_size] = "";
        sscanf(l.text, "New original %" FIELD "s", what);
        if (!strcmp(what, "sound")) {
            int length = 0;
            if (sscanf(l.text, "New original sound (%d samples)", &length) != 1)
                return;
            l.st.pending = pending_none;
            if (length < 0 || length > l.st.max_sound_samples) {
                log_printf(stderr, "Error: an original sound of %d samples is refused\n", length);
                l.reported = true;
                return;
            }
            if (set_original_sound(p, std::vector<float>((size_t)length, 0.0f), length))
                l.st.pending = pending_original_sound;
            else
                l.reported = true;
        } else if (!strcmp(what, "image")) {
            int w = 0, h = 0;
            if (sscanf(l.text, "New original image (%d x %d)", &w, &h) != 2)
                return;
            l.st.pending = pending_none;
            if (!picture_allowed(l.st, h, w, "The original image")) {
                l.reported = true;
                return;
            }
            image_free(p.original_image);
            p.original_image = image_alloc(h, w);
            p.original_image_width = p.original_image ? w : 0;
            p.original_image_height = p.original_image ? h : 0;
            l.st.pending = pending_original_image;
        }
    }
}

void cmd_original(Line& l)
{
    int w = 0, h = 0;
    if (sscanf(l.text, "Original layer image (%d x %d)", &w, &h) != 2)
        return;
    l.st.pending = pending_none;
    Layer* layer = current_layer(l.p);
    if (!layer)
        return;
    if (!picture_allowed(l.st, h, w, "The original layer image")) {
        l.reported = true;
        return;
    }
    image_free(layer->original_image);
    layer->original_image = image_alloc(h, w);
    layer->original_width = layer->original_image ? w : 0;
    layer->original_height = layer->original_image ? h : 0;
    l.st.pending = pending_original_layer_image;
}

void cmd_merge(Line& l)
{
    char keyword[word_size], what[word_size] = "";
    sscanf(l.text, "%" FIELD "s %" FIELD "[^\n]", keyword, what);
    trim_right(what);
    if (!strcmp(what, "down layer"))
        merge_down_layer(l.p);
    else if (!strcmp(what, "all to new layer"))
        merge_all_to_new_layer(l.p, l.app.view_current_group_only);
}

// Copies the analysis parameters into the load request and runs the loader. An archive
// named by "Open" or "Import" is executed line by line instead.
void request_load(Line& l, const char* name, int import)
{
    App& app = l.app;
    Project& p = l.p;
    std::string path = find_load_file(name, p.archive_folder);
    if (path.empty()) {
        log_printf(stderr, "File '%s' not found.\n", name);
        l.reported = true;
        app.load.failures++;
        return;
    }
    if (classify_file_name(path) == file_class_archive) {
        if (!load_archive(app, path))
            l.reported = true;
        return;
    }
    // One load at a time: one still running on its thread is finished first.
    finish_load(app);
    LoadRequest& r = app.load;
    r.path = path;
    r.import = import;
    r.horizontal_mode = l.st.import_horizontal;
    r.vertical_mode = l.st.import_vertical;
    r.target_width = p.width;
    r.target_height = p.height;
    start_load(app);
}

// "Open", "Import" and "Save" without a file name between double quotes.
void missing_name(Line& l)
{
    log_printf(stderr, "Error: the line names no file between double quotes: %s\n", l.text);
    l.reported = true;
}

void cmd_open(Line& l)
{
    l.st.pending = pending_none;
    char keyword[word_size], name[word_size];
    if (sscanf(l.text, "%" FIELD "s \"%" FIELD "[^\"]\"", keyword, name) == 2)
        request_load(l, name, 0);
    else
        missing_name(l);
}

int placement_mode(const char* word, char axis, int fallback)
{
    if (word[0] != axis)
        return fallback;
    if (!strcmp(word + 1, "crop"))
        return place_crop;
    if (!strcmp(word + 1, "fit"))
        return place_fit;
    if (!strcmp(word + 1, "extend"))
        return place_extend;
    return fallback;
}

void cmd_import(Line& l)
{
    l.st.pending = pending_none;
    char name[word_size], h[word_size], v[word_size];
    int n = sscanf(l.text, "Import \"%" FIELD "[^\"]\" %" FIELD "s %" FIELD "s", name, h, v);
    l.st.import_horizontal = place_extend;
    l.st.import_vertical = place_fit;
    if (n == 3) {
        l.st.import_horizontal = placement_mode(h, 'h', place_extend);
        l.st.import_vertical = placement_mode(v, 'v', place_fit);
    }
    if (n >= 1)
        request_load(l, name, 1);
    else
        missing_name(l);
}

void cmd_save(Line& l)
{
    App& app = l.app;
    Project& p = l.p;
    char keyword[word_size], name[word_size];
    if (sscanf(l.text, "%" FIELD "s \"%" FIELD "[^\"]\"", keyword, name) != 2)
        return missing_name(l);
    // One save at a time: a sound still being written by the interface could be the very file
    // named here, and their temporaries would share a name.
    if (app.sound_save.running.load()) {
        log_printf(stderr, "Error: %s is being saved: \"%s\" waits until that save ends or is cancelled\n",
                   app.sound_save.path.c_str(), name);
        l.reported = true;
        return;
    }
    if (p.recomposite_needed)
        composite_layers(p, app.view_current_group_only);
    // A relative name belongs beside the archive being read, else beside the last file
    // opened. The process's own working folder is left alone.
    const std::string& folder = !p.archive_folder.empty() ? p.archive_folder : app.last_folder;
    std::string path = path_join(folder, name);
    switch (classify_file_name(path)) {
    case file_class_image:
        if (!p.composite) {
            log_printf(stderr, "Error: there is no picture to save in %s\n", path.c_str());
            l.reported = true;
            break;
        }
        l.reported = !export_image(p.composite, p.composite_width, p.composite_height, path);
        break;
    case file_class_archive:
        l.reported = !write_status_file(app, path);
        break;
    case file_class_sound:
        l.reported = !save_project_sound(app, path);
        break;
    default:
        log_printf(stderr, "Error: %s is not a picture, sound or archive name\n", path.c_str());
        l.reported = true;
        break;
    }
}

void cmd_blending(Line& l)
{
    char text[word_size];
    if (sscanf(l.text, "Blending %" FIELD "[^\n]", text) == 1 && current_layer_valid(l.p))
        set_layer_blending_keyword(l.p, text);
}

void cmd_gamma(Line& l)
{
    float g;
    if (sscanf(l.text, "Gamma %g", &g) == 1 && current_layer_valid(l.p))
        if (!set_layer_gamma(l.p, g))
            l.reported = true;
}

void cmd_central(Line& l)
{
    char xv[word_size] = "", xu[word_size] = "", yv[word_size] = "", yu[word_size] = "";
    if (sscanf(l.text, "Central convolution point %" FIELD "s %" FIELD "s , %" FIELD "s %" FIELD "s", xv, xu, yv, yu) < 3)
        return l.refuse();
    int x, y;
    if (!whole_pixel(horizontal_pixels(l, xv, xu), &x) || !whole_pixel(vertical_pixels(l, yv, yu), &y))
        return l.refuse();
    set_layer_centre(l.p, x, y);
}

bool cmd_draw(Line& l)
{
    ArchiveState& st = l.st;
    char what[word_size] = "";
    sscanf(l.text, "Draw %" FIELD "[^\n]", what);
    trim_right(what);
    static const char* const sprays[] = {"dark spray", "white spray", "brighten spray", "smart erase spray"};
    if (!strcmp(what, "rectangle")) {
        st.pending = pending_rectangle;
        st.rect_start_set = st.rect_end_set = st.intensity_set = false;
    } else if (!strcmp(what, "erase spray")) {
        st.pending = pending_spray_stroke;
        st.erase = 1;
    } else {
        for (int kind = 0; kind < 4; kind++) {
            if (!strcmp(what, sprays[kind])) {
                st.pending = pending_spray_stroke;
                st.erase = 0;
                st.spray_kind = kind;
            }
        }
    }
    if (st.pending == pending_spray_stroke)
        save_undo(l.p);
    return true;
}

// Once both corners and the intensity of a replayed rectangle are known, it is drawn.
void draw_pending_rectangle(Line& l)
{
    ArchiveState& st = l.st;
    if (!(st.rect_start_set && st.rect_end_set && st.intensity_set))
        return;
    save_undo(l.p);
    multiply_rectangle(l.p, st.rect_end_x, st.rect_end_y, st.rect_start_x, st.rect_start_y, st.intensity);
    l.p.content_changed |= content_pixels;
    st.rect_start_set = st.rect_end_set = st.intensity_set = false;
}

void cmd_intensity(Line& l)
{
    if (l.st.pending != pending_rectangle)
        return;
    char text[word_size];
    if (sscanf(l.text, "Intensity %" FIELD "s", text) != 1)
        return;
    // Archives of other systems wrote an infinite factor this way.
    double v = !strcmp(text, "1.#INF") ? 100000.0 : evaluate_expression(text);
    if (!std::isfinite(v) || std::fabs(v) > 3.4e38)
        return l.refuse();
    l.st.intensity = (float)v;
    l.st.intensity_set = true;
    draw_pending_rectangle(l);
}

void cmd_rectangle(Line& l)
{
    ArchiveState& st = l.st;
    if (st.pending != pending_rectangle)
        return;
    char keyword[word_size], which[word_size] = "";
    sscanf(l.text, "%" FIELD "s %" FIELD "s", keyword, which);
    bool start = !strcmp(which, "start");
    if (!start && strcmp(which, "end"))
        return;
    char xv[word_size] = "", xu[word_size] = "", yv[word_size] = "", yu[word_size] = "";
    const char* pattern = start ? "Rectangle start %" FIELD "s %" FIELD "s x %" FIELD "s %" FIELD "s"
                                : "Rectangle end %" FIELD "s %" FIELD "s x %" FIELD "s %" FIELD "s";
    if (sscanf(l.text, pattern, xv, xu, yv, yu) < 3)
        return l.refuse();
    int x, y;
    if (!whole_pixel(horizontal_pixels(l, xv, xu), &x) || !whole_pixel(vertical_pixels(l, yv, yu), &y))
        return l.refuse();
    if (start) {
        st.rect_start_x = x;
        st.rect_start_y = y;
        st.rect_start_set = true;
    } else {
        st.rect_end_x = x;
        st.rect_end_y = y;
        st.rect_end_set = true;
    }
    draw_pending_rectangle(l);
}

// "Point size" and "Point intensity": the line ends here while a stroke is pending.
bool cmd_point(Line& l)
{
    ArchiveState& st = l.st;
    if (st.pending != pending_spray_stroke)
        return false;
    char keyword[word_size], which[word_size] = "";
    sscanf(l.text, "%" FIELD "s %" FIELD "s", keyword, which);
    if (!strcmp(which, "size")) {
        float w, h;
        char wu[word_size] = "", hu[word_size] = "";
        if (sscanf(l.text, "Point size %g %" FIELD "s x %g %" FIELD "s", &w, wu, &h, hu) == 4) {
            int uw = l.unit(wu), uh = uw ? l.unit(hu) : unit_none;
            float pw = uw ? convert_unit(w, nullptr, uw, unit_px, l.p, 1) : NAN;
            float ph = uh ? convert_unit(h, nullptr, uh, unit_px, l.p, 0) : NAN;
            if (!std::isfinite(pw) || !std::isfinite(ph))
                l.refuse();
            else {
                st.point_width = pw;
                st.point_height = ph;
            }
        }
    } else if (!strcmp(which, "intensity")) {
        float v;
        if (sscanf(l.text, "Point intensity %g", &v) == 1) {
            if (!std::isfinite(v))
                l.refuse();
            else
                st.intensity = v;
        }
    }
    return true;
}

bool cmd_units(Line& l)
{
    if (l.st.pending != pending_spray_stroke)
        return false;
    char x[word_size], y[word_size];
    int n = sscanf(l.text, "Units %" FIELD "[^, ],%" FIELD "s", x, y);
    if (n >= 1)
        l.st.point_unit_x = l.unit(x);
    if (n >= 2)
        l.st.point_unit_y = l.st.point_unit_x ? l.unit(y) : unit_none;
    return true;
}

bool cmd_harmonics(Line& l)
{
    if (l.st.pending != pending_spray_stroke)
        return false;
    int n;
    if (sscanf(l.text, "Harmonics %d", &n) == 1) {
        if (n < 0 || n > max_harmonics)
            l.refuse();
        else
            l.st.harmonics = n;
    }
    return true;
}

bool cmd_lines(Line& l)
{
    if (l.st.pending != pending_spray_stroke)
        return false;
    l.st.new_stroke = 1;
    return true;
}

// A point of a replayed spray stroke: "%g %s T+%gs", x in the point unit of x, y as text.
void stroke_point(Line& l)
{
    ArchiveState& st = l.st;
    float xv, t;
    char yv[word_size];
    if (sscanf(l.text, "%g %" FIELD "s T+%gs", &xv, yv, &t) < 2)
        return;
    float x = st.point_unit_x ? convert_unit(xv, nullptr, st.point_unit_x, unit_px, l.p, 1) : NAN;
    int yu = is_note_text(yv) ? (int)unit_note : st.point_unit_y;
    float y = yu ? convert_unit(0.0f, yv, yu, unit_px, l.p, 0) : NAN;
    if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > max_pixel_coordinate ||
        std::fabs(y) > max_pixel_coordinate)
        return l.refuse();
    apply_spray_point(l.app, x, y, st.point_width, st.point_height, st.intensity, st.harmonics, st.erase,
                      st.spray_kind, st.new_stroke);
    l.p.content_changed |= content_pixels;
    st.new_stroke = 0;
}

void cmd_operation(Line& l)
{
    char keyword[word_size], name[word_size] = "";
    sscanf(l.text, "%" FIELD "s %" FIELD "[^\n]", keyword, name);
    trim_right(name);
    save_undo(l.p);
    // Archives up to version 1.1 meant the brown fill by this name.
    if (!strcmp(name, "fill pink") && !(l.st.version > 1.1f))
        strcpy(name, "fill brown");
    run_image_operation(l.app, name);
    l.st.pending = pending_layer_image;
}

void cmd_move(Line& l)
{
    l.st.pending = pending_layer_image;
    char keyword[word_size], second[word_size] = "", rest[word_size] = "";
    sscanf(l.text, "%" FIELD "s %" FIELD "s %" FIELD "[^\n]", keyword, second, rest);
    trim_right(rest);
    if (!strcmp(rest, "up")) {
        move_layer_in_stack(l.p, +1);
    } else if (!strcmp(rest, "down")) {
        move_layer_in_stack(l.p, -1);
    } else if (rest[0] == '+' || rest[0] == '-') {
        float dx, dy;
        char ux[word_size] = "", uy[word_size] = "";
        if (sscanf(l.text, "Move layer %g %" FIELD "s x %g %" FIELD "s", &dx, ux, &dy, uy) != 4)
            return l.refuse();
        int hx = l.unit(ux), hy = hx ? l.unit(uy) : unit_none;
        float px = hx ? convert_unit(dx, nullptr, hx, unit_px, l.p, 1) : NAN;
        float py = hy ? convert_unit(dy, nullptr, hy, unit_px, l.p, 0) : NAN;
        if (!std::isfinite(px) || !std::isfinite(py) || std::fabs(px) > max_pixel_coordinate ||
            std::fabs(py) > max_pixel_coordinate)
            return l.refuse();
        apply_archive_layer_move(l.p, px, py, l.st.version);
    }
}

void cmd_turn(Line& l)
{
    char state[word_size] = "";
    sscanf(l.text, "Turn layer %" FIELD "s", state);
    if (!strcmp(state, "on"))
        turn_layer(l.p, true);
    else if (!strcmp(state, "off"))
        turn_layer(l.p, false);
    l.p.content_changed |= content_pixels;
}

void cmd_multiply(Line& l)
{
    float f;
    if (sscanf(l.text, "Multiply layer by %g", &f) == 1 && current_layer_valid(l.p))
        if (!multiply_layer(l.p, f))
            l.reported = true;
    l.p.content_changed |= content_pixels;
    l.st.pending = pending_layer_image;
}

void cmd_enable(Line& l, bool on)
{
    char keyword[word_size], what[word_size] = "";
    sscanf(l.text, "%" FIELD "s %" FIELD "[^\n]", keyword, what);
    trim_right(what);
    if (!strcmp(what, "long block duration")) {
        l.p.long_blocks = on;
        update_block_width(l.p);
    } else if (!strcmp(what, "loop playback")) {
        l.p.loop_playback = on;
    }
}

// Exchanges the current layer with the undo picture, so that a second "Undo" redoes.
void cmd_undo(Line& l)
{
    Project& p = l.p;
    l.st.pending = pending_layer_image;
    Layer* layer = current_layer(p);
    if (!layer || !layer->image || !p.undo_image)
        return;
    std::scoped_lock lock(p.undo_lock, p.image_lock);
    for (int y = 0; y < p.height; y++)
        std::swap_ranges(layer->image[y], layer->image[y] + p.width, p.undo_image[y]);
    p.content_changed |= content_pixels;
}

void fill_original_sound(Line& l)
{
    Project& p = l.p;
    int length = p.original_sound_length;
    if ((long long)p.original_sound.size() < length)
        return;
    float* row = p.original_sound.data();
    if (read_base85(l.next, &row, 1, length) < length)
        l.reported = true;  // the reader has said why
    int rate = p.archive_sample_rate;
    if (rate == 0 || rate == p.sample_rate || length == 0)
        return;
    // Resampling may lengthen the sound a great deal: what it would give is checked first.
    double expected = (double)length * p.sample_rate / rate;
    if (expected > (double)l.st.max_sound_samples || expected < 0.5) {
        if (!l.reported)
            log_printf(stderr, "Error: the original sound of %d samples at %d Hz is not brought to %d Hz\n", length,
                       rate, p.sample_rate);
        l.reported = true;
        return;
    }
    std::vector<float> samples(p.original_sound.begin(), p.original_sound.begin() + length);
    samples = resample_sound(std::move(samples), rate, p.sample_rate);
    if (samples.empty() || samples.size() > (size_t)l.st.max_sound_samples)
        return;  // the resampler has said why; the sound stays as read
    int new_length = (int)samples.size();
    set_original_sound(p, std::move(samples), new_length);
}

void cmd_base85(Line& l)
{
    Project& p = l.p;
    if (!l.next) {
        log_printf(stderr, "read_base85(): line is NULL\n");
        l.reported = true;
        return;
    }
    l.st.data_line_next = true;
    switch (l.st.pending) {
    case pending_layer_image: {
        Layer* layer = current_layer(p);
        if (!layer || !layer->image) {
            log_printf(stderr, "Warning: Base85 data without a picture to fill\n");
            l.reported = true;
            return;
        }
        std::lock_guard<std::mutex> lock(p.image_lock);
        read_base85(l.next, layer->image, p.height, p.width);
        break;
    }
    case pending_separator:
        break;
    case pending_original_sound:
        fill_original_sound(l);
        break;
    case pending_original_image:
        if (p.original_image)
            read_base85(l.next, p.original_image, p.original_image_height, p.original_image_width);
        break;
    case pending_original_layer_image: {
        Layer* layer = current_layer(p);
        if (layer && layer->original_image)
            read_base85(l.next, layer->original_image, layer->original_height, layer->original_width);
        break;
    }
    default:
        log_printf(stderr, "Warning: Base85 data without a target\n");
        l.reported = true;
        break;
    }
}

void cmd_selected(Line& l)
{
    l.st.pending = pending_layer_image;
    char text[word_size];
    if (sscanf(l.text, "Selected layer %" FIELD "s", text) != 1 || l.p.layers.empty())
        return;
    double v = evaluate_expression(text);
    if (!std::isfinite(v))
        return l.refuse();
    select_layer(l.p, v, text[0] == '+' || text[0] == '-');
}

void cmd_rename(Line& l)
{
    char name[word_size];
    if (sscanf(l.text, "Rename layer \"%" FIELD "[^\"]\"", name) == 1)
        rename_layer(l.p, name);
}

// The first words of the command table, in the order they are tested.
bool is_keyword(const char* w)
{
    static const char* const keywords[] = {
        "Sonographica", "Title", "Clear", "Dimensions", "Crop", "Analysis", "Frequency", "Time", "Synthesis",
        "Samplerate", "New", "Original", "Duplicate", "Merge", "Delete", "Open", "Import", "Save", "Blending",
        "Gamma", "Central", "Draw", "Intensity", "Rectangle", "Point", "Units", "Harmonics", "Lines",
        "Operation", "Move", "Turn", "Multiply", "Enable", "Disable", "Undo", "Quit", "Base85", "Selected",
        "Rename", "zoom",
    };
    for (const char* k : keywords)
        if (!strcmp(w, k))
            return true;
    return false;
}

// Runs the command of the line's first word; true when the line ends early.
bool run_command(Line& l, const char* w)
{
    if (!strcmp(w, "Sonographica")) cmd_header(l);
    else if (!strcmp(w, "Title")) cmd_title(l);
    else if (!strcmp(w, "Clear")) cmd_clear(l);
    else if (!strcmp(w, "Dimensions")) cmd_dimensions(l, false);
    else if (!strcmp(w, "Crop")) cmd_dimensions(l, true);
    else if (!strcmp(w, "Analysis")) cmd_analysis(l);
    else if (!strcmp(w, "Frequency")) cmd_frequency(l);
    else if (!strcmp(w, "Time")) cmd_time(l);
    else if (!strcmp(w, "Synthesis")) cmd_synthesis(l);
    else if (!strcmp(w, "Samplerate")) cmd_samplerate(l);
    else if (!strcmp(w, "New")) cmd_new(l);
    else if (!strcmp(w, "Original")) cmd_original(l);
    else if (!strcmp(w, "Duplicate")) duplicate_layer(l.p);
    else if (!strcmp(w, "Merge")) cmd_merge(l);
    else if (!strcmp(w, "Delete")) delete_layer(l.p);
    else if (!strcmp(w, "Open")) cmd_open(l);
    else if (!strcmp(w, "Import")) cmd_import(l);
    else if (!strcmp(w, "Save")) cmd_save(l);
    else if (!strcmp(w, "Blending")) cmd_blending(l);
    else if (!strcmp(w, "Gamma")) cmd_gamma(l);
    else if (!strcmp(w, "Central")) cmd_central(l);
    else if (!strcmp(w, "Draw")) return cmd_draw(l);
    else if (!strcmp(w, "Intensity")) cmd_intensity(l);
    else if (!strcmp(w, "Rectangle")) cmd_rectangle(l);
    else if (!strcmp(w, "Point")) return cmd_point(l);
    else if (!strcmp(w, "Units")) return cmd_units(l);
    else if (!strcmp(w, "Harmonics")) return cmd_harmonics(l);
    else if (!strcmp(w, "Lines")) return cmd_lines(l);
    else if (!is_keyword(w)) {
        // Any other line while a stroke is pending may be one of its points.
        if (l.st.pending == pending_spray_stroke)
            stroke_point(l);
        else
            l.unknown = strncmp(w, "//", 2) != 0;
    }
    else if (!strcmp(w, "Operation")) cmd_operation(l);
    else if (!strcmp(w, "Move")) cmd_move(l);
    else if (!strcmp(w, "Turn")) cmd_turn(l);
    else if (!strcmp(w, "Multiply")) cmd_multiply(l);
    else if (!strcmp(w, "Enable")) cmd_enable(l, true);
    else if (!strcmp(w, "Disable")) cmd_enable(l, false);
    else if (!strcmp(w, "Undo")) cmd_undo(l);
    else if (!strcmp(w, "Quit")) {
        l.app.requests.quit = 1;
        return true;
    }
    else if (!strcmp(w, "Base85")) cmd_base85(l);
    else if (!strcmp(w, "Selected")) cmd_selected(l);
    else if (!strcmp(w, "Rename")) cmd_rename(l);
    else if (!strcmp(w, "zoom")) l.app.view_zoom_flag = 1;
    return false;
}

// What follows every executed line: the panel shows the current layer, the content counts
// as changed, and the composite is rebuilt before anything reads it.
void after_line(App& app)
{
    Project& p = app.project;
    if (current_layer_valid(p))
        app.gamma_control = p.layers[p.current_layer].gamma;
    app.requests.layer_list_refresh = 1;
    p.content_changed = content_dimensions;
    p.recomposite_needed = true;
    app.requests.archive_line_executed = 1;
}

} // namespace

void execute_archive_line(App& app, std::string_view line, const char* next_line, int* changed)
{
    ArchiveState& st = app.archive;
    const bool data = st.data_line_next;
    st.data_line_next = false;
    if (line.size() >= (size_t)archive_line_limit)
        return;
    if (changed)
        *changed = 1;
    char text[archive_line_limit];
    memcpy(text, line.data(), line.size());
    text[line.size()] = '\0';
    char word[archive_line_limit];
    bool ended_early = false;
    if (sscanf(text, "%" FIELD "s", word) == 1) {
        Line l{app, app.project, st, text, next_line};
        ended_early = run_command(l, word);
        if (l.reported)
            st.failed_lines++;
        else if (l.unknown && !data)
            st.unknown_lines++;
    }
    if (!ended_early)
        after_line(app);
}

bool load_archive(App& app, const std::string& path)
{
    ArchiveState& st = app.archive;
    if (st.load_depth >= max_load_depth) {
        log_printf(stderr, "Error: archives open each other too deeply at %s\n", path.c_str());
        return false;
    }
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) {
        log_printf(stderr, "File '%s' not found.\n", path.c_str());
        return false;
    }
    std::string text;
    char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
        text.append(chunk, n);
    fclose(f);

    Project& p = app.project;
    bool was_suspended = p.recording_suspended;
    std::string outer_folder = p.archive_folder;
    p.recording_suspended = true;
    p.archive_folder = path_folder(path);
    st.load_depth++;

    // Lines end at line feeds, which become terminators, so that each line is also the
    // NUL-terminated "next line" of the one before it; a carriage return before a line
    // feed goes the same way.
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); i++) {
        if (i == text.size() || text[i] == '\n') {
            if (i == text.size() && start == i)
                break;
            size_t end = i;
            if (end > start && text[end - 1] == '\r')
                text[--end] = '\0';
            if (i < text.size())
                text[i] = '\0';
            lines.emplace_back(text.data() + start, end - start);
            start = i + 1;
        }
    }
    const bool outermost = st.load_depth == 1;
    for (size_t i = 0; i < lines.size(); i++) {
        execute_archive_line(app, lines[i], i + 1 < lines.size() ? lines[i + 1].data() : nullptr);
        complete_load(app);
        if (outermost && st.line_finished && !st.line_finished(st.line_user, path, (int)i + 1, lines[i]))
            break;
    }

    st.load_depth--;
    if (p.current_layer < 0 && !p.layers.empty())
        p.current_layer = 0;
    p.layer_name_counter = (int)p.layers.size() - 1;
    if (current_layer_valid(p))
        app.gamma_control = p.layers[p.current_layer].gamma;
    app.requests.layer_list_refresh = 1;
    p.content_changed = content_dimensions;
    p.recomposite_needed = true;
    app.requests.archive_line_executed = 1;
    p.recording_suspended = was_suspended;
    p.archive_folder = outer_folder;

    // Only the outermost archive goes into the history: the ones it opened are named by
    // its own "Open" lines and would otherwise run twice on replay.
    if (st.load_depth == 0) {
        if (is_history_file(app.history, path))
            tidy_history(app.history);
        else
            append_archive_to_history(app.history, path);
    }
    return true;
}
