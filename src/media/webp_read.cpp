// WebP pictures through libwebp (still pictures; an animation's file is refused), decoded
// straight to RGBA once the declared size has been checked.
#include <webp/decode.h>

#include <cstring>

#include "media/image_read.h"

bool is_webp(const unsigned char* data, size_t size)
{
    return size >= 12 && !memcmp(data, "RIFF", 4) && !memcmp(data + 8, "WEBP", 4);
}

Rgba8Raster webp_decode_rgba8(const unsigned char* data, size_t size)
{
    Rgba8Raster out;
    int width = 0, height = 0;
    if (!is_webp(data, size) || !WebPGetInfo(data, size, &width, &height) || width <= 0 || height <= 0)
        return out;
    if (!decoded_size_ok(height, width, "Picture"))
        return out;
    out.pixels.resize((size_t)width * (size_t)height * 4);
    if (!WebPDecodeRGBAInto(data, size, out.pixels.data(), out.pixels.size(), width * 4))
        return Rgba8Raster();
    out.width = width;
    out.height = height;
    return out;
}
