#include "engine/synthesis.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

#include "engine/fft.h"
#include "engine/fft_size.h"
#include "engine/noise.h"
#include "engine/scale.h"
#include "support/alloc.h"
#include "support/log.h"

namespace {

// Carriers beyond this many values (1 GiB) are refused rather than ending the program.
constexpr long long max_carrier_values = 1ll << 28;
constexpr long long max_transform = 1ll << 28;

struct FreeDeleter {
    void operator()(float* p) const { free(p); }
};
using Floats = std::unique_ptr<float[], FreeDeleter>;

Floats zeroed_floats(size_t count) { return Floats((float*)wrcalloc(count ? count : 1, sizeof(float))); }

int worker_count(int threads, int jobs)
{
    if (threads <= 0)
        threads = (int)std::max(1u, std::thread::hardware_concurrency());
    return std::max(1, std::min({threads, jobs, 256}));
}

// Jobs handed out through one shared counter; which worker takes which job never changes a
// result, because every job writes only its own place.
void run_parallel(int workers, int jobs, const std::function<void(int job, int worker)>& fn)
{
    std::atomic<int> next{0};
    auto work = [&](int worker) {
        for (int job; (job = next.fetch_add(1)) < jobs;)
            fn(job, worker);
    };
    workers = worker_count(workers, jobs);
    std::vector<std::thread> threads;
    for (int i = 1; i < workers; i++)
        threads.emplace_back(work, i);
    work(0);
    for (std::thread& t : threads)
        t.join();
}

bool aborted(const RenderControl& control)
{
    return control.abort && control.abort->load(std::memory_order_relaxed);
}

void band_done(const RenderControl& control, int k)
{
    if (control.band_done)
        control.band_done(control.user, k);
}

void free_floats(float* p) { free(p); }

// `count` floats of a scratch buffer, zeroed when newly allocated; older contents stay.
float* scratch_floats(FloatBlock& b, size_t count)
{
    if (b.size < count || !b.data) {
        b.data = std::unique_ptr<float[], void (*)(float*)>((float*)wrcalloc(count ? count : 1, sizeof(float)),
                                                             free_floats);
        b.size = count;
    }
    return b.data.get();
}

float clamp_base(float base) { return std::isnan(base) ? 2.0f : std::clamp(base, 1.0f, 2.0f); }

// The margin E = round(7C / 3): room for the spreading of a band by its modulation.
int band_margin(int block_width) { return (int)std::nearbyint((float)block_width * 7.0f / 3.0f); }

bool prepare_bands(SynthesisBands& s, const BlockGeometry& g, float fmin, float fmax, float base,
                   int N, float half_width, int points, BandWindow window, bool circular_gains,
                   const char* who)
{
    s = SynthesisBands();
    const float sr = (float)g.sample_rate;
    s.geometry = g;
    s.a = fmin / sr;
    s.b = fmax / sr;
    s.base = clamp_base(base);
    if (g.block_length <= 0 || !(s.a > 0.0f) || !(s.b > s.a) || !std::isfinite(s.b)) {
        log_printf(stderr, "Error: %s(): no synthesis for %g Hz - %g Hz\n", who, fmin, fmax);
        return false;
    }
    set_scale_base(s.base);
    if (!layout_bands(s.layout, g.rows, s.a, s.b, N, half_width, band_margin(g.block_width), points, window))
        return false;
    // One transform plan and one resampling table per distinct band length.
    s.tool_of_band.assign(g.rows, -1);
    for (int k = 0; k < g.rows; k++) {
        const SynthesisBand& band = s.layout.bands[k];
        if (band.count <= 0)
            continue;
        int index = (int)s.tools.size();
        for (int i = 0; i < (int)s.tools.size(); i++)
            if (s.tools[i].length == band.length)
                index = i;
        if (index == (int)s.tools.size()) {
            BandTools& t = s.tools.emplace_back();
            t.length = band.length;
            t.plan = fft_plan_build(band.length);
            if (circular_gains)
                kernel_taps_circular(points, band.length, t.taps);
            else
                kernel_taps(points, band.length, t.taps);
        }
        s.tool_of_band[k] = index;
    }
    s.block_plan = fft_plan_build(N);
    return true;
}

}  // namespace

