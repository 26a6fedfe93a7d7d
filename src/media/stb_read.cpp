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
#include <cstdlib>
#include <cstring>
#include <string>

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

// stb_image's run-length HDR reader reads zeros past the end of the file and never gets
// further on them: a cut or crafted file would hang the loader. The scanlines are walked
// here the same way first, and a file whose runs reach its end is refused.
static bool hdr_runs_end_in_the_file(const unsigned char* data, size_t size)
{
    if (size < 2 || data[0] != '#' || data[1] != '?')
        return true;
    size_t pos = 0;
    // The header's lines up to an empty one, then the resolution line.
    auto line = [&] {
        std::string text;
        while (pos < size && data[pos] != '\n')
            text += (char)data[pos++];
        pos++;
        return text;
    };
    line();
    while (pos < size && !line().empty()) {
    }
    const std::string resolution = line();
    if (resolution.compare(0, 3, "-Y ") != 0)
        return true;   // the decoder refuses the layout itself
    char* rest = nullptr;
    const long height = strtol(resolution.c_str() + 3, &rest, 10);
    while (*rest == ' ')
        rest++;
    if (strncmp(rest, "+X ", 3) != 0)
        return true;
    const long width = strtol(rest + 3, nullptr, 10);
    if (width < 8 || width >= 32768 || height <= 0 || height > (1 << 20))
        return true;   // flat scanlines, which always end, or a size the decoder refuses
    auto next = [&] { return pos < size ? (int)data[pos++] : 0; };
    for (long j = 0; j < height; j++) {
        const int c1 = next(), c2 = next(), high = next();
        if (c1 != 2 || c2 != 2 || (high & 0x80))
            return true;   // the rest is read as flat pixels
        if ((high << 8 | next()) != width)
            return true;   // refused by the decoder
        for (int k = 0; k < 4; k++)
            for (long i = 0; i < width;) {
                if (pos >= size)
                    return false;
                int count = next();
                if (count > 128) {
                    next();
                    count -= 128;
                } else {
                    pos += (size_t)count;
                }
                if (count > width - i)
                    return true;   // refused by the decoder
                i += count;
            }
    }
    return true;
}

Rgba8Raster stb_decode_rgba8(const unsigned char* data, size_t size)
{
    Rgba8Raster out;
    if (!data || size == 0 || size > INT_MAX || !pnm_header_supported(data, size) ||
        !hdr_runs_end_in_the_file(data, size))
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
