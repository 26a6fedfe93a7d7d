#include "cli/probe.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "media/sound_read.h"

int probe_sound_file(const char* path)
{
    const Sound s = load_sound(path, sound_all_channels);
    if (s.samples.empty())
        return 1;
    const size_t ch = (size_t)s.channels;
    std::vector<double> peak(ch, 0.0), sum_squares(ch, 0.0);
    for (size_t i = 0; i < s.frames; i++)
        for (size_t c = 0; c < ch; c++) {
            const double v = s.samples[i * ch + c];
            peak[c] = std::fmax(peak[c], std::fabs(v));
            sum_squares[c] += v * v;
        }
    printf("{\"frames\": %zu, \"channels\": %d, \"sample_rate\": %d, \"peak\": [", s.frames, s.channels,
           s.sample_rate);
    for (size_t c = 0; c < ch; c++)
        printf("%s%.17g", c ? ", " : "", peak[c]);
    printf("], \"rms\": [");
    for (size_t c = 0; c < ch; c++)
        printf("%s%.17g", c ? ", " : "", std::sqrt(sum_squares[c] / (double)s.frames));
    printf("]}\n");
    return 0;
}
