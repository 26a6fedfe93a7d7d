// The button bar: where its controls sit in both layouts, what the pointer hits, how knobs
// turn, and what the buttons and knobs do in the desktop program (headless, pointer set by
// the test).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/bar_input.h"
#include "app/bar_state.h"
#include "app/layout.h"
#include "app/screen.h"
#include "app/shell.h"
#include "commands/archive_read.h"
#include "media/sound_write.h"
#include "support/log.h"
#include "support/paths.h"
#include "support/prefs.h"
#include "headless_shell.h"
#include "testlib.h"
#include "ui/button_bar.h"
#include "ui/menu.h"

namespace {

constexpr double pi = 3.14159265358979323846;

struct Rect {
    int x, y, w, h;
};

// The area a control takes: a knob's cell with its labels, a button's face.
Rect area(const BarControl& c) { return {c.left, c.top, c.width, c.height}; }

bool overlap(const Rect& a, const Rect& b)
{
    return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

ButtonBar laid_out(int width, int height, int scale, bool lossless)
{
    const ScreenLayout l = screen_layout(width, height, scale, 55, lossless);
    ButtonBar bar;
    bar_layout(bar, width, l.bar_y, l.bar_height, scale);
    return bar;
}

TEST(ButtonBarLayout, ControlsStayInsideTheBarWithoutOverlapInBothHeights)
{
    struct Case {
        int width, scale;
        bool lossless, one_row;
    };
    const Case cases[] = {{1024, 1, false, false}, {1399, 1, false, false}, {1400, 1, false, true},
                          {1920, 1, false, true},  {1024, 1, true, true},   {1300, 1, true, true},
                          {2048, 2, false, false}, {2800, 2, false, true},  {2048, 2, true, true}};
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.width << " px, scale " << k.scale << (k.lossless ? ", lossless" : ""));
        const int height = 900 * k.scale;
        const ScreenLayout l = screen_layout(k.width, height, k.scale, 55, k.lossless);
        const ButtonBar bar = laid_out(k.width, height, k.scale, k.lossless);
        EXPECT_EQ(bar.one_row, k.one_row);
        EXPECT_EQ(l.bar_height, (k.one_row ? 169 : 280) * k.scale);
        int controls = 0;
        for (int i = 0; i < bar_slot_count; i++) {
            const BarControl& c = bar.controls[i];
            if (c.type == control_none)
                continue;
            controls++;
            const Rect a = area(c);
            EXPECT_GE(a.x, 0) << "slot " << i;
            EXPECT_LE(a.x + a.w, k.width) << "slot " << i;
            EXPECT_GE(a.y, l.bar_y) << "slot " << i;
            EXPECT_LE(a.y + a.h, l.bar_y + l.bar_height) << "slot " << i;
            EXPECT_GT(c.radius, 0);
            for (int j = i + 1; j < bar_slot_count; j++) {
                if (bar.controls[j].type != control_none) {
                    EXPECT_FALSE(overlap(a, area(bar.controls[j]))) << "slots " << i << " and " << j;
                }
            }
            // The status line (a row of 12-pixel text) runs clear of every control.
            const Rect status = {bar.status_x, bar.status_y - 7 * k.scale, bar.status_width, 14 * k.scale};
            EXPECT_FALSE(overlap(a, status)) << "slot " << i << " and the status line";
        }
        EXPECT_EQ(controls, 28);  // nine knobs and nineteen buttons
        EXPECT_GE(bar.status_y - 7 * k.scale, l.bar_y);
        EXPECT_LE(bar.status_x + bar.status_width, k.width);
        EXPECT_GT(bar.status_width, 100 * k.scale);
    }
}

