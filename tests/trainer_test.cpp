// The trainer's families on synthetic recordings: what they write, what
// they refuse, how they report; and the whole chain on the virtual lab,
// scaled down, against the demo weights.
#include "trainer/trainer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

#include "model/ponnet_model.h"
#include "model/replay.h"
#include "networks/networks.h"
#include "runfiles/catalogue.h"
#include "runfiles/run_files.h"

namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

bool AnyNote(const trainer::FamilyReport& report, const std::string& part) {
    for (const std::string& note : report.notes) {
        if (note.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

trainer::TrainingOptions QuickOptions() {
    trainer::TrainingOptions options;
    options.restarts = 1;
    options.maxIterations = 40;
    return options;
}

// A valve excitation: a smooth voltage wave and the pressure it produces on
// the next sample, a first-order lag of the voltage; `zeros` unrecorded
// samples at the end.
void WriteValveRecording(int muscle, int samples, int zeros) {
    fs::create_directories("NeuralFiles");
    std::FILE* file = std::fopen(trainer::ValveRecordings()[muscle - 1].c_str(), "w");
    double pressure = 2.0, previous = 2.0;
    for (int q = 0; q < samples; ++q) {
        const double volts = 5.0 + 1.5 * std::sin(q * 0.013 * muscle) + 0.5 * std::sin(q * 0.071);
        pressure += 0.3 * (0.5 * volts - pressure);
        std::fprintf(file, "%f  %f  %f\n", volts, pressure, (pressure - previous) / 20);
        previous = pressure;
    }
    for (int q = 0; q < zeros; ++q) {
        std::fputs("0.000000  0.000000  0.000000\n", file);
    }
    std::fclose(file);
}

TEST(TrainerValves, FitsEachMuscleAndReportsThroughTheWrittenNetworks) {
    for (int m = 1; m <= 4; ++m) {
        WriteValveRecording(m, 600, m == 2 ? 150 : 0);
    }
    const trainer::FamilyReport report =
        trainer::TrainValveNetworks(trainer::ValveRecordings(), QuickOptions());
    ASSERT_TRUE(report.written);
    EXPECT_TRUE(AnyNote(report, runfiles::kValveRecording.Name(2) + ": 150 trailing zero samples"));
    ASSERT_EQ(report.networks.size(), 4u);
    for (const trainer::NetworkReport& n : report.networks) {
        // 600 lines give 598 windows of three pressures; a fifth held out.
        EXPECT_EQ(n.trainingSamples + n.heldOutSamples, 598) << n.file;
        EXPECT_EQ(n.heldOutSamples, 120) << n.file;
        EXPECT_LT(n.heldOutRms, 0.1) << n.file;
        EXPECT_GT(n.heldOutRms, 0.0) << n.file;
    }
    // The network learnt the inverse of the lag: for a steady pressure p the
    // voltage that holds it is 2 p.
    networks::AnnetModel model(1);
    ASSERT_TRUE(model.LoadWeights());
    float volts = 0.0f;
    model.Evaluate({2.5f, 2.5f, 2.5f, 0.0f, 0.0f, 0.0f}, volts);
    EXPECT_NEAR(volts, 5.0, 0.2);
    // Asked for 2.0 bar now and 2.3 next, it gives the voltage that makes
    // that step, 2 (2.0 + 0.3 / 0.3) = 6 V, so that the pressure measured on
    // the next sample is the one wanted there.
    model.Evaluate({2.0f, 2.3f, 2.51f, 0.3f, 0.51f, 0.015f}, volts);
    EXPECT_NEAR(volts, 6.0, 0.3);
    EXPECT_FALSE(fs::exists(runfiles::kValveWeights.RelativePath(1) + ".new"));

    // The same seed gives the same files; the CSV lists the four networks.
    const std::string first = Contents(runfiles::kValveWeights.RelativePath(3));
    trainer::TrainValveNetworks(trainer::ValveRecordings(), QuickOptions());
    EXPECT_EQ(Contents(runfiles::kValveWeights.RelativePath(3)), first);
    ASSERT_TRUE(trainer::WriteReportCsv("report.csv", report));
    const std::string csv = Contents("report.csv");
    EXPECT_EQ(csv.rfind("network,training_samples,held_out_samples,", 0), 0u);
    EXPECT_NE(csv.find(runfiles::kValveWeights.Name(4) + ",478,120,"), std::string::npos);
}

TEST(TrainerValves, UnusableRecordingsLeaveEveryWeightFileAsItWas) {
    fs::create_directories("NeuralFiles");
    for (int m = 1; m <= 4; ++m) {
        std::ofstream(runfiles::kValveWeights.RelativePath(m)) << "old " << m;
    }
    auto untouched = [] {
        for (int m = 1; m <= 4; ++m) {
            const std::string name = runfiles::kValveWeights.RelativePath(m);
            EXPECT_EQ(Contents(name), "old " + std::to_string(m));
            EXPECT_FALSE(fs::exists(name + ".new"));
        }
    };
    for (int m = 1; m <= 3; ++m) {
        WriteValveRecording(m, 600, 0);
    }

    // Muscle 4 missing.
    trainer::FamilyReport report =
        trainer::TrainValveNetworks(trainer::ValveRecordings(), QuickOptions());
    EXPECT_FALSE(report.written);
    EXPECT_TRUE(AnyNote(report, runfiles::kValveRecording.Name(4) + ": missing"));
    EXPECT_TRUE(report.networks.empty());
    untouched();

    // Empty, then stopped after 30 samples: too short.
    std::ofstream(trainer::ValveRecordings()[3]).close();
    report = trainer::TrainValveNetworks(trainer::ValveRecordings(), QuickOptions());
    EXPECT_TRUE(AnyNote(report, runfiles::kValveRecording.Name(4) + ": empty"));
    untouched();
    WriteValveRecording(4, 30, 1269);
    report = trainer::TrainValveNetworks(trainer::ValveRecordings(), QuickOptions());
    EXPECT_FALSE(report.written);
    EXPECT_TRUE(AnyNote(report, "1269 trailing zero samples dropped"));
    EXPECT_TRUE(AnyNote(report, "28 samples, too short to fit"));
    untouched();

    // Text where numbers belong.
    std::ofstream(trainer::ValveRecordings()[3]) << "1 2 3\n4 x 6\n";
    report = trainer::TrainValveNetworks(trainer::ValveRecordings(), QuickOptions());
    EXPECT_TRUE(AnyNote(report, "line 2: '4 x 6' is not a number"));
    untouched();
    std::ofstream(trainer::ValveRecordings()[3]) << "1 2 3\n4 nan 6\n";
    report = trainer::TrainValveNetworks(trainer::ValveRecordings(), QuickOptions());
    EXPECT_TRUE(AnyNote(report, "line 2 holds a number that is not finite"));
    untouched();
}

TEST(TrainerValves, AFamilyThatCannotBeReplacedWholeIsPutBackAndSaysSo) {
    for (int m = 1; m <= 4; ++m) {
        WriteValveRecording(m, 600, 0);
        std::ofstream(runfiles::kValveWeights.RelativePath(m)) << "old " << m;
        // A killed run of the kind that wrote beside the files left this.
        std::ofstream(runfiles::kValveWeights.RelativePath(m) + ".new") << "stray";
    }
    fs::remove(runfiles::kValveWeights.RelativePath(3));
    fs::create_directory(runfiles::kValveWeights.RelativePath(3));
    trainer::FamilyReport report =
        trainer::TrainValveNetworks(trainer::ValveRecordings(), QuickOptions());
    EXPECT_FALSE(report.written);
    EXPECT_FALSE(report.mixed);
    ASSERT_FALSE(report.notes.empty());
    EXPECT_EQ(report.notes.back(),
              runfiles::kValveWeights.RelativePath(3) +
                  " could not be replaced (a directory is in its place); the 2 replaced before it "
                  "were put back");
    EXPECT_EQ(Contents(runfiles::kValveWeights.RelativePath(1)), "old 1");
    EXPECT_EQ(Contents(runfiles::kValveWeights.RelativePath(2)), "old 2");
    EXPECT_EQ(Contents(runfiles::kValveWeights.RelativePath(4)), "old 4");
    EXPECT_FALSE(fs::exists("NeuralFiles/.new-valves"));
    char text[4096] = {};
    std::FILE* out = fmemopen(text, sizeof text, "w");
    trainer::PrintReport(out, report);
    std::fclose(out);
    EXPECT_EQ(std::string(text).rfind("valves: not written, files left as they were\n", 0), 0u);

    // With the way clear the family is replaced, and the strays go.
    fs::remove(runfiles::kValveWeights.RelativePath(3));
    report = trainer::TrainValveNetworks(trainer::ValveRecordings(), QuickOptions());
    EXPECT_TRUE(report.written);
    EXPECT_TRUE(AnyNote(
        report, "replaced together in NeuralFiles: " + runfiles::kValveWeights.Name(1) + " " +
                    runfiles::kValveWeights.Name(2) + " " + runfiles::kValveWeights.Name(3) + " " +
                    runfiles::kValveWeights.Name(4)));
    for (const auto& entry : fs::directory_iterator("NeuralFiles")) {
        EXPECT_NE(entry.path().extension(), ".new") << entry.path();
        EXPECT_NE(entry.path().filename().string().rfind(".new-", 0), 0u) << entry.path();
    }
}

// Motor excitation: voltages and the velocities they produce (a dead band
// and a saturation), written as the procedure writes them.
void WriteMotorRecording(int samples, int zeros) {
    fs::create_directories("NeuralFiles");
    const trainer::MotorRecordings paths;
    std::FILE* volts = std::fopen(paths.voltages.c_str(), "w");
    std::FILE* velocities = std::fopen(paths.velocities.c_str(), "w");
    for (int i = 0; i < samples + zeros; ++i) {
        double v[3] = {}, speed[3] = {};
        if (i < samples) {
            v[0] = std::sin(i * 0.011);
            v[1] = 2.0 * std::sin(i * 0.017);
            v[2] = 1.5 * std::sin(i * 0.023 + 1);
            for (int k = 0; k < 3; ++k) {
                speed[k] = (k == 0 ? 0.4 : 4.0) * std::tanh(1.2 * v[k]);
            }
        }
        std::fprintf(volts, "%f\t\t%f\t\t%f\n", v[0], v[1], v[2]);
        std::fprintf(velocities, "%f\t\t%f\t\t%f\n", speed[0], speed[1], speed[2]);
    }
    std::fclose(volts);
    std::fclose(velocities);
}

TEST(TrainerLinks, InvertTheMotorsAndDropAStoppedRecordingsTail) {
    WriteMotorRecording(700, 300);
    const trainer::FamilyReport report =
        trainer::TrainLinkNetworks(trainer::MotorRecordings{}, trainer::TrainingOptions{});
    ASSERT_TRUE(report.written);
    EXPECT_TRUE(AnyNote(report, "300 trailing zero samples dropped"));
    ASSERT_EQ(report.networks.size(), 2u);
    // The last recorded line's velocity runs into the unrecorded sample.
    EXPECT_EQ(report.networks[0].trainingSamples + report.networks[0].heldOutSamples, 699);
    for (const trainer::NetworkReport& n : report.networks) {
        EXPECT_LT(n.heldOutRms, 0.05) << n.file;
    }

    networks::DoubleLinkModel doubleLink;
    networks::UpperLinkModel upperLink;
    ASSERT_TRUE(doubleLink.LoadWeights());
    ASSERT_TRUE(upperLink.LoadWeights());
    float v1 = 0, v2 = 0, v0 = 0;
    doubleLink.Evaluate(float(4.0 * std::tanh(1.2)), float(-4.0 * std::tanh(0.6)), v1, v2);
    upperLink.Evaluate(0.0f, v0);
    EXPECT_NEAR(v1, 1.0, 0.05);
    EXPECT_NEAR(v2, -0.5, 0.05);
    EXPECT_NEAR(v0, 0.0, 0.05);

    // Recordings of different lengths are refused.
    std::ofstream(trainer::MotorRecordings{}.velocities) << "1 2 3\n";
    EXPECT_FALSE(trainer::TrainLinkNetworks(trainer::MotorRecordings{}, QuickOptions()).written);
}

// A run log whose muscle joint swings between -19 and 19 degrees; each
// muscle's pressure is a smooth law of the angle with a step between the
// two directions.
double PressureLaw(int muscle, double theta, bool rising) {
    const double sign = (muscle == 1 || muscle == 4) ? 1.0 : -1.0;
    return 2.5 + sign * 0.03 * theta + (rising ? 0.1 : -0.1) * muscle / 4.0;
}

// `unreadSample` (when in range) logs muscle 1's pressure as not a number.
void WriteRunLog(const std::string& path, int samples, int unreadSample = -1) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    for (int j = 0; j < samples; ++j) {
        const double phase = j * 0.02 * 2 * 3.14159265358979 / 4.0;
        const double theta = 19 * std::sin(phase);
        runfiles::PressureLogRecord r;
        r.sample = j;
        r.counts[3] = int(std::lround(4 * theta));
        r.counts[4] = -r.counts[3];
        r.counts[1] = int(std::lround(3000 * std::sin(phase * 0.7)));
        for (int m = 0; m < 4; ++m) {
            r.measured[m] = float(PressureLaw(m + 1, theta, std::cos(phase) > 0));
        }
        if (j == unreadSample) {
            r.measured[0] = std::numeric_limits<float>::quiet_NaN();
        }
        runfiles::Write(file, r);
    }
    std::fclose(file);
}

TEST(TrainerPressure, FitsTheVisitedBinsAndFillsTheOthersFromTheirNeighbours) {
    WriteRunLog("run.txt", 2000);
    trainer::PressureRecordings recordings;
    recordings.runLog = "run.txt";
    const trainer::FamilyReport report = trainer::TrainPressureNetworks(recordings, QuickOptions());
    ASSERT_TRUE(report.written);
    ASSERT_EQ(report.networks.size(), 288u);
    EXPECT_EQ(Contents(runfiles::kPonnetGeneralWeights.RelativePath()), "3\n0\n0\n0\n14\n");

    int own = 0;
    for (const trainer::NetworkReport& n : report.networks) {
        if (n.fallback.empty()) {
            ++own;
            EXPECT_GE(n.trainingSamples + n.heldOutSamples, trainer::kMinPressureSamples);
            // At the swing's ends the direction flag the evaluator gives a
            // neighbour lags the law's step by a sample; inside, the fit holds.
            // The bin's label follows the muscle's digit.
            const int label = std::stoi(n.file.substr(std::string("WeightsPONNET/1").size()));
            if (label >= -16 && label <= 12) {
                EXPECT_LT(n.heldOutRms, 0.08) << n.file;
            }
        }
    }
    EXPECT_GT(own, 8 * 2);
    // Far outside the swing: fitted on the outermost bins the runs ask.
    const trainer::NetworkReport& far = report.networks[0];  // muscle 1, label -72, set f
    EXPECT_EQ(fs::path(runfiles::kLabDirectory) / far.file,
              fs::path(runfiles::kPonnetDirectory) / runfiles::PonnetWeightFileName(1, -72, 0));
    EXPECT_EQ(far.trainingSamples + far.heldOutSamples, 0);
    EXPECT_EQ(far.fallback.rfind("bins -24 to ", 0), 0u) << far.fallback;
    // The bin above the swing's top (20 to 24 degrees) holds no sample of
    // its own, but the blend asks its network about 18 to 19 degrees, the
    // samples it is fitted on.
    const auto above =
        std::find_if(report.networks.begin(), report.networks.end(),
                     [](const auto& n) { return n.file == "WeightsPONNET/420b.txt"; });
    ASSERT_NE(above, report.networks.end());
    EXPECT_EQ(above->fallback, "");
    EXPECT_GE(above->trainingSamples + above->heldOutSamples, trainer::kMinPressureSamples);

    // The files load, and a prediction inside the swing follows the law.
    PonnetModel model(4, kConsoleWeightDirectory);
    ASSERT_TRUE(model.LoadWeights());
    float input[PonnetModel::kInputSize] = {};
    std::FILE* replay = std::fopen("run.txt", "r");
    std::vector<runfiles::PressureLogRecord> log;
    runfiles::ReadAll(replay, log);
    std::fclose(replay);
    const auto records = replay::ReplayTrajectory(log);
    std::copy(std::begin(records[500].field), std::end(records[500].field), input);
    input[PonnetModel::kInputs] = records[501].field[0] > records[500].field[0] ? 1.0f : 0.0f;
    float predicted = 0.0f;
    model.Evaluate(input, &predicted, 0);
    EXPECT_NEAR(predicted,
                PressureLaw(4, records[500].field[0], input[PonnetModel::kInputs] == 1.0f), 0.05);
    // So does the neighbour above the top on a rising sample at 18.5 degrees.
    const auto tip = std::find_if(records.begin() + 1, records.end() - 1, [](const auto& r) {
        return std::fabs(r.field[0] - 18.5f) < 0.01f && (&r)[1].field[0] > r.field[0];
    });
    ASSERT_NE(tip, records.end() - 1);
    std::copy(std::begin(tip->field), std::end(tip->field), input);
    input[PonnetModel::kInputs] = 1.0f;
    model.Evaluate(input, &predicted, +1);
    EXPECT_NEAR(predicted, PressureLaw(4, 18.5, true), 0.05);

    // A log too short leaves the set as it was.
    const std::string before =
        Contents(fs::path(runfiles::kPonnetDirectory) / runfiles::PonnetWeightFileName(2, -4, 1));
    WriteRunLog("short.txt", 30);
    recordings.runLog = "short.txt";
    const trainer::FamilyReport refused =
        trainer::TrainPressureNetworks(recordings, QuickOptions());
    EXPECT_FALSE(refused.written);
    EXPECT_TRUE(AnyNote(refused, "too short to fit"));
    EXPECT_EQ(
        Contents(fs::path(runfiles::kPonnetDirectory) / runfiles::PonnetWeightFileName(2, -4, 1)),
        before);
}

// A pressure that is not a number would reach the weight files through the
// fit; the log is refused and the set left as it was.
TEST(TrainerPressure, ARunLogWithANonNumericPressureIsRefused) {
    WriteRunLog("bad.txt", 2000, 700);
    trainer::PressureRecordings recordings;
    recordings.runLog = "bad.txt";
    const trainer::FamilyReport report = trainer::TrainPressureNetworks(recordings, QuickOptions());
    EXPECT_FALSE(report.written);
    EXPECT_TRUE(AnyNote(report, "not finite"));
    EXPECT_FALSE(fs::exists(fs::path(runfiles::kPonnetDirectory) /
                            runfiles::PonnetWeightFileName(1, -4, 0)));

    // So is a pressure of the training run's files that no float holds.
    recordings = {};
    fs::create_directories("NeuralFiles");
    std::ofstream(recordings.encoders) << "0 0 0 0 0\n";
    std::ofstream(recordings.pressures) << "2.5 1e300 2.5 2.5\n";
    EXPECT_TRUE(AnyNote(trainer::TrainPressureNetworks(recordings, QuickOptions()), "not finite"));
}

// An encoder count beyond an int is refused, not converted.
TEST(TrainerPressure, ACountBeyondTheEncodersRangeIsRefused) {
    trainer::PressureRecordings recordings;
    fs::create_directories("NeuralFiles");
    std::ofstream(recordings.encoders) << "0 0 0 1e12 0\n";
    std::ofstream(recordings.pressures) << "2.5 2.5 2.5 2.5\n";
    const trainer::FamilyReport report = trainer::TrainPressureNetworks(recordings, QuickOptions());
    EXPECT_FALSE(report.written);
    EXPECT_TRUE(AnyNote(report, "beyond the encoders' range"));
}

}  // namespace
