#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "layers/blend.h"

namespace {

const float nan_value = std::numeric_limits<float>::quiet_NaN();

struct Picture {
    int width, height;
    Image image;
    Picture(int w, int h, std::vector<float> pixels = {}) : width(w), height(h), image(image_alloc(h, w))
    {
        for (size_t i = 0; i < pixels.size(); i++)
            image[i / w][i % w] = pixels[i];
    }
    ~Picture() { image_free(image); }
    std::vector<float> pixels() const
    {
        std::vector<float> v;
        for (int y = 0; y < height; y++)
            v.insert(v.end(), image[y], image[y] + width);
        return v;
    }
};

// Blends one row `s` into one row `d` with accumulation and returns the new `d`.
std::vector<float> blend_row(int mode, std::vector<float> d, std::vector<float> s)
{
    int w = (int)d.size();
    Picture src(w, 1, s), dst(w, 1, d);
    blend_image(src.image, dst.image, w, 1, 0, 0, mode, 1);
    return dst.pixels();
}

void expect_row(const std::vector<float>& got, const std::vector<float>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); i++) {
        if (std::isnan(want[i]))
            EXPECT_TRUE(std::isnan(got[i])) << "at " << i;
        else
            EXPECT_EQ(got[i], want[i]) << "at " << i;
    }
}

}  // namespace

TEST(Blend, PixelModesOnHandMadeRows)
{
    //                      d:  2     3    -1    0     4     NaN
    std::vector<float> d = {2.0f, 3.0f, -1.0f, 0.0f, 4.0f, nan_value};
    std::vector<float> s = {0.5f, 0.0f, 2.0f, 5.0f, nan_value, 1.0f};

    expect_row(blend_row(0, d, s), {2.5f, 3.0f, 1.0f, 5.0f, nan_value, nan_value});
    expect_row(blend_row(1, d, s), {1.0f, 0.0f, -2.0f, 0.0f, nan_value, nan_value});
    // Division: a zero or NaN divisor gives 0, never infinity.
    expect_row(blend_row(2, d, s), {4.0f, 0.0f, -0.5f, 0.0f, 0.0f, nan_value});
    // Reverse division needs a strictly positive divisor: d = -1, 0 and NaN give 0.
    expect_row(blend_row(3, d, s), {0.25f, 0.0f, 0.0f, 0.0f, nan_value, 0.0f});
    // Subtraction never goes below 0, and a NaN difference becomes 0.
    expect_row(blend_row(4, d, s), {1.5f, 3.0f, 0.0f, 0.0f, 0.0f, 0.0f});
    expect_row(blend_row(5, d, s), {0.0f, 0.0f, 3.0f, 5.0f, 0.0f, 0.0f});
    // Difference: s - d when not negative, else d - s (NaN stays NaN).
    expect_row(blend_row(6, d, s), {1.5f, 3.0f, 3.0f, 5.0f, nan_value, nan_value});
    expect_row(blend_row(7, d, s), {0.5f, 0.0f, -1.0f, 0.0f, 4.0f, nan_value});
    expect_row(blend_row(8, d, s), {2.0f, 3.0f, 2.0f, 5.0f, 4.0f, nan_value});
}

TEST(Blend, DivisionModesGuardDifferently)
{
    // Division tests the divisor for zero only: a negative divisor divides.
    expect_row(blend_row(2, {1.0f, -0.0f}, {-4.0f, -0.0f}), {-0.25f, 0.0f});
    // Reverse division with a tiny positive divisor divides.
    expect_row(blend_row(3, {0.5f, -0.5f}, {1.0f, 1.0f}), {2.0f, 0.0f});
}

TEST(Blend, FirstBlendCopiesOrKeepsZeros)
{
    std::vector<float> s = {1.0f, 2.0f, 0.0f, 3.0f};
    for (int mode = 0; mode < blend_mode_count; mode++) {
        Picture src(2, 2, s), dst(2, 2);
        blend_image(src.image, dst.image, 2, 2, 0, 0, mode, 0);
        bool copies = mode == 0 || mode == 5 || mode == 6 || mode == 8;
        expect_row(dst.pixels(), copies ? s : std::vector<float>(4, 0.0f));
    }
    // The shortcut copies negative pixels as they are, where reverse subtraction would clamp.
    Picture src(1, 1, {-2.0f}), dst(1, 1);
    blend_image(src.image, dst.image, 1, 1, 0, 0, blend_reverse_subtraction, 0);
    EXPECT_EQ(dst.image[0][0], -2.0f);
}

TEST(Blend, NullRowsAndUnknownModesChangeNothing)
{
    Picture src(2, 2, {1, 1, 1, 1}), dst(2, 2, {5, 5, 5, 5});
    float* kept = dst.image[1];
    dst.image[1] = nullptr;
    blend_image(src.image, dst.image, 2, 2, 0, 0, blend_addition, 1);
    dst.image[1] = kept;
    expect_row(dst.pixels(), {6, 6, 5, 5});

    src.image[0][0] = 7.0f;
    for (int mode : {-1, 14, 1000})
        for (int accumulate : {0, 1}) {
            blend_image(src.image, dst.image, 2, 2, 0, 0, mode, accumulate);
            expect_row(dst.pixels(), {6, 6, 5, 5});
        }
}

