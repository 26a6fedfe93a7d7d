// 24-bit FLAC through the reference encoder, written through a save temporary like every
// other file: the encoder's output goes to our stream, and its closing rewrite of the stream
// header (length, checksum) is a seek within the same temporary.
#include <FLAC/stream_encoder.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "media/sound_write.h"
#include "support/log.h"
#include "support/save_file.h"

namespace {

constexpr const char* who = "save_flac_file()";

FLAC__StreamEncoderWriteStatus write_bytes(const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes,
                                           uint32_t, uint32_t, void* user)
{
    return save_write(*(SaveFile*)user, buffer, bytes) ? FLAC__STREAM_ENCODER_WRITE_STATUS_OK
                                                       : FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
}

// A pipe or a device cannot seek: the encoder then leaves the header as first written, which
// already holds the length (given in advance) but no checksum.
FLAC__StreamEncoderSeekStatus seek_to(const FLAC__StreamEncoder*, FLAC__uint64 offset, void* user)
{
    SaveFile& s = *(SaveFile*)user;
    if (s.temporary.empty())
        return FLAC__STREAM_ENCODER_SEEK_STATUS_UNSUPPORTED;
    return fseeko(s.stream, (off_t)offset, SEEK_SET) == 0 ? FLAC__STREAM_ENCODER_SEEK_STATUS_OK
                                                           : FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
}

FLAC__StreamEncoderTellStatus tell_at(const FLAC__StreamEncoder*, FLAC__uint64* offset, void* user)
{
    SaveFile& s = *(SaveFile*)user;
    if (s.temporary.empty())
        return FLAC__STREAM_ENCODER_TELL_STATUS_UNSUPPORTED;
    const off_t at = ftello(s.stream);
    if (at < 0)
        return FLAC__STREAM_ENCODER_TELL_STATUS_ERROR;
    *offset = (FLAC__uint64)at;
    return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}

struct EncoderDeleter {
    void operator()(FLAC__StreamEncoder* e) const { FLAC__stream_encoder_delete(e); }
};

// 2^23 steps per unit, as readers convert back; +1 itself is one step short of the top, what
// lies beyond full scale is clipped, and a sample that is not a number is silence.
FLAC__int32 to_24_bits(float v)
{
    if (!(v == v))
        return 0;
    return (FLAC__int32)std::min(std::lrint(std::clamp((double)v, -1.0, 1.0) * 8388608.0), 8388607l);
}

}  // namespace

bool save_flac_file(const std::string& path, const float* samples, size_t count, int sample_rate,
                    const std::atomic<bool>* cancel)
{
    auto cancelled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };
    if (sample_rate <= 0 || !FLAC__format_sample_rate_is_valid((uint32_t)sample_rate) || (count && !samples)) {
        log_printf(stderr, "%s: FLAC cannot hold a sound at %d Hz ('%s')\n", who, sample_rate, path.c_str());
        return false;
    }
    std::unique_ptr<FLAC__StreamEncoder, EncoderDeleter> encoder(FLAC__stream_encoder_new());
    if (!encoder) {
        log_printf(stderr, "%s: no memory for the encoder of '%s'\n", who, path.c_str());
        return false;
    }
    FLAC__StreamEncoder* e = encoder.get();
    FLAC__stream_encoder_set_channels(e, 1);
    FLAC__stream_encoder_set_bits_per_sample(e, 24);
    FLAC__stream_encoder_set_sample_rate(e, (uint32_t)sample_rate);
    FLAC__stream_encoder_set_compression_level(e, 5);
    FLAC__stream_encoder_set_total_samples_estimate(e, (FLAC__uint64)count);

    SaveFile out;
    if (!save_begin(out, path, who))
        return false;
    if (FLAC__stream_encoder_init_stream(e, write_bytes, seek_to, tell_at, nullptr, &out) !=
        FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        // A write of the stream header that failed is reported by the save as any other.
        if (out.error)
            return save_end(out, who);
        log_printf(stderr, "%s: the encoder could not start for '%s'\n", who, path.c_str());
        save_abandon(out);
        return false;
    }
    std::vector<FLAC__int32> piece(4096);
    bool ok = true;
    for (size_t done = 0; ok && done < count && !cancelled();) {
        const size_t n = std::min(count - done, piece.size());
        for (size_t i = 0; i < n; i++)
            piece[i] = to_24_bits(samples[done + i]);
        ok = FLAC__stream_encoder_process_interleaved(e, piece.data(), (uint32_t)n);
        done += n;
    }
    if (cancelled()) {
        FLAC__stream_encoder_finish(e);
        save_abandon(out);
        return false;
    }
    ok = FLAC__stream_encoder_finish(e) && ok;
    if (!ok && !out.error) {
        // Not a write of ours that failed: the encoder's own state says what.
        log_printf(stderr, "%s: couldn't encode '%s': %s\n", who, path.c_str(),
                   FLAC__StreamEncoderStateString[FLAC__stream_encoder_get_state(e)]);
        save_abandon(out);
        return false;
    }
    return save_end(out, who);
}
