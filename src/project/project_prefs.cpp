#include "project/project_prefs.h"

#include "project/project.h"

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
