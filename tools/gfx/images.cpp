#include "gfx/images.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <utility>

#include "gfx/colour.h"

namespace {

constexpr float pi = std::numbers::pi_v<float>;
constexpr float deg = pi / 180;

rgba vertical(vec2 p, float y0, float y1, rgba top, rgba bottom)
{
    return mix(top, bottom, std::clamp((p.y - y0) / (y1 - y0), 0.0f, 1.0f));
}

// A soft shadow under everything in `s`: blurred coverage, moved down.
void drop_shadow(canvas& c, const shape& s, float radius, float dy, float alpha)
{
    std::vector<float> cov = shape_coverage(c, s);
    blur(cov, c.width, c.height, radius * c.scale);
    fill_coverage(c, cov, rgba{0, 0, 0, alpha}, 0, int(std::lround(dy * c.scale)));
}

struct layer {
    shape s;
    rgba colour;
};

// Icons share a look: light shapes with a soft dark shadow that keeps them readable on
// released, pressed and highlighted button faces alike.
canvas icon(float scale, const std::vector<layer>& layers)
{
    canvas c = canvas_make(32, 32, scale);
    shape all;
    for (const layer& l : layers) all = join(std::move(all), l.s);
    drop_shadow(c, all, 1.0f, 1.0f, 0.7f);
    for (const layer& l : layers) fill(c, l.s, l.colour);
    return c;
}

vec2 polar(vec2 centre, float r, float a)
{
    return {centre.x + r * std::sin(a), centre.y - r * std::cos(a)};
}

shape dashed_rect(float x, float y, float w, float h, float dash, float gap, float width)
{
    shape s;
    const vec2 corners[5] = {{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}, {x, y}};
    for (int side = 0; side < 4; ++side) {
        vec2 a = corners[side], b = corners[side + 1];
        float len = std::hypot(b.x - a.x, b.y - a.y);
        for (float t = 0; t < len; t += dash + gap) {
            float e = std::min(len, t + dash);
            vec2 p{a.x + (b.x - a.x) * t / len, a.y + (b.y - a.y) * t / len};
            vec2 q{a.x + (b.x - a.x) * e / len, a.y + (b.y - a.y) * e / len};
            vec2 seg[2] = {p, q};
            s = join(std::move(s), stroke(seg, width, false));
        }
    }
    return s;
}

shape line(vec2 a, vec2 b, float w, bool round_ends = true)
{
    vec2 pts[2] = {a, b};
    return stroke(pts, w, round_ends);
}

// A spray can with its cloud; `paint` is the colour of the cloud and the can's band.
canvas spray_icon(float scale, rgba paint)
{
    rgba fg = theme(palette_text), dark = rgb_hex(0x15171a);
    std::vector<layer> layers;
    layers.push_back({rounded_rect(6, 13, 12, 16, 2.5f), fg});
    layers.push_back({rect(6, 18, 12, 6), paint});
    layers.push_back({rounded_rect(8.5f, 9.5f, 7, 4, 1), fg});
    layers.push_back({rect(10.5f, 6.5f, 3, 3.5f), fg});
    // The cloud spreads from the nozzle up and to the right.
    const float dots[][3] = {{18, 8, 1.6f},       {21.5f, 5, 1.4f},    {22, 10, 1.7f},
                             {25.5f, 7, 1.5f},    {26, 12.5f, 1.4f},   {29, 4, 1.2f},
                             {29.2f, 9.5f, 1.3f}, {24.5f, 2.5f, 1.1f}, {19, 3, 1.0f}};
    for (const auto& d : dots) {
        layers.push_back({circle(d[0], d[1], d[2] + 0.7f), paint.r > 0.5f ? dark : fg});
        layers.push_back({circle(d[0], d[1], d[2]), paint});
    }
    return icon(scale, layers);
}

}  // namespace

const char* const icon_names[14] = {"play",        "pause",      "mouse",      "move",    "spray_black",
                                    "spray_white", "flashlight", "roadroller", "rectool", "harmonics",
                                    "magnet",      "open",       "save",       "quit"};

