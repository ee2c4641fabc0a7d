// The fitness evaluator: scores one candidate parameter vector of the fuzzy
// supervisor against a logged run. Every file is a plain name in the working
// directory; the PONNET weights come from kEvaluatorWeightDirectory.
#pragma once

namespace evaluator {

// Derives kReplayInput (one TrajectoryRecord per inner sample) from
// the encoder counts of the run log (runfiles::kRunLog): joint angles, their rates
// and accelerations over the 20 ms grid. A log of L records yields L - 3
// records. Returns false when a file could not be opened, read or written.
// The replay reads the file back (replay::ReadRoundedReplayInput) instead of using
// the records it computed.
bool PrepareSimulationInput();

// One whole evaluation: writes the fitness to kFitness and the console,
// the per-sample predictions to kFuzzyPressureLog. Returns the exit
// status: 0 for a computed fitness, 1 when none could be computed (then
// kFitness holds inf).
int RunEvaluation();

}  // namespace evaluator
