#include "layers/image_ops.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <utility>

const char* const image_operation_keywords[image_operation_count] = {
    "erase",
    "invert",
    "mask invert",
    "horizontal flip",
    "vertical flip",
    "horizontal average",
    "vertical average",
    "horizontal curves",
    "vertical curves",
    "fill to left",
    "fill to bottom",
    "normalisation",
    "set sum to 1",
    "horizontal normalisation",
    "vertical normalisation",
    "1/x",
    "square",
    "square root",
    "fill white",
    "fill pink",
    "fill brown",
    "group to semitone",
    "rotation by 90",
    "rotation by 180",
    "rotation by 270",
};

int image_operation_index(const char* keyword)
{
    if (!keyword)
        return -1;
    for (int i = 0; i < image_operation_count; i++)
        if (strcmp(keyword, image_operation_keywords[i]) == 0)
            return i;
    return -1;
}

// A result beyond the float range is held at its edge, so that finite pixels stay finite.
static inline float saturate(double v)
{
    if (v > FLT_MAX)
        return FLT_MAX;
    if (v < -FLT_MAX)
        return -FLT_MAX;
    return (float)v;
}

// The pixels of one layer with the project geometry the operations need.
struct Canvas {
    Image image;
    int w, h;
};

// ---- Tilt weight ----

float tilt_weight(float position, int height, float fmin, float fmax, float base, float exponent)
{
    if (!(base > 1.0f) || height < 2 || !(fmin > 0.0f) || !(fmax > fmin))
        return 1.0f;
    float lb = logf(base);
    float r = (float)(height - 1) / (logf(fmax) / lb - logf(fmin) / lb);
    if (!(r > 0.0f) || !std::isfinite(r))
        return 1.0f;
    float w = powf(1.0f + position / r, exponent);
    return std::isfinite(w) ? w : 1.0f;
}

static std::vector<float> row_weights(const Project& p, float exponent, float* w_mid)
{
    std::vector<float> w((size_t)std::max(p.height, 0));
    for (int y = 0; y < p.height; y++)
        w[y] = tilt_weight((float)(p.height - 1 - y), p.height, p.fmin, p.fmax, p.scale_base, exponent);
    if (w_mid)
        *w_mid = tilt_weight((float)(p.height / 2), p.height, p.fmin, p.fmax, p.scale_base, exponent);
    return w;
}

std::vector<float> tilt_weights(const Project& p, float* w_mid)
{
    return row_weights(p, p.scale_base / 2.0f - 0.5f, w_mid);
}

// After "vertical curves" and "fill to bottom": every row divided by w(y) / w_mid, so the
// picture reads level again on a tilted scale. Nothing to do on a linear one.
static void tilt_correct(const Project& p, Canvas c)
{
    if (!(p.scale_base > 1.0f))
        return;
    float w_mid;
    std::vector<float> w = tilt_weights(p, &w_mid);
    for (int y = 0; y < c.h; y++) {
        float d = w[y] / w_mid;
        for (int x = 0; x < c.w; x++)
            c.image[y][x] = saturate((double)(c.image[y][x] / d));
    }
}

// ---- Layer maximum and scaling ----

static float layer_maximum(Canvas c)
{
    float m = 0.0f;
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++)
            if (c.image[y][x] > m)
                m = c.image[y][x];
    return m;
}

// Factors are worked in double and the products saturated: a tiny maximum or sum would
// otherwise give an infinite float factor.
static void scale_all(Canvas c, double factor)
{
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++)
            c.image[y][x] = saturate(c.image[y][x] * factor);
}

static void normalise(Canvas c)
{
    float m = layer_maximum(c);
    if (m > 0.0f)
        scale_all(c, 1.0 / m);
}

// ---- Pixel maps ----

static void invert(Canvas c)
{
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++) {
            float s = 1.0f - sqrtf(std::clamp(c.image[y][x], 0.0f, 1.0f));
            c.image[y][x] = s * s;
        }
}

