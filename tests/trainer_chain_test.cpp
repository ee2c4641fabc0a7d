// The whole chain on the virtual lab, scaled down to two short starts per network:
// record with the training procedures, train the three families, run the
// hybrid controller along the standard sine, and compare the run with one
// under the demo weights.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "figures/figures.h"
#include "runfiles/catalogue.h"
#include "runfiles/strict_reader.h"
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
    double jointAngleRms = 0;  // degrees against the desired joint angle
    double fitness = 0;        // arbiter's, built-in parameter vector
};

// The figures of the run just made, over the first `samples` it ran, by the
// run figures every tool reports.
RunFigures Figures(int samples) {
    RunFigures f;
    if (samples <= 0) {
        return f;
    }
    std::string problem;
    const auto log = runfiles::ReadLogRecords(runfiles::kRunLog.RelativePath(), problem);
    const auto trajectory =
        runfiles::ReadTrajectoryRecords(runfiles::kDynamicTerms.RelativePath(), problem);
    const auto desired =
        runfiles::ReadRows(runfiles::kEncoderTrajectory.RelativePath(), 3, 3, problem);
    const auto run =
        log && trajectory && desired
            ? figures::FiguresOf(*log, *trajectory, problem, {&*desired, std::size_t(samples)})
            : std::nullopt;
    EXPECT_TRUE(run) << problem;
    if (run) {
        f.samples = run->samples;
        f.pressureRms = run->pressureRms;
        f.shoulderRms = run->axisRmsCounts[1];
        f.elbowRms = run->axisRmsCounts[2];
        f.jointAngleRms = run->jointRmsDegrees;
    }
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
    // Nothing to note but how the family was put in place.
    for (const std::string& note : report.notes) {
        if (note.rfind("replaced together in NeuralFiles: ", 0) != 0) {
            ADD_FAILURE() << report.family << ": " << note;
        }
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
