#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

#include "support/raster.h"

namespace {

constexpr uint32_t guard_colour = 0xFF123456u;
constexpr uint32_t black = 0xFF000000u;

// A raster with a frame of guard pixels around it: a write outside the raster shows in the frame.
struct Guarded {
    Pixmap whole;
    Raster r;
    int margin;
    Guarded(int w, int h, uint32_t fill = black, int margin_ = 8) : margin(margin_)
    {
        whole = pixmap_create(w + 2 * margin, h + 2 * margin, guard_colour);
        r = sub_raster(raster_of(whole), margin, margin, w, h);
        raster_fill(r, fill);
    }
    uint32_t at(int x, int y) const { return r.pixels[y * r.stride + x]; }
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
    int count(uint32_t colour) const
    {
        int n = 0;
        for (int y = 0; y < r.height; y++)
            for (int x = 0; x < r.width; x++)
                n += at(x, y) == colour;
        return n;
    }
};

uint32_t channel(uint32_t p, int shift)
{
    return (p >> shift) & 255;
}

// The blending rule, written out in floating point.
uint32_t reference_blend(uint32_t d, uint32_t s, uint32_t a)
{
    uint32_t out = 0;
    for (int shift : {0, 8, 16}) {
        double v = (double(channel(s, shift)) * a + double(channel(d, shift)) * (255 - a)) / 255.0;
        out |= uint32_t(std::lround(v)) << shift;
    }
    double oa = a + double(channel(d, 24)) * (255 - a) / 255.0;
    return out | (uint32_t(std::lround(oa)) << 24);
}

}  // namespace

TEST(Raster, RectanglesClipAtEveryEdge)
{
    const uint32_t red = 0xFFFF0000u;
    Guarded g(16, 12);
    fill_rect(g.r, -5, -4, 8, 7, red);  // top-left corner: columns 0..2, rows 0..2
    EXPECT_EQ(g.count(red), 9);
    EXPECT_EQ(g.at(2, 2), red);
    EXPECT_EQ(g.at(3, 2), black);
    fill_rect(g.r, 14, 10, 100, 100, red);  // bottom-right corner: 2 x 2
    EXPECT_EQ(g.count(red), 13);
    for (int w : {0, -1, INT_MIN})
        fill_rect(g.r, 4, 4, w, 3, red), fill_rect(g.r, 4, 4, 3, w, red), blend_rect(g.r, 4, 4, w, w, 0x80FF0000u);
    EXPECT_EQ(g.count(red), 13);
    EXPECT_EQ(g.at(4, 4), black);
    // Far larger than the raster, and coordinates at the ends of int.
    fill_rect(g.r, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0xFF00FF00u);  // ends at -1, -1: nothing
    fill_rect(g.r, INT_MAX, INT_MAX, INT_MAX, INT_MAX, 0xFF00FF00u);
    EXPECT_EQ(g.count(0xFF00FF00u), 0);
    fill_rect(g.r, -1000000, -1000000, INT_MAX, INT_MAX, red);
    blend_rect(g.r, -1000000, 5, INT_MAX, 1, 0x80000000u);
    EXPECT_EQ(g.count(red), 16 * 12 - 16);
    EXPECT_EQ(g.at(15, 5), reference_blend(red, 0, 0x80));
    EXPECT_TRUE(g.guard_intact());

    fill_rect(g.r, -2000000000, -2000000000, 2000000000 + 3, 2000000000 + 2, 0xFF0000FFu);
    EXPECT_EQ(g.count(0xFF0000FFu), 6);
    EXPECT_TRUE(g.guard_intact());

    // An empty or null raster is a no-op for every primitive.
    Raster none;
    fill_rect(none, 0, 0, 5, 5, red);
    draw_line(none, 0, 0, 5, 5, red);
    draw_dashed_hline(none, 0, 0, 5, red, 1, 1, 0);
    blit(none, 0, 0, view_of(g.r));
    blit_scaled(none, 0, 0, 9, 9, view_of(g.r), ScaleFilter::bilinear);
    Raster outside = sub_raster(g.r, 20, 20, 5, 5);
    EXPECT_EQ(outside.width, 0);
    raster_fill(outside, red);
    draw_rect_outline(outside, 0, 0, 3, 3, red);
    EXPECT_TRUE(g.guard_intact());
}

