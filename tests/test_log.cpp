#include <gtest/gtest.h>

#include <fcntl.h>
#include <set>
#include <thread>
#include <unistd.h>

#include "stderr_capture.h"
#include "support/log.h"
#include "testlib.h"

// Sends a standard stream's descriptor to /dev/null while it lives, so that tests which
// log a great deal keep the test output readable. The stream object stays the same.
struct SilenceFd {
    int fd, saved;
    explicit SilenceFd(int which) : fd(which), saved(dup(which))
    {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, fd);
        close(null);
    }
    ~SilenceFd()
    {
        dup2(saved, fd);
        close(saved);
    }
};

TEST(Log, MirrorsStandardStreamsAfterTheHeader)
{
    TempDir dir;
    write_text_file(dir.file("logfile.txt"), "an earlier run\n");
    ASSERT_EQ(log_open(dir.path.c_str()), 1);
    std::string other_path = dir.file("other.txt");
    FILE* other = fopen(other_path.c_str(), "wb");
    ASSERT_NE(other, nullptr);
    std::string big(5000, 'x');   // longer than the formatting buffer on the stack
    {
        SilenceFd quiet_out(1), quiet_err(2);
        EXPECT_EQ(log_printf(stdout, "Progress %d%%\n", 50), 13);
        EXPECT_EQ(log_printf(stderr, "Error: %s\n", "no sound"), 16);
        log_printf(other, "only in the other file\n");
        log_printf(stdout, "%s\n", big.c_str());
        log_close();
        log_printf(stderr, "after closing\n");
    }
    fclose(other);
    EXPECT_EQ(read_text_file(other_path), "only in the other file\n");
    EXPECT_EQ(read_text_file(dir.file("logfile.txt")),
              "Sonographica 1.11.2\n\nOutput log\n\nProgress 50%\nError: no sound\n" + big + "\n");
}

TEST(Log, WithoutAFolderTheProgramRunsOn)
{
    EXPECT_EQ(log_open(nullptr), 0);
    EXPECT_EQ(log_open(""), 0);
    EXPECT_EQ(log_open("/nonexistent-folder/for/the/log"), 0);
    SilenceFd quiet(1);
    EXPECT_EQ(log_printf(stdout, "still %s\n", "works"), 12);
}

TEST(Log, FileOpenLoggedReportsMissingFiles)
{
    TempDir dir;
    ASSERT_EQ(log_open(dir.path.c_str()), 1);
    write_text_file(dir.file("here.txt"), "x");
    {
        SilenceFd quiet(2);
        FILE* f = file_open_logged(dir.file("here.txt").c_str(), "rb");
        ASSERT_NE(f, nullptr);
        fclose(f);
        EXPECT_EQ(file_open_logged(dir.file("missing.wav").c_str(), "rb"), nullptr);
    }
    log_close();
    EXPECT_EQ(read_text_file(dir.file("logfile.txt")),
              "Sonographica 1.11.2\n\nOutput log\n\nFile not found: " + dir.file("missing.wav") + "\n");
}

TEST(Log, MessagesOfDifferentThreadsStayWhole)
{
    TempDir dir;
    ASSERT_EQ(log_open(dir.path.c_str()), 1);
    const int threads = 4, per_thread = 250;
    {
        SilenceFd quiet_out(1), quiet_err(2);
        std::vector<std::thread> pool;
        for (int t = 0; t < threads; t++)
            pool.emplace_back([t] {
                std::string body(200, (char)('a' + t));
                for (int i = 0; i < per_thread; i++)
                    log_printf(t % 2 ? stderr : stdout, "thread %d line %d %s\n", t, i, body.c_str());
            });
        for (std::thread& th : pool)
            th.join();
    }
    log_close();
    std::string text = read_text_file(dir.file("logfile.txt"));
    std::set<std::string> expected;
    for (int t = 0; t < threads; t++)
        for (int i = 0; i < per_thread; i++)
            expected.insert("thread " + std::to_string(t) + " line " + std::to_string(i) + " " +
                            std::string(200, (char)('a' + t)));
    size_t start = std::string("Sonographica 1.11.2\n\nOutput log\n\n").size();
    int lines = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        EXPECT_EQ(expected.count(text.substr(start, end - start)), 1u) << text.substr(start, 40);
        start = end + 1;
        lines++;
    }
    EXPECT_EQ(lines, threads * per_thread);
}

#include "support/progress.h"

// Progress on a terminal is a bar redrawn in place; elsewhere (here: a file) one final line.
TEST(Progress, BarTextAndOneFinalLineOffTerminal)
{
    EXPECT_EQ(progress_bar_text("Analysing a.wav", 0, 10), "Analysing a.wav [..........]   0%");
    EXPECT_EQ(progress_bar_text("Analysing a.wav", 45, 10), "Analysing a.wav [####......]  45%");
    EXPECT_EQ(progress_bar_text("x", 100, 4), "x [####] 100%");
    EXPECT_EQ(progress_bar_text("x", 250, 4), "x [####] 100%");

    StderrCapture err;
    ProgressLine p;
    progress_begin(p, "Rendering sound (noise synthesis)");
    EXPECT_FALSE(p.terminal);
    for (int i = 0; i <= 100; i++)
        progress_update(p, i / 100.0);
    progress_end(p, 1.0);
    progress_end(p, 1.0);
    EXPECT_EQ(err.finish(), "Rendering sound (noise synthesis): 100%\n");
}
