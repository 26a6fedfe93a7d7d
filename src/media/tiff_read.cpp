// TIFF reader: both byte orders, uncompressed or LZW (with horizontal differencing),
// 8- and 16-bit unsigned or 32-bit float samples, chunky or planar, the first directory
// that is uncompressed or LZW. Every position read from the file is checked against its
// size first; the picture is allocated only once the strips are known to hold it.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "media/image_channels.h"
#include "media/image_read.h"
#include "support/log.h"

namespace {

const char* const tiff_fn = "In load_tiff_info(): ";

struct TiffBytes {
    const unsigned char* data;
    size_t size;
    bool big_endian;

    uint16_t u16(size_t pos) const
    {
        const unsigned char* p = data + pos;
        return big_endian ? (uint16_t)(p[0] << 8 | p[1]) : (uint16_t)(p[0] | p[1] << 8);
    }
    uint32_t u32(size_t pos) const
    {
        const unsigned char* p = data + pos;
        return big_endian ? (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]
                          : (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
    }
};

// A directory entry's values where they really lie: in the entry's four value bytes when
// they fit there, else at the offset those bytes hold.
struct TiffValues {
    uint16_t type = 0;
    uint32_t count = 0;
    size_t pos = 0;
};

int tiff_type_size(int type)
{
    switch (type) {
    case 1: case 2: case 6: case 7: return 1;   // BYTE, ASCII, SBYTE, UNDEFINED
    case 3: case 8: return 2;                   // SHORT, SSHORT
    case 4: case 9: case 11: return 4;          // LONG, SLONG, FLOAT
    case 5: case 10: case 12: return 8;         // RATIONAL, SRATIONAL, DOUBLE
    default: return 0;
    }
}

// Only the integer types carry the values this reader uses.
bool tiff_integer_type(int type) { return type == 1 || type == 3 || type == 4 || type == 6 || type == 8 || type == 9; }

bool tiff_locate(const TiffBytes& f, size_t entry, TiffValues& v)
{
    v.type = f.u16(entry + 2);
    v.count = f.u32(entry + 4);
    const uint64_t bytes = (uint64_t)v.count * (uint64_t)tiff_type_size(v.type);
    if (bytes <= 4) {
        v.pos = entry + 8;
        return true;
    }
    const uint64_t offset = f.u32(entry + 8);
    if (offset > f.size || bytes > f.size - offset)
        return false;
    v.pos = (size_t)offset;
    return true;
}

uint32_t tiff_value(const TiffBytes& f, const TiffValues& v, uint32_t i)
{
    switch (tiff_type_size(v.type)) {
    case 1: return f.data[v.pos + i];
    case 2: return f.u16(v.pos + 2 * (size_t)i);
    default: return f.u32(v.pos + 4 * (size_t)i);
    }
}

struct TiffDirectory {
    uint32_t width = 0, height = 0;
    uint32_t bits = 0, samples_per_pixel = 0, bits_count = 0;
    uint32_t compression = 1, photometric = 1, planar = 1, predictor = 1, sample_format = 1;
    uint32_t rows_per_strip = 0;
    bool have_offsets = false, have_counts = false;
    TiffValues offsets, counts;
};

enum : int { tiff_ok, tiff_unsupported, tiff_damaged };

// Reads the directory at `pos`; its link to the next one goes to `next`.
int tiff_read_directory(const TiffBytes& f, size_t pos, TiffDirectory& d, uint32_t* next)
{
    if (pos > f.size || f.size - pos < 2) {
        log_printf(stderr, "%sdirectory at %zu lies outside the file\n", tiff_fn, pos);
        return tiff_damaged;
    }
    const uint32_t entries = f.u16(pos);
    if ((f.size - pos - 2) / 12 < entries || f.size - pos - 2 - 12 * (size_t)entries < 4) {
        log_printf(stderr, "%sdirectory at %zu with %u entries runs past the end of the file\n", tiff_fn, pos,
                   entries);
        return tiff_damaged;
    }
    d = TiffDirectory();
    for (uint32_t i = 0; i < entries; i++) {
        const size_t entry = pos + 2 + 12 * (size_t)i;
        const uint16_t tag = f.u16(entry);
        switch (tag) {
        case 256: case 257: case 258: case 259: case 262: case 273: case 277: case 278: case 279:
        case 284: case 317: case 339: break;
        default: continue;
        }
        TiffValues v;
        if (!tiff_locate(f, entry, v)) {
            log_printf(stderr, "%sthe values of tag %u lie outside the file\n", tiff_fn, tag);
            return tiff_damaged;
        }
        if (!tiff_integer_type(v.type) || v.count == 0) {
            log_printf(stderr, "%stag %u has %u values of type %u\n", tiff_fn, tag, v.count, v.type);
            return tiff_damaged;
        }
        const uint32_t first = tiff_value(f, v, 0);
        switch (tag) {
        case 256: d.width = first; break;
        case 257: d.height = first; break;
        case 258: d.bits = first; d.bits_count = v.count; break;
        case 259: d.compression = first; break;
        case 262: d.photometric = first; break;
        case 273: d.offsets = v; d.have_offsets = true; break;
        case 277: d.samples_per_pixel = first; break;
        case 278: d.rows_per_strip = first; break;
        case 279: d.counts = v; d.have_counts = true; break;
        case 284: d.planar = first; break;
        case 317: d.predictor = first; break;
        case 339: d.sample_format = first; break;
        }
    }
    // Without the tag, there is one sample for each bits-per-sample value.
    if (d.samples_per_pixel == 0)
        d.samples_per_pixel = d.bits_count ? d.bits_count : 1;
    *next = f.u32(pos + 2 + 12 * (size_t)entries);
    return tiff_ok;
}

// The most bytes an LZW stream of `bytes` bytes can decode to: each code is at least 9 bits,
// each string at most one byte longer than the one before it, and no string is longer than
// the 4096-entry table allows.
uint64_t lzw_max_output(uint64_t bytes)
{
    const uint64_t codes = bytes * 8 / 9;
    const uint64_t ramp = 4096 - 258 + 1;
    if (codes <= ramp)
        return codes * (codes + 1) / 2;
    return ramp * (ramp + 1) / 2 + (codes - ramp) * (ramp + 1);
}

enum : int { lzw_full, lzw_end_code, lzw_bad_code, lzw_input_end };

// One strip of LZW data, codes of 9 to 12 bits, most significant bit first; the code width
// grows one code early, as TIFF writers do.
int lzw_decode(const unsigned char* in, size_t in_size, unsigned char* out, size_t out_size, bool* logged)
{
    uint16_t prefix[4096], length[4096];
    unsigned char suffix[4096], first[4096];
    for (int i = 0; i < 256; i++) {
        prefix[i] = 0;
        length[i] = 1;
        suffix[i] = first[i] = (unsigned char)i;
    }
    const uint64_t total_bits = (uint64_t)in_size * 8;
    uint64_t bit = 0;
    int width = 9, next = 258, prev = -1;
    size_t pos = 0;
    while (pos < out_size) {
        if (bit + (uint64_t)width > total_bits)
            return lzw_input_end;
        const size_t byte = (size_t)(bit >> 3);
        uint32_t window = (uint32_t)in[byte] << 16;
        if (byte + 1 < in_size)
            window |= (uint32_t)in[byte + 1] << 8;
        if (byte + 2 < in_size)
            window |= in[byte + 2];
        const int code = (int)(window >> (24 - (int)(bit & 7) - width)) & ((1 << width) - 1);
        bit += (uint64_t)width;
        if (code == 257)
            return lzw_end_code;
        if (code == 256) {
            next = 258;
            width = 9;
            prev = -1;
            continue;
        }
        if (code > next || (code == next && prev < 0)) {
            if (!*logged)
                log_printf(stderr, "Out of range code %d (new_index %d)\n", code, next);
            *logged = true;
            return lzw_bad_code;
        }
        if (prev >= 0 && next < 4096) {
            // The new string is the previous one and the first byte of this one, which for
            // the code not yet in the table is the previous string's own first byte.
            prefix[next] = (uint16_t)prev;
            suffix[next] = code == next ? first[prev] : first[code];
            first[next] = first[prev];
            length[next] = (uint16_t)(length[prev] + 1);
            next++;
            if (next >= (1 << width) - 1 && width < 12)
                width++;
        }
        // The string is written from its end, following the prefix chain.
        const size_t len = length[code];
        int c = code;
        for (size_t k = len; k-- > 0;) {
            if (pos + k < out_size)
                out[pos + k] = suffix[c];
            c = prefix[c];
        }
        pos += len < out_size - pos ? len : out_size - pos;
        prev = code;
    }
    return lzw_full;
}

// A decoded picture: the strips' bytes joined, planes one after the other when planar.
struct TiffRaster {
    uint32_t width = 0, height = 0, samples = 0, bytes_per_sample = 0;
    bool planar = false, big_endian = false, white_is_zero = false, is_float = false;
    int colour_samples = 1;
    std::vector<unsigned char> bytes;
};

// Undoes horizontal differencing in place: each sample is the sum of the differences
// before it in its row, modulo the sample width.
void tiff_undo_predictor(TiffRaster& r)
{
    const size_t row_samples = r.planar ? r.width : (size_t)r.width * r.samples;
    const size_t rows = r.planar ? (size_t)r.height * r.samples : r.height;
    const size_t stride = r.planar ? 1 : r.samples;
    const size_t bps = r.bytes_per_sample;
    TiffBytes f{r.bytes.data(), r.bytes.size(), r.big_endian};
    for (size_t y = 0; y < rows; y++) {
        unsigned char* row = r.bytes.data() + y * row_samples * bps;
        for (size_t i = stride; i < row_samples; i++) {
            if (bps == 1) {
                row[i] = (unsigned char)(row[i] + row[i - stride]);
                continue;
            }
            const size_t at = (size_t)(row - r.bytes.data()) + i * bps, before = at - stride * bps;
            uint32_t v = bps == 2 ? (uint32_t)(f.u16(at) + f.u16(before)) & 0xFFFF : f.u32(at) + f.u32(before);
            for (size_t b = 0; b < bps; b++) {
                const size_t shift = r.big_endian ? 8 * (bps - 1 - b) : 8 * b;
                r.bytes[at + b] = (unsigned char)(v >> shift);
            }
        }
    }
}

int tiff_read(const unsigned char* data, size_t size, TiffRaster& out)
{
    if (!data || size < 3 ||
        !((data[0] == 'I' && data[1] == 'I' && data[2] == '*') || (data[0] == 'M' && data[1] == 'M'))) {
        log_printf(stderr, "In load_tiff_info(): not a little or big endian TIFF file\n");
        return tiff_damaged;
    }
    TiffBytes f{data, size, data[0] == 'M'};
    if (size < 8) {
        log_printf(stderr, "%sthe file ends inside its header\n", tiff_fn);
        return tiff_damaged;
    }

    // The first directory that is uncompressed or LZW; a chain that goes on too long is a loop.
    TiffDirectory d;
    uint32_t pos = f.u32(4);
    for (int hops = 0;; hops++) {
        if (hops == 256) {
            log_printf(stderr, "%sthe directories form a loop\n", tiff_fn);
            return tiff_damaged;
        }
        uint32_t next = 0;
        const int status = tiff_read_directory(f, pos, d, &next);
        if (status != tiff_ok)
            return status;
        if (d.compression == 1 || d.compression == 5 || next == 0)
            break;
        pos = next;
    }

    const bool lzw = d.compression == 5;
    const bool integer = d.sample_format == 1 && (d.bits == 8 || d.bits == 16);
    const bool real = d.sample_format == 3 && d.bits == 32;
    if ((d.compression != 1 && !lzw) || d.photometric > 2 || !(integer || real) || (d.planar != 1 && d.planar != 2) ||
        (lzw && d.predictor != 1 && d.predictor != 2) || d.samples_per_pixel > 16 ||
        (d.photometric == 2 && d.samples_per_pixel < 3))
        return tiff_unsupported;

    if (d.width == 0 || d.height == 0) {
        log_printf(stderr, "%sthe picture of %u x %u pixels is empty\n", tiff_fn, d.width, d.height);
        return tiff_damaged;
    }
    if (!decoded_size_ok(d.height, d.width, "TIFF picture"))
        return tiff_damaged;
    if (!d.have_offsets) {
        log_printf(stderr, "%sthe picture has no strip offsets\n", tiff_fn);
        return tiff_damaged;
    }

    out.width = d.width;
    out.height = d.height;
    out.samples = d.samples_per_pixel;
    out.bytes_per_sample = d.bits / 8;
    out.planar = d.planar == 2 && d.samples_per_pixel > 1;
    out.big_endian = f.big_endian;
    out.white_is_zero = d.photometric == 0;
    out.is_float = real;
    out.colour_samples = d.photometric == 2 ? 3 : 1;

    const uint64_t rows_per_strip = d.rows_per_strip == 0 || d.rows_per_strip > d.height ? d.height : d.rows_per_strip;
    const uint64_t row_bytes = (uint64_t)out.bytes_per_sample * d.width * (out.planar ? 1 : out.samples);
    const uint64_t strips_per_plane = (d.height + rows_per_strip - 1) / rows_per_strip;
    const uint64_t planes = out.planar ? out.samples : 1;
    const uint64_t strips = strips_per_plane * planes;
    if (d.offsets.count < strips) {
        log_printf(stderr, "%s%u strip offsets for a picture of %llu strips\n", tiff_fn, d.offsets.count,
                   (unsigned long long)strips);
        return tiff_damaged;
    }
    const bool counts = d.have_counts && d.counts.count >= strips;

    // Every strip must lie in the file, and compressed strips must be able to decode to
    // their share of the picture, before the picture is allocated.
    for (uint64_t k = 0; k < strips; k++) {
        const uint64_t first_row = (k % strips_per_plane) * rows_per_strip;
        const uint64_t need = std::min<uint64_t>(rows_per_strip, d.height - first_row) * row_bytes;
        const uint64_t offset = tiff_value(f, d.offsets, (uint32_t)k);
        if (!lzw) {
            if (offset > size || need > size - offset) {
                log_printf(stderr, "%sstrip %llu (%llu bytes at %llu) lies outside the file\n", tiff_fn,
                           (unsigned long long)k, (unsigned long long)need, (unsigned long long)offset);
                return tiff_damaged;
            }
            continue;
        }
        const uint64_t available = offset < size ? size - offset : 0;
        const uint64_t length = counts ? tiff_value(f, d.counts, (uint32_t)k) : available;
        if (length == 0 || length > available || lzw_max_output(length) < need) {
            log_printf(stderr, "%sLZW strip %llu (%llu bytes at %llu) cannot hold its %llu bytes of picture\n",
                       tiff_fn, (unsigned long long)k, (unsigned long long)length, (unsigned long long)offset,
                       (unsigned long long)need);
            return tiff_damaged;
        }
    }

    out.bytes.assign((size_t)(row_bytes * d.height * planes), 0);
    bool logged = false;
    for (uint64_t k = 0; k < strips; k++) {
        const uint64_t plane = k / strips_per_plane, first_row = (k % strips_per_plane) * rows_per_strip;
        const uint64_t need = std::min<uint64_t>(rows_per_strip, d.height - first_row) * row_bytes;
        unsigned char* dst = out.bytes.data() + plane * row_bytes * d.height + first_row * row_bytes;
        const uint64_t offset = tiff_value(f, d.offsets, (uint32_t)k);
        if (!lzw) {
            memcpy(dst, data + offset, (size_t)need);
            continue;
        }
        const uint64_t length = counts ? tiff_value(f, d.counts, (uint32_t)k) : size - offset;
        if (lzw_decode(data + offset, (size_t)length, dst, (size_t)need, &logged) == lzw_input_end) {
            log_printf(stderr, "%sLZW strip %llu ends before its %llu bytes of picture\n", tiff_fn,
                       (unsigned long long)k, (unsigned long long)need);
            return tiff_damaged;
        }
    }
    if (lzw && d.predictor == 2)
        tiff_undo_predictor(out);
    return tiff_ok;
}

// s / 255 and s / 65535 through the sRGB curve, built once.
const float* srgb_table_8()
{
    static const std::vector<float> table = [] {
        std::vector<float> t(256);
        for (int s = 0; s < 256; s++)
            t[s] = srgb_to_linear(s / 255.0);
        return t;
    }();
    return table.data();
}

const float* srgb_table_16()
{
    static const std::vector<float> table = [] {
        std::vector<float> t(65536);
        for (int s = 0; s < 65536; s++)
            t[s] = srgb_to_linear(s / 65535.0);
        return t;
    }();
    return table.data();
}

// The first (up to four) samples of pixel `p` as linear floats; returns how many the pixel has.
struct TiffSampler {
    const TiffRaster& r;
    TiffBytes f;
    const float* table8 = nullptr;
    const float* table16 = nullptr;
    size_t pixels;

