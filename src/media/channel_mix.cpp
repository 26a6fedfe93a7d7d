#include "media/channel_mix.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "media/resample.h"
#include "media/sound_read.h"
#include "support/log.h"
#include "support/wav_header.h"
#include "support/save_file.h"

namespace {

// One channel at `sample_rate`. The resampler keeps the gain of its transforms, which the
// analysis scales away; a channel of a stereo file must keep its loudness, so it is undone.
std::vector<float> read_channel(const std::string& path, int sample_rate)
{
    Sound s = load_sound(path.c_str(), 0);
    if (s.samples.empty() || s.sample_rate <= 0)
        return {};
    if (s.sample_rate == sample_rate)
        return std::move(s.samples);
    const int from = s.sample_rate;
    std::vector<float> v = resample_sound(std::move(s.samples), from, sample_rate);
    const float undo_gain = (float)std::sqrt((double)sample_rate / (double)from);
    for (float& x : v)
        x *= undo_gain;
    return v;
}

}  // namespace

bool mix_channel_files(const std::string& left, const std::string& right, const std::string& out, int sample_rate)
{
    if (sample_rate <= 0) {
        log_printf(stderr, "Error: no sample rate to mix %s and %s at\n", left.c_str(), right.c_str());
        return false;
    }
    std::vector<float> l = read_channel(left, sample_rate);
    if (l.empty()) {
        log_printf(stderr, "Error: couldn't read the left channel file %s\n", left.c_str());
        return false;
    }
    log_printf(stdout, "Mixing to stereo: %d%%\n", 33);
    std::vector<float> r = read_channel(right, sample_rate);
    if (r.empty()) {
        log_printf(stderr, "Error: couldn't read the right channel file %s\n", right.c_str());
        return false;
    }
    log_printf(stdout, "Mixing to stereo: %d%%\n", 67);
    const size_t frames = std::max(l.size(), r.size());
    const uint64_t data_bytes = (uint64_t)frames * 8;
    constexpr int header_bytes = float_wav_header_bytes;
    if (data_bytes > 0xFFFFFFFFull - header_bytes) {
        log_printf(stderr, "Error: %s and %s are too long for one WAV file\n", left.c_str(), right.c_str());
        return false;
    }
    std::vector<unsigned char> file(header_bytes + (size_t)data_bytes);
    float_wav_header(file.data(), 2, sample_rate, frames);
    float* pairs = (float*)(void*)(file.data() + header_bytes);
    for (size_t i = 0; i < frames; i++) {
        const float a = i < l.size() ? l[i] : 0.0f, b = i < r.size() ? r[i] : 0.0f;
        memcpy(pairs + 2 * i, &a, 4);
        memcpy(pairs + 2 * i + 1, &b, 4);
    }
    if (!save_whole_file(out, file.data(), file.size(), "stereo mix"))
        return false;
    log_printf(stdout, "Mixing to stereo: %d%%\n", 100);
    return true;
}
