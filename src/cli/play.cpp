#include "cli/play.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include "commands/app.h"
#include "audio/audio_device.h"
#include "engine/playback.h"
#include "engine/synthesis_workers.h"
#include "layers/composite.h"
#include "project/project_synthesis.h"
#include "project/units.h"
#include "support/log.h"
#include "support/prefs.h"

static std::atomic<bool> interrupted{false};

static void on_interrupt(int) { interrupted = true; }

// "position / duration", padded so that a shorter text overwrites a longer one.
static void show_position(double position, double duration)
{
    char at[64], total[64];
    format_time(position, at, sizeof at, 1);
    format_time(duration, total, sizeof total, 1);
    fprintf(stderr, "\r%s / %s    ", at, total);
    fflush(stderr);
}

static void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

static bool first_block_done(PlaybackState& s)
{
    std::lock_guard<std::mutex> lock(s.block_status_lock);
    return s.block_status.empty() || s.block_status[0] == block_done;
}

int play_project(App& app, int buffer_length)
{
    Project& p = app.project;
    if (!p.composite || p.layers.empty() || p.width <= 0 || p.height < 2 || !(p.time_resolution > 0.0f)) {
        log_printf(stderr, "Nothing to play: the project has no picture\n");
        return 1;
    }
    // With live synthesis on this also hands the picture to the live generator.
    const bool copied = composite_layers(p, false);

    PlaybackState s;
    AudioOutput out;
    out.buffer_length = buffer_length;
    PrefStore& store = app.prefs ? *app.prefs : pref_main_store();
    if (!audio_init(out, s, p, store))
        return 1;  // no sound card: said once, and nothing waits for a callback

    // What the button bar would hold: the project's own time resolution drives the live cursor.
    s.controls.time_resolution = p.time_resolution;
    // Once through: the archive's looping options do not apply here.
    s.controls.loop_playback = false;
    s.controls.pause_after_loop = false;
    p.content_changed = content_pixels;
    SynthesisMessage message;
    project_synthesis_update(s, p, project_knobs(p), &message);
    if (message.title)
        log_printf(stderr, "%s: %s\n", message.title, message.text ? message.text : "");
    struct sigaction action = {}, previous = {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    interrupted = false;
    sigaction(SIGINT, &action, &previous);

    if (s.mode == synthesis_live) {
        wait_for_noise_bank(s);
        if (copied)
            live_level_estimate(s);
    } else {
        // The workers render ahead of the player from the first block on; once that block is
        // there, the rest arrives faster than it is played.
        for (int i = 0; i < 3000 && !interrupted && !first_block_done(s); i++)
            sleep_ms(10);
    }

    const double sr = p.sample_rate;
    const double duration = p.width / (double)p.time_resolution;
    playback_start(s);
    while (s.play_state != play_stopped && !interrupted) {
        show_position(s.play_position / sr, duration);
        sleep_ms(100);
    }
    const bool played_out = !interrupted;
    if (played_out) {
        show_position(duration, duration);
        // The last buffers still on their way to the speakers.
        long long seen = out.callbacks;
        for (int i = 0; i < 100 && out.callbacks < seen + 2; i++)
            sleep_ms(10);
    }
    fprintf(stderr, "\n");
    playback_stop(s);
    audio_close(out);
    synthesis_shutdown(s);
    sigaction(SIGINT, &previous, nullptr);
    return played_out ? 0 : 130;
}
