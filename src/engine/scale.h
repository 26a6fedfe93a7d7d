// The frequency axis of every picture: which frequency a row holds, and the size of an
// analysed picture. Row 0 is the top (fmax); a row or band is placed by its scale position
// t in [0, 1] (0 at fmin, 1 at fmax); positions outside are extrapolated by the same formulas.
//
// The base B shapes the axis: 1 is linear, 2 logarithmic, values between blend the two.
// Every formula is homogeneous in (f, a, b), so Hz and frequencies normalised by the sample
// rate work alike. All arithmetic is single precision.
#pragma once

// The engine's base, one value for the whole process. Every engine entry point (analysis,
// each synthesis block, noise set-up) stores the base it was given before using the scale;
// concurrent users all store the same project value. Starts at 2.
void set_scale_base(float base);
float get_scale_base();

// Engine forms, reading the stored base. The linear form is used when the base is exactly 1.
float scale_to_freq(float t, float a, float b);
float freq_to_scale(float f, float a, float b);
// freq_to_scale over many frequencies of one range: the parts that depend only on the range
// and base are computed once; every value is the one freq_to_scale gives, to the bit.
struct ScaleMapping {
    float a = 0.0f, b = 0.0f, o = 0.0f, stretch = 0.0f, log_base = 0.0f;
    bool linear = true;
};
ScaleMapping freq_to_scale_mapping(float a, float b);
float freq_to_scale_mapped(const ScaleMapping& m, float f);
// ln x / ln B, or x itself on a linear scale.
float log_scale_base(float x);

// Display and tool forms: the base is passed in, and the logarithmic form is chosen by
// base > 1 (anything at or below 1 reads as linear).
float display_scale_to_freq(float t, float a, float b, float base);
float display_freq_to_scale(float f, float a, float b, float base);
float display_log_scale_base(float x, float base);

// Rows of an analysed picture from its frequency range and pitch resolution P (rows per
// octave): trunc((log2 fmax - log2 fmin) * P + 1.5). 0 when the inputs give no usable count.
int analysis_image_height(float fmin, float fmax, float pitch_resolution);
// Columns of an analysed picture of `samples` samples: trunc(n * (R / s)) in single
// precision, R the time resolution (columns per second), s the sample rate. 0 when unusable.
int analysis_image_width(long long samples, float time_resolution, int sample_rate);
