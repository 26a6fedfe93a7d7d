// The dialogs driven through their frame functions with synthetic input.
#include <gtest/gtest.h>

#include <cmath>

#include "commands/app.h"
#include "commands/history.h"
#include "headless_shell.h"
#include "testlib.h"
#include "ui/dialog_layout.h"
#include "ui/new_project.h"
#include "ui/save_format.h"
#include "ui/volume_limiter.h"
#include "ui/open_import.h"
#include "ui/analysis_params.h"
#include "commands/import.h"
#include "media/sound_write.h"
#include "app/shell.h"
#include "media/file_names.h"
#include "support/log.h"
#include "support/prefs.h"
#include <memory>
#include "commands/archive_read.h"
#include "support/paths.h"

#include <stb/stb_image.h>
#include <sys/stat.h>

namespace {

struct DialogTest : ::testing::Test {
    TempDir dir;
    App app;
    WidgetContext ctx;
    void SetUp() override { app.history.path = dir.file("history.sga"); }
    std::string history() { return read_text_file(app.history.path); }

    void new_project_pass(NewProjectDialog& d, WidgetInput in = WidgetInput())
    {
        widgets_begin(ctx, std::move(in), Raster());
        new_project_frame(ctx, app, d, 1200, 800);
    }
    // Replaces the field's text as typed, Enter pressed when asked.
    void type_into(NewProjectDialog& d, TextField& f, const std::string& text, bool enter = false)
    {
        widgets_focus(ctx, &f);
        WidgetInput in;
        in.keys = {{wkey_select_all, 0}};
        new_project_pass(d, in);
        in.keys.clear();
        in.text = text;
        if (enter)
            in.keys = {{wkey_enter, 0}};
        new_project_pass(d, in);
    }
};

}  // namespace

TEST_F(DialogTest, NewProjectFieldsRecomputeEachOther)
{
    NewProjectDialog d;
    new_project_open(d, 859);
    new_project_pass(d);
    // Defaults: the width fits the image area, the rest from the analysis defaults.
    EXPECT_EQ(d.width.text, "800");
    EXPECT_EQ(d.seconds.text, "7.99");
    EXPECT_EQ(d.per_octave.text, "60");
    EXPECT_EQ(d.time_resolution.text, "100");
    EXPECT_EQ(d.fmin.text, "27.5");
    EXPECT_EQ(d.fmax.text, "20000");
    const int h = (int)std::lround((std::log2(20000.0) - std::log2(27.5)) * 60 + 1);
    EXPECT_EQ(d.height.text, std::to_string(h));
    EXPECT_EQ(d.time_radio, 16);
    EXPECT_EQ(d.pitch_radio, 36);
    // Seconds drive the width: round(s × r + 1); 0 seconds is one pixel.
    type_into(d, d.seconds, "2.5");
    EXPECT_EQ(d.width.text, "251");
    type_into(d, d.seconds, "0");
    EXPECT_EQ(d.width.text, "1");
    // Editing the width chooses the pixel radio; one pixel is 0 seconds.
    type_into(d, d.width, "1");
    EXPECT_EQ(d.time_radio, 12);
    EXPECT_EQ(d.seconds.text, "0");
    type_into(d, d.width, "401");
    EXPECT_EQ(d.seconds.text, "4");
    // A new time resolution follows the chosen radio (pixels stay, seconds follow).
    type_into(d, d.time_resolution, "50");
    EXPECT_EQ(d.width.text, "401");
    EXPECT_EQ(d.seconds.text, "8");
    // Height in pixels gives the pixels per octave; the frequency range moves the height.
    type_into(d, d.height, "121");
    EXPECT_EQ(d.pitch_radio, 32);
    EXPECT_NEAR(std::stod(d.per_octave.text), 120 / (std::log2(20000.0) - std::log2(27.5)), 1e-4);
    type_into(d, d.per_octave, "12");
    type_into(d, d.fmin, "55");
    type_into(d, d.fmax, "1760");
    EXPECT_EQ(d.height.text, "61");  // 5 octaves × 12 + 1
    // Nonsense in a field leaves the others alone.
    type_into(d, d.seconds, "abc");
    EXPECT_EQ(d.width.text, "401");
    // Load default values.
    widgets_focus(ctx, nullptr);
    d.first_frame = 0;
    new_project_load_defaults(d, app);
    EXPECT_EQ(d.width.text, "800");
    EXPECT_EQ(d.height.text, std::to_string(h));
}

