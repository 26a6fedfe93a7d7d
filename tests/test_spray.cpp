#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

#include "commands/spray_record.h"
#include "engine/scale.h"
#include "layers/composite.h"
#include "layers/magnet.h"
#include "layers/rectangle_drag.h"
#include "layers/spray.h"
#include "layers/stack.h"

namespace {

// A w × h project with one image layer filled with `value`, scale 100 Hz to 1600 Hz, base 2.
void make_layer(Project& p, int w, int h, float value)
{
    ASSERT_TRUE(resize_project(p, w, h, true));
    ASSERT_TRUE(new_layer(p, "Layer 1"));
    p.fmin = 100.0f;
    p.fmax = 1600.0f;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            p.layers[p.current_layer].image[y][x] = value;
}

std::vector<float> pixels(const Project& p, Image im)
{
    std::vector<float> v;
    for (int y = 0; y < p.height; y++)
        v.insert(v.end(), im[y], im[y] + p.width);
    return v;
}

std::vector<float> layer(const Project& p) { return pixels(p, p.layers[p.current_layer].image); }

// A second project with the same geometry and pixels, to paint the expected result into.
void clone(const Project& from, Project& to)
{
    make_layer(to, from.width, from.height, 0.0f);
    to.fmin = from.fmin;
    to.fmax = from.fmax;
    to.scale_base = from.scale_base;
    for (int y = 0; y < from.height; y++)
        for (int x = 0; x < from.width; x++)
            to.layers[0].image[y][x] = from.layers[from.current_layer].image[y][x];
}

void give_original(Project& p, float value)
{
    Layer& l = p.layers[p.current_layer];
    l.original_width = p.width;
    l.original_height = p.height;
    l.original_image = image_alloc(p.height, p.width);
    for (int y = 0; y < p.height; y++)
        for (int x = 0; x < p.width; x++)
            l.original_image[y][x] = value;
}

}  // namespace

TEST(Spray, FalloffFollowsTheGaussianAndEndsAtThreePointOne)
{
    EXPECT_EQ(spray_falloff(0.0f), 1.0f);
    EXPECT_NEAR(spray_falloff(1.0f), expf(-1.0f), 2e-3f);
    EXPECT_NEAR(spray_falloff(2.0f), expf(-4.0f), 2e-3f);
    EXPECT_NEAR(spray_falloff(3.0f), expf(-9.0f), 1e-4f);
    EXPECT_GT(spray_falloff(3.0f), 0.0f);
    EXPECT_EQ(spray_falloff(3.1f), 0.0f);
    EXPECT_EQ(spray_falloff(-40.0f), 0.0f);
    EXPECT_EQ(spray_falloff(NAN), 0.0f);
    for (float u = 0.0f; u < 3.2f; u += 0.01f) {
        EXPECT_EQ(spray_falloff(u), spray_falloff(-u));
        EXPECT_GE(spray_falloff(u), spray_falloff(u + 0.01f));
    }
}

TEST(Spray, DabVariantsAtTheCentre)
{
    const float k = 0.4f;
    struct Case {
        int type, erase;
        float expected;
    } cases[] = {
        {spray_dark, 0, (1 - k) * 0.5f},
        {spray_white, 0, (1 - k) * 0.5f + k},
        {spray_brighten, 0, (1 + spray_centre_gain * k) * 0.5f},
    };
    for (const Case& c : cases) {
        Project p;
        make_layer(p, 30, 30, 0.5f);
        SprayTool t;
        spray_dab(t, p, 10.0f, 12.0f, c.erase, 4.0f, 6.0f, k, c.type);
        EXPECT_EQ(p.layers[0].image[12][10], c.expected) << c.type;
        // The dab stays inside its bounding box: x ± rx, y ± ry.
        EXPECT_EQ(p.layers[0].image[12][15], 0.5f);
        EXPECT_EQ(p.layers[0].image[19][10], 0.5f);
        EXPECT_NE(p.layers[0].image[12][13], 0.5f);
        EXPECT_NE(p.layers[0].image[17][10], 0.5f);
    }

    // A radius under 2 is a radius of 2 at a proportionally lower intensity.
    Project a, b;
    make_layer(a, 20, 20, 1.0f);
    make_layer(b, 20, 20, 1.0f);
    SprayTool t;
    spray_dab(t, a, 9.3f, 8.6f, 0, 1.0f, 0.5f, 0.8f, spray_dark);
    spray_dab(t, b, 9.3f, 8.6f, 0, 2.0f, 2.0f, 0.8f * 0.5f * 0.25f, spray_dark);
    EXPECT_EQ(layer(a), layer(b));
}