canvas draw_menu_bar(float scale)
{
    canvas c = canvas_make(32, 22, scale);
    rgba top = rgb_hex(0x2c3037), bottom = rgb_hex(0x202328);
    fill_paint(c, rect(0, 0, 32, 22), [&](vec2 p) { return vertical(p, 0, 22, top, bottom); });
    fill(c, rect(0, 0, 32, 1), rgba{1, 1, 1, 0.07f});
    fill(c, rect(0, 21, 32, 1), rgb_hex(0x0b0c0e));
    return c;
}

canvas draw_menu_line(float scale)
{
    canvas c = canvas_make(200, 7, scale);
    fill(c, rect(6, 3, 188, 1), rgba{0, 0, 0, 0.75f});
    fill(c, rect(6, 4, 188, 1), rgba{1, 1, 1, 0.08f});
    return c;
}

canvas draw_menu_shadow(float scale)
{
    // Separable falloff over the 8-unit border; the centre is uniform so that it stretches.
    canvas c = canvas_make(24, 24, scale);
    auto ramp = [](float t) {
        float d = t < 8 ? t / 8 : t > 16 ? (24 - t) / 8 : 1.0f;
        d = std::clamp(d, 0.0f, 1.0f);
        return d * d * (3 - 2 * d);
    };
    fill_paint(c, rect(0, 0, 24, 24), [&](vec2 p) { return rgba{0, 0, 0, 0.5f * ramp(p.x) * ramp(p.y)}; });
    return c;
}

canvas draw_knob(float scale)
{
    canvas c = canvas_make(64, 64, scale);
    vec2 o{32, 32};
    // The groove the value arc of the animation strip lights up.
    fill(c, arc_stroke(o.x, o.y, 29, -135 * deg, 135 * deg, 3.2f), rgb_hex(0x0d0f12));
    drop_shadow(c, circle(o.x, o.y, 23.5f), 2.0f, 1.5f, 0.8f);
    fill_paint(c, circle(o.x, o.y, 23.5f),
               [&](vec2 p) { return vertical(p, 8, 56, rgb_hex(0x5a606a), rgb_hex(0x1f2227)); });
    fill_paint(c, circle(o.x, o.y, 20.5f),
               [&](vec2 p) { return vertical(p, 12, 52, rgb_hex(0x2d3137), rgb_hex(0x41464e)); });
    // Light from above catches the upper rim.
    fill(c, arc_stroke(o.x, o.y, 23, -70 * deg, 70 * deg, 0.9f), rgba{1, 1, 1, 0.16f});
    // Faint grip lines around the cap's edge.
    for (int i = 0; i < 24; ++i) {
        float a = float(i) * 15 * deg;
        fill(c, line(polar(o, 21, a), polar(o, 23, a), 0.8f, false), rgba{0, 0, 0, 0.35f});
    }
    return c;
}

canvas draw_knob_frame(float scale, int frame)
{
    canvas c = canvas_make(64, 64, scale);
    vec2 o{32, 32};
    float a0 = -135 * deg, a = a0 + 270 * deg * float(frame) / float(knob_frames);
    rgba accent = theme(palette_accent);
    shape arc = arc_stroke(o.x, o.y, 29, a0, a, 3.2f);
    std::vector<float> glow = shape_coverage(c, arc);
    blur(glow, c.width, c.height, 1.5f * scale);
    fill_coverage(c, glow, with_alpha(accent, 0.45f));
    fill(c, arc, accent);
    shape pointer = line(polar(o, 9, a), polar(o, 18, a), 3.0f);
    drop_shadow(c, pointer, 0.8f, 0.8f, 0.8f);
    fill(c, pointer, rgb_hex(0xf4f6f8));
    return c;
}

canvas draw_knob_anim(float scale)
{
    canvas strip = canvas_make(64, 64.0f * knob_frames, scale);
    for (int f = 0; f < knob_frames; ++f)
        blit(strip, draw_knob_frame(scale, f), 0, int(std::lround(64 * scale)) * f);
    return strip;
}

