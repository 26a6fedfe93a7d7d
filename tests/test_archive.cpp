#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "commands/app.h"
#include "archive_test_util.h"
#include "media/file_names.h"
#include "media/sound_write.h"
#include "commands/archive_read.h"
#include "commands/archive_write.h"
#include "project/base85.h"
#include "stderr_capture.h"
#include "support/paths.h"
#include "testlib.h"

namespace {

uint32_t bits_of(float f)
{
    uint32_t b;
    memcpy(&b, &f, 4);
    return b;
}

struct ArchiveTest : ::testing::Test {
    TempDir dir;
    App app;
    void SetUp() override
    {
        app.history.path = dir.file("history.sga");
        app.history.enabled = false;
    }
    void run(const std::string& text) { run_lines(app, text); }
    Project& p() { return app.project; }
};

// Every pixel of two pictures has the same bits.
void expect_same_bits(Image a, Image b, int rows, int columns)
{
    ASSERT_TRUE(a && b);
    for (int y = 0; y < rows; y++)
        for (int x = 0; x < columns; x++)
            ASSERT_EQ(bits_of(a[y][x]), bits_of(b[y][x])) << "at " << x << "," << y;
}

} // namespace

TEST_F(ArchiveTest, StatusFileRoundTripsBitForBit)
{
    run("Clear image\nTitle \"Round trip\"\nFrequency range 40 Hz - 12000 Hz\nFrequency scale 1.5\n"
        "Time resolution 80 px/s\nDimensions 37 px x 23 px\n"
        "New layer \"Bottom\"\nNew separator \"Group\"\nBlending multiplication\n"
        "Central convolution point 3 px , 4 px\nNew layer \"Top\"\nBlending reverse division\n"
        "Central convolution point 30 px , 20 px\nSynthesis lossless");
    ASSERT_EQ(p().layers.size(), 3u);
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> dist(-2.0f, 2.0f);
    for (int i : {0, 2})
        for (int y = 0; y < 23; y++)
            for (int x = 0; x < 37; x++)
                p().layers[i].image[y][x] = dist(rng);
    p().layers[2].image[0][0] = NAN;
    p().layers[2].image[0][1] = -0.0f;
    p().layers[0].gamma = 0.5f;
    p().layers[2].gamma = 2.0f;
    p().layers[2].off = 1;
    // Original layer image of another size on the bottom layer.
    p().layers[0].original_image = image_alloc(5, 7);
    p().layers[0].original_width = 7;
    p().layers[0].original_height = 5;
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 7; x++)
            p().layers[0].original_image[y][x] = dist(rng);
    // Original sound and original image.
    std::vector<float> sound(1000);
    for (float& s : sound)
        s = dist(rng);
    ASSERT_TRUE(set_original_sound(p(), sound, 1000));
    p().original_image = image_alloc(23, 37);
    p().original_image_width = 37;
    p().original_image_height = 23;
    for (int y = 0; y < 23; y++)
        for (int x = 0; x < 37; x++)
            p().original_image[y][x] = dist(rng);
    p().current_layer = 1;

    std::string first = dir.file("first.sga");
    ASSERT_TRUE(write_status_file(app, first));

    App loaded;
    loaded.history.path = dir.file("history.sga");
    loaded.history.enabled = false;
    ASSERT_TRUE(load_archive(loaded, first));
    Project& q = loaded.project;
    EXPECT_EQ(q.title, "Round trip");
    EXPECT_EQ(q.width, 37);
    EXPECT_EQ(q.height, 23);
    EXPECT_EQ(q.fmin, 40.0f);
    EXPECT_EQ(q.fmax, 12000.0f);
    EXPECT_EQ(q.scale_base, 1.5f);
    EXPECT_EQ(q.time_resolution, 80.0f);
    EXPECT_TRUE(q.lossless);
    ASSERT_EQ(q.layers.size(), 3u);
    EXPECT_EQ(q.current_layer, 1);
    const char* names[] = {"Bottom", "Group", "Top"};
    int modes[] = {0, 1, 3};
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(q.layers[i].name, names[i]);
        EXPECT_EQ(q.layers[i].blending, modes[i]);
        EXPECT_EQ(q.layers[i].off, 0) << "every layer loads turned on";
    }
    EXPECT_EQ(q.layers[0].gamma, 0.5f);
    EXPECT_EQ(q.layers[2].gamma, 2.0f);
    EXPECT_EQ(q.layers[0].centre_set, 0);
    EXPECT_EQ(q.layers[1].centre_set, 1);
    EXPECT_EQ(q.layers[1].centre_x, 3);
    EXPECT_EQ(q.layers[1].centre_y, 4);
    EXPECT_EQ(q.layers[2].centre_x, 30);
    EXPECT_EQ(q.layers[2].centre_y, 20);
    EXPECT_EQ(q.layers[1].image, nullptr);
    expect_same_bits(q.layers[0].image, p().layers[0].image, 23, 37);
    expect_same_bits(q.layers[2].image, p().layers[2].image, 23, 37);
    ASSERT_EQ(q.layers[0].original_width, 7);
    ASSERT_EQ(q.layers[0].original_height, 5);
    expect_same_bits(q.layers[0].original_image, p().layers[0].original_image, 5, 7);
    EXPECT_EQ(q.layers[2].original_image, nullptr);
    ASSERT_EQ(q.original_sound_length, 1000);
    for (int i = 0; i < 1000; i++)
        ASSERT_EQ(bits_of(q.original_sound[i]), bits_of(sound[i]));
    ASSERT_EQ(q.original_image_width, 37);
    expect_same_bits(q.original_image, p().original_image, 23, 37);

    // Written again from what was loaded, the file is the same byte for byte (the off flag
    // aside, which a status file does not keep).
    std::string second = dir.file("second.sga");
    ASSERT_TRUE(write_status_file(loaded, second));
    EXPECT_EQ(read_binary_file(second), read_binary_file(first));
}

