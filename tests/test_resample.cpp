#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "media/resample.h"
#include "media/sound_read.h"

namespace {

std::vector<float> sine(double freq, int rate, size_t count, double amplitude = 0.5)
{
    std::vector<float> v(count);
    for (size_t i = 0; i < count; i++)
        v[i] = (float)(amplitude * std::sin(2 * M_PI * freq * (double)i / rate));
    return v;
}

// Largest difference from a sine of `freq` Hz at `rate`, over the middle of the sound where
// the wrap-around of the padded transform does not reach.
double sine_error(const std::vector<float>& v, double freq, int rate, double amplitude, size_t margin)
{
    double worst = 0;
    for (size_t i = margin; i + margin < v.size(); i++)
        worst = std::fmax(worst, std::fabs(v[i] - amplitude * std::sin(2 * M_PI * freq * (double)i / rate)));
    return worst;
}

}  // namespace

TEST(Resample, OneSecondAt48kHzGivesExactly44100Samples)
{
    std::vector<float> r = resample_sound(std::vector<float>(48000, 0.25f), 48000, 44100);
    ASSERT_EQ(r.size(), 44100u);
    // A constant stays constant, scaled by the orthonormal transforms' gain sqrt(r1 / r2).
    EXPECT_NEAR(r[0], 0.25f * std::sqrt(48000.0f / 44100.0f), 1e-5f);
    EXPECT_NEAR(r[30000], 0.25f * std::sqrt(48000.0f / 44100.0f), 1e-5f);
}

TEST(Resample, ShortSoundsArePaddedAndTrimmed)
{
    // round(c × r2 / r1) samples from a sound shorter than one second.
    EXPECT_EQ(resample_sound(std::vector<float>(1000, 0.1f), 48000, 44100).size(), 919u);   // 918.75
    EXPECT_EQ(resample_sound(std::vector<float>(1001, 0.1f), 22050, 44100).size(), 2002u);
    EXPECT_EQ(resample_sound(std::vector<float>(7, 0.1f), 44100, 8000).size(), 1u);        // 1.27
    EXPECT_EQ(resample_sound(std::vector<float>(1, 0.1f), 8000, 44100).size(), 6u);        // 5.5125
    // Past one second the padding reaches the next whole second.
    EXPECT_EQ(resample_sound(std::vector<float>(48001, 0.1f), 48000, 96000).size(), 96002u);
}

TEST(Resample, SineKeepsItsFrequency)
{
    struct Case {
        int r1, r2;
        double freq, seconds;
    };
    // Down, up, equal rates; odd transform lengths both ways (one second of 11,025 Hz).
    for (const Case& c : {Case{48000, 44100, 1000.0, 1.5}, Case{22050, 44100, 3000.0, 1.5},
                          Case{8000, 8000, 250.0, 1.5}, Case{11025, 44100, 500.0, 0.75},
                          Case{44100, 11025, 700.0, 0.75}, Case{11025, 11025, 300.0, 0.75}}) {
        const size_t n = (size_t)(c.r1 * c.seconds);
        std::vector<float> r = resample_sound(sine(c.freq, c.r1, n), c.r1, c.r2);
        ASSERT_EQ(r.size(), (size_t)std::nearbyint((double)n * c.r2 / c.r1)) << c.r1 << " -> " << c.r2;
        const double gain = std::sqrt((double)c.r1 / c.r2);
        EXPECT_LT(sine_error(r, c.freq, c.r2, 0.5 * gain, (size_t)c.r2 / 10), 2e-3 * gain)
            << c.r1 << " -> " << c.r2;
    }
}

TEST(Resample, DownsamplingRemovesWhatTheNewRateCannotHold)
{
    // 20 kHz at 48 kHz is above the Nyquist frequency of 22,050 Hz × 0.92 and is cut.
    std::vector<float> r = resample_sound(sine(20000.0, 48000, 48000), 48000, 22050);
    ASSERT_EQ(r.size(), 22050u);
    double peak = 0;
    for (float v : r)
        peak = std::fmax(peak, std::fabs(v));
    EXPECT_LT(peak, 1e-3);

    // 10,800 Hz lies in the tapered top of the new band: it keeps its frequency, weakened by
    // the taper's weight at its bin.
    std::vector<float> t = resample_sound(sine(10800.0, 48000, 48000), 48000, 22050);
    const double w = (std::cos((10800.0 / 22050 - 0.46) * 25.0000057) + 1) * 0.5;
    const double gain = std::sqrt(48000.0 / 22050.0);
    EXPECT_LT(sine_error(t, 10800.0, 22050, 0.5 * gain * w, 0), 1e-3);
}

TEST(Resample, RefusesWhatItCannotDo)
{
    testing::internal::CaptureStderr();
    EXPECT_TRUE(resample_sound({}, 48000, 44100).empty());
    EXPECT_TRUE(resample_sound(std::vector<float>(10, 1.0f), 0, 44100).empty());
    EXPECT_TRUE(resample_sound(std::vector<float>(10, 1.0f), 48000, -1).empty());
    EXPECT_TRUE(resample_sound(std::vector<float>(10, 1.0f), sound_rate_max + 1, 44100).empty());
    // One sample at 44.1 kHz is shorter than one sample at 8 kHz's half.
    EXPECT_TRUE(resample_sound(std::vector<float>(1, 1.0f), 44100, 8000).empty());
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 5) << log;
}
