// How closely a control run followed its trajectory: which samples of its
// log ran, the RMS errors of those samples and the samples that asked what
// the arm cannot do. The one place these are computed, for run-figures,
// run-report, lab-run's summary and the notebook.
//
//     std::string problem;
//     const auto run = figures::ReadRunFigures(".", problem);
//     if (!run) { puts(problem.c_str()); }
#pragma once

#include <array>
#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "arm/arm.h"
#include "runfiles/run_files.h"
#include "runfiles/strict_reader.h"

namespace figures {

// Samples run whose commands lay outside what the arm can do
// (arm::ValveCommandReachable, arm::PressureReachable).
struct Saturation {
    int valve = 0;     // a valve command below 0 V or above 8 V, in any muscle
    int pressure = 0;  // a desired pressure below 0 bar or above the supply, in any muscle
    int samples = 0;   // either
    std::array<int, arm::kMuscleCount> valveByMuscle{};
    std::array<int, arm::kMuscleCount> pressureByMuscle{};
};

inline constexpr int kMotorAxisCount = 3;

struct RunFigures {
    int samples = 0;         // samples counted (the samples the loop ran)
    double pressureRms = 0;  // measured against desired pressure, all muscles, bar
    std::array<double, arm::kMuscleCount> musclePressureRms{};  // each muscle's, bar
    // Counts of axes 0, 1, 2 against their desired counts; zero when the
    // desired counts were not given.
    std::array<double, kMotorAxisCount> axisRmsCounts{};
    double jointRmsDegrees = 0;  // the muscle-driven joint against trajectory field 0
    Saturation saturation;
};

// Whether the loop reached a record: a run stopped early logs zeros for
// everything measured and sent (pressures, valve commands, counts) in the
// samples after its last.
bool Ran(const runfiles::PressureLogRecord& record);
// The records up to the last one the loop reached.
std::size_t SamplesRun(const std::vector<runfiles::PressureLogRecord>& log);

// The muscle-driven joint's angle in degrees from a record's encoders 3 and 4.
double JointAngleDegrees(const runfiles::PressureLogRecord& record);

// Saturation over the first `samples` records.
Saturation SaturationOf(const std::vector<runfiles::PressureLogRecord>& log, std::size_t samples);

struct Options {
    // Sample k's desired counts are line k of the encoder trajectory; the
    // axis figures are computed when these are given.
    const runfiles::Rows* desiredCounts = nullptr;
    // At most this many of the samples run are counted.
    std::size_t samples = std::numeric_limits<std::size_t>::max();
};

// Log record j holds the counts read in sample j right after its commands,
// before its 20 ms of motion: where samples 1 to j - 1 took the arm, the
// pose of trajectory line j - 1 (sample k drives the step from line k - 1 to
// line k). Every record's sample number must lie on the trajectory (and the
// desired counts), run or not: a log from a longer trajectory is not this
// one's. Nothing when no sample ran or a record lies beyond; then `problem`
// says which.
std::optional<RunFigures> FiguresOf(const std::vector<runfiles::PressureLogRecord>& log,
                                    const std::vector<runfiles::TrajectoryRecord>& trajectory,
                                    std::string& problem, const Options& options = {});

// Reads a run's log and the trajectory it ran along; on a problem, says
// which file on `problem`.
std::optional<RunFigures> ReadRunFigures(const std::string& log, const std::string& trajectory,
                                         std::string& problem);
// The same for the run just made below DIR (runfiles::kRunLog, kDynamicTerms).
std::optional<RunFigures> ReadRunFigures(const std::string& dir, std::string& problem);

}  // namespace figures
