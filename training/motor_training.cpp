// The motor procedures: offset calibration, scripted motor excitation and
// the open-loop velocity-tracking test.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "arm/arm.h"
#include "cards/motion_card.h"
#include "networks/networks.h"
#include "platform/fixed_messages.h"
#include "platform/stdio_file.h"
#include "runfiles/catalogue.h"
#include "runs/paced_loop.h"
#include "training/excitation.h"
#include "training/procedure_support.h"
#include "training/training.h"
#include "trajectory/trajectory.h"

namespace {

using training::TrainingResult;

// The calibration looks at the motors once a second.
constexpr double kCalibrationPeriodMs = 1000.0;

// The motor commands of axes 0, 1 and 2. They live as long as the process:
// the excitation changes them incrementally, so a second recording starts
// from what the first one left, and the velocity test overwrites them.
float motorCommands[arm::kMotorCount] = {};

constexpr const char* kVoltageFile = runfiles::kMotorVoltages.path;
constexpr const char* kVelocityFile = runfiles::kMotorVelocities.path;
constexpr const char* kEncoderFile = runfiles::kMotorEncoders.path;
constexpr const char* kLogTimeFile = runfiles::kMotorTimeLog.path;

constexpr const char* kActualVelocityFile = runfiles::kTrackedVelocities.path;
constexpr const char* kActualEncoderFile = runfiles::kTrackedEncoders.path;

// Room of the excitation's tables; the loop fills the first 2800 entries,
// and the velocity of the last sample is formed with the zero entry after it.
constexpr int kMotorCapacity = 10000;

// One sample of the excitation: the commands sent, then the counts of
// channels 0 to 3 read after them.
struct MotorSample {
    float volts[arm::kMotorCount] = {};
    std::int32_t counts[4] = {};
};

// Counts per 20 ms sample, as counts per ms.
double Velocity(std::int32_t from, std::int32_t to) {
    return static_cast<float>(static_cast<double>(to - from) / runs::kSamplePeriodMs);
}

}  // namespace

TrainingResult CalibrateOffsets(runs::Redraw redraw) {
    float command[arm::kMotorCount] = {};
    for (int axis = 0; axis < arm::kMotorCount; ++axis) {
        MotorAxes[axis].ServoOn();
    }
    for (int axis = 0; axis < arm::kMotorCount; ++axis) {
        MotorAxes[axis].SetVoltage(command[axis]);
    }
    std::int32_t previous[arm::kMotorCount] = {};
    std::printf("CALIBRATION BEGIN *************************\n");

    // Once a second, the second before the work; printing here is the
    // operator's view of the calibration. The stops are checked before the
    // axes are found still, so a stop then still ends it as a stop.
    TrainingResult result;
    training::StillAxes still;
    runs::PacedLoop loop(0, runs::Pacing::kSleepBeforeWork, runs::EndTest::kAfterStops,
                         kCalibrationPeriodMs);
    const auto calibrate = [&](int) {
        ReadEncoderCounts();
        std::int32_t moved[arm::kMotorCount];
        for (int axis = 0; axis < arm::kMotorCount; ++axis) {
            moved[axis] = EncoderCounts[axis] - previous[axis];
            previous[axis] = EncoderCounts[axis];
        }
        std::printf("%d\t\t%d\t\t%d\n", moved[0], moved[1], moved[2]);
        for (int axis = 0; axis < arm::kMotorCount; ++axis) {
            command[axis] = training::CalibratedCommand(axis, command[axis], moved[axis]);
            MotorAxes[axis].SetVoltage(command[axis]);
        }
        std::printf("%f\t%f\t%f\n", command[0], command[1], command[2]);
        still.Observe(moved);
    };
    const runs::PacedLoop::Outcome outcome =
        loop.Run([&still](int) { return !still.All(); }, calibrate, redraw);
    result.end = outcome.end;
    result.samples = outcome.samples;

    std::printf("CALIBRATION END *************************\n");
    SwitchServosOff();
    return result;
}

