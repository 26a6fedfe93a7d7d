// Bringing the stored preferences into a project at start-up.
#pragma once
#include <string>

#include "support/prefs.h"

struct Project;

// Sets the project's parameters from start-up values: internal sample rate, frequency range
// and time resolution, and the analysis parameters for the next sound opened.
void apply_startup_preferences(Project& p, const PrefStartupValues& values);

// Runs the preferences' start-up step on `store` with "config.txt" in `folder` (creating it
// with every start-up key when missing) and applies the values to the project. The values
// are returned for the caller's own settings (history units, tool, interface). Returns false
// when the file could not be created; the project then holds the defaults.
bool load_project_preferences(Project& p, PrefStore& store, const std::string& folder,
                              PrefStartupValues* values);

// Unit indexes of the three history-recording unit names. A name that is not a unit is
// logged by unit_index and replaced by the key's default ("sec", "Hz", "st"): unit 0 would
// record values that convert to nothing.
void history_units_from_preferences(const PrefStartupValues& values, int* time_unit,
                                    int* frequency_position_unit, int* frequency_dimensions_unit);
