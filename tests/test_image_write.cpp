#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <stb_image.h>

#include "media/image_read.h"
#include "media/image_write.h"
#include "support/paths.h"
#include "testlib.h"

namespace {

uint32_t u32(const std::vector<unsigned char>& f, size_t at)
{
    return f[at] | f[at + 1] << 8 | f[at + 2] << 16 | (uint32_t)f[at + 3] << 24;
}

uint16_t u16(const std::vector<unsigned char>& f, size_t at) { return (uint16_t)(f[at] | f[at + 1] << 8); }

float f32(const std::vector<unsigned char>& f, size_t at)
{
    const uint32_t u = u32(f, at);
    float v;
    memcpy(&v, &u, 4);
    return v;
}

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

// A picture held as rows, for export_image.
struct Picture {
    int width, height;
    std::vector<float> pixels;
    std::vector<const float*> rows;
    Picture(int w, int h, std::vector<float> values) : width(w), height(h), pixels(std::move(values))
    {
        for (int y = 0; y < h; y++)
            rows.push_back(pixels.data() + (size_t)y * w);
    }
};

std::vector<unsigned char> decode_8bit(const std::string& path, int* w, int* h)
{
    int n;
    unsigned char* p = stbi_load(path.c_str(), w, h, &n, 4);
    std::vector<unsigned char> v;
    if (p)
        v.assign(p, p + (size_t)*w * *h * 4);
    stbi_image_free(p);
    return v;
}

} // namespace

TEST(ImageWrite, TiffByteLayout)
{
    TempDir dir;
    const float samples[6] = {0.0f, 0.25f, 1.0f, -0.5f, 1e-40f, 0.75f};
    const std::string path = dir.file("p.tif");
    ASSERT_TRUE(save_image_tiff(path, samples, 3, 2, 1, 32));
    const auto f = read_binary_file(path);
    ASSERT_EQ(f.size(), 198u);
    EXPECT_EQ(memcmp(f.data(), "II*\0", 4), 0);
    EXPECT_EQ(u32(f, 4), 32u);
    EXPECT_EQ(memcmp(f.data() + 8, samples, 24), 0);
    EXPECT_EQ(f32(f, 12), 0.25f);
    EXPECT_EQ(u16(f, 32), 12);
    const uint32_t entries[12][4] = {
        {256, 4, 1, 3},   {257, 4, 1, 2},  {258, 3, 1, 32},  {259, 3, 1, 1},    {262, 3, 1, 1},   {273, 4, 1, 8},
        {278, 4, 1, 2},   {279, 4, 1, 24}, {282, 5, 1, 182}, {283, 5, 1, 190},  {296, 3, 1, 2},   {339, 3, 1, 3},
    };
    for (int i = 0; i < 12; i++) {
        const size_t at = 34 + 12 * (size_t)i;
        EXPECT_EQ(u16(f, at), entries[i][0]) << i;
        EXPECT_EQ(u16(f, at + 2), entries[i][1]) << i;
        EXPECT_EQ(u32(f, at + 4), entries[i][2]) << i;
        EXPECT_EQ(u32(f, at + 8), entries[i][3]) << i;
    }
    EXPECT_EQ(u32(f, 178), 0u);
    EXPECT_EQ(u32(f, 182), 72u);
    EXPECT_EQ(u32(f, 186), 1u);
    EXPECT_EQ(u32(f, 190), 72u);
    EXPECT_EQ(u32(f, 194), 1u);

    // The other reader of the format finds nothing to complain about.
    std::string info;
    EXPECT_EQ(run_command("tiffinfo " + quoted(path) + " 2>&1", &info), 0);
    EXPECT_EQ(info.find("arning"), std::string::npos) << info;
    EXPECT_EQ(info.find("rror"), std::string::npos) << info;
    EXPECT_NE(info.find("Image Width: 3 Image Length: 2"), std::string::npos) << info;
    EXPECT_NE(info.find("IEEE floating point"), std::string::npos) << info;

    // And ours reads every sample back bit for bit, the denormal and the negative included.
    int w, h;
    Image image = load_tiff_float(path, &w, &h);
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(w, 3);
    ASSERT_EQ(h, 2);
    EXPECT_EQ(memcmp(image[0], samples, sizeof samples), 0);
    image_free(image);
}

