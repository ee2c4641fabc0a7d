// The tuner's costs on a demo log of 1332 records (1329 trajectory records,
// 1327 scored samples, as a default trajectory's run logs): one in-process
// candidate evaluation, and one whole default search.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "runfiles/catalogue.h"
#include "tools/demo_data.h"
#include "tuning/tuning.h"

namespace {

constexpr int kLogRecords = 1332;

// A demo case in a temporary directory, prepared for in-process scoring.
class BenchCase {
  public:
    BenchCase()
        : root_(std::filesystem::temp_directory_path() /
                ("tuning-bench-" + std::to_string(getpid()))) {
        std::filesystem::create_directories(root_ / demo::kWeightDirectory);
        std::filesystem::create_directories(root_ / demo::kArbiterDirectory);
        demo::WriteDemoData(root_.string(), 1, kLogRecords);
        auto logs = tuning::PrepareLogs(
            (root_ / "NeuralFiles/WeightsPONNET/").string(),
            {(root_ / (std::string("arbiter/") + runfiles::kRunLog.Name())).string()});
        logs_ = std::move(*logs);
    }
    ~BenchCase() { std::filesystem::remove_all(root_); }
    std::vector<tuning::PreparedLog> logs_;

  private:
    std::filesystem::path root_;
};

// Candidates spread over the default box, scored in turn.
void BM_CandidateEvaluation(benchmark::State& state) {
    BenchCase bench;
    tuning::InProcessFitness fitness(std::move(bench.logs_));
    std::mt19937 engine(1);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<tuning::Candidate> candidates(64);
    for (auto& k : candidates) {
        for (int i = 0; i < fuzzy::kParameterCount; ++i) {
            k[i] = runfiles::CandidateValueAsRead(unit(engine) * (i % 2 == 1 ? 2 : 1));
        }
    }
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(fitness.Of(candidates[next]));
        next = (next + 1) % candidates.size();
    }
    state.counters["evaluations"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CandidateEvaluation);

// tune-fuzzy's default search: local subplex from the built-in vector and
// four seeded random starts, budget 20000 evaluations.
void BM_DefaultSearch(benchmark::State& state) {
    BenchCase bench;
    tuning::InProcessFitness fitness(std::move(bench.logs_));
    tuning::Candidate start;
    std::copy(std::begin(fuzzy::kHybridRunVector), std::end(fuzzy::kHybridRunVector),
              start.begin());
    const tuning::SearchSettings settings;
    for (auto _ : state) {
        const tuning::SearchResult result = tuning::Search(fitness, start, settings, {});
        state.counters["evaluations"] = double(result.evaluations);
        state.counters["before"] = fitness.Of(start);
        state.counters["after"] = result.fitness;
    }
}
BENCHMARK(BM_DefaultSearch)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
