// A whole hybrid run of the standard sine trajectory (1329 lines, 1325
// samples, 26.5 s of motion) on the virtual clock, without a window: the
// networks loaded, the desired pressures prepared, every sample's networks
// and card traffic, the logs written. Goal: under 0.3 s CPU, 100 times real
// time. Homing before each run is not timed.
#include <benchmark/benchmark.h>

#include "lab/lab.h"
#include "platform/clock.h"
#include "quiet_stdout.h"
#include "run_case.h"
#include "runs/runs.h"

namespace {

void HybridRunOnTheVirtualClock(benchmark::State& state) {
    platform::VirtualClockScope clock;
    runbench::RunCase runCase;
    if (!runCase.ok()) {
        state.SkipWithError("the run's files could not be written");
        return;
    }
    QuietStdout quiet;
    int samples = 0;
    bool completed = true;
    for (auto _ : state) {
        state.PauseTiming();
        lab::Reset();
        ResetCards();
        GoHome();
        HomeMuscles();
        state.ResumeTiming();
        const runs::RunResult result = RunHybridControl(nullptr);
        samples = result.timing.samples;
        completed = completed && result.end == runs::RunEnd::kCompleted;
    }
    if (!completed) {
        state.SkipWithError("the run did not complete");
    }
    state.counters["samples"] = samples;
    state.counters["speedup"] =
        benchmark::Counter(samples * runs::kSamplePeriodMs / 1000.0 * double(state.iterations()),
                           benchmark::Counter::kIsRate);
}
BENCHMARK(HybridRunOnTheVirtualClock)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
