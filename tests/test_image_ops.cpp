#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <vector>

#include "engine/scale.h"
#include "layers/image_ops.h"
#include "layers/stack.h"

namespace {

// A project of w × h holding one image layer, current, filled from `pixels` (row by row).
void make_layer(Project& p, int w, int h, const std::vector<float>& pixels = {})
{
    ASSERT_TRUE(resize_project(p, w, h, true));
    ASSERT_TRUE(new_layer(p, "Layer 1"));
    for (size_t i = 0; i < pixels.size(); i++)
        p.layers[p.current_layer].image[i / w][i % w] = pixels[i];
}

std::vector<float> pixels(const Project& p)
{
    std::vector<float> v;
    Image im = p.layers[p.current_layer].image;
    for (int y = 0; y < p.height; y++)
        v.insert(v.end(), im[y], im[y] + p.width);
    return v;
}

float& px(Project& p, int x, int y) { return p.layers[p.current_layer].image[y][x]; }

void run(Project& p, int op) { ASSERT_TRUE(apply_image_operation(p, op)); }

// Deterministic pseudo-random pixels in [lo, hi).
std::vector<float> noise(int n, float lo, float hi, unsigned seed = 1)
{
    std::vector<float> v(n);
    for (float& f : v) {
        seed = seed * 214013u + 2531011u;
        f = lo + (hi - lo) * ((seed >> 16) & 0x7fff) / 32768.0f;
    }
    return v;
}

}  // namespace

TEST(ImageOps, KeywordsMatchTheirOperations)
{
    EXPECT_EQ(image_operation_index("1/x"), op_reciprocal);
    EXPECT_EQ(image_operation_index("rotation by 270"), op_rotation_270);
    EXPECT_EQ(image_operation_index("set sum to 1"), op_set_sum_to_1);
    EXPECT_EQ(image_operation_index("normalisation"), op_normalisation);
    EXPECT_EQ(image_operation_index("Invert"), -1);
    EXPECT_EQ(image_operation_index("invert "), -1);
    EXPECT_EQ(image_operation_index(nullptr), -1);
    for (int i = 0; i < image_operation_count; i++)
        EXPECT_EQ(image_operation_index(image_operation_keywords[i]), i);
}

TEST(ImageOps, SeparatorOrNoLayerChangesNothing)
{
    Project p;
    ASSERT_TRUE(resize_project(p, 4, 3, true));
    EXPECT_FALSE(apply_image_operation(p, op_invert));
    ASSERT_TRUE(new_layer(p, "a"));
    ASSERT_TRUE(new_separator(p, "s"));
    p.content_changed = 0;
    p.recomposite_needed = false;
    for (int op = 0; op < image_operation_count; op++)
        EXPECT_FALSE(apply_image_operation(p, op));
    EXPECT_FALSE(apply_image_operation(p, image_operation_count));
    EXPECT_EQ(p.content_changed, 0);
    EXPECT_FALSE(p.recomposite_needed);
}

TEST(ImageOps, FlipsAndHalfTurnRestoreExactlyAndKeepTheMiddleColumn)
{
    Project p;
    std::vector<float> v = noise(5 * 3, -2.0f, 2.0f);
    make_layer(p, 5, 3, v);
    p.colour_image = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

    run(p, op_horizontal_flip);
    for (int y = 0; y < 3; y++) {
        EXPECT_EQ(px(p, 2, y), v[y * 5 + 2]);  // odd width: the middle column stays
        EXPECT_EQ(px(p, 0, y), v[y * 5 + 4]);
    }
    EXPECT_EQ(p.colour_image[0], 5u);
    EXPECT_EQ(p.colour_image[9], 6u);
    run(p, op_horizontal_flip);
    EXPECT_EQ(pixels(p), v);

    run(p, op_vertical_flip);
    EXPECT_EQ(px(p, 3, 1), v[5 + 3]);  // odd height: the middle row stays
    EXPECT_EQ(px(p, 3, 0), v[10 + 3]);
    EXPECT_EQ(p.colour_image[0], 11u);
    run(p, op_vertical_flip);
    EXPECT_EQ(pixels(p), v);
    EXPECT_EQ(p.colour_image, (std::vector<unsigned>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));

    p.content_changed = 0;
    run(p, op_rotation_180);
    EXPECT_EQ(p.content_changed, content_dimensions);
    EXPECT_EQ(px(p, 0, 0), v[14]);
    EXPECT_EQ(px(p, 4, 2), v[0]);
    EXPECT_EQ(px(p, 1, 1), v[5 + 3]);
    run(p, op_rotation_180);
    EXPECT_EQ(pixels(p), v);
}

