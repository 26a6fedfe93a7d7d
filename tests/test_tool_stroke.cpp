// Tool strokes driven headless through the pointer, as a user makes them: what the history
// records, that replaying it gives the same pixels, undo, cancelling, seeking and the menus.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <regex>
#include <sstream>

#include "app/display.h"
#include "app/layout.h"
#include "app/seek.h"
#include "app/shell.h"
#include "app/tool_stroke.h"
#include "app/view_coords.h"
#include "commands/history.h"
#include "layers/blend.h"
#include "layers/composite.h"
#include "media/sound_write.h"
#include "project/units.h"
#include "support/log.h"
#include "support/paths.h"
#include "testlib.h"

namespace {

std::string write_chord(const TempDir& dir)
{
    const int rate = 44100;
    std::vector<float> s((size_t)rate * 2, 0.0f);
    for (int i = 0; i < (int)s.size(); i++)
        s[(size_t)i] = 0.4f * std::sin(2.0 * M_PI * 440.0 * i / rate) + 0.2f * std::sin(2.0 * M_PI * 1320.0 * i / rate);
    std::string path = dir.file("chord.wav");
    EXPECT_TRUE(save_sound_file(path, s.data(), s.size(), rate));
    return path;
}

bool no(void*, const char*, const char*) { return false; }
void no_message(void*, const char*, const char*, int) {}

struct StrokeShell {
    TempDir data;
    std::unique_ptr<Shell> sh = std::make_unique<Shell>();
    bool started = false;
    explicit StrokeShell(std::vector<std::string> args = {})
    {
        setenv("SONOGRAPHICA_DATA_DIR", data.path.c_str(), 1);
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        setenv("SONOGRAPHICA_WINDOW_SIZE", "1000x700", 1);
        unsetenv("SONOGRAPHICA_SCRIPT");
        unsetenv("SONOGRAPHICA_EXIT_AFTER_FRAMES");
        data_folder_reset();
        sh->question = no;
        sh->message = no_message;
        args.insert(args.begin(), "sonographica");
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        started = shell_startup(*sh, (int)argv.size(), argv.data());
        sh->synthetic_pointer = true;
        sh->pointer_x = sh->pointer_y = -1000;
    }
    ~StrokeShell()
    {
        shell_shutdown(*sh);
        log_close();
        unsetenv("SONOGRAPHICA_WINDOW_SIZE");
    }
    template <class F>
    bool frames_until(F done)
    {
        for (int i = 0; i < 5000; i++) {
            if (done())
                return true;
            shell_frame(*sh);
        }
        return done();
    }
    bool loaded() { return sh->app.project.width > 0 && !sh->app.load.in_flight; }
    ScreenLayout layout() const
    {
        return screen_layout(sh->width, sh->height, sh->scale, sh->startup.waveform_height, sh->app.project.lossless);
    }
    // A screen position at fractions of the image area.
    int ax(float f) const { ScreenLayout l = layout(); return l.image_x + (int)(f * (l.image_width - 1)); }
    int ay(float f) const { ScreenLayout l = layout(); return l.image_y + (int)(f * (l.image_height - 1)); }
    void frame(int x, int y, unsigned buttons)
    {
        sh->pointer_x = x;
        sh->pointer_y = y;
        sh->pointer_buttons = buttons;
        shell_frame(*sh);
    }
    // A drag from (x0, y0) to (x1, y1) in `steps` frames, then the release.
    void drag(float x0, float y0, float x1, float y1, unsigned buttons = SDL_BUTTON_LMASK, int steps = 12)
    {
        for (int i = 0; i <= steps; i++) {
            float t = (float)i / steps;
            frame(ax(x0 + (x1 - x0) * t), ay(y0 + (y1 - y0) * t), buttons);
        }
        frame(ax(x1), ay(y1), 0);
        settle();
    }
    void choose_tool(int tool)
    {
        sh->app.requests.tool = tool + 1;
        frame(-1000, -1000, 0);
        ASSERT_EQ(sh->app.tool, tool);
    }
    // Every queued dab painted and the end of the stroke carried out.
    void settle()
    {
        spray_wait(sh->app.spray);
        frame(sh->pointer_x, sh->pointer_y, 0);
        frame(sh->pointer_x, sh->pointer_y, 0);
    }
    std::string history() { return read_text_file(data.file("history.sga")); }
};

std::vector<float> layer_pixels(const Project& p, int layer)
{
    std::vector<float> v;
    for (int r = 0; r < p.height; r++)
        v.insert(v.end(), p.layers[(size_t)layer].image[r], p.layers[(size_t)layer].image[r] + p.width);
    return v;
}

std::vector<float> composite_pixels(Project& p)
{
    composite_layers(p, false);
    std::vector<float> v;
    for (int r = 0; r < p.composite_height; r++)
        v.insert(v.end(), p.composite[r], p.composite[r] + p.composite_width);
    return v;
}

bool same_bits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

std::vector<std::string> lines_starting(const std::string& text, const std::string& prefix)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0)
            out.push_back(line);
    return out;
}

}  // namespace

