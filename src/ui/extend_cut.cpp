#include "ui/extend_cut.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "commands/app.h"
#include "commands/history.h"
#include "project/units.h"
#include "ui/dialog_layout.h"

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
    dialog_knob_setup(d.seconds, dialog_extend_cut, 10);
    dialog_knob_setup(d.percent, dialog_extend_cut, 20);
    dialog_knob_setup(d.pixels, dialog_extend_cut, 30);
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
    const int L = dialog_extend_cut;
    dialog_size_window(L, d.window, s);
    if (d.first_frame == 2) {
        extend_cut_fit(d, app);
        d.chosen = 12;
        text_field_set(d.command, extend_cut_command(d));
        d.window.x = std::max(0, (screen_w - d.window.w) / 2);
        d.window.y = std::max(0, (screen_h - d.window.h) / 3);
    }
    d.first_frame = 0;
    floating_window(ctx, 1001, d.window, dialog_text(L, 0), screen_w, screen_h);
    const ResolvedLayout r = dialog_resolve(L, d.window, s);
    label(ctx, dialog_rect(r, 11), dialog_text(L, 11));
    // Each knob N with its radio N + 2.
    struct Column {
        Knob* knob;
        int element;
    } columns[3] = {{&d.seconds, 10}, {&d.percent, 20}, {&d.pixels, 30}};
    bool regenerate = false;
    for (const Column& c : columns) {
        const int radio_element = c.element + 2;
        // Turning a knob chooses its radio.
        if (knob(ctx, 1000 + c.element, dialog_rect(r, c.element), dialog_text(L, c.element), *c.knob) & knob_changed) {
            d.chosen = radio_element;
            regenerate = true;
        }
        regenerate |= radio(ctx, 1000 + radio_element, dialog_rect(r, radio_element), dialog_text(L, radio_element),
                            d.chosen, radio_element);
    }
    label(ctx, dialog_rect(r, 50), dialog_text(L, 50));
    // Follows the chosen knob; a hand edit stays until a knob or radio changes again.
    if (regenerate)
        text_field_set(d.command, extend_cut_command(d));
    const int f = text_field(ctx, d.command, dialog_rect(r, 60));
    const bool apply = button(ctx, 1070, dialog_rect(r, 70), dialog_text(L, 70));
    label(ctx, dialog_rect(r, 80), dialog_text(L, 80));
    label_wrapped(ctx, dialog_rect(r, 90), dialog_text(L, 90));
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
