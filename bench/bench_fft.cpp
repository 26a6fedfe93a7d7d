// real_fft forward + backward against the single-precision real transforms of FFTW, on the
// sizes the engine meets. After the runs it prints "size ours fftw ratio" (fftw: r2c + c2r,
// its fastest real path; fftw_r2r: the halfcomplex r2r kind, same layout as ours) and the
// median ratio. Each time is the processor time of the fastest repetition (pass --benchmark_repetitions=N).
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/fft.h"
#include "engine/fft_size.h"

static std::vector<float> random_signal(int n)
{
    std::mt19937 gen(12345u);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> x((size_t)n);
    for (float& v : x)
        v = dist(gen);
    return x;
}

static void bench_ours(benchmark::State& state, int n)
{
    std::vector<float> a = random_signal(n), b((size_t)n);
    real_fft(a.data(), b.data(), n, FFT_FORWARD);  // warms the plan cache
    real_fft(b.data(), a.data(), n, FFT_BACKWARD);
    for (auto _ : state) {
        // Forward leaves a overwritten, backward restores it from b: the data stays bounded.
        real_fft(a.data(), b.data(), n, FFT_FORWARD);
        real_fft(b.data(), a.data(), n, FFT_BACKWARD);
        benchmark::DoNotOptimize(a.data());
        benchmark::ClobberMemory();
    }
}

static unsigned fftw_flags(int n)
{
    // Measuring plans of several million points takes minutes; estimate those.
    return n > 2000000 ? FFTW_ESTIMATE : FFTW_MEASURE;
}

static void bench_fftw_r2c(benchmark::State& state, int n)
{
    float* x = fftwf_alloc_real((size_t)n);
    float* y = fftwf_alloc_real((size_t)n);
    fftwf_complex* z = fftwf_alloc_complex((size_t)n / 2 + 1);
    fftwf_plan fwd = fftwf_plan_dft_r2c_1d(n, x, z, fftw_flags(n));
    fftwf_plan bwd = fftwf_plan_dft_c2r_1d(n, z, y, fftw_flags(n));
    std::vector<float> s = random_signal(n);
    std::copy(s.begin(), s.end(), x);
    for (auto _ : state) {
        fftwf_execute(fwd);
        fftwf_execute(bwd);
        benchmark::DoNotOptimize(y);
        benchmark::ClobberMemory();
    }
    fftwf_destroy_plan(fwd);
    fftwf_destroy_plan(bwd);
    fftwf_free(x);
    fftwf_free(y);
    fftwf_free(z);
}

static void bench_fftw_r2r(benchmark::State& state, int n)
{
    float* x = fftwf_alloc_real((size_t)n);
    float* y = fftwf_alloc_real((size_t)n);
    float* z = fftwf_alloc_real((size_t)n);
    fftwf_plan fwd = fftwf_plan_r2r_1d(n, x, z, FFTW_R2HC, fftw_flags(n));
    fftwf_plan bwd = fftwf_plan_r2r_1d(n, z, y, FFTW_HC2R, fftw_flags(n));
    std::vector<float> s = random_signal(n);
    std::copy(s.begin(), s.end(), x);
    for (auto _ : state) {
        fftwf_execute(fwd);
        fftwf_execute(bwd);
        benchmark::DoNotOptimize(y);
        benchmark::ClobberMemory();
    }
    fftwf_destroy_plan(fwd);
    fftwf_destroy_plan(bwd);
    fftwf_free(x);
    fftwf_free(y);
    fftwf_free(z);
}

// Keeps the fastest time of every benchmark while the console shows the usual report.
struct CollectingReporter : benchmark::ConsoleReporter {
    std::map<std::string, double> best_us;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.error_occurred)
                continue;
            const std::string name = r.benchmark_name();
            const double us = r.GetAdjustedCPUTime();
            auto it = best_us.find(name);
            if (it == best_us.end() || us < it->second)
                best_us[name] = us;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

int main(int argc, char** argv)
{
    const std::vector<int> sizes = {60, 1000, 4000, 90000, 177147, next_fast_size(441000),
                                    next_fast_size(6635521)};
    for (int n : sizes) {
        benchmark::RegisterBenchmark(("ours/" + std::to_string(n)).c_str(), bench_ours, n)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("fftw/" + std::to_string(n)).c_str(), bench_fftw_r2c, n)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("fftw_r2r/" + std::to_string(n)).c_str(), bench_fftw_r2r, n)
            ->Unit(benchmark::kMicrosecond);
    }
    fftwf_set_timelimit(10.0);
    benchmark::Initialize(&argc, argv);
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::vector<double> ratios, ratios_r2r;
    printf("\nforward + backward, microseconds\n");
    printf("%8s %10s %10s %6s %10s %6s\n", "size", "ours", "fftw", "ratio", "fftw_r2r", "ratio");
    for (int n : sizes) {
        const std::string s = std::to_string(n);
        auto ours = reporter.best_us.find("ours/" + s);
        auto fftw = reporter.best_us.find("fftw/" + s);
        auto r2r = reporter.best_us.find("fftw_r2r/" + s);
        if (ours == reporter.best_us.end() || fftw == reporter.best_us.end())
            continue;  // filtered out on the command line
        const double ratio = ours->second / fftw->second;
        ratios.push_back(ratio);
        printf("%8d %10.2f %10.2f %6.2f", n, ours->second, fftw->second, ratio);
        if (r2r != reporter.best_us.end()) {
            const double ratio_r2r = ours->second / r2r->second;
            ratios_r2r.push_back(ratio_r2r);
            printf(" %10.2f %6.2f", r2r->second, ratio_r2r);
        }
        printf("\n");
    }
    auto median = [](std::vector<double> v) {
        if (v.empty())
            return 0.0;
        std::sort(v.begin(), v.end());
        const size_t m = v.size() / 2;
        return v.size() % 2 ? v[m] : 0.5 * (v[m - 1] + v[m]);
    };
    printf("median ratio: %.2f (against r2r: %.2f)\n", median(ratios), median(ratios_r2r));
    benchmark::Shutdown();
    return 0;
}
