// The calibration, the velocity test and the two muscle procedures on the
// virtual lab: line counts, what each column holds, early ends and refusals.
#include "training/training.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "runfiles/catalogue.h"
#include "tests/allocation_counter.h"
#include "tests/training_session.h"

namespace {

namespace fs = std::filesystem;
using runs::RunEnd;
using training::TrainingResult;
using trainingtest::Lines;
using trainingtest::Numbers;
using trainingtest::Printed;

const std::string kNotOpened = "Dosya Ac\375lmad\375";

class TrainingProcedures : public testing::Test {
  protected:
    void SetUp() override { trainingtest::PrepareTrainingLab(); }
    void TearDown() override {
        lab::EnableJournal(false);
        lab::Reset();
    }

    template <typename Procedure>
    TrainingResult Run(Procedure procedure, runs::Redraw redraw = nullptr) {
        testing::internal::CaptureStdout();
        const TrainingResult result = procedure(redraw);
        output_ = testing::internal::GetCapturedStdout();
        return result;
    }

    static void ExpectServosOff() {
        const lab::Snapshot now = lab::TakeSnapshot();
        for (int axis = 0; axis < 3; ++axis) {
            EXPECT_FALSE(now.servoOn[axis]) << axis;
        }
    }

    // The pressures of muscles 1 to 4 of every pressure read, as the card
    // layer converts the voltages the journal shows.
    static std::vector<std::vector<float>> PressureReads() {
        std::vector<std::vector<float>> reads;
        for (const lab::Call& call : lab::Journal()) {
            if (std::string(call.function) != "DRV_MAIVoltageIn") {
                continue;
            }
            std::vector<float> bar;
            for (int k = 0; k < 4; ++k) {
                bar.push_back(static_cast<float>((call.outputs[k] - 1.0) / 0.2038 + 1.0));
            }
            reads.push_back(bar);
        }
        return reads;
    }

