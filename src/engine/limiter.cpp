#include "engine/limiter.h"

#include <cmath>

#include "support/log.h"
#include "support/prefs.h"

static const char* const key_enabled = "Audio output:Volume limiter";
static const char* const key_threshold = "Audio output:Volume limiter:Threshold";
static const char* const key_sustain = "Audio output:Volume limiter:Sustain duration";
static const char* const key_release = "Audio output:Volume limiter:Release duration";

static double clamp_value(double v, double lo, double hi) { return v < lo ? lo : v > hi ? hi : v; }

// A release time of 0 would divide by zero and a NaN threshold would switch the limiter off
// without a word, so what the file holds is kept inside the controls' ranges.
static double read_in_range(PrefStore& store, const char* key, double def, const char* unit,
                            double lo, double hi)
{
    double v = pref_get_number(store, key, def, unit);
    if (v >= lo && v <= hi)
        return v;
    double kept = std::isnan(v) ? def : clamp_value(v, lo, hi);
    log_printf(stderr, "Warning: preference \"%s\" holds %g, using %g\n", key, v, kept);
    return kept;
}

static PrefStore& store_of(LimiterState& state) { return state.prefs ? *state.prefs : pref_main_store(); }

void limiter_load_prefs(LimiterState& state, PrefStore& store)
{
    // Anything but "off" keeps the listener protected.
    state.enabled = pref_get_onoff(store, key_enabled, 1) != 0;
    double db = read_in_range(store, key_threshold, -6, " dB", limiter_threshold_min_db,
                              limiter_threshold_max_db);
    state.threshold_db = db;
    state.threshold = std::pow(10.0, 0.05 * db);
    state.sustain = read_in_range(store, key_sustain, 2.3, " sec", limiter_duration_min,
                                  limiter_duration_max);
    state.release = read_in_range(store, key_release, 2.3, " sec", limiter_duration_min,
                                  limiter_duration_max);
    state.initialised = 1;
}

void limit_volume(float* samples, int channels, int frames, int sample_rate, LimiterState& state)
{
    if (!state.initialised)
        limiter_load_prefs(state, store_of(state));
    if (!state.enabled || !samples || channels <= 0 || frames <= 0 || sample_rate <= 0)
        return;

    // One load of each setting per buffer: a control moved meanwhile applies from the next one.
    const double theta = state.threshold.load(std::memory_order_relaxed);
    const double S = state.sustain.load(std::memory_order_relaxed);
    const double Rl = state.release.load(std::memory_order_relaxed);
    double P = state.peak.load(std::memory_order_relaxed);
    double t = state.time.load(std::memory_order_relaxed);
    const double pi = 3.14159265358979323846;

    for (int f = 0; f < frames; f++) {
        float* frame = samples + (long long)f * channels;
        for (int c = 0; c < channels; c++) {
            double x = frame[c];
            if (!std::isfinite(x)) {
                // Passing it on would reach the card as full scale or worse.
                frame[c] = 0.0f;
                continue;
            }
            double a = std::fabs(x);
            if (a <= theta && P <= theta)
                continue;
            if (c == 0)
                t += 1.0 / sample_rate;
            if (a > P) {
                P = a;
                t = 0.0;
            }
            if (P > theta && t <= S)
                x = x * theta / P;
            if (P > theta && t > S) {
                double e = (std::cos(pi * (t - S) / Rl) + 1.0) / 2.0;
                double level = (P - theta) * e + theta;
                if (2.0 * a > level) {
                    // Still loud while releasing: hold again at the level reached.
                    P = level;
                    t = 0.0;
                    x = x * theta / P;
                } else {
                    x = x * theta / level;
                }
            }
            if (t > S + Rl)
                P = 0.0;
            frame[c] = (float)x;
        }
    }
    state.peak.store(P, std::memory_order_relaxed);
    state.time.store(t, std::memory_order_relaxed);
}

// A setter that runs before the first buffer must not be undone by the first buffer's read
// of the preferences.
static void ensure_loaded(LimiterState& state)
{
    if (!state.initialised)
        limiter_load_prefs(state, store_of(state));
}

void limiter_set_enabled(LimiterState& state, int on)
{
    ensure_loaded(state);
    state.enabled = on ? 1 : 0;
}

void limiter_set_threshold_db(LimiterState& state, double db)
{
    ensure_loaded(state);
    if (std::isnan(db))
        return;
    db = clamp_value(db, limiter_threshold_min_db, limiter_threshold_max_db);
    state.threshold_db = db;
    state.threshold = std::pow(10.0, 0.05 * db);
}

void limiter_set_sustain(LimiterState& state, double seconds)
{
    ensure_loaded(state);
    if (!std::isnan(seconds))
        state.sustain = clamp_value(seconds, limiter_duration_min, limiter_duration_max);
}

void limiter_set_release(LimiterState& state, double seconds)
{
    ensure_loaded(state);
    if (!std::isnan(seconds))
        state.release = clamp_value(seconds, limiter_duration_min, limiter_duration_max);
}

void limiter_store_setting(const LimiterState& state, PrefStore& store, LimiterSetting which)
{
    switch (which) {
    case limiter_enabled: pref_set_onoff(store, key_enabled, state.enabled); break;
    case limiter_threshold: pref_set_number(store, key_threshold, state.threshold_db, " dB"); break;
    case limiter_sustain: pref_set_number(store, key_sustain, state.sustain, " sec"); break;
    case limiter_release: pref_set_number(store, key_release, state.release, " sec"); break;
    }
}
