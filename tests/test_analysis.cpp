#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "engine/analysis.h"
#include "engine/blackman.h"
#include "engine/fft.h"
#include "engine/fft_size.h"
#include "engine/scale.h"

namespace {

const int sr = 44100;

struct Picture {
    Image image = nullptr;
    int rows = 0, columns = 0;
    ~Picture() { image_free(image); }
    const float* row(int y) const { return image[y]; }
};

void analyse(Picture& pic, const std::vector<float>& s, const AnalysisParameters& p, int threads = 0)
{
    pic.rows = analysis_image_height(p.fmin, p.fmax, p.pitch_resolution);
    pic.image = analyse_sound(s.data(), (int)s.size(), sr, pic.rows, p, &pic.columns, threads);
}

std::vector<float> tone(double hz, double seconds, double amplitude = 0.5)
{
    std::vector<float> s((size_t)(seconds * sr));
    for (size_t i = 0; i < s.size(); i++)
        s[i] = (float)(amplitude * std::sin(2.0 * M_PI * hz * (double)i / sr));
    return s;
}

// Deterministic noise with a few tones on top: energy in every band.
std::vector<float> test_signal(double seconds)
{
    std::vector<float> s((size_t)(seconds * sr));
    unsigned state = 12345;
    for (size_t i = 0; i < s.size(); i++) {
        state = state * 214013u + 2531011u;
        double noise = (double)((state >> 16) & 0x7fff) / 32768.0 - 0.5;
        double t = (double)i / sr;
        s[i] = (float)(0.3 * noise + 0.3 * std::sin(2 * M_PI * 220 * t) + 0.2 * std::sin(2 * M_PI * 5000 * t));
    }
    return s;
}

// Centre frequency in Hz of band k on the analysis scale.
double band_hz(const AnalysisParameters& p, int rows, int k)
{
    set_scale_base(p.scale_base);
    return scale_to_freq((float)k / (float)(rows - 1), p.fmin, p.fmax);
}

// Each row summed over the middle half of the picture, away from the ends of the sound.
std::vector<double> middle_energy(const Picture& pic)
{
    std::vector<double> energy(pic.rows);
    for (int y = 0; y < pic.rows; y++)
        for (int x = pic.columns / 4; x < pic.columns * 3 / 4; x++)
            energy[y] += pic.row(y)[x];
    return energy;
}

// The analysis written out plainly: one band after another, every scale position and every
// reduction weight computed where it is used. The optimised analysis must match it to the bit.
Image reference_analysis(const float* s, int n, int rows, const AnalysisParameters& p, int* columns)
{
    set_scale_base(p.scale_base);
    const float a = p.fmin / (float)sr, b = p.fmax / (float)sr;
    const float r = p.time_resolution / (float)sr, tau = p.transition_time_resolution / (float)sr;
    const int W = (int)((float)n * r);
    *columns = W;
    Image image = image_alloc(rows, W);
    float d0 = scale_to_freq(0, a, b) - scale_to_freq(-1.0f / (float)(rows - 1), a, b);
    long long e = n - 1 + std::llrint(5.0f / d0);
    e += e & 1;
    int N = next_fast_size((int)std::lrint((float)next_fast_size((int)std::lrint((float)e * r)) / r));
    int M = (int)std::lrint((float)N * r);
    std::vector<float> X(N);
    std::copy(s, s + n, X.begin());
    real_fft(X.data(), X.data(), N, 0);
    const float u = 1.0f / (float)(rows - 1);
    int previous = 0;
    for (int k = 0; k < rows; k++) {
        float w = tau / (scale_to_freq((float)(k + 1) * u, a, b) - scale_to_freq((float)(k - 1) * u, a, b));
        if (!p.constant_time_resolution)
            w = std::min(w, p.pitch_resolution / p.min_pitch_resolution);
        w = std::max(w, 1.0f);
        long lo = std::lrint(scale_to_freq(((float)k - w) * u, a, b) * (float)N);
        long hi = std::lrint(scale_to_freq(((float)k + w) * u, a, b) * (float)N);
        float tlo = freq_to_scale((float)lo / (float)N, a, b), thi = freq_to_scale((float)hi / (float)N, a, b);
        if (!std::isfinite(tlo))  // an edge below 0 Hz on a curved scale
            tlo = freq_to_scale(1.0f / (float)N, a, b);
        long start = std::max(lo, 1l);
        long count = std::min(hi, (long)(N / 2)) - start;
        if (!(std::isfinite(thi) && thi > tlo))
            count = 0;
        long c = std::max((long)M, 2 * count + 1);
        int L = c == M ? M : c <= previous ? previous : next_fast_size((int)c);
        previous = L;
        if (count <= 0)
            continue;
        std::vector<float> bf(L), q(L);
        for (long i = 0; i < count; i++) {
            long j = start + i;
            float pos = (freq_to_scale((float)j / (float)N, a, b) - tlo) / (thi - tlo);
            float h = 0.5f - 0.5f * std::cos(6.2831855f * pos);
            bf[i + 1] = h * X[j + 1];
            bf[L - 1 - i] = 2 * (j + 1) == N ? 0.0f : h * X[N - 1 - j];
            q[i + 1] = -bf[L - 1 - i];
            q[L - 1 - i] = bf[i + 1];
        }
        real_fft(bf.data(), bf.data(), L, 1);
        real_fft(q.data(), q.data(), L, 1);
        std::vector<float> env(L);
        for (int t = 0; t < L; t++)
            env[t] = std::sqrt(bf[t] * bf[t] + q[t] * q[t]) * std::sqrt((float)L / w);
        if (L > M) {
            std::vector<float> y(M);
            blackman_downsample(env.data(), L, M, y.data());
            env = y;
        }
        std::copy(env.begin(), env.begin() + std::min(W, (int)env.size()), image[rows - 1 - k]);
    }
    return image;
}

}  // namespace

