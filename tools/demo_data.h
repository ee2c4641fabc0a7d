// Synthetic demo data for the evaluator: a PONNET weight set and a logged run.
#pragma once

#include <string>

#include "runfiles/catalogue.h"

namespace demo {

// The two directories the demo data go into, below DIR.
inline constexpr const char* kWeightDirectory = runfiles::kPonnetDirectory;
inline constexpr const char* kArbiterDirectory = "arbiter";

// Writes, from `seed`, into directories that must exist:
//   DIR/kWeightDirectory/, the general file (runfiles::kPonnetGeneralWeights) and the 288 per-bin
//   files of muscles 1 to 4, networks that predict a smooth pressure law
//   near each bin's centre;
//   the run log (runfiles::kRunLog) in DIR/arbiter, `samples` records of a smooth
//   swing of the muscle joint with shoulder and elbow motion and measured
//   pressures that follow the same law plus noise;
//   the candidate file (runfiles::kCandidate) in DIR/arbiter holding
//   fuzzy::kHybridRunVector.
// Returns false (after a message on stderr) when a file cannot be written.
bool WriteDemoData(const std::string& dir, unsigned seed, int samples);

}  // namespace demo
