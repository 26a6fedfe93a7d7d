// Moving a layer up or down the stack, and moving a layer's pixels in time and frequency
// within the unchanged picture size: what leaves an edge is lost, what is uncovered is 0.
#pragma once
#include <string>

#include "project/project.h"

// +1 moves the current layer up, -1 down, exchanging whole records (name, mode, flags), so a
// separator carries its group boundary along. Returns true when it moved; the caller then
// records "Move layer up\n" or "Move layer down\n". Nothing happens at the ends.
bool move_layer_in_stack(Project& p, int direction);

// Rebuilds the current layer from the undo picture shifted by dx columns (positive: later) and
// dy rows (positive: lower frequency). The caller has copied the layer into the undo picture;
// every step of a drag starts from it, so content pushed past an edge comes back when the
// pointer does. Takes the image lock.
bool move_layer_content(Project& p, int dx, int dy);

// What the Move tool knows of the view: the visible columns and rows and the screen size they
// fill, and whether the constrain key is held.
struct MoveDragView {
    bool constrain = false;
    double visible_columns = 0, visible_rows = 0;
    double view_width = 0, view_height = 0;
};

// One step of a Move tool drag: with the constrain key only the offset that is larger on the
// screen is kept; then as move_layer_content. When `status` is given it receives "Moving by
// %.2f semitones, %.3f seconds" (or "Moving by %.2f Hz, %.3f seconds" on a linear scale).
bool move_layer_drag(Project& p, const MoveDragView& view, int dx, int dy, std::string* status);

// The archive line of a finished drag, "Move layer %+g %s x %+g %s": dx converted to
// `time_unit` and dy to `dimension_unit` (unit indexes of project/units.h, the history
// units), each followed by the unit's name. The vertical offset is written negated, so that a
// move toward higher frequencies reads positive. Empty (logged) when an offset does not convert.
std::string record_layer_move(const Project& p, int dx, int dy, int time_unit, int dimension_unit);

// "Move layer %g %s x %g %s" read from an archive, with both offsets converted to pixels:
// archives after version 1.0 store the vertical offset negated. Saves the undo copy, moves by
// the offsets truncated toward zero and marks the content changed. Offsets that are not numbers
// move nothing.
bool apply_archive_layer_move(Project& p, float dx_pixels, float dy_pixels, float archive_version);
