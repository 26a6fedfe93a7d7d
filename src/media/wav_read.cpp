// WAV reader: the chunk walk, integer PCM of 1 to 4 bytes and IEEE floats.
#include <cstdint>
#include <cstring>

#include "media/bytes.h"
#include "media/sound_read.h"
#include "support/alloc.h"
#include "support/log.h"

static const char* const wav_fn = "load_sound_wav_mem";

enum : int {
    wav_pcm = 1,
    wav_float = 3,
    wav_extensible = 0xFFFE,
};

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
    // The RIFF header is not examined: chunks simply start at byte 12.
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
            if (chunk_size < 16 || pos + 8 + 16 > size) {
                log_printf(stderr, "In %s(): fmt chunk too short, not a valid WAV file.\n", wav_fn);
                return {};
            }
            tag = get_u16le(chunk + 8);
            channels = get_u16le(chunk + 10);
            rate = get_u32le(chunk + 12);
            bits = get_u16le(chunk + 22);
            // The extensible header names the real format in the first two bytes of its
            // sub-format identifier; the common writers use it for 24-bit and multichannel.
            if (tag == wav_extensible && chunk_size >= 26 && pos + 8 + 26 <= size)
                tag = get_u16le(chunk + 8 + 24);
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
    } else {
        // A format we do not decode still gives a sound of the right length, in silence.
        log_printf(stderr, "Warning: In %s(): format %d with %d bits per sample is not supported, read as silence.\n",
                   wav_fn, tag, bits);
    }
    select_channels(s, mode);
    return s;
}
