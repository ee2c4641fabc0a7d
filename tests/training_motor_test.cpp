// The motor excitation recording on the virtual lab. Its motor commands live
// as long as the process, so this binary's first test sees them fresh.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "runfiles/catalogue.h"
#include "tests/training_session.h"
#include "training/training.h"

namespace {

using trainingtest::Lines;
using trainingtest::Numbers;

constexpr const char* kVoltageFile = runfiles::kMotorVoltages.RelativePath();
constexpr const char* kVelocityFile = runfiles::kMotorVelocities.RelativePath();
constexpr const char* kEncoderFile = runfiles::kMotorEncoders.RelativePath();

class MotorRecording : public testing::Test {
  protected:
    void SetUp() override { trainingtest::PrepareTrainingLab(); }
    void TearDown() override { lab::Reset(); }

    training::TrainingResult Record(runs::Redraw redraw = nullptr) {
        testing::internal::CaptureStdout();
        const training::TrainingResult result = RecordMotorTrainingData(redraw);
        output_ = testing::internal::GetCapturedStdout();
        return result;
    }

    platform::VirtualClockScope clock_;
    std::string output_;
};

void ExpectNear(const std::vector<double>& actual, const std::vector<double>& expected,
                double tolerance) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k) {
        EXPECT_NEAR(actual[k], expected[k], tolerance) << k;
    }
}

// Every velocity line is the count step to the next sample per ms; the last
// one steps to the zero entry after the last sample.
void ExpectVelocitiesFromCounts(const std::vector<std::string>& velocities,
                                const std::vector<std::string>& counts) {
    ASSERT_EQ(velocities.size(), counts.size());
    for (std::size_t i = 0; i < counts.size(); ++i) {
        const std::vector<double> now = Numbers(counts[i]);
        const std::vector<double> next =
            i + 1 < counts.size() ? Numbers(counts[i + 1]) : std::vector<double>(4, 0.0);
        trainingtest::ExpectVelocityLine(velocities[i], now, next, i);
    }
}

TEST_F(MotorRecording, FreshCommandsThenASecondCallContinuesFromThem) {
    const training::TrainingResult first = Record();
    EXPECT_EQ(first.end, runs::RunEnd::kCompleted);
    EXPECT_EQ(first.samples, 2800);
    EXPECT_TRUE(first.filesWritten);
    const std::vector<std::string> volts = Lines(kVoltageFile);
    ASSERT_EQ(volts.size(), 2800u);
    // Single-precision sums of 0.02 and 0.03, then a parabola and a restart.
    ExpectNear(Numbers(volts[0]), {0.02, 0.02, 0.03}, 1e-6);
    ExpectNear(Numbers(volts[50]), {1.02, 1.02, 1.53}, 2e-6);
    ExpectNear(Numbers(volts[950]), {-0.9604, -0.9604, -1.4406}, 1e-6);
    EXPECT_EQ(volts[951], "-1.000000\t\t-1.000000\t\t-2.250000");
    const std::vector<std::string> counts = Lines(kEncoderFile);
    ASSERT_EQ(counts.size(), 2800u);
    for (const std::string& line : counts) {
        ASSERT_EQ(Numbers(line).size(), 4u) << line;
    }
    ExpectVelocitiesFromCounts(Lines(kVelocityFile), counts);
    EXPECT_TRUE(std::filesystem::exists(runfiles::kMotorTimeLog.RelativePath()));
    EXPECT_EQ(std::filesystem::file_size(runfiles::kMotorTimeLog.RelativePath()), 0u);
    // The sample lines the loop kept: number and work time, in order.
    EXPECT_EQ(output_.find("0\n"), 0u);
    EXPECT_NE(output_.find("\n2799\n"), std::string::npos);
    const lab::Snapshot after = lab::TakeSnapshot();
    for (bool on : after.servoOn) {
        EXPECT_FALSE(on);
    }

    const std::vector<double> left = Numbers(volts.back());
    Record();
    const std::vector<double> second = Numbers(Lines(kVoltageFile)[0]);
    EXPECT_NEAR(second[0], left[0] + 0.02, 2e-6);
    EXPECT_NEAR(second[1], left[1] + 0.02, 2e-6);
    EXPECT_NEAR(second[2], left[2] + 0.03, 2e-6);
}

TEST_F(MotorRecording, EmergencyStopEndsTheLoopAndTheFilesHoldZerosAfterIt) {
    trainingtest::StopAfter::Reset(100);
    const training::TrainingResult result = Record(trainingtest::StopAfter::OnSample);
    EXPECT_EQ(result.end, runs::RunEnd::kEmergencyStop);
    EXPECT_EQ(result.samples, 101);
    const std::vector<std::string> volts = Lines(kVoltageFile);
    const std::vector<std::string> counts = Lines(kEncoderFile);
    const std::vector<std::string> velocities = Lines(kVelocityFile);
    ASSERT_EQ(volts.size(), 2800u);
    ASSERT_EQ(counts.size(), 2800u);
    EXPECT_NE(volts[100], "0.000000\t\t0.000000\t\t0.000000");
    for (std::size_t i = 101; i < 2800; ++i) {
        ASSERT_EQ(volts[i], "0.000000\t\t0.000000\t\t0.000000") << i;
        ASSERT_EQ(counts[i], "0\t0\t0\t0") << i;
        ASSERT_EQ(velocities[i], "0.000000\t\t0.000000\t\t0.000000") << i;
    }
    ExpectVelocitiesFromCounts(velocities, counts);
    const lab::Snapshot after = lab::TakeSnapshot();
    for (bool on : after.servoOn) {
        EXPECT_FALSE(on);
    }
}

}  // namespace
