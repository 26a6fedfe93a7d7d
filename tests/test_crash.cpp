#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/crash.h"
#include "testlib.h"

// Kept in globals so that the compiler cannot see the crashes coming and optimise them away.
volatile uintptr_t bad_address = 0x10;
volatile int recursion_limit = 1 << 30;

static int recurse(int depth)
{
    volatile char frame[512];
    frame[depth % 512] = (char)depth;
    if (depth > recursion_limit)
        return 0;
    return recurse(depth + 1) + frame[depth % 512];
}

// Runs `body` in a child process (which must die of a signal), returns that signal.
template <typename F>
static int crash_in_child(F body)
{
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        alarm(30);   // a hang ends as SIGALRM, which no test expects
        struct rlimit no_core = {0, 0};
        setrlimit(RLIMIT_CORE, &no_core);
        body();
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status))
        return 1000 + WEXITSTATUS(status);
    return WIFSIGNALED(status) ? WTERMSIG(status) : -1;
}

static std::vector<std::string> dumps_in(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name.rfind("Crash dump of ", 0) == 0 && name.size() > 18 &&
                name.compare(name.size() - 4, 4, ".dmp") == 0)
                names.push_back(name);
        }
        closedir(d);
    }
    return names;
}

TEST(Crash, FaultWritesAReportIntoTheFirstFolderThenDiesOfTheSignal)
{
    TempDir first, second;
    int sig = crash_in_child([&] {
        if (crash_handler_install(first.path.c_str()) != 1 || crash_handler_install(second.path.c_str()) != 0 ||
            first.path != crash_handler_folder())
            _exit(3);
        *(volatile int*)bad_address = 1;
    });
    EXPECT_EQ(sig, SIGSEGV);
    EXPECT_TRUE(dumps_in(second.path).empty());
    std::vector<std::string> dumps = dumps_in(first.path);
    ASSERT_EQ(dumps.size(), 1u);
    // "Crash dump of YYYY-MM-DD HH.MM.SS.dmp"
    EXPECT_EQ(dumps[0].size(), std::string("Crash dump of 2024-01-31 23.59.59.dmp").size());
    EXPECT_EQ(dumps[0][14 + 4], '-');
    EXPECT_EQ(dumps[0][14 + 13], '.');
    std::string report = read_text_file(first.file(dumps[0]));
    EXPECT_NE(report.find("Sonographica 1.11.2"), std::string::npos);
    EXPECT_NE(report.find("Signal: 11 SIGSEGV"), std::string::npos);
    EXPECT_NE(report.find("Faulting address: 0x10\n"), std::string::npos);
    size_t trace = report.find("Backtrace:\n");
    ASSERT_NE(trace, std::string::npos);
    EXPECT_NE(report.find("test_crash", trace), std::string::npos);
    EXPECT_EQ(report.back(), '\n');
}

TEST(Crash, StackOverflowIsReportedFromTheSignalStack)
{
    TempDir dir;
    int sig = crash_in_child([&] {
        crash_handler_install(dir.path.c_str());
        recurse(0);
    });
    EXPECT_EQ(sig, SIGSEGV);
    std::vector<std::string> dumps = dumps_in(dir.path);
    ASSERT_EQ(dumps.size(), 1u);
    EXPECT_NE(read_text_file(dir.file(dumps[0])).find("Backtrace:\n"), std::string::npos);
}

TEST(Crash, AbortWithoutAFolderReportsIntoTheWorkingDirectory)
{
    TempDir dir;
    int sig = crash_in_child([&] {
        if (chdir(dir.path.c_str()) != 0)
            _exit(4);
        crash_handler_install(nullptr);
        abort();
    });
    EXPECT_EQ(sig, SIGABRT);
    std::vector<std::string> dumps = dumps_in(dir.path);
    ASSERT_EQ(dumps.size(), 1u);
    std::string report = read_text_file(dir.file(dumps[0]));
    EXPECT_NE(report.find("Signal: 6 SIGABRT"), std::string::npos);
    EXPECT_NE(report.find("Sent by process"), std::string::npos);
}

TEST(Crash, UnwritableFolderStillEndsWithTheSignal)
{
    int sig = crash_in_child([&] {
        crash_handler_install("/nonexistent-folder/for/dumps");
        raise(SIGFPE);
    });
    EXPECT_EQ(sig, SIGFPE);
}
