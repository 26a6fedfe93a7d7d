#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <stb_image_write.h>

#include "image_files.h"
#include "media/file_names.h"
#include "media/image_read.h"
#include "testlib.h"

namespace {

int count_lines(const std::string& text)
{
    return (int)std::count(text.begin(), text.end(), '\n');
}

std::string quoted(const std::string& path)
{
    std::string q = "'";
    q += path;
    q += "'";
    return q;
}

std::vector<float> image_values(Image image, int width, int height)
{
    std::vector<float> v;
    for (int y = 0; y < height; y++)
        v.insert(v.end(), image[y], image[y] + width);
    return v;
}

// What the reader must make of one raw sample.
float expected_sample(uint32_t raw, int bits)
{
    if (bits == 8)
        return srgb_to_linear(raw / 255.0);
    if (bits == 16)
        return srgb_to_linear(raw / 65535.0);
    float f;
    memcpy(&f, &raw, 4);
    return f;
}

} // namespace

TEST(ImageRead, FileNameClasses)
{
    EXPECT_EQ(classify_file_name(""), file_class_none);
    EXPECT_EQ(classify_file_name("project.sga"), file_class_archive);
    EXPECT_EQ(classify_file_name("/a/b/PROJECT.SGA"), file_class_archive);
    for (const char* name : {"x.png", "x.TIF", "x.tiff", "x.JPEG", "x.raw", "noextension", "dir.d/noextension", "x.bmp", "x."})
        EXPECT_EQ(classify_file_name(name), file_class_image) << name;
    for (const char* name : {"x.wav", "x.flac", "x.fits", "x.tifx", "x.aif"})
        EXPECT_EQ(classify_file_name(name), file_class_sound) << name;
}

TEST(ImageRead, EightBitPictureToGreyAndColours)
{
    TempDir dir;
    // White, mid-grey, an orange, a nearly black red; the alpha must not count.
    const unsigned char rgba[] = {255, 255, 255, 255, 128, 128, 128, 0, 200, 100, 0, 255, 10, 0, 0, 90};
    const std::string path = dir.file("p.png");
    ASSERT_TRUE(stbi_write_png(path.c_str(), 2, 2, 4, rgba, 8));

    int w = 0, h = 0;
    Rgba8Raster colours;
    Image image = load_image_grey(path, &w, &h, &colours);
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(w, 2);
    ASSERT_EQ(h, 2);
    EXPECT_EQ(image[0][0], 1.0f);
    EXPECT_NEAR(image[0][1], 0.252f, 0.0005f);
    const float orange = 300 * 0.0013071896f;
    EXPECT_EQ(image[1][0], orange * orange);
    ASSERT_EQ(colours.width, 2);
    const std::vector<unsigned char> normalised = {85, 85, 85, 255, 85, 85, 85, 0, 170, 85, 0, 255, 90, 83, 83, 90};
    EXPECT_EQ(colours.pixels, normalised);
    image_free(image);

    // Without a colour raster the picture is the same.
    image = load_image_grey(path, &w, &h);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image[0][0], 1.0f);
    image_free(image);
}

TEST(ImageRead, ColourNormalisation)
{
    Rgba8Raster r;
    r.width = 6;
    r.height = 1;
    r.pixels = {200, 100, 0, 7,      // bright: scaled to add up to about 255
                32, 0, 0, 1,         // the smallest bright sum
                31, 0, 0, 2,         // the largest dark one: the complement rule
                10, 0, 0, 3,   0, 0, 0, 4,   10, 20, 1, 5};   // the last: dark green stays greenish
    normalise_colours(r);
    const std::vector<unsigned char> expected = {170, 85, 0, 7, 255, 0, 0, 1, 100, 78, 78, 2,
                                                 90, 83, 83, 3, 85, 85, 85, 4, 85, 92, 79, 5};
    EXPECT_EQ(r.pixels, expected);
}

