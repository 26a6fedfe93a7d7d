// Live spray strokes from the interface: recording their lines in the history and queueing
// their points for the drainer, painting exactly what a replay of those lines paints.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "commands/spray_record.h"

#include "commands/app.h"
#include "layers/magnet.h"
#include "layers/spray.h"
#include "commands/history.h"
#include "project/units.h"

namespace {

constexpr int word_size = 2050;
#define FIELD "2049"

// A unit the history can name; anything else is written in pixels.
int usable_unit(int unit) { return unit >= unit_px && unit < unit_count ? unit : (int)unit_px; }

bool note_text(const char* s) { return s[0] >= 'A' && s[0] <= 'G'; }

// The brush size as the interpreter reads "Point size %g %s x %g %s" back: each value from its
// "%g" text, converted from its unit to pixels.
bool read_point_size(const Project& p, const char* line, float* width, float* height)
{
    float w, h;
    char wu[word_size] = "", hu[word_size] = "";
    if (sscanf(line, "Point size %g %" FIELD "s x %g %" FIELD "s", &w, wu, &h, hu) != 4)
        return false;
    int uw = unit_index(wu), uh = uw ? unit_index(hu) : (int)unit_none;
    *width = uw ? convert_unit(w, nullptr, uw, unit_px, p, 1) : NAN;
    *height = uh ? convert_unit(h, nullptr, uh, unit_px, p, 0) : NAN;
    return std::isfinite(*width) && std::isfinite(*height);
}

// "Point size" for radii rx, ry: the width in the time unit and the height in the frequency
// dimensions unit. A size that would not read back (semitones on a linear scale, a percentage
// of an empty picture) is written in pixels instead, so that a replay paints with the brush the
// stroke had. Stores the brush as it reads back.
std::string point_size_line(const Project& p, float rx, float ry, int time_unit, int dimension_unit, float* width,
                            float* height)
{
    char line[256];
    float w = convert_unit(rx, nullptr, 0, unit_px, time_unit, p, 1, 0);
    float h = convert_unit(ry, nullptr, 0, unit_px, dimension_unit, p, 0, 0);
    snprintf(line, sizeof line, "Point size %g %s x %g %s", w, unit_name(time_unit), h, unit_name(dimension_unit));
    if (!read_point_size(p, line, width, height)) {
        snprintf(line, sizeof line, "Point size %g px x %g px", rx, ry);
        read_point_size(p, line, width, height);
    }
    return line;
}

// The point line "%-8g\t%-8g\t" (or with a note "%-8g\t%s%s\t"), and the position a replay
// reads from it: x through "%g" from the x unit, y as text from the y unit (a note when it
// begins with a note letter). False when the replay would refuse the point.
bool point_line(const Project& p, const SprayStroke& s, float x, float y, std::string* text, float* rx_out,
                float* ry_out)
{
    char line[512];
    float xv = convert_unit(x, nullptr, 0, unit_px, s.unit_x, p, 1, 0);
    if (s.unit_y == unit_note) {
        char note[64] = "";
        convert_unit(y, note, sizeof note, unit_px, unit_note, p, 0, 1);
        snprintf(line, sizeof line, "%-8g\t%s%s\t", xv, note, strlen(note) < 9 ? "   " : "");
    } else {
        float yv = convert_unit(y, nullptr, 0, unit_px, s.unit_y, p, 0, 0);
        snprintf(line, sizeof line, "%-8g\t%-8g\t", xv, yv);
    }
    *text = line;

    float xr;
    char yt[word_size];
    if (sscanf(line, "%g %" FIELD "s", &xr, yt) < 2)
        return false;
    float px = convert_unit(xr, nullptr, s.unit_x, unit_px, p, 1);
    int yu = note_text(yt) ? (int)unit_note : s.unit_y;
    float py = convert_unit(0.0f, yt, yu, unit_px, p, 0);
    if (!std::isfinite(px) || !std::isfinite(py) || std::fabs(px) > 1e9f || std::fabs(py) > 1e9f)
        return false;
    *rx_out = px;
    *ry_out = py;
    return true;
}

}  // namespace

