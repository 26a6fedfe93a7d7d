#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "engine/bands.h"
#include "engine/block_geometry.h"
#include "engine/fft.h"
#include "engine/fft_size.h"
#include "engine/kernel.h"
#include "engine/noise.h"
#include "engine/scale.h"
#include "engine/synthesis.h"
#include "engine/synthesis_output.h"
#include "engine/image.h"

namespace {

constexpr int sr = 44100;

struct Picture {
    Image image = nullptr;
    int rows = 0, columns = 0;
    Picture(int r, int c, float value = 0.0f) : image(image_alloc(r, c)), rows(r), columns(c)
    {
        for (int y = 0; y < r; y++)
            for (int x = 0; x < c; x++)
                image[y][x] = value;
    }
    ~Picture() { image_free(image); }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;
};

std::vector<float> output_vector(const OutputBuffer& out, long long n)
{
    std::vector<float> v((size_t)n);
    output_read(out, 0, v.data(), n);
    return v;
}

// Signal-to-error ratio in dB of `y` against `x` over [from, to) after the best single gain.
double snr_db(const std::vector<float>& x, const std::vector<float>& y, long long from, long long to)
{
    double xy = 0, yy = 0, xx = 0, err = 0;
    for (long long i = from; i < to; i++) {
        xy += (double)x[i] * y[i];
        yy += (double)y[i] * y[i];
        xx += (double)x[i] * x[i];
    }
    double g = xy / yy;
    for (long long i = from; i < to; i++) {
        double e = x[i] - g * y[i];
        err += e * e;
    }
    return 10.0 * std::log10(xx / err);
}

double best_gain(const std::vector<float>& x, const std::vector<float>& y, long long from, long long to)
{
    double xy = 0, xx = 0;
    for (long long i = from; i < to; i++) {
        xy += (double)x[i] * y[i];
        xx += (double)x[i] * x[i];
    }
    return xy / xx;  // y ~ gain * x
}

double energy(const std::vector<float>& y, long long from, long long to)
{
    double e = 0;
    for (long long i = std::max(from, 0ll); i < std::min(to, (long long)y.size()); i++)
        e += (double)y[i] * y[i];
    return e;
}

// Power of `y` in [from, from + n) at frequency f (Hz), Hann-windowed single DFT bin.
double tone_power(const std::vector<float>& y, long long from, long long n, double f)
{
    double re = 0, im = 0;
    for (long long i = 0; i < n; i++) {
        double w = 0.5 - 0.5 * std::cos(2 * M_PI * i / n);
        re += w * y[from + i] * std::cos(2 * M_PI * f * i / sr);
        im += w * y[from + i] * std::sin(2 * M_PI * f * i / sr);
    }
    return re * re + im * im;
}

// The picture row that holds frequency f on a logarithmic scale from fmin to fmax.
int row_of(float f, float fmin, float fmax, int rows)
{
    float t = std::log(f / fmin) / std::log(fmax / fmin);
    return rows - 1 - (int)std::lround(t * (rows - 1));
}

}  // namespace

// ---------------------------------------------------------------- block geometry

TEST(SynthesisGeometry, DefaultsLongBlocksTallPicturesAndBlockCounts)
{
    BlockGeometry g;
    ASSERT_TRUE(block_geometry(g, 6000, 571, 100.0f, sr, false, noise_output_length(6000, 100.0f, sr)));
    EXPECT_EQ(g.block_width, 400);
    EXPECT_EQ(g.block_hop, 88200);
    EXPECT_EQ(g.block_length, 177147);
    EXPECT_EQ(g.block_count, 30);
    EXPECT_EQ(g.output_length, 2646000);
    EXPECT_EQ(block_first_column(g, 3), 600);

    // W = 250 with C = 100 (25 px/s): five half-block steps plus one for the remainder.
    ASSERT_TRUE(block_geometry(g, 250, 571, 25.0f, sr, false, noise_output_length(250, 25.0f, sr)));
    EXPECT_EQ(g.block_width, 100);
    EXPECT_EQ(g.block_count, 6);
    ASSERT_TRUE(block_geometry(g, 200, 571, 25.0f, sr, false, noise_output_length(200, 25.0f, sr)));
    EXPECT_EQ(g.block_count, 4);

    EXPECT_EQ(synthesis_block_width(100.0f, 2500, false), 1200);
    EXPECT_EQ(synthesis_block_width(100.0f, 2500, true), 12000);
    EXPECT_EQ(synthesis_block_width(5.0f, 571, false), 24);
    EXPECT_EQ(synthesis_block_width(12.9f, 571, false), 48);

    // Lossless: the output is the original sound, whose length sets the output's resolution.
    ASSERT_TRUE(block_geometry(g, 1000, 571, 100.0f, sr, false, 441300));
    EXPECT_NEAR(g.output_resolution, 44100.0f * 1000 / 441300, 1e-3f);
    EXPECT_EQ(g.block_hop, (int)std::nearbyint(200.0 * 441300 / 1000));

    EXPECT_FALSE(block_geometry(g, 0, 571, 100.0f, sr, false, 1000));
    EXPECT_FALSE(block_geometry(g, 100, 1, 100.0f, sr, false, 1000));
    EXPECT_FALSE(block_geometry(g, 100, 571, 0.0f, sr, false, 1000));
    EXPECT_FALSE(block_geometry(g, 100, 571, NAN, sr, false, 1000));
    EXPECT_FALSE(block_geometry(g, 100, 571, 100.0f, sr, false, 0));
    EXPECT_EQ(noise_output_length(0, 100.0f, sr), 0);
    // More than the output buffer holds is cut to what it holds.
    EXPECT_EQ(noise_output_length(1 << 20, 0.01f, sr), output_max_samples);
    ASSERT_TRUE(block_geometry(g, 1 << 20, 571, 1.0f, sr, false, 1ll << 40));
    EXPECT_EQ(g.output_length, output_max_samples);
}

