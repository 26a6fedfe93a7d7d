#include "ui/button_bar.h"

#include <algorithm>
#include <cmath>

#include "ui/knob.h"

namespace {

constexpr double pi = 3.14159265358979323846;

// A knob cell: the geometry's corner, 100 logical pixels wide; the knob (56 across, so that
// the scale labels centred at their points clear its rim) sits with its centre at (50, 45)
// from the corner.
constexpr int knob_pitch = 100;
constexpr int knob_centre_x = 50, knob_centre_y = 45, knob_size = 56;
constexpr int knob_bottom = 101;       // the cell's bottom edge: name above it, unit below
constexpr int label_offsets[7][2] = {{24, 75}, {14, 45}, {24, 17}, {50, 3}, {77, 17}, {87, 45}, {77, 75}};

// The button block beside the knobs, in logical pixels from its corner.
constexpr int block_width = 400;
constexpr int block_height = 128;

const int tool_slots[7] = {slot_cursor, slot_dark_spray, slot_white_spray, slot_brighten_spray,
                           slot_smart_erase, slot_rectangle, slot_move};

void place_button(ButtonBar& bar, int slot, int type, int face, int left, int top, int w, int h)
{
    const int s = bar.scale;
    BarControl& c = bar.controls[slot];
    c.type = type;
    c.face = face;
    c.left = left;
    c.top = top;
    c.width = w * s;
    c.height = h * s;
    c.x = left + c.width / 2;
    c.y = top + c.height / 2;
    c.radius = std::min(c.width, c.height) / 2;
}

void place_knob(ButtonBar& bar, int slot, int left, int top)
{
    const int s = bar.scale;
    BarControl& c = bar.controls[slot];
    c.type = control_knob;
    c.left = left;
    c.top = top;
    c.width = knob_pitch * s;
    c.height = (knob_bottom + 8) * s;
    c.x = left + knob_centre_x * s;
    c.y = top + knob_centre_y * s;
    c.radius = knob_size / 2 * s;
    c.face = face_small;
}

// The block of buttons to the right of the knobs: Play, Open, Save, Quit and Lossless on top,
// the tool buttons with the two modifiers below, the image buttons at the bottom.
void place_block(ButtonBar& bar, int x0, int y0)
{
    const int s = bar.scale;
    auto at = [&](int slot, int type, int face, int x, int y, int w, int h) {
        place_button(bar, slot, type, face, x0 + x * s, y0 + y * s, w, h);
    };
    at(slot_play, control_hover, face_big, 0, 0, 64, 48);
    at(slot_open, control_push, face_big, 72, 0, 64, 48);
    at(slot_save, control_push, face_big, 140, 0, 64, 48);
    at(slot_quit, control_push, face_big, 208, 0, 64, 48);
    at(slot_lossless, control_push, face_big, 290, 0, 64, 48);
    bar.lossless_text_x = x0 + 362 * s;
    bar.lossless_text_y = y0 + 14 * s;
    for (int i = 0; i < 7; i++)
        at(slot_cursor + i, control_toggle, face_small, 36 * i, 56, 32, 32);
    at(slot_harmonics, control_toggle, face_small, 270, 56, 32, 32);
    at(slot_magnet, control_toggle, face_small, 306, 56, 32, 32);
    const int image_slots[5] = {slot_flip, slot_help, slot_invert, slot_mask_invert, slot_vision_mode};
    for (int i = 0; i < 5; i++)
        at(image_slots[i], image_slots[i] == slot_flip || image_slots[i] == slot_help ? control_push : control_toggle,
           face_med, 52 * i, 96, 48, 32);
}

// Every button in one strip under the knobs, for a one-row bar too narrow for the block.
void place_strip(ButtonBar& bar, int x0, int y0)
{
    const int s = bar.scale;
    auto at = [&](int slot, int type, int face, int x, int w) {
        place_button(bar, slot, type, face, x0 + x * s, y0, w, 32);
    };
    at(slot_play, control_hover, face_small, 0, 32);
    at(slot_open, control_push, face_small, 36, 32);
    at(slot_save, control_push, face_small, 72, 32);
    at(slot_quit, control_push, face_small, 108, 32);
    for (int i = 0; i < 7; i++)
        at(slot_cursor + i, control_toggle, face_small, 156 + 36 * i, 32);
    at(slot_harmonics, control_toggle, face_small, 408, 32);
    at(slot_magnet, control_toggle, face_small, 444, 32);
    const int image_slots[5] = {slot_flip, slot_help, slot_invert, slot_mask_invert, slot_vision_mode};
    for (int i = 0; i < 5; i++)
        at(image_slots[i], image_slots[i] == slot_flip || image_slots[i] == slot_help ? control_push : control_toggle,
           face_med, 492 + 52 * i, 48);
    at(slot_lossless, control_push, face_big, 760, 64);
    bar.lossless_text_x = x0 + 830 * s;
    bar.lossless_text_y = y0 + 16 * s;
    bar.status_x = x0 + 866 * s;
    bar.status_y = y0 + 16 * s;
}

}  // namespace