canvas draw_button(float scale, float w, float h)
{
    // Released face above, pressed (or active) face below.
    canvas c = canvas_make(w, 2 * h, scale);
    for (int state = 0; state < 2; ++state) {
        float y = h * float(state);
        shape outer = rounded_rect(0.5f, y + 0.5f, w - 1, h - 1, 5);
        shape face = rounded_rect(1.5f, y + 1.5f, w - 3, h - 3, 4);
        fill(c, outer, rgb_hex(0x0c0d10));
        if (state == 0) {
            fill_paint(c, face,
                       [&](vec2 p) { return vertical(p, y, y + h, rgb_hex(0x454a53), rgb_hex(0x2a2d33)); });
            fill(c, rounded_rect(1.5f, y + 1.5f, w - 3, 1.2f, 0.6f), rgba{1, 1, 1, 0.14f});
        } else {
            rgba accent = theme(palette_accent);
            fill_paint(c, face, [&](vec2 p) {
                return vertical(p, y, y + h, mix(rgb_hex(0x10161c), accent, 0.18f),
                                mix(rgb_hex(0x1b252e), accent, 0.30f));
            });
            // Inner shadow along the top: the face sits lower than its frame.
            fill(c, rounded_rect(1.5f, y + 1.5f, w - 3, 2, 1), rgba{0, 0, 0, 0.45f});
            std::vector<float> edge = shape_coverage(c, rounded_rect(1.5f, y + 1.5f, w - 3, h - 3, 4));
            std::vector<float> inner = shape_coverage(c, rounded_rect(2.5f, y + 2.5f, w - 5, h - 5, 3));
            for (size_t i = 0; i < edge.size(); ++i) edge[i] = std::max(0.0f, edge[i] - inner[i]);
            fill_coverage(c, edge, with_alpha(accent, 0.75f));
        }
    }
    return c;
}

canvas draw_corner(float scale)
{
    // The bar's top-left corner: window background outside a quarter circle, panel inside.
    canvas c = canvas_make(24, 24, scale);
    fill(c, rect(0, 0, 24, 24), theme(palette_window_background));
    fill(c, circle(24, 24, 23.5f), theme(palette_panel_edge));
    fill(c, circle(24, 24, 22.5f), theme(palette_panel));
    fill(c, arc_stroke(24, 24, 16, -90 * deg, 0, 1.2f), with_alpha(theme(palette_accent), 0.55f));
    fill(c, circle(24 - 16 * std::sqrt(0.5f), 24 - 16 * std::sqrt(0.5f), 1.6f), theme(palette_accent));
    return c;
}

