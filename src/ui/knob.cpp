#include "ui/knob.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const char* const names[knob_count] = {"Volume",   "Min. frequency",  "Max. frequency", "Time resolution",
                                       "Gamma",    "Layer intensity", "Frequency scale", "Spray width",
                                       "Tool intensity"};
const char* const units[knob_count] = {"dB", "Hz", "Hz", "pixels/second", "", "dB", "logarithmic base", "pixels", "%"};
const char* const labels[knob_count][7] = {
    {"-30", "-20", "-10", "0", "+10", "+20", "+30"},
    {"0", "25", "125", "500", "1.8 k", "7 k", "26 k"},
    {"0", "25", "125", "500", "1.8 k", "7 k", "26 k"},
    {"0", "5", "35", "100", "200", "500", "2,400"},
    {"16:1", "4:1", "2:1", "1:1", "1:2", "1:4", "1:16"},
    {"-60", "-40", "-20", "0", "+20", "+40", "+60"},
    {"1", "1.17", "1.33", "1.5", "1.67", "1.83", "2"},
    {"0", "5", "20", "45", "80", "125", "180"},
    {"0", "2.8", "11", "25", "44", "69", "100"},
};

double frequency(double t, const KnobContext& c)
{
    const double q0 = 0.922924;
    const double q = q0 + 0.077076 * t;
    const double f = std::max(26000.0, c.analysis_fmax);
    return (std::pow(q, 100.0) - std::pow(q0, 100.0)) * f / (1.0 - std::pow(q0, 100.0)) + 0.02;
}

double time_resolution(double t, const KnobContext& c)
{
    const double u = 6.0 * t;
    double v = (std::exp2(0.12 * u * u * u - 1.32 * u * u + 35.04 * t - 2.2) - std::exp2(-2.2)) * 0.9923703655344638 + 0.01;
    // Fewer pixels per second than this would make a sound longer than the synthesis can hold.
    if (c.image_width > 0 && c.sample_rate > 0)
        v = std::max(v, (double)c.sample_rate * (double)c.image_width / 2e9);
    return v;
}

double gamma_value(double t)
{
    const double u = 6.0 * t;
    double g = u >= 1.0 ? u : u - (u - 1.0) * (u - 1.0);
    if (g > 5.0)
        g += (g - 5.0) * (g - 5.0);
    return 1.0 / std::exp2(g - 3.0);
}

std::string format(const char* f, double v)
{
    char text[64];
    snprintf(text, sizeof text, f, v);
    return text;
}

std::string decibels(double v)
{
    if (std::fabs(v) <= 0.001)
        return "0.0";
    return format(v > 0.0 ? "+%.1f" : "%.1f", v);
}

}  // namespace

const char* knob_name(int knob) { return knob >= 0 && knob < knob_count ? names[knob] : ""; }
const char* knob_unit(int knob) { return knob >= 0 && knob < knob_count ? units[knob] : ""; }
const char* const* knob_scale_labels(int knob) { return labels[std::clamp(knob, 0, knob_count - 1)]; }

double knob_value(int knob, double angle, const KnobContext& c)
{
    const double t = std::clamp(angle / knob_full_angle, 0.0, 1.0);
    switch (knob) {
    case knob_volume: return 60.0 * t - 30.0;
    case knob_min_frequency:
    case knob_max_frequency: return frequency(t, c);
    case knob_time_resolution: return time_resolution(t, c);
    case knob_gamma: return gamma_value(t);
    case knob_layer_intensity: return 120.0 * t - 60.0;
    case knob_frequency_scale: return t + 1.0;
    case knob_spray_width: return 5.0 * (6.0 * t) * (6.0 * t);
    case knob_tool_intensity: return t * t >= 0.9999999 ? 1.0 : t * t;
    default: return NAN;
    }
}

double knob_angle_for_value(int knob, double value, const KnobContext& c)
{
    if (knob < 0 || knob >= knob_count || !std::isfinite(value))
        return 0.0;
    // Gamma falls as the knob turns: its reciprocal rises.
    const bool reciprocal = knob == knob_gamma;
    auto f = [&](double a) {
        double v = knob_value(knob, a, c);
        return reciprocal ? 1.0 / v : v;
    };
    if (reciprocal) {
        if (value <= 0.0)
            return knob_full_angle;
        value = 1.0 / value;
    }
    if (value <= f(0.0))
        return 0.0;
    if (value >= f(knob_full_angle))
        return knob_full_angle;
    double lo = 0.0, hi = knob_full_angle;
    double previous = NAN;
    for (int i = 0; i < 200; i++) {
        const double mid = 0.5 * (lo + hi);
        const double v = f(mid);
        if (v == previous)
            break;
        previous = v;
        if (v < value)
            lo = mid;
        else
            hi = mid;
    }
    return 0.5 * (lo + hi);
}

std::string knob_value_text(int knob, double v)
{
    switch (knob) {
    case knob_volume:
    case knob_layer_intensity: return decibels(v);
    case knob_min_frequency:
    case knob_max_frequency: return format(v < 100.0 ? "%.1f" : "%.0f", v);
    case knob_time_resolution: return format(v < 10.0 ? "%.2f" : v < 100.0 ? "%.1f" : "%.0f", v);
    case knob_gamma:
        // A bisected gamma of 1 may miss 1 in the last bits; it still reads "1 : 1".
        if (std::fabs(v - 1.0) < 1e-6)
            return "1 : 1";
        return v < 1.0 ? format("1 : %.1f", 1.0 / v) : format("%.1f : 1", v);
    case knob_frequency_scale:
        if (v == 1.0)
            return "LINEAR";
        if (v == 2.0)
            return "LOG";
        return format("%.2f", v);
    case knob_spray_width: return format(v < 10.0 ? "%.1f" : "%.0f", v);
    case knob_tool_intensity: return format("%.1f%%", 100.0 * v);
    default: return "";
    }
}

void knob_set_value(Knobs& k, int knob, double value, const KnobContext& c)
{
    if (knob < 0 || knob >= knob_count)
        return;
    k.angle[knob] = knob_angle_for_value(knob, value, c);
    k.value[knob] = value;
}

void knob_set_angle(Knobs& k, int knob, double angle, const KnobContext& c)
{
    if (knob < 0 || knob >= knob_count)
        return;
    k.angle[knob] = std::clamp(angle, 0.0, knob_full_angle);
    k.value[knob] = knob_value(knob, k.angle[knob], c);
}

void knobs_default_values(Knobs& k, double fmin, double fmax, double time_resolution, const KnobContext& c)
{
    knob_set_value(k, knob_min_frequency, fmin, c);
    knob_set_value(k, knob_max_frequency, fmax, c);
    knob_set_value(k, knob_time_resolution, time_resolution, c);
    k.angle[knob_gamma] = 0.5 * knob_full_angle;
    k.value[knob_gamma] = 1.0;
    k.angle[knob_frequency_scale] = knob_full_angle;
    k.value[knob_frequency_scale] = 2.0;
}
