// FLAC reader: libFLAC's stream decoder reads the file from memory; each decoded block is
// converted to floats (full scale -1 to +1, as the decoder libraries deliver) and goes
// through the channel selection.
#include <FLAC/stream_decoder.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "media/sound_read.h"
#include "support/log.h"

static const char* const flac_fn = "load_sound_flac_mem";

namespace {
struct FlacState {
    const unsigned char* data = nullptr;
    size_t size = 0;
    size_t pos = 0;
    int mode = 0;
    Sound out;
    int in_channels = 0;
    std::vector<float> block;   // one block, interleaved, before selection
    bool bad_format = false, too_long = false, format_changed = false;
};
}

static FLAC__StreamDecoderReadStatus flac_read(const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes, void* client)
{
    FlacState& st = *(FlacState*)client;
    const size_t left = st.size - st.pos;
    if (left == 0) {
        *bytes = 0;
        return FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
    }
    const size_t n = *bytes < left ? *bytes : left;
    memcpy(buffer, st.data + st.pos, n);
    st.pos += n;
    *bytes = n;
    return FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
}

static FLAC__bool flac_eof(const FLAC__StreamDecoder*, void* client)
{
    const FlacState& st = *(const FlacState*)client;
    return st.pos >= st.size;
}

static FLAC__StreamDecoderWriteStatus flac_write(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                 const FLAC__int32* const buffer[], void* client)
{
    FlacState& st = *(FlacState*)client;
    const int channels = (int)frame->header.channels;
    const unsigned rate = frame->header.sample_rate;
    const unsigned bits = frame->header.bits_per_sample;
    const size_t frames = frame->header.blocksize;
    if (st.in_channels == 0) {
        // The first block fixes the format.
        if (bits < 1 || bits > 32) {
            log_printf(stderr, "In %s(): %u bits per sample, not a valid FLAC file.\n", flac_fn, bits);
            st.bad_format = true;
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
        }
        if (!sound_format_ok(flac_fn, channels, rate)) {
            st.bad_format = true;
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
        }
        st.in_channels = channels;
        st.out.sample_rate = (int)rate;
        st.out.channels = selected_channel_count(channels, st.mode);
    } else if (channels != st.in_channels || (int)rate != st.out.sample_rate || bits < 1 || bits > 32) {
        st.format_changed = true;
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    if ((st.out.frames + frames) * (size_t)st.out.channels > sound_sample_limit()) {
        st.too_long = true;
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    const float scale = 1.0f / (float)(1ull << (bits - 1));
    st.block.resize(frames * (size_t)channels);
    for (int c = 0; c < channels; c++)
        for (size_t i = 0; i < frames; i++)
            st.block[i * (size_t)channels + (size_t)c] = (float)buffer[c][i] * scale;
    const size_t at = st.out.samples.size();
    st.out.samples.resize(at + frames * (size_t)st.out.channels);
    select_channels_into(st.block.data(), frames, channels, st.mode, st.out.samples.data() + at);
    st.out.frames += frames;
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

static void flac_error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*)
{
    // Damaged frames are skipped; the decoder looks for the next one.
}

Sound load_sound_flac_mem(const unsigned char* data, size_t size, int mode)
{
    if (!data || size == 0) {
        log_printf(stderr, "In %s(): empty file, not a valid FLAC file.\n", flac_fn);
        return {};
    }
    FLAC__StreamDecoder* dec = FLAC__stream_decoder_new();
    if (!dec) {
        log_printf(stderr, "In %s(): the FLAC decoder could not be started.\n", flac_fn);
        return {};
    }
    FlacState st;
    st.data = data;
    st.size = size;
    st.mode = mode;
    FLAC__stream_decoder_set_md5_checking(dec, false);
    if (FLAC__stream_decoder_init_stream(dec, flac_read, nullptr, nullptr, nullptr, flac_eof, flac_write,
                                         nullptr, flac_error, &st) != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        FLAC__stream_decoder_delete(dec);
        log_printf(stderr, "In %s(): the FLAC decoder could not be started.\n", flac_fn);
        return {};
    }
    FLAC__stream_decoder_process_until_end_of_stream(dec);
    FLAC__stream_decoder_finish(dec);
    FLAC__stream_decoder_delete(dec);
    if (st.bad_format)
        return {};   // sound_format_ok or the bit depth check has logged it
    if (st.too_long) {
        log_printf(stderr, "In %s(): the stream decodes to too many samples.\n", flac_fn);
        return {};
    }
    if (st.out.frames == 0) {
        log_printf(stderr, "In %s(): no FLAC audio frames found, not a valid FLAC file.\n", flac_fn);
        return {};
    }
    if (st.format_changed)
        log_printf(stderr, "Warning: In %s(): the stream changes its format; the rest is not read.\n", flac_fn);
    return std::move(st.out);
}
