// Saving the project's sound on a worker thread: progress, cancelling, one save at a time,
// and names no writer takes refused before any rendering.
#include <gtest/gtest.h>

#include <dirent.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "commands/app.h"
#include "commands/archive_read.h"
#include "commands/sound_save_job.h"
#include "media/sound_read.h"
#include "project/project_synthesis.h"
#include "stderr_capture.h"
#include "support/paths.h"
#include "testlib.h"

namespace {

std::vector<std::string> names_in(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

struct SoundSaveTest : ::testing::Test {
    TempDir dir;
    App app;
    void SetUp() override { app.history.enabled = false; }
    // A picture of `columns` at 100 px/s with a few bright bands, so that it sounds.
    void project(int columns, int rows = 60)
    {
        const std::string size = std::to_string(columns) + " px x " + std::to_string(rows) + " px";
        for (const std::string line : {std::string("Clear image"), "Dimensions " + size, std::string("New layer \"a\"")})
            execute_archive_line(app, line, nullptr);
        ASSERT_EQ(app.project.width, columns);
        Project& p = app.project;
        for (int r = 5; r < rows; r += 17)
            for (int c = 0; c < columns; c++)
                p.layers[0].image[r][c] = 0.5f + 0.5f * std::sin(c * 0.05f);
        p.recomposite_needed = true;
    }
    // Polls the job as the window does until it ends; returns its outcome.
    int wait(double seconds = 60)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        int outcome;
        while ((outcome = sound_save_poll(app.sound_save)) == sound_save_running &&
               std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return outcome;
    }
};

void note(void* user, double fraction) { ((std::vector<double>*)user)->push_back(fraction); }

}  // namespace

TEST_F(SoundSaveTest, ACompletedSaveReadsBackAndItsProgressRisesToOne)
{
    project(3000);
    // The renderer's progress, block by block: never falling, from above 0 up to exactly 1.
    SoundRenderSnapshot snapshot;
    ASSERT_TRUE(snapshot_project_sound(app.project, snapshot, synthesis_noise));
    snapshot.input.threads = 1;  // every block then reports on this thread
    std::vector<double> seen;
    std::vector<float> rendered;
    ASSERT_TRUE(render_sound_snapshot(snapshot, rendered, nullptr, note, &seen, nullptr));
    ASSERT_GE(seen.size(), 3u);
    EXPECT_GT(seen.front(), 0.0);
    EXPECT_LT(seen.front(), 1.0);
    EXPECT_EQ(seen.back(), 1.0);
    for (size_t i = 1; i < seen.size(); i++)
        EXPECT_GE(seen[i], seen[i - 1]);

    for (const char* name : {"tune.wav", "tune.aif"}) {
        const std::string path = dir.file(name);
        ASSERT_TRUE(sound_save_start(app, app.sound_save, path));
        EXPECT_EQ(wait(), sound_save_written);
        EXPECT_EQ(app.sound_save.progress.load(), 1.0);
        EXPECT_EQ(sound_save_poll(app.sound_save), sound_save_idle);  // the outcome is given once
        Sound s = load_sound(path.c_str(), sound_mix);
        ASSERT_EQ(s.channels, 1) << name;
        EXPECT_EQ(s.sample_rate, app.project.sample_rate);
        EXPECT_EQ(s.frames, rendered.size()) << name;
        float peak = 0;
        for (float v : s.samples)
            peak = std::max(peak, std::fabs(v));
        EXPECT_GT(peak, 0.1f) << name;
        EXPECT_LE(peak, 1.0f) << name;
    }
    EXPECT_EQ(names_in(dir.path).size(), 2u);  // the two files, no temporary
}

TEST_F(SoundSaveTest, ACancelledSaveLeavesNothingAndAnEarlierFileWhole)
{
    // Long enough that the render is still going when the cancel comes.
    project(60000, 120);
    const std::string path = dir.file("long.wav");
    ASSERT_TRUE(sound_save_start(app, app.sound_save, path));
    ASSERT_TRUE(sound_save_cancel(app.sound_save));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(wait(), sound_save_cancelled);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
    EXPECT_FALSE(file_exists(path));
    EXPECT_TRUE(names_in(dir.path).empty());
    EXPECT_FALSE(sound_save_cancel(app.sound_save));  // nothing runs any more

    // A file already under the name survives a cancelled save untouched, and the program
    // closing while a save runs stops it the same way.
    write_text_file(path, "the earlier take");
    ASSERT_TRUE(sound_save_start(app, app.sound_save, path));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    sound_save_stop(app.sound_save);
    EXPECT_FALSE(app.sound_save.running.load());
    EXPECT_EQ(read_text_file(path), "the earlier take");
    EXPECT_EQ(names_in(dir.path), std::vector<std::string>{"long.wav"});
}

TEST_F(SoundSaveTest, OneSaveAtATimeAndUnwritableNamesRefusedBeforeRendering)
{
    project(200);
    StderrCapture err;
    // A format the program reads but cannot write: refused at once, nothing rendered.
    const int failed = app.archive.failed_lines;
    execute_archive_line(app, "Save \"" + dir.file("x.mp3") + "\"", nullptr);
    EXPECT_EQ(app.archive.failed_lines, failed + 1);
    std::string log = err.take();
    EXPECT_NE(log.find("x.mp3: sounds are saved as WAV, AIFF or FLAC files only"), std::string::npos) << log;
    EXPECT_EQ(log.find("Rendering"), std::string::npos) << log;
    EXPECT_FALSE(sound_save_start(app, app.sound_save, dir.file("y.ogg")));
    EXPECT_FALSE(app.sound_save.running.load());
    EXPECT_TRUE(names_in(dir.path).empty());

    // While one save runs, a second (by the window or by an archive line) is refused.
    project(60000, 120);
    ASSERT_TRUE(sound_save_start(app, app.sound_save, dir.file("first.wav")));
    EXPECT_FALSE(sound_save_start(app, app.sound_save, dir.file("second.wav")));
    execute_archive_line(app, "Save \"" + dir.file("first.png") + "\"", nullptr);
    log = err.take();
    EXPECT_NE(log.find("first.wav is being saved"), std::string::npos) << log;
    EXPECT_FALSE(file_exists(dir.file("first.png")));
    sound_save_cancel(app.sound_save);
    EXPECT_EQ(wait(), sound_save_cancelled);
    // Once it is over, saving works again.
    execute_archive_line(app, "Save \"" + dir.file("first.png") + "\"", nullptr);
    EXPECT_TRUE(file_exists(dir.file("first.png")));
    err.finish();
}
