// The whole chain on the virtual lab, scaled down to two short starts per network:
// record with the training procedures, train the three families, run the
// hybrid controller along the standard sine, and compare the run with one
// under the demo weights.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "runfiles/catalogue.h"
#include "runfiles/run_files.h"
#include "runs/runs.h"
#include "tests/training_session.h"
#include "tools/demo_data.h"
#include "trainer/trainer.h"
#include "training/training.h"
#include "tuning/tuning.h"

namespace {

struct RunFigures {
    int samples = 0;         // samples the run reached
    double pressureRms = 0;  // desired against measured, bar, all muscles
    double shoulderRms = 0;  // encoder counts against the desired counts
    double elbowRms = 0;
    double jointAngleRms = 0;  // degrees against trajectory column 1
    double fitness = 0;        // arbiter's, built-in parameter vector
};

template <typename Record>
std::vector<Record> ReadRecords(const char* path) {
    std::vector<Record> records;
    std::FILE* file = std::fopen(path, "r");
    if (file != nullptr) {
        runfiles::ReadAll(file, records);
        std::fclose(file);
    }
    return records;
}

// The figures of the run just made, over the samples it reached. The log
// line of sample j compares with desired count row j and with trajectory
// line j + 1, which gave sample j its desired pressure.
RunFigures Figures(int reached) {
    const auto log = ReadRecords<runfiles::PressureLogRecord>(runfiles::kRunLog.RelativePath());
    const auto trajectory =
        ReadRecords<runfiles::TrajectoryRecord>("NeuralFiles/SinTrajectoryALLWeights.txt");
    const auto desired = trainingtest::Lines("NeuralFiles/SinTrajectoryEncoderOutputDesired.txt");
    RunFigures f;
    f.samples = std::min<int>(reached, int(log.size()));
    for (int i = 0; i < f.samples; ++i) {
        const runfiles::PressureLogRecord& r = log[i];
        for (int m = 0; m < 4; ++m) {
            f.pressureRms += std::pow(r.desired[m] - r.measured[m], 2);
        }
        const std::vector<double> counts = trainingtest::Numbers(desired[r.sample]);
        f.shoulderRms += std::pow(r.counts[1] - counts[1], 2);
        f.elbowRms += std::pow(r.counts[2] - counts[2], 2);
        f.jointAngleRms +=
            std::pow((r.counts[3] - r.counts[4]) / 8.0 - trajectory[r.sample + 1].field[0], 2);
    }
    const double n = std::max(f.samples, 1);
    f.pressureRms = std::sqrt(f.pressureRms / (4 * n));
    f.shoulderRms = std::sqrt(f.shoulderRms / n);
    f.elbowRms = std::sqrt(f.elbowRms / n);
    f.jointAngleRms = std::sqrt(f.jointAngleRms / n);
    testing::internal::CaptureStdout();
    auto logs = tuning::PrepareLogs(kConsoleWeightDirectory, {runfiles::kRunLog.RelativePath()});
    testing::internal::GetCapturedStdout();
    f.fitness =
        logs ? tuning::InProcessFitness(std::move(*logs)).Of(fuzzy::kHybridRunVector) : INFINITY;
    return f;
}

// Runs the hybrid controller; figures over the samples it reached and over
// the first `compared` of them.
std::pair<RunFigures, RunFigures> HybridRun(int compared) {
    testing::internal::CaptureStdout();
    GoHome();
    HomeMuscles();
    const runs::RunResult result = RunHybridControl(nullptr);
    testing::internal::GetCapturedStdout();
    return {Figures(result.timing.samples), Figures(std::min(compared, result.timing.samples))};
}

void Print(const char* set, const RunFigures& f) {
    std::printf(
        "%-8s samples %4d  pressure RMS %.4f bar  shoulder %.1f  elbow %.1f counts  "
        "joint %.3f deg  fitness %.6f\n",
        set, f.samples, f.pressureRms, f.shoulderRms, f.elbowRms, f.jointAngleRms, f.fitness);
}

void ExpectWritten(const trainer::FamilyReport& report) {
    EXPECT_TRUE(report.written) << report.family;
    for (const std::string& note : report.notes) {
        ADD_FAILURE() << report.family << ": " << note;
    }
}

TEST(TrainerChain, TrainedNetworksTrackBetterThanTheDemoNetworks) {
    platform::VirtualClockScope clock;
    trainingtest::PrepareTrainingLab();
    std::filesystem::create_directories(demo::kWeightDirectory);
    std::filesystem::create_directories(demo::kArbiterDirectory);
    ASSERT_TRUE(demo::WriteDemoData(".", 1, 200));
    // The demo link networks drive the arm into a limit switch early on.
    const RunFigures demoRun = HybridRun(0).first;

    ResetLabWithCardsOpen();
    trainer::TrainingOptions options;
    options.restarts = 2;
    options.maxIterations = 60;
    testing::internal::CaptureStdout();
    const training::TrainingResult motors = RecordMotorTrainingData();
    const training::TrainingResult valves = RecordPressureTrainingData();
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(motors.end, runs::RunEnd::kCompleted);
    ASSERT_EQ(valves.end, runs::RunEnd::kCompleted);
    ExpectWritten(trainer::TrainValveNetworks(trainer::ValveRecordings(), options));
    ExpectWritten(trainer::TrainLinkNetworks(trainer::MotorRecordings{}, options));
    // The combined run drives through the networks just trained.
    testing::internal::CaptureStdout();
    const training::TrainingResult combined = RecordCombinedTrainingData();
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(combined.end, runs::RunEnd::kCompleted);
    ExpectWritten(trainer::TrainPressureNetworks(trainer::PressureRecordings{}, options));
    const auto [trainedRun, trainedStart] = HybridRun(demoRun.samples);

    Print("demo", demoRun);
    Print("trained", trainedRun);
    Print("trained", trainedStart);
    EXPECT_GE(trainedRun.samples, demoRun.samples);
    // Tracking errors grow along an open-loop run: compare over the samples
    // both runs reached.
    EXPECT_LT(trainedStart.shoulderRms, demoRun.shoulderRms);
    EXPECT_LT(trainedStart.elbowRms, demoRun.elbowRms);
    EXPECT_LT(trainedRun.pressureRms, demoRun.pressureRms);
    EXPECT_LT(trainedRun.jointAngleRms, demoRun.jointAngleRms);
    EXPECT_LT(trainedRun.fitness, demoRun.fitness);
}

}  // namespace
