#include "ui/extend_cut.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "commands/app.h"
#include "commands/history.h"
#include "project/units.h"

void extend_cut_open(ExtendCutDialog& d)
{
    d.open = true;
    d.first_frame = 2;
}

std::string extend_cut_command(const ExtendCutDialog& d)
{
    char line[128];
    if (d.chosen == 32)
        snprintf(line, sizeof line, "Crop %.0f %s x 100 %%", knob_value(d.pixels), "px");
    else if (d.chosen == 22)
        snprintf(line, sizeof line, "Crop %g %s x 100 %%", knob_value(d.percent), "%");
    else
        snprintf(line, sizeof line, "Crop %g %s x 100 %%", knob_value(d.seconds), "sec");
    return line;
}

void extend_cut_fit(ExtendCutDialog& d, const App& app)
{
    const Project& p = app.project;
    knob_setup(d.seconds, 0, 0, 4e4, knob_tan, 20, "%.3f", "sec");
    knob_setup(d.percent, 0, 100, 10000, knob_tan, 100, "%.2f", "%");
    knob_setup(d.pixels, 1, 1, 4e6, knob_tan, 2000, "%.0f", "px");
    if (p.width > 0) {
        const double duration = convert_unit(100.0f, nullptr, unit_percent, unit_sec, p, 1);
        const double pixel_duration = convert_unit(1.0f, nullptr, unit_px, unit_sec, p, 1);
        const double pixel_percent = convert_unit(1.0f, nullptr, unit_px, unit_percent, p, 1);
        if (std::isfinite(pixel_duration) && pixel_duration > 0)
            d.seconds.scale.min = pixel_duration;
        if (std::isfinite(duration))
            d.seconds.default_value = std::clamp(duration, d.seconds.scale.min, d.seconds.scale.max);
        if (std::isfinite(pixel_percent) && pixel_percent > 0 && pixel_percent < 100)
            d.percent.scale.min = pixel_percent;
        d.pixels.default_value = std::clamp((double)p.width, 1.0, 4e6);
    }
    knob_set_value(d.seconds, d.seconds.default_value);
    knob_set_value(d.percent, d.percent.default_value);
    knob_set_value(d.pixels, d.pixels.default_value);
}

void extend_cut_frame(WidgetContext& ctx, App& app, ExtendCutDialog& d, int screen_w, int screen_h)
{
    if (!d.open)
        return;
    const int s = ctx.scale;
    if (d.first_frame == 2) {
        extend_cut_fit(d, app);
        d.chosen = 12;
        text_field_set(d.command, extend_cut_command(d));
        d.window.w = 420 * s;
        d.window.h = 330 * s;
        d.window.x = std::max(0, (screen_w - d.window.w) / 2);
        d.window.y = std::max(0, (screen_h - d.window.h) / 3);
    }
    d.first_frame = 0;
    const WidgetRect in = floating_window(ctx, 1001, d.window, "Extend/cut duration", screen_w, screen_h);
    label(ctx, {in.x, in.y, 200 * s, 18 * s}, "Set new duration:");
    struct Column {
        Knob* knob;
        int radio;
        const char* text;
    } columns[3] = {{&d.seconds, 12, "by seconds"}, {&d.percent, 22, "by duration %"}, {&d.pixels, 32, "by pixels"}};
    const int cw = in.w / 3;
    bool regenerate = false;
    for (int i = 0; i < 3; i++) {
        const int x = in.x + i * cw;
        const Column& c = columns[i];
        // Turning a knob chooses its radio.
        if (knob(ctx, 1000 + c.radio - 2, {x, in.y + 22 * s, cw - 6 * s, 100 * s}, "Duration", *c.knob) & knob_changed) {
            d.chosen = c.radio;
            regenerate = true;
        }
        regenerate |= radio(ctx, 1000 + c.radio, {x, in.y + 126 * s, cw - 6 * s, 18 * s}, c.text, d.chosen, c.radio);
    }
    label(ctx, {in.x, in.y + 150 * s, 200 * s, 18 * s}, "Generated command:");
    // Follows the chosen knob; a hand edit stays until a knob or radio changes again.
    if (regenerate)
        text_field_set(d.command, extend_cut_command(d));
    const int f = text_field(ctx, d.command, {in.x, in.y + 170 * s, in.w - 80 * s, 24 * s});
    const bool apply = button(ctx, 1070, {in.x + in.w - 70 * s, in.y + 170 * s, 70 * s, 24 * s}, "Apply");
    label(ctx, {in.x, in.y + 202 * s, 200 * s, 18 * s}, "How to use the knobs:");
    label_wrapped(ctx, {in.x, in.y + 222 * s, in.w, 60 * s},
                  "Hold click and move up and down to change value. Hold Shift to change slower, Shift+Ctrl even "
                  "slower. Right-click to enter value. Double-click to reset value.");
    if (apply || (f & field_entered)) {
        // The command as it stands, so a hand-edited line is used as edited.
        record_text(app, record_action, 1, nullptr, d.command.text + "\n");
        app.requests.archive_line_executed = 1;
        if (ctx.focus == &d.command)
            ctx.focus = nullptr;
    }
    if (d.window.close_clicked) {
        d.open = false;
        if (ctx.focus == &d.command)
            ctx.focus = nullptr;
    }
}