TEST(ButtonBarLayout, KnobGeometryCountsFromTheCornerAtTheInterfaceScale)
{
    for (int scale : {1, 2}) {
        const ButtonBar bar = laid_out(1920 * scale, 1080 * scale, scale, false);
        const BarControl& knob = bar.controls[knob_slot(knob_gamma)];
        const KnobGeometry g = knob_geometry(knob, scale);
        EXPECT_EQ(g.label_x[0], knob.left + 24 * scale);
        EXPECT_EQ(g.label_y[0], knob.top + 75 * scale);
        EXPECT_EQ(g.label_x[3], knob.left + 50 * scale);
        EXPECT_EQ(g.label_y[3], knob.top + 3 * scale);
        EXPECT_EQ(g.label_x[5], knob.left + 87 * scale);
        // Name 10 above the bottom edge, unit 2 below it, value 56 above it.
        EXPECT_EQ(g.name_y - g.value_y, 46 * scale);
        EXPECT_EQ(g.unit_y - g.name_y, 12 * scale);
        // The knob picture is centred on the control's centre, which the hit test uses.
        EXPECT_EQ(g.image_x + g.image_size / 2, knob.x);
        EXPECT_EQ(g.image_y + g.image_size / 2, knob.y);
    }
    EXPECT_EQ(knob_frame(64, 0.0), 0);
    EXPECT_EQ(knob_frame(64, knob_full_angle / 2), 32);
    EXPECT_EQ(knob_frame(64, knob_full_angle), 63);
    EXPECT_EQ(knob_frame(64, -1.0), 0);
}

TEST(ButtonBarHit, SlotOrderRadiusAndTheLosslessLock)
{
    const ButtonBar bar = laid_out(1200, 900, 1, false);
    for (int i = 0; i < bar_slot_count; i++) {
        const BarControl& c = bar.controls[i];
        if (c.type == control_none)
            continue;
        EXPECT_EQ(bar_hit(bar, c.x, c.y, false, false), i);
        EXPECT_EQ(bar_hit(bar, c.x + c.radius, c.y, false, false), i);  // on the edge
    }
    const BarControl& volume = bar.controls[knob_slot(knob_volume)];
    EXPECT_EQ(bar_hit(bar, volume.x + volume.radius + 1, volume.y, false, false), -1);
    EXPECT_EQ(bar_hit(bar, 5, 5, false, false), -1);
    // Lossless locks the analysis knobs unless F is held; the others turn as usual.
    for (int k : {knob_min_frequency, knob_max_frequency, knob_time_resolution, knob_frequency_scale}) {
        const BarControl& c = bar.controls[knob_slot(k)];
        EXPECT_EQ(bar_hit(bar, c.x, c.y, true, false), -1) << knob_name(k);
        EXPECT_EQ(bar_hit(bar, c.x, c.y, true, true), knob_slot(k)) << knob_name(k);
    }
    for (int k : {knob_volume, knob_gamma, knob_layer_intensity, knob_spray_width, knob_tool_intensity}) {
        const BarControl& c = bar.controls[knob_slot(k)];
        EXPECT_EQ(bar_hit(bar, c.x, c.y, true, false), knob_slot(k)) << knob_name(k);
    }
    // Overlapping radii: the lower slot wins.
    ButtonBar both = bar;
    both.controls[slot_magnet] = both.controls[slot_play];
    EXPECT_EQ(bar_hit(both, both.controls[slot_play].x, both.controls[slot_play].y, false, false), slot_play);
}

TEST(KnobTurning, CircularStopsAtTheEndsAndLinearFollowsVerticalMotion)
{
    KnobDrag d;
    knob_grab(d, 1.0);
    EXPECT_NEAR(knob_circular_change(d, 1.5, 1.0, false), 0.5, 1e-12);
    EXPECT_NEAR(knob_circular_change(d, 2.0, 1.5, true), 0.005, 1e-12);
    // Crossing the ±π seam is a small step, not a full turn back.
    KnobDrag seam;
    knob_grab(seam, pi - 0.1);
    EXPECT_NEAR(knob_circular_change(seam, -pi + 0.1, 1.0, false), 0.2, 1e-9);
    // At an end no change towards it; away from it at once.
    KnobDrag end;
    knob_grab(end, 0.0);
    EXPECT_EQ(knob_circular_change(end, 0.5, knob_full_angle, false), 0.0);
    EXPECT_NEAR(knob_circular_change(end, 0.3, knob_full_angle, false), -0.2, 1e-12);
    EXPECT_EQ(knob_circular_change(end, 0.1, 0.0, false), 0.0);
    EXPECT_DOUBLE_EQ(knob_turn(4.0, 2.0), knob_full_angle);
    EXPECT_DOUBLE_EQ(knob_turn(0.5, -2.0), 0.0);
    EXPECT_NEAR(knob_linear_change(-10, false), 0.16, 1e-12);
    EXPECT_NEAR(knob_linear_change(10, true), -0.0016, 1e-12);
}

