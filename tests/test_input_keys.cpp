// The keyboard map, zoom, pan and the arrow keys of the desktop program, headless: keys fed to
// input_key_event directly or through SDL's event queue, a synthetic pointer, the frame loop
// run in-process on a small blank picture.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "app/input.h"
#include "app/input_keys.h"
#include "app/layout.h"
#include "app/pointer_scale.h"
#include "app/screen.h"
#include "app/shell.h"
#include "app/ui_input.h"
#include "app/view_coords.h"
#include "commands/archive_read.h"
#include "project/project_synthesis.h"
#include "support/log.h"
#include "support/paths.h"
#include "testlib.h"
#include "ui/menu.h"

namespace {

void no_message(void*, const char*, const char*, int) {}
bool no(void*, const char*, const char*) { return false; }

SDL_KeyboardEvent key_event(SDL_Keycode sym, Uint16 mod = 0, bool down = true, bool repeat = false)
{
    SDL_KeyboardEvent k = {};
    k.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    k.state = down ? SDL_PRESSED : SDL_RELEASED;
    k.repeat = repeat ? 1 : 0;
    k.keysym.sym = sym;
    k.keysym.mod = mod;
    return k;
}

bool same_requests(const AppRequests& a, const AppRequests& b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool no_requests(const AppRequests& a) { return same_requests(a, AppRequests()); }

// The program on a fresh data folder with a 400 × 200 blank picture of one layer.
struct KeysShell {
    TempDir data;
    std::unique_ptr<Shell> sh = std::make_unique<Shell>();
    bool started = false;
    KeysShell()
    {
        setenv("SONOGRAPHICA_DATA_DIR", data.path.c_str(), 1);
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        setenv("SONOGRAPHICA_WINDOW_SIZE", "1200x800", 1);
        unsetenv("SONOGRAPHICA_SCRIPT");
        unsetenv("SONOGRAPHICA_EXIT_AFTER_FRAMES");
        unsetenv("SONOGRAPHICA_SCALE");
        data_folder_reset();
        sh->question = no;
        sh->message = no_message;
        char name[] = "sonographica";
        char* argv[] = {name};
        started = shell_startup(*sh, 1, argv);
        sh->synthetic_pointer = true;
        sh->pointer_x = sh->pointer_y = -1000;
        if (!started)
            return;
        shell_frame(*sh);
        execute_archive_line(sh->app, "Dimensions 400 px x 200 px", nullptr);
        execute_archive_line(sh->app, "New layer \"a\"", nullptr);
        sh->app.requests.archive_line_executed = 1;
        frame();
    }
    ~KeysShell()
    {
        shell_shutdown(*sh);
        log_close();
        unsetenv("SONOGRAPHICA_WINDOW_SIZE");
    }
    void frame() { shell_frame(*sh); }
    void key(SDL_Keycode sym, Uint16 mod = 0) { input_key_event(*sh, key_event(sym, mod)); }
    void release(SDL_Keycode sym, Uint16 mod = 0) { input_key_event(*sh, key_event(sym, mod, false)); }
    // A key through SDL's queue, as the window delivers it, then a frame.
    void queued(SDL_Keycode sym, Uint16 mod = 0, bool down = true)
    {
        SDL_Event e = {};
        e.key = key_event(sym, mod, down);
        SDL_PushEvent(&e);
        frame();
    }
    ScreenLayout layout() const
    {
        return screen_layout(sh->width, sh->height, sh->scale, sh->startup.waveform_height, sh->app.project.lossless);
    }
    void pointer(int x, int y, unsigned buttons = 0)
    {
        sh->pointer_x = x;
        sh->pointer_y = y;
        sh->pointer_buttons = buttons;
    }
    // Block synthesis (live synthesis off), set up and settled, so that the position is samples.
    bool block_mode()
    {
        App& app = sh->app;
        if (app.project.live_synthesis)
            project_live_synthesis(app.playback, app.project, false, project_knobs(app.project));
        for (int i = 0; i < 200; i++) {
            frame();
            if (app.playback.configured && !app.playback.controls.live_synthesis &&
                app.playback.output_length.load() > 0 && app.project.content_changed == 0)
                return true;
        }
        return false;
    }
};

}  // namespace

TEST(InputKeys, EveryMappedKeyRaisesItsMenuEntrysRequest)
{
    KeysShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    struct Case {
        SDL_Keycode key;
        Uint16 mod;
        const char* label;     // the menu entry the key stands for
        const char* shortcut;  // what that entry shows
    };
    const Case cases[] = {
        {SDLK_c, 0, "Copy", "C"},
        {SDLK_d, 0, "Default Values", "D"},
        {SDLK_e, 0, "Erase Mask", "E"},
        {SDLK_j, 0, "Merge Down", "J"},
        {SDLK_k, 0, "Suspend Processing", "K"},
        {SDLK_n, 0, "New Layer", "N"},
        {SDLK_n, KMOD_LSHIFT, "New Layer", "N"},
        {SDLK_o, 0, "Open...", "O"},
        {SDLK_r, 0, "Reload", "R"},
        {SDLK_s, 0, "Save...", "S"},
        {SDLK_t, 0, "Turn Off Layer", "T"},
        {SDLK_u, 0, "Undo", "Ctrl+Z / U"},
        {SDLK_z, KMOD_LCTRL, "Undo", "Ctrl+Z / U"},
        {SDLK_z, KMOD_RCTRL, "Undo", "Ctrl+Z / U"},
        {SDLK_v, 0, "View Current Layer Only", "V"},
        {SDLK_v, KMOD_RSHIFT, "View Current Group Only", "Shift+V"},
        {SDLK_DELETE, 0, "Delete Layer", "Del"},
        {SDLK_SPACE, KMOD_LSHIFT, "Pause After Current Loop", "Shift+Space"},
        {SDLK_F4, KMOD_LALT, "Quit", "Alt+F4"},
        {SDLK_ESCAPE, 0, "Cursor", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        MenuEntry* entry = menu_find(sh.menus, c.label);
        ASSERT_NE(entry, nullptr);
        EXPECT_STREQ(entry->shortcut, c.shortcut);
        sh.app.requests = AppRequests();
        ASSERT_TRUE(menu_action(sh.menus, sh.app, entry->id));
        const AppRequests by_menu = sh.app.requests;
        sh.app.requests = AppRequests();
        run.key(c.key, c.mod);
        EXPECT_TRUE(same_requests(sh.app.requests, by_menu));
        EXPECT_FALSE(no_requests(sh.app.requests));
        // The release and a repeat of a held command key raise nothing more.
        sh.app.requests = AppRequests();
        run.release(c.key, c.mod);
        input_key_event(sh, key_event(c.key, c.mod, true, true));
        if (c.key != SDLK_ESCAPE) {
            EXPECT_TRUE(no_requests(sh.app.requests));
        }
    }
    // Space alone is the Play/Pause button.
    sh.app.requests = AppRequests();
    run.key(SDLK_SPACE);
    AppRequests play;
    play.play = 1;
    EXPECT_TRUE(same_requests(sh.app.requests, play));
    sh.app.requests = AppRequests();
    // Page Up and Down and the wheel become zoom steps, nothing else.
    run.key(SDLK_PAGEUP);
    run.key(SDLK_PAGEUP);
    run.key(SDLK_PAGEDOWN);
    EXPECT_EQ(sh.input.zoom_steps, 1);
    SDL_MouseWheelEvent wheel = {};
    wheel.type = SDL_MOUSEWHEEL;
    wheel.y = 3;
    input_wheel_event(sh, wheel);
    EXPECT_EQ(sh.input.zoom_steps, 4);
    wheel.direction = SDL_MOUSEWHEEL_FLIPPED;
    input_wheel_event(sh, wheel);
    EXPECT_EQ(sh.input.zoom_steps, 1);
    EXPECT_TRUE(no_requests(sh.app.requests));
    sh.input.zoom_steps = 0;
}

TEST(InputKeys, LettersWithCtrlDoNothingButZ)
{
    KeysShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    for (SDL_Keycode k = SDLK_a; k < SDLK_z; k++) {
        sh.app.requests = AppRequests();
        run.key(k, KMOD_LCTRL);
        EXPECT_TRUE(no_requests(sh.app.requests)) << (char)k;
        run.release(k, KMOD_LCTRL);
    }
    EXPECT_FALSE(sh.input.held.backwards || sh.input.held.unlock || sh.input.held.outline || sh.input.held.loop);
    // Z without Ctrl is nothing; with Ctrl it is Undo.
    run.key(SDLK_z);
    EXPECT_TRUE(no_requests(sh.app.requests));
    run.key(SDLK_z, KMOD_LCTRL);
    EXPECT_EQ(sh.app.requests.undo, 1);
    // F4 without Alt is nothing.
    sh.app.requests = AppRequests();
    run.key(SDLK_F4);
    EXPECT_TRUE(no_requests(sh.app.requests));
}

TEST(InputKeys, HeldKeysSetAndClearAndClearOnFocusLoss)
{
    KeysShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    const PlaybackControls& c = sh.app.playback.controls;
    struct Held {
        SDL_Keycode key;
        bool HeldKeys::*flag;
    };
    const Held held[] = {{SDLK_b, &HeldKeys::backwards}, {SDLK_f, &HeldKeys::unlock}, {SDLK_h, &HeldKeys::outline},
                         {SDLK_l, &HeldKeys::loop},      {SDLK_LEFT, &HeldKeys::left}, {SDLK_RIGHT, &HeldKeys::right},
                         {SDLK_END, &HeldKeys::end}};
    for (const Held& h : held) {
        run.key(h.key);
        EXPECT_TRUE(sh.input.held.*h.flag) << h.key;
        run.release(h.key);
        EXPECT_FALSE(sh.input.held.*h.flag) << h.key;
    }
    // The player reads B and L from its controls.
    run.key(SDLK_b);
    EXPECT_TRUE(c.reverse_key.load());
    run.release(SDLK_b);
    EXPECT_FALSE(c.reverse_key.load());
    // A held letter needs no Ctrl either.
    run.key(SDLK_l, KMOD_LCTRL);
    EXPECT_FALSE(sh.input.held.loop);
    // Modifiers: one Ctrl released while the other is held keeps Ctrl held.
    run.key(SDLK_LCTRL, KMOD_LCTRL);
    run.key(SDLK_RCTRL, KMOD_LCTRL | KMOD_RCTRL);
    run.release(SDLK_LCTRL, KMOD_RCTRL);
    EXPECT_TRUE(sh.input.held.ctrl);
    run.release(SDLK_RCTRL, KMOD_RCTRL);  // whether or not the event still names the key's own bit
    EXPECT_FALSE(sh.input.held.ctrl);
    run.key(SDLK_RSHIFT, KMOD_RSHIFT);
    EXPECT_TRUE(sh.input.held.shift);

    // Everything held is released when the window loses the keyboard focus.
    run.key(SDLK_l);
    run.key(SDLK_b);
    run.key(SDLK_END);
    run.key(SDLK_LEFT);
    ASSERT_TRUE(c.loop_key.load());
    SDL_Event e = {};
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    e.window.windowID = SDL_GetWindowID(sh.window);
    SDL_PushEvent(&e);
    run.frame();
    EXPECT_FALSE(sh.input.held.loop || sh.input.held.backwards || sh.input.held.end || sh.input.held.left ||
                 sh.input.held.shift);
    EXPECT_FALSE(c.loop_key.load());
    EXPECT_FALSE(c.reverse_key.load());

    // H held draws a painting tool's outline outside the picture too: in the button bar, the
    // pixels around the pointer change while it is held.
    sh.app.tool = tool_dark_spray;
    const ScreenLayout l = run.layout();
    const int px = l.image_x + l.image_width / 2, py = l.bar_y + l.bar_height / 2;
    run.pointer(px, py);
    run.frame();
    auto around_pointer = [&] {
        screen_draw(sh);
        std::vector<uint32_t> box;
        for (int y = py - 80; y <= py + 80; y++)
            for (int x = px - 80; x <= px + 80; x++)
                box.push_back(sh.screen.pixels[(size_t)y * (size_t)sh.screen.width + (size_t)x]);
        return box;
    };
    const std::vector<uint32_t> without = around_pointer();
    run.key(SDLK_h);
    EXPECT_NE(around_pointer(), without);
    run.release(SDLK_h);
    EXPECT_EQ(around_pointer(), without);
}

TEST(InputKeys, AFocusedTextFieldSwallowsShortcutsButNotReleases)
{
    KeysShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    // Through the queue without a field: N makes a layer, Delete removes it.
    run.queued(SDLK_n);
    ASSERT_EQ(sh.app.project.layers.size(), 2u);
    run.queued(SDLK_DELETE);
    ASSERT_EQ(sh.app.project.layers.size(), 1u);
    run.queued(SDLK_b);
    ASSERT_TRUE(sh.input.held.backwards);
    // The console's field has the focus: N and Delete are typing.
    run.queued(SDLK_F3);
    ASSERT_TRUE(sh.ui.console.visible);
    ASSERT_TRUE(widgets_have_keyboard_focus(sh.ui.ctx));
    run.queued(SDLK_n);
    run.queued(SDLK_DELETE);
    run.queued(SDLK_l);
    EXPECT_EQ(sh.app.project.layers.size(), 1u);
    EXPECT_FALSE(sh.input.held.loop);
    // B went down before the field took the keyboard; its release still counts.
    run.queued(SDLK_b, 0, false);
    EXPECT_FALSE(sh.input.held.backwards);
    EXPECT_FALSE(sh.app.playback.controls.reverse_key.load());
}

TEST(InputKeys, ZoomStepsStopAtTheWholePictureAndKeepThePointedPoint)
{
    KeysShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    ViewState& v = sh.app.view;
    ASSERT_EQ(v.visible_columns, 400);
    ASSERT_EQ(v.visible_rows, 200);
    const ViewState whole = v;
    // Page Down at zoom 1 changes nothing.
    run.key(SDLK_PAGEDOWN);
    run.frame();
    EXPECT_EQ(v.visible_columns, 400);
    EXPECT_EQ(v.first_column, 0);
    EXPECT_EQ(v.zoom_x, 1.0f);
    EXPECT_EQ(v.zoom_y, 1.0f);
    // Up and down again: the whole picture.
    run.key(SDLK_PAGEUP);
    run.frame();
    EXPECT_EQ(v.visible_columns, (int)std::floor(400 / std::sqrt(2.0f) + 0.5f));
    EXPECT_EQ(v.visible_rows, 200);  // no Shift: time only
    run.key(SDLK_PAGEDOWN);
    run.frame();
    EXPECT_EQ(v.zoom_x, 1.0f);
    EXPECT_EQ(v.visible_columns, 400);
    EXPECT_EQ(v.first_column, whole.first_column);
    EXPECT_EQ(v.visible_rows, 200);

    // Four steps in at a point near the left edge of the picture: that point stays under the
    // pointer (to within the rounding to whole columns), where zooming at the centre would
    // have moved it away by a quarter of the picture.
    const ScreenLayout l = run.layout();
    const int x = l.image_x + l.image_width / 8, y = l.image_y + l.image_height / 2;
    run.pointer(x, y);
    const float column = view_column_at_f(v, l, (float)x);
    for (int i = 0; i < 4; i++)
        run.key(SDLK_PAGEUP);
    run.frame();
    EXPECT_EQ(v.visible_columns, 100);
    EXPECT_EQ(v.visible_rows, 200);
    EXPECT_NEAR(view_column_at_f(v, l, (float)x), column, 1.5f);
    EXPECT_GT(v.first_column, 0);

    // Shift: the frequency axis only, anchored at the row under the pointer.
    const int y2 = l.image_y + l.image_height / 5;
    run.pointer(x, y2);
    const float row = view_row_at_f(v, l, (float)y2);
    const int columns_before = v.visible_columns, first_before = v.first_column;
    run.key(SDLK_LSHIFT, KMOD_LSHIFT);
    run.key(SDLK_PAGEUP, KMOD_LSHIFT);
    run.key(SDLK_PAGEUP, KMOD_LSHIFT);
    run.frame();
    EXPECT_EQ(v.visible_columns, columns_before);
    EXPECT_EQ(v.first_column, first_before);
    EXPECT_EQ(v.visible_rows, 100);
    EXPECT_NEAR(view_row_at_f(v, l, (float)y2), row, 1.5f);
    run.release(SDLK_LSHIFT, 0);

    // Ctrl: both axes; the wheel's notches are steps too.
    run.key(SDLK_LCTRL, KMOD_LCTRL);
    SDL_Event e = {};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.y = -2;
    SDL_PushEvent(&e);
    run.frame();
    EXPECT_EQ(v.visible_columns, 200);
    EXPECT_EQ(v.visible_rows, 200);
    run.release(SDLK_LCTRL, 0);

    // With the pointer outside the picture the view's centre holds still.
    run.pointer(5, l.bar_y + 5);
    const float centre = v.centre_x;
    run.key(SDLK_PAGEUP);
    run.frame();
    EXPECT_NEAR(v.centre_x, centre, 1.0f);
    EXPECT_LT(v.visible_columns, 200);
}

TEST(InputKeys, MiddleButtonOrEndPansVertically)
{
    KeysShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    ViewState& v = sh.app.view;
    const ScreenLayout l = run.layout();
    run.pointer(l.image_x + 10, l.image_y + l.image_height / 2);
    for (int i = 0; i < 4; i++)
        run.key(SDLK_PAGEUP, KMOD_LSHIFT);
    run.frame();
    ASSERT_EQ(v.visible_rows, 50);
    const float centre = v.centre_y;
    // The expected view for a pan of dy pixels from the remembered centre.
    auto expected_first_row = [&](float from, int dy) {
        ViewState w = v;
        view_set(w, 400, 200, w.zoom_x, w.zoom_y, w.centre_x,
                 from - (float)dy * (float)(v.visible_rows - 1) / (float)l.image_height);
        return w.first_row;
    };
    const int y0 = l.image_y + l.image_height / 2;
    run.pointer(l.image_x + 10, y0, SDL_BUTTON_MMASK);
    run.frame();
    EXPECT_TRUE(sh.input.panning);
    const int first = v.first_row;
    // Dragging down shows rows further up; the motion is scaled to the visible rows.
    run.pointer(l.image_x + 10, y0 + 120, SDL_BUTTON_MMASK);
    run.frame();
    EXPECT_EQ(v.first_row, expected_first_row(centre, 120));
    EXPECT_LT(v.first_row, first);
    run.pointer(l.image_x + 10, y0 - 80, SDL_BUTTON_MMASK);
    run.frame();
    EXPECT_EQ(v.first_row, expected_first_row(centre, -80));
    EXPECT_GT(v.first_row, first);
    run.pointer(l.image_x + 10, y0 - 80, 0);
    run.frame();
    EXPECT_FALSE(sh.input.panning);

    // End held does the same, from where the view now is.
    const float centre2 = v.centre_y;
    const int first2 = v.first_row;
    run.key(SDLK_END);
    run.frame();
    run.pointer(l.image_x + 10, y0, 0);
    run.frame();
    EXPECT_EQ(v.first_row, expected_first_row(centre2, 80));
    EXPECT_LT(v.first_row, first2);
    run.release(SDLK_END);
    run.frame();
    EXPECT_FALSE(sh.input.panning);
    // Without the pan the pointer's motion leaves the view alone.
    const int kept = v.first_row;
    run.pointer(l.image_x + 10, y0 + 150, 0);
    run.frame();
    EXPECT_EQ(v.first_row, kept);
}

TEST(InputKeys, ArrowKeysMoveThePlaybackPositionAndTheViewFollows)
{
    KeysShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    ASSERT_TRUE(run.block_mode());
    PlaybackState& pb = sh.app.playback;
    ViewState& v = sh.app.view;
    const long long n = pb.output_length.load();
    const float R = sh.app.project.time_resolution;
    run.pointer(-1000, -1000);
    for (int i = 0; i < 4; i++)
        run.key(SDLK_PAGEUP);
    run.frame();
    ASSERT_EQ(v.visible_columns, 100);
    ASSERT_EQ(v.first_column, 150);
    // Up: the last sample; the view scrolls to the end of the picture.
    run.key(SDLK_UP);
    EXPECT_EQ(pb.play_position.load(), n - 1);
    EXPECT_EQ(v.first_column, 300);
    // Left held for 12 frames: 0.001 × (visible columns - 1) columns a frame, in samples.
    const long long step = std::llround(0.001 * 99 / R * pb.sample_rate);
    ASSERT_GT(step, 0);
    run.key(SDLK_LEFT);
    for (int i = 0; i < 12; i++)
        run.frame();
    run.release(SDLK_LEFT);
    run.frame();
    EXPECT_EQ(pb.play_position.load(), n - 1 - 12 * step);
    EXPECT_EQ(v.first_column, 300);
    // From the first visible column, Left moves out of the view and the view follows.
    const long long at_first = (long long)std::ceil(300.0 * n / 400.0);
    playback_seek(pb, at_first);
    run.key(SDLK_LEFT);
    run.frame();
    run.frame();
    run.release(SDLK_LEFT);
    EXPECT_EQ(pb.play_position.load(), at_first - 2 * step);
    EXPECT_EQ(v.first_column, 299);
    EXPECT_EQ(v.visible_columns, 100);
    // Right moves forward by the same amount.
    run.key(SDLK_RIGHT);
    run.frame();
    run.release(SDLK_RIGHT);
    EXPECT_EQ(pb.play_position.load(), at_first - step);
    // Down: the first sample, the view at the start; Left there stays at 0.
    run.key(SDLK_DOWN);
    EXPECT_EQ(pb.play_position.load(), 0);
    EXPECT_EQ(v.first_column, 0);
    run.key(SDLK_LEFT);
    run.frame();
    run.release(SDLK_LEFT);
    EXPECT_EQ(pb.play_position.load(), 0);
}

TEST(InputKeys, DownAndUpInLiveModeJumpTheCursor)
{
    KeysShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    PlaybackState& pb = sh.app.playback;
    ASSERT_TRUE(pb.controls.live_synthesis.load());
    // The jump waits for the player or has been taken by it; either way it is the position.
    auto cursor = [&] {
        std::lock_guard<std::mutex> lock(pb.playback_lock);
        return pb.controls.jump_requested ? pb.controls.jump_target.load() : pb.live_position.load();
    };
    for (int i = 0; i < 4; i++)
        run.key(SDLK_PAGEUP);
    run.frame();
    run.key(SDLK_UP);
    EXPECT_EQ(cursor(), 399.0);
    EXPECT_EQ(sh.app.view.first_column, 300);
    run.key(SDLK_LEFT);
    run.frame();
    run.frame();
    run.release(SDLK_LEFT);
    EXPECT_NEAR(cursor(), 399.0 - 2 * 0.001 * 99, 1e-9);
    run.key(SDLK_DOWN);
    EXPECT_EQ(cursor(), 0.0);
    EXPECT_EQ(sh.app.view.first_column, 0);
}

TEST(InputKeys, EscapeChoosesTheCursorAndTheStatusLineFollowsTheTool)
{
    KeysShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    run.frame();
    EXPECT_EQ(sh.input.status, "Sonographica 1.11.2");
    ASSERT_TRUE(menu_action(sh.menus, sh.app, menu_find(sh.menus, "Rectangle Tool")->id));
    run.frame();
    ASSERT_EQ(sh.app.tool, tool_rectangle);
    // The next frame's status line is the tool's help, and the changed line is drawn.
    sh.interface_changed = false;
    input_navigation_frame(sh);
    EXPECT_TRUE(sh.interface_changed);
    EXPECT_TRUE(menu_find(sh.menus, "Rectangle Tool")->checked);
    EXPECT_FALSE(menu_find(sh.menus, "Cursor")->checked);
    EXPECT_EQ(sh.input.status,
              "Rectangle tool : Press the left mouse button to darken the area, the right button to lighten it");
    // Escape in the middle of a drag ends it and chooses the cursor.
    sh.input.mode = pointer_tool;
    run.queued(SDLK_ESCAPE);
    EXPECT_EQ(sh.input.mode, pointer_idle);
    EXPECT_EQ(sh.app.tool, tool_cursor);
    run.frame();
    EXPECT_EQ(sh.input.status, "Sonographica 1.11.2");
    int checked = 0;
    for (const char* label : {"Cursor", "Move Tool", "Dark Spray", "White Paint Spray", "Brighten Spray",
                              "Smart Erase", "Rectangle Tool", "Set Central Convolution Point"})
        checked += menu_find(sh.menus, label)->checked ? 1 : 0;
    EXPECT_EQ(checked, 1);
    EXPECT_TRUE(menu_find(sh.menus, "Cursor")->checked);

    // Each tool chosen from its menu entry shows its own help; the convolution point's too.
    ASSERT_TRUE(menu_action(sh.menus, sh.app, menu_find(sh.menus, "Set Central Convolution Point")->id));
    run.frame();
    run.frame();
    EXPECT_EQ(sh.input.status, "Set convolution centre : Click on the image to set the layer's convolution centre");
    EXPECT_TRUE(menu_find(sh.menus, "Set Central Convolution Point")->checked);
    EXPECT_FALSE(menu_find(sh.menus, "Cursor")->checked);
    EXPECT_STREQ(tool_help_text(tool_white_paint_spray),
                 "White paint spray tool : Press the left mouse button paint white, the right button to erase");
    EXPECT_STREQ(tool_help_text(tool_smart_erase),
                 "\"Road roller\" spray tool : Press the left mouse button to level/smart erase the area, the right "
                 "button to restore it");
    for (int a = tool_dark_spray; a <= tool_convolution_centre; a++)
        for (int b = a + 1; b <= tool_convolution_centre; b++)
            EXPECT_STRNE(tool_help_text(a), tool_help_text(b));
    EXPECT_STREQ(tool_help_text(99), "Sonographica 1.11.2");
}

TEST(InputKeys, HarmonicsAndMagnetFlipTheSprayFlagsAndTheirMarks)
{
    KeysShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    for (int pass = 0; pass < 2; pass++) {
        const bool on = pass == 0;
        menu_action(sh.menus, sh.app, menu_find(sh.menus, "Harmonics Modifier")->id);
        run.frame();
        EXPECT_EQ(sh.app.tools.harmonics_modifier, on);
        EXPECT_EQ(menu_find(sh.menus, "Harmonics Modifier")->checked, on);
        EXPECT_EQ(sh.app.tools.magnet_modifier, !on);  // each entry flips its own flag only
        menu_action(sh.menus, sh.app, menu_find(sh.menus, "Magnet Modifier")->id);
        run.frame();
        EXPECT_EQ(sh.app.tools.magnet_modifier, on);
        EXPECT_EQ(menu_find(sh.menus, "Magnet Modifier")->checked, on);
    }
}

TEST(InputKeys, PointerPositionsBecomeScreenPixelsOnADenseDesktop)
{
    EXPECT_EQ(window_to_screen(0, 600, 1200), 0);
    EXPECT_EQ(window_to_screen(10, 600, 1200), 20);
    EXPECT_EQ(window_to_screen(599, 600, 1200), 1198);
    EXPECT_EQ(window_to_screen(37, 800, 800), 37);
    EXPECT_EQ(window_to_screen(37, 0, 800), 37);
    EXPECT_EQ(window_to_screen(-5, 600, 1200), -10);

    // A button event of the widgets lands where the buffer has twice the window's pixels.
    KeysShell run;
    ASSERT_TRUE(run.started);
    Shell& sh = *run.sh;
    int w = 0, h = 0;
    SDL_GetWindowSize(sh.window, &w, &h);
    ASSERT_EQ(w, sh.width);
    const int width = sh.width, height = sh.height;
    sh.width = 2 * w;
    sh.height = 2 * h;
    SDL_Event e = {};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.x = 300;
    e.button.y = 250;
    ui_event(sh, e);
    EXPECT_EQ(sh.ui.pending.pointer_x, 600);
    EXPECT_EQ(sh.ui.pending.pointer_y, 500);
    int x = 100, y = 40;
    pointer_to_screen(sh, &x, &y);
    EXPECT_EQ(x, 200);
    EXPECT_EQ(y, 80);
    sh.width = width;
    sh.height = height;
    sh.ui.pending = WidgetInput();
}
