#include "layers/blend.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "layers/convolution.h"

const char* const blending_menu_names[blend_mode_count] = {
    "Addition", "Multiplication", "Division", "Division (Reverse Order)", "Subtraction",
    "Subtraction (Reverse Order)", "Difference", "Minimum", "Maximum", "Vertical Propagation",
    "Horizontal Propagation", "Horizontal Propagation (Looped)", "Convolution", "Convolution (Looped)",
};

const char* const blending_labels[blend_mode_count] = {
    "Add", "Mul", "Div", "RDiv", "Sub", "RSub", "Diff", "Min", "Max", "VProp", "HProp", "HPropL", "Conv", "ConvL",
};

const char* const blending_keywords[blend_mode_count] = {
    "addition", "multiplication", "division", "reverse division", "subtraction", "reverse subtraction",
    "difference", "minimum", "maximum", "vertical propagation", "horizontal propagation",
    "horizontal propagation looped", "convolution", "convolution looped",
};

int blending_mode_from_keyword(const char* text)
{
    if (!text)
        return -1;
    int mode = -1;
    for (int i = 0; i < blend_mode_count; i++)
        if (strncmp(text, blending_keywords[i], strlen(blending_keywords[i])) == 0)
            mode = i;
    return mode;
}

static float blend_pixel(int mode, float d, float s)
{
    float r;
    switch (mode) {
    case blend_addition: return d + s;
    case blend_multiplication: return d * s;
    case blend_division: return (s == 0.0f || std::isnan(s)) ? 0.0f : d / s;
    case blend_reverse_division: return d > 0.0f ? s / d : 0.0f;
    case blend_subtraction: r = d - s; return r >= 0.0f ? r : 0.0f;
    case blend_reverse_subtraction: r = s - d; return r >= 0.0f ? r : 0.0f;
    case blend_difference: r = s - d; return r >= 0.0f ? r : d - s;
    case blend_minimum: return s < d ? s : d;
    case blend_maximum: return s > d ? s : d;
    }
    return d;
}

// The mode is a template argument so that each pixel loop is compiled without the switch.
template <int mode>
static void blend_rows(const Image source, Image destination, int width, int height)
{
    for (int y = 0; y < height; y++) {
        const float* s = source[y];
        float* d = destination[y];
        if (!s || !d)
            continue;
        for (int x = 0; x < width; x++)
            d[x] = blend_pixel(mode, d[x], s[x]);
    }
}

// Wraps an index into 0..n-1 however far outside it lies.
static long long wrap_index(long long i, long long n)
{
    long long r = i % n;
    return r < 0 ? r + n : r;
}

// Every non-zero source pixel of a row adds the destination row, shifted by the pixel's distance
// from the centre column and scaled by its value. Only non-zero pairs cost anything.
static void propagate_horizontally(const Image source, Image destination, int width, int height, int cx,
                                   bool looped)
{
    std::vector<float> result((size_t)width);
    std::vector<int> lit((size_t)width);
    for (int y = 0; y < height; y++) {
        const float* s = source[y];
        float* d = destination[y];
        if (!s || !d)
            continue;
        int lit_count = 0;
        for (int i = 0; i < width; i++)
            if (d[i] != 0.0f)
                lit[lit_count++] = i;
        std::fill(result.begin(), result.end(), 0.0f);
        for (int x = 0; x < width; x++) {
            if (s[x] == 0.0f)
                continue;
            long long shift = (long long)x - cx;
            for (int k = 0; k < lit_count; k++) {
                int i = lit[k];
                long long at = i + shift;
                if (looped)
                    at = wrap_index(at, width);
                else if (at < 0 || at >= width)
                    continue;
                result[(size_t)at] += d[i] * s[x];
            }
        }
        memcpy(d, result.data(), (size_t)width * sizeof(float));
    }
}

// The same along each column, with the centre row as origin; there is no looped form.
static void propagate_vertically(const Image source, Image destination, int width, int height, int cy)
{
    std::vector<float> result((size_t)height), column((size_t)height);
    std::vector<int> lit((size_t)height);
    for (int x = 0; x < width; x++) {
        int lit_count = 0;
        for (int i = 0; i < height; i++) {
            column[i] = destination[i] ? destination[i][x] : 0.0f;
            if (column[i] != 0.0f)
                lit[lit_count++] = i;
        }
        std::fill(result.begin(), result.end(), 0.0f);
        for (int y = 0; y < height; y++) {
            if (!source[y] || source[y][x] == 0.0f)
                continue;
            float s = source[y][x];
            long long shift = (long long)y - cy;
            for (int k = 0; k < lit_count; k++) {
                int i = lit[k];
                long long at = i + shift;
                if (at < 0 || at >= height)
                    continue;
                result[(size_t)at] += column[i] * s;
            }
        }
        for (int i = 0; i < height; i++)
            if (destination[i])
                destination[i][x] = result[i];
    }
}

void blend_image(const Image source, Image destination, int width, int height, int cx, int cy, int mode,
                 int accumulate)
{
    if (!source || !destination || width <= 0 || height <= 0)
        return;

    if (!accumulate) {
        // Into zeros, these modes give the source itself (for non-negative pixels); the rest
        // give zeros, which the buffer already holds.
        if (mode == blend_addition || mode == blend_reverse_subtraction || mode == blend_difference ||
            mode == blend_maximum) {
            for (int y = 0; y < height; y++)
                if (source[y] && destination[y])
                    memcpy(destination[y], source[y], (size_t)width * sizeof(float));
        }
        return;
    }

    switch (mode) {
    case blend_addition: blend_rows<blend_addition>(source, destination, width, height); break;
    case blend_multiplication: blend_rows<blend_multiplication>(source, destination, width, height); break;
    case blend_division: blend_rows<blend_division>(source, destination, width, height); break;
    case blend_reverse_division: blend_rows<blend_reverse_division>(source, destination, width, height); break;
    case blend_subtraction: blend_rows<blend_subtraction>(source, destination, width, height); break;
    case blend_reverse_subtraction:
        blend_rows<blend_reverse_subtraction>(source, destination, width, height);
        break;
    case blend_difference: blend_rows<blend_difference>(source, destination, width, height); break;
    case blend_minimum: blend_rows<blend_minimum>(source, destination, width, height); break;
    case blend_maximum: blend_rows<blend_maximum>(source, destination, width, height); break;
    case blend_vertical_propagation: propagate_vertically(source, destination, width, height, cy); break;
    case blend_horizontal_propagation:
        propagate_horizontally(source, destination, width, height, cx, false);
        break;
    case blend_horizontal_propagation_looped:
        propagate_horizontally(source, destination, width, height, cx, true);
        break;
    case blend_convolution: convolve_layer(source, destination, width, height, cx, cy, 0); break;
    case blend_convolution_looped: convolve_layer(source, destination, width, height, cx, cy, 1); break;
    default: break;
    }
}
