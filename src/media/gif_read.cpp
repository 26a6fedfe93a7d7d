// GIF pictures through giflib: the first frame only, on a canvas of the logical screen's
// size. Pixels the frame leaves out are clear, or the background colour when the file names
// one; transparent pixels stay clear. Sizes are checked before anything is allocated.
#include <gif_lib.h>

#include <cstring>
#include <vector>

#include "media/image_read.h"

namespace {
struct GifSource {
    const unsigned char* data;
    size_t size, pos;
};
}

static int gif_read_memory(GifFileType* gif, GifByteType* out, int count)
{
    GifSource& s = *(GifSource*)gif->UserData;
    if (count <= 0)
        return 0;
    size_t n = (size_t)count;
    if (n > s.size - s.pos)
        n = s.size - s.pos;
    memcpy(out, s.data + s.pos, n);
    s.pos += n;
    return (int)n;
}

bool is_gif(const unsigned char* data, size_t size)
{
    return size >= 6 && (!memcmp(data, "GIF87a", 6) || !memcmp(data, "GIF89a", 6));
}

// Draws the frame whose descriptor was just read; false when the file is damaged.
static bool gif_draw_frame(GifFileType* gif, int transparent, Rgba8Raster& out, std::vector<unsigned char>& touched)
{
    const GifImageDesc& d = gif->Image;
    const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
    if (!map || d.Width <= 0 || d.Height <= 0 || !decoded_size_ok(d.Height, d.Width, "Picture"))
        return false;
    std::vector<GifPixelType> line((size_t)d.Width);
    // Interlaced rows arrive in four passes: every 8th from 0, every 8th from 4, every 4th
    // from 2, every 2nd from 1.
    static const int first[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
    const int passes = d.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; pass++)
        for (int r = d.Interlace ? first[pass] : 0; r < d.Height; r += d.Interlace ? step[pass] : 1) {
            if (DGifGetLine(gif, line.data(), d.Width) != GIF_OK)
                return false;
            const long long y = (long long)d.Top + r;
            if (y < 0 || y >= out.height)
                continue;
            for (int c = 0; c < d.Width; c++) {
                const long long x = (long long)d.Left + c;
                if (x < 0 || x >= out.width)
                    continue;
                const size_t at = (size_t)y * (size_t)out.width + (size_t)x;
                touched[at] = 1;
                const int index = line[(size_t)c];
                if (index == transparent || index >= map->ColorCount)
                    continue;
                unsigned char* p = &out.pixels[at * 4];
                p[0] = map->Colors[index].Red;
                p[1] = map->Colors[index].Green;
                p[2] = map->Colors[index].Blue;
                p[3] = 255;
            }
        }
    return true;
}

Rgba8Raster gif_decode_rgba8(const unsigned char* data, size_t size)
{
    Rgba8Raster out;
    if (!is_gif(data, size))
        return out;
    GifSource source{data, size, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&source, gif_read_memory, &error);
    if (!gif)
        return out;
    bool ok = false;
    if (gif->SWidth > 0 && gif->SHeight > 0 && decoded_size_ok(gif->SHeight, gif->SWidth, "Picture")) {
        out.width = gif->SWidth;
        out.height = gif->SHeight;
        out.pixels.assign((size_t)out.width * (size_t)out.height * 4, 0);
        std::vector<unsigned char> touched((size_t)out.width * (size_t)out.height, 0);
        int transparent = -1;
        GifRecordType record;
        while (!ok && DGifGetRecordType(gif, &record) == GIF_OK && record != TERMINATE_RECORD_TYPE) {
            if (record == IMAGE_DESC_RECORD_TYPE) {
                if (DGifGetImageDesc(gif) != GIF_OK || !gif_draw_frame(gif, transparent, out, touched))
                    break;
                ok = true;
            } else if (record == EXTENSION_RECORD_TYPE) {
                int code = 0;
                GifByteType* block = nullptr;
                if (DGifGetExtension(gif, &code, &block) != GIF_OK)
                    break;
                GraphicsControlBlock gcb;
                if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4 &&
                    DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK)
                    transparent = gcb.TransparentColor;
                bool more = true;
                while (more && block) {
                    if (DGifGetExtensionNext(gif, &block) != GIF_OK)
                        more = false;
                }
                if (!more)
                    break;
            }
        }
        // Where the frame does not reach, the background colour of the file's own palette.
        const int background = gif->SBackGroundColor;
        if (ok && background > 0) {
            GifColorType c{0, 0, 0};
            if (gif->SColorMap && background < gif->SColorMap->ColorCount)
                c = gif->SColorMap->Colors[background];
            for (size_t i = 0; i < touched.size(); i++)
                if (!touched[i]) {
                    unsigned char* p = &out.pixels[i * 4];
                    p[0] = c.Red;
                    p[1] = c.Green;
                    p[2] = c.Blue;
                    p[3] = 255;
                }
        }
    }
    DGifCloseFile(gif, &error);
    if (!ok)
        out = Rgba8Raster();
    return out;
}
