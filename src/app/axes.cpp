#include "app/axes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/view_coords.h"
#include "engine/scale.h"
#include "project/units.h"

float frequency_of_row(const FrequencyScale& s, float row)
{
    if (s.rows <= 1)
        return NAN;
    return display_scale_to_freq(1.0f - row / (float)(s.rows - 1), s.fmin, s.fmax, s.base);
}

float row_of_frequency(const FrequencyScale& s, float hz)
{
    if (s.rows <= 1)
        return NAN;
    return (float)(s.rows - 1) * (1.0f - display_freq_to_scale(hz, s.fmin, s.fmax, s.base));
}

std::string frequency_label_text(double hz, int precision)
{
    char text[64];
    if (hz < 100.0)
        std::snprintf(text, sizeof text, "%.1f Hz \x97", hz);
    else if (hz < 1000.0)
        std::snprintf(text, sizeof text, "%.0f Hz \x97", hz);
    else
        std::snprintf(text, sizeof text, "%.*f kHz \x97", std::clamp(precision, 0, 3), hz / 1000.0);
    return text;
}

std::string time_label_text(double seconds, bool milliseconds)
{
    if (!std::isfinite(seconds) || seconds < 0.0)
        seconds = 0.0;
    const double whole = std::floor(seconds);
    const double ms = std::min(999.0, std::nearbyint((seconds - whole) * 1000.0));
    const double h = std::floor(whole / 3600.0), m = std::floor(std::fmod(whole, 3600.0) / 60.0),
                 s = std::fmod(whole, 60.0);
    char text[96];
    if (milliseconds) {
        if (seconds >= 3600.0)
            std::snprintf(text, sizeof text, "%.0f:%02.0f'%02.0f\"%03.0f", h, m, s, ms);
        else if (seconds >= 60.0)
            std::snprintf(text, sizeof text, "%.0f'%02.0f\"%03.0f", m, s, ms);
        else
            std::snprintf(text, sizeof text, "%.0f\"%03.0f", s, ms);
    } else {
        if (seconds >= 3600.0)
            std::snprintf(text, sizeof text, "%.0f:%02.0f'%02.0f\"", h, m, s);
        else if (seconds >= 60.0)
            std::snprintf(text, sizeof text, "%.0f'%02.0f\"", m, s);
        else
            std::snprintf(text, sizeof text, "%.0f\"", s);
    }
    return text;
}

namespace {

// Screen rows taken by labels, over the window's height plus a label's reach below it.
struct Occupancy {
    int origin = 0;
    std::vector<char> taken;

    Occupancy(int top, int bottom) : origin(top), taken((size_t)std::max(0, bottom - top), 0) {}
    bool free(int from, int length) const
    {
        for (int i = from; i < from + length; i++) {
            const int k = i - origin;
            if (k >= 0 && k < (int)taken.size() && taken[(size_t)k])
                return false;
        }
        return true;
    }
    void take(int from, int length)
    {
        for (int i = from; i < from + length; i++) {
            const int k = i - origin;
            if (k >= 0 && k < (int)taken.size())
                taken[(size_t)k] = 1;
        }
    }
    // Every taken band grows by `margin` on both sides.
    void widen(int margin)
    {
        std::vector<char> wider(taken.size(), 0);
        for (int k = 0; k < (int)taken.size(); k++)
            if (taken[(size_t)k])
                for (int d = -margin; d <= margin; d++)
                    if (k + d >= 0 && k + d < (int)taken.size())
                        wider[(size_t)(k + d)] = 1;
        taken.swap(wider);
    }
};

// The visible frequency range: the top and bottom visible rows' frequencies.
bool visible_range(const ViewState& v, const FrequencyScale& s, double& low, double& high)
{
    if (s.rows <= 0 || v.visible_rows <= 0)
        return false;
    high = frequency_of_row(s, (float)v.first_row);
    low = frequency_of_row(s, (float)(v.first_row + v.visible_rows - 1));
    if (s.base > 1.0f)
        low = std::max(low, (double)axis_lowest_frequency);
    return std::isfinite(low) && std::isfinite(high) && high >= low;
}

int screen_row_of(const ViewState& v, const ScreenLayout& l, const FrequencyScale& s, double hz)
{
    return (int)std::floor(view_y_of(v, l, row_of_frequency(s, (float)hz)));
}

}  // namespace