    platform::VirtualClockScope clock_;
    std::string output_;
};

TEST_F(TrainingProcedures, CalibrationOfAStillArmEndsAfterOneSecondWithServosOff) {
    lab::ZeroResidualOffsets(true);  // nothing creeps at a zero command
    const TrainingResult result = Run(CalibrateOffsets);
    EXPECT_EQ(result.end, RunEnd::kCompleted);
    EXPECT_EQ(result.samples, 1);
    EXPECT_EQ(output_,
              "CALIBRATION BEGIN *************************\n"
              "0\t\t0\t\t0\n"
              "0.000000\t0.000000\t0.000000\n"
              "CALIBRATION END *************************\n");
    ExpectServosOff();
}

// The generator's 1331 lines, with velocities small enough that the demo
// networks keep the arm inside its switches whatever the plant's gains.
void WriteVelocityFile(int lines, float velocity) {
    std::ofstream file(runfiles::kVelocityTrajectory.RelativePath());
    for (int i = 0; i < lines; ++i) {
        const float v = (i / 100) % 2 == 0 ? velocity : -velocity;
        file << Printed("%f", v) << "\t\t" << Printed("%f", v) << "\t\t" << Printed("%f", v)
             << "\n";
    }
}

TEST_F(TrainingProcedures, VelocityTestWritesOneLineFewerThanTheVelocityFile) {
    WriteVelocityFile(1331, 0.01f);
    const TrainingResult result = Run(TestVelocityTracking);
    EXPECT_EQ(result.end, RunEnd::kCompleted);
    EXPECT_EQ(result.samples, 1331);
    EXPECT_TRUE(result.filesWritten);
    const std::vector<std::string> velocities = Lines(runfiles::kTrackedVelocities.RelativePath());
    const std::vector<std::string> counts = Lines(runfiles::kTrackedEncoders.RelativePath());
    ASSERT_EQ(velocities.size(), 1330u);
    ASSERT_EQ(counts.size(), 1330u);
    // One tab after the first velocity, two after the second; counts by two.
    const std::string& line = velocities[600];
    const std::size_t first = line.find('\t');
    EXPECT_NE(line[first + 1], '\t');
    EXPECT_EQ(line.substr(line.find('\t', first + 1), 2), "\t\t");
    EXPECT_NE(counts[600].find("\t\t"), std::string::npos);
    for (std::size_t q = 0; q + 1 < counts.size(); ++q) {
        const std::vector<double> now = Numbers(counts[q]), next = Numbers(counts[q + 1]);
        trainingtest::ExpectVelocityLine(velocities[q], now, next, q);
    }
    ExpectServosOff();
}

TEST_F(TrainingProcedures, VelocityTestWithoutItsInputsDrivesNothingAndKeepsTheLastTest) {
    const char* outputs[] = {runfiles::kTrackedVelocities.RelativePath(),
                             runfiles::kTrackedEncoders.RelativePath()};
    for (const char* output : outputs) {
        trainingtest::WriteText(output, "kept\n");
    }
    lab::EnableJournal(true);
    fs::remove(runfiles::kVelocityTrajectory.RelativePath());
    TrainingResult result = Run(TestVelocityTracking);
    EXPECT_EQ(result.end, RunEnd::kRefusedAtStart);
    EXPECT_EQ(output_, kNotOpened + " SinVelocityTrajectoryDesired\n");
    EXPECT_FALSE(trainingtest::AnythingDriven());
    for (const char* output : outputs) {
        EXPECT_EQ(Lines(output), std::vector<std::string>{"kept"}) << output;
    }

    trainingtest::PrepareTrainingLab();
    lab::EnableJournal(true);
    fs::remove(runfiles::kDoubleLinkWeights.RelativePath());
    result = Run(TestVelocityTracking);
    EXPECT_EQ(result.end, RunEnd::kRefusedAtStart);
    EXPECT_NE(output_.find("Velocity test not started"), std::string::npos);
    EXPECT_FALSE(trainingtest::AnythingDriven());
    for (const char* output : outputs) {
        EXPECT_EQ(Lines(output), std::vector<std::string>{"kept"}) << output;
    }
    ExpectServosOff();
}

TEST_F(TrainingProcedures, PressureFilesPairEachVoltageWithThePressureOfTheNextSample) {
    lab::EnableJournal(true);
    const TrainingResult result = Run(RecordPressureTrainingData);
    EXPECT_EQ(result.end, RunEnd::kCompleted);
    EXPECT_EQ(result.samples, 4 * 1300);
    EXPECT_TRUE(result.filesWritten);
    const std::vector<std::vector<float>> reads = PressureReads();
    ASSERT_EQ(reads.size(), 4u * 1300u);
    const double reference[4] = {5.0, 5.6, 5.6, 5.0};
    for (int r = 0; r < 4; ++r) {
        SCOPED_TRACE(r);
        const std::vector<std::string> lines = Lines(runfiles::kValveRecording.RelativePath(r + 1));
        ASSERT_EQ(lines.size(), 1299u);
        EXPECT_NEAR(Numbers(lines[0])[0], reference[r] + 0.02, 1e-6);
        EXPECT_NEAR(Numbers(lines[100])[0], reference[r] + 2.02, 1e-4);
        for (int q = 0; q < 1299; ++q) {
            const float before = reads[r * 1300 + q][r], after = reads[r * 1300 + q + 1][r];
            const std::string expected =
                Printed("%f", after) + "  " + Printed("%f", (double(after) - before) / 20);
            ASSERT_EQ(lines[q].substr(lines[q].find("  ") + 2), expected) << q;
        }
    }
    EXPECT_EQ(output_.find("Muscle NO :0\n"), 0u);
    EXPECT_NE(output_.find("Muscle NO :3\n"), std::string::npos);
    EXPECT_EQ(output_.substr(output_.size() - 6), "Bitti\n");
    // The motors are not touched; the fourth muscle keeps its last command.
    for (const lab::Call& call : lab::Journal()) {
        ASSERT_NE(std::string(call.function), "EP_SetDACOutput");
    }
    const lab::Snapshot after = lab::TakeSnapshot();
    EXPECT_FLOAT_EQ(after.valveOutput[0], 5.0f);
    EXPECT_FLOAT_EQ(after.valveOutput[1], 5.6f);
    EXPECT_FLOAT_EQ(after.valveOutput[2], 5.6f);
    EXPECT_NEAR(after.valveOutput[3], 5.0 + 2.0 - 199 * 0.02, 1e-3);
}

TEST_F(TrainingProcedures, AFileThatCannotBeWrittenIsSkippedAndReported) {
    fs::create_directory(runfiles::kValveRecording.RelativePath(2));
    fs::create_symlink("/dev/full", runfiles::kValveRecording.RelativePath(3));
    const TrainingResult result = Run(RecordPressureTrainingData);
    EXPECT_EQ(result.end, RunEnd::kCompleted);
    EXPECT_FALSE(result.filesWritten);
    EXPECT_EQ(output_.find(kNotOpened + "\nMuscle NO :0\n"), 0u);
    EXPECT_EQ(Lines(runfiles::kValveRecording.RelativePath(1)).size(), 1299u);
    EXPECT_EQ(Lines(runfiles::kValveRecording.RelativePath(4)).size(), 1299u);
}

TEST_F(TrainingProcedures, PressureRecordingStoppedInTheFirstMuscleKeepsZerosAfterTheStop) {
    trainingtest::StopAfter::Reset(100);
    const TrainingResult result =
        Run(RecordPressureTrainingData, trainingtest::StopAfter::OnSample);
    EXPECT_EQ(result.end, RunEnd::kEmergencyStop);
    EXPECT_EQ(result.samples, 101);
    const std::string zeros = "0.000000  0.000000  0.000000";
    const std::vector<std::string> first = Lines(runfiles::kValveRecording.RelativePath(1));
    ASSERT_EQ(first.size(), 1299u);
    EXPECT_NE(first[99], zeros);
    EXPECT_EQ(Numbers(first[100])[1], 0.0);  // the pressure after the last sample
    for (std::size_t q = 101; q < first.size(); ++q) {
        ASSERT_EQ(first[q], zeros) << q;
    }
    for (int r = 2; r <= 4; ++r) {
        const std::vector<std::string> lines = Lines(runfiles::kValveRecording.RelativePath(r));
        ASSERT_EQ(lines.size(), 1299u);
        for (const std::string& line : lines) {
            ASSERT_EQ(line, zeros);
        }
    }
}

TEST_F(TrainingProcedures, CombinedRunWritesThreeLinesFewerThanTheVelocityFile) {
    WriteVelocityFile(1331, 0.01f);
    const TrainingResult result = Run(RecordCombinedTrainingData);
    EXPECT_EQ(result.end, RunEnd::kCompleted);
    EXPECT_EQ(result.samples, 1329);
    EXPECT_TRUE(result.filesWritten);
    const std::vector<std::string> pressures = Lines(runfiles::kCombinedPressures.RelativePath());
    const std::vector<std::string> desired =
        Lines(runfiles::kCombinedDesiredPressures.RelativePath());
    const std::vector<std::string> counts = Lines(runfiles::kCombinedEncoders.RelativePath());
    ASSERT_EQ(pressures.size(), 1328u);
    ASSERT_EQ(desired.size(), 1328u);
    ASSERT_EQ(counts.size(), 1328u);
    EXPECT_EQ(Numbers(counts[700]).size(), 5u);
    ExpectServosOff();
    const lab::Snapshot after = lab::TakeSnapshot();
    for (float volts : after.valveOutput) {
        EXPECT_EQ(volts, 0.0f);
    }
}

TEST_F(TrainingProcedures, CombinedRunOfALongVelocityFileRunsWholeAndStopsCleanly) {
    WriteVelocityFile(3500, 0.0f);
    trainingtest::StopAfter::Reset(3200);
    const TrainingResult result =
        Run(RecordCombinedTrainingData, trainingtest::StopAfter::OnSample);
    EXPECT_EQ(result.end, RunEnd::kEmergencyStop);
    EXPECT_EQ(result.samples, 3201);
    const std::vector<std::string> pressures = Lines(runfiles::kCombinedPressures.RelativePath());
    const std::vector<std::string> desired =
        Lines(runfiles::kCombinedDesiredPressures.RelativePath());
    const std::vector<std::string> counts = Lines(runfiles::kCombinedEncoders.RelativePath());
    ASSERT_EQ(pressures.size(), 3497u);
    ASSERT_EQ(counts.size(), 3497u);
    ASSERT_EQ(desired.size(), 3497u);
    EXPECT_NE(pressures[3200], "0.000000\t\t0.000000\t\t0.000000\t\t0.000000");
    for (std::size_t j = 3201; j < pressures.size(); ++j) {
        ASSERT_EQ(pressures[j], "0.000000\t\t0.000000\t\t0.000000\t\t0.000000") << j;
        ASSERT_EQ(counts[j], "0\t\t0\t\t0\t\t0\t\t0") << j;
        ASSERT_NE(Numbers(desired[j])[0], 0.0) << j;  // computed before the loop
    }
    ExpectServosOff();
    const lab::Snapshot after = lab::TakeSnapshot();
    for (float volts : after.valveOutput) {
        EXPECT_EQ(volts, 0.0f);
    }
}

TEST_F(TrainingProcedures, CombinedRunWithoutItsInputsDrivesNothingAndKeepsTheLastRecording) {
    trainingtest::WriteText(runfiles::kCombinedEncoders.RelativePath(), "kept\n");
    lab::EnableJournal(true);
    fs::remove(runfiles::kValveWeights.RelativePath(3));
    TrainingResult result = Run(RecordCombinedTrainingData);
    EXPECT_EQ(result.end, RunEnd::kRefusedAtStart);
    EXPECT_NE(output_.find("Combined training not started"), std::string::npos);
    EXPECT_FALSE(trainingtest::AnythingDriven());
    EXPECT_EQ(Lines(runfiles::kCombinedEncoders.RelativePath()), std::vector<std::string>{"kept"});

    trainingtest::PrepareTrainingLab();
    lab::EnableJournal(true);
    fs::remove(runfiles::kVelocityTrajectory.RelativePath());
    result = Run(RecordCombinedTrainingData);
    EXPECT_EQ(result.end, RunEnd::kRefusedAtStart);
    EXPECT_EQ(output_, kNotOpened + " SinVelocityTrajectoryDesired\n");
    EXPECT_FALSE(trainingtest::AnythingDriven());
    EXPECT_EQ(Lines(runfiles::kCombinedEncoders.RelativePath()), std::vector<std::string>{"kept"});
    ExpectServosOff();
}

// Called after every sample's work: the allocations between the first and
// the last call are the loop's own.
struct AllocationsInLoop {
    static inline long first = -1, last = -1;
    static void OnSample() {
        last = labtest::AllocationCount();
        if (first < 0) {
            first = last;
        }
    }
};

TEST_F(TrainingProcedures, SampleLoopsAllocateNothing) {
    WriteVelocityFile(300, 0.01f);
    const struct {
        const char* name;
        TrainingResult (*procedure)(runs::Redraw);
    } procedures[] = {{"velocity test", TestVelocityTracking},
                      {"pressure recording", RecordPressureTrainingData},
                      {"combined recording", RecordCombinedTrainingData},
                      {"motor recording", RecordMotorTrainingData}};
    for (const auto& p : procedures) {
        AllocationsInLoop::first = AllocationsInLoop::last = -1;
        const TrainingResult result = Run(p.procedure, AllocationsInLoop::OnSample);
        EXPECT_EQ(result.end, RunEnd::kCompleted) << p.name;
        EXPECT_GE(AllocationsInLoop::first, 0) << p.name;
        EXPECT_EQ(AllocationsInLoop::last, AllocationsInLoop::first) << p.name;
    }
}

}  // namespace
