// Analysis speed: 60 seconds of a synthetic stereo 44.1 kHz signal, mixed to mono, analysed
// with the default parameters. The counter "realtime" is seconds of sound per second of work.
// Before timing, the picture of every thread count is checked against the one-thread picture
// to the bit. Every timed run starts without cached transform plans, as the first analysis of
// a sound of a new length does; the very first run of the process, which also pays for the
// first touch of its memory, is timed on its own.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

#include "engine/analysis.h"
#include "engine/fft.h"
#include "engine/scale.h"

namespace {

const int sample_rate = 44100;
const double seconds = 60.0;

// Left: a gliding tone over noise; right: a chord with vibrato and pulses. Mixed as (L + R) / 2.
const std::vector<float>& mono_sound()
{
    static std::vector<float> mono = [] {
        size_t n = (size_t)(seconds * sample_rate);
        std::vector<float> mix(n);
        unsigned state = 1;
        double glide_phase = 0;
        for (size_t i = 0; i < n; i++) {
            double t = (double)i / sample_rate;
            state = state * 214013u + 2531011u;
            double noise = (double)((state >> 16) & 0x7fff) / 32768.0 - 0.5;
            glide_phase += 2 * M_PI * (100.0 * std::pow(2.0, 7.0 * t / seconds)) / sample_rate;
            double left = 0.4 * std::sin(glide_phase) + 0.05 * noise;
            double vibrato = 1.0 + 0.01 * std::sin(2 * M_PI * 5.0 * t);
            double right = 0.2 * (std::sin(2 * M_PI * 220.0 * vibrato * t) + std::sin(2 * M_PI * 277.2 * t) +
                                  std::sin(2 * M_PI * 329.6 * t)) +
                           (std::fmod(t, 0.5) < 0.01 ? 0.3 * noise : 0.0);
            mix[i] = (float)((left + right) / 2.0);
        }
        return mix;
    }();
    return mono;
}

Image run(int threads, int* rows, int* columns)
{
    AnalysisParameters p;
    *rows = analysis_image_height(p.fmin, p.fmax, p.pitch_resolution);
    const std::vector<float>& s = mono_sound();
    return analyse_sound(s.data(), (int)s.size(), sample_rate, *rows, p, columns, threads);
}

void check_equal_pictures()
{
    int rows = 0, columns = 0;
    Image plain = run(1, &rows, &columns);
    unsigned cores = std::max(2u, std::thread::hardware_concurrency());
    for (unsigned threads = 2; threads <= cores; threads++) {
        int r = 0, c = 0;
        Image image = run((int)threads, &r, &c);
        bool same = image && plain && r == rows && c == columns &&
                    memcmp(image[0], plain[0], sizeof(float) * (size_t)rows * (size_t)columns) == 0;
        std::printf("%u threads: %d x %d picture %s the one-thread picture\n", threads, columns, rows,
                    same ? "bit for bit equal to" : "DIFFERS from");
        image_free(image);
        if (!same)
            std::exit(1);
    }
    image_free(plain);
}

double process_cpu_seconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

// "realtime": seconds of sound per second of wall time. "per_cpu_s": seconds of sound per
// second of processor time over all threads, which other work on a shared machine disturbs less.
void analyse_60s(benchmark::State& state)
{
    const int threads = (int)state.range(0);
    double cpu = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        fft_plan_cache_clear();
        state.ResumeTiming();
        double start = process_cpu_seconds();
        int rows = 0, columns = 0;
        Image image = run(threads, &rows, &columns);
        benchmark::DoNotOptimize(image);
        image_free(image);
        cpu += process_cpu_seconds() - start;
    }
    state.counters["realtime"] = benchmark::Counter(seconds, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["per_cpu_s"] = seconds * (double)state.iterations() / cpu;
}

}  // namespace

BENCHMARK(analyse_60s)->Arg(1)->Arg(0)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    mono_sound();
    {
        timespec t0, t1;
        clock_gettime(CLOCK_MONOTONIC, &t0);
        int rows = 0, columns = 0;
        image_free(run(0, &rows, &columns));
        clock_gettime(CLOCK_MONOTONIC, &t1);
        double s = (double)(t1.tv_sec - t0.tv_sec) + (double)(t1.tv_nsec - t0.tv_nsec) * 1e-9;
        std::printf("first analysis of the process: %.1f ms, %.0fx real time\n", s * 1e3, seconds / s);
    }
    check_equal_pictures();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
