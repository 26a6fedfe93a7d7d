// Zoom steps, the vertical pan and the keyboard's moves of the playback position, once per
// frame after the pointer state is read.
#include "app/navigation.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "app/input.h"
#include "app/layout.h"
#include "app/shell.h"
#include "app/view_coords.h"
#include "engine/block_geometry.h"

namespace {

bool view_usable(const App& app)
{
    const Project& p = app.project;
    return p.width > 0 && p.height > 0 && app.view.visible_columns > 0 && app.view.visible_rows > 0;
}

ScreenLayout layout_of(const Shell& sh)
{
    return screen_layout(sh.width, sh.height, sh.scale, sh.startup.waveform_height, sh.app.project.lossless);
}

bool inside_image(const ScreenLayout& l, int x, int y)
{
    return x >= l.image_x && x < l.image_x + l.image_width && y >= l.image_y && y < l.image_y + l.image_height;
}

void view_moved(Shell& sh)
{
    sh.interface_changed = true;
    sh.image_changed = true;
}

// Live mode generates the sound at a cursor in columns; the block modes play rendered samples.
bool live_mode(const PlaybackState& pb) { return pb.controls.live_synthesis && !pb.controls.lossless; }

// Samples of the block modes' sound: n_out once synthesis was set up, else the length the
// picture will have.
long long block_sound_length(const Shell& sh)
{
    const long long n = sh.app.playback.output_length.load();
    if (n > 0)
        return n;
    const Project& p = sh.app.project;
    return noise_output_length(p.width, p.time_resolution, sh.app.playback.sample_rate);
}

void seek_sample(Shell& sh, long long sample)
{
    const long long n = block_sound_length(sh);
    playback_seek(sh.app.playback, std::clamp(sample, 0LL, std::max(0LL, n - 1)));
}

// Live mode: the player takes the jump at its next fill, playing or not.
void jump_to_column(Shell& sh, double column)
{
    PlaybackState& pb = sh.app.playback;
    const int w = sh.app.project.width;
    const double target = std::clamp(column, 0.0, (double)std::max(0, w - 1));
    std::lock_guard<std::mutex> lock(pb.playback_lock);
    pb.controls.jump_target = target;
    pb.controls.jump_requested = true;
}

// The view scrolls just far enough to show the playback position again.
void follow_position(Shell& sh)
{
    App& app = sh.app;
    ViewState& v = app.view;
    // The column that holds the position: the last sample lies in the last column.
    const int column = (int)std::floor(navigation_position_column(sh));
    const int last = v.first_column + v.visible_columns - 1;
    if (column >= v.first_column && column <= last)
        return;
    const int first = column < v.first_column ? column : column - (v.visible_columns - 1);
    view_set(v, app.project.width, app.project.height, v.zoom_x, v.zoom_y,
             (float)first + v.visible_columns / 2.0f, v.centre_y);
    view_moved(sh);
}

// Page Up/Down and the wheel: √2 per step on the time axis, with Shift on the frequency axis,
// with Ctrl on both, around the picture point under the pointer.
void zoom_steps(Shell& sh)
{
    InputState& in = sh.input;
    const int steps = in.zoom_steps;
    in.zoom_steps = 0;
    App& app = sh.app;
    if (steps == 0 || !view_usable(app))
        return;
    ViewState& v = app.view;
    const float factor = std::exp2(0.5f * (float)steps);
    const bool horizontal = in.held.ctrl || !in.held.shift, vertical = in.held.ctrl || in.held.shift;
    float fx = horizontal ? factor : 1.0f, fy = vertical ? factor : 1.0f;
    // Zooming out stops at the whole axis.
    if (steps < 0 && v.zoom_x <= 1.0f)
        fx = 1.0f;
    if (steps < 0 && v.zoom_y <= 1.0f)
        fy = 1.0f;
    if (fx == 1.0f && fy == 1.0f)
        return;
    const ScreenLayout l = layout_of(sh);
    float ax = v.centre_x, ay = v.centre_y;
    if (inside_image(l, sh.pointer_x, sh.pointer_y)) {
        ax = view_column_at_f(v, l, (float)sh.pointer_x);
        ay = view_row_at_f(v, l, (float)sh.pointer_y);
    }
    view_set_zoom(v, app.project.width, app.project.height, fx, fy, ax, ay);
    view_moved(sh);
}

// The middle button or End held: vertical pointer motion drags the picture up and down.
void vertical_pan(Shell& sh)
{
    InputState& in = sh.input;
    App& app = sh.app;
    ViewState& v = app.view;
    const bool held = (in.middle || in.held.end) && sh.pointer_x > -1000 && view_usable(app);
    if (!held) {
        if (in.panning) {
            in.panning = false;
            sh.display_stale = true;  // the strip is built again for the view the pan left
            sh.interface_changed = true;
        }
        return;
    }
    if (!in.panning) {
        in.panning = true;
        in.pan_y = sh.pointer_y;
        in.pan_centre_row = v.centre_y;
        return;
    }
    const ScreenLayout l = layout_of(sh);
    if (l.image_height <= 0)
        return;
    const float centre =
        in.pan_centre_row - (float)(sh.pointer_y - in.pan_y) * (float)(v.visible_rows - 1) / (float)l.image_height;
    ViewState moved = v;
    view_set(moved, app.project.width, app.project.height, v.zoom_x, v.zoom_y, v.centre_x, centre);
    if (moved.first_row != v.first_row) {
        v = moved;
        view_moved(sh);
    }
}

// Left or Right held: a thousandth of the visible columns less one per frame.
void arrow_seek(Shell& sh)
{
    const HeldKeys& h = sh.input.held;
    const int direction = (h.right ? 1 : 0) - (h.left ? 1 : 0);
    App& app = sh.app;
    if (direction == 0 || !view_usable(app))
        return;
    const double columns = 0.001 * (app.view.visible_columns - 1);
    const float resolution = app.project.time_resolution;
    PlaybackState& pb = app.playback;
    if (live_mode(pb)) {
        jump_to_column(sh, navigation_position_column(sh) + direction * columns);
    } else {
        if (!(resolution > 0.0f) || !std::isfinite(resolution))
            return;
        // At least a sample a frame, or a fine view at a high resolution would never move.
        const double samples = columns / resolution * pb.sample_rate;
        const long long step = std::max(1LL, std::llround(samples));
        seek_sample(sh, pb.play_position.load() + direction * step);
    }
    follow_position(sh);
    sh.interface_changed = true;
}

}  // namespace