// ---- In the desktop program -------------------------------------------------------------

// The program with the bar's pointer interaction driven as the input frame drives it.
struct BarShell : HeadlessShell {
    explicit BarShell(std::vector<std::string> args = {}, const char* window_size = "1200x900")
        : HeadlessShell(std::move(args), window_size)
    {
        sh->synthetic_pointer = true;
        sh->pointer_x = sh->pointer_y = -1000;
        // Knobs turn in circles unless a test asks for linear control (the stored default).
        sh->app.toggles.linear_knob_control = false;
        if (started)
            shell_frame(*sh);
    }
    const BarControl& control(int slot)
    {
        bar_sync(*sh);
        return sh->bar.bar.controls[slot];
    }
    // The pointer interaction as the input frame drives it: press, drag frames, release. The
    // input state sees the buttons held, so frames run during a drag carry it on.
    bool press(int x, int y, unsigned buttons = SDL_BUTTON_LMASK)
    {
        sh->pointer_x = x;
        sh->pointer_y = y;
        sh->pointer_buttons = buttons;
        sh->input.previous_buttons = buttons;
        sh->input.mode = pointer_pressed;
        const bool hit = bar_press(*sh, x, y);
        if (!hit)
            sh->input.mode = pointer_idle;
        return hit;
    }
    void drag(int x, int y)
    {
        sh->pointer_x = x;
        sh->pointer_y = y;
        bar_drag(*sh);
    }
    void release()
    {
        sh->pointer_buttons = 0;
        sh->input.previous_buttons = 0;
        bar_release(*sh);
        sh->input.mode = pointer_idle;
        sh->input.control = -1;
    }
    void click(int slot)
    {
        const BarControl& c = control(slot);
        const int x = c.x, y = c.y;
        ASSERT_TRUE(press(x, y));
        drag(x, y);
        release();
    }
    // Turns a knob by `radians` in steps of a tenth of a radian around its centre.
    void circle(int slot, double start, double radians)
    {
        const BarControl& c = control(slot);
        const int cx = c.x, cy = c.y, r = c.radius;
        auto at = [&](double a) {
            // pointer_angle = atan2 + π/2, so the pointer sits at angle a - π/2 around the centre.
            return std::pair<int, int>{cx + (int)std::lround(r * 10 * std::cos(a - pi / 2)),
                                       cy + (int)std::lround(r * 10 * std::sin(a - pi / 2))};
        };
        auto [x0, y0] = at(start);
        sh->pointer_x = x0;
        sh->pointer_y = y0;
        sh->input.mode = pointer_control;
        sh->input.control = slot;
        const int steps = (int)std::ceil(std::fabs(radians) / 0.1);
        for (int i = 1; i <= steps; i++) {
            auto [x, y] = at(start + radians * i / steps);
            drag(x, y);
        }
    }
    // A press on the knob's own centre side: grabbed at the pointer's angle there.
    void grab(int slot, double start)
    {
        const BarControl& c = control(slot);
        const int x = c.x + (int)std::lround(c.radius * 0.9 * std::cos(start - pi / 2));
        const int y = c.y + (int)std::lround(c.radius * 0.9 * std::sin(start - pi / 2));
        ASSERT_TRUE(press(x, y));
        // The first drag frame moves the pointer out to the circling radius at the same angle.
        const int fx = c.x + (int)std::lround(c.radius * 10 * std::cos(start - pi / 2));
        const int fy = c.y + (int)std::lround(c.radius * 10 * std::sin(start - pi / 2));
        drag(fx, fy);
    }
    void frames(int n)
    {
        for (int i = 0; i < n; i++)
            shell_frame(*sh);
    }
    bool frames_until_loaded() { return frames_until([&] { return loaded(); }); }
    std::string history() { return read_text_file(path_join(data_folder(), "history.sga")); }
    // A picture on which synthesis runs.
    void picture()
    {
        execute_archive_line(sh->app, "Dimensions 200 px x 64 px", nullptr);
        execute_archive_line(sh->app, "New layer \"Layer 0\"", nullptr);
        Project& p = sh->app.project;
        for (int r = 0; r < p.height; r++)
            for (int c = 0; c < p.width; c++)
                p.layers[0].image[r][c] = 0.25f;
        p.recomposite_needed = true;
        sh->app.requests.archive_line_executed = 1;
        sh->app.requests.view_reset = 1;
        frames(5);
    }
};