canvas draw_icon(float scale, const char* name)
{
    rgba fg = theme(palette_text), dim = theme(palette_text_dimmed), accent = theme(palette_accent);
    rgba dark = rgb_hex(0x15171a);
    std::string n = name;
    if (n == "play") {
        shape tri = poly({{11, 7.5f}, {25, 16}, {11, 24.5f}});
        vec2 outline[3] = {{11, 7.5f}, {25, 16}, {11, 24.5f}};
        return icon(scale, {{join(tri, stroke(outline, 2.5f, true, true)), fg}});
    }
    if (n == "pause")
        return icon(scale,
                    {{join(rounded_rect(8.5f, 7, 5.5f, 18, 1.5f), rounded_rect(18, 7, 5.5f, 18, 1.5f)), fg}});
    if (n == "mouse") {
        std::vector<vec2> arrow = {{10, 4.5f},     {10, 25},       {14.6f, 20.6f}, {17.8f, 27.8f},
                                   {21.2f, 26.3f}, {18.1f, 19.3f}, {24.2f, 19.3f}};
        return icon(scale, {{join(poly(arrow), stroke(arrow, 2.4f, true, true)), dark}, {poly(arrow), fg}});
    }
    if (n == "move") {
        shape s = join(line({16, 8}, {16, 24}, 2.4f), line({8, 16}, {24, 16}, 2.4f));
        s = join(std::move(s), poly({{16, 2.5f}, {21, 8.5f}, {11, 8.5f}}));
        s = join(std::move(s), poly({{16, 29.5f}, {11, 23.5f}, {21, 23.5f}}));
        s = join(std::move(s), poly({{2.5f, 16}, {8.5f, 11}, {8.5f, 21}}));
        s = join(std::move(s), poly({{29.5f, 16}, {23.5f, 21}, {23.5f, 11}}));
        return icon(scale, {{s, fg}});
    }
    if (n == "spray_black") return spray_icon(scale, rgb_hex(0x101113));
    if (n == "spray_white") return spray_icon(scale, rgb_hex(0xffffff));
    if (n == "flashlight") {
        rgba beam = theme(palette_selection);
        canvas c = canvas_make(32, 32, scale);
        fill_paint(c, poly({{17, 13}, {31, 5}, {31, 27}, {17, 19}}), [&](vec2 p) {
            return with_alpha(beam, 0.65f * (1 - std::clamp((p.x - 17) / 15, 0.0f, 1.0f)) + 0.1f);
        });
        shape body =
            join(rounded_rect(2, 13.5f, 10, 5, 1.2f), poly({{11, 12.5f}, {17, 10}, {17, 22}, {11, 19.5f}}));
        drop_shadow(c, body, 1.0f, 1.0f, 0.7f);
        fill(c, body, fg);
        fill(c, rect(16, 10, 1.5f, 12), beam);
        fill(c, rect(5, 14.5f, 1.2f, 3), dim);
        for (float a : {-28.0f, 0.0f, 28.0f}) {
            float r = a * deg;
            vec2 p{19.5f + 5 * std::cos(r), 16 + 5 * std::sin(r)},
                q{19.5f + 11 * std::cos(r), 16 + 11 * std::sin(r)};
            fill(c, line(p, q, 1.4f), beam);
        }
        return c;
    }
    if (n == "roadroller") {
        // A tandem roller seen from the side: two drums, an open canopy, the flattened road.
        std::vector<layer> l;
        for (float x : {8.5f, 23.5f}) {
            l.push_back({circle(x, 23, 6), fg});
            l.push_back({ring(x, 23, 4.2f, 2.8f), dim});
        }
        l.push_back({rounded_rect(3, 13.5f, 26, 7, 2), dark});
        l.push_back({rounded_rect(4, 14.5f, 24, 5, 1.5f), fg});
        l.push_back({join(rect(11.5f, 6, 1.8f, 9), rect(21, 6, 1.8f, 9)), fg});  // canopy posts
        l.push_back({rounded_rect(9.5f, 3.5f, 15, 2.8f, 1.2f), fg});               // roof
        l.push_back({rounded_rect(15, 10, 4.5f, 4.5f, 1), dim});                   // seat
        l.push_back({rect(1.5f, 29.6f, 29, 1.3f), dim});
        return icon(scale, l);
    }
    if (n == "rectool") {
        std::vector<layer> l = {{dashed_rect(6, 8, 20, 16, 3, 2, 2), fg}};
        for (vec2 p : {vec2{6, 8}, vec2{26, 8}, vec2{26, 24}, vec2{6, 24}})
            l.push_back({rect(p.x - 2.2f, p.y - 2.2f, 4.4f, 4.4f), accent});
        return icon(scale, l);
    }
    if (n == "harmonics") {
        // A sung note and its overtones, as they look in the picture: evenly spaced, fading.
        std::vector<layer> l;
        for (int k = 1; k <= 5; ++k) {
            float y = 29 - 4.8f * float(k), bend = 0.9f * float(k);
            std::vector<vec2> pts =
                bezier({4, y + bend * 0.4f}, {12, y - bend}, {20, y + bend}, {28, y - bend * 0.4f}, 24);
            l.push_back({stroke(pts, 3.0f - 0.35f * float(k)),
                         with_alpha(k == 1 ? accent : fg, 1.1f - 0.13f * float(k))});
        }
        return icon(scale, l);
    }
    if (n == "magnet") {
        rgba red = theme(palette_warning);
        shape horseshoe = join(arc_stroke(16, 15, 8, -90 * deg, 90 * deg, 7, false), rect(4.5f, 15, 7, 7));
        horseshoe = join(std::move(horseshoe), rect(20.5f, 15, 7, 7));
        return icon(scale, {{horseshoe, red}, {join(rect(4.5f, 22, 7, 5), rect(20.5f, 22, 7, 5)), fg}});
    }
    if (n == "open") {
        shape back = poly({{3, 8}, {11, 8}, {13.5f, 10.5f}, {26, 10.5f}, {26, 26}, {3, 26}});
        shape front = poly({{3, 26}, {8, 15}, {30, 15}, {26, 26}});
        return icon(scale, {{back, dim}, {front, fg}});
    }
    if (n == "save") {
        std::vector<vec2> body = {{5, 5}, {23.5f, 5}, {27, 8.5f}, {27, 27}, {5, 27}};
        std::vector<layer> l = {{join(poly(body), stroke(body, 1.5f, true, true)), fg}};
        l.push_back({rect(9.5f, 5, 12, 7.5f), dark});   // shutter
        l.push_back({rect(17.5f, 6.2f, 2.6f, 5), fg});  // its window
        l.push_back({rounded_rect(8.5f, 16, 15, 9.5f, 1), dark});
        l.push_back({join(rect(10.5f, 18.5f, 11, 1.2f), rect(10.5f, 21.5f, 8, 1.2f)), dim});
        return icon(scale, l);
    }
    if (n == "quit") {
        shape s = join(arc_stroke(16, 17, 9, 40 * deg, 320 * deg, 3.2f), line({16, 5}, {16, 15}, 3.2f));
        return icon(scale, {{s, fg}});
    }
    return canvas_make(32, 32, scale);
}

