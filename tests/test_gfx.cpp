#include <gtest/gtest.h>

#include <cmath>
#include <stb_image.h>
#include <string>
#include <vector>

#include "gfx/canvas.h"
#include "gfx/colour.h"
#include "gfx/fonts.h"
#include "support/palette_entries.h"
#include "testlib.h"

namespace {

struct Image {
    int w = 0, h = 0;
    std::vector<unsigned char> px;  // RGBA
    const unsigned char* at(int x, int y) const { return &px[((size_t)y * w + x) * 4]; }
    int alpha(int x, int y) const { return at(x, y)[3]; }
};

Image load(const std::string& relative)
{
    Image img;
    const std::string path = std::string(SONO_GFX_DIR) + "/" + relative;
    int channels = 0;
    unsigned char* data = stbi_load(path.c_str(), &img.w, &img.h, &channels, 4);
    if (!data) {
        ADD_FAILURE() << "cannot decode " << path;
        return img;
    }
    img.px.assign(data, data + (size_t)img.w * img.h * 4);
    stbi_image_free(data);
    return img;
}

double luminance(const unsigned char* p)
{
    auto lin = [](unsigned char c) {
        const double v = c / 255.0;
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(p[0]) + 0.7152 * lin(p[1]) + 0.0722 * lin(p[2]);
}

struct Sized {
    const char* name;
    int w, h;  // at 1×
};

const Sized interface_images[] = {
    {"menu_bar.png", 32, 22},    {"menu_line.png", 200, 7},       {"menu_shadow.png", 24, 24},
    {"knob.png", 64, 64},        {"knob_anim.png", 64, 64 * 64},  {"button_small.png", 32, 64},
    {"button_med.png", 48, 64},  {"button_big.png", 64, 96},      {"corner.png", 24, 24},
    {"play.png", 32, 32},        {"pause.png", 32, 32},           {"mouse.png", 32, 32},
    {"move.png", 32, 32},        {"spray_black.png", 32, 32},     {"spray_white.png", 32, 32},
    {"flashlight.png", 32, 32},  {"roadroller.png", 32, 32},      {"rectool.png", 32, 32},
    {"harmonics.png", 32, 32},   {"magnet.png", 32, 32},          {"open.png", 32, 32},
    {"save.png", 32, 32},        {"quit.png", 32, 32},
};

TEST(Gfx, EveryImageExistsAtBothScalesWithSomethingDrawn)
{
    for (const Sized& s : interface_images) {
        for (int scale : {1, 2}) {
            const Image img = load((scale == 2 ? "2x/" : "") + std::string(s.name));
            ASSERT_EQ(img.w, s.w * scale) << s.name << " at " << scale << "x";
            ASSERT_EQ(img.h, s.h * scale) << s.name << " at " << scale << "x";
            int drawn = 0;
            for (int y = 0; y < img.h; ++y)
                for (int x = 0; x < img.w; ++x) drawn += img.alpha(x, y) > 32;
            EXPECT_GT(drawn, img.w * img.h / 50) << s.name << " at " << scale << "x is nearly empty";
        }
    }
    for (int size : {48, 128, 256}) {
        const Image icon = load("icon/sonographica-" + std::to_string(size) + ".png");
        EXPECT_EQ(icon.w, size);
        EXPECT_EQ(icon.h, size);
        // A rounded square: corners clear, centre opaque.
        EXPECT_EQ(icon.alpha(0, 0), 0);
        EXPECT_EQ(icon.alpha(size / 2, size / 2), 255);
    }
}

TEST(Gfx, FontCellsFollowTheLayoutTheDrawingLayerReads)
{
    for (int nominal : {12, 16, 24}) {
        int cell_1x = 0;
        for (int scale : {1, 2}) {
            const std::string name = std::string(scale == 2 ? "2x/" : "") + "font/font" + std::to_string(nominal);
            const Image glyphs = load(name + ".png"), limits = load(name + "_limits.png");
            ASSERT_EQ(glyphs.h % 224, 0) << name;
            const int h = glyphs.h / 224;
            if (scale == 1) {
                EXPECT_GE(h, nominal) << name;
                EXPECT_LE(h, nominal + 2) << name;
                cell_1x = h;
            } else {
                EXPECT_EQ(h, 2 * cell_1x) << name;
            }
            ASSERT_EQ(limits.w, glyphs.w) << name;
            ASSERT_EQ(limits.h, glyphs.h) << name;
            auto extent = [&](int code, int& first, int& last) {
                first = -1;
                for (int x = 0; x < limits.w; ++x)
                    if (limits.alpha(x, (code - 32) * h) == 255) {
                        if (first < 0) first = x;
                        last = x;
                    }
                return first >= 0;
            };
            // Ink inside and outside the marked columns of a cell, and its lowest row.
            auto ink = [&](int code, int first, int last, int& outside, int& lowest) {
                int inside = 0;
                outside = 0, lowest = -1;
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < glyphs.w; ++x) {
                        const unsigned char* p = glyphs.at(x, (code - 32) * h + y);
                        if (p[3] == 0) continue;
                        EXPECT_EQ(p[0] + p[1] + p[2], 3 * 255) << name << " code " << code;
                        (x >= first && x <= last ? inside : outside) += p[3];
                        if (p[3] > 128) lowest = y;
                    }
                return inside;
            };
            int first, last, outside, lowest;
            for (int code = 33; code <= 126; ++code) {
                ASSERT_TRUE(extent(code, first, last)) << name << " code " << code;
                EXPECT_GT(ink(code, first, last, outside, lowest), 0) << name << " code " << code;
                EXPECT_EQ(outside, 0) << name << " code " << code;
            }
            ASSERT_TRUE(extent(' ', first, last)) << name;
            EXPECT_GE(last - first + 1, h / 5) << name << ": the space needs an advance";
            EXPECT_EQ(ink(' ', first, last, outside, lowest), 0);
            // Glyphs sit on one baseline, and a descender reaches below it.
            int base_h, base_x, base_p;
            extent('H', first, last), ink('H', first, last, outside, base_h);
            extent('x', first, last), ink('x', first, last, outside, base_x);
            extent('p', first, last), ink('p', first, last, outside, base_p);
            EXPECT_EQ(base_h, base_x) << name;
            EXPECT_GT(base_p, base_h) << name;
            // Windows-1252: the euro sign and the em dash are drawn, the undefined codes are empty.
            for (int code : {0x80, 0x97, 0xE9}) {
                ASSERT_TRUE(extent(code, first, last)) << name << " code " << code;
                EXPECT_GT(ink(code, first, last, outside, lowest), 0) << name << " code " << code;
            }
            extent(0x97, first, last);
            const int em_dash = last - first;
            extent(0x96, first, last);
            EXPECT_GT(em_dash, last - first) << name << ": em dash wider than en dash";
            for (int code : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
                EXPECT_FALSE(extent(code, first, last)) << name << " code " << code;
                EXPECT_EQ(ink(code, 0, glyphs.w - 1, outside, lowest), 0) << name << " code " << code;
            }
        }
    }
}

TEST(Gfx, PalettesHoldDistinctOpaqueEntriesAndARisingRamp)
{
    const Image palette = load("palette.png");
    ASSERT_EQ(palette.w, palette_entry_count);
    ASSERT_EQ(palette.h, 1);
    for (int i = 0; i < palette.w; ++i) EXPECT_EQ(palette.alpha(i, 0), 255) << "entry " << i;
    const int named[] = {palette_empty_rows, palette_block_pending, palette_block_rendering};
    for (int a : named)
        for (int b : named) {
            if (a == b) continue;
            EXPECT_NE(memcmp(palette.at(a, 0), palette.at(b, 0), 3), 0) << a << " and " << b;
        }
    // Empty rows must not read as silence, which is black in the picture.
    EXPECT_GT(luminance(palette.at(palette_empty_rows, 0)), 0.01);

    const Image ramp = load("gradient.png");
    ASSERT_EQ(ramp.w, 256);
    ASSERT_EQ(ramp.h, 1);
    EXPECT_LT(luminance(ramp.at(0, 0)), 0.005);
    EXPECT_GT(luminance(ramp.at(255, 0)), 0.8);
    for (int i = 1; i < 256; ++i) {
        EXPECT_EQ(ramp.alpha(i, 0), 255);
        EXPECT_GE(luminance(ramp.at(i, 0)), luminance(ramp.at(i - 1, 0))) << "entry " << i;
    }

    for (const char* name : {"palette.png", "gradient.png", "rainbow.png"}) {
        const Image one = load(name), two = load(std::string("2x/") + name);
        EXPECT_EQ(one.px, two.px) << name << ": a table, the same at both scales";
    }

    const Image bands = load("rainbow.png");
    ASSERT_GE(bands.w, 8);
    ASSERT_EQ(bands.h, 1);
    for (int i = 1; i < bands.w; ++i) EXPECT_NE(memcmp(bands.at(i, 0), bands.at(i - 1, 0), 3), 0) << "entry " << i;
    // Low bands warm (red over blue), high bands cool; the background is darkest.
    EXPECT_GT(bands.at(0, 0)[0], bands.at(0, 0)[2]);
    EXPECT_GT(bands.at(bands.w - 2, 0)[2], bands.at(bands.w - 2, 0)[0]);
    for (int i = 0; i < bands.w - 1; ++i)
        EXPECT_GT(luminance(bands.at(i, 0)), luminance(bands.at(bands.w - 1, 0)) * 4) << "entry " << i;
}

TEST(Gfx, KnobFramesTurnClockwiseFromLowerLeftToLowerRight)
{
    const Image knob = load("knob.png"), strip = load("knob_anim.png");
    ASSERT_EQ(strip.w, knob.w);
    ASSERT_EQ(strip.h, 64 * knob.h);
    // The pointer is the brightest part of a frame: its centroid gives the angle.
    auto pointer_angle = [&](int frame) {
        double sx = 0, sy = 0, n = 0;
        for (int y = 0; y < knob.h; ++y)
            for (int x = 0; x < knob.w; ++x) {
                const unsigned char* p = strip.at(x, frame * knob.h + y);
                if (p[3] > 200 && p[0] > 230 && p[1] > 230 && p[2] > 230) sx += x + 0.5, sy += y + 0.5, n += 1;
            }
        EXPECT_GT(n, 0) << "frame " << frame;
        // Clockwise from 12 o'clock, in degrees.
        return std::atan2(sx / n - knob.w / 2.0, knob.h / 2.0 - sy / n) * 180 / M_PI;
    };
    EXPECT_NEAR(pointer_angle(0), -135, 8);
    EXPECT_NEAR(pointer_angle(32), 0, 8);
    EXPECT_NEAR(pointer_angle(63), 135 - 270.0 / 64, 8);
    double previous = pointer_angle(0);
    for (int f = 4; f < 64; f += 4) {
        const double a = pointer_angle(f);
        EXPECT_GT(a, previous) << "frame " << f;
        previous = a;
    }
}

TEST(Gfx, ButtonsStackTwoDifferentStates)
{
    for (const char* name : {"button_small.png", "button_med.png", "button_big.png"}) {
        const Image b = load(name);
        const int half = b.h / 2;
        double diff = 0;
        for (int y = 0; y < half; ++y)
            for (int x = 0; x < b.w; ++x)
                for (int c = 0; c < 4; ++c) diff += std::abs(b.at(x, y)[c] - b.at(x, y + half)[c]);
        EXPECT_GT(diff / (b.w * half), 5) << name << ": pressed looks like released";
    }
}

TEST(Gfx, GeneratorRefusesAMissingFont)
{
    TempDir dir;
    std::string out;
    const int status = run_command(std::string(SONO_MAKE_GFX_PATH) + " " + dir.file("gfx") + " " +
                                       dir.file("no-such-font.ttf") + " 2>&1",
                                   &out);
    EXPECT_NE(status, 0);
    EXPECT_NE(out.find("no-such-font.ttf"), std::string::npos) << out;
    const std::string junk = dir.file("junk.ttf");
    write_text_file(junk, "not a font at all");
    EXPECT_NE(run_command(std::string(SONO_MAKE_GFX_PATH) + " " + dir.file("gfx") + " " + junk + " 2>&1", &out), 0);
    EXPECT_NE(out.find("Not a usable TrueType font"), std::string::npos) << out;
}

}  // namespace

