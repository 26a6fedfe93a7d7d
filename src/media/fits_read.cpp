// FITS reader: the primary picture of 16- or 32-bit samples, scaled by DATAMIN and DATAMAX.
// The header is a run of 80-character cards ended by the END card; the data follow it,
// big-endian, width × height samples with row 0 first.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "media/image_channels.h"
#include "media/image_read.h"
#include "support/log.h"

namespace {

const char* const fits_fn = "In load_fits(): ";
constexpr size_t fits_card = 80, fits_block = 2880;

// The number of a card "KEY = value", or false when the card has none.
bool fits_card_value(const unsigned char* card, size_t key_length, double* value)
{
    char text[fits_card + 1];
    memcpy(text, card, fits_card);
    text[fits_card] = 0;
    const char* p = text + key_length;
    while (*p == ' ')
        p++;
    if (*p != '=')
        return false;
    char* end = nullptr;
    const double v = strtod(p + 1, &end);
    if (end == p + 1)
        return false;
    *value = v;
    return true;
}

struct FitsPicture {
    long long width = 0, height = 0;
    int bitpix = 0;
    double minimum = 0.0, maximum = 0.0;
    const unsigned char* samples = nullptr;
};

enum : int { fits_ok, fits_unsupported, fits_damaged };

int fits_read(const unsigned char* data, size_t size, FitsPicture& out)
{
    if (!data || size < 9 || memcmp(data, "SIMPLE  =", 9) != 0) {
        log_printf(stderr, "%snot a FITS file\n", fits_fn);
        return fits_damaged;
    }
    // The keys this reader uses; the first card that names one counts.
    const char* const keys[] = {"NAXIS1", "NAXIS2", "BITPIX", "DATAMIN", "DATAMAX"};
    double values[5] = {};
    bool found[5] = {};
    size_t end_card = 0;
    bool have_end = false;
    for (size_t pos = 0; size - pos >= fits_card; pos += fits_card) {
        const unsigned char* card = data + pos;
        size_t key_length = 0;
        while (key_length < 8 && card[key_length] != ' ' && card[key_length] != '=')
            key_length++;
        if (key_length == 3 && !memcmp(card, "END", 3)) {
            end_card = pos;
            have_end = true;
            break;
        }
        for (int k = 0; k < 5; k++)
            if (!found[k] && key_length == strlen(keys[k]) && !memcmp(card, keys[k], key_length))
                found[k] = fits_card_value(card, key_length, &values[k]);
    }
    if (!have_end) {
        log_printf(stderr, "%sthe header has no END card\n", fits_fn);
        return fits_damaged;
    }
    if (!found[0] || !found[1] || !found[2]) {
        log_printf(stderr, "%sthe header lacks NAXIS1, NAXIS2 or BITPIX\n", fits_fn);
        return fits_damaged;
    }
    if (values[2] != 16 && values[2] != 32)
        return fits_unsupported;
    out.bitpix = (int)values[2];
    if (!(values[0] >= 1 && values[1] >= 1 && values[0] <= picture_max_side && values[1] <= picture_max_side)) {
        log_printf(stderr, "%sa picture of %g x %g pixels cannot be read\n", fits_fn, values[0], values[1]);
        return fits_damaged;
    }
    out.width = (long long)values[0];
    out.height = (long long)values[1];
    if (!decoded_size_ok(out.height, out.width, "FITS picture"))
        return fits_damaged;

    // The data begin at the next 2880-byte block when the header is padded with blanks up to
    // it, as the format has it; a header without that padding is followed directly by its
    // data, after any blanks.
    const size_t after_end = end_card + fits_card;
    const size_t block = (after_end + fits_block - 1) / fits_block * fits_block;
    size_t start = after_end;
    while (start < block && start < size && data[start] == ' ')
        start++;
    if (start != block || block > size) {
        start = end_card + 3;
        while (start < size && data[start] == ' ')
            start++;
    }
    const size_t bytes = out.bitpix / 8;
    const unsigned long long need = (unsigned long long)out.width * (unsigned long long)out.height * bytes;
    if (start >= size || need > size - start) {
        log_printf(stderr, "%sthe file holds %zu bytes of data where the picture needs %llu\n", fits_fn,
                   start < size ? size - start : 0, need);
        return fits_damaged;
    }
    out.samples = data + start;

    // Without a usable range the samples span the whole unsigned range of their width.
    out.minimum = 0.0;
    out.maximum = out.bitpix == 16 ? 65535.0 : 4294967295.0;
    if (found[3] && found[4] && std::isfinite(values[4] - values[3]) && values[4] != values[3]) {
        out.minimum = values[3];
        out.maximum = values[4];
    }
    return fits_ok;
}

// Both widths are read without sign, as the samples of this format are written here.
float fits_sample(const FitsPicture& f, size_t i)
{
    double v;
    if (f.bitpix == 16) {
        const unsigned char* p = f.samples + 2 * i;
        v = (double)(p[0] << 8 | p[1]);
    } else {
        const unsigned char* p = f.samples + 4 * i;
        v = (double)((uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]);
    }
    return (float)((v - f.minimum) / (f.maximum - f.minimum));
}

} // namespace

Image fits_decode(const unsigned char* data, size_t size, int* width, int* height)
{
    *width = *height = 0;
    FitsPicture f;
    if (fits_read(data, size, f) != fits_ok)
        return nullptr;
    Image image = image_alloc((int)f.height, (int)f.width);
    for (long long y = 0; y < f.height; y++)
        for (long long x = 0; x < f.width; x++)
            image[y][x] = fits_sample(f, (size_t)(y * f.width + x));
    *width = (int)f.width;
    *height = (int)f.height;
    return image;
}

Rgba8Raster fits_decode_rgba8(const unsigned char* data, size_t size)
{
    Rgba8Raster out;
    FitsPicture f;
    if (fits_read(data, size, f) != fits_ok)
        return out;
    const size_t pixels = (size_t)(f.width * f.height);
    out.pixels.resize(pixels * 4);
    for (size_t i = 0; i < pixels; i++) {
        const float grey = fits_sample(f, i);
        samples_to_rgba8(&grey, 1, &out.pixels[i * 4]);
    }
    out.width = (int)f.width;
    out.height = (int)f.height;
    return out;
}