double navigation_position_column(Shell& sh)
{
    PlaybackState& pb = sh.app.playback;
    const Project& p = sh.app.project;
    if (live_mode(pb)) {
        std::lock_guard<std::mutex> lock(pb.playback_lock);
        return pb.controls.jump_requested ? pb.controls.jump_target.load() : pb.live_position.load();
    }
    const long long n = block_sound_length(sh);
    if (n <= 0)
        return 0.0;
    return (double)pb.play_position.load() * p.width / (double)n;
}

void navigation_seek_end(Shell& sh, bool end)
{
    App& app = sh.app;
    if (!view_usable(app))
        return;
    if (live_mode(app.playback))
        jump_to_column(sh, end ? app.project.width - 1 : 0.0);
    else
        seek_sample(sh, end ? block_sound_length(sh) - 1 : 0);
    follow_position(sh);
    sh.interface_changed = true;
}

void input_navigation_frame(Shell& sh)
{
    // The status line starts each frame as the tool's help (the title for the cursor); the
    // pointer's work may replace it later in the frame. A tool chosen in the last frame's
    // requests changes it here: the bar is drawn again for it. A knob or button being dragged
    // keeps its own text until the release.
    const char* status = tool_help_text(sh.app.tool);
    if (sh.input.mode != pointer_control && sh.input.status != status) {
        sh.input.status = status;
        sh.interface_changed = true;
    }
    zoom_steps(sh);
    vertical_pan(sh);
    arrow_seek(sh);
}
