#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "layers/composite.h"
#include "layers/layer_move.h"
#include "layers/rectangle.h"
#include "layers/stack.h"
#include "project/units.h"

namespace {

// A w × h project with one layer whose pixel (x, y) holds 1 + x + 100 y.
void make_ramp(Project& p, int w, int h)
{
    ASSERT_TRUE(resize_project(p, w, h, true));
    new_layer(p, "ramp");
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            p.layers[0].image[y][x] = 1.0f + x + 100.0f * y;
}

float at(const Project& p, int x, int y) { return p.layers[p.current_layer].image[y][x]; }

std::vector<float> row(const Project& p, int y)
{
    const float* r = p.layers[p.current_layer].image[y];
    return std::vector<float>(r, r + p.width);
}

}  // namespace

TEST(LayerMove, DragStepsStartFromTheUndoCopy)
{
    Project p;
    make_ramp(p, 10, 2);
    std::vector<float> row0 = row(p, 0), row1 = row(p, 1);
    MoveDragView view;

    save_undo(p);
    EXPECT_TRUE(move_layer_drag(p, view, 0, 0, nullptr));
    EXPECT_EQ(row(p, 0), row0);

    EXPECT_TRUE(move_layer_drag(p, view, 3, 0, nullptr));
    EXPECT_EQ(row(p, 0), std::vector<float>({0, 0, 0, 1, 2, 3, 4, 5, 6, 7}));
    // Back at the start of the same drag: nothing was lost.
    EXPECT_TRUE(move_layer_drag(p, view, 0, 0, nullptr));
    EXPECT_EQ(row(p, 0), row0);
    EXPECT_EQ(row(p, 1), row1);

    // A new drag starts from the moved layer: what fell off stays lost.
    move_layer_drag(p, view, 3, 0, nullptr);
    save_undo(p);
    move_layer_drag(p, view, -3, 0, nullptr);
    EXPECT_EQ(row(p, 0), std::vector<float>({1, 2, 3, 4, 5, 6, 7, 0, 0, 0}));
}

TEST(LayerMove, ContentMovesInBothDirectionsAndOffTheEdges)
{
    Project p;
    make_ramp(p, 4, 3);
    save_undo(p);
    EXPECT_TRUE(move_layer_content(p, -1, 1));  // one column earlier, one row lower
    EXPECT_EQ(row(p, 0), std::vector<float>({0, 0, 0, 0}));
    EXPECT_EQ(row(p, 1), std::vector<float>({2, 3, 4, 0}));
    EXPECT_EQ(row(p, 2), std::vector<float>({102, 103, 104, 0}));
    EXPECT_TRUE(move_layer_content(p, 0, -2));
    EXPECT_EQ(row(p, 0), std::vector<float>({201, 202, 203, 204}));
    EXPECT_EQ(row(p, 2), std::vector<float>({0, 0, 0, 0}));

    // Larger than the picture, even absurdly so: the layer is cleared, nothing else is touched.
    auto cleared = [&] {
        for (int y = 0; y < 3; y++)
            if (row(p, y) != std::vector<float>(4, 0.0f))
                return false;
        return true;
    };
    for (int d : {4, -4, INT_MAX, INT_MIN}) {
        EXPECT_TRUE(move_layer_content(p, d, 0));
        EXPECT_TRUE(cleared()) << d;
    }
    for (int d : {3, -3, INT_MAX, INT_MIN}) {
        EXPECT_TRUE(move_layer_content(p, 0, d));
        EXPECT_TRUE(cleared()) << d;
    }
    EXPECT_TRUE(move_layer_content(p, 3, 2));
    EXPECT_EQ(row(p, 2), std::vector<float>({0, 0, 0, 1}));
    EXPECT_EQ(p.undo_image[2][3], 204.0f);
}