TEST(ImageWrite, TiffWithSeveralChannels)
{
    TempDir dir;
    for (int channels : {3, 4}) {
        std::vector<float> samples;
        for (int i = 0; i < 2 * 2 * channels; i++)
            samples.push_back((float)i / 16.0f);
        const std::string path = dir.file(channels == 3 ? "c3.tif" : "c4.tif");
        ASSERT_TRUE(save_image_tiff(path, samples.data(), 2, 2, channels, 32));
        const auto f = read_binary_file(path);
        // Beside the twelve entries of one channel: the sample count, and for four the alpha.
        const size_t d = 4 * samples.size(), count = channels == 3 ? 13 : 14, extra = 8 + d + 6 + 12 * count;
        ASSERT_EQ(f.size(), extra + 2 * channels + 16 + 2 * channels);
        const size_t entries = 8 + d + 2;
        EXPECT_EQ(u32(f, 4), 8 + d);
        EXPECT_EQ(u16(f, entries - 2), count);
        EXPECT_EQ(u32(f, entries + 2 * 12 + 8), extra);                           // bits per sample, out of line
        EXPECT_EQ(u32(f, entries + (count - 1) * 12 + 8), extra + 2 * channels + 16);  // sample formats
        for (int c = 0; c < channels; c++) {
            EXPECT_EQ(u16(f, extra + 2 * c), 32);
            EXPECT_EQ(u16(f, extra + 2 * channels + 16 + 2 * c), 3);
        }
        EXPECT_EQ(u16(f, entries + 4 * 12 + 8), 2);                               // RGB
        EXPECT_EQ(u16(f, entries + 6 * 12), 277);
        EXPECT_EQ(u16(f, entries + 6 * 12 + 8), channels);
        std::string info;
        EXPECT_EQ(run_command("tiffinfo " + quoted(path) + " 2>&1", &info), 0);
        EXPECT_EQ(info.find("arning"), std::string::npos) << info;
        EXPECT_NE(info.find(channels == 3 ? "Samples/Pixel: 3" : "Samples/Pixel: 4"), std::string::npos) << info;
        EXPECT_EQ(info.find("Extra Samples: 1<unassoc-alpha>") != std::string::npos, channels == 4) << info;

        // Our 8-bit reading keeps all four samples.
        const Rgba8Raster rgba = load_image_rgba8(path);
        ASSERT_EQ(rgba.pixels.size(), 16u);
        EXPECT_EQ(rgba.pixels[3], channels == 4 ? (unsigned char)std::nearbyint(samples[3] * 255.0f) : 255);
        int w, h;
        Image image = load_tiff_float(path, &w, &h);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image[1][1], (samples[3 * channels] + samples[3 * channels + 1] + samples[3 * channels + 2]) * 0.33333334f);
        image_free(image);
    }
}

TEST(ImageWrite, TiffRefusals)
{
    TempDir dir;
    const float one = 1.0f;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(save_image_tiff(dir.file("a.tif"), nullptr, 1, 1, 1, 32));
    EXPECT_FALSE(save_image_tiff(dir.file("a.tif"), &one, 0, 0, 1, 32));
    EXPECT_FALSE(save_image_tiff(dir.file("a.tif"), &one, 1, 0, 1, 32));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    // 8- and 16-bit samples would need integers this writer is not given.
    testing::internal::CaptureStderr();
    EXPECT_FALSE(save_image_tiff(dir.file("a.tif"), &one, 1, 1, 1, 16));
    EXPECT_FALSE(save_image_tiff(dir.file("a.tif"), &one, 1, 1, 2, 32));
    EXPECT_EQ(count_lines(testing::internal::GetCapturedStderr()), 2);
    EXPECT_FALSE(file_exists(dir.file("a.tif")));

    const std::string nowhere = dir.file("missing/a.tif");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(save_image_tiff(nowhere, &one, 1, 1, 1, 32));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "save_image_tiff(): couldn't write file '" + nowhere + "': No such file or directory\n");
}

TEST(ImageWrite, ExportScalesToPeakOne)
{
    TempDir dir;
    // Largest value 4: the TIFF holds the values divided by 4, the 8-bit files a display
    // gamma of 2, so 1.0 becomes trunc(sqrt(0.25) × 255) = 127.
    Picture p(3, 2, {4.0f, 1.0f, 0.0f, -2.0f, 2.0f, 0.04f});
    ASSERT_TRUE(export_image(p.rows.data(), 3, 2, dir.file("p.tif")));
    int w, h;
    Image image = load_tiff_float(dir.file("p.tif"), &w, &h);
    ASSERT_NE(image, nullptr);
    const float quarter = 0.25f;
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(image[i / 3][i % 3], p.pixels[i] * quarter) << i;
    image_free(image);

    const unsigned char grey[6] = {255, 127, 0, 0, 180, 25};
    for (const char* name : {"p.png", "p.bmp", "p.PNG"}) {
        ASSERT_TRUE(export_image(p.rows.data(), 3, 2, dir.file(name))) << name;
        const auto px = decode_8bit(dir.file(name), &w, &h);
        ASSERT_EQ(px.size(), 24u) << name;
        for (int i = 0; i < 6; i++) {
            EXPECT_EQ(px[4 * i], grey[i]) << name << " " << i;
            EXPECT_EQ(px[4 * i + 1], grey[i]);
            EXPECT_EQ(px[4 * i + 2], grey[i]);
            EXPECT_EQ(px[4 * i + 3], 255);
        }
    }
    // JPEG is lossy: near the same greys.
    ASSERT_TRUE(export_image(p.rows.data(), 3, 2, dir.file("p.jpeg")));
    const auto jpg = decode_8bit(dir.file("p.jpeg"), &w, &h);
    ASSERT_EQ(jpg.size(), 24u);
    EXPECT_NEAR(jpg[0], 255, 40);
    EXPECT_NEAR(jpg[8], 0, 40);
}