TEST(SynthesisGeometry, KeptRangesTouchExactlyAndCoverTheOutput)
{
    struct Case {
        int columns, rate;
        float resolution;
        bool long_blocks;
        long long n_out;
    };
    const Case cases[] = {
        {6000, 44100, 100.0f, false, 0},  {250, 44100, 25.0f, false, 0}, {1001, 48000, 100.0f, false, 0},
        {777, 44100, 37.3f, false, 0},    {5000, 22050, 100.0f, true, 0}, {1000, 44100, 100.0f, false, 441300},
        {3, 44100, 100.0f, false, 0},
    };
    for (const Case& c : cases) {
        BlockGeometry g;
        long long n = c.n_out ? c.n_out : noise_output_length(c.columns, c.resolution, c.rate);
        ASSERT_TRUE(block_geometry(g, c.columns, 571, c.resolution, c.rate, c.long_blocks, n));
        long long expect_from = 0;
        for (int j = 0; j < g.block_count; j++) {
            long long from, to;
            block_kept_range(g, j, &from, &to);
            EXPECT_EQ(from, expect_from) << "block " << j << " of W " << c.columns;
            EXPECT_GE(from, block_first_sample(g, j));
            EXPECT_LE(to, block_first_sample(g, j) + g.block_length);
            expect_from = to;
        }
        EXPECT_EQ(expect_from, g.output_length) << "W " << c.columns;
    }

    // Where 2 hop is itself a fast size (48 kHz), S = 2 hop and the ranges are j S/2 + S/4 - 1
    // to (j + 1) S/2 + S/4 - 1.
    BlockGeometry g;
    ASSERT_TRUE(block_geometry(g, 6000, 571, 100.0f, 48000, false, noise_output_length(6000, 100.0f, 48000)));
    EXPECT_EQ(g.block_length, 192000);
    EXPECT_EQ(g.block_length, 2 * g.block_hop);
    long long from, to;
    block_kept_range(g, 5, &from, &to);
    EXPECT_EQ(from, 5ll * 96000 + 48000 - 1);
    EXPECT_EQ(to, 6ll * 96000 + 48000 - 1);
}

TEST(SynthesisGeometry, NewOriginalSoundIsExtendedWithZeros)
{
    EXPECT_EQ(original_sound_padded_length(1000, 177147), 2 * 88573);
    EXPECT_EQ(original_sound_padded_length(100000, 177147), 3 * 88573);
    EXPECT_EQ(original_sound_padded_length(0, 177147), 2 * 88573);
    // A short odd block never cuts real samples off.
    EXPECT_EQ(original_sound_padded_length(10, 3), 10);

    std::vector<float> sound(1000, 0.5f);
    sound.resize(1200, 9.0f);  // stale samples past the real length are cleared
    extend_original_sound(sound, 1000, 1024);
    ASSERT_EQ(sound.size(), (size_t)(3 * 512));
    EXPECT_EQ(sound[999], 0.5f);
    for (size_t i = 1000; i < sound.size(); i++)
        ASSERT_EQ(sound[i], 0.0f) << i;
}

// ---------------------------------------------------------------- kernel

TEST(Kernel, ValuesSymmetryAndTapSums)
{
    EXPECT_EQ(kernel_value(0.0f), 0.0f);
    EXPECT_EQ(kernel_value(3.0f), 0.0f);
    EXPECT_EQ(kernel_value(-0.5f), 0.0f);
    EXPECT_EQ(kernel_value(3.5f), 0.0f);
    EXPECT_EQ(kernel_table()[kernel_table_steps + 1], 0.0f);
    EXPECT_NEAR(kernel_value(1.5f), 1.3184f, 1e-4f);
    for (float d = 0.05f; d < 1.5f; d += 0.1f)
        EXPECT_NEAR(kernel_value(1.5f - d), kernel_value(1.5f + d), 1e-6f) << d;
    for (float d = 0.0f; d <= 1.0f; d += 0.0625f)
        EXPECT_NEAR(kernel_value(d) + kernel_value(d + 1) + kernel_value(d + 2), 1.50003f, 2e-5f) << d;
}

TEST(Kernel, ResamplingAConstantAndTheTapTablesAgreeToTheBit)
{
    std::vector<float> ones(100, 1.0f), y(1000);
    kernel_resample(ones.data(), 100, y.data(), 1000);
    // Output 0 lacks the tap before the first point.
    EXPECT_NEAR(y[0], kernel_value(1.5f) + kernel_value(2.5f), 1e-6f);
    for (int i = 20; i < 980; i++)
        ASSERT_NEAR(y[i], 1.50003f, 2e-5f) << i;

    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    const int sizes[][2] = {{402, 3840}, {1984, 60000}, {50, 7}, {1, 5}, {7, 7}};
    for (auto& s : sizes) {
        std::vector<float> x(s[0]), a(s[1]), b(s[1]);
        for (float& v : x)
            v = u(rng);
        KernelTaps taps;
        kernel_taps(s[0], s[1], taps);
        kernel_resample(x.data(), s[0], a.data(), s[1]);
        kernel_apply(taps, x.data(), b.data());
        ASSERT_EQ(0, memcmp(a.data(), b.data(), a.size() * sizeof(float))) << s[0] << " -> " << s[1];
    }
}

TEST(Kernel, CircularTapsWrapAroundAndKeepAConstantAllRound)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    const int sizes[][2] = {{402, 3840}, {50, 7}, {3, 40}, {1, 5}, {7, 7}};
    for (auto& s : sizes) {
        const int m = s[0], l = s[1];
        KernelTaps taps;
        kernel_taps_circular(m, l, taps);
        std::vector<float> x(m + 3), y(l);
        for (int j = 1; j <= m; j++)
            x[j] = u(rng);
        kernel_wrap_points(x.data(), m);
        kernel_apply(taps, x.data(), y.data());
        // Every output, both ends included, takes its three nearest points modulo m.
        const float q = (float)m / (float)l;
        for (int i = 0; i < l; i++) {
            const float at = (float)i * q;
            const int c = (int)(at + 1.5f);
            float sum = 0.0f;
            for (int j = c - 2; j <= c; j++)
                sum += kernel_value((float)j - at + 1.5f) * x[1 + (j % m + m) % m];
            ASSERT_EQ(y[i], sum) << m << " -> " << l << " at " << i;
        }
        std::fill(x.begin(), x.end(), 1.0f);
        kernel_apply(taps, x.data(), y.data());
        for (int i = 0; i < l; i++)
            ASSERT_NEAR(y[i], 1.50003f, 2e-5f) << m << " -> " << l << " at " << i;
    }
}

