// Long work seen from the windows: the save window writing a sound with its progress and
// Cancel, the analysis progress window of a load, and the frame loop going on meanwhile.
#include <gtest/gtest.h>

#include <dirent.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/shell.h"
#include "commands/app.h"
#include "commands/archive_read.h"
#include "commands/history.h"
#include "commands/import.h"
#include "engine/analysis.h"
#include "media/sound_read.h"
#include "media/sound_write.h"
#include "support/log.h"
#include "support/paths.h"
#include "testlib.h"
#include "ui/dialog_layout.h"
#include "ui/progress_window.h"
#include "ui/save_format.h"

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

void make_project(App& app, int columns, int rows)
{
    const std::string size = std::to_string(columns) + " px x " + std::to_string(rows) + " px";
    for (const std::string line : {std::string("Clear image"), "Dimensions " + size, std::string("New layer \"a\"")})
        execute_archive_line(app, line, nullptr);
    for (int r = 3; r < rows; r += 11)
        for (int c = 0; c < columns; c++)
            app.project.layers[0].image[r][c] = 0.6f;
    app.project.recomposite_needed = true;
}

std::string chosen_path;
bool answer_chooser(void*, const FileChooserRequest&, std::string* path)
{
    *path = chosen_path;
    return true;
}

// A click: pressed in one pass, released in the next, at (x, y).
std::vector<WidgetInput> click_at(int x, int y)
{
    WidgetInput press, release;
    press.pointer_x = release.pointer_x = x;
    press.pointer_y = release.pointer_y = y;
    press.left_down = press.left_pressed = true;
    release.left_released = true;
    return {press, release};
}

struct WindowTest : ::testing::Test {
    TempDir dir, files;
    App app;
    WidgetContext ctx;
    SaveFormatDialog d;
    FileChooser chooser;
    void SetUp() override { app.history.path = dir.file("history.sga"); }
    std::string history() { return read_text_file(app.history.path); }
    void save_pass(WidgetInput in = WidgetInput())
    {
        widgets_begin(ctx, std::move(in), Raster());
        save_format_frame(ctx, app, d, chooser, 1200, 800);
    }
    // The save window asked for a WAV file under `path`, run until its sound is being written.
    void start_wav_save(const std::string& path)
    {
        chooser.hook = answer_chooser;
        chosen_path = path;
        save_format_open(d);
        d.chosen = 30 + save_wav;
        save_format_proceed(d, chooser);
        for (int i = 0; i < 20 && !d.rendering && d.open; i++)
            save_pass();
    }
    template <class F>
    bool passes_until(F done, double seconds = 60)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (!done() && std::chrono::steady_clock::now() < until) {
            save_pass();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return done();
    }
};

}  // namespace

TEST(ProgressWindow, PercentText)
{
    EXPECT_EQ(progress_percent_text(0.0), "0.0%");
    EXPECT_EQ(progress_percent_text(0.1234), "12.3%");
    EXPECT_EQ(progress_percent_text(1.0), "100.0%");
    EXPECT_EQ(progress_percent_text(1.7), "100.0%");
    EXPECT_EQ(progress_percent_text(-0.5), "0.0%");
    EXPECT_EQ(progress_percent_text(NAN), "0.0%");
}

TEST_F(WindowTest, TheSaveWindowWritesAWavFileOnItsWorkerAndRecordsAComment)
{
    make_project(app, 300, 40);
    const std::string path = files.file("tune.wav");
    start_wav_save(path);
    ASSERT_TRUE(d.rendering || !d.open);
    ASSERT_TRUE(passes_until([&] { return !d.open; }));
    EXPECT_TRUE(d.saved);
    EXPECT_FALSE(app.sound_save.running.load());
    Sound s = load_sound(path.c_str(), sound_mix);
    ASSERT_EQ(s.channels, 1);
    EXPECT_EQ(s.frames, 300u * 441u);
    EXPECT_EQ(names_in(files.path), std::vector<std::string>{"tune.wav"});
    EXPECT_NE(history().find("// Save \"" + path + "\"\n"), std::string::npos) << history();
}

TEST_F(WindowTest, CancelInTheSaveWindowStopsTheRenderAndLeavesNoFile)
{
    make_project(app, 60000, 120);
    const std::string before = history();
    const std::string path = files.file("long.wav");
    start_wav_save(path);
    ASSERT_TRUE(d.rendering);
    // The window's Cancel, beside the progress bar where the buttons were.
    const WidgetRect cancel = dialog_rect(dialog_resolve(dialog_save_format, d.window, ctx.scale), 111);
    for (WidgetInput& in : click_at(cancel.x + cancel.w / 2, cancel.y + cancel.h / 2))
        save_pass(in);
    EXPECT_TRUE(app.sound_save.cancel.load());
    ASSERT_TRUE(passes_until([&] { return !d.rendering; }, 10));
    EXPECT_TRUE(d.open);  // back to the choice, for another try
    EXPECT_FALSE(d.saved);
    EXPECT_NE(d.failure.find("cancelled"), std::string::npos) << d.failure;
    EXPECT_FALSE(file_exists(path));
    EXPECT_TRUE(names_in(files.path).empty());
    EXPECT_EQ(history(), before);
}

