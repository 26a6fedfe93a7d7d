#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "media/sound_read.h"
#include "testlib.h"

namespace {

// A byte buffer that sound files are assembled in.
struct Bytes {
    std::vector<unsigned char> v;
    Bytes& tag(const char* t)
    {
        v.insert(v.end(), t, t + 4);
        return *this;
    }
    Bytes& u8(unsigned x)
    {
        v.push_back((unsigned char)x);
        return *this;
    }
    // n bytes of x, least significant first (bytes past the eighth are 0).
    Bytes& le(uint64_t x, int n)
    {
        for (int i = 0; i < n; i++)
            v.push_back(i < 8 ? (unsigned char)(x >> (8 * i)) : 0);
        return *this;
    }
    Bytes& be(uint64_t x, int n)
    {
        for (int i = n - 1; i >= 0; i--)
            v.push_back(i < 8 ? (unsigned char)(x >> (8 * i)) : 0);
        return *this;
    }
    Bytes& append(const std::vector<unsigned char>& b)
    {
        v.insert(v.end(), b.begin(), b.end());
        return *this;
    }
};

// A WAV file: RIFF header, optional chunks, "fmt " and "data".
std::vector<unsigned char> wav_file(int tag, int channels, uint32_t rate, int bits,
                                    const std::vector<unsigned char>& data,
                                    const std::vector<unsigned char>& before_fmt = {})
{
    const int bytes = (bits + 7) / 8;
    Bytes b;
    b.tag("RIFF").le(0, 4).tag("WAVE").append(before_fmt);
    b.tag("fmt ").le(16, 4).le((uint64_t)tag, 2).le((uint64_t)channels, 2).le(rate, 4);
    b.le((uint64_t)rate * channels * bytes, 4).le((uint64_t)(channels * bytes), 2).le((uint64_t)bits, 2);
    b.tag("data").le(data.size(), 4).append(data);
    const uint32_t riff = (uint32_t)b.v.size() - 8;
    memcpy(&b.v[4], &riff, 4);
    return b.v;
}

// The 80-bit IEEE extended form of a positive rate.
void put_extended(Bytes& b, double rate)
{
    int e = 0;
    const double m = std::frexp(rate, &e);   // rate = m × 2^e, 0.5 <= m < 1
    b.be((uint64_t)(16383 + e - 1), 2);
    b.be((uint64_t)std::ldexp(m, 64), 8);
}

// An AIFF file, or AIFF-C when `compression` is given.
std::vector<unsigned char> aiff_file(int channels, uint32_t frames, int bits, double rate,
                                     const char* compression, const std::vector<unsigned char>& data)
{
    Bytes b;
    b.tag("FORM").be(0, 4).tag(compression ? "AIFC" : "AIFF");
    b.tag("COMM").be(compression ? 24 : 18, 4).be((uint64_t)channels, 2).be(frames, 4).be((uint64_t)bits, 2);
    put_extended(b, rate);
    if (compression)
        b.tag(compression).be(0, 2);   // an empty name
    b.tag("SSND").be(data.size() + 8, 4).be(0, 4).be(0, 4).append(data);
    return b.v;
}

std::vector<unsigned char> le_samples(const std::vector<int64_t>& values, int bytes)
{
    Bytes b;
    for (int64_t x : values)
        b.le((uint64_t)x, bytes);
    return b.v;
}

std::vector<unsigned char> be_samples(const std::vector<int64_t>& values, int bytes)
{
    Bytes b;
    for (int64_t x : values)
        b.be((uint64_t)x, bytes);
    return b.v;
}

Sound read_file(const TempDir& dir, const std::string& name, const std::vector<unsigned char>& bytes,
                int mode = sound_all_channels)
{
    const std::string path = dir.file(name);
    write_binary_file(path, bytes.data(), bytes.size());
    return load_sound(path.c_str(), mode);
}

uint32_t float_bits(float f)
{
    uint32_t u;
    memcpy(&u, &f, 4);
    return u;
}

uint64_t double_bits(double d)
{
    uint64_t u;
    memcpy(&u, &d, 8);
    return u;
}

// Concatenation (GCC 12 warns falsely about "literal" + std::string chains).
std::string join(std::initializer_list<std::string> parts)
{
    std::string s;
    for (const std::string& p : parts)
        s += p;
    return s;
}

std::string not_found_line(const std::string& path)
{
    char line[4096];
    snprintf(line, sizeof line, "File '%s' not found.\n", path.c_str());
    return line;
}

}  // namespace

