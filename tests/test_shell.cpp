// The desktop program driven headless: SDL's offscreen video driver, the dummy audio driver,
// the frame loop run in-process or the built program run as a user would.
#include <gtest/gtest.h>

#include <stb/stb_image.h>

#include <cmath>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <mutex>

#include "app/interface_images.h"
#include "app/shell.h"
#include "commands/archive_read.h"
#include "commands/history.h"
#include "engine/synthesis_workers.h"
#include "media/sound_write.h"
#include "stderr_capture.h"
#include "support/log.h"
#include "support/paths.h"
#include "headless_shell.h"
#include "testlib.h"

namespace {

// A sound loud in its first half and silent in its second.
std::string write_half_tone(const TempDir& dir)
{
    const int rate = 44100;
    std::vector<float> s((size_t)rate * 2, 0.0f);
    for (int i = 0; i < rate; i++)
        s[(size_t)i] = 0.5f * std::sin(2.0 * M_PI * 440.0 * i / rate) + 0.3f * std::sin(2.0 * M_PI * 1760.0 * i / rate);
    std::string path = dir.file("half.wav");
    EXPECT_TRUE(save_sound_file(path, s.data(), s.size(), rate));
    return path;
}

std::vector<std::string> files_in(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.')
                names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

using ShellRun = HeadlessShell;

float layer_sum(Project& p)
{
    double sum = 0;
    Image im = p.layers.at((size_t)p.current_layer).image;
    for (int r = 0; r < p.height; r++)
        for (int c = 0; c < p.width; c++)
            sum += im[r][c];
    return (float)sum;
}

}  // namespace

TEST(Shell, CommandLineFileRule)
{
    EXPECT_EQ(command_line_file({"sonographica", "song.wav"}), "song.wav");
    EXPECT_EQ(command_line_file({"sonographica", "-psn_0_1", "song.wav"}), "song.wav");
    EXPECT_EQ(command_line_file({"sonographica", "-psn_0_1"}), "");
    EXPECT_EQ(command_line_file({"sonographica"}), "");
}

TEST(Shell, StartUpFillsTheDataFolderAndOpensTheCommandLineFile)
{
    TempDir sounds;
    const std::string wav = write_half_tone(sounds);
    ShellRun run({wav});
    ASSERT_TRUE(run.started);
    // Preferences and the log exist before the first frame; the history once the file opened.
    std::vector<std::string> before = files_in(run.data.path);
    EXPECT_NE(std::find(before.begin(), before.end(), "config.txt"), before.end());
    EXPECT_NE(std::find(before.begin(), before.end(), "logfile.txt"), before.end());
    ASSERT_TRUE(run.frames_until([&] { return run.loaded(); }));
    EXPECT_TRUE(run.sh->app.opened_from_command_line);
    EXPECT_EQ(run.sh->app.current_file, wav);
    std::string history = read_text_file(run.data.file("history.sga"));
    EXPECT_NE(history.find("Open \"" + wav + "\""), std::string::npos) << history;
    // The analysis lines come before the Open line, so that a replay analyses alike.
    EXPECT_LT(history.find("Analysis"), history.find("Open \""));
    EXPECT_NE(read_text_file(run.data.file("logfile.txt")).find("Opening file : " + wav), std::string::npos);
    // The view shows the whole picture.
    EXPECT_EQ(run.sh->app.view.visible_columns, run.sh->app.project.width);
    EXPECT_EQ(run.sh->app.view.visible_rows, run.sh->app.project.height);
}

TEST(Shell, ReloadAsksToSaveFirst)
{
    TempDir sounds;
    const std::string wav = write_half_tone(sounds);
    for (bool yes : {false, true}) {
        ShellRun run({wav});
        ASSERT_TRUE(run.frames_until([&] { return run.loaded(); }));
        // The first opening had nothing to save: no question.
        EXPECT_EQ(run.questions, 0);
        run.answer_yes = yes;
        run.sh->app.requests.reload = 1;
        shell_frame(*run.sh);
        EXPECT_EQ(run.questions, 1);
        EXPECT_EQ(run.last_question, "Save before closing");
        // Yes: the save window, then the save chooser answered with a name; the reopening
        // waits for the file.
        static std::string chosen;
        chosen = sounds.file("kept.sga");
        run.sh->ui.chooser.hook = [](void*, const FileChooserRequest&, std::string* path) {
            *path = chosen;
            return true;
        };
        if (yes) {
            ASSERT_TRUE(run.frames_until([&] { return run.sh->ui.save_format.open; }));
            EXPECT_FALSE(file_exists(chosen));
            save_format_proceed(run.sh->ui.save_format, run.sh->ui.chooser);
        }
        ASSERT_TRUE(run.frames_until([&] { return run.loaded() && run.sh->deferred_reopen <= 0 && !run.sh->ui.save_format.open; }));
        EXPECT_EQ(file_exists(chosen), yes);
        // Reopened either way: the history starts again with the file's Open line.
        std::string history = read_text_file(run.data.file("history.sga"));
        EXPECT_NE(history.find("Open \"" + wav + "\""), std::string::npos);
        EXPECT_EQ(run.questions, 1);
    }
}

TEST(Shell, UndoTwiceReturnsToTheEditedPicture)
{
    TempDir sounds;
    ShellRun run({write_half_tone(sounds)});
    ASSERT_TRUE(run.frames_until([&] { return run.loaded(); }));
    Project& p = run.sh->app.project;
    const float original = layer_sum(p);
    execute_archive_line(run.sh->app, "Operation invert", nullptr);
    const float edited = layer_sum(p);
    ASSERT_NE(edited, original);
    run.sh->app.requests.undo = 1;
    shell_frame(*run.sh);
    EXPECT_EQ(layer_sum(p), original);
    run.sh->app.requests.undo = 1;
    shell_frame(*run.sh);
    EXPECT_EQ(layer_sum(p), edited);
    EXPECT_NE(read_text_file(run.data.file("history.sga")).find("Undo"), std::string::npos);
}

TEST(Shell, ShutdownDuringPlaybackStopsTheWorkers)
{
    TempDir sounds;
    auto run = std::make_unique<ShellRun>(std::vector<std::string>{write_half_tone(sounds)});
    ASSERT_TRUE(run->frames_until([&] { return run->loaded(); }));
    Shell& sh = *run->sh;
    // Block synthesis, so that workers render while it plays.
    sh.app.project.live_synthesis = false;
    sh.app.project.content_changed = content_pixels;
    sh.app.requests.play = 1;
    ASSERT_TRUE(run->frames_until([&] { return sh.app.playback.play_state != play_stopped; }));
    EXPECT_FALSE(sh.app.playback.workers.empty());
    run.reset();  // shutdown: joins everything or hangs the test
    SUCCEED();
}

TEST(Shell, MissingInterfacePicturesAreLoggedAndTheProgramRuns)
{
    TempDir empty;
    InterfaceImages g;
    {
        StderrCapture err;
        interface_images_load(g, empty.path, 1);
        std::string text = err.finish();
        EXPECT_NE(text.find("File not found: " + empty.path + "/palette.png"), std::string::npos) << text;
        EXPECT_NE(text.find("font/font16.png"), std::string::npos);
    }
    EXPECT_GT(g.missing, 0);
    EXPECT_EQ(palette_colour(g, 3, 0x12345678u), 0x12345678u);

    // The built program copied somewhere without its pictures still runs its frames.
    TempDir app, data;
    ASSERT_EQ(run_command("cp '" SONO_APP_PATH "' '" + app.path + "/sonographica'"), 0);
    std::string out;
    int status = run_command("SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy SONOGRAPHICA_DATA_DIR='" + data.path +
                                 "' SONOGRAPHICA_EXIT_AFTER_FRAMES=3 SONOGRAPHICA_SCREENSHOT='" + app.path +
                                 "/shot.png' '" + app.path + "/sonographica' 2>&1",
                             &out);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("File not found"), std::string::npos) << out;
    EXPECT_TRUE(file_exists(app.path + "/shot.png"));
}

