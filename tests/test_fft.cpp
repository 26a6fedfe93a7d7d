#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "engine/fft.h"
#include "engine/fft_size.h"

static std::vector<float> random_signal(int n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> x((size_t)n);
    for (float& v : x)
        v = dist(gen);
    return x;
}

static bool same_bits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

static double max_abs_diff(const std::vector<float>& a, const std::vector<float>& b)
{
    double worst = 0.0;
    for (size_t i = 0; i < a.size(); i++)
        worst = std::max(worst, std::fabs((double)a[i] - (double)b[i]));
    return worst;
}

// Bin k of the orthonormal forward transform in double precision, as (re, im).
static void naive_bin(const std::vector<float>& x, int k, double* re, double* im)
{
    const int n = (int)x.size();
    double sr = 0.0, si = 0.0;
    for (int j = 0; j < n; j++) {
        const long long jk = (long long)j * k % n;
        const double a = -2.0 * M_PI * (double)jk / n;
        sr += x[(size_t)j] * cos(a);
        si += x[(size_t)j] * sin(a);
    }
    *re = sr / sqrt((double)n);
    *im = si / sqrt((double)n);
}

// Checks bins of a halfcomplex spectrum against the double-precision sum.
static void expect_bins_match(const std::vector<float>& x, const std::vector<float>& h,
                              const std::vector<int>& bins, double tol)
{
    const int n = (int)x.size();
    for (int k : bins) {
        double re, im;
        naive_bin(x, k, &re, &im);
        EXPECT_NEAR(h[(size_t)k], re, tol) << "n=" << n << " Re bin " << k;
        if (k > 0 && 2 * k != n)
            EXPECT_NEAR(h[(size_t)(n - k)], im, tol) << "n=" << n << " Im bin " << k;
        else
            EXPECT_NEAR(im, 0.0, 1e-9) << "n=" << n << " bin " << k << " should be real";
    }
}

// Rounding error allowed for size n. The general odd-radix pass builds its rotations by
// recurrence in single precision, which loses accuracy with the square of the prime factor;
// larger primes go through the chirp convolution, whose error grows only with the logarithm.
static double tolerance(int n)
{
    const int p = largest_prime_factor(n);
    if (p > fft_chirp_min_prime)
        return 3e-6 * (1.0 + log2((double)n));
    return 3e-6 * (1.0 + log2((double)n)) + (p > 5 ? 2e-8 * p * p : 0.0);
}

static std::vector<float> forward(std::vector<float> x)
{
    std::vector<float> out(x.size());
    real_fft(x.data(), out.data(), (int)x.size(), FFT_FORWARD);
    return out;
}

static std::vector<float> backward(std::vector<float> h)
{
    std::vector<float> out(h.size());
    real_fft(h.data(), out.data(), (int)h.size(), FFT_BACKWARD);
    return out;
}

TEST(RealFft, EveryBinMatchesTheDoublePrecisionSum)
{
    // Primes go through the general odd-radix pass; the rest mix the radix 2, 3, 4, 5 passes
    // in every position, including a 2 moved to the front (6, 12, 20, 60, 1000).
    const int sizes[] = {2,  3,  4,  5,  6,  7,  8,   9,   10,  11,  12,  13,  15,  16,  20, 25,
                         27, 30, 32, 45, 49, 60, 77,  90,  97,  120, 121, 128, 150, 180, 210,
                         243, 256, 360, 450, 625, 1000, 1024};
    for (int n : sizes) {
        auto x = random_signal(n, (unsigned)n);
        auto h = forward(x);
        std::vector<int> bins;
        for (int k = 0; k <= n / 2; k++)
            bins.push_back(k);
        expect_bins_match(x, h, bins, tolerance(n));
    }
}

TEST(RealFft, LargeSizesMatchTheSumOnSampledBins)
{
    for (int n : {4000, 90000, 177147, next_fast_size(441000)}) {
        auto x = random_signal(n, 7u);
        auto h = forward(x);
        std::vector<int> bins = {0, 1, 2, 3, n / 7, n / 3, n / 2 - 1, n / 2};
        expect_bins_match(x, h, bins, 2e-5);
    }
}

// Sizes with a large prime factor, through the chirp convolution: odd and even sizes, the
// prime alone or with 2, 3 and 5, and a prime above 10000.
static const int large_prime_sizes[] = {773, 1009, 1546, 8503, 2 * 3 * 5 * 773, 10007};