TEST(Spray, EraseRestoresTheOriginalOnlyOnTheBottomLayer)
{
    Project p;
    make_layer(p, 20, 20, 0.9f);
    give_original(p, 0.3f);
    SprayTool t;
    spray_dab(t, p, 10.0f, 10.0f, 1, 5.0f, 5.0f, 1.0f, spray_white);
    EXPECT_EQ(p.layers[0].image[10][10], 0.3f);  // full weight: the original
    EXPECT_GT(p.layers[0].image[10][12], 0.3f);
    EXPECT_LT(p.layers[0].image[10][12], 0.9f);

    // A layer above the bottom fades toward 0.
    ASSERT_TRUE(new_layer(p, "Layer 2"));
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 20; x++)
            p.layers[1].image[y][x] = 0.9f;
    give_original(p, 0.3f);
    spray_dab(t, p, 10.0f, 10.0f, 1, 5.0f, 5.0f, 1.0f, spray_dark);
    EXPECT_EQ(p.layers[1].image[10][10], 0.0f);

    // A layer made with "New layer" has no original: erasing changes nothing.
    ASSERT_TRUE(new_layer(p, "Layer 3"));
    p.layers[2].image[10][10] = 0.7f;
    std::vector<float> before = layer(p);
    apply_spray_point(t, p, 10.0f, 10.0f, 5.0f, 5.0f, 1.0f, 4, 1, spray_dark, 1);
    spray_dab(t, p, 10.0f, 10.0f, 0, 5.0f, 5.0f, 1.0f, spray_smart_erase);
    EXPECT_EQ(layer(p), before);
}

TEST(Spray, SmartErasePressesPeaksTowardABrushShapedFloor)
{
    Project p;
    make_layer(p, 21, 21, 0.0f);
    give_original(p, 0.1f);
    Layer& l = p.layers[0];
    l.original_image[10][10] = 1.0f;  // a peak in the middle of the brush
    l.original_image[10][9] = 0.0f;   // silence in the original
    for (int y = 0; y < 21; y++)
        for (int x = 0; x < 21; x++)
            l.image[y][x] = l.original_image[y][x];
    l.image[10][9] = 0.5f;
    SprayTool t;
    spray_dab(t, p, 10.0f, 10.0f, 0, 8.0f, 8.0f, 1.0f, spray_smart_erase);
    // The floor of column 10 is the smallest original / G(3 (j - y) / ry): the neighbours of the
    // peak give 0.1 / G(3/8). At full weight the peak comes down to it.
    EXPECT_FLOAT_EQ(l.image[10][10], 0.1f / spray_falloff(3.0f / 8.0f));
    // Pixels at the floor's level stay, up to rounding.
    EXPECT_NEAR(l.image[10][5], 0.1f, 1e-7f);
    EXPECT_NEAR(l.image[4][10], 0.1f, 1e-7f);
    // Column 9 holds a silent original pixel: the floor there is 0, the others are pressed down,
    // and the silent one is left alone.
    EXPECT_EQ(l.image[10][9], 0.5f);
    EXPECT_LT(l.image[9][9], 0.05f);
}

