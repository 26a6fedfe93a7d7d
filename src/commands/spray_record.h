// The painting tools as the application drives them: a stroke's points are recorded as
// archive lines and painted with the values those lines give back, so that a replay repaints
// the stroke bit for bit.
#pragma once

struct App;

// One pointer position of a spray stroke (the input handler calls it for the first position
// with `start` and for every later one while the button is held). On a separator nothing
// happens. The pointer becomes an image position (snapped by the magnet when that is on) and
// the width in screen pixels the brush radii, at least 2 each. Recording: "Draw %s" when the
// stroke starts or the erase flag changed; at the start the header lines ("Point size", then
// "Units", "Point intensity", "Harmonics", "Lines"); a point line after a "Draw" line and
// whenever the position moved in screen scale, in the history units. The point is painted by
// the drainer thread, with the values that the recorded lines give back when read, so that
// replaying the history repaints the stroke bit for bit. A brush size that would not read back
// in the history units (semitones on a linear scale) is recorded in pixels.
void spray_point(App& app, float sx, float sy, int erase, float width, float intensity, int type, int start);

// The interpreter's replayed stroke point: waits for the live drainer, then paints.
void apply_spray_point(App& app, float x, float y, float rx, float ry, float intensity, int harmonics, int erase,
                       int type, int start);

// The main loop's call, once per frame while the Magnet Modifier is on: the current layer, the
// tool view and the Harmonics Modifier of the App; `mode` is the current tool.
void magnet_snap(App& app, float sx, float sy, float width, int mode, float* x, float* y);
