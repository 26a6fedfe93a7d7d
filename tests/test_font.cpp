#include <gtest/gtest.h>

#include <stb_image_write.h>

#include <algorithm>
#include <climits>
#include <random>
#include <string>
#include <vector>

#include "stderr_capture.h"
#include "support/font.h"
#include "support/png_load.h"
#include "testlib.h"

namespace {

constexpr uint32_t black = 0xFF000000u, white = 0xFFFFFFFFu, guard_colour = 0xFF123456u;

// A synthetic font with cells of 8 x h pixels. Glyph k (code 32 + k) is 1 + k % 5 columns
// wide starting at column 1, inked over rows [h/5, h - h/5) with one pixel of coverage 100
// whose row depends on k (so that glyphs differ). Column 0 holds stray ink and column 7 an
// almost-opaque mark, both outside the glyph. The space, 'Q' and 0x81 are unmarked.
struct TestFont {
    Pixmap glyphs, limits;
    int h;
    explicit TestFont(int h_ = 10) : h(h_)
    {
        glyphs = pixmap_create(8, 224 * h, 0x00FFFFFFu);
        limits = pixmap_create(8, 224 * h, 0x00FFFFFFu);
        for (int k = 0; k < 224; k++) {
            int code = 32 + k;
            uint32_t* g = glyphs.pixels.data() + size_t(k) * 8 * h;
            uint32_t* m = limits.pixels.data() + size_t(k) * 8 * h;
            g[(h / 2) * 8 + 0] = 0xFFFFFFFFu;  // stray ink outside the marked columns
            m[7] = 0xFEFFFFFFu;                // alpha 254 is no mark
            if (code == 32 || code == 'Q' || code == 0x81)
                continue;
            int w = width_of(code);
            for (int i = 1; i <= w; i++) {
                m[i] = 0xFFFFFFFFu;
                for (int j = top(); j < bottom(); j++)
                    g[j * 8 + i] = 0xFFFFFFFFu;
            }
            g[(top() + k % (bottom() - top())) * 8 + 1] = 0x64FFFFFFu;
        }
    }
    int top() const { return h / 5; }
    int bottom() const { return h - h / 5; }
    static int width_of(int code) { return code == 32 ? 0 : code == 'Q' || code == 0x81 ? 0 : 1 + (code - 32) % 5; }
    int advance_of(unsigned char code) const { return code == 32 ? h / 4 : width_of(code); }
    Font font(int offset) const { return font_from_images(glyphs, limits, offset); }
};

struct Canvas {
    Pixmap whole;
    Raster r;
    static constexpr int margin = 6;
    Canvas(int w, int h)
    {
        whole = pixmap_create(w + 2 * margin, h + 2 * margin, guard_colour);
        r = sub_raster(raster_of(whole), margin, margin, w, h);
        raster_fill(r, black);
    }
    uint32_t at(int x, int y) const { return r.pixels[y * r.stride + x]; }
    // Bounding box of the pixels that are not black: false when there are none.
    bool ink_box(int& x0, int& y0, int& x1, int& y1) const
    {
        x0 = y0 = INT_MAX;
        x1 = y1 = INT_MIN;
        for (int y = 0; y < r.height; y++)
            for (int x = 0; x < r.width; x++)
                if (at(x, y) != black) {
                    x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
                }
        return x0 != INT_MAX;
    }
    int inked() const
    {
        int n = 0;
        for (int y = 0; y < r.height; y++)
            for (int x = 0; x < r.width; x++)
                n += at(x, y) != black;
        return n;
    }
    bool guard_intact() const
    {
        for (int y = 0; y < whole.height; y++)
            for (int x = 0; x < whole.width; x++) {
                bool inside = x >= margin && x < margin + r.width && y >= margin && y < margin + r.height;
                if (!inside && whole.pixels[size_t(y) * whole.width + x] != guard_colour)
                    return false;
            }
        return true;
    }
    bool same_pixels(const Canvas& o) const { return whole.pixels == o.whole.pixels; }
};

void write_png(const std::string& path, const Pixmap& img)
{
    std::vector<unsigned char> rgba;
    for (uint32_t p : img.pixels)
        rgba.insert(rgba.end(), {(unsigned char)(p >> 16), (unsigned char)(p >> 8), (unsigned char)p, (unsigned char)(p >> 24)});
    ASSERT_TRUE(stbi_write_png(path.c_str(), img.width, img.height, 4, rgba.data(), img.width * 4));
}

}  // namespace

