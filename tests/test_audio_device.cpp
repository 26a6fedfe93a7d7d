// The SDL audio device: choosing driver and device by name, the format report, the audio
// output window's re-opening, a machine without sound, and what reaches the device. Real
// devices are SDL's "disk" driver, which writes every callback's buffer to a file.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "audio/audio_device.h"
#include "support/log.h"
#include "support/prefs.h"
#include "testlib.h"

namespace {

struct TestPrefs {
    TempDir dir;
    PrefStore store;
    explicit TestPrefs(const std::string& audio_lines = "")
    {
        write_text_file(dir.file("config.txt"),
                        SONOGRAPHICA_PREF_TITLE "\n\nAudio output\n" + audio_lines);
        pref_open(store, dir.file("config.txt"));
    }
    std::string file()
    {
        pref_wait(store);
        return read_text_file(dir.file("config.txt"));
    }
};

// The disk driver writes to `path`, pausing 1 ms per buffer instead of real time.
void use_disk_file(const std::string& path)
{
    setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "1", 1);
}

bool wait_for_callbacks(const AudioOutput& out, long long n)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (out.callbacks < n)
        if (std::chrono::steady_clock::now() > end)
            return false;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return true;
}

}  // namespace

TEST(AudioDevice, NamesMatchCaseInsensitivelyWithFallbacks)
{
    std::vector<std::string> drivers = {"directsound", "winmm", "wasapi", "wasapi2"};
    EXPECT_EQ(audio_default_driver(drivers), 2);
    EXPECT_EQ(audio_match_name(drivers, "WASAPI", 0), 2);
    EXPECT_EQ(audio_match_name(drivers, "MM", 2), 1);
    EXPECT_EQ(audio_match_name(drivers, "pulse", 2), 2);
    // The default is the exact name only; without it, the first driver.
    EXPECT_EQ(audio_default_driver({"pulseaudio", "alsa", "Wasapi"}), 0);
    EXPECT_EQ(audio_default_driver({}), -1);

    std::vector<std::string> devices = {"HDMI Output", "Built-in Audio Analog Stereo", "USB Headset"};
    EXPECT_EQ(audio_match_name(devices, "analog", 0), 1);
    EXPECT_EQ(audio_match_name(devices, "headset", 0), 2);
    EXPECT_EQ(audio_match_name(devices, "Speakers (Realtek)", 0), 0);
    EXPECT_EQ(audio_match_name({}, "anything", 0), 0);
}

TEST(AudioDevice, FormatReportAndWindowMessages)
{
    SDL_AudioSpec want, got;
    memset(&want, 0, sizeof want);
    want.freq = 44100;
    want.format = AUDIO_F32LSB;
    want.channels = 2;
    want.samples = 1024;
    got = want;
    EXPECT_EQ(audio_format_report(want, got), "");
    got.freq = 48000;
    got.format = AUDIO_S16LSB;
    got.channels = 6;
    got.samples = 480;
    EXPECT_EQ(audio_format_report(want, got),
              "Error: sdlaudioformat.freq\t> wanted :  44100\tobtained :  48000\n"
              "Error: sdlaudioformat.format\t> wanted :   8120\tobtained :   8010\n"
              "Error: sdlaudioformat.channels\t> wanted :      2\tobtained :      6\n"
              "sdlaudioformat.samples\t> wanted :   1024\tobtained :    480\n");

    EXPECT_EQ(audio_reopen_message(44100, 44100, 1024, 1024, 44100, 44100), "");
    EXPECT_EQ(audio_reopen_message(44100, 48000, 1024, 1056, 44100, 22050),
              "The internal sample rate of 44100 Hz is converted to 48000 Hz. If you don't want such "
              "resampling try changing the requested sample rate to 48000 Hz.\n"
              "\n"
              "The audio buffer size is 1056 samples instead of the requested 1024 samples.\n"
              "\n"
              "You should probably relaunch Sonographica after changing the sample rate.\n");
    EXPECT_EQ(audio_reopen_message(96000, 96000, 512, 512, 96000, 44100),
              "You should probably relaunch Sonographica after changing the sample rate.\n");
}

TEST(AudioDevice, PreferredDriverAndDeviceOpenedAndBufferStored)
{
    TempDir files;
    use_disk_file(files.file("out.raw"));
    TestPrefs prefs("\tBuffer length: 512 samples\n\tPreferred driver: DISK\n"
                    "\tPreferred device: no such device\n");
    AudioOutput out;
    out.buffer_length = 512;
    ASSERT_TRUE(audio_start_output(out, prefs.store));
    EXPECT_EQ(out.driver_name, "disk");
    EXPECT_STREQ(SDL_GetCurrentAudioDriver(), "disk");
    // Matching no device falls back to device 0.
    ASSERT_FALSE(audio_device_names().empty());
    EXPECT_EQ(out.device_name, audio_device_names()[0]);
    EXPECT_NE(out.device, 0u);
    EXPECT_EQ(out.buffer_length, 512);
    EXPECT_GE(out.work.size(), 512u);
    // Unpaused at once: silence flows while nothing is playing.
    EXPECT_TRUE(wait_for_callbacks(out, 3));
    audio_close(out);
    std::string text = prefs.file();
    EXPECT_NE(text.find("\tBuffer length: 512 samples\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\tPreferred device: no such device\n"), std::string::npos) << text;
    // Read on the way: the limiter's settings, so the audio thread never reads the file.
    EXPECT_NE(text.find("\t\tThreshold: -6 dB\n"), std::string::npos) << text;
    std::vector<unsigned char> raw = read_binary_file(files.file("out.raw"));
    EXPECT_GE(raw.size(), 3u * 512 * 8);
    for (unsigned char b : raw)
        ASSERT_EQ(b, 0);
}