// A whole session through the pointer: a spray on a fresh layer, rectangles darkening and
// lightening, a move, a rectangle cancelled with Escape, strokes in a zoomed view. The history
// holds the lines the tools record, and replaying it through Resume Last Session rebuilds every
// layer bit for bit.
TEST(ToolStroke, RecordedSessionReplaysBitForBit)
{
    TempDir sounds, keep;
    const std::string wav = write_chord(sounds);
    std::vector<std::vector<float>> layers;
    std::vector<float> composite;
    {
        StrokeShell run({wav});
        ASSERT_TRUE(run.started);
        ASSERT_TRUE(run.frames_until([&] { return run.loaded(); }));
        Shell& sh = *run.sh;
        Project& p = sh.app.project;
        sh.app.requests.new_layer = 1;
        run.frame(-1000, -1000, 0);
        ASSERT_EQ(p.current_layer, 1);
        ASSERT_FALSE(p.layers[1].centre_set);

        run.choose_tool(tool_white_paint_spray);
        run.drag(0.2f, 0.3f, 0.7f, 0.6f);
        EXPECT_TRUE(p.layers[1].centre_set);
        std::string text = run.history();
        const size_t centre = text.find("Central convolution point ");
        const size_t draw = text.find("Draw white spray");
        ASSERT_NE(centre, std::string::npos) << text;
        ASSERT_NE(draw, std::string::npos) << text;
        EXPECT_LT(centre, draw);
        EXPECT_TRUE(std::regex_search(text, std::regex("Central convolution point [-0-9.e]+ sec , [-0-9.e]+ Hz\n")))
            << text;
        const std::vector<float> painted = layer_pixels(p, 1);
        EXPECT_GT(*std::max_element(painted.begin(), painted.end()), 0.5f);

        run.choose_tool(tool_rectangle);
        run.drag(0.25f, 0.35f, 0.5f, 0.55f);                        // darken
        run.drag(0.55f, 0.4f, 0.8f, 0.7f, SDL_BUTTON_RMASK);         // lighten
        run.choose_tool(tool_move);
        run.drag(0.5f, 0.5f, 0.56f, 0.46f);

        // Escape halfway through a rectangle: the layer comes back and nothing is recorded.
        const std::vector<float> before_cancel = layer_pixels(p, 1);
        const std::string history_before_cancel = run.history();
        run.choose_tool(tool_rectangle);
        for (int i = 0; i < 6; i++)
            run.frame(run.ax(0.1f + 0.05f * i), run.ay(0.1f + 0.06f * i), SDL_BUTTON_LMASK);
        EXPECT_NE(layer_pixels(p, 1), before_cancel);  // the preview shows
        input_cancel(sh);
        run.frame(run.ax(0.5f), run.ay(0.5f), SDL_BUTTON_LMASK);
        run.frame(run.ax(0.5f), run.ay(0.5f), 0);
        run.settle();
        EXPECT_EQ(sh.input.mode, pointer_idle);
        EXPECT_TRUE(same_bits(layer_pixels(p, 1), before_cancel));
        EXPECT_EQ(run.history(), history_before_cancel);

        // Zoomed in: the strokes convert through the zoomed view.
        view_set_zoom(sh.app.view, p.width, p.height, 2.0f, 1.5f, p.width * 0.4f, p.height * 0.5f);
        run.frame(-1000, -1000, 0);
        run.choose_tool(tool_dark_spray);
        run.drag(0.1f, 0.2f, 0.9f, 0.8f, SDL_BUTTON_LMASK, 20);
        run.choose_tool(tool_rectangle);
        run.drag(0.6f, 0.1f, 0.3f, 0.9f);

        text = run.history();
        EXPECT_EQ(lines_starting(text, "Draw rectangle").size(), 3u) << text;
        const std::vector<std::string> intensities = lines_starting(text, "Intensity ");
        ASSERT_EQ(intensities.size(), 3u);
        EXPECT_EQ(intensities[0], "Intensity 0.75");
        EXPECT_EQ(intensities[1], "Intensity 1.33333");
        for (const char* prefix : {"Rectangle start ", "Rectangle end "})
            for (const std::string& line : lines_starting(text, prefix))
                EXPECT_TRUE(std::regex_match(line, std::regex(std::string(prefix) + "[-0-9.e]+ sec x [-0-9.e]+ Hz")))
                    << line;
        const std::vector<std::string> moves = lines_starting(text, "Move layer ");
        ASSERT_EQ(moves.size(), 1u);
        EXPECT_TRUE(std::regex_match(moves[0], std::regex("Move layer \\+[0-9.e]+ sec x \\+[0-9.e]+ st"))) << moves[0];
        EXPECT_EQ(lines_starting(text, "Draw dark spray").size(), 1u);
        // The centre was set by the first stroke on the layer only.
        EXPECT_EQ(lines_starting(text, "Central convolution point ").size(), 1u);

        for (int l = 0; l < (int)p.layers.size(); l++)
            layers.push_back(layer_pixels(p, l));
        composite = composite_pixels(p);
        ASSERT_EQ(run_command("cp '" + run.data.file("history.sga") + "' '" + keep.file("history.sga") + "'"), 0);
    }
    StrokeShell run;
    ASSERT_TRUE(run.started);
    ASSERT_EQ(run_command("cp '" + keep.file("history.sga") + "' '" + run.data.file("history.sga") + "'"), 0);
    run.sh->app.requests.resume_last_session = 1;
    ASSERT_TRUE(run.frames_until([&] { return run.loaded() && run.sh->app.project.layers.size() == layers.size(); }));
    Project& p = run.sh->app.project;
    ASSERT_EQ(p.layers.size(), layers.size());
    for (size_t l = 0; l < layers.size(); l++)
        EXPECT_TRUE(same_bits(layer_pixels(p, (int)l), layers[l])) << "layer " << l;
    EXPECT_TRUE(same_bits(composite_pixels(p), composite));
}

