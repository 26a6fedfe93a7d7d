#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/noise.h"
#include "engine/playback.h"
#include "engine/synthesis_workers.h"
#include "project/project_synthesis.h"

namespace {

// ---------------------------------------------------------------- the block player

// A player over n rendered samples whose values are 1, 2, ..., n, so that the value heard
// names the sample played (0 is silence).
struct Player {
    PlaybackState s;
    explicit Player(long long n, long long position = 0)
    {
        playback_init(s, 44100, 27.5f, 20000.0f, 100.0f, LivePicture(), 1);
        output_resize(s.output, n);
        std::vector<float> v((size_t)n);
        for (long long t = 0; t < n; t++)
            v[t] = (float)(t + 1);
        output_write(s.output, 0, v.data(), n);
        s.output_length = n;
        s.gain = 1.0f;
        s.play_position = position;
        playback_start(s);
    }
    // The samples one callback of `frames` frames plays, -1 for silence.
    std::vector<long long> fill(int frames)
    {
        std::vector<float> stereo(2 * frames, 99.0f);
        fill_output(s, frames, stereo.data());
        std::vector<long long> heard;
        for (int f = 0; f < frames; f++) {
            EXPECT_EQ(stereo[2 * f], stereo[2 * f + 1]);
            heard.push_back((long long)std::lround(stereo[2 * f]) - 1);
        }
        return heard;
    }
};

using Seq = std::vector<long long>;

}  // namespace

