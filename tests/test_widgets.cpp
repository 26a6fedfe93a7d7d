// The widgets driven by synthetic input: text editing, clicks, knobs, drop-downs, windows.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/widgets.h"

namespace {

// A pass with the given input and no drawing.
void pass(WidgetContext& ctx, WidgetInput in) { widgets_begin(ctx, std::move(in), Raster()); }

WidgetInput press_at(int x, int y)
{
    WidgetInput in;
    in.pointer_x = x, in.pointer_y = y;
    in.left_down = in.left_pressed = true;
    return in;
}

WidgetInput release_at(int x, int y)
{
    WidgetInput in;
    in.pointer_x = x, in.pointer_y = y;
    in.left_released = true;
    return in;
}

WidgetInput keys(std::initializer_list<WidgetKey> k, std::string text = "")
{
    WidgetInput in;
    in.keys = k;
    in.text = std::move(text);
    return in;
}

std::string clip_store;
std::string clip_get(void*) { return clip_store; }
void clip_set(void*, const std::string& t) { clip_store = t; }

}  // namespace

TEST(Widgets, TextEditingWalksUtf8CharactersAndReplacesSelections)
{
    TextField f;
    text_field_set(f, "d\xC3\xA9j\xC3\xA0");  // "déjà": 4 characters, 6 bytes
    EXPECT_EQ(f.cursor, 6u);
    // Backspace removes the whole two-byte "à", Left steps over the "é" as one character.
    EXPECT_EQ(text_field_key(f, {wkey_backspace, 0}, nullptr), field_changed);
    EXPECT_EQ(f.text, "d\xC3\xA9j");
    text_field_key(f, {wkey_left, 0}, nullptr);
    text_field_key(f, {wkey_left, 0}, nullptr);
    EXPECT_EQ(f.cursor, 1u);
    EXPECT_EQ(text_field_key(f, {wkey_delete, 0}, nullptr), field_changed);
    EXPECT_EQ(f.text, "dj");
    // Shift+End selects to the end; typing replaces the selection; control characters drop.
    text_field_key(f, {wkey_home, 0}, nullptr);
    text_field_key(f, {wkey_right, wmod_shift}, nullptr);
    EXPECT_EQ(text_field_selection(f), "d");
    EXPECT_TRUE(text_field_insert(f, "\xE2\x82\xAC\n"));  // "€" and a line feed
    EXPECT_EQ(f.text, "\xE2\x82\xAC" "j");
    EXPECT_EQ(f.cursor, 3u);
    // Nothing to delete at the ends is no change.
    text_field_key(f, {wkey_end, 0}, nullptr);
    EXPECT_EQ(text_field_key(f, {wkey_delete, 0}, nullptr), 0);
    text_field_key(f, {wkey_home, 0}, nullptr);
    EXPECT_EQ(text_field_key(f, {wkey_backspace, 0}, nullptr), 0);
    EXPECT_EQ(text_field_key(f, {wkey_enter, 0}, nullptr), field_entered);
    EXPECT_EQ(text_field_key(f, {wkey_escape, 0}, nullptr), field_escaped);
}

TEST(Widgets, ClipboardCopiesCutsAndPastesOneLine)
{
    WidgetContext ctx;
    ctx.clipboard_get = clip_get;
    ctx.clipboard_set = clip_set;
    TextField f;
    text_field_set(f, "Crop 5 sec");
    text_field_key(f, {wkey_select_all, 0}, &ctx);
    text_field_key(f, {wkey_copy, 0}, &ctx);
    EXPECT_EQ(clip_store, "Crop 5 sec");
    EXPECT_EQ(f.text, "Crop 5 sec");
    f.anchor = 5;
    f.cursor = 10;
    EXPECT_EQ(text_field_key(f, {wkey_cut, 0}, &ctx), field_changed);
    EXPECT_EQ(clip_store, "5 sec");
    EXPECT_EQ(f.text, "Crop ");
    clip_store = "7 px\nDelete layer";
    EXPECT_EQ(text_field_key(f, {wkey_paste, 0}, &ctx), field_changed);
    EXPECT_EQ(f.text, "Crop 7 px");
}

