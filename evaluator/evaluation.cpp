// One evaluation of a candidate: replay the logged motion through the four
// PONNET models, blend neighbouring bins with the fuzzy supervisor and score
// the blended predictions against the measured pressures.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>

#include "arm/arm.h"
#include "evaluator/evaluator.h"
#include "model/fuzzy_supervisor.h"
#include "platform/clock.h"
#include "platform/fixed_messages.h"
#include "platform/stdio_file.h"

namespace evaluator {
namespace {

using runfiles::CandidateFile;
using runfiles::PressureLogRecord;
using runfiles::TrajectoryRecord;

using platform::StdioFile;

// Prints why the evaluation cannot produce a fitness and marks it failed.
void Refuse(bool& failed, const char* reason) {
    std::printf("No fitness computed: %s\n", reason);
    failed = true;
}

// Reads the run file `name` whole into `records` unless it is too large or
// not a file; false when it was not read or held unreadable text.
template <typename Record>
bool ReadWhole(std::FILE* file, const char* name, std::vector<Record>& records) {
    const std::string problem = platform::ReadWholeProblem(file);
    if (!problem.empty()) {
        std::printf("%s %s; not read\n", name, problem.c_str());
        return false;
    }
    return !runfiles::ReadAll(file, records).stalled;
}

// Whether every write to `file` succeeded and it closed cleanly; says which
// file did not.
bool Closed(StdioFile& file, const char* name) {
    if (!std::ferror(file.get()) && std::fclose(file.release()) == 0) {
        return true;
    }
    std::printf("%s: write failed\n", name);
    return false;
}

// The closing line of a failed evaluation: where the files were looked for.
void SayWhereItLooked() {
    std::error_code error;
    const auto here = std::filesystem::current_path(error);
    const auto weights =
        std::filesystem::absolute(kEvaluatorWeightDirectory, error).lexically_normal();
    std::printf("No fitness computed: looked in %s, weights in %s\n", here.c_str(),
                weights.c_str());
}

}  // namespace

bool ReadRoundedReplayInput(std::FILE* file, std::vector<TrajectoryRecord>& trajectory) {
    return !runfiles::ReadAll(file, trajectory).stalled;
}

float BinPhase(float angle) {
    const double c = angle;
    return float(c - 4 * std::floor(c / 4));
}

void ComputeDirectionFlags(const std::vector<TrajectoryRecord>& trajectory,
                           std::vector<float>& flags) {
    const std::size_t n = trajectory.size();
    flags.assign(n, 0.0f);
    for (std::size_t i = 1; i < n; ++i) {
        const float previous = trajectory[i - 1].field[0], current = trajectory[i].field[0];
        if (previous < current) {
            flags[i] = 1.0f;
        } else if (previous > current) {
            flags[i] = 0.0f;
        } else {
            flags[i] = flags[i - 1];
        }
    }
    if (n >= 2) {
        flags[0] = flags[1];
    }
}

bool LoadModels(const std::string& weightDirectory, MuscleModels& models) {
    bool loaded = true;
    for (int m = 0; m < arm::kMuscleCount; ++m) {
        models[m] = std::make_unique<PonnetModel>(m + 1, weightDirectory);
        models[m]->Allocate();
        loaded = models[m]->LoadWeights() && loaded;
    }
    return loaded;
}

float PredictSample(MuscleModels& models, const std::vector<TrajectoryRecord>& trajectory,
                    const std::vector<float>& flags, std::size_t d, float* own, float* neighbour) {
    const float* fields = trajectory[d].field;
    float x[PonnetModel::kInputSize];
    std::copy(fields, fields + TrajectoryRecord::kFieldCount, x);

    // The neighbour on the nearer side of the bin: below up to phase 2.
    const float phase = BinPhase(fields[0]);
    const bool below = phase <= 2;
    x[PonnetModel::kInputs] = below ? flags[d - 1] : flags[d + 1];
    for (int m = 0; m < arm::kMuscleCount; ++m) {
        models[m]->Evaluate(x, &neighbour[m], below ? -1 : +1);
    }

    x[PonnetModel::kInputs] = flags[d];
    for (int m = 0; m < arm::kMuscleCount; ++m) {
        models[m]->Evaluate(x, &own[m], 0);
    }
    return phase;
}

float ReplayErrorSum(MuscleModels& models, const std::vector<TrajectoryRecord>& trajectory,
                     const std::vector<float>& flags, const float* k,
                     const std::vector<PressureLogRecord>& measured, std::FILE* fuzzyLog) {
    float errorSum = 0.0f;
    for (std::size_t d = 1; d + 1 < trajectory.size(); ++d) {
        runfiles::FuzzyPressureLogRecord record;
        float neighbour[arm::kMuscleCount];
        const float phase = PredictSample(models, trajectory, flags, d, record.own, neighbour);
        fuzzy::Blend(fuzzy::BlendWeight(phase, k), record.own, neighbour, record.blended);
        errorSum = AddSquaredMisses(errorSum, measured[d].measured, record.blended);
        if (fuzzyLog) {
            runfiles::Write(fuzzyLog, record);
        }
    }
    return errorSum;
}

int RunEvaluation() {
    bool failed = false;

    MuscleModels models;
    const bool weightsLoaded = LoadModels(kEvaluatorWeightDirectory, models);
    Sleep(200);

    const bool inputPrepared = PrepareSimulationInput();
    Sleep(100);

    StdioFile trajectoryFile =
        platform::OpenReporting("SimALLWeights.txt", "r", messages::kReplayInputNotRead);
    StdioFile fuzzyLog =
        platform::OpenReporting("SimLOGFuzzyPressures.txt", "w", messages::kFuzzyLogNotOpened);
    StdioFile candidateFile =
        platform::OpenReporting("KFFile.txt", "r", messages::kCandidateFileNotOpened);
    StdioFile fitnessFile =
        platform::OpenReporting("FEval.txt", "w", messages::kFitnessFileNotOpened);
    StdioFile logFile =
        platform::OpenReporting("LogALLANNETPressures.txt", "r", messages::kRunLogNotOpened);

    // Tables grow with the files, so long logs are replayed whole. The
    // replay input is read back only when it was written completely.
    std::vector<TrajectoryRecord> trajectory;
    const bool trajectoryRead = inputPrepared && trajectoryFile &&
                                ReadWhole(trajectoryFile.get(), "SimALLWeights.txt", trajectory);
    runfiles::CandidateVector candidates;
    if (candidateFile) {
        candidates = runfiles::ReadCandidates(candidateFile.get());
    }
    std::vector<PressureLogRecord> measured;
    const bool measuredRead =
        logFile && ReadWhole(logFile.get(), "LogALLANNETPressures.txt", measured);

    if (candidates.extra > 0) {
        std::printf("KFFile.txt: %d values beyond the ten parameters ignored\n", candidates.extra);
    }
    if (candidateFile && !candidates.stalled && candidates.converted < CandidateFile::kCapacity) {
        std::printf("KFFile.txt: %d values for the ten parameters; the missing ones count as 0\n",
                    candidates.converted);
    }
    if (!weightsLoaded) {
        Refuse(failed, "the PONNET weights could not all be read");
    }
    if (!inputPrepared) {
        Refuse(failed, "the replay input could not be prepared");
    }
    if (inputPrepared && !trajectoryRead) {
        Refuse(failed, "SimALLWeights.txt could not be read");
    }
    if (!candidateFile || candidates.stalled) {
        Refuse(failed, "KFFile.txt could not be read");
    }
    if (!measuredRead) {
        Refuse(failed, "LogALLANNETPressures.txt could not be read");
    }
    const std::size_t n = trajectory.size();
    if (!failed && n < 3) {
        Refuse(failed, "fewer than three trajectory records to replay");
    }

    double fitness = std::numeric_limits<double>::infinity();
    if (!failed) {
        std::vector<float> flags;
        ComputeDirectionFlags(trajectory, flags);
        // Pressures missing from a short log count as zero, as in a zero-filled table.
        if (measured.size() < n) {
            measured.resize(n);
        }
        const float errorSum =
            ReplayErrorSum(models, trajectory, flags, candidates.k, measured, fuzzyLog.get());
        fitness = FitnessOf(errorSum, n);
        if (!std::isfinite(fitness)) {
            Refuse(failed,
                   "the replay of LogALLANNETPressures.txt gave an error that is not a finite "
                   "number (a pressure in the log or a PONNET weight is not finite or too large)");
            fitness = std::numeric_limits<double>::infinity();
        }
    }

    if (failed) {
        SayWhereItLooked();
    }
    if (fitnessFile) {
        runfiles::WriteFitness(fitnessFile.get(), fitness);
    }
    std::printf("%f\n", double(float(fitness)));

    trajectoryFile.reset();
    const bool fuzzyLogWritten = fuzzyLog && Closed(fuzzyLog, "SimLOGFuzzyPressures.txt");
    candidateFile.reset();
    const bool fitnessWritten = fitnessFile && Closed(fitnessFile, "FEval.txt");
    logFile.reset();
    return failed || !fuzzyLogWritten || !fitnessWritten ? 1 : 0;
}

}  // namespace evaluator
