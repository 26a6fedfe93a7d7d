// The view in the running program: a sound of three steady tones opened headless, the window
// drawn, and each tone's bright row found where the frequency axis places its frequency.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

#include "app/axes.h"
#include "app/layout.h"
#include "app/screen.h"
#include "app/shell.h"
#include "app/view_coords.h"
#include "app/view_draw.h"
#include "media/sound_write.h"
#include "support/log.h"
#include "support/paths.h"
#include "testlib.h"

namespace {

bool no_question(void*, const char*, const char*) { return false; }
void no_message(void*, const char*, const char*, int) {}

int ink(uint32_t c)
{
    return (int)((c >> 16) & 0xFF) + (int)((c >> 8) & 0xFF) + (int)(c & 0xFF);
}

}  // namespace

// At interface scale 1 and 2 (a high-density desktop: everything twice the size).
void tones_at_scale(int scale)
{
    TempDir sounds, data;
    const int rate = 44100;
    const double tones[] = {220.0, 1000.0, 5000.0};
    std::vector<float> s((size_t)rate * 2);
    for (size_t i = 0; i < s.size(); i++)
        for (double f : tones)
            s[i] += 0.3f * (float)std::sin(2.0 * M_PI * f * (double)i / rate);
    const std::string wav = sounds.file("tones.wav");
    ASSERT_TRUE(save_sound_file(wav, s.data(), s.size(), rate));

    setenv("SONOGRAPHICA_DATA_DIR", data.path.c_str(), 1);
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("SONOGRAPHICA_WINDOW_SIZE", scale == 2 ? "2800x2000" : "1400x1000", 1);
    setenv("SONOGRAPHICA_SCALE", scale == 2 ? "2" : "1", 1);
    unsetenv("SONOGRAPHICA_SCRIPT");
    unsetenv("SONOGRAPHICA_EXIT_AFTER_FRAMES");
    data_folder_reset();
    auto sh = std::make_unique<Shell>();
    sh->question = no_question;
    sh->message = no_message;
    std::vector<std::string> args = {"sonographica", wav};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    ASSERT_TRUE(shell_startup(*sh, (int)argv.size(), argv.data()));
    for (int i = 0; i < 5000 && !(sh->app.project.width > 0 && !sh->app.load.in_flight); i++)
        shell_frame(*sh);
    for (int i = 0; i < 5; i++)
        shell_frame(*sh);
    ASSERT_GT(sh->app.project.width, 0);
    ASSERT_EQ(sh->scale, scale);
    sh->pointer_x = sh->pointer_y = -1000;
    screen_draw(*sh);

    const Project& p = sh->app.project;
    const ScreenLayout l = screen_layout(sh->width, sh->height, sh->scale, sh->startup.waveform_height, p.lossless);
    const FrequencyScale fs = view_frequency_scale(p);
    const auto at = [&](int x, int y) { return sh->screen.pixels[(size_t)y * (size_t)sh->width + (size_t)x]; };
    const int x = l.image_x + l.image_width / 2;
    for (double f : tones) {
        const int expected = (int)std::lround(view_y_of(sh->app.view, l, row_of_frequency(fs, (float)f)));
        // The brightest screen row within 25 pixels of where the axis puts the frequency.
        int best = -1, best_ink = -1;
        for (int y = std::max(l.image_y, expected - 25 * scale); y < std::min(l.image_y + l.image_height, expected + 25 * scale); y++)
            if (ink(at(x, y)) > best_ink) {
                best_ink = ink(at(x, y));
                best = y;
            }
        EXPECT_NEAR(best, expected, 2 * scale) << f << " Hz";
        EXPECT_GT(best_ink, 3 * 150) << f << " Hz";
        // Well away from the tone the picture is dark.
        EXPECT_LT(ink(at(x, expected + 20 * scale)), best_ink / 3) << f << " Hz";
    }
    // The frequency axis has ink in the left margin at its top label; the note axis has ink in
    // the right margin; the time axis under the picture.
    int left_ink = 0, right_ink = 0, time_ink = 0;
    const uint32_t background = at(5, l.image_y + l.image_height / 2);
    const int sc = scale;
    ASSERT_EQ(l.image_x, 120 * sc);
    for (int y = l.image_y - 6 * sc; y < l.image_y + 8 * sc; y++)
        for (int xx = 20 * sc; xx < 121 * sc; xx++)
            left_ink += at(xx, y) != background;
    for (int y = l.image_y; y < l.image_y + l.image_height; y++)
        for (int xx = sh->width - 60 * sc; xx < sh->width; xx++)
            right_ink += at(xx, y) != background;
    const uint32_t bar = at(sh->width / 2, sh->height - 3);
    for (int y = l.bar_y + 1; y < l.bar_y + 20 * sc; y++)
        for (int xx = 121 * sc; xx < 170 * sc; xx++)
            time_ink += at(xx, y) != bar;
    EXPECT_GT(left_ink, 20);
    EXPECT_GT(time_ink, 20);

    // The waveform strip arrives from its thread and shows the tones' level around its middle.
    for (int i = 0; i < 3000; i++) {
        {
            std::lock_guard<std::mutex> guard(sh->waveform.lock);
            if (sh->waveform.strip.width == l.strip_width && !sh->waveform.busy && !sh->waveform.requested)
                break;
        }
        shell_frame(*sh);
    }
    screen_draw(*sh);
    const int middle = l.strip_y + l.strip_height / 2;
    int coloured = 0;
    for (int xx = l.strip_x; xx < l.strip_x + l.strip_width; xx += 10)
        coloured += at(xx, middle) != background && ink(at(xx, middle)) > 0;
    EXPECT_GT(coloured, l.strip_width / 10 - 5);
    EXPECT_EQ(at(l.strip_x + 50, middle - 3), at(l.strip_x + 50, middle + 3));  // mirrored

    if (const char* shot = std::getenv("SONOGRAPHICA_TEST_SHOT"))
        screen_save_png(*sh, shot);
    EXPECT_GT(right_ink, 20);
    shell_shutdown(*sh);
    log_close();
}

TEST(ViewShell, ToneRowsSitWhereTheFrequencyAxisSaysTheyAre)
{
    tones_at_scale(1);
}

TEST(ViewShell, AtScaleTwoTheViewIsDrawnTwiceTheSize)
{
    tones_at_scale(2);
}
