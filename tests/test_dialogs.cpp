// The dialogs driven through their frame functions with synthetic input.
#include <gtest/gtest.h>

#include <cmath>

#include "commands/app.h"
#include "commands/history.h"
#include "testlib.h"
#include "ui/new_project.h"

namespace {

struct DialogTest : ::testing::Test {
    TempDir dir;
    App app;
    WidgetContext ctx;
    void SetUp() override { app.history.path = dir.file("history.sga"); }
    std::string history() { return read_text_file(app.history.path); }

    void new_project_pass(NewProjectDialog& d, WidgetInput in = WidgetInput())
    {
        widgets_begin(ctx, std::move(in), Raster());
        new_project_frame(ctx, app, d, 1200, 800);
    }
    // Replaces the field's text as typed, Enter pressed when asked.
    void type_into(NewProjectDialog& d, TextField& f, const std::string& text, bool enter = false)
    {
        widgets_focus(ctx, &f);
        WidgetInput in;
        in.keys = {{wkey_select_all, 0}};
        new_project_pass(d, in);
        in.keys.clear();
        in.text = text;
        if (enter)
            in.keys = {{wkey_enter, 0}};
        new_project_pass(d, in);
    }
};

}  // namespace

TEST_F(DialogTest, NewProjectFieldsRecomputeEachOther)
{
    NewProjectDialog d;
    new_project_open(d, 859);
    new_project_pass(d);
    // Defaults: the width fits the image area, the rest from the analysis defaults.
    EXPECT_EQ(d.width.text, "800");
    EXPECT_EQ(d.seconds.text, "7.99");
    EXPECT_EQ(d.per_octave.text, "60");
    EXPECT_EQ(d.time_resolution.text, "100");
    EXPECT_EQ(d.fmin.text, "27.5");
    EXPECT_EQ(d.fmax.text, "20000");
    const int h = (int)std::lround((std::log2(20000.0) - std::log2(27.5)) * 60 + 1);
    EXPECT_EQ(d.height.text, std::to_string(h));
    EXPECT_EQ(d.time_radio, 16);
    EXPECT_EQ(d.pitch_radio, 36);
    // Seconds drive the width: round(s × r + 1); 0 seconds is one pixel.
    type_into(d, d.seconds, "2.5");
    EXPECT_EQ(d.width.text, "251");
    type_into(d, d.seconds, "0");
    EXPECT_EQ(d.width.text, "1");
    // Editing the width chooses the pixel radio; one pixel is 0 seconds.
    type_into(d, d.width, "1");
    EXPECT_EQ(d.time_radio, 12);
    EXPECT_EQ(d.seconds.text, "0");
    type_into(d, d.width, "401");
    EXPECT_EQ(d.seconds.text, "4");
    // A new time resolution follows the chosen radio (pixels stay, seconds follow).
    type_into(d, d.time_resolution, "50");
    EXPECT_EQ(d.width.text, "401");
    EXPECT_EQ(d.seconds.text, "8");
    // Height in pixels gives the pixels per octave; the frequency range moves the height.
    type_into(d, d.height, "121");
    EXPECT_EQ(d.pitch_radio, 32);
    EXPECT_NEAR(std::stod(d.per_octave.text), 120 / (std::log2(20000.0) - std::log2(27.5)), 1e-4);
    type_into(d, d.per_octave, "12");
    type_into(d, d.fmin, "55");
    type_into(d, d.fmax, "1760");
    EXPECT_EQ(d.height.text, "61");  // 5 octaves × 12 + 1
    // Nonsense in a field leaves the others alone.
    type_into(d, d.seconds, "abc");
    EXPECT_EQ(d.width.text, "401");
    // Load default values.
    widgets_focus(ctx, nullptr);
    d.first_frame = 0;
    new_project_load_defaults(d, app);
    EXPECT_EQ(d.width.text, "800");
    EXPECT_EQ(d.height.text, std::to_string(h));
}

TEST_F(DialogTest, NewProjectEnterInAFieldCreatesWithTheBlockOfLines)
{
    NewProjectDialog d;
    new_project_open(d, 400);
    new_project_pass(d);
    type_into(d, d.per_octave, "12");
    type_into(d, d.fmin, "55");
    type_into(d, d.fmax, "1760");
    type_into(d, d.width, "300", true);
    EXPECT_FALSE(d.open);
    EXPECT_FALSE(widgets_have_keyboard_focus(ctx));
    EXPECT_EQ(app.project.width, 300);
    EXPECT_EQ(app.project.height, 61);
    EXPECT_EQ(app.project.layers.size(), 1u);
    EXPECT_FLOAT_EQ(app.project.fmin, 55.0f);
    EXPECT_FLOAT_EQ(app.project.fmax, 1760.0f);
    const std::string h = history();
    const std::string block = "Title \" \"\nClear image\nFrequency range 55 Hz - 1760 Hz\nTime resolution 100 px/s\n"
                              "Dimensions 300 px x 61 px\nSynthesis noise\nNew layer \"Layer 0\"\n\n";
    EXPECT_NE(h.find(block), std::string::npos) << h;
    // With the seconds radio the dimensions are written in seconds as typed.
    new_project_open(d, 400);
    new_project_pass(d);
    type_into(d, d.seconds, "1.5");
    EXPECT_NE(new_project_lines(d, app).find("Dimensions 1.5 sec x "), std::string::npos);
    // Cancel closes and records nothing.
    const std::string before = history();
    const int x = d.window.x + 8 + 140, y = d.window.y + title_bar_height(ctx) + 6 + 228;
    WidgetInput press;
    press.pointer_x = x, press.pointer_y = y, press.left_down = press.left_pressed = true;
    new_project_pass(d, press);
    WidgetInput release;
    release.pointer_x = x, release.pointer_y = y, release.left_released = true;
    new_project_pass(d, release);
    EXPECT_FALSE(d.open);
    EXPECT_EQ(history(), before);
}
