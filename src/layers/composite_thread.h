// Keeping the composite fresh: the refresh step every change ends with, and the thread that
// recomposites continuously during a tool stroke.
#pragma once
#include <atomic>
#include <thread>

#include "project/project.h"

struct Compositor {
    std::atomic<bool> current_group_only{false};  // "View Current Group Only": changes the sound too
    std::atomic<bool> stop_compositing{false};    // set while a stroke's compositing thread winds down
    std::atomic<bool> loop_running{false};
    std::atomic<bool> refresh_busy{false};
    // A tool stroke's loop composites only when a change marked the composite stale: the
    // painting recomposites the columns it touched itself.
    std::atomic<bool> changes_only{false};
    std::thread loop_thread;                      // started and joined on the main thread only

    // Hooks of the desktop program, null elsewhere: drawing the view from the composite (or the
    // current layer), and starting the live engine's level estimate after the synthesis copy
    // was rewritten.
    void (*render_view)(void* context, int quick) = nullptr;
    void (*start_level_estimate)(void* context) = nullptr;
    void* context = nullptr;

    Compositor() = default;
    Compositor(const Compositor&) = delete;
    Compositor& operator=(const Compositor&) = delete;
    ~Compositor();
};

// The `quick` of a refresh after which only some columns of the composite changed, and the
// caller tells the view which (render_view receives it unless a whole composite ran as well).
constexpr int refresh_columns_only = 2;

// Recomposites when the recomposite-needed mark is set, then renders the view unless the
// compositing thread is being stopped. A call made while another runs returns false at once.
bool refresh_view(Project& p, Compositor& c, int quick);

// The body of the stroke's compositing thread: marks the composite stale and refreshes, over
// and over, until the stop flag is raised.
void composite_loop(Project& p, Compositor& c);
// Starts composite_loop on its own thread; false, starting nothing, while one still runs.
bool start_composite_loop(Project& p, Compositor& c);
// Raises the stop flag, waits for the thread, lowers the flag again.
void stop_composite_loop(Compositor& c);
