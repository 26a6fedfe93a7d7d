// The console and the Extend/cut window, driven through their frame functions with
// synthetic input, and the console in the running program fed with SDL events.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

#include "app/shell.h"
#include "app/ui_input.h"
#include "commands/app.h"
#include "commands/history.h"
#include "support/log.h"
#include "support/paths.h"
#include "project/units.h"
#include "headless_shell.h"
#include "testlib.h"
#include "ui/dialog_layout.h"
#include "ui/console.h"
#include "ui/extend_cut.h"

namespace {

struct UiTest : ::testing::Test {
    TempDir dir;
    App app;
    WidgetContext ctx;
    void SetUp() override { app.history.path = dir.file("history.sga"); }
    std::string history() { return read_text_file(app.history.path); }
};

WidgetInput typed(const std::string& text, std::initializer_list<WidgetKey> keys)
{
    WidgetInput in;
    in.text = text;
    in.keys = keys;
    return in;
}

void console_pass(UiTest& t, Console& c, WidgetInput in)
{
    widgets_begin(t.ctx, std::move(in), Raster());
    console_frame(t.ctx, t.app, c, 800, 600);
}

void extend_pass(UiTest& t, ExtendCutDialog& d, WidgetInput in)
{
    widgets_begin(t.ctx, std::move(in), Raster());
    extend_cut_frame(t.ctx, t.app, d, 800, 600);
}

}  // namespace

TEST_F(UiTest, ConsoleRunsRecordsAndRecallsLines)
{
    Console c;
    console_toggle(ctx, c);
    ASSERT_TRUE(c.visible);
    EXPECT_EQ(ctx.focus, &c.field);
    // Up with nothing run yet leaves the field empty.
    console_pass(*this, c, typed("", {{wkey_up, 0}}));
    EXPECT_EQ(c.field.text, "");
    console_pass(*this, c, typed("Clear image", {{wkey_enter, 0}}));
    console_pass(*this, c, typed("Dimensions 12 px x 9 px", {{wkey_enter, 0}}));
    // Each line ran, was recorded, and the field is empty with the focus kept.
    EXPECT_EQ(app.project.width, 12);
    EXPECT_EQ(app.project.height, 9);
    const std::string h = history();
    EXPECT_NE(h.find("Clear image\n"), std::string::npos) << h;
    EXPECT_LT(h.find("Clear image\n"), h.find("Dimensions 12 px x 9 px\n")) << h;
    EXPECT_EQ(c.field.text, "");
    EXPECT_EQ(ctx.focus, &c.field);
    // Up twice shows the first line, Down the second, Down again the empty new line.
    console_pass(*this, c, typed("", {{wkey_up, 0}}));
    EXPECT_EQ(c.field.text, "Dimensions 12 px x 9 px");
    console_pass(*this, c, typed("", {{wkey_up, 0}}));
    EXPECT_EQ(c.field.text, "Clear image");
    console_pass(*this, c, typed("", {{wkey_up, 0}}));  // not below the first
    EXPECT_EQ(c.field.text, "Clear image");
    console_pass(*this, c, typed("", {{wkey_down, 0}}));
    EXPECT_EQ(c.field.text, "Dimensions 12 px x 9 px");
    console_pass(*this, c, typed("", {{wkey_down, 0}}));
    EXPECT_EQ(c.field.text, "");
    console_pass(*this, c, typed("", {{wkey_down, 0}}));
    EXPECT_EQ(c.field.text, "");
    // A recalled line edited and run is a new line at the end.
    console_pass(*this, c, typed("", {{wkey_up, 0}}));
    console_pass(*this, c, typed("", {{wkey_backspace, 0}, {wkey_backspace, 0}, {wkey_backspace, 0}, {wkey_backspace, 0}}));
    console_pass(*this, c, typed("20 px", {{wkey_enter, 0}}));
    EXPECT_EQ(app.project.height, 20);
    ASSERT_EQ(c.lines.size(), 3u);
    EXPECT_EQ(c.lines[2], "Dimensions 12 px x 20 px");
    // Hiding keeps the lines; showing again starts empty at the end, with the focus.
    console_pass(*this, c, typed("half typed", {}));
    console_toggle(ctx, c);
    EXPECT_FALSE(c.visible);
    EXPECT_FALSE(widgets_have_keyboard_focus(ctx));
    console_toggle(ctx, c);
    EXPECT_EQ(c.field.text, "");
    EXPECT_EQ(c.browse, 3u);
    EXPECT_EQ(ctx.focus, &c.field);
    console_pass(*this, c, typed("", {{wkey_up, 0}}));
    EXPECT_EQ(c.field.text, "Dimensions 12 px x 20 px");
}

