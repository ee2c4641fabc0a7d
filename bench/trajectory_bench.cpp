// The whole trajectory generation, as the "Generate Trajectory" button runs
// it: waves, inverse kinematics and the three files. Goal: under 5 ms.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "trajectory/trajectory.h"

namespace {

namespace fs = std::filesystem;

void BM_GenerateTrajectory(benchmark::State& state, int sine, int ramp) {
    const fs::path start = fs::current_path();
    const fs::path dir =
        fs::temp_directory_path() / ("trajectory_bench_" + std::to_string(getpid()));
    fs::create_directories(dir / "NeuralFiles");
    fs::current_path(dir);

    int step = 0;
    float amplitude = 100.0f, frequency = 0.5f;
    for (auto _ : state) {
        if (!GenerateTrajectory(&sine, &ramp, &step, &amplitude, &frequency)) {
            state.SkipWithError("trajectory files not written");
            break;
        }
    }

    fs::current_path(start);
    fs::remove_all(dir);
}
BENCHMARK_CAPTURE(BM_GenerateTrajectory, sine, 1, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_GenerateTrajectory, ramp, 0, 1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
