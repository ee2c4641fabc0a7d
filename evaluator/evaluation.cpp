// One evaluation of a candidate: derive the replay input from the run log,
// replay the logged motion through the four PONNET models, blend
// neighbouring bins with the fuzzy supervisor and score the blended
// predictions against the measured pressures.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>
#include <vector>

#include "arm/arm.h"
#include "evaluator/evaluator.h"
#include "model/replay.h"
#include "platform/clock.h"
#include "platform/fixed_messages.h"
#include "platform/stdio_file.h"
#include "runfiles/catalogue.h"

namespace evaluator {
namespace {

using runfiles::CandidateFile;
using runfiles::PressureLogRecord;
using runfiles::TrajectoryRecord;

using platform::StdioFile;

// Prints why the evaluation cannot produce a fitness and marks it failed.
void Refuse(bool& failed, const std::string& reason) {
    std::printf("No fitness computed: %s\n", reason.c_str());
    failed = true;
}

// Reads the run file `name` whole into `records` unless it is too large or
// not a file; false when it was not read or held unreadable text.
template <typename Record>
bool ReadWhole(std::FILE* file, const char* name, std::vector<Record>& records) {
    const runfiles::ReadOutcome outcome = runfiles::ReadAll(file, records);
    if (!outcome.unread.empty()) {
        std::printf("%s %s; not read\n", name, outcome.unread.c_str());
        return false;
    }
    return !outcome.stalled;
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

bool PrepareSimulationInput() {
    StdioFile logFile(std::fopen(runfiles::kRunLog.Name(), "r"));
    if (!logFile) {
        std::fputs(messages::kRunLogNotOpened, stdout);
    }
    StdioFile simFile(std::fopen(runfiles::kReplayInput.path, "w"));
    if (!simFile) {
        std::fputs(messages::kReplayInputNotWritten, stdout);
    }

    std::vector<runfiles::PressureLogRecord> log;
    bool ok = logFile && simFile;
    const runfiles::ReadOutcome read =
        logFile ? runfiles::ReadAll(logFile.get(), log) : runfiles::ReadOutcome();
    if (!read.unread.empty()) {
        std::printf("%s %s; not read\n", runfiles::kRunLog.Name(), read.unread.c_str());
        ok = false;
    } else if (read.stalled) {
        std::printf("%s: unreadable text in line %zu\n", runfiles::kRunLog.Name(), log.size());
        ok = false;
    }

    if (simFile) {
        for (const runfiles::TrajectoryRecord& record : replay::ReplayTrajectory(log)) {
            runfiles::Write(simFile.get(), record);
        }
    }

    logFile.reset();
    if (simFile && (std::ferror(simFile.get()) || std::fclose(simFile.release()) != 0)) {
        std::printf("%s: write failed\n", runfiles::kReplayInput.path);
        ok = false;
    }
    return ok;
}

int RunEvaluation() {
    bool failed = false;

    replay::MuscleModels models;
    const bool weightsLoaded = replay::LoadModels(kEvaluatorWeightDirectory, models);
    Sleep(200);

    const bool inputPrepared = PrepareSimulationInput();
    Sleep(100);

    StdioFile trajectoryFile =
        platform::OpenReporting(runfiles::kReplayInput.path, "r", messages::kReplayInputNotRead);
    StdioFile fuzzyLog = platform::OpenReporting(runfiles::kFuzzyPressureLog.path, "w",
                                                 messages::kFuzzyLogNotOpened);
    StdioFile candidateFile =
        platform::OpenReporting(runfiles::kCandidate.path, "r", messages::kCandidateFileNotOpened);
    StdioFile fitnessFile =
        platform::OpenReporting(runfiles::kFitness.path, "w", messages::kFitnessFileNotOpened);
    StdioFile logFile =
        platform::OpenReporting(runfiles::kRunLog.Name(), "r", messages::kRunLogNotOpened);

    // Tables grow with the files, so long logs are replayed whole. The
    // replay input is read back only when it was written completely.
    std::vector<TrajectoryRecord> trajectory;
    const bool trajectoryRead =
        inputPrepared && trajectoryFile &&
        ReadWhole(trajectoryFile.get(), runfiles::kReplayInput.path, trajectory);
    runfiles::CandidateVector candidates;
    if (candidateFile) {
        candidates = runfiles::ReadCandidates(candidateFile.get());
    }
    std::vector<PressureLogRecord> measured;
    const bool measuredRead =
        logFile && ReadWhole(logFile.get(), runfiles::kRunLog.Name(), measured);

    if (candidates.extra > 0) {
        std::printf("%s: %d values beyond the ten parameters ignored\n",
                    runfiles::kCandidate.Name(), candidates.extra);
    }
    if (candidateFile && !candidates.stalled && candidates.converted < CandidateFile::kCapacity) {
        std::printf("%s: %d values for the ten parameters; the missing ones count as 0\n",
                    runfiles::kCandidate.Name(), candidates.converted);
    }
    if (!weightsLoaded) {
        Refuse(failed, "the PONNET weights could not all be read");
    }
    if (!inputPrepared) {
        Refuse(failed, "the replay input could not be prepared");
    }
    if (inputPrepared && !trajectoryRead) {
        Refuse(failed, std::string(runfiles::kReplayInput.Name()) + " could not be read");
    }
    if (!candidateFile || candidates.stalled) {
        Refuse(failed, std::string(runfiles::kCandidate.Name()) + " could not be read");
    }
    if (!measuredRead) {
        Refuse(failed, std::string(runfiles::kRunLog.Name()) + " could not be read");
    }
    const std::size_t n = trajectory.size();
    if (!failed && n < 3) {
        Refuse(failed, "fewer than three trajectory records to replay");
    }

    double fitness = std::numeric_limits<double>::infinity();
    if (!failed) {
        std::vector<float> flags;
        replay::ComputeDirectionFlags(trajectory, flags);
        // Pressures missing from a short log count as zero, as in a zero-filled table.
        if (measured.size() < n) {
            measured.resize(n);
        }
        const float errorSum = replay::ReplayErrorSum(models, trajectory, flags, candidates.k,
                                                      measured, fuzzyLog.get());
        fitness = replay::FitnessOf(errorSum, n);
        if (!std::isfinite(fitness)) {
            Refuse(failed, std::string("the replay of ") + runfiles::kRunLog.Name() +
                               " gave an error that is not a finite number (a pressure in the "
                               "log or a PONNET weight is not finite or too large)");
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
    const bool fuzzyLogWritten = fuzzyLog && Closed(fuzzyLog, runfiles::kFuzzyPressureLog.path);
    candidateFile.reset();
    const bool fitnessWritten = fitnessFile && Closed(fitnessFile, runfiles::kFitness.path);
    logFile.reset();
    return failed || !fuzzyLogWritten || !fitnessWritten ? 1 : 0;
}

}  // namespace evaluator
