#include "project/units.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/scale.h"
#include "support/expression.h"
#include "support/log.h"

static const char* const unit_names[unit_count] = {"", "px", "%", "sec", "Hz", "st", "note"};

const char* const note_names[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

int unit_index(const char* name)
{
    if (!name)
        return unit_none;
    for (int i = 0; i < unit_count; i++)
        if (strcmp(name, unit_names[i]) == 0)
            return i;
    log_printf(stderr, "Unrecognised unit: %s\n", name);
    return unit_none;
}

const char* unit_name(int index) { return index >= 0 && index < unit_count ? unit_names[index] : ""; }

int value_unit(const char* text, int unit, int horizontal)
{
    if (!horizontal && text && text[0] >= 'A' && text[0] <= 'G')
        return unit_note;
    return unit;
}

float number_to_note(float n) { return (float)(440.0 * pow(2.0, ((double)n - 57.0) / 12.0)); }

float note_to_number(float f)
{
    float ratio = f * 0.0022727272f;
    if (!(ratio > 0.0f))
        return NAN;
    return (float)(12.0 * log((double)ratio) / log(2.0) + 57.0);
}

float read_note(const char* text)
{
    if (!text)
        return NAN;
    char name[16];
    int octave = 0;
    float cents = 0.0f;
    int fields = sscanf(text, "%15[A-G#]%d%g", name, &octave, &cents);
    if (fields < 2)
        return NAN;
    for (int i = 0; i < 12; i++)
        if (strcmp(name, note_names[i]) == 0)
            return (float)i + 12.0f * (float)octave + cents * 0.01f;
    return NAN;
}

// Both divisions of the picture (W - 1 columns, H - 1 rows) may be zero on a tiny picture;
// any conversion that would divide by them, or that ends up infinite, is invalid.
static float valid(float v) { return std::isfinite(v) ? v : NAN; }

static float to_pixels(float v, int unit, const Project& p, int horizontal)
{
    float rows = (float)(p.height - 1);
    switch (unit) {
    case unit_px:
        return v;
    case unit_percent:
        return v * (float)(horizontal ? p.width - 1 : p.height) * 0.01f;
    case unit_sec:
        return v * p.time_resolution;
    case unit_hz:
        return rows - display_freq_to_scale(v, p.fmin, p.fmax, p.scale_base) * rows;
    case unit_st:
        if (!(p.scale_base > 1.0f))
            return NAN;
        return v / 12.0f * rows /
               (display_log_scale_base(p.fmax, p.scale_base) - display_log_scale_base(p.fmin, p.scale_base));
    case unit_note:
        return to_pixels(number_to_note(v), unit_hz, p, horizontal);
    default:
        return NAN;
    }
}

static float from_pixels(float v, int unit, const Project& p, int horizontal)
{
    float rows = (float)(p.height - 1);
    switch (unit) {
    case unit_px:
        return v;
    case unit_percent: {
        float base = (float)(horizontal ? p.width - 1 : p.height);
        return base != 0.0f ? v * 100.0f / base : NAN;
    }
    case unit_sec:
        return p.time_resolution != 0.0f ? v / p.time_resolution : NAN;
    case unit_hz:
        if (rows == 0.0f)
            return NAN;
        return display_scale_to_freq(1.0f - v / rows, p.fmin, p.fmax, p.scale_base);
    case unit_st:
        if (rows == 0.0f)
            return NAN;
        return v * 12.0f *
               (display_log_scale_base(p.fmax, p.scale_base) - display_log_scale_base(p.fmin, p.scale_base)) / rows;
    case unit_note:
        return note_to_number(from_pixels(v, unit_hz, p, horizontal));
    default:
        return NAN;
    }
}

float convert_unit(float value, char* text, size_t text_size, int from_unit, int to_unit,
                   const Project& p, int horizontal, int to_text)
{
    if (!to_text && text)
        value = from_unit == unit_note ? read_note(text) : (float)evaluate_expression(text);
    else if (from_unit == unit_note)
        value = NAN;
    if (from_unit == to_unit && !to_text)
        return value;

    float pixels = valid(to_pixels(value, from_unit, p, horizontal));
    float result = valid(from_pixels(pixels, to_unit, p, horizontal));

    if (to_text && text && text_size > 0) {
        if (to_unit == unit_note && !std::isnan(result))
            format_note(result, text, text_size, 0);
        else
            snprintf(text, text_size, "%g", (double)result);
    }
    return result;
}

float convert_unit(float value, const char* text, int from_unit, int to_unit, const Project& p, int horizontal)
{
    // The reading path never writes into the text.
    return convert_unit(value, const_cast<char*>(text), 0, from_unit, to_unit, p, horizontal, 0);
}

void format_note(float n, char* text, size_t text_size, int verbose)
{
    if (!text || text_size == 0)
        return;
    std::string out = verbose ? std::string(text, strnlen(text, text_size)) : std::string();
    // Far beyond any audible note, the octave would not fit the text's integer.
    if (!std::isfinite(n) || std::fabs(n) > 1.0e8f) {
        out += verbose ? " (nan)" : "nan";
        snprintf(text, text_size, "%s", out.c_str());
        return;
    }
    float k = nearbyintf(n);
    int note = (int)k;
    int pitch_class = ((note % 12) + 12) % 12;
    // Floor division: the octave under C0 is -1, so B-1 reads back as note -1.
    int octave = (note - pitch_class) / 12;
    float cents = (n - k) * 100.0f;
    // Rounding noise of the note number must not show as a minus sign.
    if (std::fabs(cents) < 0.001f)
        cents = 0.0f;

    char buffer[64];
    if (verbose) {
        snprintf(buffer, sizeof buffer, " (%s%d %+03.0f)", note_names[pitch_class], octave, (double)cents);
        out += buffer;
    } else {
        snprintf(buffer, sizeof buffer, "%s%d%+06.2f", note_names[pitch_class], octave, (double)cents);
        size_t length = strlen(buffer);
        while (length > 0 && buffer[length - 1] == '0')
            length--;
        if (length > 0 && buffer[length - 1] == '.')
            length--;
        out.assign(buffer, length);
    }
    snprintf(text, text_size, "%s", out.c_str());
}

// Does `pattern` ('d' a digit, anything else itself) match `text` at `at`?
static bool matches_at(const char* text, size_t at, const char* pattern)
{
    for (size_t i = 0; pattern[i]; i++) {
        char c = text[at + i];
        if (pattern[i] == 'd' ? !(c >= '0' && c <= '9') : c != pattern[i])
            return false;
    }
    return true;
}

double parse_time_value(const char* text)
{
    if (!text)
        return NAN;
    static const char* const patterns[4] = {"dd:dd:dd", "d:dd:dd", "dd:dd", "d:dd"};
    size_t length = strlen(text);
    for (int k = 0; k < 4; k++) {
        size_t span = strlen(patterns[k]);
        if (span > length)
            continue;
        for (size_t at = length - span + 1; at-- > 0;) {
            if (!matches_at(text, at, patterns[k]))
                continue;
            double h = 0.0, m = 0.0, s = 0.0;
            if (k < 2)
                sscanf(text + at, "%lg:%lg:%lg", &h, &m, &s);
            else
                sscanf(text + at, "%lg:%lg", &m, &s);
            return (h * 60.0 + m) * 60.0 + s;
        }
    }
    double v;
    return sscanf(text, "%lg", &v) == 1 ? v : NAN;
}

static double floored_mod(double x, double m) { return x - std::floor(x / m) * m; }

void format_time(double t, char* text, size_t text_size, int mode)
{
    if (!text || text_size == 0)
        return;
    text[0] = '\0';
    if (mode < 0 || mode > 3 || !std::isfinite(t))
        return;
    double h = std::floor(t / 3600.0);
    double m = floored_mod(std::floor(t / 60.0), 60.0);
    double s = std::floor(floored_mod(t, 60.0));
    double rest = floored_mod(t * 1000.0, 1000.0);
    // Rounding 999.5 up would read as 1000 ms beside a second that has not yet turned over.
    double ms = rest >= 999.0 ? 999.0 : std::nearbyint(rest);

    if (mode == 0) {
        if (t >= 3600.0)
            snprintf(text, text_size, "%.0f:%02.0f'%02.0f\"", h, m, s);
        else if (t >= 60.0)
            snprintf(text, text_size, "%.0f'%02.0f\"", m, s);
        else
            snprintf(text, text_size, "%.0f\"", s);
    } else {
        if (t >= 3600.0)
            snprintf(text, text_size, "%.0f:%02.0f'%02.0f\"%03.0f", h, m, s, ms);
        else if (t >= 60.0)
            snprintf(text, text_size, "%.0f'%02.0f\"%03.0f", m, s, ms);
        else
            snprintf(text, text_size, "%.0f\"%03.0f", s, ms);
    }
}

void format_cursor_readout(double seconds, float freq, char* text, size_t text_size)
{
    if (!text || text_size == 0)
        return;
    if (seconds == 0.0) {
        snprintf(text, text_size, "%.2f Hz", (double)freq);
    } else {
        char time_text[64];
        format_time(seconds, time_text, sizeof time_text, 1);
        snprintf(text, text_size, "%s - %.2f Hz", time_text, (double)freq);
    }
    format_note(note_to_number(freq), text, text_size, 1);
}