TEST(ImageRead, SrgbCurve)
{
    EXPECT_EQ(srgb_to_linear(0.0), 0.0f);
    EXPECT_EQ(srgb_to_linear(1.0), 1.0f);
    EXPECT_NEAR(srgb_to_linear(128 / 255.0), 0.2158605f, 1e-6f);
    EXPECT_FLOAT_EQ(srgb_to_linear(10 / 255.0), 10 / 255.0f / 12.92f);
    // Every 8-bit code survives the trip to linear and back, so 8-bit files keep their bytes.
    for (int s = 0; s < 256; s++)
        EXPECT_EQ(linear_to_srgb8(srgb_to_linear(s / 255.0)), s);
    EXPECT_EQ(linear_to_srgb8(-1.0f), 0);
    EXPECT_EQ(linear_to_srgb8(NAN), 0);
    EXPECT_EQ(linear_to_srgb8(7.0f), 255);
}

// Every accepted variant, written by the test's own writer, against the values it was given.
TEST(ImageRead, TiffVariants)
{
    std::mt19937 rng(5);
    int checked = 0;
    for (int big = 0; big < 2; big++)
        for (int bits : {8, 16, 32})
            for (int layout = 0; layout < 3; layout++)               // grey, RGB chunky, RGB planar
                for (int coding = 0; coding < 3; coding++)           // none, LZW, LZW + predictor
                    for (int rows_per_strip : {0, 2}) {
                        TiffSpec s;
                        s.big_endian = big;
                        s.width = 5;
                        s.height = 3;
                        s.bits = bits;
                        s.sample_format = bits == 32 ? 3 : 1;
                        s.samples = layout ? 3 : 1;
                        s.photometric = layout ? 2 : 1;
                        s.planar = layout == 2 ? 2 : 1;
                        s.compression = coding ? 5 : 1;
                        s.predictor = coding == 2 ? 2 : 1;
                        s.rows_per_strip = rows_per_strip;
                        s.byte_counts = rows_per_strip == 0;
                        std::vector<uint32_t> raw;
                        for (int i = 0; i < s.width * s.height * s.samples; i++)
                            raw.push_back(bits == 32 ? float_bits((float)(rng() % 2001) / 1000.0f - 0.5f)
                                                     : (uint32_t)(rng() & ((1u << bits) - 1)));
                        const auto file = build_tiff(s, raw);
                        SCOPED_TRACE(testing::Message() << "big " << big << " bits " << bits << " layout " << layout
                                                        << " coding " << coding << " rows " << rows_per_strip);

                        int w = 0, h = 0;
                        Image image = tiff_decode(file.data(), file.size(), &w, &h);
                        ASSERT_NE(image, nullptr);
                        ASSERT_EQ(w, 5);
                        ASSERT_EQ(h, 3);
                        for (int p = 0; p < w * h; p++) {
                            const uint32_t* px = &raw[(size_t)p * s.samples];
                            const float want = s.samples == 1 ? expected_sample(px[0], bits)
                                                              : (expected_sample(px[0], bits) + expected_sample(px[1], bits) +
                                                                 expected_sample(px[2], bits)) * 0.33333334f;
                            ASSERT_EQ(image[p / w][p % w], want) << "pixel " << p;
                        }
                        image_free(image);

                        // 8-bit samples come back as the file's own bytes in the RGBA raster.
                        const Rgba8Raster rgba = tiff_decode_rgba8(file.data(), file.size());
                        ASSERT_EQ(rgba.pixels.size(), (size_t)w * h * 4);
                        for (int p = 0; p < w * h && bits == 8; p++)
                            for (int c = 0; c < 3; c++)
                                ASSERT_EQ(rgba.pixels[(size_t)p * 4 + c], raw[(size_t)p * s.samples + (s.samples == 3 ? c : 0)]);
                        checked++;
                    }
    EXPECT_EQ(checked, 108);
}

