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

namespace {

// Runs the program through bash (so that arguments may use $'...'); standard error is kept
// in `err`.
int cli_err(const std::string& args, std::string* out, std::string* err)
{
    TempDir dir;
    out->clear();
    const int status = run_command("bash -c " + quote(cli_path() + " " + args) + " 2>" + quote(dir.file("err")), out);
    *err = read_text_file(dir.file("err"));
    return status;
}

// A small project, so that saves have something to write.
const std::string small_project = "-e 'Dimensions 3 px x 2 px' -e 'New layer \"a\"' ";

}  // namespace

TEST(CliArchive, EachKindOfFailingLineIsNamedAndEndsTheRunWithStatus1)
{
    TempDir dir;
    write_text_file(dir.file("garbage.wav"), "RIFF this is no sound at all");
    write_text_file(dir.file("blocker"), "a file where a folder should be");
    struct Case {
        std::string args, where, says;
    };
    const Case cases[] = {
        {"-e 'Blah blah'", "-e #1", "no command matches the line: Blah blah"},
        {"-e 'Title \"t\"' -e 'Open \"" + dir.file("missing.wav") + "\"'", "-e #2",
         "the line could not be carried out: Open"},
        {"-e 'Open \"" + dir.file("garbage.wav") + "\"'", "-e #1", "the line could not be carried out"},
        {"-e 'Import \"" + dir.file("missing.png") + "\"'", "-e #1", "the line could not be carried out"},
        {"-e 'Open'", "-e #1", "the line could not be carried out"},
        {"-e 'Save \"" + dir.file("empty.wav") + "\"'", "-e #1", "the line could not be carried out"},
        {small_project + "-e 'Save \"" + dir.file("blocker") + "/x.png\"'", "-e #3",
         "the line could not be carried out"},
        {small_project + "-e 'Save \"" + dir.file("x.gif") + "\"'", "-e #3", "the line could not be carried out"},
        {"-e $'Title \"t\"\\nSelected layer 1' -e $'Clear image\\nDimensions 2 px x nonsense px'", "-e #2:2",
         "the line could not be carried out: Dimensions"},
    };
    for (const Case& c : cases) {
        std::string out, err;
        EXPECT_EQ(cli_err(c.args, &out, &err), 1) << c.args;
        EXPECT_NE(err.find("sonographica-cli: " + c.where + ": " + c.says), std::string::npos) << c.args << "\n"
                                                                                                 << err;
    }
    EXPECT_FALSE(file_exists(dir.file("empty.wav")));
    EXPECT_FALSE(file_exists(dir.file("x.gif")));
}

TEST(CliArchive, AFailedLineStopsTheRunUnlessKeepGoingIsGiven)
{
    TempDir dir;
    const std::string after = dir.file("after.sga"), later = dir.file("later.sga");
    const std::string args = small_project + "-e 'Frobnicate' -e 'Save \"" + after + "\"' ";
    std::string out, err;
    EXPECT_EQ(cli_err(args + "--info", &out, &err), 1);
    EXPECT_FALSE(file_exists(after));
    EXPECT_EQ(out, "");  // nothing after the failure, --info included

    EXPECT_EQ(cli_err("--keep-going -e 'Nope' " + args + "--info", &out, &err), 1);
    EXPECT_TRUE(file_exists(after));
    EXPECT_NE(err.find("-e #1: no command matches the line: Nope"), std::string::npos) << err;
    EXPECT_NE(err.find("-e #4: no command matches the line: Frobnicate"), std::string::npos) << err;
    EXPECT_NE(out.find("\"layers\""), std::string::npos);

    // In an archive file the line is named by the file and its number; the rest of the file
    // and the items after it do not run.
    const std::string script = dir.file("script.sga");
    write_text_file(script, "Sonographica Archive v1.2.2\n// made by hand\n\nDimensions 3 px x 2 px\n"
                            "New layer \"a\"\nOpen \"" + dir.file("nothing.wav") + "\"\nSave \"" + later + "\"\n");
    EXPECT_EQ(cli_err(quote(script) + " -e 'Save \"" + after + "2\"'", &out, &err), 1);
    EXPECT_NE(err.find("sonographica-cli: " + script + ":6: the line could not be carried out: Open"),
              std::string::npos)
        << err;
    EXPECT_FALSE(file_exists(later));
    EXPECT_FALSE(file_exists(after + "2"));
    EXPECT_EQ(cli_err("--keep-going " + quote(script), &out, &err), 1);
    EXPECT_TRUE(file_exists(later));

    // An archive that opens an archive with a bad line: the outer line that opened it fails.
    write_text_file(dir.file("outer.sga"), "Title \"outer\"\nOpen \"" + script + "\"\n");
    EXPECT_EQ(cli_err(quote(dir.file("outer.sga")), &out, &err), 1);
    EXPECT_NE(err.find("outer.sga:2: the line could not be carried out"), std::string::npos) << err;
}

TEST(CliArchive, CommentsEmptyLinesHeadersAndDataAreNoFailures)
{
    TempDir dir;
    std::string out, err;
    EXPECT_EQ(cli_err("-e '' -e '// a note' -e 'Sonographica Archive v1.2.2' -e '   ' " + small_project +
                          "-e 'Enable loop playback' -e 'Save \"" + dir.file("ok.sga") + "\"'",
                      &out, &err),
              0)
        << err;
    // The saved status file, with its Base85 data lines, runs back without a failure.
    EXPECT_EQ(cli_err(quote(dir.file("ok.sga")), &out, &err), 0) << err;
    EXPECT_EQ(err.find("sonographica-cli:"), std::string::npos) << err;

    EXPECT_EQ(cli_err("--help", &out, &err), 0);
    EXPECT_NE(out.find("Exit status:"), std::string::npos);
    EXPECT_NE(out.find("--keep-going"), std::string::npos);
    EXPECT_EQ(cli_err("--synthesis loud -e ''", &out, &err), 2);
}