TEST(Analysis, DefaultGeometry)
{
    AnalysisParameters p;
    EXPECT_EQ(analysis_image_height(p.fmin, p.fmax, p.pitch_resolution), 571);
    for (int n : {441, 44099, 44100, 100000})
        EXPECT_EQ(analysis_image_width(n, p.time_resolution, sr), (int)((long long)n * 100 / 44100)) << n;

    Picture pic;
    std::vector<float> s = test_signal(0.75);
    s.pop_back();  // 33074 samples: 74.998 columns
    analyse(pic, s, p);
    ASSERT_NE(pic.image, nullptr);
    EXPECT_EQ(pic.rows, 571);
    EXPECT_EQ(pic.columns, 74);
    EXPECT_EQ(analysis_progress.load(), 1.0);
    for (int y = 0; y < pic.rows; y++)
        for (int x = 0; x < pic.columns; x++)
            ASSERT_TRUE(std::isfinite(pic.row(y)[x]) && pic.row(y)[x] >= 0.0f) << y << "," << x;
}

TEST(Analysis, ToneLandsInItsBand)
{
    AnalysisParameters p;
    const int rows = analysis_image_height(p.fmin, p.fmax, p.pitch_resolution);
    for (int k0 : {311, 500}) {  // about 1 kHz, and about 12 kHz where bands are one row wide
        Picture pic;
        analyse(pic, tone(band_hz(p, rows, k0), 1.0), p);
        ASSERT_NE(pic.image, nullptr);
        const int y0 = rows - 1 - k0;  // row 0 is the top of the scale
        std::vector<double> energy = middle_energy(pic);
        EXPECT_EQ(std::max_element(energy.begin(), energy.end()) - energy.begin(), y0) << k0;
        for (int d = 1; d <= 3; d++) {
            EXPECT_LT(energy[y0 - d], energy[y0 - d + 1]) << k0 << " above " << d;
            EXPECT_LT(energy[y0 + d], energy[y0 + d - 1]) << k0 << " below " << d;
        }
        EXPECT_LT(energy[y0 - 8], 1e-3 * energy[y0]);
        EXPECT_LT(energy[y0 + 8], 1e-3 * energy[y0]);
        // Steady over time away from the ends.
        const float* row = pic.row(y0);
        auto [lo, hi] = std::minmax_element(row + pic.columns / 4, row + pic.columns * 3 / 4);
        EXPECT_LT(*hi - *lo, 0.01f * *hi) << k0;
    }
}