// A stroke takes one undo copy: Undo brings back the layer from before the whole stroke.
TEST(ToolStroke, UndoRevertsTheWholeStroke)
{
    TempDir sounds;
    StrokeShell run({write_chord(sounds)});
    ASSERT_TRUE(run.started);
    ASSERT_TRUE(run.frames_until([&] { return run.loaded(); }));
    Project& p = run.sh->app.project;
    run.choose_tool(tool_dark_spray);
    run.drag(0.2f, 0.5f, 0.4f, 0.5f);
    const std::vector<float> before = layer_pixels(p, 0);
    run.drag(0.1f, 0.2f, 0.9f, 0.6f, SDL_BUTTON_LMASK, 25);
    ASSERT_NE(layer_pixels(p, 0), before);
    run.sh->app.requests.undo = 1;
    run.frame(-1000, -1000, 0);
    EXPECT_TRUE(same_bits(layer_pixels(p, 0), before));
}

// While a spray paints, the composite is rebuilt for the columns it touched only; what that
// leaves is what a whole composite gives.
TEST(ToolStroke, PartialCompositeDuringAStrokeMatchesAFullOne)
{
    TempDir sounds;
    StrokeShell run({write_chord(sounds)});
    ASSERT_TRUE(run.started);
    ASSERT_TRUE(run.frames_until([&] { return run.loaded(); }));
    Shell& sh = *run.sh;
    Project& p = sh.app.project;
    sh.app.requests.new_layer = 1;
    run.frame(-1000, -1000, 0);
    run.sh->app.requests.blending = blend_maximum + 1;  // a pixel-by-pixel blend
    run.choose_tool(tool_white_paint_spray);
    for (int i = 0; i <= 10; i++)
        run.frame(run.ax(0.3f + 0.02f * i), run.ay(0.4f), SDL_BUTTON_LMASK);
    spray_wait(sh.app.spray);
    EXPECT_TRUE(sh.stroke_active);
    std::vector<float> during;
    {
        std::lock_guard<std::mutex> lock(p.image_lock);
        for (int r = 0; r < p.composite_height; r++)
            during.insert(during.end(), p.composite[r], p.composite[r] + p.composite_width);
    }
    // What the tool painted shows in the composite already, before the stroke ends.
    std::vector<float> full = composite_pixels(p);
    EXPECT_TRUE(same_bits(during, full));
    // And the display, redrawn column by column, shows what a whole rebuild shows.
    run.frame(run.ax(0.5f), run.ay(0.4f), SDL_BUTTON_LMASK);
    spray_wait(sh.app.spray);
    run.frame(run.ax(0.5f), run.ay(0.4f), SDL_BUTTON_LMASK);
    const ScreenLayout l = run.layout();
    Pixmap whole;
    display_rebuild(whole, l.image_width, l.image_height, sh.app, sh.gfx, true);
    EXPECT_EQ(whole.pixels, sh.display.pixels);
    run.frame(run.ax(0.5f), run.ay(0.4f), 0);
}

