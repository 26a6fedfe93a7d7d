// Choosing the reader for a picture file by its signature, and the conversions from 8-bit colours to the float picture and to the view's colours.
#include "media/image_read.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "support/log.h"
#include "support/paths.h"

namespace {

bool read_whole_file(const std::string& path, std::vector<unsigned char>& out)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return false;
    struct stat st;
    bool ok = fstat(fileno(f), &st) == 0 && !S_ISDIR(st.st_mode);
    if (ok && S_ISREG(st.st_mode)) {
        out.resize((size_t)st.st_size);
        ok = fread(out.data(), 1, out.size(), f) == out.size();
    } else if (ok) {
        // Not a plain file (a pipe, a device): read it in pieces.
        unsigned char piece[65536];
        size_t n;
        while ((n = fread(piece, 1, sizeof piece, f)) > 0)
            out.insert(out.end(), piece, piece + n);
        ok = !ferror(f);
    }
    fclose(f);
    return ok;
}

bool is_tiff(const std::vector<unsigned char>& file)
{
    return file.size() >= 3 && ((file[0] == 'I' && file[1] == 'I' && file[2] == '*') || (file[0] == 'M' && file[1] == 'M'));
}

bool is_fits(const std::vector<unsigned char>& file)
{
    return file.size() >= 9 && memcmp(file.data(), "SIMPLE  =", 9) == 0;
}

} // namespace

static std::atomic<long long> decode_pixel_limit{picture_max_pixels};

void image_set_pixel_limit(long long limit)
{
    decode_pixel_limit = limit > 0 && limit < picture_max_pixels ? limit : picture_max_pixels;
}

long long image_pixel_limit() { return decode_pixel_limit.load(); }

bool decoded_size_ok(long long rows, long long columns, const char* what)
{
    if (!picture_size_ok(rows, columns, what))
        return false;
    if (rows * columns > decode_pixel_limit) {
        log_printf(stderr, "Error: %s of %lld x %lld pixels is larger than this reader accepts\n", what, columns, rows);
        return false;
    }
    return true;
}

float srgb_to_linear(double c)
{
    return (float)(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
}

unsigned char linear_to_srgb8(float v)
{
    if (!(v > 0.0f))
        return 0;
    if (v >= 1.0f)
        return 255;
    const double e = v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow((double)v, 1.0 / 2.4) - 0.055;
    return (unsigned char)std::nearbyint(e * 255.0);
}

Rgba8Raster load_image_rgba8(const std::string& path)
{
    std::vector<unsigned char> file;
    if (!read_whole_file(path, file)) {
        log_printf(stderr, "Could not open image %s\n", path.c_str());
        return {};
    }
    // The own readers explain their own failures; an unsupported variant stays silent.
    if (is_tiff(file))
        return tiff_decode_rgba8(file.data(), file.size());
    if (is_fits(file))
        return fits_decode_rgba8(file.data(), file.size());

    const unsigned char* data = file.data();
    const size_t size = file.size();
    Rgba8Raster out;
    if (is_png(data, size))
        out = png_decode_rgba8(data, size);
    else if (is_jpeg(data, size))
        out = jpeg_decode_rgba8(data, size);
    else if (is_gif(data, size))
        out = gif_decode_rgba8(data, size);
    else if (is_webp(data, size))
        out = webp_decode_rgba8(data, size);
    else if (is_exr(data, size))
        out = exr_decode_rgba8(data, size);
    else
        out = stb_decode_rgba8(data, size);
    if (out.empty())
        log_printf(stderr, "Could not open image %s\n", path.c_str());
    return out;
}

Image load_tiff_float(const std::string& path, int* width, int* height)
{
    *width = *height = 0;
    std::vector<unsigned char> file;
    if (!read_whole_file(path, file)) {
        log_printf(stderr, "Could not open image %s\n", path.c_str());
        return nullptr;
    }
    return tiff_decode(file.data(), file.size(), width, height);
}

Image load_exr_float(const std::string& path, int* width, int* height)
{
    *width = *height = 0;
    std::vector<unsigned char> file;
    Image image = read_whole_file(path, file) ? exr_decode(file.data(), file.size(), width, height) : nullptr;
    if (!image)
        log_printf(stderr, "Could not open image %s\n", path.c_str());
    return image;
}

Image load_image_grey(const std::string& path, int* width, int* height, Rgba8Raster* colours)
{
    *width = *height = 0;
    if (colours)
        *colours = Rgba8Raster();
    const std::string ext = path_extension_lower(path);
    if (ext.find("tif") != std::string::npos)
        return load_tiff_float(path, width, height);
    if (ext == "exr")
        return load_exr_float(path, width, height);

    Rgba8Raster raster = load_image_rgba8(path);
    if (raster.empty())
        return nullptr;
    Image image = image_alloc(raster.height, raster.width);
    const unsigned char* p = raster.pixels.data();
    for (int y = 0; y < raster.height; y++)
        for (int x = 0; x < raster.width; x++, p += 4) {
            // The mean of R, G and B (divided by 765), then squared: a display gamma of 2 undone.
            float v = (float)(p[0] + p[1] + p[2]) * 0.0013071896f;
            image[y][x] = v * v;
        }
    *width = raster.width;
    *height = raster.height;
    if (colours) {
        normalise_colours(raster);
        *colours = std::move(raster);
    }
    return image;
}

void normalise_colours(Rgba8Raster& raster)
{
    // Integer arithmetic: trunc(a / b + 0.5) is (2a + b) / (2b) for non-negative a and b.
    const size_t pixels = raster.pixels.size() / 4;
    for (size_t i = 0; i < pixels; i++) {
        unsigned char* p = &raster.pixels[i * 4];
        const int s = p[0] + p[1] + p[2];
        if (s >= 32) {
            for (int c = 0; c < 3; c++)
                p[c] = (unsigned char)((2 * p[c] * 255 + s) / (2 * s));
            continue;
        }
        // Too dark for its hue to mean much: work on the complements, which are bright.
        const int r = (255 - p[0]) * 510 / (765 - s);
        const int g = (255 - p[1]) * 510 / (765 - s);
        const int b = (255 - p[2]) * 510 / (765 - s);
        // With a sum below 32 no complement exceeds 510 × 255 / 734 = 177, so none needs to
        // be clamped to 255 with its excess spread over the other two, and t is at least 234.
        const int rc = 255 - r, gc = 255 - g, bc = 255 - b;
        const int t = rc + gc + bc;
        p[0] = (unsigned char)((2 * rc * 255 + t) / (2 * t));
        p[1] = (unsigned char)((2 * gc * 255 + t) / (2 * t));
        p[2] = (unsigned char)((2 * bc * 255 + t) / (2 * t));
    }
}