TEST(Analysis, ConstantTimeResolutionWidensLowBands)
{
    AnalysisParameters p;
    const int rows = analysis_image_height(p.fmin, p.fmax, p.pitch_resolution);
    auto lit_rows = [&](bool constant, int k0) {
        AnalysisParameters q = p;
        q.constant_time_resolution = constant;
        Picture pic;
        analyse(pic, tone(band_hz(p, rows, k0), 1.0), q);
        std::vector<double> energy = middle_energy(pic);
        double peak = *std::max_element(energy.begin(), energy.end());
        return (int)std::count_if(energy.begin(), energy.end(), [&](double v) { return v > 0.01 * peak; });
    };
    // 100 Hz: rows are 1.2 Hz apart; a 100 Hz wide band spans some 80 rows, the limit 5.
    int limited = lit_rows(false, 112), constant = lit_rows(true, 112);
    EXPECT_LE(limited, 7);
    EXPECT_GE(constant, 40);
    // 12 kHz: rows are wider than 100 Hz, so both give the narrowest band.
    EXPECT_EQ(lit_rows(false, 500), lit_rows(true, 500));
}

TEST(Analysis, BandsAboveNyquistAreSilent)
{
    AnalysisParameters p;
    p.fmin = 1000.0f;
    p.fmax = 40000.0f;
    p.pitch_resolution = 12.0f;
    Picture pic;
    analyse(pic, test_signal(0.5), p);
    ASSERT_NE(pic.image, nullptr);
    int silent = 0, sounding = 0;
    for (int k = 0; k < pic.rows; k++) {
        double hz = band_hz(p, pic.rows, k);
        const float* row = pic.row(pic.rows - 1 - k);
        float peak = *std::max_element(row, row + pic.columns);
        if (hz > 22050.0 * 1.2) {
            EXPECT_EQ(peak, 0.0f) << hz;
            silent++;
        } else if (hz < 20000.0) {
            EXPECT_GT(peak, 0.0f) << hz;
            sounding++;
        }
    }
    EXPECT_GT(silent, 5);
    EXPECT_GT(sounding, 40);
}

TEST(Analysis, ShortOrEmptySoundGivesNoColumns)
{
    AnalysisParameters p;
    std::vector<float> s(441, 0.25f);
    for (int n : {0, 1, 440, 441}) {  // 441 samples are the first whole column
        int columns = -1;
        Image image = analyse_sound(n ? s.data() : nullptr, n, sr, 571, p, &columns, 1);
        EXPECT_EQ(image != nullptr, n == 441);
        EXPECT_EQ(columns, n == 441 ? 1 : 0);
        EXPECT_EQ(analysis_progress.load(), 1.0);
        image_free(image);
    }
}

TEST(Analysis, UnusableParametersAreRefused)
{
    std::vector<float> s = test_signal(0.1);
    std::vector<std::pair<AnalysisParameters, int>> cases(7, {AnalysisParameters(), 571});
    cases[0].second = 1;
    cases[1].first.fmin = 0.0f;
    cases[2].first.fmax = cases[2].first.fmin;
    cases[3].first.time_resolution = NAN;
    cases[4].first.scale_base = INFINITY;
    cases[5].first.transition_time_resolution = -INFINITY;
    cases[6].first.fmin = 1e-30f;  // padding beyond any transform size
    for (size_t i = 0; i < cases.size(); i++) {
        int columns = -1;
        Image image = analyse_sound(s.data(), (int)s.size(), sr, cases[i].second, cases[i].first, &columns, 2);
        EXPECT_EQ(image, nullptr) << i;
        EXPECT_EQ(columns, 0) << i;
        image_free(image);
    }
}

TEST(Analysis, ExtremeBandsStayFinite)
{
    // Bands reaching below 0 Hz (very wide, constant time, on a blended scale) and samples that
    // are not numbers must still give a picture of finite values.
    std::vector<float> s = test_signal(0.3);
    s[100] = NAN;
    s[200] = INFINITY;
    AnalysisParameters p;
    p.pitch_resolution = 12.0f;
    p.transition_time_resolution = 2000.0f;
    p.constant_time_resolution = true;
    for (float base : {1.0f, 1.5f, 2.0f}) {
        p.scale_base = base;
        Picture pic;
        analyse(pic, s, p, 2);
        ASSERT_NE(pic.image, nullptr);
        double total = 0;
        for (int y = 0; y < pic.rows; y++)
            for (int x = 0; x < pic.columns; x++) {
                ASSERT_TRUE(std::isfinite(pic.row(y)[x])) << base << " " << y << "," << x;
                total += pic.row(y)[x];
            }
        EXPECT_GT(total, 0.0) << base;
    }
}

