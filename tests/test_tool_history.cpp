#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "commands/image_ops_menu.h"
#include "commands/spray_record.h"
#include "commands/app.h"
#include "archive_test_util.h"
#include "layers/image_ops.h"
#include "layers/spray.h"
#include "commands/archive_read.h"
#include "commands/history.h"
#include "project/units.h"
#include "testlib.h"

namespace {

uint32_t bits_of(float f)
{
    uint32_t b;
    memcpy(&b, &f, 4);
    return b;
}

// The same starting picture in every app: a layer with a pattern and an original layer image.
void set_up_project(App& app, float base)
{
    char scale[64];
    snprintf(scale, sizeof scale, "Frequency scale %g", base);
    run_lines(app, std::string("Clear image\nFrequency range 55 Hz - 7040 Hz\n") + scale +
                       "\nTime resolution 100 px/s\nDimensions 300 px x 211 px\nNew layer \"Layer 1\"");
    Project& p = app.project;
    Layer& l = p.layers[p.current_layer];
    l.original_width = p.width;
    l.original_height = p.height;
    l.original_image = image_alloc(p.height, p.width);
    for (int y = 0; y < p.height; y++)
        for (int x = 0; x < p.width; x++) {
            l.image[y][x] = 0.5f + 0.4f * sinf(x * 0.05f) * cosf(y * 0.07f);
            l.original_image[y][x] = 0.3f + 0.3f * sinf(x * 0.02f + y * 0.11f) * sinf(y * 0.13f);
        }
}

struct Stroke {
    int type;
    bool harmonics;
    int time_unit, position_unit, dimension_unit;
    float base;
    bool magnet = false;
};

// Paints two strokes through spray_point (screen positions in, history lines out), the first
// switching to the erase variant and back halfway; then replays the recorded history on a fresh
// project and compares every pixel's bits.
void check_replay(const Stroke& s)
{
    TempDir dir;
    App live;
    live.history.path = dir.file("history.sga");
    set_up_project(live, s.base);
    live.units.time = s.time_unit;
    live.units.frequency_position = s.position_unit;
    live.units.frequency_dimensions = s.dimension_unit;
    live.tools.harmonics_modifier = s.harmonics;
    live.tools.spray_harmonics = 12;
    live.tools.magnet_modifier = s.magnet;
    // 300 × 211 pixels shown on 600 × 422 screen pixels.
    live.tool_view.visible_columns = 300;
    live.tool_view.visible_rows = 211;
    live.tool_view.view_width = 600;
    live.tool_view.view_height = 422;
    Image before = image_copy(live.project.layers[0].image, live.project.height, live.project.width);

    for (int i = 0; i < 40; i++) {
        float sx = 160.0f + 11.3f * i, sy = 124.0f + 380.0f - 6.1f * i + 25.0f * sinf(i * 0.4f);
        if (i == 20 || i == 21)
            sx -= 11.3f;  // the pointer rests: no point line, nothing painted
        int erase = i >= 12 && i < 18;
        spray_point(live, sx, sy, erase, 14.0f, 0.6f, s.type, i == 0);
        spray_wait(live.spray);  // no point may be dropped for the comparison
    }
    live.tools.harmonics_modifier = !s.harmonics;
    for (int i = 0; i < 15; i++) {
        spray_point(live, 700.0f - 9.0f * i, 200.0f + 14.5f * i, i >= 10, 6.0f, 0.35f, s.type, i == 0);
        spray_wait(live.spray);
    }
    history_close(live.history);
    std::string text = read_text_file(dir.file("history.sga"));
    ASSERT_NE(text.find(std::string("Draw ") + spray_keywords[s.type]), std::string::npos);
    ASSERT_NE(text.find("Draw erase spray"), std::string::npos);
    write_text_file(dir.file("stroke.sga"), text);

    App replay;
    replay.history.enabled = false;
    set_up_project(replay, s.base);
    ASSERT_TRUE(load_archive(replay, dir.file("stroke.sga")));
    const Project& a = live.project;
    const Project& b = replay.project;
    int changed = 0;
    for (int y = 0; y < a.height; y++)
        for (int x = 0; x < a.width; x++) {
            ASSERT_EQ(bits_of(a.layers[0].image[y][x]), bits_of(b.layers[0].image[y][x]))
                << "at " << x << "," << y << "\n" << text;
            changed += a.layers[0].image[y][x] != before[y][x];
        }
    image_free(before);
    EXPECT_GT(changed, 1000);
}

}  // namespace