TEST(WavRead, IntegerDepthsSpanMinusHalfToHalf)
{
    TempDir dir;
    Sound s8 = read_file(dir, "a.wav", wav_file(1, 1, 8000, 8, {0, 128, 255}));
    ASSERT_EQ(s8.frames, 3u);
    EXPECT_EQ(s8.channels, 1);
    EXPECT_EQ(s8.sample_rate, 8000);
    EXPECT_EQ(s8.samples, (std::vector<float>{-0.5f, 0.0f, 127.0f / 256}));

    Sound s16 = read_file(dir, "b.wav", wav_file(1, 1, 44100, 16, le_samples({32767, -32768, -1}, 2)));
    ASSERT_EQ(s16.frames, 3u);
    EXPECT_EQ(s16.samples, (std::vector<float>{32767.0f / 65536, -0.5f, -1.0f / 65536}));
    EXPECT_NEAR(s16.samples[0], 0.49998f, 1e-5f);

    Sound s24 = read_file(dir, "c.wav", wav_file(1, 1, 96000, 24, le_samples({0x800000, 0x7FFFFF, 0x000001}, 3)));
    ASSERT_EQ(s24.frames, 3u);
    EXPECT_EQ(s24.samples, (std::vector<float>{-0.5f, 8388607.0f / 16777216, 1.0f / 16777216}));

    Sound s32 = read_file(dir, "d.wav", wav_file(1, 1, 48000, 32, le_samples({INT32_MIN, 1 << 30, -(1 << 29)}, 4)));
    ASSERT_EQ(s32.frames, 3u);
    EXPECT_EQ(s32.samples, (std::vector<float>{-0.5f, 0.25f, -0.125f}));

    // 12 bits are stored in 2-byte containers.
    Sound s12 = read_file(dir, "e.wav", wav_file(1, 1, 8000, 12, le_samples({0x7FF0, -0x8000}, 2)));
    ASSERT_EQ(s12.frames, 2u);
    EXPECT_EQ(s12.samples[1], -0.5f);
}

TEST(WavRead, FloatsAreTakenAsTheyAre)
{
    TempDir dir;
    Sound f = read_file(dir, "f.wav",
                        wav_file(3, 2, 44100, 32, le_samples({float_bits(0.75f), float_bits(-1.5f),
                                                              float_bits(3.0f), float_bits(1e-7f)}, 4)));
    ASSERT_EQ(f.frames, 2u);
    EXPECT_EQ(f.channels, 2);
    EXPECT_EQ(f.samples, (std::vector<float>{0.75f, -1.5f, 3.0f, 1e-7f}));

    Sound d = read_file(dir, "d.wav", wav_file(3, 1, 44100, 64, le_samples({(int64_t)double_bits(0.1), (int64_t)double_bits(-2.0)}, 8)));
    ASSERT_EQ(d.frames, 2u);
    EXPECT_EQ(d.samples, (std::vector<float>{0.1f, -2.0f}));
}

TEST(WavRead, ExtensibleHeaderNamesTheRealFormat)
{
    // A 40-byte fmt chunk whose sub-format starts with 1 (integer PCM), 24 bits.
    Bytes fmt;
    fmt.tag("RIFF").le(0, 4).tag("WAVE");
    fmt.tag("fmt ").le(40, 4).le(0xFFFE, 2).le(2, 2).le(48000, 4).le(48000 * 6, 4).le(6, 2).le(24, 2);
    fmt.le(22, 2).le(24, 2).le(3, 4).le(1, 2).le(0, 14);
    fmt.tag("data").le(12, 4).append(le_samples({0x800000, 0x400000, 0, 0x7FFFFF}, 3));
    Sound s = load_sound_wav_mem(fmt.v.data(), fmt.v.size(), sound_all_channels);
    ASSERT_EQ(s.frames, 2u);
    EXPECT_EQ(s.channels, 2);
    EXPECT_EQ(s.samples[0], -0.5f);
    EXPECT_EQ(s.samples[1], 0.25f);
}

TEST(WavRead, EncodingsNotDecodedAreRefusedByName)
{
    // Neither silence nor noise: ADPCM (2), GSM (0x31, which says 0 bits), 40-bit integers
    // and 16-bit floats are refused, each with one line that names the encoding.
    struct Case {
        int tag, bits;
        const char* name;
    } cases[] = {{2, 4, "WAV format 0x0002 with 4 bits per sample"},
                 {0x31, 0, "WAV format 0x0031 with 0 bits per sample"},
                 {1, 40, "WAV format 0x0001 with 40 bits per sample"},
                 {3, 16, "WAV format 0x0003 with 16 bits per sample"}};
    for (const Case& c : cases) {
        const std::vector<unsigned char> wav = wav_file(c.tag, 2, 22050, c.bits, std::vector<unsigned char>(40, 0x55));
        EXPECT_EQ(wav_encoding(wav.data(), wav.size()).name, c.name);
        EXPECT_FALSE(wav_encoding(wav.data(), wav.size()).own);
        testing::internal::CaptureStderr();
        EXPECT_TRUE(load_sound_wav_mem(wav.data(), wav.size(), sound_all_channels).samples.empty());
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  join({"In load_sound_wav_mem(): ", c.name, " is not supported.\n"}));
    }
    // A 64-bit header is not ours either: its sizes live in a chunk this reader does not walk.
    std::vector<unsigned char> rf64 = wav_file(1, 1, 8000, 16, le_samples({1, 2}, 2));
    memcpy(rf64.data(), "RF64", 4);
    EXPECT_FALSE(wav_encoding(rf64.data(), rf64.size()).own);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(load_sound_wav_mem(rf64.data(), rf64.size(), 0).samples.empty());
    testing::internal::GetCapturedStderr();
}