TEST(ButtonBarShell, CtrlLeftTurnsAtAHundredthLikeTheRightButton)
{
    BarShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    const int slot = knob_slot(knob_layer_intensity);
    const double start = sh.knobs.angle[knob_layer_intensity];

    run.grab(slot, 0.0);
    run.circle(slot, 0.0, 0.5);
    const double plain = sh.knobs.angle[knob_layer_intensity] - start;
    run.release();
    EXPECT_NEAR(plain, 0.5, 0.05);

    knob_set_angle(sh.knobs, knob_layer_intensity, start, KnobContext{});
    sh.input.held.ctrl = true;
    run.grab(slot, 0.0);
    run.circle(slot, 0.0, 0.5);
    const double ctrl = sh.knobs.angle[knob_layer_intensity] - start;
    EXPECT_EQ(sh.input.status, "Move the mouse in circles around the knob. Hold the right mouse button for more precision.");
    run.release();
    sh.input.held.ctrl = false;
    EXPECT_NEAR(ctrl, plain * 0.01, 0.0005);

    knob_set_angle(sh.knobs, knob_layer_intensity, start, KnobContext{});
    run.grab(slot, 0.0);
    sh.pointer_buttons = SDL_BUTTON_RMASK;
    run.circle(slot, 0.0, 0.5);
    EXPECT_NEAR(sh.knobs.angle[knob_layer_intensity] - start, ctrl, 0.0005);
    run.release();
}

TEST(ButtonBarShell, CirclingPastTheEndStopsThereAndEscapeRestores)
{
    BarShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    const int slot = knob_slot(knob_volume);
    knob_set_angle(sh.knobs, knob_volume, knob_full_angle - 0.3, KnobContext{});
    run.grab(slot, 1.0);
    // Three full turns clockwise: the knob reaches +30 dB and stays, never wrapping to -30.
    run.circle(slot, 1.0, 6 * pi);
    EXPECT_DOUBLE_EQ(sh.knobs.angle[knob_volume], knob_full_angle);
    EXPECT_DOUBLE_EQ(sh.knobs.value[knob_volume], 30.0);
    EXPECT_NEAR(sh.app.playback.controls.volume.load(), std::pow(10.0, 1.5), 1e-3);
    EXPECT_EQ(sh.bar.bar.controls[slot].frame, 63);
    // Back a little: the knob follows at once.
    run.circle(slot, 1.0 + 6 * pi, -0.5);
    EXPECT_NEAR(sh.knobs.angle[knob_volume], knob_full_angle - 0.5, 0.05);
    // Escape puts it back where it was pressed, volume included.
    bar_cancel(sh);
    EXPECT_NEAR(sh.knobs.angle[knob_volume], knob_full_angle - 0.3, 1e-12);
    EXPECT_NEAR(sh.app.playback.controls.volume.load(), std::pow(10.0, sh.knobs.value[knob_volume] / 20.0), 1e-4);
    sh.input.mode = pointer_idle;
}

TEST(ButtonBarShell, LinearControlKeepsTurningPastTheTopEdge)
{
    BarShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    sh.app.toggles.linear_knob_control = true;
    const int slot = knob_slot(knob_tool_intensity);
    knob_set_angle(sh.knobs, knob_tool_intensity, 0.0, KnobContext{});
    const BarControl& c = run.control(slot);
    const int x = c.x, y = c.y;
    // With the right button, a hundredth of 0.016 radian a pixel: the whole travel would need
    // far more than the window's height.
    ASSERT_TRUE(run.press(x, y, SDL_BUTTON_RMASK));
    // Straight up to the top row, 10 pixels a frame; each time the pointer is sent back to the
    // middle of the window and the upward motion goes on from there.
    int moved = 0;
    while (moved < 3 * y) {
        const int from = sh.pointer_y, to = std::max(from - 10, 0);
        moved += from - to;
        run.drag(x, to);
        if (to == 0) {
            EXPECT_EQ(sh.pointer_y, sh.height / 2);
        }
    }
    EXPECT_NEAR(sh.knobs.angle[knob_tool_intensity], moved * 0.00016, 1e-9);
    run.release();
    // Downward motion turns it back.
    const double turned = sh.knobs.angle[knob_tool_intensity];
    ASSERT_TRUE(run.press(x, y));
    run.drag(x, y + 5);
    EXPECT_NEAR(sh.knobs.angle[knob_tool_intensity], turned - 5 * 0.016, 1e-9);
    run.release();
}