TEST(Blend, HorizontalPropagationShiftsAndScales)
{
    const int w = 5, h = 2;
    std::vector<float> acc = {1, 2, 3, 4, 5, 0, 6, 0, 0, 7};
    // A 1 at the centre column of every row leaves the accumulated picture as it is.
    Picture centre(w, h, {0, 0, 1, 0, 0, 0, 0, 1, 0, 0});
    Picture a(w, h, acc);
    blend_image(centre.image, a.image, w, h, 2, 0, blend_horizontal_propagation, 1);
    expect_row(a.pixels(), acc);

    // One column to the right: shifted right, the last column dropped or wrapped to column 0.
    Picture right(w, h, {0, 0, 0, 1, 0, 0, 0, 0, 1, 0});
    Picture b(w, h, acc), c(w, h, acc);
    blend_image(right.image, b.image, w, h, 2, 0, blend_horizontal_propagation, 1);
    blend_image(right.image, c.image, w, h, 2, 0, blend_horizontal_propagation_looped, 1);
    expect_row(b.pixels(), {0, 1, 2, 3, 4, 0, 0, 6, 0, 0});
    expect_row(c.pixels(), {5, 1, 2, 3, 4, 7, 0, 6, 0, 0});

    // Two taps sum scaled copies; a row where the layer is all zero becomes zero.
    Picture taps(w, 2, {0.5f, 0, 2, 0, 0, 0, 0, 0, 0, 0});
    Picture d(w, 2, acc);
    blend_image(taps.image, d.image, w, 2, 2, 0, blend_horizontal_propagation, 1);
    expect_row(d.pixels(), {2 + 1.5f, 4 + 2.0f, 6 + 2.5f, 8, 10, 0, 0, 0, 0, 0});
}

TEST(Blend, LoopedPropagationWrapsFarOffsets)
{
    // A tap 7 columns right of a centre outside the row still wraps into place (7 mod 3 = 1).
    Picture tap(3, 1, {0, 0, 1});
    Picture a(3, 1, {1, 2, 3});
    blend_image(tap.image, a.image, 3, 1, -5, 0, blend_horizontal_propagation_looped, 1);
    expect_row(a.pixels(), {3, 1, 2});
    Picture b(3, 1, {1, 2, 3});
    blend_image(tap.image, b.image, 3, 1, -5, 0, blend_horizontal_propagation, 1);
    expect_row(b.pixels(), {0, 0, 0});
    // And 5 columns left of it (-5 mod 3 = 1) the same way.
    Picture left_tap(3, 1, {1, 0, 0});
    Picture c(3, 1, {1, 2, 3});
    blend_image(left_tap.image, c.image, 3, 1, 5, 0, blend_horizontal_propagation_looped, 1);
    expect_row(c.pixels(), {3, 1, 2});
}

TEST(Blend, VerticalPropagationShiftsColumns)
{
    const int w = 2, h = 4;
    std::vector<float> acc = {1, 10, 2, 20, 3, 30, 4, 40};
    // Column 0 has its tap one row below the centre (row 1): shifted down, last row lost.
    // Column 1 has taps at the centre (x1) and two rows above it (x0.5).
    Picture layer(w, h, {0, 0.5f, 0, 1, 1, 0, 0, 0});
    Picture a(w, h, acc);
    blend_image(layer.image, a.image, w, h, 0, 1, blend_vertical_propagation, 1);
    expect_row(a.pixels(), {0, 10 + 10, 1, 20 + 15, 2, 30 + 20, 3, 40});
}

TEST(Blend, KeywordsMatchOverTheirOwnLengthLastWins)
{
    EXPECT_EQ(blending_mode_from_keyword("addition"), 0);
    EXPECT_EQ(blending_mode_from_keyword("reverse division"), 3);
    EXPECT_EQ(blending_mode_from_keyword("horizontal propagation"), 10);
    EXPECT_EQ(blending_mode_from_keyword("horizontal propagation looped"), 11);
    EXPECT_EQ(blending_mode_from_keyword("convolution"), 12);
    EXPECT_EQ(blending_mode_from_keyword("convolution looped"), 13);
    EXPECT_EQ(blending_mode_from_keyword("maximum please"), 8);
    EXPECT_EQ(blending_mode_from_keyword("Addition"), -1);
    EXPECT_EQ(blending_mode_from_keyword("add"), -1);
    EXPECT_EQ(blending_mode_from_keyword(""), -1);
    EXPECT_EQ(blending_mode_from_keyword(nullptr), -1);
    for (int i = 0; i < blend_mode_count; i++)
        EXPECT_EQ(blending_mode_from_keyword(blending_keywords[i]), i);
}

TEST(Blend, ConvolutionWithUnitKernelKeepsPicture)
{
    Picture src(2, 2, {1, 0, 0, 0}), dst(2, 2, {1, 2, 3, 4});
    blend_image(src.image, dst.image, 2, 2, 0, 0, blend_convolution, 1);
    blend_image(src.image, dst.image, 2, 2, 0, 0, blend_convolution_looped, 1);
    expect_row(dst.pixels(), {1, 2, 3, 4});
}
