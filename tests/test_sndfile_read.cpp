// Sound files as other programs write them: sox's encodings, Opus from opusenc, and the
// 64-bit containers, read back against the PCM original the test writes itself.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "media/sound_read.h"
#include "testlib.h"

namespace {

std::string join(std::initializer_list<std::string> parts)
{
    std::string s;
    for (const std::string& p : parts)
        s += p;
    return s;
}

void put_le(std::vector<unsigned char>& b, uint64_t x, int n)
{
    for (int i = 0; i < n; i++)
        b.push_back((unsigned char)(x >> (8 * i)));
}

// A WAV "fmt " chunk for integer PCM.
void put_fmt(std::vector<unsigned char>& b, int channels, int rate, int bits)
{
    const int bytes = bits / 8;
    b.insert(b.end(), {'f', 'm', 't', ' '});
    put_le(b, 16, 4);
    put_le(b, 1, 2);
    put_le(b, (uint64_t)channels, 2);
    put_le(b, (uint64_t)rate, 4);
    put_le(b, (uint64_t)(rate * channels * bytes), 4);
    put_le(b, (uint64_t)(channels * bytes), 2);
    put_le(b, (uint64_t)bits, 2);
}

// Interleaved 16-bit samples as a WAV file.
std::vector<unsigned char> pcm16_wav(const std::vector<int16_t>& samples, int channels, int rate)
{
    std::vector<unsigned char> b = {'R', 'I', 'F', 'F'};
    put_le(b, 36 + samples.size() * 2, 4);
    b.insert(b.end(), {'W', 'A', 'V', 'E'});
    put_fmt(b, channels, rate, 16);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put_le(b, samples.size() * 2, 4);
    for (int16_t v : samples)
        put_le(b, (uint16_t)v, 2);
    return b;
}

// An RF64 file: the real sizes in the "ds64" chunk, 0xFFFFFFFF in the 32-bit fields. With
// `declared_bytes` larger than `data`, the caller makes the file that long (sparse).
std::vector<unsigned char> rf64_file(int channels, int rate, int bits, const std::vector<unsigned char>& data,
                                     uint64_t declared_bytes)
{
    std::vector<unsigned char> b = {'R', 'F', '6', '4'};
    put_le(b, 0xFFFFFFFFu, 4);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'd', 's', '6', '4'});
    put_le(b, 28, 4);
    put_le(b, 4 + 36 + 8 + 24 + declared_bytes, 8);          // RIFF size
    put_le(b, declared_bytes, 8);                             // data size
    put_le(b, declared_bytes / (uint64_t)(channels * bits / 8), 8);  // sample frames
    put_le(b, 0, 4);                                          // no table entries
    put_fmt(b, channels, rate, bits);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put_le(b, 0xFFFFFFFFu, 4);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

bool have_program(const char* name)
{
    return run_command(join({"command -v ", name, " >/dev/null 2>&1"})) == 0;
}

// Relative RMS difference of `s` against `ref` over the frames both have (one channel each).
double relative_error(const std::vector<float>& ref, const std::vector<float>& s, size_t skip = 0)
{
    double err = 0, total = 0;
    for (size_t i = skip; i < ref.size() && i < s.size(); i++) {
        err += ((double)ref[i] - s[i]) * ((double)ref[i] - s[i]);
        total += (double)ref[i] * ref[i];
    }
    return std::sqrt(err / total);
}

class SoxFiles : public testing::Test {
protected:
    TempDir dir;
    std::string wav;
    Sound original;   // through our own WAV reader: full scale -0.5 .. +0.5

    void SetUp() override
    {
        if (!have_program("sox"))
            GTEST_SKIP() << "sox is not installed: the files of other programs cannot be made";
        // One second of a plucked-string-like tone at 8 kHz, mono (GSM takes nothing else).
        std::vector<int16_t> samples;
        for (int i = 0; i < 8000; i++) {
            const double t = i / 8000.0;
            samples.push_back((int16_t)std::lrint(std::exp(-2.0 * t) *
                                                  (9000 * std::sin(2 * M_PI * 220 * t) + 3000 * std::sin(2 * M_PI * 660 * t))));
        }
        wav = dir.file("pluck.wav");
        const std::vector<unsigned char> bytes = pcm16_wav(samples, 1, 8000);
        write_binary_file(wav, bytes.data(), bytes.size());
        original = load_sound(wav.c_str(), sound_all_channels);
        ASSERT_EQ(original.frames, 8000u);
    }

