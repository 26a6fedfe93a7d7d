#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "layers/blend.h"
#include "layers/composite.h"
#include "layers/composite_thread.h"
#include "layers/stack.h"

namespace {

// A project of w × h with the composite and work pictures allocated, as after "Dimensions".
void make_project(Project& p, int w, int h)
{
    ASSERT_TRUE(resize_project(p, w, h, true));
}

void fill_current(Project& p, std::vector<float> pixels)
{
    Layer& l = p.layers[p.current_layer];
    for (size_t i = 0; i < pixels.size(); i++)
        l.image[i / p.width][i % p.width] = pixels[i];
}

std::vector<float> pixels_of(const Project& p, Image image)
{
    std::vector<float> v;
    for (int y = 0; y < p.height; y++)
        v.insert(v.end(), image[y], image[y] + p.width);
    return v;
}

std::vector<float> composite_of(Project& p, bool group_only = false)
{
    composite_layers(p, group_only);
    return pixels_of(p, p.composite);
}

std::vector<std::string> names(const Project& p)
{
    std::vector<std::string> v;
    for (const Layer& l : p.layers)
        v.push_back(l.name);
    return v;
}

const std::vector<float> zeros4(4, 0.0f);

}  // namespace

TEST(Composite, SingleLayerAndSeparatorsOnly)
{
    Project p;
    make_project(p, 2, 2);
    EXPECT_TRUE(new_separator(p, "s1"));
    EXPECT_TRUE(new_separator(p, "s2"));
    EXPECT_EQ(composite_of(p), zeros4);

    Project q;
    make_project(q, 2, 2);
    new_layer(q, "a");
    fill_current(q, {1, -2, 3, 0.25f});
    q.recomposite_needed = true;
    EXPECT_EQ(composite_of(q), std::vector<float>({1, -2, 3, 0.25f}));
    EXPECT_FALSE(q.recomposite_needed);
}

TEST(Composite, NoCompositeDoesNothing)
{
    Project p;
    EXPECT_FALSE(composite_layers(p, false));
    EXPECT_FALSE(composite_layers(p, true));
}

TEST(Composite, GroupsCombineWithTheirSeparatorsMode)
{
    Project p;
    make_project(p, 2, 2);
    new_layer(p, "base");
    fill_current(p, {1, 2, 3, 4});
    new_layer(p, "more");               // implicit first group: base + more
    fill_current(p, {1, 1, 1, 1});
    new_separator(p, "times");
    set_layer_blending(p, blend_multiplication);
    new_layer(p, "gain");
    fill_current(p, {2, 0.5f, 0, 1});
    EXPECT_EQ(composite_of(p), std::vector<float>({4, 1.5f, 0, 5}));

    // A layer turned off inside a group that is on is skipped: the group is empty and its zeros
    // still multiply the whole composite.
    turn_layer(p, false);
    EXPECT_EQ(composite_of(p), zeros4);

    // Turning the separator off hides the group: only the first group remains.
    select_layer(p, 2, false);
    turn_layer(p, false);
    EXPECT_EQ(composite_of(p), std::vector<float>({2, 3, 4, 5}));

    // An empty group in Addition mode changes nothing.
    turn_layer(p, true);
    set_layer_blending(p, blend_addition);
    EXPECT_EQ(composite_of(p), std::vector<float>({2, 3, 4, 5}));
}

TEST(Composite, EveryGroupIsClosedInOrder)
{
    // Two groups after the first: the last one is closed by the end of the table.
    Project p;
    make_project(p, 2, 1);
    new_layer(p, "a");
    fill_current(p, {1, 2});
    new_separator(p, "add");
    new_layer(p, "b");
    fill_current(p, {10, 20});
    new_separator(p, "max");
    set_layer_blending(p, blend_maximum);
    new_layer(p, "c");
    fill_current(p, {5, 100});
    EXPECT_EQ(composite_of(p), std::vector<float>({11, 100}));
}

