#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/bands.h"
#include "engine/fft.h"
#include "engine/fft_size.h"
#include "engine/kernel.h"
#include "engine/live.h"
#include "engine/noise.h"
#include "engine/playback.h"
#include "engine/scale.h"
#include "engine/synthesis_workers.h"
#include "engine/image.h"

namespace {

// A transposed picture (columns[x][row]) with its lock, as a project's synthesis copy.
struct Copy {
    Image columns = nullptr;
    int width = 0, height = 0;
    std::mutex lock;
    std::atomic<bool> updated{false};
    Copy(int w, int h, float value) : columns(image_alloc(w, h)), width(w), height(h)
    {
        for (int x = 0; x < w; x++)
            for (int y = 0; y < h; y++)
                columns[x][y] = value;
    }
    ~Copy() { image_free(columns); }
    LivePicture live()
    {
        LivePicture p;
        p.columns = &columns;
        p.width = &width;
        p.height = &height;
        p.lock = &lock;
        p.updated = &updated;
        return p;
    }
    LiveColumns view() const
    {
        LiveColumns c;
        c.columns = columns;
        c.width = width;
        c.rows = height;
        return c;
    }
};

// One bank for the tests that need no particular rate: 8 kHz, 24 rows from 100 Hz to 3 kHz.
const NoiseBank& small_bank()
{
    static NoiseBank bank;
    static std::once_flag once;
    std::call_once(once, [] {
        random_seed(42);
        build_noise_bank(bank, 24, 100.0f, 3000.0f, 2.0f, 8000, 2);
    });
    return bank;
}

float bank_value(const NoiseBank& b, long long sample, int row)
{
    return b.samples[(size_t)(sample % b.length) * b.rows + row];
}

LiveMotion moving(double step)
{
    LiveMotion m;
    m.step = step;
    return m;
}

}  // namespace

TEST(NoiseBank, LengthIsTwoSecondsOfColumnsAtAFastSize)
{
    EXPECT_EQ(noise_bank_length(44100), 90000);
    EXPECT_EQ(noise_bank_length(8000), next_fast_size(16000));
    EXPECT_GE(noise_bank_length(48000), 96000);
    EXPECT_EQ(noise_bank_length(0), 0);

    NoiseBank bank;
    ASSERT_TRUE(build_noise_bank(bank, 4, 100.0f, 10000.0f, 2.0f, 44100, 2));
    EXPECT_EQ(bank.length, 90000);
    EXPECT_EQ(bank.rows, 4);
    // Refused set-ups leave the bank empty.
    EXPECT_FALSE(build_noise_bank(bank, 1, 100.0f, 10000.0f, 2.0f, 44100));
    EXPECT_FALSE(bank.samples);
    EXPECT_FALSE(build_noise_bank(bank, 10, 3000.0f, 100.0f, 2.0f, 44100));
    std::atomic<bool> abort{true};
    EXPECT_FALSE(build_noise_bank(bank, 10, 100.0f, 3000.0f, 2.0f, 8000, 2, &abort));
    EXPECT_EQ(bank.length, 0);
}

TEST(NoiseBank, EachRowIsItsOwnBandAndLevelsAreItsRms)
{
    const NoiseBank& b = small_bank();
    ASSERT_EQ(b.rows, 24);
    const int n = b.length, H = b.rows;
    set_scale_base(2.0f);
    std::vector<float> x(n), X(n);
    for (int r = 0; r < H; r++) {
        double sum = 0;
        for (int s = 0; s < n; s++) {
            x[s] = bank_value(b, s, r);
            sum += (double)x[s] * x[s];
        }
        EXPECT_NEAR(b.row_level[r], std::sqrt(sum / n), 1e-6 * b.row_level[r]) << r;
        // Its spectrum lies between the band's edge bins (band k is row H-1-k, one row each side).
        real_fft(x.data(), X.data(), n, FFT_FORWARD);
        const BandEdges e = band_edges(H - 1 - r, 1.0f, H, 100.0f / 8000, 3000.0f / 8000, n);
        double inside = 0, outside = 0;
        for (int k = 1; k < n / 2; k++) {
            double p = (double)X[k] * X[k] + (double)X[n - k] * X[n - k];
            (k > e.lo && k <= e.hi ? inside : outside) += p;
        }
        EXPECT_LT(outside, 1e-9 * inside) << r;
    }
    // Pink colouring over a logarithmic scale: about the same level in every band.
    float lo = b.row_level[1], hi = b.row_level[1];
    for (int r = 1; r < H - 1; r++) {
        lo = std::min(lo, b.row_level[r]);
        hi = std::max(hi, b.row_level[r]);
    }
    EXPECT_LT(hi / lo, 1.6f);

    // The same noise gives the same bank whatever the number of threads.
    NoiseBank one, three;
    random_seed(7);
    ASSERT_TRUE(build_noise_bank(one, 24, 100.0f, 3000.0f, 2.0f, 8000, 1));
    random_seed(7);
    ASSERT_TRUE(build_noise_bank(three, 24, 100.0f, 3000.0f, 2.0f, 8000, 3));
    EXPECT_EQ(0, memcmp(one.samples.get(), three.samples.get(), sizeof(float) * one.length * one.rows));
    EXPECT_EQ(one.row_level, three.row_level);
}

