// The Volume limiter window: on/off, threshold, sustain and release, and the gain the
// limiter applies after one loud sample drawn as a curve.
#pragma once
#include <vector>

#include "engine/limiter.h"
#include "support/widgets.h"

struct PrefStore;

struct VolumeLimiterDialog {
    bool open = false;
    int first_frame = 2;
    FloatingWindow window;
    int enabled = 1;                 // element 10
    Knob threshold, sustain, release;  // 20, 30, 40
};

// The gain, as a factor, the limiter with these settings applies at `points` instants
// evenly spread over `seconds` after a sample of amplitude `peak` (above the threshold),
// the sound staying quiet afterwards. Measured by running the limiter itself.
std::vector<double> limiter_gain_curve(const LimiterState& settings, double peak, double seconds, int points);

void volume_limiter_open(VolumeLimiterDialog& d);
void volume_limiter_frame(WidgetContext& ctx, VolumeLimiterDialog& d, LimiterState& limiter, PrefStore* prefs,
                          int screen_w, int screen_h);
