// sonographica-cli --play as a user meets it, with SDL's "disk" driver as the sound card:
// played to the end in the project's mode, the position line, Ctrl+C, and a machine without
// sound.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "commands/app.h"
#include "archive_test_util.h"
#include "disk_audio.h"
#include "commands/archive_write.h"

namespace {

// A data folder whose settings send sound to the disk driver, and a status file holding a
// 40 x 24 picture: 4 s at 10 columns a second and 8 kHz.
struct PlayFixture {
    TempDir data;
    std::string archive = data.file("tones.sga");
    std::string raw = data.file("heard.raw");

    // `mode`: "noise", "live" or "lossless" (with an original sound and its picture).
    explicit PlayFixture(const std::string& mode = "noise", const std::string& raw_path = "")
    {
        if (!raw_path.empty())
            raw = raw_path;
        write_text_file(data.file("config.txt"), SONOGRAPHICA_PREF_TITLE "\n\nAudio output\n"
                                                 "\tSample rate: 8000 Hz\n\tBuffer length: 256 samples\n"
                                                 "\tPreferred driver: disk\n");
        App app;
        app.history.enabled = false;
        app.project.sample_rate = 8000;
        run_lines(app, "Frequency range 100 Hz - 3000 Hz\nTime resolution 10 px/s\nDimensions 40 px x 24 px\n"
                       "New layer \"Tones\"");
        Project& p = app.project;
        for (int y = 0; y < 24; y++)
            for (int x = 0; x < 40; x++)
                p.layers[0].image[y][x] = (float)((x + 3 * y) % 7 + 1) / 7.0f;
        p.live_synthesis = mode == "live";
        if (mode == "lossless") {
            std::vector<float> sound(32000);
            for (int t = 0; t < 32000; t++)
                sound[t] = 0.3f * std::sin(0.05f * (float)t) + 0.2f * std::sin(0.31f * (float)t);
            EXPECT_TRUE(set_original_sound(p, sound, 32000));
            p.original_image = image_copy(p.layers[0].image, 24, 40);
            p.original_image_width = 40;
            p.original_image_height = 24;
            p.lossless = true;
        }
        EXPECT_TRUE(write_status_file(app, archive));
        if (mode == "noise") {
            // Reading "Synthesis noise" switches live synthesis on, as the editor's own
            // archives expect; a project in noise mode is one without the line.
            std::string text = read_text_file(archive);
            size_t at = text.find("Synthesis noise\n");
            EXPECT_NE(at, std::string::npos);
            text.erase(at, 16);
            write_text_file(archive, text);
        }
    }
    // The command with the environment that the disk driver and the data folder need.
    // The disk driver pauses `delay_ms` per 256-frame buffer: 32 is real time, 8 four times as fast.
    std::string command(const std::string& args, int delay_ms = 8)
    {
        return "env SONOGRAPHICA_DATA_DIR='" + data.path + "' SDL_DISKAUDIOFILE='" + raw + "' SDL_DISKAUDIODELAY=" +
               std::to_string(delay_ms) + " " + cli_path() + " " + args + " 2>" + data.file("stderr.txt");
    }
    std::string errors() { return read_text_file(data.file("stderr.txt")); }
    // Frames from the first to the last sound the device was given.
    long long sounding_frames()
    {
        std::vector<float> v = read_disk_file(raw);
        long long first = -1, last = -1;
        for (size_t i = 0; i < v.size(); i++)
            if (v[i] != 0.0f) {
                if (first < 0)
                    first = (long long)i;
                last = (long long)i;
            }
        return first < 0 ? 0 : (last - first) / 2 + 1;
    }
};

}  // namespace

TEST(CliPlay, PlaysOnceToTheEndInTheProjectsMode)
{
    for (std::string mode : {"noise", "live", "lossless"}) {
        PlayFixture f(mode);
        std::string out;
        auto t0 = std::chrono::steady_clock::now();
        ASSERT_EQ(run_command(f.command("--play '" + f.archive + "' --info"), &out), 0) << f.errors();
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));
        EXPECT_NE(out.find("\"synthesis\": \"" + mode + "\""), std::string::npos) << out;
        // 32,000 samples of sound at most, and not much less: the picture sounds from end to end.
        long long n = f.sounding_frames();
        EXPECT_LE(n, 32000) << mode;
        EXPECT_GT(n, 30000) << mode;
        // One line that refreshes, ending at the duration.
        std::string err = f.errors();
        EXPECT_NE(err.find("\r"), std::string::npos) << err;
        EXPECT_NE(err.find(" / 4\"000"), std::string::npos) << err;
        EXPECT_NE(err.find("4\"000 / 4\"000"), std::string::npos) << err;
    }
}

TEST(CliPlay, CtrlCStopsPlayingAtOnce)
{
    PlayFixture f;
    // The disk driver in real time (256 frames at 8 kHz: 32 ms a buffer): 4 s to play.
    std::string out;
    auto t0 = std::chrono::steady_clock::now();
    int status = run_command("timeout --preserve-status -s INT 1 sh -c \"exec " + f.command("--play '" + f.archive + "'", 32) + "\"", &out);
    auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_EQ(status, 130) << f.errors();
    EXPECT_LT(took, std::chrono::milliseconds(2500));
    EXPECT_LT(f.sounding_frames(), 20000);
}

TEST(CliPlay, WithoutASoundCardOneLineAndNoWait)
{
    PlayFixture f("noise", "/nonexistent-folder/sub/heard.raw");
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(run_command(f.command("--play '" + f.archive + "'")), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
    // Only SDL's own notice of its disk driver besides our one line.
    std::string err = f.errors(), ours;
    size_t start = 0;
    while (start < err.size()) {
        size_t end = err.find('\n', start);
        std::string line = err.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (line.rfind("CRITICAL:", 0) != 0)
            ours += line + "\n";
        start = end == std::string::npos ? err.size() : end + 1;
    }
    EXPECT_EQ(std::count(ours.begin(), ours.end(), '\n'), 1) << ours;
    EXPECT_EQ(ours.rfind("No audio output: ", 0), 0u) << ours;

    // And a file that cannot be opened is said as plainly, before any sound card is tried.
    EXPECT_EQ(run_command(f.command("--play '" + f.data.file("missing.sga") + "'")), 1);
    EXPECT_NE(f.errors().find("--play: the line could not be carried out: Open"), std::string::npos) << f.errors();
    EXPECT_EQ(f.errors().find("No audio output"), std::string::npos) << f.errors();
}