TEST(Shell, HeadlessScreenshotShowsThePictureAndTheMenuBar)
{
    TempDir dir, data;
    const std::string wav = write_half_tone(dir);
    const std::string shot = dir.file("shot.png");
    std::string out;
    int status = run_command("SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy SONOGRAPHICA_DATA_DIR='" + data.path +
                                 "' SONOGRAPHICA_EXIT_AFTER_FRAMES=5 SONOGRAPHICA_SCREENSHOT='" + shot + "' '" +
                                 SONO_APP_PATH "' '" + wav + "' 2>&1",
                             &out);
    ASSERT_EQ(status, 0) << out;
    int w = 0, h = 0, n = 0;
    unsigned char* px = stbi_load(shot.c_str(), &w, &h, &n, 3);
    ASSERT_TRUE(px);
    auto grey = [&](int x, int y) {
        const unsigned char* p = px + ((size_t)y * w + x) * 3;
        return (p[0] + p[1] + p[2]) / 3.0;
    };
    // The image area: columns 120 to w - 61, rows 124 (55 + 69) to the button bar.
    const int bar = w >= 1400 ? 169 : 280;
    const int top = 124, bottom = h - bar - 1, left = 120, right = w - 61;
    ASSERT_GT(bottom, top + 20);
    double loud = 0, silent = 0;
    int loud_n = 0, silent_n = 0;
    for (int y = top; y <= bottom; y++) {
        for (int x = left; x < (left + right) / 2 - 10; x++, loud_n++)
            loud = std::max(loud, grey(x, y));
        for (int x = (left + right) / 2 + 10; x <= right; x++, silent_n++)
            silent += grey(x, y);
    }
    EXPECT_GT(loud, 200.0);               // the tone's rows are bright
    EXPECT_LT(silent / silent_n, 8.0);    // the silent half is dark
    // The menu bar row is drawn: it differs from the background below it.
    double bar_grey = 0, below = 0;
    for (int x = 0; x < w; x++) {
        bar_grey += grey(x, 10);
        below += grey(x, 40);
    }
    EXPECT_NE(bar_grey, below);
    stbi_image_free(px);
}