TEST(LiveLevel, LoudestColumnAndDivisor)
{
    const NoiseBank& b = small_bank();
    Copy copy(30, 24, 0.0f);
    for (int y = 0; y < 24; y++) {
        copy.columns[7][y] = 0.5f;   // sum of squares 6
        copy.columns[20][y] = 0.5f;  // a tie: the first one counts
        copy.columns[12][y] = y == 3 ? 2.0f : 0.0f;  // 4
    }
    copy.columns[20][5] = 0.5f;
    EXPECT_EQ(loudest_column(copy.columns, 30, 24), 7);
    double sum = 0;
    for (int r = 0; r < 24; r++)
        sum += std::pow((double)b.row_level[r] * 0.5, 2);
    EXPECT_NEAR(live_level_divisor(b, copy.columns[7]), 3 * std::sqrt(3.0) * std::sqrt(sum), 1e-6);

    // Through the playback state: the estimate reads the picture under its lock; a silent
    // picture keeps the divisor.
    PlaybackState s;
    playback_init(s, 8000, 100.0f, 3000.0f, 10.0f, copy.live(), 1);
    s.bank = std::make_unique<NoiseBank>();
    random_seed(42);
    ASSERT_TRUE(build_noise_bank(*s.bank, 24, 100.0f, 3000.0f, 2.0f, 8000, 2));
    start_level_estimate(s);
    synthesis_stop_workers(s);  // joins the estimate
    EXPECT_NEAR(s.level_divisor, 3 * std::sqrt(3.0) * std::sqrt(sum), 1e-6);
    Copy silent(30, 24, 0.0f);
    s.picture = silent.live();
    live_level_estimate(s);
    EXPECT_NEAR(s.level_divisor, 3 * std::sqrt(3.0) * std::sqrt(sum), 1e-6);
}

TEST(LiveRender, SumsTheRowsBandsWeightedByTheKernelAndWrapsTheBank)
{
    const NoiseBank& b = small_bank();
    Copy copy(40, 24, 0.0f);
    const int row = 9;
    for (int x = 0; x < 40; x++)
        copy.columns[x][row] = 1.0f;
    LiveVoice v;
    v.position = 10.0;
    v.bank_position = b.length - 5;
    std::atomic<float> D{2.0f};
    std::vector<float> out(200);
    LiveStop stop;
    ASSERT_EQ(live_render(v, b, copy.view(), moving(0.001), D, out.data(), 200, &stop), 200);
    EXPECT_EQ(stop, live_running);
    for (int i = 0; i < 200; i++) {
        // Three taps one column apart sum to 1.50003 wherever the cursor sits.
        float expected = 1.50003f * bank_value(b, (long long)b.length - 5 + i, row) / 2.0f;
        ASSERT_NEAR(out[i], expected, 2e-4f * std::fabs(b.row_level[row])) << i;
    }
    EXPECT_EQ(v.bank_position, 195);
    EXPECT_NEAR(v.position, 10.2, 1e-9);
    EXPECT_EQ(D, 2.0f);

    // Level protection: a sample ten times over the divisor raises it to 4/3 of the sample.
    std::atomic<float> tiny{1e-6f};
    float first;
    ASSERT_EQ(live_render(v, b, copy.view(), moving(0.001), tiny, &first, 1, &stop), 1);
    EXPECT_NEAR(std::fabs(first), 0.75f, 1e-5f);
    EXPECT_GT(tiny, 1e-6f);

    // A bank for another height is not played.
    Copy other(40, 12, 1.0f);
    EXPECT_EQ(live_render(v, b, other.view(), moving(0.001), D, out.data(), 10, &stop), 0);
}

