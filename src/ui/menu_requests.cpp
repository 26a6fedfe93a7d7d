#include "ui/menu_requests.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "commands/app.h"
#include "commands/archive_read.h"
#include "commands/history.h"
#include "commands/image_ops_menu.h"
#include "engine/synthesis_workers.h"
#include "layers/blend.h"
#include "layers/composite_thread.h"
#include "layers/image_ops.h"
#include "project/project_synthesis.h"
#include "project/units.h"
#include "support/log.h"
#include "support/prefs.h"
#include "ui/menu.h"

namespace {

// Takes a request flag: its value, and the flag cleared.
int take(int& flag)
{
    int v = flag;
    flag = 0;
    return v;
}

// Records the line as an action and executes it through the interpreter, so that replaying
// the history does exactly what the menu did. A history that cannot be written still lets the
// action happen.
void run_line(App& app, const char* format, ...) __attribute__((format(printf, 2, 3)));
void run_line(App& app, const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (!record_line(app, record_action, 1, nullptr, "%s", text))
        execute_archive_line(app, text, nullptr);
}

void stop_work(App& app)
{
    stop_composite_loop(app.compositor);
    synthesis_stop_workers(app.playback);
}

bool has_image(const Project& p) { return p.width > 0 && p.height > 0 && !p.layers.empty(); }

void store_onoff(App& app, const char* key, bool on)
{
    if (app.prefs)
        pref_set_onoff(*app.prefs, key, on ? 1 : 0);
}

bool option_toggles(App& app)
{
    AppRequests& r = app.requests;
    Project& p = app.project;
    PlaybackControls& c = app.playback.controls;
    bool changed = false;
    if (take(r.loop_playback)) {
        const bool on = !p.loop_playback;
        p.loop_playback = on;
        record_line(app, record_action, 0, nullptr, "%s loop playback\n", on ? "Enable" : "Disable");
        changed = true;
    }
    // The archive's "Enable loop playback" sets the project's flag; the player follows it.
    c.loop_playback = p.loop_playback;
    if (take(r.pause_after_loop)) {
        c.pause_after_loop = !c.pause_after_loop;
        changed = true;
    }
    if (take(r.live_synthesis)) {
        const bool on = !p.live_synthesis;
        project_live_synthesis(app.playback, p, on, project_knobs(p));
        store_onoff(app, "Audio output:Live synthesis", on);
        changed = true;
    }
    if (take(r.unnormalised_output)) {
        app.toggles.unnormalised_output = !app.toggles.unnormalised_output;
        changed = true;
    }
    if (take(r.suspend_processing)) {
        c.suspend = !c.suspend;
        changed = true;
    }
    if (take(r.long_blocks)) {
        stop_work(app);
        run_line(app, "%s long block duration\n", p.long_blocks ? "Disable" : "Enable");
        if (has_image(p) && app.image_update_level == update_none)
            app.image_update_level = update_synthesis;
        changed = true;
    }
    if (take(r.constant_time_resolution)) {
        // Constant time resolution is a minimum pitch resolution of 0; the value it replaced
        // comes back when it is turned off.
        if (p.min_pitch_resolution > 0.0f) {
            app.toggles.min_pitch_resolution = p.min_pitch_resolution;
            p.min_pitch_resolution = 0.0f;
        } else {
            p.min_pitch_resolution = app.toggles.min_pitch_resolution > 0.0f ? app.toggles.min_pitch_resolution : 24.0f;
        }
        changed = true;
    }
    if (take(r.linear_knob_control)) {
        app.toggles.linear_knob_control = !app.toggles.linear_knob_control;
        store_onoff(app, "Interface:Linear knob control", app.toggles.linear_knob_control);
        changed = true;
    }
    DisplayToggles& d = app.display;
    if (take(r.force_fast_display)) {
        d.force_fast_display = !d.force_fast_display;
        if (d.force_fast_display)
            d.force_smooth_display = false;
        changed = true;
    }
    if (take(r.force_smooth_display)) {
        d.force_smooth_display = !d.force_smooth_display;
        if (d.force_smooth_display)
            d.force_fast_display = false;
        changed = true;
    }
    if (take(r.rhythm_overlay)) {
        d.rhythm_overlay = !d.rhythm_overlay;
        changed = true;
    }
    if (take(r.semitone_overlay)) {
        d.semitone_overlay = !d.semitone_overlay;
        changed = true;
    }
    if (int t = take(r.tool)) {
        if (t - 1 >= tool_cursor && t - 1 <= tool_convolution_centre)
            app.tool = t - 1;
        changed = true;
    }
    if (take(r.harmonics_modifier)) {
        app.tools.harmonics_modifier = !app.tools.harmonics_modifier;
        changed = true;
    }
    if (take(r.magnet_modifier)) {
        app.tools.magnet_modifier = !app.tools.magnet_modifier;
        changed = true;
    }
    return changed;
}

bool history_units(App& app)
{
    const int id = take(app.requests.history_unit);
    if (!id)
        return false;
    HistoryUnits& u = app.units;
    switch (id) {
    case 4010: u.time = 1; break;
    case 4011: u.time = 2; break;
    case 4012: u.time = 3; break;
    case 4020: u.frequency_position = 1; break;
    case 4021: u.frequency_position = 2; break;
    case 4022: u.frequency_position = 4; break;
    case 4023: u.frequency_position = 6; break;
    case 4030: u.frequency_dimensions = 1; break;
    case 4031: u.frequency_dimensions = 2; break;
    case 4032: u.frequency_dimensions = 5; break;
    case 4040: u.relative_selection = !u.relative_selection; break;
    default: return false;
    }
    if (app.prefs) {
        pref_set_text(*app.prefs, "History recording:Time unit", unit_name(u.time));
        pref_set_text(*app.prefs, "History recording:Frequency position unit", unit_name(u.frequency_position));
        pref_set_text(*app.prefs, "History recording:Frequency dimensions unit", unit_name(u.frequency_dimensions));
        pref_set_onoff(*app.prefs, "History recording:Relative selection index", u.relative_selection ? 1 : 0);
    }
    return true;
}

bool image_operations(App& app)
{
    AppRequests& r = app.requests;
    const int op = take(r.image_operation) - 1;
    const bool erase = take(r.erase_mask) != 0;
    if (op < 0 && !erase)
        return false;
    if (!has_image(app.project))
        return false;
    stop_work(app);
    bool done = false;
    if (erase)
        done |= menu_image_operation(app, op_erase);
    if (op >= 0)
        done |= menu_image_operation(app, op);
    if (done)
        app.image_update_level = update_full;
    return done;
}

// The layer commands, each through its archive line.
bool layer_commands(App& app)
{
    AppRequests& r = app.requests;
    Project& p = app.project;
    int* flags[] = {&r.new_layer,     &r.duplicate_layer, &r.add_separator,   &r.merge_down,
                    &r.delete_layer,  &r.merge_all,       &r.move_layer_up,   &r.move_layer_down,
                    &r.turn_off_layer, &r.blending,       &r.select_layer,    &r.view_current_layer_only,
                    &r.view_current_group_only};
    int any = 0;
    for (int* f : flags)
        any |= *f;
    if (!any)
        return false;
    if (!has_image(p)) {
        // Nothing to act on: the requests are dropped.
        for (int* f : flags)
            *f = 0;
        return false;
    }
    stop_work(app);
    if (int k = take(r.select_layer)) {
        const int n = (int)p.layers.size();
        const int index = n - k;
        if (index >= 0 && index < n) {
            const int previous = p.current_layer;
            if (app.units.relative_selection)
                run_line(app, "Selected layer %+d\n", index - previous);
            else
                run_line(app, "Selected layer %d\n", index);
            if (p.current_layer >= 0 && p.current_layer < n) {
                app.gamma_control = p.layers[p.current_layer].gamma;
                save_undo(p);
            }
        }
    }
    if (take(r.new_layer))
        run_line(app, "New layer \"Layer %d\"\n", p.layer_name_counter + 1);
    if (take(r.duplicate_layer))
        run_line(app, "Duplicate layer\n");
    if (take(r.add_separator))
        run_line(app, "New separator \"----\"\n");
    if (take(r.merge_down))
        run_line(app, "Merge down layer\n");
    if (take(r.delete_layer))
        run_line(app, "Delete layer\n");
    if (take(r.merge_all))
        run_line(app, "Merge all to new layer\n");
    if (take(r.move_layer_up))
        run_line(app, "Move layer up\n");
    if (take(r.move_layer_down))
        run_line(app, "Move layer down\n");
    if (take(r.turn_off_layer) && p.current_layer >= 0 && p.current_layer < (int)p.layers.size())
        run_line(app, "Turn layer %s\n", p.layers[p.current_layer].off ? "on" : "off");
    if (int m = take(r.blending); m >= 1 && m <= blend_mode_count)
        run_line(app, "Blending %s\n", blending_keywords[m - 1]);
    if (take(r.view_current_layer_only))
        app.view_current_layer_only = !app.view_current_layer_only;
    if (take(r.view_current_group_only)) {
        app.view_current_group_only = !app.view_current_group_only;
        app.compositor.current_group_only = app.view_current_group_only;
    }
    p.recomposite_needed = true;
    app.image_update_level = update_full;
    r.layer_list_refresh = 1;
    return true;
}

}  // namespace

bool menu_carry_out_requests(App& app, MenuBar& bar)
{
    bool changed = history_units(app);
    changed |= image_operations(app);
    changed |= layer_commands(app);
    changed |= option_toggles(app);
    if (take(app.requests.layer_list_refresh)) {
        layer_list_refresh(bar, app);
        changed = true;
    } else if (changed) {
        menu_sync_checks(bar, app);
    }
    return changed;
}