static void reciprocal(Canvas c)
{
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++) {
            float p = c.image[y][x];
            c.image[y][x] = p > 0.0f ? std::min(1.0f / p, FLT_MAX) : 0.0f;
        }
}

static void square(Canvas c)
{
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++) {
            float p = c.image[y][x];
            c.image[y][x] = saturate((double)p * p);
        }
}

// A negative amplitude has no real root; it becomes silence, as "1/x" treats it.
static void square_root(Canvas c)
{
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++) {
            float p = c.image[y][x];
            c.image[y][x] = p > 0.0f ? sqrtf(p) : 0.0f;
        }
}

// ---- Erase and mask invert: the original layer image ----

static void erase(const Layer& l, Canvas c)
{
    for (int y = 0; y < c.h; y++)
        memset(c.image[y], 0, (size_t)c.w * sizeof(float));
    if (!l.original_image)
        return;
    int rows = std::min(l.original_height, c.h), columns = std::min(l.original_width, c.w);
    for (int y = 0; y < rows; y++)
        memcpy(c.image[y], l.original_image[y], (size_t)std::max(columns, 0) * sizeof(float));
}

static void mask_invert(const Layer& l, Canvas c)
{
    if (!l.original_image)
        return;
    int rows = std::min(l.original_height, c.h), columns = std::min(l.original_width, c.w);
    for (int y = 0; y < rows; y++)
        for (int x = 0; x < columns; x++)
            c.image[y][x] = saturate((double)l.original_image[y][x] - c.image[y][x]);
}

// ---- Flips ----

static void horizontal_flip(Project& p, Canvas c)
{
    for (int y = 0; y < c.h; y++)
        std::reverse(c.image[y], c.image[y] + c.w);
    if (p.colour_image.size() == (size_t)c.w * c.h)
        for (int y = 0; y < c.h; y++)
            std::reverse(p.colour_image.begin() + (size_t)y * c.w, p.colour_image.begin() + (size_t)(y + 1) * c.w);
}

static void vertical_flip(Project& p, Canvas c)
{
    // Copies may hold separately allocated rows, so pixels are exchanged, not row pointers.
    for (int y = 0; y < c.h / 2; y++)
        std::swap_ranges(c.image[y], c.image[y] + c.w, c.image[c.h - 1 - y]);
    if (p.colour_image.size() == (size_t)c.w * c.h)
        for (int y = 0; y < c.h / 2; y++)
            std::swap_ranges(p.colour_image.begin() + (size_t)y * c.w, p.colour_image.begin() + (size_t)(y + 1) * c.w,
                             p.colour_image.begin() + (size_t)(c.h - 1 - y) * c.w);
}

// ---- Averages, sums and normalisations ----

static double row_sum(Canvas c, int y)
{
    double s = 0.0;
    for (int x = 0; x < c.w; x++)
        s += c.image[y][x];
    return s;
}

static double column_sum(Canvas c, int x, const float* w)
{
    double s = 0.0;
    for (int y = 0; y < c.h; y++)
        s += w ? (double)w[y] * c.image[y][x] : (double)c.image[y][x];
    return s;
}

static void fill_row(Canvas c, int y, float v)
{
    std::fill(c.image[y], c.image[y] + c.w, v);
}

static void horizontal_average(Canvas c)
{
    for (int y = 0; y < c.h; y++)
        fill_row(c, y, saturate(row_sum(c, y) / c.w));
}

static void vertical_average(const Project& p, Canvas c)
{
    std::vector<float> w = tilt_weights(p, nullptr);
    for (int x = 0; x < c.w; x++) {
        float v = saturate(column_sum(c, x, w.data()) / c.h);
        for (int y = 0; y < c.h; y++)
            c.image[y][x] = v;
    }
}

static void horizontal_normalisation(Canvas c)
{
    std::vector<double> sums(c.h);
    double s_max = 0.0;
    for (int y = 0; y < c.h; y++) {
        sums[y] = row_sum(c, y);
        s_max = std::max(s_max, sums[y]);
    }
    for (int y = 0; y < c.h; y++) {
        double f = sums[y] != 0.0 ? s_max / sums[y] : 0.0;
        for (int x = 0; x < c.w; x++)
            c.image[y][x] = saturate(c.image[y][x] * f);
    }
}

