// Writes the bundled example sound: a short tune with harmonics over a soft bass, with a
// breath of noise at each note's onset and a faint noise floor. Everything is computed from
// fixed numbers and a fixed-seed generator, so every build writes the same samples.
//
// Usage: make_example_sound OUTPUT.wav
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "media/sound_write.h"

namespace {

constexpr int sample_rate = 44100;
constexpr double beat = 0.375;  // seconds: 160 beats a minute

struct Note {
    int number;     // semitones from A 440 Hz
    double beats;   // length
};

// A phrase in A minor that climbs, turns and settles on the tonic.
const Note melody[] = {
    {0, 1}, {3, 1}, {7, 1}, {12, 1}, {10, 0.5}, {8, 0.5}, {7, 1}, {5, 1},
    {3, 0.5}, {5, 0.5}, {7, 1}, {2, 1}, {-1, 1}, {0, 3},
};
// One bass note under every two beats of the melody, an octave and a fifth down.
const int bass[] = {-24, -24, -19, -19, -17, -17, -20, -24};

double frequency(int number) { return 440.0 * std::pow(2.0, number / 12.0); }

// The program's own linear congruential generator, seeded with a constant.
struct Noise {
    unsigned state = 12345u;
    double next()
    {
        state = state * 214013u + 2531011u;
        return (double)((state >> 16) & 0x7FFF) / 16384.0 - 1.0;
    }
};

// A plucked-string-like tone: harmonics falling off by 1 / k, the upper ones dying faster.
void add_tone(std::vector<double>& out, double start, double length, double f, double level, double brightness)
{
    const size_t first = (size_t)(start * sample_rate);
    const size_t count = (size_t)((length + 0.6) * sample_rate);  // ring on after release
    for (size_t i = 0; i < count && first + i < out.size(); i++) {
        const double t = (double)i / sample_rate;
        const double attack = std::min(1.0, t / 0.008);
        const double release = t < length ? 1.0 : std::exp(-(t - length) / 0.12);
        const double vibrato = 1.0 + 0.003 * std::sin(2.0 * M_PI * 5.5 * t) * std::min(1.0, t / 0.3);
        double v = 0.0;
        for (int k = 1; k <= 10; k++) {
            const double fk = f * k * (1.0 + 0.0004 * k * k);  // a little string stiffness
            if (fk >= 0.45 * sample_rate)
                break;
            const double decay = std::exp(-t * (1.2 + brightness * k));
            v += std::sin(2.0 * M_PI * fk * vibrato * t) * decay / k;
        }
        out[first + i] += level * attack * release * v;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "Usage: make_example_sound OUTPUT.wav\n");
        return 2;
    }
    double total_beats = 0.0;
    for (const Note& n : melody)
        total_beats += n.beats;
    const double seconds = total_beats * beat + 1.0;
    std::vector<double> sound((size_t)(seconds * sample_rate), 0.0);

    double at = 0.0;
    for (const Note& n : melody) {
        add_tone(sound, at, n.beats * beat * 0.9, frequency(n.number), 0.5, 0.35);
        at += n.beats * beat;
    }
    for (size_t i = 0; i < sizeof bass / sizeof bass[0]; i++)
        add_tone(sound, (double)i * 2.0 * beat, 2.0 * beat * 0.95, frequency(bass[i]), 0.35, 0.8);
    add_tone(sound, total_beats * beat - 3.0 * beat, 3.0 * beat, frequency(-24), 0.35, 0.8);

    // Noise: a short burst at each melody onset (the pick), and a faint floor throughout.
    Noise noise;
    at = 0.0;
    for (const Note& n : melody) {
        const size_t first = (size_t)(at * sample_rate);
        for (size_t i = 0; i < (size_t)(0.03 * sample_rate) && first + i < sound.size(); i++)
            sound[first + i] += 0.08 * std::exp(-(double)i / (0.006 * sample_rate)) * noise.next();
        at += n.beats * beat;
    }
    for (double& s : sound)
        s += 0.002 * noise.next();

    // Fade the last half second and scale the peak to 0.8.
    const size_t fade = (size_t)(0.5 * sample_rate);
    for (size_t i = 0; i < fade; i++)
        sound[sound.size() - 1 - i] *= (double)i / fade;
    double peak = 0.0;
    for (double s : sound)
        peak = std::max(peak, std::fabs(s));
    std::vector<float> samples(sound.size());
    for (size_t i = 0; i < sound.size(); i++)
        samples[i] = (float)(sound[i] * 0.8 / peak);

    if (!save_sound_file(argv[1], samples.data(), samples.size(), sample_rate))
        return 1;
    return 0;
}
