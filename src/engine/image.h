// The picture buffer every part of the editor shares: `rows` row pointers into one
// zeroed block of rows × columns 32-bit floats. Row 0 is the top (highest frequency),
// column 0 is time 0. Sizes travel separately, with the owner of the picture.
#pragma once
#include <cstddef>

typedef float** Image;

// Zeroed picture; null for an empty size. Never fails (guarded allocator).
Image image_alloc(int rows, int columns);
// Deep copy into one new contiguous block; null for null or an empty size.
Image image_copy(const Image image, int rows, int columns);
void image_free(Image image);

// Largest accepted picture: each side and the pixel count. Every picture whose size comes
// from a file, an archive line or a typed value is checked here first.
constexpr int picture_max_side = 1 << 20;
constexpr long long picture_max_pixels = 1ll << 28;
// True when rows × columns may be allocated; otherwise logs one line naming `what`.
bool picture_size_ok(long long rows, long long columns, const char* what);