TEST_F(ArchiveTest, StatusFileOfAnEmptyProjectLoadsWithoutComplaint)
{
    std::string path = dir.file("empty.sga");
    ASSERT_TRUE(write_status_file(app, path));
    App loaded;
    loaded.history.enabled = false;
    StderrCapture capture;
    ASSERT_TRUE(load_archive(loaded, path));
    EXPECT_EQ(capture.finish(), "");
    EXPECT_EQ(loaded.project.layers.size(), 0u);
    EXPECT_EQ(loaded.project.current_layer, -1);
}

TEST_F(ArchiveTest, FrequencyRangeFromNotesWithOrWithoutAUnit)
{
    run("Frequency range A0 - C8");
    EXPECT_EQ(p().fmin, 27.5f);
    EXPECT_NEAR(p().fmax, 4186.009f, 0.001f);
    run("Frequency range 100 Hz - 200 Hz\nFrequency range A0 - C8 Hz");
    EXPECT_EQ(p().fmin, 27.5f);
    EXPECT_NEAR(p().fmax, 4186.009f, 0.001f);
    run("Frequency range 50 Hz - A4");
    EXPECT_EQ(p().fmin, 50.0f);
    EXPECT_EQ(p().fmax, 440.0f);
}

TEST_F(ArchiveTest, BadFrequencyRangesChangeNothingAndLogOnce)
{
    run("Frequency range 100 Hz - 200 Hz");
    for (const char* line : {"Frequency range 100 hz - 200 kHz", "Frequency range 300 Hz - 200 Hz",
                             "Frequency range H4 - C8", "Frequency range 0 Hz - 200 Hz",
                             "Frequency range 1/0 Hz - 200 Hz"}) {
        StderrCapture capture;
        run(line);
        EXPECT_EQ(count_lines(capture.finish()), 1) << line;
        EXPECT_EQ(p().fmin, 100.0f) << line;
        EXPECT_EQ(p().fmax, 200.0f) << line;
    }
}