    Sound sox(const std::string& options, const std::string& name)
    {
        const std::string out = dir.file(name);
        // No dither: the same encoding must give the same bytes in every container.
        EXPECT_EQ(run_command(join({"sox -D '", wav, "' ", options, " '", out, "' 2>&1"})), 0) << options << " " << name;
        return load_sound(out.c_str(), sound_all_channels);
    }
};

TEST_F(SoxFiles, EveryEncodingReadsBackWithinItsCodecError)
{
    struct Case {
        const char* options;
        const char* name;
        double tolerance;   // relative RMS error the codec itself allows; 0: exact
        float scale = 1;    // floats are full scale at ±1, our integers at ±0.5
    } cases[] = {
        {"-e a-law", "alaw.wav", 0.03},         {"-e u-law", "ulaw.wav", 0.03},
        {"-e ima-adpcm", "ima.wav", 0.1},       {"-e ms-adpcm", "ms.wav", 0.1},
        {"-e gsm-full-rate", "gsm.wav", 0.5},   {"-e u-law", "ulaw.au", 0.03},
        {"-e a-law", "alaw.au", 0.03},          {"-e signed -b 16", "pcm.au", 0},
        {"-e signed -b 16", "pcm.snd", 0},      {"-e signed -b 16", "pcm.caf", 0},
        {"-e signed -b 16", "pcm.w64", 0},      {"-e signed -b 16", "pcm.voc", 0},
        {"-e floating-point -b 32", "float.au", 0, 2},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStderr();
        const Sound s = sox(c.options, c.name);
        const std::string log = testing::internal::GetCapturedStderr();
        ASSERT_FALSE(s.samples.empty()) << c.name << ": " << log;
        EXPECT_EQ(s.channels, 1) << c.name;
        EXPECT_EQ(s.sample_rate, 8000) << c.name;
        // Block codecs pad their last block.
        EXPECT_GE(s.frames, original.frames) << c.name;
        EXPECT_LE(s.frames, original.frames + 2048) << c.name;
        std::vector<float> expected = original.samples;
        for (float& v : expected)
            v *= c.scale;
        const double e = relative_error(expected, s.samples);
        if (c.tolerance == 0)
            EXPECT_EQ(std::vector<float>(s.samples.begin(), s.samples.begin() + 8000), expected) << c.name;
        else
            EXPECT_LT(e, c.tolerance) << c.name;
    }
}

