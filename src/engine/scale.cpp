#include "engine/scale.h"

#include <atomic>
#include <cmath>

// Written by each engine entry point and read by every band computation, possibly from
// several workers at once; they all store the same value, so a relaxed store suffices.
static std::atomic<float> engine_scale_base{2.0f};

void set_scale_base(float base) { engine_scale_base.store(base, std::memory_order_relaxed); }
float get_scale_base() { return engine_scale_base.load(std::memory_order_relaxed); }

// O, the span of the range in octaves.
static float octave_span(float a, float b) { return (logf(b) - logf(a)) / logf(2.0f); }

static float position_to_freq(float t, float a, float b, float base, bool linear)
{
    if (linear)
        return a + t * (b - a);
    float o = octave_span(a, b);
    return a + (b - a) * (a * powf(base, t * o) - a) / (a * powf(base, o) - a);
}

static ScaleMapping position_mapping(float a, float b, float base, bool linear)
{
    ScaleMapping m;
    m.a = a;
    m.b = b;
    m.linear = linear;
    if (!linear) {
        m.o = octave_span(a, b);
        m.stretch = a * powf(base, m.o) - a;
        m.log_base = logf(base);
    }
    return m;
}

float freq_to_scale_mapped(const ScaleMapping& m, float f)
{
    const float a = m.a, b = m.b;
    if (m.linear)
        return (f - a) / (b - a);
    float y = a + (f - a) * m.stretch / (b - a);
    return logf(y / a) / m.log_base / m.o;
}

static float freq_to_position(float f, float a, float b, float base, bool linear)
{
    return freq_to_scale_mapped(position_mapping(a, b, base, linear), f);
}

ScaleMapping freq_to_scale_mapping(float a, float b)
{
    float base = get_scale_base();
    return position_mapping(a, b, base, base == 1.0f);
}

float scale_to_freq(float t, float a, float b)
{
    float base = get_scale_base();
    return position_to_freq(t, a, b, base, base == 1.0f);
}

float freq_to_scale(float f, float a, float b)
{
    float base = get_scale_base();
    return freq_to_position(f, a, b, base, base == 1.0f);
}

float log_scale_base(float x)
{
    float base = get_scale_base();
    return base == 1.0f ? x : logf(x) / logf(base);
}

float display_scale_to_freq(float t, float a, float b, float base)
{
    return position_to_freq(t, a, b, base, !(base > 1.0f));
}

float display_freq_to_scale(float f, float a, float b, float base)
{
    return freq_to_position(f, a, b, base, !(base > 1.0f));
}

float display_log_scale_base(float x, float base)
{
    return base > 1.0f ? logf(x) / logf(base) : x;
}

// A count that does not fit an int (or is NaN) is no count at all.
static int trunc_count(float v)
{
    if (!(v >= 0.0f && v < 2147483648.0f))
        return 0;
    return (int)v;
}

int analysis_image_height(float fmin, float fmax, float pitch_resolution)
{
    return trunc_count((log2f(fmax) - log2f(fmin)) * pitch_resolution + 1.5f);
}

int analysis_image_width(long long samples, float time_resolution, int sample_rate)
{
    if (samples <= 0 || sample_rate <= 0)
        return 0;
    float columns_per_sample = time_resolution / (float)sample_rate;
    return trunc_count((float)samples * columns_per_sample);
}