// The 256 codes of each law, as WAV (formats 6 and 7) and AIFF-C ("alaw", "ulaw") files.
std::vector<unsigned char> every_code()
{
    std::vector<unsigned char> codes(256);
    for (int i = 0; i < 256; i++)
        codes[(size_t)i] = (unsigned char)i;
    return codes;
}

TEST(G711Read, StandardTableValuesInWavAndAiffC)
{
    const Sound alaw = load_sound_wav_mem(wav_file(6, 1, 8000, 8, every_code()).data(),
                                          wav_file(6, 1, 8000, 8, every_code()).size(), 0);
    const Sound ulaw = load_sound_wav_mem(wav_file(7, 1, 8000, 8, every_code()).data(),
                                          wav_file(7, 1, 8000, 8, every_code()).size(), 0);
    ASSERT_EQ(alaw.frames, 256u);
    ASSERT_EQ(ulaw.frames, 256u);
    // 16-bit linear values at the 16-bit integers' scale (1/65536).
    auto a = [&](int code) { return (int)std::lrint(alaw.samples[(size_t)code] * 65536.0f); };
    auto u = [&](int code) { return (int)std::lrint(ulaw.samples[(size_t)code] * 65536.0f); };
    // The standard's tables: A-law's smallest steps are ±8 (codes 0xD5, 0x55 on the line),
    // its largest ±32256 (0xAA, 0x2A); the first chord above the linear one starts at 264.
    EXPECT_EQ(a(0xD5), 8);
    EXPECT_EQ(a(0x55), -8);
    EXPECT_EQ(a(0xD4), 24);
    EXPECT_EQ(a(0xC5), 264);
    EXPECT_EQ(a(0xAA), 32256);
    EXPECT_EQ(a(0x2A), -32256);
    EXPECT_EQ(a(0x80), 5504);
    // µ-law: 0xFF and 0x7F are the two zeros, 0x80 and 0x00 the extremes ±32124.
    EXPECT_EQ(u(0xFF), 0);
    EXPECT_EQ(u(0x7F), 0);
    EXPECT_EQ(u(0xFE), 8);
    EXPECT_EQ(u(0xEF), 132);
    EXPECT_EQ(u(0x80), 32124);
    EXPECT_EQ(u(0x00), -32124);
    for (int c = 0; c < 128; c++) {
        // The top bit is the sign, and nothing else differs.
        EXPECT_EQ(a(c | 0x80), -a(c)) << c;
        EXPECT_EQ(u(c | 0x80), -u(c)) << c;
        // µ-law magnitudes fall as the inverted code rises.
        if (c > 0) {
            EXPECT_LT(u(0x80 | c), u(0x80 | (c - 1))) << c;
        }
    }
    // AIFF-C carries the same bytes to the same values, whatever its bits field says.
    for (const char* type : {"alaw", "ALAW", "ulaw", "ULAW"}) {
        const std::vector<unsigned char> aifc = aiff_file(1, 256, 16, 8000, type, every_code());
        const Sound s = load_sound_aiff_mem(aifc.data(), aifc.size(), 0);
        EXPECT_EQ(s.samples, (type[0] | 0x20) == 'a' ? alaw.samples : ulaw.samples) << type;
    }
}

