#include "ui/analysis_params.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "commands/app.h"
#include "support/expression.h"
#include "support/prefs.h"
#include "ui/dialog_layout.h"

namespace {

constexpr int max_field = analysis_row_count;  // index of the frequency row's maximum

std::string number_text(double v)
{
    char buf[64];
    snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

// The project's value behind each field.
template <class P>
auto project_value(P& p, int index) -> decltype(&p.analysis_fmin)
{
    switch (index) {
    case 0: return &p.analysis_fmin;
    case max_field: return &p.analysis_fmax;
    case analysis_row_time: return &p.analysis_time_resolution;
    case analysis_row_pitch: return &p.pitch_resolution;
    case analysis_row_min_pitch: return &p.min_pitch_resolution;
    case analysis_row_transition: return &p.transition_time_resolution;
    case analysis_row_scale: return &p.analysis_scale_base;
    default: return nullptr;
    }
}

int row_of(int index) { return index == max_field ? analysis_row_frequency : index; }

bool row_is_default(const AnalysisParamsDialog& d, int row)
{
    auto same = [&](int index) { return evaluate_expression(d.fields[index].text.c_str()) == d.defaults[index]; };
    return row == analysis_row_frequency ? same(0) && same(max_field) : same(row);
}

// A value the analysis can use: positive and finite (the minimum pitch resolution may be 0,
// which chooses a constant time resolution), and a frequency range that is not empty.
void write_to_project(AnalysisParamsDialog& d, Project& p, int index)
{
    const double v = evaluate_expression(d.fields[index].text.c_str());
    const bool zero_allowed = index == analysis_row_min_pitch;
    if (!std::isfinite(v) || v < 0 || (v == 0 && !zero_allowed) || v > 1e9)
        return;
    if (index == 0 && v >= p.analysis_fmax)
        return;
    if (index == max_field && v <= p.analysis_fmin)
        return;
    *project_value(p, index) = (float)v;
}

}  // namespace

void analysis_params_open(AnalysisParamsDialog& d)
{
    d.open = true;
    d.first_frame = 2;
}

void analysis_params_fill(AnalysisParamsDialog& d, const App& app, PrefStore* prefs)
{
    double* def = d.defaults;
    def[0] = 27.5, def[max_field] = 20000, def[analysis_row_time] = 100, def[analysis_row_pitch] = 60;
    def[analysis_row_min_pitch] = 24, def[analysis_row_transition] = 100, def[analysis_row_scale] = 2;
    if (prefs) {
        pref_get_two_numbers(*prefs, "Analysis:Frequency range", 27.5, " - ", 20000, " Hz", &def[0], &def[max_field]);
        def[analysis_row_time] = pref_get_number(*prefs, "Analysis:Time resolution", 100, " pixels/second");
        def[analysis_row_pitch] = pref_get_number(*prefs, "Analysis:Pitch resolution", 60, " pixels/octave");
        def[analysis_row_min_pitch] = pref_get_number(*prefs, "Analysis:Minimum pitch resolution", 24, " pixels/octave");
        def[analysis_row_transition] = pref_get_number(*prefs, "Analysis:Transition time resolution", 100, " pixels/second");
    }
    const Project& p = app.project;
    for (int i = 0; i <= max_field; i++)
        text_field_set(d.fields[i], number_text(*project_value(p, i)));
    for (int r = 0; r < analysis_row_count; r++)
        d.use_default[r] = row_is_default(d, r) ? 1 : 0;
    d.channel = 300 + std::clamp(p.channel_selection, 0, 2);
}

void analysis_params_edited(AnalysisParamsDialog& d, App& app, int index)
{
    write_to_project(d, app.project, index);
    const int row = row_of(index);
    if (!row_is_default(d, row))
        d.use_default[row] = 0;
}

void analysis_params_use_default(AnalysisParamsDialog& d, App& app, int row)
{
    d.use_default[row] = 1;
    if (row == analysis_row_frequency) {
        // Both ends at once, so that the range is never empty on the way.
        text_field_set(d.fields[0], number_text(d.defaults[0]));
        text_field_set(d.fields[max_field], number_text(d.defaults[max_field]));
        if (d.defaults[0] > 0 && d.defaults[max_field] > d.defaults[0]) {
            app.project.analysis_fmin = (float)d.defaults[0];
            app.project.analysis_fmax = (float)d.defaults[max_field];
        }
        return;
    }
    text_field_set(d.fields[row], number_text(d.defaults[row]));
    write_to_project(d, app.project, row);
}

void analysis_params_save_defaults(AnalysisParamsDialog& d, const App& app, PrefStore& prefs, double now)
{
    const Project& p = app.project;
    pref_set_two_numbers(prefs, "Analysis:Frequency range", p.analysis_fmin, " - ", p.analysis_fmax, " Hz");
    pref_set_number(prefs, "Analysis:Pitch resolution", p.pitch_resolution, " pixels/octave");
    pref_set_number(prefs, "Analysis:Minimum pitch resolution", p.min_pitch_resolution, " pixels/octave");
    pref_set_number(prefs, "Analysis:Time resolution", p.analysis_time_resolution, " pixels/second");
    pref_set_number(prefs, "Analysis:Transition time resolution", p.transition_time_resolution, " pixels/second");
    d.defaults[0] = p.analysis_fmin, d.defaults[max_field] = p.analysis_fmax;
    d.defaults[analysis_row_time] = p.analysis_time_resolution;
    d.defaults[analysis_row_pitch] = p.pitch_resolution;
    d.defaults[analysis_row_min_pitch] = p.min_pitch_resolution;
    d.defaults[analysis_row_transition] = p.transition_time_resolution;
    for (int r = 0; r < analysis_row_count; r++)
        d.use_default[r] = row_is_default(d, r) ? 1 : 0;
    d.saved_at = now;
}

double analysis_params_saved_fade(const AnalysisParamsDialog& d, double now)
{
    if (d.saved_at < 0)
        return 0.0;
    return std::clamp(1.0 - 3.0 * (now - d.saved_at), 0.0, 1.0);
}

void analysis_params_frame(WidgetContext& ctx, App& app, AnalysisParamsDialog& d, PrefStore* prefs, double now,
                           int screen_w, int screen_h)
{
    if (!d.open)
        return;
    const int s = ctx.scale;
    dialog_size_window(dialog_analysis_params, d.window, s);
    if (d.first_frame == 2) {
        analysis_params_fill(d, app, prefs);
        d.window.x = std::max(0, (screen_w - d.window.w) / 2 + 40 * s);
        d.window.y = std::max(0, (screen_h - d.window.h) / 3 + 40 * s);
    }
    d.first_frame = 0;
    floating_window(ctx, 8001, d.window, "Sound analysis parameters", screen_w, screen_h);
    // Row r's elements: 220 + 10 r its first field, + 5 the label before, + 6 after, + 8 its tick.
    const ResolvedLayout lay = dialog_resolve(dialog_analysis_params, d.window, s);
    struct Row {
        const char* before;
        const char* after;
    } rows[analysis_row_count] = {{"Frequency range:", "Hz"},
                                  {"Time resolution:", "px/s"},
                                  {"Pitch resolution:", "px/octave"},
                                  {"Minimum pitch resolution:", "px/octave"},
                                  {"Transition time resolution:", "px/s"},
                                  {"Frequency scale:", "1\xC2\xA0=\xC2\xA0linear 2\xC2\xA0=\xC2\xA0logarithmic"}};
    for (int r = 0; r < analysis_row_count; r++) {
        const int element = 220 + 10 * r;
        label(ctx, dialog_rect(lay, element + 5), rows[r].before);
        const int indexes[2] = {r, r == analysis_row_frequency ? max_field : -1};
        for (int k = 0; k < 2 && indexes[k] >= 0; k++) {
            if (k == 1)
                label(ctx, dialog_rect(lay, 222), "-");
            if (text_field(ctx, d.fields[indexes[k]], dialog_rect(lay, element + k)) & field_changed)
                analysis_params_edited(d, app, indexes[k]);
        }
        label(ctx, dialog_rect(lay, element + 6), rows[r].after);
        if (checkbox(ctx, 8100 + r, dialog_rect(lay, element + 8), "Default", d.use_default[r]) && d.use_default[r])
            analysis_params_use_default(d, app, r);
    }
    label(ctx, dialog_rect(lay, 305), "Channel selection");
    const char* channels[3] = {"Mix to mono", "Left only", "Right only"};
    for (int i = 0; i < 3; i++)
        if (radio(ctx, 8300 + i, dialog_rect(lay, 300 + i), channels[i], d.channel, 300 + i))
            app.project.channel_selection = i;
    if (button(ctx, 8400, dialog_rect(lay, 400), "Save as the new defaults") && prefs)
        analysis_params_save_defaults(d, app, *prefs, now);
    const double fade = analysis_params_saved_fade(d, now);
    if (fade > 0)
        label(ctx, dialog_rect(lay, 401), "\xE2\x9C\x94 Saved", argb((int)std::lround(255 * fade), 140, 230, 140));
    if (d.window.close_clicked)
        d.open = false;
}
