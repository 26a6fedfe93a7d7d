#include "engine/analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/blackman.h"
#include "engine/fft.h"
#include "engine/fft_size.h"
#include "engine/scale.h"
#include "support/alloc.h"
#include "support/log.h"

std::atomic<double> analysis_progress{0.0};

namespace {

// Largest transform the analysis attempts; keeps every size, index and doubled count in int.
constexpr long long max_transform = 1ll << 30;

struct FreeDeleter {
    void operator()(float* p) const { free(p); }
};
using Floats = std::unique_ptr<float[], FreeDeleter>;

// Left unzeroed: every user writes each value before reading it, and a memset of these
// large blocks would only add a pass over fresh pages.
Floats new_floats(size_t count)
{
    return Floats((float*)wrmalloc((count ? count : 1) * sizeof(float)));
}

struct Band {
    float w = 1.0f;            // half-width in rows
    float tlo = 0.0f, thi = 0.0f;  // scale positions of the edge bins
    int start = 0, count = 0;  // spectrum bins start .. start+count-1; count <= 0: silent row
    int length = 0;            // L, the baseband transform size
};

struct Geometry {
    int rows = 0, columns = 0;
    int N = 0, M = 0;          // transform size of the whole sound, columns it covers
    float a = 0.0f, b = 0.0f;  // frequency range, normalised
    std::vector<Band> bands;   // from the bottom of the scale upward
    int first_bin = 0, last_bin = -1;  // the bins any band weighs
};

// Nearest integer, ties to even. Values far beyond any transform size saturate (they only
// ever mean "outside the spectrum") and NaN gives 0, so no conversion is undefined.
long long round_index(float x)
{
    if (x != x)
        return 0;
    if (x > 1e15f)
        return 1000000000000000ll;
    if (x < -1e15f)
        return -1000000000000000ll;
    return std::llrint(x);
}

// Transform sizes and band layout. Returns false, having logged, when a size is out of reach.
bool analysis_geometry(int n, int sample_rate, int rows, const AnalysisParameters& p, Geometry& g)
{
    const float sr = (float)sample_rate;
    const float a = p.fmin / sr, b = p.fmax / sr;
    const float r = p.time_resolution / sr, tau = p.transition_time_resolution / sr;
    g.rows = rows;
    g.a = a;
    g.b = b;

    // Zero padding of five periods of the lowest row spacing keeps the band filters' circular
    // wrap-around away from the ends of the sound.
    const float d0 = scale_to_freq(0.0f, a, b) - scale_to_freq(-1.0f / (float)(rows - 1), a, b);
    const float pad_f = 5.0f / d0;
    if (!(d0 > 0.0f) || !(pad_f < (float)max_transform)) {
        log_printf(stderr, "Error: analyse_sound(): the frequency range gives no usable padding\n");
        return false;
    }
    long long e = (long long)n - 1 + round_index(pad_f);
    if (e & 1)
        e++;

    // N is a fast size whose column count lies close to a fast size.
    long long inner = round_index((float)e * r);
    if (inner > max_transform) {
        log_printf(stderr, "Error: analyse_sound(): transform for %d samples too large\n", n);
        return false;
    }
    long long outer = round_index((float)next_fast_size((int)inner) / r);
    if (outer > max_transform) {
        log_printf(stderr, "Error: analyse_sound(): transform for %d samples too large\n", n);
        return false;
    }
    g.N = next_fast_size((int)outer);
    long long m = round_index((float)g.N * r);
    if (g.N <= 0 || g.N > max_transform || m < 1 || m > max_transform) {
        log_printf(stderr, "Error: analyse_sound(): transform for %d samples too large\n", n);
        return false;
    }
    g.M = (int)m;

    const int N = g.N, M = g.M, half = N / 2;
    const float Nf = (float)N;
    const float u = 1.0f / (float)(rows - 1);
    const float widest = p.pitch_resolution / p.min_pitch_resolution;
    g.bands.assign(rows, Band());
    int previous_length = 0;
    g.first_bin = half;
    g.last_bin = -1;
    for (int k = 0; k < rows; k++) {
        Band& band = g.bands[k];
        float w = tau / (scale_to_freq((float)(k + 1) * u, a, b) - scale_to_freq((float)(k - 1) * u, a, b));
        if (!p.constant_time_resolution)
            w = std::min(w, widest);
        if (!(w >= 1.0f))  // also turns a NaN width into the narrowest band
            w = 1.0f;
        band.w = w;

        long long lo = round_index(scale_to_freq(((float)k - w) * u, a, b) * Nf);
        long long hi = round_index(scale_to_freq(((float)k + w) * u, a, b) * Nf);
        band.tlo = freq_to_scale((float)lo / Nf, a, b);
        band.thi = freq_to_scale((float)hi / Nf, a, b);
        // An edge at or below 0 Hz has no position on a logarithmic axis: the window then
        // starts at the first bin the band takes.
        if (!std::isfinite(band.tlo))
            band.tlo = freq_to_scale(1.0f / Nf, a, b);
        long long start = std::max(lo, 1ll);
        long long count = std::min(hi, (long long)half) - start;
        if (count > 0 && !(std::isfinite(band.thi) && band.thi > band.tlo))
            count = 0;  // no window can be laid across this band
        band.start = (int)std::min(start, (long long)half);
        band.count = (int)std::max(count, 0ll);

        long long c = std::max((long long)M, 2 * count + 1);
        int length;
        if (c == M)
            length = M;
        else if (c <= previous_length)
            length = previous_length;
        else
            length = next_fast_size((int)c);
        band.length = length;
        previous_length = length;

        if (band.count > 0) {
            g.first_bin = std::min(g.first_bin, band.start);
            g.last_bin = std::max(g.last_bin, band.start + band.count - 1);
        }
    }
    return true;
}

// Jobs handed to `workers` threads (the caller being one) through one shared counter; which
// worker takes which job never changes a result.
void run_parallel(int workers, int jobs, const std::function<void(int job, int worker)>& fn)
{
    std::atomic<int> next{0};
    auto work = [&](int worker) {
        for (int job; (job = next.fetch_add(1)) < jobs;)
            fn(job, worker);
    };
    workers = std::max(1, std::min(workers, jobs));
    std::vector<std::thread> threads;
    for (int i = 1; i < workers; i++)
        threads.emplace_back(work, i);
    work(0);
    for (std::thread& t : threads)
        t.join();
}

struct Reduction {
    std::once_flag built;
    BlackmanWeights weights;
    std::atomic<int> users{0};  // bands still to use the weights
};

struct Scratch {
    Floats band, quadrature, band_out, quadrature_out, reduced;
};

void publish_progress(double value)
{
    double seen = analysis_progress.load();
    while (seen < value && !analysis_progress.compare_exchange_weak(seen, value)) {
    }
}

}  // namespace

