// Saving from the command line as a batch job meets it: the render mode chosen on the command
// line, files that never exceed full scale, FLAC, and saves that fail or are killed without
// costing the previous file.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "media/sound_read.h"
#include "media/sound_write.h"
#include "support/paths.h"
#include "support/save_file.h"
#include "test_signal.h"
#include "testlib.h"

namespace {

std::string quote(const std::string& s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs a shell command line; standard error is kept in `err`.
int shell(const std::string& command, std::string* err, std::string* out = nullptr)
{
    TempDir dir;
    std::string ignored;
    const int status = run_command("{ " + command + " ; } 2>" + quote(dir.file("err")), out ? out : &ignored);
    *err = read_text_file(dir.file("err"));
    return status;
}

float peak_of(const std::vector<float>& v)
{
    float peak = 0.0f;
    for (float x : v)
        peak = std::max(peak, std::fabs(x));
    return peak;
}

// Signal-to-error ratio in dB of `out` against `in` after the best gain, without the edges.
double match_db(const std::vector<float>& in, const std::vector<float>& out, size_t edge)
{
    double xy = 0, yy = 0, xx = 0, err = 0;
    const size_t n = std::min(in.size(), out.size());
    for (size_t i = edge; i + edge < n; i++) {
        xy += (double)in[i] * out[i];
        yy += (double)out[i] * out[i];
        xx += (double)in[i] * in[i];
    }
    if (!(yy > 0))
        return -100.0;
    for (size_t i = edge; i + edge < n; i++) {
        const double e = in[i] - xy / yy * out[i];
        err += e * e;
    }
    return 10.0 * std::log10(xx / err);
}

std::vector<std::string> temporaries_in(const std::string& folder)
{
    std::vector<std::string> found;
    if (DIR* d = opendir(folder.c_str())) {
        while (const dirent* e = readdir(d))
            if (is_save_temporary(e->d_name))
                found.push_back(e->d_name);
        closedir(d);
    }
    return found;
}

// The test signal as a sound file the program opens.
struct SignalFile {
    TempDir dir;
    std::vector<float> sound = recording_like_signal(44100);
    std::string path = dir.file("signal.wav");
    SignalFile() { EXPECT_TRUE(save_sound_file(path, sound.data(), sound.size(), 44100)); }
};

}  // namespace

TEST(CliSaving, SynthesisOptionChoosesTheModeAfterASynthesisNoiseLineAndNoFileClips)
{
    SignalFile signal;
    const std::string open = " -e 'Open \"" + signal.path + "\"' -e 'Synthesis noise'";
    std::vector<float> rendered[3];
    const char* modes[] = {"noise", "live", "lossless"};
    for (int m = 0; m < 3; m++) {
        const std::string out = signal.dir.file(std::string(modes[m]) + ".wav");
        std::string err;
        ASSERT_EQ(shell(cli_path() + " --synthesis " + modes[m] + open + " -e 'Save \"" + out + "\"'", &err), 0)
            << err;
        EXPECT_NE(err.find(std::string("Rendering sound (") + modes[m] + " synthesis): 100%"), std::string::npos)
            << err;
        Sound back = load_sound(out.c_str(), 0);
        ASSERT_GT(back.frames, 44100u * 5) << modes[m];
        EXPECT_LE(peak_of(back.samples), 1.0f) << modes[m];
        EXPECT_GT(peak_of(back.samples), 0.2f) << modes[m];
        rendered[m] = std::move(back.samples);
    }
    // Lossless gives the recording back; the other two are renderings of its picture.
    EXPECT_GT(match_db(signal.sound, rendered[2], 22050), 15.0);  // measured: 23 dB
    EXPECT_LT(match_db(signal.sound, rendered[0], 22050), 10.0);
    EXPECT_NE(rendered[0], rendered[1]);

    // Without the option the line's own effect holds: "Synthesis noise" switches live on.
    std::string err;
    ASSERT_EQ(shell(cli_path() + open + " -e 'Save \"" + signal.dir.file("own.flac") + "\"'", &err), 0) << err;
    EXPECT_NE(err.find("Rendering sound (live synthesis)"), std::string::npos) << err;

    // FLAC from the command line: 24-bit, checked by the reference tool when it is there.
    Sound flac = load_sound(signal.dir.file("own.flac").c_str(), 0);
    EXPECT_GT(flac.frames, 44100u * 5);
    EXPECT_LE(peak_of(flac.samples), 1.0f);
    if (run_command("command -v flac >/dev/null") == 0)
        EXPECT_EQ(run_command("flac -t -s " + quote(signal.dir.file("own.flac")) + " 2>&1"), 0);
    else
        printf("flac is not installed: the stream is not tested by it\n");
}

TEST(CliSaving, AFullDiskOrAnUnwritableFolderFailsTheRunAndKeepsThePreviousFile)
{
    SignalFile signal;
    const std::string target = signal.dir.file("keep.wav");
    write_text_file(target, "the previous take");
    const std::string save = " -e 'Open \"" + signal.path + "\"' -e 'Save \"" + target + "\"'";
    std::string err;
    // Files of more than 200 blocks cannot be written: the disk is full for this save.
    EXPECT_EQ(shell("trap '' XFSZ; ulimit -f 200; " + cli_path() + save, &err), 1);
    EXPECT_EQ(read_text_file(target), "the previous take");
    EXPECT_NE(err.find("couldn't write file '" + target + "': File too large"), std::string::npos) << err;
    EXPECT_NE(err.find("sonographica-cli: -e #2: the line could not be carried out"), std::string::npos) << err;
    EXPECT_TRUE(temporaries_in(signal.dir.path).empty());

    // A full device behind a link.
    const std::string full = signal.dir.file("full.wav");
    ASSERT_EQ(symlink("/dev/full", full.c_str()), 0);
    EXPECT_EQ(shell(cli_path() + " -e 'Open \"" + signal.path + "\"' -e 'Save \"" + full + "\"'", &err), 1);
    EXPECT_NE(err.find("'" + full + "': No space left on device"), std::string::npos) << err;

    // A folder that cannot be created in, whoever runs the test: its parent is a file.
    const std::string blocked = target + "/inside.wav";
    EXPECT_EQ(shell(cli_path() + " -e 'Open \"" + signal.path + "\"' -e 'Save \"" + blocked + "\"'", &err), 1);
    EXPECT_NE(err.find("'" + blocked + "': Not a directory"), std::string::npos) << err;
    EXPECT_EQ(read_text_file(target), "the previous take");
}

TEST(CliSaving, APipeOrDeviceIsWrittenStraight)
{
    SignalFile signal;
    const std::string out = signal.dir.file("out.wav");
    ASSERT_EQ(symlink("/dev/stdout", out.c_str()), 0);
    std::string err, wav;
    ASSERT_EQ(shell(cli_path() + " --synthesis noise -e 'Open \"" + signal.path + "\"' -e 'Save \"" + out + "\"'",
                    &err, &wav),
              0)
        << err;
    ASSERT_GT(wav.size(), 58u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    Sound back = load_sound_wav_mem((const unsigned char*)wav.data(), wav.size(), 0);
    EXPECT_EQ(back.frames * 4 + 58, wav.size());
}

TEST(CliSaving, ASaveKilledMidwayLeavesThePreviousFileByteForByte)
{
    TempDir dir;
    const std::string target = dir.file("long.wav");
    std::vector<unsigned char> previous(123457);
    for (size_t i = 0; i < previous.size(); i++)
        previous[i] = (unsigned char)(i * 7 + i / 251);
    write_binary_file(target, previous.data(), previous.size());

    // A picture of 400 columns at 1 px/s renders 400 s of sound: about 70 MB to write.
    const std::string command = "exec " + cli_path() +
                                " --synthesis noise -e 'Dimensions 400 px x 4 px' -e 'Time resolution 1 px/s' "
                                "-e 'New layer \"a\"' -e 'Operation fill white' -e 'Save \"" + target +
                                "\"' 2>/dev/null";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), (char*)nullptr);
        _exit(127);
    }
    // Killed as soon as its temporary appears: the file is being written.
    bool seen = false;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!seen && std::chrono::steady_clock::now() < give_up) {
        seen = !temporaries_in(dir.path).empty();
        if (!seen) {
            int status;
            if (waitpid(child, &status, WNOHANG) == child)
                break;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(seen) << "the save never started writing";
    ASSERT_TRUE(WIFSIGNALED(status)) << "the save finished before it could be killed";
    EXPECT_EQ(read_binary_file(target), previous);
    ASSERT_EQ(temporaries_in(dir.path).size(), 1u);

    // The next save of the file clears what the killed one left, and the start-up of the
    // program clears strays in its data folder.
    TempDir data;
    const std::string stray = data.file(".config.txt.tmp-" + temporaries_in(dir.path)[0].substr(
                                                                 temporaries_in(dir.path)[0].rfind('-') + 1));
    write_text_file(stray, "half a config");
    std::string err;
    EXPECT_EQ(shell("SONOGRAPHICA_DATA_DIR=" + quote(data.path) + " " + cli_path() +
                        " -e 'Dimensions 4 px x 4 px' -e 'New layer \"a\"' -e 'Operation fill white' -e 'Save \"" +
                        target + "\"'",
                    &err),
              0)
        << err;
    EXPECT_TRUE(temporaries_in(dir.path).empty());
    EXPECT_FALSE(file_exists(stray));
    EXPECT_NE(read_binary_file(target), previous);
}
