// How closely a control run followed its trajectory, from the files the run
// left in NeuralFiles/: its log and the trajectory it ran.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "evaluator/run_files.h"

namespace figures {

struct RunFigures {
    int samples = 0;           // samples the loop ran
    double pressureRms = 0;    // measured against desired pressure, all muscles, bar
    double jointRmsDegrees = 0;  // the muscle-driven joint against trajectory field 0
};

// Log record j (sample j) holds the counts read at the end of sample j,
// where the arm should stand at trajectory line j (from 0): sample j drives
// velocity line j, the step from line j - 1 to line j. Samples the loop did not
// reach are logged with zero pressures and counted out. Nothing when no
// sample ran or the trajectory is shorter than the samples run.
std::optional<RunFigures> FiguresOf(const std::vector<runfiles::PressureLogRecord>& log,
                                    const std::vector<runfiles::TrajectoryRecord>& trajectory);

// Reads DIR/NeuralFiles/LogALLANNETPressures.txt and
// SinTrajectoryALLWeights.txt; on a problem, says which file on `problem`.
std::optional<RunFigures> ReadRunFigures(const std::string& dir, std::string& problem);

}  // namespace figures
