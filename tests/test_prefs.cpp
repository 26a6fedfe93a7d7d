#include <gtest/gtest.h>

#include <thread>
#include <unistd.h>

#include "project/project.h"
#include "project/project_prefs.h"
#include "project/units.h"
#include "support/log.h"
#include "support/paths.h"
#include "support/prefs.h"
#include "testlib.h"

static const char* fresh_config =
    "Sonographica 1.11\n"
    "\n"
    "Audio output\n"
    "\tSample rate: 44100 Hz\n"
    "\tBuffer length: 1024 samples\n"
    "\tLive synthesis: on\n"
    "\tLive synthesis cursor rate: 20 times/second\n"
    "\n"
    "Interface\n"
    "\tWaveform height: 55 px\n"
    "\tLinear knob control: on\n"
    "\n"
    "Tool\n"
    "\tWidth: 20 px\n"
    "\tIntensity: 25%\n"
    "\tSpray harmonics: 100 harmonics\n"
    "\n"
    "Analysis\n"
    "\tFrequency range: 27.5 - 20000 Hz\n"
    "\tPitch resolution: 60 pixels/octave\n"
    "\tMinimum pitch resolution: 24 pixels/octave\n"
    "\tTime resolution: 100 pixels/second\n"
    "\tTransition time resolution: 100 pixels/second\n"
    "\n"
    "History recording\n"
    "\tEmbedded file size limit: 0 MB\n"
    "\tHistory menu: off\n"
    "\tTime unit: sec\n"
    "\tFrequency position unit: Hz\n"
    "\tFrequency dimensions unit: st\n"
    "\tRelative selection index: off\n";

static std::vector<std::string> split_lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

static void expect_same_lines(const std::string& actual, const std::string& expected)
{
    std::vector<std::string> a = split_lines(actual), e = split_lines(expected);
    for (size_t i = 0; i < std::max(a.size(), e.size()); i++)
        EXPECT_EQ(i < a.size() ? a[i] : "<missing>", i < e.size() ? e[i] : "<extra>") << "line " << i + 1;
    EXPECT_EQ(actual, expected);
}

// Replaces the first occurrence of `from` in the text.
static std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

TEST(Prefs, FreshFileHoldsEveryStartupKeyGroupedBySection)
{
    TempDir dir;
    PrefStore store;
    PrefStartupValues v;
    ASSERT_TRUE(pref_load_startup(store, dir.path, &v));
    expect_same_lines(read_text_file(dir.file("config.txt")), fresh_config);
    EXPECT_EQ(v.sample_rate, 44100);
    EXPECT_EQ(v.buffer_length, 1024);
    EXPECT_EQ(v.live_synthesis, 1);
    EXPECT_EQ(v.cursor_rate, 20);
    EXPECT_EQ(v.waveform_height, 55);
    EXPECT_EQ(v.linear_knob_control, 1);
    EXPECT_EQ(v.tool_width, 20);
    EXPECT_DOUBLE_EQ(v.tool_intensity, 0.25);
    EXPECT_EQ(v.spray_harmonics, 100);
    EXPECT_EQ(v.analysis_fmin, 27.5);
    EXPECT_EQ(v.analysis_fmax, 20000);
    EXPECT_EQ(v.pitch_resolution, 60);
    EXPECT_EQ(v.min_pitch_resolution, 24);
    EXPECT_EQ(v.time_resolution, 100);
    EXPECT_EQ(v.transition_time_resolution, 100);
    EXPECT_EQ(v.history_menu, 0);
    EXPECT_EQ(v.time_unit, "sec");
    EXPECT_EQ(v.frequency_position_unit, "Hz");
    EXPECT_EQ(v.frequency_dimensions_unit, "st");
    EXPECT_EQ(v.relative_selection_index, 0);

    // A second start over a complete file changes nothing and saves nothing.
    PrefStore again;
    ASSERT_TRUE(pref_load_startup(again, dir.path, &v));
    EXPECT_EQ(again.saves_done.load(), 0);
    EXPECT_EQ(read_text_file(dir.file("config.txt")), fresh_config);
}