TEST(RealFft, LargePrimeFactorsMatchTheSumClosely)
{
    for (int n : large_prime_sizes) {
        auto x = random_signal(n, (unsigned)n + 1u);
        auto h = forward(x);
        std::vector<int> bins;
        if (n <= 1546)
            for (int k = 0; k <= n / 2; k++)
                bins.push_back(k);
        else
            bins = {0, 1, 2, 3, 773, n / 7, n / 3, n / 2 - 1, n / 2};
        expect_bins_match(x, h, bins, tolerance(n));
        // The backward transform agrees with the same double-precision sum: the sum of
        // the bins of h against each output sample.
        auto y = backward(h);
        for (int j : {0, 1, n / 5, n / 2, n - 1}) {
            double sum = h[0];
            for (int k = 1; 2 * k < n; k++) {
                const double a = 2.0 * M_PI * (double)((long long)j * k % n) / n;
                sum += 2.0 * (h[(size_t)k] * cos(a) - h[(size_t)(n - k)] * sin(a));
            }
            if (n % 2 == 0)
                sum += h[(size_t)(n / 2)] * (j % 2 ? -1.0 : 1.0);
            EXPECT_NEAR(y[(size_t)j], sum / sqrt((double)n), tolerance(n)) << "n=" << n << " j=" << j;
            EXPECT_NEAR(y[(size_t)j], x[(size_t)j], tolerance(n)) << "n=" << n << " j=" << j;
        }
    }
}

TEST(RealFft, ForwardThenBackwardRestoresEverySizeUpTo400)
{
    for (int n = 1; n <= 400; n++) {
        auto x = random_signal(n, (unsigned)(1000 + n));
        auto y = backward(forward(x));
        EXPECT_LE(max_abs_diff(x, y), tolerance(n)) << "n=" << n;
    }
}

TEST(RealFft, ForwardThenBackwardRestoresLargeFastSizes)
{
    for (int n : {4096, 90000, 177147, next_fast_size(441000), 6635520, 6718464}) {
        auto x = random_signal(n, 3u);
        auto y = backward(forward(x));
        EXPECT_LE(max_abs_diff(x, y), 1e-5) << "n=" << n;
    }
}

TEST(RealFft, ConstantSignalHasOnlyTheZeroBin)
{
    const float c = 0.75f;
    for (int n : {1, 2, 7, 60, 97, 1000, 4096, 177147}) {
        std::vector<float> x((size_t)n, c);
        auto h = forward(x);
        const double tol = 1e-6 * sqrt((double)n) * (1.0 + log2((double)n));
        EXPECT_NEAR(h[0], c * sqrt((double)n), tol) << "n=" << n;
        double worst = 0.0;
        for (int k = 1; k < n; k++)
            worst = std::max(worst, (double)std::fabs(h[(size_t)k]));
        EXPECT_LE(worst, tol) << "n=" << n;
    }
}

TEST(RealFft, SizeOneOnlyCopies)
{
    float in = 3.5f, out = 0.0f;
    real_fft(&in, &out, 1, FFT_FORWARD);
    EXPECT_EQ(out, 3.5f);
    real_fft(&out, &out, 1, FFT_BACKWARD);
    EXPECT_EQ(out, 3.5f);
}

TEST(RealFft, InPlaceEqualsOutOfPlace)
{
    for (int n : {2, 7, 60, 64, 97, 1000, 4000, 177147, 773, 1546, 8503, 10007}) {
        for (int direction : {FFT_FORWARD, FFT_BACKWARD}) {
            auto x = random_signal(n, (unsigned)n + 11u);
            auto copy = x;
            std::vector<float> out((size_t)n);
            real_fft(copy.data(), out.data(), n, direction);
            auto inplace = x;
            real_fft(inplace.data(), inplace.data(), n, direction);
            EXPECT_TRUE(same_bits(out, inplace)) << "n=" << n << " direction " << direction;
        }
    }
}