TEST(Shell, ResumeLastSessionRebuildsThePicture)
{
    TempDir sounds, data;
    const std::string wav = write_half_tone(sounds);
    std::vector<float> before;
    {
        ShellRun run({wav});
        ASSERT_TRUE(run.frames_until([&] { return run.loaded(); }));
        // An edit recorded as the menus record it: the line, then its execution.
        record_line(run.sh->app, record_action, 1, nullptr, "Operation invert\n");
        shell_frame(*run.sh);
        Project& p = run.sh->app.project;
        for (int r = 0; r < p.height; r++)
            before.insert(before.end(), p.layers[0].image[r], p.layers[0].image[r] + p.width);
        // The next run uses the same data folder and its history.
        ASSERT_EQ(run_command("cp '" + run.data.file("history.sga") + "' '" + data.file("history.sga") + "'"), 0);
    }
    ShellRun run;
    ASSERT_EQ(run_command("cp '" + data.file("history.sga") + "' '" + run.data.file("history.sga") + "'"), 0);
    run.sh->app.requests.resume_last_session = 1;
    ASSERT_TRUE(run.frames_until([&] { return run.loaded(); }));
    Project& p = run.sh->app.project;
    std::vector<float> after;
    for (int r = 0; r < p.height; r++)
        after.insert(after.end(), p.layers[0].image[r], p.layers[0].image[r] + p.width);
    EXPECT_EQ(after, before);
    EXPECT_EQ(run.sh->app.view.visible_columns, p.width);
}

// Names given relative to where the program was started mean that folder, although the
// program works from its own folder.
TEST(Shell, RelativeNamesMeanTheStartingFolder)
{
    TempDir dir, data;
    write_half_tone(dir);
    std::string out;
    int status = run_command("cd '" + dir.path + "' && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy " +
                                 "SONOGRAPHICA_DATA_DIR='" + data.path + "' SONOGRAPHICA_EXIT_AFTER_FRAMES=2 " +
                                 "SONOGRAPHICA_SCREENSHOT=shot.png '" SONO_APP_PATH "' half.wav 2>&1",
                             &out);
    EXPECT_EQ(status, 0) << out;
    EXPECT_TRUE(file_exists(dir.file("shot.png"))) << out;
    EXPECT_NE(out.find("Opening file : " + dir.file("half.wav")), std::string::npos) << out;
}