std::vector<AxisLabel> frequency_axis_labels(const ViewState& v, const ScreenLayout& l, const FrequencyScale& s,
                                             int label_height, int scale)
{
    std::vector<AxisLabel> labels;
    double low = 0.0, high = 0.0;
    if (!visible_range(v, s, low, high) || l.image_height <= 0)
        return labels;
    const int h = std::max(1, label_height);
    const int top = l.image_y, bottom = l.image_y + l.image_height;
    const int margin = 4 * std::max(1, scale);
    Occupancy rows(top - 4 * h, bottom + 4 * h);

    // The ends of the visible range: the top label at the first row, the bottom one at the last.
    labels.push_back({top, frequency_label_text(high, 3)});
    rows.take(top, h);
    labels.push_back({bottom - 1, frequency_label_text(low, 3)});
    rows.take(bottom - 1, h);

    static const double steps[] = {10000, 5000, 2000, 1000, 500, 200, 100, 50, 20, 10, 5, 2, 1};
    bool any = false;
    int empty_steps = 0;
    for (double step : steps) {
        const int precision = step >= 1000 ? 0 : step >= 100 ? 1 : step >= 10 ? 2 : 3;
        int placed = 0;
        for (double k = std::ceil(low / step); k * step <= high; k++) {
            const double hz = k * step;
            if (hz <= 0.0)
                continue;
            const int y = screen_row_of(v, l, s, hz);
            if (y < top || y >= bottom || !rows.free(y, h))
                continue;
            rows.take(y, h);
            labels.push_back({y, frequency_label_text(hz, precision)});
            placed++;
        }
        rows.widen(margin);
        if (placed)
            any = true;
        else if (any && ++empty_steps == 3)
            break;
    }
    return labels;
}

std::vector<AxisLabel> note_axis_labels(const ViewState& v, const ScreenLayout& l, const FrequencyScale& s,
                                        int label_height)
{
    std::vector<AxisLabel> labels;
    double low = 0.0, high = 0.0;
    if (!visible_range(v, s, low, high) || l.image_height <= 0 || low <= 0.0)
        return labels;
    const int h = std::max(1, label_height);
    const int top = l.image_y, bottom = l.image_y + l.image_height;
    Occupancy rows(top - 2 * h, bottom + 2 * h);
    const int n_low = (int)std::ceil(note_to_number((float)low) - 1e-4f);
    const int n_high = (int)std::floor(note_to_number((float)high) + 1e-4f);
    for (int pass = 0; pass < 2; pass++) {
        for (int n = n_high; n >= n_low; n--) {
            const int p = ((n % 12) + 12) % 12;
            if ((pass == 0) != (p == 0))
                continue;
            const int y = screen_row_of(v, l, s, number_to_note((float)n));
            if (y < top || y >= bottom || !rows.free(y, 2 * h))
                continue;
            rows.take(y, h);
            const int octave = (n - p) / 12;
            labels.push_back({y, std::string("\x97 ") + note_names[p] + std::to_string(octave)});
        }
    }
    return labels;
}

std::vector<AxisLabel> time_axis_labels(const ViewState& v, const ScreenLayout& l, int window_width, int scale,
                                        float time_resolution)
{
    std::vector<AxisLabel> labels;
    if (v.visible_columns <= 0 || !(time_resolution > 0.0f))
        return labels;
    const int sc = std::max(1, scale);
    const double t0 = v.first_column / (double)time_resolution;
    const double t1 = (v.first_column + v.visible_columns - 1) / (double)time_resolution;
    const int left = 121 * sc, span = window_width - 180 * sc, room = 48 * sc;
    labels.push_back({left, time_label_text(t0, true)});
    labels.push_back({window_width - 60 * sc, time_label_text(t1, true)});
    if (span <= 0 || !(t1 > t0))
        return labels;

    std::vector<char> taken((size_t)window_width + (size_t)room, 0);
    auto take = [&](int x) {
        for (int i = std::max(0, x); i < x + room && i < (int)taken.size(); i++)
            taken[(size_t)i] = 1;
    };
    auto free = [&](int x) {
        for (int i = std::max(0, x); i < x + room && i < (int)taken.size(); i++)
            if (taken[(size_t)i])
                return false;
        return true;
    };
    take(labels[0].position);
    take(labels[1].position);

    // Intervals in milliseconds, so that every multiple is exact.
    static const long long intervals[] = {60000, 30000, 10000, 5000, 1000, 500, 100, 50, 10, 5, 1};
    const int most = (window_width / sc - 180) / 96;
    int placed = 0;
    const double ms0 = t0 * 1000.0, ms1 = t1 * 1000.0;
    for (long long step : intervals) {
        if (placed >= most)
            break;
        // Columns at most one label per 48: finer intervals than that cannot place anything new.
        if ((ms1 - ms0) / step > 4.0 * span)
            break;
        for (long long k = (long long)std::floor(ms0 / step) + 1; (double)(k * step) < ms1 && placed < most; k++) {
            const double ms = (double)(k * step);
            if (ms <= ms0)
                continue;
            const int x = left + (int)std::floor(span * (ms - ms0) / (ms1 - ms0));
            if (!free(x))
                continue;
            take(x);
            labels.push_back({x, time_label_text(ms / 1000.0, step < 1000)});
            placed++;
        }
    }
    return labels;
}
