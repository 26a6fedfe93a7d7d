// The spectrogram view: the view over the picture, the display image, the axes and the
// overlays, drawn into a screen buffer without a window.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>

#include "app/axes.h"
#include "app/display.h"
#include "app/shell.h"
#include "app/view_coords.h"
#include "app/view_draw.h"
#include "app/view_texts.h"
#include "app/waveform.h"
#include "engine/image.h"
#include "project/units.h"
#include "support/palette_entries.h"

namespace {

ViewState whole(int width, int height)
{
    ViewState v;
    view_reset(v, width, height);
    return v;
}

std::vector<const float*> rows_of(const std::vector<std::vector<float>>& image)
{
    std::vector<const float*> rows;
    for (const auto& r : image)
        rows.push_back(r.data());
    return rows;
}

uint32_t grey(int g)
{
    return 0xFF000000u | (uint32_t)g << 16 | (uint32_t)g << 8 | (uint32_t)g;
}

}  // namespace

TEST(View, ZoomIsClampedToWholePixelsAndStaysInside)
{
    ViewState v;
    view_set(v, 1000, 100, 3.0f, 0.25f, 5000.0f, -7.0f);
    EXPECT_EQ(v.visible_columns, 333);  // floor(1000 / 3 + 0.5)
    EXPECT_FLOAT_EQ(v.zoom_x, 1000.0f / 333.0f);
    EXPECT_EQ(v.first_column, 1000 - 333);  // pushed back from the right edge
    EXPECT_EQ(v.visible_rows, 100);
    EXPECT_FLOAT_EQ(v.zoom_y, 1.0f);
    EXPECT_EQ(v.first_row, 0);

    // At least 10 visible pixels however far one zooms; a narrow picture shows whole.
    view_set(v, 1000, 8, 1e6f, 1e6f, 500.0f, 4.0f);
    EXPECT_EQ(v.visible_columns, 10);
    EXPECT_EQ(v.visible_rows, 8);

    // Zooming out at zoom 1 changes nothing.
    ViewState w = whole(600, 571);
    const ViewState before = w;
    view_set_zoom(w, 600, 571, 0.5f, 0.5f, 100.0f, 50.0f);
    EXPECT_EQ(w.first_column, before.first_column);
    EXPECT_EQ(w.visible_columns, before.visible_columns);
    EXPECT_EQ(w.first_row, before.first_row);
    EXPECT_EQ(w.visible_rows, before.visible_rows);
    EXPECT_FLOAT_EQ(w.zoom_x, 1.0f);
}

TEST(View, WindowPositionsMapToTheColumnsTheDisplayShows)
{
    ScreenLayout l = screen_layout(1000, 800, 1, 55, false);
    ViewState v;
    view_set(v, 5000, 300, 4.0f, 2.0f, 2600.0f, 100.0f);
    // A picture whose pixel values are their column numbers: the fast display's pixel at each
    // window column has the value of the column view_column_at names there.
    std::vector<std::vector<float>> image(300, std::vector<float>(5000));
    for (auto& r : image)
        for (int c = 0; c < 5000; c++)
            r[(size_t)c] = (float)c;
    std::vector<const float*> rows = rows_of(image);
    DisplayLook look;
    Pixmap out;
    display_render(out, l.image_width, l.image_height, rows, 5000, v, look);
    const float m = (float)(v.first_column + v.visible_columns - 1);
    for (int x = l.image_x; x < l.image_x + l.image_width; x += 37) {
        const int c = view_column_at(v, l, x);
        const int g = std::min(255, (int)std::floor(std::sqrt(c / m) * 255.0f + 0.5f));
        EXPECT_EQ(out.pixels[(size_t)(x - l.image_x)], grey(g)) << x;
        EXPECT_NEAR(view_x_of(v, l, view_column_at_f(v, l, (float)x)), (float)x, 1e-2f);
    }
    // Outside the image area the integer forms clamp into the visible block.
    EXPECT_EQ(view_column_at(v, l, -50), v.first_column);
    EXPECT_EQ(view_column_at(v, l, 5000), v.first_column + v.visible_columns - 1);
    EXPECT_EQ(view_row_at(v, l, 0), v.first_row);
    EXPECT_EQ(view_row_at(v, l, l.image_y + l.image_height), v.first_row + v.visible_rows - 1);
}

