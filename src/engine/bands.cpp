#include "engine/bands.h"

#include <algorithm>
#include <cmath>

#include "engine/fft_size.h"
#include "engine/scale.h"
#include "support/log.h"

// Transform lengths stay below this, so every index and doubled count fits an int.
static constexpr long long max_length = 1ll << 30;

// Nearest integer, ties to even; far values saturate (they only mean "outside the
// spectrum") and NaN gives 0, so no conversion is undefined.
static long long round_bin(float x)
{
    if (x != x)
        return 0;
    if (x > 1e15f)
        return 1000000000000000ll;
    if (x < -1e15f)
        return -1000000000000000ll;
    return std::llrint(x);
}

BandEdges band_edges(int k, float half_width, int rows, float a, float b, int N)
{
    BandEdges e;
    const float u = 1.0f / (float)(rows - 1);
    const float n = (float)N;
    e.lo = round_bin(scale_to_freq(((float)k - half_width) * u, a, b) * n);
    e.hi = round_bin(scale_to_freq(((float)k + half_width) * u, a, b) * n);
    e.tlo = freq_to_scale((float)e.lo / n, a, b);
    e.thi = freq_to_scale((float)e.hi / n, a, b);
    if (!std::isfinite(e.tlo))
        e.tlo = freq_to_scale(1.0f / n, a, b);
    return e;
}

float band_window_value(BandWindow window, float p)
{
    const float two_pi = 6.2831855f;
    if (window == band_window_hann)
        return 0.5f - 0.5f * std::cos(two_pi * p);
    float s = 6.0f * (p - 0.5f);
    float sinc = s == 0.0f ? 1.0f : std::sin(3.1415927f * s) / (3.1415927f * s);
    return sinc * (0.42f - 0.5f * std::cos(two_pi * p) + 0.08f * std::cos(2.0f * two_pi * p));
}

bool layout_bands(BandLayout& layout, int rows, float a, float b, int N, float half_width,
                  int margin, int points, BandWindow window)
{
    layout = BandLayout();
    if (rows < 2 || N < 2 || margin < 0 || points < 1 || !(half_width > 0.0f)) {
        log_printf(stderr, "Error: layout_bands(): no band layout for %d rows and a transform of %d\n", rows, N);
        return false;
    }
    layout.rows = rows;
    layout.N = N;
    layout.margin = margin;
    layout.points = points;
    layout.bands.assign(rows, SynthesisBand());
    const long long half = N / 2;
    const long long E = margin, M = points;
    int previous = 0;
    long long total = 0;
    std::vector<BandEdges> edges((size_t)rows);
    for (int k = 0; k < rows; k++) {
        SynthesisBand& band = layout.bands[k];
        const BandEdges e = edges[k] = band_edges(k, half_width, rows, a, b, N);
        long long start = std::max(e.lo, 1ll);
        long long end = std::min(e.hi, half);
        long long count = end - start;
        long long c = std::max(M, 2 * (2 * E + count) + 1);
        long long length;
        if (c == M)
            length = M;
        else if (c <= previous)
            length = previous;
        else if (c < max_length)
            length = next_fast_size((int)c);
        else
            length = max_length;
        if (length >= max_length) {
            log_printf(stderr, "Error: layout_bands(): band %d needs a transform beyond reach\n", k);
            layout = BandLayout();
            return false;
        }
        previous = (int)length;
        band.length = (int)length;
        // No window can be laid across a band whose edges have no distinct positions.
        if (count > 0 && !(std::isfinite(e.thi) && e.thi > e.tlo))
            count = 0;
        if (count > 0) {
            band.start = (int)start;
            band.end = (int)end;
            band.count = (int)count;
            band.window_offset = total;
            total += count;
        }
        layout.longest = std::max(layout.longest, band.length);
    }

    // The scale position of every bin a band weighs, computed once: neighbouring bands
    // share most of their bins.
    int first_bin = N, last_bin = -1;
    for (const SynthesisBand& band : layout.bands)
        if (band.count > 0) {
            first_bin = std::min(first_bin, band.start);
            last_bin = std::max(last_bin, band.end - 1);
        }
    std::vector<float> position((size_t)std::max(last_bin - first_bin + 1, 0));
    for (int j = first_bin; j <= last_bin; j++)
        position[(size_t)(j - first_bin)] = freq_to_scale((float)j / (float)N, a, b);

    layout.window.assign((size_t)total, 0.0f);
    for (int k = 0; k < rows; k++) {
        const SynthesisBand& band = layout.bands[k];
        if (band.count <= 0)
            continue;
        const float span = edges[k].thi - edges[k].tlo;
        float* w = &layout.window[(size_t)band.window_offset];
        for (int i = 0; i < band.count; i++)
            w[i] = band_window_value(window, (position[(size_t)(band.start + i - first_bin)] - edges[k].tlo) / span);
    }
    return true;
}