static void vertical_normalisation(const Project& p, Canvas c)
{
    std::vector<float> w = tilt_weights(p, nullptr);
    std::vector<double> weighted(c.w);
    double s_max = 0.0;
    for (int x = 0; x < c.w; x++) {
        s_max = std::max(s_max, column_sum(c, x, nullptr));
        weighted[x] = column_sum(c, x, w.data());
    }
    for (int x = 0; x < c.w; x++) {
        double f = weighted[x] != 0.0 ? s_max / weighted[x] : 0.0;
        for (int y = 0; y < c.h; y++)
            c.image[y][x] = saturate(c.image[y][x] * f);
    }
}

static void set_sum_to_1(Canvas c)
{
    double s = 0.0;
    for (int y = 0; y < c.h; y++)
        s += row_sum(c, y);
    if (s != 0.0 && std::isfinite(s))
        scale_all(c, 1.0 / s);
}

// ---- Curves ----

// Bar length in pixels for a line sum against the largest one: 90% of `extent` for the
// largest; a line whose sum is not positive gets an empty bar.
static double bar_length(double sum, double s_max, int extent)
{
    if (!(s_max > 0.0) || !(sum > 0.0))
        return 0.0;
    return std::min(sum / s_max, 1.0) * extent * 0.9;
}

static void horizontal_curves(Canvas c)
{
    std::vector<double> sums(c.h);
    double s_max = 0.0;
    for (int y = 0; y < c.h; y++) {
        sums[y] = row_sum(c, y);
        s_max = std::max(s_max, sums[y]);
    }
    for (int y = 0; y < c.h; y++) {
        double len = bar_length(sums[y], s_max, c.w);
        int n = (int)len;
        for (int x = 0; x < c.w; x++)
            c.image[y][x] = x < n ? 1.0f : x == n ? (float)(len - n) : 0.0f;
    }
}

static void vertical_curves(const Project& p, Canvas c)
{
    std::vector<float> w = tilt_weights(p, nullptr);
    std::vector<double> sums(c.w);
    double s_max = 0.0;
    for (int x = 0; x < c.w; x++) {
        sums[x] = column_sum(c, x, w.data());
        s_max = std::max(s_max, sums[x]);
    }
    for (int x = 0; x < c.w; x++) {
        double len = bar_length(sums[x], s_max, c.h);
        int n = (int)len;
        // The bar rises from the bottom row: its n full rows, then the fraction above them.
        for (int y = 0; y < c.h; y++) {
            int from_bottom = c.h - 1 - y;
            c.image[y][x] = from_bottom < n ? 1.0f : from_bottom == n ? (float)(len - n) : 0.0f;
        }
    }
    tilt_correct(p, c);
}

// ---- Fills from maxima ----

// The peak tracker's preference for a later position: a pixel p at weight e^10 beats the
// peak P at weight ec^10 when e^10 × p > ec^10 × P, or when it is three times as strong. The
// powers are single precision; where they or their products leave the float range (positions
// past about 7,000) the same comparison is made in double instead of comparing infinities.
struct PeakWeights {
    std::vector<float> single;
    std::vector<double> wide;
};

static PeakWeights peak_weights(int count, int base, int step)
{
    PeakWeights pw;
    pw.single.resize(count);
    pw.wide.resize(count);
    for (int i = 0; i < count; i++) {
        int e = base + step * i;
        pw.single[i] = powf((float)e, 10.0f);
        pw.wide[i] = pow((double)e, 10.0);
    }
    return pw;
}

static bool peak_candidate(const PeakWeights& pw, int i, int c, float p, float peak)
{
    if (p > 3.0f * peak)
        return true;
    float lhs = pw.single[i] * p, rhs = pw.single[c] * peak;
    if (std::isfinite(lhs) && std::isfinite(rhs))
        return lhs > rhs;
    return pw.wide[i] * p > pw.wide[c] * peak;
}

