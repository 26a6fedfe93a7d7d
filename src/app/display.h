// The picture as the screen shows it: the visible part of the composite turned into grey
// levels normalised to its own maximum with a gamma of 2, resampled to the image area.
#pragma once
#include "commands/view.h"
#include "project/project.h"
#include "support/raster.h"

// Rebuilds `out` at width × height from the view's visible block of the composite: each
// output pixel takes the source pixel at column round(x × (visible − 1) / width) and row
// round(y × (visible − 1) / height), and shows min(255, floor(sqrt(max(v, 0) / m) × 255 + 0.5))
// in grey, m being the visible maximum (1 when it is 0). A project without a composite gives
// black. Takes the image lock while it reads.
void display_rebuild(Pixmap& out, int width, int height, Project& p, const ViewState& v);
