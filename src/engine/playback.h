// The playback state: one record for the whole run, shared by the main loop, the synthesis
// workers and the audio callback, and the player that the audio callback runs.
//
// In the block modes (noise, lossless) workers render the picture into the output chunks and
// the player reads them at the play position. In live mode nothing is rendered ahead: the
// player generates every sample from the picture columns around the cursor (live.h).
//
// Threads and locks. Everything another thread reads without a lock is atomic. Where locks are
// held together they are taken in this order: playback_lock, live_lock, noise_bank_lock, then
// the picture's lock (only tried, never waited for, by the player); level_lock before
// noise_bank_lock. Workers take block_status_lock, the picture's image lock and playback_lock
// one at a time, never two together.
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/block_geometry.h"
#include "engine/live.h"
#include "engine/synthesis.h"
#include "engine/synthesis_output.h"

enum : int {
    play_playing = 0,
    play_stopped = 1,
    play_waiting = 2,   // an edit paused playback; the next restart resumes it
};

enum : int {
    block_pending = 0,
    block_rendering = 1,
    block_done = 2,
};

// What the interface sets and the player and the workers follow. Written by the main thread.
struct PlaybackControls {
    std::atomic<bool> live_synthesis{false};
    std::atomic<bool> lossless{false};
    std::atomic<bool> loop_playback{false};
    std::atomic<bool> pause_after_loop{false};
    std::atomic<bool> suspend{false};          // "Suspend Processing": workers wait
    std::atomic<bool> loop_key{false};         // held keys
    std::atomic<bool> reverse_key{false};
    std::atomic<float> time_resolution{100.0f};  // the knob's: the live cursor's speed
    std::atomic<float> volume{1.0f};
    std::atomic<int> cursor_rate{20};          // scrub targets per second
    std::atomic<int> first_visible_column{0};  // workers start at the block in view
    // Dragging the cursor in the view (live mode): the player glides toward the target.
    std::atomic<bool> scrubbing{false};
    std::atomic<double> scrub_target{0.0};
    // A click on a column (live mode): taken by the next fill, playing or not.
    std::atomic<bool> jump_requested{false};
    std::atomic<double> jump_target{0.0};
};

// The transposed picture live mode reads (columns[x][row]), owned by the project. Its fields
// change only under `lock`, which the player tries and the level estimate takes.
struct LivePicture {
    float** const* columns = nullptr;   // address of the owner's picture pointer
    const int* width = nullptr;
    const int* height = nullptr;
    std::mutex* lock = nullptr;
    std::atomic<bool>* updated = nullptr;  // raised by each rewrite; cleared by the player
};

// The project's pictures and sound as the workers read them, taken at each restart. The
// owner changes none of them while workers run (it stops them first), except the composite's
// pixels, which change only under `image_lock`.
struct SynthesisInput {
    const float* const* composite = nullptr;    // rows of the current picture
    int width = 0, height = 0;
    std::mutex* image_lock = nullptr;
    const std::atomic<bool>* composite_stale = nullptr;  // a recomposite is pending
    const float* const* original_image = nullptr;
    const float* original_sound = nullptr;
    long long original_sound_size = 0;          // samples readable, padding included
};

// Keys of what the slow set-ups were built for.
struct SetupKey {
    BlockGeometry geometry;
    float fmin = 0.0f, fmax = 0.0f, base = 0.0f;
    bool valid = false;
};
struct BankKey {
    int rows = 0, sample_rate = 0;
    float fmin = 0.0f, fmax = 0.0f, base = 0.0f;
    bool valid = false;
};

enum : int {
    synthesis_noise = 0,
    synthesis_lossless = 1,
    synthesis_live = 2,
};

struct PlaybackState {
    int sample_rate = 44100;                // sr
    int worker_count = 1;                   // T = max(1, processors - 1)
    bool courtesy_sleeps = true;            // workers leave the processor now and then while rendering

