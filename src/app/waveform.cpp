#include "app/waveform.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "engine/scale.h"
#include "project/project.h"

namespace {

// Linear interpolation of n values onto waveform_points: the tent of half-width one pixel that
// the display uses when it enlarges.
void stretch(const std::vector<double>& values, float* out)
{
    const int n = (int)values.size();
    const double ratio = (double)n / waveform_points;
    for (int i = 0; i < waveform_points; i++) {
        const double at = std::clamp((i + 0.5) * ratio - 0.5, 0.0, (double)(n - 1));
        const int a = (int)std::floor(at), b = std::min(n - 1, a + 1);
        const double f = at - a;
        out[i] = (float)(values[(size_t)a] * (1.0 - f) + values[(size_t)b] * f);
    }
}

}  // namespace

std::vector<std::vector<float>> waveform_bands(const WaveformInput& in, int bands)
{
    const int H = (int)in.rows.size(), V = in.visible_columns, c0 = in.first_column;
    if (bands <= 0 || H <= 0 || V <= 0 || c0 < 0)
        return {};
    for (const float* row : in.rows)
        if (!row)
            return {};
    // The tilt of the scale: rows lower on a logarithmic axis gather fewer frequencies.
    std::vector<double> tilt((size_t)H, 1.0);
    if (in.base != 1.0f && H > 1) {
        const double span = display_log_scale_base(in.fmax, in.base) - display_log_scale_base(in.fmin, in.base);
        const double r = (H - 1) / span;
        if (std::isfinite(r) && r > 0.0)
            for (int y = 0; y < H; y++)
                tilt[(size_t)y] = std::pow(1.0 + (H - 1 - y) / r, in.base / 2.0 - 0.5);
    }
    std::vector<std::vector<float>> out((size_t)bands, std::vector<float>(waveform_points, 0.0f));
    std::vector<double> sums;
    for (int k = 0; k < bands; k++) {
        const int top = (int)((long long)H * k / bands), bottom = (int)((long long)H * (k + 1) / bands);
        float* band = out[(size_t)k].data();
        if (V <= waveform_points) {
            sums.assign((size_t)V, 0.0);
            for (int y = top; y < bottom; y++) {
                const float* row = in.rows[(size_t)y] + c0;
                for (int c = 0; c < V; c++)
                    sums[(size_t)c] += tilt[(size_t)y] * row[c];
            }
            stretch(sums, band);
        } else {
            for (int i = 0; i < waveform_points; i++) {
                const int c = c0 + (int)((double)i * (V - 1) / waveform_points + 0.5);
                double sum = 0.0;
                for (int y = top; y < bottom; y++)
                    sum += tilt[(size_t)y] * in.rows[(size_t)y][c];
                band[i] = (float)sum;
            }
        }
    }
    for (int k = bands - 2; k >= 0; k--)
        for (int i = 0; i < waveform_points; i++)
            out[(size_t)k][(size_t)i] += out[(size_t)k + 1][(size_t)i];
    return out;
}

namespace {

uint32_t add_scaled(uint32_t to, uint32_t colour, int coverage)
{
    uint32_t result = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        const int c = (int)((to >> shift) & 0xFF) + (int)((colour >> shift) & 0xFF) * coverage / 256;
        result |= (uint32_t)std::min(c, 255) << shift;
    }
    return result;
}

}  // namespace