TEST(Composite, CurrentGroupOnly)
{
    Project p;
    make_project(p, 2, 1);
    new_layer(p, "outside");
    fill_current(p, {100, 100});
    new_separator(p, "group");
    set_layer_blending(p, blend_multiplication);
    turn_layer(p, false);
    new_layer(p, "one");
    fill_current(p, {1, 2});
    new_layer(p, "two");
    fill_current(p, {3, 4});
    new_layer(p, "muted");
    fill_current(p, {50, 50});
    turn_layer(p, false);
    select_layer(p, 3, false);

    // Whole stack: the group is off, so only the first group shows.
    EXPECT_EQ(composite_of(p), std::vector<float>({100, 100}));
    // Group view: the group-off layers show, the individually-off one does not, and the
    // separator's Multiplication is not applied.
    EXPECT_EQ(composite_of(p, true), std::vector<float>({4, 6}));
    select_layer(p, 0, false);
    EXPECT_EQ(composite_of(p, true), std::vector<float>({100, 100}));
}

TEST(Composite, LiveSynthesisGetsTransposedCopy)
{
    Project p;
    make_project(p, 3, 2);
    new_layer(p, "a");
    fill_current(p, {1, 2, 3, 4, 5, 6});
    EXPECT_FALSE(composite_layers(p, false));
    EXPECT_FALSE(p.synthesis_copy_updated);

    p.live_synthesis = true;
    EXPECT_TRUE(composite_layers(p, false));
    EXPECT_TRUE(p.synthesis_copy_updated);
    for (int x = 0; x < 3; x++)
        for (int y = 0; y < 2; y++)
            EXPECT_EQ(p.synthesis_copy[x][y], p.composite[y][x]);
    EXPECT_EQ(p.synthesis_copy[2][1], 6.0f);
}

TEST(Groups, FlagsAndLabels)
{
    Project p;
    make_project(p, 1, 1);
    new_layer(p, "bottom");
    new_separator(p, "sep");
    set_layer_blending(p, blend_subtraction);
    turn_layer(p, false);
    new_layer(p, "hidden");
    new_layer(p, "self-off");
    turn_layer(p, false);
    new_separator(p, "sep2");
    new_layer(p, "top");
    set_layer_blending(p, blend_convolution_looped);

    std::vector<std::string> labels = layer_list_labels(p);
    std::vector<std::string> want = {
        "top [ConvL]",      "sep2 [Add]",   "(off) self-off [Add]", "(group-off) hidden [Add]",
        "(off) sep [Sub]", "bottom [Add]",
    };
    EXPECT_EQ(labels, want);
    std::vector<int> groups, off;
    for (const Layer& l : p.layers) {
        groups.push_back(l.group);
        off.push_back(l.effectively_off);
    }
    EXPECT_EQ(groups, std::vector<int>({0, 1, 1, 1, 4, 4}));
    EXPECT_EQ(off, std::vector<int>({0, 1, 1, 1, 0, 0}));
}

TEST(Stack, NewLayersGoAboveTheCurrentOne)
{
    Project p;
    make_project(p, 7, 5);
    EXPECT_EQ(p.current_layer, -1);
    int counter = p.layer_name_counter;
    EXPECT_TRUE(new_layer(p, "a"));
    EXPECT_EQ(p.current_layer, 0);
    EXPECT_TRUE(new_layer(p, "b"));
    select_layer(p, 0, false);
    EXPECT_TRUE(new_separator(p, "s"));
    EXPECT_EQ(names(p), std::vector<std::string>({"a", "s", "b"}));
    EXPECT_EQ(p.current_layer, 1);
    EXPECT_EQ(p.layer_name_counter, counter + 2);

    const Layer& a = p.layers[0];
    EXPECT_NE(a.image, nullptr);
    EXPECT_EQ(a.centre_x, 3);
    EXPECT_EQ(a.centre_y, 2);
    EXPECT_EQ(a.gamma, 1.0f);
    EXPECT_EQ(a.blending, 0);
    EXPECT_EQ(p.layers[1].image, nullptr);
    EXPECT_EQ(p.layers[1].centre_x, 3);
}