bool build_noise_carriers(NoiseCarriers& c, const BlockGeometry& g, float fmin, float fmax, float base, int threads)
{
    c = NoiseCarriers();
    const int S = g.block_length, hop = g.block_hop;
    const int M = (int)std::nearbyint((float)S * g.time_resolution / (float)g.sample_rate);
    if (!prepare_bands(c.bands, g, fmin, fmax, base, S, 1.0f, std::max(M, 1), band_window_hann, false,
                       "build_noise_carriers"))
        return false;
    const BandLayout& layout = c.bands.layout;
    c.offset.assign(g.rows, 0);
    long long total = 0;
    for (int k = 0; k < g.rows; k++) {
        c.offset[k] = total;
        if (layout.bands[k].count > 0)
            total += layout.bands[k].length;
    }
    if (total > max_carrier_values) {
        log_printf(stderr, "Error: build_noise_carriers(): %lld MB of carriers is beyond reach\n",
                   total * 4 / 1000000);
        c = NoiseCarriers();
        return false;
    }

    // Noise that repeats every hop samples, the distance between block starts, so that every
    // block meets the same carrier phase where its kept range meets the next block's.
    Floats x = zeroed_floats((size_t)S), X = zeroed_floats((size_t)S);
    white_noise_fill(x.get(), hop);
    for (int i = hop; i < S; i++)
        x[i] = x[i - hop];
    real_fft_with_plan(*c.bands.block_plan, x.get(), X.get(), FFT_FORWARD);
    // Colour: k^(0.5 - B/2) on amplitude, white for B = 1, equal energy per octave for B = 2.
    const float exponent = 0.5f - c.bands.base / 2.0f;
    for (int k = 1; k < (S + 1) / 2; k++) {
        float f = std::pow((float)k, exponent);
        X[k] *= f;
        X[S - k] *= f;
    }

    float* values = scratch_floats(c.values, (size_t)std::max(total, 1ll));
    std::vector<Floats> scratch(worker_count(threads, g.rows));
    run_parallel(threads, g.rows, [&](int k, int worker) {
        const SynthesisBand& band = layout.bands[k];
        if (band.count <= 0)
            return;
        Floats& buffer = scratch[worker];
        if (!buffer)
            buffer = zeroed_floats((size_t)layout.longest);
        std::fill(buffer.get(), buffer.get() + band.length, 0.0f);
        band_cut(layout, k, X.get(), buffer.get());
        const BandTools& tools = c.bands.tools[c.bands.tool_of_band[k]];
        real_fft_with_plan(*tools.plan, buffer.get(), values + c.offset[k], FFT_BACKWARD);
    });
    return true;
}

void copy_block_columns(const float* const* image, int columns, int rows, long long first, int width, float* block)
{
    // The columns of [first, first + width) that lie inside the picture; the rest read 0.
    const long long from = std::clamp(-first, 0ll, (long long)width);
    const long long to = std::clamp((long long)columns - first, from, (long long)width);
    for (int y = 0; y < rows; y++) {
        float* out = block + (size_t)y * width;
        std::fill(out, out + from, 0.0f);
        if (to > from)
            memcpy(out + from, image[y] + first + from, (size_t)(to - from) * sizeof(float));
        std::fill(out + to, out + width, 0.0f);
    }
}

