#include "app/view_coords.h"

#include <algorithm>
#include <cmath>

namespace {

float at(float first, int visible, int origin, int extent, float position)
{
    if (extent <= 0 || visible <= 0)
        return first;
    return first + (float)(visible - 1) * (position - (float)origin) / (float)extent;
}

float of(float first, int visible, int origin, int extent, float index)
{
    if (visible <= 1)
        return (float)origin;
    return (float)origin + (index - first) * (float)extent / (float)(visible - 1);
}

int clamped(float index, int first, int visible)
{
    if (visible <= 0 || !std::isfinite(index))
        return first;
    return std::clamp((int)std::nearbyint(index), first, first + visible - 1);
}

}  // namespace

float view_column_at_f(const ViewState& v, const ScreenLayout& l, float x)
{
    return at((float)v.first_column, v.visible_columns, l.image_x, l.image_width, x);
}

float view_row_at_f(const ViewState& v, const ScreenLayout& l, float y)
{
    return at((float)v.first_row, v.visible_rows, l.image_y, l.image_height, y);
}

int view_column_at(const ViewState& v, const ScreenLayout& l, int x)
{
    return clamped(view_column_at_f(v, l, (float)x), v.first_column, v.visible_columns);
}

int view_row_at(const ViewState& v, const ScreenLayout& l, int y)
{
    return clamped(view_row_at_f(v, l, (float)y), v.first_row, v.visible_rows);
}

float view_x_of(const ViewState& v, const ScreenLayout& l, float column)
{
    return of((float)v.first_column, v.visible_columns, l.image_x, l.image_width, column);
}

float view_y_of(const ViewState& v, const ScreenLayout& l, float row)
{
    return of((float)v.first_row, v.visible_rows, l.image_y, l.image_height, row);
}