TEST(ButtonBarShell, ButtonsRaiseTheRequestsOfTheirMenuEntries)
{
    BarShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    const std::pair<int, int> pairs[] = {
        {slot_open, 1020},     {slot_save, 1060},      {slot_quit, 1080},         {slot_cursor, 6010},
        {slot_move, 6020},     {slot_rectangle, 6030}, {slot_dark_spray, 6040},   {slot_white_spray, 6050},
        {slot_brighten_spray, 6060}, {slot_smart_erase, 6070}, {slot_flip, 7030}, {slot_invert, 7010},
        {slot_mask_invert, 7020}, {slot_harmonics, 6080}, {slot_magnet, 6090},    {slot_help, 9010},
    };
    for (auto [slot, id] : pairs) {
        SCOPED_TRACE(testing::Message() << "slot " << slot << ", menu entry " << id);
        sh.app.requests = AppRequests{};
        run.click(slot);
        const AppRequests from_button = sh.app.requests;
        sh.app.requests = AppRequests{};
        ASSERT_TRUE(menu_action(sh.menus, sh.app, id));
        EXPECT_EQ(std::memcmp(&from_button, &sh.app.requests, sizeof(AppRequests)), 0);
        const AppRequests none{};
        EXPECT_NE(std::memcmp(&from_button, &none, sizeof(AppRequests)), 0);
    }
    sh.app.requests = AppRequests{};
    run.click(slot_play);
    EXPECT_EQ(sh.app.requests.play, 1);
    // A push button released away from it does nothing.
    sh.app.requests = AppRequests{};
    const BarControl& save = run.control(slot_save);
    const int sx = save.x, sy = save.y;
    ASSERT_TRUE(run.press(sx, sy));
    EXPECT_EQ(sh.bar.bar.controls[slot_save].pressed, 1);
    run.drag(sx + 200, sy);
    EXPECT_EQ(sh.bar.bar.controls[slot_save].pressed, 0);
    run.release();
    EXPECT_EQ(sh.app.requests.save, 0);
    sh.app.requests = AppRequests{};
    // Vision mode has no menu entry: the button flips the display's flag itself.
    run.click(slot_vision_mode);
    EXPECT_TRUE(sh.app.display.vision_mode);
    EXPECT_EQ(run.control(slot_vision_mode).pressed, 1);
    run.click(slot_vision_mode);
    EXPECT_FALSE(sh.app.display.vision_mode);
}

// The same drag through whole frames: the pointer frame hands the press to the bar and keeps
// the drag until the release.
TEST(ButtonBarShell, AKnobTurnsThroughTheFrameLoop)
{
    BarShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    const BarControl& c = run.control(knob_slot(knob_volume));
    const int cx = c.x, cy = c.y, r = c.radius;
    run.picture();  // with the time labels along the bar's top edge
    const double before = sh.knobs.value[knob_volume];
    const long long partial_before = sh.partial_presents;
    run.pointer(cx, cy - r / 2, SDL_BUTTON_LMASK);
    EXPECT_EQ(sh.input.mode, pointer_control);
    for (int i = 0; i <= 10; i++) {
        const double a = 0.1 * i;  // clockwise from the top, a radian in all
        run.pointer(cx + (int)std::lround(3 * r * std::sin(a)), cy - (int)std::lround(3 * r * std::cos(a)),
                    SDL_BUTTON_LMASK);
    }
    // Turning redraws only the knob and the status line, and leaves what a whole redraw draws.
    EXPECT_GT(sh.partial_presents, partial_before);
    const std::vector<uint32_t> partial = sh.screen.pixels;
    screen_draw(sh);
    EXPECT_TRUE(partial == sh.screen.pixels) << "the knob's redraw differs from a whole redraw";
    run.pointer(sh.pointer_x, sh.pointer_y, 0);
    EXPECT_EQ(sh.input.mode, pointer_idle);
    // A radian of the 1.5π travel is 60 dB × 1 / (1.5π) ≈ 12.7 dB.
    EXPECT_NEAR(sh.knobs.value[knob_volume] - before, 60.0 / (1.5 * pi), 0.5);
}

