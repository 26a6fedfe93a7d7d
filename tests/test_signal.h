// A recording-like test sound: steady and gliding tones, two bursts of noise and a click, the
// kind of material whose live rendering used to go beyond full scale.
#pragma once
#include <cmath>
#include <random>
#include <vector>

inline std::vector<float> recording_like_signal(int rate, double seconds = 6.0)
{
    const int n = (int)(seconds * rate);
    std::vector<float> sound((size_t)n);
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    const double pi = 3.14159265358979323846;
    for (int i = 0; i < n; i++) {
        const double t = (double)i / rate;
        double v = 0.25 * std::sin(2 * pi * 220.0 * t) + 0.15 * std::sin(2 * pi * 660.0 * t + 1.0) +
                   0.1 * std::sin(2 * pi * 1800.0 * t * (1.0 + 0.03 * t));
        for (double start : {1.0, 3.5}) {
            if (t > start && t < start + 0.45)
                v += 0.35 * (0.5 - 0.5 * std::cos(2 * pi * (t - start) / 0.45)) * u(rng);
        }
        const double edge = std::min(t, seconds - t);
        if (edge < 0.05)
            v *= edge / 0.05;
        sound[(size_t)i] = (float)v;
    }
    // The click: three samples up, three down.
    const int at = (int)(2.5 * rate);
    for (int k = 0; k < 6 && at + k < n; k++)
        sound[(size_t)(at + k)] = k < 3 ? 0.9f : -0.9f;
    return sound;
}
