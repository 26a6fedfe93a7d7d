#include "engine/playback.h"

#include <algorithm>
#include <cmath>

#include "engine/synthesis_workers.h"

PlaybackState::~PlaybackState() { synthesis_shutdown(*this); }

void playback_init(PlaybackState& s, int sample_rate, float fmin, float fmax, float time_resolution,
                   const LivePicture& picture, int workers)
{
    synthesis_shutdown(s);
    std::lock_guard<std::mutex> lock(s.playback_lock);
    s.sample_rate = sample_rate;
    if (workers <= 0)
        workers = std::max(1, (int)std::thread::hardware_concurrency() - 1);
    s.worker_count = workers;
    s.worker_block = std::make_unique<std::atomic<int>[]>((size_t)workers);
    s.worker_slots = workers;
    for (int i = 0; i < workers; i++)
        s.worker_block[i] = -1;
    s.play_state = play_stopped;
    s.play_button = false;
    s.gain = 0.0f;
    s.level_divisor = 0.0f;
    s.controls.volume = 1.0f;
    s.controls.time_resolution = time_resolution;
    s.fmin = fmin;
    s.fmax = fmax;
    s.time_resolution = time_resolution;
    s.scale_base = 2.0f;
    s.configured = false;
    s.picture = picture;
}

namespace {

void stop_playing(PlaybackState& s)
{
    s.play_state = play_stopped;
    s.play_button = false;
}

// The rendered output at the play position q, with its loop, reverse and bounce rules.
void play_rendered(PlaybackState& s, int frames, float* stereo)
{
    const long long n = s.output_length.load();
    long long q = s.play_position.load();
    if (q >= n && s.play_state == play_playing)
        stop_playing(s);
    if (q < 0 || q >= n)
        q = 0;
    if (s.play_state != play_playing) {
        s.play_position = q;
        return;
    }
    const float G = s.gain.load(), v = s.controls.volume.load();
    const bool loop_playback = s.controls.loop_playback, loop_key = s.controls.loop_key;
    const bool reverse = s.controls.reverse_key, pause = s.controls.pause_after_loop;
    const bool looping = loop_playback || loop_key;
    if (!(loop_key && reverse))
        s.direction = 1;
    for (int f = 0; f < frames && q >= 0 && q < n; f++) {
        const float sample = G * output_sample(s.output, q) * v;
        stereo[2 * f] += sample;
        stereo[2 * f + 1] += sample;
        // Forward looping: the last sample is followed by the first.
        if (looping && !reverse && q + 1 >= n) {
            q = 0;
            if (pause) {
                stop_playing(s);
                break;
            }
            continue;
        }
        if (!loop_key) {
            if (reverse) {
                // Backward, one sample a frame; looping, the first sample is followed by the last.
                q -= 2;
                if (loop_playback && q < -1)
                    q = n - 2;
            }
        } else if (reverse) {
            // Loop key and reverse together: back and forth between the ends.
            if (s.direction > 0 && q + 1 >= n)
                s.direction = -1;
            if (s.direction < 0) {
                if (q <= 0)
                    s.direction = 1;
                else
                    q -= 2;
            }
        }
        q += 1;
    }
    s.play_position = q;
}

void publish_live_position(PlaybackState& s, double x, int width, float R)
{
    s.live_position = x;
    if (R > 0.0f) {
        const double sr = s.sample_rate;
        s.play_position = (long long)std::nearbyint(sr * x / R);
        if (width > 0)
            s.output_length = (long long)std::nearbyint(sr * width / R);
    }
}

// Live samples at the cursor. The picture's lock is only tried: while a composite rewrites the
// picture the player goes on with the three columns it holds instead of missing its deadline.
void play_live(PlaybackState& s, int frames, float* stereo)
{
    std::lock_guard<std::mutex> live(s.live_lock);
    LiveVoice& voice = s.voice;
    const float R = s.controls.time_resolution.load();
    const bool jump = s.controls.jump_requested.exchange(false);
    const double target = s.controls.jump_target.load();
    if (s.play_state != play_playing || !(R > 0.0f)) {
        // Stopped: a click still moves the cursor, so that playing starts there.
        if (jump) {
            voice.position = target;
            voice.glide_from = voice.glide_to = target;
            voice.glide_step = 0;
            publish_live_position(s, target, voice.width, R);
        }
        return;
    }

    int produced = 0;
    LiveStop stop = live_running;
    {
        std::lock_guard<std::mutex> bank_lock(s.noise_bank_lock);
        LiveColumns picture;
        std::unique_lock<std::mutex> picture_lock;
        if (s.picture.lock)
            picture_lock = std::unique_lock<std::mutex>(*s.picture.lock, std::try_to_lock);
        if (s.picture.columns && (!s.picture.lock || picture_lock.owns_lock()) && *s.picture.columns) {
            picture.columns = *s.picture.columns;
            picture.width = *s.picture.width;
            picture.rows = *s.picture.height;
            picture.updated = s.picture.updated && s.picture.updated->exchange(false);
        }
        LiveMotion motion;
        motion.step = (double)R / s.sample_rate;
        motion.loop_playback = s.controls.loop_playback;
        motion.loop_key = s.controls.loop_key;
        motion.reverse_key = s.controls.reverse_key;
        motion.pause_after_loop = s.controls.pause_after_loop;
        motion.scrubbing = s.controls.scrubbing;
        motion.scrub_target = &s.controls.scrub_target;
        const int rate = s.controls.cursor_rate.load();
        motion.glide_samples = rate > 0 ? std::max(1, s.sample_rate / rate) : 100;
        motion.jump = jump;
        motion.jump_target = target;
        if ((int)s.mono.size() < frames)
            s.mono.resize((size_t)frames);
        if (s.bank)
            produced = live_render(voice, *s.bank, picture, motion, s.level_divisor, s.mono.data(), frames, &stop);
        else if (jump)
            voice.position = target;
    }

    if (stop != live_running) {
        stop_playing(s);
        if (stop == live_stopped)
            voice.position = 0.0;
    }
    publish_live_position(s, voice.position, voice.width, R);
    const float v = s.controls.volume.load();
    for (int f = 0; f < produced; f++) {
        const float sample = s.mono[f] * v;
        stereo[2 * f] += sample;
        stereo[2 * f + 1] += sample;
    }
}

}  // namespace

void fill_output(PlaybackState& s, int frames, float* stereo_out)
{
    if (frames <= 0)
        return;
    std::fill(stereo_out, stereo_out + 2 * (size_t)frames, 0.0f);
    std::lock_guard<std::mutex> lock(s.playback_lock);
    if (s.controls.live_synthesis && !s.controls.lossless)
        play_live(s, frames, stereo_out);
    else
        play_rendered(s, frames, stereo_out);
}

void playback_reserve(PlaybackState& s, int frames)
{
    std::lock_guard<std::mutex> lock(s.live_lock);
    if (frames > 0 && (int)s.mono.size() < frames)
        s.mono.resize((size_t)frames);
}

void playback_start(PlaybackState& s)
{
    s.play_state = play_playing;
    s.play_button = true;
}

void playback_stop(PlaybackState& s) { stop_playing(s); }

void playback_seek(PlaybackState& s, long long sample)
{
    std::lock_guard<std::mutex> lock(s.playback_lock);
    s.play_position = sample;
}