// ---------------------------------------------------------------- band weights

TEST(BandWeights, NormalisedWeightsSumToOneAcrossTheRangeAndTaperBeyond)
{
    const float a = 27.5f / 44100.0f, b = 20000.0f / 44100.0f;
    const int rows = 571, N = 1 << 18;
    set_scale_base(2.0f);
    BandLayout layout;
    ASSERT_TRUE(layout_bands(layout, rows, a, b, N, 3.0f, 10, 1000, band_window_blackman_sinc));
    // The sum of every bin's weights, and its scale position.
    auto sums = [&](const BandLayout& l) {
        std::vector<double> sum(N / 2 + 1, 0.0);
        for (const SynthesisBand& band : l.bands)
            for (int i = 0; i < band.count; i++)
                sum[band.start + 1 + i] += l.window[band.window_offset + i];
        return sum;
    };
    const std::vector<double> before = sums(layout);
    normalise_band_weights(layout, a, b);
    const std::vector<double> after = sums(layout);
    double ripple = 0.0;
    int inside = 0, first_inside = -1, last_inside = -1;
    for (int m = 1; m <= N / 2; m++) {
        const float t = freq_to_scale((float)m / (float)N, a, b);
        if (t < 0.0f || t > 1.0f)
            continue;
        ripple = std::max(ripple, std::fabs(before[m] - 1.0));
        ASSERT_NEAR(after[m], 1.0, 1e-6) << m;
        inside++;
        if (first_inside < 0)
            first_inside = m;
        last_inside = m;
    }
    EXPECT_GT(inside, 10000);
    EXPECT_GT(ripple, 0.05) << "the plain weights ripple";
    // Beyond the range the weights keep their taper, scaled by the factor of the range's first
    // or last bin, and fall to 0; at the top, where bins are dense, the sum goes on smoothly.
    const double low = after[first_inside] / before[first_inside], high = after[last_inside] / before[last_inside];
    for (int m = 1; m < first_inside; m++) {
        if (before[m] != 0.0) {
            EXPECT_NEAR(after[m] / before[m], low, 1e-5) << m;
        }
    }
    for (int m = last_inside + 1; m <= N / 2; m++) {
        if (before[m] != 0.0) {
            EXPECT_NEAR(after[m] / before[m], high, 1e-5) << m;
        }
    }
    EXPECT_NEAR(after[last_inside + 1], 1.0, 0.01);
    int top = last_inside;
    while (top < N / 2 && after[top + 1] != 0.0)
        top++;
    EXPECT_LT(top, N / 2);
    EXPECT_LT(std::fabs(after[top]), 0.01);
}

// ---------------------------------------------------------------- random generator

TEST(Noise, GeneratorSequenceAndWhiteNoiseComposition)
{
    random_seed(1);
    // The classic sequence of this generator from seed 1.
    const int expect[] = {41, 18467, 6334, 26500, 19169};
    for (int e : expect)
        EXPECT_EQ(random_next(), e);

    random_seed(1);
    unsigned long long v = ((41ull * 32768 + 18467) * 32768 + 6334) % (1ull << 32);
    EXPECT_FLOAT_EQ(white_noise(), (float)((double)v / 2147483648.0 - 1.0));
    EXPECT_EQ(random_next(), 26500) << "white_noise takes exactly three draws";

    random_seed(12345);
    std::vector<float> one_by_one(1000), filled(1000);
    for (float& f : one_by_one)
        f = white_noise();
    uint32_t after = random_state();
    random_seed(12345);
    white_noise_fill(filled.data(), 1000);
    EXPECT_EQ(one_by_one, filled);
    EXPECT_EQ(random_state(), after);

    std::vector<float> many(200000);
    white_noise_fill(many.data(), (long long)many.size());
    double mean = 0, square = 0;
    for (float f : many) {
        ASSERT_GE(f, -1.0f);
        ASSERT_LE(f, 1.0f);
        mean += f;
        square += (double)f * f;
    }
    mean /= many.size();
    EXPECT_NEAR(mean, 0.0, 0.01);
    EXPECT_NEAR(square / many.size(), 1.0 / 3.0, 0.01);
}

TEST(Noise, ConcurrentDrawsAreNeitherLostNorRepeated)
{
    random_seed(777);
    const int threads = 4, draws = 20000;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; t++)
        pool.emplace_back([] {
            for (int i = 0; i < draws; i++) {
                if (i % 2)
                    white_noise();
                else
                    random_next();
            }
        });
    for (auto& t : pool)
        t.join();
    uint32_t state = 777;
    for (long long i = 0; i < (long long)threads * draws / 2 * 4; i++)
        state = state * 214013u + 2531011u;
    EXPECT_EQ(random_state(), state);
}

// ---------------------------------------------------------------- output buffer

TEST(SynthesisOutput, ChunksFollowTheLengthAndKeepTheirContents)
{
    OutputBuffer out;
    output_resize(out, 2 * output_chunk_samples + 5);
    EXPECT_EQ(out.chunk_count, 3);
    std::vector<float> ramp(100);
    for (int i = 0; i < 100; i++)
        ramp[i] = (float)i - 60.0f;
    const long long at = output_chunk_samples - 50;  // spans chunks 0 and 1
    output_write(out, at, ramp.data(), 100);
    EXPECT_EQ(output_sample(out, at), -60.0f);
    EXPECT_EQ(output_sample(out, output_chunk_samples + 49), 39.0f);
    EXPECT_EQ(output_peak(out, 3 * output_chunk_samples), 60.0f);
    EXPECT_EQ(output_peak(out, at), 0.0f);

    output_resize(out, 10);  // one chunk: the surplus goes, chunk 0 keeps its samples
    EXPECT_EQ(out.chunk_count, 1);
    EXPECT_EQ(out.chunks[1], nullptr);
    EXPECT_EQ(output_sample(out, at), -60.0f);
    EXPECT_EQ(output_sample(out, output_chunk_samples + 49), 0.0f);
    output_resize(out, output_chunk_samples);  // exactly one chunk's worth needs a second chunk
    EXPECT_EQ(out.chunk_count, 2);
    EXPECT_EQ(output_sample(out, output_chunk_samples + 49), 0.0f) << "a new chunk starts silent";
    // Writes beyond the chunks are dropped, reads there give 0.
    output_write(out, 2 * output_chunk_samples - 10, ramp.data(), 100);
    EXPECT_EQ(output_sample(out, 2 * output_chunk_samples - 1), -51.0f);
    EXPECT_EQ(output_sample(out, 2 * output_chunk_samples), 0.0f);
    output_clear(out);
    EXPECT_EQ(output_peak(out, output_capacity(out)), 0.0f);
    output_resize(out, 0);
    EXPECT_EQ(out.chunk_count, 0);
    EXPECT_EQ(output_sample(out, 0), 0.0f);
}