TEST(Display, GreyLevelsAreNormalisedToTheVisibleMaximumWithGamma2)
{
    // Five columns on eight pixels: pixels 0, 2, 3, 6 and 7 show columns 0 to 4 (round half to
    // even), so each value is seen once.
    std::vector<std::vector<float>> image = {{0.25f, 1.0f, 4.0f, -3.0f, NAN}};
    std::vector<const float*> rows = rows_of(image);
    Pixmap out;
    display_render(out, 8, 1, rows, 5, whole(5, 1), DisplayLook{});
    EXPECT_EQ(out.pixels[0], grey(64));    // m = 4: sqrt(1/16) * 255 = 63.75
    EXPECT_EQ(out.pixels[2], grey(128));   // 127.5 rounds up
    EXPECT_EQ(out.pixels[3], grey(255));
    EXPECT_EQ(out.pixels[6], grey(0));     // negative values are silence
    EXPECT_EQ(out.pixels[7], grey(0));     // so is a NaN, which does not become the maximum

    // Zoomed in on the quieter half, the levels are normalised to what is visible.
    std::vector<std::vector<float>> halves = {std::vector<float>(20, 1.0f)};
    for (int c = 10; c < 20; c++)
        halves[0][(size_t)c] = 4.0f;
    rows = rows_of(halves);
    ViewState part;
    view_set(part, 20, 1, 2.0f, 1.0f, 5.0f, 0.0f);
    ASSERT_EQ(part.first_column, 0);
    ASSERT_EQ(part.visible_columns, 10);
    for (bool smooth : {false, true}) {
        DisplayLook look;
        look.smooth = smooth;
        display_render(out, 30, 1, rows, 20, part, look);
        for (uint32_t p : out.pixels)
            EXPECT_EQ(p, grey(255)) << smooth;
    }

    // An all-zero picture is black, without dividing by zero, in both resamplers.
    std::vector<std::vector<float>> zero(50, std::vector<float>(80, 0.0f));
    rows = rows_of(zero);
    for (bool smooth : {false, true}) {
        DisplayLook look;
        look.smooth = smooth;
        display_render(out, 33, 21, rows, 80, whole(80, 50), look);
        for (uint32_t p : out.pixels)
            ASSERT_EQ(p, 0xFF000000u);
    }
}

TEST(Display, VisionModeTakesTheGradientEntry)
{
    Pixmap gradient = pixmap_create(10, 1);
    for (int i = 0; i < 10; i++)
        gradient.pixels[(size_t)i] = 0xFF000000u | (uint32_t)(i * 20);
    std::vector<std::vector<float>> image = {{0.0f, 0.04f, 0.25f, 1.0f, 0.0f}};
    std::vector<const float*> rows = rows_of(image);
    DisplayLook look;
    look.gradient = &gradient;
    Pixmap out;
    display_render(out, 8, 1, rows, 5, whole(5, 1), look);
    EXPECT_EQ(out.pixels[0], gradient.pixels[0]);
    EXPECT_EQ(out.pixels[2], gradient.pixels[2]);  // floor(10 * 0.2)
    EXPECT_EQ(out.pixels[3], gradient.pixels[5]);  // floor(10 * 0.5)
    EXPECT_EQ(out.pixels[6], gradient.pixels[9]);  // 10 clamps to the last entry
}

TEST(Display, RowsWithoutDataShowTheSeparatorColourAcrossTheWidth)
{
    std::vector<std::vector<float>> image(40, std::vector<float>(300, 1.0f));
    std::vector<const float*> rows = rows_of(image);
    for (int r = 10; r < 20; r++)
        rows[(size_t)r] = nullptr;
    const uint32_t separator = 0xFF336699u;
    for (bool smooth : {false, true}) {
        DisplayLook look;
        look.smooth = smooth;
        look.separator_colour = separator;
        Pixmap out;
        display_render(out, 150, 80, rows, 300, whole(300, 40), look);
        // Output rows 20 to 39 show source rows 10 to 19.
        for (int y = 22; y < 38; y++)
            for (int x = 0; x < 150; x++)
                ASSERT_EQ(out.pixels[(size_t)y * 150 + (size_t)x], separator) << smooth << " " << y;
        // Rows with data keep their level: no separator bleeds into the smooth average.
        for (int y : {0, 10, 18, 42, 60, 79})
            EXPECT_EQ(out.pixels[(size_t)y * 150 + 75], grey(255)) << smooth << " " << y;
    }
}

