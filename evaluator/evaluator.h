// The fitness evaluator: scores one candidate parameter vector of the fuzzy
// supervisor against a logged run. Every file is a plain name in the working
// directory; the PONNET weights come from kEvaluatorWeightDirectory.
#pragma once

#include <array>
#include <cstdio>
#include <memory>
#include <vector>

#include "evaluator/run_files.h"
#include "model/ponnet_model.h"

namespace evaluator {

// Derives SimALLWeights.txt (one TrajectoryRecord per inner sample) from
// the encoder counts of LogALLANNETPressures.txt: joint angles, their rates
// and accelerations over the 20 ms grid. A log of L records yields L - 3
// records. Returns false when a file could not be opened, read or written.
bool PrepareSimulationInput();

// The trajectory records PrepareSimulationInput writes for a log, before
// their rounding to six decimals: record i belongs to log record i + 1.
std::vector<runfiles::TrajectoryRecord> ReplayRecords(
    const std::vector<runfiles::PressureLogRecord>& log);

// One whole evaluation: writes the fitness to FEval.txt and the console,
// the per-sample predictions to SimLOGFuzzyPressures.txt. Returns the exit
// status: 0 for a computed fitness, 1 when none could be computed (then
// FEval.txt holds inf).
int RunEvaluation();

// Position of an angle in degrees inside its 4-degree bin, in [0, 4).
float BinPhase(float angle);

// Direction flag of every trajectory record: 1 while field 1 rises, 0 while
// it falls, the previous flag while it stays; flag 0 repeats flag 1.
void ComputeDirectionFlags(const std::vector<runfiles::TrajectoryRecord>& trajectory,
                           std::vector<float>& flags);

using MuscleModels = std::array<std::unique_ptr<PonnetModel>, 4>;

// Replays samples 1 to n - 2 with the candidate vector `k`, writing one
// FuzzyPressureLogRecord per sample to `fuzzyLog` (when open), and returns
// the single-precision sum of the squared errors against `measured`, which
// holds at least n - 1 entries. Allocates nothing.
float ReplayErrorSum(MuscleModels& models,
                     const std::vector<runfiles::TrajectoryRecord>& trajectory,
                     const std::vector<float>& flags, const float* k,
                     const std::vector<runfiles::PressureLogRecord>& measured, std::FILE* fuzzyLog);

}  // namespace evaluator
