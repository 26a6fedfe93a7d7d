// A load started from the interface: cancelled mid-analysis it leaves the project and the
// history as they were; completed, it records its lines in the order of what happened.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "commands/app.h"
#include "commands/archive_read.h"
#include "commands/history.h"
#include "commands/import.h"
#include "engine/analysis.h"
#include "media/image_write.h"
#include "media/sound_write.h"
#include "testlib.h"

namespace {

// What a load must not change: every layer's name and pixels, the size, the original sound.
struct State {
    int width = 0, height = 0, current = 0;
    std::vector<std::string> names;
    std::vector<std::vector<float>> pixels;
    std::vector<float> original_sound;
    explicit State(const Project& p) : width(p.width), height(p.height), current(p.current_layer)
    {
        for (const Layer& l : p.layers) {
            names.push_back(l.name);
            std::vector<float> v;
            for (int y = 0; l.image && y < p.height; y++)
                v.insert(v.end(), l.image[y], l.image[y] + p.width);
            pixels.push_back(v);
        }
        original_sound = p.original_sound;
    }
    bool operator==(const State&) const = default;
};

void write_tone(const std::string& path, double seconds)
{
    const int rate = 44100, n = (int)(seconds * rate);
    std::vector<float> s((size_t)n);
    for (int i = 0; i < n; i++)
        s[(size_t)i] = (float)(0.4 * std::sin(2 * M_PI * 440.0 * i / rate) + 0.2 * std::sin(2 * M_PI * 97.0 * i / rate));
    ASSERT_TRUE(save_sound_file(path, s.data(), s.size(), rate));
}

struct LoadCancelTest : ::testing::Test {
    TempDir dir;
    App app;
    void SetUp() override
    {
        app.history.path = dir.file("history.sga");
        app.history.tick_ms = [] { return 1LL; };
    }
    std::string history()
    {
        fflush(nullptr);
        return read_text_file(app.history.path);
    }
    template <class F>
    bool within(double seconds, F done)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (!done() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return done();
    }
};

}  // namespace

TEST_F(LoadCancelTest, ACancelledOpenLeavesTheProjectAndTheHistoryAsTheyWere)
{
    // A project with some history and pixels of its own.
    record_line(app, record_action, 1, nullptr, "Clear image\nDimensions 50 px x 20 px\nNew layer \"mine\"");
    app.project.layers[0].image[3][7] = 0.75f;
    record_line(app, record_action, 1, nullptr, "New layer \"second\"");
    const State before(app.project);
    const std::string history_before = history();
    ASSERT_FALSE(history_before.empty());

    // Many fine bands, so that the analysis is still under way when the cancel comes.
    const std::string sound = dir.file("long.wav");
    write_tone(sound, 40);
    app.project.pitch_resolution = 240;
    app.project.analysis_time_resolution = 400;
    ASSERT_TRUE(open_file_from_interface(app, sound, history_restart_import_dialog));
    ASSERT_TRUE(app.load.in_flight.load());
    ASSERT_TRUE(within(60, [&] { return analysis_progress.load() > 0.02 || app.load.done.load(); }));
    ASSERT_FALSE(app.load.done.load()) << "the analysis ended before it could be cancelled";
    ASSERT_TRUE(cancel_load(app));
    const auto asked = std::chrono::steady_clock::now();
    ASSERT_TRUE(within(10, [&] { return app.load.done.load(); }));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count(), 2.0);
    EXPECT_LT(analysis_progress.load(), 1.0);
    const int failed = app.archive.failed_lines;
    complete_load(app);

    EXPECT_FALSE(app.load.in_flight.load());
    EXPECT_TRUE(app.load.path.empty());
    EXPECT_EQ(app.archive.failed_lines, failed);  // the user's choice, not a failure
    EXPECT_TRUE(State(app.project) == before);
    EXPECT_EQ(app.project.layers[0].image[3][7], 0.75f);
    EXPECT_EQ(history(), history_before);
    EXPECT_FALSE(cancel_load(app));  // nothing left to cancel

    // The next load is not cancelled by the last one's request, and records as usual: the
    // history starts afresh with its lines once the file is in.
    const std::string short_sound = dir.file("short.wav");
    write_tone(short_sound, 1);
    app.project.pitch_resolution = 60;
    app.project.analysis_time_resolution = 100;
    ASSERT_TRUE(open_file_from_interface(app, short_sound, history_restart_import_dialog));
    EXPECT_EQ(history(), history_before);  // nothing recorded while it loads
    ASSERT_TRUE(within(60, [&] { return app.load.done.load(); }));
    complete_load(app);
    EXPECT_EQ(app.project.width, 100);
    const std::string h = history();
    EXPECT_EQ(h.find("New layer \"second\""), std::string::npos) << h;
    EXPECT_EQ(h.rfind("Sonographica Archive", 0), 0u) << h;
    EXPECT_NE(h.find("Analysis pitch resolution 60 px/octave\n"), std::string::npos) << h;
    EXPECT_NE(h.find("Open \"" + short_sound + "\"\n\n"), std::string::npos) << h;
}

TEST_F(LoadCancelTest, ALoadLineTypedWhileALoadRunsIsRecordedAfterIt)
{
    const std::string sound = dir.file("tune.wav"), picture = dir.file("small.tif");
    write_tone(sound, 3);
    std::vector<float> px(20 * 10, 0.5f);
    ASSERT_TRUE(save_image_tiff(picture, px.data(), 20, 10, 1, 32));
    ASSERT_TRUE(open_file_from_interface(app, sound));
    // As the console records and runs a line: the running load is finished first, so the
    // history replays in the order the project changed.
    record_line(app, record_action, 1, nullptr, "Import \"%s\" hcrop vcrop", picture.c_str());
    complete_load(app);
    ASSERT_EQ(app.project.layers.size(), 2u);
    const std::string h = history();
    const size_t open = h.find("Open \"" + sound + "\""), import = h.find("Import \"" + picture + "\"");
    ASSERT_NE(open, std::string::npos) << h;
    ASSERT_NE(import, std::string::npos) << h;
    EXPECT_LT(open, import) << h;

    // A load that fails records nothing.
    const std::string before = history();
    EXPECT_FALSE(open_file_from_interface(app, dir.file("missing.wav")));
    complete_load(app);
    EXPECT_EQ(history(), before);
    EXPECT_TRUE(app.load.records.empty());
}