TEST(Display, SmoothAveragesWhatTheFastMethodSkips)
{
    // Alternating full and empty columns: fast keeps single columns, smooth shows their mean.
    std::vector<std::vector<float>> image(4, std::vector<float>(400));
    for (auto& r : image)
        for (int c = 0; c < 400; c++)
            r[(size_t)c] = (c % 2) ? 1.0f : 0.0f;
    std::vector<const float*> rows = rows_of(image);
    DisplayLook look;
    look.smooth = true;
    Pixmap out;
    display_render(out, 100, 4, rows, 400, whole(400, 4), look);
    for (int x = 1; x < 99; x++)  // away from the edges the tent covers both phases equally
        EXPECT_EQ(out.pixels[(size_t)x], grey(180)) << x;  // sqrt(0.5) * 255 = 180.3

    // The choice of resampler.
    DisplayToggles t;
    EXPECT_TRUE(display_smooth(1999, false, t));
    EXPECT_FALSE(display_smooth(2000, false, t));
    EXPECT_FALSE(display_smooth(100, true, t));
    t.force_fast_display = true;
    EXPECT_FALSE(display_smooth(100, false, t));
    t.force_fast_display = false;
    t.force_smooth_display = true;
    EXPECT_TRUE(display_smooth(60000, true, t));
}

TEST(Axes, FrequencyLabelsIncludeTheEndsAndNeverOverlap)
{
    for (float base : {1.0f, 2.0f}) {
        for (int height : {400, 1000}) {
            ScreenLayout l = screen_layout(1400, height, 1, 55, false);
            FrequencyScale s;
            s.base = base;
            s.rows = 571;
            ViewState v = whole(2000, 571);
            const int h = 14;
            std::vector<AxisLabel> labels = frequency_axis_labels(v, l, s, h);
            ASSERT_GE(labels.size(), 3u);
            EXPECT_EQ(labels[0].text, "20.000 kHz \x97");
            EXPECT_EQ(labels[0].position, l.image_y);
            EXPECT_EQ(labels[1].text, "27.5 Hz \x97");
            EXPECT_EQ(labels[1].position, l.image_y + l.image_height - 1);
            std::vector<int> positions;
            for (const AxisLabel& a : labels)
                positions.push_back(a.position);
            std::sort(positions.begin(), positions.end());
            for (size_t i = 1; i < positions.size(); i++)
                EXPECT_GE(positions[i] - positions[i - 1], h) << base << " " << height;
            // Each label sits at its frequency's row.
            for (size_t i = 2; i < labels.size(); i++) {
                const double hz = std::atof(labels[i].text.c_str()) *
                                  (labels[i].text.find("kHz") != std::string::npos ? 1000.0 : 1.0);
                const float y = view_y_of(v, l, row_of_frequency(s, (float)hz));
                EXPECT_NEAR(labels[i].position, y, 1.0f) << labels[i].text;
            }
        }
    }
    EXPECT_EQ(frequency_label_text(55.0, 3), "55.0 Hz \x97");
    EXPECT_EQ(frequency_label_text(440.0, 3), "440 Hz \x97");
    EXPECT_EQ(frequency_label_text(1500.0, 0), "2 kHz \x97");
    EXPECT_EQ(frequency_label_text(1500.0, 2), "1.50 kHz \x97");
}

