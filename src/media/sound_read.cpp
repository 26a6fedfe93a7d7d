#include "media/sound_read.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "media/resample.h"
#include "support/alloc.h"
#include "support/log.h"
#include "support/paths.h"

static std::atomic<size_t> sample_limit{2147483647u};

void sound_set_sample_limit(size_t limit) { sample_limit.store(limit ? limit : 2147483647u); }
size_t sound_sample_limit() { return sample_limit.load(); }

bool sound_format_ok(const char* fn, long long channels, long long rate)
{
    if (channels < 1 || channels > 65535) {
        log_printf(stderr, "In %s(): %lld channels, not a valid sound.\n", fn, channels);
        return false;
    }
    if (rate < 1 || rate > sound_rate_max) {
        log_printf(stderr, "In %s(): sample rate of %lld Hz, not a valid sound.\n", fn, rate);
        return false;
    }
    return true;
}

byte_buffer read_whole_file(const char* path, size_t* size)
{
    *size = 0;
    FILE* f = fopen(path, "rb");
    if (!f) {
        log_printf(stderr, "File '%s' not found.\n", path);
        return nullptr;
    }
    // Only a regular file has a size to trust: a folder opens too, and reports nonsense.
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        fclose(f);
        log_printf(stderr, "File '%s' not found.\n", path);
        return nullptr;
    }
    const size_t length = (size_t)st.st_size;
    byte_buffer data((unsigned char*)wrmalloc(length + 1));
    const size_t got = fread(data.get(), 1, length, f);
    fclose(f);
    if (got != length) {
        log_printf(stderr, "File '%s' could not be read whole.\n", path);
        return nullptr;
    }
    data[got] = 0;
    *size = got;
    return data;
}

int selected_channel_count(int channels, int mode)
{
    if (mode < 0 || mode > 3)
        return channels;
    return mode == 3 ? 2 : 1;
}

void select_channels_into(const float* in, size_t frames, int channels, int mode, float* out)
{
    const int ch = channels;
    const int second = ch - 1 < 1 ? ch - 1 : 1;
    if (mode < 0 || mode > 3) {
        memcpy(out, in, frames * (size_t)ch * sizeof(float));
        return;
    }
    for (size_t i = 0; i < frames; i++) {
        const float* frame = in + i * (size_t)ch;
        switch (mode) {
        case 0: {
            float sum = 0.0f;
            for (int c = 0; c < ch; c++)
                sum += frame[c];
            out[i] = sum * 1.0f / (float)ch;
            break;
        }
        case 1:
            out[i] = frame[0];
            break;
        case 2:
            out[i] = frame[second];
            break;
        default:
            out[2 * i] = frame[0];
            out[2 * i + 1] = frame[second];
            break;
        }
    }
}

void select_channels(Sound& s, int mode)
{
    const int out_ch = selected_channel_count(s.channels, mode);
    if (s.channels < 1 || (mode < 0 || mode > 3) || (s.channels == 1 && out_ch == 1))
        return;   // nothing changes: all channels kept, or the one channel is every selection
    std::vector<float> out;
    resize_with_huge_pages(out, s.frames * (size_t)out_ch);
    select_channels_into(s.samples.data(), s.frames, s.channels, mode, out.data());
    s.samples = std::move(out);
    s.channels = out_ch;
}

// Our own readers hold the file and its samples at once; past this size a file they decode
// streams through libsndfile instead, which reads it to the same values.
constexpr uint64_t own_reader_max_bytes = 256ull << 20;
// Enough of a file for wav_encoding and aiff_encoding to find the format in any common file.
constexpr size_t header_probe_bytes = 65536;

// The size of a regular file; false, after the usual "not found" line, for anything else.
static bool regular_file_size(const char* path, uint64_t* size)
{
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) {
        log_printf(stderr, "File '%s' not found.\n", path);
        return false;
    }
    *size = (uint64_t)st.st_size;
    return true;
}

