// Offline rendering of a 60-second project at the default geometry (44.1 kHz, 100 px/s,
// 27.5 Hz - 20 kHz, 571 rows), in noise mode and in lossless mode, set-up included: the
// real-time factor is 60 s divided by the wall time of one render. Blocks run on one thread
// and on every processor; before timing, the parallel output is checked against the
// sequential one bit for bit. Each timed render starts without cached transform plans, as
// the first render of a project of a new size does.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "engine/block_geometry.h"
#include "engine/fft.h"
#include "engine/noise.h"
#include "engine/synthesis.h"
#include "engine/image.h"

namespace {

constexpr int sr = 44100, rows = 571, seconds = 60;
constexpr float fmin = 27.5f, fmax = 20000.0f, resolution = 100.0f;
constexpr long long samples = (long long)seconds * sr;
constexpr int columns = seconds * 100;

struct Inputs {
    Image picture = nullptr;  // every pixel sounds: no band is skipped
    std::vector<float> sound;
    Inputs()
    {
        std::mt19937 rng(11);
        std::uniform_real_distribution<float> u(0.0f, 1.0f);
        picture = image_alloc(rows, columns);
        for (int y = 0; y < rows; y++)
            for (int x = 0; x < columns; x++)
                picture[y][x] = 0.05f + u(rng);
        sound.resize((size_t)samples);
        for (long long i = 0; i < samples; i++) {
            double t = (double)i / sr;
            sound[(size_t)i] = (float)(0.2 * std::sin(2 * M_PI * 110 * t) + 0.1 * std::sin(2 * M_PI * 1760 * t) +
                                       0.05 * (u(rng) - 0.5f));
        }
    }
    ~Inputs() { image_free(picture); }
};

const Inputs& inputs()
{
    static const Inputs in;
    return in;
}

int all_threads() { return (int)std::max(1u, std::thread::hardware_concurrency()); }

std::vector<float> render_noise(int threads)
{
    BlockGeometry g;
    block_geometry(g, columns, rows, resolution, sr, false, noise_output_length(columns, resolution, sr));
    random_seed(2024);
    NoiseCarriers carriers;
    build_noise_carriers(carriers, g, fmin, fmax, 2.0f, threads);
    OutputBuffer out;
    float gain = 1.0f;
    render_noise_output(carriers, inputs().picture, out, &gain, threads);
    std::vector<float> v((size_t)g.output_length);
    output_read(out, 0, v.data(), g.output_length);
    return v;
}

std::vector<float> render_lossless(int threads)
{
    BlockGeometry g;
    block_geometry(g, columns, rows, resolution, sr, false, samples);
    LosslessSetup setup;
    build_lossless_setup(setup, g, fmin, fmax, 2.0f);
    std::vector<float> sound = inputs().sound;
    extend_original_sound(sound, samples, g.block_length);
    OutputBuffer out;
    float gain = 1.0f;
    render_lossless_output(setup, inputs().picture, inputs().picture, sound.data(), (long long)sound.size(), out,
                           &gain, threads);
    std::vector<float> v((size_t)samples);
    output_read(out, 0, v.data(), samples);
    return v;
}

void check_parallel_equals_sequential()
{
    int threads = std::max(2, all_threads());
    bool noise = render_noise(1) == render_noise(threads);
    bool lossless = render_lossless(1) == render_lossless(threads);
    printf("parallel (%d threads) equals sequential to the bit: noise %s, lossless %s\n", threads,
           noise ? "yes" : "NO", lossless ? "yes" : "NO");
}

void run(benchmark::State& state, std::vector<float> (*render)(int))
{
    int threads = state.range(0) ? (int)state.range(0) : all_threads();
    double total = 0.0;
    for (auto _ : state) {
        fft_plan_cache_clear();
        auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(render(threads).data());
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["threads"] = threads;
    state.counters["realtime_x"] = (double)seconds * (double)state.iterations() / total;
}

void bench_noise_render_60s(benchmark::State& state) { run(state, render_noise); }
void bench_lossless_render_60s(benchmark::State& state) { run(state, render_lossless); }

}  // namespace

// Argument 0: every processor.
BENCHMARK(bench_noise_render_60s)->Arg(1)->Arg(0)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(bench_lossless_render_60s)->Arg(1)->Arg(0)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    inputs();
    check_parallel_equals_sequential();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
