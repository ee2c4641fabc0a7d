// CPU time of an open-loop experiment on the virtual clock: 60 s of a
// schedule (valve steps and ramps, a motor sine of breakpoints every 100 ms)
// at a 20 ms period, recording written; goal well under a second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>

#include "bench/quiet_stdout.h"
#include "experiments/experiment.h"
#include "lab/lab.h"
#include "platform/clock.h"
#include "tests/lab_cards.h"

namespace {

std::string SixtySecondSchedule() {
    std::string text = "0 valve1 4\n0 valve2 4\n0 valve3 4\n0 valve4 4\n0 servo2 on\n";
    for (int second = 1; second < 60; ++second) {
        text += std::to_string(second * 1000) + (second % 2 ? " valve1 6\n" : " valve1 3 ramp\n");
    }
    for (int t = 0; t <= 60000; t += 100) {
        text += std::to_string(t) + " motor2 " + std::to_string(0.1 * std::sin(t / 1000.0)) + "\n";
    }
    return text;
}

void SixtySecondExperiment(benchmark::State& state) {
    platform::VirtualClockScope clock;
    lab::EnableJournal(false);
    const QuietStdout quiet;
    experiments::Schedule schedule;
    if (!experiments::ParseSchedule(SixtySecondSchedule(), schedule).empty()) {
        state.SkipWithError("the schedule does not parse");
        return;
    }
    experiments::Settings settings;
    settings.recording = "ExperimentBench.txt";
    for (auto _ : state) {
        state.PauseTiming();
        ResetLabWithCardsOpen();
        state.ResumeTiming();
        const experiments::ExperimentResult result =
            experiments::RunExperiment(schedule, settings, nullptr);
        if (result.end != runs::RunEnd::kCompleted || !result.recordingWritten) {
            state.SkipWithError("the experiment did not run to its end");
        }
        state.counters["periods"] = result.timing.samples;
    }
}

}  // namespace

BENCHMARK(SixtySecondExperiment)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3);
BENCHMARK_MAIN();
