#include "engine/render.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "support/alloc.h"
#include "support/log.h"

namespace {

struct FreeDeleter {
    void operator()(float* p) const { free(p); }
};
using Floats = std::unique_ptr<float[], FreeDeleter>;

Floats floats(size_t count) { return Floats((float*)wrcalloc(count ? count : 1, sizeof(float))); }

float clamp_base(float base) { return std::isnan(base) ? 2.0f : std::clamp(base, 1.0f, 2.0f); }

bool cancelled(const RenderInput& in) { return in.cancel && in.cancel->load(std::memory_order_relaxed); }

void report(const RenderInput& in, double fraction)
{
    if (in.progress)
        in.progress(in.user, fraction);
}

// Every block, shared among the threads through one counter; each writes only its own kept
// range of `out`, so the result does not depend on the thread count.
bool render_blocks(const RenderInput& in, std::vector<float>& out)
{
    const bool lossless = in.mode == synthesis_lossless;
    if (lossless && (!in.original_image || !in.original_sound || in.original_sound_length <= 0)) {
        log_printf(stderr, "Error: render_to_sound(): lossless rendering needs the original sound and picture\n");
        return false;
    }
    const long long n_out =
        lossless ? in.original_sound_length : noise_output_length(in.width, in.time_resolution, in.sample_rate);
    BlockGeometry g;
    if (!block_geometry(g, in.width, in.height, in.time_resolution, in.sample_rate, in.long_blocks, n_out))
        return false;
    const float base = clamp_base(in.scale_base);
    NoiseCarriers carriers;
    LosslessSetup setup;
    if (lossless ? !build_lossless_setup(setup, g, in.fmin, in.fmax, base)
                 : !build_noise_carriers(carriers, g, in.fmin, in.fmax, base, in.threads))
        return false;

    out.assign((size_t)g.output_length, 0.0f);
    int threads = in.threads > 0 ? in.threads : (int)std::max(1u, std::thread::hardware_concurrency());
    threads = std::clamp(threads, 1, g.block_count);
    std::atomic<int> next{0}, done{0};
    auto work = [&](bool caller) {
        Floats block = floats((size_t)g.rows * g.block_width), rendered = floats((size_t)g.block_length);
        RenderScratch scratch;
        for (int j; (j = next.fetch_add(1)) < g.block_count;) {
            if (cancelled(in))
                break;
            const long long first_column = block_first_column(g, j);
            bool written;
            if (lossless) {
                build_gain_block(in.picture, in.original_image, in.width, in.height, first_column, g.block_width,
                                 block.get());
                written = render_lossless_block(setup, j, block.get(), in.original_sound, in.original_sound_size,
                                                rendered.get(), RenderControl(), &scratch) == lossless_rendered;
            } else {
                copy_block_columns(in.picture, in.width, in.height, first_column, g.block_width, block.get());
                written = render_noise_block(carriers, block.get(), rendered.get(), RenderControl(), &scratch);
            }
            if (written) {
                long long from, to;
                block_kept_range(g, j, &from, &to);
                const float* kept = rendered.get() + (from - block_first_sample(g, j));
                std::copy(kept, kept + (to - from), out.begin() + from);
            }
            const int finished = done.fetch_add(1) + 1;
            if (caller)
                report(in, (double)finished / g.block_count);
        }
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; t++)
        pool.emplace_back(work, false);
    work(true);
    // Out of blocks to take: the others' blocks are reported as they finish.
    for (int seen = done.load(); seen < g.block_count && !cancelled(in); seen = done.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (done.load() != seen)
            report(in, (double)done.load() / g.block_count);
    }
    for (std::thread& t : pool)
        t.join();
    if (cancelled(in))
        return false;

    float peak = 0.0f;
    for (float v : out)
        peak = std::max(peak, std::fabs(v));
    float gain = 0.0f;
    if (update_normalisation_gain(peak, &gain))
        for (float& v : out)
            v *= gain;
    report(in, 1.0);
    return true;
}

// The live generator from the first column to the last, as playback runs it without looping.
bool render_live(const RenderInput& in, std::vector<float>& out)
{
    const int W = in.width, H = in.height;
    const long long n_out = noise_output_length(W, in.time_resolution, in.sample_rate);
    if (n_out <= 0) {
        log_printf(stderr, "Error: render_to_sound(): no live rendering for a %d x %d picture\n", W, H);
        return false;
    }
    NoiseBank bank;
    int threads = in.threads > 0 ? in.threads : (int)std::max(1u, std::thread::hardware_concurrency());
    if (!build_noise_bank(bank, H, in.fmin, in.fmax, in.scale_base, in.sample_rate, threads))
        return false;
    report(in, 0.25);
    if (cancelled(in))
        return false;

    // The picture transposed, as live playback reads it: one run of rows per column.
    Floats transposed = floats((size_t)W * H);
    std::vector<const float*> columns((size_t)W);
    for (int x = 0; x < W; x++) {
        float* c = transposed.get() + (size_t)x * H;
        for (int y = 0; y < H; y++)
            c[y] = in.picture[y][x];
        columns[x] = c;
    }
    std::atomic<float> divisor{0.0f};
    const int loudest = loudest_column(columns.data(), W, H);
    if (loudest >= 0) {
        const float D = live_level_divisor(bank, columns[loudest]);
        if (D > 0.0f && std::isfinite(D))
            divisor = D;
    }

    LiveColumns picture;
    picture.columns = columns.data();
    picture.width = W;
    picture.rows = H;
    LiveMotion motion;
    motion.step = (double)in.time_resolution / in.sample_rate;
    motion.jump = true;  // the first sample sits on column 0
    motion.jump_target = 0.0;
    LiveVoice voice;
    out.assign((size_t)n_out + 1, 0.0f);
    long long produced = 0;
    const int chunk = 65536;
    while (produced < (long long)out.size()) {
        const int count = (int)std::min<long long>(chunk, (long long)out.size() - produced);
        LiveStop stop;
        const int n = live_render(voice, bank, picture, motion, divisor, out.data() + produced, count, &stop);
        motion.jump = false;
        produced += n;
        report(in, 0.25 + 0.75 * (double)produced / (double)out.size());
        if (stop != live_running || n < count)
            break;
        if (cancelled(in))
            return false;
    }
    out.resize((size_t)produced);
    report(in, 1.0);
    return true;
}

}  // namespace

bool render_to_sound(const RenderInput& in, std::vector<float>& out)
{
    out.clear();
    if (!in.picture || in.width <= 0 || in.height < 2) {
        log_printf(stderr, "Error: render_to_sound(): no picture to render\n");
        return false;
    }
    bool ok = in.mode == synthesis_live ? render_live(in, out) : render_blocks(in, out);
    if (!ok)
        out.clear();
    return ok;
}
