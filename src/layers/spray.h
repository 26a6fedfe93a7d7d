// The spray tools: soft elliptical dabs along a stroke on the current layer, with harmonics
// above the pointer, painted by one worker thread fed through a small queue of stroke points
// so that the interface never waits for a dab.
#pragma once
#include <atomic>
#include <climits>
#include <mutex>
#include <thread>

#include "layers/composite_thread.h"
#include "project/project.h"

// Spray types; the erase flag overrides the type.
enum : int {
    spray_dark = 0,
    spray_white = 1,
    spray_brighten = 2,
    spray_smart_erase = 3,
    spray_type_count = 4,
};

// "Draw %s" keywords: "dark spray", "white spray", "brighten spray", "smart erase spray".
extern const char* const spray_keywords[spray_type_count];
extern const char* const spray_erase_keyword;  // "erase spray"

// Scale of a dab's strength at its centre: a click paints intensity × this.
constexpr float spray_centre_gain = 0.5641312f;

// The brush falloff G(u), close to exp(-u²): linear interpolation in a 33-entry table, 0 from
// |u| = 3.1 on (the table spans |u| < 32 × 31/320).
float spray_falloff(float u);

// The live-synthesis blocks that dabs have made stale, for the synthesis engine to render again.
// Whoever runs live synthesis publishes its block width (columns) and count; while the width is
// 0 nothing is marked. Ranges marked before the engine takes them merge into one.
struct StaleBlocks {
    std::atomic<int> block_width{0};
    std::atomic<int> block_count{0};
    std::atomic<int> first{INT_MAX};
    std::atomic<int> last{-1};
    std::atomic<bool> stale{false};   // the engine's stale marker
};
// Adds blocks first..last (clamped to the block count) and raises the marker.
void mark_stale_blocks(StaleBlocks& s, int first, int last);
// The engine's side: the range marked since the last call, and the marker cleared. False when
// nothing was marked.
bool take_stale_blocks(StaleBlocks& s, int* first, int* last);
// The blocks under a dab at column x with horizontal radius rx (after the small-radius rule):
// from trunc(2 (x - 1.5 rx) / B - 1) to trunc((2 x + 3 rx) / B), B the block width.
void dab_block_range(float x, float rx, int block_width, int* first, int* last);

// One entry of the point queue.
struct SprayPoint {
    float x = 0, y = 0;       // column and row
    float rx = 2, ry = 2;     // radii in columns and rows
    float intensity = 0.25f;
    int harmonics = 0;
    int erase = 0;
    int type = spray_dark;
    int start = 0;            // the first point of a stroke
};

// The most harmonics a stroke records (what the interpreter accepts from a "Harmonics" line).
constexpr int spray_max_harmonics = 4096;

// A stroke as its header in the history says it: what a replay paints every point with. The
// live stroke paints with these same values, read back from the recorded text, so that both
// paint the same pixels.
struct SprayStroke {
    int unit_x = 1, unit_y = 1;     // units of the point lines' x and y (unit indexes)
    float width = 2.0f, height = 2.0f;  // the brush radii in columns and rows
    float intensity = 0.25f;
    int harmonics = 0;
    int type = spray_white;         // of the last "Draw" line with a type
};

constexpr int spray_queue_size = 128;
constexpr int spray_queue_max_pending = 126;

// The tool context: painting state, the recorder's state and the point queue.
struct SprayTool {
    // Painting (the worker, or the interpreter while replaying).
    float previous_x = 0.0f, previous_y = 0.0f;

    // Recording (interface thread): the last recorded point in screen scale and the erase flag
    // of the last "Draw" line (-1 before the first).
    float recorded_x = 0.0f, recorded_y = 0.0f;
    int draw_erase = -1;
    SprayStroke stroke;

    // Magnet: the last pointer handed in and the position found for it.
    bool magnet_valid = false;
    float magnet_pointer_x = 0.0f, magnet_pointer_y = 0.0f;
    float magnet_x = 0.0f, magnet_y = 0.0f;

    // The point queue: a ring with an occupied flag per entry, guarded by its own lock.
    std::mutex queue_lock;
    SprayPoint ring[spray_queue_size];
    bool occupied[spray_queue_size] = {};
    int write_index = 0, read_index = 0, pending = 0;
    std::atomic<bool> drainer_running{false};
    // Raised each time the queue ran dry after painting: the main loop redraws the view and
    // lets live synthesis follow.
    std::atomic<bool> view_update_requested{false};
    // Columns the dabs changed since the drainer last composited them: a stroke recomposites
    // only those where the blends allow it.
    std::atomic<int> touched_first{INT_MAX};
    std::atomic<int> touched_last{-1};
    // Columns composited since the view last took them: the interface redraws only those.
    std::atomic<int> shown_first{INT_MAX};
    std::atomic<int> shown_last{-1};
    std::thread worker;  // started and joined by the interface thread only

    StaleBlocks stale;

    SprayTool() = default;
    SprayTool(const SprayTool&) = delete;
    SprayTool& operator=(const SprayTool&) = delete;
    ~SprayTool();
};

// One dab on the current layer at (x, y) with radii rx, ry. A radius under 2 becomes 2 and
// scales the intensity by radius / 2. The erase variant blends toward the original layer image
// on the bottom layer and toward 0 elsewhere, and like smart erase touches only the part the
// layer shares with its original layer image (nothing without one). Marks the live-synthesis
// blocks under the dab stale. Takes no lock.
void spray_dab(SprayTool& t, Project& p, float x, float y, int erase, float rx, float ry, float intensity, int type);

// One stroke point: at the start of a stroke a dab of intensity × 0.5641312 at (x, y); later,
// dabs every 1 / (4 √(harmonics + 2)) brush radii along the way from the previous point, each of
// intensity × q / n. Every dab is followed by its harmonics 2..harmonics: dabs higher up by
// log_B(h) × (rows per log_B unit), radii divided by √h (the white spray's intensity too). A
// point that is not finite, or has radii that are not positive, paints nothing (logged).
void apply_spray_point(SprayTool& t, Project& p, float x, float y, float rx, float ry, float intensity, int harmonics,
                       int erase, int type, int start);

// The queue. Returns false when the point is dropped because 126 points are pending.
bool spray_enqueue(SprayTool& t, const SprayPoint& point);
// The drainer's body: paints queued points until the queue is empty; then, when it painted,
// unless the project's content-changed mark is set, marks the composite stale, refreshes the
// view (when a compositor is given) and raises view_update_requested. One drainer runs at a time.
void spray_worker(SprayTool& t, Project& p, Compositor* c);
// Starts spray_worker on its own thread unless one is running.
void spray_start_worker(SprayTool& t, Project& p, Compositor* c);
// Escape during a stroke: drops every queued point; a running drainer finishes the point in hand.
void spray_cancel(SprayTool& t);
// Waits until no drainer runs (the queue is then empty or cancelled).
void spray_wait(SprayTool& t);
