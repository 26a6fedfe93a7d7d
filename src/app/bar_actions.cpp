#include "app/bar_actions.h"

#include <cmath>
#include <cstdio>

#include "app/menu_shell.h"
#include "app/shell.h"
#include "commands/history.h"
#include "engine/synthesis.h"
#include "engine/synthesis_workers.h"
#include "layers/composite_thread.h"
#include "layers/image_ops.h"
#include "support/log.h"
#include "support/prefs.h"
#include "ui/button_bar.h"

namespace {

void stop_work(App& app)
{
    stop_composite_loop(app.compositor);
    synthesis_stop_workers(app.playback);
}

bool current_image_layer(const Project& p)
{
    return p.current_layer >= 0 && p.current_layer < (int)p.layers.size() && p.layers[p.current_layer].image;
}

double decibels_to_factor(double db) { return std::pow(10.0, db / 20.0); }

// The synthesis parameters a released knob changed: recorded and executed like the archive
// lines that replay them; the next frame's synthesis step sees them differ and restarts.
bool apply_synthesis_knob(Shell& sh, int knob)
{
    App& app = sh.app;
    Project& p = app.project;
    const double* v = sh.knobs.value;
    char line[160];
    bool changed = false;
    if (knob == knob_min_frequency || knob == knob_max_frequency) {
        const float fmin = (float)v[knob_min_frequency], fmax = (float)v[knob_max_frequency];
        if (fmin != p.fmin || fmax != p.fmax) {
            if (!(fmin < fmax)) {
                log_printf(stderr, "Frequency range %g Hz - %g Hz refused: the minimum must lie below the maximum\n",
                           v[knob_min_frequency], v[knob_max_frequency]);
            } else {
                stop_work(app);
                snprintf(line, sizeof line, "Frequency range %g Hz - %g Hz", v[knob_min_frequency], v[knob_max_frequency]);
                run_line(app, line);
                changed = true;
            }
        }
    } else if (knob == knob_time_resolution) {
        if ((float)v[knob] != p.time_resolution) {
            stop_work(app);
            snprintf(line, sizeof line, "Time resolution %g px/s", v[knob]);
            run_line(app, line);
            changed = true;
        }
    } else if (knob == knob_frequency_scale) {
        if ((float)v[knob] != p.scale_base) {
            stop_work(app);
            snprintf(line, sizeof line, "Frequency scale %g", v[knob]);
            run_line(app, line);
            changed = true;
        }
    }
    // The knobs show what is in effect: the value as recorded, or the old one when refused.
    const KnobContext c = knob_context(sh);
    knob_set_value(sh.knobs, knob_min_frequency, p.fmin, c);
    knob_set_value(sh.knobs, knob_max_frequency, p.fmax, c);
    knob_set_value(sh.knobs, knob_time_resolution, p.time_resolution, c);
    knob_set_value(sh.knobs, knob_frequency_scale, p.scale_base, c);
    if (changed) {
        record_text(app, record_plain, 0, nullptr, "");
        app.requests.archive_line_executed = 1;
    }
    return changed;
}

}  // namespace

void knob_live(Shell& sh, int knob)
{
    if (knob == knob_volume)
        sh.app.playback.controls.volume = (float)decibels_to_factor(sh.knobs.value[knob_volume]);
    else if (knob == knob_spray_width)
        sh.app.tools.width = (float)sh.knobs.value[knob_spray_width];
}

void knob_release(Shell& sh, int knob)
{
    App& app = sh.app;
    Project& p = app.project;
    const double value = sh.knobs.value[knob];
    switch (knob) {
    case knob_volume:
    case knob_spray_width:
        knob_live(sh, knob);
        if (knob == knob_spray_width && app.prefs)
            pref_set_number(*app.prefs, "Tool:Width", value, " px");
        break;
    case knob_tool_intensity:
        if (app.prefs)
            pref_set_number(*app.prefs, "Tool:Intensity", value * 100.0, "%");
        break;
    case knob_min_frequency:
    case knob_max_frequency:
    case knob_time_resolution:
    case knob_frequency_scale:
        apply_synthesis_knob(sh, knob);
        break;
    case knob_gamma:
        app.gamma_control = (float)value;
        if (current_image_layer(p) && p.layers[p.current_layer].gamma != (float)value) {
            stop_work(app);
            char line[64];
            snprintf(line, sizeof line, "Gamma %g\n", value);
            run_line(app, line);
            app.gamma_control = p.layers[p.current_layer].gamma;
            app.image_update_level = update_full;
            app.requests.archive_line_executed = 1;
        }
        break;
    case knob_layer_intensity:
        // The layer is multiplied once; the knob goes back to 0 dB for the next change.
        if (current_image_layer(p) && std::fabs(value) > 0.001) {
            stop_work(app);
            char line[64];
            snprintf(line, sizeof line, "Multiply layer by %g\n", decibels_to_factor(value));
            run_line(app, line);
            app.image_update_level = update_full;
            app.requests.archive_line_executed = 1;
        }
        knob_set_value(sh.knobs, knob_layer_intensity, 0.0, knob_context(sh));
        break;
    default:
        break;
    }
    sh.interface_changed = true;
}

void lossless_toggle(Shell& sh)
{
    App& app = sh.app;
    Project& p = app.project;
    if (!p.lossless) {
        const bool original = p.original_image != nullptr;
        SynthesisMessage m = lossless_turn_on_check(p.original_sound_length, original ? p.original_image_width : 0,
                                                    original ? p.original_image_height : 0);
        // A picture resized since the sound was opened cannot be compared with its analysis:
        // said now, and nothing recorded, rather than recorded and turned off again.
        if (!m.title)
            m = lossless_size_check(true, p.width, p.height, p.original_image_width, p.original_image_height);
        if (m.title) {
            message_box(sh, m.text, m.title, 0);
            return;
        }
        stop_work(app);
        record_line(app, record_action, 0, nullptr, "Synthesis lossless\n");
        p.lossless = true;
        // The knobs go to the analysis the reference sound was made with; the synthesis step
        // of the frame then restarts in lossless mode (or says why the picture does not fit).
        default_values(sh);
    } else {
        stop_work(app);
        record_line(app, record_action, 0, nullptr, p.live_synthesis ? "Synthesis live\n" : "Synthesis noise\n");
        p.lossless = false;
    }
    // The bar changes height with the mode: the picture's area with it.
    sh.interface_changed = true;
    sh.image_changed = true;
    sh.display_stale = true;
}

void bar_button_action(Shell& sh, int slot)
{
    App& app = sh.app;
    AppRequests& r = app.requests;
    switch (slot) {
    case slot_play: r.play = 1; break;
    case slot_open: r.open_file = 1; break;
    case slot_save: r.save = 1; break;
    case slot_quit: r.quit = 1; break;
    case slot_flip: r.image_operation = op_horizontal_flip + 1; break;
    case slot_help: r.open_manual = 1; break;
    case slot_invert: r.image_operation = op_invert + 1; break;
    case slot_mask_invert: r.image_operation = op_mask_invert + 1; break;
    case slot_harmonics: r.harmonics_modifier = 1; break;
    case slot_magnet: r.magnet_modifier = 1; break;
    case slot_lossless: lossless_toggle(sh); break;
    case slot_vision_mode:
        app.display.vision_mode = !app.display.vision_mode;
        sh.display_stale = true;
        sh.image_changed = true;
        break;
    default:
        if (slot_tool(slot) >= 0)
            r.tool = slot_tool(slot) + 1;
        break;
    }
    sh.interface_changed = true;
}
