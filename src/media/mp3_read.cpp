// MP3 reader: libmpg123 decodes the file from memory frame by frame into 32-bit floats,
// and each frame goes through the channel selection as it arrives.
#include <mpg123.h>

#include <cstdint>
#include <mutex>

#include "media/sound_read.h"
#include "support/log.h"

static const char* const mp3_fn = "load_sound_mp3_mem";

static mpg123_handle* mp3_open(const unsigned char* data, size_t size)
{
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
    int err = MPG123_OK;
    mpg123_handle* mh = mpg123_new(nullptr, &err);
    if (!mh)
        return nullptr;
    // Float output at every rate the library knows, one or two channels; no printouts.
    bool ok = mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0) == MPG123_OK &&
              mpg123_format_none(mh) == MPG123_OK;
    const long* rates = nullptr;
    size_t rate_count = 0;
    mpg123_rates(&rates, &rate_count);
    for (size_t i = 0; ok && i < rate_count; i++)
        ok = mpg123_format(mh, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32) == MPG123_OK;
    if (ok)
        ok = mpg123_open_feed(mh) == MPG123_OK && mpg123_feed(mh, data, size) == MPG123_OK;
    if (!ok) {
        mpg123_delete(mh);
        return nullptr;
    }
    return mh;
}

Sound load_sound_mp3_mem(const unsigned char* data, size_t size, int mode)
{
    if (!data || size == 0) {
        log_printf(stderr, "In %s(): empty file, not a valid MP3 file.\n", mp3_fn);
        return {};
    }
    mpg123_handle* mh = mp3_open(data, size);
    if (!mh) {
        log_printf(stderr, "In %s(): the MP3 decoder could not be started.\n", mp3_fn);
        return {};
    }
    Sound s;
    int in_channels = 0, out_channels = 0;
    const size_t limit = sound_sample_limit();
    bool too_long = false;
    for (;;) {
        off_t frame_number = 0;
        unsigned char* audio = nullptr;
        size_t bytes = 0;
        const int r = mpg123_decode_frame(mh, &frame_number, &audio, &bytes);
        if (r == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0, encoding = 0;
            mpg123_getformat(mh, &rate, &channels, &encoding);
            if (encoding != MPG123_ENC_FLOAT_32)
                break;
            // The first frame fixes the format; a stream that changes it mid-way ends there.
            if (in_channels == 0) {
                if (!sound_format_ok(mp3_fn, channels, rate)) {
                    mpg123_delete(mh);
                    return {};
                }
                in_channels = channels;
                out_channels = selected_channel_count(channels, mode);
                s.sample_rate = (int)rate;
            } else if (channels != in_channels || rate != s.sample_rate) {
                log_printf(stderr, "Warning: In %s(): the stream changes its format; the rest is not read.\n", mp3_fn);
                break;
            }
            continue;
        }
        if (r != MPG123_OK)
            break;   // MPG123_NEED_MORE or MPG123_DONE at the end of the data, or an error
        if (in_channels == 0 || bytes == 0 || !audio)
            continue;
        const size_t frames = bytes / (sizeof(float) * (size_t)in_channels);
        if ((s.frames + frames) * (size_t)out_channels > limit) {
            too_long = true;
            break;
        }
        const size_t at = s.samples.size();
        s.samples.resize(at + frames * (size_t)out_channels);
        select_channels_into((const float*)audio, frames, in_channels, mode, s.samples.data() + at);
        s.frames += frames;
    }
    mpg123_delete(mh);
    if (too_long) {
        log_printf(stderr, "In %s(): the stream decodes to too many samples.\n", mp3_fn);
        return {};
    }
    if (s.frames == 0) {
        log_printf(stderr, "In %s(): no MPEG audio frames found, not a valid MP3 file.\n", mp3_fn);
        return {};
    }
    s.channels = out_channels;
    s.samples.shrink_to_fit();
    return s;
}
