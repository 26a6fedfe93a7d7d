// Resampling a float picture onto another grid with a separable tent filter.
//
// Destination pixel (x, y) is centred on source position (x / scale_x, y / scale_y), so the
// top-left pixels of both pictures coincide and a scale of (W - 1) / (w - 1) also lands the
// last pixel on the last. Magnifying (scale >= 1) the tent spans one source pixel on each
// side: plain linear interpolation, which reproduces a source pixel wherever a destination
// centre falls on it exactly. Reducing, the tent widens to 1 / scale source pixels on each
// side, so every source pixel contributes and fine detail averages instead of aliasing.
// Weights are normalised over the source pixels that exist; a destination pixel whose tent
// covers none stays 0, and source pixels beyond the reach of every tent are dropped.
#pragma once

// `src` is `src_h` rows of `src_w` floats, `dst` is `dst_h` rows of `dst_w` floats (each
// row its own pointer). Every destination pixel is written. A scale of +infinity maps every
// destination pixel onto source pixel 0 (one source pixel stretched over the axis); any other
// scale that is not finite and positive reads as 1. Sizes of 0 leave the destination as it is.
void scale_image_tent(const float* const* src, int src_w, int src_h, float* const* dst, int dst_w, int dst_h,
                      double scale_x, double scale_y);