canvas draw_app_icon(int pixels)
{
    // Designed on 256 units, the same coordinates as data/icons/sonographica.svg.
    canvas c = canvas_make(256, 256, float(pixels) / 256.0f);
    shape square = rounded_rect(8, 8, 240, 240, 48);
    drop_shadow(c, square, 4, 3, 0.5f);
    fill_paint(c, square, [](vec2 p) { return vertical(p, 8, 248, rgb_hex(0x1d1b33), rgb_hex(0x0b0a14)); });
    // Harmonics k = 1..5 of one curved fundamental: each is the fundamental's height above
    // the base line times k, so the overtones fan out as they do in a real picture of a voice.
    const rgba colours[5] = {rgb_hex(0xfff4b8), rgb_hex(0xffc163), rgb_hex(0xf77b3a), rgb_hex(0xc8406a),
                             rgb_hex(0x8a3a9c)};
    const float widths[5] = {14, 11, 9, 7.5f, 6.5f};
    const float base = 236;
    const vec2 f0[4] = {{40, 24}, {100, 20}, {150, 46}, {216, 36}};  // (x, height above base)
    shape lines[5];
    for (int k = 0; k < 5; ++k) {
        float m = float(k + 1);
        std::vector<vec2> pts = bezier({f0[0].x, base - m * f0[0].y}, {f0[1].x, base - m * f0[1].y},
                                       {f0[2].x, base - m * f0[2].y}, {f0[3].x, base - m * f0[3].y}, 64);
        lines[k] = stroke(pts, widths[k]);
    }
    canvas glow = canvas_make(256, 256, c.scale);
    for (int k = 4; k >= 0; --k) {
        std::vector<float> cov = shape_coverage(glow, lines[k]);
        blur(cov, glow.width, glow.height, 9 * c.scale);
        fill_coverage(glow, cov, with_alpha(colours[k], 0.8f));
    }
    for (int k = 4; k >= 0; --k) fill(glow, lines[k], colours[k]);
    mask(glow, shape_coverage(glow, rounded_rect(8, 8, 240, 240, 48)));
    blit(c, glow, 0, 0);
    return c;
}