TEST_F(DialogTest, NewProjectEnterInAFieldCreatesWithTheBlockOfLines)
{
    NewProjectDialog d;
    new_project_open(d, 400);
    new_project_pass(d);
    type_into(d, d.per_octave, "12");
    type_into(d, d.fmin, "55");
    type_into(d, d.fmax, "1760");
    type_into(d, d.width, "300", true);
    EXPECT_FALSE(d.open);
    EXPECT_FALSE(widgets_have_keyboard_focus(ctx));
    EXPECT_EQ(app.project.width, 300);
    EXPECT_EQ(app.project.height, 61);
    EXPECT_EQ(app.project.layers.size(), 1u);
    EXPECT_FLOAT_EQ(app.project.fmin, 55.0f);
    EXPECT_FLOAT_EQ(app.project.fmax, 1760.0f);
    const std::string h = history();
    const std::string block = "Title \" \"\nClear image\nFrequency range 55 Hz - 1760 Hz\nTime resolution 100 px/s\n"
                              "Dimensions 300 px x 61 px\nSynthesis noise\nNew layer \"Layer 0\"\n\n";
    EXPECT_NE(h.find(block), std::string::npos) << h;
    // With the seconds radio the dimensions are written in seconds as typed.
    new_project_open(d, 400);
    new_project_pass(d);
    type_into(d, d.seconds, "1.5");
    EXPECT_NE(new_project_lines(d, app).find("Dimensions 1.5 sec x "), std::string::npos);
    // Cancel closes and records nothing.
    const std::string before = history();
    const WidgetRect cancel = dialog_rect(dialog_resolve(dialog_new_project, d.window, 1), 51);
    const int x = cancel.x + cancel.w / 2, y = cancel.y + cancel.h / 2;
    WidgetInput press;
    press.pointer_x = x, press.pointer_y = y, press.left_down = press.left_pressed = true;
    new_project_pass(d, press);
    WidgetInput release;
    release.pointer_x = x, release.pointer_y = y, release.left_released = true;
    new_project_pass(d, release);
    EXPECT_FALSE(d.open);
    EXPECT_EQ(history(), before);
}

namespace {

std::string chooser_answer;
int chooser_asked = 0;
FileChooserRequest chooser_request;
bool answer_chooser(void*, const FileChooserRequest& r, std::string* path)
{
    chooser_asked++;
    chooser_request = r;
    *path = chooser_answer;
    return !chooser_answer.empty();
}

// Runs the save window until it closes or `frames` passed.
void save_frames(WidgetContext& ctx, App& app, SaveFormatDialog& d, FileChooser& c, int frames)
{
    for (int i = 0; i < frames && d.open; i++) {
        widgets_begin(ctx, WidgetInput(), Raster());
        save_format_frame(ctx, app, d, c, 1200, 800);
    }
}

}  // namespace

TEST_F(DialogTest, SaveAsPngWritesTheFileAndRecordsAComment)
{
    for (const char* line : {"Clear image", "Dimensions 40 px x 30 px", "New layer \"a\""})
        record_line(app, record_action, 1, nullptr, "%s", line);
    app.project.layers[0].image[10][20] = 1.0f;
    app.project.recomposite_needed = true;
    SaveFormatDialog d;
    FileChooser chooser;
    chooser.hook = answer_chooser;
    chooser_asked = 0;
    chooser_answer = dir.file("picture");  // the extension follows from the format
    save_format_open(d);
    d.chosen = 30 + save_png;
    save_format_proceed(d, chooser);
    save_frames(ctx, app, d, chooser, 1);
    EXPECT_EQ(chooser_asked, 0);  // not before two frames
    save_frames(ctx, app, d, chooser, 5);
    EXPECT_EQ(chooser_asked, 1);
    ASSERT_EQ(chooser_request.filters.size(), 1u);
    EXPECT_EQ(chooser_request.filters[0].name, "Image file, 8-bit (.PNG)");
    EXPECT_EQ(chooser_request.filters[0].patterns, "*.png");
    EXPECT_TRUE(chooser_request.save);
    EXPECT_FALSE(d.open);
    EXPECT_TRUE(d.saved);
    const std::string png = dir.file("picture.png");
    int w = 0, h = 0, n = 0;
    unsigned char* pixels = stbi_load(png.c_str(), &w, &h, &n, 3);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 30);
    EXPECT_GT(pixels[(10 * 40 + 20) * 3], 200);  // the bright pixel came through
    EXPECT_LT(pixels[0], 10);
    stbi_image_free(pixels);
    std::string out;
    if (run_command("command -v identify >/dev/null") == 0) {
        ASSERT_EQ(run_command("identify -format '%w %h %m' '" + png + "'", &out), 0);
        EXPECT_EQ(out, "40 30 PNG");
    }
    // Recorded as a comment that a replay does not act on.
    const std::string line = "// Save \"" + png + "\"";
    EXPECT_NE(history().find(line + "\n"), std::string::npos) << history();
    remove(png.c_str());
    execute_archive_line(app, line, nullptr);
    EXPECT_FALSE(file_exists(png));
}