TEST(AudioDevice, ReopeningClampsAndStoresWhatWasGranted)
{
    TempDir files;
    use_disk_file(files.file("out.raw"));
    TestPrefs prefs("\tPreferred driver: disk\n");
    AudioOutput out;
    ASSERT_TRUE(audio_start_output(out, prefs.store));

    std::string msg = audio_reopen_device(out, prefs.store, 0, 500000, 100, 44100);
    EXPECT_EQ(msg, "You should probably relaunch Sonographica after changing the sample rate.\n");
    EXPECT_EQ(out.sample_rate, 384000);
    EXPECT_EQ(out.buffer_length, 200);
    EXPECT_NE(out.device, 0u);
    EXPECT_TRUE(wait_for_callbacks(out, 2));
    std::string text = prefs.file();
    EXPECT_NE(text.find("\tSample rate: 384000 Hz\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\tBuffer length: 200 samples\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\tPreferred driver: disk\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\tPreferred device: " + out.device_name + "\n"), std::string::npos) << text;

    // Already at the top rate when the window opened: nothing to say.
    msg = audio_reopen_device(out, prefs.store, 7, 1000000, 100000, 384000);
    EXPECT_EQ(msg, "");
    EXPECT_EQ(out.sample_rate, 384000);
    EXPECT_EQ(out.buffer_length, 32768);
    msg = audio_reopen_device(out, prefs.store, 0, 10, 1024, 384000);
    EXPECT_EQ(out.sample_rate, 8000);
    EXPECT_EQ(msg, "You should probably relaunch Sonographica after changing the sample rate.\n");
    audio_close(out);
    EXPECT_EQ(out.device, 0u);
}

TEST(AudioDevice, NoDeviceIsOneLineAndNoWait)
{
    // The disk driver cannot create its file: a driver without a usable device.
    use_disk_file("/nonexistent-folder/sub/out.raw");
    TestPrefs prefs("\tPreferred driver: disk\n");
    TempDir logs;
    ASSERT_EQ(log_open(logs.path.c_str()), 1);
    AudioOutput out;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(audio_start_output(out, prefs.store));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
    log_close();
    EXPECT_EQ(out.device, 0u);
    std::string log = read_text_file(logs.file("logfile.txt"));
    size_t body = log.find("Output log\n\n");
    ASSERT_NE(body, std::string::npos);
    std::string lines = log.substr(body + 12);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1) << lines;
    EXPECT_EQ(lines.rfind("No audio output: ", 0), 0u) << lines;
    // The window's "Apply" on such a machine says so and stores nothing.
    std::string before = prefs.file();
    std::string msg = audio_reopen_device(out, prefs.store, 0, 48000, 1024, 44100);
    EXPECT_EQ(msg.rfind("The audio device could not be opened: ", 0), 0u) << msg;
    EXPECT_EQ(prefs.file(), before);
    audio_close(out);
}

namespace {

// A tone that crosses the limiter's threshold, frame by frame across callbacks.
struct Tone {
    long long frame = 0;
};
float tone_sample(long long n, int channel)
{
    double env = (n / 20000) % 2 ? 0.9 : 0.2;
    return (float)(env * std::sin(0.01 * n + channel));
}
void play_tone(AudioOutput& out, float* stereo, int frames)
{
    Tone& t = *(Tone*)out.user;
    for (int i = 0; i < frames; i++, t.frame++)
        for (int c = 0; c < 2; c++)
            stereo[2 * i + c] = tone_sample(t.frame, c);
}

}  // namespace

TEST(AudioDevice, WhatIsPlayedPassesTheLimiterIntoTheDevice)
{
    TempDir files;
    use_disk_file(files.file("out.raw"));
    TestPrefs prefs("\tBuffer length: 256 samples\n\tPreferred driver: disk\n");
    AudioOutput out;
    out.buffer_length = 256;
    Tone tone;
    out.fill = play_tone;
    out.user = &tone;
    ASSERT_TRUE(audio_start_output(out, prefs.store));
    ASSERT_TRUE(wait_for_callbacks(out, 400));
    audio_close(out);

    // The driver writes silence while the device is still paused; the tone follows.
    std::vector<unsigned char> raw = read_binary_file(files.file("out.raw"));
    ASSERT_EQ(raw.size() % (256 * 8), 0u);
    std::vector<float> got(raw.size() / 4);
    memcpy(got.data(), raw.data(), raw.size());
    size_t start = 0;
    while (start < got.size() && got[start] == 0.0f)
        start++;
    size_t lead = start / 2;
    ASSERT_EQ(lead % 256, 0u);
    size_t frames = got.size() / 2 - lead;
    ASSERT_GE(frames, 390u * 256);
    std::vector<float> want(frames * 2);
    for (size_t n = 0; n < frames; n++)
        for (int c = 0; c < 2; c++)
            want[2 * n + c] = tone_sample((long long)n, c);
    LimiterState lim;
    limiter_load_prefs(lim, prefs.store);
    limit_volume(want.data(), 2, (int)frames, 44100, lim);
    EXPECT_EQ(0, memcmp(got.data() + 2 * lead, want.data(), frames * 8));
    // The loud stretches were limited, the quiet ones before them were not.
    const float* played = got.data() + 2 * lead;
    EXPECT_LT(std::fabs(played[2 * 30000]), 0.51f);
    EXPECT_GT(std::fabs(tone_sample(30000, 0)), 0.6f);
    EXPECT_EQ(played[2 * 1000 + 1], tone_sample(1000, 1));
}