TEST(Font, MeasuredWidthIsTheDrawnExtent)
{
    TestFont tf;
    const Font font = tf.font(-7);
    ASSERT_TRUE(font_ok(font));
    EXPECT_EQ(font_height(font), tf.h);
    for (std::string text : {"Hello,world", "i", "Sonographica 1.11 \x97 Vision Mode", "\x80\xFF\xE9\x85QQx", "a  b"}) {
        int expected = 0;
        for (unsigned char c : text)
            expected += tf.advance_of(c);
        EXPECT_EQ(text_width(font, text), expected) << text;
        Canvas c(300, 40);
        EXPECT_EQ(draw_text(c.r, font, 5, 20, text, white), 5 + expected);
        int x0, y0, x1, y1;
        ASSERT_TRUE(c.ink_box(x0, y0, x1, y1));
        // Each text ends in an inked glyph, so its ink spans the measured width exactly,
        // and the cells' top row sits at y + offset.
        EXPECT_EQ(x0, 5) << text;
        EXPECT_EQ(x1, 5 + expected - 1) << text;
        EXPECT_EQ(y0, 20 - 7 + tf.top());
        EXPECT_EQ(y1, 20 - 7 + tf.bottom() - 1);
        // The UTF-8 path measures and draws the same for plain ASCII.
        if (std::all_of(text.begin(), text.end(), [](char ch) { return (unsigned char)ch < 0x80; })) {
            Canvas u(300, 40);
            EXPECT_EQ(draw_text_utf8(u.r, font, 5, 20, text, white), 5 + text_width_utf8(font, text));
            EXPECT_TRUE(u.same_pixels(c)) << text;
        }
    }
}

TEST(Font, GlyphsDrawOnlyTheirMarkedColumnsWithExactCoverage)
{
    TestFont tf;
    const Font font = tf.font(0);
    Canvas c(20, 12);
    draw_text(c.r, font, 2, 0, "H", white);  // 'H' is code 72: 1 + 40 % 5 = 1 column wide
    int x0, y0, x1, y1;
    ASSERT_TRUE(c.ink_box(x0, y0, x1, y1));
    EXPECT_EQ(x0, 2);
    EXPECT_EQ(x1, 2);
    // The coverage-100 pixel of glyph 40 sits at row top + 40 % 6 = 2 + 4.
    EXPECT_EQ(c.at(2, 6), blend_pixel(black, white, 100));
    EXPECT_EQ(c.at(2, 5), white);
    // A translucent colour scales the coverage: a = coverage * alpha / 255, rounded.
    Canvas t(20, 12);
    draw_text(t.r, font, 2, 0, "H", 0x80FF8000u);
    EXPECT_EQ(t.at(2, 5), blend_pixel(black, 0xFF8000u, 128));
    EXPECT_EQ(t.at(2, 6), blend_pixel(black, 0xFF8000u, 50));
    // Absent glyphs draw nothing and advance 0; the space advances a quarter of the cell.
    Canvas a(20, 12);
    EXPECT_EQ(draw_text(a.r, font, 3, 0, "Q\x81 Q", white), 3 + tf.h / 4);
    EXPECT_EQ(a.inked(), 0);
    // A fully transparent colour still advances.
    EXPECT_EQ(draw_text(a.r, font, 0, 0, "HH", 0x00FFFFFFu), 2);
    EXPECT_EQ(a.inked(), 0);
}