TEST(ButtonBarShell, ToolButtonsAreOneRadioGroupFollowingTheTool)
{
    BarShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    auto pressed_tools = [&] {
        std::vector<int> on;
        for (int t = 0; t < 7; t++)
            if (run.control(tool_slot(t)).pressed)
                on.push_back(t);
        return on;
    };
    EXPECT_EQ(pressed_tools(), std::vector<int>{tool_cursor});
    run.click(slot_rectangle);
    run.frames(1);
    EXPECT_EQ(sh.app.tool, tool_rectangle);
    EXPECT_EQ(pressed_tools(), std::vector<int>{tool_rectangle});
    EXPECT_TRUE(menu_find(sh.menus, "Rectangle Tool")->checked);
    EXPECT_FALSE(menu_find(sh.menus, "Cursor")->checked);
    // The current tool's button pressed again keeps the tool.
    run.click(slot_rectangle);
    run.frames(1);
    EXPECT_EQ(sh.app.tool, tool_rectangle);
    EXPECT_EQ(pressed_tools(), std::vector<int>{tool_rectangle});
    // The menu's choice moves the buttons with it; tool 7 has none.
    ASSERT_TRUE(menu_action(sh.menus, sh.app, 6060));
    run.frames(1);
    EXPECT_EQ(pressed_tools(), std::vector<int>{tool_brighten_spray});
    ASSERT_TRUE(menu_action(sh.menus, sh.app, 8110));
    run.frames(1);
    EXPECT_TRUE(pressed_tools().empty());
    // The modifiers show their flags whichever way they were flipped.
    run.click(slot_harmonics);
    run.frames(1);
    EXPECT_TRUE(sh.app.tools.harmonics_modifier);
    EXPECT_EQ(run.control(slot_harmonics).pressed, 1);
    ASSERT_TRUE(menu_action(sh.menus, sh.app, 6080));
    run.frames(1);
    EXPECT_EQ(run.control(slot_harmonics).pressed, 0);
}

TEST(ButtonBarShell, ToolKnobsStoreTheirPreferencesOnRelease)
{
    BarShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    run.grab(knob_slot(knob_spray_width), 0.0);
    run.circle(knob_slot(knob_spray_width), 0.0, 1.0);
    const double width = sh.knobs.value[knob_spray_width];
    EXPECT_FLOAT_EQ(sh.app.tools.width, (float)width);  // the brush follows while turning
    run.release();
    EXPECT_NEAR(pref_get_number(*sh.app.prefs, "Tool:Width", -1, " px"), width, 1e-3 * width);

    run.grab(knob_slot(knob_tool_intensity), 2.0);
    run.circle(knob_slot(knob_tool_intensity), 2.0, -0.7);
    const double intensity = sh.knobs.value[knob_tool_intensity];
    const double stored = pref_get_number(*sh.app.prefs, "Tool:Intensity", -1, "%");
    EXPECT_GT(std::fabs(stored - intensity * 100), 1.0);  // not before the release
    run.release();
    EXPECT_NEAR(pref_get_number(*sh.app.prefs, "Tool:Intensity", -1, "%"), intensity * 100, 1e-3);
}

TEST(ButtonBarShell, LosslessWithoutASoundShowsTheBoxAndStaysOff)
{
    BarShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    run.picture();
    run.click(slot_lossless);
    ASSERT_EQ(run.messages.size(), 1u);
    EXPECT_EQ(run.messages[0], "Lossless mode not turned on: Error: Lossless mode requires a sound file to be loaded "
                               "first\nSee the paragraph 'Limitations' in Section II. Lossless mode of the manual");
    EXPECT_FALSE(sh.app.project.lossless);
    run.frames(2);
    EXPECT_EQ(run.history().find("Synthesis"), std::string::npos);
}

