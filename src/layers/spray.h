// The spray tools: soft elliptical dabs along a stroke.
#pragma once

struct App;

// Paints one stroke point at column x, row y (image coordinates) with radii rx, ry, its
// interpolation from the previous point (unless `start`) and its harmonics.
// type: 0 dark, 1 white, 2 brighten, 3 smart erase.
void apply_spray_point(App& app, float x, float y, float rx, float ry, float intensity, int harmonics, int erase,
                       int type, int start);