TEST(ImageRead, TiffAlphaWhiteIsZeroAndDirectories)
{
    // Grey with alpha, min-is-white: grey repeated into R, G, B, alpha kept.
    TiffSpec s;
    s.width = 2;
    s.samples = 2;
    s.photometric = 0;
    s.skipped_directory = true;   // the first directory is PackBits and 7 x 5: passed over
    const auto file = build_tiff(s, {255, 255, 55, 128});
    int w, h;
    Image image = tiff_decode(file.data(), file.size(), &w, &h);
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(w, 2);
    ASSERT_EQ(h, 1);
    EXPECT_EQ(image[0][0], 0.0f);
    EXPECT_EQ(image[0][1], srgb_to_linear(200 / 255.0));
    image_free(image);
    const Rgba8Raster rgba = tiff_decode_rgba8(file.data(), file.size());
    const std::vector<unsigned char> expected = {0, 0, 0, 255, 200, 200, 200, 128};
    EXPECT_EQ(rgba.pixels, expected);
}

TEST(ImageRead, TiffUnsupportedVariantsAreEmptyAndSilent)
{
    struct Case {
        int bits, format, compression, photometric, predictor;
    } cases[] = {
        {8, 2, 1, 1, 1},      // signed
        {32, 1, 1, 1, 1},     // 32-bit integers
        {16, 3, 1, 1, 1},     // half floats
        {8, 1, 32773, 1, 1},  // PackBits
        {8, 1, 1, 3, 1},      // palette
        {8, 1, 5, 1, 3},      // floating-point predictor
    };
    for (const Case& c : cases) {
        TiffSpec s;
        s.bits = c.bits;
        s.sample_format = c.format;
        s.compression = c.compression;
        s.photometric = c.photometric;
        s.predictor = c.predictor;
        const auto file = build_tiff(s, {1});
        testing::internal::CaptureStderr();
        int w = 1, h = 1;
        Image image = tiff_decode(file.data(), file.size(), &w, &h);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << c.bits << " " << c.compression;
        EXPECT_EQ(image, nullptr);
        EXPECT_EQ(w, 0);
        EXPECT_EQ(h, 0);
    }
}

// ImageMagick as an independent writer of the common variants.
TEST(ImageRead, TiffFromAnotherWriter)
{
    TempDir dir;
    write_text_file(dir.file("g.pgm"), "P2\n3 2\n255\n0 128 255\n10 20 30\n");
    write_text_file(dir.file("c.ppm"), "P3\n2 1\n255\n200 100 0  1 2 3\n");
    const std::string in = quoted(dir.file("g.pgm")) + " ";
    struct Case {
        std::string options, name;
    } cases[] = {
        {"-compress lzw -define tiff:predictor=2", "g8.tif"},
        {"-depth 16 -endian MSB -compress lzw -define tiff:predictor=2", "g16.TIF"},
        {"-define quantum:format=floating-point -depth 32 -compress none", "gf.tif"},
    };
    const uint32_t grey[] = {0, 128, 255, 10, 20, 30};
    for (const Case& c : cases) {
        // The float case ends with a complaint about a tag but writes the file.
        run_command("convert " + in + c.options + " " + quoted(dir.file(c.name)) + " 2>/dev/null");
        int w = 0, h = 0;
        Image image = load_tiff_float(dir.file(c.name), &w, &h);
        ASSERT_NE(image, nullptr) << c.name;
        ASSERT_EQ(w, 3);
        ASSERT_EQ(h, 2);
        for (int p = 0; p < 6; p++) {
            const float want = c.name == "gf.tif" ? grey[p] / 255.0f : srgb_to_linear(grey[p] / 255.0);
            EXPECT_NEAR(image[p / 3][p % 3], want, 1e-6f) << c.name << " " << p;
        }
        image_free(image);
    }
    ASSERT_EQ(run_command("convert " + quoted(dir.file("c.ppm")) + " -type TrueColor -interlace plane -compress lzw " + quoted(dir.file("c.tif"))), 0);
    const Rgba8Raster rgba = load_image_rgba8(dir.file("c.tif"));
    const std::vector<unsigned char> expected = {200, 100, 0, 255, 1, 2, 3, 255};
    EXPECT_EQ(rgba.pixels, expected);
}