TEST(LayerMove, NothingToMove)
{
    Project p;
    make_ramp(p, 2, 2);
    new_separator(p, "sep");
    EXPECT_FALSE(move_layer_content(p, 1, 0));
    EXPECT_FALSE(move_layer_drag(p, MoveDragView(), 1, 0, nullptr));
    Project empty;
    EXPECT_FALSE(move_layer_content(empty, 1, 1));
    EXPECT_FALSE(move_layer_in_stack(empty, 1));
}

TEST(LayerMove, ConstrainKeepsTheLargerOffsetOnScreen)
{
    Project p;
    make_ramp(p, 11, 11);
    MoveDragView view;
    view.constrain = true;
    view.visible_columns = view.visible_rows = 11;
    view.view_width = view.view_height = 100;

    save_undo(p);
    move_layer_drag(p, view, 5, 2, nullptr);
    EXPECT_EQ(at(p, 5, 0), 1.0f);   // moved 5 columns, no rows
    EXPECT_EQ(at(p, 5, 2), 201.0f);

    // Rows drawn three times taller on screen: 2 rows outweigh 5 columns.
    view.view_height = 300;
    move_layer_drag(p, view, 5, 2, nullptr);
    EXPECT_EQ(at(p, 0, 2), 1.0f);
    EXPECT_EQ(at(p, 5, 2), 6.0f);
}

TEST(LayerMove, StatusText)
{
    Project p;
    make_ramp(p, 10, 121);
    p.fmin = 100.0f;
    p.fmax = 400.0f;  // two octaves over 120 rows: 60 rows per octave, 5 rows per semitone
    p.scale_base = 2.0f;
    p.time_resolution = 100.0f;
    save_undo(p);
    std::string status;
    move_layer_drag(p, MoveDragView(), 25, -10, &status);
    EXPECT_EQ(status, "Moving by 2.00 semitones, 0.250 seconds");

    p.scale_base = 1.0f;  // linear: 300 Hz over 120 rows
    move_layer_drag(p, MoveDragView(), -5, 4, &status);
    EXPECT_EQ(status, "Moving by -10.00 Hz, -0.050 seconds");
}

TEST(LayerMove, RecordedLineNegatesTheVerticalOffset)
{
    Project p;
    make_ramp(p, 10, 121);
    p.fmin = 100.0f;
    p.fmax = 400.0f;  // 5 rows per semitone
    p.time_resolution = 100.0f;
    // 25 columns later and 10 rows lower: a quarter second, two semitones down.
    EXPECT_EQ(record_layer_move(p, 25, 10, unit_sec, unit_st), "Move layer +0.25 sec x -2 st");
    EXPECT_EQ(record_layer_move(p, -3, -7, unit_px, unit_px), "Move layer -3 px x +7 px");
    EXPECT_EQ(record_layer_move(p, 0, 0, unit_sec, unit_st), "Move layer +0 sec x -0 st");

    // The line reads back as the same move under the current archive version.
    save_undo(p);
    EXPECT_TRUE(apply_archive_layer_move(p, -3.0f, 7.0f, 2.2f));
    EXPECT_EQ(at(p, 0, 0), 1.0f + 3 + 100.0f * 7);

    testing::internal::CaptureStderr();
    EXPECT_EQ(record_layer_move(p, 1, 1, unit_none, unit_st), "");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("not recorded"), std::string::npos);
}

TEST(LayerMove, ArchiveOffsetsFollowTheVersion)
{
    // +10 px across and +5 px up under 2.2: ten columns later, five rows toward row 0.
    Project p;
    make_ramp(p, 20, 12);
    EXPECT_TRUE(apply_archive_layer_move(p, 10.0f, 5.0f, 2.2f));
    EXPECT_EQ(at(p, 10, 0), 1.0f + 100.0f * 5);
    EXPECT_EQ(at(p, 0, 0), 0.0f);
    EXPECT_EQ(p.undo_image[0][0], 1.0f);  // the undo copy was taken first

    // Version 1.0 stored the row offset itself: five rows down.
    Project q;
    make_ramp(q, 20, 12);
    EXPECT_TRUE(apply_archive_layer_move(q, 10.9f, 5.9f, 1.0f));
    EXPECT_EQ(at(q, 10, 5), 1.0f);
    EXPECT_EQ(at(q, 10, 4), 0.0f);

    testing::internal::CaptureStderr();
    EXPECT_FALSE(apply_archive_layer_move(q, std::nanf(""), 1.0f, 2.2f));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(at(q, 10, 5), 1.0f);
    EXPECT_TRUE(apply_archive_layer_move(q, 1e30f, 0.0f, 2.2f));
    EXPECT_EQ(row(q, 5), std::vector<float>(20, 0.0f));
}

