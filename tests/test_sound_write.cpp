#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "media/sound_read.h"
#include "media/sound_write.h"
#include "support/paths.h"
#include "testlib.h"

namespace {

uint32_t le32(const std::vector<unsigned char>& f, size_t at)
{
    return f[at] | f[at + 1] << 8 | f[at + 2] << 16 | (uint32_t)f[at + 3] << 24;
}
uint32_t be32(const std::vector<unsigned char>& f, size_t at)
{
    return (uint32_t)f[at] << 24 | f[at + 1] << 16 | f[at + 2] << 8 | f[at + 3];
}
uint16_t le16(const std::vector<unsigned char>& f, size_t at) { return (uint16_t)(f[at] | f[at + 1] << 8); }
uint16_t be16(const std::vector<unsigned char>& f, size_t at) { return (uint16_t)(f[at] << 8 | f[at + 1]); }
std::string text(const std::vector<unsigned char>& f, size_t at, size_t n) { return std::string(f.begin() + (long)at, f.begin() + (long)(at + n)); }

std::string quoted(const std::string& path)
{
    std::string q = "'";
    q += path;
    q += "'";
    return q;
}

int count_lines(const std::string& s) { return (int)std::count(s.begin(), s.end(), '\n'); }

const float samples[5] = {0.5f, -0.25f, 0.0f, 1e-3f, -0.75f};

// What sox says of a file: its header and its statistics, as text.
std::string sox_report(const std::string& path)
{
    std::string out;
    run_command("sox --i " + quoted(path) + " 2>&1", &out);
    run_command("sox " + quoted(path) + " -n stat 2>&1", &out);
    return out;
}

// The samples sox decodes. Its own conversions between floats and its internal integers
// keep about 24 bits, so they come back within a few 10^-8 of what was written.
void expect_sox_samples(const std::string& path, const std::string& raw, const float* want, size_t count)
{
    EXPECT_EQ(run_command("sox " + quoted(path) + " -t raw -e floating-point -b 32 -L " + quoted(raw) + " 2>&1"), 0);
    const auto bytes = read_binary_file(raw);
    ASSERT_EQ(bytes.size(), count * 4) << path;
    for (size_t i = 0; i < count; i++) {
        float v;
        memcpy(&v, &bytes[4 * i], 4);
        ASSERT_NEAR(v, want[i], 2e-7) << path << " sample " << i;
    }
}

} // namespace

TEST(SoundWrite, WavLayout)
{
    TempDir dir;
    const std::string path = dir.file("s.wav");
    ASSERT_TRUE(save_sound_file(path, samples, 5, 44100));
    const auto f = read_binary_file(path);
    ASSERT_EQ(f.size(), 58u + 20u);
    EXPECT_EQ(text(f, 0, 4), "RIFF");
    EXPECT_EQ(le32(f, 4), f.size() - 8);
    EXPECT_EQ(text(f, 8, 8), "WAVEfmt ");
    EXPECT_EQ(le32(f, 16), 18u);
    EXPECT_EQ(le16(f, 20), 3);          // IEEE float
    EXPECT_EQ(le16(f, 22), 1);          // mono
    EXPECT_EQ(le32(f, 24), 44100u);
    EXPECT_EQ(le32(f, 28), 44100u * 4);
    EXPECT_EQ(le16(f, 32), 4);
    EXPECT_EQ(le16(f, 34), 32);
    EXPECT_EQ(le16(f, 36), 0);
    EXPECT_EQ(text(f, 38, 4), "fact");
    EXPECT_EQ(le32(f, 42), 4u);
    EXPECT_EQ(le32(f, 46), 5u);
    EXPECT_EQ(text(f, 50, 4), "data");
    EXPECT_EQ(le32(f, 54), 20u);
    EXPECT_EQ(memcmp(f.data() + 58, samples, 20), 0);

    const std::string report = sox_report(path);
    EXPECT_NE(report.find("Channels       : 1"), std::string::npos) << report;
    EXPECT_NE(report.find("Sample Rate    : 44100"), std::string::npos) << report;
    EXPECT_NE(report.find("32-bit Floating Point PCM"), std::string::npos) << report;
    EXPECT_NE(report.find("Samples read:                 5"), std::string::npos) << report;
    EXPECT_NE(report.find("Maximum amplitude:     0.500000"), std::string::npos) << report;
    EXPECT_NE(report.find("Minimum amplitude:    -0.750000"), std::string::npos) << report;
    EXPECT_EQ(report.find("WARN"), std::string::npos) << report;
    expect_sox_samples(path, dir.file("s.raw"), samples, 5);
}

