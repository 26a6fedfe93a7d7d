#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "project/project.h"

// An image layer of the project's size whose pixel (x, y) holds x + 1000 y + `tag`.
static void add_layer(Project& p, float tag)
{
    Layer l;
    l.image = image_alloc(p.height, p.width);
    for (int y = 0; y < p.height; y++)
        for (int x = 0; x < p.width; x++)
            l.image[y][x] = x + 1000.0f * y + tag;
    l.name = "Layer";
    p.layers.push_back(std::move(l));
    p.current_layer = (int)p.layers.size() - 1;
}

static void add_separator(Project& p)
{
    Layer l;
    l.name = "Group";
    p.layers.push_back(std::move(l));
    p.current_layer = (int)p.layers.size() - 1;
}

static int block_width_for(float resolution, int height, bool long_blocks)
{
    Project p;
    p.time_resolution = resolution;
    p.height = height;
    p.long_blocks = long_blocks;
    update_block_width(p);
    return p.block_width;
}

TEST(Project, BlockWidth)
{
    EXPECT_EQ(block_width_for(100.0f, 571, false), 400);
    EXPECT_EQ(block_width_for(100.0f, 1000, false), 400);
    EXPECT_EQ(block_width_for(100.0f, 1001, false), 800);
    EXPECT_EQ(block_width_for(100.0f, 2500, false), 1200);
    EXPECT_EQ(block_width_for(100.0f, 571, true), 12000);
    EXPECT_EQ(block_width_for(100.0f, 2500, true), 12000);
    EXPECT_EQ(block_width_for(5.0f, 571, false), 24);
    EXPECT_EQ(block_width_for(37.9f, 571, false), 148);   // the resolution is truncated first
    // Nonsense resolutions give the smallest block, never an overflow.
    EXPECT_EQ(block_width_for(NAN, 571, false), 24);
    EXPECT_EQ(block_width_for(-100.0f, 571, false), 24);
    EXPECT_GE(block_width_for(1e30f, 1 << 20, false), 24);
    // A new project starts at 100 until the first time resolution is set.
    Project fresh;
    EXPECT_EQ(fresh.block_width, 100);
}

TEST(Project, LayerDefaultsCentreOnThePicture)
{
    Project p;
    p.width = 7;
    p.height = 5;
    add_layer(p, 0);
    Layer& l = p.layers[0];
    l.gamma = 2.2f;
    l.blending = 5;
    l.centre_set = 1;
    l.off = 1;
    apply_layer_defaults(p);
    EXPECT_EQ(l.centre_x, 3);
    EXPECT_EQ(l.centre_y, 2);
    EXPECT_EQ(l.gamma, 1.0f);
    EXPECT_EQ(l.blending, 0);
    EXPECT_EQ(l.centre_set, 0);
    EXPECT_EQ(l.off, 0);
    p.current_layer = -1;
    apply_layer_defaults(p);   // no current layer: nothing to do, nothing to break
}

TEST(Project, DimensionsGrowAndCropCuts)
{
    Project p;
    ASSERT_TRUE(resize_project(p, 4, 3, false));
    EXPECT_EQ(p.width, 4);
    EXPECT_EQ(p.height, 3);
    EXPECT_EQ(p.current_layer, -1);
    EXPECT_TRUE(p.layers.empty());
    add_layer(p, 0.5f);
    add_separator(p);
    add_layer(p, 0.25f);

    // Growing keeps every pixel where it was and zeroes the new ones.
    ASSERT_TRUE(resize_project(p, 6, 5, false));
    EXPECT_EQ(p.width, 6);
    EXPECT_EQ(p.height, 5);
    EXPECT_EQ(p.composite_width, 6);
    EXPECT_EQ(p.composite_height, 5);
    EXPECT_EQ(p.content_changed, content_dimensions);
    EXPECT_EQ(p.layers[1].image, nullptr) << "a separator stays without pixels";
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 6; x++) {
            float want = x < 4 && y < 3 ? x + 1000.0f * y + 0.5f : 0.0f;
            ASSERT_EQ(p.layers[0].image[y][x], want) << x << "," << y;
        }
    ASSERT_NE(p.composite, nullptr);
    ASSERT_NE(p.synthesis_copy, nullptr);
    EXPECT_EQ(p.undo_image[4][5], 0.0f);

    // "Dimensions" only grows: a smaller size, or one smaller on one axis, changes no layer.
    ASSERT_TRUE(resize_project(p, 2, 2, false));
    EXPECT_EQ(p.width, 6);
    EXPECT_EQ(p.height, 5);
    ASSERT_TRUE(resize_project(p, 3, 7, false));
    EXPECT_EQ(p.width, 6);
    EXPECT_EQ(p.height, 7);
    EXPECT_EQ(p.layers[2].image[2][3], 3 + 2000.0f + 0.25f);

    // "Crop" takes the size as given and keeps the top-left block.
    ASSERT_TRUE(resize_project(p, 2, 2, true));
    EXPECT_EQ(p.width, 2);
    EXPECT_EQ(p.height, 2);
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 2; x++)
            EXPECT_EQ(p.layers[2].image[y][x], x + 1000.0f * y + 0.25f);
    EXPECT_EQ(p.layers[1].image, nullptr);
}

