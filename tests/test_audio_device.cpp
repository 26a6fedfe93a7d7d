// The SDL audio device: choosing driver and device by name, the format report, the audio
// output window's re-opening and a machine without sound. The real device is SDL's "disk"
// driver, which writes every buffer to a file (what reaches it: test_audio_playback).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "audio/audio_device.h"
#include "disk_audio.h"
#include "support/log.h"

using TestPrefs = AudioTestPrefs;

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