TrainingResult RecordMotorTrainingData(runs::Redraw redraw) {
    platform::StdioFile voltageFile =
        platform::OpenReporting(kVoltageFile, "w", messages::kNotOpened);
    platform::StdioFile velocityFile =
        platform::OpenReporting(kVelocityFile, "w", messages::kNotOpened);
    platform::StdioFile encoderFile =
        platform::OpenReporting(kEncoderFile, "w", messages::kNotOpened);
    platform::StdioFile logTimeFile =
        platform::OpenReporting(kLogTimeFile, "w", messages::kLogTimeNotOpened);

    std::vector<MotorSample> samples(kMotorCapacity);
    runs::PacedLoop loop(training::kMotorSamples);

    for (int axis = 0; axis < arm::kMotorCount; ++axis) {
        MotorAxes[axis].ServoOn();
    }
    GoHome();
    // The carriage two seconds out, away from its switch, and counted from there.
    MotorAxes[0].SetVoltage(1.0f);
    Sleep(2000);
    MotorAxes[0].SetVoltage(0.0f);
    Sleep(100);
    EP_ClearENCCounter(0, 1);

    // Every 20 ms; no allocation, no file, no output.
    const auto excite = [&samples](int i) {
        training::AdvanceMotorCommands(i, motorCommands);
        MotorSample& sample = samples[i];
        for (int axis = 0; axis < arm::kMotorCount; ++axis) {
            MotorAxes[axis].SetVoltage(motorCommands[axis]);
            sample.volts[axis] = motorCommands[axis];
        }
        ReadEncoderCounts();
        for (int channel = 0; channel < 4; ++channel) {
            sample.counts[channel] = EncoderCounts[channel];
        }
    };
    TrainingResult result;
    const runs::PacedLoop::Outcome outcome =
        loop.Run([](int i) { return i < training::kMotorSamples; }, excite, redraw);
    result.end = outcome.end;
    result.samples = outcome.samples;
    result.timing = loop.Timing();

    // The loop's per-sample lines: sample number and work time in ms.
    for (int j = 0; j < result.samples; ++j) {
        std::printf("%d\n%f\n", j, loop.RecordedWorkMs(j));
    }

    result.filesWritten = true;
    training::WriteTrainingFile(result, kVoltageFile, voltageFile, "%f\t\t%f\t\t%f\n",
                                training::kMotorSamples, [&](int j, double* v) {
                                    for (int k = 0; k < arm::kMotorCount; ++k) {
                                        v[k] = samples[j].volts[k];
                                    }
                                });
    training::WriteTrainingFile(result, kVelocityFile, velocityFile, "%f\t\t%f\t\t%f\n",
                                training::kMotorSamples, [&](int j, double* v) {
                                    for (int k = 0; k < arm::kMotorCount; ++k) {
                                        v[k] = Velocity(samples[j].counts[k],
                                                        samples[j + 1].counts[k]);
                                    }
                                });
    // The fourth field carries the channel-3 count of the same sample.
    training::WriteTrainingFile(result, kEncoderFile, encoderFile, "%d\t%d\t%d\t%d\n",
                                training::kMotorSamples, [&](int j, double* v) {
                                    for (int k = 0; k < 4; ++k) {
                                        v[k] = samples[j].counts[k];
                                    }
                                });
    training::NoteFile(result, kLogTimeFile, training::Close(logTimeFile));
    SwitchServosOff();
    return result;
}

TrainingResult TestVelocityTracking(runs::Redraw redraw) {
    TrainingResult result;
    networks::DoubleLinkModel doubleLink;
    networks::UpperLinkModel upperLink;
    // The input and the networks first: a test that cannot start leaves the
    // previous test's files as they are.
    platform::StdioFile desiredFile =
        platform::OpenReporting(kVelocityTrajectoryFile, "r", messages::kDesiredVelocityNotOpened);
    if (!desiredFile) {
        SwitchServosOff();
        return result;
    }
    // Weights that do not load would drive the motors with 0 V all along:
    // nothing is driven then.
    const bool doubleLoaded = doubleLink.LoadWeights();
    const bool upperLoaded = upperLink.LoadWeights();
    if (!doubleLoaded || !upperLoaded) {
        std::printf("Velocity test not started: the link networks' weights did not load\n");
        SwitchServosOff();
        return result;
    }
    const std::vector<runs::VelocityRecord> desired =
        training::ReadVelocityRecords(desiredFile.get(), kVelocityTrajectoryFile);
    const int p = static_cast<int>(desired.size());
    // A file without two records (empty, or text that is no record) would
    // "complete" without recording anything.
    if (p < 2) {
        std::printf("Velocity test not started: %s gives no sample to run (%d record read)\n",
                    kVelocityTrajectoryFile, p);
        SwitchServosOff();
        return result;
    }
    platform::StdioFile velocityFile =
        platform::OpenReporting(kActualVelocityFile, "w", messages::kActualVelocityNotOpened);
    platform::StdioFile encoderFile =
        platform::OpenReporting(kActualEncoderFile, "w", messages::kActualEncoderNotOpened);
    std::vector<std::int32_t> counts[arm::kMotorCount];
    for (std::vector<std::int32_t>& channel : counts) {
        channel.assign(p, 0);
    }

    GoHome();
    // Every sample: 20 ms after its work; no allocation, no file, no output.
    // The counts are read before the new commands, so each belongs to the
    // command of the sample before.
    // This test sleeps a period after its work instead of pacing from the
    // sample's start: a sample lasts 20 ms plus its work.
    runs::PacedLoop loop(0, runs::Pacing::kSleepAfterWork);
    const auto track = [&](int q) {
        const float* v = desired[q].velocity;
        doubleLink.Evaluate(v[1], v[2], motorCommands[1], motorCommands[2]);
        upperLink.Evaluate(v[0], motorCommands[0]);
        ReadEncoderCounts();
        for (int channel = 0; channel < arm::kMotorCount; ++channel) {
            counts[channel][q] = EncoderCounts[channel];
        }
        for (int axis = 0; axis < arm::kMotorCount; ++axis) {
            MotorAxes[axis].SetVoltage(motorCommands[axis]);
        }
    };
    const runs::PacedLoop::Outcome outcome = loop.Run([p](int q) { return q < p; }, track, redraw);
    result.end = outcome.end;
    result.samples = outcome.samples;

    result.filesWritten = true;
    training::WriteTrainingFile(result, kActualVelocityFile, velocityFile, "%f\t%f\t\t%f\n", p - 1,
                                [&](int j, double* v) {
                                    for (int k = 0; k < arm::kMotorCount; ++k) {
                                        v[k] = Velocity(counts[k][j], counts[k][j + 1]);
                                    }
                                });
    training::WriteTrainingFile(result, kActualEncoderFile, encoderFile, "%d\t\t%d\t\t%d\n", p - 1,
                                [&](int j, double* v) {
                                    for (int k = 0; k < arm::kMotorCount; ++k) {
                                        v[k] = counts[k][j];
                                    }
                                });
    SwitchServosOff();
    Sleep(1000);
    return result;
}
