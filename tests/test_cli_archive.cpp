#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "project/base85.h"

#include "support/paths.h"
#include "testlib.h"

namespace {

std::string quote(const std::string& s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs the command-line program with the given arguments; standard error is dropped.
int cli(const std::string& args, std::string* out)
{
    return run_command(cli_path() + " " + args + " 2>/dev/null", out);
}

} // namespace

TEST(CliArchive, InfoDescribesTheProjectTheLinesBuilt)
{
    std::string out;
    // The Base85 data sits on the line after its announcement, inside one -e argument.
    std::string args = "-e 'Clear image' -e 'Dimensions 4 px x 2 px' -e 'New layer \"Base\"' "
                       "-e $'Base85 8 words\\n:cdG9:cdG9%%%%%%%%%%%%%%%%%%%%%%%%%%%%%%z' "
                       "-e 'Multiply layer by 3' -e 'New separator \"Gr\\\"oup\"' -e 'Blending multiplication' "
                       "-e 'Central convolution point 1 px , 1 px' -e 'Title \"Demo\"' -e 'Synthesis noise' --info";
    ASSERT_EQ(run_command("bash -c " + quote(cli_path() + " " + args) + " 2>/dev/null", &out), 0);
    EXPECT_EQ(out, "{\"width\": 4, \"height\": 2, \"fmin\": 27.5, \"fmax\": 20000, \"scale_base\": 2, "
                   "\"time_resolution\": 100, \"synthesis\": \"live\", \"title\": \"Demo\", \"current_layer\": 1, "
                   "\"original_sound_length\": 0, \"original_image\": [0, 0], \"layers\": ["
                   "{\"name\": \"Base\", \"blending\": \"addition\", \"gamma\": 1, \"off\": false, \"centre\": [2, 1], "
                   "\"centre_set\": false, \"has_image\": true, \"sum\": 6, \"sum_squares\": 18}, "
                   "{\"name\": \"Gr\\\\\", \"blending\": \"multiplication\", \"gamma\": 1, \"off\": false, "
                   "\"centre\": [1, 1], \"centre_set\": true, \"has_image\": false, \"sum\": 0, \"sum_squares\": 0}]}\n");
}

TEST(CliArchive, SumsArePrintedWithSeventeenDigits)
{
    float tenth = 0.1f;
    uint32_t bits;
    memcpy(&bits, &tenth, 4);
    char word[5];
    base85_encode_word(bits, word);
    std::string data(word, 5);
    std::string out;
    ASSERT_EQ(run_command("bash -c " +
                              quote(cli_path() + " -e 'Dimensions 1 px x 1 px' -e 'New layer \"a\"' -e $'Base85 1 words\\n" +
                                    data + "z' --info") +
                              " 2>/dev/null",
                          &out),
              0);
    char expected[128];
    snprintf(expected, sizeof expected, "\"sum\": %.17g, \"sum_squares\": %.17g", (double)tenth,
             (double)tenth * (double)tenth);
    EXPECT_NE(out.find(expected), std::string::npos) << out;
    EXPECT_NE(out.find("0.10000000149011612"), std::string::npos) << out;
}

TEST(CliArchive, SaveWritesAStatusFileThatLoadsBack)
{
    TempDir dir;
    std::string saved = dir.file("x.sga");
    std::string first, second;
    ASSERT_EQ(run_command("bash -c " +
                              quote(cli_path() +
                                    " -e 'Dimensions 3 px x 2 px' -e 'New layer \"a\"' "
                                    "-e $'Base85 6 words\\n:cdG9:cdG9:cdG9%%%%%%%%%%%%%%%z' -e 'Multiply layer by 2' "
                                    "-e 'Gamma 0.5' "
                                    "-e 'Save \"" + saved + "\"' --info") +
                              " 2>/dev/null",
                          &first),
              0);
    ASSERT_TRUE(file_exists(saved));
    ASSERT_EQ(cli(quote(saved) + " --info", &second), 0);
    // The reloaded project has the same layers and sums; the "Synthesis noise" line of the
    // file switches live synthesis on, as every synthesis word does.
    EXPECT_NE(first.find("\"sum\": 4.2426406145095825, \"sum_squares\": 5.9999997946287493"), std::string::npos) << first;
    EXPECT_EQ(first.substr(first.find("\"layers\"")), second.substr(second.find("\"layers\"")));
}

TEST(CliArchive, FilesAndLinesRunInOrder)
{
    TempDir dir;
    write_text_file(dir.file("a.sga"), "Title \"from file\"\n");
    std::string out;
    ASSERT_EQ(cli("-e 'Title \"first\"' " + quote(dir.file("a.sga")) + " --info", &out), 0);
    EXPECT_NE(out.find("\"title\": \"from file\""), std::string::npos);
    ASSERT_EQ(cli(quote(dir.file("a.sga")) + " -e 'Title \"last\"' --info", &out), 0);
    EXPECT_NE(out.find("\"title\": \"last\""), std::string::npos);
    EXPECT_EQ(cli(quote(dir.file("missing.sga")), &out), 1);
    EXPECT_EQ(cli("-e", &out), 2);
}

TEST(CliArchive, RecordingOnlyWhenAsked)
{
    std::string history = path_join(data_folder(), "history.sga");
    remove(history.c_str());
    std::string out;
    ASSERT_EQ(cli("-e 'Title \"quiet\"'", &out), 0);
    EXPECT_FALSE(file_exists(history));
    ASSERT_EQ(cli("--record -e 'Title \"loud\"' -e 'Undo'", &out), 0);
    EXPECT_EQ(read_text_file(history), "Title \"loud\"\nUndo\n");
}
