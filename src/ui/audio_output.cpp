#include "ui/audio_output.h"

#include <algorithm>
#include <cmath>

#include "audio/audio_device.h"
#include "support/expression.h"
#include "support/log.h"
#include "support/prefs.h"

namespace {

int index_of(const std::vector<std::string>& names, const std::string& name, int fallback)
{
    for (size_t i = 0; i < names.size(); i++)
        if (names[i] == name)
            return (int)i;
    return fallback;
}

int field_number(const TextField& f, int fallback)
{
    const double v = evaluate_expression(f.text.c_str());
    // Far out of range is clamped by the reopening; only what is not a number is refused.
    return std::isfinite(v) ? (int)std::clamp(std::round(v), -1e9, 1e9) : fallback;
}

void show_obtained(AudioOutputDialog& d, const AudioOutput& out)
{
    text_field_set(d.rate, std::to_string(out.sample_rate));
    text_field_set(d.buffer, std::to_string(out.buffer_length));
}

}  // namespace

void audio_output_open(AudioOutputDialog& d)
{
    d.open = true;
    d.first_frame = 2;
}

void audio_output_fill(AudioOutputDialog& d, AudioOutput& out, PrefStore& store)
{
    d.drivers.items = audio_driver_names();
    d.devices.items = audio_device_names();
    const std::string driver = pref_get_text(store, "Audio output:Preferred driver", out.driver_name.c_str());
    const std::string device = pref_get_text(store, "Audio output:Preferred device", out.device_name.c_str());
    d.drivers.chosen = index_of(d.drivers.items, driver, index_of(d.drivers.items, out.driver_name, 0));
    d.devices.chosen = index_of(d.devices.items, device, 0);
    d.rate_at_open = out.sample_rate;
    d.message.clear();
    show_obtained(d, out);
}

void audio_output_apply(AudioOutputDialog& d, AudioOutput& out, PrefStore& store)
{
    const int rate = field_number(d.rate, out.sample_rate);
    const int buffer = field_number(d.buffer, out.buffer_length);
    d.message = audio_reopen_device(out, store, d.devices.chosen, rate, buffer, d.rate_at_open);
    if (out.device == 0) {
        log_printf(stderr, "Audio output: the device could not be opened, the program carries on without sound\n");
        d.message += "The audio device could not be opened: there is no sound until another device or driver is chosen.\n";
    }
    show_obtained(d, out);
}

void audio_output_frame(WidgetContext& ctx, AudioOutputDialog& d, AudioOutput& out, PrefStore& store, int screen_w,
                        int screen_h)
{
    if (!d.open)
        return;
    const int s = ctx.scale;
    if (d.first_frame == 2) {
        audio_output_fill(d, out, store);
        d.window.w = 460 * s;
        d.window.h = 300 * s;
        d.window.x = std::max(0, (screen_w - d.window.w) / 2);
        d.window.y = std::max(0, (screen_h - d.window.h) / 3);
    }
    d.first_frame = 0;
    const WidgetRect in = floating_window(ctx, 5001, d.window, "Audio driver & output", screen_w, screen_h);
    label(ctx, {in.x, in.y, 120 * s, 20 * s}, "Audio driver");
    label(ctx, {in.x, in.y + 26 * s, 120 * s, 20 * s}, "Output device");
    label(ctx, {in.x, in.y + 52 * s, 200 * s, 20 * s}, "Set audio parameters");
    const int y = in.y + 74 * s;
    label(ctx, {in.x, y, 90 * s, 22 * s}, "Sample rate");
    text_field(ctx, d.rate, {in.x + 90 * s, y, 80 * s, 22 * s});
    label(ctx, {in.x + 176 * s, y, 130 * s, 22 * s}, "Hz   Buffer length");
    text_field(ctx, d.buffer, {in.x + 306 * s, y, 70 * s, 22 * s});
    label(ctx, {in.x + 380 * s, y, 60 * s, 22 * s}, "samples");
    const bool apply = button(ctx, 5050, {in.x, y + 30 * s, 140 * s, 22 * s}, "Apply parameters");
    label_wrapped(ctx, {in.x, y + 60 * s, in.w, in.h - (y + 60 * s - in.y)}, d.message, 0xFFE8D080u);
    // The lists last: an open list is drawn over the elements below it.
    const bool device_changed = drop_down(ctx, 5020, {in.x + 120 * s, in.y + 26 * s, in.w - 120 * s, 20 * s}, d.devices);
    const int previous_device = d.devices.chosen;
    if (drop_down(ctx, 5010, {in.x + 120 * s, in.y, in.w - 120 * s, 20 * s}, d.drivers)) {
        if (!audio_switch_driver(out, d.drivers.chosen))
            log_printf(stderr, "Audio output: driver %s did not start\n", d.drivers.items[(size_t)d.drivers.chosen].c_str());
        d.devices.items = audio_device_names();
        if (previous_device >= (int)d.devices.items.size())
            d.devices.chosen = 0;
        audio_output_apply(d, out, store);
    } else if (device_changed || apply) {
        audio_output_apply(d, out, store);
    }
    if (d.window.close_clicked)
        d.open = false;
}
