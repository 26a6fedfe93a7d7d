// The WebP decoder (libwebp) under arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "media/image_read.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    image_set_pixel_limit(1 << 22);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Rgba8Raster raster = webp_decode_rgba8(data, size);
    if (raster.pixels.size() != (size_t)raster.width * (size_t)raster.height * 4)
        __builtin_trap();
    return 0;
}