TEST(AiffRead, UnsupportedCompressionIsRefusedByNameAndLeavesTheProject)
{
    TempDir dir;
    const std::vector<unsigned char> aifc = aiff_file(1, 4, 16, 8000, "xyz ", be_samples({1000, 2000, 3000, 4000}, 2));
    testing::internal::CaptureStderr();
    EXPECT_TRUE(load_sound_aiff_mem(aifc.data(), aifc.size(), 0).samples.empty());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "In load_sound_aiff_mem(): AIFF-C compression 'xyz ' is not supported.\n");
    const std::string pluck = dir.file("pluck.aifc");
    write_binary_file(pluck, aifc.data(), aifc.size());
    testing::internal::CaptureStderr();
    EXPECT_TRUE(load_sound(pluck.c_str(), 0).samples.empty());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "pluck.aifc: AIFF-C compression 'xyz ' is not supported\n");

    // Through the command line: the sound opened first stays the project, and the run fails.
    std::vector<int64_t> values;
    for (int i = 0; i < 8000; i++)
        values.push_back(std::lrint(10000 * std::sin(i * 0.3)));
    const std::string good = dir.file("good.wav");
    const std::vector<unsigned char> wav = wav_file(1, 1, 8000, 16, le_samples(values, 2));
    write_binary_file(good, wav.data(), wav.size());
    const std::string env = join({"SONOGRAPHICA_DATA_DIR='", dir.path, "' '", cli_path(), "'"});
    std::string before, after;
    ASSERT_EQ(run_command(join({env, " -e 'Open \"", good, "\"' --info 2>/dev/null"}), &before), 0);
    EXPECT_EQ(run_command(join({env, " --keep-going -e 'Open \"", good, "\"' -e 'Open \"", pluck, "\"' --info 2>",
                                dir.file("err.txt")}),
                          &after),
              1);
    EXPECT_EQ(after, before);
    EXPECT_NE(before.find("\"original_sound_length\": "), std::string::npos);
    EXPECT_NE(read_text_file(dir.file("err.txt")).find("pluck.aifc: AIFF-C compression 'xyz ' is not supported\n"),
              std::string::npos);
}

TEST(WavRead, ChunkWalk)
{
    // Chunks before "fmt " are skipped by their size, taken as written (an odd size, no padding).
    Bytes list;
    list.tag("LIST").le(3, 4).u8(1).u8(2).u8(3);
    Sound s = load_sound_wav_mem(wav_file(1, 1, 8000, 16, le_samples({16384}, 2), list.v).data(),
                                 wav_file(1, 1, 8000, 16, le_samples({16384}, 2), list.v).size(), -1);
    ASSERT_EQ(s.frames, 1u);
    EXPECT_EQ(s.samples[0], 0.25f);

    // No data chunk, or a chunk size that jumps past the end: no sound.
    std::vector<unsigned char> no_data = wav_file(1, 1, 8000, 16, le_samples({1, 2}, 2));
    memcpy(&no_data[36], "junk", 4);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(load_sound_wav_mem(no_data.data(), no_data.size(), -1).samples.empty());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "In load_sound_wav_mem(): No data chunk found, not a valid WAV file.\n");
    Bytes jump;
    jump.tag("JUNK").le(0xFFFFFFF0u, 4);
    std::vector<unsigned char> jumped = wav_file(1, 1, 8000, 16, le_samples({1, 2}, 2), jump.v);
    EXPECT_TRUE(load_sound_wav_mem(jumped.data(), jumped.size(), -1).samples.empty());

    // A data chunk longer than the file gives the frames present.
    std::vector<unsigned char> cut = wav_file(1, 2, 8000, 16, le_samples({1, 2, 3, 4, 5, 6}, 2));
    const uint32_t huge = 0xFFFFFFFFu;
    memcpy(&cut[40], &huge, 4);
    cut.resize(cut.size() - 5);
    Sound c = load_sound_wav_mem(cut.data(), cut.size(), -1);
    ASSERT_EQ(c.frames, 1u);
    EXPECT_EQ(c.samples, (std::vector<float>{1.0f / 65536, 2.0f / 65536}));
}

TEST(WavRead, RefusesImpossibleFormats)
{
    const std::vector<unsigned char> d = le_samples({1, 2, 3, 4}, 2);
    for (const auto& bytes : {wav_file(1, 0, 8000, 16, d), wav_file(1, 1, 0, 16, d), wav_file(1, 1, 8000, 0, d),
                              wav_file(1, 1, 4000000000u, 16, d), wav_file(1, 1, 8000, 16, {})}) {
        testing::internal::CaptureStderr();
        EXPECT_TRUE(load_sound_wav_mem(bytes.data(), bytes.size(), 0).samples.empty());
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    }
    // Data before any "fmt " chunk.
    Bytes b;
    b.tag("RIFF").le(0, 4).tag("WAVE").tag("data").le(4, 4).le(0, 4);
    EXPECT_TRUE(load_sound_wav_mem(b.v.data(), b.v.size(), 0).samples.empty());
}