TEST(Stack, DuplicateCopiesDeeply)
{
    Project p;
    make_project(p, 2, 2);
    new_layer(p, "orig");
    fill_current(p, {1, 2, 3, 4});
    Layer& o = p.layers[0];
    o.original_image = image_alloc(1, 3);
    o.original_image[0][2] = 9.0f;
    o.original_width = 3;
    o.original_height = 1;
    set_layer_blending(p, blend_minimum);
    set_layer_centre(p, 1, 0);
    set_layer_gamma(p, 2.0f);
    turn_layer(p, false);
    int counter = p.layer_name_counter;

    EXPECT_TRUE(duplicate_layer(p));
    ASSERT_EQ(p.layers.size(), 2u);
    EXPECT_EQ(p.current_layer, 1);
    const Layer& c = p.layers[1];
    EXPECT_EQ(c.name, "Layer " + std::to_string(counter + 1));
    EXPECT_EQ(p.layer_name_counter, counter + 1);
    EXPECT_NE(c.image, p.layers[0].image);
    EXPECT_EQ(pixels_of(p, c.image), std::vector<float>({1, 4, 9, 16}));
    ASSERT_NE(c.original_image, nullptr);
    EXPECT_NE(c.original_image, p.layers[0].original_image);
    EXPECT_EQ(c.original_image[0][2], 9.0f);
    EXPECT_EQ(c.original_width, 3);
    EXPECT_EQ(c.blending, blend_minimum);
    EXPECT_EQ(c.centre_x, 1);
    EXPECT_EQ(c.centre_set, 1);
    EXPECT_EQ(c.gamma, 2.0f);
    EXPECT_EQ(c.off, 1);

    new_separator(p, "sep");
    EXPECT_TRUE(duplicate_layer(p));
    EXPECT_EQ(p.layers[3].name, "sep");
    EXPECT_EQ(p.layers[3].image, nullptr);
    EXPECT_EQ(p.layer_name_counter, counter + 1);

    Project empty;
    EXPECT_FALSE(duplicate_layer(empty));
}

TEST(Stack, MergeDownAtTheEdges)
{
    Project p;
    make_project(p, 2, 1);
    new_layer(p, "bottom");
    fill_current(p, {3, 4});
    // The bottom layer has nothing below it.
    EXPECT_FALSE(merge_down_layer(p));
    new_separator(p, "sep");
    new_layer(p, "over sep");
    fill_current(p, {1, 1});
    // Onto a separator: refused.
    EXPECT_FALSE(merge_down_layer(p));
    EXPECT_EQ(p.layers.size(), 3u);

    // Off flags and groups play no part: the current mode is what counts.
    select_layer(p, 1, false);
    delete_layer(p);
    EXPECT_EQ(p.current_layer, 1);
    set_layer_blending(p, blend_multiplication);
    turn_layer(p, false);
    fill_current(p, {2, 0.5f});
    EXPECT_TRUE(merge_down_layer(p));
    EXPECT_EQ(names(p), std::vector<std::string>({"bottom"}));
    EXPECT_EQ(p.current_layer, 0);
    EXPECT_EQ(pixels_of(p, p.layers[0].image), std::vector<float>({6, 2}));
    EXPECT_TRUE(p.recomposite_needed);

    Project none;
    none.width = none.height = 1;
    new_layer(none, "a");
    new_layer(none, "b");
    EXPECT_FALSE(merge_down_layer(none));  // no composite yet
}

TEST(Stack, DeleteAtTheEdges)
{
    Project p;
    make_project(p, 1, 1);
    new_layer(p, "a");
    EXPECT_FALSE(delete_layer(p));  // never the only layer
    new_layer(p, "b");
    new_layer(p, "c");
    select_layer(p, 1, false);
    EXPECT_TRUE(delete_layer(p));
    EXPECT_EQ(names(p), std::vector<std::string>({"a", "c"}));
    EXPECT_EQ(p.current_layer, 1);  // stays: now "c"
    EXPECT_TRUE(delete_layer(p));
    EXPECT_EQ(names(p), std::vector<std::string>({"a"}));
    EXPECT_EQ(p.current_layer, 0);  // dropped with the top

    Project none;
    none.width = none.height = 1;
    new_layer(none, "a");
    new_layer(none, "b");
    EXPECT_FALSE(delete_layer(none));
}

