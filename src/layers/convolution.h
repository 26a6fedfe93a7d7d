// Two-dimensional convolution of the accumulated picture with a layer, for the two
// convolution blending modes.
#pragma once
#include "project/image.h"

// Replaces `accumulated` by its convolution with `layer`, whose pixel (cx, cy) is the kernel
// origin; with `looped` contributions that leave at the left or right edge come back at the
// other. Called under the image lock.
void convolve_layer(const Image layer, Image accumulated, int width, int height, int cx, int cy, int looped);
// Frees the cached transforms the composite that just ended did not use.
void release_unused_convolution_buffers();