TEST(AiffRead, IntegerDepthsAndEncodings)
{
    TempDir dir;
    Sound s8 = read_file(dir, "a.aif", aiff_file(1, 3, 8, 8000, nullptr, {0x80, 0x00, 0x7F}));
    ASSERT_EQ(s8.frames, 3u);
    EXPECT_EQ(s8.sample_rate, 8000);
    EXPECT_EQ(s8.samples, (std::vector<float>{-0.5f, 0.0f, 127.0f / 256}));

    Sound s16 = read_file(dir, "b.aiff", aiff_file(2, 1, 16, 44100, nullptr, be_samples({32767, -32768}, 2)));
    ASSERT_EQ(s16.frames, 1u);
    EXPECT_EQ(s16.channels, 2);
    EXPECT_EQ(s16.sample_rate, 44100);
    EXPECT_EQ(s16.samples, (std::vector<float>{32767.0f / 65536, -0.5f}));

    Sound s24 = read_file(dir, "c.aifc", aiff_file(1, 2, 24, 96000, "NONE", be_samples({0x800000, 0x400000}, 3)));
    ASSERT_EQ(s24.frames, 2u);
    EXPECT_EQ(s24.samples, (std::vector<float>{-0.5f, 0.25f}));

    Sound s32 = read_file(dir, "d.aif", aiff_file(1, 2, 32, 48000, nullptr, be_samples({INT32_MIN, 1 << 29}, 4)));
    EXPECT_EQ(s32.samples, (std::vector<float>{-0.5f, 0.125f}));

    // A rate that is not a whole number is rounded to the nearest one.
    Sound odd_rate = load_sound_aiff_mem(aiff_file(1, 1, 16, 22254.5454, nullptr, {0, 0}).data(),
                                         aiff_file(1, 1, 16, 22254.5454, nullptr, {0, 0}).size(), -1);
    EXPECT_EQ(odd_rate.sample_rate, 22255);
}

TEST(AiffRead, SowtReadsTheSameAsWav)
{
    const std::vector<int64_t> values = {0, 1, -1, 32767, -32768, 12345, -20000, 77};
    TempDir dir;
    Sound w = read_file(dir, "w.wav", wav_file(1, 2, 44100, 16, le_samples(values, 2)));
    Sound a = read_file(dir, "a.aifc", aiff_file(2, 4, 16, 44100, "sowt", le_samples(values, 2)));
    ASSERT_EQ(a.frames, 4u);
    EXPECT_EQ(a.channels, w.channels);
    EXPECT_EQ(a.sample_rate, w.sample_rate);
    EXPECT_EQ(a.samples, w.samples);
}

TEST(AiffRead, FloatEncodings)
{
    TempDir dir;
    const std::vector<int64_t> f32 = {float_bits(0.5f), float_bits(-1.25f), float_bits(1e-3f)};
    for (const char* name : {"fl32", "FL32"}) {
        Sound s = read_file(dir, "f.aifc", aiff_file(1, 3, 32, 44100, name, be_samples(f32, 4)));
        EXPECT_EQ(s.samples, (std::vector<float>{0.5f, -1.25f, 1e-3f})) << name;
    }
    Sound d = read_file(dir, "d.aifc", aiff_file(1, 2, 64, 44100, "fl64",
                                                  be_samples({(int64_t)double_bits(0.3), (int64_t)double_bits(-4.0)}, 8)));
    EXPECT_EQ(d.samples, (std::vector<float>{0.3f, -4.0f}));
}

TEST(AiffRead, MissingChunksAndShortData)
{
    std::vector<unsigned char> good = aiff_file(1, 4, 16, 8000, nullptr, be_samples({1, 2, 3, 4}, 2));
    std::vector<unsigned char> no_comm = good, no_ssnd = good;
    memcpy(&no_comm[12], "XOMM", 4);
    memcpy(&no_ssnd[38], "XSND", 4);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(load_sound_aiff_mem(no_comm.data(), no_comm.size(), 0).samples.empty());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "In load_sound_aiff_mem(): No COMM tag found, not a valid AIFF file.\n");
    testing::internal::CaptureStderr();
    EXPECT_TRUE(load_sound_aiff_mem(no_ssnd.data(), no_ssnd.size(), 0).samples.empty());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "In load_sound_aiff_mem(): No SSND tag found, not a valid AIFF file.\n");

    // More frames declared than the data holds: the frames present.
    std::vector<unsigned char> cut = good;
    cut.resize(cut.size() - 3);
    Sound s = load_sound_aiff_mem(cut.data(), cut.size(), 0);
    ASSERT_EQ(s.frames, 2u);
    EXPECT_EQ(s.samples, (std::vector<float>{1.0f / 65536, 2.0f / 65536}));

    // No channels, rate 0, infinite rate, 0 bits: refused.
    for (const auto& bytes : {aiff_file(0, 4, 16, 8000, nullptr, be_samples({1, 2, 3, 4}, 2)),
                              aiff_file(1, 4, 16, 0.0, nullptr, be_samples({1, 2, 3, 4}, 2)),
                              aiff_file(1, 4, 0, 8000, nullptr, be_samples({1, 2, 3, 4}, 2))})
        EXPECT_TRUE(load_sound_aiff_mem(bytes.data(), bytes.size(), 0).samples.empty());
    std::vector<unsigned char> inf = good;
    inf[28] = 0x7F;
    inf[29] = 0xFF;
    EXPECT_TRUE(load_sound_aiff_mem(inf.data(), inf.size(), 0).samples.empty());
}

