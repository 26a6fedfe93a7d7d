// From picture to sound card: a small project played through the real SDL audio path, with
// SDL's "disk" driver standing in for the sound card. What the driver wrote must be, sample
// for sample, what the engine says playback plays: in the block modes the rendered output
// times gain and volume, in live mode the live generator run from the same start, both
// through the volume limiter.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "disk_audio.h"
#include "engine/noise.h"
#include "engine/playback.h"
#include "engine/synthesis_workers.h"
#include "project/project_synthesis.h"

namespace {

// 40 columns at 10 columns a second and 8 kHz: 4 s, 32,000 samples; 24 rows, 100-3000 Hz.
struct Heard {
    TempDir files;
    AudioTestPrefs prefs{"\tBuffer length: 200 samples\n\tPreferred driver: disk\n"};
    Project p;
    PlaybackState s;
    AudioOutput out;  // declared last: closed first, before the state it plays goes

    Heard()
    {
        use_disk_file(files.file("heard.raw"));
        const int width = 40, height = 24;
        p.sample_rate = 8000;
        p.fmin = p.analysis_fmin = 100.0f;
        p.fmax = p.analysis_fmax = 3000.0f;
        p.time_resolution = p.analysis_time_resolution = 10.0f;
        p.width = p.composite_width = width;
        p.height = p.composite_height = height;
        update_block_width(p);
        p.composite = image_alloc(height, width);
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++)
                p.composite[y][x] = (float)((x + 3 * y) % 7 + 1) / 7.0f;
        out.buffer_length = 200;
    }
    ~Heard()
    {
        audio_close(out);
        synthesis_shutdown(s);
    }

    // Lossless mode's original: a sound of the output's length and the picture as analysed,
    // then an edit, so that what plays is not simply the original.
    void original()
    {
        const int n = 32000;
        std::vector<float> sound(n);
        for (int t = 0; t < n; t++)
            sound[t] = 0.3f * std::sin(0.05f * (float)t) + 0.2f * std::sin(0.31f * (float)t);
        ASSERT_TRUE(set_original_sound(p, sound, n));
        p.original_image = image_copy(p.composite, p.height, p.width);
        p.original_image_width = p.width;
        p.original_image_height = p.height;
        for (int y = 0; y < 8; y++)
            for (int x = 10; x < 30; x++)
                p.composite[y][x] *= 0.25f;
    }

    bool blocks_done()
    {
        std::lock_guard<std::mutex> lock(s.block_status_lock);
        for (int v : s.block_status)
            if (v != block_done)
                return false;
        return !s.block_status.empty();
    }

    // Plays from the first sample until the player stops at the end, then closes the device.
    void play_to_end()
    {
        ASSERT_TRUE(wait_for_callbacks(out, 3));
        playback_start(s);
        ASSERT_TRUE(wait_until([&] { return s.play_state == play_stopped; }));
        long long seen = out.callbacks;
        ASSERT_TRUE(wait_for_callbacks(out, seen + 3));
        audio_close(out);
    }

    // Mono samples to both channels, then the limiter with this run's settings.
    std::vector<float> through_limiter(const std::vector<float>& mono)
    {
        std::vector<float> stereo(2 * mono.size());
        for (size_t i = 0; i < mono.size(); i++)
            stereo[2 * i] = stereo[2 * i + 1] = mono[i];
        LimiterState lim;
        limiter_load_prefs(lim, prefs.store);
        limit_volume(stereo.data(), 2, (int)mono.size(), p.sample_rate, lim);
        return stereo;
    }

    // The device's file holds silence, then exactly `expected`, then silence.
    void expect_heard(const std::vector<float>& expected)
    {
        std::vector<float> heard = read_disk_file(files.file("heard.raw"));
        long long at = sound_offset(heard, expected);
        ASSERT_GE(at, 0);
        EXPECT_EQ(at % (2 * out.buffer_length), 0) << "sound starts inside a callback";
        ASSERT_GE(heard.size(), (size_t)at + expected.size());
        for (size_t i = 0; i < expected.size(); i++)
            ASSERT_EQ(heard[at + i], expected[i]) << "frame " << i / 2;
        for (size_t i = (size_t)at + expected.size(); i < heard.size(); i++)
            ASSERT_EQ(heard[i], 0.0f) << "after the end, frame " << i / 2;
    }

