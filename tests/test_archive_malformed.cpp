#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "commands/app.h"
#include "archive_test_util.h"
#include "commands/archive_read.h"
#include "commands/archive_write.h"
#include "stderr_capture.h"
#include "testlib.h"

namespace {

struct MalformedTest : ::testing::Test {
    TempDir dir;
    App app;
    void SetUp() override { app.history.enabled = false; }
    // Runs `text` and returns how many log lines it produced.
    int log_lines(const std::string& text)
    {
        StderrCapture capture;
        run_lines(app, text);
        return count_lines(capture.finish());
    }
    Project& p() { return app.project; }
};

// The project's records agree with each other: what every later line relies on.
void expect_consistent(const Project& p)
{
    ASSERT_GE(p.current_layer, -1);
    ASSERT_LT(p.current_layer, (int)p.layers.size() + (p.layers.empty() ? 1 : 0));
    if (!p.layers.empty()) {
        ASSERT_GE(p.current_layer, 0);
    }
    ASSERT_GE(p.width, 0);
    ASSERT_GE(p.height, 0);
    for (const Layer& l : p.layers) {
        if (l.image) {
            ASSERT_GT(p.width, 0);
            ASSERT_GT(p.height, 0);
        }
        if (l.original_image) {
            ASSERT_GT(l.original_width, 0);
            ASSERT_GT(l.original_height, 0);
        }
    }
    if (p.original_image) {
        ASSERT_GT(p.original_image_width * p.original_image_height, 0);
    }
    ASSERT_GE((long long)p.original_sound.size(), (long long)p.original_sound_length);
}

} // namespace

TEST_F(MalformedTest, ShortBaseDataFillsWhatItHas)
{
    run_lines(app, "Clear image\nDimensions 3 px x 1 px\nNew layer \"a\"");
    EXPECT_EQ(log_lines("Base85 3 words\n:cdG9z"), 1);
    EXPECT_EQ(pixel(app, 0, 0, 0), 1.0f);
    EXPECT_EQ(pixel(app, 0, 1, 0), 0.0f);
    EXPECT_EQ(log_lines("Base85 3 words\n:cdG9:c"), 1);
    EXPECT_EQ(log_lines("Base85 3 words"), 1) << "no data line at all";
}

TEST_F(MalformedTest, BaseDataWithoutATarget)
{
    EXPECT_EQ(log_lines("Base85 1 words\n:cdG9z"), 1);
    run_lines(app, "Clear image\nDimensions 3 px x 1 px\nNew separator \"s\"");
    EXPECT_EQ(log_lines("Base85 3 words\n:cdG9:cdG9:cdG9z"), 0) << "a separator's data is skipped";
    EXPECT_EQ(log_lines("Undo\nBase85 3 words\n:cdG9:cdG9:cdG9z"), 1) << "a separator has no pixels";
    expect_consistent(p());
}

TEST_F(MalformedTest, SelectingInAnEmptyTable)
{
    EXPECT_EQ(log_lines("Selected layer 3\nSelected layer -1\nRename layer \"x\"\nTurn layer off\nGamma 2\n"
                        "Multiply layer by 2\nBlending division\nUndo\nDelete layer\nMerge down layer\n"
                        "Duplicate layer\nMove layer up\nMove layer +1 px x +1 px\nOriginal layer image (2 x 2)\n"
                        "Central convolution point 1 px , 1 px\nOperation invert"),
              0) << "nothing to act on, nothing to report";
    EXPECT_EQ(p().current_layer, -1);
    EXPECT_TRUE(p().layers.empty());
}

TEST_F(MalformedTest, TheLayerTableHoldsAtMost8192Layers)
{
    run_lines(app, "Clear image\nDimensions 1 px x 1 px");
    std::string lines;
    for (int i = 0; i < 8192; i++)
        lines += "New separator \"s\"\n";
    EXPECT_EQ(log_lines(lines), 0);
    EXPECT_EQ(p().layers.size(), 8192u);
    // The refused layer's data must not land in the layer below: it has no target now.
    EXPECT_EQ(log_lines("New layer \"one too many\"\nBase85 1 words\n:cdG9z"), 2);
    EXPECT_EQ(log_lines("Duplicate layer"), 1);
    EXPECT_EQ(p().layers.size(), 8192u);
    expect_consistent(p());
}

TEST_F(MalformedTest, SizesBeyondThePictureLimit)
{
    run_lines(app, "Clear image\nDimensions 10 px x 10 px\nNew layer \"a\"");
    for (const char* line : {"Dimensions 2000000 px x 10 px", "Crop 100000 px x 100000 px",
                             "Dimensions 1e30 px x 10 px", "Crop -5 px x 10 px", "Crop 0 px x 10 px",
                             "Dimensions nan px x 10 px", "New original image (100000 x 100000)",
                             "New original image (-3 x 4)", "Original layer image (70000 x 70000)",
                             "New original sound (-1 samples)", "New original sound (2000000000 samples)"}) {
        EXPECT_EQ(log_lines(line), 1) << line;
        EXPECT_EQ(p().width, 10) << line;
        EXPECT_EQ(p().height, 10) << line;
        ASSERT_EQ(p().layers.size(), 1u) << line;
        EXPECT_NE(p().layers[0].image, nullptr) << line;
    }
    expect_consistent(p());
}

