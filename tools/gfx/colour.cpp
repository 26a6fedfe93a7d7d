#include "gfx/colour.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

float to_linear(float v)
{
    return v <= 0.04045f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f);
}
float to_gamma(float v)
{
    return v <= 0.0031308f ? v * 12.92f : 1.055f * std::pow(v, 1 / 2.4f) - 0.055f;
}

// Linear sRGB of an OKLab colour, unclamped.
void oklab_linear(lab v, float out[3])
{
    float l = v.l + 0.3963377774f * v.a + 0.2158037573f * v.b;
    float m = v.l - 0.1055613458f * v.a - 0.0638541728f * v.b;
    float s = v.l - 0.0894841775f * v.a - 1.2914855480f * v.b;
    l = l * l * l, m = m * m * m, s = s * s * s;
    out[0] = 4.0767416621f * l - 3.3077115913f * m + 0.2309699292f * s;
    out[1] = -1.2684380046f * l + 2.6097574011f * m - 0.3413193965f * s;
    out[2] = -0.0041960863f * l - 0.7034186147f * m + 1.7076147010f * s;
}

bool in_gamut(lab v)
{
    float c[3];
    oklab_linear(v, c);
    for (float x : c)
        if (x < -1e-4f || x > 1 + 1e-4f) return false;
    return true;
}

// Cubic Hermite through (t[i], y[i]) with Catmull-Rom tangents on uneven knots.
float spline(const float* t, const float* y, int n, float x)
{
    int i = 0;
    while (i < n - 2 && x > t[i + 1]) ++i;
    auto slope = [&](int k) {
        if (k == 0) return (y[1] - y[0]) / (t[1] - t[0]);
        if (k == n - 1) return (y[n - 1] - y[n - 2]) / (t[n - 1] - t[n - 2]);
        return (y[k + 1] - y[k - 1]) / (t[k + 1] - t[k - 1]);
    };
    float h = t[i + 1] - t[i], u = (x - t[i]) / h;
    float h00 = 2 * u * u * u - 3 * u * u + 1, h10 = u * u * u - 2 * u * u + u;
    float h01 = -2 * u * u * u + 3 * u * u, h11 = u * u * u - u * u;
    return h00 * y[i] + h10 * h * slope(i) + h01 * y[i + 1] + h11 * h * slope(i + 1);
}

}  // namespace

lab to_oklab(rgba c)
{
    float r = to_linear(c.r), g = to_linear(c.g), b = to_linear(c.b);
    float l = std::cbrt(0.4122214708f * r + 0.5363325363f * g + 0.0514459929f * b);
    float m = std::cbrt(0.2119034982f * r + 0.6806995451f * g + 0.1073969566f * b);
    float s = std::cbrt(0.0883024619f * r + 0.2817188376f * g + 0.6299787005f * b);
    return {0.2104542553f * l + 0.7936177850f * m - 0.0040720468f * s,
            1.9779984951f * l - 2.4285922050f * m + 0.4505937099f * s,
            0.0259040371f * l + 0.7827717662f * m - 0.8086757660f * s};
}

rgba from_oklab(lab v)
{
    if (!in_gamut(v)) {
        float lo = 0, hi = 1;
        for (int i = 0; i < 30; ++i) {
            float k = (lo + hi) / 2;
            (in_gamut({v.l, v.a * k, v.b * k}) ? lo : hi) = k;
        }
        v.a *= lo, v.b *= lo;
    }
    float c[3];
    oklab_linear(v, c);
    return {to_gamma(std::clamp(c[0], 0.0f, 1.0f)), to_gamma(std::clamp(c[1], 0.0f, 1.0f)),
            to_gamma(std::clamp(c[2], 0.0f, 1.0f)), 1.0f};
}

std::array<rgba, palette_entry_count> theme_palette()
{
    std::array<rgba, palette_entry_count> p{};
    p[palette_window_background] = rgb_hex(0x16181c);
    p[palette_panel] = rgb_hex(0x24272d);
    p[palette_panel_edge] = rgb_hex(0x3b4048);
    p[palette_empty_rows] = rgb_hex(0x29313d);
    p[palette_block_pending] = rgb_hex(0x4a3f2a);
    p[palette_block_rendering] = rgb_hex(0xc8912f);
    p[palette_text] = rgb_hex(0xe4e7eb);
    p[palette_text_dimmed] = rgb_hex(0x8b929c);
    p[palette_hover] = rgb_hex(0x313844);
    p[palette_accent] = rgb_hex(0x4cb1d8);
    p[palette_menu_background] = rgb_hex(0x1f2227);
    p[palette_menu_highlight] = rgb_hex(0x2e5d85);
    p[palette_check_mark] = rgb_hex(0x72d191);
    p[palette_grid] = rgb_hex(0x4a515b);
    p[palette_selection] = rgb_hex(0xffcf4a);
    p[palette_warning] = rgb_hex(0xe5534b);
    return p;
}

rgba theme(palette_entry e)
{
    return theme_palette()[e];
}

std::vector<rgba> vision_gradient(int entries)
{
    // Control colours; their knots sit at their own lightness, so lightness is linear in the index.
    const rgba stops[] = {rgb_hex(0x000000), rgb_hex(0x3b0f6f), rgb_hex(0xb8324f), rgb_hex(0xf7792c),
                          rgb_hex(0xfcf5b8)};
    constexpr int n = 5;
    float t[n], a[n], b[n];
    lab first = to_oklab(stops[0]), last = to_oklab(stops[n - 1]);
    for (int i = 0; i < n; ++i) {
        lab v = to_oklab(stops[i]);
        t[i] = (v.l - first.l) / (last.l - first.l);
        a[i] = v.a, b[i] = v.b;
    }
    std::vector<rgba> out;
    for (int i = 0; i < entries; ++i) {
        float x = entries > 1 ? float(i) / float(entries - 1) : 0;
        out.push_back(from_oklab({first.l + (last.l - first.l) * x, spline(t, a, n, x), spline(t, b, n, x)}));
    }
    return out;
}

std::vector<rgba> waveform_bands(int bands)
{
    std::vector<rgba> out;
    for (int i = 0; i < bands; ++i) {
        float x = bands > 1 ? float(i) / float(bands - 1) : 0;
        float hue = (30 + 265 * x) * std::numbers::pi_v<float> / 180;
        float chroma = 0.135f, lightness = 0.78f - 0.12f * x;  // cool hues read brighter: ease them down
        out.push_back(from_oklab({lightness, chroma * std::cos(hue), chroma * std::sin(hue)}));
    }
    out.push_back(rgb_hex(0x101215));
    return out;
}
