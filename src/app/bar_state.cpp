#include "app/bar_state.h"

#include <utility>

#include "app/input.h"
#include "app/menu_shell.h"
#include "app/shell.h"
#include "app/view_draw.h"
#include "support/log.h"

namespace {

bool dragged(const Shell& sh, int slot) { return sh.input.mode == pointer_control && sh.input.control == slot; }

// A toggle that shows a flag of the program: its value is the flag, and so is its face unless
// a press is over it.
void follow_flag(Shell& sh, int slot, bool on)
{
    BarControl& c = sh.bar.bar.controls[slot];
    c.value = on ? 1 : 0;
    if (!dragged(sh, slot))
        c.pressed = c.value;
}

// The knobs of the project's parameters show what is in effect, whatever changed it (a file
// opened, an archive line, Undo), so that a knob released later records the other bound as
// it is. The knob being turned is left to the pointer.
void follow_project(Shell& sh)
{
    const Project& p = sh.app.project;
    const int turning = bar_knob_dragging(sh) ? slot_knob(sh.input.control) : -1;
    const std::pair<int, float> shown[] = {{knob_min_frequency, p.fmin},
                                           {knob_max_frequency, p.fmax},
                                           {knob_time_resolution, p.time_resolution},
                                           {knob_frequency_scale, p.scale_base},
                                           {knob_gamma, sh.app.gamma_control}};
    for (auto [knob, value] : shown)
        if (knob != turning && (float)sh.knobs.value[knob] != value)
            knob_set_value(sh.knobs, knob, value, knob_context(sh));
}

}  // namespace

void bar_sync(Shell& sh)
{
    const ScreenLayout l = screen_layout(sh.width, sh.height, sh.scale, sh.startup.waveform_height, sh.app.project.lossless);
    ButtonBar& bar = sh.bar.bar;
    if (bar.width != sh.width || bar.bar_y != l.bar_y || bar.bar_height != l.bar_height || bar.scale != sh.scale ||
        bar.controls[slot_play].type == control_none)
        bar_layout(bar, sh.width, l.bar_y, l.bar_height, sh.scale);
    follow_project(sh);
    const App& app = sh.app;
    for (int t = 0; t < 7; t++)
        follow_flag(sh, tool_slot(t), app.tool == t);
    follow_flag(sh, slot_harmonics, app.tools.harmonics_modifier);
    follow_flag(sh, slot_magnet, app.tools.magnet_modifier);
    follow_flag(sh, slot_vision_mode, app.display.vision_mode);
    bar.controls[slot_play].pressed = app.playback.play_state.load() != play_stopped ? 2 : 0;
    const BarImages& im = sh.bar.images;
    const int frames = im.knob.height > 0 && im.knob_anim.height >= im.knob.height ? im.knob_anim.height / im.knob.height : 64;
    for (int k = 0; k < knob_count; k++) {
        BarControl& c = bar.controls[knob_slot(k)];
        c.frames = frames;
        c.frame = knob_frame(frames, sh.knobs.angle[k]);
    }
}

bool bar_knob_dragging(const Shell& sh)
{
    return sh.input.mode == pointer_control && slot_knob(sh.input.control) >= 0;
}

std::string bar_status_text(const Shell& sh, const ScreenLayout& l)
{
    if (sh.input.mode == pointer_control || sh.input.mode == pointer_tool)
        return sh.input.status;
    std::string readout = pointer_readout(sh.app, l, sh.pointer_x, sh.pointer_y);
    if (!readout.empty())
        return readout;
    return sh.input.status.empty() ? SONOGRAPHICA_TITLE : sh.input.status;
}
