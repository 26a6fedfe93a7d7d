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
#include "app/waveform.h"
#include "engine/image.h"
#include "layers/composite.h"
#include "layers/spray.h"
#include "layers/stack.h"

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

// The strip of the whole ten minutes: bands, painting and the resampling to the area's width.
void BM_WaveformStrip(benchmark::State& state)
{
    auto sh = ten_minutes();
    const ScreenLayout l = layout(*sh);
    Project& p = sh->app.project;
    std::vector<uint32_t> rainbow(10);
    for (size_t i = 0; i < rainbow.size(); i++)
        rainbow[i] = 0xFF000000u | (uint32_t)(i * 25) << 8;
    for (auto _ : state) {
        WaveformInput in;
        in.rows = std::span<const float* const>(p.composite, (size_t)rows);
        in.visible_columns = columns;
        const Pixmap full = waveform_paint(waveform_bands(in, 9), l.strip_height, rainbow, 0xFF101010u);
        Pixmap strip = pixmap_create(l.strip_width, l.strip_height);
        blit_scaled(raster_of(strip), 0, 0, l.strip_width, l.strip_height, view_of(full), ScaleFilter::bilinear);
        benchmark::DoNotOptimize(strip.pixels.data());
    }
}
BENCHMARK(BM_WaveformStrip)->Unit(benchmark::kMillisecond);

// One step of a stroke across the ten minutes as the program runs it: a dab on a two-layer
// project, the touched columns composited (or, with range(0) 0, the whole picture), the fast
// display rebuilt. The frame rate a stroke keeps is one over this.
void BM_StrokeStep(benchmark::State& state)
{
    Project p;
    if (!resize_project(p, columns, rows, true) || !new_layer(p, "bottom") || !new_layer(p, "top"))
        state.SkipWithError("no project");
    std::mt19937 random(3);
    std::uniform_real_distribution<float> level(0.0f, 1.0f);
    for (Layer& layer : p.layers)
        for (int r = 0; r < rows; r++)
            for (int c = 0; c < columns; c++)
                layer.image[r][c] = level(random);
    composite_layers(p, false);
    App app;
    view_reset(app.view, columns, rows);
    InterfaceImages gfx;
    Pixmap display;
    SprayTool tool;
    const ScreenLayout l = screen_layout(window_w, window_h, 1, 55, false);
    const bool partial = state.range(0) != 0;
    float x = 100.0f;
    for (auto _ : state) {
        spray_dab(tool, p, x, 300.0f, 0, 40.0f, 20.0f, 0.3f, spray_dark);
        x = x + 30.0f > columns - 100 ? 100.0f : x + 30.0f;
        const int first = tool.touched_first.exchange(INT_MAX), last = tool.touched_last.exchange(-1);
        if (!partial || !composite_columns(p, false, first, last))
            composite_layers(p, false);
        // The display of the same picture (the App's own project stays empty: render directly).
        DisplayLook look;
        std::span<const float* const> source(p.composite, (size_t)rows);
        display_render(display, l.image_width, l.image_height, source, columns, app.view, look);
    }
    state.counters["partial"] = partial;
}
BENCHMARK(BM_StrokeStep)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
