// Opening a sound as a project: 3 minutes of 44.1 kHz 16-bit stereo WAV through the "Open"
// line with the default analysis, that is reading, mixing to mono, analysing, scaling to a
// unit peak and installing the picture, the original image and the original sound. The
// counter "realtime" is seconds of sound per second of wall time; the target is 150 or more.
// "per_cpu_s" is seconds of sound per second of processor time over all threads, which other
// work on a shared machine disturbs less.
// The stages are timed on their own as well, to show where the time goes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <ctime>
#include <string>
#include <unistd.h>
#include <vector>

#include "commands/app.h"
#include "engine/analysis.h"
#include "engine/fft.h"
#include "engine/scale.h"
#include "commands/import.h"
#include "media/sound_read.h"
#include "commands/archive_read.h"

namespace {

const int sample_rate = 44100;
const double seconds = 180.0;

// A WAV file in the temporary folder, removed at exit: a melody over a drone on the left, a
// chord with pulses of noise on the right.
const std::string& wav_path()
{
    static std::string path = [] {
        char name[] = "/tmp/sonographica-bench-open-XXXXXX";
        int fd = mkstemp(name);
        if (fd < 0) {
            perror("mkstemp");
            std::exit(1);
        }
        close(fd);
        std::string p = std::string(name) + ".wav";
        std::rename(name, p.c_str());
        const size_t n = (size_t)(seconds * sample_rate);
        std::vector<unsigned char> b;
        b.reserve(44 + n * 4);
        auto u32 = [&](unsigned v) { for (int k = 0; k < 4; k++) b.push_back((unsigned char)(v >> (8 * k))); };
        auto u16 = [&](unsigned v) { for (int k = 0; k < 2; k++) b.push_back((unsigned char)(v >> (8 * k))); };
        b.insert(b.end(), {'R', 'I', 'F', 'F'});
        u32((unsigned)(36 + n * 4));
        b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
        u32(16), u16(1), u16(2), u32(sample_rate), u32(sample_rate * 4), u16(4), u16(16);
        b.insert(b.end(), {'d', 'a', 't', 'a'});
        u32((unsigned)(n * 4));
        unsigned state = 1;
        for (size_t i = 0; i < n; i++) {
            double t = (double)i / sample_rate;
            state = state * 214013u + 2531011u;
            double noise = (double)((state >> 16) & 0x7fff) / 32768.0 - 0.5;
            double note = 220.0 * std::pow(2.0, (double)((int)(t * 4.0) % 12) / 12.0);
            double left = 0.3 * std::sin(2 * M_PI * note * t) + 0.1 * std::sin(2 * M_PI * 3 * note * t) +
                          0.1 * std::sin(2 * M_PI * 55.0 * t);
            double right = 0.15 * (std::sin(2 * M_PI * 261.6 * t) + std::sin(2 * M_PI * 329.6 * t) +
                                   std::sin(2 * M_PI * 392.0 * t)) +
                           (std::fmod(t, 0.5) < 0.02 ? 0.4 * noise : 0.01 * noise);
            u16((unsigned)(short)std::lrint(left * 32767.0) & 0xFFFF);
            u16((unsigned)(short)std::lrint(right * 32767.0) & 0xFFFF);
        }
        FILE* f = std::fopen(p.c_str(), "wb");
        if (!f || std::fwrite(b.data(), 1, b.size(), f) != b.size()) {
            std::fprintf(stderr, "cannot write %s\n", p.c_str());
            std::exit(1);
        }
        std::fclose(f);
        std::atexit([] { std::remove(wav_path().c_str()); });
        return p;
    }();
    return path;
}

double process_cpu_seconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

void open_3min(benchmark::State& state)
{
    double cpu = 0.0;
    const std::string line = "Open \"" + wav_path() + "\"";
    const int samples = (int)(seconds * sample_rate);
    const int columns = analysis_image_width(samples, 100.0f, sample_rate);
    for (auto _ : state) {
        state.PauseTiming();
        auto app = std::make_unique<App>();
        app->history.enabled = false;
        fft_plan_cache_clear();  // a new file's length needs new transform plans
        state.ResumeTiming();

        double start = process_cpu_seconds();
        execute_archive_line(*app, line, nullptr);
        complete_load(*app);
        cpu += process_cpu_seconds() - start;

        state.PauseTiming();  // tearing the project down is not part of opening it
        const Project& p = app->project;
        bool ok = p.width == columns && p.height == 571 && p.layers.size() == 1 &&
                  p.original_sound_length == samples;
        app.reset();
        state.ResumeTiming();
        if (!ok) {
            state.SkipWithError("the opened project does not have the expected size");
            break;
        }
    }
    state.counters["realtime"] = benchmark::Counter(seconds, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["per_cpu_s"] = seconds * (double)state.iterations() / cpu;
}

void read_3min(benchmark::State& state)
{
    for (auto _ : state) {
        std::vector<float> s = load_sound_resampled(wav_path().c_str(), 0, sample_rate);
        benchmark::DoNotOptimize(s.data());
    }
    state.counters["realtime"] = benchmark::Counter(seconds, benchmark::Counter::kIsIterationInvariantRate);
}

void analyse_3min(benchmark::State& state)
{
    std::vector<float> s = load_sound_resampled(wav_path().c_str(), 0, sample_rate);
    AnalysisParameters a;
    const int rows = analysis_image_height(a.fmin, a.fmax, a.pitch_resolution);
    for (auto _ : state) {
        state.PauseTiming();
        fft_plan_cache_clear();
        state.ResumeTiming();
        int columns = 0;
        Image image = analyse_sound(s.data(), (int)s.size(), sample_rate, rows, a, &columns);
        scale_image_to_unit_peak(image, rows, columns);
        state.PauseTiming();
        image_free(image);
        state.ResumeTiming();
    }
    state.counters["realtime"] = benchmark::Counter(seconds, benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

BENCHMARK(open_3min)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(read_3min)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(analyse_3min)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    wav_path();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
