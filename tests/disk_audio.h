// Helpers of the tests that play through SDL's "disk" audio driver, which writes every buffer
// the device is given to a file: what a listener would have heard, sample for sample.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_device.h"
#include "support/prefs.h"
#include "testlib.h"

// A preferences file with the given lines under "Audio output".
struct AudioTestPrefs {
    TempDir dir;
    PrefStore store;
    explicit AudioTestPrefs(const std::string& audio_lines = "")
    {
        write_text_file(dir.file("config.txt"), SONOGRAPHICA_PREF_TITLE "\n\nAudio output\n" + audio_lines);
        pref_open(store, dir.file("config.txt"));
    }
    std::string file()
    {
        pref_wait(store);
        return read_text_file(dir.file("config.txt"));
    }
};

// The disk driver writes to `path`, pausing 1 ms per buffer instead of playing in real time.
inline void use_disk_file(const std::string& path)
{
    setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "1", 1);
}

// Polls `done` every 2 ms for up to 30 s.
inline bool wait_until(const std::function<bool()>& done)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

inline bool wait_for_callbacks(const AudioOutput& out, long long n)
{
    return wait_until([&] { return out.callbacks >= n; });
}

// The interleaved float frames the driver wrote.
inline std::vector<float> read_disk_file(const std::string& path)
{
    std::vector<unsigned char> raw = read_binary_file(path);
    std::vector<float> v(raw.size() / sizeof(float));
    if (!v.empty())
        memcpy(v.data(), raw.data(), v.size() * sizeof(float));
    return v;
}

// Where `expected` (interleaved stereo) begins in `heard`: the device writes silence while it is
// paused or nothing plays, so the first sound of each is lined up. -1 when either is silent.
inline long long sound_offset(const std::vector<float>& heard, const std::vector<float>& expected)
{
    size_t h = 0, e = 0;
    while (h < heard.size() && heard[h] == 0.0f)
        h++;
    while (e < expected.size() && expected[e] == 0.0f)
        e++;
    if (h == heard.size() || e == expected.size() || h < e)
        return -1;
    return (long long)(h - e);
}