TEST(Axes, TimeLabelsFormatAndKeepTheirColumns)
{
    EXPECT_EQ(time_label_text(5.5, true), "5\"500");
    EXPECT_EQ(time_label_text(125.25, true), "2'05\"250");
    EXPECT_EQ(time_label_text(3725.0, true), "1:02'05\"000");
    EXPECT_EQ(time_label_text(1.9999, true), "1\"999");  // never "1000" milliseconds
    EXPECT_EQ(time_label_text(30.0, false), "30\"");
    EXPECT_EQ(time_label_text(90.0, false), "1'30\"");
    EXPECT_EQ(time_label_text(7200.0, false), "2:00'00\"");

    ScreenLayout l = screen_layout(1920, 1080, 1, 55, false);
    for (int columns : {60000, 3000, 50}) {
        ViewState v = whole(columns, 571);
        std::vector<AxisLabel> labels = time_axis_labels(v, l, 1920, 1, 100.0f);
        ASSERT_GE(labels.size(), 2u);
        EXPECT_EQ(labels[0].position, 121);
        EXPECT_EQ(labels[0].text, "0\"000");
        EXPECT_EQ(labels[1].position, 1920 - 60);
        EXPECT_LE((int)labels.size() - 2, (1920 - 180) / 96);
        EXPECT_GT(labels.size(), 4u) << columns;
        std::vector<int> x;
        for (const AxisLabel& a : labels)
            x.push_back(a.position);
        std::sort(x.begin(), x.end());
        for (size_t i = 1; i < x.size(); i++)
            EXPECT_GE(x[i] - x[i - 1], 48) << columns;
    }
    // Ten minutes: whole-minute labels omit the milliseconds.
    std::vector<AxisLabel> labels = time_axis_labels(whole(60000, 571), l, 1920, 1, 100.0f);
    EXPECT_EQ(labels[1].text, "9'59\"990");
    std::set<std::string> texts;
    for (const AxisLabel& a : labels)
        texts.insert(a.text);
    EXPECT_TRUE(texts.count("1'00\"")) << labels[2].text;
}

TEST(Overlays, SemitoneLinesNeedRoom)
{
    ScreenLayout l = screen_layout(1400, 900, 1, 55, false);
    FrequencyScale s;
    s.rows = 571;
    // Linear at zoom 1: semitones 0 and 1 are a fraction of a pixel apart, so nothing is drawn.
    s.base = 1.0f;
    EXPECT_TRUE(semitone_overlay_rows(whole(1000, 571), l, s).empty());
    // Logarithmic: 571 rows over about 9.5 octaves on ~600 pixels is about 5 px a semitone.
    s.base = 2.0f;
    EXPECT_TRUE(semitone_overlay_rows(whole(1000, 571), l, s).empty());
    // Zoomed in twice, about 10 px: only C, D, E, G and A.
    ViewState v;
    view_set(v, 1000, 571, 1.0f, 2.0f, 500.0f, 300.0f);
    std::vector<int> numbers;
    std::vector<int> rows = semitone_overlay_rows(v, l, s, &numbers);
    ASSERT_FALSE(rows.empty());
    for (int n : numbers) {
        const int p = n % 12;
        EXPECT_TRUE(p == 0 || p == 2 || p == 4 || p == 7 || p == 9) << n;
    }
    // Four times: every semitone, one row each, in order down the screen.
    view_set(v, 1000, 571, 1.0f, 4.0f, 500.0f, 300.0f);
    numbers.clear();
    rows = semitone_overlay_rows(v, l, s, &numbers);
    ASSERT_GT(numbers.size(), 3u);
    for (size_t i = 1; i < numbers.size(); i++) {
        EXPECT_EQ(numbers[i], numbers[i - 1] + 1);
        EXPECT_LT(rows[i], rows[i - 1]);  // higher notes sit higher
    }
}

