#include "support/image_scale.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The taps of one destination index along one axis: source indexes first .. first + count - 1
// with their weights, normalised to a sum of 1.
struct Taps {
    std::vector<int> first, count;
    std::vector<float> weights;   // count[i] weights per destination index, in order
    std::vector<size_t> offset;   // where index i's weights start
};

Taps axis_taps(int src_n, int dst_n, double scale)
{
    // An infinite scale stretches source pixel 0 over the whole axis.
    const bool stretch_first = std::isinf(scale) && scale > 0.0;
    if (!(scale > 0.0) || !std::isfinite(scale))
        scale = 1.0;
    // The tent's half-width in source pixels; one source pixel when magnifying.
    const double radius = scale >= 1.0 ? 1.0 : 1.0 / scale;
    Taps t;
    t.first.resize((size_t)dst_n);
    t.count.resize((size_t)dst_n);
    t.offset.resize((size_t)dst_n);
    std::vector<double> w;
    for (int i = 0; i < dst_n; i++) {
        double centre = stretch_first ? 0.0 : (double)i / scale;
        // A centre that lands on a source pixel up to rounding is taken as that pixel, so
        // that a fit scale such as 999 / 199 puts the last pixel exactly on the last.
        const double nearest = std::nearbyint(centre);
        if (std::fabs(centre - nearest) <= 1e-9 * std::max(1.0, nearest))
            centre = nearest;
        // Source pixels strictly inside the tent: |j - centre| < radius.
        double lo_d = std::floor(centre - radius) + 1.0, hi_d = std::ceil(centre + radius) - 1.0;
        long long lo = (long long)std::max(lo_d, 0.0);
        long long hi = (long long)std::min(hi_d, (double)src_n - 1.0);
        w.clear();
        double sum = 0.0;
        for (long long j = lo; j <= hi; j++) {
            double g = 1.0 - std::fabs((double)j - centre) / radius;
            w.push_back(g);
            sum += g;
        }
        t.offset[(size_t)i] = t.weights.size();
        if (hi < lo || !(sum > 0.0)) {
            t.first[(size_t)i] = 0;
            t.count[(size_t)i] = 0;
            continue;
        }
        t.first[(size_t)i] = (int)lo;
        t.count[(size_t)i] = (int)w.size();
        for (double g : w)
            t.weights.push_back((float)(g / sum));
    }
    return t;
}

}  // namespace

void scale_image_tent(const float* const* src, int src_w, int src_h, float* const* dst, int dst_w, int dst_h,
                      double scale_x, double scale_y)
{
    if (src_w <= 0 || src_h <= 0 || dst_w <= 0 || dst_h <= 0 || !src || !dst)
        return;
    const Taps tx = axis_taps(src_w, dst_w, scale_x);
    const Taps ty = axis_taps(src_h, dst_h, scale_y);

    // Only the source columns some destination column reads need to be blended vertically.
    int col_lo = src_w, col_hi = -1;
    for (int x = 0; x < dst_w; x++)
        if (tx.count[(size_t)x] > 0) {
            col_lo = std::min(col_lo, tx.first[(size_t)x]);
            col_hi = std::max(col_hi, tx.first[(size_t)x] + tx.count[(size_t)x] - 1);
        }

    std::vector<float> row((size_t)src_w);
    for (int y = 0; y < dst_h; y++) {
        float* out = dst[y];
        const int ny = ty.count[(size_t)y];
        if (ny == 0 || col_hi < col_lo) {
            std::fill(out, out + dst_w, 0.0f);
            continue;
        }
        // Vertical pass into one row, then the horizontal pass out of it.
        const float* wy = &ty.weights[ty.offset[(size_t)y]];
        const int fy = ty.first[(size_t)y];
        for (int x = col_lo; x <= col_hi; x++) {
            float v = 0.0f;
            for (int k = 0; k < ny; k++)
                v += wy[k] * src[fy + k][x];
            row[(size_t)x] = v;
        }
        for (int x = 0; x < dst_w; x++) {
            const int nx = tx.count[(size_t)x];
            const float* wx = nx ? &tx.weights[tx.offset[(size_t)x]] : nullptr;
            const float* in = row.data() + tx.first[(size_t)x];
            float v = 0.0f;
            for (int k = 0; k < nx; k++)
                v += wx[k] * in[k];
            out[x] = v;
        }
    }
}
