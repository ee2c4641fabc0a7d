// CPU time of the timed training procedures on the virtual clock, journal
// off, console output discarded, in the run benchmarks' working directory
// (standard trajectory, demo networks): each is one to two minutes of
// real time and should take under 0.5 s. The motor recording and the
// combined run, both with homing, are the slowest.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "bench/quiet_stdout.h"
#include "bench/run_case.h"
#include "lab/lab.h"
#include "platform/clock.h"
#include "tests/lab_cards.h"
#include "training/training.h"

namespace {

template <training::TrainingResult (*Run)(runs::Redraw)>
void WholeProcedure(benchmark::State& state) {
    platform::VirtualClockScope clock;
    lab::EnableJournal(false);
    const QuietStdout quiet;
    for (auto _ : state) {
        state.PauseTiming();
        ResetLabWithCardsOpen();
        state.ResumeTiming();
        const training::TrainingResult result = Run(nullptr);
        if (result.end != runs::RunEnd::kCompleted) {
            state.SkipWithError("the procedure did not run to its end");
        }
        state.counters["samples"] = result.samples;
    }
}

}  // namespace

BENCHMARK(WholeProcedure<RecordPressureTrainingData>)
    ->Name("RecordPressureTrainingData")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(3);
BENCHMARK(WholeProcedure<RecordMotorTrainingData>)
    ->Name("RecordMotorTrainingData")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(3);
BENCHMARK(WholeProcedure<RecordCombinedTrainingData>)
    ->Name("RecordCombinedTrainingData")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(3);
BENCHMARK(WholeProcedure<TestVelocityTracking>)
    ->Name("TestVelocityTracking")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(3);

int main(int argc, char** argv) {
    const runbench::RunCase directory;
    if (!directory.ok()) {
        std::fprintf(stderr, "training_bench: the working directory was not prepared\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
