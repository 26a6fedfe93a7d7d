// The Rectangle tool's pixel work: scaling a rectangle of the current layer.
#pragma once
#include "engine/image.h"
#include "project/project.h"

// Multiplies rows min(row_a, row_b) up to but excluding max(row_a, row_b), and the columns
// likewise, clipped to 0 and to the picture, by `factor`. Empty when a corner coordinate is
// repeated. Takes no lock: for callers that already hold the image lock.
void multiply_image_rectangle(Image image, int width, int height, int column_a, int row_a, int column_b,
                              int row_b, float factor);

// The same on the current layer under the image lock, marking the composite stale. Returns false
// for a separator, no layer, or a factor that is not finite (logged).
bool multiply_rectangle(Project& p, int column_a, int row_a, int column_b, int row_b, float factor);
