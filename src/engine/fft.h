// The one real-to-real Fourier transform of the processor-side engine: a mixed-radix real
// FFT in single precision whose spectrum uses the halfcomplex layout and is scaled by
// 1/sqrt(n) both ways, so that forward followed by backward returns the input.
//
// Halfcomplex layout for size n: element 0 is Re X0; for 1 <= k <= (n-1)/2 element k is
// Re Xk and element n-k is Im Xk; for even n element n/2 is Re X(n/2).
#pragma once

#include <memory>
#include <vector>

enum { FFT_FORWARD = 0, FFT_BACKWARD = 1 };

// Transforms n values of `in` into `out` (the same array, or arrays that do not overlap);
// direction 0 is forward (X_k = 1/sqrt(n) * sum x_j e^(-2 pi i jk/n)), 1 is the matching
// inverse. With distinct arrays the forward direction leaves `in` overwritten (the transform
// is computed there, unscaled, in the interleaved order Re X0, Re X1, Im X1, Re X2, ...) and
// the backward direction leaves `in` unchanged. n < 1 does nothing. Safe to call from
// several threads at once. Sizes with only the prime factors 2, 3 and 5 are fastest; small
// other primes go through a general pass whose cost and rounding error grow with the prime;
// sizes with a prime factor above fft_chirp_min_prime are computed as a convolution with a
// chirp, through transforms of a 2-3-5 size about 1.5 times as long.
void real_fft(float* in, float* out, int n, int direction);

// What a transform of one size needs, computed once: the factors in the order the passes
// use them and the twiddle factors of every pass but the last.
struct FftPlan {
    int n = 0;
    std::vector<int> factors;
    // For the general odd-radix pass, kept only by plans with a factor above 5: n values,
    // (cos, sin) pairs; pass s starts at stage_offset[s].
    std::vector<float> twiddles;
    std::vector<int> stage_offset;
    // The same rotations laid out for the radix 2 to 5 passes: per rotation, the cosines, then
    // the sines; pass s starts at split_offset[s].
    std::vector<float> split;
    std::vector<int> split_offset;
    // Vector width of the radix 2 to 5 passes: 8 where the processor has AVX2, else 4. The
    // results are the same to the bit either way.
    int lanes = 4;
    // Sizes with a large prime factor (factors and twiddles empty): the plan of the
    // convolution's size, the chirp e^(i pi m^2 / n) for m = 0 .. n-1 as (cos, sin) pairs,
    // and the spectra of the real and the imaginary part of the convolution kernel, each in
    // interleaved order, divided by the convolution's size.
    std::shared_ptr<const FftPlan> chirp_plan;
    std::vector<float> chirp;
    std::vector<float> kernel_re, kernel_im;
};

// Sizes whose largest prime factor exceeds this use the chirp convolution. The general
// pass's round-trip error grows from about 3e-5 here to 1e-3 at 400, while the convolution
// stays near 1e-6; below this prime the general pass is mostly the faster of the two.
constexpr int fft_chirp_min_prime = 100;

// The radices of a transform of size n > 1, in the order the passes use them: 4, 2, 3, 5
// and then odd numbers tried in turn, a 2 found after other factors moved to the front. The
// complex transforms of the convolution split their sizes the same way.
std::vector<int> fft_factorise(int n);

// Builds a plan from scratch, without the cache.
std::shared_ptr<const FftPlan> fft_plan_build(int n);
// The cached plan for n (built on first use); safe to call from any thread.
std::shared_ptr<const FftPlan> fft_plan_get(int n);
// real_fft with a plan the caller holds (it must be for n); real_fft is this with fft_plan_get.
void real_fft_with_plan(const FftPlan& plan, float* in, float* out, int direction);
// Drops every cached plan (plans still held by callers stay valid).
void fft_plan_cache_clear();
