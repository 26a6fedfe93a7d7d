// The OpenEXR reader under arbitrary bytes, both outputs: the library's header parser, its
// decompressors and our channel choice.
#include <cstddef>
#include <cstdint>

#include "media/image_read.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Smaller than the other pictures' limit: each allowed pixel costs the library several
    // buffers, and a run must stay quick.
    image_set_pixel_limit(1 << 16);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int width = 0, height = 0;
    Image image = exr_decode(data, size, &width, &height);
    if (image && (width <= 0 || height <= 0))
        __builtin_trap();
    image_free(image);
    const Rgba8Raster raster = exr_decode_rgba8(data, size);
    if (raster.pixels.size() != (size_t)raster.width * (size_t)raster.height * 4)
        __builtin_trap();
    return 0;
}