TEST(SynthesisOutput, NormalisationGain)
{
    float g = 0.25f;
    EXPECT_FALSE(update_normalisation_gain(0.0f, &g));
    EXPECT_EQ(g, 0.25f);
    EXPECT_TRUE(update_normalisation_gain(4.0f, &g));
    EXPECT_EQ(g, 0.25f);
    EXPECT_TRUE(update_normalisation_gain(0.5f, &g));
    EXPECT_EQ(g, 2.0f);
    EXPECT_FALSE(update_normalisation_gain(1e-31f, &g));  // 1/p beyond 1e30
    EXPECT_FALSE(update_normalisation_gain(1e31f, &g));   // 1/p below 1e-30
    EXPECT_EQ(g, 2.0f);
}

// ---------------------------------------------------------------- mode checks

TEST(SynthesisModes, LosslessChecksGiveTheMessagesShown)
{
    SynthesisMessage m = lossless_turn_on_check(0, 0, 0);
    ASSERT_NE(m.title, nullptr);
    EXPECT_STREQ(m.title, "Lossless mode not turned on");
    EXPECT_STREQ(m.text, "Error: Lossless mode requires a sound file to be loaded first\nSee the paragraph "
                         "'Limitations' in Section II. Lossless mode of the manual");
    EXPECT_NE(lossless_turn_on_check(44100, 0, 0).title, nullptr) << "a sound without its picture";
    EXPECT_EQ(lossless_turn_on_check(44100, 100, 571).title, nullptr);

    EXPECT_EQ(lossless_size_check(true, 100, 571, 100, 571).title, nullptr);
    EXPECT_EQ(lossless_size_check(false, 101, 571, 100, 571).title, nullptr);
    for (auto size : {std::pair{101, 571}, std::pair{100, 570}}) {
        m = lossless_size_check(true, size.first, size.second, 100, 571);
        ASSERT_NE(m.title, nullptr);
        EXPECT_STREQ(m.title, "Lossless mode error: different image sizes");
        EXPECT_STREQ(m.text, "Error: Lossless mode is meant to work with an image of the same dimensions as "
                             "the original sound's image\nSee the Section II. Lossless mode of the manual for "
                             "an explanation of the proper use of the lossless mode");
    }
}

// ---------------------------------------------------------------- noise synthesis

namespace {

struct NoiseSetup {
    BlockGeometry geometry;
    NoiseCarriers carriers;
    NoiseSetup(int columns, int rows = 571, float fmin = 27.5f, float fmax = 20000.0f, int threads = 0,
               uint32_t seed = 99)
    {
        random_seed(seed);
        EXPECT_TRUE(block_geometry(geometry, columns, rows, 100.0f, sr, false,
                                   noise_output_length(columns, 100.0f, sr)));
        EXPECT_TRUE(build_noise_carriers(carriers, geometry, fmin, fmax, 2.0f, threads));
    }
};

}  // namespace

TEST(NoiseSynthesis, SilentPictureGivesSilenceAndKeepsTheGain)
{
    NoiseSetup s(300);
    Picture p(571, 300);
    OutputBuffer out;
    float g = 0.25f;
    EXPECT_EQ(render_noise_output(s.carriers, p.image, out, &g, 2), s.geometry.block_count);
    EXPECT_EQ(output_peak(out, s.geometry.output_length), 0.0f);
    EXPECT_EQ(g, 0.25f);
}

TEST(NoiseSynthesis, ColumnsSoundAtTheirTime)
{
    // 60 seconds, lit from column 5000 to 5049 in every row: the sound must sit at 50 s to
    // 50.5 s, its energy centred on column 5024.5. (Blocks that advanced by half their
    // transform length instead of by the true length of their half-width in columns would
    // drift; here that would put the sound near 50.48 s.)
    const int W = 6000, H = 571;
    NoiseSetup s(W);
    Picture p(H, W);
    for (int y = 0; y < H; y++)
        for (int x = 5000; x < 5050; x++)
            p.image[y][x] = 1.0f;
    OutputBuffer out;
    float g = 1.0f;
    render_noise_output(s.carriers, p.image, out, &g, 2);
    ASSERT_NE(g, 1.0f);
    std::vector<float> y = output_vector(out, s.geometry.output_length);
    double total = energy(y, 0, (long long)y.size());
    double inside = energy(y, 50 * sr - sr / 50, 50 * sr + sr / 2 + sr / 50);
    EXPECT_GT(inside / total, 0.99);
    double centre = 0;
    for (size_t i = 0; i < y.size(); i++)
        centre += (double)i * y[i] * y[i];
    EXPECT_NEAR(centre / total / sr, 50.245, 0.01);
}

TEST(NoiseSynthesis, RowsSoundAtTheirFrequency)
{
    const int W = 300, H = 571;
    NoiseSetup s(W);
    Picture p(H, W);
    const int row = row_of(1000.0f, 27.5f, 20000.0f, H);
    for (int x = 0; x < W; x++)
        p.image[row][x] = 1.0f;
    OutputBuffer out;
    float g = 1.0f;
    render_noise_output(s.carriers, p.image, out, &g, 2);
    std::vector<float> y = output_vector(out, s.geometry.output_length);
    const long long from = sr / 2, n = sr;
    double at = tone_power(y, from, n, 1000.0);
    EXPECT_GT(at, 1000.0 * tone_power(y, from, n, 900.0));
    EXPECT_GT(at, 1000.0 * tone_power(y, from, n, 1100.0));
    EXPECT_GT(at, 1000.0 * tone_power(y, from, n, 2000.0));
}

