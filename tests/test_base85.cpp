#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "project/base85.h"
#include "stderr_capture.h"
#include "testlib.h"

static std::string encode(uint32_t word)
{
    char c[5];
    base85_encode_word(word, c);
    return std::string(c, 5);
}

static float float_of(uint32_t bits)
{
    float f;
    memcpy(&f, &bits, 4);
    return f;
}

static uint32_t bits_of(float f)
{
    uint32_t b;
    memcpy(&b, &f, 4);
    return b;
}

// The whole text write_base85 produces for some rows.
static std::string block_text(const std::vector<std::vector<float>>& rows, int words)
{
    TempDir dir;
    std::vector<const float*> pointers;
    for (auto& r : rows)
        pointers.push_back(r.data());
    FILE* f = fopen(dir.file("b.txt").c_str(), "wb");
    const float* none = nullptr;
    write_base85(f, rows.empty() ? &none : pointers.data(), (int)rows.size(), words);
    fclose(f);
    return read_text_file(dir.file("b.txt"));
}

TEST(Base85, KnownWords)
{
    EXPECT_EQ(encode(0), "%%%%%");
    EXPECT_EQ(encode(4294967295u), "%1[<w");
    EXPECT_EQ(encode(bits_of(1.0f)), ":cdG9");
    EXPECT_EQ(base85_decode_word("%1[<w"), 4294967295u);
    EXPECT_EQ(base85_decode_word(":cdG9"), 0x3F800000u);
    EXPECT_EQ(base85_decode_word("%%%%%"), 0u);
}

TEST(Base85, BlockOfOneZeroWord)
{
    std::vector<std::vector<float>> rows = {{0.0f}};
    EXPECT_EQ(block_text(rows, 1), "Base85 1 words\n%%%%%z\n");
}

TEST(Base85, EmptyArrayWritesOnlyTheEndMarker)
{
    std::vector<std::vector<float>> rows;
    EXPECT_EQ(block_text(rows, 7), "Base85 0 words\nz\n");
}

TEST(Base85, NullArrayWritesNothingAndLogs)
{
    TempDir dir;
    FILE* f = fopen(dir.file("b.txt").c_str(), "wb");
    StderrCapture capture;
    write_base85(f, nullptr, 3, 3);
    std::string log = capture.finish();
    fclose(f);
    EXPECT_EQ(read_text_file(dir.file("b.txt")), "");
    EXPECT_EQ(log, "fprint_base85(): array is NULL\n");
}

TEST(Base85, EveryBitPatternSurvivesARoundTrip)
{
    // Rows of awkward floats: NaNs with payloads, infinities, denormals, negative zero.
    std::mt19937 rng(7);
    std::vector<std::vector<float>> rows(3, std::vector<float>(257));
    for (auto& r : rows)
        for (float& v : r)
            v = float_of(rng());
    rows[0][0] = float_of(0x7FC00001u);
    rows[0][1] = -0.0f;
    rows[0][2] = INFINITY;
    rows[0][3] = float_of(1u);
    rows[1][5] = float_of(0xFFFFFFFFu);
    std::string text = block_text(rows, 257);
    ASSERT_EQ(text.substr(0, text.find('\n') + 1), "Base85 771 words\n");
    std::string data = text.substr(text.find('\n') + 1);
    ASSERT_EQ(data.size(), 771u * 5 + 2);
    ASSERT_EQ(data.substr(data.size() - 2), "z\n");

    std::vector<std::vector<float>> back(3, std::vector<float>(257, 0.0f));
    float* pointers[3] = {back[0].data(), back[1].data(), back[2].data()};
    EXPECT_EQ(read_base85(data.c_str(), pointers, 3, 257), 771);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 257; x++)
            ASSERT_EQ(bits_of(back[y][x]), bits_of(rows[y][x])) << y << "," << x;
}

TEST(Base85, ShortDataStopsAtTheEndMarkerAndKeepsTheRest)
{
    std::vector<float> row = {5.0f, 5.0f, 5.0f, 5.0f};
    float* pointers[1] = {row.data()};
    std::string data = encode(bits_of(1.0f)) + encode(bits_of(2.0f)) + "z";
    StderrCapture capture;
    EXPECT_EQ(read_base85(data.c_str(), pointers, 1, 4), 2);
    EXPECT_EQ(capture.finish(), "Warning: End of Base85 data reached unexpectedly\n");
    EXPECT_EQ(row, (std::vector<float>{1.0f, 2.0f, 5.0f, 5.0f}));
}

TEST(Base85, DataCutInsideAWordStopsAtTheEndOfTheText)
{
    std::vector<float> row = {5.0f, 5.0f};
    float* pointers[1] = {row.data()};
    std::string data = encode(bits_of(3.0f)) + ":cd";  // no end marker, the text just ends
    StderrCapture capture;
    EXPECT_EQ(read_base85(data.c_str(), pointers, 1, 2), 1);
    EXPECT_EQ(count_lines(capture.finish()), 1);
    EXPECT_EQ(row[0], 3.0f);
    EXPECT_EQ(row[1], 5.0f);
}

TEST(Base85, MissingLineOrArrayIsReported)
{
    float v = 0;
    float* pointers[1] = {&v};
    StderrCapture capture;
    EXPECT_EQ(read_base85(nullptr, pointers, 1, 1), 0);
    EXPECT_EQ(read_base85("%%%%%z", nullptr, 1, 1), 0);
    EXPECT_EQ(capture.finish(), "read_base85(): line is NULL\nread_base85(): array is NULL\n");
}

TEST(Base85, BytesOutsideTheAlphabetStillDecode)
{
    // Any five bytes give some word (modulo 2^32); nothing may fail or read further.
    std::string junk = "\x01\x02\xff\x80 z";
    float v = 9.0f;
    float* pointers[1] = {&v};
    EXPECT_EQ(read_base85(junk.c_str(), pointers, 1, 1), 1);
    EXPECT_EQ(bits_of(v), base85_decode_word(junk.c_str()));
}