// The display's column update draws exactly what a rebuild draws while the visible maximum
// holds, and refuses (leaving the display alone) when a changed value exceeds it.
TEST(ToolStroke, DisplayColumnUpdateMatchesARebuild)
{
    TempDir sounds;
    StrokeShell run({write_chord(sounds)});
    ASSERT_TRUE(run.started);
    ASSERT_TRUE(run.frames_until([&] { return run.loaded(); }));
    Shell& sh = *run.sh;
    Project& p = sh.app.project;
    view_set_zoom(sh.app.view, p.width, p.height, 1.5f, 1.0f, p.width * 0.5f, 0.0f);
    const ScreenLayout l = run.layout();
    Pixmap display;
    const float m = display_rebuild(display, l.image_width, l.image_height, sh.app, sh.gfx, true);
    ASSERT_GT(m, 0.0f);
    const int first = sh.app.view.first_column + 7, last = first + 12;
    for (int r = 0; r < p.height; r++)
        for (int c = first; c <= last; c++)
            p.composite[r][c] *= 0.3f;
    const std::vector<uint32_t> before = display.pixels;
    ASSERT_TRUE(display_update_columns(display, l.image_width, l.image_height, sh.app, sh.gfx, first, last, m));
    EXPECT_NE(display.pixels, before);
    Pixmap whole;
    display_rebuild(whole, l.image_width, l.image_height, sh.app, sh.gfx, true);
    EXPECT_EQ(whole.pixels, display.pixels);

    // A value above the maximum changes every pixel's normalisation: the caller must rebuild.
    p.composite[p.height / 2][first + 3] = m * 2.0f;
    const std::vector<uint32_t> kept = display.pixels;
    EXPECT_FALSE(display_update_columns(display, l.image_width, l.image_height, sh.app, sh.gfx, first, last, m));
    EXPECT_EQ(display.pixels, kept);
    // Columns out of view change nothing and need nothing.
    EXPECT_TRUE(display_update_columns(display, l.image_width, l.image_height, sh.app, sh.gfx, 0,
                                       sh.app.view.first_column - 1, m));
    EXPECT_EQ(display.pixels, kept);
}