TEST(SoundWrite, AiffCLayout)
{
    TempDir dir;
    for (const char* name : {"s.aif", "s.AIFF", "s.aifc"}) {
        const std::string path = dir.file(name);
        ASSERT_TRUE(save_sound_file(path, samples, 5, 48000)) << name;
        const auto f = read_binary_file(path);
        ASSERT_EQ(f.size(), 92u + 20u);
        EXPECT_EQ(text(f, 0, 4), "FORM");
        EXPECT_EQ(be32(f, 4), f.size() - 8);
        EXPECT_EQ(text(f, 8, 8), "AIFCFVER");
        EXPECT_EQ(be32(f, 16), 4u);
        EXPECT_EQ(be32(f, 20), 0xA2805140u);
        EXPECT_EQ(text(f, 24, 4), "COMM");
        EXPECT_EQ(be32(f, 28), 44u);
        EXPECT_EQ(be16(f, 32), 1);       // channels
        EXPECT_EQ(be32(f, 34), 5u);      // frames
        EXPECT_EQ(be16(f, 38), 32);
        // 48000 as an 80-bit extended float: exponent 16383 + 15, mantissa 48000 << 48.
        const unsigned char rate[10] = {0x40, 0x0E, 0xBB, 0x80, 0, 0, 0, 0, 0, 0};
        EXPECT_EQ(memcmp(f.data() + 40, rate, 10), 0);
        EXPECT_EQ(text(f, 50, 4), "fl32");
        EXPECT_EQ(f[54], 21);
        EXPECT_EQ(text(f, 55, 21), "32-bit floating point");
        EXPECT_EQ(text(f, 76, 4), "SSND");
        EXPECT_EQ(be32(f, 80), 28u);
        EXPECT_EQ(be32(f, 84), 0u);
        EXPECT_EQ(be32(f, 88), 0u);
        for (int i = 0; i < 5; i++) {
            uint32_t bits;
            memcpy(&bits, &samples[i], 4);
            EXPECT_EQ(be32(f, 92 + 4 * (size_t)i), bits) << i;
        }

        const std::string report = sox_report(path);
        EXPECT_NE(report.find("Channels       : 1"), std::string::npos) << report;
        EXPECT_NE(report.find("Sample Rate    : 48000"), std::string::npos) << report;
        EXPECT_NE(report.find("Samples read:                 5"), std::string::npos) << report;
        EXPECT_NE(report.find("Minimum amplitude:    -0.750000"), std::string::npos) << report;
        EXPECT_EQ(report.find("WARN"), std::string::npos) << report;
        expect_sox_samples(path, dir.file("a.raw"), samples, 5);
    }
}

TEST(SoundWrite, LongerSoundAndOddRates)
{
    TempDir dir;
    // More samples than one write piece holds, at a rate that is no power-of-two multiple.
    std::vector<float> sine(100003);
    for (size_t i = 0; i < sine.size(); i++)
        sine[i] = 0.8f * std::sin((float)i * 0.01f);
    for (const char* name : {"l.wav", "l.aif"}) {
        const std::string path = dir.file(name);
        ASSERT_TRUE(save_sound_file(path, sine.data(), sine.size(), 22051)) << name;
        const std::string report = sox_report(path);
        EXPECT_NE(report.find("Sample Rate    : 22051"), std::string::npos) << report;
        EXPECT_NE(report.find("Samples read:            100003"), std::string::npos) << report;
        expect_sox_samples(path, dir.file("l.raw"), sine.data(), sine.size());
    }
}