TEST(Widgets, FocusFollowsClicksAndTakesTypingAndEscapeDropsIt)
{
    WidgetContext ctx;
    TextField a, b;
    const WidgetRect ra = {10, 10, 100, 20}, rb = {10, 40, 100, 20};
    pass(ctx, press_at(20, 15));
    EXPECT_EQ(text_field(ctx, a, ra), 0);
    text_field(ctx, b, rb);
    EXPECT_TRUE(widgets_have_keyboard_focus(ctx));
    EXPECT_EQ(ctx.focus, &a);
    // Typing goes to the focused field only.
    pass(ctx, keys({{wkey_enter, 0}}, "ab"));
    EXPECT_EQ(text_field(ctx, a, ra), field_changed | field_entered);
    EXPECT_EQ(text_field(ctx, b, rb), 0);
    EXPECT_EQ(a.text, "ab");
    EXPECT_EQ(b.text, "");
    // A click in the other field moves the focus; a click outside both drops it.
    pass(ctx, press_at(20, 45));
    text_field(ctx, a, ra);
    text_field(ctx, b, rb);
    EXPECT_EQ(ctx.focus, &b);
    pass(ctx, press_at(300, 300));
    text_field(ctx, a, ra);
    text_field(ctx, b, rb);
    EXPECT_FALSE(widgets_have_keyboard_focus(ctx));
    widgets_focus(ctx, &a);
    pass(ctx, keys({{wkey_escape, 0}}, ""));
    EXPECT_EQ(text_field(ctx, a, ra), field_escaped);
    EXPECT_FALSE(widgets_have_keyboard_focus(ctx));
}

TEST(Widgets, ButtonReportsOneClickOnlyWhenReleasedOverIt)
{
    WidgetContext ctx;
    const WidgetRect r = {0, 0, 50, 20};
    int clicks = 0;
    auto frame = [&](WidgetInput in) {
        pass(ctx, std::move(in));
        clicks += button(ctx, 7, r, "Run") ? 1 : 0;
    };
    frame(press_at(10, 10));
    WidgetInput held;
    held.pointer_x = 12, held.pointer_y = 10, held.left_down = true;
    frame(held);
    frame(release_at(12, 10));
    frame(WidgetInput());  // nothing more without a new press
    EXPECT_EQ(clicks, 1);
    // Pressed on it, released elsewhere: no click; pressed elsewhere, released on it: none.
    frame(press_at(10, 10));
    frame(release_at(200, 10));
    frame(press_at(200, 10));
    frame(release_at(10, 10));
    EXPECT_EQ(clicks, 1);
}

TEST(Widgets, CheckboxFlipsAndRadiosFormAGroup)
{
    WidgetContext ctx;
    int on = 0, group = 16;
    auto click_at = [&](int x, int y) {
        for (WidgetInput in : {press_at(x, y), release_at(x, y)}) {
            pass(ctx, in);
            checkbox(ctx, 1, {0, 0, 80, 20}, "Default", on);
            radio(ctx, 12, {0, 30, 80, 20}, "pixels", group, 12);
            radio(ctx, 16, {0, 60, 80, 20}, "seconds", group, 16);
        }
    };
    click_at(5, 5);
    EXPECT_EQ(on, 1);
    click_at(5, 35);
    EXPECT_EQ(group, 12);
    click_at(5, 35);  // choosing the chosen one keeps it
    EXPECT_EQ(group, 12);
    click_at(5, 65);
    EXPECT_EQ(group, 16);
    click_at(5, 5);
    EXPECT_EQ(on, 0);
}

TEST(Widgets, DropDownOpensAndChoosesAnItem)
{
    WidgetContext ctx;
    DropDown d;
    d.items = {"pulseaudio", "alsa", "dummy"};
    const WidgetRect r = {0, 0, 100, 20};
    bool changed = false;
    auto frame = [&](WidgetInput in) {
        pass(ctx, std::move(in));
        changed |= drop_down(ctx, 10, r, d);
    };
    frame(press_at(5, 5));
    frame(release_at(5, 5));
    EXPECT_TRUE(d.open);
    frame(press_at(5, 65));  // third item: rows of 20 below the box
    frame(release_at(5, 65));
    EXPECT_TRUE(changed);
    EXPECT_EQ(d.chosen, 2);
    EXPECT_FALSE(d.open);
    // Opened, then a click away closes it unchanged.
    changed = false;
    frame(press_at(5, 5));
    frame(release_at(5, 5));
    frame(press_at(300, 300));
    EXPECT_FALSE(d.open);
    EXPECT_FALSE(changed);
    EXPECT_EQ(d.chosen, 2);
}