TEST(Raster, SubRasterIsAClippedWindowOntoItsParent)
{
    Guarded g(10, 10);
    Raster inner = sub_raster(g.r, -3, 4, 6, 100);
    ASSERT_EQ(inner.width, 3);
    ASSERT_EQ(inner.height, 6);
    raster_fill(inner, 0xFF00FF00u);
    EXPECT_EQ(g.count(0xFF00FF00u), 18);
    EXPECT_EQ(g.at(0, 4), 0xFF00FF00u);
    EXPECT_EQ(g.at(2, 9), 0xFF00FF00u);
    EXPECT_EQ(g.at(3, 4), black);
    draw_line(inner, -10, -10, 50, 50, 0xFFFFFFFFu);  // clipped to the window, not the parent
    EXPECT_EQ(g.at(0, 4), 0xFFFFFFFFu);
    EXPECT_EQ(g.at(2, 6), 0xFFFFFFFFu);
    EXPECT_EQ(g.at(3, 7), black);
    EXPECT_TRUE(g.guard_intact());

    Pixmap refused = pixmap_create(1 << 20, 1 << 20);
    EXPECT_TRUE(refused.pixels.empty());
    EXPECT_EQ(raster_of(refused).pixels, nullptr);
    EXPECT_TRUE(pixmap_create(-1, 4).pixels.empty());
}

TEST(Raster, BlendingIsTheRoundedSourceOverFormulaForEveryInput)
{
    // Every source value, destination value and alpha, each channel in turn.
    for (int shift : {0, 8, 16})
        for (uint32_t a = 0; a < 256; a++)
            for (uint32_t s = 0; s < 256; s++)
                for (uint32_t d = 0; d < 256; d += 5) {
                    uint32_t dst = 0xFF000000u | (d << shift) | (0x37u << (shift == 0 ? 8 : 0));
                    uint32_t got = blend_pixel(dst, s << shift, a);
                    uint32_t want = reference_blend(dst, s << shift, a);
                    if (got != want)
                        FAIL() << std::hex << "dst " << dst << " src " << (s << shift) << " alpha " << std::dec << a
                               << ": " << std::hex << got << " != " << want;
                }
    // The alpha channel of a translucent destination.
    for (uint32_t a : {0u, 1u, 77u, 128u, 254u, 255u})
        for (uint32_t da : {0u, 1u, 100u, 200u, 255u}) {
            uint32_t dst = (da << 24) | 0x204060u;
            EXPECT_EQ(blend_pixel(dst, 0xC0A080u, a), reference_blend(dst, 0xC0A080u, a)) << a << " " << da;
        }
    // Rectangles and lines use the same rule with the colour's alpha.
    Guarded g(4, 4, 0xFF3080F0u);
    blend_rect(g.r, 0, 0, 2, 2, 0x66FF2000u);
    draw_hline(g.r, 0, 3, 4, 0x10FFFFFFu);
    EXPECT_EQ(g.at(1, 1), reference_blend(0xFF3080F0u, 0xFF2000u, 0x66));
    EXPECT_EQ(g.at(3, 3), reference_blend(0xFF3080F0u, 0xFFFFFFu, 0x10));
    EXPECT_EQ(g.at(2, 2), 0xFF3080F0u);
}

TEST(Raster, DashedLinesFollowTheirPhaseAcrossClipping)
{
    auto pattern = [](int x, int length, int dash, int gap, int phase, bool vertical) {
        Guarded g(12, 12);
        if (vertical)
            draw_dashed_vline(g.r, 3, x, length, 0xFFFFFFFFu, dash, gap, phase);
        else
            draw_dashed_hline(g.r, x, 3, length, 0xFFFFFFFFu, dash, gap, phase);
        std::string s;
        for (int i = 0; i < 12; i++)
            s += (vertical ? g.at(3, i) : g.at(i, 3)) == 0xFFFFFFFFu ? 'X' : '.';
        EXPECT_TRUE(g.guard_intact());
        return s;
    };
    for (bool v : {false, true}) {
        EXPECT_EQ(pattern(0, 12, 3, 2, 0, v), "XXX..XXX..XX");
        EXPECT_EQ(pattern(0, 12, 3, 2, 1, v), "XX..XXX..XXX");
        EXPECT_EQ(pattern(0, 12, 3, 2, -1, v), ".XXX..XXX..X");
        EXPECT_EQ(pattern(0, 12, 3, 2, 5 * 1000 + 1, v), "XX..XXX..XXX");
        // Starting off the raster: the pattern counts from the line's start, not from the edge.
        EXPECT_EQ(pattern(-4, 16, 3, 2, 0, v), ".XXX..XXX..X");
        EXPECT_EQ(pattern(-1000000001, 2000000000, 3, 2, 0, v), "XX..XXX..XXX");
        EXPECT_EQ(pattern(2, 5, 3, 2, 0, v), "..XXX.......");
        EXPECT_EQ(pattern(0, 12, 2, 0, 7, v), "XXXXXXXXXXXX");  // no gap: solid
        EXPECT_EQ(pattern(0, 12, 0, 3, 0, v), "............");  // no dash: nothing
        EXPECT_EQ(pattern(0, 0, 3, 2, 0, v), "............");
    }
}