TEST(Spray, ClickPaintsOneDabAndADragFillsTheWayEveryQuarterRadiusOverRootTwo)
{
    const float intensity = 0.5f, r = 5.0f;
    Project p, expected;
    make_layer(p, 60, 40, 1.0f);
    clone(p, expected);
    SprayTool t, e;

    apply_spray_point(t, p, 20.0f, 20.0f, r, r, intensity, 0, 0, spray_dark, 1);
    spray_dab(e, expected, 20.0f, 20.0f, 0, r, r, intensity * 0.5641312f, spray_dark);
    EXPECT_EQ(layer(p), layer(expected));
    EXPECT_EQ(p.layers[0].image[20][20], 1.0f - intensity * 0.5641312f);

    // One radius to the right, no harmonics: q = 4√2, six dabs of intensity × q / 6.
    apply_spray_point(t, p, 20.0f + r, 20.0f, r, r, intensity, 0, 0, spray_dark, 0);
    float q = 4.0f * 1.0f * sqrtf(2.0f);
    ASSERT_EQ((int)ceilf(q), 6);
    for (int i = 1; i <= 6; i++)
        spray_dab(e, expected, 20.0f + r * (float)i / 6.0f, 20.0f, 0, r, r, intensity * q / 6.0f, spray_dark);
    EXPECT_EQ(layer(p), layer(expected));

    // The same position again paints nothing.
    apply_spray_point(t, p, 20.0f + r, 20.0f, r, r, intensity, 0, 0, spray_dark, 0);
    EXPECT_EQ(layer(p), layer(expected));
}

TEST(Spray, HarmonicDabsClimbByTheLogOfTheirNumber)
{
    // 100 Hz to 1600 Hz on 201 rows: 50 rows per octave.
    for (int type : {spray_dark, spray_white}) {
        Project p, expected;
        make_layer(p, 30, 201, 0.5f);
        clone(p, expected);
        SprayTool t, e;
        const float x = 15.0f, y = 180.0f, rx = 6.0f, ry = 8.0f, k = 0.3f * 0.5641312f;
        apply_spray_point(t, p, x, y, rx, ry, 0.3f, 3, 0, type, 1);
        spray_dab(e, expected, x, y, 0, rx, ry, k, type);
        for (int h = 2; h <= 3; h++) {
            float r = 200.0f / (logf(1600.0f) / logf(2.0f) - logf(100.0f) / logf(2.0f));
            float above = logf((float)h) / logf(2.0f) * r;
            float s = sqrtf((float)h);
            spray_dab(e, expected, x, y - above, 0, rx / s, ry / s, type == spray_white ? k / s : k, type);
        }
        EXPECT_EQ(layer(p), layer(expected)) << type;
        // The octave lies 50 rows up, the twelfth about 79.
        EXPECT_NE(p.layers[0].image[130][15], 0.5f);
        EXPECT_NE(p.layers[0].image[101][15], 0.5f);
        EXPECT_EQ(p.layers[0].image[115][15], 0.5f);
    }
}

TEST(Spray, HarmonicsOnALinearScaleSitAtMultiplesOfTheFrequency)
{
    // 0 Hz .. 1000 Hz would not do (fmin must be positive): 10 Hz to 1010 Hz on 101 rows, 10 Hz a row.
    Project p;
    make_layer(p, 20, 101, 1.0f);
    p.fmin = 10.0f;
    p.fmax = 1010.0f;
    p.scale_base = 1.0f;
    SprayTool t;
    // Row 90 is 110 Hz; its 2nd harmonic 220 Hz is row 79, its 3rd 330 Hz row 68.
    apply_spray_point(t, p, 10.0f, 90.0f, 4.0f, 4.0f, 1.0f, 3, 0, spray_dark, 1);
    EXPECT_LT(p.layers[0].image[79][10], 1.0f);
    EXPECT_LT(p.layers[0].image[68][10], 1.0f);
    EXPECT_EQ(p.layers[0].image[73][10], 1.0f);
    EXPECT_EQ(p.layers[0].image[84][10], 1.0f);
}

