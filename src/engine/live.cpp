#include "engine/live.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "engine/bands.h"
#include "engine/fft.h"
#include "engine/fft_size.h"
#include "engine/kernel.h"
#include "engine/noise.h"
#include "engine/scale.h"
#include "support/alloc.h"
#include "support/log.h"

namespace {

// A bank beyond this many values (2 GiB) is refused rather than ending the program.
constexpr long long max_bank_values = 1ll << 29;
// Bands transformed before their samples are spread into the interleaved bank: the bank is
// written in runs of this many neighbouring rows instead of one value per cache line.
constexpr int bands_per_group = 16;

void free_floats(float* p) { free(p); }

struct FreeDeleter {
    void operator()(float* p) const { free(p); }
};
using Floats = std::unique_ptr<float[], FreeDeleter>;

Floats floats(size_t count) { return Floats((float*)wrcalloc(count ? count : 1, sizeof(float))); }

int default_threads()
{
    int processors = (int)std::thread::hardware_concurrency();
    return std::max(1, processors - 1);
}

bool aborted(const std::atomic<bool>* abort) { return abort && abort->load(std::memory_order_relaxed); }

// Band k of the coloured spectrum X (size n) at its own place, Hann-weighted across its rows,
// transformed back into `signal`; returns its RMS. `spectrum` is work space of n values.
float bank_band(int k, int rows, float a, float b, int n, const FftPlan& plan, const float* X, float* spectrum,
                float* signal)
{
    std::fill(spectrum, spectrum + n, 0.0f);
    const BandEdges e = band_edges(k, 1.0f, rows, a, b, n);
    const long long start = std::max(e.lo, 1ll), end = std::min(e.hi, (long long)(n / 2));
    const float span = e.thi - e.tlo;
    for (long long j = start; j < end; j++) {
        float p = (freq_to_scale((float)j / (float)n, a, b) - e.tlo) / span;
        float g = band_window_value(band_window_hann, p);
        if (!std::isfinite(g))
            g = 0.0f;
        // Bin j+1 weighed by the window of bin j; at n/2 (even n) both writes are the one real bin.
        spectrum[j + 1] = g * X[j + 1];
        spectrum[n - 1 - j] = g * X[n - 1 - j];
    }
    real_fft_with_plan(plan, spectrum, signal, FFT_BACKWARD);
    double sum = 0.0;
    for (int s = 0; s < n; s++)
        sum += (double)signal[s] * signal[s];
    return (float)std::sqrt(sum / n);
}

// sum over rows of (w0 c0 + w1 c1 + w2 c2) * noise, in eight lanes so that the compiler can
// keep them in vector registers (the order of the sum is fixed by the lanes, not by chance).
float weighted_sum(const float* c0, const float* c1, const float* c2, float w0, float w1, float w2,
                   const float* noise, int rows)
{
    float lane[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    int r = 0;
    for (; r + 8 <= rows; r += 8)
        for (int l = 0; l < 8; l++)
            lane[l] += (w0 * c0[r + l] + w1 * c1[r + l] + w2 * c2[r + l]) * noise[r + l];
    float tail = 0.0f;
    for (; r < rows; r++)
        tail += (w0 * c0[r] + w1 * c1[r] + w2 * c2[r]) * noise[r];
    return ((lane[0] + lane[4]) + (lane[1] + lane[5])) + ((lane[2] + lane[6]) + (lane[3] + lane[7])) + tail;
}

// Loads columns c0 .. c0+2 into the voice's cache; outside the picture they wrap around it
// when looping, else read 0.
void load_columns(LiveVoice& v, const float* const* columns, long long c0, bool looping)
{
    const int W = v.width, H = v.rows;
    for (int i = 0; i < 3; i++) {
        float* dst = v.cache.data() + (size_t)i * H;
        long long c = c0 + i;
        if (looping)
            c = ((c % W) + W) % W;
        if (c >= 0 && c < W && columns[c])
            memcpy(dst, columns[c], (size_t)H * sizeof(float));
        else
            std::fill(dst, dst + H, 0.0f);
    }
    v.cache_column = c0;
    v.cache_looping = looping;
    v.cache_valid = true;
}

}  // namespace

int noise_bank_length(int sample_rate)
{
    if (sample_rate <= 0 || sample_rate > 10000000)
        return 0;
    return next_fast_size((int)std::nearbyint(200.0 * sample_rate / 100.0));
}

bool build_noise_bank(NoiseBank& bank, int rows, float fmin, float fmax, float base, int sample_rate, int threads,
                      const std::atomic<bool>* abort)
{
    bank = NoiseBank();
    const int n = noise_bank_length(sample_rate);
    const float sr = (float)sample_rate;
    const float a = fmin / sr, b = fmax / sr;
    if (n <= 0 || rows < 2 || !(a > 0.0f) || !(b > a) || !std::isfinite(b)) {
        log_printf(stderr, "Error: build_noise_bank(): no noise bank for %d rows, %g Hz - %g Hz at %d Hz\n", rows,
                   fmin, fmax, sample_rate);
        return false;
    }
    if ((long long)n * rows > max_bank_values) {
        log_printf(stderr, "Error: build_noise_bank(): %d rows need a noise bank beyond reach\n", rows);
        return false;
    }
    base = std::isnan(base) ? 2.0f : std::clamp(base, 1.0f, 2.0f);
    set_scale_base(base);
    std::shared_ptr<const FftPlan> plan = fft_plan_get(n);

    Floats x = floats((size_t)n), X = floats((size_t)n);
    white_noise_fill(x.get(), n);
    real_fft_with_plan(*plan, x.get(), X.get(), FFT_FORWARD);
    const float exponent = 0.5f - base / 2.0f;
    for (int k = 1; k < (n + 1) / 2; k++) {
        float f = std::pow((float)k, exponent);
        X[k] *= f;
        X[n - k] *= f;
    }
    if (n % 2 == 0)
        X[n / 2] *= std::pow((float)(n / 2), exponent);
    x.reset();

    float* samples = (float*)wrmalloc((size_t)n * rows * sizeof(float));
    bank.samples = std::unique_ptr<float[], void (*)(float*)>(samples, free_floats);
    bank.row_level.assign(rows, 0.0f);

    if (threads <= 0)
        threads = default_threads();
    threads = std::clamp(threads, 1, rows);
    std::vector<std::thread> pool;
    auto work = [&](int t) {
        const int first = (int)((long long)t * rows / threads), last = (int)((long long)(t + 1) * rows / threads);
        Floats spectrum = floats((size_t)n);
        Floats signals = floats((size_t)n * bands_per_group);
        for (int k0 = first; k0 < last && !aborted(abort); k0 += bands_per_group) {
            const int count = std::min(bands_per_group, last - k0);
            for (int i = 0; i < count; i++) {
                const int k = k0 + i;
                bank.row_level[rows - 1 - k] =
                    bank_band(k, rows, a, b, n, *plan, X.get(), spectrum.get(), signals.get() + (size_t)i * n);
            }
            // Band k is row rows-1-k: the group's rows run downward from rows-1-k0.
            const int top = rows - k0 - count;
            for (int s = 0; s < n; s++) {
                float* dst = samples + (size_t)s * rows + top;
                for (int i = 0; i < count; i++)
                    dst[count - 1 - i] = signals[(size_t)i * n + s];
            }
        }
    };
    for (int t = 1; t < threads; t++)
        pool.emplace_back(work, t);
    work(0);
    for (std::thread& t : pool)
        t.join();
    if (aborted(abort)) {
        bank = NoiseBank();
        return false;
    }
    bank.rows = rows;
    bank.length = n;
    bank.fmin = fmin;
    bank.fmax = fmax;
    bank.base = base;
    bank.sample_rate = sample_rate;
    return true;
}

int loudest_column(const float* const* columns, int width, int rows)
{
    int best = -1;
    double best_sum = -1.0;
    for (int x = 0; x < width; x++) {
        const float* c = columns[x];
        if (!c)
            continue;
        double sum = 0.0;
        for (int r = 0; r < rows; r++)
            sum += (double)c[r] * c[r];
        if (sum > best_sum) {
            best_sum = sum;
            best = x;
        }
    }
    return best;
}

float live_level_divisor(const NoiseBank& bank, const float* column)
{
    double sum = 0.0;
    for (int r = 0; r < bank.rows; r++) {
        double v = (double)bank.row_level[r] * column[r];
        sum += v * v;
    }
    return (float)(3.0 * std::sqrt(3.0) * std::sqrt(sum));
}

int live_render(LiveVoice& v, const NoiseBank& bank, const LiveColumns& picture, const LiveMotion& m,
                std::atomic<float>& divisor, float* out, int count, LiveStop* stop)
{
    *stop = live_running;
    if (picture.columns) {
        if (picture.width != v.width || picture.rows != v.rows || picture.updated)
            v.cache_valid = false;
        v.width = picture.width;
        v.rows = picture.rows;
    }
    const int W = v.width, H = v.rows;
    if (W <= 0 || H <= 0 || !bank.samples || bank.rows != H || bank.length <= 0)
        return 0;
    if (!picture.columns && !v.cache_valid)
        return 0;
    if (v.cache.size() != (size_t)3 * H) {
        v.cache.assign((size_t)3 * H, 0.0f);
        v.cache_valid = false;
    }

    const double last = (double)W - 1.0, step = m.step;
    const bool looping = m.loop_playback || m.loop_key;
    const bool bounce = m.loop_key && m.reverse_key;
    const int U = std::max(m.glide_samples, 1);
    if (!bounce)
        v.direction = 1;
    if (!m.scrubbing)
        v.scrubbing = false;
    bool jump = m.jump;
    float D = divisor.load(std::memory_order_relaxed);
    const float* c0p = v.cache.data();
    const float* c1p = c0p + H;
    const float* c2p = c1p + H;

    for (int i = 0; i < count; i++) {
        double x = v.position + step;

        // Ends and direction.
        if (looping && !m.reverse_key && x > last) {
            x = 0.0;
            if (m.pause_after_loop) {
                v.position = x;
                *stop = live_paused;
                return i;
            }
        }
        if (!m.loop_key && m.reverse_key) {
            x -= 2.0 * step;
            if (m.loop_playback && x < 0.0) {
                x = (double)W - 2.0 * step;
                if (m.pause_after_loop) {
                    v.position = x;
                    *stop = live_paused;
                    return i;
                }
            }
        }
        if (bounce) {
            if (v.direction > 0 && x > last)
                v.direction = -1;
            if (v.direction < 0) {
                x -= 2.0 * step;
                if (x <= 0.0) {
                    v.direction = 1;
                    x = 0.0;
                }
            }
        }

        // Jumps and scrubbing.
        if (jump) {
            jump = false;
            x = m.jump_target;
            v.glide_from = v.glide_to = x;
            v.glide_step = 0;
            v.scrubbing = m.scrubbing;
        } else if (m.scrubbing) {
            if (!v.scrubbing) {
                v.scrubbing = true;
                v.glide_to = v.position;
                v.glide_step = U;
            }
            if (v.glide_step >= U) {
                v.glide_from = v.glide_to;
                if (m.scrub_target)
                    v.glide_to = m.scrub_target->load(std::memory_order_relaxed);
                v.glide_step = 0;
            }
            v.glide_step++;
            x = v.glide_from + (v.glide_to - v.glide_from) * v.glide_step / U;
        }

        // Range. A wrap that is undone at once (a position between the last column and the
        // image width, where the two ends meet) is no loop point.
        if (!(x >= 0.0 && x <= last)) {
            if (!std::isfinite(x)) {
                x = 0.0;
            } else if (!looping) {
                if (!m.scrubbing) {
                    v.position = 0.0;
                    *stop = live_stopped;
                    return i;
                }
            } else {
                double down = x > last ? std::ceil((x - last) / W) : 0.0;
                double below = x - down * W;
                double up = below < 0.0 ? std::ceil(-below / W) : 0.0;
                double net = up - down;
                if (net != 0.0) {
                    x += net * W;
                    if (m.pause_after_loop) {
                        v.position = x;
                        *stop = live_paused;
                        return i;
                    }
                }
            }
        }
        v.position = x;

        // The three columns around the cursor and their kernel weights.
        const long long c0 = (long long)std::floor(x + 1.5) - 2;
        // Columns outside the picture wrap around it or read 0 depending on looping, so a
        // change of looping refills the cache too.
        if ((!v.cache_valid || c0 != v.cache_column || looping != v.cache_looping) && picture.columns)
            load_columns(v, picture.columns, c0, looping);
        float w[3];
        for (int k = 0; k < 3; k++) {
            double d = x - (double)(c0 + k) + 1.5;
            if (d < 0.0 || d > 3.0)
                d = 3.0;
            w[k] = kernel_value((float)d);
        }

        const float* noise = bank.samples.get() + (size_t)v.bank_position * H;
        float s = weighted_sum(c0p, c1p, c2p, w[0], w[1], w[2], noise, H);
        if (!std::isfinite(s))
            s = 0.0f;
        const float magnitude = std::fabs(s);
        if (magnitude > 10.0f * D && magnitude > 1e-30f && magnitude < 1e30f) {
            D = 1.333333f * magnitude;
            divisor.store(D, std::memory_order_relaxed);
        }
        out[i] = D != 0.0f ? s / D : 0.0f;
        if (++v.bank_position >= bank.length)
            v.bank_position = 0;
    }
    return count;
}