bool render_noise_block(const NoiseCarriers& c, const float* block, float* out, const RenderControl& control,
                        RenderScratch* scratch)
{
    const SynthesisBands& s = c.bands;
    const BandLayout& layout = s.layout;
    const int S = s.geometry.block_length, C = s.geometry.block_width, H = s.geometry.rows;
    const int M = layout.points, longest = layout.longest;
    RenderScratch local;
    RenderScratch& w = scratch ? *scratch : local;
    float* Y = scratch_floats(w.block_in, (size_t)S);
    float* envelope = scratch_floats(w.points, (size_t)M);
    float* resampled = scratch_floats(w.resampled, (size_t)longest);
    float* product = scratch_floats(w.product, (size_t)longest);
    float* spectrum = scratch_floats(w.spectrum, (size_t)longest);
    const float* resampled_row = nullptr;  // as in lossless: equal rows are resampled once
    int resampled_length = 0;
    std::fill(Y, Y + S, 0.0f);
    // Envelope points past the block's columns stay 0.
    const int kept = std::min(C, M);
    std::fill(envelope + kept, envelope + M, 0.0f);
    for (int k = 0; k < H; k++) {
        if (aborted(control)) {
            std::fill(out, out + S, 0.0f);
            return false;
        }
        const SynthesisBand& band = layout.bands[k];
        const float* row = block + (size_t)(H - 1 - k) * C;
        // Silent rows add nothing, and are skipped.
        if (band.count > 0 && std::any_of(row, row + kept, [](float v) { return v != 0.0f; })) {
            const BandTools& tools = s.tools[s.tool_of_band[k]];
            const int L = band.length;
            if (!(resampled_row && resampled_length == L && !memcmp(resampled_row, row, (size_t)kept * sizeof(float)))) {
                memcpy(envelope, row, (size_t)kept * sizeof(float));
                kernel_apply(tools.taps, envelope, resampled);
                resampled_row = row;
                resampled_length = L;
            }
            const float* carrier = c.values.data.get() + c.offset[k];
            for (int i = 0; i < L; i++)
                product[i] = resampled[i] * carrier[i];
            real_fft_with_plan(*tools.plan, product, spectrum, FFT_FORWARD);
            band_reinsert(layout, k, spectrum, Y);
        }
        band_done(control, k);
    }
    real_fft_with_plan(*s.block_plan, Y, out, FFT_BACKWARD);
    return true;
}

bool build_lossless_setup(LosslessSetup& setup, const BlockGeometry& g, float fmin, float fmax, float base)
{
    setup = LosslessSetup();
    const float sr = (float)g.sample_rate;
    const float a = fmin / sr, b = fmax / sr;
    if (g.block_length <= 0 || g.rows < 2 || !(a > 0.0f) || !(b > a) || !std::isfinite(b)) {
        log_printf(stderr, "Error: build_lossless_setup(): no synthesis for %g Hz - %g Hz\n", fmin, fmax);
        return false;
    }
    // Padding as in analysis: five periods of the row spacing just below the bottom row keep
    // the bands' circular wrap-around away from the block.
    set_scale_base(clamp_base(base));
    const float d0 = scale_to_freq(0.0f, a, b) - scale_to_freq(-1.0f / (float)(g.rows - 1), a, b);
    const float pad = std::nearbyint(5.0f / d0);
    if (!(d0 > 0.0f) || !(pad < (float)max_transform)) {
        log_printf(stderr, "Error: build_lossless_setup(): the frequency range gives no usable padding\n");
        return false;
    }
    long long n = (long long)g.block_length - 1 + (long long)pad;
    if (n & 1)
        n++;
    if (n > max_transform) {
        log_printf(stderr, "Error: build_lossless_setup(): block transform of %lld samples beyond reach\n", n);
        return false;
    }
    setup.transform = next_smooth_size((int)n);
    const float points = std::nearbyint((float)setup.transform * (float)g.columns / (float)g.output_length);
    if (!(points >= 1.0f && points < (float)max_transform)) {
        log_printf(stderr, "Error: build_lossless_setup(): no column count for the block transform\n");
        return false;
    }
    if (!prepare_bands(setup.bands, g, fmin, fmax, base, setup.transform, 3.0f, (int)points,
                       band_window_blackman_sinc, true, "build_lossless_setup")) {
        setup = LosslessSetup();
        return false;
    }
    normalise_band_weights(setup.bands.layout, setup.bands.a, setup.bands.b);
    return true;
}

void build_gain_block(const float* const* current, const float* const* original, int columns, int rows,
                      long long first, int width, float* gain)
{
    for (int y = 0; y < rows; y++) {
        float* out = gain + (size_t)y * width;
        for (int i = 0; i < width; i++) {
            long long x = first + i;
            if (x < 0 || x >= columns) {
                out[i] = 0.0f;
                continue;
            }
            float o = original[y][x];
            float q = o != 0.0f ? current[y][x] / o : 1.0f;
            out[i] = std::isfinite(q) ? q : 1.0f;
        }
    }
}

