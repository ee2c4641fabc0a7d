#include "evaluator/evaluator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "model/replay.h"
#include "platform/clock.h"
#include "platform/fixed_messages.h"
#include "runfiles/catalogue.h"
#include "tests/allocation_counter.h"
#include "tests/lab_files.h"
#include "tools/demo_data.h"

namespace {

using runfiles::PressureLogRecord;
using runfiles::TrajectoryRecord;

constexpr const char* kZeroCounts = "0.000000  0.000000  0.000000  0.000000  0.000000\t";

// Writes the log, runs PrepareSimulationInput in the case directory and
// returns the replay input it wrote.
std::string Prepare(const labtest::CaseDirectory& dir, const std::vector<PressureLogRecord>& log) {
    labtest::WriteLog(dir.arbiter / runfiles::kRunLog.Name(), log);
    labtest::WorkingDirectory here(dir.arbiter);
    EXPECT_TRUE(evaluator::PrepareSimulationInput());
    return labtest::ReadText(runfiles::kReplayInput.Name());
}

std::vector<TrajectoryRecord> ParseTrajectory(const std::string& text) {
    std::vector<TrajectoryRecord> records;
    std::FILE* file = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    runfiles::ReadAll(file, records);
    std::fclose(file);
    return records;
}

TEST(PrepareSimulationInput, RecordCountAndAngles) {
    const auto dir = labtest::MakeCaseDirectory();
    using labtest::LogRecord;
    // count3 - count4 = 8 is one degree of the muscle joint.
    const std::string one =
        Prepare(dir, {LogRecord({}), LogRecord({0, 0, 0, 8, 0}), LogRecord({}), LogRecord({})});
    ASSERT_EQ(labtest::LineCount(dir.arbiter / runfiles::kReplayInput.Name()), 1);
    const auto records = ParseTrajectory(one);
    EXPECT_EQ(records[0].field[0], 1.0f);
    EXPECT_EQ(records[0].field[1], 1.0f);
    // Central difference of theta1 at record 1: -2 * (pi / 180) / 0.02^2.
    EXPECT_NEAR(records[0].field[7], -2 * 3.141592653589 / 180 / 0.0004, 1e-3);

    EXPECT_EQ(Prepare(dir, {LogRecord({}), LogRecord({0, 0, 0, 8, 0}), LogRecord({})}), "");
}

TEST(PrepareSimulationInput, ConstantCountsGiveAJointAtRest) {
    const auto dir = labtest::MakeCaseDirectory();
    std::vector<PressureLogRecord> log(6, labtest::LogRecord({}));
    const std::string zeros = Prepare(dir, log);
    const std::string rest = std::string(kZeroCounts) +
                             "0.000000\t0.000000\t0.000000\t0.000000\t0.000000\t0.000000\t"
                             "0.000000\t0.999999\t0.000000\n";
    EXPECT_EQ(zeros, rest + rest + rest);

    // count0 (the carriage) takes no part.
    for (int j = 0; j < 6; ++j) {
        log[j].counts[0] = 1000 * j;
    }
    EXPECT_EQ(Prepare(dir, log), zeros);

    const std::vector<PressureLogRecord> tilted(5, labtest::LogRecord({5, 300, -200, 24, 8}));
    const auto records = ParseTrajectory(Prepare(dir, tilted));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].field[0], 2.0f);
    EXPECT_EQ(records[1].field[1], 4.0f);
    for (int f : {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13}) {
        EXPECT_EQ(records[1].field[f], 0.0f) << f;
    }
}