TEST(NoiseSynthesis, ColumnsPastThePictureNeverSound)
{
    const int W = 1100, H = 571;
    NoiseSetup s(W);
    Picture p(H, W, 1.0f);
    const BlockGeometry& g = s.geometry;
    const int last = g.block_count - 1;  // columns 1000 .. 1399
    const long long first_column = block_first_column(g, last);
    std::vector<float> block((size_t)H * g.block_width, 7.0f), rendered(g.block_length);
    copy_block_columns(p.image, W, H, first_column, g.block_width, block.data());
    for (int y = 0; y < H; y++)
        for (int i = 0; i < g.block_width; i++)
            ASSERT_EQ(block[(size_t)y * g.block_width + i], first_column + i < W ? 1.0f : 0.0f);
    ASSERT_TRUE(render_noise_block(s.carriers, block.data(), rendered.data()));
    std::vector<float> before_start((size_t)H * 4, 7.0f);
    copy_block_columns(p.image, W, H, -2, 4, before_start.data());
    EXPECT_EQ(before_start[1], 0.0f);
    EXPECT_EQ(before_start[2], 1.0f);
    // The picture ends (W - first_column) columns into the block; from two columns later to
    // the block's last column what remains is the faint spreading of the band filters
    // (measured: 2e-6 of the sounding part's power right after, falling to 5e-8).
    const long long end = (W - first_column + 2) * 441, stop = (long long)g.block_width * 440;
    std::vector<float> r(rendered.begin(), rendered.end());
    double before = energy(r, 0, end) / (double)end;
    double after = energy(r, end, stop) / (double)(stop - end);
    EXPECT_LT(after, before * 1e-5);
}

TEST(NoiseSynthesis, ThreadCountsChangeNoBitAndAbortLeavesSilence)
{
    const int W = 900, H = 571;
    NoiseSetup one(W, H, 27.5f, 20000.0f, 1, 4242), three(W, H, 27.5f, 20000.0f, 3, 4242);
    ASSERT_EQ(one.carriers.values.size, three.carriers.values.size);
    EXPECT_EQ(0, memcmp(one.carriers.values.data.get(), three.carriers.values.data.get(),
                        one.carriers.values.size * sizeof(float)));

    Picture p(H, W);
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (int y = 0; y < H; y += 3)
        for (int x = 0; x < W; x++)
            p.image[y][x] = u(rng);
    OutputBuffer a, b;
    float ga = 1, gb = 1;
    render_noise_output(one.carriers, p.image, a, &ga, 1);
    render_noise_output(one.carriers, p.image, b, &gb, 2);
    std::vector<float> va = output_vector(a, one.geometry.output_length), vb = output_vector(b, one.geometry.output_length);
    EXPECT_EQ(0, memcmp(va.data(), vb.data(), va.size() * sizeof(float)));
    EXPECT_EQ(ga, gb);

    // Every band reports; a raised abort stops at once with a silent block.
    const BlockGeometry& g = one.geometry;
    std::vector<float> block((size_t)H * g.block_width), rendered(g.block_length, 3.0f);
    copy_block_columns(p.image, W, H, 0, g.block_width, block.data());
    struct Count {
        int calls = 0;
        std::atomic<bool> abort{false};
    } count;
    RenderControl control;
    control.user = &count;
    control.band_done = [](void* user, int band) {
        Count* c = (Count*)user;
        EXPECT_EQ(band, c->calls);
        c->calls++;
        if (band == 10)
            c->abort = true;
    };
    control.abort = &count.abort;
    EXPECT_FALSE(render_noise_block(one.carriers, block.data(), rendered.data(), control));
    EXPECT_EQ(count.calls, 11);
    for (float v : rendered)
        ASSERT_EQ(v, 0.0f);
    std::atomic<bool> raised{true};
    EXPECT_EQ(render_noise_output(one.carriers, p.image, a, &ga, 2, &raised), -1);
}

// ---------------------------------------------------------------- lossless synthesis

TEST(LosslessSynthesis, GainBlockDividesAndTreatsSilentOriginalPixelsAsUnchanged)
{
    Picture current(2, 4), original(2, 4);
    const float cur[2][4] = {{0.5f, 3.0f, 0.0f, 1e10f}, {2.0f, 0.0f, 0.7f, 1.0f}};
    const float org[2][4] = {{1.0f, 0.0f, 0.0f, 1e-38f}, {4.0f, 2.0f, 0.7f, 1.0f}};
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 4; x++) {
            current.image[y][x] = cur[y][x];
            original.image[y][x] = org[y][x];
        }
    // Columns 1 .. 6 of a 4-column picture.
    std::vector<float> gain(2 * 6, -1.0f);
    build_gain_block(current.image, original.image, 4, 2, 1, 6, gain.data());
    // Row 0: 3/0 and 0/0 have a silent original: 1; 1e10/1e-38 overflows: 1; then past the picture.
    // Row 1: 0/2, 0.7/0.7, 1/1; then past the picture.
    const float expect[12] = {1, 1, 1, 0, 0, 0, 0, 1, 1, 0, 0, 0};
    for (int i = 0; i < 12; i++)
        EXPECT_EQ(gain[i], expect[i]) << i;
    build_gain_block(current.image, original.image, 4, 2, 0, 1, gain.data());
    EXPECT_EQ(gain[0], 0.5f);
    EXPECT_EQ(gain[1], 0.5f);
}

