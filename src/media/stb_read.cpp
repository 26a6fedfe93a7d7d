// The rarer 8-bit formats (BMP, TGA, PSD, HDR, PNM) through stb_image, built here from its
// header with only those five decoders and with static linkage: PNG, JPEG, GIF and the rest
// cannot reach it, and the fuzz harness runs this very copy under the sanitizers.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_ONLY_PSD
#define STBI_ONLY_HDR
#define STBI_ONLY_PNM
#define STBI_NO_STDIO
#define STBI_MAX_DIMENSIONS (1 << 20)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb_image.h>
#pragma GCC diagnostic pop

#include <cctype>
#include <climits>

#include "media/image_read.h"

// stb_image reads the three numbers of a binary PNM header into an int without a bound, so a
// long run of digits overflows it, and its 16-bit PNM path reads past the samples it
// allocated. The header is read here the same way first: a number above any picture's size,
// or a largest sample value above 255, refuses the file.
static bool pnm_header_supported(const unsigned char* data, size_t size)
{
    if (size < 2 || data[0] != 'P' || (data[1] != '5' && data[1] != '6'))
        return true;
    size_t i = 2;
    auto at_end = [&] { return i >= size; };
    auto next = [&] { return i < size ? (int)data[i++] : 0; };
    int c = next();
    for (int number = 0; number < 3; number++) {
        for (;;) {
            while (!at_end() && isspace(c))
                c = next();
            if (at_end() || c != '#')
                break;
            while (!at_end() && c != '\n' && c != '\r')
                c = next();
        }
        long long value = 0;
        while (!at_end() && c >= '0' && c <= '9') {
            value = value * 10 + (c - '0');
            if (value > (1 << 24))
                return false;
            c = next();
        }
        if (number == 2 && value > 255)
            return false;
    }
    return true;
}

Rgba8Raster stb_decode_rgba8(const unsigned char* data, size_t size)
{
    Rgba8Raster out;
    if (!data || size == 0 || size > INT_MAX || !pnm_header_supported(data, size))
        return out;
    int w = 0, h = 0, n = 0;
    if (!stbi_info_from_memory(data, (int)size, &w, &h, &n) || !decoded_size_ok(h, w, "Picture"))
        return out;
    unsigned char* pixels = stbi_load_from_memory(data, (int)size, &w, &h, &n, 4);
    if (!pixels || w <= 0 || h <= 0) {
        stbi_image_free(pixels);
        return out;
    }
    out.width = w;
    out.height = h;
    out.pixels.assign(pixels, pixels + (size_t)w * (size_t)h * 4);
    stbi_image_free(pixels);
    return out;
}