TEST(ImageWrite, PictureWithoutPositiveValuesIsBlack)
{
    TempDir dir;
    for (float v : {0.0f, -3.0f}) {
        Picture p(2, 2, std::vector<float>(4, v));
        ASSERT_TRUE(export_image(p.rows.data(), 2, 2, dir.file("b.tif")));
        const auto f = read_binary_file(dir.file("b.tif"));
        ASSERT_EQ(f.size(), 8 + 16 + 150 + 16u);
        for (size_t at = 8; at < 24; at++)
            EXPECT_EQ(f[at], 0) << "byte " << at;   // +0.0, neither infinite nor negative zero
        ASSERT_TRUE(export_image(p.rows.data(), 2, 2, dir.file("b.png")));
        int w, h;
        const auto px = decode_8bit(dir.file("b.png"), &w, &h);
        ASSERT_EQ(px.size(), 16u);
        EXPECT_EQ(px, std::vector<unsigned char>({0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255}));
    }
    // Samples that are not numbers do not spoil the rest.
    Picture p(2, 1, {NAN, 2.0f});
    ASSERT_TRUE(export_image(p.rows.data(), 2, 1, dir.file("n.tif")));
    int w, h;
    Image image = load_tiff_float(dir.file("n.tif"), &w, &h);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image[0][0], 0.0f);
    EXPECT_EQ(image[0][1], 1.0f);
    image_free(image);
}

// A picture of peak 1 goes through the TIFF file and back unchanged, bit for bit.
TEST(ImageWrite, TiffRoundTrip)
{
    TempDir dir;
    const int w = 97, h = 61;
    std::mt19937 rng(11);
    std::vector<float> values;
    for (int i = 0; i < w * h; i++)
        values.push_back(std::ldexp((float)(rng() % 100000) / 100000.0f, -(int)(rng() % 30)));
    values[1234] = 1.0f;
    Picture p(w, h, values);
    ASSERT_TRUE(export_image(p.rows.data(), w, h, dir.file("r.tiff")));
    int rw, rh;
    Image image = load_tiff_float(dir.file("r.tiff"), &rw, &rh);
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(rw, w);
    ASSERT_EQ(rh, h);
    EXPECT_EQ(memcmp(image[0], values.data(), values.size() * 4), 0);
    image_free(image);

    // Through the 8-bit path too: the grey conversion undoes the gamma of 2 to within a level.
    ASSERT_TRUE(export_image(p.rows.data(), w, h, dir.file("r.png")));
    image = load_image_grey(dir.file("r.png"), &rw, &rh);
    ASSERT_NE(image, nullptr);
    for (int i = 0; i < w * h; i++) {
        const float g = std::sqrt(values[i]);
        ASSERT_LE(std::sqrt(image[i / w][i % w]), g + 1e-6f);
        ASSERT_GT(std::sqrt(image[i / w][i % w]), g - 1.0f / 255.0f - 1e-6f);
    }
    image_free(image);
}

TEST(ImageWrite, EightBitRefusals)
{
    TempDir dir;
    Picture p(1, 1, {1.0f});
    testing::internal::CaptureStderr();
    EXPECT_FALSE(export_image(p.rows.data(), 1, 1, dir.file("x.gif")));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Could not write image " + dir.file("x.gif") + ": not a TIFF, OpenEXR, PNG, BMP or JPEG name\n");
    EXPECT_TRUE(read_binary_file(dir.file("x.gif")).empty());

    Rgba8Raster r;
    r.width = r.height = 1;
    r.pixels = {1, 2, 3, 4};
    EXPECT_FALSE(save_image_8bit(dir.file("x.tga"), r, 92));
    EXPECT_FALSE(save_image_8bit(dir.file("missing/x.png"), r, 92));
    EXPECT_TRUE(save_image_8bit(dir.file("x.jpg"), r, 92));
    r.pixels.pop_back();
    EXPECT_FALSE(save_image_8bit(dir.file("y.png"), r, 92));

    testing::internal::CaptureStderr();
    EXPECT_FALSE(export_image(nullptr, 0, 0, dir.file("e.png")));
    EXPECT_EQ(count_lines(testing::internal::GetCapturedStderr()), 1);
}