// Shoulder counts growing quadratically, elbow counts linearly, and axes 3
// and 4 bending the muscle joint: every rate, acceleration and dynamic term
// of record 1 against the joint-angle formulas.
TEST(PrepareSimulationInput, RatesAndAccelerationsOfAMovingArm) {
    const auto dir = labtest::MakeCaseDirectory();
    std::vector<PressureLogRecord> log;
    for (int j = 0; j < 4; ++j) {
        log.push_back(labtest::LogRecord({0, 768 * j * j, 3072 * j, 240, 8 * j * j}));
    }
    const auto records = ParseTrajectory(Prepare(dir, log));
    ASSERT_EQ(records.size(), 1u);

    const double pi = 3.141592653589, degree = pi / 180;
    auto theta1 = [&](int j) { return (30.0 - j * j) * degree; };
    auto theta2 = [&](int j) { return 768.0 * j * j / 153600 * 2 * pi + 0.261; };
    auto theta3 = [&](int j) { return 3072.0 * j / 153600 * 2 * pi + 1.3083; };
    const double t1 = theta1(1), t2 = theta2(1), t3 = theta3(1);
    const double rate2 = (theta2(2) - t2) / 0.02, rate3 = (theta3(2) - t3) / 0.02;
    const double accel2 = (theta2(2) - 2 * t2 + theta2(0)) / 0.0004;
    const double accel1 = (theta1(2) - 2 * t1 + theta1(0)) / 0.0004;
    const double expected[14] = {29,
                                 31,
                                 accel2,
                                 std::cos(t1) * accel2,
                                 std::cos(t3 + t1) * accel2,
                                 0,
                                 0,
                                 accel1,
                                 std::sin(t1) * rate2 * rate2,
                                 std::sin(t3 + t1) * rate2 * rate2,
                                 std::sin(t1) * rate2 * rate3,
                                 std::sin(t1) * rate3 * rate3,
                                 std::sin(t2 + t3 + t1),
                                 -accel1};
    for (int f = 0; f < 14; ++f) {
        EXPECT_NEAR(records[0].field[f], expected[f], 1e-3 + 1e-5 * std::fabs(expected[f]))
            << "field " << f + 1;
    }
}

TEST(PrepareSimulationInput, ReportsAMissingLog) {
    const auto dir = labtest::MakeCaseDirectory();
    labtest::WorkingDirectory here(dir.arbiter);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(evaluator::PrepareSimulationInput());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), messages::kRunLogNotOpened);
    EXPECT_EQ(labtest::ReadText(runfiles::kReplayInput.Name()), "");
}

TEST(Replay, BinPhaseAndDirectionFlags) {
    EXPECT_EQ(replay::BinPhase(-1.0f), 3.0f);
    EXPECT_EQ(replay::BinPhase(-5.0f), 3.0f);
    EXPECT_EQ(replay::BinPhase(2.0f), 2.0f);
    EXPECT_EQ(replay::BinPhase(7.5f), 3.5f);
    EXPECT_EQ(replay::BinPhase(8.0f), 0.0f);

    auto flagsOf = [](std::vector<float> angles) {
        std::vector<TrajectoryRecord> trajectory(angles.size());
        for (std::size_t i = 0; i < angles.size(); ++i) {
            trajectory[i].field[0] = angles[i];
        }
        std::vector<float> flags;
        replay::ComputeDirectionFlags(trajectory, flags);
        return flags;
    };
    EXPECT_EQ(flagsOf({3, 3, 3, 3}), (std::vector<float>{0, 0, 0, 0}));
    EXPECT_EQ(flagsOf({1, 2, 2, 2, 1, 1}), (std::vector<float>{1, 1, 1, 1, 0, 0}));
}

replay::MuscleModels LoadModels(const labtest::CaseDirectory& dir) {
    replay::MuscleModels models;
    EXPECT_TRUE(replay::LoadModels(dir.weights.string() + "/", models));
    return models;
}

