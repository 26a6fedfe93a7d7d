#include "app/seek.h"

#include <algorithm>
#include <cmath>

#include "app/layout.h"
#include "app/shell.h"
#include "app/view_coords.h"

long long seek_sample(long long total_samples, int visible_columns, int first_column, int columns, float x_offset,
                      int image_width)
{
    if (total_samples <= 0 || columns <= 0 || image_width <= 0 || visible_columns <= 0)
        return 0;
    const double column = (double)(visible_columns - 1) * x_offset / image_width + first_column;
    const double sample = std::nearbyint((double)total_samples * column / columns);
    return (long long)std::clamp(sample, 0.0, (double)total_samples);
}

void seek_to_pointer(Shell& sh, const ScreenLayout& l)
{
    App& app = sh.app;
    PlaybackState& pb = app.playback;
    const Project& p = app.project;
    if (p.width <= 0 || l.image_width <= 0)
        return;
    if (pb.controls.live_synthesis && !pb.controls.lossless) {
        // The player takes the jump at its next fill, playing or not.
        pb.controls.jump_target = (double)view_column_at(app.view, l, sh.pointer_x);
        pb.controls.jump_requested = true;
    } else {
        long long total = pb.output_length.load();
        if (total <= 0 && p.time_resolution > 0.0f)
            total = std::llround((double)pb.sample_rate * p.width / p.time_resolution);
        playback_seek(pb, seek_sample(total, app.view.visible_columns, app.view.first_column, p.width,
                                      (float)(sh.pointer_x - l.image_x), l.image_width));
    }
    sh.interface_changed = true;
}