TEST_F(DialogTest, SaveChooserCancelledKeepsTheWindowAndWritesNothing)
{
    record_line(app, record_action, 1, nullptr, "Clear image\nDimensions 8 px x 8 px\nNew layer \"a\"");
    const std::string before = history();
    SaveFormatDialog d;
    FileChooser chooser;
    chooser.hook = answer_chooser;
    chooser_answer = "";
    save_format_open(d);
    d.chosen = 30 + save_status;
    save_format_proceed(d, chooser);
    save_frames(ctx, app, d, chooser, 6);
    EXPECT_TRUE(d.open);
    EXPECT_FALSE(d.saved);
    EXPECT_EQ(history(), before);
    // A save that fails (a folder that does not exist) records nothing and says so.
    chooser_answer = dir.file("no/such/folder/x.png");
    d.chosen = 30 + save_png;
    save_format_proceed(d, chooser);
    save_frames(ctx, app, d, chooser, 6);
    EXPECT_TRUE(d.open);
    EXPECT_NE(d.failure.find("x.png could not be written"), std::string::npos) << d.failure;
    EXPECT_EQ(history(), before);
        // Another try with the history format copies the history itself.
    chooser_answer = dir.file("copy.sga");
    d.chosen = 30 + save_history;
    save_format_proceed(d, chooser);
    save_frames(ctx, app, d, chooser, 6);
    EXPECT_FALSE(d.open);
    EXPECT_EQ(read_text_file(dir.file("copy.sga")), history());
    EXPECT_EQ(chooser_request.filters[0].name, "Sonographica history file (.SGA)");
}

TEST(FileChooser, CommandsCarryTheFiltersInOrder)
{
    FileChooserRequest r;
    r.title = "Open";
    r.filters = {{"All supported image formats (TIFF, PNG, JPG, BMP...)", "*.bmp;*.png"}, {"All files", "*.*"}};
    const std::vector<std::string> z = file_chooser_command("zenity", r);
    ASSERT_GE(z.size(), 5u);
    EXPECT_EQ(z[0], "zenity");
    EXPECT_EQ(z[z.size() - 2], "--file-filter=All supported image formats (TIFF, PNG, JPG, BMP...) | *.bmp *.png");
    EXPECT_EQ(z.back(), "--file-filter=All files | *.*");
    r.save = true;
    const std::vector<std::string> k = file_chooser_command("kdialog", r);
    ASSERT_FALSE(k.empty());
    EXPECT_NE(std::find(k.begin(), k.end(), "--getsavefilename"), k.end());
    EXPECT_EQ(k.back(), "All supported image formats (TIFF, PNG, JPG, BMP...) (*.bmp *.png)\nAll files (*.*)");
}

TEST(FileChooser, TabCompletesFoldersAndNames)
{
    TempDir d;
    write_text_file(d.file("alpha_one.wav"), "x");
    write_text_file(d.file("alpha_two.wav"), "x");
    mkdir(d.file("beta").c_str(), 0755);
    EXPECT_EQ(complete_path(d.path + "/al"), d.path + "/alpha_");
    EXPECT_EQ(complete_path(d.path + "/alpha_t"), d.path + "/alpha_two.wav");
    EXPECT_EQ(complete_path(d.path + "/b"), d.path + "/beta/");
    EXPECT_EQ(complete_path(d.path + "/zz"), d.path + "/zz");
    EXPECT_EQ(complete_path(d.path + "/nowhere/x"), d.path + "/nowhere/x");
}