TEST(Replay, NeighbourBinOnTheNearerSideWithItsOwnFlag) {
    const auto dir = labtest::MakeCaseDirectory();
    labtest::WriteWeightSet(dir.weights, labtest::IdentifyingNetwork);
    auto models = LoadModels(dir);

    // Angles 3, 1, 2, 2.125, -5, -4: falling, then rising, then falling.
    std::vector<TrajectoryRecord> trajectory(6);
    const float angles[] = {3, 1, 2, 2.125f, -5, -4};
    for (int i = 0; i < 6; ++i) {
        trajectory[i].field[0] = angles[i];
    }
    std::vector<float> flags;
    replay::ComputeDirectionFlags(trajectory, flags);
    ASSERT_EQ(flags, (std::vector<float>{0, 0, 1, 1, 0, 1}));

    // All proposals 0.25 with unit hedges: W = 0.25 wherever a rule fires.
    const float k[10] = {0.25f, 1, 0.25f, 1, 0.25f, 1, 0.25f, 1, 0.25f, 1};
    const std::vector<PressureLogRecord> measured(6);
    std::FILE* log = std::tmpfile();
    const long before = labtest::AllocationCount();
    replay::ReplayErrorSum(models, trajectory, flags, k, measured, log);
    EXPECT_EQ(labtest::AllocationCount(), before) << "the replay allocates nothing";
    std::rewind(log);

    struct Expected {
        float own1, neighbour1, own2, neighbour2;
    };
    // Muscle 1 uses set b (100) while rising, muscle 2 while falling.
    const Expected expected[] = {
        {18, 17, 118, 117},  // d = 1, phase 1: the bin below, with flag S[0] = 0
        {118, 17, 18, 117},  // d = 2, phase exactly 2: still the bin below, S[1] = 0
        {118, 19, 18, 119},  // d = 3, phase 2.125: the bin above, S[4] = 0
        {16, 117, 116, 17},  // d = 4, angle -5 (bin 16), phase 3: the bin above, S[5] = 1
    };
    for (int d = 1; d <= 4; ++d) {
        float own[4], blended[4];
        ASSERT_EQ(std::fscanf(log, runfiles::FuzzyPressureLogRecord::kFormat, &own[0], &own[1],
                              &own[2], &own[3], &blended[0], &blended[1], &blended[2], &blended[3]),
                  8);
        const Expected& e = expected[d - 1];
        EXPECT_EQ(own[0], e.own1) << d;
        EXPECT_EQ(own[1], e.own2) << d;
        EXPECT_NEAR(blended[0], 0.25f * e.own1 + 0.75f * e.neighbour1, 1e-4) << d;
        EXPECT_NEAR(blended[1], 0.25f * e.own2 + 0.75f * e.neighbour2, 1e-4) << d;
    }
    std::fclose(log);
}

struct Outcome {
    int status;
    std::string console;
    std::string fitness;
};

Outcome Evaluate(const labtest::CaseDirectory& dir) {
    platform::VirtualClockScope virtualTime;
    labtest::WorkingDirectory here(dir.arbiter);
    testing::internal::CaptureStdout();
    const int status = evaluator::RunEvaluation();
    return {status, testing::internal::GetCapturedStdout(),
            labtest::ReadText(runfiles::kFitness.Name())};
}

// The n = 3 case: zero networks predict 0 everywhere; log record 1 misses by 0.5 on every muscle.
labtest::CaseDirectory ThreeSampleCase() {
    const auto dir = labtest::MakeCaseDirectory();
    labtest::WriteWeightSet(dir.weights, [](int, int, int) { return labtest::Network{}; });
    std::vector<PressureLogRecord> log(6, labtest::LogRecord({}));
    log[1] = labtest::LogRecord({}, 0.5f);
    labtest::WriteLog(dir.arbiter / runfiles::kRunLog.Name(), log);
    labtest::WriteText(dir.arbiter / runfiles::kCandidate.Name(),
                       "0.1 1 0.2 1 0.3 1 0.4 1 0.5 1\n");
    return dir;
}

TEST(Evaluation, ThreeSamplesEachMissingByHalf) {
    const auto dir = ThreeSampleCase();
    const Outcome outcome = Evaluate(dir);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.fitness, "0.500000\n");
    EXPECT_EQ(outcome.console, "0.500000\n");
    EXPECT_EQ(labtest::LineCount(dir.arbiter / runfiles::kFuzzyPressureLog.Name()), 1);
}

TEST(Evaluation, ErrorSumIsStoredAsFloatAfterEveryMuscleInOrder) {
    // Misses of 4096, 1, 1, 1: the first square is 2^24, where a 32-bit sum
    // cannot hold +1, so E stays 2^24 and F = sqrt(2^24 / 4) = 2048 exactly.
    // A double sum or another order would leave 2048.000183 or more.
    const auto dir = ThreeSampleCase();
    std::vector<PressureLogRecord> log(6, labtest::LogRecord({}));
    const float misses[4] = {4096, 1, 1, 1};
    std::copy(misses, misses + 4, log[1].measured);
    labtest::WriteLog(dir.arbiter / runfiles::kRunLog.Name(), log);
    EXPECT_EQ(Evaluate(dir).fitness, "2048.000000\n");
}