TEST(Widgets, KnobScalesAreExactAtBothEndsAndInvertEachOther)
{
    const KnobScale scales[] = {
        {-30, 12, knob_linear, 1},
        {0.1, 10, knob_log, 1},
        {0, 4e4, knob_tan, 20},       // seconds of Extend/cut
        {0.01, 10000, knob_tan, 100}, // percent, minimum one pixel
        {1, 4e6, knob_tan, 2000},     // pixels
    };
    for (const KnobScale& s : scales) {
        EXPECT_EQ(knob_value_at(s, 0.0), s.min);
        EXPECT_EQ(knob_value_at(s, 1.0), s.max);
        EXPECT_EQ(knob_travel_of(s, s.min), 0.0);
        EXPECT_EQ(knob_travel_of(s, s.max), 1.0);
        double previous = s.min;
        for (double t = 0.05; t < 1.0; t += 0.05) {
            const double v = knob_value_at(s, t);
            EXPECT_GT(v, previous);  // strictly rising
            EXPECT_NEAR(knob_travel_of(s, v), t, 1e-9);
            previous = v;
        }
        // Values beyond the range pin to the ends.
        EXPECT_EQ(knob_travel_of(s, s.max * 2 + 1), 1.0);
    }
    // The middle of each scale where its formula says.
    EXPECT_DOUBLE_EQ(knob_value_at(scales[0], 0.5), -9.0);
    EXPECT_NEAR(knob_value_at(scales[1], 0.5), 1.0, 1e-12);
    // tan: small values move almost linearly: 1 % of the travel is near a × 1 % × (q − p).
    const double q = std::atan(4e4 / 20);
    EXPECT_NEAR(knob_value_at(scales[2], 0.01), 20 * std::tan(0.01 * q), 1e-9);
    EXPECT_NEAR(knob_value_at(scales[2], 0.5), 20 * std::tan(0.5 * q), 1e-9);
}

TEST(Widgets, KnobDragsUpAndDownWithFinerStepsAndResetsOnDoubleClick)
{
    WidgetContext ctx;
    Knob k;
    knob_setup(k, -30, -6, 12, knob_linear, 1, "%.1f", "dB");
    const WidgetRect r = {0, 0, 80, 100};
    const double t0 = k.t;
    int flags = 0;
    auto frame = [&](WidgetInput in) {
        pass(ctx, std::move(in));
        flags = knob(ctx, 20, r, "Volume threshold", k);
    };
    frame(press_at(40, 50));
    WidgetInput move;
    move.pointer_x = 40, move.pointer_y = 30, move.left_down = true;  // 20 pixels up
    frame(move);
    EXPECT_EQ(flags, knob_changed);
    EXPECT_NEAR(k.t, t0 + 20.0 / 200.0, 1e-12);
    move.pointer_y = 40;  // 10 down with Shift: a tenth of the step
    move.mods = wmod_shift;
    frame(move);
    EXPECT_NEAR(k.t, t0 + 20.0 / 200.0 - 10.0 / 2000.0, 1e-12);
    move.pointer_y = 30;
    move.mods = wmod_shift | wmod_ctrl;
    frame(move);
    EXPECT_NEAR(k.t, t0 + 20.0 / 200.0 - 10.0 / 2000.0 + 10.0 / 20000.0, 1e-12);
    frame(release_at(40, 30));
    EXPECT_EQ(flags & knob_released, knob_released);
    // Dragged far beyond the top stops at the maximum.
    frame(press_at(40, 50));
    move.mods = 0;
    move.pointer_y = -5000;
    frame(move);
    frame(release_at(40, -5000));
    EXPECT_EQ(knob_value(k), 12.0);
    // Double-click: the default again.
    WidgetInput dbl = press_at(40, 50);
    dbl.double_click = true;
    frame(dbl);
    EXPECT_EQ(flags, knob_changed | knob_released);
    EXPECT_DOUBLE_EQ(knob_value(k), -6.0);
}

TEST(Widgets, KnobTakesATypedValueAfterARightClick)
{
    WidgetContext ctx;
    Knob k;
    knob_setup(k, 0.1, 2.3, 10, knob_log, 1, "%.2f", "sec");
    const WidgetRect r = {0, 0, 80, 100};
    WidgetInput right;
    right.pointer_x = 40, right.pointer_y = 50, right.right_pressed = true;
    pass(ctx, right);
    knob(ctx, 30, r, "Sustain duration", k);
    ASSERT_TRUE(k.editing);
    EXPECT_EQ(ctx.focus, &k.edit);
    EXPECT_EQ(k.edit.text, "2.30");
    // The typed text is an expression; Enter sets it and gives the focus back.
    pass(ctx, keys({{wkey_select_all, 0}}, ""));
    knob(ctx, 30, r, "Sustain duration", k);
    pass(ctx, keys({{wkey_enter, 0}}, "1;6*2"));
    EXPECT_EQ(knob(ctx, 30, r, "Sustain duration", k), knob_changed | knob_released);
    EXPECT_NEAR(knob_value(k), 3.0, 1e-12);
    EXPECT_FALSE(k.editing);
    EXPECT_FALSE(widgets_have_keyboard_focus(ctx));
    // A value out of range is limited; nonsense leaves the value as it was.
    for (const char* typed : {"500", "what"}) {
        pass(ctx, right);
        knob(ctx, 30, r, "Sustain duration", k);
        pass(ctx, keys({{wkey_select_all, 0}}, ""));
        knob(ctx, 30, r, "Sustain duration", k);
        pass(ctx, keys({{wkey_enter, 0}}, typed));
        knob(ctx, 30, r, "Sustain duration", k);
        EXPECT_EQ(knob_value(k), 10.0) << typed;
    }
}

