// What the painting tools know of the spectrogram view: which part of the picture is shown
// and on how many screen pixels, so that pointer positions and brush widths in screen pixels
// become image columns and rows.
#pragma once

struct ToolView {
    float first_column = 0.0f, visible_columns = 0.0f;  // c0, cw
    float first_row = 0.0f, visible_rows = 0.0f;        // r0, rh
    float view_width = 0.0f, view_height = 0.0f;        // vw, vh: screen pixels of the image area
    int waveform_height = 55;                           // the image area starts at y = this + 69
};

// The image area's top-left corner on the screen.
constexpr float tool_view_left = 120.0f;
constexpr int tool_view_top_margin = 69;

// Image column and row (fractional) under a screen position.
inline float tool_column_at(const ToolView& v, float sx)
{
    return v.first_column + (v.visible_columns - 1.0f) * (sx - tool_view_left) / v.view_width;
}
inline float tool_row_at(const ToolView& v, float sy)
{
    return v.first_row + (v.visible_rows - 1.0f) * (sy - (float)(v.waveform_height + tool_view_top_margin)) / v.view_height;
}
// Columns and rows per screen pixel, the factors of the screen scale.
inline float tool_columns_per_pixel(const ToolView& v) { return (v.visible_columns - 1.0f) / v.view_width; }
inline float tool_rows_per_pixel(const ToolView& v) { return (v.visible_rows - 1.0f) / v.view_height; }
// True when the view can convert at all (a shown picture on a screen area of some size).
inline bool tool_view_usable(const ToolView& v)
{
    return v.view_width > 0.0f && v.view_height > 0.0f && v.visible_columns >= 1.0f && v.visible_rows >= 1.0f;
}