TEST(Prefs, StoredValuesReachTheProjectAndBadNumbersAreRepaired)
{
    TempDir dir;
    std::string text = replaced(fresh_config, "Sample rate: 44100 Hz", "Sample rate: 48000 Hz");
    text = replaced(text, "Pitch resolution: 60", "Pitch resolution: twelve");
    text = replaced(text, "Frequency range: 27.5 - 20000 Hz", "Frequency range: 50 - 12000 Hz");
    text = replaced(text, "Time unit: sec", "Time unit: px");
    write_text_file(dir.file("config.txt"), text);

    Project p;
    PrefStore store;
    PrefStartupValues v;
    ASSERT_TRUE(load_project_preferences(p, store, dir.path, &v));
    EXPECT_EQ(p.sample_rate, 48000);
    EXPECT_EQ(p.analysis_fmin, 50.0f);
    EXPECT_EQ(p.analysis_fmax, 12000.0f);
    EXPECT_EQ(p.fmin, 50.0f);
    EXPECT_EQ(p.pitch_resolution, 60.0f);
    EXPECT_EQ(v.time_unit, "px");
    int time_unit, position_unit, dimensions_unit;
    history_units_from_preferences(v, &time_unit, &position_unit, &dimensions_unit);
    EXPECT_EQ(time_unit, unit_px);
    EXPECT_EQ(position_unit, unit_hz);
    EXPECT_EQ(dimensions_unit, unit_st);
    v.frequency_position_unit = "note";
    v.frequency_dimensions_unit = "semitones";   // not a unit name: the default stays
    history_units_from_preferences(v, &time_unit, &position_unit, &dimensions_unit);
    EXPECT_EQ(position_unit, unit_note);
    EXPECT_EQ(dimensions_unit, unit_st);

    // Only the unreadable line changed, in place.
    std::string expected = replaced(text, "Pitch resolution: twelve", "Pitch resolution: 60");
    expect_same_lines(read_text_file(dir.file("config.txt")), expected);
}

TEST(Prefs, MissingNestedKeyReturnsAtTheEndOfItsBlock)
{
    TempDir dir;
    write_text_file(dir.file("config.txt"),
                    "Sonographica 1.11\n\nAudio output\n\tSample rate: 44100 Hz\n"
                    "\tVolume limiter: on\n\t\tSustain duration: 1.5 sec\n\t\tRelease duration: 3 sec\n"
                    "\tBuffer length: 512 samples\n\nTool\n\tWidth: 20 px\n");
    PrefStore store;
    pref_open(store, dir.file("config.txt"));
    EXPECT_EQ(pref_get_number(store, "Audio output:Volume limiter:Threshold", -6, " dB"), -6);
    EXPECT_EQ(pref_get_number(store, "Audio output:Volume limiter:Sustain duration", 2.3, " sec"), 1.5);
    EXPECT_EQ(pref_get_number(store, "Audio output:Buffer length", 1024, " samples"), 512);
    // A new key of an existing section goes after the section's last line, a new section
    // after an empty line at the end.
    EXPECT_EQ(pref_get_onoff(store, "Tool:Magnet", 0), 0);
    EXPECT_EQ(pref_get_text(store, "Interface:Colour:Scheme", "grey"), "grey");
    pref_wait(store);
    expect_same_lines(read_text_file(dir.file("config.txt")),
                      "Sonographica 1.11\n\nAudio output\n\tSample rate: 44100 Hz\n"
                      "\tVolume limiter: on\n\t\tSustain duration: 1.5 sec\n\t\tRelease duration: 3 sec\n"
                      "\t\tThreshold: -6 dB\n"
                      "\tBuffer length: 512 samples\n\nTool\n\tWidth: 20 px\n\tMagnet: off\n"
                      "\nInterface\n\tColour\n\t\tScheme: grey\n");
}

TEST(Prefs, KeyThatPrefixesASiblingDoesNotTakeItsLine)
{
    TempDir dir;
    write_text_file(dir.file("config.txt"),
                    "Sonographica 1.11\n\nAudio output\n\tLive synthesis cursor rate: 30 times/second\n");
    PrefStore store;
    pref_open(store, dir.file("config.txt"));
    EXPECT_EQ(pref_get_onoff(store, "Audio output:Live synthesis", 1), 1);
    EXPECT_EQ(pref_get_number(store, "Audio output:Live synthesis cursor rate", 20, " times/second"), 30);
    pref_wait(store);
    EXPECT_EQ(read_text_file(dir.file("config.txt")),
              "Sonographica 1.11\n\nAudio output\n\tLive synthesis cursor rate: 30 times/second\n"
              "\tLive synthesis: on\n");
}

