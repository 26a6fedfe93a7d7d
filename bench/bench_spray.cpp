// Painting must keep up with a 1,000 Hz mouse: one stroke point (its interpolated dabs and
// their harmonics) should cost well under a millisecond. The stroke: 200 points of the dark
// spray with 100 harmonics and a 40-pixel brush on a 6,000 × 571 layer (a minute at
// 100 px/s, 27.5 Hz to 20 kHz at 60 rows per octave), the pointer moving 3 screen pixels
// right and 1 up per point.
#include <benchmark/benchmark.h>

#include <cmath>

#include "commands/spray_record.h"
#include "layers/spray.h"
#include "layers/stack.h"
#include "layers/tool_view.h"

namespace {

struct Canvas {
    Project p;
    SprayTool t;
    Canvas()
    {
        resize_project(p, 6000, 571, true);
        new_layer(p, "Layer 1");
        Image im = p.layers[0].image;
        for (int y = 0; y < 571; y++)
            for (int x = 0; x < 6000; x++)
                im[y][x] = 0.5f + 0.25f * sinf(x * 0.01f + y * 0.1f);
    }
};

// The stroke through a view showing `columns` columns and all rows on 1,500 × 571 screen pixels.
void stroke(benchmark::State& state, float first_column, float columns)
{
    Canvas c;
    ToolView v;
    v.first_column = first_column;
    v.visible_columns = columns;
    v.visible_rows = 571.0f;
    v.view_width = 1500.0f;
    v.view_height = 571.0f;
    const float width = 40.0f;
    float rx = std::max(1.5f * width * tool_columns_per_pixel(v), 2.0f);
    float ry = std::max(1.5f * width * tool_rows_per_pixel(v), 2.0f);
    int64_t points = 0;
    for (auto _ : state) {
        for (int i = 0; i < 200; i++) {
            float sx = 300.0f + 3.0f * i, sy = 124.0f + 500.0f - 1.0f * i;
            apply_spray_point(c.t, c.p, tool_column_at(v, sx), tool_row_at(v, sy), rx, ry, 0.25f, 100, 0, spray_dark,
                              i == 0);
        }
        points += 200;
    }
    // Seconds per point (printed with its prefix, e.g. 250u for 250 microseconds).
    state.counters["per_point"] =
        benchmark::Counter((double)points, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Four seconds of the picture across the screen: about one column per screen pixel.
void bench_dark_stroke_zoomed(benchmark::State& state) { stroke(state, 1000.0f, 1500.0f); }
BENCHMARK(bench_dark_stroke_zoomed)->Unit(benchmark::kMillisecond);

// The whole minute on the screen: four columns per pixel, brushes four times as wide.
void bench_dark_stroke_whole_picture(benchmark::State& state) { stroke(state, 0.0f, 6000.0f); }
BENCHMARK(bench_dark_stroke_whole_picture)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
