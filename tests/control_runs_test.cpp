// The two control runs on the virtual lab: samples, logs, stops, clamping,
// refusals and the order of the card calls, with small hand-made networks
// whose outputs are known.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cards/daq_card.h"
#include "cards/motion_card.h"
#include "lab/lab.h"
#include "networks/weight_file.h"
#include "platform/clock.h"
#include "platform/stdio_file.h"
#include "runfiles/catalogue.h"
#include "runfiles/run_files.h"
#include "runs/runs.h"
#include "tests/allocation_counter.h"
#include "tests/lab_files.h"
#include "tests/lab_session.h"

namespace {

namespace fs = std::filesystem;
using networks::NetworkWeights;
using runfiles::PressureLogRecord;
using runfiles::TrajectoryRecord;
using runs::RunEnd;

// A valve network whose output is `volts` whatever its inputs.
NetworkWeights ConstantValveNetwork(float volts) {
    NetworkWeights w = NetworkWeights::Zero(1, 6, 1);
    w.outputBiases[0] = volts / 8;
    return w;
}

// A valve network that rises with the pressure two samples ahead, its
// difference and the slope: it sees whatever the look-ahead holds.
NetworkWeights LookAheadValveNetwork() {
    NetworkWeights w = NetworkWeights::Zero(1, 6, 1);
    w.InputWeight(0, 2) = 1.0f;
    w.InputWeight(0, 4) = 1.0f;
    w.InputWeight(0, 5) = 1.0f;
    w.OutputWeight(0, 0) = 0.5f;
    return w;
}

// The carriage network passes its desired velocity through as volts (to a
// part in a million at these speeds); the joints get 0 V.
NetworkWeights PassThroughUpperLink() {
    NetworkWeights w = NetworkWeights::Zero(1, 1, 1);
    w.InputWeight(0, 0) = 1e-3f;
    w.OutputWeight(0, 0) = 1000.0f;
    return w;
}

// A PONNET network that rises with trajectory field 1, the same in every bin
// and set, so that the neighbour bin predicts what the own bin does.
labtest::Network FieldOneNetwork(int, int, int) {
    labtest::Network network{};
    network[0] = 1.0f;      // output weight of hidden neuron 0
    network[4 + 1] = 1.0f;  // its weight on input 1
    return network;
}

// The velocity of axis 0 in row k: tiny and distinct, so that sample k's
// carriage command names the row it used.
float CarriageVelocity(int row) {
    return 0.001f * float(row);
}

void WriteTrajectory(int lines, float firstAngle = 10.0f) {
    platform::StdioFile file(std::fopen(runfiles::kDynamicTerms.RelativePath(), "w"));
    for (int i = 0; i < lines; ++i) {
        TrajectoryRecord record;
        record.field[0] = firstAngle + 0.05f * float(i);  // rising, inside one bin
        record.field[1] = 10.0f + float(i);
        runfiles::Write(file.get(), record);
    }
}

void WriteVelocities(int rows) {
    platform::StdioFile file(std::fopen(runfiles::kVelocityTrajectory.RelativePath(), "w"));
    for (int k = 0; k < rows; ++k) {
        std::fprintf(file.get(), "%f\t\t%f\t\t%f\n", double(CarriageVelocity(k)), 0.0, 0.0);
    }
}

void WriteValveNetworks(const NetworkWeights& network) {
    for (int m = 1; m <= 4; ++m) {
        ASSERT_TRUE(networks::WriteWeightFile(runfiles::kValveWeights.Path(m), network));
    }
}

std::vector<PressureLogRecord> ReadRunLog() {
    std::vector<PressureLogRecord> records;
    platform::StdioFile file(std::fopen(runfiles::kRunLog.RelativePath(), "r"));
    if (file && labtest::LineCount(runfiles::kRunLog.RelativePath()) > 0) {
        runfiles::ReadAll(file.get(), records);
    }
    return records;
}

std::vector<std::string> ReadLines(const fs::path& path) {
    std::vector<std::string> lines;
    std::string text = labtest::ReadText(path);
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

// The redraw hook: counts the samples and lets a test act between them.
int redraws = 0;
void (*betweenSamples)(int sample) = nullptr;
void Redraw() {
    ++redraws;
    if (betweenSamples != nullptr) {
        betweenSamples(redraws);
    }
}

std::string captured;

class ControlRunsTest : public testing::Test {
  protected:
    void SetUp() override {
        labtest::CaseDirectory dir = labtest::MakeCaseDirectory();
        labtest::WriteWeightSet(dir.weights, FieldOneNetwork);
        WriteValveNetworks(LookAheadValveNetwork());
        ASSERT_TRUE(networks::WriteWeightFile(runfiles::kUpperLinkWeights.RelativePath(),
                                              PassThroughUpperLink()));
        ASSERT_TRUE(networks::WriteWeightFile(runfiles::kDoubleLinkWeights.RelativePath(),
                                              NetworkWeights::Zero(1, 2, 2)));
        ResetLabWithCardsOpen();
        GoHome();
        HomeMuscles();
        redraws = 0;
        betweenSamples = nullptr;
    }
    void TearDown() override {
        lab::EnableJournal(false);
        lab::Reset();
    }

    // Runs with standard output captured into `captured`.
    runs::RunResult Capture(runs::RunResult (*run)()) {
        testing::internal::CaptureStdout();
        const runs::RunResult result = run();
        std::fflush(stdout);
        captured = testing::internal::GetCapturedStdout();
        return result;
    }
    static runs::RunResult Hybrid() { return RunHybridControl(Redraw); }
    static runs::RunResult Neural() { return RunNeuralControl(Redraw); }

    // Servos of the motors off and every valve at 0 V.
    static void ExpectArmStopped() {
        const lab::Snapshot now = lab::TakeSnapshot();
        for (int axis = 0; axis < 3; ++axis) {
            EXPECT_FALSE(now.servoOn[axis]) << "axis " << axis;
        }
        for (int m = 0; m < 4; ++m) {
            EXPECT_EQ(now.valveOutput[m], 0.0f) << "muscle " << m + 1;
        }
    }

    platform::VirtualClockScope clock_;
};

TEST_F(ControlRunsTest, RunsSamplesOneToNMinusFourAndLogsEachOnce) {
    const int n = 12;
    WriteTrajectory(n);
    WriteVelocities(n);
    lab::EnableJournal(true);
    const runs::RunResult result = Capture(Hybrid);
    lab::EnableJournal(false);

    EXPECT_EQ(result.end, RunEnd::kCompleted);
    EXPECT_TRUE(result.logsWritten);
    EXPECT_EQ(result.timing.samples, n - 4);
    EXPECT_EQ(redraws, n - 4);
    EXPECT_EQ(captured, "");

    // Sample k drives the carriage from velocity row k (row 0 is never used).
    std::vector<double> carriage;
    for (const lab::Call& call : lab::Journal()) {
        if (std::string(call.function) == "EP_SetDACOutput" && call.arguments[1] == 0) {
            carriage.push_back(call.arguments[0] + 0.0082);
        }
    }
    ASSERT_EQ(carriage.size(), std::size_t(n - 4));
    for (int k = 1; k <= n - 4; ++k) {
        EXPECT_NEAR(carriage[k - 1], CarriageVelocity(k), 1e-6) << "sample " << k;
    }

    const std::vector<PressureLogRecord> log = ReadRunLog();
    const std::vector<std::string> pressures = ReadLines(runfiles::kRunPressureLog.RelativePath());
    const std::vector<std::string> encoders = ReadLines(runfiles::kRunEncoderLog.RelativePath());
    ASSERT_EQ(log.size(), std::size_t(n - 4));
    ASSERT_EQ(pressures.size(), std::size_t(n - 4));
    ASSERT_EQ(encoders.size(), std::size_t(n - 4));
    for (int j = 1; j <= n - 4; ++j) {
        EXPECT_EQ(log[j - 1].sample, j);
        EXPECT_EQ(pressures[j - 1].substr(0, pressures[j - 1].find('\t')), std::to_string(j));
        EXPECT_EQ(encoders[j - 1].substr(encoders[j - 1].rfind('\t') + 1), std::to_string(j));
        EXPECT_GT(log[j - 1].measured[0], 0.0f);  // read back at every sample
    }
    EXPECT_TRUE(fs::exists(runfiles::kRunTimeLog.RelativePath()));
    EXPECT_EQ(fs::file_size(runfiles::kRunTimeLog.RelativePath()), 0u);
    ExpectArmStopped();
}

TEST_F(ControlRunsTest, TheLastTwoSamplesLookAheadAtComputedPressures) {
    // The PONNET predictions are constant when field 1 is, so every sample's
    // look-ahead is flat and the valve command must be the same throughout.
    const int n = 10;
    platform::StdioFile file(std::fopen(runfiles::kDynamicTerms.RelativePath(), "w"));
    for (int i = 0; i < n; ++i) {
        TrajectoryRecord record;
        record.field[0] = 10.0f + 0.05f * float(i);
        runfiles::Write(file.get(), record);
    }
    file.reset();
    WriteVelocities(n);
    for (runs::RunResult (*run)() : {Hybrid, Neural}) {
        ASSERT_EQ(Capture(run).end, RunEnd::kCompleted);
        const std::vector<PressureLogRecord> log = ReadRunLog();
        ASSERT_EQ(log.size(), std::size_t(n - 4));
        for (const PressureLogRecord& line : log) {
            for (int m = 0; m < 4; ++m) {
                EXPECT_EQ(line.valve[m], log[0].valve[m]) << "sample " << line.sample;
                EXPECT_EQ(line.desired[m], log[0].desired[m]);
            }
        }
    }
}

TEST_F(ControlRunsTest, ShortTrajectoriesAreRefusedAndStillStopTheArm) {
    for (int n : {4, 0, -1}) {  // an empty file reads as one line; -1: text that is no record
        SCOPED_TRACE(testing::Message() << n << " lines");
        if (n < 0) {
            labtest::WriteText(runfiles::kDynamicTerms.RelativePath(), "garbage\n");
        } else {
            WriteTrajectory(n);
        }
        WriteVelocities(std::max(n, 0));
        GoHome();
        HomeMuscles();
        const runs::RunResult result = Capture(Neural);
        EXPECT_EQ(result.end, RunEnd::kRefusedAtStart);
        EXPECT_EQ(result.timing.samples, 0);
        EXPECT_NE(
            captured.find((std::string("Run not started: ./") +
                           runfiles::kDynamicTerms.RelativePath() + " gives no sample to run (")),
            std::string::npos)
            << captured;
        EXPECT_EQ(labtest::LineCount(runfiles::kRunLog.RelativePath()), 0);
        EXPECT_EQ(labtest::LineCount(runfiles::kRunEncoderLog.RelativePath()), 0);
        EXPECT_EQ(labtest::LineCount(runfiles::kRunPressureLog.RelativePath()), 0);
        ExpectArmStopped();
    }
}

TEST_F(ControlRunsTest, AStopBeforeSampleKEndsTheLoopAndStillLogsEverySample) {
    const int n = 14, k = 5;
    WriteTrajectory(n);
    WriteVelocities(n);
    struct Case {
        void (*stop)(int sample);
        RunEnd end;
    };
    const Case cases[] = {
        {[](int sample) {
             if (sample == k - 1) {
                 lab::PressEmergencyStop();
             }
         },
         RunEnd::kEmergencyStop},
        {[](int sample) {
             if (sample == k - 1) {
                 lab::HoldLimitSwitch(1, 0, 1);
             }
         },
         RunEnd::kLimitSwitch},
    };
    for (const Case& c : cases) {
        redraws = 0;
        betweenSamples = c.stop;
        const runs::RunResult result = Capture(Hybrid);
        EXPECT_EQ(result.end, c.end);
        EXPECT_EQ(result.timing.samples, k - 1);
        EXPECT_EQ(result.sampleTotal, n - 4);
        // The only output: how the run ended, with the samples that ran.
        EXPECT_EQ(captured,
                  std::string(c.end == RunEnd::kEmergencyStop ? "Run stopped by the emergency stop"
                                                              : "Run stopped by a limit switch") +
                      " at sample 4 of 10\n");
        const std::vector<PressureLogRecord> log = ReadRunLog();
        ASSERT_EQ(log.size(), std::size_t(n - 4));
        for (const PressureLogRecord& line : log) {
            SCOPED_TRACE(testing::Message() << "sample " << line.sample);
            EXPECT_GT(line.desired[0], 0.0f);  // precomputed for every sample
            if (line.sample >= k) {
                for (int m = 0; m < 4; ++m) {
                    EXPECT_EQ(line.measured[m], 0.0f);
                }
            } else {
                EXPECT_GT(line.measured[0], 0.0f);
            }
        }
        EXPECT_EQ(labtest::LineCount(runfiles::kRunEncoderLog.RelativePath()), n - 4);
        ExpectArmStopped();
        lab::ReleaseEmergencyStop();
        lab::HoldLimitSwitch(1, 0, 0);
        GoHome();
        HomeMuscles();
    }
}

TEST_F(ControlRunsTest, ValveCommandsOutsideTheCardsRangeAreLoggedAsComputed) {
    const int n = 8;
    WriteTrajectory(n);
    WriteVelocities(n);
    ASSERT_TRUE(
        networks::WriteWeightFile(runfiles::kValveWeights.Path(1), ConstantValveNetwork(-1.0f)));
    ASSERT_TRUE(
        networks::WriteWeightFile(runfiles::kValveWeights.Path(3), ConstantValveNetwork(3.0f)));

    // Muscle 1 below 0: floored on the card, kept in the log.
    static float latched[4];
    betweenSamples = [](int) {
        const lab::Snapshot now = lab::TakeSnapshot();
        std::copy(now.valveOutput, now.valveOutput + 4, latched);
    };
    ASSERT_EQ(Capture(Hybrid).end, RunEnd::kCompleted);
    EXPECT_EQ(captured, "");
    EXPECT_EQ(latched[0], 0.0f);
    EXPECT_FLOAT_EQ(latched[2], 3.0f);
    for (const PressureLogRecord& line : ReadRunLog()) {
        EXPECT_FLOAT_EQ(line.valve[0], -1.0f);
    }

    // Muscle 3 above 8: refused with the message at every sample, so the
    // valves keep the muscle homing's reference voltages.
    ASSERT_TRUE(
        networks::WriteWeightFile(runfiles::kValveWeights.Path(3), ConstantValveNetwork(9.0f)));
    HomeMuscles();
    ASSERT_EQ(Capture(Hybrid).end, RunEnd::kCompleted);
    std::string expected;
    for (int k = 1; k <= n - 4; ++k) {
        expected += "Too Maniac Pressure!!??ppppppppppppppppppppppppppppppppppppppppppppp\n";
    }
    EXPECT_EQ(captured, expected);
    EXPECT_EQ(std::vector<float>(latched, latched + 4),
              (std::vector<float>{5.0f, 5.6f, 5.6f, 5.0f}));
    for (const PressureLogRecord& line : ReadRunLog()) {
        EXPECT_FLOAT_EQ(line.valve[2], 9.0f);
    }
}

TEST_F(ControlRunsTest, NeuralRunTakesItsDesiredPressuresOneLineEarlier) {
    const int n = 12;
    WriteTrajectory(n);
    WriteVelocities(n);
    ASSERT_EQ(Capture(Hybrid).end, RunEnd::kCompleted);
    const std::vector<PressureLogRecord> hybrid = ReadRunLog();
    GoHome();
    HomeMuscles();
    ASSERT_EQ(Capture(Neural).end, RunEnd::kCompleted);
    const std::vector<PressureLogRecord> neural = ReadRunLog();
    ASSERT_EQ(hybrid.size(), std::size_t(n - 4));
    ASSERT_EQ(neural.size(), hybrid.size());
    for (std::size_t j = 0; j + 1 < hybrid.size(); ++j) {
        for (int m = 0; m < 4; ++m) {
            EXPECT_EQ(neural[j + 1].desired[m], hybrid[j].desired[m]) << "line " << j + 1;
            EXPECT_NE(neural[j].desired[m], hybrid[j].desired[m]);
        }
    }
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST(RunOutcome, OnlyARunThatDidNotSimplyCompleteHasALine) {
    runs::RunResult result;
    result.sampleTotal = 1325;
    result.timing.samples = 278;
    const auto text = [&result] { return std::string(runs::DescribeOutcome(result).text); };
    result.end = RunEnd::kEmergencyStop;
    EXPECT_EQ(text(), "Run stopped by the emergency stop at sample 278 of 1325");
    result.end = RunEnd::kLimitSwitch;
    EXPECT_EQ(text(), "Run stopped by a limit switch at sample 278 of 1325");
    result.end = RunEnd::kRefusedAtStart;
    std::snprintf(result.problem, sizeof result.problem, "a network did not load");
    EXPECT_EQ(text(), "Run not started: a network did not load");

    result.end = RunEnd::kCompleted;
    EXPECT_EQ(text(), "");
    result.timing.samplesOver20Ms = 1;
    EXPECT_EQ(text(), "1 sample overran 20 ms");
    result.timing.samplesOver20Ms = 12;
    EXPECT_EQ(text(), "12 samples overran 20 ms");
    // A stop is the news, late samples or not.
    result.end = RunEnd::kEmergencyStop;
    EXPECT_EQ(text(), "Run stopped by the emergency stop at sample 278 of 1325");
}

// The logs of a run, by name, as bytes.
std::vector<std::string> RunLogs() {
    std::vector<std::string> logs;
    for (const char* name : {runfiles::kRunLog.Name(), runfiles::kRunEncoderLog.Name(),
                             runfiles::kRunPressureLog.Name(), runfiles::kRunTimeLog.Name()}) {
        logs.push_back(labtest::ReadText(fs::path("NeuralFiles") / name));
    }
    return logs;
}

TEST_F(ControlRunsTest, ARunThatCannotStartDrivesNothingAndKeepsThePreviousLogs) {
    const int n = 10;
    struct Case {
        const char* what;
        void (*spoil)();
        std::string message;
        std::string problem;
        bool logsKept;  // a log that cannot be written follows others opened before it
    };
    const Case cases[] = {
        {"valve network missing", [] { fs::remove(runfiles::kValveWeights.Path(3)); },
         "Run not started: " + runfiles::kValveWeights.Name(3) + " did not load\n",
         runfiles::kValveWeights.Name(3) + " did not load", true},
        {"velocity file missing", [] { fs::remove(runfiles::kVelocityTrajectory.RelativePath()); },
         (std::string("Dosya Ac\375lmad\375 SinVelocityTrajectoryDesired\nRun not started: ") +
          runfiles::kVelocityTrajectory.Name() + " could not be opened\n"),
         (std::string(runfiles::kVelocityTrajectory.Name()) + " could not be opened"), true},
        {"trajectory missing", [] { fs::remove(runfiles::kDynamicTerms.RelativePath()); },
         (std::string("Dosya Ac\375lmad\375 DesiredPressureTrajectory\nRun not started: ") +
          runfiles::kDynamicTerms.Name() + " could not be opened\n"),
         (std::string(runfiles::kDynamicTerms.Name()) + " could not be opened"), true},
        {"velocity file too short", [] { WriteVelocities(n - 4); },
         (std::string("Run not started: ") + runfiles::kVelocityTrajectory.Name() +
          " has 6 lines, the trajectory needs 7\n"),
         (std::string(runfiles::kVelocityTrajectory.Name()) +
          " has 6 lines, the trajectory needs 7"),
         true},
        {"log cannot be written",
         [] {
             fs::remove(runfiles::kRunLog.RelativePath());
             fs::create_directory(runfiles::kRunLog.RelativePath());
         },
         "Dosya Ac\375lmad\375 LogTime\n"
         "Run not started: a log file could not be opened for writing\n",
         "a log file could not be opened for writing", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteValveNetworks(LookAheadValveNetwork());
        WriteTrajectory(n);
        WriteVelocities(n);
        ASSERT_EQ(Capture(Hybrid).end, RunEnd::kCompleted);
        const std::vector<std::string> before = RunLogs();
        ASSERT_FALSE(before[0].empty());
        c.spoil();
        lab::EnableJournal(true);
        const runs::RunResult result = Capture(Hybrid);
        EXPECT_EQ(result.end, RunEnd::kRefusedAtStart);
        EXPECT_EQ(result.problem, c.problem);
        EXPECT_EQ(result.timing.samples, 0);
        EXPECT_TRUE(EndsWith(captured, c.message)) << captured;
        if (c.logsKept) {
            EXPECT_TRUE(RunLogs() == before) << "a log of the previous run changed";
        }
        // Servos off, valves zeroed, and nothing else sent to the arm.
        std::vector<std::string> sent;
        for (const lab::Call& call : lab::Journal()) {
            const std::string function = call.function;
            if (function == "EP_SetDACOutput" || function == "DRV_AOVoltageOut" ||
                function == "EP_SetServoOn") {
                sent.push_back(function);
            }
        }
        EXPECT_EQ(sent, (std::vector<std::string>{"EP_SetServoOn", "EP_SetServoOn", "EP_SetServoOn",
                                                  "DRV_AOVoltageOut", "DRV_AOVoltageOut",
                                                  "DRV_AOVoltageOut", "DRV_AOVoltageOut"}));
        ExpectArmStopped();
        lab::EnableJournal(false);
        lab::ClearJournal();
        fs::remove_all(runfiles::kRunLog.RelativePath());
    }
}

TEST_F(ControlRunsTest, ALogThatFailsMidRunLeavesTheOtherLogsWhole) {
    const int n = 404;  // enough lines to overflow the failing log's buffer
    WriteTrajectory(n);
    WriteVelocities(n);
    fs::create_symlink("/dev/full", runfiles::kRunPressureLog.RelativePath());
    const runs::RunResult result = Capture(Neural);
    EXPECT_EQ(result.end, RunEnd::kCompleted);
    EXPECT_FALSE(result.logsWritten);
    EXPECT_NE(captured.find("Run logs not written completely: " +
                            std::string(runfiles::kRunPressureLog.path) + "\n"),
              std::string::npos);
    EXPECT_EQ(labtest::LineCount(runfiles::kRunEncoderLog.RelativePath()), n - 4);
    EXPECT_EQ(labtest::LineCount(runfiles::kRunLog.RelativePath()), n - 4);
}

TEST_F(ControlRunsTest, EachSampleReadsWritesAndRedrawsInOrder) {
    WriteTrajectory(5);
    WriteVelocities(5);
    static std::size_t redrawnAt = 0;
    betweenSamples = [](int) { redrawnAt = lab::Journal().size(); };
    lab::EnableJournal(true);
    ASSERT_EQ(Capture(Hybrid).end, RunEnd::kCompleted);
    lab::EnableJournal(false);

    std::vector<std::string> calls;
    const std::vector<lab::Call>& journal = lab::Journal();
    for (std::size_t i = 0; i < journal.size(); ++i) {
        if (i == redrawnAt) {
            calls.emplace_back("redraw");
        }
        const std::string function = journal[i].function;
        const bool axisCall = function == "EP_SetDACOutput" || function == "EP_SetServoOn";
        calls.push_back(axisCall ? function + " " + std::to_string(int(journal[i].arguments[1]))
                                 : function);
    }
    const std::vector<std::string> checks = {
        "EP_GetEmgcStopStatus", "EP_GetLimitStatus", "EP_GetLimitStatus", "EP_GetLimitStatus",
        "EP_GetLimitStatus",    "EP_GetLimitStatus", "EP_GetLimitStatus"};
    std::vector<std::string> expected = checks;
    for (const char* call :
         {"DRV_AOVoltageOut", "DRV_AOVoltageOut", "DRV_AOVoltageOut", "DRV_AOVoltageOut",
          "DRV_WriteSyncAO", "DRV_MAIVoltageIn", "EP_SetDACOutput 0", "EP_SetDACOutput 1",
          "EP_SetDACOutput 2", "EP_GetENCCounter", "EP_GetENCCounter", "EP_GetENCCounter",
          "EP_GetENCCounter", "EP_GetENCCounter", "redraw"}) {
        expected.emplace_back(call);
    }
    expected.insert(expected.end(), checks.begin(), checks.end());
    for (const char* call :
         {"EP_SetServoOn 1", "EP_SetServoOn 2", "DRV_AOVoltageOut", "DRV_AOVoltageOut",
          "DRV_AOVoltageOut", "DRV_AOVoltageOut", "DRV_WriteSyncAO"}) {
        expected.emplace_back(call);
    }
    expected.insert(expected.end() - 7, "EP_SetServoOn 0");
    EXPECT_EQ(calls, expected);
}

TEST_F(ControlRunsTest, TheLoopAllocatesNothing) {
    const int n = 40;
    WriteTrajectory(n);
    WriteVelocities(n);
    static long allocations[64];
    betweenSamples = [](int sample) { allocations[sample] = labtest::AllocationCount(); };
    ASSERT_EQ(Capture(Hybrid).end, RunEnd::kCompleted);
    EXPECT_EQ(allocations[n - 4], allocations[1]);
}

// lab-run, as a program: its exit status and what it prints.
struct LabRun {
    int status;
    std::string output;
};
LabRun RunLabRun(const std::string& arguments) {
    const std::string line = std::string(LAB_RUN) + " " + arguments + " 2>&1";
    std::FILE* pipe = popen(line.c_str(), "r");
    LabRun run{-1, ""};
    if (!pipe) {
        return run;
    }
    for (int c; (c = std::fgetc(pipe)) != EOF;) {
        run.output += char(c);
    }
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST_F(ControlRunsTest, LabRunRunsEachActionAndSaysHowItEnded) {
    WriteTrajectory(12);
    WriteVelocities(12);
    LabRun run = RunLabRun("hybrid");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(EndsWith(run.output, "lab-run: hybrid: 8 samples, completed\n")) << run.output;
    EXPECT_EQ(RunLabRun("neural").status, 0);
    run = RunLabRun("home");
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(EndsWith(run.output, "lab-run: home: at the home pose\n")) << run.output;
    EXPECT_EQ(RunLabRun("manual --motor2 --motor-volts 0.1 --duration 20 --muscle1").status, 0);

    // A run that cannot start says why, leaves the last run's logs alone and
    // reports none of their figures as its own (this last run saturated).
    WriteValveNetworks(ConstantValveNetwork(9.5f));
    run = RunLabRun("hybrid");
    EXPECT_NE(run.output.find("; saturated 8 (valve command outside 0 to"), std::string::npos)
        << run.output;
    const std::vector<std::string> before = RunLogs();
    fs::remove(runfiles::kDoubleLinkWeights.RelativePath());
    run = RunLabRun("neural");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find((std::string("Run not started: ") +
                               runfiles::kDoubleLinkWeights.Name() + " did not load\n")),
              std::string::npos)
        << run.output;
    EXPECT_TRUE(EndsWith(run.output, "lab-run: neural: 0 samples, not started\n")) << run.output;
    EXPECT_TRUE(RunLogs() == before) << "a log of the previous run changed";
}

TEST_F(ControlRunsTest, LabRunTriesAFuzzyVectorFromAFile) {
    labtest::WriteWeightSet("NeuralFiles/WeightsPONNET", labtest::IdentifyingNetwork);
    WriteTrajectory(12);
    WriteVelocities(12);
    ASSERT_EQ(RunLabRun("hybrid").status, 0);
    const std::vector<PressureLogRecord> builtIn = ReadRunLog();
    labtest::WriteText(runfiles::kCandidate.Name(), "0 0 0 0 0 0 0 0 0 0\n");  // an even blend
    ASSERT_EQ(
        RunLabRun((std::string("hybrid --fuzzy-vector ") + runfiles::kCandidate.Name())).status, 0);
    const std::vector<PressureLogRecord> even = ReadRunLog();
    ASSERT_EQ(even.size(), builtIn.size());
    for (std::size_t j = 0; j < even.size(); ++j) {
        EXPECT_NE(even[j].desired[0], builtIn[j].desired[0]);
    }

    labtest::WriteText("short.txt", "0.1 0.2 0.3\n");
    LabRun run = RunLabRun("hybrid --fuzzy-vector short.txt");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "lab-run: short.txt does not hold ten numbers\n");
    labtest::WriteText("nan.txt", "0.1 0.2 0.3 0.4 nan 0.6 0.7 0.8 0.9 1\n");
    fs::remove(runfiles::kRunLog.RelativePath());
    run = RunLabRun("hybrid --fuzzy-vector nan.txt");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "lab-run: nan.txt: K4 is nan, not a finite number\n");
    EXPECT_FALSE(fs::exists(runfiles::kRunLog.RelativePath()));
    EXPECT_EQ(
        RunLabRun((std::string("neural --fuzzy-vector ") + runfiles::kCandidate.Name())).status, 2);
    EXPECT_EQ(RunLabRun("fly").status, 2);
    EXPECT_EQ(RunLabRun("--duration 4000 manual").status, 2);
}

}  // namespace