TEST(Prefs, EveryValueTypeRoundTrips)
{
    TempDir dir;
    std::string path = dir.file("config.txt");
    {
        PrefStore store;
        PrefStartupValues v;
        ASSERT_TRUE(pref_load_startup(store, dir.path, &v));
        pref_set_number(store, "Audio output:Volume limiter:Threshold", -7.25, " dB");
        pref_set_number(store, "Tool:Intensity", 12.5, "%");
        pref_set_two_numbers(store, "Interface:Window dimensions", 1280, "x", 720, "");
        pref_set_two_numbers(store, "Analysis:Frequency range", 0.5, " - ", 22050, " Hz");
        pref_set_onoff(store, "History recording:History menu", 1);
        pref_set_onoff(store, "Interface:Window is maximised", 0);
        pref_set_text(store, "Audio output:Preferred device", "USB Audio: \"Desk\" 2");
        pref_set_text(store, "History recording:Time unit", "note");
        // A newline in a value would split the line and break the file's structure.
        pref_set_text(store, "Audio output:Preferred driver", "alsa\nInjected");
    }
    EXPECT_NE(read_text_file(path).find("\tWindow dimensions: 1280x720\n"), std::string::npos);
    EXPECT_NE(read_text_file(path).find("\tPreferred driver: alsa Injected\n"), std::string::npos);

    PrefStore store;
    pref_open(store, path);
    size_t lines = store.lines.size();
    EXPECT_EQ(pref_get_number(store, "Audio output:Volume limiter:Threshold", -6, " dB"), -7.25);
    EXPECT_EQ(pref_get_number(store, "Tool:Intensity", 25, "%"), 12.5);
    double a, b;
    pref_get_two_numbers(store, "Interface:Window dimensions", 0, "x", 0, "", &a, &b);
    EXPECT_EQ(a, 1280);
    EXPECT_EQ(b, 720);
    pref_get_two_numbers(store, "Analysis:Frequency range", 27.5, " - ", 20000, " Hz", &a, &b);
    EXPECT_EQ(a, 0.5);
    EXPECT_EQ(b, 22050);
    EXPECT_EQ(pref_get_onoff(store, "History recording:History menu", 0), 1);
    EXPECT_EQ(pref_get_onoff(store, "Interface:Window is maximised", 1), 0);
    EXPECT_EQ(pref_get_text(store, "Audio output:Preferred device", ""), "USB Audio: \"Desk\" 2");
    EXPECT_EQ(pref_get_text(store, "History recording:Time unit", "sec"), "note");
    EXPECT_EQ(store.lines.size(), lines);
    EXPECT_EQ(store.saves_done.load(), 0);

    // Text that is neither "on" nor "off" reads as -1 and is left alone.
    pref_set_text(store, "History recording:History menu", "maybe");
    EXPECT_EQ(pref_get_onoff(store, "History recording:History menu", 0), -1);
    // Setters that change nothing do not save; a number setter always does.
    pref_wait(store);
    int saves = store.saves_done.load();
    pref_set_onoff(store, "Interface:Window is maximised", 0);
    pref_set_text(store, "History recording:Time unit", "note");
    pref_set_two_numbers(store, "Interface:Window dimensions", 1280, "x", 720, "");
    pref_set_number(store, "Tool:Intensity", 12.5, "%");
    pref_wait(store);
    EXPECT_EQ(store.saves_done.load(), saves + 1);
}

TEST(Prefs, UnreadableTwoNumbersAreRepaired)
{
    TempDir dir;
    write_text_file(dir.file("config.txt"),
                    "Sonographica 1.11\n\nAnalysis\n\tFrequency range: 30 to 9000 Hz\n\nInterface\n"
                    "\tWindow dimensions\n");
    PrefStore store;
    pref_open(store, dir.file("config.txt"));
    double a, b;
    pref_get_two_numbers(store, "Analysis:Frequency range", 27.5, " - ", 20000, " Hz", &a, &b);
    EXPECT_EQ(a, 27.5);
    EXPECT_EQ(b, 20000);
    pref_get_two_numbers(store, "Interface:Window dimensions", 0, "x", 0, "", &a, &b);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
    pref_wait(store);
    EXPECT_EQ(read_text_file(dir.file("config.txt")),
              "Sonographica 1.11\n\nAnalysis\n\tFrequency range: 27.5 - 20000 Hz\n\nInterface\n"
              "\tWindow dimensions: 0x0\n");
}

TEST(Prefs, OldFormatFileIsDeletedAndRebuilt)
{
    TempDir dir;
    write_text_file(dir.file("config.txt"), "audio_buffer_size 2048\nsample_rate 96000\n");
    PrefStore store;
    PrefStartupValues v;
    ASSERT_TRUE(pref_load_startup(store, dir.path, &v));
    EXPECT_EQ(v.sample_rate, 44100);
    EXPECT_EQ(read_text_file(dir.file("config.txt")), fresh_config);

    // A title of another version is replaced; a file without one gets one on top.
    write_text_file(dir.file("config.txt"), std::string("Sonographica 1.10") + (fresh_config + 17));
    ASSERT_TRUE(pref_load_startup(store, dir.path, &v));
    EXPECT_EQ(read_text_file(dir.file("config.txt")), fresh_config);
    write_text_file(dir.file("config.txt"), fresh_config + 18);
    ASSERT_TRUE(pref_load_startup(store, dir.path, &v));
    EXPECT_EQ(read_text_file(dir.file("config.txt")), fresh_config);
}

