// Bringing a file into the project: "Open" makes it a new project, "Import" adds it as a
// layer. The archive interpreter fills the request; the loader reads the file and the
// completion step changes the project through archive lines.
#pragma once
#include <atomic>
#include <string>

struct App;

// Placement modes of an imported picture, per axis.
enum : int {
    place_crop = 0,
    place_fit = 1,
    place_extend = 2,
};

// The project's analysis parameters, copied when a load is requested.
struct AnalysisParameters {
    float fmin = 27.5f, fmax = 20000.0f;
    float scale_base = 2.0f;
    float time_resolution = 100.0f;
    float transition_time_resolution = 100.0f;
    float pitch_resolution = 60.0f;
    float min_pitch_resolution = 24.0f;
    int channel_selection = 0;
};

struct LoadRequest {
    std::string path;                     // the resolved file name
    int import = 0;                       // 0 "Open", 1 "Import"
    int horizontal_mode = place_extend, vertical_mode = place_fit;
    int target_width = 0, target_height = 0;
    AnalysisParameters analysis;
    std::atomic<bool> done{false};        // set by the loader when its results are ready
};

// Runs the loader for app.load.
void start_load(App& app);
// The completion step: does nothing unless the loader's done flag is set.
void complete_load(App& app);
