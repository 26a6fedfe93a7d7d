// The command-line program as a user meets it: version, usage errors, first-run settings.
#include <gtest/gtest.h>

#include "testlib.h"

TEST(Cli, VersionAndUsageErrors)
{
    std::string out;
    EXPECT_EQ(run_command(cli_path() + " --version", &out), 0);
    EXPECT_EQ(out, "Sonographica 1.11.2\n");
    out.clear();
    EXPECT_EQ(run_command(cli_path() + " --no-such-option 2>&1", &out), 2);
    EXPECT_NE(out.find("Usage:"), std::string::npos);
}

TEST(Cli, FirstRunCreatesTheSettingsFile)
{
    TempDir data;
    std::string out;
    EXPECT_EQ(run_command("SONOGRAPHICA_DATA_DIR='" + data.path + "' " + cli_path() + " --eval '2*3'", &out), 0);
    EXPECT_EQ(out, "6\n");
    std::string config = read_text_file(data.file("config.txt"));
    EXPECT_EQ(config.rfind("Sonographica", 0), 0u) << config;
    EXPECT_NE(config.find("Sample rate: 44100"), std::string::npos) << config;
    EXPECT_NE(config.find("Frequency range: 27.5 - 20000 Hz"), std::string::npos) << config;

    // A stored sample rate is what the next run uses, and the file is not rewritten.
    std::string edited = config;
    edited.replace(edited.find("44100"), 5, "48000");
    write_text_file(data.file("config.txt"), edited);
    EXPECT_EQ(run_command("SONOGRAPHICA_DATA_DIR='" + data.path + "' " + cli_path() + " --eval 1", &out), 0);
    EXPECT_EQ(read_text_file(data.file("config.txt")), edited);
}
