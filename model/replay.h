// The replay of a logged run through the hybrid pressure model: the motion
// the arm really made, rebuilt as trajectory records from the logged encoder
// counts; the direction flags and bin phases that pick the PONNET networks;
// the own-bin and neighbour-bin predictions; and the error sum and fitness
// of a fuzzy parameter vector. The evaluator, the tuner, the runs, the
// trainer and the reports all use these.
#pragma once

#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "arm/arm.h"
#include "model/ponnet_model.h"
#include "runfiles/run_files.h"

namespace replay {

// The trajectory records of a log of L records: one per inner sample, L - 3
// in all, with joint angles, rates and accelerations over the 20 ms grid.
std::vector<runfiles::TrajectoryRecord> ReplayTrajectory(
    const std::vector<runfiles::PressureLogRecord>& log);

// Reads the replay input back from its text. This is the step that gives
// the records their values: the text holds every field rounded to the six
// decimals of "%f", and the fitness has always been computed on those
// rounded values. False when the text cannot be read as records.
bool ReadRoundedReplayInput(std::FILE* file, std::vector<runfiles::TrajectoryRecord>& trajectory);

// The records as the evaluation reads them back from its replay input:
// each field carries the file's six-decimal rounding, and no records read
// as one record of zeros. The fitness depends on that rounding, so whoever
// scores a log in memory goes through this step. Returns false when the
// text could not be written or read back.
bool RoundTripThroughText(const std::vector<runfiles::TrajectoryRecord>& written,
                          std::vector<runfiles::TrajectoryRecord>& read);

// Position of an angle in degrees inside its 4-degree bin, in [0, 4).
float BinPhase(float angle);

// The side of the neighbour bin the fuzzy blend mixes in at bin phase
// `phase`: the nearer one, -1 (below) up to phase 2, else +1 (above). The
// neighbour's direction flag is that of the sample on the same side.
inline int NeighbourSide(float phase) { return phase <= 2 ? -1 : +1; }

// Direction flag of every trajectory record: 1 while field 1 rises, 0 while
// it falls, the previous flag while it stays; flag 0 repeats flag 1.
void ComputeDirectionFlags(const std::vector<runfiles::TrajectoryRecord>& trajectory,
                           std::vector<float>& flags);

using MuscleModels = std::array<std::unique_ptr<PonnetModel>, arm::kMuscleCount>;

// Builds the four models, muscle 1 to 4, each constructed, allocated and
// loaded from `weightDirectory` before the next, while no command replaces
// the family (labdir::FamilyReadLock). Returns false when a weight file
// could not be read (the models report which) or the family could not be
// held (a line says why).
bool LoadModels(const std::string& weightDirectory, MuscleModels& models);

// The own-bin and neighbour-bin predictions of muscles 1 to 4 for sample
// d (1 <= d <= n - 2): the neighbour on the nearer side of the bin, each
// pass with its own direction flag. Returns the sample's bin phase, which
// chose the neighbour. Allocates nothing.
float PredictSample(const MuscleModels& models,
                    const std::vector<runfiles::TrajectoryRecord>& trajectory,
                    const std::vector<float>& flags, std::size_t d, float* own, float* neighbour);

// The error sum after adding the squared misses of muscles 1 to 4 in order,
// stored as a 32-bit real after each addition.
inline float AddSquaredMisses(float errorSum, const float* measured, const float* blended) {
    for (int m = 0; m < arm::kMuscleCount; ++m) {
        const double miss = double(measured[m]) - blended[m];
        errorSum = float(errorSum + miss * miss);
    }
    return errorSum;
}

// The fitness of an error sum over samples 1 to n - 2 of n trajectory
// records: the root of the mean squared error, in double precision.
inline double FitnessOf(float errorSum, std::size_t records) {
    return std::sqrt(double(errorSum) / (4.0 * double(records - 2)));
}

// Replays samples 1 to n - 2 with the candidate vector `k`, writing one
// FuzzyPressureLogRecord per sample to `fuzzyLog` (when open), and returns
// the single-precision sum of the squared errors against `measured`, which
// holds at least n - 1 entries. Allocates nothing.
float ReplayErrorSum(const MuscleModels& models,
                     const std::vector<runfiles::TrajectoryRecord>& trajectory,
                     const std::vector<float>& flags, const float* k,
                     const std::vector<runfiles::PressureLogRecord>& measured, std::FILE* fuzzyLog);

}  // namespace replay
