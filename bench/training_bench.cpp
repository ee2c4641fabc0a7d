// CPU time of the timed training procedures on the virtual clock, journal
// off, console output discarded: each is one to two minutes of real time and
// should take under 0.5 s. The motor recording (homing, a 2 s move and 56 s
// of excitation) is the slowest.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/quiet_stdout.h"
#include "cards/daq_card.h"
#include "cards/motion_card.h"
#include "lab/lab.h"
#include "platform/clock.h"
#include "training/training.h"

namespace {

// A scratch directory with the demo networks and a 1331-line velocity file
// slow enough to keep the arm inside its switches.
void PrepareDirectory() {
    const auto dir = std::filesystem::temp_directory_path() / "training_bench";
    std::filesystem::create_directories(dir / "NeuralFiles");
    std::filesystem::current_path(dir);
    const std::string command = std::string(MAKE_DEMO_NETWORKS) + " --dir . > /dev/null";
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "training_bench: demo networks not written\n");
    std::ofstream velocities("NeuralFiles/SinVelocityTrajectoryDesired.txt");
    for (int i = 0; i < 1331; ++i)
        velocities << (i / 100 % 2 ? "-0.010000\t\t-0.010000\t\t-0.010000\n"
                                   : "0.010000\t\t0.010000\t\t0.010000\n");
}

template <training::TrainingResult (*Run)(runs::Redraw)>
void WholeProcedure(benchmark::State& state) {
    platform::VirtualClockScope clock;
    lab::EnableJournal(false);
    const QuietStdout quiet;
    for (auto _ : state) {
        state.PauseTiming();
        lab::Reset();
        OpenMotionCard();
        OpenPressureInput();
        OpenValveOutput();
        state.ResumeTiming();
        const training::TrainingResult result = Run(nullptr);
        if (result.end != runs::RunEnd::kCompleted)
            state.SkipWithError("the procedure did not run to its end");
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
    PrepareDirectory();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
