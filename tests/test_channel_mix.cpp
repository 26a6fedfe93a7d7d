// Two mono files into one stereo WAV: channels in place, the shorter padded, rates followed.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "media/channel_mix.h"
#include "media/sound_read.h"
#include "media/sound_write.h"
#include "testlib.h"

namespace {

std::vector<float> tone(size_t n, double step, float amplitude)
{
    std::vector<float> v(n);
    for (size_t i = 0; i < n; i++)
        v[i] = amplitude * (float)std::sin(step * (double)i);
    return v;
}

TEST(ChannelMix, LeftAndRightLandInTheirChannelsAndTheShorterIsPadded)
{
    TempDir dir;
    const std::vector<float> left = tone(3000, 0.05, 0.5f), right = tone(2000, 0.11, -0.25f);
    ASSERT_TRUE(save_sound_file(dir.file("l.wav"), left.data(), left.size(), 8000));
    ASSERT_TRUE(save_sound_file(dir.file("r.wav"), right.data(), right.size(), 8000));
    const std::string out = dir.file("stereo.wav");
    ASSERT_TRUE(mix_channel_files(dir.file("l.wav"), dir.file("r.wav"), out, 8000));
    Sound s = load_sound(out.c_str(), 3);  // both channels
    ASSERT_EQ(s.channels, 2);
    EXPECT_EQ(s.sample_rate, 8000);
    ASSERT_EQ(s.frames, 3000);
    for (size_t i = 0; i < 3000; i++) {
        ASSERT_EQ(s.samples[2 * i], left[i]) << i;
        ASSERT_EQ(s.samples[2 * i + 1], i < 2000 ? right[i] : 0.0f) << i;
    }
    // sox agrees: two channels of 3,000 samples.
    std::string channels, count;
    ASSERT_EQ(run_command("soxi -c '" + out + "'", &channels), 0);
    ASSERT_EQ(run_command("soxi -s '" + out + "'", &count), 0);
    EXPECT_EQ(std::stoi(channels), 2);
    EXPECT_EQ(std::stoi(count), 3000);
}

TEST(ChannelMix, FilesAtAnotherRateAreResampledAndFailuresKeepTheOldFile)
{
    TempDir dir;
    const std::vector<float> left = tone(4000, 0.01, 0.5f);
    ASSERT_TRUE(save_sound_file(dir.file("l.wav"), left.data(), left.size(), 16000));
    ASSERT_TRUE(save_sound_file(dir.file("r.wav"), left.data(), left.size(), 8000));
    const std::string out = dir.file("stereo.wav");
    ASSERT_TRUE(mix_channel_files(dir.file("l.wav"), dir.file("r.wav"), out, 8000));
    Sound s = load_sound(out.c_str(), 3);
    EXPECT_EQ(s.frames, 4000);  // the right file's 4,000 at 8 kHz; the left halves to 2,000
    // The left file at half the rate keeps its loudness.
    for (int i : {500, 1000, 1500})
        EXPECT_NEAR(s.samples[2 * i], left[2 * i], 0.02f) << i;
    EXPECT_EQ(s.samples[2 * 3000], 0.0f);
    const std::vector<unsigned char> before = read_binary_file(out);
    EXPECT_FALSE(mix_channel_files(dir.file("missing.wav"), dir.file("r.wav"), out, 8000));
    EXPECT_FALSE(mix_channel_files(dir.file("l.wav"), dir.file("missing.wav"), out, 8000));
    EXPECT_EQ(read_binary_file(out), before);
}

}  // namespace