static double peak_scale(float m, float peak)
{
    return peak > 0.0f ? std::min((double)(m / peak), 10.0) : 0.0;
}

static void fill_to_left(Canvas c)
{
    float m = layer_maximum(c);
    PeakWeights pw = peak_weights(c.w, 100, 1);
    for (int y = 0; y < c.h; y++) {
        float* row = c.image[y];
        float peak = 0.0f;
        int at = 0;
        for (int x = 0; x < c.w; x++)
            if (peak_candidate(pw, x, at, row[x], peak) && row[x] > peak / 3.0f) {
                peak = row[x];
                at = x;
            }
        std::fill(row, row + at, peak);
        double f = peak_scale(m, peak);
        for (int x = 0; x < c.w; x++)
            row[x] = saturate(row[x] * f);
    }
}

static void fill_to_bottom(const Project& p, Canvas c)
{
    float m = layer_maximum(c);
    // Row y weighs (height + 99 - y)^10: the higher rows are preferred.
    PeakWeights pw = peak_weights(c.h, c.h + 99, -1);
    for (int x = 0; x < c.w; x++) {
        float peak = 0.0f;
        int at = 0;
        for (int y = 0; y < c.h; y++) {
            float v = c.image[y][x];
            if (peak_candidate(pw, y, at, v, peak) && v > peak / 3.0f) {
                peak = v;
                at = y;
            }
        }
        double f = peak_scale(m, peak);
        for (int y = 0; y < c.h; y++)
            c.image[y][x] = saturate((y >= at ? peak : c.image[y][x]) * f);
    }
    tilt_correct(p, c);
}

// ---- Noise fills ----

// Noise envelopes: constant in time, following the colour of the noise over the scale.
static void fill_envelope(const Project& p, Canvas c, float exponent)
{
    std::vector<float> w = row_weights(p, exponent, nullptr);
    for (int y = 0; y < c.h; y++)
        fill_row(c, y, w[y]);
    normalise(c);
}

// ---- Group to nearest semitone ----

static void group_to_semitone(const Project& p, Canvas c)
{
    if (c.h < 2 || !(p.fmin > 0.0f) || !(p.fmax > p.fmin))
        return;
    float fmin = p.fmin, fmax = p.fmax, b = p.scale_base;
    // A base below 1 reads as linear here, as in the view and the tools.
    bool logarithmic = b > 1.0f;
    float l2 = log2f(fmax / fmin);
    float bl2 = powf(b, l2);
    for (int y = 0; y < c.h; y++) {
        float t = 1.0f - (float)y / (float)(c.h - 1);
        float f = logarithmic ? fmin + (fmax - fmin) * (powf(b, t * l2) - 1.0f) / (bl2 - 1.0f)
                              : fmin + (fmax - fmin) * t;
        float n = roundf(12.0f * log2f(f / 440.0f) + 57.0f);
        float fn = 440.0f * powf(2.0f, (n - 57.0f) / 12.0f);
        float u = logarithmic ? logf(1.0f + (bl2 - 1.0f) * (fn - fmin) / (fmax - fmin)) / logf(bl2)
                              : (fn - fmin) / (fmax - fmin);
        float shifted = roundf(u * (float)(c.h - 1));
        if (!std::isfinite(shifted) || shifted < -1.0f || shifted > (float)c.h)
            continue;
        int target = c.h - (int)shifted - 1;
        if (target == y || target < 0 || target >= c.h)
            continue;
        float* src = c.image[y];
        float* dst = c.image[target];
        for (int x = 0; x < c.w; x++)
            dst[x] = saturate((double)dst[x] + src[x]);
        memset(src, 0, (size_t)c.w * sizeof(float));
    }
}

// ---- Rotations ----