TEST(ButtonBarShell, LosslessWithASoundRecordsTheKindAndTakesOneRow)
{
    TempDir dir;
    const int rate = 44100;
    std::vector<float> s((size_t)rate / 2);
    for (size_t i = 0; i < s.size(); i++)
        s[i] = 0.4f * (float)std::sin(2.0 * pi * 440.0 * (double)i / rate);
    const std::string path = dir.file("tone.wav");
    ASSERT_TRUE(save_sound_file(path, s.data(), s.size(), rate));
    BarShell run({path});
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    ASSERT_TRUE(run.frames_until_loaded());
    EXPECT_FALSE(run.control(slot_first_knob).top < 0);
    EXPECT_FALSE(sh.bar.bar.one_row);  // 1,200 px: two rows
    // A knob away from its default first, so that Default Values has something to record.
    sh.input.held.unlock = true;
    run.grab(knob_slot(knob_frequency_scale), 0.0);
    run.circle(knob_slot(knob_frequency_scale), 0.0, -2.0);
    run.release();
    sh.input.held.unlock = false;
    run.frames(2);
    ASSERT_LT(sh.app.project.scale_base, 2.0f);

    run.click(slot_lossless);
    EXPECT_TRUE(run.messages.empty()) << run.messages.front();
    EXPECT_TRUE(sh.app.project.lossless);
    EXPECT_FLOAT_EQ(sh.app.project.scale_base, 2.0f);  // Default Values came with it
    EXPECT_DOUBLE_EQ(sh.knobs.angle[knob_frequency_scale], knob_full_angle);
    run.frames(3);
    EXPECT_TRUE(sh.app.project.lossless);
    EXPECT_TRUE(run.messages.empty()) << run.messages.front();
    EXPECT_TRUE(run.control(slot_play).type == control_hover);
    EXPECT_TRUE(sh.bar.bar.one_row);
    // The analysis knobs are locked now; F unlocks them.
    const BarControl& time = run.control(knob_slot(knob_time_resolution));
    EXPECT_FALSE(run.press(time.x, time.y));
    run.click(slot_lossless);
    EXPECT_FALSE(sh.app.project.lossless);
    run.frames(2);
    // A picture of another size than the sound's analysis: the second box, and it stays off.
    Project& p = sh.app.project;
    const int columns = p.original_image_width;
    p.original_image_width = columns + 1;
    run.click(slot_lossless);
    p.original_image_width = columns;
    EXPECT_FALSE(p.lossless);
    ASSERT_EQ(run.messages.size(), 1u);
    EXPECT_EQ(run.messages[0].rfind("Lossless mode error: different image sizes: Error: Lossless mode is meant to work "
                                    "with an image of the same dimensions as the original sound's image\n",
                                    0),
              0u);
    const std::string h = run.history();
    EXPECT_EQ(h.find("Synthesis lossless"), h.rfind("Synthesis lossless"));  // recorded once
    const size_t on = h.find("Synthesis lossless\n");
    ASSERT_NE(on, std::string::npos);
    EXPECT_NE(h.find("Frequency scale 2", on), std::string::npos);
    EXPECT_NE(h.find(sh.app.project.live_synthesis ? "Synthesis live\n" : "Synthesis noise\n", on), std::string::npos);
}

TEST(ButtonBarShell, SynthesisWaitsForTheKnobsRelease)
{
    BarShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    run.picture();
    PlaybackState& pb = sh.app.playback;
    ASSERT_TRUE(pb.configured);
    const float resolution = sh.app.project.time_resolution;
    ASSERT_FLOAT_EQ(pb.time_resolution, resolution);
    const int slot = knob_slot(knob_time_resolution);
    run.grab(slot, 0.0);
    run.circle(slot, 0.0, -0.4);
    EXPECT_TRUE(bar_knob_dragging(sh));
    const double turned = sh.knobs.value[knob_time_resolution];
    ASSERT_GT(std::fabs(turned - resolution), 1.0);
    run.frames(5);
    EXPECT_FLOAT_EQ(pb.time_resolution, resolution);
    EXPECT_FLOAT_EQ(sh.app.project.time_resolution, resolution);
    run.release();
    EXPECT_FALSE(bar_knob_dragging(sh));
    run.frames(3);
    char line[64];
    snprintf(line, sizeof line, "Time resolution %g px/s", turned);
    EXPECT_NE(run.history().find(line), std::string::npos) << line;
    EXPECT_NEAR(sh.app.project.time_resolution, turned, 1e-4 * turned);
    EXPECT_FLOAT_EQ(pb.time_resolution, sh.app.project.time_resolution);

    // Gamma: the current layer's pixels change once, on release, through the recorded line.
    const float before = sh.app.project.layers[0].image[3][3];
    run.grab(knob_slot(knob_gamma), 0.0);
    run.circle(knob_slot(knob_gamma), 0.0, -0.5);
    const double gamma = sh.knobs.value[knob_gamma];
    run.frames(2);
    EXPECT_EQ(sh.app.project.layers[0].image[3][3], before);
    run.release();
    run.frames(2);
    EXPECT_NEAR(sh.app.project.layers[0].gamma, gamma, 1e-4 * gamma);
    EXPECT_NEAR(sh.app.project.layers[0].image[3][3], std::pow(0.25, gamma), 1e-3);
    snprintf(line, sizeof line, "Gamma %g\n", gamma);
    EXPECT_NE(run.history().find(line), std::string::npos) << line;
}