// With the note unit the vertical positions are note texts without a unit word: the centre
// line and the rectangle corners take the three-placeholder forms; they still replay.
TEST(ToolStroke, NoteUnitLinesUseTheShortForms)
{
    TempDir sounds;
    StrokeShell run({write_chord(sounds)});
    ASSERT_TRUE(run.started);
    ASSERT_TRUE(run.frames_until([&] { return run.loaded(); }));
    Shell& sh = *run.sh;
    Project& p = sh.app.project;
    sh.app.units.frequency_position = unit_note;
    sh.app.requests.new_layer = 1;
    run.frame(-1000, -1000, 0);
    run.choose_tool(tool_brighten_spray);
    run.drag(0.3f, 0.3f, 0.35f, 0.35f);
    run.choose_tool(tool_rectangle);
    record_line(sh.app, record_action, 1, nullptr, "Selected layer 0\n");
    ASSERT_EQ(p.current_layer, 0);
    const std::vector<float> before = layer_pixels(p, 0);
    run.drag(0.2f, 0.2f, 0.6f, 0.7f, SDL_BUTTON_RMASK);
    const std::string text = run.history();
    const std::vector<std::string> centre = lines_starting(text, "Central convolution point ");
    ASSERT_EQ(centre.size(), 1u) << text;
    EXPECT_TRUE(std::regex_match(centre[0], std::regex("Central convolution point [-0-9.e]+ sec , [A-G]#?-?[0-9]+[-+][0-9.]+")))
        << centre[0];
    const std::regex corner("Rectangle (start|end) [-0-9.e]+ sec x [A-G]#?-?[0-9]+[-+][0-9.]+");
    const std::vector<std::string> starts = lines_starting(text, "Rectangle start ");
    const std::vector<std::string> ends = lines_starting(text, "Rectangle end ");
    ASSERT_EQ(starts.size(), 1u);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_TRUE(std::regex_match(starts[0], corner)) << starts[0];
    EXPECT_TRUE(std::regex_match(ends[0], corner)) << ends[0];
    // The executed lines lightened the layer.
    const std::vector<float> after = layer_pixels(p, 0);
    int brighter = 0;
    for (size_t i = 0; i < after.size(); i++)
        brighter += after[i] > before[i];
    EXPECT_GT(brighter, 100);
}

// The rectangle's factor lines: 1 − intensity darkening, 1 / (1 − intensity) lightening,
// 100000 once the intensity is above 0.99999.
TEST(ToolStroke, RectangleIntensityLines)
{
    EXPECT_EQ(rectangle_intensity_line(0.25f, false), "Draw rectangle\nIntensity 0.75");
    EXPECT_EQ(rectangle_intensity_line(0.25f, true), "Draw rectangle\nIntensity 1.33333");
    EXPECT_EQ(rectangle_intensity_line(0.5f, true), "Draw rectangle\nIntensity 2");
    EXPECT_EQ(rectangle_intensity_line(0.999995f, true), "Draw rectangle\nIntensity 100000");
    EXPECT_EQ(rectangle_intensity_line(1.0f, true), "Draw rectangle\nIntensity 100000");
    EXPECT_EQ(rectangle_intensity_line(1.0f, false), "Draw rectangle\nIntensity 0");
    EXPECT_EQ(rectangle_intensity_line(0.99f, true), "Draw rectangle\nIntensity 100");
}

