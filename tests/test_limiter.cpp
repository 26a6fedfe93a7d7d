// The volume limiter as the audio callback drives it: buffer after buffer of interleaved
// frames, settings from the preferences file or from the limiter's controls.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "engine/limiter.h"
#include "support/prefs.h"
#include "testlib.h"

namespace {

const int sr = 44100;

// A store on a fresh file in a temporary folder.
struct TestPrefs {
    TempDir dir;
    PrefStore store;
    TestPrefs(const std::string& text = SONOGRAPHICA_PREF_TITLE "\n")
    {
        write_text_file(dir.file("config.txt"), text);
        pref_open(store, dir.file("config.txt"));
    }
    std::string file()
    {
        pref_wait(store);
        return read_text_file(dir.file("config.txt"));
    }
};

// A limiter at θ = 0.5 (-6.02 dB) with the default 2.3 s sustain and release.
void half_threshold(LimiterState& lim, PrefStore& store)
{
    lim.prefs = &store;
    limiter_set_threshold_db(lim, 20.0 * std::log10(0.5));
    ASSERT_NEAR(lim.threshold, 0.5, 1e-15);
}

// Runs a mono signal through the limiter in callbacks of `block` frames.
void run(std::vector<float>& x, LimiterState& lim, int block = 1024)
{
    for (size_t i = 0; i < x.size(); i += block)
        limit_volume(x.data() + i, 1, (int)std::min<size_t>(block, x.size() - i), sr, lim);
}

}  // namespace

TEST(Limiter, FirstCallReadsTheSettingsAndFillsInMissingOnes)
{
    TestPrefs prefs(SONOGRAPHICA_PREF_TITLE "\n\nAudio output\n\tVolume limiter: on\n"
                                             "\t\tThreshold: -12 dB\n\t\tRelease duration: 0 sec\n");
    LimiterState lim;
    lim.prefs = &prefs.store;
    float x[2] = {0.1f, -0.2f};
    limit_volume(x, 2, 1, sr, lim);
    EXPECT_TRUE(lim.initialised);
    EXPECT_NEAR(lim.threshold, std::pow(10.0, -0.6), 1e-15);
    EXPECT_EQ(lim.sustain, 2.3);
    // A release of 0 s would divide by zero: the shortest the control allows is used instead.
    EXPECT_EQ(lim.release, 0.1);
    std::string text = prefs.file();
    EXPECT_NE(text.find("\t\tThreshold: -12 dB\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\t\tSustain duration: 2.3 sec\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\t\tRelease duration: 0 sec\n"), std::string::npos) << text;
    // 0.1 and 0.2 are below θ ≈ 0.251 with nothing held: untouched.
    EXPECT_EQ(x[0], 0.1f);
    EXPECT_EQ(x[1], -0.2f);

    TestPrefs fresh;
    LimiterState def;
    def.prefs = &fresh.store;
    limit_volume(x, 2, 1, sr, def);
    EXPECT_TRUE(def.enabled);
    EXPECT_NEAR(def.threshold, 0.501187, 1e-6);
    std::string made = fresh.file();
    EXPECT_NE(made.find("Audio output\n\tVolume limiter: on\n\t\tThreshold: -6 dB\n"
                        "\t\tSustain duration: 2.3 sec\n\t\tRelease duration: 2.3 sec\n"),
              std::string::npos)
        << made;
}