TEST(ImageOps, PixelMapsInvertReciprocalSquareRoot)
{
    Project p;
    make_layer(p, 6, 1, {0.0f, 1.0f, 0.25f, 4.0f, -1.0f, 0.5f});
    run(p, op_invert);
    EXPECT_EQ(pixels(p), (std::vector<float>{1.0f, 0.0f, 0.25f, 0.0f, 1.0f, (1 - sqrtf(0.5f)) * (1 - sqrtf(0.5f))}));

    Project q;
    make_layer(q, 6, 1, {0.0f, -3.0f, 4.0f, 0.5f, 1e-45f, -0.0f});
    run(q, op_reciprocal);
    EXPECT_EQ(pixels(q), (std::vector<float>{0.0f, 0.0f, 0.25f, 2.0f, FLT_MAX, 0.0f}));

    Project r;
    make_layer(r, 4, 1, {-4.0f, 9.0f, 3.0f, 1e30f});
    run(r, op_square_root);
    EXPECT_EQ(pixels(r), (std::vector<float>{0.0f, 3.0f, sqrtf(3.0f), 1e15f}));
    run(r, op_square);
    EXPECT_EQ(pixels(r), (std::vector<float>{0.0f, 9.0f, sqrtf(3.0f) * sqrtf(3.0f), 1e15f * 1e15f}));
    run(r, op_square);  // 1e60 does not fit a float
    EXPECT_EQ(px(r, 3, 0), FLT_MAX);
}

TEST(ImageOps, EraseAndMaskInvertUseTheOriginalLayerImage)
{
    Project p;
    make_layer(p, 3, 2, {1, 2, 3, 4, 5, 6});
    run(p, op_mask_invert);  // no original: unchanged
    EXPECT_EQ(pixels(p), (std::vector<float>{1, 2, 3, 4, 5, 6}));
    run(p, op_erase);
    EXPECT_EQ(pixels(p), std::vector<float>(6, 0.0f));

    // An original smaller in width and larger in height: only the common block counts.
    Layer& l = p.layers[p.current_layer];
    l.original_width = 2;
    l.original_height = 3;
    l.original_image = image_alloc(3, 2);
    float o[3][2] = {{10, 20}, {30, 40}, {50, 60}};
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 2; x++)
            l.original_image[y][x] = o[y][x];
    for (int i = 0; i < 6; i++)
        px(p, i % 3, i / 3) = (float)(i + 1);
    run(p, op_mask_invert);
    EXPECT_EQ(pixels(p), (std::vector<float>{9, 18, 3, 26, 35, 6}));
    run(p, op_erase);
    EXPECT_EQ(pixels(p), (std::vector<float>{10, 20, 0, 30, 40, 0}));
}

