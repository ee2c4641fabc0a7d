// The scripted signals of the training procedures, without the arm.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "training/excitation.h"

namespace {

using Commands = std::array<float, 3>;

// The commands of every sample of one excitation, from `start`.
std::vector<Commands> Excite(Commands start) {
    float v[3] = {start[0], start[1], start[2]};
    std::vector<Commands> samples;
    for (int i = 0; i < training::kMotorSamples; ++i) {
        training::AdvanceMotorCommands(i, v);
        samples.push_back({v[0], v[1], v[2]});
    }
    return samples;
}

void ExpectCommands(const Commands& actual, double v0, double v1, double v2, double tolerance) {
    EXPECT_NEAR(actual[0], v0, tolerance);
    EXPECT_NEAR(actual[1], v1, tolerance);
    EXPECT_NEAR(actual[2], v2, tolerance);
}

TEST(MotorExcitation, FreshCommandsRampThenJumpWhereAParabolaRestarts) {
    const std::vector<Commands> v = Excite({0, 0, 0});
    ExpectCommands(v[0], 0.02, 0.02, 0.03, 1e-6);
    ExpectCommands(v[50], 1.02, 1.02, 1.53, 1e-5);
    ExpectCommands(v[950], -0.9604, -0.9604, -1.4406, 1e-5);
    // Segment 951 restarts d at 0: exact levels, not a continuation.
    EXPECT_EQ(v[951][0], -1.0f);
    EXPECT_EQ(v[951][1], -1.0f);
    EXPECT_EQ(v[951][2], -2.25f);
}

TEST(MotorExcitation, EachSegmentStartsAtItsTabledLevel) {
    const std::vector<Commands> v = Excite({0, 0, 0});
    const double fastSine = std::sin(0.062918);
    struct Start {
        int sample;
        double v0, v1, v2;
    };
    const Start starts[] = {
        {401, 0, 0, 0},
        {402, std::sin(0.031459), 0.8 * std::sin(0.031459), 0.8 * std::sin(0.031459)},
        {602, std::sin(0.031459), -0.8 * std::sin(0.031459), -0.8 * std::sin(0.031459)},
        {801, 0, 0, 0},
        {851, 1, 1, 1.5},
        {901, 0, 0, 0},
        {1001, 0, 0, 0},
        {1051, -1, -1, -2.25},
        {1101, 0, 0, 0},
        {1151, 1, 1, 2.25},
        {1601, 0, 0, 0},
        {2001, 0, 0, 0},
        {2051, 0.6, 0.6, -0.6},
        {2101, 0, 0, 0},
        {2151, -0.6, -0.6, 0.6},
        {2251, -0.6, -0.6, 0.6},
        {2301, 0, 0, 0},
        {2351, 0.6, 0.6, -0.6},
        {2401, 0.6 * fastSine, 0.6 * fastSine, 3 * fastSine},
        {2501, -0.6 * std::sin(101 * 0.062918), -0.6 * std::sin(101 * 0.062918),
         -3 * std::sin(101 * 0.062918)},
        {2601, 0.6 * std::sin(201 * 0.062918), 0.6 * std::sin(201 * 0.062918),
         3 * std::sin(201 * 0.062918)},
        {2799, -0.6 * std::sin(399 * 0.062918), -0.6 * std::sin(399 * 0.062918),
         -3 * std::sin(399 * 0.062918)},
    };
    for (const Start& s : starts) {
        SCOPED_TRACE(s.sample);
        ExpectCommands(v[s.sample], s.v0, s.v1, s.v2, 1e-6);
    }
    // The incremental segments after the parabolas continue from 1200's
    // levels: V2 falls by 1.5 s and then rises by only 1.0 s per sample.
    const double s = training::kStep;
    ExpectCommands(v[1201], v[1200][0] + s, v[1200][1] + s, v[1200][2] - 1.5 * s, 1e-6);
    EXPECT_NEAR(v[1350][2] - v[1250][2], 100 * s, 1e-4);
}

TEST(MotorExcitation, StaysInsideTheMotorLimitAndPeaksAtThree) {
    double largest = 0.0;
    for (const Commands& c : Excite({0, 0, 0})) {
        for (float value : c) {
            largest = std::fmax(largest, std::fabs(value));
        }
    }
    EXPECT_LT(largest, 5.0);
    EXPECT_NEAR(largest, 3.0, 1e-3);
}

TEST(MotorExcitation, ASecondRecordingContinuesFromTheCommandsTheFirstLeft) {
    const std::vector<Commands> first = Excite({0, 0, 0});
    const Commands left = first.back();
    ASSERT_NE(left[2], 0.0f);
    const std::vector<Commands> second = Excite(left);
    const double s = training::kStep;
    ExpectCommands(second[0], left[0] + s, left[1] + s, left[2] + 1.5 * s, 1e-6);
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(second[400][k] - first[400][k], left[k], 1e-5) << k;
    }
    // From the first sine on, every command is set afresh.
    for (int i = 401; i < training::kMotorSamples; ++i) {
        ASSERT_EQ(second[i], first[i]) << i;
    }
}