TEST_F(MalformedTest, HeadersOfOtherVersions)
{
    EXPECT_EQ(log_lines("Sonographica Archive v1.3.0"), 1);
    EXPECT_EQ(app.archive.version, 3.0f) << "read on with the version stated";
    EXPECT_EQ(log_lines("Sonographica Archive v2.1.0"), 1);
    EXPECT_EQ(log_lines("Sonographica Archive v1.nan"), 1);
    EXPECT_EQ(app.archive.version, 1.0f);
    EXPECT_EQ(log_lines("Sonographica Archive v1.2.2"), 0);
    EXPECT_EQ(app.archive.version, 2.2f);
}

TEST_F(MalformedTest, AbsurdParametersAreRefused)
{
    for (const char* line : {"Time resolution 0 px/s", "Time resolution 1e30 px/s", "Time resolution nan px/s",
                             "Frequency scale -1", "Frequency scale inf", "Analysis frequency range 500 Hz - 20 Hz",
                             "Analysis time resolution -3 px/s", "Analysis pitch resolution 0 px/octave",
                             "Samplerate -44100 Hz", "Gamma 0", "Gamma nan"}) {
        EXPECT_LE(log_lines(line), 1) << line;
    }
    EXPECT_EQ(p().time_resolution, 100.0f);
    EXPECT_EQ(p().scale_base, 2.0f);
    EXPECT_EQ(p().analysis_fmin, 27.5f);
    EXPECT_EQ(p().archive_sample_rate, 0);
}

// Lines of every kind: commands with random fields, cut-off copies of real lines, and
// random bytes; run line by line and as files, the project must stay usable throughout.
TEST_F(MalformedTest, RandomAndTruncatedLines)
{
    std::mt19937 rng(2024);
    auto pick = [&](int n) { return (int)(rng() % (unsigned)n); };
    // A real status file to cut pieces from.
    run_lines(app, "Clear image\nDimensions 6 px x 4 px\nNew layer \"a\"\nMultiply layer by 2\nNew separator \"s\"\n"
                   "Blending multiplication\nCentral convolution point 2 px , 1 px\nNew layer \"b\"\n"
                   "New original sound (20 samples)\nNew original image (3 x 2)\nOriginal layer image (2 x 2)");
    std::string status_path = dir.file("status.sga");
    ASSERT_TRUE(write_status_file(app, status_path));
    std::string status = read_text_file(status_path);
    std::vector<std::string> real;
    for (size_t a = 0, b; (b = status.find('\n', a)) != std::string::npos; a = b + 1)
        real.push_back(status.substr(a, b - a));
    const char* keywords[] = {"Sonographica", "Title", "Clear", "Dimensions", "Crop", "Analysis", "Frequency",
                              "Time", "Synthesis", "Samplerate", "New", "Original", "Duplicate", "Merge", "Delete",
                              "Open", "Import", "Save", "Blending", "Gamma", "Central", "Draw", "Intensity",
                              "Rectangle", "Point", "Units", "Harmonics", "Lines", "Operation", "Move", "Turn",
                              "Multiply", "Enable", "Disable", "Undo", "Base85", "Selected", "Rename", "zoom"};
    const char* tokens[] = {"layer", "separator", "original", "sound", "image", "px", "%", "sec", "Hz", "st",
                            "note", "x", ",", "-", "+3", "-7", "1e9", "-1e9", "nan", "inf", "0", "1", "2.5",
                            "A4", "C#-1", "H2", "(3 x 2)", "(5 samples)", "\"q\"", "\"", "T+0.1s", "1.#INF",
                            "start", "end", "size", "intensity", "range", "scale", "resolution", "down",
                            "all to new layer", "rectangle", "dark spray", "erase spray", "on", "off", "words",
                            "fill pink", "up", "10:00:00"};
    app.archive.max_picture_pixels = 1 << 14;
    app.archive.max_sound_samples = 1 << 16;
    app.project.recording_suspended = false;

    std::string file_text;
    StderrCapture capture;
    for (int i = 0; i < 3000; i++) {
        std::string line;
        switch (pick(4)) {
        case 0: {
            line = keywords[pick(sizeof keywords / sizeof *keywords)];
            for (int n = pick(7); n > 0; n--) {
                line += pick(5) ? " " : "\t";
                line += tokens[pick(sizeof tokens / sizeof *tokens)];
            }
            break;
        }
        case 1: {
            const std::string& r = real[pick((int)real.size())];
            line = r.substr(0, pick((int)r.size() + 1));
            break;
        }
        case 2:
            for (int n = pick(60); n > 0; n--)
                line += (char)(1 + pick(255));
            break;
        default:
            line = real[pick((int)real.size())];
            break;
        }
        if (line.find("Open") == 0 || line.find("Import") == 0 || line.find("Save") == 0)
            continue;  // these reach the file system, which the other tests cover
        std::string next = real[pick((int)real.size())];
        next = next.substr(0, pick((int)next.size() + 1));
        execute_archive_line(app, line, pick(4) ? next.c_str() : nullptr);
        int lines = count_lines(capture.take());
        ASSERT_LE(lines, 1) << "line " << i << ": " << line;
        expect_consistent(app.project);
        file_text += line + "\n";
    }
    // The same lines as an archive file, under a fresh project.
    std::string path = dir.file("random.sga");
    write_text_file(path, file_text);
    App other;
    other.history.enabled = false;
    other.archive.max_picture_pixels = 1 << 14;
    other.archive.max_sound_samples = 1 << 16;
    EXPECT_TRUE(load_archive(other, path));
    capture.finish();
    expect_consistent(other.project);
    // Still usable afterwards.
    run_lines(other, "Clear image\nDimensions 2 px x 2 px\nNew layer \"ok\"\nMultiply layer by 2");
    ASSERT_EQ(other.project.layers.size(), 1u);
    EXPECT_EQ(other.project.width, 2);
}
