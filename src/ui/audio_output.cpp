#include "ui/audio_output.h"

#include <algorithm>
#include <cmath>

#include "audio/audio_device.h"
#include "support/expression.h"
#include "support/log.h"
#include "support/prefs.h"
#include "ui/dialog_layout.h"

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
    const int L = dialog_audio_output;
    dialog_size_window(L, d.window, s);
    if (d.first_frame == 2) {
        audio_output_fill(d, out, store);
        d.window.x = std::max(0, (screen_w - d.window.w) / 2);
        d.window.y = std::max(0, (screen_h - d.window.h) / 3);
    }
    d.first_frame = 0;
    floating_window(ctx, 5001, d.window, dialog_text(L, 0), screen_w, screen_h);
    const ResolvedLayout r = dialog_resolve(L, d.window, s);
    for (int element : {11, 21, 41, 40, 44, 45, 46})
        label(ctx, dialog_rect(r, element), dialog_text(L, element));
    text_field(ctx, d.rate, dialog_rect(r, 42));
    text_field(ctx, d.buffer, dialog_rect(r, 43));
    const bool apply = button(ctx, 5050, dialog_rect(r, 50), dialog_text(L, 50));
    label_wrapped(ctx, dialog_rect(r, 30), d.message, 0xFFE8D080u);
    // The lists last: an open list is drawn over the elements below it.
    const bool device_changed = drop_down(ctx, 5020, dialog_rect(r, 20), d.devices);
    const int previous_device = d.devices.chosen;
    if (drop_down(ctx, 5010, dialog_rect(r, 10), d.drivers)) {
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