TEST(SoundWrite, Refusals)
{
    TempDir dir;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(save_sound_file(dir.file("x.mp3"), samples, 5, 44100));
    EXPECT_FALSE(save_sound_file(dir.file("x.wav"), samples, 5, 0));
    EXPECT_FALSE(save_sound_file(dir.file("x.wav"), nullptr, 5, 44100));
    EXPECT_FALSE(save_sound_file(dir.file("missing/x.wav"), samples, 5, 44100));
    // Larger than the 32-bit sizes of the formats can describe: refused before anything is read.
    EXPECT_FALSE(save_sound_file(dir.file("x.wav"), samples, (size_t)1 << 30, 44100));
    EXPECT_FALSE(save_sound_file(dir.file("x.aif"), samples, (size_t)1 << 29, 44100));
    EXPECT_EQ(count_lines(testing::internal::GetCapturedStderr()), 6);
    EXPECT_TRUE(read_binary_file(dir.file("x.wav")).empty());
    EXPECT_TRUE(read_binary_file(dir.file("x.aif")).empty());

    // An empty sound is a valid, empty file.
    ASSERT_TRUE(save_sound_file(dir.file("e.wav"), nullptr, 0, 44100));
    EXPECT_EQ(read_binary_file(dir.file("e.wav")).size(), 58u);
}

TEST(SoundWrite, FlacRoundTripAt24Bits)
{
    TempDir dir;
    // A second of a tone with every edge case of the conversion: full scale both ways, beyond
    // it (clipped), a value that is not a number (silence), and the smallest steps.
    const int rate = 48000;
    std::vector<float> sound(rate);
    for (int i = 0; i < rate; i++)
        sound[i] = 0.8f * (float)std::sin(0.0523 * i);
    const float edges[] = {1.0f, -1.0f, 1.7f, -3.0f, NAN, 1.0f / 8388608.0f, -1.0f / 8388608.0f, 0.0f};
    std::copy(std::begin(edges), std::end(edges), sound.begin() + 100);
    const std::string path = dir.file("tone.flac");
    ASSERT_TRUE(save_sound_file(path, sound.data(), sound.size(), rate));

    Sound back = load_sound(path.c_str(), 0);
    ASSERT_EQ(back.frames, sound.size());
    EXPECT_EQ(back.channels, 1);
    EXPECT_EQ(back.sample_rate, rate);
    const float step = 1.0f / 8388608.0f;
    const float expect_edges[] = {1.0f - step, -1.0f, 1.0f - step, -1.0f, 0.0f, step, -step, 0.0f};
    for (int k = 0; k < 8; k++)
        EXPECT_EQ(back.samples[100 + k], expect_edges[k]) << k;
    for (int i = 0; i < rate; i++) {
        if (i >= 100 && i < 108)
            continue;
        ASSERT_NEAR(back.samples[i], sound[i], 0.5f * step) << i;
    }

    // Other programs read the same: the reference tool's test of the stream and sox.
    std::string out;
    if (run_command("command -v flac >/dev/null && command -v sox >/dev/null") != 0) {
        printf("flac or sox is not installed: the file is not checked with them\n");
        return;
    }
    EXPECT_EQ(run_command("flac -t -s " + quoted(path) + " 2>&1", &out), 0) << out;
    const std::string info = sox_report(path);
    EXPECT_NE(info.find("Precision      : 24-bit"), std::string::npos) << info;
    EXPECT_NE(info.find("Sample Rate    : 48000"), std::string::npos) << info;
    EXPECT_NE(info.find("= 48000 samples"), std::string::npos) << info;
    std::vector<float> want(back.samples.begin(), back.samples.end());
    expect_sox_samples(path, dir.file("tone.raw"), want.data(), want.size());

    // A rate FLAC cannot carry is refused with a line, and nothing is written.
    testing::internal::CaptureStderr();
    EXPECT_FALSE(save_sound_file(dir.file("fast.flac"), sound.data(), sound.size(), 2000000));
    EXPECT_EQ(count_lines(testing::internal::GetCapturedStderr()), 1);
    EXPECT_FALSE(file_exists(dir.file("fast.flac")));
}