TEST(Font, TextAtAndBeyondTheEdgesIsSafe)
{
    TestFont tf;
    const Font font = tf.font(-5);
    const std::string text = "Clipping at the edges";
    Canvas c(40, 16);
    EXPECT_EQ(draw_text(c.r, font, 7, 3, "", white), 7);
    EXPECT_EQ(draw_text_utf8(c.r, font, 7, 3, "", white), 7);
    EXPECT_EQ(text_width(font, ""), 0);
    // Wholly outside, on every side and at the ends of int.
    for (auto [x, y] : {std::pair{INT_MIN, 8}, {-100000, 8}, {1000, 8}, {INT_MAX, 8}, {5, INT_MIN}, {5, -1000},
                        {5, 1000}, {5, INT_MAX}, {INT_MAX, INT_MAX}, {INT_MIN, INT_MIN}}) {
        draw_text(c.r, font, x, y, text, white);
        draw_text_utf8(c.r, font, x, y, "\xE2\x9C\x94 \xF0\x9F\x93\x84 \xFF", white);
    }
    EXPECT_EQ(c.inked(), 0);
    EXPECT_TRUE(c.guard_intact());
    // Partly outside on every side: what shows equals that part of the whole text.
    const int w = text_width(font, text);
    Canvas whole(w + 20, 30);
    draw_text(whole.r, font, 10, 15, text, white);
    for (int ox : {-13, 0, 25, w - 20})
        for (int oy : {-9, 0, 12}) {
            Canvas part(40, 16);  // a window at (ox, oy) of the whole canvas
            draw_text(part.r, font, 10 - ox, 15 - oy, text, white);
            for (int y = 0; y < 16; y++)
                for (int x = 0; x < 40; x++) {
                    int wx = x + ox, wy = y + oy;
                    bool in_whole = wx >= 0 && wx < whole.r.width && wy >= 0 && wy < whole.r.height;
                    ASSERT_EQ(part.at(x, y), in_whole ? whole.at(wx, wy) : black) << ox << "," << oy << " at " << x << "," << y;
                }
            EXPECT_TRUE(part.guard_intact());
        }
    EXPECT_GT(whole.inked(), 0);
}

TEST(Font, Utf8DecodingMapsAndReplaces)
{
    struct Case {
        std::string bytes;
        uint32_t cp;
        size_t next;
    };
    for (const Case& c : std::vector<Case>{
             {"A", 'A', 1},
             {"\xC3\xA9", 0xE9, 2},
             {"\xE2\x9C\x94", 0x2714, 3},
             {"\xF0\x9F\x93\x84", 0x1F4C4, 4},
             {"\xF4\x8F\xBF\xBF", 0x10FFFF, 4},
             {"\x80", 0xFFFD, 1},                // stray continuation byte
             {"\xC0\xAF", 0xFFFD, 1},            // overlong '/'
             {"\xE0\x80\xAF", 0xFFFD, 1},        // overlong
             {"\xF0\x80\x80\xAF", 0xFFFD, 1},    // overlong
             {"\xED\xA0\x80", 0xFFFD, 1},        // surrogate
             {"\xF4\x90\x80\x80", 0xFFFD, 1},    // above U+10FFFF
             {"\xF5\x80\x80\x80", 0xFFFD, 1},
             {"\xFF", 0xFFFD, 1},
             {"\xE2\x9C", 0xFFFD, 1},            // truncated at the end
             {"\xE2" "A\x94", 0xFFFD, 1},        // continuation missing
         }) {
        size_t pos = 0;
        EXPECT_EQ(utf8_next(c.bytes, pos), c.cp) << c.bytes;
        EXPECT_EQ(pos, c.next) << c.bytes;
    }
    size_t end = 3;
    EXPECT_EQ(utf8_next("abc", end), 0u);
    EXPECT_EQ(end, 3u);

    EXPECT_EQ(unicode_to_cp1252('A'), 'A');
    EXPECT_EQ(unicode_to_cp1252(0xE9), 0xE9);
    EXPECT_EQ(unicode_to_cp1252(0x20AC), 0x80);
    EXPECT_EQ(unicode_to_cp1252(0x2014), 0x97);
    EXPECT_EQ(unicode_to_cp1252(0x0178), 0x9F);
    EXPECT_EQ(unicode_to_cp1252(0x85), -1);  // C1 control, not the ellipsis
    EXPECT_EQ(unicode_to_cp1252(0x7F), -1);
    EXPECT_EQ(unicode_to_cp1252(0x4E00), -1);
    EXPECT_EQ(unicode_to_cp1252(0), -1);

    // Mapped code points draw exactly as their Windows-1252 bytes do.
    TestFont tf;
    const Font font = tf.font(-7);
    Canvas a(200, 30), b(200, 30);
    int ea = draw_text(a.r, font, 4, 15, "caf\xE9 \x80\x97\x85\x9F", white);
    int eb = draw_text_utf8(b.r, font, 4, 15, "caf\xC3\xA9 \xE2\x82\xAC\xE2\x80\x94\xE2\x80\xA6\xC5\xB8", white);
    EXPECT_EQ(ea, eb);
    EXPECT_TRUE(a.same_pixels(b));
    EXPECT_GT(a.inked(), 0);
}