namespace {

struct LosslessCase {
    BlockGeometry geometry;
    LosslessSetup setup;
    std::vector<float> sound;  // padded
    long long n = 0;
    LosslessCase(std::vector<float> s, int columns, int rows, float fmin, float fmax)
    {
        n = (long long)s.size();
        EXPECT_TRUE(block_geometry(geometry, columns, rows, 100.0f, sr, false, n));
        EXPECT_TRUE(build_lossless_setup(setup, geometry, fmin, fmax, 2.0f));
        sound = std::move(s);
        extend_original_sound(sound, n, geometry.block_length);
    }
    std::vector<float> render(const Picture& current, const Picture& original, float* gain = nullptr,
                              int threads = 2, OutputBuffer* keep = nullptr)
    {
        OutputBuffer local;
        OutputBuffer& out = keep ? *keep : local;
        float g = 1.0f;
        render_lossless_output(setup, current.image, original.image, sound.data(), (long long)sound.size(), out,
                               gain ? gain : &g, threads);
        return output_vector(out, n);
    }
};

}  // namespace

namespace {

// What of x lies between fmin and fmax: the rest zeroed in one transform of the whole sound,
// padded so that nothing wraps round.
std::vector<float> in_range(const std::vector<float>& x, double fmin, double fmax)
{
    const int N = next_smooth_size((int)x.size() + 4 * sr);
    std::vector<float> a(N, 0.0f), X(N);
    std::copy(x.begin(), x.end(), a.begin());
    real_fft(a.data(), X.data(), N, FFT_FORWARD);
    for (int k = 0; k <= N / 2; k++) {
        const double f = (double)k * sr / N;
        if (f < fmin || f > fmax) {
            X[k] = 0.0f;
            if (k > 0 && k < N - k)
                X[N - k] = 0.0f;
        }
    }
    real_fft(X.data(), a.data(), N, FFT_BACKWARD);
    return std::vector<float>(a.begin(), a.begin() + (long long)x.size());
}

// A recording: harmonic notes of 1.5 s with twelve partials and a quick attack, a steady
// 1 kHz tone, white noise bursts (over the whole band, so partly outside any picture's
// range) and single-sample clicks.
std::vector<float> recording(long long n)
{
    std::vector<float> s((size_t)n);
    std::mt19937 rng(5);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    const double notes[] = {110.0, 146.83, 196.0, 261.63, 329.63, 82.41};
    for (long long i = 0; i < n; i++) {
        const double t = (double)i / sr, f0 = notes[(int)(t / 1.5) % 6], tn = std::fmod(t, 1.5);
        const double envelope = std::min(1.0, tn / 0.01) * std::exp(-1.2 * tn);
        double v = 0.08 * std::sin(2 * M_PI * 1000 * t);
        for (int h = 1; h <= 12; h++)
            v += 0.25 / h * envelope * std::sin(2 * M_PI * f0 * h * t + h);
        if (std::fmod(t, 2.0) > 0.9 && std::fmod(t, 2.0) < 1.2)
            v += 0.1 * noise(rng);
        s[(size_t)i] = (float)v;
    }
    for (long long c = sr / 3; c < n; c += 13 * sr / 10)
        s[(size_t)c] += 0.6f;
    return s;
}

// Signal-to-error ratio of an unedited lossless round trip of `s` over the whole sound:
// inside the range (both sides limited to it), and over the whole band.
struct RoundTrip {
    double in_range_db = 0, full_band_db = 0, gain = 0;
};
RoundTrip unedited_round_trip(const std::vector<float>& s, float resolution, float pitch_resolution)
{
    const float fmin = 27.5f, fmax = 20000.0f;
    const long long n = (long long)s.size();
    const int W = analysis_image_width(n, resolution, sr), H = analysis_image_height(fmin, fmax, pitch_resolution);
    BlockGeometry g;
    EXPECT_TRUE(block_geometry(g, W, H, resolution, sr, false, n));
    LosslessSetup setup;
    EXPECT_TRUE(build_lossless_setup(setup, g, fmin, fmax, 2.0f));
    std::vector<float> sound = s;
    extend_original_sound(sound, n, g.block_length);
    // The original picture's values do not matter to an unedited round trip (every gain is
    // 1), but its exact zeros do: they must not disturb it.
    Picture original(H, W);
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++)
            original.image[y][x] = (x * 7 + y) % 13 == 0 ? 0.0f : 0.25f + 0.001f * (float)((x + y) % 100);
    OutputBuffer out;
    float gain = 1.0f;
    render_lossless_output(setup, original.image, original.image, sound.data(), (long long)sound.size(), out, &gain, 2);
    const std::vector<float> y = output_vector(out, n);
    float peak = 0.0f;
    for (float v : y)
        peak = std::max(peak, std::fabs(v));
    EXPECT_EQ(gain, 1.0f / peak);
    RoundTrip r;
    const std::vector<float> xi = in_range(s, fmin, fmax), yi = in_range(y, fmin, fmax);
    r.in_range_db = snr_db(xi, yi, 0, n);
    r.full_band_db = snr_db(s, y, 0, n);
    r.gain = best_gain(xi, yi, 0, n);
    printf("round trip at %g px/s, %g rows per octave: %.2f dB inside the range, %.2f dB over the whole band\n",
           resolution, pitch_resolution, r.in_range_db, r.full_band_db);
    return r;
}

}  // namespace

TEST(LosslessSynthesis, UneditedPictureGivesBackTheOriginalSound)
{
    // Measured over the whole 10 s at the default geometry: 72.1 dB inside the range, 21.3 dB
    // over the whole band (the noise bursts' part above 20 kHz is not in the picture).
    RoundTrip r = unedited_round_trip(recording(10ll * sr), 100.0f, 60.0f);
    EXPECT_GT(r.in_range_db, 71.0);
    EXPECT_GT(r.full_band_db, 20.5);
    EXPECT_NEAR(r.gain, 1.5, 1e-4) << "the kernel's tap sum";
    // 200 columns per second and 120 rows per octave, 6 s: 70.8 dB, 21.0 dB.
    r = unedited_round_trip(recording(6ll * sr), 200.0f, 120.0f);
    EXPECT_GT(r.in_range_db, 69.5);
    EXPECT_GT(r.full_band_db, 20.5);
}