TEST(SprayReplay, DarkSprayInSecondsHertzAndSemitones) { check_replay({spray_dark, true, 3, 4, 5, 2.0f}); }
TEST(SprayReplay, DarkSprayWithoutHarmonicsInPixels) { check_replay({spray_dark, false, 1, 1, 1, 2.0f}); }
TEST(SprayReplay, WhiteSprayWithHarmonicsInPercent) { check_replay({spray_white, true, 2, 2, 2, 1.5f}); }
TEST(SprayReplay, WhiteSprayWithoutHarmonicsInNotes) { check_replay({spray_white, false, 3, 6, 5, 2.0f}); }
TEST(SprayReplay, BrightenSprayWithHarmonicsInNotes) { check_replay({spray_brighten, true, 1, 6, 5, 2.0f}); }
TEST(SprayReplay, BrightenSprayWithoutHarmonics) { check_replay({spray_brighten, false, 3, 4, 5, 1.25f}); }
TEST(SprayReplay, SmartEraseWithHarmonics) { check_replay({spray_smart_erase, true, 3, 4, 5, 2.0f}); }
TEST(SprayReplay, SmartEraseWithoutHarmonicsAndTheMagnet) { check_replay({spray_smart_erase, false, 3, 4, 5, 2.0f, true}); }
// Semitones do not read back on a linear scale: the brush size is written in pixels instead.
TEST(SprayReplay, LinearScaleWithSemitoneSizes) { check_replay({spray_dark, true, 3, 4, 5, 1.0f}); }

namespace {

// An app recording into a temporary history with a clock that never advances, so that point
// lines end in "T+0.000s" and no time lines appear.
struct Recording {
    TempDir dir;
    App app;
    static long long frozen_tick() { return 1; }
    Recording()
    {
        app.history.path = dir.file("history.sga");
        app.history.tick_ms = frozen_tick;
        set_up_project(app, 2.0f);
        app.tool_view.visible_columns = 300;
        app.tool_view.visible_rows = 211;
        app.tool_view.view_width = 600;
        app.tool_view.view_height = 422;
    }
    std::vector<std::string> lines()
    {
        spray_wait(app.spray);
        history_close(app.history);
        std::vector<std::string> v;
        std::string text = read_text_file(dir.file("history.sga")), line;
        for (char c : text) {
            if (c == '\n') {
                v.push_back(line);
                line.clear();
            } else {
                line += c;
            }
        }
        if (!line.empty())
            v.push_back(line);
        return v;
    }
};

bool is_point_line(const std::string& line, bool note)
{
    // "%-8g\t%-8g\t" or "%-8g\t<note>   \t", then the stroke time.
    size_t tab = line.find('\t');
    if (tab == std::string::npos || tab < 8 || line.compare(line.size() - 8, 8, "T+0.000s") != 0)
        return false;
    std::string y = line.substr(tab + 1, line.size() - 8 - tab - 2);
    if (line[line.size() - 9] != '\t')
        return false;
    if (note)
        return y[0] >= 'A' && y[0] <= 'G' && (y.size() >= 9 || y.compare(y.size() - 3, 3, "   ") == 0);
    return y.size() >= 8 && (isdigit((unsigned char)y[0]) || y[0] == '-');
}

}  // namespace

