// How closely a control run followed its trajectory, from the files the run
// left in NeuralFiles/: its log and the trajectory it ran.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "runfiles/run_files.h"

namespace figures {

struct RunFigures {
    int samples = 0;             // samples the loop ran
    double pressureRms = 0;      // measured against desired pressure, all muscles, bar
    double jointRmsDegrees = 0;  // the muscle-driven joint against trajectory field 0
};

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
