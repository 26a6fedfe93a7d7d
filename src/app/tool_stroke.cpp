// Tool strokes on the picture and their cancelling. The previews (rectangle, move) are drawn
// from the undo copy on every frame; at the release the recorded lines themselves are executed
// on the restored layer, so that what the session shows is what a replay of its history gives,
// bit for bit, whatever rounding the units' text introduces.
#include "app/tool_stroke.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "app/bar_input.h"
#include "app/display.h"
#include "app/input.h"
#include "app/layout.h"
#include "app/shell.h"
#include "commands/archive_read.h"
#include "commands/history.h"
#include "commands/spray_record.h"
#include "engine/synthesis_workers.h"
#include "layers/composite_thread.h"
#include "layers/layer_move.h"
#include "layers/rectangle_drag.h"
#include "layers/stack.h"
#include "project/units.h"
#include "support/log.h"

namespace {

bool current_image(const Project& p)
{
    return p.current_layer >= 0 && p.current_layer < (int)p.layers.size() && p.layers[p.current_layer].image;
}

// A unit the history can name; anything else is written in pixels.
int usable_unit(int unit) { return unit >= unit_px && unit < unit_count ? unit : (int)unit_px; }

// A position as "value unit" (or a bare note text), in the history units; pixels when the
// value has no text in the unit.
std::string position_text(const App& app, float pixels, bool horizontal)
{
    const Project& p = app.project;
    const int unit = usable_unit(horizontal ? app.units.time : app.units.frequency_position);
    char value[64] = "";
    const float v = convert_unit(pixels, value, sizeof value, unit_px, unit, p, horizontal ? 1 : 0, 1);
    if (unit == unit_note && value[0] >= 'A' && value[0] <= 'G')
        return value;
    if (!std::isfinite(v) || unit == unit_note) {
        snprintf(value, sizeof value, "%g px", pixels);
        return value;
    }
    return std::string(value) + " " + unit_name(unit);
}

// Records the text and executes it; a history that cannot be written still lets it happen.
void record_and_execute(App& app, int kind, const std::string& text)
{
    if (record_text(app, kind, 1, nullptr, text))
        return;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            execute_archive_line(app, std::string_view(text).substr(start, end - start), nullptr);
        start = end + 1;
    }
}

// The current layer back as the undo copy holds it (the state before the stroke).
void restore_from_undo(Project& p)
{
    std::scoped_lock lock(p.undo_lock, p.image_lock);
    if (!current_image(p) || !p.undo_image)
        return;
    Layer& l = p.layers[p.current_layer];
    for (int y = 0; y < p.height; y++)
        memcpy(l.image[y], p.undo_image[y], (size_t)p.width * sizeof(float));
    p.recomposite_needed = true;
}

bool modifier_held(const Shell& sh, bool held, SDL_Keymod mask) { return held || (SDL_GetModState() & mask) != 0; }

float logical(int v, int scale) { return (float)v / (float)std::max(1, scale); }

// The tool knobs, falling back on the tool settings before the bar shows them.
float tool_width(const Shell& sh)
{
    const double w = sh.knobs.value[knob_spray_width];
    return std::isfinite(w) && w > 0.0 ? (float)w : sh.app.tools.width;
}
float tool_intensity(const Shell& sh)
{
    const double k = sh.knobs.value[knob_tool_intensity];
    return std::isfinite(k) && k >= 0.0 ? (float)std::min(k, 1.0) : 0.25f;
}

int whole_column(const ToolView& v, float sx) { return (int)std::clamp(tool_column_at(v, sx), -1.0e9f, 1.0e9f); }
int whole_row(const ToolView& v, float sy) { return (int)std::clamp(tool_row_at(v, sy), -1.0e9f, 1.0e9f); }

// The pointer's image column and row, clamped into the picture.
void pointer_pixel(const App& app, float sx, float sy, int* x, int* y)
{
    const Project& p = app.project;
    *x = std::clamp((int)std::lround(std::clamp(tool_column_at(app.tool_view, sx), -1.0e9f, 1.0e9f)), 0,
                    std::max(0, p.width - 1));
    *y = std::clamp((int)std::lround(std::clamp(tool_row_at(app.tool_view, sy), -1.0e9f, 1.0e9f)), 0,
                    std::max(0, p.height - 1));
}

void start_stroke(Shell& sh)
{
    App& app = sh.app;
    Project& p = app.project;
    ToolStroke& s = sh.stroke;
    s.active = current_image(p) && tool_view_usable(app.tool_view) && app.tool >= tool_dark_spray &&
               app.tool <= tool_convolution_centre;
    if (!s.active)
        return;
    s.tool = app.tool;
    s.intensity = tool_intensity(sh);
    s.move_dx = s.move_dy = 0;
    s.first_block = 0;
    s.last_block = -1;
    const Layer& layer = p.layers[p.current_layer];
    s.centre_x = layer.centre_x;
    s.centre_y = layer.centre_y;
    s.centre_set = layer.centre_set;
    sh.input.stroke_erase = sh.input.precision;
    sh.stroke_active = true;
    // Points of an earlier stroke still being painted belong to the picture the undo copy keeps.
    spray_wait(app.spray);
    synthesis_stop_workers(app.playback);
    save_undo(p);
    app.compositor.changes_only = true;
    start_composite_loop(p, app.compositor);
}

