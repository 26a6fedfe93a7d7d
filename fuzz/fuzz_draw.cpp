// Every primitive at any position and size, and any bytes as text: drawing must stay inside
// its raster (a frame of guard pixels around it must survive) and text must advance exactly
// as far as it measures.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "support/font.h"
#include "support/raster.h"

namespace {

const Font& test_font()
{
    static const Font font = [] {
        const int W = 6, H = 9;
        Pixmap glyphs = pixmap_create(W, 224 * H, 0x00FFFFFFu), limits = pixmap_create(W, 224 * H, 0x00FFFFFFu);
        for (int k = 0; k < 224; k++)
            for (int i = 0; i < 1 + k % W; i++) {
                if (k % 7 != 3)
                    limits.pixels[size_t(k) * H * W + i] = 0xFFFFFFFFu;
                for (int j = 1; j < H - 1; j++)
                    glyphs.pixels[(size_t(k) * H + j) * W + i] = uint32_t((k * 37 + i * 11 + j * 5) & 255) << 24;
            }
        return font_from_images(glyphs, limits, -4);
    }();
    return font;
}

// Reads coordinates from the input: small values mostly, the ends of int sometimes.
struct Reader {
    const uint8_t* p;
    size_t n;
    int next()
    {
        int32_t v = 0;
        if (n >= 4) {
            std::memcpy(&v, p, 4);
            p += 4, n -= 4;
        }
        return (v & 0x30000000) ? v % 80 : v;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    constexpr uint32_t guard = 0xFF5A5A5Au;
    const int w = 40, h = 30, m = 4;
    Pixmap whole = pixmap_create(w + 2 * m, h + 2 * m, guard);
    Raster r = sub_raster(raster_of(whole), m, m, w, h);
    raster_fill(r, 0xFF000000u);
    Pixmap src = pixmap_create(7, 5);
    for (size_t i = 0; i < src.pixels.size(); i++)
        src.pixels[i] = uint32_t(i * 0x2F3A5B1Du);

    Reader in{data, size};
    const uint32_t colour = 0x80FFFFFFu ^ uint32_t(in.next());
    int a = in.next(), b = in.next(), c = in.next(), d = in.next(), e = in.next(), f = in.next();
    fill_rect(r, a, b, c, d, colour);
    blend_rect(r, b, a, d, c, colour);
    draw_dashed_hline(r, a, b, c, colour, d, e, f);
    draw_dashed_vline(r, b, a, d, colour, e, f, c);
    draw_line(r, a, b, c, d, colour);
    draw_rect_outline(r, c, d, e, f, colour);
    blit(r, a, b, view_of(src));
    blit_copy(r, c, d, sub_view(view_of(src), e, f, a, b));
    blit_modulated(r, e, f, view_of(src), colour);
    blit_scaled(r, a, b, c, d, view_of(src), e & 1 ? ScaleFilter::bilinear : ScaleFilter::nearest);
    blit_copy(r, e, f, view_of(r));

    std::string_view text(reinterpret_cast<const char*>(in.p), in.n);
    const Font& font = test_font();
    if (draw_text(r, font, a, b, text, colour) != int(int64_t(a) + text_width(font, text)) && int64_t(a) + text_width(font, text) < INT32_MAX)
        __builtin_trap();
    if (draw_text_utf8(r, font, c, d, text, colour) != int(int64_t(c) + text_width_utf8(font, text)) && int64_t(c) + text_width_utf8(font, text) < INT32_MAX)
        __builtin_trap();

    for (int y = 0; y < whole.height; y++)
        for (int x = 0; x < whole.width; x++)
            if ((x < m || x >= m + w || y < m || y >= m + h) && whole.pixels[size_t(y) * whole.width + x] != guard)
                __builtin_trap();
    return 0;
}