TEST(Evaluation, ExtraCandidateValuesAreIgnoredWithAWarning) {
    const auto dir = ThreeSampleCase();
    labtest::WriteText(dir.arbiter / runfiles::kCandidate.Name(),
                       "0.1 1 0.2 1 0.3 1 0.4 1 0.5 1 7 8\n");
    const Outcome outcome = Evaluate(dir);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.console, std::string(runfiles::kCandidate.Name()) +
                                   ": 2 values beyond the ten parameters ignored\n0.500000\n");
}

TEST(Evaluation, MissingCandidateValuesCountAsZeroWithAWarning) {
    const auto dir = ThreeSampleCase();
    labtest::WriteText(dir.arbiter / runfiles::kCandidate.Name(), "0.1 1 0.2 1 0.3 1 0.4\n");
    const Outcome outcome = Evaluate(dir);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.console,
              std::string(runfiles::kCandidate.Name()) +
                  ": 7 values for the ten parameters; the missing ones count as 0\n"
                  "0.500000\n");
    labtest::WriteText(dir.arbiter / runfiles::kCandidate.Name(), "");
    EXPECT_EQ(Evaluate(dir).console.substr(0, 23),
              std::string(runfiles::kCandidate.Name()) + ": 0 values fo");
}

// A failed evaluation prints `message` and why, leaves inf in the fitness file and exits
// non-zero.
Outcome ExpectFailure(const labtest::CaseDirectory& dir, const std::string& message) {
    const Outcome outcome = Evaluate(dir);
    EXPECT_NE(outcome.status, 0);
    EXPECT_EQ(outcome.fitness, "inf\n");
    EXPECT_NE(outcome.console.find(message), std::string::npos) << outcome.console;
    EXPECT_NE(outcome.console.find("No fitness computed: "), std::string::npos);
    return outcome;
}

TEST(Evaluation, FailuresNeverLookLikeAFitness) {
    auto dir = ThreeSampleCase();
    std::filesystem::remove(dir.weights / runfiles::PonnetWeightFileName(4, -4, 0));
    EXPECT_EQ(ExpectFailure(dir, "aaa dosyasi olusturulamadi\n").console,
              "aaa dosyasi olusturulamadi\n"
              "No fitness computed: the PONNET weights could not all be read\n"
              "No fitness computed: looked in " +
                  dir.arbiter.string() + ", weights in " + dir.weights.string() +
                  "/\n"
                  "inf\n");

    dir = ThreeSampleCase();
    std::filesystem::remove(dir.arbiter / runfiles::kCandidate.Name());
    ExpectFailure(dir, "KFFile Dosya Ac\375lmad\375\n");

    dir = ThreeSampleCase();
    labtest::WriteText(dir.arbiter / runfiles::kCandidate.Name(), "0.1 0.2 zero\n");
    ExpectFailure(dir, std::string(runfiles::kCandidate.Name()) + " could not be read");

    dir = ThreeSampleCase();
    std::filesystem::remove(dir.arbiter / runfiles::kRunLog.Name());
    ExpectFailure(dir, messages::kRunLogNotOpened);

    dir = ThreeSampleCase();
    labtest::WriteLog(dir.arbiter / runfiles::kRunLog.Name(),
                      std::vector<PressureLogRecord>(5, labtest::LogRecord({})));
    ExpectFailure(dir, "fewer than three trajectory records");
}

TEST(Evaluation, LogsBeyondTheFixedCapacitiesAreReplayedWhole) {
    const auto dir = labtest::MakeCaseDirectory();
    ASSERT_TRUE(demo::WriteDemoData(dir.root.string(), 3, 3500));
    const Outcome outcome = Evaluate(dir);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(labtest::LineCount(dir.arbiter / runfiles::kReplayInput.Name()), 3497);
    EXPECT_EQ(labtest::LineCount(dir.arbiter / runfiles::kFuzzyPressureLog.Name()), 3495);
    EXPECT_EQ(outcome.console, outcome.fitness);
    const double fitness = std::atof(outcome.fitness.c_str());
    EXPECT_GT(fitness, 0.0);
    EXPECT_LT(fitness, 1.0);
}

}  // namespace