LosslessResult render_lossless_block(const LosslessSetup& setup, int j, const float* gain, const float* sound,
                                     long long length, float* out, const RenderControl& control,
                                     RenderScratch* scratch)
{
    const SynthesisBands& s = setup.bands;
    const BandLayout& layout = s.layout;
    const BlockGeometry& g = s.geometry;
    const int S = g.block_length, C = g.block_width, H = g.rows, N = setup.transform;
    const int M = layout.points, longest = layout.longest;
    const long long first = block_first_sample(g, j);
    // The sound past the output's end (the picture's end) is never read.
    const long long have = std::clamp(std::min(length, g.output_length) - first, 0ll, (long long)S);
    if (!sound || have == 0 || std::all_of(sound + first, sound + first + have, [](float v) { return v == 0.0f; }))
        return lossless_silent;

    RenderScratch local;
    RenderScratch& w = scratch ? *scratch : local;
    float* X = scratch_floats(w.block_in, (size_t)N);
    float* Y = scratch_floats(w.block_out, (size_t)N);
    // The cut buffer is all zeros between bands: each band clears the bins it wrote.
    float* cut = scratch_floats(w.cut, (size_t)longest);
    float* signal = scratch_floats(w.signal, (size_t)longest);
    float* gains = scratch_floats(w.resampled, (size_t)longest);
    float* product = scratch_floats(w.product, (size_t)longest);
    float* spectrum = scratch_floats(w.spectrum, (size_t)longest);
    // One period of gain points, laid out for the circular taps: row_points[1 .. M].
    float* row_points = scratch_floats(w.points, (size_t)M + 3);
    // Neighbouring rows often carry the same gains (an unedited picture: all 1); the resampled
    // row is then reused as long as the band length stays the same.
    const float* resampled_row = nullptr;
    int resampled_length = 0;

    memcpy(Y, sound + first, (size_t)have * sizeof(float));
    std::fill(Y + have, Y + N, 0.0f);
    real_fft_with_plan(*s.block_plan, Y, X, FFT_FORWARD);
    std::fill(Y, Y + N, 0.0f);

    // The transform is circular: the points past the block's columns, or past the picture's
    // end, lie after the sound the block reads and, further on, before its start. They go from
    // the last gain in the picture to the block's first in a straight line, so that a row of
    // equal gains (an unedited one) is one constant all round and its band comes back
    // untouched, and an edit at the block's edge spreads no step through the band. (Nothing
    // past the picture sounds: the sound is not read there.)
    const int kept = std::min(C, M);
    const int picture_end = (int)std::clamp((long long)g.columns - block_first_column(g, j), 0ll, (long long)kept);

    const int E = layout.margin;
    for (int k = 0; k < H; k++) {
        if (aborted(control)) {
            std::fill(cut, cut + longest, 0.0f);
            std::fill(out, out + S, 0.0f);
            return lossless_aborted;
        }
        const SynthesisBand& band = layout.bands[k];
        const float* row = gain + (size_t)(H - 1 - k) * C;
        if (band.count > 0) {
            const BandTools& tools = s.tools[s.tool_of_band[k]];
            const int L = band.length;
            band_cut(layout, k, X, cut);
            real_fft_with_plan(*tools.plan, cut, signal, FFT_BACKWARD);  // leaves cut as it was
            std::fill(cut + E + 1, cut + E + 1 + band.count, 0.0f);
            std::fill(cut + L - E - band.count, cut + L - E, 0.0f);
            if (!(resampled_row && resampled_length == L && !memcmp(resampled_row, row, (size_t)kept * sizeof(float)))) {
                float* p = row_points + 1;
                memcpy(p, row, (size_t)picture_end * sizeof(float));
                const float last = picture_end > 0 ? p[picture_end - 1] : 0.0f;
                const float step = ((picture_end > 0 ? p[0] : 0.0f) - last) / (float)(M - picture_end + 1);
                for (int i = picture_end; i < M; i++)
                    p[i] = last + step * (float)(i - picture_end + 1);
                kernel_wrap_points(row_points, M);
                kernel_apply(tools.taps, row_points, gains);
                resampled_row = row;
                resampled_length = L;
            }
            for (int i = 0; i < L; i++)
                product[i] = gains[i] * signal[i];
            real_fft_with_plan(*tools.plan, product, spectrum, FFT_FORWARD);
            band_reinsert(layout, k, spectrum, Y);
        }
        band_done(control, k);
    }
    real_fft_with_plan(*s.block_plan, Y, X, FFT_BACKWARD);
    memcpy(out, X, (size_t)S * sizeof(float));
    return lossless_rendered;
}

