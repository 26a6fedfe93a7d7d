// JPEG pictures through libjpeg-turbo, decoded straight to RGBA; the declared size is checked
// before the picture is allocated. Grey and colour files; the library refuses CMYK ones.
// jpeglib.h needs size_t and FILE declared before it.
#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include "media/image_read.h"

namespace {
struct JpegErrors {
    jpeg_error_mgr manager;
    jmp_buf jump;
};
}

static void jpeg_error_jump(j_common_ptr cinfo)
{
    longjmp(((JpegErrors*)cinfo->err)->jump, 1);
}

// Corrupt-data warnings would otherwise go to standard error, one per damaged block.
static void jpeg_quiet_message(j_common_ptr, int) {}

bool is_jpeg(const unsigned char* data, size_t size)
{
    return size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

Rgba8Raster jpeg_decode_rgba8(const unsigned char* data, size_t size)
{
    Rgba8Raster out;
    if (!is_jpeg(data, size))
        return out;
    jpeg_decompress_struct cinfo;
    JpegErrors errors;
    cinfo.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jpeg_error_jump;
    errors.manager.emit_message = jpeg_quiet_message;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&cinfo);
        out = Rgba8Raster();
        return out;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, (unsigned long)size);
    jpeg_read_header(&cinfo, TRUE);
    if (!decoded_size_ok(cinfo.image_height, cinfo.image_width, "Picture"))
        longjmp(errors.jump, 1);
    // A progressive file can make the library keep every coefficient: bound that memory too.
    cinfo.mem->max_memory_to_use = 1024l << 20;
    cinfo.out_color_space = JCS_EXT_RGBA;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 4)
        longjmp(errors.jump, 1);
    out.width = (int)cinfo.output_width;
    out.height = (int)cinfo.output_height;
    out.pixels.resize((size_t)out.width * (size_t)out.height * 4);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.pixels.data() + (size_t)cinfo.output_scanline * (size_t)out.width * 4;
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1)
            longjmp(errors.jump, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return out;
}
