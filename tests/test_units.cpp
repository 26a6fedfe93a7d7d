#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "engine/scale.h"
#include "project/units.h"

static void setup(Project& p, int width, int height, float base = 2.0f)
{
    p.width = width;
    p.height = height;
    p.fmin = 27.5f;
    p.fmax = 20000.0f;
    p.scale_base = base;
    p.time_resolution = 100.0f;
}

static std::string note_text(float n)
{
    char text[64];
    format_note(n, text, sizeof text, 0);
    return text;
}

static std::string time_text(double t, int mode)
{
    char text[64];
    format_time(t, text, sizeof text, mode);
    return text;
}

TEST(Units, NamesAndIndexes)
{
    EXPECT_EQ(unit_index("Hz"), unit_hz);
    EXPECT_EQ(unit_index("px"), unit_px);
    EXPECT_EQ(unit_index("%"), unit_percent);
    EXPECT_EQ(unit_index("note"), unit_note);
    EXPECT_EQ(unit_index(""), unit_none);
    testing::internal::CaptureStderr();
    EXPECT_EQ(unit_index("hz"), unit_none);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Unrecognised unit: hz\n");
    for (int i = 0; i < unit_count; i++)
        EXPECT_EQ(unit_index(unit_name(i)), i);
    EXPECT_STREQ(unit_name(99), "");

    EXPECT_EQ(value_unit("A#4", unit_hz, 0), unit_note);
    EXPECT_EQ(value_unit("G2", unit_px, 0), unit_note);
    EXPECT_EQ(value_unit("A4", unit_sec, 1), unit_sec);   // horizontal values are never notes
    EXPECT_EQ(value_unit("440", unit_hz, 0), unit_hz);
    EXPECT_EQ(value_unit("H4", unit_hz, 0), unit_hz);
}

TEST(Units, PercentSecondsAndPixelsBothWays)
{
    Project p;
    setup(p, 101, 200);
    EXPECT_FLOAT_EQ(convert_unit(50.0f, nullptr, unit_percent, unit_px, p, 1), 50.0f);    // of W - 1
    EXPECT_FLOAT_EQ(convert_unit(50.0f, nullptr, unit_percent, unit_px, p, 0), 100.0f);   // of H
    EXPECT_FLOAT_EQ(convert_unit(50.0f, nullptr, unit_px, unit_percent, p, 1), 50.0f);
    EXPECT_FLOAT_EQ(convert_unit(100.0f, nullptr, unit_px, unit_percent, p, 0), 50.0f);
    EXPECT_FLOAT_EQ(convert_unit(1.5f, nullptr, unit_sec, unit_px, p, 1), 150.0f);
    EXPECT_FLOAT_EQ(convert_unit(150.0f, nullptr, unit_px, unit_sec, p, 1), 1.5f);
    // Between two units other than pixels the way leads through pixels.
    EXPECT_FLOAT_EQ(convert_unit(1.0f, nullptr, unit_sec, unit_percent, p, 1), 100.0f);
    // Equal units: unchanged, even for units that convert to nothing.
    EXPECT_FLOAT_EQ(convert_unit(7.0f, nullptr, unit_none, unit_none, p, 1), 7.0f);
    EXPECT_TRUE(std::isnan(convert_unit(7.0f, nullptr, unit_none, unit_px, p, 1)));
    EXPECT_TRUE(std::isnan(convert_unit(7.0f, nullptr, unit_px, 42, p, 1)));

    // A picture one column wide has no horizontal percent; zero seconds per column neither.
    setup(p, 1, 200);
    EXPECT_TRUE(std::isnan(convert_unit(3.0f, nullptr, unit_px, unit_percent, p, 1)));
    p.time_resolution = 0.0f;
    EXPECT_TRUE(std::isnan(convert_unit(3.0f, nullptr, unit_px, unit_sec, p, 1)));
}

TEST(Units, ValuesReadFromText)
{
    Project p;
    setup(p, 101, 200);
    // The text wins over the numeric argument.
    EXPECT_FLOAT_EQ(convert_unit(999.0f, "1.5", unit_sec, unit_px, p, 1), 150.0f);
    EXPECT_FLOAT_EQ(convert_unit(999.0f, " 25 ", unit_percent, unit_percent, p, 1), 25.0f);
    EXPECT_TRUE(std::isnan(convert_unit(1.0f, "abc", unit_sec, unit_px, p, 1)));
    EXPECT_TRUE(std::isnan(convert_unit(1.0f, "", unit_px, unit_px, p, 1)));
}