// Seeking with the Cursor tool: the block modes' sample formula, and the live column.
TEST(ToolStroke, SeekingInBlockAndLiveModes)
{
    // 1,000 columns all visible on 500 pixels: the middle pixel is column 499.5 of 1,000.
    EXPECT_EQ(seek_sample(441000, 1000, 0, 1000, 250.0f, 500), 220280);
    EXPECT_EQ(seek_sample(441000, 100, 300, 1000, 0.0f, 500), 132300);
    EXPECT_EQ(seek_sample(441000, 100, 900, 1000, 500.0f, 500), 441000 - 441);
    EXPECT_EQ(seek_sample(441000, 1000, 0, 1000, 5000.0f, 500), 441000);  // clamped to the sound
    EXPECT_EQ(seek_sample(0, 1000, 0, 1000, 10.0f, 500), 0);

    TempDir sounds;
    StrokeShell run({write_chord(sounds)});
    ASSERT_TRUE(run.started);
    ASSERT_TRUE(run.frames_until([&] { return run.loaded(); }));
    Shell& sh = *run.sh;
    PlaybackState& pb = sh.app.playback;
    run.choose_tool(tool_cursor);
    const ScreenLayout l = run.layout();

    // Live mode (the default): the live cursor jumps to the column under the pointer.
    ASSERT_TRUE(run.frames_until([&] { return sh.app.project.live_synthesis.load(); }));
    view_set_zoom(sh.app.view, sh.app.project.width, sh.app.project.height, 3.0f, 1.0f,
                  sh.app.project.width * 0.6f, 0.0f);
    pb.controls.jump_requested = false;
    const int x2 = run.ax(0.8f);
    run.frame(x2, run.ay(0.5f), SDL_BUTTON_LMASK);
    EXPECT_EQ(sh.input.mode, pointer_seek);
    const int column = view_column_at(sh.app.view, l, x2);
    EXPECT_GT(column, sh.app.project.width / 2);
    EXPECT_EQ(pb.controls.jump_target.load(), (double)column);
    run.frame(x2, run.ay(0.5f), 0);

    // Block mode: the sample of the formula.
    sh.app.requests.live_synthesis = 1;
    ASSERT_TRUE(run.frames_until([&] { return !pb.controls.live_synthesis.load() && pb.output_length.load() > 0; }));
    const long long total = pb.output_length.load();
    const int x = run.ax(0.8f);
    run.frame(x, run.ay(0.5f), SDL_BUTTON_LMASK);
    EXPECT_EQ(sh.input.mode, pointer_seek);
    const long long expected = seek_sample(total, sh.app.view.visible_columns, sh.app.view.first_column,
                                           sh.app.project.width, (float)(x - l.image_x), l.image_width);
    // The zoom kept 0.6 of the picture where it was: the view shows 0.4 to 0.73 of the sound.
    EXPECT_GT(expected, total * 6 / 10);
    EXPECT_LT(expected, total * 7 / 10);
    EXPECT_EQ(pb.play_position.load(), expected);
    run.frame(x, run.ay(0.5f), 0);
}