TEST(ImageOps, CurvesBarLengthsFollowLineSums)
{
    Project p;
    // Equal row sums (2 each): every row gets the same bar of 0.9 × 7 = 6.3 pixels.
    make_layer(p, 7, 3, {2, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0.5f, 1.5f});
    run(p, op_horizontal_curves);
    for (int y = 0; y < 3; y++) {
        for (int x = 0; x < 6; x++)
            EXPECT_EQ(px(p, x, y), 1.0f);
        EXPECT_NEAR(px(p, 6, y), 0.3f, 1e-5f);
    }

    // Half the largest sum: 3.15 pixels; a negative sum draws nothing.
    Project q;
    make_layer(q, 7, 3, {4, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, -5, 0, 0, 0, 0, 0, 0});
    run(q, op_horizontal_curves);
    EXPECT_EQ(px(q, 2, 1), 1.0f);
    EXPECT_NEAR(px(q, 3, 1), 0.15f, 1e-5f);
    EXPECT_EQ(px(q, 4, 1), 0.0f);
    for (int x = 0; x < 7; x++)
        EXPECT_EQ(px(q, x, 2), 0.0f);

    // All sums zero or negative: every bar is empty, nothing divides by zero.
    Project z;
    make_layer(z, 3, 2, {0, 0, 0, -1, 0, 0});
    run(z, op_horizontal_curves);
    EXPECT_EQ(pixels(z), std::vector<float>(6, 0.0f));

    // Vertical bars rise from the bottom row; on a linear scale there is no tilt.
    Project v;
    make_layer(v, 2, 10, std::vector<float>(20, 0.0f));
    v.scale_base = 1.0f;
    px(v, 0, 0) = 2.0f;
    px(v, 1, 5) = 1.0f;
    run(v, op_vertical_curves);
    for (int y = 0; y < 10; y++) {
        EXPECT_EQ(px(v, 0, y), y >= 1 ? 1.0f : 0.0f);  // 9 rows
        EXPECT_EQ(px(v, 1, y), y >= 6 ? 1.0f : y == 5 ? 0.5f : 0.0f) << y;  // 4.5 rows
    }

    // On a logarithmic scale the bars are tilt-corrected: row y divided by w(y) / w_mid.
    Project t;
    make_layer(t, 1, 61, std::vector<float>(61, 1.0f));
    t.fmin = 100.0f;
    t.fmax = 200.0f;
    float w_mid;
    std::vector<float> w = tilt_weights(t, &w_mid);
    run(t, op_vertical_curves);
    EXPECT_FLOAT_EQ(px(t, 0, 60), w_mid);  // the bottom row weighs 1
    EXPECT_FLOAT_EQ(px(t, 0, 10), 1.0f / (w[10] / w_mid));
    EXPECT_EQ(px(t, 0, 0), 0.0f);  // above the 54.9-row bar
}

TEST(ImageOps, FillToLeftExtendsThePeakAndScalesTowardTheMaximum)
{
    Project p;
    std::vector<float> v(8 * 3, 0.0f);
    v[0 * 8 + 5] = 0.5f;   // row 0: one bright pixel at column 5
    v[1 * 8 + 1] = 1.0f;   // row 1: the layer maximum
    v[2 * 8 + 6] = 0.01f;  // row 2: weak, scaled by at most 10
    make_layer(p, 8, 3, v);
    run(p, op_fill_to_left);
    for (int x = 0; x < 8; x++) {
        EXPECT_EQ(px(p, x, 0), x <= 5 ? 1.0f : 0.0f) << x;
        EXPECT_EQ(px(p, x, 1), x <= 1 ? 1.0f : 0.0f) << x;
        EXPECT_FLOAT_EQ(px(p, x, 2), x <= 6 ? 0.1f : 0.0f) << x;
    }

    // A later, slightly weaker peak wins over an earlier one; a small bump after it does not.
    Project q;
    make_layer(q, 6, 1, {0.0f, 1.0f, 0.0f, 0.9f, 0.2f, 0.0f});
    run(q, op_fill_to_left);
    const float expected[6] = {1.0f, 1.0f, 1.0f, 1.0f, 0.2f / 0.9f, 0.0f};
    for (int x = 0; x < 6; x++)
        EXPECT_FLOAT_EQ(px(q, x, 0), expected[x]) << x;
}

TEST(ImageOps, FillToBottomExtendsThePeakDownward)
{
    Project p;
    make_layer(p, 2, 5, {0, 0, 0.5f, 0, 0, 0, 0, 1.0f, 0, 0});
    p.scale_base = 1.0f;
    run(p, op_fill_to_bottom);
    // Column 0 peaks at row 1 with 0.5: rows 1..4 become 0.5, scaled ×2; column 1 already at M.
    EXPECT_EQ(pixels(p), (std::vector<float>{0, 0, 1, 0, 1, 0, 1, 1, 1, 1}));
}

TEST(ImageOps, NormalisationsAndAllZeroLayers)
{
    Project z;
    make_layer(z, 3, 2);
    run(z, op_normalisation);
    run(z, op_set_sum_to_1);
    run(z, op_horizontal_normalisation);
    run(z, op_vertical_normalisation);
    EXPECT_EQ(pixels(z), std::vector<float>(6, 0.0f));

    Project p;
    make_layer(p, 2, 2, {0.5f, 0.25f, -1.0f, 0.125f});
    run(p, op_normalisation);
    EXPECT_EQ(pixels(p), (std::vector<float>{1.0f, 0.5f, -2.0f, 0.25f}));

    Project s;
    make_layer(s, 2, 2, {1.0f, 3.0f, 2.0f, 2.0f});
    run(s, op_set_sum_to_1);
    EXPECT_EQ(pixels(s), (std::vector<float>{0.125f, 0.375f, 0.25f, 0.25f}));

    // Row sums 4, 0 and 1: the zero row stays zero, the others are lifted to 4.
    Project h;
    make_layer(h, 2, 3, {1.0f, 3.0f, 0.0f, 0.0f, 0.5f, 0.5f});
    run(h, op_horizontal_normalisation);
    EXPECT_EQ(pixels(h), (std::vector<float>{1.0f, 3.0f, 0.0f, 0.0f, 2.0f, 2.0f}));

    // Linear scale: plain column sums 2 and 1 -> both columns lifted to 2.
    Project v;
    make_layer(v, 2, 2, {1.0f, 0.25f, 1.0f, 0.75f});
    v.scale_base = 1.0f;
    run(v, op_vertical_normalisation);
    EXPECT_EQ(pixels(v), (std::vector<float>{1.0f, 0.5f, 1.0f, 1.5f}));
}