TEST(VolumeLimiter, GainCurveHoldsThenReleasesToUnity)
{
    LimiterState l;
    l.initialised = 1;
    limiter_set_threshold_db(l, -6.0);
    limiter_set_sustain(l, 0.5);
    limiter_set_release(l, 0.5);
    const std::vector<double> g = limiter_gain_curve(l, 1.0, 2.0, 201);  // one point per 10 ms
    ASSERT_EQ(g.size(), 201u);
    const double theta = std::pow(10.0, -6.0 / 20.0);
    EXPECT_NEAR(g[0], theta, 1e-6);   // the loud sample brought down to the threshold
    EXPECT_NEAR(g[30], theta, 1e-3);  // still held during the sustain
    EXPECT_NEAR(g[120], 1.0, 1e-3);   // released after sustain + release
    EXPECT_NEAR(g[200], 1.0, 1e-3);
    EXPECT_GT(g[75], theta + 0.05);   // half way through the release
    EXPECT_LT(g[75], 0.95);
    for (size_t i = 50; i < 110; i++)
        EXPECT_GE(g[i + 1], g[i] - 1e-6) << i;
    // A louder peak holds a smaller gain; a disabled limiter passes everything.
    EXPECT_NEAR(limiter_gain_curve(l, 4.0, 1.0, 3)[0], theta / 4.0, 1e-6);
    limiter_set_enabled(l, 0);
    for (double v : limiter_gain_curve(l, 1.0, 2.0, 11))
        EXPECT_EQ(v, 1.0);
}

TEST(VolumeLimiter, KnobsActAtOnceAndAreStoredWhenLetGo)
{
    TempDir dir;
    PrefStore store;
    write_text_file(dir.file("config.txt"), SONOGRAPHICA_PREF_TITLE "\n");
    pref_open(store, dir.file("config.txt"));
    LimiterState l;
    l.initialised = 1;
    VolumeLimiterDialog d;
    WidgetContext ctx;
    volume_limiter_open(d);
    auto frame = [&](WidgetInput in) {
        widgets_begin(ctx, std::move(in), Raster());
        volume_limiter_frame(ctx, d, l, &store, 1000, 700);
    };
    frame(WidgetInput());
    EXPECT_DOUBLE_EQ(knob_value(d.threshold), -6.0);
    // Threshold knob: the first of three columns below the checkbox.
    const ResolvedLayout placed = dialog_resolve(dialog_volume_limiter, d.window, 1);
    const WidgetRect threshold = dialog_rect(placed, 20);
    const int x = threshold.x + threshold.w / 2, y = threshold.y + threshold.h / 2;
    WidgetInput in;
    in.pointer_x = x, in.pointer_y = y, in.left_down = in.left_pressed = true;
    frame(in);
    in.left_pressed = false;
    in.pointer_y = y - 50;  // a quarter of the travel up: -6 + 0.25 × 42 dB
    frame(in);
    EXPECT_NEAR(l.threshold_db.load(), 4.5, 1e-9);
    EXPECT_NEAR(l.threshold.load(), std::pow(10.0, 4.5 / 20.0), 1e-9);
    EXPECT_NEAR(pref_get_number(store, "Audio output:Volume limiter:Threshold", 99, " dB"), 99, 1e-9);
    in.left_down = false, in.left_released = true;
    frame(in);
    EXPECT_NEAR(pref_get_number(store, "Audio output:Volume limiter:Threshold", 99, " dB"), 4.5, 1e-9);
    // The checkbox turns it off and stores that at once.
    const WidgetRect tick = dialog_rect(placed, 10);
    const int cx = tick.x + 5, cy = tick.y + tick.h / 2;
    WidgetInput click;
    click.pointer_x = cx, click.pointer_y = cy, click.left_down = click.left_pressed = true;
    frame(click);
    click.left_down = click.left_pressed = false, click.left_released = true;
    frame(click);
    EXPECT_EQ(l.enabled.load(), 0);
    EXPECT_EQ(pref_get_onoff(store, "Audio output:Volume limiter", 1), 0);
}

TEST(AudioOutputWindow, ClampsTheSampleRateAndBufferAndReopens)
{
    HeadlessShell run;
    ASSERT_TRUE(run.started);
    Shell* sh = run.sh.get();
    sh->app.requests.audio_output = 1;
    shell_frame(*sh);
    AudioOutputDialog& d = sh->ui.audio_output;
    ASSERT_TRUE(d.open);
    EXPECT_FALSE(d.drivers.items.empty());
    EXPECT_EQ(d.rate.text, std::to_string(sh->audio.sample_rate));
    text_field_set(d.rate, "1000000");
    text_field_set(d.buffer, "10");
    PrefStore& prefs = *sh->app.prefs;
    audio_output_apply(d, sh->audio, prefs);
    EXPECT_EQ(sh->audio.sample_rate, 384000);
    EXPECT_EQ(d.rate.text, "384000");
    EXPECT_EQ(sh->audio.buffer_length, 200);
    EXPECT_EQ(pref_get_number(prefs, "Audio output:Sample rate", 0, " Hz"), 384000);
    EXPECT_NE(d.message.find("relaunch"), std::string::npos) << d.message;
    // Nonsense in a field keeps the value in use.
    text_field_set(d.rate, "fast");
    text_field_set(d.buffer, "4096");
    audio_output_apply(d, sh->audio, prefs);
    EXPECT_EQ(sh->audio.sample_rate, 384000);
    EXPECT_EQ(sh->audio.buffer_length, 4096);
}

