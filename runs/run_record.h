// A control run as the lab notebook keeps it: the files it reads, the logs
// it writes, how it ended and its figures, for every program that starts
// runs (lab-run, tendon). Paths are relative to the lab directory.
#pragma once

#include <vector>

#include "notebook/notebook.h"
#include "runs/runs.h"

namespace runs {

inline constexpr const char* kLinkNetworkFiles[] = {"NeuralFiles/WeightsDoubleLink.txt",
                                                    "NeuralFiles/WeightsUpperLink.txt"};
inline constexpr const char* kValveNetworkFiles[] = {
    "NeuralFiles/WeightsANNET1.txt", "NeuralFiles/WeightsANNET2.txt",
    "NeuralFiles/WeightsANNET3.txt", "NeuralFiles/WeightsANNET4.txt"};
inline constexpr const char* kRunLogFiles[] = {
    "NeuralFiles/LogALLANNETPressures.txt", "NeuralFiles/ALLTrajectoryActualPressureValues.txt",
    "NeuralFiles/ALLTrajectoryActualEncoders.txt", "NeuralFiles/LogTimeALL.txt"};

// Names every file a control run reads to the notebook, before it starts:
// the six networks, the PONNET weights, the three trajectory files.
void RecordRunInputs(notebook::Recorder& recorder);

// How a loop's end reads in the notebook.
notebook::Outcome NotebookOutcome(RunEnd end, bool filesWritten);

// The samples run and, when the log and trajectory in ./NeuralFiles/ give
// them, the pressure and joint RMS.
std::vector<notebook::Figure> RunFigures(const RunResult& result);

}  // namespace runs