TEST_F(WindowTest, TheAnalysisProgressWindowCancelsTheLoad)
{
    app.history.tick_ms = [] { return 1LL; };
    make_project(app, 40, 20);
    const std::string before = history();
    const std::string sound = files.file("long.wav");
    {
        const int rate = 44100, n = rate * 40;
        std::vector<float> v((size_t)n);
        for (int i = 0; i < n; i++)
            v[(size_t)i] = 0.5f * (float)std::sin(2 * M_PI * 330.0 * i / rate);
        ASSERT_TRUE(save_sound_file(sound, v.data(), v.size(), rate));
    }
    app.project.pitch_resolution = 240;
    app.project.analysis_time_resolution = 400;
    ASSERT_TRUE(open_file_from_interface(app, sound, history_restart_import_dialog));
    ProgressWindow w;
    auto pass = [&](WidgetInput in = WidgetInput()) {
        widgets_begin(ctx, std::move(in), Raster());
        load_progress_frame(ctx, app, w, 1200, 800);
    };
    ASSERT_TRUE(load_progress_showing(app));
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (analysis_progress.load() < 0.02 && !app.load.done.load() && std::chrono::steady_clock::now() < until)
        pass();
    ASSERT_FALSE(app.load.done.load()) << "the analysis ended before it could be cancelled";
    const int s = ctx.scale;
    for (WidgetInput& in : click_at(w.window.x + w.window.w - 8 * s - 45 * s,
                                    w.window.y + title_bar_height(ctx) + 6 * s + 52 * s + 11 * s))
        pass(in);
    EXPECT_TRUE(app.load.cancel.load());
    finish_load(app);  // waits for the worker and completes: nothing to install
    EXPECT_FALSE(load_progress_showing(app));
    ASSERT_EQ(app.project.layers.size(), 1u);
    EXPECT_EQ(app.project.width, 40);
    EXPECT_EQ(app.project.layers[0].image[3][5], 0.6f);
    EXPECT_EQ(history(), before);
}

namespace {

void no_message(void*, const char*, const char*, int) {}
bool no(void*, const char*, const char*) { return false; }

}  // namespace

TEST(ProgressShell, FramesGoOnWhileASoundIsSavedAndClosingStopsTheSave)
{
    TempDir data, files;
    const std::string first = files.file("first.wav"), second = files.file("second.wav");
    {
        setenv("SONOGRAPHICA_DATA_DIR", data.path.c_str(), 1);
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        unsetenv("SONOGRAPHICA_SCRIPT");
        unsetenv("SONOGRAPHICA_EXIT_AFTER_FRAMES");
        data_folder_reset();
        auto sh = std::make_unique<Shell>();
        sh->question = no;
        sh->message = no_message;
        char name[] = "sonographica";
        char* argv[] = {name};
        ASSERT_TRUE(shell_startup(*sh, 1, argv));
        make_project(sh->app, 30000, 120);
        sh->ui.chooser.hook = answer_chooser;
        // File > Save, WAV, a name: frames until the worker runs.
        auto start_save = [&](const std::string& path) {
            chosen_path = path;
            sh->app.requests.save = 1;
            shell_frame(*sh);
            ASSERT_TRUE(sh->ui.save_format.open);
            sh->ui.save_format.chosen = 30 + save_wav;
            save_format_proceed(sh->ui.save_format, sh->ui.chooser);
            for (int i = 0; i < 50 && !sh->app.sound_save.running.load(); i++)
                shell_frame(*sh);
            ASSERT_TRUE(sh->app.sound_save.running.load());
        };
        start_save(first);
        // The loop keeps turning (and drawing the progress) while the worker renders: were the
        // render on the loop, it would all happen within one frame.
        int frames_while_running = 0;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(300);
        while (sh->ui.save_format.rendering && std::chrono::steady_clock::now() < until) {
            shell_frame(*sh);
            if (sh->app.sound_save.running.load())
                frames_while_running++;
        }
        EXPECT_GE(frames_while_running, 5);
        EXPECT_TRUE(sh->ui.save_format.saved);
        EXPECT_FALSE(sh->ui.save_format.open);
        EXPECT_TRUE(file_exists(first));

        // Closing the program while a save runs stops it: no file, no temporary.
        start_save(second);
        shell_shutdown(*sh);
        EXPECT_FALSE(sh->app.sound_save.running.load());
        log_close();
    }
    EXPECT_FALSE(file_exists(second));
    EXPECT_EQ(names_in(files.path), std::vector<std::string>{"first.wav"});
}
