// Whole-layer image operations of the "Operations" menu (and "Erase Mask"): each transforms
// every pixel of the current layer in place. Pixels are spectral amplitudes, rows are
// frequencies on the project's scale (row 0 the highest), columns are time frames.
#pragma once
#include <vector>

#include "engine/image.h"
#include "project/project.h"

enum ImageOperation : int {
    op_erase,
    op_invert,
    op_mask_invert,
    op_horizontal_flip,
    op_vertical_flip,
    op_horizontal_average,
    op_vertical_average,
    op_horizontal_curves,
    op_vertical_curves,
    op_fill_to_left,
    op_fill_to_bottom,
    op_normalisation,
    op_set_sum_to_1,
    op_horizontal_normalisation,
    op_vertical_normalisation,
    op_reciprocal,
    op_square,
    op_square_root,
    op_fill_white,
    op_fill_pink,
    op_fill_brown,
    op_group_to_semitone,
    op_rotation_90,
    op_rotation_180,
    op_rotation_270,
    image_operation_count
};

// The keyword of each operation in "Operation %s" lines, e.g. "1/x", "rotation by 90".
extern const char* const image_operation_keywords[image_operation_count];
// The operation named by an archive keyword (compared exactly); -1 when there is none.
int image_operation_index(const char* keyword);

// Performs one operation on the current layer and marks the composite stale and the content
// changed (3 after a rotation, 1 otherwise). Returns false, changing nothing, when the current
// layer is a separator or there is none, or for an unknown operation. Takes no lock and no undo
// copy; the callers below do that. No operation writes NaN or infinity from finite pixels:
// results beyond the float range saturate at ±FLT_MAX, and an all-zero layer is left alone by
// "normalisation" and "set sum to 1".
bool apply_image_operation(Project& p, int op);

// The tilt that the weighted operations (and the waveform strip) give each row: with
// r = (height - 1) / (L(fmax) - L(fmin)), L(f) = ln f / ln base,
// w(y) = (1 + (height - 1 - y) / r) ^ exponent. The exponent of the tilt proper is
// base / 2 - 1/2. A linear scale (base 1), a base below 1 and a geometry without a usable r
// (height under 2, fmin not positive or not below fmax) weigh every row 1.
float tilt_weight(float position, int height, float fmin, float fmax, float base, float exponent);
// w(y) for y = 0 .. height - 1, and w_mid (position height / 2), with the exponent base / 2 - 1/2.
std::vector<float> tilt_weights(const Project& p, float* w_mid);

// Tent-filter resampling of a `sw` × `sh` picture (columns × rows) into `dw` × `dh`. Source
// pixels within max(step, 1) of a destination pixel's centre count, weighted by the product of
// their linear falloffs along each axis; the sum is normalised by the weights unless both radii
// are 1. Used by the quarter-turn rotations and the waveform strip.
void resample_tent(const Image src, int sw, int sh, Image dst, int dw, int dh);