TEST(Spray, WhiteStaysAtOrBelowOneAndDarkNeverGoesNegative)
{
    for (int type : {spray_white, spray_dark}) {
        Project p;
        make_layer(p, 80, 120, 0.0f);
        unsigned s = 5;
        for (int y = 0; y < 120; y++)
            for (int x = 0; x < 80; x++) {
                s = s * 214013u + 2531011u;
                p.layers[0].image[y][x] = ((s >> 16) & 0x7fff) / 32767.0f;
            }
        SprayTool t;
        for (int stroke = 0; stroke < 4; stroke++)
            for (int i = 0; i < 30; i++)
                apply_spray_point(t, p, 10.0f + i * 2.1f, 100.0f - stroke * 7.0f - i * 0.7f, 3.0f + stroke, 4.0f, 1.0f,
                                  8, 0, type, i == 0);
        for (float v : layer(p)) {
            if (type == spray_white)
                ASSERT_LE(v, 1.0f);
            else
                ASSERT_GE(v, 0.0f);
        }
    }
}

TEST(Spray, RefusesPointsThatCannotBePainted)
{
    Project p;
    make_layer(p, 20, 20, 1.0f);
    SprayTool t;
    std::vector<float> before = layer(p);
    apply_spray_point(t, p, NAN, 5.0f, 3.0f, 3.0f, 1.0f, 0, 0, spray_dark, 1);
    apply_spray_point(t, p, 5.0f, 5.0f, 0.0f, 3.0f, 1.0f, 0, 0, spray_dark, 1);
    apply_spray_point(t, p, 5.0f, 5.0f, 3.0f, -1.0f, 1.0f, 0, 0, spray_dark, 1);
    apply_spray_point(t, p, 5.0f, 5.0f, 3.0f, 3.0f, INFINITY, 0, 0, spray_dark, 1);
    EXPECT_EQ(layer(p), before);
    // Far outside the picture, with a huge harmonics count: nothing to paint, and quickly.
    apply_spray_point(t, p, 1e9f, -1e9f, 3.0f, 3.0f, 1.0f, 2000000000, 0, spray_dark, 1);
    apply_spray_point(t, p, 5.0f, 2.0f, 3.0f, 3.0f, 1.0f, 2000000000, 0, spray_dark, 1);
    EXPECT_LT(p.layers[0].image[2][5], 1.0f);
    // A separator paints nothing.
    ASSERT_TRUE(new_separator(p, "s"));
    apply_spray_point(t, p, 5.0f, 5.0f, 3.0f, 3.0f, 1.0f, 0, 0, spray_dark, 1);
}

TEST(Spray, DabsMarkTheLiveBlocksUnderThem)
{
    Project p;
    make_layer(p, 600, 10, 1.0f);
    SprayTool t;
    int first, last;
    spray_dab(t, p, 250.0f, 5.0f, 0, 10.0f, 3.0f, 0.5f, spray_dark);
    EXPECT_FALSE(take_stale_blocks(t.stale, &first, &last));  // no live engine: nothing marked

    t.stale.block_width = 100;
    t.stale.block_count = 10;
    spray_dab(t, p, 250.0f, 5.0f, 0, 10.0f, 3.0f, 0.5f, spray_dark);  // 2 × 235 / 100 - 1 .. 530 / 100
    spray_dab(t, p, 20.0f, 5.0f, 0, 1.0f, 3.0f, 0.5f, spray_dark);    // radius 2: -0.66 .. 0.46
    ASSERT_TRUE(take_stale_blocks(t.stale, &first, &last));
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 5);
    EXPECT_FALSE(take_stale_blocks(t.stale, &first, &last));
    spray_dab(t, p, 590.0f, 5.0f, 0, 40.0f, 3.0f, 0.5f, spray_dark);  // clipped to the count
    ASSERT_TRUE(take_stale_blocks(t.stale, &first, &last));
    EXPECT_EQ(first, 9);
    EXPECT_EQ(last, 9);
}