Image analyse_sound(const float* sound, int n, int sample_rate, int rows,
                    const AnalysisParameters& p, int* columns, int threads, const std::atomic<bool>* cancel)
{
    auto cancelled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };
    if (columns)
        *columns = 0;
    analysis_progress.store(0.0);
    const float sr = (float)sample_rate;
    if (n < 0 || (n > 0 && !sound) || sample_rate <= 0 || rows < 2 || !(p.fmin / sr > 0.0f) ||
        !(p.fmax > p.fmin) || !std::isfinite(p.fmax / sr) || !(p.time_resolution > 0.0f) ||
        !std::isfinite(p.time_resolution) || !std::isfinite(p.transition_time_resolution) ||
        !(p.scale_base > 0.0f) || !std::isfinite(p.scale_base)) {
        log_printf(stderr, "Error: analyse_sound(): unusable analysis parameters\n");
        return nullptr;
    }

    set_scale_base(p.scale_base);
    const int W = analysis_image_width(n, p.time_resolution, sample_rate);
    if (W <= 0) {
        if ((float)n * (p.time_resolution / sr) >= 1.0f)  // a column count beyond int
            log_printf(stderr, "Error: analyse_sound(): %d samples give too many columns\n", n);
        else
            analysis_progress.store(1.0);
        return nullptr;
    }
    if (!picture_size_ok(rows, W, "Analysed picture"))
        return nullptr;
    Geometry g;
    if (!analysis_geometry(n, sample_rate, rows, p, g))
        return nullptr;
    const int N = g.N, M = g.M;

    if (threads <= 0)
        threads = (int)std::max(1u, std::thread::hardware_concurrency());
    threads = std::min(threads, 64);

    // Everything the bands share, built once: the spectrum of the whole sound, the scale
    // position of every bin a band weighs, and the reduction weights of every band length
    // above M. Each is computed exactly as a band would compute it, so sharing changes no bit.
    Floats spectrum;
    const int table_first = g.first_bin;
    const int table_size = std::max(0, g.last_bin - g.first_bin + 1);
    Floats positions = new_floats((size_t)table_size);

    // Reduction weights are built by the first band of a length that needs them and dropped
    // after the last, so that only the lengths in use take memory.
    std::vector<int> lengths;
    for (const Band& band : g.bands)
        if (band.count > 0 && band.length > M)
            lengths.push_back(band.length);
    std::sort(lengths.begin(), lengths.end());
    lengths.erase(std::unique(lengths.begin(), lengths.end()), lengths.end());
    std::vector<Reduction> reductions(lengths.size());
    for (const Band& band : g.bands)
        if (band.count > 0 && band.length > M)
            reductions[std::lower_bound(lengths.begin(), lengths.end(), band.length) - lengths.begin()].users++;

    const ScaleMapping mapping = freq_to_scale_mapping(g.a, g.b);
    const int chunk = 1 << 15;
    const int chunks = (table_size + chunk - 1) / chunk;
    run_parallel(threads, 1 + chunks, [&](int job, int) {
        if (job == 0) {
            // Only the padding needs zeros: the sound and the spectrum fill the rest.
            Floats samples((float*)wrmalloc((size_t)N * sizeof(float)));
            std::fill(samples.get() + n, samples.get() + N, 0.0f);
            int bad = 0;
            for (int i = 0; i < n; i++) {
                float v = sound[i];
                if (!std::isfinite(v)) {
                    v = 0.0f;
                    bad++;
                }
                samples[i] = v;
            }
            if (bad)
                log_printf(stderr, "Warning: analyse_sound(): %d samples that are not finite analysed as silence\n", bad);
            spectrum = Floats((float*)wrmalloc((size_t)N * sizeof(float)));
            real_fft(samples.get(), spectrum.get(), N, FFT_FORWARD);
        } else {
            int from = (job - 1) * chunk, to = std::min(table_size, from + chunk);
            for (int i = from; i < to; i++)
                positions[i] = freq_to_scale_mapped(mapping, (float)(table_first + i) / (float)N);
        }
    });
    if (cancelled())
        return nullptr;

    Image image = image_alloc(rows, W);
    int longest = M;
    for (const Band& band : g.bands)
        longest = std::max(longest, band.length);
    std::vector<Scratch> scratch(std::min(threads, rows));
    std::atomic<int> finished{0};
    const float* X = spectrum.get();
    const float two_pi = 6.2831855f;

    run_parallel(threads, rows, [&](int k, int worker) {
        // A cancelled analysis runs through its remaining bands without working on them (nor
        // counting them as done).
        if (cancelled())
            return;
        const Band& band = g.bands[k];
        if (band.count > 0) {
            Scratch& s = scratch[worker];
            if (!s.band) {
                s.band = new_floats((size_t)longest);
                s.quadrature = new_floats((size_t)longest);
                s.band_out = new_floats((size_t)longest);
                s.quadrature_out = new_floats((size_t)longest);
                s.reduced = new_floats((size_t)M);
            }
            const int L = band.length;
            float* bf = s.band.get();
            float* q = s.quadrature.get();
            // Bins 1 .. count and L-count .. L-1 are all written below; the rest is zero.
            bf[0] = q[0] = 0.0f;
            std::fill(bf + band.count + 1, bf + L - band.count, 0.0f);
            std::fill(q + band.count + 1, q + L - band.count, 0.0f);

            // The band's bins, under a Hann window laid out in scale position, moved down so
            // that the first lands on bin 1; q is the same band turned by 90 degrees.
            const float span = band.thi - band.tlo;
            for (int i = 0; i < band.count; i++) {
                const int j = band.start + i;
                const float t = positions[j - table_first];
                const float h = 0.5f - 0.5f * std::cos(two_pi * ((t - band.tlo) / span));
                // The Nyquist bin is real: its imaginary slot would alias its real part.
                const float im = 2ll * (j + 1) == (long long)N ? 0.0f : X[N - 1 - j];
                bf[i + 1] = h * X[j + 1];
                bf[L - 1 - i] = h * im;
            }
            for (int i = 0; i < band.count; i++) {
                q[i + 1] = -bf[L - 1 - i];
                q[L - 1 - i] = bf[i + 1];
            }

            float* eb = s.band_out.get();
            float* eq = s.quadrature_out.get();
            real_fft(bf, eb, L, FFT_BACKWARD);
            real_fft(q, eq, L, FFT_BACKWARD);
            // The gain evens out the level of narrow and wide bands.
            const float gain = std::sqrt((float)L / band.w);
            for (int t = 0; t < L; t++)
                eb[t] = std::sqrt(eb[t] * eb[t] + eq[t] * eq[t]) * gain;

            const float* envelope = eb;
            int available = L;
            if (L > M) {
                Reduction& reduction = reductions[std::lower_bound(lengths.begin(), lengths.end(), L) - lengths.begin()];
                std::call_once(reduction.built, [&] { blackman_weights(L, M, reduction.weights); });
                blackman_apply(reduction.weights, eb, s.reduced.get());
                if (reduction.users.fetch_sub(1) == 1)
                    reduction.weights = BlackmanWeights();
                envelope = s.reduced.get();
                available = M;
            }
            memcpy(image[rows - 1 - k], envelope, (size_t)std::min(W, available) * sizeof(float));
        }
        publish_progress((double)(finished.fetch_add(1) + 1) / (double)rows);
    });
    if (cancelled()) {
        image_free(image);
        return nullptr;
    }

    if (columns)
        *columns = W;
    return image;
}

float scale_image_to_unit_peak(Image image, int rows, int columns)
{
    if (!image || rows <= 0 || columns <= 0)
        return 0.0f;
    float peak = 0.0f;
    for (int y = 0; y < rows; y++)
        for (int x = 0; x < columns; x++)
            peak = std::max(peak, std::fabs(image[y][x]));
    if (peak > 0.0f && std::isfinite(peak)) {
        // Division, not a reciprocal product, so that the peak pixel becomes exactly 1.
        for (int y = 0; y < rows; y++)
            for (int x = 0; x < columns; x++)
                image[y][x] = image[y][x] / peak;
    } else if (!std::isfinite(peak)) {
        log_printf(stderr, "Warning: scale_image_to_unit_peak(): peak is not finite, picture left unscaled\n");
    }
    return peak;
}
