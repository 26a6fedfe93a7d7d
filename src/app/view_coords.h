// Window positions to image columns and rows and back, through the view and the layout. The
// mapping is the display's own: the left edge of the image area is the first visible column,
// its right edge the last, so the integer forms name the pixel the fast display shows there.
#pragma once
#include "app/layout.h"
#include "commands/view.h"

// Fractional image column and row under a window position (not clamped; for seek and zoom
// anchors).
float view_column_at_f(const ViewState& v, const ScreenLayout& l, float x);
float view_row_at_f(const ViewState& v, const ScreenLayout& l, float y);
// Integer image column and row under a window position, clamped into the visible block.
int view_column_at(const ViewState& v, const ScreenLayout& l, int x);
int view_row_at(const ViewState& v, const ScreenLayout& l, int y);
// Window position of a fractional image column or row (the inverse of the fractional forms).
float view_x_of(const ViewState& v, const ScreenLayout& l, float column);
float view_y_of(const ViewState& v, const ScreenLayout& l, float row);
