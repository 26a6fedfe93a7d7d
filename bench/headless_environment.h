// The desktop program benchmarked without a screen: SDL's offscreen video and dummy audio
// drivers, a 1,920 x 1,080 window and a data folder of the benchmark's own.
#pragma once
#include <cstdlib>

#include "support/paths.h"

inline void headless_environment()
{
    static char data[] = "/tmp/sonographica-bench-XXXXXX";
    static bool made = false;
    if (!made) {
        if (!mkdtemp(data))
            abort();
        made = true;
    }
    setenv("SONOGRAPHICA_DATA_DIR", data, 1);
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("SONOGRAPHICA_WINDOW_SIZE", "1920x1080", 1);
    data_folder_reset();
}