TEST(Project, RefusedSizesLeaveTheProjectUnchanged)
{
    Project p;
    ASSERT_TRUE(resize_project(p, 8, 4, false));
    add_layer(p, 0);
    Image before = p.layers[0].image;
    Image composite = p.composite;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(resize_project(p, 1 << 21, 4, false));
    EXPECT_FALSE(resize_project(p, 100000, 100000, true));
    EXPECT_FALSE(resize_project(p, -1, 4, true));
    // An empty size would turn the image layer into a separator.
    EXPECT_FALSE(resize_project(p, 0, 4, true));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Error: "), std::string::npos);
    EXPECT_EQ(p.width, 8);
    EXPECT_EQ(p.height, 4);
    EXPECT_EQ(p.layers[0].image, before);
    EXPECT_EQ(p.composite, composite);
    EXPECT_EQ(p.layers[0].image[3][7], 7 + 3000.0f);

    // Without image layers an empty picture is allowed (a project after "Clear image").
    reset_project(p);
    EXPECT_TRUE(resize_project(p, 0, 0, true));
}

TEST(Project, UndoCopiesTheCurrentLayer)
{
    Project p;
    ASSERT_TRUE(resize_project(p, 5, 3, false));
    add_layer(p, 0.5f);
    save_undo(p);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 5; x++)
            ASSERT_EQ(p.undo_image[y][x], x + 1000.0f * y + 0.5f);
    // The copy is separate from the layer.
    p.layers[0].image[1][1] = -9.0f;
    EXPECT_EQ(p.undo_image[1][1], 1001.5f);

    // A separator leaves the undo picture alone.
    add_separator(p);
    save_undo(p);
    EXPECT_EQ(p.undo_image[2][4], 2004.5f);
    // So does a picture without rows, and a missing current layer.
    p.current_layer = 7;
    save_undo(p);
    EXPECT_EQ(p.undo_image[2][4], 2004.5f);
}

TEST(Project, ClearImageKeepsRangeSettingsAndSound)
{
    Project p;
    p.fmin = 50.0f;
    p.fmax = 8000.0f;
    p.time_resolution = 40.0f;
    p.scale_base = 1.3f;
    p.lossless = true;
    ASSERT_TRUE(resize_project(p, 6, 4, false));
    add_layer(p, 0);
    add_separator(p);
    p.layers[0].original_image = image_alloc(4, 6);
    p.layers[0].original_width = 6;
    p.layers[0].original_height = 4;
    ASSERT_TRUE(set_original_sound(p, std::vector<float>(100, 0.5f), 100));
    save_undo(p);

    reset_project(p);
    EXPECT_EQ(p.width, 0);
    EXPECT_EQ(p.height, 0);
    EXPECT_TRUE(p.layers.empty());
    EXPECT_EQ(p.current_layer, -1);
    EXPECT_EQ(p.scale_base, 2.0f);
    EXPECT_EQ(p.composite, nullptr);
    EXPECT_EQ(p.undo_image, nullptr);
    EXPECT_EQ(p.synthesis_copy, nullptr);
    EXPECT_EQ(p.fmin, 50.0f);
    EXPECT_EQ(p.fmax, 8000.0f);
    EXPECT_EQ(p.time_resolution, 40.0f);
    EXPECT_TRUE(p.lossless);
    EXPECT_EQ(p.original_sound_length, 100);
    EXPECT_EQ(p.original_sound[99], 0.5f);

    // Then "Dimensions 100 px x 50 px": an empty project of that size.
    ASSERT_TRUE(resize_project(p, 100, 50, false));
    EXPECT_EQ(p.width, 100);
    EXPECT_EQ(p.height, 50);
    EXPECT_TRUE(p.layers.empty());
    EXPECT_EQ(p.current_layer, -1);

    // Freeing the pictures alone keeps the layers; with layers it empties the table.
    add_layer(p, 0);
    free_pictures(p, false);
    EXPECT_EQ(p.composite, nullptr);
    EXPECT_EQ(p.layers.size(), 1u);
    EXPECT_NE(p.layers[0].image, nullptr);
    free_pictures(p, true);
    EXPECT_TRUE(p.layers.empty());
    EXPECT_EQ(p.current_layer, 0);
}

