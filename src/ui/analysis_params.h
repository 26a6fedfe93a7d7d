// The Sound analysis parameters window, shown when a sound is chosen for opening: each
// value written straight into the project's analysis settings, a "Default" tick per row,
// the channel selection, and the values kept as the new defaults on request.
#pragma once
#include <string>

#include "support/widgets.h"

struct App;
struct PrefStore;

enum : int {
    analysis_row_frequency = 0,      // fields 220 (min) and 221 (max)
    analysis_row_time,               // 230
    analysis_row_pitch,              // 240
    analysis_row_min_pitch,          // 250
    analysis_row_transition,         // 260
    analysis_row_scale,              // 270
    analysis_row_count,
};

struct AnalysisParamsDialog {
    bool open = false;
    int first_frame = 2;
    FloatingWindow window;
    TextField fields[analysis_row_count + 1];  // rows in order, the frequency row's max last
    int use_default[analysis_row_count] = {};
    double defaults[analysis_row_count + 1] = {};
    int channel = 300;               // 300 mix, 301 left only, 302 right only
    double saved_at = -1;            // seconds on the steady clock of the last save; -1 never
};

void analysis_params_open(AnalysisParamsDialog& d);
// Fields and ticks from the project's settings and the preferences (defaults without a store).
void analysis_params_fill(AnalysisParamsDialog& d, const App& app, PrefStore* prefs);
// After field `index` (0 .. analysis_row_count) was edited: the row is unticked when its value
// differs from the default, and the values that read as usable go into the project.
void analysis_params_edited(AnalysisParamsDialog& d, App& app, int index);
// A row's "Default" ticked: the default into its fields and the project.
void analysis_params_use_default(AnalysisParamsDialog& d, App& app, int row);
// "Save as the new defaults": the project's analysis settings into the preferences.
void analysis_params_save_defaults(AnalysisParamsDialog& d, const App& app, PrefStore& prefs, double now);
// Opacity of the "✔ Saved" label at `now`: 1 when just saved, falling by 3 per second.
double analysis_params_saved_fade(const AnalysisParamsDialog& d, double now);
void analysis_params_frame(WidgetContext& ctx, App& app, AnalysisParamsDialog& d, PrefStore* prefs, double now,
                           int screen_w, int screen_h);