TEST(Raster, FreeLinesDrawBothEndsAndOnePixelPerStep)
{
    struct Case {
        int x0, y0, x1, y1;
    };
    for (Case c : {Case{1, 1, 14, 5}, Case{14, 5, 1, 1}, Case{3, 14, 6, 0}, Case{0, 0, 15, 15}, Case{7, 7, 7, 7},
                   Case{2, 9, 13, 9}, Case{5, 1, 5, 12}, Case{15, 0, 0, 3}}) {
        Guarded g(16, 16);
        draw_line(g.r, c.x0, c.y0, c.x1, c.y1, 0xFFFFFFFFu);
        EXPECT_EQ(g.at(c.x0, c.y0), 0xFFFFFFFFu);
        EXPECT_EQ(g.at(c.x1, c.y1), 0xFFFFFFFFu);
        int steps = std::max(std::abs(c.x1 - c.x0), std::abs(c.y1 - c.y0));
        EXPECT_EQ(g.count(0xFFFFFFFFu), steps + 1) << c.x0 << "," << c.y0 << " " << c.x1 << "," << c.y1;
        // Each pixel within half a pixel of the ideal line (measured across the major axis).
        bool x_major = std::abs(c.x1 - c.x0) >= std::abs(c.y1 - c.y0);
        for (int y = 0; y < 16; y++)
            for (int x = 0; x < 16; x++)
                if (g.at(x, y) == 0xFFFFFFFFu && steps > 0) {
                    double t = x_major ? double(x - c.x0) / (c.x1 - c.x0) : double(y - c.y0) / (c.y1 - c.y0);
                    double ideal = x_major ? c.y0 + t * (c.y1 - c.y0) : c.x0 + t * (c.x1 - c.x0);
                    EXPECT_LE(std::fabs((x_major ? y : x) - ideal), 0.5 + 1e-9);
                }
        // A translucent line blends each pixel once.
        Guarded h(16, 16);
        draw_line(h.r, c.x0, c.y0, c.x1, c.y1, 0x80FFFFFFu);
        EXPECT_EQ(h.count(reference_blend(black, 0xFFFFFF, 0x80)), steps + 1);
    }
}

TEST(Raster, ClippedFreeLinesMatchTheUnclippedLine)
{
    // The same lines drawn on a large raster and on a window of it, in window coordinates.
    struct Case {
        int x0, y0, x1, y1;
    };
    for (Case c : {Case{-50, -30, 250, 170}, Case{190, -40, 10, 230}, Case{-7, 100, 207, 101}, Case{99, -500, 101, 700}}) {
        Pixmap big = pixmap_create(200, 200, black);
        draw_line(raster_of(big), c.x0, c.y0, c.x1, c.y1, 0xFFFFFFFFu);
        Guarded g(60, 50);
        const int ox = 70, oy = 80;
        draw_line(g.r, c.x0 - ox, c.y0 - oy, c.x1 - ox, c.y1 - oy, 0xFFFFFFFFu);
        int differences = 0, drawn = 0;
        for (int y = 0; y < 50; y++)
            for (int x = 0; x < 60; x++) {
                differences += g.at(x, y) != big.pixels[size_t(y + oy) * 200 + x + ox];
                drawn += g.at(x, y) == 0xFFFFFFFFu;
            }
        EXPECT_EQ(differences, 0);
        EXPECT_GT(drawn, 0);
        EXPECT_TRUE(g.guard_intact());
    }
    // Coordinates at the ends of int: the work stays bounded by the raster, nothing escapes.
    Guarded g(30, 20);
    draw_line(g.r, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0xFFFFFFFFu);
    draw_line(g.r, INT_MIN, 10, INT_MAX, 10, 0xFFFFFFFFu);
    draw_line(g.r, INT_MAX, INT_MIN, INT_MIN, INT_MAX, 0xFFFFFFFFu);
    EXPECT_EQ(g.count(0xFFFFFFFFu), 20 + 30 - 1);  // the diagonal, the row, nothing of the other diagonal
    for (int x = 0; x < 30; x++)
        EXPECT_EQ(g.at(x, 10), 0xFFFFFFFFu);
    EXPECT_TRUE(g.guard_intact());
}

