// Reading picture files: TIFF and FITS by our own readers; PNG, JPEG, GIF, WebP and OpenEXR
// through their upstream libraries, which are fuzzed continuously; stb_image only for the
// rarer BMP, TGA, PSD, HDR and PNM. Every reader takes the file as untrusted: each offset, count and size in a
// header is checked against the file before anything is read or allocated, and a file that
// lies gives an empty result and one log line.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "engine/image.h"

// An 8-bit raster: width × height pixels of R, G, B, A bytes, row 0 (the top) first.
struct Rgba8Raster {
    int width = 0, height = 0;
    std::vector<unsigned char> pixels;
    bool empty() const { return pixels.empty(); }
};

// The whole file as one float channel, the picture of the import path: a file whose
// extension contains "tif" through the TIFF reader and one named "exr" through the OpenEXR
// reader, both taken as linear; any other through
// load_image_rgba8, each pixel ((R + G + B) / 765)² (a display gamma of 2 undone). With
// `colours`, a non-TIFF file also hands over its raster normalised by normalise_colours,
// the colour image of a project opened from a picture. Null, with 0 × 0, when the file
// cannot be read.
Image load_image_grey(const std::string& path, int* width, int* height, Rgba8Raster* colours = nullptr);

// The file as 8-bit RGBA, by its first bytes: "II*" or "MM" a TIFF, "SIMPLE  =" a FITS
// file, then PNG, JPEG, GIF, WebP and OpenEXR by their signatures, anything else stb_image's
// (BMP, TGA, PSD, HDR, PNM). Empty, after "Could not open image %s\n", when the file cannot be
// read or decoded.
Rgba8Raster load_image_rgba8(const std::string& path);

// A TIFF or OpenEXR file as one float channel. Null, with 0 × 0, when it cannot be read.
Image load_tiff_float(const std::string& path, int* width, int* height);
Image load_exr_float(const std::string& path, int* width, int* height);

// Equal brightness for the view's colours: each pixel's R, G, B scaled to add up to about
// 255, so only hue and saturation remain; alpha is kept.
void normalise_colours(Rgba8Raster& raster);

// The decoders of a file held in memory, for the functions above and the fuzz harnesses.
// One float channel (R, G and B averaged) or 8-bit RGBA (a grey sample repeated into R, G
// and B, a missing alpha 255). Null or empty, with 0 × 0, when the file is not one the
// reader accepts.
Image tiff_decode(const unsigned char* data, size_t size, int* width, int* height);
Rgba8Raster tiff_decode_rgba8(const unsigned char* data, size_t size);
Image fits_decode(const unsigned char* data, size_t size, int* width, int* height);
Rgba8Raster fits_decode_rgba8(const unsigned char* data, size_t size);
Image exr_decode(const unsigned char* data, size_t size, int* width, int* height);
Rgba8Raster exr_decode_rgba8(const unsigned char* data, size_t size);
Rgba8Raster png_decode_rgba8(const unsigned char* data, size_t size);
Rgba8Raster jpeg_decode_rgba8(const unsigned char* data, size_t size);
Rgba8Raster gif_decode_rgba8(const unsigned char* data, size_t size);   // the first frame
Rgba8Raster webp_decode_rgba8(const unsigned char* data, size_t size);
// stb_image for BMP, TGA, PSD, HDR and PNM, and nothing else.
Rgba8Raster stb_decode_rgba8(const unsigned char* data, size_t size);
// The signatures that choose those decoders.
bool is_png(const unsigned char* data, size_t size);
bool is_jpeg(const unsigned char* data, size_t size);
bool is_gif(const unsigned char* data, size_t size);
bool is_webp(const unsigned char* data, size_t size);
bool is_exr(const unsigned char* data, size_t size);

// The most pixels the TIFF and FITS decoders will produce, below the general picture limit
// (picture_size_ok); `limit` 0 restores that limit. The fuzz harnesses lower it so a header
// that claims a huge picture over a long compressed strip stays cheap to try.
void image_set_pixel_limit(long long limit);
long long image_pixel_limit();
// True when a decoded picture of rows × columns may be allocated; otherwise logs one line.
bool decoded_size_ok(long long rows, long long columns, const char* what);

// The transfer function of sRGB (IEC 61966-2-1) in both directions, for values 0 to 1.
float srgb_to_linear(double c);
// Linear 0..1 to an 8-bit code, rounded to nearest; out of range and NaN are clamped.
unsigned char linear_to_srgb8(float v);