TEST(Analysis, ParallelEqualsPlainComputationBitForBit)
{
    std::vector<float> s = test_signal(0.6);
    std::vector<AnalysisParameters> cases(3);
    cases[0].pitch_resolution = 24.0f;
    cases[1].pitch_resolution = 24.0f;
    cases[1].constant_time_resolution = true;
    cases[1].scale_base = 1.5f;
    cases[2].fmin = 200.0f;
    cases[2].fmax = 30000.0f;  // bands cut at and beyond the Nyquist bin
    cases[2].pitch_resolution = 36.0f;
    cases[2].scale_base = 1.0f;
    for (const AnalysisParameters& p : cases) {
        int rows = analysis_image_height(p.fmin, p.fmax, p.pitch_resolution), ref_columns = 0;
        Image ref = reference_analysis(s.data(), (int)s.size(), rows, p, &ref_columns);
        ASSERT_NE(ref, nullptr);
        for (int threads : {1, 2, 3}) {
            int columns = 0;
            Image image = analyse_sound(s.data(), (int)s.size(), sr, rows, p, &columns, threads);
            ASSERT_EQ(columns, ref_columns);
            EXPECT_EQ(memcmp(image[0], ref[0], sizeof(float) * rows * columns), 0)
                << "threads " << threads << " base " << p.scale_base;
            image_free(image);
        }
        image_free(ref);
    }
}

TEST(Analysis, ProgressRisesToOne)
{
    std::vector<float> s = test_signal(0.5);
    AnalysisParameters p;
    std::atomic<bool> done{false};
    Image image = nullptr;
    int columns = 0;
    analysis_progress.store(-1.0);  // the analysis resets it before its first band
    std::thread worker([&] {
        image = analyse_sound(s.data(), (int)s.size(), sr, 571, p, &columns, 2);
        done = true;
    });
    std::vector<double> seen;
    while (!done)
        seen.push_back(analysis_progress.load());
    worker.join();
    seen.push_back(analysis_progress.load());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 1.0);
    image_free(image);
}

TEST(Blackman, WeightsAndNormalisation)
{
    // L = 4, M = 2: rho = 2. Output 0 weighs inputs 0, 1, 2 by 1, 0.34, 0; output 1 (centre 2)
    // weighs inputs 0 .. 3 by 0, 0.34, 1, 0.34.
    const float x[4] = {1.0f, 2.0f, 4.0f, 8.0f};
    float y[2];
    blackman_downsample(x, 4, 2, y);
    EXPECT_NEAR(y[0], (1.0 + 0.34 * 2.0) / 1.34, 1e-6);
    EXPECT_NEAR(y[1], (0.34 * 2.0 + 4.0 + 0.34 * 8.0) / 1.68, 1e-6);

    // A constant stays constant whatever the ratio.
    std::vector<float> c(1000, 0.75f), out(333);
    blackman_downsample(c.data(), 1000, 333, out.data());
    for (float v : out)
        EXPECT_NEAR(v, 0.75f, 1e-6f);
}

TEST(PeakScaling, PeakBecomesExactlyOne)
{
    Image image = image_alloc(2, 3);
    const float values[6] = {0.1f, 0.3f, -0.7f, 0.6f, 1e-20f, 0.0f};
    memcpy(image[0], values, sizeof(values));
    EXPECT_EQ(scale_image_to_unit_peak(image, 2, 3), 0.7f);
    EXPECT_EQ(image[0][2], -1.0f);
    EXPECT_EQ(image[1][0], 0.6f / 0.7f);
    // Awkward positive peaks still land on exactly 1.
    for (float peak : {0.1f, 3.0f, 1e-30f, 12345.678f}) {
        for (int i = 0; i < 6; i++)
            image[0][i] = i == 4 ? peak : peak * 0.5f;
        scale_image_to_unit_peak(image, 2, 3);
        EXPECT_EQ(image[1][1], 1.0f) << peak;
    }
    memset(image[0], 0, sizeof(values));
    EXPECT_EQ(scale_image_to_unit_peak(image, 2, 3), 0.0f);
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(image[0][i], 0.0f);
    image_free(image);
}
