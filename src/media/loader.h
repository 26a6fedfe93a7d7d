// Reading a file into a picture for the project: a sound analysed and scaled, a picture
// decoded and placed. The loader touches nothing but its request, so it may run on a thread
// of its own; bringing the result into the project is the commands' work (commands/import.h).
#pragma once
#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/analysis.h"
#include "engine/image.h"

// Placement modes of an imported picture, per axis.
enum : int {
    place_crop = 0,
    place_fit = 1,
    place_extend = 2,
};

struct LoadRequest {
    // What to load, filled when the load is requested.
    std::string path;                     // the resolved file name
    int import = 0;                       // 0 "Open", 1 "Import"
    int horizontal_mode = place_extend, vertical_mode = place_fit;
    int target_width = 0, target_height = 0;  // the project's size at the request (Import)
    AnalysisParameters analysis;          // the project's analysis parameters at the request
    int channel_selection = 0;            // 0 mix, 1 left only, 2 right only
    int sample_rate = 44100;              // the program's internal rate at the request

    // How to run it. `use_thread` is set by the interface for the one load it starts and
    // cleared when that load starts; `print_progress` makes a load that runs in place report
    // the analysis progress on standard error (the command-line program).
    bool use_thread = false;
    bool print_progress = false;
    // Loads that ended without a picture (the file missing, unreadable or refused), counted
    // across requests for the command line's exit status; never reset by the request.
    int failures = 0;

    // Results, written by the loader and read once `done` is set.
    int file_class = 0;
    Image picture = nullptr;              // the loaded (and placed) picture; null: nothing loaded
    int width = 0, height = 0;
    Image original_image = nullptr;       // the analysis of an opened sound
    int original_width = 0, original_height = 0;
    std::vector<float> original_sound;    // an opened sound at the internal rate
    std::vector<unsigned int> colours;    // an opened 8-bit picture: packed R | G<<8 | B<<16 | A<<24
    int colour_width = 0, colour_height = 0;

    // Raised by the interface to stop the load: the loader leaves no picture, sets `cancelled`
    // and `done`, and the completion step then changes nothing.
    std::atomic<bool> cancel{false};
    bool cancelled = false;               // written by the loader before `done`
    // What a load started from the interface records in the history once it has been
    // installed (kind, text), and how the history starts afresh before (0: it goes on), so
    // that a cancelled or failed load leaves the history as it was. Read by the completion step.
    std::vector<std::pair<int, std::string>> records;
    int history_restart = 0;

    std::atomic<bool> done{false};        // set by the loader when its results are ready
    std::atomic<bool> in_flight{false};   // a loader thread runs or waits to be joined
    std::thread thread;

    LoadRequest() = default;
    LoadRequest(const LoadRequest&) = delete;
    LoadRequest& operator=(const LoadRequest&) = delete;
    ~LoadRequest();
};

// The loader: reads the file of the request, converts it to a picture (a sound analysed and
// scaled to a peak of 1), places an imported picture, and sets `done`. Touches nothing but
// the request, so it may run on any thread. A file that cannot be read leaves no picture
// (the reader has logged why) and still sets `done`; so does a load stopped by `cancel`,
// checked after decoding, between the bands of an analysis and before placing.
void load_file(LoadRequest& r);

// Runs the loader in place while reporting the analysis progress on standard error.
void load_file_with_progress(LoadRequest& r);

// Frees the results and resets the request to its defaults (not while a thread runs).
void clear_load_request(LoadRequest& r);

// Places a picture of w × h into `dst` of W × H by the two modes: a fit axis is scaled by
// (W − 1) / (w − 1), a crop or extend axis keeps the scale 1; top-left pixels coincide;
// destination pixels that no source pixel reaches are 0, source pixels outside are dropped.
void place_picture(const Image src, int w, int h, Image dst, int W, int H, int horizontal_mode, int vertical_mode);
