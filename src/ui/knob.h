// The button bar's nine knobs: the value each angle stands for, the angle that shows a value,
// and the texts around a knob. An angle runs from 0 to 1.5π; t = angle / (1.5π).
#pragma once
#include <string>

enum : int {
    knob_volume,
    knob_min_frequency,
    knob_max_frequency,
    knob_time_resolution,
    knob_gamma,
    knob_layer_intensity,
    knob_frequency_scale,
    knob_spray_width,
    knob_tool_intensity,
    knob_count,
};

constexpr double knob_full_angle = 1.5 * 3.14159265358979323846;

// What some knobs' values depend on besides the angle.
struct KnobContext {
    double analysis_fmax = 20000.0;   // the frequency knobs reach the larger of this and 26 kHz
    int sample_rate = 44100;          // with the image width: the time resolution's lower cap
    int image_width = 0;
};

// The knobs' angles and the values they show.
struct Knobs {
    double angle[knob_count] = {};
    double value[knob_count] = {};
};

const char* knob_name(int knob);
const char* knob_unit(int knob);
// The seven scale labels, from angle 0 to full travel.
const char* const* knob_scale_labels(int knob);

// The value at `angle` (clamped to the knob's travel); NaN for an unknown knob.
double knob_value(int knob, double angle, const KnobContext& context);
// The angle showing `value`, by bisection of the value function (of its reciprocal for the
// decreasing Gamma knob) until the midpoint's value stops changing; the ends of the travel for
// values at or beyond the ends' values.
double knob_angle_for_value(int knob, double value, const KnobContext& context);
// The value as the knob shows it ("+6.0", "1 : 2.0", "LOG", "25.0%").
std::string knob_value_text(int knob, double value);

// Sets a knob to the value (angle found by bisection, value kept as given).
void knob_set_value(Knobs& knobs, int knob, double value, const KnobContext& context);
// Sets a knob to the angle and its value from it.
void knob_set_angle(Knobs& knobs, int knob, double angle, const KnobContext& context);
// "Default Values": the frequency range and time resolution from the analysis preferences, the
// Gamma knob to mid-travel (gamma 1), the Frequency scale knob to full travel (base 2). The
// other knobs keep their values.
void knobs_default_values(Knobs& knobs, double fmin, double fmax, double time_resolution, const KnobContext& context);
