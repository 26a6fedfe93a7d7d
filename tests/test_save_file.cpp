// Saving never destroys the file it replaces: every writer goes through a temporary beside
// the destination that is renamed over it only once everything reached the disk.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "commands/app.h"
#include "media/image_write.h"
#include "media/sound_write.h"
#include "commands/archive_read.h"
#include "commands/archive_write.h"
#include "commands/history.h"
#include "stderr_capture.h"
#include "support/paths.h"
#include "support/save_file.h"
#include "testlib.h"

namespace {

// A process number that no process has: one of a child that has ended.
long finished_process()
{
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    return (long)child;
}

// Files larger than `bytes` cannot be written while this lives, as on a nearly full disk:
// the write that reaches the limit fails with EFBIG instead of stopping the process.
struct FileSizeLimit {
    rlimit saved{};
    void (*old_handler)(int) = nullptr;
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        old_handler = signal(SIGXFSZ, SIG_IGN);
        rlimit low = saved;
        low.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &low);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, old_handler);
    }
};

}  // namespace

TEST(SaveFile, ReplacesTheFileKeepingItsPermissionsAndLeavesNoTemporary)
{
    TempDir dir;
    const std::string path = dir.file("take.txt");
    write_text_file(path, "old content that is longer than the new one\n");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(save_whole_file(path, "new\n", 4, "test"));
    EXPECT_EQ(read_text_file(path), "new\n");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(folder_entries(dir.path), std::vector<std::string>{"take.txt"});

    // A symbolic link keeps naming the file it named, which gets the new content.
    const std::string real = dir.file("real.txt"), link = dir.file("link.txt");
    write_text_file(real, "before\n");
    ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
    ASSERT_TRUE(save_whole_file(link, "after\n", 6, "test"));
    struct stat ls;
    ASSERT_EQ(lstat(link.c_str(), &ls), 0);
    EXPECT_TRUE(S_ISLNK(ls.st_mode));
    EXPECT_EQ(read_text_file(real), "after\n");

    // While a save is under way the destination still holds the old content.
    SaveFile s;
    ASSERT_TRUE(save_begin(s, path, "test"));
    ASSERT_TRUE(save_write(s, "half", 4));
    fflush(s.stream);
    EXPECT_EQ(read_text_file(path), "new\n");
    EXPECT_EQ(folder_entries(dir.path).size(), 4u);  // the temporary beside it
    // A second save of the same file meanwhile is refused rather than sharing the temporary.
    {
        StderrCapture err;
        SaveFile second;
        EXPECT_FALSE(save_begin(second, path, "second"));
        EXPECT_EQ(err.finish(), "second: couldn't write file '" + path + "': Device or resource busy\n");
    }
    save_abandon(s);
    EXPECT_EQ(read_text_file(path), "new\n");
    EXPECT_EQ(folder_entries(dir.path).size(), 3u);
    // Once the first is over, the file can be saved again.
    ASSERT_TRUE(save_whole_file(path, "third\n", 6, "test"));
    EXPECT_EQ(read_text_file(path), "third\n");
}

TEST(SaveFile, FailuresNameTheFileAndTheReasonAndKeepTheOldFile)
{
    TempDir dir;
    StderrCapture err;
    // A folder that cannot be written to even by the super-user: its "parent" is a file.
    const std::string blocker = dir.file("not-a-folder");
    write_text_file(blocker, "x");
    EXPECT_FALSE(save_whole_file(blocker + "/out.wav", "abc", 3, "writer()"));
    std::string message = err.take();
    EXPECT_EQ(message, "writer(): couldn't write file '" + blocker + "/out.wav': Not a directory\n");

    // A folder without write permission, where permissions apply.
    const std::string locked = dir.file("locked");
    ASSERT_TRUE(make_folders(locked));
    write_text_file(locked + "/keep.wav", "previous");
    ASSERT_EQ(chmod(locked.c_str(), 0555), 0);
    if (geteuid() != 0) {
        EXPECT_FALSE(save_whole_file(locked + "/keep.wav", "new", 3, "writer()"));
        EXPECT_NE(err.take().find("keep.wav': Permission denied"), std::string::npos);
        EXPECT_EQ(read_text_file(locked + "/keep.wav"), "previous");
    } else {
        printf("Running as root: the permission bits of a folder do not stop a save, not tested\n");
    }
    chmod(locked.c_str(), 0755);

    // A full device reached through a symbolic link: written straight, and the failure told.
    const std::string full = dir.file("full.wav");
    ASSERT_EQ(symlink("/dev/full", full.c_str()), 0);
    std::vector<char> block(100000, 'x');
    EXPECT_FALSE(save_whole_file(full, block.data(), block.size(), "writer()"));
    EXPECT_EQ(err.take(), "writer(): couldn't write file '" + full + "': No space left on device\n");

    // A folder as destination.
    EXPECT_FALSE(save_whole_file(dir.path, "a", 1, "writer()"));
    EXPECT_NE(err.take().find("Is a directory"), std::string::npos);
    err.finish();
}

