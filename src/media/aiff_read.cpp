// AIFF and AIFF-C reader: big-endian integers ("NONE", "twos"), "sowt" little-endian
// integers, "fl32"/"FL32" and "fl64"/"FL64" floats, "alaw"/"ulaw" G.711. Any other compression
// is refused by name, never read as integers.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "media/bytes.h"
#include "media/g711.h"
#include "media/sound_read.h"
#include "support/alloc.h"
#include "support/log.h"

static const char* const aiff_fn = "load_sound_aiff_mem";

static const unsigned char* find_tag(const unsigned char* data, size_t size, const char* tag)
{
    if (!data || size < 4)
        return nullptr;
    return (const unsigned char*)memmem(data, size, tag, 4);
}

// The 80-bit IEEE extended sample rate as a double; NaN for infinities and NaNs.
static double extended_to_double(const unsigned char* e)
{
    const int sign = e[0] & 0x80;
    const int exponent = (e[0] & 0x7F) << 8 | e[1];
    const uint64_t mantissa = get_u64be(e + 2);
    if (exponent == 0x7FFF)
        return NAN;
    // The mantissa carries its integer bit explicitly: value = mantissa × 2^(exponent − 16383 − 63).
    const double v = std::ldexp((double)mantissa, exponent - 16383 - 63);
    return sign ? -v : v;
}

enum aiff_sample_kind { aiff_big_int, aiff_little_int, aiff_float32, aiff_float64, aiff_alaw, aiff_ulaw, aiff_other };

static aiff_sample_kind aiff_compression(const unsigned char* type)
{
    static const struct {
        const char* type;
        aiff_sample_kind encoding;
    } known[] = {
        {"NONE", aiff_big_int}, {"twos", aiff_big_int}, {"sowt", aiff_little_int}, {"fl32", aiff_float32},
        {"FL32", aiff_float32}, {"fl64", aiff_float64}, {"FL64", aiff_float64},  {"alaw", aiff_alaw},
        {"ALAW", aiff_alaw},    {"ulaw", aiff_ulaw},    {"ULAW", aiff_ulaw},
    };
    for (const auto& k : known)
        if (!memcmp(type, k.type, 4))
            return k.encoding;
    return aiff_other;
}

static std::string aiff_compression_name(const unsigned char* type)
{
    std::string name = "AIFF-C compression '";
    for (int i = 0; i < 4; i++)
        name += type[i] >= 32 && type[i] < 127 ? (char)type[i] : '?';
    return name + "'";
}

SoundEncoding aiff_encoding(const unsigned char* data, size_t size)
{
    SoundEncoding e;
    const unsigned char* comm = find_tag(data, size, "COMM");
    if (!comm || size - (size_t)(comm - data) < 30 || get_u32be(comm + 4) <= 18)
        return e;
    if (aiff_compression(comm + 26) == aiff_other) {
        e.own = false;
        e.name = aiff_compression_name(comm + 26);
    }
    return e;
}