TEST(Stack, SelectClampsToTheTable)
{
    Project p;
    make_project(p, 1, 1);
    EXPECT_FALSE(select_layer(p, 0, false));  // empty table
    for (const char* n : {"0", "1", "2", "3"})
        new_layer(p, n);
    EXPECT_TRUE(select_layer(p, 1, true));
    EXPECT_EQ(p.current_layer, 3);
    select_layer(p, 2, false);
    select_layer(p, -5, true);
    EXPECT_EQ(p.current_layer, 0);
    select_layer(p, 1e300, false);
    EXPECT_EQ(p.current_layer, 3);
    EXPECT_FALSE(select_layer(p, std::nan(""), false));
    EXPECT_EQ(p.current_layer, 3);
}

TEST(Stack, GammaComposesToTheLastValue)
{
    Project p;
    make_project(p, 3, 1);
    new_layer(p, "a");
    std::vector<float> start = {0.25f, 0.7f, -0.5f};
    fill_current(p, start);
    EXPECT_TRUE(set_layer_gamma(p, 2.0f));
    EXPECT_EQ(pixels_of(p, p.layers[0].image), std::vector<float>({0.0625f, powf(0.7f, 2.0f), -0.25f}));
    EXPECT_EQ(pixels_of(p, p.undo_image), start);
    EXPECT_TRUE(set_layer_gamma(p, 1.0f));
    std::vector<float> back = pixels_of(p, p.layers[0].image);
    for (int i = 0; i < 3; i++)
        EXPECT_NEAR(back[i], start[i], 1e-6f);
    EXPECT_EQ(p.layers[0].gamma, 1.0f);

    testing::internal::CaptureStderr();
    EXPECT_FALSE(set_layer_gamma(p, 0.0f));
    EXPECT_FALSE(set_layer_gamma(p, std::nanf("")));
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("Gamma 0 refused"), std::string::npos);
    EXPECT_EQ(p.layers[0].gamma, 1.0f);
}

TEST(Stack, MultiplyAndCentre)
{
    Project p;
    make_project(p, 2, 1);
    new_layer(p, "a");
    fill_current(p, {1, -2});
    p.content_changed = 0;
    EXPECT_TRUE(multiply_layer(p, 1.5f));
    EXPECT_EQ(pixels_of(p, p.layers[0].image), std::vector<float>({1.5f, -3}));
    EXPECT_EQ(pixels_of(p, p.undo_image), std::vector<float>({1, -2}));
    EXPECT_EQ(p.content_changed & content_pixels, content_pixels);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(multiply_layer(p, std::numeric_limits<float>::infinity()));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(p.layers[0].image[0][1], -3.0f);

    EXPECT_TRUE(set_layer_centre(p, 5, -1));
    EXPECT_EQ(p.layers[0].centre_x, 5);
    EXPECT_EQ(p.layers[0].centre_y, -1);
    EXPECT_EQ(p.layers[0].centre_set, 1);

    new_separator(p, "s");
    EXPECT_FALSE(multiply_layer(p, 2.0f));
}