void resample_tent(const Image src, int sw, int sh, Image dst, int dw, int dh)
{
    if (!src || !dst || sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0)
        return;
    float sx = (float)(sw - 1) / (float)dw, sy = (float)(sh - 1) / (float)dh;
    float rx = std::max(sx, 1.0f), ry = std::max(sy, 1.0f);
    bool normalised = rx != 1.0f || ry != 1.0f;
    for (int j = 0; j < dh; j++) {
        float cy = j * sy;
        int y0 = std::max((int)ceilf(cy - ry), 0), y1 = std::min((int)ceilf(cy + ry), sh);
        for (int i = 0; i < dw; i++) {
            float cx = i * sx;
            int x0 = std::max((int)ceilf(cx - rx), 0), x1 = std::min((int)ceilf(cx + rx), sw);
            // Sums in double: a window of large pixels cannot overflow into infinity.
            double sum = 0.0, weights = 0.0;
            for (int y = y0; y < y1; y++) {
                float wy = 1.0f - fabsf(y - cy) / ry;
                for (int x = x0; x < x1; x++) {
                    float wgt = (1.0f - fabsf(x - cx) / rx) * wy;
                    sum += (double)src[y][x] * wgt;
                    weights += wgt;
                }
            }
            dst[j][i] = saturate(normalised ? (weights > 0.0 ? sum / weights : 0.0) : sum);
        }
    }
}

static void rotate_180(Canvas c)
{
    for (int y = 0; y < c.h / 2; y++) {
        std::swap_ranges(c.image[y], c.image[y] + c.w, c.image[c.h - 1 - y]);
    }
    for (int y = 0; y < c.h; y++)
        std::reverse(c.image[y], c.image[y] + c.w);
}

// The size stays: the picture is resampled to the turned shape (height columns by width
// rows) and turned back into the layer, squeezed along one axis and stretched along the other.
static void rotate_quarter(Canvas c, bool clockwise)
{
    Image r = image_alloc(c.w, c.h);
    resample_tent(c.image, c.w, c.h, r, c.h, c.w);
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++)
            c.image[y][x] = clockwise ? r[c.w - 1 - x][y] : r[x][c.h - 1 - y];
    image_free(r);
}

// ---- Dispatch ----

bool apply_image_operation(Project& p, int op)
{
    if (op < 0 || op >= image_operation_count)
        return false;
    if (p.current_layer < 0 || p.current_layer >= (int)p.layers.size())
        return false;
    Layer& l = p.layers[p.current_layer];
    if (!l.image || p.width <= 0 || p.height <= 0)
        return false;
    Canvas c{l.image, p.width, p.height};
    float b = p.scale_base;
    switch (op) {
    case op_erase: erase(l, c); break;
    case op_invert: invert(c); break;
    case op_mask_invert: mask_invert(l, c); break;
    case op_horizontal_flip: horizontal_flip(p, c); break;
    case op_vertical_flip: vertical_flip(p, c); break;
    case op_horizontal_average: horizontal_average(c); break;
    case op_vertical_average: vertical_average(p, c); break;
    case op_horizontal_curves: horizontal_curves(c); break;
    case op_vertical_curves: vertical_curves(p, c); break;
    case op_fill_to_left: fill_to_left(c); break;
    case op_fill_to_bottom: fill_to_bottom(p, c); break;
    case op_normalisation: normalise(c); break;
    case op_set_sum_to_1: set_sum_to_1(c); break;
    case op_horizontal_normalisation: horizontal_normalisation(c); break;
    case op_vertical_normalisation: vertical_normalisation(p, c); break;
    case op_reciprocal: reciprocal(c); break;
    case op_square: square(c); break;
    case op_square_root: square_root(c); break;
    case op_fill_white: fill_envelope(p, c, b / 2.0f - 0.5f); break;
    case op_fill_pink: fill_envelope(p, c, 0.0f); break;
    case op_fill_brown: fill_envelope(p, c, b / 2.0f - 1.5f); break;
    case op_group_to_semitone: group_to_semitone(p, c); break;
    case op_rotation_90: rotate_quarter(c, true); break;
    case op_rotation_180: rotate_180(c); break;
    case op_rotation_270: rotate_quarter(c, false); break;
    }
    p.content_changed |= (op == op_rotation_90 || op == op_rotation_180 || op == op_rotation_270) ? content_dimensions
                                                                                                 : content_pixels;
    p.recomposite_needed = true;
    return true;
}