TEST(RealFft, ForwardLeavesTheUnscaledInterleavedSpectrumInItsInput)
{
    for (int n : {8, 15, 60, 97, 773, 1546}) {
        auto x = random_signal(n, 5u);
        auto in = x;
        std::vector<float> out((size_t)n);
        real_fft(in.data(), out.data(), n, FFT_FORWARD);
        EXPECT_FALSE(same_bits(in, x));
        const float scale = 1.0f / sqrtf((float)n);
        EXPECT_EQ(out[0], in[0] * scale);
        for (int k = 1; k <= (n - 1) / 2; k++) {
            EXPECT_EQ(out[(size_t)k], in[(size_t)(2 * k - 1)] * scale) << "n=" << n << " k=" << k;
            EXPECT_EQ(out[(size_t)(n - k)], in[(size_t)(2 * k)] * scale) << "n=" << n << " k=" << k;
        }
        if (n % 2 == 0) {
            EXPECT_EQ(out[(size_t)(n / 2)], in[(size_t)(n - 1)] * scale);
        }
    }
}

TEST(RealFft, BackwardLeavesItsInputUnchanged)
{
    for (int n : {8, 15, 60, 97, 4000, 773, 1546}) {
        auto h = random_signal(n, 9u);
        auto in = h;
        std::vector<float> out((size_t)n);
        real_fft(in.data(), out.data(), n, FFT_BACKWARD);
        EXPECT_TRUE(same_bits(in, h)) << "n=" << n;
    }
}

TEST(RealFft, InvalidSizesTouchNothing)
{
    float a[2] = {1.0f, 2.0f}, b[2] = {5.0f, 6.0f};
    real_fft(a, b, 0, FFT_FORWARD);
    real_fft(a, b, -4, FFT_BACKWARD);
    EXPECT_EQ(b[0], 5.0f);
    EXPECT_EQ(b[1], 6.0f);
    EXPECT_EQ(fft_plan_build(0), nullptr);
}

// The plan cache must only save work: a cached plan, a plan evicted and rebuilt, and a plan
// built on the spot give the same bits, also when threads share the cache.
TEST(RealFft, CachedPlansGiveTheSameBitsAsFreshOnes)
{
    std::vector<int> sizes = {60, 97, 1000, 4000, 90000, 60, 13, 64, 75, 80, 100, 120, 125,
                              1000, 97, 1546, 8503, 1546};
    for (int n = 2; n <= 600; n++)  // more sizes than the cache keeps
        if (largest_prime_factor(n) <= 5)
            sizes.push_back(n);
    sizes.insert(sizes.end(), {90000, 8503, 97});
    std::vector<std::vector<float>> fresh_fwd, fresh_bwd;
    for (int n : sizes) {
        auto plan = fft_plan_build(n);
        auto x = random_signal(n, (unsigned)n);
        std::vector<float> out((size_t)n);
        auto in = x;
        real_fft_with_plan(*plan, in.data(), out.data(), FFT_FORWARD);
        fresh_fwd.push_back(out);
        in = x;
        real_fft_with_plan(*plan, in.data(), out.data(), FFT_BACKWARD);
        fresh_bwd.push_back(out);
    }
    auto check_all = [&](bool* ok) {
        for (size_t s = 0; s < sizes.size(); s++) {
            const int n = sizes[s];
            auto x = random_signal(n, (unsigned)n);
            if (!same_bits(forward(x), fresh_fwd[s]) || !same_bits(backward(x), fresh_bwd[s]))
                *ok = false;
        }
    };
    fft_plan_cache_clear();
    bool ok = true;
    check_all(&ok);  // builds, then (with more sizes than the cache keeps) evicts and rebuilds
    check_all(&ok);
    EXPECT_TRUE(ok);

    fft_plan_cache_clear();
    bool thread_ok[4] = {true, true, true, true};
    std::vector<std::thread> threads;
    for (bool& t_ok : thread_ok)
        threads.emplace_back([&check_all, &t_ok] { check_all(&t_ok); });
    for (auto& t : threads)
        t.join();
    for (bool t_ok : thread_ok)
        EXPECT_TRUE(t_ok);
}

// Where the processor has AVX2 the plans use eight-lane passes; forcing four lanes must give
// the same bits. The sizes reach every way through the passes: groups side by side (small
// ido), wide blocks with narrower and single-value remainders, edges with ido 1 and larger.
TEST(RealFft, VectorWidthDoesNotChangeResults)
{
    std::vector<int> sizes = {60, 120, 1000, 4000, 4096, 6480, 8748, 90000, 177147, 156250,
                              next_fast_size(441000)};
    for (int n = 2; n <= 300; n++)
        if (largest_prime_factor(n) <= 5)
            sizes.push_back(n);
    for (int n : sizes) {
        auto widest = fft_plan_build(n);
        FftPlan four = *widest;
        four.lanes = 4;
        auto x = random_signal(n, (unsigned)n * 3u);
        for (int direction : {FFT_FORWARD, FFT_BACKWARD}) {
            std::vector<float> in_a = x, in_b = x, out_a((size_t)n), out_b((size_t)n);
            real_fft_with_plan(*widest, in_a.data(), out_a.data(), direction);
            real_fft_with_plan(four, in_b.data(), out_b.data(), direction);
            EXPECT_TRUE(same_bits(out_a, out_b)) << "n=" << n << " direction " << direction
                                                 << " lanes " << widest->lanes;
            EXPECT_TRUE(same_bits(in_a, in_b)) << "n=" << n;
        }
    }
}

