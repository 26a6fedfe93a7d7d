#include <gtest/gtest.h>

#include <unistd.h>

#include "support/paths.h"

TEST(Paths, JoinFolderAndName)
{
    EXPECT_EQ(path_join("/a/b", "c.wav"), "/a/b/c.wav");
    EXPECT_EQ(path_join("/a/b/", "c.wav"), "/a/b/c.wav");
    EXPECT_EQ(path_join("", "c.wav"), "c.wav");
    EXPECT_EQ(path_join("/a", "/abs/c.wav"), "/abs/c.wav");
    EXPECT_EQ(path_folder("/a/b/c.wav"), "/a/b");
    EXPECT_EQ(path_folder("c.wav"), "");
    EXPECT_EQ(path_folder("/c.wav"), "/");
    EXPECT_EQ(get_filename_from_path("/a/b/c.wav"), "c.wav");
    EXPECT_EQ(get_filename_from_path("C:\\x\\y.TIF"), "y.TIF");
    EXPECT_EQ(path_extension_lower("song.FLAC"), "flac");
    EXPECT_EQ(path_extension_lower("dir.d/noext"), "");
}

TEST(Paths, DataFolderFollowsEnvironment)
{
    const std::string& folder = data_folder();
    EXPECT_EQ(folder, getenv("SONOGRAPHICA_DATA_DIR"));
    EXPECT_TRUE(make_folders(folder));
}

TEST(Paths, ExecutableFolderHoldsTheRunningProgram)
{
    std::string folder = executable_folder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(file_exists(path_join(folder, "test_paths")));
    char before[4096];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    ASSERT_TRUE(set_working_directory_to_executable());
    EXPECT_TRUE(file_exists("test_paths"));
    ASSERT_EQ(chdir(before), 0);
}