// A press that belongs to the menus (on the bar, or anywhere while a menu is open) never
// starts a stroke, and a stroke dragged over the bar opens no menu.
TEST(ToolStroke, MenuPressesNeverStartAStroke)
{
    TempDir sounds;
    StrokeShell run({write_chord(sounds)});
    ASSERT_TRUE(run.started);
    ASSERT_TRUE(run.frames_until([&] { return run.loaded(); }));
    Shell& sh = *run.sh;
    Project& p = sh.app.project;
    run.choose_tool(tool_rectangle);
    const std::vector<float> before = layer_pixels(p, 0);
    const std::string history = run.history();
    const int bar_y = 10 * sh.scale, title_x = sh.menus.menus[menu_view].x + 12 * sh.scale;
    run.frame(title_x, bar_y, 0);
    EXPECT_EQ(sh.input.mode, pointer_menu_hover);
    run.frame(title_x, bar_y, SDL_BUTTON_LMASK);
    EXPECT_EQ(sh.input.mode, pointer_menu);
    run.frame(title_x, bar_y, 0);
    ASSERT_EQ(sh.menus.open, menu_view);
    // A press on the picture beside the open menu closes it, and paints nothing.
    run.frame(run.ax(0.9f), run.ay(0.8f), 0);
    run.frame(run.ax(0.9f), run.ay(0.8f), SDL_BUTTON_LMASK);
    EXPECT_EQ(sh.input.mode, pointer_menu);
    EXPECT_FALSE(sh.stroke_active);
    run.frame(run.ax(0.6f), run.ay(0.5f), SDL_BUTTON_LMASK);
    run.frame(run.ax(0.6f), run.ay(0.5f), 0);
    EXPECT_EQ(sh.menus.open, -1);
    EXPECT_TRUE(same_bits(layer_pixels(p, 0), before));
    EXPECT_EQ(run.history(), history);

    // A stroke that passes over the bar stays a stroke.
    run.frame(run.ax(0.2f), run.ay(0.2f), SDL_BUTTON_LMASK);
    run.frame(title_x, bar_y, SDL_BUTTON_LMASK);
    EXPECT_EQ(sh.input.mode, pointer_tool);
    EXPECT_EQ(sh.menus.open, -1);
    run.frame(run.ax(0.4f), run.ay(0.4f), SDL_BUTTON_LMASK);
    run.frame(run.ax(0.4f), run.ay(0.4f), 0);
    EXPECT_EQ(sh.menus.open, -1);
    EXPECT_EQ(lines_starting(run.history(), "Draw rectangle").size(), 1u);
}

// The tools work in logical pixels: at interface scale 2 the pointer's screen position halved
// lands on the column and row the display shows under it, and the brush keeps its size on
// the screen.
TEST(ToolStroke, ToolViewFollowsTheLayoutAtScaleTwo)
{
    for (int scale : {1, 2}) {
        const ScreenLayout l = screen_layout(1600 * scale, 1000 * scale, scale, 55, false);
        App app;
        view_set(app.view, 6000, 571, 3.0f, 2.0f, 2500.0f, 300.0f);
        tool_view_from_layout(app, l, scale);
        const ToolView& v = app.tool_view;
        EXPECT_EQ(v.view_width * scale, (float)l.image_width);
        EXPECT_EQ(v.view_height * scale, (float)l.image_height);
        for (int k = 0; k <= 4; k++) {
            const int x = l.image_x + k * l.image_width / 4, y = l.image_y + k * l.image_height / 4;
            EXPECT_NEAR(tool_column_at(v, (float)x / scale), view_column_at_f(app.view, l, (float)x), 1e-3f);
            EXPECT_NEAR(tool_row_at(v, (float)y / scale), view_row_at_f(app.view, l, (float)y), 1e-3f);
        }
        EXPECT_FLOAT_EQ(tool_column_at(v, (float)l.image_x / scale), (float)app.view.first_column);
        EXPECT_FLOAT_EQ(tool_column_at(v, (float)(l.image_x + l.image_width) / scale),
                        (float)(app.view.first_column + app.view.visible_columns - 1));
    }
}

