// Reader of the sound formats our own readers leave alone, through libsndfile. The file is
// read block by block and each block goes through the channel selection at once, so neither
// the encoded bytes nor the unselected channels of a long recording are ever held whole.
#include <sndfile.h>

#include <cstdint>
#include <cstring>
#include <unistd.h>
#include <vector>

#include "media/sound_read.h"
#include "support/alloc.h"
#include "support/log.h"
#include "support/paths.h"

static const char* const sndfile_fn = "load_sound_sndfile";
constexpr sf_count_t sndfile_block_frames = 16384;

bool sndfile_extension(const std::string& ext)
{
    static const char* const names[] = {
        "au",  "snd",  "caf", "w64", "rf64", "bw64", "voc", "wavex", "ircam", "sf", "paf",  "fap",
        "svx", "8svx", "nist", "sph", "mat",  "mat4", "mat5", "pvf", "xi",   "htk", "sds", "avr",
        "sd2", "wve",
    };
    for (const char* n : names)
        if (ext == n)
            return true;
    return false;
}

// How the library's samples come to our scale.
enum sndfile_scale { scale_integer, scale_float_as_is, scale_decoder_library };

static sndfile_scale scale_of(int format)
{
    const int container = format & SF_FORMAT_TYPEMASK, sub = format & SF_FORMAT_SUBMASK;
    if (sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE)
        return scale_float_as_is;
    // FLAC, Ogg and MPEG files read -1 to +1 through our readers of them; so here too.
    if (container == SF_FORMAT_FLAC || container == SF_FORMAT_OGG || container == SF_FORMAT_MPEG ||
        sub == SF_FORMAT_VORBIS || sub == SF_FORMAT_OPUS || sub == SF_FORMAT_MPEG_LAYER_I ||
        sub == SF_FORMAT_MPEG_LAYER_II || sub == SF_FORMAT_MPEG_LAYER_III)
        return scale_decoder_library;
    return scale_integer;
}

static double physical_memory_bytes()
{
    const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
    return pages > 0 && page > 0 ? (double)pages * (double)page : 0.0;
}