TEST(FftSize, NextFastSizeUsesTheTableThenSmoothNumbers)
{
    EXPECT_EQ(next_fast_size(1), 60);
    EXPECT_EQ(next_fast_size(59), 60);
    EXPECT_EQ(next_fast_size(60), 60);
    EXPECT_EQ(next_fast_size(61), 64);
    EXPECT_EQ(next_fast_size(8700), 8748);
    EXPECT_EQ(next_fast_size(441000), 450000);
    EXPECT_EQ(next_fast_size(6635520), 6635520);
    EXPECT_EQ(next_fast_size(6635521), 6718464);
    // Every answer is 2-3-5 smooth and no smaller than asked.
    for (int n = 1; n < 7000000; n = n * 3 / 2 + 1) {
        int m = next_fast_size(n);
        EXPECT_GE(m, n);
        EXPECT_LE(largest_prime_factor(m), 5) << m;
    }
}

TEST(FftSize, NextSmoothSizeAndLargestPrimeFactor)
{
    EXPECT_EQ(next_smooth_size(0), 0);
    EXPECT_EQ(next_smooth_size(1), 1);
    EXPECT_EQ(next_smooth_size(7), 8);
    EXPECT_EQ(next_smooth_size(61), 64);
    EXPECT_EQ(next_smooth_size(6635521), 6718464);
    EXPECT_EQ(largest_prime_factor(0), 2);
    EXPECT_EQ(largest_prime_factor(1), 2);
    EXPECT_EQ(largest_prime_factor(60), 5);
    EXPECT_EQ(largest_prime_factor(17), 17);
    EXPECT_EQ(largest_prime_factor(177147), 3);
    EXPECT_EQ(largest_prime_factor(2 * 9973), 9973);
}

// Large plans compute their rotations on several threads; each must hold the bits of the
// one-thread running count, including where a slice starts in the middle of a run. Plans of
// 2-3-5 sizes keep them only in the radix passes' layout, plans with a larger factor also as
// pairs for the general pass.
TEST(RealFft, RotationsOfLargePlansMatchTheRunningCount)
{
    for (int n : {1 << 20, 3 * 5 * 5 * 5 * 2048, next_fast_size(2646000), 7 * 7 * 3 * 4096}) {
        auto plan = fft_plan_build(n);
        ASSERT_TRUE(plan && !plan->factors.empty()) << "n=" << n;
        bool general = false;
        for (int f : plan->factors)
            general |= f > 5;
        std::vector<float> pairs((size_t)n, 0.0f), split;
        const float argh = 6.2831855f / (float)n;
        int is = 0, l1 = 1;
        for (size_t s = 0; s + 1 < plan->factors.size(); s++) {
            const int ip = plan->factors[s], ido = n / (l1 * ip);
            for (int j = 1, ld = 0; j < ip; j++) {
                ld += l1;
                const float argld = (float)ld * argh;
                std::vector<float> cosines, sines;
                float fi = 0.0f;
                for (int m = 0; 2 * m + 3 <= ido; m++) {
                    fi += 1.0f;
                    cosines.push_back(cosf(fi * argld));
                    sines.push_back(sinf(fi * argld));
                    pairs[(size_t)is + 2 * m] = cosines.back();
                    pairs[(size_t)is + 2 * m + 1] = sines.back();
                }
                if (ip <= 5) {
                    split.insert(split.end(), cosines.begin(), cosines.end());
                    split.insert(split.end(), sines.begin(), sines.end());
                }
                is += ido;
            }
            l1 *= ip;
        }
        EXPECT_TRUE(same_bits(plan->split, split)) << "n=" << n;
        if (general)
            EXPECT_TRUE(same_bits(plan->twiddles, pairs)) << "n=" << n;
        else
            EXPECT_TRUE(plan->twiddles.empty()) << "n=" << n;
    }
}
