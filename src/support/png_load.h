// Reading the interface's RGBA pictures (palettes, icons, fonts) into drawing-layer images.
#pragma once
#include <cstdint>
#include <span>

#include "support/raster.h"

// The PNG file as an ARGB image (grey, palette and RGB files gain an opaque alpha).
// A missing file logs "File not found: <path>", a file that does not decode or whose size
// exceeds pixmap_max_pixels logs one line naming it; both return an empty image.
Pixmap pixmap_load_png(const char* path);
// The same from bytes in memory; `name` only labels the error line.
Pixmap pixmap_decode_png(std::span<const uint8_t> bytes, const char* name);