    explicit TiffSampler(const TiffRaster& raster)
        : r(raster), f{raster.bytes.data(), raster.bytes.size(), raster.big_endian},
          pixels((size_t)raster.width * raster.height)
    {
        if (!r.is_float && r.bytes_per_sample == 1)
            table8 = srgb_table_8();
        if (!r.is_float && r.bytes_per_sample == 2)
            table16 = srgb_table_16();
    }

    int get(size_t p, float* s) const
    {
        const int n = r.samples < 4 ? (int)r.samples : 4;
        for (int c = 0; c < n; c++) {
            const size_t index = r.planar ? (size_t)c * pixels + p : p * r.samples + (size_t)c;
            const size_t at = index * r.bytes_per_sample;
            const bool colour = c < r.colour_samples;
            if (r.is_float) {
                float v;
                const uint32_t bits = f.u32(at);
                memcpy(&v, &bits, 4);
                if (!std::isfinite(v))
                    v = 0.0f;
                s[c] = colour && r.white_is_zero ? 1.0f - v : v;
            } else if (r.bytes_per_sample == 1) {
                const uint32_t v = r.bytes[at];
                s[c] = !colour ? v / 255.0f : table8[r.white_is_zero ? 255 - v : v];
            } else {
                const uint32_t v = f.u16(at);
                s[c] = !colour ? v / 65535.0f : table16[r.white_is_zero ? 65535 - v : v];
            }
        }
        return n;
    }
};

} // namespace

Image tiff_decode(const unsigned char* data, size_t size, int* width, int* height)
{
    *width = *height = 0;
    TiffRaster r;
    if (tiff_read(data, size, r) != tiff_ok)
        return nullptr;
    Image image = image_alloc((int)r.height, (int)r.width);
    const TiffSampler sampler(r);
    float s[4];
    for (size_t y = 0; y < r.height; y++)
        for (size_t x = 0; x < r.width; x++) {
            const int n = sampler.get(y * r.width + x, s);
            image[y][x] = samples_to_grey(s, n);
        }
    *width = (int)r.width;
    *height = (int)r.height;
    return image;
}

Rgba8Raster tiff_decode_rgba8(const unsigned char* data, size_t size)
{
    Rgba8Raster out;
    TiffRaster r;
    if (tiff_read(data, size, r) != tiff_ok)
        return out;
    out.pixels.resize((size_t)r.width * r.height * 4);
    const TiffSampler sampler(r);
    float s[4];
    for (size_t p = 0; p < sampler.pixels; p++) {
        const int n = sampler.get(p, s);
        samples_to_rgba8(s, n, &out.pixels[p * 4]);
    }
    out.width = (int)r.width;
    out.height = (int)r.height;
    return out;
}