TEST(ValveExcitation, RisesFallsSwingsStepsAndRampsAroundTheReference) {
    const float reference = 5.6f;
    std::vector<float> v;
    float command = reference;
    for (int q = 0; q < training::kValveSamples; ++q) {
        command = training::NextValveCommand(q, command, reference);
        v.push_back(command);
    }
    EXPECT_NEAR(v[0], reference + 0.02, 1e-6);
    EXPECT_NEAR(v[100], reference + 2.02, 1e-4);  // the peak, 7.62 V
    EXPECT_NEAR(v[400], reference + 0.02, 1e-3);
    EXPECT_NEAR(v[500], reference + 1.0, 1e-6);  // top of the half sine
    // Steps of 0.1 V on samples 601, 611, ..., 791, then back down.
    EXPECT_NEAR(v[601] - v[600], 0.1, 1e-6);
    EXPECT_EQ(v[610], v[601]);
    EXPECT_NEAR(v[800], reference + 2.0, 1e-3);
    EXPECT_NEAR(v[1299], reference + 2.0 - 199 * 0.02, 1e-3);
    for (float value : v) {
        EXPECT_LE(value, reference + 2.021);
    }
}

TEST(DesiredPressures, StartAtTheMeasuredPressuresAndSwitchWaveAfterH) {
    const float start[4] = {1.5f, 2.25f, 2.5f, 1.75f};
    const int m = 1331;
    const training::DesiredPressures d = training::MakeDesiredPressures(start, m);
    const double a = 0.08975979010254286, b = 0.0392699081698625, c = 0.03141592653589;
    const int h = 665;
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        ASSERT_EQ(d.pressure[k].size(), static_cast<std::size_t>(m + 1));
        EXPECT_EQ(d.pressure[k][0], start[k]);
        EXPECT_EQ(d.slope[k][0], 0.0f);
        EXPECT_NEAR(d.slope[k][1], (d.pressure[k][1] - d.pressure[k][0]) / 20.0, 1e-7);
    }
    // Muscle signs: fast wave +, -, +, -; slow and medium waves +, -, -, +.
    const double fast = 0.05 * std::sin(a * h), slow = 0.5 * std::sin(b * h);
    EXPECT_NEAR(d.pressure[0][h], start[0] + fast + slow, 1e-6);
    EXPECT_NEAR(d.pressure[1][h], start[1] - fast - slow, 1e-6);
    EXPECT_NEAR(d.pressure[2][h], start[2] + fast - slow, 1e-6);
    EXPECT_NEAR(d.pressure[3][h], start[3] - fast + slow, 1e-6);
    const double medium = 0.6 * std::sin(c * (h + 1));
    EXPECT_NEAR(d.pressure[0][h + 1], start[0] + medium, 1e-6);
    EXPECT_NEAR(d.pressure[1][h + 1], start[1] - medium, 1e-6);
    EXPECT_NEAR(d.pressure[2][h + 1], start[2] - medium, 1e-6);
    EXPECT_NEAR(d.pressure[3][h + 1], start[3] + medium, 1e-6);
    EXPECT_NEAR(d.pressure[3][m], start[3] + 0.6 * std::sin(c * m), 1e-6);
}

TEST(Calibration, EndsOnceEveryAxisWasStillEvenIfOneMovesAgain) {
    training::StillAxes still;
    still.Observe({12, 0, -3});
    EXPECT_FALSE(still.All());
    still.Observe({0, 5, -1});  // axis 1 moves again: it stays marked
    EXPECT_FALSE(still.All());
    still.Observe({4, 2, 0});
    EXPECT_TRUE(still.All());
}

}  // namespace
