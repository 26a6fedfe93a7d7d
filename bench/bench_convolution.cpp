// Convolution blending of a 1000 × 571 picture by a 1000 × 571 layer (a 2000 × 1152 transform
// frame), uncached (two spectra, their product and the backward transform) and cached (the
// placement of a stored result), on the processor and on the OpenCL device; then the raw 2-D
// transform against FFTW's. Without SONOGRAPHICA_OPENCL set, an OpenCL device that runs on the
// processor is accepted, so that the clFFT path is measured on machines without a GPU.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/cfft2d.h"
#include "engine/fft_size.h"
#include "layers/convolution.h"
#include "layers/convolution_gpu.h"

namespace {

const int width = 1000, height = 571;

struct Pictures {
    Image layer, accumulated, work;
    Pictures()
    {
        std::mt19937 gen(1);
        std::uniform_real_distribution<float> value(0.0f, 1.0f);
        layer = image_alloc(height, width);
        accumulated = image_alloc(height, width);
        work = image_alloc(height, width);
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++) {
                layer[y][x] = value(gen) < 0.01f ? value(gen) : 0.0f;
                accumulated[y][x] = value(gen);
            }
    }
};

Pictures& pictures()
{
    static Pictures p;
    return p;
}

void restore_work()
{
    Pictures& p = pictures();
    for (int y = 0; y < height; y++)
        std::copy(p.accumulated[y], p.accumulated[y] + width, p.work[y]);
}

// Three composites without convolution: the cache empties, then the memory it kept is freed,
// so that an uncached convolution also meets fresh memory.
void forget_cache()
{
    for (int i = 0; i < 3; i++)
        release_unused_convolution_buffers();
}

void run_convolution(benchmark::State& state, bool gpu, bool cached)
{
    convolution_allow_gpu(gpu);
    if (gpu && !gpu_available()) {
        state.SkipWithError("no OpenCL device");
        return;
    }
    Pictures& p = pictures();
    forget_cache();
    restore_work();
    // Warm-up: plans (and on OpenCL the compiled kernels) exist before timing starts.
    convolve_layer(p.layer, p.work, width, height, width / 2, height / 2, 0);
    convolution_stats_reset();
    for (auto _ : state) {
        state.PauseTiming();
        if (!cached)
            forget_cache();
        restore_work();
        state.ResumeTiming();
        convolve_layer(p.layer, p.work, width, height, width / 2, height / 2, 0);
        // What a composite does at its end; with the cache in use it frees nothing.
        if (cached)
            release_unused_convolution_buffers();
    }
    const ConvolutionStats s = convolution_stats();
    state.counters["transforms"] = (double)(gpu ? s.gpu_forward + s.gpu_backward : s.cpu_forward + s.cpu_backward) /
                                   (double)state.iterations();
    convolution_allow_gpu(true);
}

void bench_convolution_cpu_uncached(benchmark::State& state) { run_convolution(state, false, false); }
void bench_convolution_cpu_cached(benchmark::State& state) { run_convolution(state, false, true); }
void bench_convolution_opencl_uncached(benchmark::State& state) { run_convolution(state, true, false); }
void bench_convolution_opencl_cached(benchmark::State& state) { run_convolution(state, true, true); }

BENCHMARK(bench_convolution_cpu_uncached)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);
BENCHMARK(bench_convolution_cpu_cached)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(bench_convolution_opencl_uncached)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);
BENCHMARK(bench_convolution_opencl_cached)->Unit(benchmark::kMillisecond)->UseRealTime();

// The raw forward transform of the frame, ours against FFTW's (estimated plan, single precision).
const int frame_w = next_fast_size(2 * width - 1), frame_h = next_fast_size(2 * height - 1);

void fill_frame(float* data)
{
    std::mt19937 gen(2);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (size_t i = 0; i < (size_t)2 * frame_w * frame_h; i++)
        data[i] = value(gen);
}

void bench_cfft2f_frame(benchmark::State& state)
{
    auto plan = cfft_2D_create_plan(frame_w, frame_h, 4);
    std::vector<float> data((size_t)2 * frame_w * frame_h);
    fill_frame(data.data());
    for (auto _ : state) {
        cfft2f(*plan, data.data(), frame_w);
        benchmark::DoNotOptimize(data.data());
    }
}
BENCHMARK(bench_cfft2f_frame)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

void bench_fftw_frame(benchmark::State& state)
{
    fftwf_complex* data = fftwf_alloc_complex((size_t)frame_w * frame_h);
    fftwf_plan plan = fftwf_plan_dft_2d(frame_h, frame_w, data, data, FFTW_FORWARD, FFTW_ESTIMATE);
    fill_frame((float*)data);
    for (auto _ : state) {
        fftwf_execute(plan);
        benchmark::DoNotOptimize(data);
    }
    fftwf_destroy_plan(plan);
    fftwf_free(data);
}
BENCHMARK(bench_fftw_frame)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

// Keeps each run's time per iteration for the ratios printed at the end.
struct RecordingReporter : benchmark::ConsoleReporter {
    std::map<std::string, double> ms;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (!r.error_occurred)
                ms[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

void print_ratio(const RecordingReporter& r, const char* what, const std::string& a, const std::string& b)
{
    auto ia = r.ms.find(a), ib = r.ms.find(b);
    if (ia == r.ms.end() || ib == r.ms.end())
        return;
    printf("%s: %.3f ms / %.3f ms = %.2f\n", what, ia->second, ib->second, ia->second / ib->second);
}

}  // namespace

int main(int argc, char** argv)
{
    setenv("SONOGRAPHICA_OPENCL", "cpu", 0);
    benchmark::Initialize(&argc, argv);
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const std::string tail = "/iterations:8/real_time";
    print_ratio(reporter, "CPU/OpenCL, uncached", "bench_convolution_cpu_uncached" + tail,
                "bench_convolution_opencl_uncached" + tail);
    print_ratio(reporter, "CPU/OpenCL, cached", "bench_convolution_cpu_cached/real_time",
                "bench_convolution_opencl_cached/real_time");
    print_ratio(reporter, "cfft2f/FFTW, 2000 x 1152 forward", "bench_cfft2f_frame" + tail, "bench_fftw_frame" + tail);
    gpu_shutdown();
    benchmark::Shutdown();
    return 0;
}
