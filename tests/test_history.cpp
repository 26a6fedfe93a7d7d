#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "commands/app.h"
#include "commands/history.h"
#include "stderr_capture.h"
#include "support/paths.h"
#include "testlib.h"

namespace {

long long fake_tick = 1000;
long long read_fake_tick() { return fake_tick; }
// 2024-01-02 03:04:05 UTC
time_t fixed_time() { return 1704164645; }

struct HistoryTest : ::testing::Test {
    TempDir dir;
    App app;
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
        fake_tick = 1000;
        app.history.path = dir.file("history.sga");
        app.history.tick_ms = read_fake_tick;
        app.history.wall_clock = fixed_time;
    }
    std::string history() { return read_text_file(app.history.path); }
};

} // namespace

TEST_F(HistoryTest, TimeStampsChooseTheirFormByTheGap)
{
    record_line(app, record_action, 0, nullptr, "First");
    fake_tick += 50;
    record_line(app, record_action, 0, nullptr, "Fifty");
    fake_tick += 1500;
    record_line(app, record_action, 0, nullptr, "Fifteen hundred");
    fake_tick += 10 * 60 * 1000;
    record_line(app, record_action, 0, nullptr, "Ten minutes");
    fake_tick += 1;
    record_line(app, record_action, 0, nullptr, "At once");
    fake_tick += 300000;
    record_line(app, record_action, 0, nullptr, "Five minutes");
    EXPECT_EQ(history(), "Time 2024-01-02 03:04:05\nFirst\n"
                         "Time +0.050 s\nFifty\n"
                         "Time +1.50 s\nFifteen hundred\n"
                         "Time 2024-01-02 03:04:05\nTen minutes\n"
                         "At once\n"
                         "Time +300.00 s\nFive minutes\n");
}

TEST_F(HistoryTest, StrokePointsCarryTheirOwnTimes)
{
    record_line(app, record_action, 0, nullptr, "Draw %s", "dark spray");
    record_line(app, record_plain, 0, nullptr, "Point size %g %s x %g %s", 0.2, "sec", 1.5, "st");
    record_line(app, record_plain, 0, nullptr, "Units %s,%s\nPoint intensity %g\nHarmonics %d\nLines", "sec", "Hz",
                0.25, 0);
    for (int i = 0; i < 3; i++) {
        fake_tick += 10 + i;
        record_line(app, record_stroke_point, 0, nullptr, "%-8g\t%-8g\t", 1.0 + i, 440.0);
    }
    fake_tick += 120;
    record_line(app, record_action, 0, nullptr, "Undo\n");
    EXPECT_EQ(history(), "Time 2024-01-02 03:04:05\nDraw dark spray\n"
                         "Point size 0.2 sec x 1.5 st\n"
                         "Units sec,Hz\nPoint intensity 0.25\nHarmonics 0\nLines\n"
                         "1       \t440     \tT+0.010s\n"
                         "2       \t440     \tT+0.011s\n"
                         "3       \t440     \tT+0.012s\n"
                         "Time +0.12 s\nUndo\n");
}

TEST_F(HistoryTest, AStrokePointWithoutAStampIsEndedByTheNextRecord)
{
    // The very first stamp of a run is a date; with no time elapsed none is written, and
    // the open point line is ended before anything else.
    fake_tick = 0;
    app.history.tick_ms = [] { return 1LL; };
    record_line(app, record_stroke_point, 0, nullptr, "1\t2\t");
    record_line(app, record_stroke_point, 0, nullptr, "3\t4\t");
    record_line(app, record_plain, 0, nullptr, "Lines");
    EXPECT_EQ(history(), "1\t2\t\n3\t4\tT+0.000s\nLines\n");
}

TEST_F(HistoryTest, HeaderPendingStartsANewHistory)
{
    record_line(app, record_action, 0, nullptr, "Old project");
    history_restart_for_open(app.history);
    fake_tick += 20;
    record_line(app, record_action, 0, nullptr, "Open \"%s\"", "a.wav");
    EXPECT_EQ(history(), "Sonographica Archive v1.2.2\nTime 2024-01-02 03:04:05\n\nOpen \"a.wav\"\n");
}

TEST_F(HistoryTest, OpeningBeforeAnythingWasRecordedStartsWithoutHeader)
{
    write_text_file(app.history.path, "last session\n");
    history_restart_for_open(app.history);
    record_line(app, record_action, 0, nullptr, "Open \"a.wav\"");
    EXPECT_EQ(history(), "Time 2024-01-02 03:04:05\nOpen \"a.wav\"\n");
}

TEST_F(HistoryTest, ImportDialogAndNewProjectAlwaysWriteTheHeader)
{
    history_restart_for_import_dialog(app.history);
    record_line(app, record_action, 0, nullptr, "Import");
    EXPECT_EQ(history(), "Sonographica Archive v1.2.2\nTime 2024-01-02 03:04:05\n\nImport\n");

    fake_tick += 5000;
    history_restart_for_new_project(app.history);
    record_line(app, record_dated, 1, nullptr, "Title \" \"\n");
    EXPECT_EQ(history(), "Sonographica Archive v1.2.2\nTime 2024-01-02 03:04:05\n\nImport\n"
                         "Sonographica Archive v1.2.2\nTime 2024-01-02 03:04:05\n\n"
                         "Title \" \"\n");
    EXPECT_EQ(app.project.title, " ");
}

