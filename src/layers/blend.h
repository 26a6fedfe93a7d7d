// Blending one picture into another: the fourteen modes a layer or a group can have.
#pragma once
#include "engine/image.h"

enum : int {
    blend_addition = 0,
    blend_multiplication = 1,
    blend_division = 2,
    blend_reverse_division = 3,
    blend_subtraction = 4,
    blend_reverse_subtraction = 5,
    blend_difference = 6,
    blend_minimum = 7,
    blend_maximum = 8,
    blend_vertical_propagation = 9,
    blend_horizontal_propagation = 10,
    blend_horizontal_propagation_looped = 11,
    blend_convolution = 12,
    blend_convolution_looped = 13,
    blend_mode_count = 14,
};

// Indexed by mode: the "Blending" menu entries, the bracketed labels of the layer list and
// the words the "Blending" archive line accepts.
extern const char* const blending_menu_names[blend_mode_count];
extern const char* const blending_labels[blend_mode_count];
extern const char* const blending_keywords[blend_mode_count];

// The mode whose keyword begins `text`, compared over the keyword's own length; the last
// match in table order wins, so "convolution looped" is 13. -1 when none matches.
int blending_mode_from_keyword(const char* text);

// Combines `source` into `destination` in place; both are height × width, and a row is skipped
// where either row pointer is null. (cx, cy) is the source's centre, the kernel origin of the
// propagation and convolution modes. `accumulate` is 0 when the destination is known to be all
// zeros: then the modes that would copy the source copy it and all others leave it as it is.
// Modes outside 0..13 change nothing.
void blend_image(const Image source, Image destination, int width, int height, int cx, int cy, int mode,
                 int accumulate);
