// WAV reader: the chunk walk, integer PCM of 1 to 4 bytes, IEEE floats and G.711 A-law and
// µ-law. Any other encoding is refused by name, never read as noise or silence.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "media/bytes.h"
#include "media/g711.h"
#include "media/sound_read.h"
#include "support/alloc.h"
#include "support/log.h"

static const char* const wav_fn = "load_sound_wav_mem";

enum : int {
    wav_pcm = 1,
    wav_float = 3,
    wav_alaw = 6,
    wav_ulaw = 7,
    wav_extensible = 0xFFFE,
};

// The format tag with the extensible header resolved, or -1 when the walk finds no usable
// "fmt " chunk within the bytes given.
struct WavFormat {
    int tag = -1, bits = 0;
    long long channels = 0, rate = 0;
};

static WavFormat wav_parse_fmt(const unsigned char* chunk, uint32_t chunk_size, size_t available)
{
    WavFormat f;
    if (chunk_size < 16 || available < 8 + 16)
        return f;
    f.tag = get_u16le(chunk + 8);
    f.channels = get_u16le(chunk + 10);
    f.rate = get_u32le(chunk + 12);
    f.bits = get_u16le(chunk + 22);
    // The extensible header names the real format in the first two bytes of its sub-format
    // identifier; the common writers use it for 24-bit and multichannel.
    if (f.tag == wav_extensible && chunk_size >= 26 && available >= 8 + 26)
        f.tag = get_u16le(chunk + 8 + 24);
    return f;
}

static bool wav_own_decodes(int tag, int bits)
{
    if (tag == wav_pcm)
        return bits >= 1 && bits <= 32;
    if (tag == wav_float)
        return bits == 32 || bits == 64;
    if (tag == wav_alaw || tag == wav_ulaw)
        return bits == 8;
    return false;
}

static std::string wav_format_name(int tag, int bits)
{
    char text[64];
    snprintf(text, sizeof text, "WAV format 0x%04X with %d bits per sample", (unsigned)tag & 0xFFFF, bits);
    return text;
}

SoundEncoding wav_encoding(const unsigned char* data, size_t size)
{
    SoundEncoding e;
    if (!data || size < 12)
        return e;
    // The 64-bit variants keep their sizes in a "ds64" chunk, the "RIFX" one is big-endian.
    if (!memcmp(data, "RF64", 4) || !memcmp(data, "BW64", 4) || !memcmp(data, "RIFX", 4)) {
        e.own = false;
        e.name = !memcmp(data, "RIFX", 4) ? "big-endian WAV" : "RF64 WAV";
        return e;
    }
    for (uint64_t pos = 12; pos + 8 <= size;) {
        const unsigned char* chunk = data + pos;
        const uint32_t chunk_size = get_u32le(chunk + 4);
        if (!memcmp(chunk, "fmt ", 4)) {
            const WavFormat f = wav_parse_fmt(chunk, chunk_size, (size_t)(size - pos));
            // A tag of ours with 0 bits is a damaged file, which the reader reports as such;
            // compressed formats (GSM) may well say 0 bits.
            const bool ours = f.tag == wav_pcm || f.tag == wav_float || f.tag == wav_alaw || f.tag == wav_ulaw;
            if (f.tag >= 0 && !wav_own_decodes(f.tag, f.bits) && !(ours && f.bits == 0)) {
                e.own = false;
                e.name = wav_format_name(f.tag, f.bits);
            }
            return e;
        }
        if (!memcmp(chunk, "data", 4))
            return e;
        pos += (uint64_t)chunk_size + 8;
    }
    return e;
}

// Integer PCM: full scale spans -0.5 to +0.5 (divided by 2^(8 × bytes)).
static void wav_decode_pcm(const unsigned char* p, size_t count, int bytes, float* out)
{
    switch (bytes) {
    case 1:
        for (size_t i = 0; i < count; i++)
            out[i] = (float)((int)p[i] - 128) * (1.0f / 256.0f);
        break;
    case 2:
        for (size_t i = 0; i < count; i++)
            out[i] = (float)(int16_t)get_u16le(p + 2 * i) * (1.0f / 65536.0f);
        break;
    case 3:
        for (size_t i = 0; i < count; i++) {
            const unsigned char* q = p + 3 * i;
            int32_t v = (int32_t)(q[0] | q[1] << 8 | q[2] << 16);
            if (v & 0x800000)
                v -= 0x1000000;
            out[i] = (float)v * (1.0f / 16777216.0f);
        }
        break;
    default:
        for (size_t i = 0; i < count; i++)
            out[i] = (float)(int32_t)get_u32le(p + 4 * i) * (1.0f / 4294967296.0f);
        break;
    }
}