TEST_F(HistoryTest, SuspendedOrExecuteOnlyWritesNothingButStillExecutes)
{
    app.project.recording_suspended = true;
    int changed = 0;
    EXPECT_EQ(record_line(app, record_action, 1, &changed, "Title \"%s\"", "Kept"), 1);
    EXPECT_EQ(changed, 1);
    app.project.recording_suspended = false;
    record_line(app, record_execute_only, 1, nullptr, "Time resolution 50 px/s");
    EXPECT_FALSE(file_exists(app.history.path));
    EXPECT_EQ(app.project.title, "Kept");
    EXPECT_EQ(app.project.time_resolution, 50.0f);
}

TEST_F(HistoryTest, AHistoryThatCannotBeOpenedDropsTheRecordAndTheAction)
{
    app.history.path = dir.file("missing-folder/history.sga");
    EXPECT_EQ(record_line(app, record_action, 1, nullptr, "Title \"Lost\""), 0);
    EXPECT_EQ(app.project.title, "");
}

TEST_F(HistoryTest, SavingTheHistoryCopiesItAndRecordingGoesOn)
{
    record_line(app, record_action, 0, nullptr, "Clear image");
    fake_tick += 30;
    record_line(app, record_action, 0, nullptr, "Dimensions 10 px x 10 px");
    std::string target = dir.file("copy.sga");
    ASSERT_TRUE(save_archive(app, target, false));
    std::string saved = read_text_file(target);
    EXPECT_EQ(saved, history());
    fake_tick += 40;
    record_line(app, record_action, 0, nullptr, "New layer \"Layer 0\"");
    EXPECT_EQ(history(), saved + "Time +0.040 s\nNew layer \"Layer 0\"\n");
    EXPECT_EQ(read_text_file(target), saved);
}

TEST_F(HistoryTest, SavingBeforeAnythingWasRecordedCopiesNothingOfAnEarlierSession)
{
    write_text_file(app.history.path, "Open \"earlier.wav\"\n");
    std::string target = dir.file("copy.sga");
    ASSERT_TRUE(save_archive(app, target, false));
    EXPECT_EQ(read_text_file(target), "");
    // The next record still starts the history afresh.
    record_line(app, record_plain, 0, nullptr, "Clear image");
    EXPECT_EQ(history(), "Clear image\n");
}

TEST_F(HistoryTest, AppendingAnArchiveKeepsItsLinesAndData)
{
    std::string long_line(3000, 'a');
    std::string data(12000, '%');
    data += "z";
    std::string archive = "Sonographica Archive v1.2.2\r\n"
                          "   \n"
                          "Title \"x\"\n" +
                          long_line + "\n" +
                          "Base85 2400 words\n" + data + "\n" +
                          "Selected layer 0";  // no line feed at the end
    std::string path = dir.file("in.sga");
    write_text_file(path, archive);
    record_line(app, record_action, 0, nullptr, "Before");
    StderrCapture capture;
    append_archive_to_history(app.history, path);
    std::string log = capture.finish();
    EXPECT_EQ(log, "Warning: line in file " + path + " exceeds allowed length\n");
    std::string expected = "Time 2024-01-02 03:04:05\nBefore\n"
                           "\n"
                           "Sonographica Archive v1.2.2\r\n"
                           "\n"
                           "Title \"x\"\n"
                           "Base85 2400 words\n" + data + "\n" +
                           "Selected layer 0\n"
                           "\n";
    EXPECT_EQ(history(), expected);
    EXPECT_TRUE(app.history.header_pending);
}

TEST_F(HistoryTest, LineOfExactly2049CharactersIsCopied2050IsNot)
{
    std::string ok(2049, 'b'), too_long(2050, 'c');
    std::string path = dir.file("in.sga");
    write_text_file(path, ok + "\n" + too_long + "\n\n");
    StderrCapture capture;
    append_archive_to_history(app.history, path);
    EXPECT_EQ(count_lines(capture.finish()), 1);
    // The archive ended with an empty line, so no further line feed follows it.
    EXPECT_EQ(history(), "\n" + ok + "\n\n");
}

TEST_F(HistoryTest, TidyingRewritesTheHistoryAndRecordingContinues)
{
    std::string long_line(4000, 'x');
    write_text_file(app.history.path, "Clear image\n" + long_line + "\nNew layer \"a\"");
    StderrCapture capture;
    tidy_history(app.history);
    EXPECT_EQ(capture.finish(), "Warning: line in file history.sga exceeds allowed length\n");
    EXPECT_FALSE(file_exists(dir.file("history_.sga")));
    fake_tick += 100;
    record_line(app, record_action, 0, nullptr, "Undo");
    EXPECT_EQ(history(), "Clear image\nNew layer \"a\"\n\nTime 2024-01-02 03:04:05\nUndo\n");
}

TEST_F(HistoryTest, RecognisesTheHistoryFileByAnyPath)
{
    write_text_file(app.history.path, "");
    EXPECT_TRUE(is_history_file(app.history, dir.path + "/./history.sga"));
    EXPECT_FALSE(is_history_file(app.history, dir.file("other.sga")));
}
