// Opening and importing files through archive lines: the loader, the completion step, the
// placement of imported pictures, the interface's recording and its loader thread.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "commands/app.h"
#include "media/file_names.h"
#include "media/image_read.h"
#include "media/image_write.h"
#include "commands/import.h"
#include "media/sound_write.h"
#include "commands/archive_read.h"
#include "commands/history.h"
#include "stderr_capture.h"
#include "support/image_scale.h"
#include "support/paths.h"
#include "testlib.h"

namespace {

// A tone with two harmonics and a slow swell, `seconds` long.
std::vector<float> test_tone(int count, int rate)
{
    std::vector<float> s((size_t)count);
    for (int i = 0; i < count; i++) {
        double t = (double)i / rate;
        s[(size_t)i] = (float)(0.3 * std::sin(2 * M_PI * 440.0 * t) + 0.1 * std::sin(2 * M_PI * 1320.0 * t) +
                               0.05 * std::sin(2 * M_PI * 97.0 * t) * (1.0 + std::sin(t)));
    }
    return s;
}

void write_sound(const std::string& path, int count, int rate = 44100)
{
    std::vector<float> s = test_tone(count, rate);
    ASSERT_TRUE(save_sound_file(path, s.data(), s.size(), rate));
}

// 16-bit stereo PCM WAV: left and right given separately.
void write_stereo_wav(const std::string& path, const std::vector<float>& left, const std::vector<float>& right, int rate)
{
    std::vector<unsigned char> b;
    auto u32 = [&](unsigned v) { for (int k = 0; k < 4; k++) b.push_back((unsigned char)(v >> (8 * k))); };
    auto u16 = [&](unsigned v) { for (int k = 0; k < 2; k++) b.push_back((unsigned char)(v >> (8 * k))); };
    const unsigned data = (unsigned)left.size() * 4;
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    u32(36 + data);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    u32(16), u16(1), u16(2), u32((unsigned)rate), u32((unsigned)rate * 4), u16(4), u16(16);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    u32(data);
    for (size_t i = 0; i < left.size(); i++) {
        u16((unsigned)(short)std::lrint(left[i] * 32767.0f) & 0xFFFF);
        u16((unsigned)(short)std::lrint(right[i] * 32767.0f) & 0xFFFF);
    }
    write_binary_file(path, b.data(), b.size());
}

// The test picture: a gentle slope in both directions, so interpolated values are predictable.
float ramp(double x, double y) { return (float)(1.0 + 0.001 * x + 0.01 * y); }

void write_ramp_tiff(const std::string& path, int w, int h)
{
    std::vector<float> px((size_t)w * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            px[(size_t)y * w + x] = ramp(x, y);
    ASSERT_TRUE(save_image_tiff(path, px.data(), w, h, 1, 32));
}

void write_png(const std::string& path, int w, int h)
{
    Rgba8Raster r;
    r.width = w;
    r.height = h;
    r.pixels.resize((size_t)w * h * 4);
    for (size_t i = 0; i < r.pixels.size(); i += 4) {
        r.pixels[i] = (unsigned char)(i * 7);
        r.pixels[i + 1] = (unsigned char)(i * 3);
        r.pixels[i + 2] = 200;
        r.pixels[i + 3] = 255;
    }
    ASSERT_TRUE(save_image_8bit(path, r, 92));
}

float peak(Image im, int rows, int columns)
{
    float m = 0.0f;
    for (int y = 0; y < rows; y++)
        for (int x = 0; x < columns; x++)
            m = std::max(m, std::fabs(im[y][x]));
    return m;
}

// Everything about a project that a failed load must leave alone.
struct Snapshot {
    int width, height, current;
    std::vector<std::string> names;
    std::vector<std::vector<float>> pixels;
    std::vector<float> sound;
    int sound_length, original_width, original_height;
    std::vector<float> original;
    float fmin, fmax, base, time_resolution;
    size_t colours;

    explicit Snapshot(const Project& p)
        : width(p.width), height(p.height), current(p.current_layer), sound(p.original_sound),
          sound_length(p.original_sound_length), original_width(p.original_image_width),
          original_height(p.original_image_height), fmin(p.fmin), fmax(p.fmax), base(p.scale_base),
          time_resolution(p.time_resolution), colours(p.colour_image.size())
    {
        for (const Layer& l : p.layers) {
            names.push_back(l.name);
            std::vector<float> v;
            for (int y = 0; l.image && y < p.height; y++)
                v.insert(v.end(), l.image[y], l.image[y] + p.width);
            pixels.push_back(v);
        }
        for (int y = 0; y < p.original_image_height; y++)
            original.insert(original.end(), p.original_image[y], p.original_image[y] + p.original_image_width);
    }
    bool operator==(const Snapshot&) const = default;
};

struct ImportTest : ::testing::Test {
    TempDir dir;
    App app;
    void SetUp() override
    {
        app.history.path = dir.file("history.sga");
        app.history.enabled = false;
    }
    Project& p() { return app.project; }
    // Lines run as an archive runs them: each load completed before the next line.
    void run(const std::string& text)
    {
        size_t start = 0;
        for (;;) {
            size_t end = text.find('\n', start);
            execute_archive_line(app, text.substr(start, end == std::string::npos ? end : end - start), nullptr);
            complete_load(app);
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
    }
    void empty_project(int w, int h)
    {
        run("Clear image\nDimensions " + std::to_string(w) + " px x " + std::to_string(h) +
            " px\nNew layer \"Base\"");
    }
    // Waits for a load started on the loader thread and completes it, as the main loop does.
    void complete_when_done()
    {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!app.load.done.load() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_TRUE(app.load.done.load());
        complete_load(app);
    }
};

}  // namespace

TEST_F(ImportTest, OpeningTenSecondsOfSoundGivesTheAnalysedProject)
{
    write_sound(dir.file("ten.wav"), 441000);
    run("Open \"" + dir.file("ten.wav") + "\"");
    ASSERT_EQ(p().width, 1000);
    ASSERT_EQ(p().height, 571);
    ASSERT_EQ(p().layers.size(), 1u);
    EXPECT_EQ(p().layers[0].name, "ten.wav");
    EXPECT_EQ(p().current_layer, 0);
    EXPECT_EQ(p().original_sound_length, 441000);
    EXPECT_GE(p().original_sound.size(), 441000u);
    EXPECT_EQ(p().original_image_width, 1000);
    EXPECT_EQ(p().original_image_height, 571);

    // The sound is kept as read (no resampling at 44.1 kHz), the picture peaks at exactly 1,
    // and the original image and the layer's restore source are the same picture.
    std::vector<float> tone = test_tone(441000, 44100);
    for (int i : {0, 1, 12345, 440999})
        EXPECT_EQ(p().original_sound[(size_t)i], tone[(size_t)i]);
    Layer& layer = p().layers[0];
    EXPECT_EQ(peak(layer.image, 571, 1000), 1.0f);
    ASSERT_EQ(layer.original_width, 1000);
    ASSERT_EQ(layer.original_height, 571);
    for (int y = 0; y < 571; y++)
        for (int x = 0; x < 1000; x++) {
            ASSERT_EQ(layer.image[y][x], p().original_image[y][x]);
            ASSERT_EQ(layer.image[y][x], layer.original_image[y][x]);
        }
    EXPECT_EQ(app.reference_sound, "ten.wav");
    EXPECT_EQ(app.last_folder, dir.path);
    EXPECT_EQ(p().composite_width, 1000);
    EXPECT_EQ(app.requests.view_reset, 1);
}

TEST_F(ImportTest, OpeningTakesTheAnalysisParametersAndChannel)
{
    // Left a tone, right silence, at 22050 Hz: resampled to the internal rate.
    std::vector<float> left = test_tone(22050, 22050), right(22050, 0.0f);
    write_stereo_wav(dir.file("stereo.wav"), left, right, 22050);
    run("Analysis frequency range 50 Hz - 10000 Hz\nAnalysis frequency scale 1.5\n"
        "Analysis time resolution 50 px/s\nAnalysis pitch resolution 24 px/octave\n"
        "Open \"" + dir.file("stereo.wav") + "\"");
    EXPECT_EQ(p().width, 50);
    EXPECT_EQ(p().height, (int)((std::log2(10000.0f) - std::log2(50.0f)) * 24 + 1.5f));
    EXPECT_EQ(p().fmin, 50.0f);
    EXPECT_EQ(p().fmax, 10000.0f);
    EXPECT_EQ(p().scale_base, 1.5f);
    EXPECT_EQ(p().time_resolution, 50.0f);
    EXPECT_EQ(p().original_sound_length, 44100);
    EXPECT_GT(peak(p().layers[0].image, p().height, p().width), 0.0f);

    // The right channel alone is silence: an all-zero picture is left unscaled.
    App other;
    other.history.enabled = false;
    execute_archive_line(other, "Analysis right channel only", nullptr);
    execute_archive_line(other, "Open \"" + dir.file("stereo.wav") + "\"", nullptr);
    complete_load(other);
    ASSERT_EQ(other.project.layers.size(), 1u);
    EXPECT_EQ(peak(other.project.layers[0].image, other.project.height, other.project.width), 0.0f);
    float loudest = 0.0f;
    for (float s : other.project.original_sound)
        loudest = std::max(loudest, std::fabs(s));
    EXPECT_LT(loudest, 1e-6f);
}

TEST_F(ImportTest, ImportExtendKeepsColumnsAndFitStretchesRows)
{
    write_ramp_tiff(dir.file("small.tif"), 200, 100);
    empty_project(1000, 571);
    p().layers[0].image[3][4] = 5.0f;
    run("Import \"" + dir.file("small.tif") + "\" hextend vfit");
    ASSERT_EQ(p().width, 1000);
    ASSERT_EQ(p().height, 571);
    ASSERT_EQ(p().layers.size(), 2u);
    EXPECT_EQ(p().current_layer, 1);
    EXPECT_EQ(p().layers[0].image[3][4], 5.0f);
    Layer& l = p().layers[1];
    EXPECT_EQ(l.name, "small.tif");
    // Corners land on corners; row 190 of 570 is source row 33 of 99 exactly.
    EXPECT_EQ(l.image[0][0], ramp(0, 0));
    EXPECT_EQ(l.image[570][199], ramp(199, 99));
    for (int x = 0; x < 200; x += 17)
        EXPECT_EQ(l.image[190][x], ramp(x, 33));
    for (int y = 0; y < 571; y += 7)
        for (int x = 0; x < 200; x += 13)
            ASSERT_NEAR(l.image[y][x], ramp(x, y * 99.0 / 570.0), 2e-6) << x << "," << y;
    for (int y = 0; y < 571; y++)
        for (int x = 200; x < 1000; x++)
            ASSERT_EQ(l.image[y][x], 0.0f);
    ASSERT_EQ(l.original_width, 1000);
    EXPECT_EQ(l.original_image[570][199], l.image[570][199]);
}

TEST_F(ImportTest, ImportFitScalesBothAxesCornerToCorner)
{
    write_ramp_tiff(dir.file("small.tif"), 200, 100);
    empty_project(1000, 571);
    run("Import \"" + dir.file("small.tif") + "\" hfit vfit");
    Layer& l = p().layers[1];
    EXPECT_EQ(l.image[0][0], ramp(0, 0));
    EXPECT_EQ(l.image[0][999], ramp(199, 0));
    EXPECT_EQ(l.image[570][0], ramp(0, 99));
    EXPECT_EQ(l.image[570][999], ramp(199, 99));
    for (int y = 0; y < 571; y += 11)
        for (int x = 0; x < 1000; x += 37)
            ASSERT_NEAR(l.image[y][x], ramp(x * 199.0 / 999.0, y * 99.0 / 570.0), 2e-6) << x << "," << y;
}

TEST_F(ImportTest, ImportReducingAveragesAndCropCutsWithoutScaling)
{
    write_ramp_tiff(dir.file("wide.tif"), 1500, 60);
    empty_project(1000, 571);
    run("Import \"" + dir.file("wide.tif") + "\" hfit vcrop");
    ASSERT_EQ(p().width, 1000);
    Layer& l = p().layers[1];
    // Reduced by 1.5, every source column counts: each value lies within 0.3 of a source
    // column of its ideal position (the ends lean inwards, their tents being one-sided).
    for (int x = 0; x < 1000; x++)
        ASSERT_NEAR(l.image[10][x], ramp(x * 1499.0 / 999.0, 10), 0.001 * 0.3) << x;
    EXPECT_LT(l.image[10][0], ramp(0.3, 10));
    EXPECT_GT(l.image[10][999], ramp(1498.7, 10));
    // Crop keeps rows at scale 1: 60 rows copied, the rest silent.
    for (int x = 0; x < 1000; x += 50)
        EXPECT_EQ(l.image[59][x] - l.image[58][x] > 0.0099f, true);
    for (int y = 60; y < 571; y++)
        ASSERT_EQ(l.image[y][500], 0.0f);
}

TEST_F(ImportTest, ImportExtendingWiderGrowsTheProject)
{
    write_ramp_tiff(dir.file("wide.tif"), 1500, 100);
    empty_project(1000, 571);
    p().layers[0].image[570][999] = 7.0f;
    run("Import \"" + dir.file("wide.tif") + "\"");  // extend and fit by default
    ASSERT_EQ(p().width, 1500);
    ASSERT_EQ(p().height, 571);
    EXPECT_EQ(p().composite_width, 1500);
    ASSERT_EQ(p().layers.size(), 2u);
    EXPECT_EQ(p().layers[0].image[570][999], 7.0f);
    for (int x = 1000; x < 1500; x++)
        ASSERT_EQ(p().layers[0].image[570][x], 0.0f);
    EXPECT_EQ(p().layers[1].image[570][1499], ramp(1499, 99));
    EXPECT_EQ(p().layers[1].image[0][1000], ramp(1000, 0));
}

TEST_F(ImportTest, ImportIntoAnEmptyProjectTakesThePictureSize)
{
    write_ramp_tiff(dir.file("small.tif"), 30, 20);
    run("Clear image\nImport \"" + dir.file("small.tif") + "\" hfit vfit");
    ASSERT_EQ(p().width, 30);
    ASSERT_EQ(p().height, 20);
    ASSERT_EQ(p().layers.size(), 1u);
    EXPECT_EQ(p().layers[0].image[19][29], ramp(29, 19));
}

TEST_F(ImportTest, AnImportedSoundGivesOnlyItsPicture)
{
    write_sound(dir.file("half.wav"), 22050);
    empty_project(80, 40);
    run("Import \"" + dir.file("half.wav") + "\" hcrop vfit");
    ASSERT_EQ(p().width, 80);
    ASSERT_EQ(p().height, 40);
    ASSERT_EQ(p().layers.size(), 2u);
    EXPECT_EQ(p().layers[1].name, "half.wav");
    // 50 analysed columns at the left, 571 rows squeezed into 40; no original sound or image.
    EXPECT_GT(peak(p().layers[1].image, 40, 50), 0.1f);
    for (int y = 0; y < 40; y++)
        for (int x = 50; x < 80; x++)
            ASSERT_EQ(p().layers[1].image[y][x], 0.0f);
    EXPECT_EQ(p().original_sound_length, 0);
    EXPECT_EQ(p().original_image, nullptr);
    EXPECT_EQ(app.reference_sound, "");
}

TEST_F(ImportTest, AnOpenLineFindsItsFileMovedNextToTheArchive)
{
    make_folders(dir.file("moved"));
    write_ramp_tiff(dir.file("moved/pic.tif"), 40, 30);
    write_text_file(dir.file("moved/project.sga"),
                    "Sonographica Archive v1.2.2\nOpen \"/no/such/folder/pic.tif\"\n\nGamma 1\n");
    ASSERT_TRUE(load_archive(app, dir.file("moved/project.sga")));
    ASSERT_EQ(p().width, 40);
    ASSERT_EQ(p().height, 30);
    ASSERT_EQ(p().layers.size(), 1u);
    EXPECT_EQ(p().layers[0].name, "pic.tif");
    EXPECT_EQ(p().layers[0].image[29][39], ramp(39, 29));

    EXPECT_EQ(find_load_file(dir.file("moved/pic.tif"), ""), dir.file("moved/pic.tif"));
    EXPECT_EQ(find_load_file("elsewhere/pic.tif", dir.file("moved")), dir.file("moved/pic.tif"));
    EXPECT_EQ(find_load_file("elsewhere/none.tif", dir.file("moved")), "");
    EXPECT_EQ(find_load_file("", dir.file("moved")), "");
}

TEST_F(ImportTest, AFileThatCannotBeLoadedChangesNothing)
{
    write_sound(dir.file("one.wav"), 44100);
    write_ramp_tiff(dir.file("small.tif"), 50, 40);
    run("Open \"" + dir.file("one.wav") + "\"\nImport \"" + dir.file("small.tif") + "\" hcrop vcrop");
    ASSERT_EQ(p().layers.size(), 2u);
    const Snapshot before(p());

    std::vector<unsigned char> junk(3000);
    for (size_t i = 0; i < junk.size(); i++)
        junk[i] = (unsigned char)(i * 31 + 7);
    write_binary_file(dir.file("junk.wav"), junk.data(), junk.size());
    write_binary_file(dir.file("junk.png"), junk.data(), junk.size());
    write_binary_file(dir.file("empty.flac"), "", 0);
    std::vector<unsigned char> tif = read_binary_file(dir.file("small.tif"));
    write_binary_file(dir.file("cut.tif"), tif.data(), tif.size() / 2);
    write_sound(dir.file("blip.wav"), 100);  // shorter than one column

    for (const std::string& line :
         {"Open \"" + dir.file("missing.wav") + "\"", "Import \"" + dir.file("missing.png") + "\" hfit vfit",
          "Open \"" + dir.file("junk.wav") + "\"", "Open \"" + dir.file("junk.png") + "\"",
          "Import \"" + dir.file("empty.flac") + "\"", "Open \"" + dir.file("cut.tif") + "\"",
          "Import \"" + dir.file("cut.tif") + "\" hextend vextend", "Open \"" + dir.file("blip.wav") + "\""}) {
        StderrCapture capture;
        run(line);
        EXPECT_EQ(count_lines(capture.finish()), 1) << line;
        EXPECT_TRUE(Snapshot(p()) == before) << line;
        EXPECT_EQ(app.load.picture, nullptr);
        EXPECT_FALSE(app.load.done.load());
    }
}

TEST_F(ImportTest, OpeningAPictureKeepsTheOriginalSoundAndImage)
{
    write_sound(dir.file("one.wav"), 44100);
    write_png(dir.file("pic.png"), 64, 48);
    run("Open \"" + dir.file("one.wav") + "\"");
    ASSERT_EQ(p().original_image_width, 100);
    std::vector<float> sound = p().original_sound;
    std::vector<float> original(p().original_image[0], p().original_image[0] + 100 * 571);

    run("Open \"" + dir.file("pic.png") + "\"");
    ASSERT_EQ(p().width, 64);
    ASSERT_EQ(p().height, 48);
    ASSERT_EQ(p().layers.size(), 1u);
    EXPECT_EQ(p().layers[0].name, "pic.png");
    EXPECT_EQ(p().colour_image.size(), 64u * 48u);
    EXPECT_GT(peak(p().layers[0].image, 48, 64), 0.0f);
    // The earlier sound and its picture stay, their recorded size that of their pixels.
    EXPECT_EQ(p().original_sound_length, 44100);
    EXPECT_EQ(p().original_sound, sound);
    ASSERT_EQ(p().original_image_width, 100);
    ASSERT_EQ(p().original_image_height, 571);
    EXPECT_EQ(std::vector<float>(p().original_image[0], p().original_image[0] + 100 * 571), original);
    EXPECT_EQ(app.reference_sound, "one.wav");
}

TEST_F(ImportTest, TheInterfaceRecordsTheLoadAndItsThreadIsCompletedLater)
{
    app.history.enabled = true;
    app.history.tick_ms = [] { return 1LL; };
    write_sound(dir.file("tune.wav"), 88200);
    write_ramp_tiff(dir.file("small.tif"), 200, 100);
    const std::string sound = dir.file("tune.wav"), picture = dir.file("small.tif");

    execute_archive_line(app, "Analysis left channel only", nullptr);
    ASSERT_TRUE(open_file_from_interface(app, sound));
    complete_when_done();
    ASSERT_EQ(p().width, 200);
    ASSERT_EQ(p().layers.size(), 1u);
    ASSERT_TRUE(import_file_from_interface(app, picture, place_crop, place_fit));
    complete_when_done();
    ASSERT_EQ(p().layers.size(), 2u);
    EXPECT_FALSE(open_file_from_interface(app, dir.file("a\"b.wav")));

    history_close(app.history);
    EXPECT_EQ(read_text_file(app.history.path),
              "Analysis frequency range 27.5 Hz - 20000 Hz\nAnalysis time resolution 100 px/s\n"
              "Analysis pitch resolution 60 px/octave\nAnalysis minimum pitch resolution 24 px/octave\n"
              "Analysis transition time resolution 100 px/s\nAnalysis left channel only\n"
              "Open \"" + sound + "\"\n\nImport \"" + picture + "\" hcrop vfit\n\n");

    // The history replays to the same project, pixel for pixel.
    App replay;
    replay.history.enabled = false;
    ASSERT_TRUE(load_archive(replay, app.history.path));
    ASSERT_TRUE(Snapshot(replay.project) == Snapshot(p()));
}

TEST_F(ImportTest, ALoadStillRunningIsFinishedBeforeTheNextOne)
{
    write_sound(dir.file("tune.wav"), 441000);
    write_ramp_tiff(dir.file("small.tif"), 20, 10);
    ASSERT_TRUE(open_file_from_interface(app, dir.file("tune.wav")));
    run("Import \"" + dir.file("small.tif") + "\" hcrop vcrop");
    ASSERT_EQ(p().layers.size(), 2u);
    EXPECT_EQ(p().layers[0].name, "tune.wav");
    EXPECT_EQ(p().layers[1].name, "small.tif");
    EXPECT_EQ(p().width, 1000);
    EXPECT_EQ(p().layers[1].image[9][19], ramp(19, 9));
    EXPECT_EQ(p().layers[1].image[10][19], 0.0f);
}

TEST(ImageScale, EdgesAndStretches)
{
    float a[2][3] = {{1, 2, 3}, {4, 5, 6}};
    const float* src[2] = {a[0], a[1]};
    float b[3][4];
    float* dst[3] = {b[0], b[1], b[2]};
    // Scale 1 copies the overlap and zeroes the rest.
    scale_image_tent(src, 3, 2, dst, 4, 3, 1.0, 1.0);
    EXPECT_EQ(b[1][2], 6.0f);
    EXPECT_EQ(b[1][3], 0.0f);
    EXPECT_EQ(b[2][0], 0.0f);
    // One source column stretched across; a one-pixel destination takes the top-left pixel.
    const float* column[2] = {a[0], a[1]};
    scale_image_tent(column, 1, 2, dst, 4, 3, INFINITY, 2.0);
    EXPECT_EQ(b[0][3], 1.0f);
    EXPECT_EQ(b[1][2], 2.5f);
    EXPECT_EQ(b[2][1], 4.0f);
    float one;
    float* single[1] = {&one};
    scale_image_tent(src, 3, 2, single, 1, 1, 0.0, 0.0);
    EXPECT_EQ(one, 1.0f);
    // A constant picture stays constant when reduced.
    std::vector<float> flat(90 * 70, 0.25f), small(13 * 11);
    std::vector<const float*> fr(70);
    std::vector<float*> sr(11);
    for (int y = 0; y < 70; y++)
        fr[(size_t)y] = &flat[(size_t)y * 90];
    for (int y = 0; y < 11; y++)
        sr[(size_t)y] = &small[(size_t)y * 13];
    scale_image_tent(fr.data(), 90, 70, sr.data(), 13, 11, 12.0 / 89.0, 10.0 / 69.0);
    for (float v : small)
        ASSERT_NEAR(v, 0.25f, 1e-6f);
}

TEST(ImportCli, OpensAFlacFileAndSavesItsPictureWithProgress)
{
    TempDir dir;
    std::vector<float> tone = test_tone(66150, 44100);
    write_stereo_wav(dir.file("song.wav"), tone, tone, 44100);
    ASSERT_EQ(run_command("flac -s -f '" + dir.file("song.wav") + "' -o '" + dir.file("song.flac") + "'"), 0);
    std::string out;
    int status = run_command("cd '" + dir.path + "' && SONOGRAPHICA_DATA_DIR='" + dir.file("data") + "' '" +
                                 cli_path() + "' -e 'Open \"song.flac\"' -e 'Save \"song.tif\"' 2>&1",
                             &out);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("Analysing song.flac: 100%"), std::string::npos) << out;
    int w = 0, h = 0;
    Image picture = load_tiff_float(dir.file("song.tif"), &w, &h);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(w, 150);
    EXPECT_EQ(h, 571);
    EXPECT_EQ(peak(picture, h, w), 1.0f);
    image_free(picture);
}