void spray_point(App& app, float sx, float sy, int erase, float width, float intensity, int type, int start)
{
    Project& p = app.project;
    SprayTool& t = app.spray;
    const ToolView& v = app.tool_view;
    if (p.current_layer < 0 || p.current_layer >= (int)p.layers.size() || !p.layers[p.current_layer].image)
        return;
    if (!tool_view_usable(v) || type < 0 || type >= spray_type_count)
        return;
    erase = erase ? 1 : 0;
    float x = tool_column_at(v, sx), y = tool_row_at(v, sy);
    float rx = std::max(1.5f * width * (v.visible_columns - 1.0f) / v.view_width, 2.0f);
    float ry = std::max(1.5f * width * (v.visible_rows - 1.0f) / v.view_height, 2.0f);
    if (app.tools.magnet_modifier)
        magnet_snap(t, p, v, sx, sy, width, type + 1, app.tools.harmonics_modifier, &x, &y);
    // The screen scale of the position: what "moved" means for recording.
    float scx = v.visible_columns > 1.0f ? x * v.view_width / (v.visible_columns - 1.0f) : x;
    float scy = v.visible_rows > 1.0f ? y * v.view_height / (v.visible_rows - 1.0f) : y;

    SprayStroke& s = t.stroke;
    bool draw_line = start || erase != t.draw_erase;
    bool point_due = start || draw_line || scx != t.recorded_x || scy != t.recorded_y;
    if (draw_line) {
        record_line(app, record_action, 0, nullptr, "Draw %s", erase ? spray_erase_keyword : spray_keywords[type]);
        t.draw_erase = erase;
        if (!erase)
            s.type = type;
    }
    if (start) {
        s.unit_x = usable_unit(app.units.time);
        s.unit_y = usable_unit(app.units.frequency_position);
        int harmonics = app.tools.harmonics_modifier ? std::clamp(app.tools.spray_harmonics, 0, spray_max_harmonics) : 0;
        std::string size = point_size_line(p, rx, ry, s.unit_x, usable_unit(app.units.frequency_dimensions), &s.width,
                                           &s.height);
        record_text(app, record_plain, 0, nullptr, size);
        char header[256];
        snprintf(header, sizeof header, "Units %s,%s\nPoint intensity %g\nHarmonics %d\nLines", unit_name(s.unit_x),
                 unit_name(s.unit_y), intensity, harmonics);
        record_text(app, record_plain, 0, nullptr, header);
        float k = intensity;
        sscanf(strchr(header, '\n') + 1, "Point intensity %g", &k);
        s.intensity = k;
        s.harmonics = harmonics;
    }

    std::string line;
    float px, py;
    bool readable = point_line(p, s, x, y, &line, &px, &py);
    if (point_due) {
        record_text(app, record_stroke_point, 0, nullptr, line);
        // The erase flag changed while the pointer moved: the move's own point line follows.
        if (draw_line && !start && (scx != t.recorded_x || scy != t.recorded_y))
            record_text(app, record_stroke_point, 0, nullptr, line);
    }
    t.recorded_x = scx;
    t.recorded_y = scy;
    // Only what the history holds is painted, at the position the history holds, so that a
    // replay repaints the stroke bit for bit. A point that the history does not list (the
    // pointer did not move) would paint nothing anyway.
    if (!point_due || !readable)
        return;
    SprayPoint pt;
    pt.x = px;
    pt.y = py;
    pt.rx = s.width;
    pt.ry = s.height;
    pt.intensity = s.intensity;
    pt.harmonics = s.harmonics;
    pt.erase = erase;
    pt.type = s.type;
    pt.start = start;
    if (spray_enqueue(t, pt))
        spray_start_worker(t, p, &app.compositor);
}

void apply_spray_point(App& app, float x, float y, float rx, float ry, float intensity, int harmonics, int erase,
                       int type, int start)
{
    // A replayed point follows whatever the live drainer still had to paint.
    spray_wait(app.spray);
    apply_spray_point(app.spray, app.project, x, y, rx, ry, intensity, harmonics, erase, type, start);
}

void magnet_snap(App& app, float sx, float sy, float width, int mode, float* x, float* y)
{
    magnet_snap(app.spray, app.project, app.tool_view, sx, sy, width, mode, app.tools.harmonics_modifier, x, y);
}
