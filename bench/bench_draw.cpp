// The drawing layer at screen size: one full interface redraw at 1,920 x 1,080 (clear, the
// 1,920 x 1,000 view picture, a few hundred rectangles and lines, a few dozen icons, about
// 2,000 characters of text) and the primitives it is made of. The font is synthetic (cells of
// 12 x 18 pixels with a mix of empty, partial and full coverage, like anti-aliased glyphs), so
// the figures do not depend on the generated interface images.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "support/font.h"
#include "support/raster.h"

namespace {

constexpr int screen_w = 1920, screen_h = 1080;

Font synthetic_font()
{
    const int W = 12, H = 18;
    Pixmap glyphs = pixmap_create(W, 224 * H, 0x00FFFFFFu), limits = pixmap_create(W, 224 * H, 0x00FFFFFFu);
    std::mt19937 gen(3);
    for (int k = 1; k < 224; k++) {
        int w = 4 + int(gen() % 6);
        for (int i = 0; i < w; i++) {
            limits.pixels[size_t(k) * H * W + i] = 0xFFFFFFFFu;
            for (int j = 4; j < 15; j++) {
                uint32_t r = gen() % 10, a = r < 4 ? 0 : r < 7 ? 255 : 40 + gen() % 200;
                glyphs.pixels[(size_t(k) * H + j) * W + i] = (a << 24) | 0xFFFFFFu;
            }
        }
    }
    return font_from_images(glyphs, limits, -7);
}

// An icon with an opaque body, a soft edge and transparent corners.
Pixmap icon(int size)
{
    Pixmap img = pixmap_create(size, size);
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) {
            float dx = x - size / 2.0f + 0.5f, dy = y - size / 2.0f + 0.5f;
            float d = std::sqrt(dx * dx + dy * dy) - size * 0.4f;
            uint32_t a = d < 0 ? 255 : d > 2 ? 0 : uint32_t(255 * (1 - d / 2));
            img.pixels[size_t(y) * size + x] = (a << 24) | 0x3080C0u;
        }
    return img;
}

struct Scene {
    Pixmap screen = pixmap_create(screen_w, screen_h);
    Pixmap view = pixmap_create(screen_w, 1000);
    std::vector<Pixmap> icons;
    Font font = synthetic_font();
    std::vector<std::string> texts;
    Scene()
    {
        std::mt19937 gen(1);
        for (uint32_t& p : view.pixels)
            p = 0xFF000000u | (gen() & 0xFFFFFF);
        for (int s : {32, 40, 48, 64})
            icons.push_back(icon(s));
        const char* words[] = {"File", "Edit", "Operation", "Layer", "Vision Mode", "Volume", "Analyse",
                               "Synthesis", "Help", "0:01.250", "440 Hz", "\x97", "-12.5 dB"};
        for (int i = 0; i < 50; i++) {  // 50 labels of 40 characters: 2,000 characters
            std::string t;
            while (t.size() < 40)
                t += std::string(words[gen() % 13]) + " ";
            texts.push_back(t.substr(0, 40));
        }
    }
};

void redraw(Scene& s)
{
    Raster r = raster_of(s.screen);
    raster_fill(r, 0xFF202020u);
    blit_copy(r, 0, 40, view_of(s.view));
    for (int i = 0; i < 200; i++)  // buttons and panels, half of them translucent
        (i % 2 ? blend_rect : fill_rect)(r, (i * 97) % 1800, (i * 53) % 1040, 110, 22, 0xC0404850u);
    for (int i = 0; i < 100; i++)
        draw_rect_outline(r, (i * 89) % 1800, (i * 37) % 1040, 110, 22, 0xFF808080u);
    for (int i = 0; i < 100; i++) {
        draw_hline(r, 0, (i * 11) % 1080, screen_w, 0x60FFFFFFu);
        draw_vline(r, (i * 19) % 1920, 40, 1000, 0x60FFFFFFu);
    }
    for (int i = 0; i < 50; i++) {
        draw_dashed_hline(r, 0, 100 + i * 17, screen_w, 0xFFFFFF00u, 4, 4, i);
        draw_line(r, i * 30, 40, 1900 - i * 20, 1070, 0xFFFF4040u);
    }
    for (int i = 0; i < 40; i++)
        blit(r, 20 + (i * 47) % 1850, 5 + (i * 131) % 1000, view_of(s.icons[size_t(i) % s.icons.size()]));
    for (size_t i = 0; i < s.texts.size(); i++)
        draw_text(r, s.font, 10 + int(i % 4) * 470, 60 + int(i) * 20, s.texts[i], 0xFFE0E0E0u);
}

void BM_FullRedraw1920x1080(benchmark::State& state)
{
    Scene s;
    for (auto _ : state) {
        redraw(s);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FullRedraw1920x1080)->Unit(benchmark::kMillisecond);

void BM_FillScreen(benchmark::State& state)
{
    Pixmap screen = pixmap_create(screen_w, screen_h);
    for (auto _ : state) {
        raster_fill(raster_of(screen), 0xFF102030u);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FillScreen)->Unit(benchmark::kMicrosecond);

void BM_BlendRectScreen(benchmark::State& state)
{
    Pixmap screen = pixmap_create(screen_w, screen_h, 0xFF102030u);
    for (auto _ : state) {
        blend_rect(raster_of(screen), 0, 0, screen_w, screen_h, 0x80FFFFFFu);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BlendRectScreen)->Unit(benchmark::kMicrosecond);

void BM_BlitOpaque1920x1000(benchmark::State& state)
{
    Scene s;
    const bool copy = state.range(0) == 0;
    for (auto _ : state) {
        (copy ? blit_copy : blit)(raster_of(s.screen), 0, 40, view_of(s.view));
        benchmark::ClobberMemory();
    }
    state.SetLabel(copy ? "blit_copy" : "blit (per-pixel alpha, all opaque)");
}
BENCHMARK(BM_BlitOpaque1920x1000)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_BlitIcon64(benchmark::State& state)
{
    Scene s;
    for (auto _ : state) {
        blit(raster_of(s.screen), 100, 100, view_of(s.icons[3]));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BlitIcon64)->Unit(benchmark::kMicrosecond);

void BM_Text2000Characters(benchmark::State& state)
{
    Scene s;
    Raster r = raster_of(s.screen);
    for (auto _ : state) {
        for (size_t i = 0; i < s.texts.size(); i++)
            draw_text(r, s.font, 10 + int(i % 4) * 470, 60 + int(i) * 20, s.texts[i], 0xFFE0E0E0u);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 2000);
}
BENCHMARK(BM_Text2000Characters)->Unit(benchmark::kMicrosecond);

void BM_FreeLines(benchmark::State& state)
{
    Pixmap screen = pixmap_create(screen_w, screen_h);
    for (auto _ : state) {
        for (int i = 0; i < 100; i++)
            draw_line(raster_of(screen), -100 + i * 21, -50, 2000 - i * 19, 1130, 0xFFFF4040u);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FreeLines)->Unit(benchmark::kMicrosecond);

void BM_ScaledIcon32To64(benchmark::State& state)
{
    Pixmap screen = pixmap_create(256, 256);
    Pixmap small = icon(32);
    const auto filter = state.range(0) ? ScaleFilter::bilinear : ScaleFilter::nearest;
    for (auto _ : state) {
        blit_scaled(raster_of(screen), 10, 10, 64, 64, view_of(small), filter);
        benchmark::ClobberMemory();
    }
    state.SetLabel(state.range(0) ? "bilinear" : "nearest");
}
BENCHMARK(BM_ScaledIcon32To64)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