TEST(BlockPlayer, PlaysToTheEndThenStopsAndSwitchesThePlayButtonOff)
{
    Player p(10);
    p.s.gain = 4.0f;
    p.s.controls.volume = 0.25f;  // G * sample * volume
    EXPECT_EQ(p.fill(6), (Seq{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(p.fill(6), (Seq{6, 7, 8, 9, -1, -1}));
    EXPECT_EQ(p.s.play_state, play_playing);  // the end is noticed by the next callback
    EXPECT_EQ(p.fill(3), (Seq{-1, -1, -1}));
    EXPECT_EQ(p.s.play_state, play_stopped);
    EXPECT_FALSE(p.s.play_button);
    EXPECT_EQ(p.s.play_position, 0);

    // Stopped or waiting: silence, position kept; a position outside the output returns to 0.
    Player q(10, 4);
    q.s.play_state = play_waiting;
    EXPECT_EQ(q.fill(2), (Seq{-1, -1}));
    EXPECT_EQ(q.s.play_position, 4);
    q.s.play_position = -7;
    q.s.play_state = play_playing;
    EXPECT_EQ(q.fill(2), (Seq{0, 1}));
}

TEST(BlockPlayer, LoopingFollowsTheLastSampleWithTheFirst)
{
    Player p(10, 7);
    p.s.controls.loop_playback = true;
    EXPECT_EQ(p.fill(6), (Seq{7, 8, 9, 0, 1, 2}));

    Player k(10, 8);
    k.s.controls.loop_key = true;  // the held key loops the same way
    EXPECT_EQ(k.fill(4), (Seq{8, 9, 0, 1}));

    // Pause After Current Loop: the loop point stops playback at the first sample.
    Player q(10, 8);
    q.s.controls.loop_playback = true;
    q.s.controls.pause_after_loop = true;
    EXPECT_EQ(q.fill(5), (Seq{8, 9, -1, -1, -1}));
    EXPECT_EQ(q.s.play_state, play_stopped);
    EXPECT_FALSE(q.s.play_button);
    EXPECT_EQ(q.s.play_position, 0);
}

TEST(BlockPlayer, ReverseRunsDownToTheStartAndStaysThereUnlessLooping)
{
    Player p(10, 3);
    p.s.controls.reverse_key = true;
    EXPECT_EQ(p.fill(6), (Seq{3, 2, 1, 0, -1, -1}));
    // Each later callback finds the position before the start, returns it to 0 and plays
    // that one sample: nearly silence, and playback does not stop.
    EXPECT_EQ(p.fill(3), (Seq{0, -1, -1}));
    EXPECT_EQ(p.s.play_state, play_playing);

    Player q(10, 2);
    q.s.controls.reverse_key = true;
    q.s.controls.loop_playback = true;
    EXPECT_EQ(q.fill(6), (Seq{2, 1, 0, 9, 8, 7}));
}

TEST(BlockPlayer, LoopKeyWithReverseBouncesBetweenTheEnds)
{
    Player p(10, 7);
    p.s.controls.loop_key = true;
    p.s.controls.reverse_key = true;
    EXPECT_EQ(p.fill(16), (Seq{7, 8, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4}));
    EXPECT_EQ(p.s.play_state, play_playing);
    // Releasing the keys plays forward again from where it is.
    p.s.controls.loop_key = false;
    p.s.controls.reverse_key = false;
    EXPECT_EQ(p.fill(2), (Seq{5, 6}));
}

// ---------------------------------------------------------------- restarts and workers

namespace {

// A small project that renders quickly: 8 kHz, 10 columns a second, so that blocks are 40
// columns wide and a 200-column picture has 10 of them.
struct Session {
    Project p;
    PlaybackState s;
    std::mutex order_lock;
    std::vector<int> order;

    explicit Session(int workers = 1, int width = 200, int height = 24, float value = 0.5f)
    {
        p.sample_rate = 8000;
        p.fmin = p.analysis_fmin = 100.0f;
        p.fmax = p.analysis_fmax = 3000.0f;
        p.time_resolution = p.analysis_time_resolution = 10.0f;
        p.width = p.composite_width = width;
        p.height = p.composite_height = height;
        p.composite = image_alloc(height, width);
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++)
                p.composite[y][x] = value * (float)((x + 3 * y) % 7 + 1) / 7.0f;
        project_playback_init(s, p, workers);
        s.courtesy_sleeps = false;
        s.hook_context = this;
        s.block_finished = [](void* self, int block) {
            Session& session = *(Session*)self;
            std::lock_guard<std::mutex> lock(session.order_lock);
            session.order.push_back(block);
        };
    }
    ~Session() { synthesis_shutdown(s); }

    bool update(int content_changed = content_pixels)
    {
        p.content_changed = content_changed;
        return project_synthesis_update(s, p, project_knobs(p));
    }
    int count(int status)
    {
        std::lock_guard<std::mutex> lock(s.block_status_lock);
        int n = 0;
        for (int v : s.block_status)
            n += v == status;
        return n;
    }
    // Waits until every block is done, then joins the workers (which then have nothing left
    // to do); false after 30 s.
    bool wait_done()
    {
        for (int i = 0; i < 30000; i++) {
            if (count(block_done) == (int)s.block_status.size()) {
                synthesis_stop_workers(s);
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
    std::vector<float> output()
    {
        std::vector<float> v((size_t)s.output_length.load());
        std::lock_guard<std::mutex> lock(s.playback_lock);
        output_read(s.output, 0, v.data(), (long long)v.size());
        return v;
    }
};

}  // namespace

TEST(SynthesisWorkers, RenderFromTheVisibleBlockOnwardsAndMatchTheWholeRendering)
{
    Session w(1);
    w.s.controls.first_visible_column = 100;  // block trunc(2 * 100 / 40 - 0.5) = 4
    random_seed(1234);
    ASSERT_TRUE(w.update());
    ASSERT_TRUE(w.wait_done());
    EXPECT_EQ(w.s.geometry.block_width, 40);
    EXPECT_EQ(w.s.geometry.block_count, 10);
    EXPECT_EQ(w.order, (std::vector<int>{4, 5, 6, 7, 8, 9, 0, 1, 2, 3}));
    EXPECT_FALSE(w.s.controls.live_synthesis);
    for (int i = 0; i < w.s.worker_count; i++)
        EXPECT_EQ(w.s.worker_block[i], -1);

    // The same carriers rendered in one go give the same samples and the same gain.
    random_seed(1234);
    NoiseCarriers carriers;
    ASSERT_TRUE(build_noise_carriers(carriers, w.s.geometry, 100.0f, 3000.0f, 2.0f));
    OutputBuffer reference;
    float gain = 0.0f;
    render_noise_output(carriers, w.p.composite, reference, &gain, 1);
    std::vector<float> expected((size_t)w.s.geometry.output_length);
    output_read(reference, 0, expected.data(), (long long)expected.size());
    EXPECT_EQ(w.output(), expected);
    EXPECT_EQ(w.s.gain, gain);
    EXPECT_GT(gain, 0.0f);

    // A view past the last block starts from block 0's neighbours modulo the count.
    Session v(1);
    v.s.controls.first_visible_column = 500;  // trunc(24.5) = 24 -> block 4
    ASSERT_TRUE(v.update());
    ASSERT_TRUE(v.wait_done());
    EXPECT_EQ(v.order.front(), 4);
}

TEST(SynthesisWorkers, SeveralWorkersRenderEveryBlockOnceAndSilenceKeepsTheGain)
{
    Session w(3);
    random_seed(99);
    ASSERT_TRUE(w.update());
    ASSERT_TRUE(w.wait_done());
    std::vector<int> order = w.order;
    std::sort(order.begin(), order.end());
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));

    // An all-zero picture gives silence and keeps the previous gain.
    Session z(2, 200, 24, 0.0f);
    z.s.gain = 0.75f;
    ASSERT_TRUE(z.update());
    ASSERT_TRUE(z.wait_done());
    for (float v : z.output())
        ASSERT_EQ(v, 0.0f);
    EXPECT_EQ(z.s.gain, 0.75f);
}

TEST(SynthesisWorkers, EditWhilePlayingPausesAndRestartsFromTheFirstSample)
{
    Session w(1);
    ASSERT_TRUE(w.update());
    ASSERT_TRUE(w.wait_done());
    playback_start(w.s);
    playback_seek(w.s, 5000);
    std::vector<float> stereo(64);
    fill_output(w.s, 32, stereo.data());
    EXPECT_EQ(w.s.play_position, 5032);

    // The restart pauses playing while it clears and plans, and resumes at sample 0.
    w.p.composite[3][150] = 2.0f;
    ASSERT_TRUE(w.update());
    EXPECT_EQ(w.s.play_state, play_playing);
    EXPECT_EQ(w.s.play_position, 0);
    EXPECT_EQ(w.p.content_changed, 0);
    ASSERT_TRUE(w.wait_done());

    // A stopped player stays stopped, at the first sample.
    playback_stop(w.s);
    playback_seek(w.s, 777);
    ASSERT_TRUE(w.update());
    EXPECT_EQ(w.s.play_state, play_stopped);
    EXPECT_EQ(w.s.play_position, 0);
    // Nothing changed: no restart.
    EXPECT_FALSE(w.update(0));
}

TEST(SynthesisWorkers, LiveModeEditsKeepTheCursor)
{
    Session w(1);
    w.p.live_synthesis = true;
    ASSERT_TRUE(w.update());
    EXPECT_TRUE(w.s.controls.live_synthesis);
    EXPECT_EQ(w.s.mode, synthesis_live);
    EXPECT_TRUE(w.s.workers.empty());
    EXPECT_EQ(output_capacity(w.s.output), 0);
    playback_start(w.s);
    w.s.live_position = 12.5;
    ASSERT_TRUE(w.update());
    EXPECT_EQ(w.s.live_position, 12.5);
    EXPECT_EQ(w.s.play_state, play_playing);
    wait_for_noise_bank(w.s);
    ASSERT_TRUE(w.s.bank);
    EXPECT_EQ(w.s.bank->rows, 24);
}

TEST(SynthesisWorkers, DraggedKnobRestartsOnlyWhenReleased)
{
    Session w(1);
    ASSERT_TRUE(w.update());
    ASSERT_TRUE(w.wait_done());
    SynthesisKnobs knobs = project_knobs(w.p);
    knobs.time_resolution = 20.0f;
    knobs.dragging = true;
    w.p.content_changed = 0;
    EXPECT_FALSE(project_synthesis_update(w.s, w.p, knobs));
    EXPECT_EQ(w.s.time_resolution, 10.0f);
    EXPECT_EQ(w.s.geometry.block_width, 40);
    knobs.fmin = 200.0f;
    EXPECT_FALSE(project_synthesis_update(w.s, w.p, knobs));
    EXPECT_EQ(w.s.fmin, 100.0f);

    knobs.dragging = false;
    EXPECT_TRUE(project_synthesis_update(w.s, w.p, knobs));
    EXPECT_EQ(w.s.time_resolution, 20.0f);
    EXPECT_EQ(w.s.fmin, 200.0f);
    EXPECT_EQ(w.s.geometry.block_width, 80);
    EXPECT_EQ(w.s.geometry.output_length, 200 * 8000 / 20);
    EXPECT_EQ(w.s.carriers.bands.geometry.block_width, 80);  // carriers follow the new blocks
    ASSERT_TRUE(w.wait_done());
    EXPECT_FALSE(project_synthesis_update(w.s, w.p, knobs));
}

TEST(SynthesisWorkers, StoppingLeavesNoBlockHalfDoneAndSuspendHoldsTheWorkers)
{
    Session w(2, 400, 40);
    w.s.courtesy_sleeps = true;  // slow enough to be caught mid-block, mostly
    ASSERT_TRUE(w.update());
    for (int i = 0; i < 5000 && w.count(block_done) == 0; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    synthesis_stop_workers(w.s);
    // Whatever the workers were doing, every block is either done or pending again.
    EXPECT_EQ(w.count(block_rendering), 0);
    EXPECT_EQ(w.count(block_done) + w.count(block_pending), 20);
    EXPECT_FALSE(w.s.abort);
    EXPECT_TRUE(w.s.workers.empty());

    // Suspended workers render nothing until released.
    w.s.courtesy_sleeps = false;
    w.s.controls.suspend = true;
    ASSERT_TRUE(w.update(2));  // mark 2: the rendered sound is kept, every block planned again
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(w.count(block_done), 0);
    EXPECT_EQ(w.count(block_rendering), 0);
    w.s.controls.suspend = false;
    ASSERT_TRUE(w.wait_done());
}

TEST(SynthesisWorkers, WorkersWaitForTheRecompositeAnEditAsked)
{
    Session w(1);
    w.p.recomposite_needed = true;
    ASSERT_TRUE(w.update());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(w.count(block_done), 0);
    {
        std::lock_guard<std::mutex> lock(w.p.image_lock);
        w.p.recomposite_needed = false;
    }
    ASSERT_TRUE(w.wait_done());
}

TEST(SynthesisWorkers, LosslessModeRendersTheOriginalAndFallsBackOnAnotherSize)
{
    Session w(2);
    // The original picture is the composite itself (every gain 1) and the sound a mix of tones.
    const int n = 200 * 8000 / 10;
    std::vector<float> sound((size_t)n);
    for (int t = 0; t < n; t++)
        sound[t] = 0.3f * std::sin(0.05f * t) + 0.2f * std::sin(0.31f * t);
    update_block_width(w.p);
    ASSERT_TRUE(set_original_sound(w.p, sound, n));
    w.p.original_image = image_copy(w.p.composite, w.p.height, w.p.width);
    w.p.original_image_width = w.p.width;
    w.p.original_image_height = w.p.height;
    w.p.lossless = true;
    SynthesisMessage message;
    w.p.content_changed = content_pixels;
    ASSERT_TRUE(project_synthesis_update(w.s, w.p, project_knobs(w.p), &message));
    EXPECT_EQ(message.title, nullptr);
    EXPECT_EQ(w.s.mode, synthesis_lossless);
    ASSERT_TRUE(w.wait_done());

    LosslessSetup setup;
    ASSERT_TRUE(build_lossless_setup(setup, w.s.geometry, 100.0f, 3000.0f, 2.0f));
    OutputBuffer reference;
    float gain = 0.0f;
    render_lossless_output(setup, w.p.composite, w.p.original_image, w.p.original_sound.data(),
                           (long long)w.p.original_sound.size(), reference, &gain, 1);
    std::vector<float> expected((size_t)n);
    output_read(reference, 0, expected.data(), n);
    EXPECT_EQ(w.output(), expected);
    EXPECT_EQ(w.s.gain, gain);

    // A picture of another size turns lossless mode off, with the message the interface shows,
    // and noise synthesis takes over.
    w.p.original_image_width = w.p.width - 1;
    w.p.content_changed = content_pixels;
    ASSERT_TRUE(project_synthesis_update(w.s, w.p, project_knobs(w.p), &message));
    EXPECT_STREQ(message.title, "Lossless mode error: different image sizes");
    EXPECT_FALSE(w.p.lossless);
    EXPECT_EQ(w.s.mode, synthesis_noise);
    ASSERT_TRUE(w.wait_done());
    w.p.original_image_width = w.p.width;
}

TEST(SynthesisWorkers, SwitchingLiveSynthesisCarriesTheCursorOver)
{
    Session w(1);
    ASSERT_TRUE(w.update());
    project_live_synthesis(w.s, w.p, true, project_knobs(w.p));
    EXPECT_TRUE(w.p.live_synthesis);
    EXPECT_TRUE(w.p.recomposite_needed);
    EXPECT_TRUE(w.s.workers.empty());
    EXPECT_EQ(output_capacity(w.s.output), 0);
    wait_for_noise_bank(w.s);
    ASSERT_TRUE(w.s.bank);
    w.p.recomposite_needed = false;

    w.s.live_position = 50.0;  // 5 s at 10 columns a second
    project_live_synthesis(w.s, w.p, false, project_knobs(w.p));
    EXPECT_FALSE(w.s.bank);
    EXPECT_EQ(w.s.play_position, 40000);
    EXPECT_EQ(w.s.mode, synthesis_noise);
    EXPECT_GE(output_capacity(w.s.output), w.s.output_length);
    ASSERT_TRUE(w.wait_done());
    EXPECT_FALSE(w.update(0));  // the switch restarted already
}
