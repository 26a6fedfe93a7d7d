// The Magnet Modifier: snapping the pointer to the strongest nearby point of the current
// layer's original layer image, so that a spray follows an analysed partial.
#pragma once
#include "layers/spray.h"
#include "layers/tool_view.h"
#include "project/project.h"

// The tool number of the Rectangle Tool: with it the harmonic rows are left out of the score.
constexpr int magnet_mode_rectangle = 5;

// Finds the snapped image position for the pointer at screen (sx, sy) with a brush `width`
// screen pixels wide, keeps it in the tool context (magnet_x, magnet_y) and returns it. The
// window spans rows y ± (1.5 width + 15) screen pixels and columns x ± 6 screen pixels, clipped
// to the original layer image; each pixel scores G(3 dy / ry') × G(3 dx / rx') × original, plus,
// with `harmonics` and a mode other than the Rectangle Tool, the same weight times the original
// at the rows of the second and third harmonics below it (on a logarithmic scale only). The
// largest score wins, the first found on ties (rows from the top, columns from the left); with
// no positive score the pointer position truncated to whole pixels is returned. A pointer that
// has not moved since the last call gets the last result.
void magnet_snap(SprayTool& t, const Project& p, const ToolView& v, float sx, float sy, float width, int mode,
                 bool harmonics, float* x, float* y);
