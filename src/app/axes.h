// The labels around the picture: frequencies in the left margin, note names in the right
// margin, times along the bottom edge. Computed as positions and texts (Windows-1252) so that
// placement is decided apart from drawing.
#pragma once
#include <string>
#include <vector>

#include "app/layout.h"
#include "commands/view.h"

struct AxisLabel {
    int position = 0;   // screen row (frequency and note labels) or column (time labels)
    std::string text;
};

// What ties rows to frequencies: the project's range and scale base over `rows` rows, the top
// row at fmax and the bottom one at fmin.
struct FrequencyScale {
    float fmin = 27.5f, fmax = 20000.0f, base = 2.0f;
    int rows = 0;
};

// The lowest frequency a label names on a logarithmic scale.
constexpr float axis_lowest_frequency = 0.026855469f;

// Frequency of a fractional image row, and the image row of a frequency.
float frequency_of_row(const FrequencyScale& s, float row);
float row_of_frequency(const FrequencyScale& s, float hz);

// "%.1f Hz", "%.0f Hz" or the kHz value at `precision` 0 to 3, then " " and the 0x97 dash.
std::string frequency_label_text(double hz, int precision);
// Seconds in the time-axis formats; with `milliseconds` the three-digit millisecond part
// (rounded, never 1000) follows the seconds mark.
std::string time_label_text(double seconds, bool milliseconds);

// Frequency labels of the visible rows, `label_height` screen rows tall: the top and bottom
// frequencies first, then the multiples of the candidate steps that fit; after each step the
// taken bands widen by 4 logical rows (times the interface scale).
std::vector<AxisLabel> frequency_axis_labels(const ViewState& v, const ScreenLayout& l, const FrequencyScale& s,
                                             int label_height, int scale = 1);
// Note names at octaves first, then every semitone, each where it fits.
std::vector<AxisLabel> note_axis_labels(const ViewState& v, const ScreenLayout& l, const FrequencyScale& s,
                                        int label_height);
// Time labels: the first and last visible columns' times, then the multiples of the candidate
// intervals that fit, at most (width − 180) / 96 of them (logical pixels).
std::vector<AxisLabel> time_axis_labels(const ViewState& v, const ScreenLayout& l, int window_width, int scale,
                                        float time_resolution);