TEST(LayerMove, StackMovesExchangeWholeRecords)
{
    Project p;
    ASSERT_TRUE(resize_project(p, 1, 1, true));
    new_layer(p, "a");
    new_separator(p, "sep");
    set_layer_blending(p, 1);
    new_layer(p, "b");

    p.content_changed = 0;
    EXPECT_FALSE(move_layer_in_stack(p, 1));  // already on top
    EXPECT_FALSE(move_layer_in_stack(p, 2));
    EXPECT_EQ(p.content_changed, 0);

    select_layer(p, 1, false);
    EXPECT_TRUE(move_layer_in_stack(p, -1));  // the separator now opens a group below "a"
    EXPECT_EQ(p.current_layer, 0);
    EXPECT_EQ(p.layers[0].name, "sep");
    EXPECT_EQ(p.layers[0].blending, 1);
    EXPECT_EQ(p.layers[1].name, "a");
    EXPECT_EQ(p.content_changed, content_pixels);
    EXPECT_TRUE(p.recomposite_needed);
    EXPECT_FALSE(move_layer_in_stack(p, -1));  // already at the bottom
    update_group_flags(p);
    EXPECT_EQ(p.layers[2].group, 0);
    EXPECT_TRUE(move_layer_in_stack(p, 1));
    EXPECT_TRUE(move_layer_in_stack(p, 1));
    EXPECT_EQ(p.layers[2].name, "sep");
    EXPECT_EQ(p.current_layer, 2);
}

TEST(Rectangle, MultipliesHalfOpenClippedArea)
{
    Project p;
    make_ramp(p, 5, 4);
    composite_layers(p, false);
    // Corners given in either order; the far corner is excluded.
    EXPECT_TRUE(multiply_rectangle(p, 3, 2, 1, 1, 2.0f));
    EXPECT_TRUE(p.recomposite_needed);
    EXPECT_EQ(row(p, 0), std::vector<float>({1, 2, 3, 4, 5}));
    EXPECT_EQ(row(p, 1), std::vector<float>({101, 204, 206, 104, 105}));
    EXPECT_EQ(row(p, 2), std::vector<float>({201, 202, 203, 204, 205}));

    // Clipped at 0 and at the edges.
    EXPECT_TRUE(multiply_rectangle(p, -10, -10, 100, 1, 0.5f));
    EXPECT_EQ(row(p, 0), std::vector<float>({0.5f, 1, 1.5f, 2, 2.5f}));
    EXPECT_EQ(row(p, 1)[1], 204.0f);

    // Dragged back onto its start: an empty rectangle multiplies nothing.
    std::vector<float> before[4] = {row(p, 0), row(p, 1), row(p, 2), row(p, 3)};
    EXPECT_TRUE(multiply_rectangle(p, 2, 2, 2, 2, 0.0f));
    EXPECT_TRUE(multiply_rectangle(p, 0, 2, 5, 2, 0.0f));
    EXPECT_TRUE(multiply_rectangle(p, 3, 0, 3, 4, 0.0f));
    for (int y = 0; y < 4; y++)
        EXPECT_EQ(row(p, y), before[y]);

    testing::internal::CaptureStderr();
    EXPECT_FALSE(multiply_rectangle(p, 0, 0, 5, 4, std::nanf("")));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(row(p, 3), before[3]);

    new_separator(p, "sep");
    EXPECT_FALSE(multiply_rectangle(p, 0, 0, 5, 4, 2.0f));
}
