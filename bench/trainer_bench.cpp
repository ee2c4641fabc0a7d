// Wall time of the trainer: one pressure network fitted on a bin's worth of
// samples, and the whole PONNET family (288 networks, written and measured)
// from a 1328-sample run log, the length of the combined training run's
// recording. Default options (4 starts, 150 steps). Runs in a scratch
// directory of its own under the system's temporary directory.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "bench/quiet_stdout.h"
#include "runfiles/catalogue.h"
#include "tools/demo_data.h"
#include "trainer/fit.h"
#include "trainer/trainer.h"

namespace {

namespace fs = std::filesystem;

// 60 samples of 14 inputs in [0, 1] and a smooth target with noise: the
// size of one angle bin's share of a standard recording.
trainer::Samples BinSamples(int count, std::uint64_t seed) {
    trainer::Random random(seed);
    trainer::Samples samples;
    samples.inputs.resize(count, 14);
    samples.targets.resize(count, 1);
    for (int n = 0; n < count; ++n) {
        double target = 2.0;
        for (int q = 0; q < 14; ++q) {
            samples.inputs(n, q) = random.Uniform(0.0, 1.0);
            target += 0.1 * std::sin(3.0 * samples.inputs(n, q) + q);
        }
        samples.targets(n, 0) = target + random.Uniform(-0.02, 0.02);
    }
    return samples;
}

void OnePressureNetworkFit(benchmark::State& state) {
    const trainer::NetworkShape shape{14, 3, 1, trainer::Activation::kLogistic, 4.0};
    const trainer::Samples training = BinSamples(48, 1), heldOut = BinSamples(12, 2);
    for (auto _ : state) {
        const trainer::FitResult fit =
            trainer::Fit(shape, training, heldOut, trainer::FitOptions{});
        benchmark::DoNotOptimize(fit.heldOutRms);
        state.counters["held-out RMS"] = fit.heldOutRms;
    }
}

void WholePonnetFamily(benchmark::State& state) {
    const fs::path dir = fs::temp_directory_path() / "trainer_bench";
    fs::remove_all(dir);
    fs::create_directories(dir / demo::kWeightDirectory);
    fs::create_directories(dir / demo::kArbiterDirectory);
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    {
        const QuietStdout quiet;
        demo::WriteDemoData(".", 1, 1328);
    }
    trainer::PressureRecordings recordings;
    recordings.runLog = std::string(demo::kArbiterDirectory) + "/" + runfiles::kRunLog.Name();
    for (auto _ : state) {
        const trainer::FamilyReport report =
            trainer::TrainPressureNetworks(recordings, trainer::TrainingOptions{});
        if (!report.written) {
            state.SkipWithError("the family was not written");
        }
        int fallbacks = 0;
        for (const trainer::NetworkReport& n : report.networks) {
            fallbacks += !n.fallback.empty();
        }
        state.counters["fallback networks"] = fallbacks;
    }
    fs::current_path(previous);
    fs::remove_all(dir);
}

}  // namespace

BENCHMARK(OnePressureNetworkFit)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(WholePonnetFamily)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->UseRealTime();

BENCHMARK_MAIN();