TEST_F(DialogTest, OpenImportShowsItsChoicesByRuleAndRecordsTheLoad)
{
    // Opening without a file asks the chooser at once, with the filters in order.
    OpenImportDialog d;
    FileChooser chooser;
    chooser.hook = answer_chooser;
    chooser_asked = 0;
    chooser_answer = dir.file("missing.png");
    open_import_open(d, "");
    auto frame = [&] {
        widgets_begin(ctx, WidgetInput(), Raster());
        open_import_frame(ctx, app, d, chooser, 1000, 700);
    };
    frame();
    frame();
    EXPECT_EQ(chooser_asked, 1);
    ASSERT_EQ(chooser_request.filters.size(), 5u);
    EXPECT_EQ(chooser_request.filters[1].name, "Sonographica Archive (SGA)");
    // Each filter's names go to the reader of their kind, and the sound filter names the
    // containers libsndfile and libopusfile read as well as our own.
    auto each_pattern = [](const std::string& patterns, auto check) {
        size_t start = 0;
        while (start < patterns.size()) {
            size_t end = patterns.find(';', start);
            if (end == std::string::npos)
                end = patterns.size();
            check(patterns.substr(start, end - start));
            start = end + 1;
        }
    };
    each_pattern(chooser_request.filters[2].patterns,
                 [](const std::string& p) { EXPECT_EQ(classify_file_name("x" + p.substr(1)), file_class_image) << p; });
    each_pattern(chooser_request.filters[3].patterns,
                 [](const std::string& p) { EXPECT_EQ(classify_file_name("x" + p.substr(1)), file_class_sound) << p; });
    for (const char* p : {"*.wav;", "*.opus;", "*.caf;", "*.au;", "*.w64;", "*.rf64;", "*.flac;"})
        EXPECT_NE(chooser_request.filters[3].patterns.find(p), std::string::npos) << p;
    for (const char* p : {"*.exr;", "*.webp;", "*.png;", "*.tif;"})
        EXPECT_NE(chooser_request.filters[2].patterns.find(p), std::string::npos) << p;
    EXPECT_EQ(chooser_request.filters[4].patterns, "*.*");
    EXPECT_FALSE(chooser_request.save);
    // A chosen file that does not exist is dropped; Load without a file does nothing.
    EXPECT_EQ(d.path, "");
    EXPECT_FALSE(open_import_load(d, app));
    EXPECT_TRUE(d.open);

    // A picture to import: the project saved as PNG.
    record_line(app, record_action, 1, nullptr, "Clear image\nDimensions 20 px x 10 px\nNew layer \"a\"");
    const std::string png = dir.file("layer.png");
    record_line(app, record_execute_only, 1, nullptr, "Save \"%s\"", png.c_str());
    ASSERT_TRUE(file_exists(png));
    write_text_file(dir.file("old.sga"), "Clear image\n");
    // No picture open: no New/Add choice.
    App empty;
    open_import_choose(d, png);
    EXPECT_EQ(d.path, png);
    EXPECT_FALSE(open_import_shows_target(d, empty));
    // A picture open: the choice, and the methods once "Add" is chosen; never for an archive.
    EXPECT_TRUE(open_import_shows_target(d, app));
    EXPECT_FALSE(open_import_shows_methods(d, app));
    d.target = 61;
    EXPECT_TRUE(open_import_shows_methods(d, app));
    open_import_choose(d, dir.file("old.sga"));
    EXPECT_FALSE(open_import_shows_target(d, app));
    EXPECT_FALSE(open_import_shows_methods(d, app));

    // Add with crop and extend: the Import line, the layer added once the loader finishes.
    open_import_choose(d, png);
    d.horizontal = 22;
    d.vertical = 34;
    ASSERT_TRUE(open_import_load(d, app));
    EXPECT_FALSE(d.open);
    finish_load(app);
    EXPECT_EQ(app.project.layers.size(), 2u);
    EXPECT_NE(history().find("Import \"" + png + "\" hcrop vextend\n"), std::string::npos) << history();
}

