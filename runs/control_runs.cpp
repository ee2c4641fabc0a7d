// The two real-time control runs. Both load ten networks, read the
// trajectory, compute the desired pressure of every sample before the first
// one, run the 20 ms loop and write three logs after it; they differ only in
// how the desired pressures are made.
#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "arm/arm.h"
#include "cards/daq_card.h"
#include "cards/motion_card.h"
#include "labdir/family_swap.h"
#include "model/fuzzy_supervisor.h"
#include "model/ponnet_model.h"
#include "model/replay.h"
#include "networks/networks.h"
#include "platform/clock.h"
#include "platform/fixed_messages.h"
#include "platform/stdio_file.h"
#include "runfiles/catalogue.h"
#include "runfiles/run_files.h"
#include "runs/control_tick.h"
#include "runs/paced_loop.h"
#include "runs/runs.h"
#include "runs/velocity_record.h"
#include "trajectory/trajectory.h"

namespace {

using File = platform::StdioFile;
using runfiles::TrajectoryRecord;
using runs::RunEnd;
using runs::VelocityRecord;

constexpr const char* kEncoderLogFile = runfiles::kRunEncoderLog.path;
constexpr const char* kPressureLogFile = runfiles::kRunPressureLog.path;
constexpr const char* kTimeLogFile = runfiles::kRunTimeLog.path;
constexpr const char* kRunLogFile = runfiles::kRunLog.path;

constexpr const char* kPressureLineFormat = "%d\t%f\t\t%f\t\t%f\t\t%f\n";
constexpr const char* kEncoderLineFormat = "%d\t%d\t\t%d\t\t%d\t\t%d\t\t%d\n";

constexpr float kSlopeDivisor = float(arm::kSamplePeriodMs);

// The ten networks of a run. Members are destroyed in reverse order: the
// pressure networks 4 to 1, the valve networks 4 to 1, the upper link, the
// double link.
struct Networks {
    std::optional<networks::DoubleLinkModel> doubleLink;
    std::optional<networks::UpperLinkModel> upperLink;
    std::optional<networks::AnnetModel> valve[arm::kMuscleCount];
    replay::MuscleModels pressure;
};

// Builds the networks one after the other, each loaded before the next is
// constructed; every network reports its own trouble. Writes the first one
// that did not load into `problem` and returns false, or returns true.
bool BuildNetworks(Networks& nets, char (&problem)[runs::kProblemCapacity]) {
    // Loaded while no command replaces a family, here or where links lead.
    std::string refusal;
    const auto held = labdir::FamilyReadLock::Take(
        {runfiles::kValveWeights.Path(1), runfiles::kValveWeights.Path(2),
         runfiles::kValveWeights.Path(3), runfiles::kValveWeights.Path(4),
         runfiles::kDoubleLinkWeights.path, runfiles::kUpperLinkWeights.path,
         runfiles::kPonnetDirectory},
        refusal);
    if (!held) {
        std::snprintf(problem, sizeof problem, "%s", refusal.c_str());
        return false;
    }
    const auto note = [&problem](bool loaded, const std::string& what) {
        if (!loaded && problem[0] == '\0') {
            std::snprintf(problem, sizeof problem, "%s did not load", what.c_str());
        }
    };
    nets.doubleLink.emplace();
    note(nets.doubleLink->LoadWeights(), runfiles::kDoubleLinkWeights.Name());
    nets.upperLink.emplace();
    note(nets.upperLink->LoadWeights(), runfiles::kUpperLinkWeights.Name());
    for (int m = 0; m < arm::kMuscleCount; ++m) {
        nets.valve[m].emplace(m + 1);
        note(nets.valve[m]->LoadWeights(), runfiles::kValveWeights.Name(m + 1));
    }
    for (int m = 0; m < arm::kMuscleCount; ++m) {
        nets.pressure[m] = std::make_unique<PonnetModel>(m + 1, kConsoleWeightDirectory);
        note(nets.pressure[m]->LoadWeights(),
             "the PONNET weights of muscle " + std::to_string(m + 1));
    }
    return problem[0] == '\0';
}

// The six files of a run, in the order they are closed.
struct RunFiles {
    File encoderLog, pressureLog, velocity, trajectory, timeLog, runLog;
};

// The two inputs, opened before any log so that a run that cannot read them
// leaves the previous run's logs alone.
void OpenInputs(RunFiles& files) {
    using platform::OpenReporting;
    files.velocity =
        OpenReporting(kVelocityTrajectoryFile, "r", messages::kDesiredVelocityNotOpened);
    files.trajectory = OpenReporting(kDynamicTermsFile, "r", messages::kDesiredPressureNotOpened);
}

// The four logs, created or emptied in this order.
void OpenLogs(RunFiles& files) {
    using platform::OpenReporting;
    files.encoderLog = OpenReporting(kEncoderLogFile, "w", messages::kEncoderValuesNotOpened);
    files.pressureLog =
        OpenReporting(kPressureLogFile, "w", messages::kFilteredPressureValuesNotOpened);
    files.timeLog = OpenReporting(kTimeLogFile, "w", messages::kLogTimeNotOpened);
    // The run log's failure names LogTime, as it always has.
    files.runLog = OpenReporting(kRunLogFile, "w", messages::kLogTimeNotOpened);
}

// Closes the files in order; the names of the logs that were not written
// and closed cleanly, separated by blanks (empty when all were).
std::string CloseRunFiles(RunFiles& files) {
    const std::pair<File*, const char*> closing[] = {
        {&files.encoderLog, kEncoderLogFile}, {&files.pressureLog, kPressureLogFile},
        {&files.velocity, nullptr},           {&files.trajectory, nullptr},
        {&files.timeLog, kTimeLogFile},       {&files.runLog, kRunLogFile}};
    std::string failed;
    for (const auto& [file, name] : closing) {
        const bool error = *file && std::ferror(file->get());
        if (*file && (std::fclose(file->release()) != 0 || error) && name != nullptr) {
            failed += (failed.empty() ? "" : " ") + std::string(name);
        }
    }
    return failed;
}

// The name of the input that could not be opened, or nothing when both were.
const char* UnopenedInput(const RunFiles& files) {
    if (!files.velocity) {
        return runfiles::kVelocityTrajectory.Name();
    }
    if (!files.trajectory) {
        return runfiles::kDynamicTerms.Name();
    }
    return nullptr;
}

bool LogsOpen(const RunFiles& files) {
    return files.encoderLog && files.pressureLog && files.timeLog && files.runLog;
}

// Prints the outcome line of a run that did not simply complete.
void PrintOutcome(const runs::RunResult& result) {
    if (const runs::OutcomeLine line = runs::DescribeOutcome(result); line.text[0] != '\0') {
        std::printf("%s\n", line.text);
    }
}

runs::RunResult Refuse(runs::RunResult result, RunFiles& files) {
    result.end = RunEnd::kRefusedAtStart;
    PrintOutcome(result);
    StopMotorsAndValves();
    CloseRunFiles(files);
    return result;
}

// The table of a run, index = sample number k: the desired pressures and
// their slopes to the next sample before the loop, the rest by its ticks.
using runs::Sample;

// Hybrid: trajectory line i, with the direction of the step that led to it,
// gives the desired pressure of sample i - 1: the own bin's prediction
// blended with the nearer neighbour bin's by the fuzzy supervisor.
void PrepareHybridPressures(const std::vector<TrajectoryRecord>& trajectory,
                            replay::MuscleModels& models, const float* k,
                            std::vector<Sample>& samples) {
    std::vector<float> flags;
    replay::ComputeDirectionFlags(trajectory, flags);
    float x[PonnetModel::kInputSize] = {};
    for (std::size_t i = 1; i < trajectory.size(); ++i) {
        const float* fields = trajectory[i].field;
        const float phase = replay::BinPhase(fields[0]);
        std::copy(fields, fields + TrajectoryRecord::kFieldCount, x);
        x[PonnetModel::kInputs] = flags[i];
        float neighbour[arm::kMuscleCount], own[arm::kMuscleCount];
        const int side = replay::NeighbourSide(phase);
        for (int m = 0; m < arm::kMuscleCount; ++m) {
            models[m]->Evaluate(x, &neighbour[m], side);
        }
        for (int m = 0; m < arm::kMuscleCount; ++m) {
            models[m]->Evaluate(x, &own[m], 0);
        }
        fuzzy::Blend(fuzzy::BlendWeight(phase, k), own, neighbour, samples[i - 1].desired);
    }
}

// Neural only: trajectory line i - 1, with the direction of its step towards
// line i, gives the desired pressure of sample i - 1 from the own bin alone.
void PrepareNeuralPressures(const std::vector<TrajectoryRecord>& trajectory,
                            replay::MuscleModels& models, std::vector<Sample>& samples) {
    std::vector<float> flags;
    replay::ComputeDirectionFlags(trajectory, flags);
    float x[PonnetModel::kInputSize] = {};
    for (std::size_t i = 1; i < trajectory.size(); ++i) {
        x[PonnetModel::kInputs] = flags[i];
        std::copy(trajectory[i - 1].field, trajectory[i - 1].field + TrajectoryRecord::kFieldCount,
                  x);
        for (int m = 0; m < arm::kMuscleCount; ++m) {
            models[m]->Evaluate(x, &samples[i - 1].desired[m], 0);
        }
    }
}

void ComputeSlopes(std::vector<Sample>& samples) {
    for (std::size_t i = 0; i + 2 < samples.size(); ++i) {
        for (int m = 0; m < arm::kMuscleCount; ++m) {
            samples[i].slope[m] =
                (samples[i + 1].desired[m] - samples[i].desired[m]) / kSlopeDivisor;
        }
    }
}

// One sample, in the 20 ms loop: the valve networks see the desired
// pressures of this sample and the next two, with the slope to the next.
void RunSample(const runs::TickNetworks& nets, const VelocityRecord& velocity,
               std::vector<Sample>& samples, std::size_t k) {
    Sample& sample = samples[k];
    networks::ValveInputs valveInputs[arm::kMuscleCount];
    for (int m = 0; m < arm::kMuscleCount; ++m) {
        valveInputs[m] = networks::ValveInputsOf(sample.desired[m], samples[k + 1].desired[m],
                                                 samples[k + 2].desired[m], sample.slope[m]);
    }
    runs::ControlTick(nets, valveInputs, velocity, sample);
}

// The real-time loop over samples 1 to n - 4, each checked for the stops
// first and only then against the trajectory's end, so that a stop found
// after the last sample still ends the run as a stop. Every 20 ms; nothing
// allocated, opened or printed.
RunEnd RunSamples(const runs::TickNetworks& nets, const std::vector<VelocityRecord>& velocities,
                  std::vector<Sample>& samples, runs::Redraw redraw, runs::PacedLoop& loop) {
    const std::size_t n = samples.size();
    return loop
        .Run([n](int i) { return std::size_t(i) + 4 < n; },
             [&](int i) { RunSample(nets, velocities[i + 1], samples, std::size_t(i) + 1); },
             redraw)
        .end;
}

// One line per sample 1 to n - 4 in each log, whatever ended the loop.
// False when a line could not be written.
// The three log lines of sample j, each from its Sample alone.
std::array<double, 5> PressureLogLine(const Sample& s, std::size_t j) {
    return {double(j), s.measured[0], s.measured[1], s.measured[2], s.measured[3]};
}
std::array<double, 6> EncoderLogLine(const Sample& s, std::size_t j) {
    return {double(s.counts[0]), double(s.counts[1]), double(s.counts[2]),
            double(s.counts[3]), double(s.counts[4]), double(j)};
}
runfiles::PressureLogRecord RunLogRecord(const Sample& s, std::size_t j) {
    runfiles::PressureLogRecord record;
    record.sample = int(j);
    std::copy(s.desired, s.desired + arm::kMuscleCount, record.desired);
    std::copy(s.measured, s.measured + arm::kMuscleCount, record.measured);
    std::copy(s.valveComputed, s.valveComputed + arm::kMuscleCount, record.valve);
    std::copy(s.counts, s.counts + arm::kEncoderChannelCount, record.counts);
    return record;
}

bool WriteLogs(RunFiles& files, const std::vector<Sample>& samples) {
    bool written = true;
    for (std::size_t j = 1; j + 4 <= samples.size(); ++j) {
        const Sample& s = samples[j];
        // Each log gets its line whether or not another one's write failed.
        const bool pressureLine = platform::WriteLine(files.pressureLog.get(), kPressureLineFormat,
                                                      PressureLogLine(s, j).data()) >= 0;
        const bool encoderLine = platform::WriteLine(files.encoderLog.get(), kEncoderLineFormat,
                                                     EncoderLogLine(s, j).data()) >= 0;
        const bool runLine = runfiles::Write(files.runLog.get(), RunLogRecord(s, j)) >= 0;
        written = written && pressureLine && encoderLine && runLine;
    }
    return written;
}

enum class Method { kHybrid, kNeural };

runs::RunResult Run(Method method, runs::Redraw redraw, const float* k) {
    runs::RunResult result;
    Networks nets;
    if (!BuildNetworks(nets, result.problem)) {
        RunFiles none;
        return Refuse(result, none);
    }
    RunFiles files;
    OpenInputs(files);
    if (const char* input = UnopenedInput(files)) {
        std::snprintf(result.problem, sizeof result.problem, "%s could not be opened", input);
        return Refuse(result, files);
    }

    std::vector<VelocityRecord> velocities;
    const std::string velocityUnread = runfiles::ReadAll(files.velocity.get(), velocities).unread;
    std::vector<TrajectoryRecord> trajectory;
    const std::string trajectoryUnread =
        runfiles::ReadAll(files.trajectory.get(), trajectory).unread;
    if (!velocityUnread.empty() || !trajectoryUnread.empty()) {
        const bool velocity = !velocityUnread.empty();
        std::snprintf(result.problem, sizeof result.problem, "%s %s; not read",
                      velocity ? runfiles::kVelocityTrajectory.Name() : kDynamicTermsFile,
                      (velocity ? velocityUnread : trajectoryUnread).c_str());
        return Refuse(result, files);
    }
    // Tables as long as the trajectory: sample k reads velocity line k.
    const std::size_t n = trajectory.size();
    const std::size_t sampleCount = n > 4 ? n - 4 : 0;
    result.sampleTotal = static_cast<int>(sampleCount);
    // An empty trajectory, or one of text that is no record, would
    // "complete" without a sample.
    if (sampleCount == 0) {
        std::snprintf(result.problem, sizeof result.problem,
                      "%s gives no sample to run (%zu records read, at least 5 needed)",
                      kDynamicTermsFile, n);
        return Refuse(result, files);
    }
    if (velocities.size() < sampleCount + 1) {
        std::snprintf(result.problem, sizeof result.problem,
                      "%s has %zu lines, the trajectory needs %zu",
                      runfiles::kVelocityTrajectory.Name(), velocities.size(), sampleCount + 1);
        return Refuse(result, files);
    }
    OpenLogs(files);
    if (!LogsOpen(files)) {
        std::snprintf(result.problem, sizeof result.problem,
                      "a log file could not be opened for writing");
        return Refuse(result, files);
    }
    Sleep(100);

    std::vector<Sample> samples(n);
    if (method == Method::kHybrid) {
        PrepareHybridPressures(trajectory, nets.pressure, k, samples);
    } else {
        PrepareNeuralPressures(trajectory, nets.pressure, samples);
    }
    ComputeSlopes(samples);

    runs::PacedLoop loop(static_cast<int>(sampleCount), runs::Pacing::kFromSampleStart,
                         runs::EndTest::kAfterStops);
    const runs::TickNetworks tickNets{
        {&*nets.valve[0], &*nets.valve[1], &*nets.valve[2], &*nets.valve[3]},
        &*nets.doubleLink,
        &*nets.upperLink};
    result.end = RunSamples(tickNets, velocities, samples, redraw, loop);
    result.timing = loop.Timing();

    const bool written = WriteLogs(files, samples);
    StopMotorsAndValves();
    Sleep(1000);
    const std::string failed = CloseRunFiles(files);
    result.logsWritten = failed.empty() && written;
    if (!result.logsWritten) {
        std::printf("Run logs not written completely: %s\n", failed.c_str());
    }
    PrintOutcome(result);
    return result;
}

}  // namespace

runs::RunResult RunHybridControl(runs::Redraw redraw,
                                 const std::array<float, fuzzy::kParameterCount>& k) {
    return Run(Method::kHybrid, redraw, k.data());
}

runs::RunResult RunNeuralControl(runs::Redraw redraw) {
    return Run(Method::kNeural, redraw, nullptr);
}
