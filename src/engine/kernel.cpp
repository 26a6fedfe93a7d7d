#include "engine/kernel.h"

#include <algorithm>
#include <cmath>

namespace {

struct KernelTable {
    float value[kernel_table_steps + 2];
    KernelTable()
    {
        // Cosine series coefficients of the harmonics k (multiples of 3 are absent, which is
        // why three taps one column apart always sum to the same constant).
        static const int harmonic[13] = {1, 2, 4, 5, 7, 8, 10, 11, 13, 14, 16, 17, 19};
        static const float coefficient[13] = {
            -0.6595044f,    0.16017413f,   -0.0010709178f, 0.00014500936f, 0.000100852805f,
            6.530929e-5f,   2.9338562e-5f, 2.0535155e-5f,  1.0856768e-5f,  8.154946e-6f,
            4.851931e-6f,   3.8284343e-6f, 2.475363e-6f};
        for (int i = 0; i <= kernel_table_steps; i++) {
            double x = 2.0 * M_PI * ((double)i * 3.0 / kernel_table_steps) / 3.0;
            double sum = 0.0;
            for (int h = 0; h < 13; h++)
                sum += (double)coefficient[h] * (std::cos(harmonic[h] * x) - 1.0);
            value[i] = (float)sum;
        }
        value[0] = 0.0f;  // exact zeros at the ends, whatever the cosines' rounding
        value[kernel_table_steps] = 0.0f;
        value[kernel_table_steps + 1] = 0.0f;
    }
};

const KernelTable& table()
{
    static const KernelTable t;
    return t;
}

// Output i's taps, shared by both resampling paths so that they agree to the bit.
inline int taps_of(int i, float q, int m, const float* k, float* w)
{
    float u = (float)i * q;
    int c = (int)(u + 1.5f);
    int from = std::max(c - 2, 0), to = std::min(c, m - 1);
    int n = 0;
    for (int j = from; j <= to; j++) {
        float d = (float)j - u + 1.5f;
        float index = d * (float)kernel_table_steps / 3.0f;
        if (!(index >= 0.0f && index <= (float)kernel_table_steps)) {
            w[n++] = 0.0f;
            continue;
        }
        int e = (int)index;
        float f = index - (float)e;
        w[n++] = k[e] + f * (k[e + 1] - k[e]);
    }
    return n;
}

}  // namespace

const float* kernel_table() { return table().value; }

float kernel_value(float d)
{
    const float* k = table().value;
    float index = d * (float)kernel_table_steps / 3.0f;
    if (!(index >= 0.0f && index <= (float)kernel_table_steps))
        return 0.0f;
    int e = (int)index;
    float f = index - (float)e;
    return k[e] + f * (k[e + 1] - k[e]);
}

void kernel_resample(const float* x, int m, float* y, int l)
{
    if (l <= 0)
        return;
    const float* k = table().value;
    float q = m > 0 ? (float)m / (float)l : 0.0f;
    for (int i = 0; i < l; i++) {
        float w[3];
        int first = std::max((int)((float)i * q + 1.5f) - 2, 0);
        int n = m > 0 ? taps_of(i, q, m, k, w) : 0;
        float sum = 0.0f;
        for (int t = 0; t < n; t++)
            sum += w[t] * x[first + t];
        y[i] = sum;
    }
}

// Empty taps for m inputs and l outputs; false when there is no input to draw from.
static bool taps_reset(KernelTaps& taps, int m, int l)
{
    taps.m = m;
    taps.l = std::max(l, 0);
    taps.first.assign(taps.l, 0);
    taps.count.assign(taps.l, 0);
    taps.weight.assign(3 * (size_t)taps.l, 0.0f);
    return m > 0;
}

void kernel_taps(int m, int l, KernelTaps& taps)
{
    if (!taps_reset(taps, m, l))
        return;
    const float* k = table().value;
    float q = (float)m / (float)l;
    for (int i = 0; i < taps.l; i++) {
        taps.first[i] = std::max((int)((float)i * q + 1.5f) - 2, 0);
        taps.count[i] = taps_of(i, q, m, k, &taps.weight[3 * (size_t)i]);
    }
}

void kernel_apply(const KernelTaps& taps, const float* x, float* y)
{
    const int* first = taps.first.data();
    const int* count = taps.count.data();
    const float* w = taps.weight.data();
    for (int i = 0; i < taps.l; i++, w += 3) {
        const float* xi = x + first[i];
        float sum = 0.0f;
        if (count[i] == 3) {
            // Same additions in the same order as the general case, unrolled.
            sum += w[0] * xi[0];
            sum += w[1] * xi[1];
            sum += w[2] * xi[2];
        } else {
            for (int t = 0; t < count[i]; t++)
                sum += w[t] * xi[t];
        }
        y[i] = sum;
    }
}

void kernel_taps_circular(int m, int l, KernelTaps& taps)
{
    if (!taps_reset(taps, m, l))
        return;
    const float* k = table().value;
    float q = (float)m / (float)l;
    for (int i = 0; i < taps.l; i++) {
        float u = (float)i * q;
        int c = (int)(u + 1.5f);
        // Tap j of the period is point j + 1 of the wrapped layout.
        taps.first[i] = c - 1;
        taps.count[i] = 3;
        for (int t = 0; t < 3; t++) {
            float d = (float)(c - 2 + t) - u + 1.5f;
            float index = d * (float)kernel_table_steps / 3.0f;
            float v = 0.0f;
            if (index >= 0.0f && index <= (float)kernel_table_steps) {
                int e = (int)index;
                float f = index - (float)e;
                v = k[e] + f * (k[e + 1] - k[e]);
            }
            taps.weight[3 * (size_t)i + t] = v;
        }
    }
}

void kernel_wrap_points(float* x, int m)
{
    x[0] = x[m];
    x[m + 1] = x[1];
    x[m + 2] = x[m >= 2 ? 2 : 1];
}
