// Live synthesis: the picture heard at a moving cursor, one sample at a time. Each picture row
// owns a band of a two-second noise (the noise bank); a sample is the sum, over the rows, of
// the band's next noise value weighted by the row's brightness at the cursor, interpolated
// between three neighbouring columns with the envelope kernel. Nothing is rendered ahead, so
// an edit is heard as soon as the picture the cursor reads has been rewritten.
#pragma once
#include <atomic>
#include <memory>
#include <vector>

// Two seconds of columns at a fixed 100 columns per second, made a fast transform size:
// next_fast_size(round(200 * sr / 100)), 90,000 at 44.1 kHz. 0 for an unusable rate.
int noise_bank_length(int sample_rate);

struct NoiseBank {
    int rows = 0;        // H
    int length = 0;      // Nb: the bank repeats after this many samples
    // Band of picture row r at sample s: samples[s * rows + r] (row 0 is the top band), so
    // that one sample of every band is one contiguous run.
    std::unique_ptr<float[], void (*)(float*)> samples{nullptr, nullptr};
    std::vector<float> row_level;  // RMS of each row's band
    // What it was built for.
    float fmin = 0.0f, fmax = 0.0f, base = 0.0f;
    int sample_rate = 0;
};

// Fills `length` noise values from the program's generator, colours them by k^(0.5 - B/2)
// per bin (B clamped to [1, 2], as the block renderers clamp it; the Nyquist bin too), and cuts
// band k (bands counted from the bottom) at its true place with a half-width of one row and
// the Hann window, transformed back at full length. `threads` contiguous ranges of bands are
// built at once (0: max(1, processors - 1)). Returns false, leaving `bank` empty, when aborted
// or when the set-up is unusable (logged).
bool build_noise_bank(NoiseBank& bank, int rows, float fmin, float fmax, float base, int sample_rate,
                      int threads = 0, const std::atomic<bool>* abort = nullptr);

// The column of a transposed picture (columns[x][row]) with the largest sum of squares, the
// first one on ties; -1 for an empty picture.
int loudest_column(const float* const* columns, int width, int rows);
// The level divisor D for one column: 3 sqrt(3) sqrt(sum over rows of (level_r * column_r)^2),
// pairing each row with its own band. About the RMS of the sum of the bands' noises.
float live_level_divisor(const NoiseBank& bank, const float* column);

// How the cursor moves, for one run of samples.
struct LiveMotion {
    double step = 0.0;              // columns per sample: R / sr
    bool loop_playback = false;     // the option
    bool loop_key = false;          // held keys
    bool reverse_key = false;
    bool pause_after_loop = false;
    bool scrubbing = false;         // the cursor is dragged: glide toward `scrub_target`
    const std::atomic<double>* scrub_target = nullptr;
    int glide_samples = 100;        // U: a new scrub target every U samples, reached in U samples
    bool jump = false;              // move to `jump_target` at the first sample
    double jump_target = 0.0;
};

// What stopped a run early.
enum LiveStop {
    live_running = 0,
    live_stopped = 1,   // past an end without looping: positions go back to 0
    live_paused = 2,    // "Pause After Current Loop" at a loop point: positions kept
};

// The cursor and everything a run keeps between calls. One owner at a time.
struct LiveVoice {
    double position = 0.0;          // x, in columns
    int direction = 1;              // loop key and reverse held together: bounce between the ends
    int bank_position = 0;          // next sample of the bank
    // Scrub glide: from `glide_from` to `glide_to` over U samples, `glide_step` of them done.
    bool scrubbing = false;
    double glide_from = 0.0, glide_to = 0.0;
    int glide_step = 0;
    // Columns c0, c0+1, c0+2 of the picture around the cursor, each `rows` values.
    std::vector<float> cache;
    long long cache_column = 0;
    bool cache_looping = false;     // columns outside the picture wrapped around it
    bool cache_valid = false;
    int width = 0, rows = 0;        // the picture the cache came from
};

// The picture a run reads: transposed (columns[x] holds the `rows` values of column x). Null
// columns mean the picture cannot be read during this run: the cached columns are used as they
// are and the last known width stands.
struct LiveColumns {
    const float* const* columns = nullptr;
    int width = 0, rows = 0;
    bool updated = false;           // rewritten since the last run: reload the cache
};

// Generates up to `count` samples into `out`, advancing the voice. *divisor is the level
// divisor D, raised by level protection when a sample exceeds ten times it. Stops early when
// playback ends (the samples not generated are left untouched); returns the number generated.
// Silence (0 generated, live_running) when the bank and the picture do not fit each other.
int live_render(LiveVoice& voice, const NoiseBank& bank, const LiveColumns& picture, const LiveMotion& motion,
                std::atomic<float>& divisor, float* out, int count, LiveStop* stop);
