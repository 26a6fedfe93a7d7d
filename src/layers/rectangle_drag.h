// The Rectangle Tool's drag: each pointer move redraws the rectangle from the unchanged layer.
#pragma once
#include "layers/tool_view.h"
#include "project/project.h"

// The factor of the rectangle, in single precision: 1 / (1 - min(intensity, 0.99999)) when
// amplifying (at most about 99864, never infinite), 1 - intensity otherwise.
float rectangle_factor(bool amplify, float intensity);

// One step of the drag with the pointer at screen (sx, sy): under the image lock the current
// layer is restored from the undo picture (which the caller filled when the drag began) and
// the rectangle from (start_column, start_row) to the pointer's whole column and row is
// multiplied by rectangle_factor. Receives the live-synthesis block range of the rectangle's
// columns, 2 × left / B to (2 × right - 2) / B with B `block_width` (an empty range, 0 and -1,
// when B is 0). Returns false for a separator or no layer.
bool rectangle_drag(Project& p, const ToolView& v, float sx, float sy, bool amplify, float intensity,
                    int start_column, int start_row, int block_width, int* first_block, int* last_block);