// A rectangle renders again only the blocks under it: playback keeps its place. Lightening by
// an intensity above 0.99 changes the whole sound's level, which synthesises everything again.
TEST(ToolStroke, RectangleResynthesisesItsBlocksOrEverything)
{
    TempDir sounds;
    StrokeShell run({write_chord(sounds)});
    ASSERT_TRUE(run.started);
    ASSERT_TRUE(run.frames_until([&] { return run.loaded(); }));
    Shell& sh = *run.sh;
    PlaybackState& pb = sh.app.playback;
    sh.app.requests.live_synthesis = 1;  // block synthesis
    ASSERT_TRUE(run.frames_until([&] { return !pb.controls.live_synthesis.load() && pb.output_length.load() > 0; }));
    run.choose_tool(tool_cursor);
    run.frame(run.ax(0.5f), run.ay(0.5f), SDL_BUTTON_LMASK);
    run.frame(run.ax(0.5f), run.ay(0.5f), 0);
    const long long position = pb.play_position.load();
    ASSERT_GT(position, 0);
    run.choose_tool(tool_rectangle);
    run.drag(0.1f, 0.2f, 0.3f, 0.6f);
    EXPECT_EQ(pb.play_position.load(), position);
    EXPECT_EQ(lines_starting(run.history(), "Draw rectangle").size(), 1u);

    sh.knobs.value[knob_tool_intensity] = 1.0;
    run.drag(0.1f, 0.2f, 0.3f, 0.6f, SDL_BUTTON_RMASK);
    EXPECT_EQ(lines_starting(run.history(), "Intensity 100000").size(), 1u);
    EXPECT_EQ(pb.play_position.load(), 0);
}

// The centre tool follows the pointer while held and records its line at the release; Escape
// puts the previous centre back and records nothing, as it does for a move.
TEST(ToolStroke, CentreToolAndEscapeFromAMove)
{
    TempDir sounds;
    StrokeShell run({write_chord(sounds)});
    ASSERT_TRUE(run.started);
    ASSERT_TRUE(run.frames_until([&] { return run.loaded(); }));
    Shell& sh = *run.sh;
    Project& p = sh.app.project;
    const Layer& layer = p.layers[0];
    const int x0 = layer.centre_x, y0 = layer.centre_y, set0 = layer.centre_set;
    const std::string history = run.history();
    run.choose_tool(tool_convolution_centre);
    run.frame(run.ax(0.7f), run.ay(0.3f), SDL_BUTTON_LMASK);
    run.frame(run.ax(0.8f), run.ay(0.4f), SDL_BUTTON_LMASK);
    EXPECT_EQ(layer.centre_x, view_column_at(sh.app.view, run.layout(), run.ax(0.8f)));
    input_cancel(sh);
    run.frame(run.ax(0.8f), run.ay(0.4f), 0);
    EXPECT_EQ(layer.centre_x, x0);
    EXPECT_EQ(layer.centre_y, y0);
    EXPECT_EQ(layer.centre_set, set0);
    EXPECT_EQ(run.history(), history);

    run.drag(0.6f, 0.5f, 0.25f, 0.75f);
    const std::vector<std::string> centre = lines_starting(run.history(), "Central convolution point ");
    ASSERT_EQ(centre.size(), 1u);
    EXPECT_EQ(layer.centre_set, 1);
    EXPECT_NEAR(layer.centre_x, view_column_at(sh.app.view, run.layout(), run.ax(0.25f)), 1);
    EXPECT_NEAR(layer.centre_y, view_row_at(sh.app.view, run.layout(), run.ay(0.75f)), 1);

    const std::vector<float> before = layer_pixels(p, 0);
    run.choose_tool(tool_move);
    for (int i = 0; i < 5; i++)
        run.frame(run.ax(0.4f + 0.04f * i), run.ay(0.5f - 0.03f * i), SDL_BUTTON_LMASK);
    EXPECT_EQ(sh.input.status.rfind("Moving by ", 0), 0u) << sh.input.status;
    EXPECT_NE(layer_pixels(p, 0), before);
    input_cancel(sh);
    run.frame(run.ax(0.5f), run.ay(0.5f), 0);
    EXPECT_TRUE(same_bits(layer_pixels(p, 0), before));
    EXPECT_NE(sh.input.status.rfind("Moving by ", 0), 0u) << sh.input.status;
    EXPECT_TRUE(lines_starting(run.history(), "Move layer").empty());
}
