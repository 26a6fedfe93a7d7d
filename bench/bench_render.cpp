// How faithfully and how fast pictures become sound again.
//
// Fidelity, printed before the timings, on a 10-second recording-like signal (harmonic tones,
// noise bursts and clicks) analysed at the defaults (44.1 kHz, 27.5 Hz - 20 kHz, 60 rows per
// octave: 571 rows, 100 px/s):
// - lossless round trip: the unedited picture rendered in lossless mode, signal-to-error ratio
//   in dB after the best single gain, over the whole sound and without its first and last
//   second, and against the signal cut to the picture's frequency range (what the bands can
//   carry at all), which shows how much of the error lies outside that range;
// - noise synthesis of the same picture: log-spectral distance in dB over the 571 bands
//   between the analysis of the original and the analysis of the rendered sound, per column
//   (then averaged over the columns) and over the long-term band spectrum; the same for the
//   lossless rendering as the floor of the measure.
//
// Speed: live generation in nanoseconds per output sample at 571 rows through the player
// (fill_output, 1024-frame callbacks; wall time and the calling thread's processor time), and offline rendering of 60 s in live mode (real-time
// factor, noise bank included). The block modes' offline real-time factors are bench_synthesis.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <thread>
#include <vector>

#include "engine/analysis.h"
#include "engine/fft.h"
#include "engine/fft_size.h"
#include "engine/noise.h"
#include "engine/playback.h"
#include "engine/render.h"
#include "engine/scale.h"
#include "engine/image.h"

