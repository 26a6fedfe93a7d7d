// PNG pictures through libpng. The samples are taken as stored: palettes and small grey
// depths expanded, transparency made an alpha channel, 16-bit samples cut to their high byte,
// no gamma conversion; the declared size is checked before a row is allocated.
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <vector>

#include "media/image_read.h"

namespace {
struct PngSource {
    const unsigned char* data;
    size_t size, pos;
};
}

static void png_read_memory(png_structp png, png_bytep out, size_t count)
{
    PngSource& s = *(PngSource*)png_get_io_ptr(png);
    if (count > s.size - s.pos)
        png_error(png, "the file ends early");
    memcpy(out, s.data + s.pos, count);
    s.pos += count;
}

// Damaged files are common; the library's own warnings are no news to the user.
static void png_quiet_warning(png_structp, png_const_charp) {}
static void png_error_jump(png_structp png, png_const_charp)
{
    longjmp(png_jmpbuf(png), 1);
}

bool is_png(const unsigned char* data, size_t size)
{
    return size >= 8 && png_sig_cmp(data, 0, 8) == 0;
}

Rgba8Raster png_decode_rgba8(const unsigned char* data, size_t size)
{
    Rgba8Raster out;
    if (!is_png(data, size))
        return out;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, png_error_jump, png_quiet_warning);
    if (!png)
        return out;
    png_infop info = png_create_info_struct(png);
    PngSource source{data, size, 0};
    // Everything that lives across the jump is made before it.
    std::vector<png_bytep> rows;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        out = Rgba8Raster();
        return out;
    }
    png_set_read_fn(png, &source, png_read_memory);
    // The library's own ceiling too, so that no ancillary chunk asks for much memory.
    png_set_user_limits(png, picture_max_side, picture_max_side);
    png_set_chunk_malloc_max(png, 8u << 20);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    if (!decoded_size_ok(height, width, "Picture"))
        longjmp(png_jmpbuf(png), 1);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != (size_t)width * 4)
        longjmp(png_jmpbuf(png), 1);
    out.width = (int)width;
    out.height = (int)height;
    out.pixels.resize((size_t)width * (size_t)height * 4);
    rows.resize(height);
    for (png_uint_32 y = 0; y < height; y++)
        rows[y] = out.pixels.data() + (size_t)y * (size_t)width * 4;
    png_read_image(png, rows.data());
    png_destroy_read_struct(&png, &info, nullptr);
    return out;
}