TEST_F(SoxFiles, CompandedSamplesReadTheSameInEveryContainer)
{
    // Our WAV reader, libsndfile's AU reader and our AIFF-C reader over the same G.711 bytes.
    for (const char* law : {"a-law", "u-law"}) {
        const Sound in_wav = sox(join({"-e ", law}), "law.wav");
        const Sound in_au = sox(join({"-e ", law}), "law.au");
        ASSERT_EQ(in_wav.frames, 8000u) << law;
        EXPECT_EQ(in_au.samples, in_wav.samples) << law;
        // sox's AIFF-C writer has no G.711, so the raw bytes are wrapped here.
        const std::string raw = dir.file("law.raw");
        ASSERT_EQ(run_command(join({"sox -D '", wav, "' -t raw -e ", law, " '", raw, "'"})), 0);
        const std::vector<unsigned char> bytes = read_binary_file(raw);
        ASSERT_EQ(bytes.size(), 8000u);
        std::vector<unsigned char> aifc = {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'A', 'I', 'F', 'C', 'C', 'O', 'M', 'M',
                                           0,   0,   0,   24,  0, 1, 0, 0, 0x1F, 0x40, 0, 16,
                                           0x40, 0x0B, 0xFA, 0, 0, 0, 0, 0, 0, 0};   // 8000 Hz
        const char* type = law[0] == 'a' ? "alaw" : "ulaw";
        aifc.insert(aifc.end(), type, type + 4);
        aifc.insert(aifc.end(), {0, 0, 'S', 'S', 'N', 'D', 0, 0, 0x1F, 0x48, 0, 0, 0, 0, 0, 0, 0, 0});
        aifc.insert(aifc.end(), bytes.begin(), bytes.end());
        const std::string path = dir.file("law.aifc");
        write_binary_file(path, aifc.data(), aifc.size());
        EXPECT_EQ(load_sound(path.c_str(), sound_all_channels).samples, in_wav.samples) << law;
    }
    // The standard's tables agree with sox's own decoder on every code.
    for (const char* law : {"a-law", "u-law"}) {
        std::vector<unsigned char> codes(256);
        for (int i = 0; i < 256; i++)
            codes[(size_t)i] = (unsigned char)i;
        const std::string raw = dir.file("codes.raw"), decoded = dir.file("codes.s16");
        write_binary_file(raw, codes.data(), codes.size());
        ASSERT_EQ(run_command(join({"sox -t raw -r 8000 -c 1 -e ", law, " -b 8 '", raw, "' -t raw -e signed -b 16 -L '",
                                    decoded, "'"})),
                  0);
        const std::vector<unsigned char> sox16 = read_binary_file(decoded);
        ASSERT_EQ(sox16.size(), 512u);
        std::vector<unsigned char> file = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0};
        put_le(file, law[0] == 'a' ? 6 : 7, 2);
        put_le(file, 1, 2);
        put_le(file, 8000, 4);
        put_le(file, 8000, 4);
        put_le(file, 1, 2);
        put_le(file, 8, 2);
        file.insert(file.end(), {'d', 'a', 't', 'a', 0, 1, 0, 0});
        file.insert(file.end(), codes.begin(), codes.end());
        const Sound s = load_sound_wav_mem(file.data(), file.size(), 0);
        ASSERT_EQ(s.frames, 256u);
        for (int i = 0; i < 256; i++)
            ASSERT_EQ(s.samples[(size_t)i] * 65536.0f, (float)(int16_t)(sox16[2 * i] | sox16[2 * i + 1] << 8))
                << law << " code " << i;
    }
}

TEST(SndfileRead, PcmReadsTheSameWhicheverReaderTakesIt)
{
    TempDir dir;
    if (!have_program("sox"))
        GTEST_SKIP() << "sox is not installed";
    for (const char* options : {"-b 8 -e unsigned", "-b 16", "-b 24", "-b 32", "-e floating-point -b 32",
                                "-e floating-point -b 64"}) {
        const std::string path = dir.file("t.wav"), aif = dir.file("t.aifc");
        ASSERT_EQ(run_command(join({"sox -n -r 11025 -c 2 ", options, " '", path, "' synth 0.2 sine 300 sine 500 gain -3"})), 0);
        const Sound own = load_sound(path.c_str(), sound_all_channels);
        const Sound library = load_sound_sndfile(path.c_str(), sound_all_channels);
        ASSERT_EQ(own.frames, 2205u) << options;
        EXPECT_EQ(library.frames, own.frames) << options;
        EXPECT_EQ(library.samples, own.samples) << options;
        // Block by block selection gives what selection afterwards gives.
        for (int mode : {sound_mix, sound_right, sound_left_right}) {
            Sound selected = own;
            select_channels(selected, mode);
            EXPECT_EQ(load_sound_sndfile(path.c_str(), mode).samples, selected.samples) << options << " mode " << mode;
        }
        if (strstr(options, "unsigned"))
            continue;   // AIFF has no unsigned samples
        ASSERT_EQ(run_command(join({"sox '", path, "' '", aif, "'"})), 0);
        EXPECT_EQ(load_sound_sndfile(aif.c_str(), sound_all_channels).samples, own.samples) << options;
    }
}