TEST(LiveRender, EndsStopOrWrapAndColumnsPastThePictureAreSilent)
{
    const NoiseBank& b = small_bank();
    Copy copy(40, 24, 1.0f);
    for (int y = 0; y < 24; y++)
        copy.columns[0][y] = 0.25f;
    std::atomic<float> D{1.0f};
    std::vector<float> out(1000);
    LiveStop stop;

    // Without looping the cursor stops past the last column: positions return to 0. On the way
    // the column past the end reads 0.
    LiveVoice v;
    v.position = 38.5;
    int n = live_render(v, b, copy.view(), moving(0.011), D, out.data(), 1000, &stop);
    EXPECT_EQ(n, 45);
    EXPECT_EQ(stop, live_stopped);
    EXPECT_EQ(v.position, 0.0);
    EXPECT_EQ(v.cache_column, 38);
    EXPECT_EQ(v.cache[2 * 24], 0.0f);
    EXPECT_EQ(v.cache[1 * 24], 1.0f);

    // Looping: the last column is followed by column 0, and the column past the end is column 0.
    LiveMotion loop = moving(0.02);
    loop.loop_playback = true;
    LiveVoice w;
    w.position = 38.95;
    ASSERT_EQ(live_render(w, b, copy.view(), loop, D, out.data(), 2, &stop), 2);
    EXPECT_EQ(w.cache[2 * 24], 0.25f);
    ASSERT_EQ(live_render(w, b, copy.view(), loop, D, out.data(), 2, &stop), 2);
    EXPECT_NEAR(w.position, 0.02, 1e-12);
    // Pause After Current Loop stops at the loop point, keeping the position.
    loop.pause_after_loop = true;
    w.position = 38.99;
    EXPECT_EQ(live_render(w, b, copy.view(), loop, D, out.data(), 10, &stop), 0);
    EXPECT_EQ(stop, live_paused);
    EXPECT_EQ(w.position, 0.0);
}

TEST(LiveRender, ReverseAndBounce)
{
    const NoiseBank& b = small_bank();
    Copy copy(40, 24, 1.0f);
    std::atomic<float> D{1.0f};
    std::vector<float> out(1000);
    LiveStop stop;

    // Reverse: back by one step a sample; without looping it stops before column 0.
    LiveMotion back = moving(0.01);
    back.reverse_key = true;
    LiveVoice v;
    v.position = 0.505;
    EXPECT_EQ(live_render(v, b, copy.view(), back, D, out.data(), 10, &stop), 10);
    EXPECT_NEAR(v.position, 0.405, 1e-9);
    EXPECT_EQ(live_render(v, b, copy.view(), back, D, out.data(), 1000, &stop), 40);
    EXPECT_EQ(stop, live_stopped);
    // With Loop Playback it continues from the end.
    back.loop_playback = true;
    v.position = 0.015;
    EXPECT_EQ(live_render(v, b, copy.view(), back, D, out.data(), 3, &stop), 3);
    EXPECT_NEAR(v.position, 40.0 - 0.02 - 0.01, 1e-9);
    EXPECT_EQ(live_render(v, b, copy.view(), back, D, out.data(), 100, &stop), 100);
    EXPECT_NEAR(v.position, 40.0 - 0.03 - 1.0, 1e-9);

    // Loop key and reverse: forward to the last column, back to 0, forward again.
    LiveMotion bounce = moving(0.25);
    bounce.loop_key = true;
    bounce.reverse_key = true;
    LiveVoice w;
    w.position = 38.5;
    std::vector<double> path;
    for (int i = 0; i < 170; i++) {
        ASSERT_EQ(live_render(w, b, copy.view(), bounce, D, out.data(), 1, &stop), 1);
        path.push_back(w.position);
    }
    EXPECT_EQ(path[0], 38.75);
    EXPECT_EQ(path[1], 39.0);
    EXPECT_EQ(path[2], 38.75);  // past the end: turned, and moved back by a step net
    EXPECT_EQ(path[3], 38.5);
    EXPECT_EQ(path[156], 0.25);
    EXPECT_EQ(path[157], 0.0);  // at the start: turned forward again
    EXPECT_EQ(path[158], 0.25);
    EXPECT_EQ(path[159], 0.5);
}

// ---------------------------------------------------------------- through the player

namespace {

struct LivePlayer {
    Copy copy;
    PlaybackState s;
    LivePlayer(int sample_rate, float R, int width) : copy(width, 4, 1.0f)
    {
        playback_init(s, sample_rate, 100.0f, 3000.0f, R, copy.live(), 1);
        s.controls.live_synthesis = true;
        s.bank = std::make_unique<NoiseBank>();
        EXPECT_TRUE(build_noise_bank(*s.bank, 4, 100.0f, 3000.0f, 2.0f, sample_rate, 2));
        s.level_divisor = 1.0f;
    }
    void fill(int frames)
    {
        std::vector<float> stereo(2 * (size_t)frames);
        fill_output(s, frames, stereo.data());
    }
};

}  // namespace