// Noise large enough for the codes to widen to 12 bits and the table to be cleared, as
// another writer does it.
TEST(ImageRead, LargeLzwFromAnotherWriter)
{
    TempDir dir;
    const int w = 200, h = 150;
    std::mt19937 rng(3);
    std::string pgm = "P5\n200 150\n65535\n";
    std::vector<uint32_t> raw;
    for (int i = 0; i < w * h; i++) {
        // Smooth ramps with a little noise, so the predictor has something to do.
        const uint32_t v = (uint32_t)((i % w) * 300 + (i / w) * 20 + rng() % 64) & 0xFFFF;
        raw.push_back(v);
        pgm += (char)(v >> 8);
        pgm += (char)(v & 0xFF);
    }
    write_text_file(dir.file("n.pgm"), pgm);
    for (const char* options : {"-compress lzw -define tiff:predictor=2", "-compress lzw -endian MSB"}) {
        ASSERT_EQ(run_command("convert " + quoted(dir.file("n.pgm")) + " " + options + " " + quoted(dir.file("n.tif"))), 0);
        int rw, rh;
        Image image = load_tiff_float(dir.file("n.tif"), &rw, &rh);
        ASSERT_NE(image, nullptr) << options;
        ASSERT_EQ(rw, w);
        ASSERT_EQ(rh, h);
        for (int p = 0; p < w * h; p++)
            ASSERT_EQ(image[p / w][p % w], expected_sample(raw[p], 16)) << options << " pixel " << p;
        image_free(image);
    }
}

TEST(ImageRead, ReaderChosenByNameThenByContent)
{
    TempDir dir;
    TiffSpec s;
    s.bits = 32;
    s.sample_format = 3;
    const auto file = build_tiff(s, {float_bits(0.5f)});
    // An upper-case TIF goes to the TIFF reader: the linear value itself.
    write_binary_file(dir.file("x.TIF"), file.data(), file.size());
    int w, h;
    Image image = load_image_grey(dir.file("x.TIF"), &w, &h);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image[0][0], 0.5f);
    image_free(image);
    // Under another image name the content decides, through 8-bit colours.
    write_binary_file(dir.file("x.png"), file.data(), file.size());
    Rgba8Raster colours;
    image = load_image_grey(dir.file("x.png"), &w, &h, &colours);
    ASSERT_NE(image, nullptr);
    const float v = 3 * linear_to_srgb8(0.5f) * 0.0013071896f;
    EXPECT_EQ(image[0][0], v * v);
    EXPECT_EQ(colours.pixels, (std::vector<unsigned char>{85, 85, 85, 255}));
    image_free(image);

    const auto fits = build_fits(2, 1, 16, {0, 65535}, {});
    write_binary_file(dir.file("sky"), fits.data(), fits.size());
    const Rgba8Raster rgba = load_image_rgba8(dir.file("sky"));
    EXPECT_EQ(rgba.pixels, (std::vector<unsigned char>{0, 0, 0, 255, 255, 255, 255, 255}));
}