TEST_F(DialogTest, OpenImportOpensASoundAsANewProject)
{
    std::vector<float> tone(22050);
    for (size_t i = 0; i < tone.size(); i++)
        tone[i] = 0.5f * std::sin(2.0 * M_PI * 440.0 * (double)i / 44100.0);
    const std::string wav = dir.file("tone.wav");
    ASSERT_TRUE(save_sound_file(wav, tone.data(), tone.size(), 44100));
    OpenImportDialog d;
    open_import_open(d, wav);  // as a dropped file arrives
    EXPECT_EQ(d.path, wav);
    EXPECT_FALSE(d.ask_on_first_frame);
    ASSERT_TRUE(open_import_load(d, app));
    finish_load(app);
    EXPECT_GT(app.project.width, 0);
    EXPECT_EQ(app.current_file, wav);
    const std::string h = history();
    EXPECT_NE(h.find("Open \"" + wav + "\"\n"), std::string::npos) << h;
    EXPECT_LT(h.find("Analysis"), h.find("Open \""));
}

TEST_F(DialogTest, AnalysisParametersGoIntoTheProjectAndBecomeDefaults)
{
    PrefStore store;
    write_text_file(dir.file("config.txt"), SONOGRAPHICA_PREF_TITLE "\n");
    pref_open(store, dir.file("config.txt"));
    AnalysisParamsDialog d;
    analysis_params_fill(d, app, &store);
    EXPECT_EQ(d.fields[analysis_row_time].text, "100");
    EXPECT_EQ(d.fields[analysis_row_count].text, "20000");  // the range's maximum
    for (int r = 0; r < analysis_row_count; r++)
        EXPECT_EQ(d.use_default[r], 1) << r;
    // An edit goes into the project and unticks its row.
    text_field_set(d.fields[analysis_row_time], "50");
    analysis_params_edited(d, app, analysis_row_time);
    EXPECT_FLOAT_EQ(app.project.analysis_time_resolution, 50.0f);
    EXPECT_EQ(d.use_default[analysis_row_time], 0);
    text_field_set(d.fields[analysis_row_pitch], "2*30");  // still the default's value
    analysis_params_edited(d, app, analysis_row_pitch);
    EXPECT_EQ(d.use_default[analysis_row_pitch], 1);
    // Unusable values leave the project alone: an empty range, nothing, a negative.
    text_field_set(d.fields[0], "30000");
    analysis_params_edited(d, app, 0);
    EXPECT_FLOAT_EQ(app.project.analysis_fmin, 27.5f);
    EXPECT_EQ(d.use_default[analysis_row_frequency], 0);
    text_field_set(d.fields[analysis_row_transition], "-3");
    analysis_params_edited(d, app, analysis_row_transition);
    EXPECT_FLOAT_EQ(app.project.transition_time_resolution, 100.0f);
    // Ticking Default puts the default back, both ends of the range at once.
    analysis_params_use_default(d, app, analysis_row_frequency);
    EXPECT_EQ(d.fields[0].text, "27.5");
    EXPECT_EQ(d.use_default[analysis_row_frequency], 1);
    text_field_set(d.fields[0], "55");
    analysis_params_edited(d, app, 0);
    EXPECT_FLOAT_EQ(app.project.analysis_fmin, 55.0f);
    // Saved as the new defaults: the preferences hold the project's values, the label fades.
    analysis_params_save_defaults(d, app, store, 10.0);
    double lo = 0, hi = 0;
    pref_get_two_numbers(store, "Analysis:Frequency range", 0, " - ", 0, " Hz", &lo, &hi);
    EXPECT_EQ(lo, 55);
    EXPECT_EQ(hi, 20000);
    EXPECT_EQ(pref_get_number(store, "Analysis:Time resolution", 0, " pixels/second"), 50);
    EXPECT_EQ(d.use_default[analysis_row_time], 1);
    EXPECT_DOUBLE_EQ(analysis_params_saved_fade(d, 10.0), 1.0);
    EXPECT_NEAR(analysis_params_saved_fade(d, 10.1), 0.7, 1e-9);
    EXPECT_EQ(analysis_params_saved_fade(d, 10.5), 0.0);
    // Choosing a sound in the Open/Import window asks for these parameters.
    OpenImportDialog o;
    write_text_file(dir.file("s.wav"), "");
    open_import_choose(o, dir.file("s.wav"));
    EXPECT_TRUE(o.sound_chosen);
}