TEST(Units, FrequencyPositionsAndNotes)
{
    Project p;
    setup(p, 100, 571);
    // Row 0 is fmax, row H - 1 is fmin.
    EXPECT_NEAR(convert_unit(20000.0f, nullptr, unit_hz, unit_px, p, 0), 0.0f, 1e-3f);
    EXPECT_NEAR(convert_unit(27.5f, nullptr, unit_hz, unit_px, p, 0), 570.0f, 1e-3f);
    EXPECT_NEAR(convert_unit(285.0f, nullptr, unit_px, unit_hz, p, 0), 741.6f, 0.05f);
    for (float f : {30.0f, 440.0f, 5000.0f}) {
        float y = convert_unit(f, nullptr, unit_hz, unit_px, p, 0);
        EXPECT_NEAR(convert_unit(y, nullptr, unit_px, unit_hz, p, 0), f, f * 1e-5f);
    }
    // Notes come from text; A0 is the bottom row and A4 is 440 Hz.
    EXPECT_NEAR(convert_unit(0.0f, "A0", unit_note, unit_px, p, 0), 570.0f, 1e-3f);
    EXPECT_NEAR(convert_unit(0.0f, "A4", unit_note, unit_hz, p, 0), 440.0f, 0.01f);
    EXPECT_NEAR(convert_unit(0.0f, "C8", unit_note, unit_hz, p, 0), 4186.01f, 0.02f);
    EXPECT_FLOAT_EQ(convert_unit(0.0f, "A#4-03.25", unit_note, unit_note, p, 0), 58.0f - 0.0325f);
    EXPECT_NEAR(convert_unit(440.0f, nullptr, unit_hz, unit_note, p, 0), 57.0f, 1e-3f);
    // A note given as a bare number has no meaning.
    EXPECT_TRUE(std::isnan(convert_unit(57.0f, nullptr, unit_note, unit_px, p, 0)));
    for (const char* bad : {"Bb3", "H4", "A", "Cb", "A#", "X4", "#4"})
        EXPECT_TRUE(std::isnan(convert_unit(0.0f, bad, unit_note, unit_px, p, 0))) << bad;

    // A one-row picture has no positions to divide: a note cannot reach Hz through it.
    setup(p, 100, 1);
    EXPECT_TRUE(std::isnan(convert_unit(0.0f, "A4", unit_note, unit_hz, p, 0)));
    EXPECT_TRUE(std::isnan(convert_unit(5.0f, nullptr, unit_px, unit_hz, p, 0)));
}

TEST(Units, SemitonesFollowTheScaleBase)
{
    Project p;
    setup(p, 100, 571, 2.0f);
    // 60 rows per octave at the defaults: one octave is 12 st.
    float rows_per_octave = 570.0f / std::log2(20000.0f / 27.5f);
    EXPECT_NEAR(convert_unit(12.0f, nullptr, unit_st, unit_px, p, 0), rows_per_octave, 1e-3f);
    EXPECT_NEAR(convert_unit(rows_per_octave, nullptr, unit_px, unit_st, p, 0), 12.0f, 1e-4f);

    setup(p, 100, 571, 1.5f);
    float y = convert_unit(7.0f, nullptr, unit_st, unit_px, p, 0);
    EXPECT_NEAR(convert_unit(y, nullptr, unit_px, unit_st, p, 0), 7.0f, 1e-4f);

    // On a linear scale semitones cannot be read; written they measure Hz per row.
    setup(p, 100, 571, 1.0f);
    EXPECT_TRUE(std::isnan(convert_unit(12.0f, nullptr, unit_st, unit_px, p, 0)));
    EXPECT_FLOAT_EQ(convert_unit(3.0f, nullptr, unit_px, unit_st, p, 0), 12.0f * 3.0f * (20000.0f - 27.5f) / 570.0f);
}

TEST(Units, ConversionWrittenAsText)
{
    Project p;
    setup(p, 101, 571);
    char text[32] = "";
    EXPECT_FLOAT_EQ(convert_unit(150.0f, text, sizeof text, unit_px, unit_sec, p, 1, 1), 1.5f);
    EXPECT_STREQ(text, "1.5");
    float y = convert_unit(445.0f, nullptr, unit_hz, unit_px, p, 0);
    convert_unit(y, text, sizeof text, unit_px, unit_note, p, 0, 1);
    EXPECT_STREQ(text, "A4+19.56");
    // Equal units still write their text.
    convert_unit(12.0f, text, sizeof text, unit_px, unit_px, p, 1, 1);
    EXPECT_STREQ(text, "12");
    // A small buffer is cut, never overrun.
    char small[4];
    memset(small, 'x', sizeof small);
    convert_unit(123456.0f, small, sizeof small, unit_px, unit_px, p, 1, 1);
    EXPECT_STREQ(small, "123");
    convert_unit(1.0f, text, sizeof text, unit_px, unit_none, p, 1, 1);
    EXPECT_STREQ(text, "nan");
}