TEST_F(ArchiveTest, MoveLayerSignFollowsTheArchiveVersion)
{
    const char* setup = "Clear image\nDimensions 20 px x 20 px\nNew layer \"a\"";
    run(setup);
    p().layers[0].image[10][5] = 1.0f;
    run("Move layer +10 px x +5 px");
    EXPECT_EQ(pixel(app, 0, 15, 5), 1.0f) << "version 2.2: five rows up, towards row 0";

    run("Sonographica Archive v1.1.0");
    EXPECT_EQ(app.archive.version, 1.0f);
    run(setup);
    p().layers[0].image[10][5] = 1.0f;
    run("Move layer +10 px x +5 px");
    EXPECT_EQ(pixel(app, 0, 15, 15), 1.0f) << "version 1.0: five rows down";

    // A line whose offset has no sign is not a move.
    run("Move layer 3 px x 3 px");
    EXPECT_EQ(pixel(app, 0, 15, 15), 1.0f);
}

TEST_F(ArchiveTest, LinesOf2050CharactersAreIgnored)
{
    std::string line2049 = "Title \"" + std::string(2049 - 8, 'a') + "\"";
    std::string line2050 = "Title \"" + std::string(2050 - 8, 'b') + "\"";
    ASSERT_EQ(line2049.size(), 2049u);
    ASSERT_EQ(line2050.size(), 2050u);
    int changed = 0;
    StderrCapture capture;
    execute_archive_line(app, line2050, nullptr, &changed);
    EXPECT_EQ(capture.finish(), "");
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(p().title, "");
    execute_archive_line(app, line2049, nullptr, &changed);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(p().title, std::string(2041, 'a'));
}

TEST_F(ArchiveTest, RectangleWithInfiniteIntensityText)
{
    run("Clear image\nDimensions 10 px x 10 px\nNew layer \"a\"");
    for (int y = 0; y < 10; y++)
        for (int x = 0; x < 10; x++)
            p().layers[0].image[y][x] = 1.0f;
    run("Draw rectangle\nRectangle start 2 px x 3 px\nIntensity 1.#INF\nRectangle end 4 px x 6 px");
    EXPECT_EQ(pixel(app, 0, 2, 3), 100000.0f);
    EXPECT_EQ(pixel(app, 0, 3, 5), 100000.0f);
    EXPECT_EQ(pixel(app, 0, 4, 5), 1.0f);
    EXPECT_EQ(pixel(app, 0, 2, 6), 1.0f);
    EXPECT_EQ(pixel(app, 0, 1, 3), 1.0f);
    // The undo copy was taken just before the rectangle.
    EXPECT_EQ(p().undo_image[3][2], 1.0f);
    // The three flags were cleared: another corner alone draws nothing.
    run("Rectangle end 10 px x 10 px");
    EXPECT_EQ(pixel(app, 0, 8, 8), 1.0f);
    // Rectangle lines without "Draw rectangle" do nothing.
    run("New layer \"b\"\nIntensity 5\nRectangle start 0 px x 0 px\nRectangle end 10 px x 10 px");
    EXPECT_EQ(pixel(app, 0, 8, 8), 1.0f);
}

TEST_F(ArchiveTest, BlendingKeywordLastMatchWins)
{
    run("Clear image\nDimensions 4 px x 4 px\nNew layer \"a\"\nBlending convolution looped");
    EXPECT_EQ(p().layers[0].blending, 13);
    run("Blending horizontal propagation looped");
    EXPECT_EQ(p().layers[0].blending, 11);
    StderrCapture capture;
    run("Blending sideways");
    EXPECT_EQ(capture.finish(), "Blending mode \"sideways\" unknown for layer \"a\"\n");
    EXPECT_EQ(p().layers[0].blending, 11);
}