TEST(SoundRead, EveryTruncationReadsSafely)
{
    std::vector<int64_t> values;
    for (int i = 0; i < 24; i++)
        values.push_back((i * 2731) % 65536 - 32768);
    const std::vector<unsigned char> wav = wav_file(1, 2, 44100, 16, le_samples(values, 2));
    const std::vector<unsigned char> aiff = aiff_file(2, 12, 16, 44100, nullptr, be_samples(values, 2));
    const Sound full_wav = load_sound_wav_mem(wav.data(), wav.size(), -1);
    const Sound full_aiff = load_sound_aiff_mem(aiff.data(), aiff.size(), -1);
    ASSERT_EQ(full_wav.frames, 12u);
    ASSERT_EQ(full_aiff.samples, full_wav.samples);
    for (size_t n = 0; n <= wav.size(); n++) {
        // Exact-size copies, so that AddressSanitizer sees any read past the end.
        std::vector<unsigned char> w(wav.begin(), wav.begin() + (long)n);
        testing::internal::CaptureStderr();
        Sound s = load_sound_wav_mem(w.data(), w.size(), -1);
        testing::internal::GetCapturedStderr();
        ASSERT_LE(s.frames, full_wav.frames);
        EXPECT_TRUE(std::equal(s.samples.begin(), s.samples.end(), full_wav.samples.begin())) << n;
    }
    for (size_t n = 0; n <= aiff.size(); n++) {
        std::vector<unsigned char> a(aiff.begin(), aiff.begin() + (long)n);
        testing::internal::CaptureStderr();
        Sound s = load_sound_aiff_mem(a.data(), a.size(), -1);
        testing::internal::GetCapturedStderr();
        ASSERT_LE(s.frames, full_aiff.frames);
        EXPECT_TRUE(std::equal(s.samples.begin(), s.samples.end(), full_aiff.samples.begin())) << n;
    }
}

TEST(SoundRead, ChannelSelection)
{
    TempDir dir;
    // Stereo: left 0.25, right -0.125, then left 0.5, right 0.
    const std::vector<unsigned char> stereo = wav_file(1, 2, 8000, 16, le_samples({16384, -8192, 32767, 0}, 2));
    const float l0 = 0.25f, r0 = -0.125f, l1 = 32767.0f / 65536, r1 = 0.0f;
    Sound mix = read_file(dir, "s.wav", stereo, sound_mix);
    EXPECT_EQ(mix.channels, 1);
    EXPECT_EQ(mix.samples, (std::vector<float>{(l0 + r0) / 2, (l1 + r1) / 2}));
    EXPECT_EQ(read_file(dir, "s.wav", stereo, sound_left).samples, (std::vector<float>{l0, l1}));
    Sound right = read_file(dir, "s.wav", stereo, sound_right);
    EXPECT_EQ(right.channels, 1);
    EXPECT_EQ(right.samples, (std::vector<float>{r0, r1}));
    Sound both = read_file(dir, "s.wav", stereo, sound_left_right);
    EXPECT_EQ(both.channels, 2);
    EXPECT_EQ(both.frames, 2u);
    EXPECT_EQ(both.samples, (std::vector<float>{l0, r0, l1, r1}));

    // Mono: every one-channel mode gives the channel; mode 3 gives it twice.
    const std::vector<unsigned char> mono = wav_file(1, 1, 8000, 16, le_samples({16384, -8192}, 2));
    for (int mode : {0, 1, 2})
        EXPECT_EQ(read_file(dir, "m.wav", mono, mode).samples, (std::vector<float>{0.25f, -0.125f})) << mode;
    Sound pair = read_file(dir, "m.wav", mono, sound_left_right);
    EXPECT_EQ(pair.channels, 2);
    EXPECT_EQ(pair.samples, (std::vector<float>{0.25f, 0.25f, -0.125f, -0.125f}));

    // Three channels: the mix is the mean of all three, "right" is channel 1.
    const std::vector<unsigned char> three = wav_file(1, 3, 8000, 16, le_samples({3 * 4096, 6 * 4096, -3 * 4096}, 2));
    EXPECT_EQ(read_file(dir, "t.wav", three, sound_mix).samples[0], (0.1875f + 0.375f - 0.1875f) / 3.0f);
    EXPECT_EQ(read_file(dir, "t.wav", three, sound_right).samples, (std::vector<float>{0.375f}));
    EXPECT_EQ(read_file(dir, "t.wav", three, 7).channels, 3);
}