TEST_F(UiTest, ConsoleRunButtonRunsAndBlankLinesAreNotKept)
{
    Console c;
    console_toggle(ctx, c);
    console_pass(*this, c, WidgetInput());  // places the window
    console_pass(*this, c, typed("Dimensions 5 px x 4 px", {}));
    // The Run button sits right of the field on the field's row.
    const WidgetRect field = dialog_rect(dialog_resolve(dialog_console, c.window, 1), 10);
    const WidgetRect run = dialog_rect(dialog_resolve(dialog_console, c.window, 1), 11);
    EXPECT_EQ(run.y, field.y);
    EXPECT_GT(run.x, field.x + field.w);
    const int bx = run.x + run.w / 2, by = run.y + run.h / 2;
    WidgetInput press;
    press.pointer_x = bx, press.pointer_y = by, press.left_down = press.left_pressed = true;
    console_pass(*this, c, press);
    WidgetInput release;
    release.pointer_x = bx, release.pointer_y = by, release.left_released = true;
    console_pass(*this, c, release);
    EXPECT_EQ(app.project.width, 5);
    EXPECT_EQ(c.lines.size(), 1u);
    // A blank line runs nothing and adds nothing to recall.
    console_pass(*this, c, typed("   ", {{wkey_enter, 0}}));
    EXPECT_EQ(c.lines.size(), 1u);
    EXPECT_EQ(c.field.text, "");
    // A line the interpreter does not know leaves the console running and is kept.
    console_pass(*this, c, typed("Frobnicate everything", {{wkey_enter, 0}}));
    EXPECT_EQ(c.lines.size(), 2u);
    EXPECT_TRUE(c.visible);
}

TEST_F(UiTest, ExtendCutGeneratesCropLinesFromTheChosenKnob)
{
    for (const char* line : {"Clear image", "Time resolution 50 px/s", "Dimensions 201 px x 16 px", "New layer \"a\""})
        record_line(app, record_execute_only, 1, nullptr, "%s", line);
    ASSERT_EQ(app.project.width, 201);
    ExtendCutDialog d;
    extend_cut_open(d);
    extend_pass(*this, d, WidgetInput());
    // The seconds knob starts at the picture's duration, its minimum is one pixel.
    const double duration = convert_unit(100.0f, nullptr, unit_percent, unit_sec, app.project, 1);
    EXPECT_NEAR(knob_value(d.seconds), duration, 1e-6);
    EXPECT_NEAR(d.seconds.scale.min, convert_unit(1.0f, nullptr, unit_px, unit_sec, app.project, 1), 1e-9);
    EXPECT_EQ(knob_value(d.pixels), 201.0);
    EXPECT_EQ(d.chosen, 12);
    // Percent at 100: the command that keeps the duration, and applying it keeps the width.
    d.chosen = 22;
    EXPECT_EQ(extend_cut_command(d), "Crop 100 % x 100 %");
    d.chosen = 32;
    EXPECT_EQ(extend_cut_command(d), "Crop 201 px x 100 %");
    // Turning the pixel knob chooses its radio and regenerates the command.
    d.chosen = 12;
    const WidgetRect pixel_knob = dialog_rect(dialog_resolve(dialog_extend_cut, d.window, 1), 30);
    const int kx = pixel_knob.x + pixel_knob.w / 2, ky = pixel_knob.y + pixel_knob.h / 2;
    WidgetInput press;
    press.pointer_x = kx, press.pointer_y = ky, press.left_down = press.left_pressed = true;
    extend_pass(*this, d, press);
    WidgetInput move = press;
    move.left_pressed = false;
    move.pointer_y = ky - 10;
    extend_pass(*this, d, move);
    WidgetInput up = move;
    up.left_down = false, up.left_released = true;
    extend_pass(*this, d, up);
    EXPECT_EQ(d.chosen, 32);
    EXPECT_GT(knob_value(d.pixels), 201.0);
    char expected[64];
    snprintf(expected, sizeof expected, "Crop %.0f px x 100 %%", knob_value(d.pixels));
    EXPECT_EQ(d.command.text, expected);
    // A hand-edited command is applied as edited (Enter in the field applies it too).
    widgets_focus(ctx, &d.command);
    extend_pass(*this, d, typed("", {{wkey_select_all, 0}}));
    extend_pass(*this, d, typed("Crop 50 % x 100 %", {{wkey_enter, 0}}));
    EXPECT_EQ(app.project.width, 101);
    EXPECT_NE(history().find("Crop 50 % x 100 %\n"), std::string::npos) << history();
    EXPECT_EQ(d.command.text, "Crop 50 % x 100 %");
}