TEST(Units, NoteNumbersAndTexts)
{
    EXPECT_FLOAT_EQ(number_to_note(57.0f), 440.0f);
    EXPECT_FLOAT_EQ(number_to_note(9.0f), 27.5f);
    EXPECT_NEAR(note_to_number(440.0f), 57.0f, 1e-5f);
    EXPECT_TRUE(std::isnan(note_to_number(0.0f)));
    EXPECT_FLOAT_EQ(read_note("A4"), 57.0f);
    EXPECT_FLOAT_EQ(read_note("A4+00"), 57.0f);
    EXPECT_FLOAT_EQ(read_note("C0"), 0.0f);

    EXPECT_EQ(note_text(note_to_number(466.1638f)), "A#4+00");
    EXPECT_EQ(note_text(note_to_number(445.0f)), "A4+19.56");
    EXPECT_EQ(note_text(note_to_number(27.5f)), "A0+00");
    EXPECT_EQ(note_text(57.125f), "A4+12.5");
    EXPECT_EQ(note_text(57.1f), "A4+10");
    EXPECT_EQ(note_text(56.75f), "A4-25");
    EXPECT_EQ(note_text(60.0f), "C5+00");
    // Below C0 the octave counts down, and the text reads back as the same note.
    EXPECT_EQ(note_text(-1.0f), "B-1+00");
    EXPECT_FLOAT_EQ(read_note("B-1+00"), -1.0f);
    EXPECT_EQ(note_text(-12.0f), "C-1+00");
    EXPECT_EQ(note_text(NAN), "nan");
    for (float n : {0.0f, 23.5f, 57.37f, 100.01f, -7.2f})
        EXPECT_NEAR(read_note(note_text(n).c_str()), n, 1e-4f) << note_text(n);

    char text[64] = "1\"000 - 440.00 Hz";
    format_note(57.0f, text, sizeof text, 1);
    EXPECT_STREQ(text, "1\"000 - 440.00 Hz (A4 +00)");
    strcpy(text, "x");
    format_note(55.3f, text, sizeof text, 1);
    EXPECT_STREQ(text, "x (G4 +30)");
}

TEST(Units, TimeValues)
{
    EXPECT_DOUBLE_EQ(parse_time_value("1:30"), 90.0);
    EXPECT_DOUBLE_EQ(parse_time_value("1:02:03"), 3723.0);
    EXPECT_DOUBLE_EQ(parse_time_value("12:00:01"), 43201.0);
    EXPECT_DOUBLE_EQ(parse_time_value("1:30.5"), 90.5);
    EXPECT_DOUBLE_EQ(parse_time_value("42.25"), 42.25);
    EXPECT_DOUBLE_EQ(parse_time_value("at 2:00"), 120.0);          // text before the match is ignored
    EXPECT_DOUBLE_EQ(parse_time_value("1:00 then 0:05"), 5.0);    // the last match counts
    EXPECT_DOUBLE_EQ(parse_time_value("1:5"), 1.0);               // no match: the leading number
    EXPECT_TRUE(std::isnan(parse_time_value("abc")));
    EXPECT_TRUE(std::isnan(parse_time_value("")));
    EXPECT_TRUE(std::isnan(parse_time_value(nullptr)));
}

TEST(Units, TimeTexts)
{
    EXPECT_EQ(time_text(59.9996, 1), "59\"999");
    EXPECT_EQ(time_text(59.9996, 0), "59\"");
    EXPECT_EQ(time_text(3725.5, 1), "1:02'05\"500");
    EXPECT_EQ(time_text(3725.5, 0), "1:02'05\"");
    EXPECT_EQ(time_text(125.25, 3), "2'05\"250");
    EXPECT_EQ(time_text(125.25, 0), "2'05\"");
    EXPECT_EQ(time_text(5.0625, 2), "5\"062");     // 62.5 ms: ties to even
    EXPECT_EQ(time_text(0.0, 1), "0\"000");
    EXPECT_EQ(time_text(36000.0, 1), "10:00'00\"000");
    EXPECT_EQ(time_text(12.0, 4), "");
    EXPECT_EQ(time_text(12.0, -1), "");
    EXPECT_EQ(time_text(NAN, 1), "");
    // Nothing between 999 and 1000 ms ever reads 1000.
    for (double t = 59.0; t < 60.0; t += 0.00007) {
        std::string s = time_text(t, 1);
        EXPECT_EQ(s.substr(0, 3), "59\"") << s;
        EXPECT_EQ(s.size(), 6u) << s;
    }
}

TEST(Units, CursorReadout)
{
    char text[96];
    format_cursor_readout(62.5, 440.0f, text, sizeof text);
    EXPECT_STREQ(text, "1'02\"500 - 440.00 Hz (A4 +00)");
    format_cursor_readout(0.0, 445.0f, text, sizeof text);
    EXPECT_STREQ(text, "445.00 Hz (A4 +20)");
    format_cursor_readout(3725.5, 27.5f, text, sizeof text);
    EXPECT_STREQ(text, "1:02'05\"500 - 27.50 Hz (A0 +00)");
    char small[12];
    format_cursor_readout(62.5, 440.0f, small, sizeof small);
    EXPECT_EQ(strlen(small), sizeof small - 1);
}
