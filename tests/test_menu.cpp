// The menu bar without a screen: the tables, the bar layout, check marks read back after every
// toggle request, the layer list and the lines the menus record.
#include <gtest/gtest.h>

#include <set>

#include "app/interface_images.h"
#include "archive_test_util.h"
#include "commands/app.h"
#include "commands/history.h"
#include "layers/stack.h"
#include "stderr_capture.h"
#include "support/paths.h"
#include "testlib.h"
#include "ui/menu.h"
#include "ui/menu_requests.h"

namespace {

struct MenuTest : ::testing::Test {
    TempDir dir;
    App app;
    MenuBar bar;
    void SetUp() override
    {
        app.history.path = dir.file("history.sga");
        app.history.enabled = false;
        menu_build(bar, nullptr, false, "");
    }
    // Chooses the entry and runs the frame's request step.
    bool choose(int id)
    {
        bool raised = menu_action(bar, app, id);
        menu_carry_out_requests(app, bar);
        return raised;
    }
    bool checked(int id) { return menu_find_id(bar, id)->checked; }
    void picture_with_layers(const char* lines)
    {
        run_lines(app, std::string("Clear image\nDimensions 8 px x 6 px\n") + lines);
        layer_list_refresh(bar, app);
    }
    std::vector<std::string> layer_labels()
    {
        std::vector<std::string> out;
        const auto& e = bar.menus[menu_layers].entries;
        for (size_t i = (size_t)bar.layer_list_start; i < e.size(); i++)
            out.push_back(e[i].label);
        return out;
    }
};

TEST_F(MenuTest, BarSkipsTheHiddenHistoryMenuAndSpacesTitlesByTheirWidth)
{
    InterfaceImages gfx;
    interface_images_load(gfx, path_join(executable_folder(), "gfx"), 1);
    ASSERT_TRUE(font_ok(gfx.font16));
    menu_build(bar, &gfx.font16, false, "");
    std::vector<std::string> shown;
    for (const Menu& m : bar.menus)
        if (*m.title)
            shown.push_back(m.title);
    EXPECT_EQ(shown, (std::vector<std::string>{"File", "Edit", "Options", "View", "Tools", "Operations", "Layers", "Help"}));
    const Menu& options = bar.menus[menu_options];
    EXPECT_GT(options.width, 20);
    EXPECT_EQ(options.width, text_width(gfx.font16, "Options"));
    EXPECT_EQ(bar.menus[menu_file].x, 0);
    EXPECT_EQ(bar.menus[menu_edit].x, bar.menus[menu_file].width + 12);
    EXPECT_EQ(bar.menus[menu_view].x, options.x + options.width + 12);

    menu_build(bar, &gfx.font16, true, "");
    const Menu& history = bar.menus[menu_history];
    EXPECT_STREQ(history.title, "History");
    EXPECT_EQ(history.x, options.x + options.width + 12);
    EXPECT_EQ(bar.menus[menu_view].x, history.x + history.width + 12);
    EXPECT_EQ(history.entries.size(), 14u);
}

TEST_F(MenuTest, TablesHoldUniqueIdentifiersShortcutsAndWindows1252Labels)
{
    std::set<int> ids;
    int entries = 0;
    for (const Menu& m : bar.menus)
        for (const MenuEntry& e : m.entries)
            if (e.label != "-") {
                EXPECT_TRUE(ids.insert(e.id).second) << e.id;
                entries++;
            }
    // File 7, Edit 6, Options 13, History 11, View 4, Tools 9, Operations 24, Layers 26 and
    // "No Layer", Help 4.
    EXPECT_EQ(entries, 7 + 6 + 13 + 11 + 4 + 9 + 24 + 26 + 1 + 4);
    EXPECT_EQ(menu_find_id(bar, 7050)->label, "Rotate Clockwise (90\xB0)");
    EXPECT_EQ(menu_find_id(bar, 7060)->label.size(), strlen("Rotate 180") + 1);
    EXPECT_STREQ(menu_find_id(bar, 2010)->shortcut, "Ctrl+Z / U");
    EXPECT_STREQ(menu_find_id(bar, 3020)->shortcut, "Shift+Space");
    EXPECT_STREQ(menu_find_id(bar, 8050)->shortcut, "Del");
    EXPECT_STREQ(menu_find_id(bar, 1080)->shortcut, "Alt+F4");
    EXPECT_STREQ(menu_find_id(bar, 3010)->shortcut, "");
    // Built with "Cursor" and "Addition" checked and nothing else.
    int marks = 0;
    for (const Menu& m : bar.menus)
        for (const MenuEntry& e : m.entries)
            marks += e.checked;
    EXPECT_EQ(marks, 2);
    EXPECT_TRUE(checked(6010));
    EXPECT_TRUE(checked(8130));
    // No download page: its entry is greyed; with one it is not.
    EXPECT_TRUE(menu_find_id(bar, 9020)->greyed);
    menu_build(bar, nullptr, false, "https://example.invalid/download");
    EXPECT_FALSE(menu_find_id(bar, 9020)->greyed);
}

TEST_F(MenuTest, CheckMarksByLabelAndTheUnknownLabel)
{
    menu_set_checked(bar, "Semitone Overlay", true);
    EXPECT_TRUE(checked(5040));
    menu_set_checked(bar, "Semitone Overlay", false);
    EXPECT_FALSE(checked(5040));
    StderrCapture err;
    menu_set_checked(bar, "Semitone overlay", true);
    EXPECT_NE(err.take().find("Menu entry \"Semitone overlay\" not found.\n"), std::string::npos);
    int marks = 0;
    for (const Menu& m : bar.menus)
        for (const MenuEntry& e : m.entries)
            marks += e.checked;
    EXPECT_EQ(marks, 2);
}

TEST_F(MenuTest, EveryToggleMarkFollowsItsStateThroughTheRequest)
{
    app.project.min_pitch_resolution = 24.0f;
    // The toggles whose state lives outside the App's own toggle records are read back there.
    struct Toggle {
        int id;
        std::function<bool()> state;
    };
    const Toggle toggles[] = {
        {3010, [&] { return app.project.loop_playback && app.playback.controls.loop_playback; }},
        {3020, [&] { return app.playback.controls.pause_after_loop.load(); }},
        {3060, [&] { return app.toggles.unnormalised_output; }},
        {3080, [&] { return app.playback.controls.suspend.load(); }},
        {3090, [&] { return app.project.long_blocks; }},
        {3100, [&] { return app.project.min_pitch_resolution == 0.0f; }},
        {3110, [&] { return app.toggles.linear_knob_control; }},
        {4040, [&] { return app.units.relative_selection; }},
        {5030, [&] { return app.display.rhythm_overlay; }},
        {5040, [&] { return app.display.semitone_overlay; }},
        {6080, [&] { return app.tools.harmonics_modifier; }},
        {6090, [&] { return app.tools.magnet_modifier; }},
    };
    for (const Toggle& t : toggles) {
        for (bool expected : {true, false}) {
            ASSERT_TRUE(choose(t.id)) << t.id;
            EXPECT_EQ(t.state(), expected) << t.id;
            EXPECT_EQ(checked(t.id), expected) << t.id;
        }
    }
    // Turning constant time resolution off brings back the resolution it replaced.
    EXPECT_EQ(app.project.min_pitch_resolution, 24.0f);
}

TEST_F(MenuTest, ForceSmoothAfterForceFastLeavesOnlySmoothChecked)
{
    choose(5010);
    EXPECT_TRUE(checked(5010));
    EXPECT_FALSE(checked(5020));
    choose(5020);
    EXPECT_FALSE(checked(5010));
    EXPECT_TRUE(checked(5020));
    EXPECT_TRUE(app.display.force_smooth_display);
    EXPECT_FALSE(app.display.force_fast_display);
    choose(5010);
    EXPECT_TRUE(checked(5010));
    EXPECT_FALSE(checked(5020));
}

TEST_F(MenuTest, ToolsAreOneRadioGroupAndHistoryUnitsAreThree)
{
    const int tool_entries[][2] = {{6020, tool_move},         {6030, tool_rectangle},   {6040, tool_dark_spray},
                                   {6050, tool_white_paint_spray}, {6060, tool_brighten_spray}, {6070, tool_smart_erase},
                                   {8110, tool_convolution_centre}, {6010, tool_cursor}};
    for (const auto& t : tool_entries) {
        choose(t[0]);
        EXPECT_EQ(app.tool, t[1]);
        for (const auto& other : tool_entries)
            EXPECT_EQ(checked(other[0]), other[0] == t[0]) << t[0] << " " << other[0];
    }
    choose(4011);
    choose(4023);
    choose(4030);
    EXPECT_EQ(app.units.time, 2);
    EXPECT_EQ(app.units.frequency_position, 6);
    EXPECT_EQ(app.units.frequency_dimensions, 1);
    for (int id : {4010, 4011, 4012, 4020, 4021, 4022, 4023, 4030, 4031, 4032})
        EXPECT_EQ(checked(id), id == 4011 || id == 4023 || id == 4030) << id;
}

TEST_F(MenuTest, GreyedEntriesAndSeparatorsDoNothing)
{
    for (int id : {1050, 2030, no_layer_entry, 0, 12345}) {
        EXPECT_FALSE(menu_action(bar, app, id)) << id;
    }
    const AppRequests fresh;
    EXPECT_EQ(memcmp(&fresh, &app.requests, sizeof fresh), 0);
    // The entries with keys raise the same requests the keys do.
    EXPECT_TRUE(menu_action(bar, app, 1070));
    EXPECT_TRUE(menu_action(bar, app, 2010));
    EXPECT_TRUE(menu_action(bar, app, 1080));
    EXPECT_EQ(app.requests.reload + app.requests.undo + app.requests.quit, 3);
}

TEST_F(MenuTest, LayerListLabelsAndTheGreyedNoLayer)
{
    layer_list_refresh(bar, app);
    ASSERT_EQ(layer_labels(), std::vector<std::string>{"No Layer"});
    EXPECT_TRUE(bar.menus[menu_layers].entries.back().greyed);
    // Layer requests without a picture are dropped.
    EXPECT_TRUE(choose(8010));
    EXPECT_TRUE(app.project.layers.empty());
    EXPECT_EQ(app.requests.new_layer, 0);

    picture_with_layers("New layer \"Bottom\"\nNew separator \"Group\"\nNew layer \"Inside\"\nBlending maximum\n"
                        "New layer \"Hidden\"\nBlending convolution looped\nTurn layer off\nSelected layer 1\n"
                        "Turn layer off\n");
    // The separator "Group" is off: "Inside" is hidden by it, "Hidden" is off itself.
    EXPECT_EQ(layer_labels(), (std::vector<std::string>{"(off) Hidden [ConvL]", "(group-off) Inside [Max]",
                                                        "(off) Group [Add]", "Bottom [Add]"}));
    EXPECT_EQ(menu_find_id(bar, layer_entry_first + 3)->label, "Bottom [Add]");
    // The current layer (index 1, the separator) is the third entry from the top.
    for (int k = 0; k < 4; k++)
        EXPECT_EQ(checked(layer_entry_first + k), k == 2) << k;
    EXPECT_TRUE(checked(8120));
}

TEST_F(MenuTest, LayerCommandsRecordTheirLinesAndReplayToTheSameStack)
{
    picture_with_layers("New layer \"Layer 1\"\n");
    app.history.enabled = true;
    app.project.layers[0].image[2][3] = 0.5f;
    choose(8010);  // New Layer
    choose(8150);  // Division
    choose(8120);  // Turn Off Layer
    choose(8030);  // Add Separator
    choose(layer_entry_first + 2);  // the bottom layer
    choose(7030);  // Horizontal Flip
    choose(4040);  // relative selection
    choose(layer_entry_first + 0);  // the top layer, relatively
    choose(3010);  // Loop Playback
    ASSERT_EQ(app.project.layers.size(), 3u);
    // The running number was 2 after "Layer 1"; it is incremented before naming.
    EXPECT_EQ(app.project.layers[1].name, "Layer 3");
    EXPECT_EQ(app.project.layers[1].blending, 2);
    EXPECT_EQ(app.project.layers[1].off, 1);
    EXPECT_EQ(app.project.layers[2].name, "----");
    EXPECT_EQ(app.project.current_layer, 2);
    EXPECT_EQ(app.project.layers[0].image[2][8 - 1 - 3], 0.5f);
    EXPECT_EQ(layer_labels(), (std::vector<std::string>{"---- [Add]", "(off) Layer 3 [Div]", "Layer 1 [Add]"}));
    EXPECT_TRUE(checked(layer_entry_first));
    history_close(app.history);
    const std::string text = read_text_file(dir.file("history.sga"));
    for (const char* line : {"New layer \"Layer 3\"", "Blending division", "Turn layer off", "New separator \"----\"",
                             "Selected layer 0", "Operation horizontal flip", "Selected layer +2", "Enable loop playback"})
        EXPECT_NE(text.find(line), std::string::npos) << line;

    // The recorded lines rebuild the same stack.
    App replay;
    replay.history.enabled = false;
    run_lines(replay, "Clear image\nDimensions 8 px x 6 px\nNew layer \"Layer 1\"\n");
    replay.project.layers[0].image[2][3] = 0.5f;
    ASSERT_TRUE(load_archive(replay, dir.file("history.sga")));
    ASSERT_EQ(replay.project.layers.size(), 3u);
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(replay.project.layers[i].name, app.project.layers[i].name);
        EXPECT_EQ(replay.project.layers[i].blending, app.project.layers[i].blending);
        EXPECT_EQ(replay.project.layers[i].off, app.project.layers[i].off);
    }
    EXPECT_EQ(replay.project.current_layer, 2);
    EXPECT_TRUE(replay.project.loop_playback);
    EXPECT_EQ(replay.project.layers[0].image[2][4], 0.5f);
}

