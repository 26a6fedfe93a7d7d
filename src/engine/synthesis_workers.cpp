#include "engine/synthesis_workers.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>

#include "support/alloc.h"

namespace {

struct FreeDeleter {
    void operator()(float* p) const { free(p); }
};
using Floats = std::unique_ptr<float[], FreeDeleter>;

Floats floats(size_t count) { return Floats((float*)wrcalloc(count ? count : 1, sizeof(float))); }

float clamp_base(float base) { return std::isnan(base) ? 2.0f : std::clamp(base, 1.0f, 2.0f); }

bool same_geometry(const BlockGeometry& a, const BlockGeometry& b)
{
    return a.columns == b.columns && a.rows == b.rows && a.sample_rate == b.sample_rate &&
           a.time_resolution == b.time_resolution && a.output_resolution == b.output_resolution &&
           a.block_width == b.block_width && a.block_hop == b.block_hop && a.block_length == b.block_length &&
           a.block_count == b.block_count && a.output_length == b.output_length;
}

bool same_key(const SetupKey& a, const SetupKey& b)
{
    return a.valid && b.valid && same_geometry(a.geometry, b.geometry) && a.fmin == b.fmin && a.fmax == b.fmax &&
           a.base == b.base;
}

bool same_key(const BankKey& a, const BankKey& b)
{
    return a.valid && b.valid && a.rows == b.rows && a.sample_rate == b.sample_rate && a.fmin == b.fmin &&
           a.fmax == b.fmax && a.base == b.base;
}

int mode_of(bool live_synthesis, bool lossless)
{
    if (lossless)
        return synthesis_lossless;
    return live_synthesis ? synthesis_live : synthesis_noise;
}

// Where a worker leaves the processor to the interface and the audio callback.
void noise_yield(void*, int band)
{
    if (noise_band_yields(band))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void lossless_yield(void*, int band)
{
    if (lossless_band_yields(band))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// Renders block j into `rendered` and writes its kept range. Returns false when aborted.
bool render_block(PlaybackState& s, int j, int mode, float* block, float* rendered, RenderScratch& scratch,
                  const RenderControl& control)
{
    const BlockGeometry& g = s.geometry;
    const SynthesisInput& in = s.input;
    // A block copied from a composite that is about to be rebuilt would be marked done with the
    // old picture's sound: wait for the recomposite the edit asked for.
    while (in.composite_stale && in.composite_stale->load() && !s.abort)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (s.abort)
        return false;

    const long long first_column = block_first_column(g, j);
    bool written;
    if (mode == synthesis_lossless) {
        {
            std::lock_guard<std::mutex> lock(*in.image_lock);
            build_gain_block(in.composite, in.original_image, in.width, in.height, first_column, g.block_width,
                             block);
        }
        LosslessResult result = render_lossless_block(s.lossless_setup, j, block, in.original_sound,
                                                      in.original_sound_size, rendered, control, &scratch);
        if (result == lossless_aborted)
            return false;
        written = result == lossless_rendered;
    } else {
        {
            std::lock_guard<std::mutex> lock(*in.image_lock);
            copy_block_columns(in.composite, in.width, in.height, first_column, g.block_width, block);
        }
        if (!render_noise_block(s.carriers, block, rendered, control, &scratch))
            return false;
        written = true;
    }

    float peak = 0.0f;
    if (written) {
        long long from, to;
        block_kept_range(g, j, &from, &to);
        const float* kept = rendered + (from - block_first_sample(g, j));
        for (long long t = 0; t < to - from; t++)
            peak = std::max(peak, std::fabs(kept[t]));
        std::lock_guard<std::mutex> lock(s.playback_lock);
        output_write(s.output, from, kept, to - from);
    }
    // The output's peak is the largest of its blocks' peaks: the kept ranges cover it exactly.
    float output_peak = 0.0f;
    {
        std::lock_guard<std::mutex> lock(s.block_status_lock);
        if (written)
            s.block_peak[j] = peak;
        for (float p : s.block_peak)
            output_peak = std::max(output_peak, p);
    }
    float gain = s.gain.load();
    if (update_normalisation_gain(output_peak, &gain))
        s.gain = gain;
    return true;
}

void worker_main(PlaybackState* state, int index, int mode)
{
    PlaybackState& s = *state;
    s.running = true;
    const BlockGeometry& g = s.geometry;
    const int nb = g.block_count, C = g.block_width;
    if (nb <= 0 || C <= 0)
        return;
    // Start at the block under the left edge of the view, so that what is seen is heard first.
    const int c = s.controls.first_visible_column;
    long long b0 = (long long)(2.0 * c / C - 0.5);
    b0 = std::max(b0, 0ll) % nb;

    Floats block = floats((size_t)g.rows * C), rendered = floats((size_t)g.block_length);
    RenderScratch scratch;
    RenderControl control;
    control.abort = &s.abort;
    if (s.courtesy_sleeps)
        control.band_done = mode == synthesis_lossless ? lossless_yield : noise_yield;

    for (int i = 0; i < nb && !s.abort; i++) {
        while (s.controls.suspend && !s.abort)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (s.abort)
            break;
        const int j = (int)((b0 + i) % nb);
        {
            std::lock_guard<std::mutex> lock(s.block_status_lock);
            if (s.block_status[j] != block_pending)
                continue;
            s.block_status[j] = block_rendering;
        }
        s.changed = true;
        s.worker_block[index] = j;
        const bool finished = render_block(s, j, mode, block.get(), rendered.get(), scratch, control);
        {
            std::lock_guard<std::mutex> lock(s.block_status_lock);
            s.block_status[j] = finished && !s.abort ? block_done : block_pending;
        }
        s.worker_block[index] = -1;
        s.changed = true;
        if (finished && s.block_finished)
            s.block_finished(s.hook_context, j);
    }
}

// The block plan for the picture and mode: geometry, output chunks, block status.
void setup_plan(PlaybackState& s, const SynthesisRequest& r, int mode)
{
    const SynthesisInput& in = r.input;
    const long long n_out = mode == synthesis_lossless
                                ? r.original_sound_length
                                : noise_output_length(in.width, r.time_resolution, s.sample_rate);
    BlockGeometry g;
    if (!block_geometry(g, in.width, in.height, r.time_resolution, s.sample_rate, r.long_blocks, n_out))
        g = BlockGeometry();
    s.geometry = g;
    {
        std::lock_guard<std::mutex> lock(s.playback_lock);
        output_resize(s.output, mode == synthesis_live ? 0 : g.output_length);
        s.output_length = g.output_length;
    }
    {
        std::lock_guard<std::mutex> lock(s.block_status_lock);
        s.block_status.assign((size_t)std::max(g.block_count, 0), block_pending);
        s.block_peak.resize((size_t)std::max(g.block_count, 0), 0.0f);
    }
    s.changed = true;
}

void stop_bank_builder(PlaybackState& s)
{
    s.bank_abort = true;
    if (s.bank_thread.joinable())
        s.bank_thread.join();
    s.bank_abort = false;
}

void free_bank(PlaybackState& s)
{
    stop_bank_builder(s);
    std::lock_guard<std::mutex> level(s.level_lock);
    std::lock_guard<std::mutex> bank(s.noise_bank_lock);
    s.bank.reset();
    s.bank_key = BankKey();
}

void bank_builder(PlaybackState* state, BankKey key, int threads)
{
    PlaybackState& s = *state;
    auto bank = std::make_unique<NoiseBank>();
    if (!build_noise_bank(*bank, key.rows, key.fmin, key.fmax, key.base, key.sample_rate, threads, &s.bank_abort))
        return;
    {
        std::lock_guard<std::mutex> level(s.level_lock);
        std::lock_guard<std::mutex> lock(s.noise_bank_lock);
        s.bank = std::move(bank);
    }
    live_level_estimate(s);
    if (s.start_waveform)
        s.start_waveform(s.hook_context);
}

// Rebuilds the bank in the background when the picture height, range, base or rate changed.
void ensure_bank(PlaybackState& s, const SynthesisRequest& r)
{
    BankKey key;
    key.rows = r.input.height;
    key.sample_rate = s.sample_rate;
    key.fmin = r.fmin;
    key.fmax = r.fmax;
    key.base = clamp_base(r.scale_base);
    key.valid = key.rows >= 2;
    if (!key.valid || same_key(key, s.bank_key))
        return;
    free_bank(s);
    s.bank_key = key;
    s.bank_thread = std::thread(bank_builder, &s, key, std::max(s.worker_count, 1));
}

// Carriers, lossless set-up or noise bank, when what they were built for changed.
bool rebuild_setups(PlaybackState& s, const SynthesisRequest& r, int mode)
{
    if (mode == synthesis_live) {
        ensure_bank(s, r);
        return true;
    }
    if (s.geometry.block_count <= 0)
        return false;
    SetupKey key;
    key.geometry = s.geometry;
    key.fmin = r.fmin;
    key.fmax = r.fmax;
    key.base = clamp_base(r.scale_base);
    key.valid = true;
    if (mode == synthesis_noise) {
        if (!same_key(key, s.carriers_key)) {
            key.valid = build_noise_carriers(s.carriers, s.geometry, r.fmin, r.fmax, key.base);
            s.carriers_key = key;
        }
        return s.carriers_key.valid;
    }
    if (!same_key(key, s.lossless_key)) {
        key.valid = build_lossless_setup(s.lossless_setup, s.geometry, r.fmin, r.fmax, key.base);
        s.lossless_key = key;
    }
    return s.lossless_key.valid && r.input.original_image && r.input.original_sound;
}

// One worker per worker count, each started only once the previous one said it runs.
void start_workers(PlaybackState& s, int mode)
{
    for (int i = 0; i < s.worker_count; i++) {
        s.running = false;
        s.workers.emplace_back(worker_main, &s, i, mode);
        while (!s.running)
            std::this_thread::yield();
    }
}

// Restart steps after the plan: set-ups, clearing, parameter copies, playing resumed, workers.
void restart(PlaybackState& s, const SynthesisRequest& r, int mode, bool clear)
{
    const bool ready = rebuild_setups(s, r, mode);
    if (clear) {
        {
            std::lock_guard<std::mutex> lock(s.playback_lock);
            output_clear(s.output);
        }
        std::lock_guard<std::mutex> lock(s.block_status_lock);
        std::fill(s.block_status.begin(), s.block_status.end(), block_pending);
        std::fill(s.block_peak.begin(), s.block_peak.end(), 0.0f);
    }
    s.changed = true;
    s.fmin = r.fmin;
    s.fmax = r.fmax;
    s.scale_base = r.scale_base;
    s.time_resolution = r.time_resolution;
    s.mode = mode;
    s.configured = true;
    s.input = r.input;
    if (s.worker_count < 1)
        s.worker_count = 1;
    if (!s.worker_block || s.worker_slots != s.worker_count) {
        s.worker_block = std::make_unique<std::atomic<int>[]>((size_t)s.worker_count);
        s.worker_slots = s.worker_count;
    }
    for (int i = 0; i < s.worker_count; i++)
        s.worker_block[i] = -1;
    int waiting = play_waiting;
    s.play_state.compare_exchange_strong(waiting, play_playing);

    if (mode != synthesis_live && ready && r.input.image_lock)
        start_workers(s, mode);
    if (s.start_waveform)
        s.start_waveform(s.hook_context);
}

}  // namespace

bool synthesis_update(PlaybackState& s, const SynthesisRequest& r, SynthesisMessage* message)
{
    if (!r.input.composite)
        return false;
    bool lossless = r.lossless;
    if (lossless) {
        SynthesisMessage m = lossless_turn_on_check(r.original_sound_length, r.original_width, r.original_height);
        if (!m.title)
            m = lossless_size_check(true, r.input.width, r.input.height, r.original_width, r.original_height);
        if (m.title) {
            lossless = false;
            if (message)
                *message = m;
        }
    }
    const int mode = mode_of(r.live_synthesis, lossless);
    s.controls.lossless = lossless;
    s.controls.live_synthesis = r.live_synthesis;

    const bool resolution_differs = r.time_resolution != s.time_resolution;
    const bool differs =
        resolution_differs || r.fmin != s.fmin || r.fmax != s.fmax || r.scale_base != s.scale_base;
    const bool mode_changed = !s.configured || mode != s.mode;
    const bool setup = r.content_changed != 0 || mode_changed || (resolution_differs && !r.dragging);
    if (!setup && !(differs && !r.dragging))
        return false;

    if (setup && mode != synthesis_live) {
        int playing = play_playing;
        s.play_state.compare_exchange_strong(playing, play_waiting);
        std::lock_guard<std::mutex> lock(s.playback_lock);
        s.play_position = 0;
    }
    synthesis_stop_workers(s);
    if (mode != synthesis_live)
        free_bank(s);
    if (setup)
        setup_plan(s, r, mode);
    restart(s, r, mode, r.content_changed != 2);
    return true;
}

void synthesis_stop_workers(PlaybackState& s)
{
    s.abort = true;
    for (std::thread& t : s.workers)
        if (t.joinable())
            t.join();
    s.workers.clear();
    {
        std::lock_guard<std::mutex> lock(s.estimate_thread_lock);
        if (s.estimate_thread.joinable())
            s.estimate_thread.join();
    }
    s.abort = false;
}

void synthesis_shutdown(PlaybackState& s)
{
    synthesis_stop_workers(s);
    stop_bank_builder(s);
}

void live_synthesis_on(PlaybackState& s, const SynthesisRequest& r)
{
    s.controls.live_synthesis = true;
    if (r.lossless)
        return;
    synthesis_stop_workers(s);
    {
        std::lock_guard<std::mutex> lock(s.playback_lock);
        output_resize(s.output, 0);
    }
    s.mode = synthesis_live;
    if (s.start_waveform)
        s.start_waveform(s.hook_context);
    ensure_bank(s, r);
}

void live_synthesis_off(PlaybackState& s, const SynthesisRequest& r)
{
    s.controls.live_synthesis = false;
    const bool was_live = s.mode == synthesis_live;
    free_bank(s);
    if (!was_live)
        return;
    const int mode = mode_of(false, r.lossless);
    if (!r.input.composite || !s.configured) {
        // Nothing was playing live yet; the next update sets block synthesis up.
        s.mode = mode;
        s.configured = false;
        return;
    }
    synthesis_stop_workers(s);
    setup_plan(s, r, mode);
    {
        std::lock_guard<std::mutex> lock(s.playback_lock);
        const float R = s.controls.time_resolution;
        if (R > 0.0f)
            s.play_position = (long long)std::nearbyint(s.live_position.load() * s.sample_rate / R);
    }
    restart(s, r, mode, true);
}

void live_level_estimate(PlaybackState& s)
{
    if (!s.picture.columns || !s.picture.lock)
        return;
    std::vector<float> column;
    {
        std::lock_guard<std::mutex> lock(*s.picture.lock);
        const float* const* columns = *s.picture.columns;
        if (!columns)
            return;
        const int width = *s.picture.width, rows = *s.picture.height;
        const int c = loudest_column(columns, width, rows);
        if (c < 0)
            return;
        column.assign(columns[c], columns[c] + rows);
    }
    std::lock_guard<std::mutex> level(s.level_lock);
    if (!s.bank || s.bank->rows != (int)column.size())
        return;
    const float D = live_level_divisor(*s.bank, column.data());
    if (D > 0.0f && std::isfinite(D))
        s.level_divisor = D;
}

void start_level_estimate(PlaybackState& s)
{
    std::lock_guard<std::mutex> lock(s.estimate_thread_lock);
    if (s.estimate_thread.joinable())
        s.estimate_thread.join();
    s.estimate_thread = std::thread(live_level_estimate, std::ref(s));
}

void level_estimate_hook(void* state) { start_level_estimate(*(PlaybackState*)state); }

void wait_for_noise_bank(PlaybackState& s)
{
    if (s.bank_thread.joinable())
        s.bank_thread.join();
}

void synthesis_render_blocks_again(PlaybackState& s, int first, int last)
{
    if (!s.configured || s.mode == synthesis_live || !s.input.composite || !s.input.image_lock)
        return;
    synthesis_stop_workers(s);
    {
        std::lock_guard<std::mutex> lock(s.block_status_lock);
        const int n = (int)s.block_status.size();
        first = std::max(first, 0);
        last = std::min(last, n - 1);
        for (int j = first; j <= last; j++) {
            s.block_status[(size_t)j] = block_pending;
            s.block_peak[(size_t)j] = 0.0f;
        }
    }
    s.changed = true;
    start_workers(s, s.mode);
}