TEST(SprayRecording, StrokeLinesFollowTheStartTheEraseFlagAndThePointer)
{
    Recording r;
    r.app.units.frequency_position = unit_note;
    r.app.tools.spray_harmonics = 7;
    spray_point(r.app, 300.0f, 400.0f, 0, 10.0f, 0.6f, spray_dark, 1);
    spray_point(r.app, 300.0f, 400.0f, 0, 10.0f, 0.6f, spray_dark, 0);  // not moved: nothing
    spray_point(r.app, 310.0f, 398.0f, 0, 10.0f, 0.6f, spray_dark, 0);  // one point line
    spray_point(r.app, 320.0f, 396.0f, 1, 10.0f, 0.6f, spray_dark, 0);  // erase while moving: two
    spray_point(r.app, 320.0f, 396.0f, 0, 10.0f, 0.6f, spray_dark, 0);  // erase off, resting: one
    r.app.tools.harmonics_modifier = true;
    r.app.units.frequency_position = unit_hz;
    spray_point(r.app, 330.0f, 390.0f, 0, 10.0f, 0.6f, spray_white, 1);
    std::vector<std::string> l = r.lines();
    ASSERT_EQ(l.size(), 20u);
    EXPECT_EQ(l[0], "Draw dark spray");
    // Radii 1.5 × 10 screen pixels × 299/600 columns (at least 2), in seconds and semitones.
    EXPECT_EQ(l[1].rfind("Point size 0.0747", 0), 0u) << l[1];
    EXPECT_EQ(l[1].substr(l[1].size() - 3), " st");
    EXPECT_EQ(l[2], "Units sec,note");
    EXPECT_EQ(l[3], "Point intensity 0.6");
    EXPECT_EQ(l[4], "Harmonics 0");
    EXPECT_EQ(l[5], "Lines");
    EXPECT_TRUE(is_point_line(l[6], true)) << l[6];
    EXPECT_TRUE(is_point_line(l[7], true)) << l[7];
    EXPECT_NE(l[6], l[7]);
    EXPECT_EQ(l[8], "Draw erase spray");
    EXPECT_TRUE(is_point_line(l[9], true)) << l[9];
    EXPECT_EQ(l[9], l[10]);
    EXPECT_EQ(l[11], "Draw dark spray");
    EXPECT_EQ(l[12], l[10]);
    EXPECT_EQ(l[13], "Draw white spray");
    EXPECT_EQ(l[14].rfind("Point size ", 0), 0u);
    EXPECT_EQ(l[15], "Units sec,Hz");
    EXPECT_EQ(l[17], "Harmonics 7");
    EXPECT_EQ(l[18], "Lines");
    EXPECT_TRUE(is_point_line(l[19], false)) << l[19];
}

TEST(SprayRecording, ASeparatorRecordsAndPaintsNothing)
{
    Recording r;
    run_lines(r.app, "New separator \"s\"");
    spray_point(r.app, 300.0f, 400.0f, 0, 10.0f, 0.6f, spray_dark, 1);
    EXPECT_TRUE(r.lines().empty());
}

TEST(OperationRecording, MenuOperationsRecordTheirLineAfterTheUndoCopy)
{
    Recording r;
    Project& p = r.app.project;
    p.layers[0].image[5][7] = 0.25f;
    p.layers[0].image[6][7] = 4.0f;
    std::vector<float> before(p.layers[0].image[0], p.layers[0].image[0] + p.width * p.height);
    ASSERT_TRUE(menu_image_operation(r.app, op_reciprocal));
    EXPECT_EQ(p.layers[0].image[5][7], 4.0f);  // performed once, not executed again from the line
    EXPECT_EQ(p.layers[0].image[6][7], 0.25f);
    for (int y = 0; y < p.height; y++)
        for (int x = 0; x < p.width; x++)
            ASSERT_EQ(p.undo_image[y][x], before[(size_t)y * p.width + x]);

    // Normalisation is recorded and executed by the interpreter: the maximum becomes 1.
    ASSERT_TRUE(menu_image_operation(r.app, op_normalisation));
    float m = 0.0f;
    for (int y = 0; y < p.height; y++)
        for (int x = 0; x < p.width; x++)
            m = std::max(m, p.layers[0].image[y][x]);
    EXPECT_EQ(m, 1.0f);
    EXPECT_EQ(p.undo_image[5][7], 4.0f);

    run_lines(r.app, "New separator \"s\"");
    EXPECT_FALSE(menu_image_operation(r.app, op_invert));
    EXPECT_EQ(r.lines(), (std::vector<std::string>{"Operation 1/x", "Operation normalisation"}));
}

TEST(OperationRecording, ArchiveLinesRunTheOperationsWithTheOldPinkRule)
{
    App app;
    app.history.enabled = false;
    set_up_project(app, 2.0f);
    run_lines(app, "Operation fill pink");
    EXPECT_EQ(app.project.layers[0].image[0][0], 1.0f);
    EXPECT_EQ(app.project.layers[0].image[210][0], 1.0f);
    // Version 1.1 archives meant the brown fill: the top row is quieter than the bottom one.
    run_lines(app, "Sonographica Archive v1.1.1\nOperation fill pink");
    EXPECT_LT(app.project.layers[0].image[0][0], 0.5f);
    EXPECT_EQ(app.project.layers[0].image[210][0], 1.0f);
    run_lines(app, "Sonographica Archive v1.2.2\nOperation rotation by 180\nOperation no such thing");
    EXPECT_LT(app.project.layers[0].image[210][299], 0.5f);
}