TEST(Stack, BlendingByKeyword)
{
    Project p;
    make_project(p, 1, 1);
    new_layer(p, "Voice");
    EXPECT_TRUE(set_layer_blending_keyword(p, "convolution looped"));
    EXPECT_EQ(p.layers[0].blending, 13);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(set_layer_blending_keyword(p, "overlay"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Blending mode \"overlay\" unknown for layer \"Voice\"\n");
    EXPECT_EQ(p.layers[0].blending, 13);
    EXPECT_FALSE(set_layer_blending(p, 14));
    EXPECT_FALSE(set_layer_blending(p, -1));
    EXPECT_EQ(p.layers[0].blending, 13);
}

TEST(Stack, MergeAllAppendsTheComposite)
{
    Project p;
    make_project(p, 2, 1);
    new_layer(p, "a");
    fill_current(p, {1, 2});
    new_layer(p, "b");
    fill_current(p, {10, 20});
    select_layer(p, 0, false);
    int counter = p.layer_name_counter;
    p.recomposite_needed = true;
    EXPECT_TRUE(merge_all_to_new_layer(p, false));
    ASSERT_EQ(p.layers.size(), 3u);
    EXPECT_EQ(p.current_layer, 2);
    EXPECT_EQ(p.layers[2].name, "Layer " + std::to_string(counter + 1));
    EXPECT_EQ(pixels_of(p, p.layers[2].image), std::vector<float>({11, 22}));
    EXPECT_EQ(p.layers[2].original_image, nullptr);
    // The other layers stay, so the composite now counts them twice.
    EXPECT_EQ(composite_of(p), std::vector<float>({22, 44}));

    Project none;
    EXPECT_FALSE(merge_all_to_new_layer(none, false));
}

TEST(Stack, EveryChangeMarksTheCompositeStale)
{
    Project p;
    make_project(p, 2, 2);
    new_layer(p, "a");
    new_layer(p, "b");
    auto stale_after = [&](auto&& change) {
        composite_layers(p, false);
        EXPECT_FALSE(p.recomposite_needed);
        EXPECT_TRUE(change());
        return p.recomposite_needed.load();
    };
    EXPECT_TRUE(stale_after([&] { return new_layer(p, "c"); }));
    EXPECT_TRUE(stale_after([&] { return new_separator(p, "s"); }));
    EXPECT_TRUE(stale_after([&] { return duplicate_layer(p); }));
    EXPECT_TRUE(stale_after([&] { return delete_layer(p); }));
    EXPECT_TRUE(stale_after([&] { return select_layer(p, 1, false); }));
    EXPECT_TRUE(stale_after([&] { return merge_down_layer(p); }));
    EXPECT_TRUE(stale_after([&] { return turn_layer(p, false); }));
    EXPECT_TRUE(stale_after([&] { return set_layer_blending(p, 3); }));
    EXPECT_TRUE(stale_after([&] { return set_layer_gamma(p, 3.0f); }));
    EXPECT_TRUE(stale_after([&] { return multiply_layer(p, 3.0f); }));
    EXPECT_TRUE(stale_after([&] { return set_layer_centre(p, 0, 0); }));
    EXPECT_TRUE(stale_after([&] { return merge_all_to_new_layer(p, false); }));
}

TEST(Stack, TableHasAFixedRoom)
{
    Project p;
    make_project(p, 1, 1);
    for (int i = 0; i < max_layers; i++)
        ASSERT_TRUE(new_separator(p, "s"));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(new_layer(p, "one too many"));
    EXPECT_FALSE(duplicate_layer(p));
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("layer table is full"), std::string::npos);
    EXPECT_EQ((int)p.layers.size(), max_layers);
}

TEST(CompositeThread, LoopKeepsUpWithChangesOnOtherThreads)
{
    Project p;
    make_project(p, 64, 32);
    new_layer(p, "a");
    new_layer(p, "b");
    p.live_synthesis = true;
    Compositor c;
    // Renders of the stroke's thread (quick) and of the main thread, counted apart.
    std::atomic<int> renders[2] = {0, 0};
    c.context = renders;
    c.render_view = [](void* context, int quick) { ((std::atomic<int>*)context)[quick ? 1 : 0]++; };
    EXPECT_TRUE(start_composite_loop(p, c));
    EXPECT_FALSE(start_composite_loop(p, c));
    // Change the stack while the thread composites, until it has done so many times.
    for (int i = 0; i < 50 || renders[1] < 20; i++) {
        multiply_layer(p, 1.0f);
        turn_layer(p, i % 2 == 0);
        select_layer(p, i % 2, false);
        c.current_group_only = i % 3 == 0;
        refresh_view(p, c, 0);
    }
    stop_composite_loop(c);
    EXPECT_FALSE(c.loop_running);
    EXPECT_FALSE(c.stop_compositing);

    // After the loop, a plain refresh renders the current state.
    select_layer(p, 1, false);
    p.layers[1].image[3][5] = 2.0f;
    turn_layer(p, true);
    c.current_group_only = false;
    int before = renders[0];
    EXPECT_TRUE(refresh_view(p, c, 0));
    EXPECT_EQ(renders[0], before + 1);
    EXPECT_EQ(p.composite[3][5], 2.0f);
    EXPECT_EQ(p.synthesis_copy[5][3], 2.0f);
    EXPECT_TRUE(start_composite_loop(p, c));
}