TEST(Prefs, ValuesTheProgramCannotUseAreReplacedButKeptInTheFile)
{
    TempDir dir;
    std::string text = replaced(fresh_config, "Sample rate: 44100", "Sample rate: 0");
    text = replaced(text, "Time resolution: 100", "Time resolution: -5");
    text = replaced(text, "Frequency range: 27.5 - 20000", "Frequency range: 5000 - 100");
    text = replaced(text, "Buffer length: 1024", "Buffer length: 1e9");
    text = replaced(text, "History menu: off", "History menu: perhaps");
    text = replaced(text, "Sample rate: 0 Hz", "Sample rate: 0\r");   // CR LF line end
    write_text_file(dir.file("config.txt"), text);
    PrefStore store;
    PrefStartupValues v;
    ASSERT_TRUE(pref_load_startup(store, dir.path, &v));
    EXPECT_EQ(v.sample_rate, 8000);
    EXPECT_EQ(v.buffer_length, 32768);
    EXPECT_EQ(v.time_resolution, 100);
    EXPECT_EQ(v.analysis_fmin, 27.5);
    EXPECT_EQ(v.analysis_fmax, 20000);
    EXPECT_EQ(v.history_menu, 0);
    EXPECT_EQ(store.lines[3], "\tSample rate: 0");
}

TEST(Prefs, StoreWithoutFileOrWithBadKeysRefusesAndSaysSo)
{
    TempDir dir;
    ASSERT_EQ(log_open(dir.path.c_str()), 1);
    PrefStore store;
    EXPECT_EQ(pref_find_loc(store, "Tool:Width"), -1);
    pref_open(store, dir.file("absent.txt"));
    EXPECT_EQ(pref_get_number(store, "Tool:Width", 20, " px"), 20);
    store.lines.push_back(SONOGRAPHICA_PREF_TITLE);
    EXPECT_EQ(pref_find_loc(store, "Tool::Width"), -1);
    EXPECT_EQ(pref_find_loc(store, ""), -1);
    EXPECT_EQ(pref_find_loc(store, "Tool:Wi\ndth"), -1);
    EXPECT_EQ(store.lines.size(), 1u);
    EXPECT_EQ(pref_find_loc(store, "Tool:Width"), 3);
    log_close();
    std::string log = read_text_file(dir.file("logfile.txt"));
    size_t first = log.find("Pref file not initialised in pref_find_loc()\n");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(log.find("Pref file not initialised in pref_find_loc()\n", first + 1), std::string::npos);
    EXPECT_NE(log.find("pref_find_loc(): invalid key \"Tool::Width\"\n"), std::string::npos);
    EXPECT_NE(log.find("pref_find_loc(): invalid key \"Tool:Wi?dth\"\n"), std::string::npos);
    EXPECT_FALSE(file_exists(dir.file("absent.txt")));
}

TEST(Prefs, ConcurrentSavesLeaveTheLastState)
{
    TempDir dir;
    PrefStore store;
    PrefStartupValues v;
    ASSERT_TRUE(pref_load_startup(store, dir.path, &v));
    int before = store.saves_done.load();
    const int per_thread = 100;  // each save waits for the disk
    // The main thread and an audio-thread reader both reach the store.
    std::thread other([&] {
        for (int i = 0; i < per_thread; i++)
            pref_set_number(store, "Audio output:Volume limiter:Threshold", -i, " dB");
    });
    for (int i = 0; i < per_thread; i++)
        pref_set_number(store, "Tool:Width", i, " px");
    other.join();
    pref_wait(store);
    EXPECT_EQ(store.saves_done.load() - before, 2 * per_thread);
    std::string text = read_text_file(dir.file("config.txt"));
    EXPECT_NE(text.find("\tWidth: 99 px\n"), std::string::npos);
    EXPECT_NE(text.find("\t\tThreshold: -99 dB\n"), std::string::npos);
    std::string joined;
    for (const std::string& line : store.lines)
        joined += line + "\n";
    EXPECT_EQ(text, joined);
    // Every save went through its temporary, and none is left.
    EXPECT_FALSE(file_exists(dir.file(".config.txt.tmp-" + std::to_string(getpid()))));
}

TEST(Prefs, KeyTableCoversEveryKeyWithItsDefault)
{
    EXPECT_EQ(pref_key_count, 28);
    const PrefKeyInfo* k = pref_key_info("Audio output:Volume limiter:Sustain duration");
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->def1, 2.3);
    EXPECT_STREQ(k->unit, " sec");
    EXPECT_FALSE(k->at_startup);
    EXPECT_EQ(pref_key_info("Audio output:Nothing"), nullptr);
    // Keys of one section stay together, so reading in table order groups a fresh file.
    auto section = [](int i) {
        std::string key = pref_keys[i].key;
        return key.substr(0, key.find(':'));
    };
    for (int i = 1; i < pref_key_count; i++) {
        if (section(i) == section(i - 1))
            continue;
        for (int j = 0; j < i; j++)
            EXPECT_NE(section(j), section(i)) << pref_keys[i].key;
    }
}
