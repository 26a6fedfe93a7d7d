// The knobs' value functions, their texts and the angle found for a value.
#include <gtest/gtest.h>

#include <cmath>

#include "ui/knob.h"

namespace {

double at(int knob, double t, const KnobContext& c = {}) { return knob_value(knob, t * knob_full_angle, c); }

TEST(Knob, ValuesAndTextsAtTheEnds)
{
    EXPECT_DOUBLE_EQ(at(knob_volume, 0.0), -30.0);
    EXPECT_DOUBLE_EQ(at(knob_volume, 1.0), 30.0);
    EXPECT_EQ(knob_value_text(knob_volume, -30.0), "-30.0");
    EXPECT_EQ(knob_value_text(knob_volume, 30.0), "+30.0");
    EXPECT_EQ(knob_value_text(knob_volume, at(knob_volume, 0.5)), "0.0");
    EXPECT_EQ(knob_value_text(knob_volume, -0.0009), "0.0");
    EXPECT_EQ(knob_value_text(knob_layer_intensity, at(knob_layer_intensity, 0.0)), "-60.0");
    EXPECT_EQ(knob_value_text(knob_layer_intensity, at(knob_layer_intensity, 1.0)), "+60.0");

    EXPECT_DOUBLE_EQ(at(knob_gamma, 0.0), 16.0);
    EXPECT_DOUBLE_EQ(at(knob_gamma, 0.5), 1.0);
    EXPECT_DOUBLE_EQ(at(knob_gamma, 1.0), 1.0 / 16.0);
    EXPECT_EQ(knob_value_text(knob_gamma, at(knob_gamma, 0.0)), "16.0 : 1");
    EXPECT_EQ(knob_value_text(knob_gamma, at(knob_gamma, 0.5)), "1 : 1");
    EXPECT_EQ(knob_value_text(knob_gamma, at(knob_gamma, 1.0)), "1 : 16.0");
    EXPECT_EQ(knob_value_text(knob_gamma, 0.5), "1 : 2.0");

    EXPECT_EQ(at(knob_tool_intensity, 1.0), 1.0);
    EXPECT_EQ(at(knob_tool_intensity, 0.99999996), 1.0);  // t² within 1e-7 of full travel
    EXPECT_LT(at(knob_tool_intensity, 0.9999), 1.0);
    EXPECT_EQ(knob_value_text(knob_tool_intensity, 1.0), "100.0%");
    EXPECT_EQ(knob_value_text(knob_tool_intensity, 0.25), "25.0%");

    EXPECT_EQ(knob_value_text(knob_frequency_scale, at(knob_frequency_scale, 0.0)), "LINEAR");
    EXPECT_EQ(knob_value_text(knob_frequency_scale, at(knob_frequency_scale, 1.0)), "LOG");
    EXPECT_EQ(knob_value_text(knob_frequency_scale, 1.5), "1.50");
    EXPECT_DOUBLE_EQ(at(knob_spray_width, 1.0), 180.0);
    EXPECT_EQ(knob_value_text(knob_spray_width, 5.0), "5.0");
    EXPECT_EQ(knob_value_text(knob_spray_width, 45.0), "45");

    // The frequency knobs run from 0.02 Hz to 26 kHz (or the analysis maximum, when higher).
    EXPECT_NEAR(at(knob_min_frequency, 0.0), 0.02, 1e-12);
    EXPECT_NEAR(at(knob_max_frequency, 1.0), 26000.02, 1e-6);
    KnobContext wide;
    wide.analysis_fmax = 48000.0;
    EXPECT_NEAR(at(knob_max_frequency, 1.0, wide), 48000.02, 1e-6);
    EXPECT_EQ(knob_value_text(knob_min_frequency, 27.5), "27.5");
    EXPECT_EQ(knob_value_text(knob_min_frequency, 20000.0), "20000");

    // Time resolution: 0.01 px/s at rest, about 2,400 at full travel (the scale's last label).
    EXPECT_NEAR(at(knob_time_resolution, 0.0), 0.01, 1e-12);
    EXPECT_NEAR(at(knob_time_resolution, 1.0), 2400.0, 5.0);
    EXPECT_EQ(knob_value_text(knob_time_resolution, 5.0), "5.00");
    EXPECT_EQ(knob_value_text(knob_time_resolution, 35.0), "35.0");
    EXPECT_EQ(knob_value_text(knob_time_resolution, 100.0), "100");
    // A sound of 2×10^9 samples at most: 44,100 Hz × 100,000 columns needs 2.205 px/s.
    KnobContext big;
    big.image_width = 100000;
    EXPECT_DOUBLE_EQ(at(knob_time_resolution, 0.0, big), 44100.0 * 100000.0 / 2e9);
}

TEST(Knob, ScaleLabelsSitAtTheirValues)
{
    // Each knob's seven labels stand at t = 0, 1/6, ..., 1 for the knobs whose labels are exact.
    const int exact[] = {knob_volume, knob_layer_intensity, knob_spray_width};
    for (int k : exact)
        for (int i = 0; i < 7; i++)
            EXPECT_DOUBLE_EQ(std::stod(knob_scale_labels(k)[i]), at(k, i / 6.0)) << knob_name(k) << " " << i;
    for (int i = 0; i < 7; i++)
        EXPECT_NEAR(std::stod(knob_scale_labels(knob_tool_intensity)[i]), 100.0 * at(knob_tool_intensity, i / 6.0), 0.5);
    EXPECT_STREQ(knob_scale_labels(knob_gamma)[3], "1:1");
    EXPECT_DOUBLE_EQ(at(knob_gamma, 0.5), 1.0);
}

TEST(Knob, SetFromValueThenValueFromAngleGivesTheValueBack)
{
    KnobContext c;
    for (int k = 0; k < knob_count; k++) {
        for (int i = 0; i <= 40; i++) {
            const double v = at(k, i / 40.0, c);
            const double angle = knob_angle_for_value(k, v, c);
            ASSERT_GE(angle, 0.0);
            ASSERT_LE(angle, knob_full_angle);
            EXPECT_NEAR(knob_value(k, angle, c), v, 1e-9 * std::max(1.0, std::fabs(v))) << knob_name(k) << " " << i;
        }
        // Beyond the ends: the ends of the travel.
        const double lo = at(k, 0.0, c), hi = at(k, 1.0, c);
        const bool falling = hi < lo;
        EXPECT_EQ(knob_angle_for_value(k, falling ? lo * 2.0 : lo - 1.0, c), 0.0) << knob_name(k);
        EXPECT_EQ(knob_angle_for_value(k, falling ? hi / 2.0 : hi + 1.0, c), knob_full_angle) << knob_name(k);
    }
    // Values between the table's points as well.
    EXPECT_NEAR(knob_value(knob_max_frequency, knob_angle_for_value(knob_max_frequency, 20000.0, c), c), 20000.0, 1e-6);
    EXPECT_NEAR(knob_value(knob_gamma, knob_angle_for_value(knob_gamma, 0.7, c), c), 0.7, 1e-9);
}

TEST(Knob, DefaultValuesResetTheAnalysisKnobsAndLeaveTheOthers)
{
    KnobContext c;
    Knobs k;
    for (int i = 0; i < knob_count; i++)
        knob_set_angle(k, i, 0.3, c);
    knobs_default_values(k, 40.0, 16000.0, 80.0, c);
    EXPECT_NEAR(knob_value(knob_min_frequency, k.angle[knob_min_frequency], c), 40.0, 1e-6);
    EXPECT_NEAR(knob_value(knob_max_frequency, k.angle[knob_max_frequency], c), 16000.0, 1e-6);
    EXPECT_NEAR(knob_value(knob_time_resolution, k.angle[knob_time_resolution], c), 80.0, 1e-6);
    EXPECT_EQ(k.value[knob_min_frequency], 40.0);
    EXPECT_EQ(k.value[knob_time_resolution], 80.0);
    EXPECT_DOUBLE_EQ(k.angle[knob_gamma], 0.75 * 3.14159265358979323846);
    EXPECT_EQ(k.value[knob_gamma], 1.0);
    EXPECT_DOUBLE_EQ(k.angle[knob_frequency_scale], knob_full_angle);
    EXPECT_EQ(k.value[knob_frequency_scale], 2.0);
    for (int i : {knob_volume, knob_layer_intensity, knob_spray_width, knob_tool_intensity}) {
        EXPECT_EQ(k.angle[i], 0.3) << knob_name(i);
        EXPECT_EQ(k.value[i], knob_value(i, 0.3, c)) << knob_name(i);
    }
}

}  // namespace
