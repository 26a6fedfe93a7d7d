#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

#include "engine/scale.h"

// Restores the process-wide base so that tests do not leak it into one another.
struct BaseGuard {
    float saved = get_scale_base();
    explicit BaseGuard(float base) { set_scale_base(base); }
    ~BaseGuard() { set_scale_base(saved); }
};

TEST(Scale, EndpointsAndRoundTripsForEveryBase)
{
    const float a = 27.5f, b = 20000.0f;
    for (float base : {1.0f, 1.17f, 1.5f, 2.0f}) {
        BaseGuard guard(base);
        EXPECT_NEAR(scale_to_freq(0.0f, a, b), a, a * 1e-5f) << base;
        EXPECT_NEAR(scale_to_freq(1.0f, a, b), b, b * 1e-5f) << base;
        float last = 0.0f;
        for (int i = 0; i <= 20; i++) {
            float t = i / 20.0f;
            float f = scale_to_freq(t, a, b);
            EXPECT_GT(f, last) << "frequency rises with the position, base " << base;
            last = f;
            EXPECT_NEAR(freq_to_scale(f, a, b), t, 2e-5f) << "base " << base << " t " << t;
            // The display forms agree with the engine over the offered range.
            EXPECT_EQ(display_scale_to_freq(t, a, b, base), f);
            EXPECT_EQ(display_freq_to_scale(f, a, b, base), freq_to_scale(f, a, b));
        }
    }
}

TEST(Scale, LinearLogarithmicAndBlendedShapes)
{
    const float a = 27.5f, b = 20000.0f;
    {
        BaseGuard guard(1.0f);
        EXPECT_FLOAT_EQ(scale_to_freq(0.5f, a, b), (a + b) / 2);
        // Extrapolation below the bottom row is allowed and may go negative.
        EXPECT_LT(scale_to_freq(-0.1f, a, b), 0.0f);
        EXPECT_FLOAT_EQ(log_scale_base(123.0f), 123.0f);
    }
    float mid_blend;
    {
        BaseGuard guard(2.0f);
        float mean = scale_to_freq(0.5f, a, b);
        EXPECT_NEAR(mean, std::sqrt(a * b), 0.05f);
        EXPECT_NEAR(mean, 741.6f, 0.05f);
        EXPECT_NEAR(freq_to_scale(mean, a, b), 0.5f, 1e-6f);
        EXPECT_NEAR(log_scale_base(8.0f), 3.0f, 1e-6f);
    }
    {
        BaseGuard guard(1.5f);
        mid_blend = scale_to_freq(0.5f, a, b);
        EXPECT_NEAR(log_scale_base(2.25f), 2.0f, 1e-6f);
    }
    // A blend puts the middle row between the logarithmic and the linear middles.
    EXPECT_GT(mid_blend, 741.7f);
    EXPECT_LT(mid_blend, (a + b) / 2);
}

TEST(Scale, PositionsDoNotDependOnTheFrequencyUnit)
{
    // Hz and frequencies normalised by the sample rate place a tone at the same position.
    const float a = 27.5f, b = 20000.0f, f = 1234.5f, k = 1.0f / 44100.0f;
    for (float base : {1.0f, 1.5f, 2.0f}) {
        BaseGuard guard(base);
        EXPECT_NEAR(freq_to_scale(f * k, a * k, b * k), freq_to_scale(f, a, b), 1e-5f) << base;
        EXPECT_NEAR(scale_to_freq(0.3f, a * k, b * k) / k, scale_to_freq(0.3f, a, b), 0.02f) << base;
    }
}

TEST(Scale, DisplayFormsTakeTheBaseGiven)
{
    BaseGuard guard(2.0f);
    // The engine's stored base does not reach the display forms.
    EXPECT_FLOAT_EQ(display_scale_to_freq(0.5f, 100.0f, 300.0f, 1.0f), 200.0f);
    // At or below 1 the display reads the axis as linear.
    EXPECT_FLOAT_EQ(display_scale_to_freq(0.5f, 100.0f, 300.0f, 0.8f), 200.0f);
    EXPECT_FLOAT_EQ(display_freq_to_scale(250.0f, 100.0f, 300.0f, 0.8f), 0.75f);
    EXPECT_FLOAT_EQ(display_log_scale_base(7.0f, 1.0f), 7.0f);
    EXPECT_NEAR(display_log_scale_base(16.0f, 2.0f), 4.0f, 1e-6f);
}

TEST(Scale, ConcurrentEntryPointsStoreOneValue)
{
    BaseGuard guard(1.0f);
    std::vector<std::thread> threads;
    std::vector<float> results(4);
    for (int i = 0; i < 4; i++)
        threads.emplace_back([i, &results] {
            float f = 0;
            for (int k = 0; k < 2000; k++) {
                set_scale_base(2.0f);
                f = scale_to_freq(0.5f, 27.5f, 20000.0f);
            }
            results[i] = f;
        });
    for (std::thread& t : threads)
        t.join();
    for (float f : results)
        EXPECT_NEAR(f, 741.6f, 0.05f);
}

TEST(Scale, AnalysedPictureSize)
{
    EXPECT_EQ(analysis_image_height(27.5f, 20000.0f, 60.0f), 571);
    EXPECT_EQ(analysis_image_height(110.0f, 440.0f, 12.0f), 25);     // 2 octaves: 24 + 1.5 -> 25
    EXPECT_EQ(analysis_image_height(440.0f, 440.0f, 60.0f), 1);
    EXPECT_EQ(analysis_image_height(440.0f, 110.0f, 60.0f), 0);      // inverted range
    EXPECT_EQ(analysis_image_height(NAN, 110.0f, 60.0f), 0);
    EXPECT_EQ(analysis_image_height(0.0f, 110.0f, 60.0f), 0);        // log of 0: no count

    EXPECT_EQ(analysis_image_width(44100, 100.0f, 44100), 100);
    EXPECT_EQ(analysis_image_width(44099, 100.0f, 44100), 99);
    EXPECT_EQ(analysis_image_width(441000, 37.5f, 44100), 375);
    // Single precision: 100/44100 is rounded to float before the product.
    float r = 100.0f / 44100.0f;
    EXPECT_EQ(analysis_image_width(1234567, 100.0f, 44100), (int)(1234567.0f * r));
    EXPECT_EQ(analysis_image_width(0, 100.0f, 44100), 0);
    EXPECT_EQ(analysis_image_width(1000, 100.0f, 0), 0);
    EXPECT_EQ(analysis_image_width(1000, NAN, 44100), 0);
}