    // The player. The audio callback holds playback_lock for a whole fill.
    std::mutex playback_lock;
    OutputBuffer output;                    // chunk list changed under playback_lock
    std::atomic<long long> output_length{0};   // n_out
    std::atomic<long long> play_position{0};   // samples (block modes; live mode publishes it)
    std::atomic<double> live_position{0.0};    // columns
    std::atomic<float> gain{0.0f};             // G = 1 / peak of the output
    std::atomic<float> level_divisor{0.0f};    // D of live mode
    std::atomic<int> play_state{play_stopped};
    std::atomic<bool> play_button{false};      // switched off by the player at the end
    int direction = 1;                      // block player's bounce; under playback_lock
    PlaybackControls controls;

    // The set-up of the last restart (main thread; workers read it while they run).
    float fmin = 27.5f, fmax = 20000.0f, time_resolution = 100.0f, scale_base = 2.0f;
    int mode = synthesis_noise;
    bool configured = false;                // a restart has happened
    BlockGeometry geometry;                 // block width, count, length, n_out
    NoiseCarriers carriers;
    LosslessSetup lossless_setup;
    SetupKey carriers_key, lossless_key;
    SynthesisInput input;

    // Blocks.
    std::mutex block_status_lock;
    std::vector<int> block_status;          // block_pending, block_rendering, block_done
    std::vector<float> block_peak;          // peak of each block's kept samples
    std::atomic<bool> changed{false};       // a block started or finished: redraw the waveform

    // Workers.
    std::vector<std::thread> workers;
    std::unique_ptr<std::atomic<int>[]> worker_block;  // block each worker renders, -1 for none
    int worker_slots = 0;
    std::atomic<bool> running{false};       // start hand-shake
    std::atomic<bool> abort{false};

    // Live mode. live_lock guards the voice and the player's work buffer.
    std::mutex live_lock, noise_bank_lock, level_lock;
    std::unique_ptr<NoiseBank> bank;        // published and freed under level_lock, then noise_bank_lock
    LiveVoice voice;
    std::vector<float> mono;
    LivePicture picture;
    BankKey bank_key;                       // what the bank is, or is being, built for (main thread)
    std::thread bank_thread;                // builds and publishes the bank (main thread owns the handle)
    std::atomic<bool> bank_abort{false};
    std::mutex estimate_thread_lock;        // the estimate may be started from the compositing thread
    std::thread estimate_thread;

    // Hooks of the desktop program, null elsewhere: rebuilding the waveform strip after a
    // restart, and a block finished (called on the worker's thread).
    void (*start_waveform)(void* context) = nullptr;
    void (*block_finished)(void* context, int block) = nullptr;
    void* hook_context = nullptr;

    PlaybackState() = default;
    PlaybackState(const PlaybackState&) = delete;
    PlaybackState& operator=(const PlaybackState&) = delete;
    ~PlaybackState();
};

// Initial values: stopped, gain 0, volume 1, the given rate and synthesis parameters with
// base 2, T = max(1, processors - 1) workers (`workers` > 0 overrides), the picture live mode
// reads. Call before the audio device starts calling fill_output.
void playback_init(PlaybackState& s, int sample_rate, float fmin, float fmax, float time_resolution,
                   const LivePicture& picture, int workers = 0);

// Sizes the live player's work buffer for callbacks of up to `frames` frames, so that the
// audio thread never allocates (it grows the buffer itself only for a longer callback).
void playback_reserve(PlaybackState& s, int frames);

// Fills `frames` interleaved stereo frames: silence, then either the rendered output at the
// play position (block modes) or live samples (live synthesis on, lossless off), times the
// volume. Holds the playback lock throughout; never waits for the workers.
void fill_output(PlaybackState& s, int frames, float* stereo_out);

// The play button and the space bar: play from the current position, or stop there.
void playback_start(PlaybackState& s);
void playback_stop(PlaybackState& s);
// Seeking in the block modes: the next sample played is `sample`.
void playback_seek(PlaybackState& s, long long sample);