static std::vector<unsigned char> read_file_head(const char* path, size_t limit)
{
    std::vector<unsigned char> head(limit);
    FILE* f = fopen(path, "rb");
    const size_t got = f ? fread(head.data(), 1, limit, f) : 0;
    if (f)
        fclose(f);
    head.resize(got);
    return head;
}

static Sound load_whole(const char* path, Sound (*reader)(const unsigned char*, size_t, int), int mode)
{
    size_t size = 0;
    byte_buffer data = read_whole_file(path, &size);
    if (!data)
        return {};
    return reader(data.get(), size, mode);
}

Sound load_sound(const char* path, int mode)
{
    const std::string ext = path_extension_lower(path);
    const std::string name = get_filename_from_path(path);
    const bool wav = ext == "wav" || ext == "wave";
    const bool aiff = ext == "aif" || ext == "aiff" || ext == "aifc";
    if (wav || aiff) {
        uint64_t size = 0;
        if (!regular_file_size(path, &size))
            return {};
        const std::vector<unsigned char> head = read_file_head(path, header_probe_bytes);
        const SoundEncoding encoding = wav ? wav_encoding(head.data(), head.size()) : aiff_encoding(head.data(), head.size());
        Sound (*own)(const unsigned char*, size_t, int) = wav ? load_sound_wav_mem : load_sound_aiff_mem;
        if (encoding.own && size <= own_reader_max_bytes)
            return load_whole(path, own, mode);
        std::string not_taken;
        Sound s = load_sound_sndfile(path, mode, &not_taken);
        if (not_taken.empty())
            return s;
        if (encoding.own)
            return load_whole(path, own, mode);
        log_printf(stderr, "%s: %s is not supported\n", name.c_str(), encoding.name.c_str());
        return {};
    }
    if (ext == "opus") {
        uint64_t size = 0;
        if (!regular_file_size(path, &size))
            return {};
        return load_sound_opus_file(path, mode);
    }
    if (sndfile_extension(ext)) {
        uint64_t size = 0;
        if (!regular_file_size(path, &size))
            return {};
        std::string not_taken;
        Sound s = load_sound_sndfile(path, mode, &not_taken);
        if (!not_taken.empty())
            log_printf(stderr, "%s: not a sound file that can be read (%s)\n", name.c_str(), not_taken.c_str());
        return s;
    }
    Sound (*reader)(const unsigned char*, size_t, int) = nullptr;
    if (ext == "mp3")
        reader = load_sound_mp3_mem;
    else if (ext == "flac" || ext == "fla")
        reader = load_sound_flac_mem;
    else if (ext == "ogg" || ext == "oga")
        reader = load_sound_ogg_mem;
    if (!reader) {
        log_printf(stderr, "In load_sound(): '%s' is not a sound file type that can be read.\n", path);
        return {};
    }
    // A long compressed recording streams through libsndfile rather than being held whole
    // beside its samples; the decoder readers keep the smaller files, and anything libsndfile
    // does not take.
    uint64_t size = 0;
    if (!regular_file_size(path, &size))
        return {};
    if (size > own_reader_max_bytes) {
        std::string not_taken;
        Sound s = load_sound_sndfile(path, mode, &not_taken);
        if (not_taken.empty())
            return s;
    }
    return load_whole(path, reader, mode);
}

std::vector<float> load_sound_resampled(const char* path, int mode, int sample_rate)
{
    Sound s = load_sound(path, mode);
    if (s.samples.empty())
        return {};
    if (s.channels == 2) {
        // Mode 3's stereo pair: the one channel the caller wants is the mean of the two.
        for (size_t i = 0; i < s.frames; i++)
            s.samples[i] = (s.samples[2 * i] + s.samples[2 * i + 1]) * 0.5f;
        s.samples.resize(s.frames);
        s.channels = 1;
    } else if (s.channels != 1) {
        select_channels(s, sound_mix);
    }
    if (s.sample_rate != sample_rate)
        return resample_sound(std::move(s.samples), s.sample_rate, sample_rate);
    return std::move(s.samples);
}