TEST(Overlays, RhythmLinesAreBlackOnABrightPictureAndWhiteOnADarkOne)
{
    for (float level : {1.0f, 0.0f}) {
        auto sh = std::make_unique<Shell>();
        sh->width = 1400;
        sh->height = 900;
        sh->screen = pixmap_create(sh->width, sh->height, 0xFF000000u);
        Project& p = sh->app.project;
        p.width = p.composite_width = 320;
        p.height = p.composite_height = 100;
        p.composite = image_alloc(100, 320);
        for (int r = 0; r < 100; r++)
            for (int c = 0; c < 320; c++)
                p.composite[r][c] = level;
        view_reset(sh->app.view, 320, 100);
        sh->app.display.rhythm_overlay = true;
        ScreenLayout l = screen_layout(sh->width, sh->height, 1, 55, false);
        view_draw(*sh, l);
        std::vector<int> divisions;
        std::vector<int> columns = rhythm_overlay_columns(sh->app.view, l, 320, &divisions);
        ASSERT_EQ(columns.size(), 16u);
        const uint32_t line = level > 0.0f ? 0xFF000000u : 0xFFFFFFFFu;
        const uint32_t picture = level > 0.0f ? 0xFFFFFFFFu : 0xFF000000u;
        const uint32_t* px = sh->screen.pixels.data();
        const auto at = [&](int x, int y) { return px[(size_t)y * (size_t)sh->width + (size_t)x]; };
        // A bar line (division 0): dashes of 32 every 48 starting 12 above the area.
        EXPECT_EQ(at(columns[0], l.image_y), line);
        EXPECT_EQ(at(columns[0], l.image_y + 19), line);
        EXPECT_EQ(at(columns[0], l.image_y + 20), picture);
        EXPECT_EQ(at(columns[0], l.image_y + 36), line);
        // A beat (division 1): dashes of 4 every 16 starting 2 above.
        EXPECT_EQ(at(columns[1], l.image_y + 1), line);
        EXPECT_EQ(at(columns[1], l.image_y + 2), picture);
        EXPECT_EQ(at(columns[1], l.image_y + 14), line);
        // Between the lines the picture is untouched.
        EXPECT_EQ(at(columns[1] + 3, l.image_y + 1), picture);
        image_free(p.composite);
        p.composite = nullptr;
    }
}

TEST(View, PointerReadout)
{
    auto sh = std::make_unique<Shell>();
    Project& p = sh->app.project;
    p.width = p.composite_width = 1001;
    p.height = p.composite_height = 571;
    p.composite = image_alloc(571, 1001);
    p.time_resolution = 100.0f;
    view_reset(sh->app.view, 1001, 571);
    ScreenLayout l = screen_layout(1200, 900, 1, 55, false);
    EXPECT_EQ(pointer_readout(sh->app, l, l.image_x - 1, l.image_y + 5), "");
    // The top-left pixel: time 0 and the top frequency only.
    EXPECT_EQ(pointer_readout(sh->app, l, l.image_x, l.image_y), "20000.00 Hz D#10");
    // Half-way across: 5 s.
    const std::string mid = pointer_readout(sh->app, l, l.image_x + l.image_width / 2, l.image_y);
    EXPECT_EQ(mid.rfind("5\"000 - 20000.00 Hz", 0), 0u) << mid;
    image_free(p.composite);
    p.composite = nullptr;
}

TEST(Waveform, StackedBandsSumToTheTotal)
{
    // 12 rows, linear scale (no tilt), 3 bands of 4 rows; row y holds y + 1 in every column.
    std::vector<std::vector<float>> image(12, std::vector<float>(100));
    for (int y = 0; y < 12; y++)
        for (int c = 0; c < 100; c++)
            image[(size_t)y][(size_t)c] = (float)(y + 1) * (c < 50 ? 1.0f : 2.0f);
    std::vector<const float*> rows = rows_of(image);
    WaveformInput in;
    in.rows = rows;
    in.visible_columns = 100;
    in.base = 1.0f;
    std::vector<std::vector<float>> bands = waveform_bands(in, 3);
    ASSERT_EQ(bands.size(), 3u);
    // Band 2 (rows 8 to 11) alone, band 1 adds rows 4 to 7, band 0 is all 78 = 1 + ... + 12.
    EXPECT_FLOAT_EQ(bands[2][0], 9 + 10 + 11 + 12);
    EXPECT_FLOAT_EQ(bands[1][0], 5 + 6 + 7 + 8 + 42);
    EXPECT_FLOAT_EQ(bands[0][0], 78);
    EXPECT_FLOAT_EQ(bands[0][4095], 156);
    for (int i = 0; i < waveform_points; i += 97)
        EXPECT_NEAR(bands[0][(size_t)i], (bands[0][(size_t)i] - bands[1][(size_t)i]) +
                                             (bands[1][(size_t)i] - bands[2][(size_t)i]) + bands[2][(size_t)i],
                    1e-3);

    // More columns than points: point i reads column trunc(i × (V − 1) / 4096 + 0.5).
    std::vector<std::vector<float>> wide(4, std::vector<float>(10000));
    for (auto& r : wide)
        for (int c = 0; c < 10000; c++)
            r[(size_t)c] = (float)c;
    rows = rows_of(wide);
    in.rows = rows;
    in.visible_columns = 10000;
    bands = waveform_bands(in, 2);
    EXPECT_FLOAT_EQ(bands[0][1000], 4.0f * (int)(1000.0 * 9999 / 4096 + 0.5));

    // On a logarithmic scale lower rows weigh less: a picture of equal rows has a lower band
    // smaller than the upper.
    std::vector<std::vector<float>> flat(100, std::vector<float>(20, 1.0f));
    rows = rows_of(flat);
    in.rows = rows;
    in.visible_columns = 20;
    in.base = 2.0f;
    bands = waveform_bands(in, 2);
    EXPECT_LT(bands[1][0], bands[0][0] - bands[1][0]);
}

