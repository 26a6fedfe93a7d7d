// The envelope interpolation kernel: how picture columns, one value per column, become a
// smooth gain curve at a finer spacing. K(d) is a sum of cosines over d in [0, 3]: zero at
// both ends, symmetric about 1.5 (K(1.5) ~ 1.3184), and the three taps that fall on any
// position sum to 1.50003 (not 1; the renderers' normalisation absorbs the factor).
#pragma once
#include <vector>

constexpr int kernel_table_steps = 16000;  // entries K(i * 3 / 16000), i = 0 .. 16000

// The table: 16001 values plus one trailing zero, built on first use (thread-safe).
const float* kernel_table();
// K(d) by linear interpolation in the table (index d * 16000 / 3); 0 outside [0, 3].
float kernel_value(float d);

// Resamples x[0 .. m-1] to y[0 .. l-1]: with q = m / l, output i sits at u = i * q and sums
// K(j - u + 1.5) * x[j] over j = max(c - 2, 0) .. min(c, m - 1), c = trunc(u + 1.5).
void kernel_resample(const float* x, int m, float* y, int l);

// The same resampling with the taps worked out once for a pair of lengths, for the renderers,
// which resample many rows between the same lengths. Gives kernel_resample's values bit for bit.
struct KernelTaps {
    int m = 0, l = 0;
    std::vector<int> first;    // first input index of output i
    std::vector<int> count;    // 0 .. 3 taps
    std::vector<float> weight; // 3 per output
};
void kernel_taps(int m, int l, KernelTaps& taps);
void kernel_apply(const KernelTaps& taps, const float* x, float* y);

// The same resampling for points that repeat every m (a gain curve over one period of a
// circular transform): output i always takes its three taps j = c - 2 .. c, wrapped around,
// so that a constant comes out constant at both ends too. kernel_apply then reads the m + 3
// points that kernel_wrap_points lays out: x[m - 1], x[0 .. m - 1], x[0], x[1].
void kernel_taps_circular(int m, int l, KernelTaps& taps);
// Fills x[m + 1] and x[m + 2] from x[1], x[2], and x[0] from x[m], for a period stored
// at x[1 .. m]. m >= 1.
void kernel_wrap_points(float* x, int m);