TEST_F(ArchiveTest, SynthesisWordsLeaveLiveSynthesisOn)
{
    run("Synthesis noise");
    EXPECT_EQ(app.requests.live_synthesis_on, 1) << "noise with live synthesis off switches it on";
    EXPECT_FALSE(p().lossless);
    app.requests.live_synthesis_on = 0;
    p().live_synthesis = true;
    run("Synthesis lossless");
    EXPECT_TRUE(p().lossless);
    EXPECT_EQ(app.requests.live_synthesis_on, 1);
    app.requests.live_synthesis_on = 0;
    run("Synthesis live");
    EXPECT_FALSE(p().lossless);
    EXPECT_EQ(app.requests.live_synthesis_on, 0) << "already on";
}

TEST_F(ArchiveTest, DimensionsGrowsCropSetsExactly)
{
    run("Clear image\nDimensions 100 px x 50 px\nNew layer \"a\"");
    p().layers[0].image[49][99] = 7.0f;
    p().layers[0].image[10][10] = 3.0f;
    run("Dimensions 80 px x 40 px");
    EXPECT_EQ(p().width, 100);
    EXPECT_EQ(p().height, 50);
    EXPECT_EQ(pixel(app, 0, 99, 49), 7.0f);
    run("Dimensions 120 px x 40 px");
    EXPECT_EQ(p().width, 120);
    EXPECT_EQ(p().height, 50);
    EXPECT_EQ(pixel(app, 0, 99, 49), 7.0f);
    run("Crop 80 px x 40 px");
    EXPECT_EQ(p().width, 80);
    EXPECT_EQ(p().height, 40);
    EXPECT_EQ(pixel(app, 0, 10, 10), 3.0f);
    ASSERT_EQ(p().layers.size(), 1u);
}

TEST_F(ArchiveTest, DimensionsReadsTimesAndAddsAColumnForUnits)
{
    run("Time resolution 100 px/s\nClear image\nDimensions 1.5 sec x 20 px");
    EXPECT_EQ(p().width, 151);
    run("Clear image\nDimensions 0:02 sec x 20 px");
    EXPECT_EQ(p().width, 201);
    // An old archive, or a project with no picture yet, starts over.
    run("Clear image\nDimensions 30 px x 20 px\nNew layer \"a\"\nSonographica Archive v1.0.9\nDimensions 10 px x 10 px");
    EXPECT_EQ(app.archive.version, 0.9f);
    EXPECT_EQ(p().width, 10);
    EXPECT_EQ(p().layers.size(), 0u);
}

TEST_F(ArchiveTest, UndoExchangesSoASecondUndoRedoes)
{
    run("Clear image\nDimensions 3 px x 2 px\nNew layer \"a\"");
    p().layers[0].image[1][2] = 4.0f;
    run("Multiply layer by 3");
    EXPECT_EQ(pixel(app, 0, 2, 1), 12.0f);
    run("Undo");
    EXPECT_EQ(pixel(app, 0, 2, 1), 4.0f);
    run("Undo");
    EXPECT_EQ(pixel(app, 0, 2, 1), 12.0f);
}

TEST_F(ArchiveTest, GammaTwoThenOneRestoresThePixels)
{
    run("Clear image\nDimensions 2 px x 1 px\nNew layer \"a\"");
    p().layers[0].image[0][0] = 0.3f;
    p().layers[0].image[0][1] = 2.0f;
    run("Gamma 2");
    EXPECT_FLOAT_EQ(pixel(app, 0, 0, 0), 0.09f);
    EXPECT_EQ(app.gamma_control, 2.0f);
    run("Gamma 1");
    EXPECT_FLOAT_EQ(pixel(app, 0, 0, 0), 0.3f);
    EXPECT_FLOAT_EQ(pixel(app, 0, 1, 0), 2.0f);
}