TEST(SndfileRead, RefusalsNameTheFile)
{
    TempDir dir;
    const std::string junk = dir.file("junk.caf");
    write_text_file(junk, std::string(3000, 'x'));
    testing::internal::CaptureStderr();
    EXPECT_TRUE(load_sound(junk.c_str(), 0).samples.empty());
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(log.rfind("junk.caf: not a sound file that can be read (", 0), 0u) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    // A WAV whose format neither our reader nor the library decodes: named, one line.
    std::vector<unsigned char> b = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    put_fmt(b, 1, 8000, 16);
    b[20] = 0x34;   // format 0x1234
    b[21] = 0x12;
    b.insert(b.end(), {'d', 'a', 't', 'a', 4, 0, 0, 0, 1, 2, 3, 4});
    const std::string odd = dir.file("odd.wav");
    write_binary_file(odd, b.data(), b.size());
    testing::internal::CaptureStderr();
    EXPECT_TRUE(load_sound(odd.c_str(), 0).samples.empty());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "odd.wav: WAV format 0x1234 with 16 bits per sample is not supported\n");
    // Files that are not there, or not files.
    for (const char* name : {"none.au", "none.opus"}) {
        testing::internal::CaptureStderr();
        EXPECT_TRUE(load_sound(dir.file(name).c_str(), 0).samples.empty());
        EXPECT_EQ(testing::internal::GetCapturedStderr(), join({"File '", dir.file(name), "' not found.\n"}));
    }
    // Damaged bytes through the memory path of the library give nothing, and no crash.
    std::vector<unsigned char> garbage(777);
    for (size_t i = 0; i < garbage.size(); i++)
        garbage[i] = (unsigned char)(i * 131 + 7);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(load_sound_sndfile_mem(garbage.data(), garbage.size(), 0).samples.empty());
    EXPECT_TRUE(load_sound_opus_mem(garbage.data(), garbage.size(), 0).samples.empty());
    testing::internal::GetCapturedStderr();
}

TEST(SndfileRead, Rf64ReadsAndAHugeOneIsRefusedUpFrontWithItsSize)
{
    TempDir dir;
    // A small RF64 file reads exactly as the WAV of the same samples.
    std::vector<int16_t> samples;
    for (int i = 0; i < 300; i++)
        samples.push_back((int16_t)(i * 211 - 30000));
    std::vector<unsigned char> data;
    for (int16_t v : samples)
        put_le(data, (uint16_t)v, 2);
    const std::vector<unsigned char> small = rf64_file(2, 44100, 16, data, data.size());
    const std::string rf64 = dir.file("small.wav");
    write_binary_file(rf64, small.data(), small.size());
    const std::vector<unsigned char> wav = pcm16_wav(samples, 2, 44100);
    const Sound expected = load_sound_wav_mem(wav.data(), wav.size(), sound_all_channels);
    const Sound s = load_sound(rf64.c_str(), sound_all_channels);
    ASSERT_EQ(s.frames, 150u);
    EXPECT_EQ(s.samples, expected.samples);

    // Three hours at 96 kHz, 24-bit stereo: 6.2 GB, declared in the header of a sparse file
    // (no disk space is used). With a limit below its size it is refused before any sample is
    // read, and the message says what it would take.
    const uint64_t frames = 3ull * 3600 * 96000, bytes = frames * 6;
    const std::vector<unsigned char> head = rf64_file(2, 96000, 24, {}, bytes);
    const std::string huge = dir.file("three_hours.rf64");
    write_binary_file(huge, head.data(), head.size());
    ASSERT_EQ(truncate(huge.c_str(), (off_t)(head.size() + bytes)), 0);
    sound_set_sample_limit(1000000);
    testing::internal::CaptureStderr();
    const Sound refused = load_sound(huge.c_str(), sound_all_channels);
    const Sound refused_mix = load_sound(huge.c_str(), sound_mix);
    const std::string log = testing::internal::GetCapturedStderr();
    sound_set_sample_limit(0);
    EXPECT_TRUE(refused.samples.empty());
    EXPECT_TRUE(refused_mix.samples.empty());
    EXPECT_NE(log.find("three_hours.rf64 holds 1036800000 frames of 2 channels: 2073600000 samples (7.72 GiB)"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("1036800000 frames of 1 channels: 1036800000 samples (3.86 GiB)"), std::string::npos) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
}

TEST(OpusRead, OpusencFileWithinCodecError)
{
    if (!have_program("opusenc"))
        GTEST_SKIP() << "opusenc is not installed: no Opus file to read";
    TempDir dir;
    // Opus decodes at 48 kHz: an original at that rate compares sample for sample.
    std::vector<int16_t> samples;
    for (int i = 0; i < 48000; i++) {
        const double t = i / 48000.0;
        samples.push_back((int16_t)std::lrint(8000 * std::sin(2 * M_PI * 440 * t)));
        samples.push_back((int16_t)std::lrint(6000 * std::sin(2 * M_PI * 700 * t + 0.5)));
    }
    const std::string wav = dir.file("in.wav"), opus = dir.file("voice.opus");
    const std::vector<unsigned char> bytes = pcm16_wav(samples, 2, 48000);
    write_binary_file(wav, bytes.data(), bytes.size());
    ASSERT_EQ(run_command(join({"opusenc --quiet --bitrate 128 '", wav, "' '", opus, "' 2>&1"})), 0);
    const Sound s = load_sound(opus.c_str(), sound_all_channels);
    ASSERT_EQ(s.channels, 2);
    EXPECT_EQ(s.sample_rate, 48000);
    EXPECT_EQ(s.frames, 48000u);   // the encoder's delay is removed by the decoder
    // Full scale -1 .. +1, like the other decoder libraries: the original ×2.
    std::vector<float> left, decoded_left;
    for (size_t i = 0; i < 48000; i++) {
        left.push_back(samples[2 * i] / 32768.0f);
        decoded_left.push_back(s.samples[2 * i]);
    }
    EXPECT_LT(relative_error(left, decoded_left, 1000), 0.05);
    const Sound right = load_sound(opus.c_str(), sound_right);
    ASSERT_EQ(right.frames, s.frames);
    EXPECT_EQ(right.samples[1234], s.samples[2 * 1234 + 1]);
}

}  // namespace

