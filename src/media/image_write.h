// Writing a picture (normally the composite) to an image file: a one-channel 32-bit float
// TIFF that keeps the linear values, or 8-bit grey PNG, BMP or JPEG for viewing elsewhere.
#pragma once
#include <string>

#include "media/image_read.h"

// Scales the picture (height rows of width pixels) so that its largest value is 1 and writes
// it by the path's extension: one containing "tif" as a float TIFF, "exr" as a float OpenEXR
// file, else as 8-bit grey with a
// display gamma of 2 (quality 92 for JPEG). A picture whose largest value is not positive is
// written all black. Returns true when the file was written.
bool export_image(const float* const* rows, int width, int height, const std::string& path);

// Little-endian, uncompressed, one strip: `channels` (1, 3 or 4) float samples per pixel,
// row 0 first. Only 32-bit samples are written. Returns false for empty input (silently) or
// when the file cannot be written (with one log line).
bool save_image_tiff(const std::string& path, const float* samples, int width, int height, int channels, int bits);

// One channel "Y" of 32-bit floats, ZIP-compressed (lossless), row 0 first. Returns false for
// empty input (silently) or when the file cannot be written (with one log line).
bool save_image_exr(const std::string& path, const float* samples, int width, int height);

// PNG, BMP or JPEG by the extension ("png"; "bmp"; "jpg" or "jpeg"), through stb_image_write;
// `quality` (1 to 100) is used by JPEG only. Any other extension writes nothing. Returns
// true when the file was written.
bool save_image_8bit(const std::string& path, const Rgba8Raster& raster, int quality);