TEST(Limiter, HoldThenRaisedCosineReleaseThenIdle)
{
    TestPrefs prefs;
    LimiterState lim;
    half_threshold(lim, prefs.store);

    // One full-scale sample, then a steady quiet tone for longer than S + Rl.
    const int n = (int)(5.0 * sr);
    std::vector<float> x(n);
    x[0] = 1.0f;
    for (int i = 1; i < n; i++)
        x[i] = (i % 2 ? 0.1f : -0.1f);
    std::vector<float> in = x;
    run(x, lim);

    EXPECT_FLOAT_EQ(x[0], 0.5f);
    // Held at θ/P = 0.5 for 2.3 s.
    const int hold_end = (int)(2.3 * sr);
    for (int i = 1; i < hold_end - 1; i++)
        ASSERT_FLOAT_EQ(x[i], in[i] * 0.5f) << i;
    // Released along a raised cosine: the gain rises, reaches 2θ/(P+θ) = 2/3 half-way, and 1.
    double last = 0.5;
    for (int i = hold_end + 1; i < (int)(4.6 * sr) - 1; i++) {
        double g = x[i] / in[i];
        ASSERT_GE(g, last - 1e-7) << i;
        ASSERT_LE(g, 1.0) << i;
        last = g;
    }
    int half = (int)(3.45 * sr), quarter = (int)(2.875 * sr);
    EXPECT_NEAR(x[half] / in[half], 2.0 / 3.0, 1e-4);
    // A quarter in, the cosine has fallen to (cos(π/4) + 1)/2, not to 3/4.
    EXPECT_NEAR(x[quarter] / in[quarter], 0.5 / (0.5 * (std::cos(M_PI / 4) + 1) / 2 + 0.5), 1e-4);
    // Idle again after S + Rl: P is 0 and the quiet tone passes bit for bit.
    EXPECT_EQ(lim.peak, 0.0);
    for (int i = (int)(4.61 * sr); i < n; i++)
        ASSERT_EQ(x[i], in[i]) << i;

    // The same signal in one buffer or in callbacks of 1 and 333 frames: the state carries over.
    for (int block : {1, 333, n}) {
        LimiterState again;
        half_threshold(again, prefs.store);
        std::vector<float> y = in;
        run(y, again, block);
        ASSERT_EQ(0, std::memcmp(y.data(), x.data(), n * sizeof(float))) << block;
    }
}

TEST(Limiter, QuietSamplesPassBitForBitAndDisabledTouchesNothing)
{
    TestPrefs prefs;
    LimiterState lim;
    half_threshold(lim, prefs.store);
    std::vector<float> x = {0.49f, -0.49f, 0.25f, 1e-40f, -0.0f, 0.4999999f, 0.0f, -3e-8f};
    std::vector<float> in = x;
    limit_volume(x.data(), 2, 4, sr, lim);
    EXPECT_EQ(0, std::memcmp(x.data(), in.data(), x.size() * sizeof(float)));
    EXPECT_EQ(lim.peak, 0.0);
    EXPECT_EQ(lim.time, 0.0);

    // Disabled: even full scale and a NaN go through untouched, and nothing is remembered.
    limiter_set_enabled(lim, 0);
    std::vector<float> loud = {2.0f, -1.0f, NAN, 0.9f};
    std::vector<float> loud_in = loud;
    limit_volume(loud.data(), 2, 2, sr, lim);
    EXPECT_EQ(0, std::memcmp(loud.data(), loud_in.data(), loud.size() * sizeof(float)));
    EXPECT_EQ(lim.peak, 0.0);

    // Enabled, a sample that is not a number is silenced and does not start an event.
    limiter_set_enabled(lim, 1);
    limit_volume(loud.data(), 2, 2, sr, lim);
    EXPECT_EQ(loud[2], 0.0f);
    EXPECT_EQ(lim.peak, 2.0);
}

