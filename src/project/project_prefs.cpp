#include "project/project_prefs.h"

#include "project/project.h"
#include "project/units.h"

void apply_startup_preferences(Project& p, const PrefStartupValues& v)
{
    p.sample_rate = v.sample_rate;
    p.analysis_fmin = (float)v.analysis_fmin;
    p.analysis_fmax = (float)v.analysis_fmax;
    p.analysis_time_resolution = (float)v.time_resolution;
    p.transition_time_resolution = (float)v.transition_time_resolution;
    p.pitch_resolution = (float)v.pitch_resolution;
    p.min_pitch_resolution = (float)v.min_pitch_resolution;
    // An empty project shows the range and resolution a sound would be analysed with.
    p.fmin = p.analysis_fmin;
    p.fmax = p.analysis_fmax;
    p.time_resolution = p.analysis_time_resolution;
}

bool load_project_preferences(Project& p, PrefStore& store, const std::string& folder,
                              PrefStartupValues* values)
{
    bool ok = pref_load_startup(store, folder, values);
    apply_startup_preferences(p, *values);
    return ok;
}

static int unit_or_default(const std::string& name, int fallback)
{
    int unit = unit_index(name.c_str());
    return unit ? unit : fallback;
}

void history_units_from_preferences(const PrefStartupValues& v, int* time_unit,
                                    int* frequency_position_unit, int* frequency_dimensions_unit)
{
    *time_unit = unit_or_default(v.time_unit, unit_sec);
    *frequency_position_unit = unit_or_default(v.frequency_position_unit, unit_hz);
    *frequency_dimensions_unit = unit_or_default(v.frequency_dimensions_unit, unit_st);
}