TEST(Raster, OutlinesBlendEachBorderPixelOnce)
{
    const uint32_t half = 0x80FFFFFFu, once = reference_blend(black, 0xFFFFFF, 0x80);
    Guarded g(10, 10);
    draw_rect_outline(g.r, 2, 3, 5, 4, half);
    EXPECT_EQ(g.count(once), 2 * 5 + 2 * 2);
    EXPECT_EQ(g.at(2, 3), once);
    EXPECT_EQ(g.at(6, 6), once);
    EXPECT_EQ(g.at(3, 4), black);
    Guarded thin(10, 10);
    draw_rect_outline(thin.r, 1, 1, 1, 6, half);
    draw_rect_outline(thin.r, 3, 1, 6, 1, half);
    draw_rect_outline(thin.r, -3, -3, 100, 100, half);  // every edge outside: nothing
    EXPECT_EQ(thin.count(once), 6 + 6);
    draw_rect_outline(thin.r, 0, 0, 100, 100, half);  // only its left and top edges are inside
    EXPECT_EQ(thin.count(once), 6 + 6 + 10 + 9);
    EXPECT_EQ(thin.at(3, 1), once);
    EXPECT_TRUE(thin.guard_intact());
}

TEST(Raster, BlitsBlendPerPixelAndClip)
{
    // A 4 x 3 source: opaque, translucent and transparent pixels, each distinct.
    Pixmap src = pixmap_create(4, 3);
    for (int i = 0; i < 12; i++) {
        uint32_t a = i % 3 == 0 ? 255 : i % 3 == 1 ? 0x60 : 0;
        src.pixels[size_t(i)] = (a << 24) | uint32_t(0x101010 * (i + 1));
    }
    const uint32_t bg = 0xFF4080C0u;
    for (int x : {0, -2, 14, -4, 16}) {
        Guarded g(16, 10, bg);
        blit(g.r, x, 8, view_of(src));  // bottom rows fall outside
        for (int j = 0; j < 3; j++)
            for (int i = 0; i < 4; i++) {
                int px = x + i, py = 8 + j;
                if (px < 0 || px >= 16 || py >= 10)
                    continue;
                uint32_t s = src.pixels[size_t(j * 4 + i)];
                EXPECT_EQ(g.at(px, py), reference_blend(bg, s & 0xFFFFFF, s >> 24)) << x << " " << i << "," << j;
            }
        // Outside the source's rectangle nothing changed.
        for (int py = 0; py < 10; py++)
            for (int px = 0; px < 16; px++)
                if (px < x || px >= x + 4 || py < 8) {
                    EXPECT_EQ(g.at(px, py), bg) << px << "," << py;
                }
        EXPECT_TRUE(g.guard_intact());
    }
    // A copy keeps the source as it is, alpha included; a sub-view blits part of a sheet.
    Guarded c(8, 8, bg);
    blit_copy(c.r, -1, -1, view_of(src));
    EXPECT_EQ(c.at(0, 0), src.pixels[5]);
    EXPECT_EQ(c.at(2, 1), src.pixels[11]);
    EXPECT_EQ(c.at(3, 0), bg);
    // Scrolling a raster onto itself, in every direction, moves it whole.
    for (auto [sx, sy] : {std::pair{3, 2}, {-3, -2}, {2, -1}, {-1, 1}, {0, 3}}) {
        Pixmap pic = pixmap_create(9, 7);
        for (size_t i = 0; i < pic.pixels.size(); i++)
            pic.pixels[i] = 0xFF000000u | uint32_t(i);
        Pixmap before = pic;
        blit_copy(raster_of(pic), sx, sy, view_of(pic));
        for (int py = 0; py < 7; py++)
            for (int px = 0; px < 9; px++) {
                int qx = px - sx, qy = py - sy;
                bool moved = qx >= 0 && qx < 9 && qy >= 0 && qy < 7;
                EXPECT_EQ(pic.pixels[size_t(py) * 9 + px], before.pixels[size_t(moved ? qy * 9 + qx : py * 9 + px)])
                    << sx << "," << sy << " at " << px << "," << py;
            }
    }
    blit(c.r, 5, 5, sub_view(view_of(src), 3, 0, 5, 5));  // column 3 only
    EXPECT_EQ(c.at(5, 5), reference_blend(bg, src.pixels[3] & 0xFFFFFF, src.pixels[3] >> 24));
    EXPECT_EQ(c.at(6, 5), bg);
    EXPECT_TRUE(c.guard_intact());
}