TEST(SoundRead, DispatchByExtension)
{
    TempDir dir;
    const std::vector<unsigned char> wav = wav_file(1, 1, 8000, 16, le_samples({16384}, 2));
    EXPECT_EQ(read_file(dir, "UPPER.WAV", wav).frames, 1u);
    EXPECT_EQ(read_file(dir, "x.wave", wav).frames, 1u);
    const std::vector<unsigned char> aiff = aiff_file(1, 1, 16, 8000, nullptr, be_samples({16384}, 2));
    EXPECT_EQ(read_file(dir, "x.AIFC", aiff).frames, 1u);
    // The extension decides, not the content.
    testing::internal::CaptureStderr();
    EXPECT_TRUE(read_file(dir, "wav_named.aif", wav).samples.empty());
    EXPECT_TRUE(read_file(dir, "x.txt", wav).samples.empty());
    EXPECT_TRUE(read_file(dir, "noext", wav).samples.empty());
    testing::internal::GetCapturedStderr();

    const std::string missing = dir.file("missing.wav");
    testing::internal::CaptureStderr();
    EXPECT_TRUE(load_sound(missing.c_str(), 0).samples.empty());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), not_found_line(missing));

    // A folder is not a file, whatever its name.
    const std::string folder = dir.file("folder.wav");
    ASSERT_EQ(run_command(join({"mkdir '", folder, "'"})), 0);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(load_sound(folder.c_str(), 0).samples.empty());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), not_found_line(folder));

    size_t size = 99;
    write_text_file(dir.file("t.txt"), "abc");
    byte_buffer b = read_whole_file(dir.file("t.txt").c_str(), &size);
    ASSERT_TRUE(b);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(b[3], 0);
}

TEST(SoundRead, ResampledLoadGivesOneChannelAtTheInternalRate)
{
    TempDir dir;
    std::vector<int64_t> values;
    for (int i = 0; i < 48000; i++)
        values.push_back(i % 2 ? 8192 : 16384);   // left 0.25, right 0.125
    const std::string path = dir.file("s.wav");
    const std::vector<unsigned char> wav = wav_file(1, 2, 24000, 16, le_samples(values, 2));
    write_binary_file(path, wav.data(), wav.size());
    const float gain = std::sqrt(24000.0f / 44100.0f);
    // The sound is one constant level, so away from the ends the resampled values are that
    // level times the transforms' gain.
    const float expected[] = {0.1875f, 0.25f, 0.125f, 0.1875f};
    for (int mode = 0; mode < 4; mode++) {
        std::vector<float> r = load_sound_resampled(path.c_str(), mode, 44100);
        ASSERT_EQ(r.size(), 44100u) << mode;
        EXPECT_NEAR(r[22050], expected[mode] * gain, 1e-4f) << mode;
    }
    // At the internal rate nothing is resampled.
    const std::vector<unsigned char> wav44 = wav_file(1, 2, 44100, 16, le_samples(values, 2));
    write_binary_file(path, wav44.data(), wav44.size());
    std::vector<float> same = load_sound_resampled(path.c_str(), sound_right, 44100);
    EXPECT_EQ(same, std::vector<float>(24000, 0.125f));
}

// Files made with the command-line encoders from a WAV the test writes.
class CodecRead : public testing::Test {
protected:
    static constexpr int rate = 44100, frames = 44100;
    TempDir dir;
    std::string wav;
    Sound original;   // full scale -1 .. +1, as the decoder libraries deliver

    void SetUp() override
    {
        std::vector<int64_t> values;
        for (int i = 0; i < frames; i++) {
            const double t = (double)i / rate;
            values.push_back(std::lrint(12000 * std::sin(2 * M_PI * 440 * t) + 3000 * std::sin(2 * M_PI * 1250 * t)));
            values.push_back(std::lrint(9000 * std::sin(2 * M_PI * 660 * t + 1.0)));
        }
        wav = dir.file("in.wav");
        const std::vector<unsigned char> bytes = wav_file(1, 2, rate, 16, le_samples(values, 2));
        write_binary_file(wav, bytes.data(), bytes.size());
        original = load_sound(wav.c_str(), sound_all_channels);
        for (float& v : original.samples)
            v *= 2.0f;
    }

    Sound encode(const std::string& command, const std::string& out, int mode)
    {
        EXPECT_EQ(run_command(join({command, " >/dev/null 2>&1"})), 0) << command;
        return load_sound(out.c_str(), mode);
    }