TEST(LosslessSynthesis, UneditedPureToneComesBackWhole)
{
    // 441.3 Hz faded in and out over 20 ms; measured 95.2 dB inside the range, 90.8 dB over
    // the whole band.
    const long long n = 8ll * sr;
    std::vector<float> s((size_t)n);
    for (long long i = 0; i < n; i++) {
        const double fade = std::min(1.0, (double)std::min(i, n - 1 - i) / (0.02 * sr));
        s[(size_t)i] = (float)(0.5 * std::sin(2 * M_PI * 441.3 * i / sr) * (0.5 - 0.5 * std::cos(M_PI * fade)));
    }
    RoundTrip r = unedited_round_trip(s, 100.0f, 60.0f);
    EXPECT_GT(r.in_range_db, 93.5);
    EXPECT_GT(r.full_band_db, 89.5);
}

TEST(LosslessSynthesis, EditsChangeOnlyTheirBands)
{
    // A smaller range keeps the test quick: 100 Hz to 8 kHz at 60 rows per octave.
    const float fmin = 100.0f, fmax = 8000.0f;
    const int H = analysis_image_height(fmin, fmax, 60.0f);
    const long long n = 6ll * sr;
    const int W = analysis_image_width(n, 100.0f, sr);
    std::vector<float> s((size_t)n);
    for (long long i = 0; i < n; i++)
        s[i] = (float)(0.3 * std::sin(2 * M_PI * 220 * i / sr) + 0.3 * std::sin(2 * M_PI * 2500 * i / sr));
    LosslessCase c(s, W, H, fmin, fmax);
    Picture original(H, W, 0.5f), current(H, W, 0.5f);
    const int row = row_of(2500.0f, fmin, fmax, H);
    for (int y = row - 8; y <= row + 8; y++)
        for (int x = 0; x < W; x++)
            current.image[y][x] = 0.0f;
    std::vector<float> unedited = c.render(original, original), edited = c.render(current, original);

    const long long from = 2 * sr, len = sr;
    double tone = tone_power(unedited, from, len, 2500.0), low = tone_power(unedited, from, len, 220.0);
    EXPECT_LT(tone_power(edited, from, len, 2500.0), tone * 1e-4) << "the 2.5 kHz band is erased";
    EXPECT_NEAR(tone_power(edited, from, len, 220.0) / low, 1.0, 0.01) << "220 Hz is left alone";

}

namespace {

// A sound of tones at the centres of bands (counted from the bottom) of the default picture,
// its setup, and its picture; every pixel 0.5, so an edit's gain is its new value over 0.5.
struct BandTones {
    static constexpr float fmin = 27.5f, fmax = 20000.0f;
    int H = analysis_image_height(fmin, fmax, 60.0f);
    std::vector<double> frequency;
    std::unique_ptr<LosslessCase> c;
    std::unique_ptr<Picture> original;
    BandTones(std::vector<int> bands, long long n)
    {
        set_scale_base(2.0f);
        std::vector<float> s((size_t)n, 0.0f);
        for (int k : bands) {
            const double f = scale_to_freq((float)k / (float)(H - 1), fmin / sr, fmax / sr) * sr;
            frequency.push_back(f);
            for (long long i = 0; i < n; i++)
                s[(size_t)i] += (float)(0.2 * std::sin(2 * M_PI * f * (double)i / sr));
        }
        const int W = analysis_image_width(n, 100.0f, sr);
        c = std::make_unique<LosslessCase>(s, W, H, fmin, fmax);
        original = std::make_unique<Picture>(H, W, 0.5f);
    }
    double level_db(const std::vector<float>& edited, const std::vector<float>& unedited, int tone, double from,
                    double to) const
    {
        const long long a = (long long)(from * sr), n = (long long)((to - from) * sr);
        return 10.0 * std::log10(tone_power(edited, a, n, frequency[tone]) / tone_power(unedited, a, n, frequency[tone]));
    }
};

}  // namespace

TEST(LosslessSynthesis, HalvingARowLowersItsBandBySixDecibels)
{
    const int k = 350;  // about 1.55 kHz
    BandTones t({k, k - 6}, 4ll * sr);
    Picture current(t.H, t.c->geometry.columns, 0.5f);
    for (int x = 0; x < current.columns; x++)
        current.image[t.H - 1 - k][x] = 0.25f;
    const std::vector<float> unedited = t.c->render(*t.original, *t.original), edited = t.c->render(current, *t.original);
    EXPECT_NEAR(t.level_db(edited, unedited, 0, 1.0, 3.0), -6.02, 0.5);
    EXPECT_NEAR(t.level_db(edited, unedited, 1, 1.0, 3.0), 0.0, 0.1) << "six bands below";
    printf("halved row: %.3f dB; six bands below: %.4f dB\n", t.level_db(edited, unedited, 0, 1.0, 3.0),
           t.level_db(edited, unedited, 1, 1.0, 3.0));
}

TEST(LosslessSynthesis, ADarkenedRectangleIsSilencedAndItsNeighboursKeepTheirLevel)
{
    // Bands 418 .. 422 (about 3.4 kHz) darkened to 0 from column 150 to 250 (1.5 s to 2.51 s);
    // tones in the middle band and two bands beyond each edge.
    const int k = 420;
    BandTones t({k, k + 4, k - 4}, 4ll * sr);
    Picture current(t.H, t.c->geometry.columns, 0.5f);
    for (int y = t.H - 1 - (k + 2); y <= t.H - 1 - (k - 2); y++)
        for (int x = 150; x <= 250; x++)
            current.image[y][x] = 0.0f;
    const std::vector<float> unedited = t.c->render(*t.original, *t.original), edited = t.c->render(current, *t.original);
    EXPECT_LT(t.level_db(edited, unedited, 0, 1.55, 2.45), -40.0) << "inside";
    EXPECT_NEAR(t.level_db(edited, unedited, 1, 1.55, 2.45), 0.0, 0.5) << "two bands above";
    EXPECT_NEAR(t.level_db(edited, unedited, 2, 1.55, 2.45), 0.0, 0.5) << "two bands below";
    EXPECT_NEAR(t.level_db(edited, unedited, 0, 1.40, 1.45), 0.0, 0.5) << "50 ms before";
    EXPECT_NEAR(t.level_db(edited, unedited, 0, 2.56, 2.61), 0.0, 0.5) << "50 ms after";
    printf("darkened: %.1f dB inside; %.3f, %.3f dB two bands away; %.3f, %.3f dB 50 ms away\n",
           t.level_db(edited, unedited, 0, 1.55, 2.45), t.level_db(edited, unedited, 1, 1.55, 2.45),
           t.level_db(edited, unedited, 2, 1.55, 2.45), t.level_db(edited, unedited, 0, 1.40, 1.45),
           t.level_db(edited, unedited, 0, 2.56, 2.61));
}