TEST_F(ArchiveTest, BaseDataFillsTheAnnouncedTargets)
{
    run("Clear image\nDimensions 2 px x 1 px\nNew layer \"a\"\nBase85 2 words\n:cdG9:cdG9z");
    EXPECT_EQ(pixel(app, 0, 1, 0), 1.0f);
    // A separator takes no data; the layer below keeps its pixels and nothing is logged.
    StderrCapture capture;
    run("New separator \"s\"\nBase85 2 words\n%%%%%%%%%%z");
    EXPECT_EQ(capture.finish(), "");
    EXPECT_EQ(pixel(app, 0, 1, 0), 1.0f);
    // Selecting a layer makes its pixels the target.
    run("Selected layer 0\nBase85 2 words\n%%%%%%%%%%z");
    EXPECT_EQ(pixel(app, 0, 1, 0), 0.0f);
}

TEST_F(ArchiveTest, OriginalSoundIsPaddedAndFilled)
{
    run("New original sound (3 samples)\nSamplerate 44100 Hz\nBase85 3 words\n:cdG9:cdG9:cdG9z");
    ASSERT_EQ(p().original_sound_length, 3);
    EXPECT_GE((int)p().original_sound.size(), 3);
    EXPECT_EQ(p().original_sound[2], 1.0f);
    EXPECT_EQ(app.archive.pending, pending_original_sound);
}

TEST_F(ArchiveTest, OriginalSoundAtAnotherRateIsResampled)
{
    std::string data;
    char word[5];
    for (int i = 0; i < 2205; i++) {
        base85_encode_word(bits_of(0.5f), word);
        data.append(word, 5);
    }
    run("New original sound (2205 samples)\nSamplerate 22050 Hz\nBase85 2205 words\n" + data + "z");
    EXPECT_EQ(p().original_sound_length, 4410);
    // A constant stays constant away from the ends; the resampler keeps its gain of
    // sqrt(22050 / 44100).
    EXPECT_NEAR(p().original_sound[2205], 0.5f * std::sqrt(0.5f), 1e-3f);
    EXPECT_GE((int)p().original_sound.size(), 4410) << "padded for synthesis blocks";
}

TEST_F(ArchiveTest, SelectedLayerClampsAndReadsSigns)
{
    run("Clear image\nDimensions 2 px x 2 px\nNew layer \"a\"\nNew layer \"b\"\nNew layer \"c\"");
    EXPECT_EQ(p().current_layer, 2);
    run("Selected layer +1");
    EXPECT_EQ(p().current_layer, 2);
    run("Selected layer -5");
    EXPECT_EQ(p().current_layer, 0);
    run("Selected layer 1");
    EXPECT_EQ(p().current_layer, 1);
    run("Rename layer \"middle\"\nTurn layer off");
    EXPECT_EQ(p().layers[1].name, "middle");
    EXPECT_EQ(p().layers[1].off, 1);
    run("Move layer up");
    EXPECT_EQ(p().current_layer, 2);
    EXPECT_EQ(p().layers[2].name, "middle");
}

TEST_F(ArchiveTest, StrokeBlocksKeepTheirStateBetweenLines)
{
    run("Clear image\nDimensions 100 px x 100 px\nNew layer \"a\"");
    p().layers[0].image[5][5] = 2.0f;
    run("Draw smart erase spray\nPoint size 4 px x 6 px\nUnits px,px\nPoint intensity 0.5\nHarmonics 3\nLines");
    ArchiveState& st = app.archive;
    EXPECT_EQ(st.pending, pending_spray_stroke);
    EXPECT_EQ(st.spray_kind, 3);
    EXPECT_EQ(st.point_width, 4.0f);
    EXPECT_EQ(st.point_height, 6.0f);
    EXPECT_EQ(st.intensity, 0.5f);
    EXPECT_EQ(st.harmonics, 3);
    EXPECT_EQ(st.new_stroke, 1);
    EXPECT_EQ(p().undo_image[5][5], 2.0f) << "a spray's Draw line takes the undo copy";
    run("10      \t20      \tT+0.010s\nTurn layer off\n11\t21\tT+0.010s");
    EXPECT_EQ(st.new_stroke, 0);
    EXPECT_EQ(st.pending, pending_spray_stroke) << "other lines inside a stroke leave it pending";
    run("Draw erase spray");
    EXPECT_EQ(st.erase, 1);
    EXPECT_EQ(st.spray_kind, 3) << "the erase spray keeps the tool kind";
    // The same header lines outside a stroke do nothing.
    run("Draw rectangle\nHarmonics 9\nLines");
    EXPECT_EQ(st.harmonics, 3);
}