TEST(Waveform, StripesGrowFromTheMiddleRowAndMirror)
{
    // Two bands: the lower holds a quarter of the total everywhere.
    std::vector<std::vector<float>> stacked = {std::vector<float>(waveform_points, 4.0f),
                                               std::vector<float>(waveform_points, 1.0f)};
    const uint32_t colours[] = {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u};
    const uint32_t background = 0xFF808080u;
    Pixmap strip = waveform_paint(stacked, 21, colours, background);
    ASSERT_EQ(strip.width, waveform_points);
    ASSERT_EQ(strip.height, 21);
    // m = 10: the total reaches 10.5 rows out, the lower band 2.625 rows.
    const auto at = [&](int y) { return strip.pixels[(size_t)y * waveform_points + 77]; };
    EXPECT_EQ(at(10), colours[0]);   // the middle row: lowest band, colour 0
    EXPECT_EQ(at(11), colours[0]);
    EXPECT_EQ(at(13), colours[1]);   // the upper band beyond
    EXPECT_EQ(at(19), colours[1]);
    // The outermost row: half of colour 1, then half of the background, added.
    EXPECT_EQ(at(20), 0xFF40BF40u);
    for (int k = 0; k <= 10; k++)
        EXPECT_EQ(at(10 - k), at(10 + k)) << k;
    // The edge row 12 holds 5/8 of colour 0 and 3/8 of colour 1, added.
    const uint32_t edge = at(12);
    EXPECT_EQ(edge & 0xFF, (uint32_t)(0xFF * 160 / 256));
    EXPECT_EQ((edge >> 8) & 0xFF, (uint32_t)(0xFF * 96 / 256));

    // A silent picture is all background.
    std::vector<std::vector<float>> silent = {std::vector<float>(waveform_points, 0.0f),
                                              std::vector<float>(waveform_points, 0.0f)};
    strip = waveform_paint(silent, 21, colours, background);
    for (int y = 0; y < 21; y++)
        EXPECT_EQ(at(y), background) << y;
}

TEST(View, ButtonBarTexts)
{
    EXPECT_STREQ(play_button_label(play_stopped), "Play");
    EXPECT_STREQ(play_button_label(play_playing), "Pause");
    auto app = std::make_unique<App>();
    app->reference_sound = "voice.wav";
    LosslessTexts t = lossless_texts(*app);
    EXPECT_EQ(t.state, "OFF");
    EXPECT_EQ(t.reference, "");
    app->project.lossless = true;
    t = lossless_texts(*app);
    EXPECT_EQ(t.state, "ON");
    EXPECT_EQ(t.reference, "(Reference audio : voice.wav)");
}

TEST(Axes, AtScaleTwoTheSameLabelsSitTwiceAsFarDown)
{
    FrequencyScale s;
    s.rows = 571;
    const ViewState v = whole(2000, 571);
    const std::vector<AxisLabel> one = frequency_axis_labels(v, screen_layout(1400, 1000, 1, 55, false), s, 14, 1);
    const std::vector<AxisLabel> two = frequency_axis_labels(v, screen_layout(2800, 2000, 2, 55, false), s, 28, 2);
    ASSERT_EQ(one.size(), two.size());
    for (size_t i = 0; i < one.size(); i++) {
        EXPECT_EQ(one[i].text, two[i].text);
        EXPECT_NEAR(two[i].position, 2 * one[i].position, 2) << one[i].text;
    }
    const std::vector<AxisLabel> t1 = time_axis_labels(v, screen_layout(1400, 1000, 1, 55, false), 1400, 1, 100.0f);
    const std::vector<AxisLabel> t2 = time_axis_labels(v, screen_layout(2800, 2000, 2, 55, false), 2800, 2, 100.0f);
    ASSERT_EQ(t1.size(), t2.size());
    for (size_t i = 0; i < t1.size(); i++) {
        EXPECT_EQ(t1[i].text, t2[i].text);
        EXPECT_NEAR(t2[i].position, 2 * t1[i].position, 2);
    }
}

