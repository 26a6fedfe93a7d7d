// Rebuilding only the columns a stroke touched leaves the composite exactly as a whole
// composite would, and refuses where a blend carries pixels across columns.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "layers/blend.h"
#include "layers/composite.h"
#include "layers/spray.h"
#include "layers/stack.h"

namespace {

void randomise(Project& p, Image image, std::mt19937& random)
{
    std::uniform_real_distribution<float> level(0.0f, 2.0f);
    for (int y = 0; y < p.height; y++)
        for (int x = 0; x < p.width; x++)
            image[y][x] = level(random);
}

std::vector<float> composite_pixels(const Project& p)
{
    std::vector<float> v;
    for (int y = 0; y < p.height; y++)
        v.insert(v.end(), p.composite[y], p.composite[y] + p.width);
    return v;
}

// Three groups of layers in pixel-wise modes, with a separator in Multiplication.
void build(Project& p, std::mt19937& random)
{
    ASSERT_TRUE(resize_project(p, 97, 13, true));
    ASSERT_TRUE(new_layer(p, "bottom"));
    randomise(p, p.layers[(size_t)p.current_layer].image, random);
    const int modes[] = {blend_multiplication, blend_maximum, blend_subtraction, blend_division, blend_difference};
    for (int i = 0; i < 5; i++) {
        if (i == 2) {
            ASSERT_TRUE(new_separator(p, "group"));
            p.layers[(size_t)p.current_layer].blending = blend_multiplication;
        }
        ASSERT_TRUE(new_layer(p, "layer"));
        randomise(p, p.layers[(size_t)p.current_layer].image, random);
        p.layers[(size_t)p.current_layer].blending = modes[i];
    }
}

}  // namespace

TEST(CompositeColumns, EqualsTheWholeComposite)
{
    for (bool group_only : {false, true}) {
        std::mt19937 random(11);
        Project p;
        build(p, random);
        composite_layers(p, group_only);
        // A stroke changes columns 30 to 44 of two layers.
        for (size_t layer : {p.layers.size() - 1, (size_t)1}) {
            Image image = p.layers[layer].image;
            for (int y = 0; y < p.height; y++)
                for (int x = 30; x <= 44; x++)
                    image[y][x] = image[y][x] * 0.5f + 0.25f;
        }
        const std::vector<float> stale = composite_pixels(p);
        ASSERT_TRUE(composite_columns(p, group_only, 30, 44));
        const std::vector<float> partial = composite_pixels(p);
        composite_layers(p, group_only);
        const std::vector<float> whole = composite_pixels(p);
        EXPECT_NE(stale, whole);  // the stroke did change the composite
        ASSERT_EQ(partial.size(), whole.size());
        EXPECT_EQ(std::memcmp(partial.data(), whole.data(), partial.size() * sizeof(float)), 0) << group_only;
        // Ranges reaching past the edges are clamped.
        ASSERT_TRUE(composite_columns(p, group_only, -20, 5));
        ASSERT_TRUE(composite_columns(p, group_only, 90, 500));
        EXPECT_EQ(composite_pixels(p), whole);
    }
}

TEST(CompositeColumns, RefusesBlendsThatCrossColumns)
{
    std::mt19937 random(5);
    Project p;
    build(p, random);
    composite_layers(p, false);
    const std::vector<float> before = composite_pixels(p);
    p.layers[1].blending = blend_horizontal_propagation;
    EXPECT_FALSE(composite_columns(p, false, 10, 20));
    EXPECT_EQ(composite_pixels(p), before);  // nothing touched
    p.layers[1].blending = blend_convolution;
    EXPECT_FALSE(composite_columns(p, false, 10, 20));
}

TEST(CompositeColumns, AStrokeRecompositesOnlyWhatItTouched)
{
    for (bool crossing : {false, true}) {
        std::mt19937 random(3);
        Project p;
        build(p, random);
        if (crossing)
            p.layers[1].blending = blend_horizontal_propagation;
        composite_layers(p, false);
        p.content_changed = 0;
        p.recomposite_needed = false;
        SprayTool t;
        for (int i = 0; i < 12; i++) {
            SprayPoint pt;
            pt.x = 40.0f + i;
            pt.y = 6.0f;
            pt.rx = pt.ry = 3.0f;
            pt.intensity = 0.4f;
            pt.start = i == 0;
            ASSERT_TRUE(spray_enqueue(t, pt));
        }
        const std::vector<float> before = composite_pixels(p);
        spray_worker(t, p, nullptr);
        // Pixel-wise blends: the touched columns were composited at once, nothing is pending.
        // A blend across columns leaves the whole composite to be done.
        EXPECT_EQ(p.recomposite_needed.load(), crossing);
        if (crossing)
            continue;
        const std::vector<float> partial = composite_pixels(p);
        EXPECT_NE(partial, before);
        composite_layers(p, false);
        EXPECT_EQ(std::memcmp(partial.data(), composite_pixels(p).data(), partial.size() * sizeof(float)), 0);
    }
}
