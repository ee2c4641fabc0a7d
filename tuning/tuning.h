// Tuning the fuzzy supervisor: a search for the parameter vector K0..K9
// with the smallest fitness on logged runs, the fitness being arbiter's.
//
// The fitness sits behind one interface with two implementations:
// - InProcessFitness scores prepared logs in memory. A PreparedLog holds
//   everything that does not depend on the candidate (the PONNET predictions
//   of both bins, the measured pressures, the rules' firing strengths), so a
//   candidate costs only the blend and the error sum, in arbiter's 32-bit
//   arithmetic and order: the fitness equals arbiter's to the last bit.
// - ArbiterFitness runs an arbiter program once per candidate through
//   kCandidate and kFitness, the protocol arbiter was built for.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "arm/arm.h"
#include "model/fuzzy_supervisor.h"
#include "model/replay.h"

namespace tuning {

// K0..K9 as a candidate file holds them: every value is one that "%f" text
// reads back as (see runfiles::CandidateValueAsRead), so writing a candidate
// to kCandidate hands arbiter exactly these floats.
using Candidate = std::array<float, fuzzy::kParameterCount>;

// The fitness of a candidate: smaller is better; infinity when no fitness
// could be computed.
class Fitness {
  public:
    virtual ~Fitness() = default;
    virtual double Of(const Candidate& k) = 0;
};

// A fitness as kFitness holds it: "%f\n".
std::string FitnessText(double fitness);

// One run log prepared for scoring: constant once loaded; a candidate's
// scratch lives on the stack and scoring allocates nothing.
class PreparedLog {
  public:
    // Replays `logPath` through `models` as arbiter does (the replay input
    // round-tripped through its six-decimal text) and keeps the per-sample
    // values. Nothing when arbiter could not score the log; `reason` then
    // says why in arbiter's words.
    static std::optional<PreparedLog> Load(replay::MuscleModels& models, const std::string& logPath,
                                           std::string& reason);

    // arbiter's fitness of `k` on this log (infinity where arbiter finds
    // none: a non-numeric error).
    double FitnessOf(const Candidate& k) const;
    std::size_t SampleCount() const { return records_ - 2; }

  private:
    // Per-sample values in columns of doubles (each exactly its float), in
    // groups of kLanes samples, the last group padded with zeros: a padded
    // sample misses by 0 and leaves the error sum as it is.
    static constexpr int kRules = fuzzy::kRuleCount;
    std::vector<double> strength_[kRules];
    std::vector<double> own_[arm::kMuscleCount], neighbour_[arm::kMuscleCount],
        measured_[arm::kMuscleCount];
    std::size_t groups_ = 0;
    std::size_t records_ = 0;  // trajectory records n; samples 1 to n - 2 are scored
};

// The mean fitness over one or more prepared logs.
class InProcessFitness : public Fitness {
  public:
    explicit InProcessFitness(std::vector<PreparedLog> logs) : logs_(std::move(logs)) {}
    double Of(const Candidate& k) override;

  private:
    std::vector<PreparedLog> logs_;
};

// Loads the PONNET weights behind `weightDirectory` once and prepares every
// log. Nothing when one cannot be scored; each refusal is printed on
// standard output as arbiter prints it ("No fitness computed: REASON",
// behind the log's path for a log).
std::optional<std::vector<PreparedLog>> PrepareLogs(const std::string& weightDirectory,
                                                    const std::vector<std::string>& logPaths);

// Runs `program` in `directory` for each candidate: writes kCandidate there,
// runs the program with its standard output discarded and reads kFitness.
// A program that exits non-zero or leaves no finite fitness gives infinity.
// One that cannot be started, or is still running after `timeoutSeconds`
// (it is then killed), gives infinity and sets Problem(); every later
// candidate then gets infinity without running it.
class ArbiterFitness : public Fitness {
  public:
    ArbiterFitness(std::string program, std::string directory, int timeoutSeconds);
    double Of(const Candidate& k) override;
    // kFitness as the last run left it (empty when it left none).
    const std::string& LastText() const { return lastText_; }
    // Why the program could not be run ("cannot run arbiter: No such file or
    // directory", "arbiter ran longer than 60 s and was killed"); empty while
    // it runs.
    const std::string& Problem() const { return problem_; }

  private:
    // Runs the program once; its exit status, or -1 (with problem_ set when
    // it could not be started or was killed).
    int Run();

    std::string program_;
    std::string directory_;
    int timeoutSeconds_;
    std::string lastText_;
    std::string problem_;
};

enum class Method {
    kLocal,   // subplex from the start vector, then from seeded random starts
    kGlobal,  // multi-level single-linkage over low-discrepancy points, subplex inside
};

// The box searched: proposals (K0, K2, ..., K8) and hedges (K1, K3, ..., K9).
struct Bounds {
    float proposalLow = 0.0f, proposalHigh = 1.0f;
    float hedgeLow = 0.0f, hedgeHigh = 2.0f;
};

struct SearchSettings {
    Method method = Method::kLocal;
    long budget = 20000;   // fitness evaluations at most
    unsigned seed = 1;     // equal seeds give equal searches
    int randomStarts = 4;  // local method: subplex runs after the one from the start vector
    Bounds bounds;
};

struct SearchResult {
    Candidate best{};
    double fitness = 0.0;  // infinite when no candidate had a finite fitness
    long evaluations = 0;
    long failed = 0;  // candidates without a finite fitness
};

// Called whenever the best fitness so far improves: evaluation number
// (from 1) and the new best.
using ProgressReport = std::function<void(long evaluation, double best)>;

// Searches the box for the smallest fitness, starting from `start` (moved
// into the box). Deterministic for equal settings and an equal fitness.
SearchResult Search(Fitness& fitness, const Candidate& start, const SearchSettings& settings,
                    const ProgressReport& report);

}  // namespace tuning
