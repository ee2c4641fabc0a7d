// The in-process fitness: a log replayed once, candidates scored from the
// per-sample values that do not depend on them.
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/stdio_file.h"
#include "tuning/float_sum.h"
#include "tuning/tuning.h"

// The vector helpers of FitnessOf are inlined into it: no function boundary
// of the program passes a vector, so the ABI note does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace tuning {
namespace {

// The helpers of FitnessOf are inlined into each of its clones, however the
// file is optimised: a call from a clone built for one instruction set to a
// helper built for another would pass its vectors in registers the helper
// does not read (at -O0 nothing else is inlined).
[[gnu::always_inline]] inline Lanes LoadGroup(const std::vector<double>& column,
                                              std::size_t group) {
    typedef double Unaligned __attribute__((vector_size(8 * kLanes), aligned(8)));
    return Lanes(*reinterpret_cast<const Unaligned*>(column.data() + kLanes * group));
}

// Each lane rounded to float and back.
[[gnu::always_inline]] inline Lanes ThroughFloat(Lanes x) {
    typedef float Floats __attribute__((vector_size(4 * kLanes)));
    return __builtin_convertvector(__builtin_convertvector(x, Floats), Lanes);
}

}  // namespace

std::string FitnessText(double fitness) {
    char text[400];  // room for the 309 digits of the largest double
    std::snprintf(text, sizeof text, runfiles::FitnessFile::kFormat, fitness);
    return text;
}

std::optional<PreparedLog> PreparedLog::Load(replay::MuscleModels& models,
                                             const std::string& logPath, std::string& reason) {
    std::vector<runfiles::PressureLogRecord> log;
    platform::StdioFile logFile(std::fopen(logPath.c_str(), "r"));
    const runfiles::ReadOutcome read =
        logFile ? runfiles::ReadAll(logFile.get(), log) : runfiles::ReadOutcome();
    if (!read.unread.empty()) {
        reason = logPath + " " + read.unread;
        return std::nullopt;
    }
    if (!logFile || read.stalled) {
        reason = logPath + " could not be read";
        return std::nullopt;
    }

    // arbiter reads the replay input back from kReplayInput.
    std::vector<runfiles::TrajectoryRecord> trajectory;
    if (!replay::RoundTripThroughText(replay::ReplayTrajectory(log), trajectory)) {
        reason = "the replay input could not be prepared";
        return std::nullopt;
    }
    const std::size_t n = trajectory.size();
    if (n < 3) {
        reason = "fewer than three trajectory records to replay";
        return std::nullopt;
    }
    std::vector<float> flags;
    replay::ComputeDirectionFlags(trajectory, flags);

    PreparedLog prepared;
    prepared.records_ = n;
    const std::size_t samples = n - 2;
    prepared.groups_ = (samples + kLanes - 1) / kLanes;
    const std::size_t padded = kLanes * prepared.groups_;
    for (auto& column : prepared.strength_) {
        column.assign(padded, 0.0);
    }
    for (int m = 0; m < arm::kMuscleCount; ++m) {
        prepared.own_[m].assign(padded, 0.0);
        prepared.neighbour_[m].assign(padded, 0.0);
        prepared.measured_[m].assign(padded, 0.0);
    }
    for (std::size_t d = 1; d + 1 < n; ++d) {
        const std::size_t i = d - 1;
        float own[arm::kMuscleCount], neighbour[arm::kMuscleCount];
        const float phase = replay::PredictSample(models, trajectory, flags, d, own, neighbour);
        const fuzzy::RuleStrengths strengths = fuzzy::StrengthsAt(phase);
        for (int r = 0; r < kRules; ++r) {
            prepared.strength_[r][i] = strengths.rule[r];
        }
        // Log record d pairs with trajectory record d; the log holds n + 3 records.
        for (int m = 0; m < arm::kMuscleCount; ++m) {
            prepared.own_[m][i] = own[m];
            prepared.neighbour_[m][i] = neighbour[m];
            prepared.measured_[m][i] = log[d].measured[m];
        }
        // arbiter's fitness would not be finite for any candidate.
        if (!std::isfinite(log[d].measured[0] + log[d].measured[1] + log[d].measured[2] +
                           log[d].measured[3])) {
            reason = "the measured pressures of line " + std::to_string(d + 1) + " of " + logPath +
                     " are not all finite numbers";
            return std::nullopt;
        }
        for (int m = 0; m < arm::kMuscleCount; ++m) {
            if (!std::isfinite(own[m]) || !std::isfinite(neighbour[m])) {
                reason =
                    "the PONNET networks predict a pressure that is not a finite number "
                    "for line " +
                    std::to_string(d + 1) + " of " + logPath;
                return std::nullopt;
            }
        }
    }
    return prepared;
}

// kLanes samples at a time, in the arithmetic of fuzzy::CombineProposals,
// fuzzy::Blend and replay::AddSquaredMisses (doubles rounded to float
// where they store a float), the squares summed by FloatSum. Built for
// AVX-512, AVX2 and plain x86-64, picked when the program loads; none
// contracts a multiply and an add into one rounding.
__attribute__((target_clones("avx512f", "avx2", "default"))) double PreparedLog::FitnessOf(
    const Candidate& k) const {
    using V = Lanes;
    double proposal[kRules], hedge[kRules], hedgeComplement[kRules];
    for (int r = 0; r < kRules; ++r) {
        proposal[r] = k[fuzzy::kProposalOf[r]];
        hedge[r] = k[fuzzy::kHedgeOf[r]];
        hedgeComplement[r] = 2.0 - hedge[r];
    }

    FloatSum errorSum;
    for (std::size_t g = 0; g < groups_; ++g) {
        // Consequent: w = float(r * Kb * (2 - Kb)); W = sum z w / sum w.
        V weighted = V{} + 0.0, total = V{} + 0.0;
        for (int r = 0; r < kRules; ++r) {
            const V w = ThroughFloat(LoadGroup(strength_[r], g) * hedge[r] * hedgeComplement[r]);
            weighted += proposal[r] * w;
            total += w;
        }
        const auto silent = total == 0.0;
        const V ratio = weighted / (silent ? V{} + 1.0 : total);
        const V blend = silent ? V{} + 0.5 : ThroughFloat(ratio);

        V squares[arm::kMuscleCount];
        for (int m = 0; m < arm::kMuscleCount; ++m) {
            const V predicted = ThroughFloat(blend * LoadGroup(own_[m], g) +
                                             (1.0 - blend) * LoadGroup(neighbour_[m], g));
            const V miss = LoadGroup(measured_[m], g) - predicted;
            squares[m] = miss * miss;
        }
        errorSum.AddGroup(squares);
    }
    const double fitness = replay::FitnessOf(errorSum.Value(), records_);
    return std::isnan(fitness) ? std::numeric_limits<double>::infinity() : fitness;
}

double InProcessFitness::Of(const Candidate& k) {
    double sum = 0.0;
    for (const PreparedLog& log : logs_) {
        sum += log.FitnessOf(k);
    }
    return sum / double(logs_.size());
}

std::optional<std::vector<PreparedLog>> PrepareLogs(const std::string& weightDirectory,
                                                    const std::vector<std::string>& logPaths) {
    replay::MuscleModels models;
    if (!replay::LoadModels(weightDirectory, models)) {
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
    if (refused) {
        return std::nullopt;
    }
    return logs;
}

}  // namespace tuning
