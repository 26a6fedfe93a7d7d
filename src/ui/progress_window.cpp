#include "ui/progress_window.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "commands/app.h"
#include "engine/analysis.h"
#include "media/file_names.h"
#include "support/font.h"
#include "support/paths.h"

std::string progress_percent_text(double fraction)
{
    const double percent = std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) * 100.0 : 0.0;
    char text[16];
    snprintf(text, sizeof text, "%.1f%%", percent);
    return text;
}

void progress_bar(WidgetContext& ctx, WidgetRect r, double fraction)
{
    const double f = std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0.0;
    if (widgets_drawing(ctx)) {
        fill_rect(ctx.target, r.x, r.y, r.w, r.h, 0xFF1A1A20u);
        fill_rect(ctx.target, r.x + 1, r.y + 1, (int)std::lround((r.w - 2) * f), r.h - 2, 0xFF3C6EA8u);
        draw_rect_outline(ctx.target, r.x, r.y, r.w, r.h, 0xFF70707Au);
    }
    const std::string text = progress_percent_text(f);
    const int width = ctx.font ? text_width(*ctx.font, text) : 0;
    label(ctx, {r.x + (r.w - width) / 2, r.y, width, r.h}, text);
}

bool load_progress_showing(const App& app) { return app.load.in_flight.load() && !app.load.path.empty(); }

void load_progress_frame(WidgetContext& ctx, App& app, ProgressWindow& w, int screen_w, int screen_h)
{
    if (!load_progress_showing(app))
        return;
    const int s = ctx.scale;
    if (!w.placed) {
        w.window.w = 360 * s;
        w.window.h = 110 * s;
        w.window.x = std::max(0, (screen_w - w.window.w) / 2);
        w.window.y = std::max(0, (screen_h - w.window.h) / 3);
        w.placed = true;
    }
    const WidgetRect in = floating_window(ctx, 9001, w.window, "Sound Analysis Progress", screen_w, screen_h);
    LoadRequest& r = app.load;
    const bool sound = classify_file_name(r.path) == file_class_sound;
    const bool stopping = r.cancel.load();
    const std::string what = stopping ? "Cancelling..." : (sound ? "Analysing " : "Loading ") + get_filename_from_path(r.path);
    label(ctx, {in.x, in.y, in.w, 18 * s}, what);
    // A picture has no analysis to follow: its bar stays empty until it is in.
    progress_bar(ctx, {in.x, in.y + 24 * s, in.w, 20 * s}, sound ? analysis_progress.load() : 0.0);
    const bool cancel = button(ctx, 9010, {in.x + in.w - 90 * s, in.y + 52 * s, 90 * s, 22 * s}, "Cancel");
    if ((cancel || w.window.close_clicked) && !stopping)
        cancel_load(app);
}