// The drawing primitives behind the images.
namespace {

float sum(const std::vector<float>& v)
{
    float s = 0;
    for (float x : v) s += x;
    return s;
}

TEST(GfxRaster, CoverageIsExactOnPixelEdgesAndSharedAcrossThem)
{
    canvas c = canvas_make(8, 8, 1);
    std::vector<float> cov = shape_coverage(c, rect(2, 2, 3, 3));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(cov[y * 8 + x], (x >= 2 && x < 5 && y >= 2 && y < 5) ? 1.0f : 0.0f) << x << "," << y;
    cov = shape_coverage(c, rect(1.5f, 1, 1, 1));
    EXPECT_FLOAT_EQ(cov[1 * 8 + 1], 0.5f);
    EXPECT_FLOAT_EQ(cov[1 * 8 + 2], 0.5f);
    EXPECT_FLOAT_EQ(sum(cov), 1.0f);
    // The same shape at twice the scale covers four times the pixels, and nothing off the canvas.
    canvas big = canvas_make(8, 8, 2);
    EXPECT_FLOAT_EQ(sum(shape_coverage(big, rect(2, 2, 3, 3))), 36.0f);
    EXPECT_FLOAT_EQ(sum(shape_coverage(big, rect(-5, -5, 7, 7))), 16.0f);
}

TEST(GfxRaster, ShapesUniteWhateverTheirWindingAndRingsHaveHoles)
{
    canvas c = canvas_make(8, 8, 1);
    shape both = join(poly({{0, 0}, {4, 0}, {4, 4}, {0, 4}}), poly({{2, 0}, {2, 4}, {6, 4}, {6, 0}}));
    std::vector<float> cov = shape_coverage(c, both);
    EXPECT_FLOAT_EQ(cov[1 * 8 + 3], 1.0f);
    EXPECT_FLOAT_EQ(sum(cov), 24.0f);

    canvas r = canvas_make(32, 32, 1);
    cov = shape_coverage(r, ring(16, 16, 12, 6));
    EXPECT_EQ(cov[16 * 32 + 16], 0.0f);
    EXPECT_EQ(cov[16 * 32 + 16 + 9], 1.0f);
    EXPECT_NEAR(sum(cov), M_PI * (144 - 36), M_PI * (144 - 36) * 0.01);
    // Two segments overlapping on 1 unit², two half-disc ends and the outer quarter of the joint.
    const vec2 pts[3] = {{4, 8}, {20, 8}, {20, 24}};
    EXPECT_NEAR(sum(shape_coverage(r, stroke(pts, 2))), 63 + 1.25 * M_PI, 0.3);
}

TEST(GfxRaster, BlurSpreadsCoverageWithoutLosingIt)
{
    canvas c = canvas_make(40, 40, 1);
    std::vector<float> cov = shape_coverage(c, rect(15, 15, 10, 10));
    blur(cov, c.width, c.height, 3);
    EXPECT_NEAR(sum(cov), 100.0f, 0.5f);
    EXPECT_GT(cov[20 * 40 + 12], 0.05f);  // spread beyond the edge
    EXPECT_LT(cov[20 * 40 + 15], 0.9f);   // softened at it
}

TEST(GfxColour, OklabRoundTripsAndWindows1252MapsItsHighCodes)
{
    for (uint32_t hex : {0x000000u, 0xffffffu, 0x3b0f6fu, 0xf7792cu, 0x29313du}) {
        const rgba in = rgb_hex(hex), out = from_oklab(to_oklab(in));
        EXPECT_NEAR(out.r, in.r, 1e-3) << std::hex << hex;
        EXPECT_NEAR(out.g, in.g, 1e-3) << std::hex << hex;
        EXPECT_NEAR(out.b, in.b, 1e-3) << std::hex << hex;
    }
    // Out of gamut: chroma gives way, lightness stays.
    const rgba vivid = from_oklab({0.7f, 0.4f, 0.0f});
    EXPECT_NEAR(to_oklab(vivid).l, 0.7f, 0.01f);

    EXPECT_EQ(cp1252_to_unicode(0x41), 0x41u);
    EXPECT_EQ(cp1252_to_unicode(0x80), 0x20ACu);
    EXPECT_EQ(cp1252_to_unicode(0x97), 0x2014u);
    EXPECT_EQ(cp1252_to_unicode(0x9F), 0x0178u);
    EXPECT_EQ(cp1252_to_unicode(0xE9), 0xE9u);
    for (int undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(cp1252_to_unicode(undefined), 0u);
}

}  // namespace