void spray_step(Shell& sh, bool first, float sx, float sy)
{
    App& app = sh.app;
    Project& p = app.project;
    if (first && !p.layers[p.current_layer].centre_set) {
        int x, y;
        pointer_pixel(app, sx, sy, &x, &y);
        record_and_execute(app, record_action, centre_line(app, x, y));
    }
    spray_point(app, sx, sy, sh.input.precision ? 1 : 0, tool_width(sh), sh.stroke.intensity, sh.stroke.tool - 1,
                first ? 1 : 0);
}

void rectangle_step(Shell& sh, bool first, float sx, float sy)
{
    App& app = sh.app;
    InputState& in = sh.input;
    if (first) {
        in.anchor_column = whole_column(app.tool_view, sx);
        in.anchor_row = whole_row(app.tool_view, sy);
    }
    rectangle_drag(app.project, app.tool_view, sx, sy, in.stroke_erase, sh.stroke.intensity, in.anchor_column,
                   in.anchor_row, app.spray.stale.block_width, &sh.stroke.first_block, &sh.stroke.last_block);
}

void move_step(Shell& sh, bool first, float sx, float sy)
{
    App& app = sh.app;
    InputState& in = sh.input;
    const int column = (int)std::floor(std::clamp(tool_column_at(app.tool_view, sx), -1.0e9f, 1.0e9f));
    const int row = (int)std::floor(std::clamp(tool_row_at(app.tool_view, sy), -1.0e9f, 1.0e9f));
    if (first) {
        in.anchor_column = column;
        in.anchor_row = row;
    }
    MoveDragView view;
    view.constrain = modifier_held(sh, in.held.shift, KMOD_SHIFT);
    view.visible_columns = app.tool_view.visible_columns;
    view.visible_rows = app.tool_view.visible_rows;
    view.view_width = app.tool_view.view_width;
    view.view_height = app.tool_view.view_height;
    int dx = column - in.anchor_column, dy = row - in.anchor_row;
    // What the drag shows is what the release commits: the constrained offsets.
    if (view.constrain && view.visible_columns > 1 && view.visible_rows > 1) {
        if (std::fabs(dx) * view.view_width / (view.visible_columns - 1) >
            std::fabs(dy) * view.view_height / (view.visible_rows - 1))
            dy = 0;
        else
            dx = 0;
    }
    sh.stroke.move_dx = dx;
    sh.stroke.move_dy = dy;
    move_layer_drag(app.project, view, dx, dy, &in.status);
}

}  // namespace

void tool_view_from_layout(App& app, const ScreenLayout& l, int scale)
{
    const int s = std::max(1, scale);
    ToolView& v = app.tool_view;
    v.first_column = (float)app.view.first_column;
    v.visible_columns = (float)app.view.visible_columns;
    v.first_row = (float)app.view.first_row;
    v.visible_rows = (float)app.view.visible_rows;
    v.view_width = (float)l.image_width / (float)s;
    v.view_height = (float)l.image_height / (float)s;
    v.waveform_height = l.image_y / s - tool_view_top_margin;
}

std::string centre_line(const App& app, int x, int y)
{
    const std::string column = position_text(app, (float)x, true);
    const std::string row = position_text(app, (float)y, false);
    return "Central convolution point " + column + " , " + row + "\n";
}

std::string rectangle_intensity_line(float intensity, bool lighten)
{
    float factor = 1.0f - intensity;
    if (lighten)
        factor = intensity > 0.99999f ? 100000.0f : 1.0f / (1.0f - intensity);
    char line[96];
    snprintf(line, sizeof line, "Draw rectangle\nIntensity %g", factor);
    return line;
}

std::string rectangle_corner_line(const App& app, bool start, int column, int row)
{
    return std::string(start ? "Rectangle start " : "Rectangle end ") + position_text(app, (float)column, true) +
           " x " + position_text(app, (float)row, false) + (start ? "" : "\n");
}

void tool_stroke_frame(Shell& sh, bool first)
{
    App& app = sh.app;
    if (first)
        start_stroke(sh);
    ToolStroke& s = sh.stroke;
    if (!s.active || !current_image(app.project))
        return;
    const float sx = logical(sh.pointer_x, sh.scale), sy = logical(sh.pointer_y, sh.scale);
    switch (s.tool) {
    case tool_dark_spray:
    case tool_white_paint_spray:
    case tool_brighten_spray:
    case tool_smart_erase:
        spray_step(sh, first, sx, sy);
        break;
    case tool_rectangle:
        rectangle_step(sh, first, sx, sy);
        break;
    case tool_move:
        move_step(sh, first, sx, sy);
        break;
    case tool_convolution_centre: {
        int x, y;
        pointer_pixel(app, sx, sy, &x, &y);
        set_layer_centre(app.project, x, y);
        sh.input.anchor_column = x;
        sh.input.anchor_row = y;
        break;
    }
    default:
        break;
    }
    sh.input.stroke_frames++;
    // The previews' composites mark the display stale; the frame draws it.
    if (sh.display_stale)
        sh.image_changed = true;
}