TEST(SprayQueue, AFullQueueDropsPointsAndTheDrainerPaintsTheRest)
{
    Project p;
    make_layer(p, 200, 50, 1.0f);
    SprayTool t;
    SprayPoint pt;
    pt.rx = pt.ry = 3.0f;
    pt.intensity = 0.5f;
    pt.y = 25.0f;
    int accepted = 0;
    for (int i = 0; i < 130; i++) {
        pt.x = 10.0f + i;
        pt.start = i == 0;
        accepted += spray_enqueue(t, pt);
    }
    EXPECT_EQ(accepted, spray_queue_max_pending);

    Project q;
    make_layer(q, 200, 50, 1.0f);
    SprayTool e;
    for (int i = 0; i < spray_queue_max_pending; i++)
        apply_spray_point(e, q, 10.0f + i, 25.0f, 3.0f, 3.0f, 0.5f, 0, 0, spray_dark, i == 0);

    p.content_changed = 0;
    spray_worker(t, p, nullptr);
    EXPECT_EQ(layer(p), layer(q));
    EXPECT_TRUE(t.view_update_requested);
    EXPECT_TRUE(p.recomposite_needed);
    EXPECT_TRUE(spray_enqueue(t, pt));  // room again

    spray_cancel(t);
    std::vector<float> before = layer(p);
    spray_worker(t, p, nullptr);
    EXPECT_EQ(layer(p), before);
}

TEST(SprayQueue, TheWorkerThreadPaintsWhatWouldBePaintedInOrder)
{
    Project p, q;
    make_layer(p, 400, 100, 1.0f);
    make_layer(q, 400, 100, 1.0f);
    Compositor c;
    int renders = 0;
    c.render_view = [](void* ctx, int) { ++*(int*)ctx; };
    c.context = &renders;
    SprayTool t, e;
    // The interface thread queues points one by one and starts the drainer after each, as a
    // stroke does (waiting for room rather than dropping, so the two can be compared).
    p.content_changed = 0;
    for (int i = 0; i < 300; i++) {
        SprayPoint pt;
        pt.x = 20.0f + i;
        pt.y = 50.0f + 20.0f * sinf(i * 0.1f);
        pt.rx = 4.0f;
        pt.ry = 5.0f;
        pt.intensity = 0.3f;
        pt.harmonics = 3;
        pt.type = i < 150 ? spray_dark : spray_white;
        pt.start = i == 0 || i == 150;
        while (!spray_enqueue(t, pt)) {
            spray_start_worker(t, p, &c);
            std::this_thread::yield();
        }
        spray_start_worker(t, p, &c);
        apply_spray_point(e, q, pt.x, pt.y, pt.rx, pt.ry, pt.intensity, pt.harmonics, 0, pt.type, pt.start);
    }
    spray_wait(t);
    EXPECT_EQ(layer(p), layer(q));
    EXPECT_GE(renders, 1);
    EXPECT_FALSE(t.drainer_running);
    // The drain ended with a composite of the painted layer.
    EXPECT_EQ(pixels(p, p.composite), layer(p));
}

TEST(SprayQueue, NoRecompositeWhileTheContentChangedMarkIsSet)
{
    Project p;
    make_layer(p, 50, 20, 1.0f);
    composite_layers(p, false);
    Compositor c;
    SprayTool t;
    SprayPoint pt;
    pt.x = 10;
    pt.y = 10;
    pt.rx = pt.ry = 3;
    pt.start = 1;
    p.content_changed = content_pixels;
    p.recomposite_needed = false;
    ASSERT_TRUE(spray_enqueue(t, pt));
    spray_start_worker(t, p, &c);
    spray_wait(t);
    EXPECT_FALSE(p.recomposite_needed);
    EXPECT_FALSE(t.view_update_requested);
    EXPECT_EQ(p.composite[10][10], 1.0f);
    EXPECT_LT(p.layers[0].image[10][10], 1.0f);
}

