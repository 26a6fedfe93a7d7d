#include "layers/layer_move.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "project/units.h"
#include "support/log.h"

bool move_layer_in_stack(Project& p, int direction)
{
    if (direction != 1 && direction != -1)
        return false;
    std::lock_guard<std::mutex> table(p.layer_table_lock);
    std::lock_guard<std::mutex> lock(p.image_lock);
    int at = p.current_layer, count = (int)p.layers.size();
    int to = at + direction;
    if (at < 0 || at >= count || to < 0 || to >= count)
        return false;
    std::swap(p.layers[at], p.layers[to]);
    p.current_layer = to;
    p.content_changed = content_pixels;
    p.recomposite_needed = true;
    return true;
}

// Clears the layer and copies the undo picture into it shifted by (dx, dy). The caller holds the
// image lock and has checked that both pictures exist.
static void shift_from_undo(Project& p, Image layer, int dx, int dy)
{
    int width = p.width, height = p.height;
    for (int y = 0; y < height; y++)
        memset(layer[y], 0, (size_t)width * sizeof(float));
    // Offsets beyond the picture leave it empty; clamping keeps the arithmetic in range.
    dx = std::clamp(dx, -width, width);
    dy = std::clamp(dy, -height, height);
    int y0 = std::max(-dy, 0), y1 = dy > 0 ? height - dy : height;
    int x0 = std::max(-dx, 0), columns = (dx > 0 ? width - dx : width) - x0;
    if (columns <= 0)
        return;
    for (int y = y0; y < y1; y++)
        memcpy(layer[y + dy] + x0 + dx, p.undo_image[y] + x0, (size_t)columns * sizeof(float));
}

bool move_layer_content(Project& p, int dx, int dy)
{
    std::lock_guard<std::mutex> lock(p.image_lock);
    if (p.current_layer < 0 || p.current_layer >= (int)p.layers.size())
        return false;
    Image layer = p.layers[p.current_layer].image;
    if (!layer)
        return false;
    if (!p.undo_image) {
        log_printf(stderr, "move_layer_content(): there is no undo copy of the layer to move\n");
        return false;
    }
    shift_from_undo(p, layer, dx, dy);
    p.recomposite_needed = true;
    p.content_changed |= content_pixels;
    return true;
}

static bool current_has_image(Project& p)
{
    std::lock_guard<std::mutex> lock(p.image_lock);
    return p.current_layer >= 0 && p.current_layer < (int)p.layers.size() && p.layers[p.current_layer].image;
}

bool move_layer_drag(Project& p, const MoveDragView& view, int dx, int dy, std::string* status)
{
    if (!current_has_image(p))
        return false;
    if (view.constrain) {
        double across = std::abs((double)dx) * view.view_width / std::max(view.visible_columns - 1, 1.0);
        double down = std::abs((double)dy) * view.view_height / std::max(view.visible_rows - 1, 1.0);
        if (across > down)
            dy = 0;
        else
            dx = 0;
    }
    if (status) {
        char text[128];
        double seconds = dx / (double)p.time_resolution;
        double b = p.scale_base;
        if (b > 1.0) {
            double span = log(p.fmax) / log(b) - log(p.fmin) / log(b);
            double rows_per_unit = (p.height - 1) / span;
            snprintf(text, sizeof text, "Moving by %.2f semitones, %.3f seconds", -dy * 12 / rows_per_unit, seconds);
        } else {
            snprintf(text, sizeof text, "Moving by %.2f Hz, %.3f seconds",
                     (double)(p.fmax - p.fmin) * (-dy) / (p.height - 1), seconds);
        }
        *status = text;
    }
    return move_layer_content(p, dx, dy);
}

std::string record_layer_move(const Project& p, int dx, int dy, int time_unit, int dimension_unit)
{
    float across = convert_unit((float)dx, (const char*)nullptr, unit_px, time_unit, p, 1);
    float down = convert_unit((float)dy, (const char*)nullptr, unit_px, dimension_unit, p, 0);
    if (std::isnan(across) || std::isnan(down)) {
        log_printf(stderr, "Move layer not recorded: the offset has no value in %s and %s\n",
                   unit_name(time_unit), unit_name(dimension_unit));
        return "";
    }
    char line[256];
    snprintf(line, sizeof line, "Move layer %+g %s x %+g %s", across, unit_name(time_unit), -down,
             unit_name(dimension_unit));
    return line;
}

// Truncates toward zero, keeping values far outside the picture far outside without overflow.
static int offset_pixels(float v, int size)
{
    float limit = (float)size + 1.0f;
    return (int)std::trunc(std::clamp(v, -limit, limit));
}

bool apply_archive_layer_move(Project& p, float dx_pixels, float dy_pixels, float archive_version)
{
    if (std::isnan(dx_pixels) || std::isnan(dy_pixels)) {
        log_printf(stderr, "Move layer ignored: the offset is not a number\n");
        return false;
    }
    if (archive_version > 1.0f)
        dy_pixels = -dy_pixels;
    save_undo(p);
    return move_layer_content(p, offset_pixels(dx_pixels, p.width), offset_pixels(dy_pixels, p.height));
}