// The console in the running program: F3 from SDL, keys that would be shortcuts go into the
// field instead.
TEST(ConsoleShell, FocusedFieldSwallowsShortcutsAndF3Toggles)
{
    HeadlessShell run;
    ASSERT_TRUE(run.started);
    Shell* sh = run.sh.get();
    auto key = [&](SDL_Keycode sym, Uint16 mod = 0) {
        SDL_KeyboardEvent k = {};
        k.type = SDL_KEYDOWN;
        k.keysym.sym = sym;
        k.keysym.mod = mod;
        return k;
    };
    // Without the console, N, Delete and Space are the shortcuts'.
    SDL_KeyboardEvent n = key(SDLK_n), del = key(SDLK_DELETE), space = key(SDLK_SPACE);
    EXPECT_FALSE(ui_key_down(*sh, n));
    EXPECT_FALSE(ui_key_down(*sh, del));
    SDL_KeyboardEvent f3 = key(SDLK_F3);
    EXPECT_TRUE(ui_key_down(*sh, f3));
    ASSERT_TRUE(sh->ui.console.visible);
    EXPECT_TRUE(ui_key_down(*sh, n));
    EXPECT_TRUE(ui_key_down(*sh, del));
    EXPECT_TRUE(ui_key_down(*sh, space));
    EXPECT_FALSE(ui_key_down(*sh, key(SDLK_F4, KMOD_ALT)));  // quitting stays possible
    sh->ui.pending = WidgetInput();
    // Through the event queue: typed text and Enter run a line; Space did not start playback.
    SDL_Event e = {};
    e.type = SDL_TEXTINPUT;
    snprintf(e.text.text, sizeof e.text.text, "Dimensions 7 px x 3 px");
    SDL_PushEvent(&e);
    e = {};
    e.key = key(SDLK_SPACE);
    SDL_PushEvent(&e);
    e.key = key(SDLK_RETURN);
    SDL_PushEvent(&e);
    shell_frame(*sh);
    EXPECT_EQ(sh->app.project.width, 7);
    EXPECT_EQ(sh->app.playback.play_state, play_stopped);
    EXPECT_EQ(sh->ui.console.lines.size(), 1u);
    e.key = key(SDLK_F3);
    SDL_PushEvent(&e);
    shell_frame(*sh);
    EXPECT_FALSE(sh->ui.console.visible);
    EXPECT_FALSE(widgets_have_keyboard_focus(sh->ui.ctx));
    // The window is drawn over the picture when shown: the console's title bar colours pixels.
    std::vector<uint32_t> before = sh->screen.pixels;
    e.key = key(SDLK_F3);
    SDL_PushEvent(&e);
    shell_frame(*sh);
    EXPECT_NE(sh->screen.pixels, before);
    // Overlapping windows: the one drawn on top takes the click. About over the Run button.
    Console& c = sh->ui.console;
    ASSERT_TRUE(c.visible);
    text_field_set(c.field, "Dimensions 9 px x 3 px");
    sh->app.requests.about = 1;
    shell_frame(*sh);
    const WidgetRect run_button = dialog_rect(dialog_resolve(dialog_console, c.window, sh->scale), 11);
    const int run_x = run_button.x + run_button.w / 2, run_y = run_button.y + run_button.h / 2;
    auto click = [&](int x, int y) {
        for (Uint32 type : {SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP}) {
            SDL_Event m = {};
            m.type = type;
            m.button.button = SDL_BUTTON_LEFT;
            m.button.clicks = 1;
            m.button.x = x;
            m.button.y = y;
            SDL_PushEvent(&m);
            shell_frame(*sh);
        }
    };
    sh->ui.about.window.x = run_x - 100;
    sh->ui.about.window.y = run_y - 60;
    click(run_x, run_y);
    EXPECT_EQ(c.lines.size(), 1u);
    EXPECT_EQ(sh->app.project.width, 7);
    sh->ui.about.window.x = run_x + 100;  // moved aside: the button is reachable
    click(run_x, run_y);
    EXPECT_EQ(c.lines.size(), 2u);
    EXPECT_EQ(sh->app.project.width, 9);
    // A file dropped on the window opens the Open/Import window with it chosen.
    const std::string dropped = run.data.file("config.txt");
    e = {};
    e.type = SDL_DROPFILE;
    e.drop.file = SDL_strdup(dropped.c_str());
    SDL_PushEvent(&e);
    shell_frame(*sh);
    EXPECT_TRUE(sh->ui.open_import.open);
    EXPECT_EQ(sh->ui.open_import.path, dropped);
}