Sound load_sound_aiff_mem(const unsigned char* data, size_t size, int mode)
{
    const unsigned char* comm = find_tag(data, size, "COMM");
    if (!comm) {
        log_printf(stderr, "In load_sound_aiff_mem(): No COMM tag found, not a valid AIFF file.\n");
        return {};
    }
    const size_t comm_at = (size_t)(comm - data);
    // Tag, size, channels, frames, bits and the 10-byte rate.
    if (size - comm_at < 26) {
        log_printf(stderr, "In %s(): the COMM chunk is cut short, not a valid AIFF file.\n", aiff_fn);
        return {};
    }
    const uint32_t comm_size = get_u32be(comm + 4);
    const long long channels = (int16_t)get_u16be(comm + 8);
    const uint64_t frames_declared = get_u32be(comm + 10);
    const int bits = (int16_t)get_u16be(comm + 14);
    const double rate_exact = extended_to_double(comm + 16);
    aiff_sample_kind enc = aiff_big_int;
    if (comm_size > 18) {
        if (size - comm_at < 30) {
            log_printf(stderr, "In %s(): the COMM chunk is cut short, not a valid AIFF file.\n", aiff_fn);
            return {};
        }
        enc = aiff_compression(comm + 26);
        if (enc == aiff_other) {
            log_printf(stderr, "In %s(): %s is not supported.\n", aiff_fn, aiff_compression_name(comm + 26).c_str());
            return {};
        }
    }
    // Range-check before converting, so a huge or NaN rate cannot overflow the integer.
    long long rate = 0;
    if (rate_exact >= 0.5 && rate_exact <= (double)sound_rate_max + 1.0)
        rate = (long long)std::nearbyint(rate_exact);
    if (!sound_format_ok(aiff_fn, channels, rate))
        return {};

    int bytes = 0;
    if (enc == aiff_float32)
        bytes = 4;
    else if (enc == aiff_float64)
        bytes = 8;
    else if (enc == aiff_alaw || enc == aiff_ulaw)
        bytes = 1;   // whatever the bits field says (writers put 8 or 16 there)
    else if (bits >= 1 && bits <= 32)
        bytes = (bits + 7) / 8;
    else {
        log_printf(stderr, "In %s(): %d bits per sample, not a valid AIFF file.\n", aiff_fn, bits);
        return {};
    }

    const unsigned char* ssnd = find_tag(data, size, "SSND");
    if (!ssnd) {
        log_printf(stderr, "In load_sound_aiff_mem(): No SSND tag found, not a valid AIFF file.\n");
        return {};
    }
    // Sample data starts 16 bytes after the tag; the offset and block-size fields are not used.
    const size_t start = (size_t)(ssnd - data) + 16;
    if (start > size) {
        log_printf(stderr, "In %s(): the SSND chunk is cut short, not a valid AIFF file.\n", aiff_fn);
        return {};
    }
    const uint64_t frame_bytes = (uint64_t)bytes * (uint64_t)channels;
    const uint64_t frames_present = (size - start) / frame_bytes;
    uint64_t frames = frames_declared;
    if (frames > frames_present) {
        log_printf(stderr, "Warning: In %s(): the sound data is cut short, reading %llu of %llu frames.\n",
                   aiff_fn, (unsigned long long)frames_present, (unsigned long long)frames);
        frames = frames_present;
    }
    if (frames == 0) {
        log_printf(stderr, "In %s(): the file holds no samples.\n", aiff_fn);
        return {};
    }
    if (frames * (uint64_t)channels > sound_sample_limit()) {
        log_printf(stderr, "In %s(): %llu frames are too many to read.\n", aiff_fn, (unsigned long long)frames);
        return {};
    }

    Sound s;
    s.frames = (size_t)frames;
    s.channels = (int)channels;
    s.sample_rate = (int)rate;
    const size_t count = s.frames * (size_t)s.channels;
    resize_with_huge_pages(s.samples, count);
    float* out = s.samples.data();
    const unsigned char* p = data + start;
    if (enc == aiff_float32) {
        for (size_t i = 0; i < count; i++)
            out[i] = float_from_bits(get_u32be(p + 4 * i));
    } else if (enc == aiff_float64) {
        for (size_t i = 0; i < count; i++)
            out[i] = (float)double_from_bits(get_u64be(p + 8 * i));
    } else if (enc == aiff_alaw || enc == aiff_ulaw) {
        // 16-bit linear values at the 16-bit integers' scale.
        for (size_t i = 0; i < count; i++)
            out[i] = (float)(enc == aiff_alaw ? g711_alaw_to_linear(p[i]) : g711_ulaw_to_linear(p[i])) *
                     (1.0f / 65536.0f);
    } else {
        // Integers of 1 to 4 bytes, sign-extended; full scale spans -0.5 to +0.5.
        const float scale = 1.0f / (float)(1ull << (8 * bytes));
        const bool little = enc == aiff_little_int;
        for (size_t i = 0; i < count; i++) {
            const unsigned char* q = p + (size_t)bytes * i;
            uint32_t u = 0;
            for (int b = 0; b < bytes; b++)
                u |= (uint32_t)q[little ? b : bytes - 1 - b] << (8 * b);
            const int shift = 32 - 8 * bytes;
            const int32_t v = (int32_t)(u << shift) >> shift;
            out[i] = (float)v * scale;
        }
    }
    select_channels(s, mode);
    return s;
}
