// The desktop program's frame costs, headless (SDL's offscreen video driver, dummy audio):
// start-up to the first presented frame, a frame in which nothing changed, and a full redraw
// of the interface at 1,920 x 1,080 with the example-sized picture on screen.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "app/bar_input.h"
#include "app/bar_state.h"
#include "app/layout.h"
#include "app/screen.h"
#include "app/shell.h"
#include "commands/archive_read.h"
#include "support/log.h"
#include "support/paths.h"
#include "headless_environment.h"

namespace {

// The main thread's own CPU time: the frame's work without the workers running beside it.
double thread_cpu_seconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

double cpu_seconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

// Start-up, then frames until one was presented; no file is opened.
void BM_StartupToFirstFrame(benchmark::State& state)
{
    headless_environment();
    for (auto _ : state) {
        auto sh = std::make_unique<Shell>();
        char name[] = "sonographica";
        char* argv[] = {name, nullptr};
        if (!shell_startup(*sh, 1, argv))
            state.SkipWithError("no window");
        while (sh->presents == 0)
            shell_frame(*sh);
        state.PauseTiming();
        shell_shutdown(*sh);
        log_close();
        sh.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartupToFirstFrame)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

struct Running {
    std::unique_ptr<Shell> sh = std::make_unique<Shell>();
    Running()
    {
        headless_environment();
        char name[] = "sonographica";
        char* argv[] = {name, nullptr};
        shell_startup(*sh, 1, argv);
        // A picture of the example's size: 571 rows, 20 s at 100 px/s.
        execute_archive_line(sh->app, "Dimensions 2000 px x 571 px", nullptr);
        execute_archive_line(sh->app, "New layer \"tones\"", nullptr);
        Project& p = sh->app.project;
        for (int r = 0; r < p.height; r++)
            for (int c = 0; c < p.width; c++)
                p.layers[0].image[r][c] = (float)(0.5 + 0.5 * std::sin(r * 0.3) * std::sin(c * 0.01));
        p.recomposite_needed = true;
        sh->app.requests.archive_line_executed = 1;
        for (int i = 0; i < 5; i++)
            shell_frame(*sh);
    }
    ~Running()
    {
        shell_shutdown(*sh);
        log_close();
    }
};

// A frame in which nothing changed: events polled, requests checked, nothing drawn. The CPU
// time per frame is the counter; the 1 ms sleep of the loop is not work.
void BM_IdleFrame(benchmark::State& state)
{
    Running run;
    run.sh->exit_after_frames = 1LL << 60;  // keeps the loop from waiting on events
    double cpu = 0;
    for (auto _ : state) {
        double t0 = cpu_seconds();
        shell_frame(*run.sh);
        cpu += cpu_seconds() - t0;
    }
    state.counters["cpu_ms_per_frame"] = cpu * 1e3 / (double)state.iterations();
}
BENCHMARK(BM_IdleFrame)->Unit(benchmark::kMillisecond)->Iterations(300);

// The whole interface drawn again at 1,920 x 1,080, the display of the picture already built.
void BM_FullRedraw(benchmark::State& state)
{
    Running run;
    screen_draw(*run.sh);
    for (auto _ : state) {
        run.sh->interface_changed = true;
        screen_draw(*run.sh);
        benchmark::DoNotOptimize(run.sh->screen.pixels.data());
    }
}
BENCHMARK(BM_FullRedraw)->Unit(benchmark::kMillisecond);

// A frame with the Options menu open while the pointer moves from entry to entry: the
// highlight changes every frame, so every frame is drawn and presented.
void BM_OpenMenuFrame(benchmark::State& state)
{
    Running run;
    Shell& sh = *run.sh;
    sh.exit_after_frames = 1LL << 60;
    sh.synthetic_pointer = true;
    const int title_x = sh.menus.menus[menu_options].x + 12 * sh.scale;
    for (unsigned buttons : {1u, 0u}) {
        sh.pointer_x = title_x;
        sh.pointer_y = 10 * sh.scale;
        sh.pointer_buttons = buttons;
        shell_frame(sh);
    }
    if (sh.menus.open != menu_options)
        state.SkipWithError("the menu did not open");
    const MenuEntry& a = sh.menus.menus[menu_options].entries[0];
    const MenuEntry& b = sh.menus.menus[menu_options].entries[1];
    double cpu = 0, main_cpu = 0;
    long long n = 0;
    for (auto _ : state) {
        const MenuEntry& e = (n++ % 2) ? a : b;
        sh.pointer_x = e.x + 20;
        sh.pointer_y = e.y + e.height / 2;
        double t0 = cpu_seconds(), m0 = thread_cpu_seconds();
        shell_frame(sh);
        cpu += cpu_seconds() - t0;
        main_cpu += thread_cpu_seconds() - m0;
    }
    state.counters["cpu_ms_per_frame"] = cpu * 1e3 / (double)state.iterations();
    state.counters["main_thread_cpu_ms_per_frame"] = main_cpu * 1e3 / (double)state.iterations();
    state.counters["presents"] = (double)sh.presents;
    state.counters["partial_presents"] = (double)sh.partial_presents;
}
BENCHMARK(BM_OpenMenuFrame)->Unit(benchmark::kMillisecond)->Iterations(1000);

// The button bar alone drawn at 1,920 x 1,080: its share of every interface redraw.
void BM_BarDraw(benchmark::State& state)
{
    Running run;
    Shell& sh = *run.sh;
    screen_draw(sh);
    const ScreenLayout l = screen_layout(sh.width, sh.height, sh.scale, sh.startup.waveform_height, sh.app.project.lossless);
    for (auto _ : state) {
        bar_draw(sh, l);
        benchmark::DoNotOptimize(sh.screen.pixels.data());
    }
}
BENCHMARK(BM_BarDraw)->Unit(benchmark::kMillisecond);

// A frame while the Volume knob is turned in circles at 1,920 x 1,080: the knob moves every
// frame, so every frame draws the interface and presents it.
void BM_KnobDragFrame(benchmark::State& state)
{
    Running run;
    Shell& sh = *run.sh;
    sh.exit_after_frames = 1LL << 60;
    sh.synthetic_pointer = true;
    sh.app.toggles.linear_knob_control = false;
    bar_sync(sh);
    const BarControl& knob = sh.bar.bar.controls[knob_slot(knob_volume)];
    const int cx = knob.x, cy = knob.y, r = 3 * knob.radius;
    sh.pointer_x = cx;
    sh.pointer_y = cy - knob.radius / 2;
    sh.pointer_buttons = SDL_BUTTON_LMASK;
    shell_frame(sh);  // the press, through the pointer frame as a user makes it
    if (sh.input.mode != pointer_control)
        state.SkipWithError("the knob was not hit");
    double cpu = 0, main_cpu = 0;
    long long n = 0;
    const long long presents = sh.presents;
    for (auto _ : state) {
        // Back and forth over a quarter turn, so that the knob never rests at an end.
        const double a = 0.8 * std::sin(0.05 * (double)n++);
        sh.pointer_x = cx + (int)std::lround(r * std::sin(a));
        sh.pointer_y = cy - (int)std::lround(r * std::cos(a));
        double t0 = cpu_seconds(), m0 = thread_cpu_seconds();
        shell_frame(sh);
        cpu += cpu_seconds() - t0;
        main_cpu += thread_cpu_seconds() - m0;
    }
    if (sh.input.mode != pointer_control)
        state.SkipWithError("the drag ended before the release");
    sh.pointer_buttons = 0;
    shell_frame(sh);
    state.counters["cpu_ms_per_frame"] = cpu * 1e3 / (double)state.iterations();
    state.counters["main_thread_cpu_ms_per_frame"] = main_cpu * 1e3 / (double)state.iterations();
    state.counters["presents"] = (double)(sh.presents - presents);
}
BENCHMARK(BM_KnobDragFrame)->Unit(benchmark::kMillisecond)->Iterations(200);

}  // namespace

BENCHMARK_MAIN();