// A compressed recording too long to hold whole streams through libsndfile: for that to be
// invisible, libsndfile must decode FLAC, Ogg Vorbis and MP3 to exactly what our decoder
// readers give.
TEST(SndfileRead, CompressedFilesReadTheSameThroughLibsndfileAsThroughTheirDecoders)
{
    TempDir dir;
    const std::string wav = dir.file("t.wav");
    if (run_command("command -v sox >/dev/null && sox -n -r 44100 -c 2 -b 16 '" + wav +
                    "' synth 2 sine 440 sine 660 gain -6 2>/dev/null") != 0) {
        GTEST_SKIP() << "sox is not installed";
    }
    struct Encoder {
        const char* tool;
        const char* name;
        std::string command;
    };
    const std::vector<Encoder> encoders = {
        {"flac", "t.flac", "flac -s '" + wav + "' -o '" + dir.file("t.flac") + "'"},
        {"oggenc", "t.ogg", "oggenc -Q '" + wav + "' -o '" + dir.file("t.ogg") + "'"},
        {"lame", "t.mp3", "lame --quiet '" + wav + "' '" + dir.file("t.mp3") + "'"},
    };
    int compared = 0;
    for (const Encoder& e : encoders) {
        if (!have_program(e.tool) || run_command(e.command) != 0) {
            printf("%s is not installed: %s not compared\n", e.tool, e.name);
            continue;
        }
        const std::string path = dir.file(e.name);
        Sound decoder = load_sound(path.c_str(), 0);
        std::string not_taken;
        Sound streamed = load_sound_sndfile(path.c_str(), 0, &not_taken);
        EXPECT_EQ(not_taken, "") << e.name;
        ASSERT_GT(decoder.frames, 0u) << e.name;
        EXPECT_EQ(streamed.frames, decoder.frames) << e.name;
        EXPECT_EQ(streamed.sample_rate, decoder.sample_rate) << e.name;
        EXPECT_EQ(streamed.samples, decoder.samples) << e.name;
        compared++;
    }
    if (compared == 0)
        GTEST_SKIP() << "no encoder installed";
}