int slot_tool(int slot)
{
    for (int t = 0; t < 7; t++)
        if (tool_slots[t] == slot)
            return t;
    return -1;
}

int tool_slot(int tool) { return tool >= 0 && tool < 7 ? tool_slots[tool] : -1; }

void bar_layout(ButtonBar& bar, int width, int bar_y, int bar_height, int scale)
{
    const int s = std::max(1, scale);
    bar.scale = s;
    bar.width = width;
    bar.bar_y = bar_y;
    bar.bar_height = bar_height;
    bar.one_row = bar_height < 280 * s;
    const int w = width / s;
    bar.compact = bar.one_row && 10 + 9 * knob_pitch + 16 + block_width > w;
    for (BarControl& c : bar.controls)
        c.type = control_none;

    // The time axis runs along the bar's top edge; the status line sits under it.
    bar.status_x = 30 * s;  // clear of the corner picture
    bar.status_y = bar_y + 24 * s;
    if (bar.compact) {
        for (int k = 0; k < knob_count; k++)
            place_knob(bar, knob_slot(k), (10 + k * knob_pitch) * s, bar_y + 20 * s);
        place_strip(bar, 10 * s, bar_y + 133 * s);
    } else if (bar.one_row) {
        for (int k = 0; k < knob_count; k++)
            place_knob(bar, knob_slot(k), (10 + k * knob_pitch) * s, bar_y + 34 * s);
        place_block(bar, (10 + 9 * knob_pitch + 16) * s, bar_y + 36 * s);
    } else {
        for (int k = 0; k < knob_count; k++)
            place_knob(bar, knob_slot(k), (10 + (k % 5) * knob_pitch) * s, bar_y + (34 + (k / 5) * 116) * s);
        place_block(bar, (10 + 5 * knob_pitch + 16) * s, bar_y + 36 * s);
    }
    bar.status_width = std::max(0, width - bar.status_x - 8 * s);
    // Lossless synthesis reads the picture against the analysis it was made with: the knobs
    // of that analysis stay where they are.
    for (int k : {knob_min_frequency, knob_max_frequency, knob_time_resolution, knob_frequency_scale})
        bar.controls[knob_slot(k)].lossless_lock = true;
}

bool control_contains(const BarControl& c, int x, int y)
{
    const double dx = x - c.x, dy = y - c.y;
    return dx * dx + dy * dy <= (double)c.radius * c.radius;
}

int bar_hit(const ButtonBar& bar, int x, int y, bool lossless, bool unlock)
{
    for (int i = 0; i < bar_slot_count; i++) {
        const BarControl& c = bar.controls[i];
        if (c.type >= control_none || (c.lossless_lock && lossless && !unlock))
            continue;
        if (control_contains(c, x, y))
            return i;
    }
    return -1;
}

KnobGeometry knob_geometry(const BarControl& knob, int scale)
{
    const int s = std::max(1, scale);
    KnobGeometry g;
    for (int i = 0; i < 7; i++) {
        g.label_x[i] = knob.left + label_offsets[i][0] * s;
        g.label_y[i] = knob.top + label_offsets[i][1] * s;
    }
    g.centre_x = knob.left + knob_centre_x * s;
    g.name_y = knob.top + (knob_bottom - 10) * s;
    g.unit_y = knob.top + (knob_bottom + 2) * s;
    g.value_y = knob.top + (knob_bottom - 56) * s;
    g.image_size = knob_size * s;
    g.image_x = knob.left + (knob_centre_x - knob_size / 2) * s;
    g.image_y = knob.top + (knob_centre_y - knob_size / 2) * s;
    return g;
}

int knob_frame(int frames, double angle)
{
    if (frames <= 0 || !std::isfinite(angle))
        return 0;
    const double f = std::floor(frames * angle / knob_full_angle);
    return (int)std::clamp(f, 0.0, (double)(frames - 1));
}

double pointer_angle(int cx, int cy, int px, int py) { return std::atan2((double)(py - cy), (double)(px - cx)) + pi / 2; }

void knob_grab(KnobDrag& d, double angle_now) { d.grab_offset = angle_now - d.tracked; }

double knob_circular_change(KnobDrag& d, double angle_now, double knob_angle, bool precision)
{
    double change = angle_now - d.grab_offset - d.tracked;
    while (change > pi)
        change -= 2 * pi;
    while (change < -pi)
        change += 2 * pi;
    d.tracked += change;
    if ((knob_angle <= 0.0 && change < 0.0) || (knob_angle >= knob_full_angle && change > 0.0))
        return 0.0;
    change = std::clamp(change, -2.0, 2.0);
    return precision ? change * 0.01 : change;
}

double knob_linear_change(int dy, bool precision)
{
    const double change = -(double)dy * 0.016;
    return precision ? change * 0.01 : change;
}

double knob_turn(double angle, double change) { return std::clamp(angle + change, 0.0, knob_full_angle); }
