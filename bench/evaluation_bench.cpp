// One evaluation of arbiter without its two mandated sleeps (virtual clock),
// and its stages: loading the 288 weight files, preparing the replay input
// from a 3003-record log, replaying the resulting 3000 samples.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "bench/demo_directory.h"
#include "evaluator/evaluator.h"
#include "model/fuzzy_supervisor.h"
#include "model/replay.h"
#include "platform/clock.h"
#include "quiet_stdout.h"
#include "runfiles/catalogue.h"
#include "tools/demo_data.h"

namespace {

constexpr int kLogRecords = 3003;  // yields 3000 trajectory records

replay::MuscleModels LoadModels() {
    replay::MuscleModels models;
    replay::LoadModels(kEvaluatorWeightDirectory, models);
    return models;
}

void BM_Evaluation(benchmark::State& state) {
    const benchdemo::DemoDirectory bench("arbiter-bench", kLogRecords, demo::kArbiterDirectory);
    platform::VirtualClockScope noSleeps;
    QuietStdout quiet;
    for (auto _ : state) {
        benchmark::DoNotOptimize(evaluator::RunEvaluation());
    }
}
BENCHMARK(BM_Evaluation)->Unit(benchmark::kMillisecond);

void BM_LoadWeights(benchmark::State& state) {
    const benchdemo::DemoDirectory bench("arbiter-bench", kLogRecords, demo::kArbiterDirectory);
    for (auto _ : state) {
        benchmark::DoNotOptimize(LoadModels());
    }
}
BENCHMARK(BM_LoadWeights)->Unit(benchmark::kMillisecond);

void BM_PrepareSimulationInput(benchmark::State& state) {
    const benchdemo::DemoDirectory bench("arbiter-bench", kLogRecords, demo::kArbiterDirectory);
    for (auto _ : state) {
        benchmark::DoNotOptimize(evaluator::PrepareSimulationInput());
    }
}
BENCHMARK(BM_PrepareSimulationInput)->Unit(benchmark::kMillisecond);

void BM_Replay(benchmark::State& state) {
    const benchdemo::DemoDirectory bench("arbiter-bench", kLogRecords, demo::kArbiterDirectory);
    auto models = LoadModels();
    evaluator::PrepareSimulationInput();
    std::vector<runfiles::TrajectoryRecord> trajectory;
    std::vector<runfiles::PressureLogRecord> measured;
    std::FILE* file = std::fopen(runfiles::kReplayInput.Name(), "r");
    runfiles::ReadAll(file, trajectory);
    std::fclose(file);
    file = std::fopen(runfiles::kRunLog.Name(), "r");
    runfiles::ReadAll(file, measured);
    std::fclose(file);
    std::vector<float> flags;
    replay::ComputeDirectionFlags(trajectory, flags);
    std::FILE* fuzzyLog = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        benchmark::DoNotOptimize(replay::ReplayErrorSum(
            models, trajectory, flags, fuzzy::kHybridRunVector.data(), measured, fuzzyLog));
    }
    std::fclose(fuzzyLog);
    state.counters["samples"] = double(trajectory.size() - 2);
}
BENCHMARK(BM_Replay)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
