// The waveform strip above the picture: the composite's level over the visible time, split into
// frequency bands stacked outwards from the middle row in the rainbow's colours and mirrored.
// Built from the picture, not from synthesised sound, on a thread of its own.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "support/raster.h"

struct Project;

constexpr int waveform_points = 4096;

// What the strip is computed from.
struct WaveformInput {
    std::span<const float* const> rows;   // the composite, top row (highest frequency) first
    int first_column = 0, visible_columns = 0;
    float fmin = 27.5f, fmax = 20000.0f, base = 2.0f;
};

// The stacked band values: `bands` rows of waveform_points, band k holding the sum of bands k
// to bands − 1, so band 0 is the total. The rows are cut into `bands` bands (band 0 at the
// top), every row weighted by the scale's tilt. Empty when the input has nothing to show.
std::vector<std::vector<float>> waveform_bands(const WaveformInput& in, int bands);

// Paints stacked bands into a waveform_points × height picture around the middle row: band
// stripes from the innermost (the lowest band, colours[0]) outwards, the background beyond the
// total in `background`, stripe edges blended by coverage, the upper half mirroring the lower.
// `colours` has bands + 1 entries (the rainbow).
Pixmap waveform_paint(const std::vector<std::vector<float>>& stacked, int height, std::span<const uint32_t> colours,
                      uint32_t background);

// The strip's worker: one computation at a time; a request made while it runs is remembered
// and run 250 ms after the running one ends.
struct WaveformThread {
    std::thread thread;
    std::mutex lock;                 // the finished strip and the request fields
    std::condition_variable wake;
    bool requested = false, busy = false, quit = false;
    // The request: where the strip will be drawn and in which colours.
    int width = 0, height = 0;
    int first_column = 0, visible_columns = 0;
    std::vector<uint32_t> colours;
    uint32_t background = 0xFF000000u;
    Project* project = nullptr;
    // The finished strip, at width × height.
    Pixmap strip;
    std::atomic<bool> ready{false};  // a new strip is waiting to be drawn

    WaveformThread() = default;
    WaveformThread(const WaveformThread&) = delete;
    WaveformThread& operator=(const WaveformThread&) = delete;
    ~WaveformThread();
};

// Asks for a strip of width × height over the given columns (the thread starts on first use).
void waveform_request(WaveformThread& w, Project& p, int width, int height, int first_column, int visible_columns,
                      std::span<const uint32_t> colours, uint32_t background);
// Stops the thread (a computation under way finishes first).
void waveform_stop(WaveformThread& w);
