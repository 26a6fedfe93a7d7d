// Shortening a band envelope to the column count: each output is a Blackman-weighted mean of
// the inputs around its position, which removes what the shorter length cannot hold.
#pragma once
#include <cstddef>
#include <vector>

// The weights of one reduction from L to M points, computed once and applied to many rows.
// Output k takes the inputs first[k] .. first[k] + (offset[k+1] - offset[k]) - 1 with the
// weights weight[offset[k] ...], divided by total[k], their sum.
struct BlackmanWeights {
    int L = 0, M = 0;
    std::vector<int> first;
    std::vector<size_t> offset;
    std::vector<double> weight;
    std::vector<double> total;
};

// rho = L / M; output k is centred on c = k * rho and weighs every input j with
// c - rho <= j <= c + rho inside 0 .. L-1 by 0.42 - 0.5 cos(pi (j - c + rho) / rho)
// + 0.08 cos(2 pi (j - c + rho) / rho). Positions, weights and sums are double precision;
// the cosines are taken in single precision.
void blackman_weights(int L, int M, BlackmanWeights& weights);
// y[k] = sum(g x[j]) / sum(g), summed in input order; an output without weight is 0.
void blackman_apply(const BlackmanWeights& weights, const float* x, float* y);
// Both steps at once: x[0 .. L-1] reduced to y[0 .. M-1]. Nothing happens for L or M < 1.
void blackman_downsample(const float* x, int L, int M, float* y);