TEST(Raster, ModulatedBlitsTintAndFade)
{
    Pixmap white = pixmap_create(3, 1, 0xFFFFFFFFu);
    white.pixels[2] = 0x80FFFFFFu;
    Guarded g(3, 3, black);
    blit_modulated(g.r, 0, 0, view_of(white), 0xFFFFFFFFu);
    blit_modulated(g.r, 0, 1, view_of(white), 0xFF20C040u);
    blit_modulated(g.r, 0, 2, view_of(white), 0x80FFFFFFu);
    EXPECT_EQ(g.at(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(g.at(1, 1), 0xFF20C040u);  // an opaque white icon takes the tint's colour
    EXPECT_EQ(g.at(2, 1), reference_blend(black, 0x20C040u, 0x80));
    EXPECT_EQ(g.at(0, 2), reference_blend(black, 0xFFFFFFu, 0x80));
    EXPECT_EQ(g.at(2, 2), reference_blend(black, 0xFFFFFFu, 0x40));  // 128 * 128 / 255 rounds to 64
    blit_modulated(g.r, 0, 0, view_of(white), 0x00FFFFFFu);  // fully faded: nothing
    EXPECT_EQ(g.at(0, 0), 0xFFFFFFFFu);
}

TEST(Raster, ScaledBlitsOfAKnownImage)
{
    Pixmap src = pixmap_create(2, 2);
    src.pixels = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
    {  // Nearest doubles each pixel into a 2 x 2 block.
        Guarded g(4, 4);
        blit_scaled(g.r, 0, 0, 4, 4, view_of(src), ScaleFilter::nearest);
        for (int y = 0; y < 4; y++)
            for (int x = 0; x < 4; x++)
                EXPECT_EQ(g.at(x, y), src.pixels[size_t((y / 2) * 2 + x / 2)]) << x << "," << y;
    }
    {  // Reducing 3 columns to 2 takes the pixels under the destination centres: 0 and 2.
        Pixmap row = pixmap_create(3, 1);
        row.pixels = {0xFF000001u, 0xFF000002u, 0xFF000003u};
        Guarded g(2, 1);
        blit_scaled(g.r, 0, 0, 2, 1, view_of(row), ScaleFilter::nearest);
        EXPECT_EQ(g.at(0, 0), 0xFF000001u);
        EXPECT_EQ(g.at(1, 0), 0xFF000003u);
    }
    {  // Bilinear black to white over 4 pixels: centres at -0.25 (clamped), 0.25, 0.75, 1.25 (clamped).
        Pixmap ramp = pixmap_create(2, 1);
        ramp.pixels = {0xFF000000u, 0xFFFFFFFFu};
        Guarded g(4, 1, 0xFF808080u);
        blit_scaled(g.r, 0, 0, 4, 1, view_of(ramp), ScaleFilter::bilinear);
        EXPECT_EQ(g.at(0, 0), 0xFF000000u);
        EXPECT_EQ(g.at(1, 0), 0xFF404040u);  // 63.75
        EXPECT_EQ(g.at(2, 0), 0xFFBFBFBFu);  // 191.25
        EXPECT_EQ(g.at(3, 0), 0xFFFFFFFFu);
    }
    {  // A transparent neighbour lends no colour: the red edge fades without turning green.
        Pixmap edge = pixmap_create(2, 1);
        edge.pixels = {0xFFFF0000u, 0x0000FF00u};
        Guarded g(4, 1, black);
        blit_scaled(g.r, 0, 0, 4, 1, view_of(edge), ScaleFilter::bilinear);
        EXPECT_EQ(g.at(0, 0), 0xFFFF0000u);
        EXPECT_EQ(g.at(1, 0), 0xFFBF0000u);  // 75 % red over black
        EXPECT_EQ(g.at(2, 0), 0xFF400000u);
        EXPECT_EQ(g.at(3, 0), black);
    }
    {  // Clipped: the visible part equals that part of the whole scaled picture.
        Pixmap whole = pixmap_create(12, 12, black);
        blit_scaled(raster_of(whole), 0, 0, 12, 12, view_of(src), ScaleFilter::bilinear);
        Guarded g(5, 5);
        blit_scaled(g.r, -7, -3, 12, 12, view_of(src), ScaleFilter::bilinear);
        for (int y = 0; y < 5; y++)
            for (int x = 0; x < 5; x++)
                EXPECT_EQ(g.at(x, y), whole.pixels[size_t(y + 3) * 12 + x + 7]);
        blit_scaled(g.r, -7, -3, 0, 12, view_of(src), ScaleFilter::nearest);
        blit_scaled(g.r, INT_MIN, INT_MIN, INT_MAX, INT_MAX, view_of(src), ScaleFilter::nearest);
        EXPECT_TRUE(g.guard_intact());
    }
}