TEST_F(MenuTest, SelectingALayerMovesTheGammaKnobAndTakesTheUndoCopy)
{
    picture_with_layers("New layer \"A\"\nNew layer \"B\"\nGamma 2\n");
    app.project.layers[0].gamma = 0.5f;
    app.project.layers[0].image[1][1] = 0.25f;
    choose(layer_entry_first + 1);
    EXPECT_EQ(app.project.current_layer, 0);
    EXPECT_EQ(app.gamma_control, 0.5f);
    ASSERT_TRUE(app.project.undo_image);
    EXPECT_EQ(app.project.undo_image[1][1], 0.25f);
}

TEST_F(MenuTest, TheLayersMenuHoldsTheFullTable)
{
    run_lines(app, "Clear image\nDimensions 2 px x 2 px\nNew layer \"L\"\n");
    while ((int)app.project.layers.size() < max_layers)
        ASSERT_TRUE(new_separator(app.project, "S"));
    layer_list_refresh(bar, app);
    EXPECT_EQ((int)layer_labels().size(), max_layers);
    MenuEntry* last = menu_find_id(bar, layer_entry_first + max_layers - 1);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->label, "L [Add]");
    EXPECT_TRUE(menu_action(bar, app, layer_entry_first + max_layers - 1));
    EXPECT_EQ(app.requests.select_layer, max_layers);
}

}  // namespace