TEST(LivePlayer, ScrubTargetIsReachedOverOneCursorStep)
{
    // 20 cursor steps a second at 44.1 kHz: a glide of 2205 samples.
    LivePlayer p(44100, 100.0f, 200);
    playback_start(p.s);
    p.s.voice.position = 10.0;
    p.s.controls.scrubbing = true;
    p.s.controls.scrub_target = 50.0;
    p.fill(2204);
    EXPECT_LT(p.s.live_position, 50.0);
    EXPECT_GT(p.s.live_position, 49.9);
    p.fill(1);
    EXPECT_EQ(p.s.live_position, 50.0);
    // The cursor rests there until the next target, however long the glide takes.
    p.fill(1000);
    EXPECT_EQ(p.s.live_position, 50.0);
    p.s.controls.scrub_target = 60.0;
    p.fill(1205);
    EXPECT_EQ(p.s.live_position, 50.0);  // the glide toward 60 starts at the next step
    p.fill(2205);
    EXPECT_EQ(p.s.live_position, 60.0);
    EXPECT_EQ(p.s.play_position, 26460);  // round(44100 * 60 / 100)
    EXPECT_EQ(p.s.output_length, 88200);
    // Released, the cursor moves on at R / sr from where it is.
    p.s.controls.scrubbing = false;
    p.fill(441);
    EXPECT_NEAR(p.s.live_position, 61.0, 1e-9);
}

TEST(LivePlayer, JumpsWhileStoppedAndStopsAtTheEnd)
{
    LivePlayer p(8000, 10.0f, 30);
    // Stopped: silence, but a click moves the cursor for the next start.
    p.s.controls.jump_target = 28.5;
    p.s.controls.jump_requested = true;
    std::vector<float> stereo(200, 1.0f);
    fill_output(p.s, 100, stereo.data());
    for (float v : stereo)
        ASSERT_EQ(v, 0.0f);
    EXPECT_EQ(p.s.live_position, 28.5);
    EXPECT_EQ(p.s.play_position, 22800);
    EXPECT_FALSE(p.s.controls.jump_requested);

    // Playing on to the end without looping: stop, button off, both positions back to 0; the
    // rest of the callback stays silent.
    playback_start(p.s);
    std::vector<float> out(2 * 600);
    fill_output(p.s, 600, out.data());  // 0.5 columns / 10 px/s at 8 kHz = 400 samples
    EXPECT_EQ(p.s.play_state, play_stopped);
    EXPECT_FALSE(p.s.play_button);
    EXPECT_EQ(p.s.live_position, 0.0);
    EXPECT_EQ(p.s.play_position, 0);
    EXPECT_NE(out[2 * 390], 0.0f);
    EXPECT_EQ(out[2 * 390], out[2 * 390 + 1]);
    for (int f = 400; f < 600; f++)
        ASSERT_EQ(out[2 * f], 0.0f) << f;
}

TEST(LivePlayer, GoesOnWithItsColumnsWhileThePictureIsBeingRewritten)
{
    LivePlayer p(8000, 10.0f, 30);
    playback_start(p.s);
    p.s.voice.position = 5.0;
    p.fill(100);
    const double before = p.s.live_position;
    {
        // A composite holds the picture: the player neither waits nor falls silent.
        std::lock_guard<std::mutex> lock(p.copy.lock);
        std::vector<float> stereo(2 * 100);
        fill_output(p.s, 100, stereo.data());
        EXPECT_GT(p.s.live_position, before);
        EXPECT_NE(stereo[2 * 50], 0.0f);
        for (int y = 0; y < 4; y++)
            p.copy.columns[5][y] = 0.0f;
        p.copy.updated = true;
    }
    // Afterwards the rewritten columns are read again.
    std::vector<float> stereo(2 * 100);
    fill_output(p.s, 100, stereo.data());
    EXPECT_FALSE(p.copy.updated);
    EXPECT_EQ(p.s.voice.cache[1 * 4], 0.0f);
}

TEST(LivePlayer, RunsAlongsideWorkersOfAnotherThreadWithoutRaces)
{
    // The audio thread fills while the main thread changes controls and the estimate runs.
    LivePlayer p(8000, 10.0f, 30);
    playback_start(p.s);
    p.s.controls.loop_playback = true;
    std::atomic<bool> done{false};
    std::thread audio([&] {
        std::vector<float> stereo(2 * 256);
        while (!done)
            fill_output(p.s, 256, stereo.data());
    });
    for (int i = 0; i < 200; i++) {
        p.s.controls.volume = 0.5f + 0.001f * i;
        p.s.controls.scrubbing = i % 20 < 10;
        p.s.controls.scrub_target = (double)(i % 30);
        if (i % 50 == 0) {
            std::lock_guard<std::mutex> lock(p.copy.lock);
            p.copy.columns[3][1] = 0.1f * i;
            p.copy.updated = true;
        }
        if (i % 40 == 0)
            start_level_estimate(p.s);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    done = true;
    audio.join();
    synthesis_stop_workers(p.s);
    EXPECT_EQ(p.s.play_state, play_playing);
}