void normalise_band_weights(BandLayout& layout, float a, float b)
{
    // Bin start+1+i carries weight i of its band (band_cut): the sums are per bin carried.
    int first = layout.N, last = -1;
    for (const SynthesisBand& band : layout.bands)
        if (band.count > 0) {
            first = std::min(first, band.start + 1);
            last = std::max(last, band.end);
        }
    if (last < first)
        return;
    std::vector<double> sum((size_t)(last - first + 1), 0.0);
    for (const SynthesisBand& band : layout.bands) {
        const float* w = layout.window.data() + band.window_offset;
        for (int i = 0; i < band.count; i++)
            sum[(size_t)(band.start + 1 + i - first)] += w[i];
    }
    // The factor at every bin: 1 / sum inside the range, the nearest inside bin's factor
    // outside it. A sum far from 1 (a layout too coarse for its rows) is left alone.
    const ScaleMapping mapping = freq_to_scale_mapping(a, b);
    std::vector<float> factor(sum.size(), 1.0f);
    int inside_from = -1, inside_to = -1;
    for (int m = first; m <= last; m++) {
        const float t = freq_to_scale_mapped(mapping, (float)m / (float)layout.N);
        const double s = sum[(size_t)(m - first)];
        if (t >= 0.0f && t <= 1.0f && s > 0.5 && s < 2.0) {
            factor[(size_t)(m - first)] = (float)(1.0 / s);
            if (inside_from < 0)
                inside_from = m;
            inside_to = m;
        }
    }
    if (inside_from < 0)
        return;
    for (int m = first; m < inside_from; m++)
        factor[(size_t)(m - first)] = factor[(size_t)(inside_from - first)];
    for (int m = inside_to + 1; m <= last; m++)
        factor[(size_t)(m - first)] = factor[(size_t)(inside_to - first)];
    for (const SynthesisBand& band : layout.bands) {
        float* w = layout.window.data() + band.window_offset;
        for (int i = 0; i < band.count; i++)
            w[i] *= factor[(size_t)(band.start + 1 + i - first)];
    }
}

void band_cut(const BandLayout& layout, int k, const float* X, float* buffer)
{
    const SynthesisBand& band = layout.bands[k];
    const int N = layout.N, L = band.length, E = layout.margin;
    const float* w = layout.window.data() + band.window_offset;
    for (int i = 0; i < band.count; i++) {
        const int j = band.start + i;
        // The Nyquist bin of an even transform is real: it has no imaginary slot.
        const float im = 2ll * (j + 1) == (long long)N ? 0.0f : X[N - 1 - j];
        buffer[E + 1 + i] = w[i] * X[j + 1];
        buffer[L - E - 1 - i] = w[i] * im;
    }
}

void band_reinsert(const BandLayout& layout, int k, const float* P, float* Y)
{
    const SynthesisBand& band = layout.bands[k];
    if (band.count <= 0)
        return;
    const int N = layout.N, L = band.length, E = layout.margin;
    const int from = std::max(band.start - E, 1);
    const int to = std::min(band.end + E, N / 2);
    const bool even = (N & 1) == 0;
    for (int m = from; m < to; m++) {
        const int q = m - band.start + E;
        Y[m] += P[q];
        if (!(even && 2 * (m + 1) == N))
            Y[N - 1 - m] += P[L - 1 - q];
    }
}
