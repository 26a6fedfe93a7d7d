// Mono 32-bit float sound files: WAV with format tag 3 and a "fact" chunk, AIFF-C with the
// "fl32" compression type. Samples are written a piece at a time in the file's byte order.
#include "media/sound_write.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "support/log.h"
#include "support/paths.h"
#include "support/save_file.h"

namespace {

struct Bytes {
    std::vector<unsigned char> b;
    bool big_endian;

    void text(const char* s) { b.insert(b.end(), s, s + strlen(s)); }
    void u16(uint32_t v)
    {
        const unsigned char lo = (unsigned char)v, hi = (unsigned char)(v >> 8);
        b.push_back(big_endian ? hi : lo);
        b.push_back(big_endian ? lo : hi);
    }
    void u32(uint32_t v)
    {
        if (big_endian) {
            u16(v >> 16);
            u16(v & 0xFFFF);
        } else {
            u16(v & 0xFFFF);
            u16(v >> 16);
        }
    }
};

// The 80-bit extended float of the AIFF "COMM" chunk, exact for every integer rate.
void put_extended(Bytes& out, uint32_t rate)
{
    int top = 31;
    while (!(rate >> top))
        top--;
    out.u16(16383u + (uint32_t)top);
    const uint64_t mantissa = (uint64_t)rate << (63 - top);
    out.u32((uint32_t)(mantissa >> 32));
    out.u32((uint32_t)mantissa);
}

bool raised(const std::atomic<bool>* cancel) { return cancel && cancel->load(std::memory_order_relaxed); }

bool write_file(const std::string& path, const Bytes& head, const float* samples, size_t count, bool big_endian,
                const std::atomic<bool>* cancel)
{
    SaveFile out;
    if (!save_begin(out, path, "save_sound_file()"))
        return false;
    bool ok = save_write(out, head.b.data(), head.b.size());
    unsigned char piece[65536];
    for (size_t done = 0; ok && done < count && !raised(cancel);) {
        const size_t n = std::min(count - done, sizeof piece / 4);
        for (size_t i = 0; i < n; i++) {
            uint32_t u;
            memcpy(&u, samples + done + i, 4);
            unsigned char* p = piece + 4 * i;
            for (int k = 0; k < 4; k++)
                p[k] = (unsigned char)(u >> (big_endian ? 24 - 8 * k : 8 * k));
        }
        ok = save_write(out, piece, 4 * n);
        done += n;
    }
    if (raised(cancel)) {
        save_abandon(out);
        return false;
    }
    return save_end(out, "save_sound_file()");
}

} // namespace

bool sound_file_writable(const std::string& path)
{
    const std::string ext = path_extension_lower(path);
    return ext == "wav" || ext == "aif" || ext == "aiff" || ext == "aifc" || ext == "flac";
}

bool save_sound_file(const std::string& path, const float* samples, size_t count, int sample_rate,
                     const std::atomic<bool>* cancel)
{
    const std::string ext = path_extension_lower(path);
    const bool wav = ext == "wav", aiff = ext == "aif" || ext == "aiff" || ext == "aifc", flac = ext == "flac";
    if (!wav && !aiff && !flac) {
        log_printf(stderr, "save_sound_file(): '%s' is not a WAV, AIFF or FLAC name\n", path.c_str());
        return false;
    }
    if (sample_rate <= 0 || sample_rate > 1000000000 || (count && !samples)) {
        log_printf(stderr, "save_sound_file(): no sound at %d Hz to write to '%s'\n", sample_rate, path.c_str());
        return false;
    }
    if (flac)
        return save_flac_file(path, samples, count, sample_rate, cancel);
    // Chunk sizes are 32-bit: unsigned in RIFF, signed in AIFF.
    const uint64_t data_bytes = 4ull * count;
    if (data_bytes > (wav ? 0xFFFFFFFFull - 50 : 0x7FFFFFFFull - 84)) {
        log_printf(stderr, "save_sound_file(): %zu samples are too many for '%s'\n", count, path.c_str());
        return false;
    }

    Bytes h{{}, aiff};
    if (wav) {
        h.text("RIFF");
        h.u32((uint32_t)(50 + data_bytes));
        h.text("WAVEfmt ");
        h.u32(18);
        h.u16(3);                             // IEEE float
        h.u16(1);                             // mono
        h.u32((uint32_t)sample_rate);
        h.u32((uint32_t)sample_rate * 4);     // bytes per second
        h.u16(4);                             // bytes per frame
        h.u16(32);
        h.u16(0);                             // no extension
        // Formats other than integer PCM carry their frame count in a "fact" chunk.
        h.text("fact");
        h.u32(4);
        h.u32((uint32_t)count);
        h.text("data");
        h.u32((uint32_t)data_bytes);
    } else {
        static const char name[] = "32-bit floating point";
        h.text("FORM");
        h.u32((uint32_t)(84 + data_bytes));
        h.text("AIFCFVER");
        h.u32(4);
        h.u32(0xA2805140);                    // the AIFF-C version stamp
        h.text("COMM");
        h.u32(44);
        h.u16(1);
        h.u32((uint32_t)count);
        h.u16(32);
        put_extended(h, (uint32_t)sample_rate);
        h.text("fl32");
        // A Pascal string; with its length byte it is 22 bytes long, even, so not padded.
        h.b.push_back((unsigned char)(sizeof name - 1));
        h.text(name);
        h.text("SSND");
        h.u32((uint32_t)(8 + data_bytes));
        h.u32(0);                             // offset
        h.u32(0);                             // block size
    }
    return write_file(path, h, samples, count, aiff, cancel);
}