TEST(ImageRead, FitsSixteenAndThirtyTwoBits)
{
    int w, h;
    // DATAMIN and DATAMAX map the samples to 0..1; samples are read without sign.
    auto f16 = build_fits(3, 2, 16, {100, 300, 65535, 200, 0x2020, 100},
                          {"DATAMIN =                100.0", "DATAMAX =                300.0"});
    Image image = fits_decode(f16.data(), f16.size(), &w, &h);
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(w, 3);
    ASSERT_EQ(h, 2);
    const float want16[] = {0.0f, 1.0f, (float)((65535 - 100.0) / 200.0), 0.5f, (float)((0x2020 - 100.0) / 200.0), 0.0f};
    EXPECT_EQ(image_values(image, w, h), std::vector<float>(want16, want16 + 6));
    image_free(image);

    auto f32 = build_fits(2, 1, 32, {0x80000000u, 0xFFFFFFFFu}, {"DATAMIN = 0", "DATAMAX = 4294967295"});
    image = fits_decode(f32.data(), f32.size(), &w, &h);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image[0][0], (float)(2147483648.0 / 4294967295.0));
    EXPECT_EQ(image[0][1], 1.0f);
    image_free(image);

    // The first samples are blanks (0x2020) right at the data block: they are data, not padding.
    auto blank = build_fits(2, 1, 16, {0x2020, 0x2020}, {});
    image = fits_decode(blank.data(), blank.size(), &w, &h);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image[0][0], (float)(0x2020 / 65535.0));
    image_free(image);

    // Without padding after END the data follow it; without DATAMIN and DATAMAX the full range counts.
    auto unpadded = build_fits(2, 1, 16, {0xFFFF, 0x8000}, {}, false);
    image = fits_decode(unpadded.data(), unpadded.size(), &w, &h);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image[0][0], 1.0f);
    EXPECT_EQ(image[0][1], (float)(32768 / 65535.0));
    image_free(image);

    // Other sample widths are not read, without a message.
    auto f8 = build_fits(2, 1, 8, {1, 2}, {});
    testing::internal::CaptureStderr();
    EXPECT_EQ(fits_decode(f8.data(), f8.size(), &w, &h), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// Every prefix of a file is a lying file: empty result, exactly one log line, no read outside.
TEST(ImageRead, TruncatedFilesGiveEmptyPicturesAndOneLine)
{
    std::vector<std::pair<std::string, std::vector<unsigned char>>> files;
    std::vector<uint32_t> raw;
    for (int i = 0; i < 4 * 6 * 3; i++)
        raw.push_back((uint32_t)(i * 37 % 256));
    TiffSpec s;
    s.width = 4;
    s.height = 6;
    s.samples = 3;
    s.photometric = 2;
    s.rows_per_strip = 2;
    files.push_back({"tiff", build_tiff(s, raw)});
    s.directory_first = true;
    files.push_back({"tiff, directory first", build_tiff(s, raw)});
    s.compression = 5;
    files.push_back({"lzw", build_tiff(s, raw)});
    s.byte_counts = false;
    s.predictor = 2;
    s.big_endian = true;
    files.push_back({"lzw without byte counts", build_tiff(s, raw)});
    auto fits = build_fits(3, 2, 16, {1, 2, 3, 4, 5, 6}, {"DATAMIN = 1", "DATAMAX = 6"});
    fits.resize(2880 + 12);
    files.push_back({"fits", fits});
    auto unpadded = build_fits(3, 2, 32, {1, 2, 3, 4, 5, 6}, {}, false);
    unpadded.resize(6 * 80 + 24);
    files.push_back({"fits unpadded", unpadded});

    for (auto& [name, file] : files) {
        const bool is_fits = name.starts_with("fits");
        int w, h;
        Image whole = is_fits ? fits_decode(file.data(), file.size(), &w, &h) : tiff_decode(file.data(), file.size(), &w, &h);
        ASSERT_NE(whole, nullptr) << name;
        const std::vector<float> expected = image_values(whole, w, h);
        image_free(whole);
        int refused = 0;
        for (size_t length = 0; length < file.size(); length++) {
            // A copy of exactly that length, so that the sanitizers see any read past it.
            std::vector<unsigned char> cut(file.begin(), file.begin() + (long)length);
            testing::internal::CaptureStderr();
            Image image = is_fits ? fits_decode(cut.data(), cut.size(), &w, &h) : tiff_decode(cut.data(), cut.size(), &w, &h);
            const std::string log = testing::internal::GetCapturedStderr();
            // Only an LZW stream without byte counts that loses no more than its end code
            // may still be read, and then whole.
            if (image) {
                EXPECT_EQ(image_values(image, w, h), expected) << name << " cut to " << length;
                EXPECT_EQ(log, "");
                EXPECT_GE(length + 2, file.size()) << name;
                image_free(image);
                continue;
            }
            refused++;
            ASSERT_EQ(count_lines(log), 1) << name << " cut to " << length << ": " << log;
        }
        EXPECT_GE(refused + 2, (int)file.size()) << name;
    }
}

TEST(ImageRead, LyingTiffHeaders)
{
    TiffSpec s;
    s.width = 4;
    s.height = 2;
    s.directory_first = true;   // directory at 8: entries at 10 + 12 i
    const std::vector<uint32_t> raw(8, 7);
    const auto good = build_tiff(s, raw);
    auto put32 = [](std::vector<unsigned char>& f, size_t at, uint32_t v) {
        for (int k = 0; k < 4; k++)
            f[at + k] = (unsigned char)(v >> (8 * k));
    };
    auto entry_at = [&](const std::vector<unsigned char>& f, int tag) {
        for (size_t at = 10;; at += 12)
            if (f[at] + 256 * f[at + 1] == tag)
                return at;
    };
    struct Lie {
        const char* what;
        int tag;               // 0: the file header
        size_t field;          // byte within the entry
        uint32_t value;
    } lies[] = {
        {"first directory past the end", 0, 4, 100000},
        {"strip offset past the end", 273, 8, (uint32_t)good.size() - 4},
        {"huge width", 256, 8, 0x7FFFFFFF},
        {"taller than its strip", 257, 8, 1u << 20},
        {"zero height", 257, 8, 0},
        {"bits array outside", 258, 4, 3},     // three values no longer fit: read at the value as offset
        {"two strips expected", 278, 8, 1},
    };
    for (const Lie& lie : lies) {
        auto f = good;
        if (lie.tag == 0)
            put32(f, lie.field, lie.value);
        else
            put32(f, entry_at(f, lie.tag) + lie.field, lie.value);
        if (lie.tag == 258)
            put32(f, entry_at(f, 258) + 8, 0xFFFFFF00);
        testing::internal::CaptureStderr();
        int w, h;
        Image image = tiff_decode(f.data(), f.size(), &w, &h);
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_EQ(image, nullptr) << lie.what;
        EXPECT_EQ(count_lines(log), 1) << lie.what << ": " << log;
    }

    // A directory chain that returns to itself, with nothing acceptable on the way.
    TiffSpec p;
    p.compression = 32773;
    auto loop = build_tiff(p, {1});
    const uint32_t first = loop[4] | loop[5] << 8 | loop[6] << 16 | (uint32_t)loop[7] << 24;
    const size_t entries = loop[first] | loop[first + 1] << 8;
    put32(loop, first + 2 + 12 * entries, first);
    testing::internal::CaptureStderr();
    int w, h;
    EXPECT_EQ(tiff_decode(loop.data(), loop.size(), &w, &h), nullptr);
    EXPECT_EQ(count_lines(testing::internal::GetCapturedStderr()), 1);
}

TEST(ImageRead, LzwCannotClaimMoreThanItsBytesHold)
{
    // A black megapixel compresses to under 2 kB, which decodes fine.
    TiffSpec s;
    s.width = 1000;
    s.height = 1000;
    s.compression = 5;
    auto file = build_tiff(s, std::vector<uint32_t>(1000 * 1000, 0));
    ASSERT_LT(file.size(), 2500u);
    int w, h;
    Image image = tiff_decode(file.data(), file.size(), &w, &h);
    ASSERT_NE(image, nullptr);
    image_free(image);
    // The same strip declared a hundred times taller cannot hold that picture: refused
    // before the picture is allocated.
    const size_t dir = file[4] | file[5] << 8 | file[6] << 16 | (size_t)file[7] << 24;
    for (size_t at = dir + 2, i = 0; i < 12; at += 12, i++)
        if ((file[at] == 1 || file[at] == 0x16) && file[at + 1] == 1) {   // tags 257 and 278
            file[at + 8] = 0xA0;
            file[at + 9] = 0x86;
            file[at + 10] = 0x01;                                              // 100000 rows
        }
    testing::internal::CaptureStderr();
    EXPECT_EQ(tiff_decode(file.data(), file.size(), &w, &h), nullptr);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(count_lines(log), 1);
    EXPECT_NE(log.find("LZW strip 0"), std::string::npos) << log;
}

TEST(ImageRead, LzwOutOfRangeCodeEndsItsStrip)
{
    // Clear, 'A' (65), then code 300 while the next free index is 258: 9-bit codes.
    std::vector<unsigned char> strip;
    uint32_t acc = 0;
    int pending = 0;
    for (int code : {256, 65, 300}) {
        acc = acc << 9 | (uint32_t)code;
        pending += 9;
        while (pending >= 8) {
            strip.push_back((unsigned char)(acc >> (pending - 8)));
            pending -= 8;
        }
    }
    strip.push_back((unsigned char)(acc << (8 - pending)));
    TiffSpec s;
    s.width = 3;
    s.compression = 5;
    auto file = build_tiff(s, {1, 2, 3});
    // The strip lies at byte 8; the damaged one is shorter, its byte count is left as it was.
    ASSERT_GE(lzw_encode({1, 2, 3}).size(), strip.size());
    std::copy(strip.begin(), strip.end(), file.begin() + 8);
    testing::internal::CaptureStderr();
    int w, h;
    Image image = tiff_decode(file.data(), file.size(), &w, &h);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Out of range code 300 (new_index 258)\n");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image[0][0], srgb_to_linear(65 / 255.0));
    EXPECT_EQ(image[0][1], 0.0f);
    EXPECT_EQ(image[0][2], 0.0f);
    image_free(image);
}

TEST(ImageRead, UnreadableAndUndecodableFiles)
{
    TempDir dir;
    const std::string missing = dir.file("missing.png");
    testing::internal::CaptureStderr();
    EXPECT_TRUE(load_image_rgba8(missing).empty());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Could not open image " + missing + "\n");

    // A folder is no picture either.
    testing::internal::CaptureStderr();
    EXPECT_TRUE(load_image_rgba8(dir.path).empty());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Could not open image " + dir.path + "\n");

    int w = 1, h = 1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(load_tiff_float(dir.file("missing.tif"), &w, &h), nullptr);
    EXPECT_EQ(count_lines(testing::internal::GetCapturedStderr()), 1);
    EXPECT_EQ(w, 0);

    // A PNG cut in half, and a text that is no picture.
    const unsigned char rgba[64 * 4] = {1, 2, 3};
    ASSERT_TRUE(stbi_write_png(dir.file("p.png").c_str(), 8, 8, 4, rgba, 32));
    auto png = read_binary_file(dir.file("p.png"));
    png.resize(png.size() / 2);
    write_binary_file(dir.file("half.png"), png.data(), png.size());
    write_text_file(dir.file("text.jpg"), "not a picture");
    for (const char* name : {"half.png", "text.jpg"}) {
        testing::internal::CaptureStderr();
        Rgba8Raster colours;
        EXPECT_EQ(load_image_grey(dir.file(name), &w, &h, &colours), nullptr) << name;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Could not open image " + dir.file(name) + "\n");
        EXPECT_TRUE(colours.empty());
        EXPECT_EQ(w, 0);
        EXPECT_EQ(h, 0);
    }
}