// Decodes an open file; `what` names it in messages.
static Sound sndfile_decode(SNDFILE* f, const SF_INFO& info, int mode, const char* what)
{
    if (!sound_format_ok(sndfile_fn, info.channels, info.samplerate))
        return {};
    if (info.frames <= 0) {
        log_printf(stderr, "In %s(): %s holds no samples.\n", sndfile_fn, what);
        return {};
    }
    const int in_channels = info.channels;
    const int out_channels = selected_channel_count(in_channels, mode);
    // Refused up front, with what it would take, rather than failing or cut short half-way.
    const double samples = (double)info.frames * (double)out_channels;
    const double need = samples * (double)sizeof(float);
    const double memory = physical_memory_bytes();
    const double gib = 1024.0 * 1024.0 * 1024.0;
    if (samples > (double)sound_sample_limit()) {
        log_printf(stderr,
                   "In %s(): %s holds %lld frames of %d channels: %.0f samples (%.2f GiB) to read, more than "
                   "the %zu a sound may have.\n",
                   sndfile_fn, what, (long long)info.frames, out_channels, samples, need / gib, sound_sample_limit());
        return {};
    }
    if (memory > 0.0 && need > memory) {
        log_printf(stderr, "In %s(): %s needs %.2f GiB of memory to read, more than the %.2f GiB of this computer.\n",
                   sndfile_fn, what, need / gib, memory / gib);
        return {};
    }

    const sndfile_scale scale = scale_of(info.format);
    if (scale == scale_float_as_is)
        sf_command(f, SFC_SET_NORM_FLOAT, nullptr, SF_FALSE);
    else if (scale == scale_decoder_library)
        sf_command(f, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    Sound s;
    s.channels = out_channels;
    s.sample_rate = info.samplerate;
    resize_with_huge_pages(s.samples, (size_t)info.frames * (size_t)out_channels);
    const size_t block_samples = (size_t)sndfile_block_frames * (size_t)in_channels;
    std::vector<int32_t> ints(scale == scale_integer ? block_samples : 0);
    std::vector<float> block(block_samples);
    sf_count_t done = 0;
    while (done < info.frames) {
        const sf_count_t want = info.frames - done < sndfile_block_frames ? info.frames - done : sndfile_block_frames;
        sf_count_t got;
        if (scale == scale_integer) {
            // Left-justified 32-bit integers: dividing by 2^32 gives our readers' -0.5 .. +0.5.
            got = sf_readf_int(f, ints.data(), want);
            for (size_t i = 0; i < (size_t)(got > 0 ? got : 0) * (size_t)in_channels; i++)
                block[i] = (float)ints[i] * (1.0f / 4294967296.0f);
        } else {
            got = sf_readf_float(f, block.data(), want);
        }
        if (got <= 0)
            break;
        select_channels_into(block.data(), (size_t)got, in_channels, mode,
                             s.samples.data() + (size_t)done * (size_t)out_channels);
        done += got;
    }
    if (done == 0) {
        log_printf(stderr, "In %s(): %s holds no samples that could be decoded.\n", sndfile_fn, what);
        return {};
    }
    if (done < info.frames) {
        log_printf(stderr, "Warning: In %s(): %s is cut short, reading %lld of %lld frames.\n", sndfile_fn, what,
                   (long long)done, (long long)info.frames);
        s.samples.resize((size_t)done * (size_t)out_channels);
        s.samples.shrink_to_fit();
    }
    s.frames = (size_t)done;
    return s;
}

Sound load_sound_sndfile(const char* path, int mode, std::string* not_taken)
{
    if (not_taken)
        not_taken->clear();
    SF_INFO info;
    memset(&info, 0, sizeof info);
    SNDFILE* f = sf_open(path, SFM_READ, &info);
    if (!f) {
        // The reason of a failed open is kept in one place for the whole process: read it at once.
        const char* reason = sf_strerror(nullptr);
        if (not_taken)
            *not_taken = reason && *reason ? reason : "not recognised";
        else
            log_printf(stderr, "In %s(): '%s' is not a sound file that can be read (%s).\n", sndfile_fn, path,
                       reason);
        return {};
    }
    const std::string name = get_filename_from_path(path);
    Sound s = sndfile_decode(f, info, mode, name.c_str());
    sf_close(f);
    return s;
}

namespace {
struct SndMemory {
    const unsigned char* data;
    sf_count_t size, pos;
};
}

static sf_count_t mem_length(void* user) { return ((SndMemory*)user)->size; }
static sf_count_t mem_tell(void* user) { return ((SndMemory*)user)->pos; }
static sf_count_t mem_seek(sf_count_t offset, int whence, void* user)
{
    SndMemory& m = *(SndMemory*)user;
    const sf_count_t base = whence == SEEK_CUR ? m.pos : whence == SEEK_END ? m.size : 0;
    // Offsets come from the file: keep the sum from overflowing, and the position in range.
    if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0)
        return -1;
    m.pos = base + offset > m.size ? m.size : base + offset;
    return m.pos;
}
static sf_count_t mem_read(void* out, sf_count_t count, void* user)
{
    SndMemory& m = *(SndMemory*)user;
    if (count <= 0)
        return 0;
    const sf_count_t n = count < m.size - m.pos ? count : m.size - m.pos;
    if (n > 0)
        memcpy(out, m.data + m.pos, (size_t)n);
    m.pos += n;
    return n;
}
static sf_count_t mem_write(const void*, sf_count_t, void*) { return 0; }

Sound load_sound_sndfile_mem(const unsigned char* data, size_t size, int mode)
{
    SndMemory mem{data, (sf_count_t)size, 0};
    SF_VIRTUAL_IO io{mem_length, mem_seek, mem_read, mem_write, mem_tell};
    SF_INFO info;
    memset(&info, 0, sizeof info);
    SNDFILE* f = sf_open_virtual(&io, SFM_READ, &info, &mem);
    if (!f) {
        log_printf(stderr, "In %s(): not a sound file that can be read (%s).\n", sndfile_fn, sf_strerror(nullptr));
        return {};
    }
    Sound s = sndfile_decode(f, info, mode, "the file");
    sf_close(f);
    return s;
}