TEST(Font, UnknownCharactersAndInvalidBytesDrawAHollowBox)
{
    TestFont tf(20);
    const Font font = tf.font(-7);
    // An unmapped code point, an invalid byte and a glyph the font lacks draw the same box.
    std::vector<Canvas> boxes;
    for (std::string text : {"\xE4\xB8\x80", "\xFF", "Q", "\xC2\x81"}) {
        Canvas c(40, 30);
        int end = draw_text_utf8(c.r, font, 5, 15, text, white);
        EXPECT_EQ(end, 5 + text_width_utf8(font, text));
        EXPECT_GT(end, 5);
        int x0, y0, x1, y1;
        ASSERT_TRUE(c.ink_box(x0, y0, x1, y1)) << text;
        EXPECT_GE(x0, 5);
        EXPECT_LT(x1, end);
        EXPECT_GE(x1 - x0, 2);
        EXPECT_GE(y1 - y0, 2);
        // Hollow: the centre of the box is empty.
        EXPECT_EQ(c.at((x0 + x1) / 2, (y0 + y1) / 2), black);
        boxes.push_back(std::move(c));
    }
    for (size_t i = 1; i < boxes.size(); i++)
        EXPECT_TRUE(boxes[i].same_pixels(boxes[0])) << i;
    // Control characters are layout: nothing drawn, no advance, in either encoding.
    EXPECT_EQ(text_width_utf8(font, "a\tb\n"), text_width_utf8(font, "ab"));
    EXPECT_EQ(text_width(font, "a\tb\n"), text_width(font, "ab"));
    // Each invalid byte is one box: three bad bytes advance three boxes.
    EXPECT_EQ(text_width_utf8(font, "\xF0\x9F\x93"), 3 * text_width_utf8(font, "\xFF"));
    // Random bytes never write outside the raster and always advance as measured.
    std::mt19937 gen(7);
    for (int n = 0; n < 300; n++) {
        std::string s(size_t(gen() % 24), '\0');
        for (char& ch : s)
            ch = char(gen() & 255);
        Canvas c(60, 24);
        int x = int(gen() % 120) - 60, y = int(gen() % 60) - 20;
        EXPECT_EQ(draw_text_utf8(c.r, font, x, y, s, white), x + text_width_utf8(font, s));
        EXPECT_EQ(draw_text(c.r, font, x, y, s, white), x + text_width(font, s));
        ASSERT_TRUE(c.guard_intact());
    }
}

TEST(Font, DialogSymbolsAreDrawnAsDistinctShapes)
{
    TestFont tf(30);
    const Font font = tf.font(-11);
    const int cap = tf.bottom() - tf.top();
    std::vector<Canvas> drawn;
    for (std::string symbol : {"\xE2\x9C\x94", "\xE2\x9D\x8C", "\xE2\x9A\xA0", "\xF0\x9F\x93\x84", "\xE4\xB8\x80"}) {
        Canvas c(60, 40);
        int w = text_width_utf8(font, symbol);
        EXPECT_EQ(draw_text_utf8(c.r, font, 10, 20, symbol, white), 10 + w);
        int x0, y0, x1, y1;
        ASSERT_TRUE(c.ink_box(x0, y0, x1, y1)) << symbol;
        // Within its advance and within the capitals' rows, filling a good part of them.
        EXPECT_GE(x0, 10);
        EXPECT_LT(x1, 10 + w);
        EXPECT_GE(y0, 20 - 11 + tf.top());
        EXPECT_LT(y1, 20 - 11 + tf.bottom());
        EXPECT_GE(y1 - y0 + 1, cap * 2 / 3) << symbol;
        EXPECT_GE(c.inked(), cap * cap / 8) << symbol;
        drawn.push_back(std::move(c));
    }
    for (size_t i = 0; i < drawn.size(); i++)
        for (size_t j = i + 1; j < drawn.size(); j++)
            EXPECT_FALSE(drawn[i].same_pixels(drawn[j])) << i << " " << j;
    // Text around a symbol keeps measuring what it draws.
    const std::string line = "Saved \xE2\x9C\x94 file \xF0\x9F\x93\x84";
    Canvas c(300, 40);
    EXPECT_EQ(draw_text_utf8(c.r, font, 3, 20, line, white), 3 + text_width_utf8(font, line));
}