TEST(Display, RebuiltOnlyWhenThePictureTheViewOrAToggleChanged)
{
    auto sh = std::make_unique<Shell>();
    sh->width = 1400;
    sh->height = 900;
    sh->screen = pixmap_create(sh->width, sh->height);
    Project& p = sh->app.project;
    p.width = p.composite_width = 300;
    p.height = p.composite_height = 50;
    p.composite = image_alloc(50, 300);
    p.composite[10][10] = 1.0f;
    view_reset(sh->app.view, 300, 50);
    const ScreenLayout l = screen_layout(sh->width, sh->height, 1, 55, false);
    view_draw(*sh, l);
    const std::vector<uint32_t> first = sh->display.pixels;

    // A pixel changes but nobody said so: a redraw of the interface keeps the display.
    for (int c = 0; c < 300; c++)
        p.composite[30][c] = 1.0f;
    view_draw(*sh, l);
    EXPECT_EQ(sh->display.pixels, first);
    // Vision Mode is a toggle: the display is built again (and now shows the new row).
    sh->app.display.vision_mode = true;
    view_draw(*sh, l);
    EXPECT_NE(sh->display.pixels, first);
    const std::vector<uint32_t> vision = sh->display.pixels;
    // A stroke (a button held with a spray) switches to the fast resampler: built again.
    sh->app.display.vision_mode = false;
    sh->display_stale = true;
    view_draw(*sh, l);
    const DisplayKey smooth_key = sh->display_key;
    EXPECT_TRUE(smooth_key.smooth);
    sh->app.tool = tool_dark_spray;
    sh->pointer_buttons = 1;
    view_draw(*sh, l);
    EXPECT_FALSE(sh->display_key.smooth);
    // Zooming changes the view: built again.
    view_set(sh->app.view, 300, 50, 2.0f, 1.0f, 100.0f, 25.0f);
    view_draw(*sh, l);
    EXPECT_EQ(sh->display_key.visible_columns, 150);
    waveform_stop(sh->waveform);
    image_free(p.composite);
    p.composite = nullptr;
}

TEST(Overlays, ToolOutlineAtThePointer)
{
    auto app = std::make_unique<App>();
    const ScreenLayout l = screen_layout(1400, 900, 1, 55, false);
    const int x = l.image_x + 300, y = l.image_y + 200;
    EXPECT_FALSE(tool_outline_shown(*app, l, x, y, false));  // the cursor tool has none
    app->tool = tool_dark_spray;
    EXPECT_TRUE(tool_outline_shown(*app, l, x, y, false));
    EXPECT_FALSE(tool_outline_shown(*app, l, 10, 10, false));  // outside the picture
    EXPECT_TRUE(tool_outline_shown(*app, l, 10, 10, true));    // unless H is held
    app->tool = tool_move;
    EXPECT_FALSE(tool_outline_shown(*app, l, x, y, false));

    // A spray's outline: a closed ring 1.5 × width from the pointer, twice as far at scale 2.
    for (int scale : {1, 2}) {
        std::vector<std::pair<int, int>> ring = tool_outline_points(tool_dark_spray, 20.0f, scale, x, y);
        ASSERT_GT(ring.size(), 100u);
        for (const auto& [px, py] : ring)
            EXPECT_NEAR(std::hypot(px - x, py - y), 30.0 * scale, 0.75);
        for (size_t i = 0; i < ring.size(); i++) {
            const auto& a = ring[i];
            const auto& b = ring[(i + 1) % ring.size()];
            EXPECT_LE(std::max(std::abs(a.first - b.first), std::abs(a.second - b.second)), 1);  // no gaps
        }
    }
}
