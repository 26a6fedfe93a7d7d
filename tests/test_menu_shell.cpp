// The menus in the desktop program, headless: synthetic pointer frames on the bar and in the
// open menu, what an open menu draws, and Default Values against the preferences.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>

#include "app/menu_shell.h"
#include "app/screen.h"
#include "app/shell.h"
#include "support/log.h"
#include "support/palette_entries.h"
#include "support/paths.h"
#include "support/prefs.h"
#include "headless_shell.h"
#include "testlib.h"
#include "ui/menu_draw.h"

namespace {

// A 1,200 x 800 window with the pointer outside it, one frame run.
struct MenuShell : HeadlessShell {
    MenuShell() : HeadlessShell({}, "1200x800")
    {
        sh->synthetic_pointer = true;
        sh->pointer_x = sh->pointer_y = -1000;
        if (started)
            shell_frame(*sh);
    }
    void pointer(int x, int y, bool down) { HeadlessShell::pointer(x, y, down ? SDL_BUTTON_LMASK : 0); }
    void click(int x, int y) { HeadlessShell::click(x, y); }
    const Menu& menu(int m) { return sh->menus.menus[m]; }
    int title_x(int m) { return menu(m).x + 12 * sh->scale; }
    MenuEntry& entry(int id) { return *menu_find_id(sh->menus, id); }
};

TEST(MenuShell, PointerOpensSwitchesChoosesAndCloses)
{
    MenuShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    const int bar_y = 10 * sh.scale;
    run.click(run.title_x(menu_options), bar_y);
    EXPECT_EQ(sh.menus.open, menu_options);
    // Moving along the bar opens the menu under the pointer.
    run.pointer(run.title_x(menu_view), bar_y, false);
    EXPECT_EQ(sh.menus.open, menu_view);
    run.pointer(run.title_x(menu_options), bar_y, false);
    EXPECT_EQ(sh.menus.open, menu_options);
    // The entry under the pointer is highlighted; releasing over it chooses it.
    const MenuEntry& loop = run.entry(3010);
    ASSERT_GT(loop.height, 0);
    EXPECT_EQ(loop.y, 25 * sh.scale);
    EXPECT_EQ(loop.height, 22 * sh.scale);
    run.pointer(loop.x + 30, loop.y + loop.height / 2, false);
    EXPECT_EQ(sh.menus.highlighted, 0);
    EXPECT_FALSE(sh.app.project.loop_playback);
    run.click(loop.x + 30, loop.y + loop.height / 2);
    EXPECT_EQ(sh.menus.open, -1);
    EXPECT_TRUE(sh.app.project.loop_playback);
    EXPECT_TRUE(sh.app.playback.controls.loop_playback.load());
    // Reopened, the entry shows its mark.
    run.click(run.title_x(menu_options), bar_y);
    EXPECT_TRUE(run.entry(3010).checked);
    // Pressing the open menu's title again closes it.
    run.click(run.title_x(menu_options), bar_y);
    EXPECT_EQ(sh.menus.open, -1);
    // A press outside the bar and the open menu closes it without choosing anything.
    run.click(run.title_x(menu_edit), bar_y);
    EXPECT_EQ(sh.menus.open, menu_edit);
    run.click(sh.width - 5, sh.height - 5);
    EXPECT_EQ(sh.menus.open, -1);
    // A greyed entry does nothing.
    run.click(run.title_x(menu_edit), bar_y);
    const MenuEntry& paste = run.entry(2030);
    run.click(paste.x + 30, paste.y + 5);
    EXPECT_EQ(sh.menus.open, -1);
    const std::string history = read_text_file(path_join(data_folder(), "history.sga"));
    EXPECT_NE(history.find("Enable loop playback"), std::string::npos);
}

TEST(MenuShell, AnOpenMenuIsDrawnWithItsEntriesAndShadow)
{
    MenuShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    run.click(run.title_x(menu_tools), 10 * sh.scale);
    ASSERT_EQ(sh.menus.open, menu_tools);
    screen_draw(sh);
    const uint32_t background = palette_colour(sh.gfx, palette_menu_background, 0);
    const MenuEntry& move = run.entry(6020);
    // The entry's ground (away from its text and mark) is the menu's background.
    EXPECT_EQ(sh.screen.pixels[(size_t)(move.y + 1) * sh.width + (size_t)(move.x + move.width - 3)], background);
    // "Cursor" is checked: its mark area holds the mark's colour, "Move Tool"'s does not.
    const MenuEntry& cursor = run.entry(6010);
    auto has_colour = [&](const MenuEntry& e, uint32_t colour) {
        for (int y = e.y; y < e.y + e.height; y++)
            for (int x = e.x; x < e.x + 22 * sh.scale; x++)
                if (sh.screen.pixels[(size_t)y * sh.width + (size_t)x] == colour)
                    return true;
        return false;
    };
    const uint32_t mark = palette_colour(sh.gfx, palette_check_mark, 0);
    EXPECT_TRUE(has_colour(cursor, mark));
    EXPECT_FALSE(has_colour(move, mark));
    // The shadow darkens the window below the menu (the File menu's lies over the margin).
    run.click(run.title_x(menu_file), 10 * sh.scale);
    ASSERT_EQ(sh.menus.open, menu_file);
    const int below_y = 25 * sh.scale + sh.menus.open_height + 2 * sh.scale;
    const int x = run.menu(menu_file).x + 6 * sh.scale + 20 * sh.scale;
    screen_draw(sh);
    const uint32_t shaded = sh.screen.pixels[(size_t)below_y * sh.width + (size_t)x];
    run.click(sh.width - 5, sh.height - 5);
    ASSERT_EQ(sh.menus.open, -1);
    screen_draw(sh);
    const uint32_t plain = sh.screen.pixels[(size_t)below_y * sh.width + (size_t)x];
    EXPECT_LT(shaded & 0xFF, plain & 0xFF);
    EXPECT_LT((shaded >> 8) & 0xFF, (plain >> 8) & 0xFF);
}

// Opening menus, moving along the bar and from entry to entry redraws only the menus, and
// what that leaves on the screen is what a whole redraw draws, down to the pixel.
TEST(MenuShell, MenuChangesRedrawOnlyTheMenusAndMatchAWholeRedraw)
{
    MenuShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    // An empty editor with nothing changing draws nothing.
    shell_frame(sh);
    const long long presents = sh.presents;
    for (int i = 0; i < 3; i++)
        shell_frame(sh);
    EXPECT_EQ(sh.presents, presents);
    auto same_as_whole_redraw = [&] {
        const std::vector<uint32_t> partial = sh.screen.pixels;
        screen_draw(sh);
        return partial == sh.screen.pixels;
    };
    run.click(run.title_x(menu_file), 10 * sh.scale);
    ASSERT_EQ(sh.menus.open, menu_file);
    EXPECT_TRUE(same_as_whole_redraw());
    // Along the bar to the (wider) Options menu, then back to the narrower Edit menu: the first
    // menu's shadow and the highlight of its title must be gone.
    const long long partial_before = sh.partial_presents;
    run.pointer(run.title_x(menu_options), 10 * sh.scale, false);
    ASSERT_EQ(sh.menus.open, menu_options);
    EXPECT_EQ(sh.partial_presents, partial_before + 1) << "the frame redrew the whole window";
    EXPECT_TRUE(same_as_whole_redraw());
    run.pointer(run.title_x(menu_edit), 10 * sh.scale, false);
    ASSERT_EQ(sh.menus.open, menu_edit);
    EXPECT_TRUE(same_as_whole_redraw());
    const MenuEntry& copy = run.entry(2020);
    run.pointer(copy.x + 20, copy.y + copy.height / 2, false);
    EXPECT_EQ(sh.menus.highlighted, 2);
    EXPECT_TRUE(same_as_whole_redraw());
    // Closed by a press elsewhere: the picture under the menu comes back.
    run.click(sh.width - 5, sh.height - 5);
    ASSERT_EQ(sh.menus.open, -1);
    EXPECT_TRUE(same_as_whole_redraw());
}

TEST(MenuShell, StartingPlaybackEndsSuspendProcessing)
{
    MenuShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    ASSERT_TRUE(menu_action(sh.menus, sh.app, 3080));
    shell_frame(sh);
    ASSERT_TRUE(sh.app.playback.controls.suspend.load());
    EXPECT_TRUE(run.entry(3080).checked);
    sh.app.requests.play = 1;
    shell_frame(sh);
    EXPECT_FALSE(sh.app.playback.controls.suspend.load());
    run.click(run.title_x(menu_options), 10 * sh.scale);
    EXPECT_FALSE(run.entry(3080).checked);
}

TEST(MenuShell, DefaultValuesRestoreTheAnalysisKnobsFromThePreferences)
{
    MenuShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    pref_set_two_numbers(*sh.app.prefs, "Analysis:Frequency range", 40, " - ", 16000, " Hz");
    pref_set_number(*sh.app.prefs, "Analysis:Time resolution", 80, " pixels/second");
    const KnobContext c;
    knob_set_value(sh.knobs, knob_min_frequency, 100.0, c);
    knob_set_value(sh.knobs, knob_gamma, 4.0, c);
    knob_set_value(sh.knobs, knob_volume, -12.0, c);
    sh.app.project.fmin = 100.0f;
    ASSERT_TRUE(menu_action(sh.menus, sh.app, 2050));
    shell_frame(sh);
    EXPECT_EQ(sh.knobs.value[knob_min_frequency], 40.0);
    EXPECT_EQ(sh.knobs.value[knob_max_frequency], 16000.0);
    EXPECT_EQ(sh.knobs.value[knob_time_resolution], 80.0);
    EXPECT_NEAR(knob_value(knob_max_frequency, sh.knobs.angle[knob_max_frequency], c), 16000.0, 1e-6);
    EXPECT_EQ(sh.knobs.value[knob_gamma], 1.0);
    EXPECT_EQ(sh.knobs.value[knob_frequency_scale], 2.0);
    EXPECT_EQ(sh.knobs.value[knob_volume], -12.0);
    EXPECT_EQ(sh.app.project.fmin, 40.0f);
    EXPECT_EQ(sh.app.project.fmax, 16000.0f);
    EXPECT_EQ(sh.app.project.time_resolution, 80.0f);
    const std::string history = read_text_file(path_join(data_folder(), "history.sga"));
    EXPECT_NE(history.find("Frequency range 40 Hz - 16000 Hz"), std::string::npos);
    EXPECT_NE(history.find("Time resolution 80 px/s"), std::string::npos);
}

}  // namespace
