// Ogg Vorbis reader: the reference decoder (libvorbisfile) reads the file from memory as a
// stream; each block of float samples goes through the channel selection.
//
// The reference decoder rather than a single-file one: damaged files are common (cut
// downloads), and the single-file decoder wrote through wild pointers within seconds of
// fuzzing its header parser.
#include <vorbis/vorbisfile.h>

#include <cstring>
#include <vector>

#include "media/sound_read.h"
#include "support/log.h"

static const char* const ogg_fn = "load_sound_ogg_mem";
constexpr int ogg_step_frames = 4096;

namespace {
struct OggMemory {
    const unsigned char* data;
    size_t size;
    size_t pos;
};
}

static size_t ogg_read(void* out, size_t item, size_t count, void* source)
{
    OggMemory& m = *(OggMemory*)source;
    if (item == 0)
        return 0;
    size_t want = count * item;   // the decoder asks for bytes (item 1), a few KB at a time
    const size_t left = m.size - m.pos;
    if (want > left)
        want = left;
    memcpy(out, m.data + m.pos, want);
    m.pos += want;
    return want / item;
}

Sound load_sound_ogg_mem(const unsigned char* data, size_t size, int mode)
{
    if (!data || size == 0) {
        log_printf(stderr, "In %s(): empty file, not a valid Ogg Vorbis file.\n", ogg_fn);
        return {};
    }
    OggMemory mem{data, size, 0};
    OggVorbis_File vf;
    // No seek callback: the file is read once from start to end, as a stream.
    const ov_callbacks callbacks = {ogg_read, nullptr, nullptr, nullptr};
    const int opened = ov_open_callbacks(&mem, &vf, nullptr, 0, callbacks);
    if (opened != 0) {
        log_printf(stderr, "In %s(): not a valid Ogg Vorbis file (decoder error %d).\n", ogg_fn, opened);
        return {};
    }
    const vorbis_info* info = ov_info(&vf, -1);
    if (!info || !sound_format_ok(ogg_fn, info->channels, info->rate)) {
        ov_clear(&vf);
        return {};
    }
    const int in_channels = info->channels;
    const long rate = info->rate;
    Sound s;
    s.sample_rate = (int)rate;
    s.channels = selected_channel_count(in_channels, mode);
    std::vector<float> step((size_t)ogg_step_frames * (size_t)in_channels);
    const size_t limit = sound_sample_limit();
    bool too_long = false, format_changed = false;
    for (;;) {
        float** pcm = nullptr;
        int link = 0;
        const long got = ov_read_float(&vf, &pcm, ogg_step_frames, &link);
        if (got == OV_HOLE)
            continue;   // a damaged page was skipped; decoding goes on after it
        if (got <= 0)
            break;
        // A chained file may change its format between links; the first one decides.
        const vorbis_info* now = ov_info(&vf, -1);
        if (!now || now->channels != in_channels || now->rate != rate) {
            format_changed = true;
            break;
        }
        if ((s.frames + (size_t)got) * (size_t)s.channels > limit) {
            too_long = true;
            break;
        }
        for (long i = 0; i < got; i++)
            for (int c = 0; c < in_channels; c++)
                step[(size_t)i * (size_t)in_channels + (size_t)c] = pcm[c][i];
        const size_t at = s.samples.size();
        s.samples.resize(at + (size_t)got * (size_t)s.channels);
        select_channels_into(step.data(), (size_t)got, in_channels, mode, s.samples.data() + at);
        s.frames += (size_t)got;
    }
    ov_clear(&vf);
    if (too_long) {
        log_printf(stderr, "In %s(): the stream decodes to too many samples.\n", ogg_fn);
        return {};
    }
    if (s.frames == 0) {
        log_printf(stderr, "In %s(): the stream holds no samples.\n", ogg_fn);
        return {};
    }
    if (format_changed)
        log_printf(stderr, "Warning: In %s(): the stream changes its format; the rest is not read.\n", ogg_fn);
    s.samples.shrink_to_fit();
    return s;
}