TEST(ButtonBarShell, KnobsFollowTheProjectSoAReleaseKeepsTheOtherBound)
{
    BarShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    run.picture();
    execute_archive_line(sh.app, "Frequency range 100 Hz - 8000 Hz", nullptr);
    run.frames(1);
    EXPECT_DOUBLE_EQ(sh.knobs.value[knob_min_frequency], 100.0);
    EXPECT_DOUBLE_EQ(sh.knobs.value[knob_max_frequency], 8000.0);
    run.grab(knob_slot(knob_min_frequency), 0.0);
    run.circle(knob_slot(knob_min_frequency), 0.0, 0.3);
    const double fmin = sh.knobs.value[knob_min_frequency];
    run.release();
    char line[96];
    snprintf(line, sizeof line, "Frequency range %g Hz - 8000 Hz", fmin);
    EXPECT_NE(run.history().find(line), std::string::npos) << line;
    EXPECT_FLOAT_EQ(sh.app.project.fmax, 8000.0f);
    // A minimum turned above the maximum is refused: nothing recorded, the knob goes back.
    const std::string before = run.history();
    run.grab(knob_slot(knob_min_frequency), 0.0);
    run.circle(knob_slot(knob_min_frequency), 0.0, 3.0);
    ASSERT_GT(sh.knobs.value[knob_min_frequency], 8000.0);
    run.release();
    EXPECT_EQ(run.history(), before);
    EXPECT_NEAR(sh.knobs.value[knob_min_frequency], sh.app.project.fmin, 1e-3);
}

TEST(ButtonBarShell, DrawsTheBarWithItsTexts)
{
    BarShell run({}, "1920x1080");
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    screen_draw(sh);
    ASSERT_TRUE(sh.bar.images.loaded);
    const BarControl& knob = run.control(knob_slot(knob_volume));
    const KnobGeometry g = knob_geometry(knob, sh.scale);
    // The knob picture is there: its centre differs from the panel around the cell.
    const uint32_t panel = sh.screen.pixels[(size_t)(knob.top + 1) * sh.width + knob.left + 1];
    const uint32_t face = sh.screen.pixels[(size_t)(g.image_y + g.image_size / 2) * sh.width + g.image_x + g.image_size / 2];
    EXPECT_NE(face, panel);
    // A pressed button looks different from a released one.
    const BarControl& cursor = run.control(slot_cursor);
    const BarControl& move = run.control(slot_move);
    const uint32_t on = sh.screen.pixels[(size_t)(cursor.top + 4) * sh.width + cursor.left + 4];
    const uint32_t off = sh.screen.pixels[(size_t)(move.top + 4) * sh.width + move.left + 4];
    EXPECT_NE(on, off);
    // Resting on FLIP explains it above the button.
    const BarControl& flip = run.control(slot_flip);
    const size_t above = (size_t)(flip.top - 6 * sh.scale) * sh.width + flip.x;
    const uint32_t plain = sh.screen.pixels[above];
    sh.pointer_x = flip.x;
    sh.pointer_y = flip.y;
    screen_draw(sh);
    EXPECT_NE(sh.screen.pixels[above], plain);
}

}  // namespace
