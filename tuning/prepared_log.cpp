// The in-process fitness: a log replayed once, candidates scored from the
// per-sample values that do not depend on them.
#include <cmath>
#include <cstdio>
#include <limits>

#include "tuning/tuning.h"

namespace tuning {

std::string FitnessText(double fitness) {
    char text[400];  // room for the 309 digits of the largest double
    std::snprintf(text, sizeof text, runfiles::FitnessFile::kFormat, fitness);
    return text;
}

std::optional<PreparedLog> PreparedLog::Load(evaluator::MuscleModels& models,
                                             const std::string& logPath, std::string& reason) {
    std::vector<runfiles::PressureLogRecord> log;
    runfiles::File logFile(std::fopen(logPath.c_str(), "r"));
    if (!logFile || runfiles::ReadAll(logFile.get(), log).stalled) {
        reason = logPath + " could not be read";
        return std::nullopt;
    }

    // arbiter reads the replay input back from SimALLWeights.txt.
    std::vector<runfiles::TrajectoryRecord> trajectory;
    if (!evaluator::RoundTripThroughText(evaluator::ReplayTrajectory(log), trajectory)) {
        reason = "the replay input could not be prepared";
        return std::nullopt;
    }
    const std::size_t n = trajectory.size();
    if (n < 3) {
        reason = "fewer than three trajectory records to replay";
        return std::nullopt;
    }
    std::vector<float> flags;
    evaluator::ComputeDirectionFlags(trajectory, flags);

    PreparedLog prepared;
    prepared.records_ = n;
    prepared.samples_.resize(n - 2);
    for (std::size_t d = 1; d + 1 < n; ++d) {
        Sample& sample = prepared.samples_[d - 1];
        evaluator::PredictSample(models, trajectory, flags, d, sample.own, sample.neighbour);
        sample.strengths = fuzzy::StrengthsAt(evaluator::BinPhase(trajectory[d].field[0]));
        // Log record d pairs with trajectory record d; the log holds n + 3 records.
        for (int m = 0; m < 4; ++m)
            sample.measured[m] = log[d].measured[m];
    }
    return prepared;
}

double PreparedLog::FitnessOf(const Candidate& k) const {
    float errorSum = 0.0f;
    for (const Sample& sample : samples_) {
        float blended[4];
        fuzzy::Blend(fuzzy::CombineProposals(sample.strengths, k.data()), sample.own,
                     sample.neighbour, blended);
        errorSum = evaluator::AddSquaredMisses(errorSum, sample.measured, blended);
    }
    const double fitness = evaluator::FitnessOf(errorSum, records_);
    return std::isnan(fitness) ? std::numeric_limits<double>::infinity() : fitness;
}

double InProcessFitness::Of(const Candidate& k) {
    double sum = 0.0;
    for (const PreparedLog& log : logs_)
        sum += log.FitnessOf(k);
    return sum / double(logs_.size());
}

std::optional<std::vector<PreparedLog>> PrepareLogs(const std::string& weightDirectory,
                                                    const std::vector<std::string>& logPaths) {
    evaluator::MuscleModels models;
    if (!evaluator::LoadModels(weightDirectory, models)) {
        std::printf("No fitness computed: the PONNET weights could not all be read\n");
        return std::nullopt;
    }
    std::vector<PreparedLog> logs;
    bool refused = false;
    for (const std::string& path : logPaths) {
        std::string reason;
        if (std::optional<PreparedLog> log = PreparedLog::Load(models, path, reason)) {
            logs.push_back(std::move(*log));
        } else {
            std::printf("%s: No fitness computed: %s\n", path.c_str(), reason.c_str());
            refused = true;
        }
    }
    if (refused)
        return std::nullopt;
    return logs;
}

}  // namespace tuning