TEST(ImageOps, AveragesAndTheTilt)
{
    Project p;
    make_layer(p, 4, 2, {1, 2, 3, 6, 0, 0, 0, 8});
    p.scale_base = 1.0f;
    run(p, op_horizontal_average);
    EXPECT_EQ(pixels(p), (std::vector<float>{3, 3, 3, 3, 2, 2, 2, 2}));
    run(p, op_vertical_average);
    EXPECT_EQ(pixels(p), (std::vector<float>{2.5f, 2.5f, 2.5f, 2.5f, 2.5f, 2.5f, 2.5f, 2.5f}));

    // Base 2, 60 rows per octave: w(y) = sqrt(1 + (H - 1 - y) / 60), the top row weighing most.
    Project t;
    make_layer(t, 1, 61);
    t.fmin = 100.0f;
    t.fmax = 200.0f;
    float w_mid;
    std::vector<float> w = tilt_weights(t, &w_mid);
    EXPECT_FLOAT_EQ(w[60], 1.0f);
    EXPECT_FLOAT_EQ(w[0], sqrtf(2.0f));
    EXPECT_FLOAT_EQ(w_mid, sqrtf(1.5f));
    // A base below 1 and a linear base use no tilt.
    t.scale_base = 0.5f;
    w = tilt_weights(t, &w_mid);
    EXPECT_EQ(w[0], 1.0f);
    EXPECT_EQ(w_mid, 1.0f);
}

TEST(ImageOps, NoiseFillsAreEnvelopesNormalisedToOne)
{
    Project lin_pink, lin_white;
    make_layer(lin_pink, 3, 4, noise(12, 0, 5));
    make_layer(lin_white, 3, 4, noise(12, -1, 1, 7));
    lin_pink.scale_base = lin_white.scale_base = 1.0f;
    run(lin_pink, op_fill_pink);
    run(lin_white, op_fill_white);
    EXPECT_EQ(pixels(lin_pink), std::vector<float>(12, 1.0f));
    EXPECT_EQ(pixels(lin_white), std::vector<float>(12, 1.0f));

    Project white, brown;
    make_layer(white, 2, 61);
    make_layer(brown, 2, 61);
    white.fmin = brown.fmin = 100.0f;
    white.fmax = brown.fmax = 200.0f;
    run(white, op_fill_white);
    run(brown, op_fill_brown);
    // White rises toward the top row (w = sqrt(2) there, normalised to 1), brown falls.
    EXPECT_EQ(px(white, 1, 0), 1.0f);
    EXPECT_FLOAT_EQ(px(white, 0, 60), 1.0f / sqrtf(2.0f));
    EXPECT_EQ(px(brown, 0, 60), 1.0f);
    EXPECT_FLOAT_EQ(px(brown, 1, 0), 1.0f / sqrtf(2.0f));
}