TEST(SaveFile, EveryWriterKeepsThePreviousFileWhenTheDiskFillsUp)
{
    TempDir dir;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    const int side = 512;
    std::vector<float> pixels((size_t)side * side);
    for (float& v : pixels)
        v = u(rng);
    std::vector<const float*> rows(side);
    for (int y = 0; y < side; y++)
        rows[y] = pixels.data() + (size_t)y * side;
    std::vector<float> sound(200000);
    for (float& v : sound)
        v = u(rng) - 0.5f;
    Rgba8Raster raster;
    raster.width = raster.height = side;
    raster.pixels.resize((size_t)side * side * 4);
    for (unsigned char& c : raster.pixels)
        c = (unsigned char)(u(rng) * 255.0f);

    App app;
    app.history.path = dir.file("history.sga");
    record_text(app, record_plain, 0, nullptr, std::string(300000, 'h'));
    execute_archive_line(app, "Dimensions 256 px x 256 px", nullptr);
    execute_archive_line(app, "New layer \"noise\"", nullptr);
    ASSERT_EQ(app.project.layers.size(), 1u);
    ASSERT_TRUE(app.project.layers[0].image);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++)
            app.project.layers[0].image[y][x] = u(rng);

    struct Writer {
        const char* name;
        bool (*write)(const std::string& path, void* context);
    };
    struct Context {
        std::vector<const float*>* rows;
        std::vector<float>* sound;
        Rgba8Raster* raster;
        App* app;
    } context{&rows, &sound, &raster, &app};
    const Writer writers[] = {
        {"a.wav", [](const std::string& p, void* c) {
             auto& x = *(Context*)c;
             return save_sound_file(p, x.sound->data(), x.sound->size(), 44100);
         }},
        {"a.aif", [](const std::string& p, void* c) {
             auto& x = *(Context*)c;
             return save_sound_file(p, x.sound->data(), x.sound->size(), 44100);
         }},
        {"a.flac", [](const std::string& p, void* c) {
             auto& x = *(Context*)c;
             return save_sound_file(p, x.sound->data(), x.sound->size(), 44100);
         }},
        {"a.tif", [](const std::string& p, void* c) {
             return export_image(((Context*)c)->rows->data(), side, side, p);
         }},
        {"a.png", [](const std::string& p, void* c) { return save_image_8bit(p, *((Context*)c)->raster, 92); }},
        {"a.bmp", [](const std::string& p, void* c) { return save_image_8bit(p, *((Context*)c)->raster, 92); }},
        {"a.jpg", [](const std::string& p, void* c) { return save_image_8bit(p, *((Context*)c)->raster, 100); }},
        {"status.sga", [](const std::string& p, void* c) { return write_status_file(*((Context*)c)->app, p); }},
        {"copy.sga", [](const std::string& p, void* c) { return save_archive(*((Context*)c)->app, p, false); }},
    };
    StderrCapture err;
    for (const Writer& w : writers) {
        const std::string path = dir.file(w.name), previous = std::string("the previous ") + w.name;
        write_text_file(path, previous);
        {
            FileSizeLimit limit(65536);
            EXPECT_FALSE(w.write(path, &context)) << w.name;
        }
        EXPECT_EQ(read_text_file(path), previous) << w.name;
        const std::string said = err.take();
        EXPECT_EQ(count_lines(said), 1u) << w.name << ": " << said;
        EXPECT_NE(said.find("'" + path + "': File too large"), std::string::npos) << said;
        // Without the limit the same writer replaces the file.
        EXPECT_TRUE(w.write(path, &context)) << w.name << err.take();
        EXPECT_GT(read_binary_file(path).size(), 65536u) << w.name;
    }
    err.finish();
    std::vector<std::string> left = folder_entries(dir.path);
    for (const std::string& name : left)
        EXPECT_FALSE(is_save_temporary(name)) << name;
    EXPECT_EQ(left.size(), std::size(writers) + 1);  // and the history
}

TEST(SaveFile, StaleTemporariesOfEndedProcessesAreRemoved)
{
    TempDir dir;
    const long gone = finished_process();
    const std::string stale = ".song.wav.tmp-" + std::to_string(gone);
    const std::string other_stale = ".other.wav.tmp-" + std::to_string(gone);
    const std::string running = ".song.wav.tmp-" + std::to_string((long)getppid());
    for (const std::string& name : {stale, other_stale, running, std::string(".song.wav.tmp-x"),
                                    std::string("song.wav.tmp-1")})
        write_text_file(dir.file(name), "part");
    EXPECT_TRUE(is_save_temporary(stale));
    EXPECT_FALSE(is_save_temporary(".song.wav.tmp-x"));
    EXPECT_FALSE(is_save_temporary("song.wav.tmp-1"));

    // Saving a file clears only that file's strays.
    ASSERT_TRUE(save_whole_file(dir.file("song.wav"), "new", 3, "test"));
    EXPECT_FALSE(file_exists(dir.file(stale)));
    EXPECT_TRUE(file_exists(dir.file(other_stale)));
    // The start-up sweep of a folder clears every stray of a process that has ended.
    EXPECT_EQ(remove_stale_temporaries(dir.path), 1);
    EXPECT_FALSE(file_exists(dir.file(other_stale)));
    EXPECT_TRUE(file_exists(dir.file(running)));
    EXPECT_TRUE(file_exists(dir.file(".song.wav.tmp-x")));
    EXPECT_TRUE(file_exists(dir.file("song.wav.tmp-1")));
}