namespace {

// Renders blocks on `threads` workers; `render` fills one block's S samples and says whether
// they are to be written. Returns the blocks written, or -1 when aborted.
int render_output(const BlockGeometry& g, OutputBuffer& out, float* gain, int threads,
                  const std::atomic<bool>* abort,
                  const std::function<bool(int j, float* work, float* rendered, RenderScratch& scratch)>& render,
                  size_t work_size)
{
    output_resize(out, g.output_length);
    const int workers = worker_count(threads, g.block_count);
    std::vector<Floats> work(workers), rendered(workers);
    std::vector<RenderScratch> scratch(workers);
    std::atomic<int> written{0};
    run_parallel(workers, g.block_count, [&](int j, int worker) {
        if (abort && abort->load())
            return;
        if (!work[worker]) {
            work[worker] = zeroed_floats(work_size);
            rendered[worker] = zeroed_floats((size_t)g.block_length);
        }
        if (!render(j, work[worker].get(), rendered[worker].get(), scratch[worker]))
            return;
        long long from, to;
        block_kept_range(g, j, &from, &to);
        const long long first = block_first_sample(g, j);
        output_write(out, from, rendered[worker].get() + (from - first), to - from);
        written++;
    });
    if (abort && abort->load())
        return -1;
    if (gain)
        update_normalisation_gain(output_peak(out, g.output_length), gain);
    return written.load();
}

}  // namespace

int render_noise_output(const NoiseCarriers& carriers, const float* const* image, OutputBuffer& out, float* gain,
                        int threads, const std::atomic<bool>* abort)
{
    const BlockGeometry& g = carriers.bands.geometry;
    if (!image || g.block_count <= 0)
        return 0;
    RenderControl control;
    control.abort = abort;
    return render_output(g, out, gain, threads, abort, [&](int j, float* block, float* rendered, RenderScratch& scratch) {
        copy_block_columns(image, g.columns, g.rows, block_first_column(g, j), g.block_width, block);
        return render_noise_block(carriers, block, rendered, control, &scratch);
    }, (size_t)g.rows * g.block_width);
}

int render_lossless_output(const LosslessSetup& setup, const float* const* current, const float* const* original,
                           const float* sound, long long length, OutputBuffer& out, float* gain, int threads,
                           const std::atomic<bool>* abort)
{
    const BlockGeometry& g = setup.bands.geometry;
    if (!current || !original || g.block_count <= 0)
        return 0;
    RenderControl control;
    control.abort = abort;
    return render_output(g, out, gain, threads, abort, [&](int j, float* block, float* rendered, RenderScratch& scratch) {
        build_gain_block(current, original, g.columns, g.rows, block_first_column(g, j), g.block_width, block);
        return render_lossless_block(setup, j, block, sound, length, rendered, control, &scratch) ==
               lossless_rendered;
    }, (size_t)g.rows * g.block_width);
}

SynthesisMessage lossless_turn_on_check(long long original_sound_length, int original_columns, int original_rows)
{
    SynthesisMessage m;
    if (original_sound_length > 0 && original_columns > 0 && original_rows > 0)
        return m;
    m.title = "Lossless mode not turned on";
    m.text = "Error: Lossless mode requires a sound file to be loaded first\n"
             "See the paragraph 'Limitations' in Section II. Lossless mode of the manual";
    return m;
}

SynthesisMessage lossless_size_check(bool lossless, int columns, int rows, int original_columns, int original_rows)
{
    SynthesisMessage m;
    if (!lossless || (columns == original_columns && rows == original_rows))
        return m;
    m.title = "Lossless mode error: different image sizes";
    m.text = "Error: Lossless mode is meant to work with an image of the same dimensions as the original "
             "sound's image\nSee the Section II. Lossless mode of the manual for an explanation of the proper "
             "use of the lossless mode";
    return m;
}