TEST(ImageOps, GroupToSemitoneMovesARowToItsNearestSemitoneKeepingItsSum)
{
    // 27.5 Hz to 20 kHz at 60 rows per octave: a semitone is 5 rows, A0 is the bottom row.
    Project p;
    make_layer(p, 3, 571);
    int from = 567;  // 0.6 semitone above A0: nearest is A#0, one semitone up
    px(p, 0, from) = 0.25f;
    px(p, 1, from) = 0.5f;
    px(p, 2, from) = 1.0f;
    run(p, op_group_to_semitone);

    float expected_freq = 27.5f * powf(2.0f, 1.0f / 12.0f);
    int best = -1;
    float best_distance = 1e9f;
    for (int y = 0; y < p.height; y++) {
        float t = display_freq_to_scale(expected_freq, p.fmin, p.fmax, 2.0f);
        float d = fabsf((float)(p.height - 1 - y) / (p.height - 1) - t);
        if (d < best_distance) {
            best_distance = d;
            best = y;
        }
    }
    ASSERT_EQ(best, 565);
    int nonzero_rows = 0;
    for (int y = 0; y < p.height; y++) {
        float s = px(p, 0, y) + px(p, 1, y) + px(p, 2, y);
        if (s != 0.0f) {
            nonzero_rows++;
            EXPECT_EQ(y, best);
            EXPECT_EQ(s, 1.75f);
        }
    }
    EXPECT_EQ(nonzero_rows, 1);

    // A row that is its own nearest semitone keeps its content.
    Project q;
    make_layer(q, 1, 571);
    px(q, 0, 570) = 3.0f;
    run(q, op_group_to_semitone);
    EXPECT_EQ(px(q, 0, 570), 3.0f);
}

TEST(ImageOps, QuarterTurnsResampleWithinTheSameSize)
{
    // A horizontal ramp (value = column) on 200 × 100 turns into a vertical one: after the
    // clockwise turn row y holds the source column y × 199/100 across the whole width.
    Project p;
    make_layer(p, 200, 100);
    for (int y = 0; y < 100; y++)
        for (int x = 0; x < 200; x++)
            px(p, x, y) = (float)x;
    p.content_changed = 0;
    run(p, op_rotation_90);
    EXPECT_EQ(p.width, 200);
    EXPECT_EQ(p.height, 100);
    EXPECT_EQ(p.content_changed, content_dimensions);
    for (int y = 1; y < 100; y++) {
        EXPECT_NEAR(px(p, 0, y), 1.99f * y, 0.02f) << y;
        EXPECT_NEAR(px(p, 0, y), px(p, 199, y), 1e-4f);
    }

    // A vertical ramp (value = row): the top of the picture goes to the right edge.
    Project q;
    make_layer(q, 200, 100);
    for (int y = 0; y < 100; y++)
        for (int x = 0; x < 200; x++)
            px(q, x, y) = (float)y;
    run(q, op_rotation_90);
    for (int x = 0; x < 200; x++) {
        EXPECT_NEAR(px(q, x, 0), 0.495f * (199 - x), 1e-3f) << x;
        EXPECT_NEAR(px(q, x, 0), px(q, x, 99), 1e-4f);
    }

    // Counter-clockwise: the top of the picture goes to the left edge.
    Project r;
    make_layer(r, 200, 100);
    for (int y = 0; y < 100; y++)
        for (int x = 0; x < 200; x++)
            px(r, x, y) = (float)y;
    run(r, op_rotation_270);
    for (int x = 0; x < 200; x++)
        EXPECT_NEAR(px(r, x, 50), 0.495f * x, 1e-3f) << x;
}

TEST(ImageOps, NoOperationWritesNonFiniteValuesFromFiniteInput)
{
    const float bases[] = {2.0f, 1.5f, 1.0f, 0.5f};
    for (float base : bases)
        for (int op = 0; op < image_operation_count; op++) {
            Project p;
            std::vector<float> v = noise(9 * 7, -1.0f, 1.0f, op + 3);
            v[3] = 1e30f;
            v[4] = -3e38f;
            v[10] = 1e-44f;
            v[11] = 0.0f;
            v[20] = 3e38f;
            make_layer(p, 9, 7, v);
            p.scale_base = base;
            Layer& l = p.layers[0];
            l.original_width = 9;
            l.original_height = 7;
            l.original_image = image_copy(l.image, 7, 9);
            l.original_image[0][0] = -3e38f;
            run(p, op);
            for (float f : pixels(p))
                ASSERT_TRUE(std::isfinite(f)) << image_operation_keywords[op] << " base " << base;
        }
    // A tiny positive maximum and a tiny sum.
    for (int op : {op_normalisation, op_set_sum_to_1, op_horizontal_normalisation, op_vertical_normalisation}) {
        Project p;
        make_layer(p, 2, 2, {1e-45f, -1e30f, 0.0f, 1e-45f});
        run(p, op);
        for (float f : pixels(p))
            ASSERT_TRUE(std::isfinite(f)) << image_operation_keywords[op];
    }
}
