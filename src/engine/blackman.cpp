#include "engine/blackman.h"

#include <cmath>

void blackman_weights(int L, int M, BlackmanWeights& bw)
{
    const double pi = 3.14159265358979323846;
    bw.L = L;
    bw.M = M;
    bw.first.assign(M > 0 ? M : 0, 0);
    bw.offset.assign(M > 0 ? M + 1 : 1, 0);
    bw.total.assign(M > 0 ? M : 0, 0.0);
    bw.weight.clear();
    if (L < 1 || M < 1)
        return;
    double rho = (double)L / (double)M;
    bw.weight.reserve((size_t)(2.0 * L + 2.0 * M + 1.0));
    for (int k = 0; k < M; k++) {
        double c = k * rho;
        long long j = (long long)std::ceil(c - rho);
        if (j < 0)
            j = 0;
        bw.first[k] = (int)j;
        double sum = 0.0;
        for (; j <= c + rho && j < L; j++) {
            double x = (double)j - c + rho;
            // Positions stay in double (c grows with the length); the window itself needs
            // no more than single precision.
            double g = 0.42 - 0.5 * (double)std::cos((float)(pi * x / rho)) +
                       0.08 * (double)std::cos((float)(2.0 * pi * x / rho));
            bw.weight.push_back(g);
            sum += g;
        }
        bw.total[k] = sum;
        bw.offset[k + 1] = bw.weight.size();
    }
}

void blackman_apply(const BlackmanWeights& bw, const float* x, float* y)
{
    for (int k = 0; k < bw.M; k++) {
        const double* g = bw.weight.data() + bw.offset[k];
        const float* in = x + bw.first[k];
        size_t count = bw.offset[k + 1] - bw.offset[k];
        double sum = 0.0;
        for (size_t i = 0; i < count; i++)
            sum += g[i] * (double)in[i];
        y[k] = bw.total[k] != 0.0 ? (float)(sum / bw.total[k]) : 0.0f;
    }
}

void blackman_downsample(const float* x, int L, int M, float* y)
{
    if (L < 1 || M < 1)
        return;
    BlackmanWeights bw;
    blackman_weights(L, M, bw);
    blackman_apply(bw, x, y);
}