TEST(Limiter, ChannelsOfAFrameShareThePeak)
{
    TestPrefs prefs;
    LimiterState lim;
    half_threshold(lim, prefs.store);
    // Left quiet, right loud: the left sample came first and passed; the right one raises P.
    float x[6] = {0.1f, 1.0f, 0.1f, -0.3f, 0.8f, 0.2f};
    limit_volume(x, 2, 3, sr, lim);
    EXPECT_EQ(x[0], 0.1f);
    EXPECT_FLOAT_EQ(x[1], 0.5f);
    EXPECT_FLOAT_EQ(x[2], 0.05f);
    EXPECT_FLOAT_EQ(x[3], -0.15f);
    EXPECT_FLOAT_EQ(x[4], 0.4f);
    EXPECT_FLOAT_EQ(x[5], 0.1f);
    EXPECT_EQ(lim.peak, 1.0);
    // t advanced once per frame after the peak: two frames.
    EXPECT_NEAR(lim.time, 2.0 / sr, 1e-15);

    // A louder sample later in a frame raises P for that channel only; the next frame
    // shares the new gain.
    float y[4] = {1.0f, 2.0f, 0.4f, 0.4f};
    limit_volume(y, 2, 2, sr, lim);
    EXPECT_FLOAT_EQ(y[0], 0.5f);
    EXPECT_FLOAT_EQ(y[1], 0.5f);
    EXPECT_FLOAT_EQ(y[2], 0.1f);
    EXPECT_FLOAT_EQ(y[3], 0.1f);
}

TEST(Limiter, LoudSignalDuringReleaseHoldsAgainAtTheReleasingLevel)
{
    TestPrefs prefs;
    LimiterState lim;
    half_threshold(lim, prefs.store);
    // Full scale, then silence into the middle of the release, where ℓ = (P + θ)/2 = 0.75.
    std::vector<float> x((size_t)(3.45 * sr), 0.0f);
    x[0] = 1.0f;
    run(x, lim);
    EXPECT_EQ(lim.peak, 1.0);
    // 0.4 is below θ, but 2·0.4 > 0.75: the hold restarts at ℓ.
    float y[1] = {0.4f};
    limit_volume(y, 1, 1, sr, lim);
    EXPECT_NEAR(lim.peak, 0.75, 1e-4);
    EXPECT_EQ(lim.time, 0.0);
    double P = lim.peak;
    EXPECT_FLOAT_EQ(y[0], (float)(0.4 * 0.5 / P));
    // Held at that gain for S, where a fresh release from P would have let it rise.
    std::vector<float> z((size_t)(2.2 * sr), 0.3f);
    run(z, lim);
    EXPECT_FLOAT_EQ(z.back(), (float)(0.3 * 0.5 / P));
    // 0.2 stays under half the releasing level: released, not held, and finally untouched.
    std::vector<float> w((size_t)(2.5 * sr), 0.2f);
    run(w, lim);
    EXPECT_EQ(lim.peak, 0.0);
    EXPECT_EQ(w.back(), 0.2f);
}

TEST(Limiter, ControlsApplyAtOnceAndStoreTheirPreference)
{
    TestPrefs prefs;
    LimiterState lim;
    lim.prefs = &prefs.store;
    // Moved before the first buffer: the first buffer's read of the file does not undo it.
    limiter_set_threshold_db(lim, -12);
    float x[1] = {0.5f};
    limit_volume(x, 1, 1, sr, lim);
    EXPECT_NEAR(x[0], 0.5 * std::pow(10.0, -0.6) / 0.5, 1e-7);
    EXPECT_EQ(prefs.file().find("Threshold: -12"), std::string::npos);

    // The knob released: the value is stored; out-of-range values are kept in range.
    limiter_store_setting(lim, prefs.store, limiter_threshold);
    limiter_set_sustain(lim, 0.01);
    limiter_set_release(lim, 50);
    limiter_store_setting(lim, prefs.store, limiter_sustain);
    limiter_store_setting(lim, prefs.store, limiter_release);
    limiter_set_enabled(lim, 0);
    limiter_store_setting(lim, prefs.store, limiter_enabled);
    std::string text = prefs.file();
    EXPECT_NE(text.find("\tVolume limiter: off\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\t\tThreshold: -12 dB\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\t\tSustain duration: 0.1 sec\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\t\tRelease duration: 10 sec\n"), std::string::npos) << text;

    // The next run starts from what was stored.
    LimiterState next;
    limiter_load_prefs(next, prefs.store);
    EXPECT_FALSE(next.enabled);
    EXPECT_EQ(next.threshold_db, -12.0);
    EXPECT_EQ(next.sustain, 0.1);
    EXPECT_EQ(next.release, 10.0);
}
