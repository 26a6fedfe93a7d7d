// How faithfully lossless synthesis gives back the sound of an unedited picture, and how edits
// act: a 12-second recording-like sound (harmonic notes, a steady tone, white noise bursts,
// single-sample clicks) and a pure tone faded in and out, rendered unedited at the default
// geometry (100 px/s, 60 rows per octave, 27.5 Hz - 20 kHz) and at 200 px/s with 120 rows per
// octave. Figures: signal-to-error ratio after the single best gain, over the whole sound,
// inside the range (both sides limited to 27.5 Hz - 20 kHz) and over the whole band; then,
// for the default recording, where the error lies by octave and by quarter second; then the
// level changes of a halved row and of a darkened rectangle and its neighbours.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "engine/block_geometry.h"
#include "engine/fft.h"
#include "engine/fft_size.h"
#include "engine/scale.h"
#include "engine/synthesis.h"
#include "engine/image.h"

namespace {

constexpr int sr = 44100;
constexpr float fmin = 27.5f, fmax = 20000.0f;

std::vector<float> recording(long long n)
{
    std::vector<float> s((size_t)n);
    std::mt19937 rng(5);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    const double notes[] = {110.0, 146.83, 196.0, 261.63, 329.63, 82.41};
    for (long long i = 0; i < n; i++) {
        const double t = (double)i / sr, f0 = notes[(int)(t / 1.5) % 6], tn = std::fmod(t, 1.5);
        const double envelope = std::min(1.0, tn / 0.01) * std::exp(-1.2 * tn);
        double v = 0.08 * std::sin(2 * M_PI * 1000 * t);
        for (int h = 1; h <= 12; h++)
            v += 0.25 / h * envelope * std::sin(2 * M_PI * f0 * h * t + h);
        if (std::fmod(t, 2.0) > 0.9 && std::fmod(t, 2.0) < 1.2)
            v += 0.1 * noise(rng);
        s[(size_t)i] = (float)v;
    }
    for (long long c = sr / 3; c < n; c += 13 * sr / 10)
        s[(size_t)c] += 0.6f;
    return s;
}

std::vector<float> faded_tone(long long n, double f)
{
    std::vector<float> s((size_t)n);
    for (long long i = 0; i < n; i++) {
        const double fade = std::min(1.0, (double)std::min(i, n - 1 - i) / (0.02 * sr));
        s[(size_t)i] = (float)(0.5 * std::sin(2 * M_PI * f * i / sr) * (0.5 - 0.5 * std::cos(M_PI * fade)));
    }
    return s;
}

// The spectrum of the whole sound, padded so that nothing wraps round.
int padded_size(long long n) { return next_smooth_size((int)n + 4 * sr); }

std::vector<float> spectrum(const std::vector<float>& x)
{
    const int N = padded_size((long long)x.size());
    std::vector<float> a(N, 0.0f), X(N);
    std::copy(x.begin(), x.end(), a.begin());
    real_fft(a.data(), X.data(), N, FFT_FORWARD);
    return X;
}

std::vector<float> in_range(const std::vector<float>& x)
{
    std::vector<float> X = spectrum(x), a(X.size());
    const int N = (int)X.size();
    for (int k = 0; k <= N / 2; k++) {
        const double f = (double)k * sr / N;
        if (f < fmin || f > fmax) {
            X[k] = 0.0f;
            if (k > 0 && k < N - k)
                X[N - k] = 0.0f;
        }
    }
    real_fft(X.data(), a.data(), N, FFT_BACKWARD);
    return std::vector<float>(a.begin(), a.begin() + (long long)x.size());
}

double best_gain(const std::vector<float>& x, const std::vector<float>& y, long long from, long long to)
{
    double xy = 0, yy = 0;
    for (long long i = from; i < to; i++) {
        xy += (double)x[i] * y[i];
        yy += (double)y[i] * y[i];
    }
    return xy / yy;
}

double snr_db(const std::vector<float>& x, const std::vector<float>& y, long long from, long long to)
{
    const double g = best_gain(x, y, from, to);
    double xx = 0, err = 0;
    for (long long i = from; i < to; i++) {
        const double e = x[i] - g * y[i];
        xx += (double)x[i] * x[i];
        err += e * e;
    }
    return 10.0 * std::log10(xx / err);
}

struct Case {
    BlockGeometry geometry;
    LosslessSetup setup;
    std::vector<float> sound;
    long long n = 0;
    int W = 0, H = 0;
    Case(const std::vector<float>& s, float resolution, float pitch_resolution)
    {
        n = (long long)s.size();
        W = analysis_image_width(n, resolution, sr);
        H = analysis_image_height(fmin, fmax, pitch_resolution);
        block_geometry(geometry, W, H, resolution, sr, false, n);
        build_lossless_setup(setup, geometry, fmin, fmax, 2.0f);
        sound = s;
        extend_original_sound(sound, n, geometry.block_length);
    }
    std::vector<float> render(Image current, Image original, int threads = 0)
    {
        OutputBuffer out;
        float gain = 1.0f;
        render_lossless_output(setup, current, original, sound.data(), (long long)sound.size(), out, &gain, threads);
        std::vector<float> y((size_t)n);
        output_read(out, 0, y.data(), n);
        return y;
    }
};

Image constant_picture(int rows, int columns, float value)
{
    Image p = image_alloc(rows, columns);
    for (int y = 0; y < rows; y++)
        std::fill(p[y], p[y] + columns, value);
    return p;
}

void round_trip(const char* name, const std::vector<float>& s, float resolution, float pitch_resolution,
                bool where)
{
    Case c(s, resolution, pitch_resolution);
    Image picture = constant_picture(c.H, c.W, 0.5f);
    const auto start = std::chrono::steady_clock::now();
    const std::vector<float> y = c.render(picture, picture, 1);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    image_free(picture);
    const std::vector<float> xi = in_range(s), yi = in_range(y);
    const long long n = c.n;
    printf("%-9s %3g px/s %3g rows/oct (%d x %d): inside the range %6.2f dB (without the first and last "
           "half second %6.2f dB), whole band %6.2f dB; one thread %.1fx real time\n",
           name, resolution, pitch_resolution, c.H, c.W, snr_db(xi, yi, 0, n), snr_db(xi, yi, sr / 2, n - sr / 2),
           snr_db(s, y, 0, n), (double)n / sr / seconds);
    if (!where)
        return;
    // The remaining error inside the range, by octave and by quarter second.
    const double g = best_gain(xi, yi, 0, n);
    std::vector<float> e((size_t)n);
    for (long long i = 0; i < n; i++)
        e[(size_t)i] = (float)(xi[i] - g * yi[i]);
    const std::vector<float> E = spectrum(e), X = spectrum(xi);
    const int N = (int)E.size();
    auto power = [N](const std::vector<float>& S, int k) {
        return (double)S[k] * S[k] + (k > 0 && k < N - k ? (double)S[N - k] * S[N - k] : 0.0);
    };
    printf("  error by octave (signal / error):");
    for (double f = fmin; f < fmax; f *= 2) {
        double pe = 0, px = 0;
        for (int k = (int)std::ceil(f * N / sr); k <= std::min((int)(std::min(2 * f, (double)fmax) * N / sr), N / 2); k++) {
            pe += power(E, k);
            px += power(X, k);
        }
        printf(" %.0f Hz %.1f dB;", f, 10 * std::log10(px / pe));
    }
    printf("\n  error by quarter second (signal / error):");
    for (long long a = 0; a < n; a += sr / 4) {
        double pe = 0, px = 0;
        for (long long i = a; i < std::min(n, a + sr / 4); i++) {
            pe += (double)e[i] * e[i];
            px += (double)xi[i] * xi[i];
        }
        printf(" %.0f", 10 * std::log10(px / pe));
    }
    printf("\n");
}

double tone_level(const std::vector<float>& y, double from, double to, double f)
{
    const long long a = (long long)(from * sr), n = (long long)((to - from) * sr);
    double re = 0, im = 0;
    for (long long i = 0; i < n; i++) {
        const double w = 0.5 - 0.5 * std::cos(2 * M_PI * i / n);
        re += w * y[a + i] * std::cos(2 * M_PI * f * i / sr);
        im += w * y[a + i] * std::sin(2 * M_PI * f * i / sr);
    }
    return re * re + im * im;
}

void edits()
{
    set_scale_base(2.0f);
    const int H = analysis_image_height(fmin, fmax, 60.0f);
    auto band_frequency = [H](int k) { return scale_to_freq((float)k / (float)(H - 1), fmin / sr, fmax / sr) * sr; };
    const long long n = 4ll * sr;
    const int k = 420, bands[3] = {k, k + 4, k - 4};
    std::vector<float> s((size_t)n, 0.0f);
    for (int b : bands)
        for (long long i = 0; i < n; i++)
            s[(size_t)i] += (float)(0.2 * std::sin(2 * M_PI * band_frequency(b) * (double)i / sr));
    Case c(s, 100.0f, 60.0f);
    Image original = constant_picture(H, c.W, 0.5f), half = constant_picture(H, c.W, 0.5f),
          dark = constant_picture(H, c.W, 0.5f);
    std::fill(half[H - 1 - k], half[H - 1 - k] + c.W, 0.25f);
    for (int y = H - 1 - (k + 2); y <= H - 1 - (k - 2); y++)
        std::fill(dark[y] + 150, dark[y] + 251, 0.0f);
    const std::vector<float> a = c.render(original, original), h = c.render(half, original), d = c.render(dark, original);
    auto db = [&](const std::vector<float>& y, int tone, double from, double to) {
        const double f = band_frequency(bands[tone]);
        return 10 * std::log10(tone_level(y, from, to, f) / tone_level(a, from, to, f));
    };
    printf("edits, tones at the centres of bands %d, %d, %d (%.0f Hz, %.0f Hz, %.0f Hz):\n", bands[0], bands[1],
           bands[2], band_frequency(bands[0]), band_frequency(bands[1]), band_frequency(bands[2]));
    printf("  band %d halved: %.3f dB\n", k, db(h, 0, 1.0, 3.0));
    printf("  bands %d - %d darkened from 1.5 s to 2.51 s: inside %.1f dB; two bands above %.3f dB, below %.3f dB; "
           "50 ms before %.3f dB, after %.3f dB\n",
           k - 2, k + 2, db(d, 0, 1.55, 2.45), db(d, 1, 1.55, 2.45), db(d, 2, 1.55, 2.45), db(d, 0, 1.40, 1.45),
           db(d, 0, 2.56, 2.61));
    image_free(original);
    image_free(half);
    image_free(dark);
}

}  // namespace

int main()
{
    const long long n = 12ll * sr;
    const std::vector<float> mix = recording(n), tone = faded_tone(n, 441.3);
    round_trip("recording", mix, 100.0f, 60.0f, true);
    round_trip("recording", mix, 200.0f, 120.0f, false);
    round_trip("tone", tone, 100.0f, 60.0f, false);
    round_trip("tone", tone, 200.0f, 120.0f, false);
    edits();
    return 0;
}
