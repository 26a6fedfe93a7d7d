// Opus reader: libopusfile decodes the stream (from the file, or from memory for the fuzz
// harness) at 48 kHz in floats, -1 to +1 like the other decoder libraries; each block goes
// through the channel selection as it arrives.
#include <opus/opusfile.h>

#include <vector>

#include "media/sound_read.h"
#include "support/log.h"

static const char* const opus_fn = "load_sound_opus";
constexpr int opus_rate = 48000;                // Opus always decodes at 48 kHz
constexpr int opus_step_samples = 5760 * 8;     // 120 ms of 8 channels, the longest packet

static Sound opus_decode(OggOpusFile* of, int mode)
{
    const int in_channels = op_channel_count(of, -1);
    if (!sound_format_ok(opus_fn, in_channels, opus_rate))
        return {};
    Sound s;
    s.sample_rate = opus_rate;
    s.channels = selected_channel_count(in_channels, mode);
    const size_t limit = sound_sample_limit();
    // A seekable stream knows its length: refuse a too-long one before decoding anything.
    const ogg_int64_t total = op_pcm_total(of, -1);
    if (total > 0 && (double)total * (double)s.channels > (double)limit) {
        log_printf(stderr, "In %s(): the stream holds %lld frames, too many to read.\n", opus_fn, (long long)total);
        return {};
    }
    if (total > 0)
        s.samples.reserve((size_t)total * (size_t)s.channels);
    std::vector<float> step(opus_step_samples);
    bool too_long = false, format_changed = false, damaged = false;
    for (;;) {
        int link = 0;
        const int got = op_read_float(of, step.data(), opus_step_samples, &link);
        if (got == OP_HOLE)
            continue;   // a damaged page was skipped; decoding goes on after it
        if (got < 0)
            damaged = true;
        if (got <= 0)
            break;
        // A chained file may change its channel count between links; the first one decides.
        if (op_channel_count(of, link) != in_channels) {
            format_changed = true;
            break;
        }
        if ((s.frames + (size_t)got) * (size_t)s.channels > limit) {
            too_long = true;
            break;
        }
        const size_t at = s.samples.size();
        s.samples.resize(at + (size_t)got * (size_t)s.channels);
        select_channels_into(step.data(), (size_t)got, in_channels, mode, s.samples.data() + at);
        s.frames += (size_t)got;
    }
    if (too_long) {
        log_printf(stderr, "In %s(): the stream decodes to too many samples.\n", opus_fn);
        return {};
    }
    if (s.frames == 0) {
        log_printf(stderr, "In %s(): the stream holds no samples.\n", opus_fn);
        return {};
    }
    if (format_changed)
        log_printf(stderr, "Warning: In %s(): the stream changes its channels; the rest is not read.\n", opus_fn);
    else if (damaged)
        log_printf(stderr, "Warning: In %s(): the stream is damaged; the rest is not read.\n", opus_fn);
    s.samples.shrink_to_fit();
    return s;
}

Sound load_sound_opus_mem(const unsigned char* data, size_t size, int mode)
{
    int error = 0;
    OggOpusFile* of = data && size ? op_open_memory(data, size, &error) : nullptr;
    if (!of) {
        log_printf(stderr, "In %s(): not a valid Opus file (decoder error %d).\n", opus_fn, error);
        return {};
    }
    Sound s = opus_decode(of, mode);
    op_free(of);
    return s;
}

Sound load_sound_opus_file(const char* path, int mode)
{
    int error = 0;
    OggOpusFile* of = op_open_file(path, &error);
    if (!of) {
        if (error == OP_EFAULT || error == OP_EREAD)
            log_printf(stderr, "File '%s' not found.\n", path);
        else
            log_printf(stderr, "In %s(): '%s' is not a valid Opus file (decoder error %d).\n", opus_fn, path, error);
        return {};
    }
    Sound s = opus_decode(of, mode);
    op_free(of);
    return s;
}