namespace {

constexpr int sr = 44100;
constexpr float fmin = 27.5f, fmax = 20000.0f, resolution = 100.0f;

// Tones with harmonics changing every 1.25 s, a noise burst every second, a click every 0.37 s.
std::vector<float> recording_like(double seconds)
{
    const size_t n = (size_t)(seconds * sr);
    std::vector<float> s(n);
    std::mt19937 rng(3);
    std::normal_distribution<float> gauss(0.0f, 1.0f);
    const double notes[8] = {110.0, 146.8, 196.0, 261.6, 220.0, 329.6, 82.4, 392.0};
    double phase = 0.0;
    for (size_t i = 0; i < n; i++) {
        const double t = (double)i / sr;
        const int note = (int)(t / 1.25) % 8;
        const double in_note = std::fmod(t, 1.25);
        phase += 2 * M_PI * notes[note] / sr;
        double tone = 0.0;
        for (int h = 1; h <= 12; h++)
            tone += std::sin(h * phase + 0.3 * h) / (h * h * 0.5 + 0.5);
        tone *= 0.25 * std::min(1.0, in_note * 50.0) * std::exp(-1.2 * in_note);
        const double in_second = std::fmod(t + 0.4, 1.0);
        const double burst = in_second < 0.12 ? 0.15 * std::sin(M_PI * in_second / 0.12) * gauss(rng) : 0.0;
        const double click = std::fmod(t, 0.37) < 1.0 / sr ? 0.8 : 0.0;
        s[i] = (float)(tone + burst + click);
    }
    return s;
}

AnalysisParameters parameters()
{
    AnalysisParameters p;
    p.fmin = fmin;
    p.fmax = fmax;
    p.time_resolution = resolution;
    return p;
}

Image analyse(const std::vector<float>& sound, int* rows, int* columns)
{
    const AnalysisParameters p = parameters();
    *rows = analysis_image_height(p.fmin, p.fmax, p.pitch_resolution);
    Image image = analyse_sound(sound.data(), (int)sound.size(), sr, *rows, p, columns);
    scale_image_to_unit_peak(image, *rows, *columns);
    return image;
}

// Signal-to-error ratio of y against x over [from, to) after the best single gain on y.
double ser_db(const std::vector<float>& x, const std::vector<float>& y, size_t from, size_t to)
{
    double xy = 0, yy = 0, xx = 0, err = 0;
    for (size_t i = from; i < to; i++) {
        xy += (double)x[i] * y[i];
        yy += (double)y[i] * y[i];
        xx += (double)x[i] * x[i];
    }
    const double g = xy / yy;
    for (size_t i = from; i < to; i++) {
        const double e = x[i] - g * y[i];
        err += e * e;
    }
    return 10.0 * std::log10(xx / err);
}

// x with every spectral component outside [lo, hi] Hz removed.
std::vector<float> band_limited(const std::vector<float>& x, double lo, double hi)
{
    const int n = next_smooth_size((int)x.size());
    std::vector<float> a((size_t)n, 0.0f), X((size_t)n);
    std::copy(x.begin(), x.end(), a.begin());
    real_fft(a.data(), X.data(), n, FFT_FORWARD);
    for (int k = 0; k <= n / 2; k++) {
        const double f = (double)k * sr / n;
        if (f >= lo && f <= hi)
            continue;
        X[k] = 0.0f;
        if (k > 0 && k < n - k)
            X[n - k] = 0.0f;
    }
    real_fft(X.data(), a.data(), n, FFT_BACKWARD);
    a.resize(x.size());
    return a;
}

// Log-spectral distances between two pictures of one analysis: per column (RMS over the bands
// of the level difference in dB, averaged over the columns) and over the long-term band
// spectrum. The second picture is first scaled to the first one's energy; levels more than
// 100 dB under the first picture's peak count as that floor.
void log_spectral_distance(Image a, Image b, int rows, int columns, double* per_column, double* long_term)
{
    double ea = 0, eb = 0, peak = 0;
    for (int y = 0; y < rows; y++)
        for (int x = 0; x < columns; x++) {
            ea += (double)a[y][x] * a[y][x];
            eb += (double)b[y][x] * b[y][x];
            peak = std::max(peak, (double)std::fabs(a[y][x]));
        }
    const double g = std::sqrt(ea / eb), floor = peak * 1e-5;
    double sum_columns = 0;
    for (int x = 0; x < columns; x++) {
        double d2 = 0;
        for (int y = 0; y < rows; y++) {
            const double la = std::max((double)std::fabs(a[y][x]), floor);
            const double lb = std::max(g * std::fabs(b[y][x]), floor);
            const double d = 20.0 * std::log10(la / lb);
            d2 += d * d;
        }
        sum_columns += std::sqrt(d2 / rows);
    }
    *per_column = sum_columns / columns;
    double d2 = 0;
    for (int y = 0; y < rows; y++) {
        double sa = 0, sb = 0;
        for (int x = 0; x < columns; x++) {
            sa += (double)a[y][x] * a[y][x];
            sb += g * g * (double)b[y][x] * b[y][x];
        }
        const double f2 = floor * floor * columns;
        const double d = 10.0 * std::log10(std::max(sa, f2) / std::max(sb, f2));
        d2 += d * d;
    }
    *long_term = std::sqrt(d2 / rows);
}

// Where the lossless error lies. The rendering is compared with the original filtered by one
// complex gain per band of 1/60 octave (fitted by least squares, from 1 Hz to the Nyquist
// frequency): how far that filter explains the rendering (what is left is time-varying: block
// joins, the envelope kernel), and how far the filter alone - the ripple of the summed band
// weights in the range, the loss outside it - keeps the rendering from the original.
void print_transfer(const std::vector<float>& x, const std::vector<float>& y, int rows)
{
    const int n = next_smooth_size((int)x.size());
    std::vector<float> a((size_t)n, 0.0f), b((size_t)n, 0.0f), X((size_t)n), Y((size_t)n), F((size_t)n, 0.0f);
    std::copy(x.begin(), x.end(), a.begin());
    std::copy(y.begin(), y.end(), b.begin());
    real_fft(a.data(), X.data(), n, FFT_FORWARD);
    real_fft(b.data(), Y.data(), n, FFT_FORWARD);
    const double per_octave = (rows - 1) / std::log2(fmax / fmin);
    std::vector<double> level;  // dB of the fitted gain, per row band inside the range
    int k = 1;
    F[0] = X[0] * (X[0] != 0.0f ? Y[0] / X[0] : 0.0f);
    for (int band = 0; k <= n / 2; band++) {
        const double hi = std::pow(2.0, (band + 1) / per_octave);  // Hz, bands from 1 Hz up
        int last = std::min(n / 2, std::max(k, (int)(hi * n / sr)));
        double xx = 0, re = 0, im = 0;
        for (int j = k; j <= last; j++) {
            const double xr = X[j], xi = j < n - j ? X[n - j] : 0.0;
            const double yr = Y[j], yi = j < n - j ? Y[n - j] : 0.0;
            xx += xr * xr + xi * xi;
            re += yr * xr + yi * xi;  // Y conj(X)
            im += yi * xr - yr * xi;
        }
        const double gr = xx > 0 ? re / xx : 0.0, gi = xx > 0 ? im / xx : 0.0;
        for (int j = k; j <= last; j++) {
            const double xr = X[j], xi = j < n - j ? X[n - j] : 0.0;
            F[j] = (float)(gr * xr - gi * xi);
            if (j < n - j)
                F[n - j] = (float)(gr * xi + gi * xr);
        }
        const double centre = std::pow(2.0, (band + 0.5) / per_octave);
        if (centre >= fmin && centre <= fmax && xx > 0)
            level.push_back(10.0 * std::log10(gr * gr + gi * gi));
        k = last + 1;
    }
    std::vector<float> fitted((size_t)n);
    real_fft(F.data(), fitted.data(), n, FFT_BACKWARD);
    fitted.resize(x.size());
    double mean = 0;
    for (double v : level)
        mean += v;
    mean /= (double)level.size();
    double lo_db = 1e9, hi_db = -1e9, sum2 = 0;
    for (size_t i = 3; i + 3 < level.size(); i++) {
        lo_db = std::min(lo_db, level[i] - mean);
        hi_db = std::max(hi_db, level[i] - mean);
        sum2 += (level[i] - mean) * (level[i] - mean);
    }
    const size_t second = (size_t)sr, end = x.size() - second;
    std::printf("  a filter of one complex gain per 1/60 octave explains the rendering to %.2f dB (the time-varying "
                "part); the filter alone keeps it %.2f dB from the original; its level across the range, three rows "
                "in from either end: %+.2f dB to %+.2f dB, RMS %.2f dB\n",
                ser_db(fitted, y, second, end), ser_db(x, fitted, second, end), lo_db, hi_db,
                std::sqrt(sum2 / (double)(level.size() - 6)));
}

RenderInput render_input(Image picture, int rows, int columns, int mode)
{
    RenderInput in;
    in.picture = picture;
    in.width = columns;
    in.height = rows;
    in.fmin = fmin;
    in.fmax = fmax;
    in.scale_base = 2.0f;
    in.time_resolution = resolution;
    in.sample_rate = sr;
    in.mode = mode;
    return in;
}

void print_fidelity()
{
    const std::vector<float> x = recording_like(10.0);
    int rows = 0, columns = 0;
    Image picture = analyse(x, &rows, &columns);

    // Lossless: the unedited picture over its own original.
    BlockGeometry g;
    block_geometry(g, columns, rows, resolution, sr, false, (long long)x.size());
    std::vector<float> padded = x;
    extend_original_sound(padded, (long long)x.size(), g.block_length);
    RenderInput in = render_input(picture, rows, columns, synthesis_lossless);
    in.original_image = picture;
    in.original_sound = padded.data();
    in.original_sound_length = (long long)x.size();
    in.original_sound_size = (long long)padded.size();
    std::vector<float> lossless;
    render_to_sound(in, lossless);
    const size_t n = x.size(), second = (size_t)sr;
    const std::vector<float> inside_range = band_limited(x, fmin, fmax);
    std::printf("lossless round trip, %d x %d picture of 10 s: SER %.2f dB whole, %.2f dB without the first and "
                "last second; against the signal cut to %g Hz - %g Hz: %.2f dB whole, %.2f dB inside\n",
                columns, rows, ser_db(x, lossless, 0, n), ser_db(x, lossless, second, n - second), fmin, fmax,
                ser_db(inside_range, lossless, 0, n), ser_db(inside_range, lossless, second, n - second));
    print_transfer(x, lossless, rows);

    // Noise: the same picture, its sound analysed again.
    random_seed(77);
    std::vector<float> noise;
    render_to_sound(render_input(picture, rows, columns, synthesis_noise), noise);
    int rows_noise = 0, columns_noise = 0, rows_lossless = 0, columns_lossless = 0;
    Image heard_noise = analyse(noise, &rows_noise, &columns_noise);
    Image heard_lossless = analyse(lossless, &rows_lossless, &columns_lossless);
    double column_noise, long_noise, column_lossless, long_lossless;
    log_spectral_distance(picture, heard_noise, rows, std::min(columns, columns_noise), &column_noise, &long_noise);
    log_spectral_distance(picture, heard_lossless, rows, std::min(columns, columns_lossless), &column_lossless,
                          &long_lossless);
    std::printf("log-spectral distance over %d bands, original vs rendered: noise synthesis %.2f dB per column, "
                "%.2f dB long-term; lossless %.2f dB per column, %.2f dB long-term\n",
                rows, column_noise, long_noise, column_lossless, long_lossless);
    std::fflush(stdout);
    image_free(picture);
    image_free(heard_noise);
    image_free(heard_lossless);
}

// ---------------------------------------------------------------- speed

constexpr int live_rows = 571, live_columns = 6000;

// A transposed 60-second picture of random levels, owned like a project's synthesis copy.
struct LiveCopy {
    Image columns = nullptr;
    int width = live_columns, height = live_rows;
    std::mutex lock;
    std::atomic<bool> updated{false};
    LiveCopy()
    {
        std::mt19937 rng(5);
        std::uniform_real_distribution<float> u(0.0f, 1.0f);
        columns = image_alloc(width, height);
        for (int x = 0; x < width; x++)
            for (int y = 0; y < height; y++)
                columns[x][y] = u(rng) * u(rng);
    }
    ~LiveCopy() { image_free(columns); }
};

double thread_cpu_seconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

void bench_live_generation_571_rows(benchmark::State& state)
{
    static LiveCopy copy;
    PlaybackState s;
    LivePicture picture;
    picture.columns = &copy.columns;
    picture.width = &copy.width;
    picture.height = &copy.height;
    picture.lock = &copy.lock;
    picture.updated = &copy.updated;
    playback_init(s, sr, fmin, fmax, resolution, picture);
    s.controls.live_synthesis = true;
    s.controls.loop_playback = true;
    s.bank = std::make_unique<NoiseBank>();
    build_noise_bank(*s.bank, live_rows, fmin, fmax, 2.0f, sr);
    s.level_divisor = 1.0f;
    playback_start(s);
    const int frames = 1024;
    std::vector<float> stereo(2 * frames);
    long long samples = 0;
    double seconds = 0.0, cpu_seconds = 0.0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        const double cpu_start = thread_cpu_seconds();
        fill_output(s, frames, stereo.data());
        cpu_seconds += thread_cpu_seconds() - cpu_start;
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        samples += frames;
        benchmark::DoNotOptimize(stereo.data());
    }
    // Wall time counts the moments another process had the core; processor time does not.
    state.counters["ns_per_sample"] = seconds * 1e9 / (double)samples;
    state.counters["cpu_ns_per_sample"] = cpu_seconds * 1e9 / (double)samples;
    state.counters["core_percent_at_44k1"] = cpu_seconds / ((double)samples / sr) * 100.0;
}

void bench_live_render_60s(benchmark::State& state)
{
    static LiveCopy copy;
    // Back to picture rows for the offline renderer.
    static Image picture = [] {
        Image p = image_alloc(live_rows, live_columns);
        for (int y = 0; y < live_rows; y++)
            for (int x = 0; x < live_columns; x++)
                p[y][x] = copy.columns[x][y];
        return p;
    }();
    double total = 0.0;
    for (auto _ : state) {
        std::vector<float> out;
        auto start = std::chrono::steady_clock::now();
        render_to_sound(render_input(picture, live_rows, live_columns, synthesis_live), out);
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["realtime_x"] = 60.0 * (double)state.iterations() / total;
}

}  // namespace

BENCHMARK(bench_live_generation_571_rows)->MinTime(2.0)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(bench_live_render_60s)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    print_fidelity();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