Pixmap waveform_paint(const std::vector<std::vector<float>>& stacked, int height, std::span<const uint32_t> colours,
                      uint32_t background)
{
    Pixmap out = pixmap_create(waveform_points, std::max(0, height), 0xFF000000u);
    const int N = (int)colours.size();
    if (height <= 0 || stacked.empty() || N != (int)stacked.size() + 1)
        return out;
    const int m = height / 2;
    float peak = 0.0f;
    for (float v : stacked[0])
        peak = std::max(peak, v);
    const double s = peak > 0.0f ? 1.0 / peak : 0.0;
    auto extent = [&](float x) { return (long long)(s * x * (m + 0.5) * 256.0 + 0.5); };
    std::vector<uint32_t> half((size_t)m + 1);
    for (int i = 0; i < waveform_points; i++) {
        std::fill(half.begin(), half.end(), 0xFF000000u);
        // Rows going out from the middle: row k covers [256 k, 256 (k + 1)).
        auto stripe = [&](long long from, long long to, uint32_t colour) {
            from = std::max(0ll, from);
            to = std::min(to, (long long)(m + 1) * 256);
            for (long long k = from / 256; k <= m && k * 256 < to; k++) {
                const long long covered = std::min(to, (k + 1) * 256) - std::max(from, k * 256);
                if (covered >= 256)
                    half[(size_t)k] = colour;
                else if (covered > 0)
                    half[(size_t)k] = add_scaled(half[(size_t)k], colour, (int)covered);
            }
        };
        for (int j = 0; j < N - 1; j++) {
            const long long inner = j == N - 2 ? 0 : extent(stacked[(size_t)j + 1][(size_t)i]);
            stripe(inner, extent(stacked[(size_t)j][(size_t)i]), colours[(size_t)(N - 2 - j)]);
        }
        stripe(extent(stacked[0][(size_t)i]), (long long)(m + 1) * 256, background);
        for (int k = 0; k <= m; k++) {
            if (m + k < height)
                out.pixels[(size_t)(m + k) * waveform_points + (size_t)i] = half[(size_t)k];
            if (m - k >= 0)
                out.pixels[(size_t)(m - k) * waveform_points + (size_t)i] = half[(size_t)k];
        }
    }
    return out;
}

namespace {

void run(WaveformThread& w)
{
    std::unique_lock<std::mutex> guard(w.lock);
    for (;;) {
        w.wake.wait(guard, [&] { return w.quit || w.requested; });
        if (w.quit)
            return;
        w.requested = false;
        w.busy = true;
        const int width = w.width, height = w.height, first = w.first_column, visible = w.visible_columns;
        const std::vector<uint32_t> colours = w.colours;
        const uint32_t background = w.background;
        Project* p = w.project;
        guard.unlock();

        Pixmap strip;
        if (p && colours.size() >= 2 && width > 0 && height > 0) {
            std::vector<std::vector<float>> stacked;
            {
                std::lock_guard<std::mutex> image(p->image_lock);
                if (p->composite && first >= 0 && visible > 0 && first + visible <= p->composite_width) {
                    WaveformInput in;
                    in.rows = std::span<const float* const>(p->composite, (size_t)p->composite_height);
                    in.first_column = first;
                    in.visible_columns = visible;
                    in.fmin = p->fmin;
                    in.fmax = p->fmax;
                    in.base = p->scale_base;
                    stacked = waveform_bands(in, (int)colours.size() - 1);
                }
            }
            const Pixmap full = waveform_paint(stacked, height, colours, background);
            strip = pixmap_create(width, height);
            blit_scaled(raster_of(strip), 0, 0, width, height, view_of(full), ScaleFilter::bilinear);
        }

        guard.lock();
        w.strip = std::move(strip);
        w.busy = false;
        w.ready = true;
        // A request that came while this one ran waits a moment: dragging and zooming ask often.
        if (w.requested && !w.quit)
            w.wake.wait_for(guard, std::chrono::milliseconds(250), [&] { return w.quit; });
    }
}

}  // namespace

void waveform_request(WaveformThread& w, Project& p, int width, int height, int first_column, int visible_columns,
                      std::span<const uint32_t> colours, uint32_t background)
{
    {
        std::lock_guard<std::mutex> guard(w.lock);
        w.project = &p;
        w.width = width;
        w.height = height;
        w.first_column = first_column;
        w.visible_columns = visible_columns;
        w.colours.assign(colours.begin(), colours.end());
        w.background = background;
        w.requested = true;
        w.quit = false;
    }
    if (!w.thread.joinable())
        w.thread = std::thread(run, std::ref(w));
    w.wake.notify_one();
}

void waveform_stop(WaveformThread& w)
{
    {
        std::lock_guard<std::mutex> guard(w.lock);
        w.quit = true;
    }
    w.wake.notify_all();
    if (w.thread.joinable())
        w.thread.join();
}

WaveformThread::~WaveformThread()
{
    waveform_stop(*this);
}