    // Block modes: render every block, then play the output.
    void play_blocks()
    {
        ASSERT_TRUE(audio_init(out, s, p, prefs.store));
        EXPECT_EQ(out.sample_rate, 8000);
        s.courtesy_sleeps = false;
        random_seed(11);
        p.content_changed = content_pixels;
        SynthesisMessage message;
        ASSERT_TRUE(project_synthesis_update(s, p, project_knobs(p), &message));
        EXPECT_EQ(message.title, nullptr);
        ASSERT_TRUE(wait_until([&] { return blocks_done(); }));
        synthesis_stop_workers(s);
        s.controls.volume = 0.8f;

        const long long n = s.output_length;
        ASSERT_EQ(n, 32000);
        const float G = s.gain, v = s.controls.volume;
        ASSERT_GT(G, 0.0f);
        std::vector<float> mono((size_t)n);
        for (long long q = 0; q < n; q++)
            mono[q] = G * output_sample(s.output, q) * v;
        std::vector<float> expected = through_limiter(mono);
        play_to_end();
        expect_heard(expected);
        // Normalised to a peak of 0.8, over the -6 dB threshold: the limiter did work.
        float loudest = 0.0f;
        for (float x : expected)
            loudest = std::max(loudest, std::fabs(x));
        EXPECT_LE(loudest, 0.502f);
    }
};

}  // namespace

TEST(PlaybackHeard, NoiseMode)
{
    Heard h;
    h.play_blocks();
}

TEST(PlaybackHeard, LosslessMode)
{
    Heard h;
    h.original();
    h.p.lossless = true;
    h.play_blocks();
    EXPECT_EQ(h.s.mode, synthesis_lossless);
}

TEST(PlaybackHeard, LiveMode)
{
    Heard h;
    h.p.live_synthesis = true;
    ASSERT_TRUE(audio_init(h.out, h.s, h.p, h.prefs.store));
    random_seed(21);
    h.p.content_changed = content_pixels;
    ASSERT_TRUE(project_synthesis_update(h.s, h.p, project_knobs(h.p)));
    EXPECT_EQ(h.s.mode, synthesis_live);
    wait_for_noise_bank(h.s);
    ASSERT_TRUE(h.s.bank);
    // What compositing hands live mode: the picture transposed, marked new.
    const int W = h.p.width, H = h.p.height;
    {
        std::lock_guard<std::mutex> lock(h.p.synthesis_copy_lock);
        h.p.synthesis_copy = image_alloc(W, H);
        for (int x = 0; x < W; x++)
            for (int y = 0; y < H; y++)
                h.p.synthesis_copy[x][y] = h.p.composite[y][x];
        h.p.synthesis_copy_updated = true;
    }
    live_level_estimate(h.s);
    ASSERT_GT(h.s.level_divisor, 0.0f);
    h.s.controls.volume = 0.8f;

    // The generator from the state playback starts from, in one run to the last column.
    LiveVoice voice = h.s.voice;
    std::atomic<float> divisor{h.s.level_divisor.load()};
    LiveColumns picture;
    picture.columns = h.p.synthesis_copy;
    picture.width = W;
    picture.rows = H;
    picture.updated = true;
    LiveMotion motion;
    motion.step = (double)h.s.controls.time_resolution / h.p.sample_rate;
    std::vector<float> mono(40000);
    LiveStop stop = live_running;
    int n = live_render(voice, *h.s.bank, picture, motion, divisor, mono.data(), (int)mono.size(), &stop);
    EXPECT_EQ(stop, live_stopped);
    // One sample per 1/800 column until the cursor passes the last column.
    EXPECT_NEAR(n, 39 * 800 + 1, 1);
    mono.resize((size_t)n);
    for (float& x : mono)
        x *= 0.8f;
    std::vector<float> expected = h.through_limiter(mono);

    h.play_to_end();
    h.expect_heard(expected);
    EXPECT_EQ(h.s.live_position, 0.0);
}
