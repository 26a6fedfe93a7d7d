#include "ui/volume_limiter.h"

#include <algorithm>
#include <cmath>

#include "ui/dialog_layout.h"

std::vector<double> limiter_gain_curve(const LimiterState& settings, double peak, double seconds, int points)
{
    std::vector<double> gain;
    if (points <= 0 || !(seconds > 0))
        return gain;
    // A limiter of its own with the same settings: the one playing is left alone.
    LimiterState l;
    l.initialised = 1;
    l.enabled = settings.enabled.load();
    limiter_set_threshold_db(l, settings.threshold_db.load());
    limiter_set_sustain(l, settings.sustain.load());
    limiter_set_release(l, settings.release.load());
    const int rate = 1000;
    const float quiet = 1e-4f, loud = (float)peak;
    const int frames = std::max(2, (int)std::ceil(seconds * rate) + 1);
    std::vector<float> s((size_t)frames, (float)quiet);
    s[0] = loud;
    limit_volume(s.data(), 1, frames, rate, l);
    gain.resize((size_t)points);
    for (int i = 0; i < points; i++) {
        const int k = points == 1 ? 0 : (int)std::lround((double)i * (frames - 1) / (points - 1));
        gain[(size_t)i] = k == 0 ? (double)s[0] / loud : (double)s[(size_t)k] / quiet;
    }
    return gain;
}

void volume_limiter_open(VolumeLimiterDialog& d)
{
    d.open = true;
    d.first_frame = 2;
}

void volume_limiter_frame(WidgetContext& ctx, VolumeLimiterDialog& d, LimiterState& limiter, PrefStore* prefs,
                          int screen_w, int screen_h)
{
    if (!d.open)
        return;
    const int s = ctx.scale;
    const int L = dialog_volume_limiter;
    dialog_size_window(L, d.window, s);
    if (d.first_frame == 2) {
        dialog_knob_setup(d.threshold, L, 20);
        dialog_knob_setup(d.sustain, L, 30);
        dialog_knob_setup(d.release, L, 40);
        knob_set_value(d.threshold, limiter.threshold_db.load());
        knob_set_value(d.sustain, limiter.sustain.load());
        knob_set_value(d.release, limiter.release.load());
        d.enabled = limiter.enabled.load() ? 1 : 0;
        d.window.x = std::max(0, (screen_w - d.window.w) / 2);
        d.window.y = std::max(0, (screen_h - d.window.h) / 3);
    }
    d.first_frame = 0;
    floating_window(ctx, 4001, d.window, dialog_text(L, 0), screen_w, screen_h);
    const ResolvedLayout r = dialog_resolve(L, d.window, s);
    if (checkbox(ctx, 4010, dialog_rect(r, 10), dialog_text(L, 10), d.enabled)) {
        limiter_set_enabled(limiter, d.enabled);
        if (prefs)
            limiter_store_setting(limiter, *prefs, limiter_enabled);
    }
    struct Row {
        Knob* knob;
        LimiterSetting setting;
    } rows[3] = {{&d.threshold, limiter_threshold}, {&d.sustain, limiter_sustain}, {&d.release, limiter_release}};
    for (int i = 0; i < 3; i++) {
        const int element = 20 + 10 * i;
        const int f = knob(ctx, 4000 + element, dialog_rect(r, element), dialog_text(L, element), *rows[i].knob);
        if (f & knob_changed) {
            // Heard at once; written to the preferences when the knob is let go.
            const double v = knob_value(*rows[i].knob);
            if (i == 0)
                limiter_set_threshold_db(limiter, v);
            else if (i == 1)
                limiter_set_sustain(limiter, v);
            else
                limiter_set_release(limiter, v);
        }
        if ((f & knob_released) && prefs)
            limiter_store_setting(limiter, *prefs, rows[i].setting);
    }
    const WidgetRect curve = dialog_rect(r, 50);
    box(ctx, curve);
    if (widgets_drawing(ctx) && curve.w > 4) {
        // Gain in dB over the sustain and release plus a margin, 0 dB at the top, -30 at the bottom.
        const double seconds = limiter.sustain.load() + limiter.release.load() + 1.0;
        const std::vector<double> g = limiter_gain_curve(limiter, 1.0, seconds, curve.w - 2);
        int last_y = -1;
        for (size_t i = 0; i < g.size(); i++) {
            const double db = 20.0 * std::log10(std::max(g[i], 1e-6));
            const int y = curve.y + 1 + (int)std::lround(std::clamp(-db / 30.0, 0.0, 1.0) * (curve.h - 3));
            const int x = curve.x + 1 + (int)i;
            if (last_y >= 0)
                draw_line(ctx.target, x - 1, last_y, x, y, 0xFF6FA8DCu);
            last_y = y;
        }
    }
    if (d.window.close_clicked)
        d.open = false;
}