TEST(Magnet, SnapsToTheStrongestOriginalPixelFirstFoundOnTies)
{
    Project p;
    make_layer(p, 100, 201, 0.0f);
    give_original(p, 0.0f);
    Layer& l = p.layers[0];
    ToolView v;
    v.visible_columns = 100;
    v.visible_rows = 201;
    v.view_width = 99;
    v.view_height = 200;
    v.waveform_height = 55;
    // One screen pixel per column and row: column = sx - 120, row = sy - 124.
    SprayTool t;
    float x, y;
    magnet_snap(t, p, v, 120 + 50.5f, 124 + 100.7f, 10.0f, 1, false, &x, &y);
    EXPECT_EQ(x, 50.0f);  // nothing in the original: the pointer, truncated
    EXPECT_EQ(y, 100.0f);

    // Two equal peaks at equal distance above and below: the upper one is found first.
    l.original_image[95][50] = 1.0f;
    l.original_image[105][50] = 1.0f;
    t.magnet_valid = false;
    magnet_snap(t, p, v, 120 + 50.0f, 124 + 100.0f, 10.0f, 1, false, &x, &y);
    EXPECT_EQ(x, 50.0f);
    EXPECT_EQ(y, 95.0f);
    // Same pointer: the last result, even though the original changed meanwhile.
    l.original_image[100][50] = 5.0f;
    magnet_snap(t, p, v, 120 + 50.0f, 124 + 100.0f, 10.0f, 1, false, &x, &y);
    EXPECT_EQ(y, 95.0f);
    l.original_image[100][50] = 0.0f;

    // With harmonics, energy an octave above the lower peak decides: r = 50 rows per octave,
    // and row 105 looks at trunc(105 - (r + 0.5)) = 54. The rectangle tool ignores it.
    l.original_image[54][50] = 1.0f;
    magnet_snap(t, p, v, 120 + 50.0f, 124 + 99.8f, 10.0f, 1, true, &x, &y);
    EXPECT_EQ(y, 105.0f);
    magnet_snap(t, p, v, 120 + 50.0f, 124 + 99.9f, 10.0f, magnet_mode_rectangle, true, &x, &y);
    EXPECT_EQ(y, 95.0f);
    magnet_snap(t, p, v, 120 + 50.0f, 124 + 99.8f, 10.0f, 1, false, &x, &y);
    EXPECT_EQ(y, 95.0f);
}

TEST(Rectangle, FactorsEmptyRectanglesAndRedrawFromTheUndoCopy)
{
    EXPECT_EQ(rectangle_factor(false, 0.25f), 0.75f);
    EXPECT_EQ(rectangle_factor(true, 0.5f), 2.0f);
    float f = rectangle_factor(true, 1.0f);
    EXPECT_TRUE(std::isfinite(f));
    EXPECT_NEAR(f, 99864.0f, 1.0f);
    EXPECT_EQ(f, rectangle_factor(true, 5.0f));

    Project p;
    make_layer(p, 40, 30, 1.0f);
    save_undo(p);
    ToolView v;
    v.visible_columns = 40;
    v.visible_rows = 30;
    v.view_width = 39;
    v.view_height = 29;
    int first, last;
    // Back on the start point: an empty rectangle, nothing multiplied.
    ASSERT_TRUE(rectangle_drag(p, v, 120 + 10.6f, 124 + 5.2f, false, 0.5f, 10, 5, 8, &first, &last));
    EXPECT_EQ(layer(p), std::vector<float>(40 * 30, 1.0f));
    // A drag to (20, 15), then back to (12, 7): each step starts from the undo copy.
    ASSERT_TRUE(rectangle_drag(p, v, 120 + 20.0f, 124 + 15.0f, false, 0.5f, 10, 5, 8, &first, &last));
    EXPECT_EQ(p.layers[0].image[14][19], 0.5f);
    EXPECT_EQ(p.layers[0].image[15][19], 1.0f);
    EXPECT_EQ(first, 2);   // 2 × 10 / 8
    EXPECT_EQ(last, 4);    // (2 × 20 - 2) / 8
    ASSERT_TRUE(rectangle_drag(p, v, 120 + 12.0f, 124 + 7.0f, true, 0.5f, 10, 5, 8, &first, &last));
    EXPECT_EQ(p.layers[0].image[14][19], 1.0f);
    EXPECT_EQ(p.layers[0].image[6][11], 2.0f);
    EXPECT_EQ(p.layers[0].image[7][11], 1.0f);
}