TEST(LosslessSynthesis, ColumnsPastThePictureAreSilenced)
{
    // The renderer is handed a sound that goes on past the picture's 540 columns; the block
    // that straddles the picture's end renders nothing past it.
    const float fmin = 100.0f, fmax = 8000.0f;
    const int H = analysis_image_height(fmin, fmax, 60.0f);
    const int W = 540;
    const long long n = (long long)W * 441;
    std::vector<float> s((size_t)(3 * n));
    for (size_t i = 0; i < s.size(); i++)
        s[i] = (float)(0.3 * std::sin(2 * M_PI * 330 * (double)i / sr) + 0.2 * std::sin(2 * M_PI * 1800 * (double)i / sr));
    BlockGeometry g;
    ASSERT_TRUE(block_geometry(g, W, H, 100.0f, sr, false, n));
    LosslessSetup setup;
    ASSERT_TRUE(build_lossless_setup(setup, g, fmin, fmax, 2.0f));
    Picture picture(H, W, 0.5f);
    const int j = g.block_count - 1;
    const long long first_column = block_first_column(g, j);
    ASSERT_LT(first_column, W);
    ASSERT_GT(first_column + g.block_width, W);
    std::vector<float> gain((size_t)H * g.block_width), out(g.block_length);
    build_gain_block(picture.image, picture.image, W, H, first_column, g.block_width, gain.data());
    ASSERT_EQ(render_lossless_block(setup, j, gain.data(), s.data(), (long long)s.size(), out.data()), lossless_rendered);
    std::vector<float> r(out.begin(), out.end());
    // Measured past the picture, up to the block's last column: 4e-8 of the power before.
    const long long end = (W - first_column + 2) * 441, stop = (long long)g.block_width * 440;
    double before = energy(r, 0, end) / (double)end;
    double after = energy(r, end, stop) / (double)(stop - end);
    EXPECT_LT(after, before * 1e-6);
}

TEST(LosslessSynthesis, SilentBlocksKeepTheirOutputAndThreadCountsChangeNoBit)
{
    const float fmin = 100.0f, fmax = 8000.0f;
    const int H = analysis_image_height(fmin, fmax, 60.0f);
    const long long n = 8ll * sr;
    const int W = analysis_image_width(n, 100.0f, sr);
    std::vector<float> s((size_t)n, 0.0f);
    for (long long i = 0; i < 2 * sr; i++)  // only the first two seconds sound
        s[i] = (float)(0.5 * std::sin(2 * M_PI * 700 * i / sr));
    LosslessCase c(s, W, H, fmin, fmax);
    Picture picture(H, W, 0.5f);
    const BlockGeometry& g = c.geometry;

    // Blocks whose sound is all zeros are not rendered at all.
    std::vector<float> gain((size_t)H * g.block_width, 1.0f), out(g.block_length, 5.0f);
    int silent = 0;
    for (int j = 0; j < g.block_count; j++) {
        bool zero = block_first_sample(g, j) >= 2 * sr;
        LosslessResult r = render_lossless_block(c.setup, j, gain.data(), c.sound.data(), (long long)c.sound.size(), out.data());
        EXPECT_EQ(r, zero ? lossless_silent : lossless_rendered) << j;
        silent += zero;
    }
    ASSERT_GT(silent, 0);

    // Their kept ranges keep whatever the output held.
    OutputBuffer kept;
    output_resize(kept, n);
    std::vector<float> marker((size_t)n, 0.125f);
    output_write(kept, 0, marker.data(), n);
    std::vector<float> y = c.render(picture, picture, nullptr, 2, &kept);
    for (int j = 0; j < g.block_count; j++) {
        long long from, to;
        block_kept_range(g, j, &from, &to);
        if (block_first_sample(g, j) < 2 * sr)
            continue;
        for (long long t = from; t < to; t++)
            ASSERT_EQ(y[t], 0.125f) << t;
    }

    std::vector<float> one = c.render(picture, picture, nullptr, 1), two = c.render(picture, picture, nullptr, 2);
    EXPECT_EQ(0, memcmp(one.data(), two.data(), one.size() * sizeof(float)));

    // A raised abort leaves a silent block.
    std::atomic<bool> abort{true};
    RenderControl control;
    control.abort = &abort;
    EXPECT_EQ(render_lossless_block(c.setup, 0, gain.data(), c.sound.data(), (long long)c.sound.size(), out.data(), control),
              lossless_aborted);
    for (float v : out)
        ASSERT_EQ(v, 0.0f);
}

TEST(Synthesis, UnusableSetUpsAreRefused)
{
    BlockGeometry g;
    ASSERT_TRUE(block_geometry(g, 100, 571, 100.0f, sr, false, noise_output_length(100, 100.0f, sr)));
    NoiseCarriers c;
    LosslessSetup l;
    EXPECT_FALSE(build_noise_carriers(c, g, 0.0f, 20000.0f, 2.0f));
    EXPECT_FALSE(build_noise_carriers(c, g, 500.0f, 400.0f, 2.0f));
    EXPECT_FALSE(build_lossless_setup(l, g, NAN, 20000.0f, 2.0f));
    EXPECT_FALSE(build_lossless_setup(l, BlockGeometry(), 27.5f, 20000.0f, 2.0f));
    // A base outside [1, 2] is clamped, not refused.
    EXPECT_TRUE(build_noise_carriers(c, g, 27.5f, 20000.0f, 7.0f));
    EXPECT_EQ(c.bands.base, 2.0f);
    EXPECT_EQ(get_scale_base(), 2.0f);
}
