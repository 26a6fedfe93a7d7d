// The view over the picture: zoom and centre on each axis and the visible block of columns and
// rows they give. Pure data, shared by the display, the tools and the keyboard.
#pragma once

struct ViewState {
    float zoom_x = 1.0f, zoom_y = 1.0f;   // at least 1; 1 shows the whole axis
    float centre_x = 0.0f, centre_y = 0.0f;
    int first_column = 0, visible_columns = 0;
    int first_row = 0, visible_rows = 0;
};

// Clamps the centre into the picture and each zoom to at least 1, then takes a whole number of
// visible pixels on each axis (at least 10, or the whole axis when it is shorter), recomputes
// the zoom from that number and places the visible block inside the picture around the centre.
void view_set(ViewState& v, int width, int height, float zoom_x, float zoom_y, float centre_x, float centre_y);
// Multiplies the zooms by the factors around an anchor point, which stays where it was on the
// screen.
void view_set_zoom(ViewState& v, int width, int height, float factor_x, float factor_y, float anchor_x,
                   float anchor_y);
// The whole picture at zoom 1, centred.
void view_reset(ViewState& v, int width, int height);