TEST(Widgets, WindowMovesByItsTitleBarAndStaysReachable)
{
    WidgetContext ctx;
    FloatingWindow w;
    w.x = 100, w.y = 100, w.w = 300, w.h = 120;
    auto frame = [&](WidgetInput in) {
        pass(ctx, std::move(in));
        return floating_window(ctx, 1, w, "Console", 800, 600);
    };
    frame(press_at(110, 105));
    WidgetInput move;
    move.pointer_x = 160, move.pointer_y = 125, move.left_down = true;
    const WidgetRect content = frame(move);
    EXPECT_EQ(w.x, 150);
    EXPECT_EQ(w.y, 120);
    EXPECT_GT(content.y, w.y);
    move.pointer_x = -2000;
    move.pointer_y = 5000;
    frame(move);
    EXPECT_GE(w.x + w.w, 40);
    EXPECT_LE(w.y, 600 - title_bar_height(ctx));
    frame(release_at(0, 0));
    // A press in the body does not move it; the close box reports a click.
    const int x = w.x, y = w.y;
    frame(press_at(w.x + 10, w.y + 60));
    move.pointer_x = w.x + 90;
    move.pointer_y = w.y + 90;
    frame(move);
    EXPECT_EQ(w.x, x);
    EXPECT_EQ(w.y, y);
    frame(release_at(0, 0));
    const int cx = w.x + w.w - 4, cy = w.y + 4;
    frame(press_at(cx, cy));
    frame(release_at(cx, cy));
    EXPECT_TRUE(w.close_clicked);
    // The main window shrinks under it: the title bar comes back within reach.
    w.x = 700, w.y = 500;
    pass(ctx, WidgetInput());
    floating_window(ctx, 1, w, "Console", 400, 300);
    EXPECT_LE(w.x, 400 - 40);
    EXPECT_LE(w.y, 300 - title_bar_height(ctx));
}

TEST(Widgets, WindowsDrawWithoutAFontAndOnlyWhenGivenATarget)
{
    WidgetContext ctx;
    Pixmap screen = pixmap_create(200, 150, 0xFF000000u);
    FloatingWindow w;
    w.x = 10, w.y = 10, w.w = 120, w.h = 80;
    TextField f;
    text_field_set(f, "abc");
    // The input pass leaves the screen alone.
    widgets_begin(ctx, WidgetInput(), Raster());
    floating_window(ctx, 1, w, "Console", 200, 150);
    text_field(ctx, f, {20, 40, 80, 20});
    for (uint32_t p : screen.pixels)
        ASSERT_EQ(p, 0xFF000000u);
    // The drawing pass draws the frame and the field, with or without the font.
    widgets_begin(ctx, WidgetInput(), raster_of(screen));
    floating_window(ctx, 1, w, "Console", 200, 150);
    text_field(ctx, f, {20, 40, 80, 20});
    EXPECT_NE(screen.pixels[(size_t)(15 * 200 + 50)], 0xFF000000u);  // title bar
    EXPECT_NE(screen.pixels[(size_t)(40 * 200 + 50)], 0xFF000000u);  // the field's edge
    EXPECT_EQ(screen.pixels[(size_t)(5 * 200 + 5)], 0xFF000000u);    // outside the window
    EXPECT_EQ(screen.pixels[(size_t)(120 * 200 + 150)], 0xFF000000u);
}

TEST(Widgets, FocusOfAFieldThatNoLongerRunsIsDropped)
{
    WidgetContext ctx;
    TextField a;
    widgets_focus(ctx, &a);
    // Its window still runs: the focus stays.
    pass(ctx, keys({}, "x"));
    text_field(ctx, a, {0, 0, 50, 20});
    widgets_end(ctx);
    EXPECT_EQ(ctx.focus, &a);
    // A knob's typed value gets the focus during the pass and keeps it.
    Knob k;
    knob_setup(k, 0, 1, 2, knob_linear, 1, "%g", "");
    WidgetInput right;
    right.pointer_x = 10, right.pointer_y = 10, right.right_pressed = true;
    pass(ctx, right);
    knob(ctx, 5, {0, 0, 50, 50}, "k", k);
    widgets_end(ctx);
    EXPECT_EQ(ctx.focus, &k.edit);
    // Its window closed: nothing runs the field, the keys go back to the shortcuts.
    pass(ctx, WidgetInput());
    widgets_end(ctx);
    EXPECT_FALSE(widgets_have_keyboard_focus(ctx));
}
