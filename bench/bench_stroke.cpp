// Painting on a ten-minute project (60,000 × 571 pixels) in a 1,920 × 1,080 window, headless
// (SDL's offscreen video driver, dummy audio), through the pointer as a user paints:
// - the time from a pointer position to the frame that shows its dab, with live playback on;
// - frames per second during a long stroke with 100 harmonics;
// - frames per second while a scripted stroke crosses the picture.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "app/layout.h"
#include "app/shell.h"
#include "commands/archive_read.h"
#include "support/log.h"
#include "support/paths.h"
#include "headless_environment.h"

namespace {

using clock_type = std::chrono::steady_clock;

// A dim picture (about 0.1) with one bright pixel, so that the display's normalisation stays
// put and a white dab stands out.
struct TenMinutes {
    std::unique_ptr<Shell> sh = std::make_unique<Shell>();
    ScreenLayout l;
    explicit TenMinutes(bool live)
    {
        headless_environment();
        char name[] = "sonographica";
        char* argv[] = {name, nullptr};
        shell_startup(*sh, 1, argv);
        Shell& s = *sh;
        execute_archive_line(s.app, "Dimensions 60000 px x 571 px", nullptr);
        execute_archive_line(s.app, "New layer \"tones\"", nullptr);
        Project& p = s.app.project;
        for (int r = 0; r < p.height; r++)
            for (int c = 0; c < p.width; c++)
                p.layers[0].image[r][c] = (float)(0.1 + 0.05 * std::sin(r * 0.3) * std::sin(c * 0.01));
        p.layers[0].image[0][0] = 1.0f;
        p.recomposite_needed = true;
        s.app.requests.archive_line_executed = 1;
        s.app.requests.view_reset = 1;
        s.exit_after_frames = 1LL << 60;  // keeps the loop from waiting on events
        s.synthetic_pointer = true;
        s.pointer_x = s.pointer_y = -1000;
        if (live)
            s.app.requests.live_synthesis_on = 1;
        for (int i = 0; i < 5; i++)
            shell_frame(s);
        if (live) {
            s.app.requests.play = 1;
            shell_frame(s);
        }
        l = screen_layout(s.width, s.height, s.scale, s.startup.waveform_height, p.lossless);
        s.knobs.value[knob_tool_intensity] = 1.0;  // a dab that stands out on the dim picture
        s.app.requests.tool = tool_white_paint_spray + 1;
        shell_frame(s);
    }
    ~TenMinutes()
    {
        shell_shutdown(*sh);
        log_close();
    }
    void frame(int x, int y, unsigned buttons)
    {
        sh->pointer_x = x;
        sh->pointer_y = y;
        sh->pointer_buttons = buttons;
        shell_frame(*sh);
    }
    // The grey the picture shows at screen (x, y), as last drawn into the screen (the display
    // is what screen_draw copies there; the pointer's outline would hide the screen's own pixel).
    int shown(int x, int y) const
    {
        const Pixmap& d = sh->display;
        const int dx = x - l.image_x, dy = y - l.image_y;
        if (dx < 0 || dy < 0 || dx >= d.width || dy >= d.height)
            return 0;
        return (int)(d.pixels[(size_t)dy * d.width + dx] & 0xFF);
    }
};

// From a new pointer position during a stroke to the first presented frame whose screen shows
// the dab there; live synthesis plays meanwhile.
void BM_DabToScreenLatency(benchmark::State& state)
{
    TenMinutes run(true);
    Shell& sh = *run.sh;
    if (sh.app.playback.play_state.load() == play_stopped)
        state.SkipWithError("playback did not start");
    const ScreenLayout& l = run.l;
    // Back and forth along rows 80 pixels apart, so that every new position is unpainted (the
    // stroke joins its points with dabs).
    int x = l.image_x + 40, y = l.image_y + 40, step = 40;
    run.frame(x, y, SDL_BUTTON_LMASK);
    double worst = 0, total = 0;
    long long frames = 0;
    for (auto _ : state) {
        x += step;
        if (x >= l.image_x + l.image_width - 40 || x < l.image_x + 40) {
            step = -step;
            x += step;
            y += 80;
            if (y >= l.image_y + l.image_height - 40)
                y = l.image_y + 40;
            run.frame(x, y, SDL_BUTTON_LMASK);  // the turn is not a measured dab
            spray_wait(sh.app.spray);
            x += step;
        }
        const int before = run.shown(x, y);
        const auto t0 = clock_type::now();
        int f = 0;
        do {
            run.frame(x, y, SDL_BUTTON_LMASK);
            f++;
        } while ((run.shown(x, y) < before + 40 || sh.display_stale) && f < 200);
        const double ms = std::chrono::duration<double, std::milli>(clock_type::now() - t0).count();
        if (f >= 200) {

            state.SkipWithError("the dab never showed");
            break;
        }
        worst = std::max(worst, ms);
        total += ms;
        frames += f;
    }
    run.frame(x, y, 0);
    state.counters["mean_ms"] = total / (double)state.iterations();
    state.counters["worst_ms"] = worst;
    state.counters["frames_per_dab"] = (double)frames / (double)state.iterations();
}
BENCHMARK(BM_DabToScreenLatency)->Unit(benchmark::kMillisecond)->Iterations(60)->UseRealTime();

// A stroke moving a few pixels every frame across the whole picture (all 60,000 columns on
// screen); with `harmonics` the Harmonics Modifier paints 100 harmonics under every dab.
void stroke_frames(benchmark::State& state, bool harmonics)
{
    TenMinutes run(false);
    Shell& sh = *run.sh;
    sh.app.tools.harmonics_modifier = harmonics;
    sh.app.tools.spray_harmonics = 100;
    const ScreenLayout& l = run.l;
    const int y0 = l.image_y + l.image_height * 3 / 4;
    int x = l.image_x + 10;
    run.frame(x, y0, SDL_BUTTON_LMASK);
    const long long presents = sh.presents;
    const auto t0 = clock_type::now();
    for (auto _ : state) {
        x += 3;
        if (x >= l.image_x + l.image_width - 10)
            x = l.image_x + 10;
        run.frame(x, y0 + (int)(20 * std::sin(x * 0.02)), SDL_BUTTON_LMASK);
    }
    const double seconds = std::chrono::duration<double>(clock_type::now() - t0).count();
    run.frame(x, y0, 0);
    state.counters["fps"] = (double)state.iterations() / seconds;
    state.counters["presented_fps"] = (double)(sh.presents - presents) / seconds;
}

void BM_LongStrokeWith100Harmonics(benchmark::State& state) { stroke_frames(state, true); }
BENCHMARK(BM_LongStrokeWith100Harmonics)->Unit(benchmark::kMillisecond)->Iterations(300)->UseRealTime();

void BM_ScriptedStrokeAcrossTenMinutes(benchmark::State& state) { stroke_frames(state, false); }
BENCHMARK(BM_ScriptedStrokeAcrossTenMinutes)->Unit(benchmark::kMillisecond)->Iterations(300)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
