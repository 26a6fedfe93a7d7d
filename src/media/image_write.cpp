// Export of the picture: scaled to a peak of 1, as linear floats (TIFF, OpenEXR) or as 8-bit grey.
#include "media/image_write.h"

#include <cmath>
#include <stb_image_write.h>
#include <vector>

#include "support/log.h"
#include "support/paths.h"
#include "support/save_file.h"

bool export_image(const float* const* rows, int width, int height, const std::string& path)
{
    if (!rows || width <= 0 || height <= 0) {
        log_printf(stderr, "export_image(): there is no picture to write to %s\n", path.c_str());
        return false;
    }
    float m = 0.0f;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            if (rows[y][x] > m)
                m = rows[y][x];
    // A picture with nothing above 0 is written black rather than scaled by an infinite or
    // negative factor. Samples that are not numbers are written as 0.
    const bool black = !(m > 0.0f);
    const float s = black ? 0.0f : 1.0f / m;

    const std::string ext = path_extension_lower(path);
    const bool tiff = ext.find("tif") != std::string::npos, exr = ext == "exr";
    if (tiff || exr) {
        std::vector<float> samples((size_t)width * (size_t)height, 0.0f);
        if (!black)
            for (int y = 0; y < height; y++)
                for (int x = 0; x < width; x++) {
                    const float v = rows[y][x] * s;
                    samples[(size_t)y * width + x] = std::isfinite(v) ? v : 0.0f;
                }
        return exr ? save_image_exr(path, samples.data(), width, height)
                   : save_image_tiff(path, samples.data(), width, height, 1, 32);
    }

    if (ext != "png" && ext != "bmp" && ext != "jpg" && ext != "jpeg") {
        log_printf(stderr, "Could not write image %s: not a TIFF, OpenEXR, PNG, BMP or JPEG name\n", path.c_str());
        return false;
    }
    Rgba8Raster raster;
    raster.width = width;
    raster.height = height;
    raster.pixels.resize((size_t)width * (size_t)height * 4);
    unsigned char* p = raster.pixels.data();
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++, p += 4) {
            // A display gamma of 2: the square root of the linear value.
            const float v = s * rows[y][x];
            const int g = v > 0.0f ? (int)(std::sqrt(v) * 255.0f) : 0;
            p[0] = p[1] = p[2] = (unsigned char)(g < 255 ? g : 255);
            p[3] = 255;
        }
    // The writer has said why when it fails.
    return save_image_8bit(path, raster, 92);
}

// stb_image_write hands its output to this in pieces: they go through the save temporary.
static void write_piece(void* context, void* data, int size)
{
    if (size > 0)
        save_write(*(SaveFile*)context, data, (size_t)size);
}

bool save_image_8bit(const std::string& path, const Rgba8Raster& raster, int quality)
{
    if (raster.width <= 0 || raster.height <= 0 ||
        raster.pixels.size() < (size_t)raster.width * (size_t)raster.height * 4)
        return false;
    const std::string ext = path_extension_lower(path);
    const bool png = ext == "png", bmp = ext == "bmp", jpg = ext == "jpg" || ext == "jpeg";
    if (!png && !bmp && !jpg)
        return false;
    SaveFile out;
    if (!save_begin(out, path, "save_image_8bit()"))
        return false;
    const unsigned char* data = raster.pixels.data();
    const int w = raster.width, h = raster.height;
    const int encoded = png   ? stbi_write_png_to_func(write_piece, &out, w, h, 4, data, w * 4)
                        : bmp ? stbi_write_bmp_to_func(write_piece, &out, w, h, 4, data)
                              : stbi_write_jpg_to_func(write_piece, &out, w, h, 4, data, quality);
    if (!encoded) {
        log_printf(stderr, "save_image_8bit(): the picture could not be encoded for '%s'\n", path.c_str());
        save_abandon(out);
        return false;
    }
    return save_end(out, "save_image_8bit()");
}