TEST_F(ArchiveTest, ImportModesNeedAllThreeFields)
{
    StderrCapture capture;
    run("Import \"nowhere.png\" hcrop vextend");
    EXPECT_EQ(app.archive.import_horizontal, 0);
    EXPECT_EQ(app.archive.import_vertical, 2);
    run("Import \"nowhere.png\"");
    EXPECT_EQ(app.archive.import_horizontal, 2);
    EXPECT_EQ(app.archive.import_vertical, 1);
    run("Import \"nowhere.png\" hfit vsideways");
    EXPECT_EQ(app.archive.import_horizontal, 1);
    EXPECT_EQ(app.archive.import_vertical, 1);
    EXPECT_EQ(count_lines(capture.finish()), 3) << "one 'not found' line each";
}

TEST_F(ArchiveTest, OpenFindsTheFileBesideTheArchive)
{
    make_folders(dir.file("moved"));
    std::vector<float> sound(22050, 0.0f);
    for (size_t i = 0; i < sound.size(); i++)
        sound[i] = (float)std::sin(0.05 * (double)i);
    ASSERT_TRUE(save_sound_file(dir.file("moved/song.wav"), sound.data(), sound.size(), 44100));
    write_text_file(dir.file("moved/project.sga"), "Analysis time resolution 50 px/s\nOpen \"/gone/away/song.wav\"\n");
    ASSERT_TRUE(load_archive(app, dir.file("moved/project.sga")));
    // Opened with the analysis settings the archive gave before the line.
    ASSERT_EQ(p().layers.size(), 1u);
    EXPECT_EQ(p().layers[0].name, "song.wav");
    EXPECT_EQ(p().time_resolution, 50.0f);
    EXPECT_EQ(p().width, 25);
    EXPECT_EQ(p().original_sound_length, 22050);
    EXPECT_EQ(p().archive_folder, "") << "the folder is forgotten once the archive is done";
}

TEST_F(ArchiveTest, SaveInsideAnArchiveWritesBesideIt)
{
    make_folders(dir.file("work"));
    write_text_file(dir.file("work/make.sga"),
                    "Clear image\nDimensions 4 px x 3 px\nNew layer \"a\"\nMultiply layer by 2\nSave \"out.sga\"\n");
    ASSERT_TRUE(load_archive(app, dir.file("work/make.sga")));
    std::string out = read_text_file(dir.file("work/out.sga"));
    EXPECT_NE(out.find("New layer \"a\"\n"), std::string::npos);
    // Written while recording was suspended, the file still carries the pixels.
    EXPECT_NE(out.find("Base85 12 words\n"), std::string::npos);
}

TEST_F(ArchiveTest, LoadingFinishesWithTheClosingSteps)
{
    app.history.enabled = true;
    write_text_file(dir.file("a.sga"), "Clear image\r\nDimensions 4 px x 3 px\r\nNew layer \"a\"\r\nNew layer \"b\"\r\n"
                                       "Gamma 3\r\nSelected layer 0\r\n");
    ASSERT_TRUE(load_archive(app, dir.file("a.sga")));
    EXPECT_EQ(p().current_layer, 0);
    EXPECT_EQ(p().layer_name_counter, 1);
    EXPECT_EQ(app.gamma_control, 1.0f);
    EXPECT_EQ(p().content_changed, 3);
    EXPECT_TRUE(p().recomposite_needed);
    EXPECT_FALSE(p().recording_suspended);
    EXPECT_TRUE(app.history.header_pending);
    std::string history = read_text_file(app.history.path);
    EXPECT_EQ(history, "\nClear image\r\nDimensions 4 px x 3 px\r\nNew layer \"a\"\r\nNew layer \"b\"\r\nGamma 3\r\n"
                       "Selected layer 0\r\n\n");
}

