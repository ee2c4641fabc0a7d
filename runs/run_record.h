// A control run as the lab notebook keeps it: the files it reads, the logs
// it writes, how it ended and its figures, for every program that starts
// runs (lab-run, tendon). Paths are relative to the lab directory.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "arm/arm.h"
#include "notebook/notebook.h"
#include "runfiles/catalogue.h"
#include "runs/runs.h"

namespace runs {

inline constexpr const char* kLinkNetworkFiles[] = {runfiles::kDoubleLinkWeights.RelativePath(),
                                                    runfiles::kUpperLinkWeights.RelativePath()};
// The valve networks' weight files, muscle 1 to 4.
std::array<std::string, arm::kMuscleCount> ValveNetworkFiles();
inline constexpr const char* kRunLogFiles[] = {
    runfiles::kRunLog.RelativePath(), runfiles::kRunPressureLog.RelativePath(),
    runfiles::kRunEncoderLog.RelativePath(), runfiles::kRunTimeLog.RelativePath()};

// Names every file a control run reads to the notebook, before it starts:
// the six networks, the PONNET weights, the three trajectory files.
void RecordRunInputs(notebook::Recorder& recorder);

// How a loop's end reads in the notebook.
notebook::Outcome NotebookOutcome(RunEnd end, bool filesWritten);

// The samples run and, when the log and trajectory in ./NeuralFiles/ give
// them, the pressure and joint RMS.
std::vector<notebook::Figure> RunFigures(const RunResult& result);

}  // namespace runs
