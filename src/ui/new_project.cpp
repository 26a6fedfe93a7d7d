#include "ui/new_project.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "commands/app.h"
#include "commands/history.h"
#include "engine/scale.h"
#include "support/expression.h"
#include "support/prefs.h"
#include "ui/dialog_layout.h"

namespace {

std::string format(const char* f, double v)
{
    char buf[64];
    snprintf(buf, sizeof buf, f, v);
    return buf;
}

std::string format_int(double v)
{
    char buf[64];
    snprintf(buf, sizeof buf, "%d", std::isfinite(v) ? (int)std::clamp(v, -2e9, 2e9) : 0);
    return buf;
}

double number(const TextField& f) { return evaluate_expression(f.text.c_str()); }

struct AnalysisDefaults {
    double fmin = 27.5, fmax = 20000, per_octave = 60, time_resolution = 100;
};

AnalysisDefaults analysis_defaults(const App& app)
{
    AnalysisDefaults a;
    if (app.prefs) {
        pref_get_two_numbers(*app.prefs, "Analysis:Frequency range", 27.5, " - ", 20000, " Hz", &a.fmin, &a.fmax);
        a.per_octave = pref_get_number(*app.prefs, "Analysis:Pitch resolution", 60, " pixels/octave");
        a.time_resolution = pref_get_number(*app.prefs, "Analysis:Time resolution", 100, " pixels/second");
    }
    return a;
}

}  // namespace

void new_project_open(NewProjectDialog& d, int available_width)
{
    d.open = true;
    d.first_frame = 2;
    d.available_width = available_width;
}

void new_project_load_defaults(NewProjectDialog& d, const App& app)
{
    const AnalysisDefaults a = analysis_defaults(app);
    text_field_set(d.width, format_int(d.available_width - 59));
    text_field_set(d.seconds, format("%g", (d.available_width - 60) / a.time_resolution));
    text_field_set(d.per_octave, format("%g", a.per_octave));
    text_field_set(d.time_resolution, format("%g", a.time_resolution));
    text_field_set(d.fmin, format("%g", a.fmin));
    text_field_set(d.fmax, format("%g", a.fmax));
    d.time_radio = 16;
    d.pitch_radio = 36;
    new_project_recompute(d, app, 37);
}

void new_project_recompute(NewProjectDialog& d, const App& app, int element)
{
    if (element == 13)
        d.time_radio = 12;
    else if (element == 17)
        d.time_radio = 16;
    else if (element == 33)
        d.pitch_radio = 32;
    else if (element == 37)
        d.pitch_radio = 36;
    const double r = number(d.time_resolution), fmin = number(d.fmin), fmax = number(d.fmax);
    // A field that does not read as a number leaves the others as they are.
    if (d.time_radio == 16) {
        const double w = std::round(number(d.seconds) * r + 1);
        if (std::isfinite(w))
            text_field_set(d.width, format_int(w));
    } else {
        const double s = (std::round(number(d.width)) - 1) / r;
        if (std::isfinite(s))
            text_field_set(d.seconds, format("%g", s));
    }
    if (d.pitch_radio == 36) {
        const double h = std::round((std::log2(fmax) - std::log2(fmin)) * number(d.per_octave) + 1);
        if (std::isfinite(h))
            text_field_set(d.height, format_int(h));
    } else {
        const float base = app.project.scale_base;
        const double span = display_log_scale_base((float)fmax, base) - display_log_scale_base((float)fmin, base);
        const double p = (number(d.height) - 1) / span;
        if (std::isfinite(p))
            text_field_set(d.per_octave, format("%g", p));
    }
}

std::string new_project_lines(const NewProjectDialog& d, const App& app)
{
    std::string s = "Title \" \"\nClear image\n";
    s += "Frequency range " + d.fmin.text + " Hz - " + d.fmax.text + " Hz\n";
    s += "Time resolution " + d.time_resolution.text + " px/s\n";
    if (d.time_radio == 12)
        s += "Dimensions " + d.width.text + " px x " + d.height.text + " px\n";
    else
        s += "Dimensions " + d.seconds.text + " sec x " + d.height.text + " px\n";
    s += app.project.live_synthesis ? "Synthesis live\n" : "Synthesis noise\n";
    s += "New layer \"Layer 0\"\n\n";
    return s;
}

void new_project_create(NewProjectDialog& d, App& app)
{
    const std::string lines = new_project_lines(d, app);
    history_restart_for_new_project(app.history);
    record_text(app, record_dated, 1, nullptr, lines);
    app.requests.archive_line_executed = 1;
    app.requests.layer_list_refresh = 1;
    app.requests.view_reset = 1;
    d.open = false;
}

void new_project_frame(WidgetContext& ctx, App& app, NewProjectDialog& d, int screen_w, int screen_h)
{
    if (!d.open)
        return;
    const int s = ctx.scale;
    const int L = dialog_new_project;
    dialog_size_window(L, d.window, s);
    if (d.first_frame == 2) {
        new_project_load_defaults(d, app);
        d.window.x = std::max(0, (screen_w - d.window.w) / 2);
        d.window.y = std::max(0, (screen_h - d.window.h) / 3);
    }
    d.first_frame = 0;
    floating_window(ctx, 2001, d.window, dialog_text(L, 0), screen_w, screen_h);
    const ResolvedLayout r = dialog_resolve(L, d.window, s);
    int entered = 0, edited = 0;
    auto field = [&](int element, TextField& f) {
        const int flags = text_field(ctx, f, dialog_rect(r, element));
        if (flags & field_changed)
            edited = element;
        if (flags & field_entered)
            entered = 1;
    };
    for (int element : {10, 14, 18, 30, 34, 38, 70, 74, 80, 84, 85})
        label(ctx, dialog_rect(r, element), dialog_text(L, element));
    radio(ctx, 2012, dialog_rect(r, 12), "", d.time_radio, 12);
    radio(ctx, 2016, dialog_rect(r, 16), "", d.time_radio, 16);
    radio(ctx, 2032, dialog_rect(r, 32), "", d.pitch_radio, 32);
    radio(ctx, 2036, dialog_rect(r, 36), "", d.pitch_radio, 36);
    field(13, d.width);
    field(17, d.seconds);
    field(33, d.height);
    field(37, d.per_octave);
    field(72, d.time_resolution);
    field(82, d.fmin);
    field(83, d.fmax);
    const bool create = button(ctx, 2050, dialog_rect(r, 50), dialog_text(L, 50));
    const bool cancel = button(ctx, 2051, dialog_rect(r, 51), dialog_text(L, 51));
    const bool defaults = button(ctx, 2060, dialog_rect(r, 60), dialog_text(L, 60));
    if (edited)
        new_project_recompute(d, app, edited);
    if (defaults)
        new_project_load_defaults(d, app);
    if (create || entered)
        new_project_create(d, app);
    else if (cancel || d.window.close_clicked)
        d.open = false;
    if (!d.open && ctx.focus && (ctx.focus == &d.width || ctx.focus == &d.seconds || ctx.focus == &d.height ||
                                 ctx.focus == &d.per_octave || ctx.focus == &d.time_resolution ||
                                 ctx.focus == &d.fmin || ctx.focus == &d.fmax))
        ctx.focus = nullptr;
}
