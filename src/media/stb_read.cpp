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

#include <climits>

#include "media/image_read.h"

Rgba8Raster stb_decode_rgba8(const unsigned char* data, size_t size)
{
    Rgba8Raster out;
    if (!data || size == 0 || size > INT_MAX)
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
