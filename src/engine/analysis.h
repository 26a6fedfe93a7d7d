// Sound to spectrogram. The whole sound is transformed once; each picture row is a band cut
// out of that spectrum with a Hann window laid out in scale position, shifted down to
// baseband, transformed back at a short length, and its analytic-signal magnitude (the band's
// envelope) becomes the row. Lossless synthesis cuts bands with the same geometry, so an
// unedited picture reproduces the sound it came from.
#pragma once
#include <atomic>

#include "engine/image.h"

struct AnalysisParameters {
    float fmin = 27.5f, fmax = 20000.0f;        // Hz of the bottom and top rows
    float time_resolution = 100.0f;             // R: columns per second
    float transition_time_resolution = 100.0f;  // T: wide bands are T Hz wide (1/T s in time)
    float pitch_resolution = 60.0f;             // P: rows per octave
    float min_pitch_resolution = 24.0f;         // Pmin: no band spans more than 2/Pmin octaves
    float scale_base = 2.0f;                    // B: 1 linear, 2 logarithmic
    bool constant_time_resolution = false;      // lifts the Pmin limit: every band is T Hz wide
};

// Progress of the analysis under way, rising from 0 to 1: the fraction of rows finished.
// Written by the analysing threads, read by any other (the progress window).
extern std::atomic<double> analysis_progress;

// Analyses `n` mono samples at `sample_rate` into a new picture of `rows` rows (usually
// analysis_image_height of the parameters) and trunc(n * R / sample_rate) columns, stored in
// *columns. Row 0 is the band at fmax, row rows-1 the band at fmin. Stores the parameters'
// scale base as the engine's base.
//
// `threads` workers share the bands (0: one per processor, counting the caller). The picture
// is the same to the bit for every thread count.
//
// A sound shorter than one column gives 0 columns and null. Parameters that describe no
// usable picture (fewer than 2 rows, an empty or non-positive frequency range, non-finite
// values, a picture or transform beyond the size limits) log one line and give null.
// Non-finite samples are analysed as silence.
//
// `cancel`, when given and raised by another thread, stops the analysis between bands: the
// bands still to come are skipped and the result is null (nothing logged: the canceller says).
Image analyse_sound(const float* sound, int n, int sample_rate, int rows,
                    const AnalysisParameters& parameters, int* columns, int threads = 0,
                    const std::atomic<bool>* cancel = nullptr);

// Divides every pixel by the largest absolute value, so that the peak becomes exactly 1.0
// (or -1.0). An all-zero picture, or one whose peak is not finite, is left as it is.
// Returns the peak found.
float scale_image_to_unit_peak(Image image, int rows, int columns);
