// The muscle procedures: the per-muscle valve excitation and the combined
// run of motors and muscles through all six networks.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "arm/arm.h"
#include "cards/daq_card.h"
#include "cards/motion_card.h"
#include "networks/networks.h"
#include "platform/fixed_messages.h"
#include "platform/stdio_file.h"
#include "runfiles/catalogue.h"
#include "runs/control_tick.h"
#include "runs/paced_loop.h"
#include "training/excitation.h"
#include "training/procedure_support.h"
#include "training/training.h"
#include "trajectory/trajectory.h"

namespace {

using runs::RunEnd;
using training::TrainingResult;

// Room per muscle of the valve excitation's tables.
constexpr int kValveCapacity = 5000;

// One sample of a muscle's excitation: the command the card accepted and the
// pressure read after it.
struct ValveSample {
    float voltage = 0.0f;
    float pressure = 0.0f;
};

constexpr const char* kEncoderFile = runfiles::kCombinedEncoders.path;
constexpr const char* kPressureFile = runfiles::kCombinedPressures.path;
constexpr const char* kDesiredPressureFile = runfiles::kCombinedDesiredPressures.path;

}  // namespace

TrainingResult RecordPressureTrainingData(runs::Redraw redraw) {
    std::string paths[arm::kMuscleCount];
    platform::StdioFile files[arm::kMuscleCount];
    for (int k = 0; k < arm::kMuscleCount; ++k) {
        paths[k] = runfiles::kValveRecording.Path(k + 1);
        files[k] = platform::OpenReporting(paths[k].c_str(), "w", messages::kNotOpened);
    }
    std::vector<ValveSample> records[arm::kMuscleCount];
    for (std::vector<ValveSample>& muscle : records) {
        muscle.assign(kValveCapacity, ValveSample{});
    }
    float pressures[arm::kPressureChannelCount] = {};

    SetValvesToReference();
    Sleep(1000);
    // One pacer for the four muscles: its work times are the samples', its
    // lateness figures include the pauses between the muscles.
    runs::PacedLoop loop(arm::kMuscleCount * training::kValveSamples);

    TrainingResult result;
    result.end = RunEnd::kCompleted;
    for (int r = 0; r < arm::kMuscleCount; ++r) {
        std::printf("Muscle NO :%d\n", r);
        SetValvesToReference();
        Sleep(1000);
        // Every 20 ms; no allocation, no file, no output.
        const auto excite = [&records, &pressures, r](int q) {
            ValveVoltages[r] =
                training::NextValveCommand(q, ValveVoltages[r], runs::kMuscleReferenceVolts[r]);
            WriteValveVoltages(ValveVoltages);
            records[r][q].voltage = ValveVoltages[r];
            ReadPressures(pressures);
            records[r][q].pressure = pressures[r];
        };
        const runs::PacedLoop::Outcome muscle =
            loop.Run([](int q) { return q < training::kValveSamples; }, excite, redraw);
        for (int j = 0; j < muscle.samples; ++j) {
            std::printf("%f\n", loop.RecordedWorkMs(result.samples + j));
        }
        result.samples += muscle.samples;
        if (result.end == RunEnd::kCompleted) {
            result.end = muscle.end;
        }
    }
    result.timing = loop.Timing();

    result.filesWritten = true;
    for (int k = 0; k < arm::kMuscleCount; ++k) {
        const std::vector<ValveSample>& muscle = records[k];
        // The pressure of a line is the one measured a sample after its voltage.
        training::WriteTrainingFile(
            result, paths[k].c_str(), files[k], "%f  %f  %f\n", training::kValveSamples - 1,
            [&](int q, double* v) {
                v[0] = muscle[q].voltage;
                v[1] = muscle[q + 1].pressure;
                v[2] = static_cast<float>(
                    (static_cast<double>(muscle[q + 1].pressure) - muscle[q].pressure) /
                    runs::kSamplePeriodMs);
            });
    }
    std::printf("Bitti\n");
    return result;
}

