// The spectrogram view on a ten-minute project (60,000 x 571) in a 1,920 x 1,080 window: the
// display image rebuilt fast over the whole picture, smooth over 1,999 visible columns, and a
// redraw of the screen in which the picture did not change (axes, overlays, copy).
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "app/display.h"
#include "app/layout.h"
#include "app/screen.h"
#include "app/shell.h"
#include "engine/image.h"

namespace {

constexpr int columns = 60000, rows = 571, window_w = 1920, window_h = 1080;

std::unique_ptr<Shell> ten_minutes()
{
    auto sh = std::make_unique<Shell>();
    sh->width = window_w;
    sh->height = window_h;
    sh->screen = pixmap_create(window_w, window_h);
    Project& p = sh->app.project;
    p.width = p.composite_width = columns;
    p.height = p.composite_height = rows;
    p.composite = image_alloc(rows, columns);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> level(0.0f, 1.0f);
    for (int r = 0; r < rows; r++)
        for (int c = 0; c < columns; c++)
            p.composite[r][c] = level(random) * level(random);
    view_reset(sh->app.view, columns, rows);
    return sh;
}

ScreenLayout layout(const Shell& sh)
{
    return screen_layout(sh.width, sh.height, 1, sh.startup.waveform_height, false);
}

void BM_DisplayFastWhole(benchmark::State& state)
{
    auto sh = ten_minutes();
    const ScreenLayout l = layout(*sh);
    for (auto _ : state)
        display_rebuild(sh->display, l.image_width, l.image_height, sh->app, sh->gfx, true);
    state.counters["visible_columns"] = sh->app.view.visible_columns;
}
BENCHMARK(BM_DisplayFastWhole)->Unit(benchmark::kMillisecond);

void BM_DisplaySmooth1999Columns(benchmark::State& state)
{
    auto sh = ten_minutes();
    view_set(sh->app.view, columns, rows, (float)columns / 1999.0f, 1.0f, columns / 2.0f, rows / 2.0f);
    const ScreenLayout l = layout(*sh);
    if (!display_smooth(sh->app.view.visible_columns, false, sh->app.display))
        state.SkipWithError("not the smooth resampler");
    for (auto _ : state)
        display_rebuild(sh->display, l.image_width, l.image_height, sh->app, sh->gfx, false);
    state.counters["visible_columns"] = sh->app.view.visible_columns;
}
BENCHMARK(BM_DisplaySmooth1999Columns)->Unit(benchmark::kMillisecond);

// A redraw of everything with the display already built: what a frame costs when only the
// interface changed (the pointer moved, the play cursor advanced), with both overlays on.
void BM_RedrawWithoutImageChange(benchmark::State& state)
{
    auto sh = ten_minutes();
    sh->app.display.rhythm_overlay = true;
    sh->app.display.semitone_overlay = true;
    screen_draw(*sh);  // builds the display once
    for (auto _ : state)
        screen_draw(*sh);
}
BENCHMARK(BM_RedrawWithoutImageChange)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