TEST(Font, LoadsFromFilesAndRefusesBadOnes)
{
    TempDir dir;
    TestFont tf;
    write_png(dir.file("font.png"), tf.glyphs);
    write_png(dir.file("font_limits.png"), tf.limits);
    const Font from_file = font_load(dir.file("font.png").c_str(), dir.file("font_limits.png").c_str(), -5);
    ASSERT_TRUE(font_ok(from_file));
    const Font in_memory = tf.font(-5);
    const std::string text = "The quick brown fox \x97 0123456789";
    EXPECT_EQ(text_width(from_file, text), text_width(in_memory, text));
    Canvas a(300, 20), b(300, 20);
    draw_text(a.r, from_file, 0, 8, text, white);
    draw_text(b.r, in_memory, 0, 8, text, white);
    EXPECT_TRUE(a.same_pixels(b));

    // The same glyphs saved without transparency, as white on black, draw the same.
    Pixmap grey = tf.glyphs, grey_limits = tf.limits;
    for (Pixmap* img : {&grey, &grey_limits})
        for (uint32_t& p : img->pixels)
            p = 0xFF000000u | (p >> 24) * 0x010101u;
    for (const Pixmap* limits : {&tf.limits, &grey_limits}) {
        Canvas g(300, 20);
        draw_text(g.r, font_from_images(grey, *limits, -5), 0, 8, text, white);
        EXPECT_TRUE(g.same_pixels(a));
    }

    StderrCapture capture;
    const std::string missing = dir.file("font16_limits.png");
    Font none = font_load(dir.file("font.png").c_str(), missing.c_str(), -7);
    EXPECT_FALSE(font_ok(none));
    std::string log = capture.take();
    EXPECT_NE(log.find("File not found: " + missing + "\n"), std::string::npos) << log;
    EXPECT_EQ(count_lines(log), 1);
    // An empty font measures nothing and draws nothing.
    Canvas c(40, 20);
    EXPECT_EQ(text_width(none, "abc"), 0);
    EXPECT_EQ(text_width_utf8(none, "abc\xE2\x9C\x94"), 0);
    EXPECT_EQ(draw_text_utf8(c.r, none, 4, 4, "abc\xFF", white), 4);
    EXPECT_EQ(c.inked(), 0);

    // Pictures that are not a font: a height not a multiple of 224, mismatched sizes.
    Pixmap odd = pixmap_create(8, 225, white);
    EXPECT_FALSE(font_ok(font_from_images(odd, odd, 0)));
    Pixmap narrow = pixmap_create(7, 224 * 10, white);
    EXPECT_FALSE(font_ok(font_from_images(tf.glyphs, narrow, 0)));
    EXPECT_FALSE(font_ok(font_from_images(Pixmap{}, Pixmap{}, 0)));
    EXPECT_EQ(count_lines(capture.take()), 3);
}

TEST(PngLoad, ReadsArgbAndReportsMissingOrBrokenFiles)
{
    TempDir dir;
    Pixmap img = pixmap_create(3, 2);
    img.pixels = {0x44112233u, 0xFFFFFFFFu, 0x00000000u, 0x80FF0000u, 0xFF00FF00u, 0x010000FFu};
    write_png(dir.file("colours.png"), img);
    Pixmap back = pixmap_load_png(dir.file("colours.png").c_str());
    EXPECT_EQ(back.width, 3);
    EXPECT_EQ(back.height, 2);
    EXPECT_EQ(back.pixels, img.pixels);

    StderrCapture capture;
    const std::string missing = dir.file("gfx/palette.png");
    EXPECT_TRUE(pixmap_load_png(missing.c_str()).pixels.empty());
    EXPECT_EQ(capture.take(), "File not found: " + missing + "\n");
    write_text_file(dir.file("broken.png"), "\x89PNG\r\n\x1a\n not really");
    Pixmap broken = pixmap_load_png(dir.file("broken.png").c_str());
    EXPECT_TRUE(broken.pixels.empty());
    EXPECT_EQ(broken.width, 0);
    std::string log = capture.take();
    EXPECT_EQ(count_lines(log), 1);
    EXPECT_NE(log.find("broken.png"), std::string::npos);
    write_text_file(dir.file("empty.png"), "");
    EXPECT_TRUE(pixmap_load_png(dir.file("empty.png").c_str()).pixels.empty());
    EXPECT_EQ(count_lines(capture.take()), 1);
}
