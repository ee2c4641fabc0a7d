// How closely a control run followed its trajectory, from the files the run
// left in NeuralFiles/: its log and the trajectory it ran.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "runfiles/run_files.h"

namespace figures {

// Samples run whose commands lay outside what the arm can do
// (arm::ValveCommandReachable, arm::PressureReachable), in any muscle.
struct Saturation {
    int valve = 0;     // a valve command below 0 V or above 8 V
    int pressure = 0;  // a desired pressure below 0 bar or above the supply
    int samples = 0;   // either
};

struct RunFigures {
    int samples = 0;             // samples the loop ran
    double pressureRms = 0;      // measured against desired pressure, all muscles, bar
    double jointRmsDegrees = 0;  // the muscle-driven joint against trajectory field 0
    Saturation saturation;
};

// The records the loop reached: a run stopped early logs zero pressures for
// the samples after its last, and those are left out.
std::size_t SamplesRun(const std::vector<runfiles::PressureLogRecord>& log);

// Saturation over the first `samplesRun` records.
Saturation SaturationOf(const std::vector<runfiles::PressureLogRecord>& log,
                        std::size_t samplesRun);

// Log record j holds the counts read in sample j right after its commands,
// before its 20 ms of motion: where samples 1 to j - 1 took the arm, the
// pose of trajectory line j - 1 (sample k drives the step from line k - 1 to
// line k). Samples the loop did not reach are logged with zero pressures and
// counted out. Nothing when no sample ran or the trajectory is shorter than
// the samples run.
std::optional<RunFigures> FiguresOf(const std::vector<runfiles::PressureLogRecord>& log,
                                    const std::vector<runfiles::TrajectoryRecord>& trajectory);

// Reads DIR/NeuralFiles/LogALLANNETPressures.txt and
// SinTrajectoryALLWeights.txt; on a problem, says which file on `problem`.
std::optional<RunFigures> ReadRunFigures(const std::string& dir, std::string& problem);

}  // namespace figures
