#include "commands/view.h"

#include <algorithm>
#include <cmath>

namespace {

// One axis: the visible count, the whole-pixel zoom and the first visible pixel.
void place_axis(int size, float& zoom, float& centre, int& first, int& visible)
{
    if (size <= 0) {
        zoom = 1.0f;
        centre = 0.0f;
        first = visible = 0;
        return;
    }
    centre = std::clamp(centre, 0.0f, (float)(size - 1));
    if (!(zoom >= 1.0f))  // NaN too
        zoom = 1.0f;
    visible = (int)std::floor(size / zoom + 0.5f);
    visible = size <= 10 ? size : std::clamp(visible, 10, size);
    zoom = (float)size / (float)visible;
    first = (int)std::floor(centre - std::floor(visible / 2.0f));
    if (first + visible > size)
        first = size - visible;
    if (first < 0)
        first = 0;
    centre = first + visible / 2.0f;
}

}  // namespace

void view_set(ViewState& v, int width, int height, float zoom_x, float zoom_y, float centre_x, float centre_y)
{
    v.zoom_x = zoom_x;
    v.zoom_y = zoom_y;
    v.centre_x = centre_x;
    v.centre_y = centre_y;
    place_axis(width, v.zoom_x, v.centre_x, v.first_column, v.visible_columns);
    place_axis(height, v.zoom_y, v.centre_y, v.first_row, v.visible_rows);
}

void view_set_zoom(ViewState& v, int width, int height, float factor_x, float factor_y, float anchor_x,
                   float anchor_y)
{
    float cx = anchor_x + (v.centre_x - anchor_x) / factor_x;
    float cy = anchor_y + (v.centre_y - anchor_y) / factor_y;
    view_set(v, width, height, v.zoom_x * factor_x, v.zoom_y * factor_y, cx, cy);
}

void view_reset(ViewState& v, int width, int height)
{
    view_set(v, width, height, 1.0f, 1.0f, width / 2.0f, height / 2.0f);
}
