// The volume limiter: the last stage of every buffer sent to the sound card, protecting the
// listener from sudden loud output while the picture is edited. A hold-and-release gain:
// once a sample exceeds the threshold θ the gain is held at θ/P (P the loudest sample of the
// event) for the sustain time, then released along a raised cosine over the release time.
//
// It lives with the engine, not with the SDL code, because the playback state carries it and
// nothing in it needs a sound card.
//
// Threads: limit_volume runs on the audio thread; the setters run on the main thread while the
// user moves the limiter's controls. Every field is one atomic value, so neither side locks.
#pragma once
#include <atomic>

struct PrefStore;

// Ranges of the limiter's controls; values read from a hand-edited file are kept inside them.
constexpr double limiter_threshold_min_db = -30.0, limiter_threshold_max_db = 12.0;
constexpr double limiter_duration_min = 0.1, limiter_duration_max = 10.0;

struct LimiterState {
    std::atomic<int> initialised{0};     // preferences read
    std::atomic<int> enabled{1};
    std::atomic<double> threshold_db{-6.0};
    std::atomic<double> threshold{0.0};  // θ = 10^(0.05·dB), set with threshold_db
    std::atomic<double> peak{0.0};       // P, the loudest |sample| of the current event; 0 when idle
    std::atomic<double> time{0.0};       // t, seconds since the peak
    std::atomic<double> sustain{2.3};    // S, seconds
    std::atomic<double> release{2.3};    // Rl, seconds
    PrefStore* prefs = nullptr;          // where the settings live; null: the run's main store
};

// Reads "Audio output:Volume limiter" and its Threshold, Sustain duration and Release duration
// (storing defaults for missing keys) and marks the state initialised. The audio device does
// this before its first callback, so the audio thread never touches the file.
void limiter_load_prefs(LimiterState& state, PrefStore& store);

// Limits an interleaved buffer of `frames` frames of `channels` samples in place. The first
// call reads the preferences if nobody has. Disabled: the buffer is left untouched. Enabled:
// samples at or below θ while idle pass bit for bit; all channels of a frame share P and t.
// A sample that is not a finite number is written as 0 and leaves the state alone.
void limit_volume(float* samples, int channels, int frames, int sample_rate, LimiterState& state);

// The controls' setters: they take effect at the next buffer (the threshold's θ is recomputed
// at once). Values are kept inside the controls' ranges. The preference is not written here:
// a knob stores its value when it is released, the checkbox at once (limiter_store_setting).
void limiter_set_enabled(LimiterState& state, int on);
void limiter_set_threshold_db(LimiterState& state, double db);
void limiter_set_sustain(LimiterState& state, double seconds);
void limiter_set_release(LimiterState& state, double seconds);

enum LimiterSetting { limiter_enabled, limiter_threshold, limiter_sustain, limiter_release };
// Writes the current value of one setting to its preference.
void limiter_store_setting(const LimiterState& state, PrefStore& store, LimiterSetting which);
