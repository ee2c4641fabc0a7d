// The network trainer: fits the valve, link and pressure networks to the
// lab's own recordings and writes their weight files into ./NeuralFiles/ of
// the working directory, in the layouts the networks load.
//
// Each family is fitted whole before anything is written; its files are
// then written into a staging directory and swapped in together, so a
// family is either replaced completely or left as it was. The errors reported are
// measured through the system's own network classes after the files are
// read back, in the 32-bit arithmetic of the runs.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "runfiles/catalogue.h"

namespace trainer {

struct TrainingOptions {
    std::uint64_t seed = 1;
    int restarts = 4;         // seeded starts per network
    int maxIterations = 150;  // Levenberg-Marquardt steps per start
};

// One network's outcome. Samples and errors are over the fitted samples:
// the held-out fifth decided when fitting stopped.
struct NetworkReport {
    std::string file;  // relative to NeuralFiles/
    int trainingSamples = 0;
    int heldOutSamples = 0;
    double trainingRms = 0;
    double heldOutRms = 0;
    const char* unit = "";  // "V" or "bar"
    // Empty for a network fitted on its own samples; otherwise what it was
    // fitted on instead ("bins -8 to 0").
    std::string fallback;
};

struct FamilyReport {
    std::string family;  // "valves", "links" or "pressure"
    // True when every file of the family was fitted and written; false
    // leaves the family's files as they were, unless `mixed`: a failed
    // replacement could not be undone, and the next command in the lab
    // completes it.
    bool written = false;
    bool mixed = false;
    // What was noticed about the recordings (missing, short, cut short),
    // and why the family was not written; one line each.
    std::vector<std::string> notes;
    std::vector<NetworkReport> networks;
};

// The four per-muscle excitation files of the pressure training procedure:
// PREFIX1.txt to PREFIX4.txt.
inline constexpr const char* kValveRecordingPrefix = runfiles::kValveRecording.prefix;
std::array<std::string, 4> ValveRecordings(const std::string& prefix = kValveRecordingPrefix);
// kValveWeights 1 to 4: per muscle, the valve voltage from the pressures
// it produced, with the inputs the control runs build.
FamilyReport TrainValveNetworks(const std::array<std::string, 4>& recordings,
                                const TrainingOptions& options);

// The motor excitation files: commanded voltages and resulting velocities.
struct MotorRecordings {
    std::string voltages = runfiles::kMotorVoltages.path;
    std::string velocities = runfiles::kMotorVelocities.path;
};
// kDoubleLinkWeights and kUpperLinkWeights: desired velocities
// (counts per ms) to the voltages that produced them.
FamilyReport TrainLinkNetworks(const MotorRecordings& recordings, const TrainingOptions& options);

// A run's encoder counts and measured pressures: the combined training
// run's two files, or a run log (runfiles::kRunLog) when `runLog` is set.
struct PressureRecordings {
    std::string encoders = runfiles::kCombinedEncoders.path;
    std::string pressures = runfiles::kCombinedPressures.path;
    std::string runLog;
};
// kPonnetGeneralWeights and the 288 per-bin files: the run's
// motion as replay records, each paired with its measured pressures and
// given to the two networks the evaluator predicts it with: that of its bin
// and direction set, and the neighbour on the nearer side of its bin. A bin
// and set with fewer than kMinPressureSamples samples gets a network fitted
// on the nearest bins of the same set that together have enough.
inline constexpr int kMinPressureSamples = 40;
FamilyReport TrainPressureNetworks(const PressureRecordings& recordings,
                                   const TrainingOptions& options);

// The report as an aligned table: notes, one line per network, a summary.
void PrintReport(std::FILE* out, const FamilyReport& report);
// The networks as CSV with a header line; false when it cannot be written.
bool WriteReportCsv(const std::string& path, const FamilyReport& report);

}  // namespace trainer