TEST_F(ArchiveTest, ReplayingTheHistoryTidiesItInsteadOfCopyingIt)
{
    app.history.enabled = true;
    write_text_file(app.history.path, "Clear image\nTitle \"Replayed\"\n");
    ASSERT_TRUE(load_archive(app, app.history.path));
    EXPECT_EQ(p().title, "Replayed");
    record_line(app, record_plain, 0, nullptr, "Undo");
    EXPECT_EQ(read_text_file(app.history.path), "Clear image\nTitle \"Replayed\"\n\nUndo\n");
}

TEST_F(ArchiveTest, AnArchiveThatOpensItselfStops)
{
    write_text_file(dir.file("loop.sga"), "Title \"again\"\nOpen \"loop.sga\"\n");
    StderrCapture capture;
    ASSERT_TRUE(load_archive(app, dir.file("loop.sga")));
    EXPECT_EQ(count_lines(capture.finish()), 1);
    EXPECT_EQ(p().title, "again");
    EXPECT_EQ(app.archive.load_depth, 0);
}

TEST_F(ArchiveTest, OptionsAndCentre)
{
    run("Clear image\nDimensions 7 px x 5 px\nNew layer \"a\"");
    EXPECT_EQ(p().layers[0].centre_x, 3);
    EXPECT_EQ(p().layers[0].centre_y, 2);
    run("Central convolution point 50 % , 2.4 px");
    EXPECT_EQ(p().layers[0].centre_x, 3);
    EXPECT_EQ(p().layers[0].centre_y, 2);
    EXPECT_EQ(p().layers[0].centre_set, 1);
    run("Time resolution 100 px/s\nEnable long block duration");
    EXPECT_TRUE(p().long_blocks);
    EXPECT_EQ(p().block_width, 12000);
    run("Disable long block duration\nEnable loop playback");
    EXPECT_FALSE(p().long_blocks);
    EXPECT_TRUE(p().loop_playback);
    run("Quit");
    EXPECT_EQ(app.requests.quit, 1);
}

TEST_F(ArchiveTest, TheCompositeFollowsEveryLine)
{
    run("Clear image\nDimensions 2 px x 1 px\nNew layer \"a\"\nBase85 2 words\n:cdG9:cdG9z\n"
        "New layer \"b\"\nBase85 2 words\n:cdG9%%%%%z\nBlending multiplication\nMerge all to new layer");
    ASSERT_EQ(p().layers.size(), 3u);
    EXPECT_EQ(pixel(app, 2, 0, 0), 1.0f);
    EXPECT_EQ(pixel(app, 2, 1, 0), 0.0f);
    // Turning the multiplying layer off changes what the next merge sees.
    run("Selected layer 1\nTurn layer off\nMerge all to new layer");
    ASSERT_EQ(p().layers.size(), 4u);
    EXPECT_EQ(pixel(app, 3, 0, 0), 2.0f);
    EXPECT_EQ(pixel(app, 3, 1, 0), 1.0f);
    // A gamma, a move and an undo each count as well.
    run("Selected layer 0\nGamma 2\nMultiply layer by 3\nMove layer +1 px x +0 px\nUndo\nMerge all to new layer");
    EXPECT_EQ(pixel(app, 4, 0, 0), 3.0f + 1.0f + 2.0f);
}

TEST(FileNames, ClassesByExtension)
{
    EXPECT_EQ(classify_file_name(""), file_class_none);
    EXPECT_EQ(classify_file_name("dir/x.SGA"), file_class_archive);
    EXPECT_EQ(classify_file_name("a.TIFF"), file_class_image);
    EXPECT_EQ(classify_file_name("a.jpeg"), file_class_image);
    EXPECT_EQ(classify_file_name("folder.d/noextension"), file_class_image);
    EXPECT_EQ(classify_file_name("a.wav"), file_class_sound);
    EXPECT_EQ(classify_file_name("a.tif.gz"), file_class_sound);
}