    // Relative RMS difference of one channel against the original, the decoded sound shifted
    // by `lag` frames, over the frames both have.
    double relative_error(const Sound& s, int channel, long lag) const
    {
        double err = 0, ref = 0;
        for (long i = 2000; i < frames - 2000; i++) {
            const long j = i + lag;
            if (j < 0 || j >= (long)s.frames)
                continue;
            const double a = original.samples[(size_t)i * 2 + (size_t)channel];
            const double b = s.samples[(size_t)j * (size_t)s.channels + (size_t)channel];
            err += (a - b) * (a - b);
            ref += a * a;
        }
        return std::sqrt(err / ref);
    }
};

TEST_F(CodecRead, FlacIsLossless)
{
    const std::string out = dir.file("t.flac");
    Sound s = encode(join({"flac -s -f -o '", out, "' '", wav, "'"}), out, sound_all_channels);
    ASSERT_EQ(s.frames, (size_t)frames);
    EXPECT_EQ(s.channels, 2);
    EXPECT_EQ(s.sample_rate, rate);
    EXPECT_EQ(s.samples, original.samples);
    Sound right = load_sound(out.c_str(), sound_right);
    ASSERT_EQ(right.frames, (size_t)frames);
    EXPECT_EQ(right.samples[100], original.samples[201]);
}

TEST_F(CodecRead, OggWithinCodecTolerance)
{
    const std::string out = dir.file("t.ogg");
    Sound s = encode(join({"oggenc -Q -q 6 -o '", out, "' '", wav, "'"}), out, sound_all_channels);
    ASSERT_EQ(s.frames, (size_t)frames);
    EXPECT_EQ(s.channels, 2);
    EXPECT_EQ(s.sample_rate, rate);
    EXPECT_LT(relative_error(s, 0, 0), 0.02);
    EXPECT_LT(relative_error(s, 1, 0), 0.02);
    Sound mix = load_sound(out.c_str(), sound_mix);
    ASSERT_EQ(mix.frames, s.frames);
    EXPECT_EQ(mix.samples[5000], (s.samples[10000] + s.samples[10001]) / 2);
}

TEST_F(CodecRead, Mp3WithinCodecToleranceAfterAlignment)
{
    const std::string out = dir.file("t.mp3");
    Sound s = encode(join({"lame --quiet -b 192 '", wav, "' '", out, "'"}), out, sound_all_channels);
    EXPECT_EQ(s.channels, 2);
    EXPECT_EQ(s.sample_rate, rate);
    // The encoder's delay and padding may or may not be removed; find the best shift.
    ASSERT_NEAR((double)s.frames, (double)frames, 3000.0);
    long best_lag = 0;
    double best = 1e9;
    for (long lag = -1600; lag <= 1600; lag++) {
        const double e = relative_error(s, 0, lag);
        if (e < best) {
            best = e;
            best_lag = lag;
        }
    }
    EXPECT_LT(best, 0.05);
    EXPECT_LT(relative_error(s, 1, best_lag), 0.05);
    // Selection frame by frame gives the same values as selecting afterwards.
    Sound right = load_sound(out.c_str(), sound_right);
    ASSERT_EQ(right.frames, s.frames);
    for (size_t i = 0; i < s.frames; i += 997)
        ASSERT_EQ(right.samples[i], s.samples[2 * i + 1]);
}

TEST_F(CodecRead, GarbageUnderCodecNamesReadsAsNothing)
{
    std::vector<unsigned char> junk(5000);
    for (size_t i = 0; i < junk.size(); i++)
        junk[i] = (unsigned char)(i * 7919 >> 3);
    for (const char* name : {"j.mp3", "j.flac", "j.ogg", "empty.mp3"}) {
        const std::string path = dir.file(name);
        write_binary_file(path, junk.data(), strcmp(name, "empty.mp3") ? junk.size() : 0);
        testing::internal::CaptureStderr();
        EXPECT_TRUE(load_sound(path.c_str(), 0).samples.empty()) << name;
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << name << ": " << log;
    }
}

TEST(SoundProbe, PrintsPerChannelStatistics)
{
    TempDir dir;
    const std::string path = dir.file("p.wav");
    const std::vector<unsigned char> wav = wav_file(1, 2, 22050, 16, le_samples({16384, 0, -16384, 8192, 16384, 0, -16384, -8192}, 2));
    write_binary_file(path, wav.data(), wav.size());
    std::string out;
    ASSERT_EQ(run_command(join({"'", cli_path(), "' --probe '", path, "'"}), &out), 0);
    EXPECT_EQ(out, "{\"frames\": 4, \"channels\": 2, \"sample_rate\": 22050, \"peak\": [0.25, 0.125], "
                   "\"rms\": [0.25, 0.088388347648318447]}\n");

    std::string err_out;
    const std::string missing = dir.file("none.wav");
    EXPECT_EQ(run_command(join({"'", cli_path(), "' --probe '", missing, "' 2>&1"}), &err_out), 1);
    EXPECT_EQ(err_out, not_found_line(missing));
}
