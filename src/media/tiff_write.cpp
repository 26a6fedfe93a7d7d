// The float TIFF writer: header, samples as one strip from byte 8, then the directory and
// the values that do not fit in an entry, at even offsets.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "media/image_write.h"
#include "support/log.h"
#include "support/save_file.h"

namespace {

void put16(std::vector<unsigned char>& b, uint32_t v)
{
    b.push_back((unsigned char)v);
    b.push_back((unsigned char)(v >> 8));
}

void put32(std::vector<unsigned char>& b, uint32_t v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

enum : uint32_t { tiff_short = 3, tiff_long = 4, tiff_rational = 5 };

// A SHORT held in the entry sits in its first two bytes, which is where little-endian order
// puts the low half of the 32-bit value field.
void entry(std::vector<unsigned char>& b, uint32_t tag, uint32_t type, uint32_t count, uint32_t value)
{
    put16(b, tag);
    put16(b, type);
    put32(b, count);
    put32(b, value);
}

// The samples in little-endian order, a piece at a time so no second copy of a large
// picture is made.
bool write_samples(SaveFile& f, const float* samples, size_t count)
{
    if constexpr (std::endian::native == std::endian::little)
        return save_write(f, samples, sizeof(float) * count);
    unsigned char piece[65536];
    for (size_t done = 0; done < count;) {
        const size_t n = std::min(count - done, sizeof piece / 4);
        for (size_t i = 0; i < n; i++) {
            uint32_t u;
            memcpy(&u, samples + done + i, 4);
            piece[4 * i] = (unsigned char)u;
            piece[4 * i + 1] = (unsigned char)(u >> 8);
            piece[4 * i + 2] = (unsigned char)(u >> 16);
            piece[4 * i + 3] = (unsigned char)(u >> 24);
        }
        if (!save_write(f, piece, 4 * n))
            return false;
        done += n;
    }
    return true;
}

} // namespace

bool save_image_tiff(const std::string& path, const float* samples, int width, int height, int channels, int bits)
{
    if (!samples || width <= 0 || height <= 0)
        return false;
    if (bits != 32 || (channels != 1 && channels != 3 && channels != 4)) {
        log_printf(stderr, "save_image_tiff(): %d channels of %d bits cannot be written\n", channels, bits);
        return false;
    }
    const uint64_t data_bytes = 4ull * (uint64_t)channels * (uint64_t)width * (uint64_t)height;
    const uint64_t directory = 8 + data_bytes;
    // A one-channel picture has exactly twelve entries. More channels also need the sample
    // count, and alpha its meaning, or other readers would take the file for one grey channel.
    const uint32_t entries = 12 + (channels > 1) + (channels == 4);
    // Out of line, in entry order: bits per sample (three or more channels), the two
    // resolutions, the sample formats (three or more channels).
    const bool arrays = channels >= 3;
    const uint64_t bits_at = directory + 2 + 12 * entries + 4;
    const uint64_t x_resolution_at = bits_at + (arrays ? 2 * channels : 0);
    const uint64_t y_resolution_at = x_resolution_at + 8;
    const uint64_t formats_at = y_resolution_at + 8;
    const uint64_t end = formats_at + (arrays ? 2 * channels : 0);
    if (end > UINT32_MAX) {
        log_printf(stderr, "save_image_tiff(): a picture of %d x %d is too large for a TIFF file\n", width, height);
        return false;
    }

    std::vector<unsigned char> head;
    head.insert(head.end(), {'I', 'I', '*', 0});
    put32(head, (uint32_t)directory);

    std::vector<unsigned char> tail;
    put16(tail, entries);
    entry(tail, 256, tiff_long, 1, (uint32_t)width);
    entry(tail, 257, tiff_long, 1, (uint32_t)height);
    entry(tail, 258, tiff_short, (uint32_t)channels, arrays ? (uint32_t)bits_at : (uint32_t)bits);
    entry(tail, 259, tiff_short, 1, 1);
    entry(tail, 262, tiff_short, 1, channels == 1 ? 1 : 2);
    entry(tail, 273, tiff_long, 1, 8);
    if (channels > 1)
        entry(tail, 277, tiff_short, 1, (uint32_t)channels);
    entry(tail, 278, tiff_long, 1, (uint32_t)height);
    entry(tail, 279, tiff_long, 1, (uint32_t)data_bytes);
    entry(tail, 282, tiff_rational, 1, (uint32_t)x_resolution_at);
    entry(tail, 283, tiff_rational, 1, (uint32_t)y_resolution_at);
    entry(tail, 296, tiff_short, 1, 2);
    if (channels == 4)
        entry(tail, 338, tiff_short, 1, 2);   // unassociated alpha
    entry(tail, 339, tiff_short, (uint32_t)channels, arrays ? (uint32_t)formats_at : 3);
    put32(tail, 0);
    if (arrays)
        for (int c = 0; c < channels; c++)
            put16(tail, (uint32_t)bits);
    for (uint32_t v : {72u, 1u, 72u, 1u})
        put32(tail, v);
    if (arrays)
        for (int c = 0; c < channels; c++)
            put16(tail, 3);

    SaveFile f;
    if (!save_begin(f, path, "save_image_tiff()"))
        return false;
    // A failed write is remembered by the save and reported when it ends.
    if (save_write(f, head.data(), head.size()) && write_samples(f, samples, (size_t)(data_bytes / 4)))
        save_write(f, tail.data(), tail.size());
    return save_end(f, "save_image_tiff()");
}
