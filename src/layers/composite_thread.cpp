#include "layers/composite_thread.h"

#include <chrono>

#include "layers/composite.h"

Compositor::~Compositor() { stop_composite_loop(*this); }

bool refresh_view(Project& p, Compositor& c, int quick)
{
    if (c.refresh_busy.exchange(true))
        return false;
    const bool whole = p.recomposite_needed;
    if (whole && composite_layers(p, c.current_group_only) && c.start_level_estimate)
        c.start_level_estimate(c.context);
    if (!c.stop_compositing && c.render_view)
        c.render_view(c.context, whole && quick == refresh_columns_only ? 0 : quick);
    c.refresh_busy = false;
    return true;
}

void composite_loop(Project& p, Compositor& c)
{
    while (!c.stop_compositing) {
        if (!c.changes_only)
            p.recomposite_needed = true;
        if (p.recomposite_needed)
            refresh_view(p, c, 1);
        // Leaves the painting threads a moment between two composites.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    c.loop_running = false;
}

bool start_composite_loop(Project& p, Compositor& c)
{
    if (c.loop_running.exchange(true))
        return false;
    if (c.loop_thread.joinable())
        c.loop_thread.join();
    c.stop_compositing = false;
    c.loop_thread = std::thread(composite_loop, std::ref(p), std::ref(c));
    return true;
}

void stop_composite_loop(Compositor& c)
{
    c.stop_compositing = true;
    if (c.loop_thread.joinable())
        c.loop_thread.join();
    c.stop_compositing = false;
}