TEST(Project, OriginalSoundIsPaddedToWholeHalfBlocks)
{
    Project p;
    p.time_resolution = 100.0f;
    p.height = 571;
    update_block_width(p);
    ASSERT_EQ(p.block_width, 400);
    // 2 x round(200 x 44100 / 100) = 176400 = 2^4 3^2 5^2 7^2; the next size free of 7 is 3^11.
    std::vector<float> sound(100000, 0.25f);
    ASSERT_TRUE(set_original_sound(p, sound, 100000));
    EXPECT_EQ(p.block_length, 177147);
    EXPECT_EQ(p.block_count, 2);
    EXPECT_EQ(p.original_sound_length, 100000);
    ASSERT_EQ(p.original_sound.size(), 3u * 88573u);
    EXPECT_EQ(p.original_sound[99999], 0.25f);
    EXPECT_EQ(p.original_sound[100000], 0.0f);
    EXPECT_EQ(p.original_sound.back(), 0.0f);

    // A longer vector than the stated length: the rest is padding and is zeroed.
    ASSERT_TRUE(set_original_sound(p, std::vector<float>(400000, 1.0f), 10));
    EXPECT_EQ(p.block_count, 1);
    ASSERT_EQ(p.original_sound.size(), 2u * 88573u);
    EXPECT_EQ(p.original_sound[9], 1.0f);
    EXPECT_EQ(p.original_sound[10], 0.0f);
    EXPECT_EQ(p.original_sound.back(), 0.0f);

    // A stated length without samples yet (an archive's block follows): a zeroed buffer.
    ASSERT_TRUE(set_original_sound(p, {}, 1000));
    EXPECT_EQ(p.original_sound_length, 1000);
    EXPECT_EQ(p.original_sound.size(), 2u * 88573u);
    EXPECT_EQ(p.original_sound[999], 0.0f);

    // Absurd lengths and resolutions are refused and change nothing.
    testing::internal::CaptureStderr();
    EXPECT_FALSE(set_original_sound(p, {}, -5));
    EXPECT_FALSE(set_original_sound(p, {}, 2000000000));
    p.time_resolution = 0.0f;
    EXPECT_FALSE(set_original_sound(p, sound, 100000));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("set_original_sound"), std::string::npos);
    EXPECT_EQ(p.original_sound_length, 1000);
    EXPECT_EQ(p.block_length, 177147);
}

TEST(Project, ShortOddBlocksNeverCutTheSound)
{
    // At one sample per second and 12/7 columns per second a block is 15 samples: 1000 samples
    // in half blocks of 7 would need more halves than the count gives.
    Project p;
    p.sample_rate = 1;
    p.time_resolution = 12.0f / 7.0f;
    update_block_width(p);
    ASSERT_EQ(p.block_width, 24);
    std::vector<float> sound(1000, 1.0f);
    ASSERT_TRUE(set_original_sound(p, sound, 1000));
    EXPECT_EQ(p.block_length, 15);
    EXPECT_EQ(p.block_count, 134);
    ASSERT_GE(p.original_sound.size(), 1000u);
    EXPECT_EQ(p.original_sound[999], 1.0f);
}