TrainingResult RecordCombinedTrainingData(runs::Redraw redraw) {
    TrainingResult result;
    networks::DoubleLinkModel doubleLink;
    bool loaded = doubleLink.LoadWeights();
    networks::UpperLinkModel upperLink;
    loaded = upperLink.LoadWeights() && loaded;
    networks::AnnetModel valves[arm::kMuscleCount] = {
        networks::AnnetModel(1), networks::AnnetModel(2), networks::AnnetModel(3),
        networks::AnnetModel(4)};
    for (networks::AnnetModel& valve : valves) {
        loaded = valve.LoadWeights() && loaded;
    }
    // Networks without weights would drive everything with 0 V; the training
    // files of a previous recording are left as they are.
    if (!loaded) {
        std::printf("Combined training not started: a network's weights did not load\n");
        StopMotorsAndValves();
        return result;
    }

    // Without desired velocities there is nothing to run, and the previous
    // recording stays as it is: the input is opened before the outputs.
    platform::StdioFile velocityFile =
        platform::OpenReporting(kVelocityTrajectoryFile, "r", messages::kDesiredVelocityNotOpened);
    if (!velocityFile) {
        StopMotorsAndValves();
        return result;
    }
    // The tables grow with the file, so a velocity file of any length runs
    // whole; one without three records (empty, or text that is no record)
    // would "complete" without recording anything.
    const std::vector<runs::VelocityRecord> velocities =
        training::ReadVelocityRecords(velocityFile.get(), kVelocityTrajectoryFile);
    const int m = static_cast<int>(velocities.size());
    if (m < 3) {
        std::printf("Combined training not started: %s gives no sample to run (%d records read)\n",
                    kVelocityTrajectoryFile, m);
        StopMotorsAndValves();
        return result;
    }
    platform::StdioFile encoderFile =
        platform::OpenReporting(kEncoderFile, "w", messages::kEncoderValuesNotOpened);
    platform::StdioFile pressureFile =
        platform::OpenReporting(kPressureFile, "w", messages::kFilteredPressureValuesNotOpened);
    platform::StdioFile desiredFile =
        platform::OpenReporting(kDesiredPressureFile, "w", messages::kDesiredPressureNotOpened);

    GoHome();
    HomeMuscles();
    Sleep(1500);
    float pressures[arm::kPressureChannelCount] = {};
    ReadPressures(pressures);
    const float start[arm::kMuscleCount] = {pressures[0], pressures[1], pressures[2], pressures[3]};
    const training::DesiredPressures desired = training::MakeDesiredPressures(start, m);
    std::vector<runs::Sample> samples(m);
    runs::PacedLoop loop(m);
    const runs::TickNetworks nets{
        {&valves[0], &valves[1], &valves[2], &valves[3]}, &doubleLink, &upperLink};

    // Every 20 ms, the control runs' tick; no allocation, no file, no
    // output. Unlike the runs' slope to the next sample, the valve networks
    // get the desired pressure's slope from the previous one (0 on the first).
    const auto record = [&](int q) {
        networks::ValveInputs valveInputs[arm::kMuscleCount];
        for (int k = 0; k < arm::kMuscleCount; ++k) {
            const std::vector<float>& d = desired.pressure[k];
            samples[q].desired[k] = d[q];
            samples[q].slope[k] = desired.slope[k][q];
            valveInputs[k] = networks::ValveInputsOf(d[q], d[q + 1], d[q + 2], samples[q].slope[k]);
        }
        runs::ControlTick(nets, valveInputs, velocities[q], samples[q]);
    };
    const runs::PacedLoop::Outcome outcome =
        loop.Run([m](int q) { return q < m - 2; }, record, redraw);
    result.end = outcome.end;
    result.samples = outcome.samples;
    result.timing = loop.Timing();

    const int lines = m - 3;
    result.filesWritten = true;
    training::WriteTrainingFile(result, kPressureFile, pressureFile, "%f\t\t%f\t\t%f\t\t%f\n",
                                lines, [&](int j, double* v) {
                                    for (int k = 0; k < arm::kMuscleCount; ++k) {
                                        v[k] = samples[j].measured[k];
                                    }
                                });
    training::WriteTrainingFile(result, kDesiredPressureFile, desiredFile, "%f\t\t%f\t\t%f\t\t%f\n",
                                lines, [&](int j, double* v) {
                                    for (int k = 0; k < arm::kMuscleCount; ++k) {
                                        v[k] = desired.pressure[k][j];
                                    }
                                });
    training::WriteTrainingFile(result, kEncoderFile, encoderFile, "%d\t\t%d\t\t%d\t\t%d\t\t%d\n",
                                lines, [&](int j, double* v) {
                                    for (int k = 0; k < arm::kEncoderChannelCount; ++k) {
                                        v[k] = samples[j].counts[k];
                                    }
                                });
    StopMotorsAndValves();
    Sleep(1000);
    return result;
}