Sound load_sound_wav_mem(const unsigned char* data, size_t size, int mode)
{
    if (!data || size < 12) {
        log_printf(stderr, "In %s(): file too short, not a valid WAV file.\n", wav_fn);
        return {};
    }
    const SoundEncoding encoding = wav_encoding(data, size);
    if (!encoding.own) {
        log_printf(stderr, "In %s(): %s is not supported.\n", wav_fn, encoding.name.c_str());
        return {};
    }
    // The RIFF header is not examined further: chunks simply start at byte 12.
    int tag = 0, bits = 0;
    long long channels = 0, rate = 0;
    bool have_fmt = false;
    uint64_t pos = 12, start = 0, data_size = 0;
    for (;;) {
        if (pos + 8 > size) {
            log_printf(stderr, "In %s(): No data chunk found, not a valid WAV file.\n", wav_fn);
            return {};
        }
        const unsigned char* chunk = data + pos;
        const uint32_t chunk_size = get_u32le(chunk + 4);
        if (!memcmp(chunk, "fmt ", 4)) {
            const WavFormat f = wav_parse_fmt(chunk, chunk_size, (size_t)(size - pos));
            if (f.tag < 0) {
                log_printf(stderr, "In %s(): fmt chunk too short, not a valid WAV file.\n", wav_fn);
                return {};
            }
            tag = f.tag;
            channels = f.channels;
            rate = f.rate;
            bits = f.bits;
            have_fmt = true;
        }
        if (!memcmp(chunk, "data", 4)) {
            start = pos + 8;
            data_size = chunk_size;
            break;
        }
        // No even-size padding is skipped: the chunk sizes are taken as written.
        pos += (uint64_t)chunk_size + 8;
    }
    if (!have_fmt) {
        log_printf(stderr, "In %s(): No fmt chunk before the data, not a valid WAV file.\n", wav_fn);
        return {};
    }
    if (!sound_format_ok(wav_fn, channels, rate))
        return {};
    if (bits < 1) {
        log_printf(stderr, "In %s(): 0 bits per sample, not a valid WAV file.\n", wav_fn);
        return {};
    }
    if (!wav_own_decodes(tag, bits)) {   // a later "fmt " chunk than the one checked above
        log_printf(stderr, "In %s(): %s is not supported.\n", wav_fn, wav_format_name(tag, bits).c_str());
        return {};
    }
    const int bytes = (bits + 7) / 8;
    if (data_size > size - start) {
        log_printf(stderr, "Warning: In %s(): the data chunk is cut short, reading the %llu bytes present.\n",
                   wav_fn, (unsigned long long)(size - start));
        data_size = size - start;
    }
    const uint64_t frames = data_size / ((uint64_t)bytes * (uint64_t)channels);
    if (frames == 0) {
        log_printf(stderr, "In %s(): the file holds no samples.\n", wav_fn);
        return {};
    }
    if (frames * (uint64_t)channels > sound_sample_limit()) {
        log_printf(stderr, "In %s(): %llu frames are too many to read.\n", wav_fn, (unsigned long long)frames);
        return {};
    }

    Sound s;
    s.frames = (size_t)frames;
    s.channels = (int)channels;
    s.sample_rate = (int)rate;
    const size_t count = s.frames * (size_t)s.channels;
    resize_with_huge_pages(s.samples, count);
    const unsigned char* p = data + start;
    if (tag == wav_pcm && bytes <= 4) {
        wav_decode_pcm(p, count, bytes, s.samples.data());
    } else if (tag == wav_float && bytes == 4) {
        for (size_t i = 0; i < count; i++)
            s.samples[i] = float_from_bits(get_u32le(p + 4 * i));
    } else if (tag == wav_float && bytes == 8) {
        for (size_t i = 0; i < count; i++)
            s.samples[i] = (float)double_from_bits((uint64_t)get_u32le(p + 8 * i) |
                                                   (uint64_t)get_u32le(p + 8 * i + 4) << 32);
    } else if (tag == wav_alaw) {
        for (size_t i = 0; i < count; i++)
            s.samples[i] = (float)g711_alaw_to_linear(p[i]) * (1.0f / 65536.0f);
    } else {
        for (size_t i = 0; i < count; i++)
            s.samples[i] = (float)g711_ulaw_to_linear(p[i]) * (1.0f / 65536.0f);
    }
    select_channels(s, mode);
    return s;
}