void follow_painted_columns(Shell& sh, const ScreenLayout& l)
{
    App& app = sh.app;
    SprayTool& t = app.spray;
    const bool painted = t.view_update_requested.exchange(false);
    const int first = t.shown_first.exchange(INT_MAX), last = t.shown_last.exchange(-1);
    if (first <= last) {
        // Only the columns the dabs changed are drawn again, with the display's normalisation
        // kept; anything the fast path cannot follow rebuilds the whole display.
        const DisplayKey key = display_key(app, l.image_width, l.image_height, sh.stroke_active);
        if (sh.display_stale || !(key == sh.display_key) ||
            !display_update_columns(sh.display, l.image_width, l.image_height, app, sh.gfx, first, last,
                                    sh.display_max))
            sh.display_stale = true;
        sh.image_changed = true;
    }
    if (painted)
        sh.image_changed = true;
}

void tool_stroke_end(Shell& sh)
{
    App& app = sh.app;
    Project& p = app.project;
    ToolStroke& s = sh.stroke;
    if (!s.active)
        return;
    s.active = false;
    sh.stroke_active = false;
    stop_composite_loop(app.compositor);
    app.compositor.changes_only = false;
    sh.display_stale = true;  // also brings the waveform strip up to date
    sh.image_changed = true;
    app.image_update_level = s.tool == tool_move || s.tool == tool_convolution_centre ? update_full : update_stroke;
    if (!current_image(p))
        return;
    switch (s.tool) {
    case tool_rectangle: {
        InputState& in = sh.input;
        const float sx = logical(sh.pointer_x, sh.scale), sy = logical(sh.pointer_y, sh.scale);
        const int column = whole_column(app.tool_view, sx), row = whole_row(app.tool_view, sy);
        // The recorded lines paint the rectangle, on the layer as it was before the stroke. The
        // sound follows through the blocks under it, not a whole new synthesis.
        const int changed_before = p.content_changed;
        restore_from_undo(p);
        record_and_execute(app, record_action, rectangle_intensity_line(s.intensity, in.stroke_erase));
        record_and_execute(app, record_plain, rectangle_corner_line(app, true, in.anchor_column, in.anchor_row));
        record_and_execute(app, record_plain, rectangle_corner_line(app, false, column, row));
        if (in.stroke_erase && s.intensity > 0.99f)
            p.content_changed |= content_pixels;  // a huge gain changes the normalisation of every block
        else
            p.content_changed = changed_before;
        mark_stale_blocks(app.spray.stale, s.first_block, s.last_block);
        break;
    }
    case tool_move: {
        const std::string line = record_layer_move(p, s.move_dx, s.move_dy, usable_unit(app.units.time),
                                                   usable_unit(app.units.frequency_dimensions));
        restore_from_undo(p);
        if (!line.empty())
            record_and_execute(app, record_action, line);
        break;
    }
    case tool_convolution_centre:
        record_and_execute(app, record_action, centre_line(app, sh.input.anchor_column, sh.input.anchor_row));
        break;
    default:
        break;
    }
    if (sh.input.status.rfind("Moving by", 0) == 0)
        sh.input.status.clear();
}

void input_cancel(Shell& sh)
{
    InputState& in = sh.input;
    if (in.mode == pointer_control)
        bar_cancel(sh);
    if (in.mode == pointer_tool && sh.stroke.active) {
        App& app = sh.app;
        ToolStroke& s = sh.stroke;
        s.active = false;
        sh.stroke_active = false;
        stop_composite_loop(app.compositor);
        app.compositor.changes_only = false;
        // Previews are undone; nothing of them was recorded. Spray points already recorded are
        // left to paint: the history lists them, and the picture must stay what a replay gives.
        Project& p = app.project;
        if (s.tool == tool_rectangle || s.tool == tool_move) {
            restore_from_undo(p);
            app.image_update_level = std::max(app.image_update_level, (int)update_stroke);
            if (s.tool == tool_rectangle)
                mark_stale_blocks(app.spray.stale, s.first_block, s.last_block);
            else
                p.content_changed |= content_pixels;
        }
        if (s.tool == tool_convolution_centre && current_image(p)) {
            std::lock_guard<std::mutex> lock(p.image_lock);
            Layer& l = p.layers[p.current_layer];
            l.centre_x = s.centre_x;
            l.centre_y = s.centre_y;
            l.centre_set = s.centre_set;
            p.recomposite_needed = true;
        }
        if (in.status.rfind("Moving by", 0) == 0)
            in.status.clear();
        sh.display_stale = true;
        sh.image_changed = true;
    }
    in.mode = pointer_idle;
    in.control = -1;
    sh.interface_changed = true;
}
