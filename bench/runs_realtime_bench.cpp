// The real-time loop as the console runs it: a whole hybrid run of the
// standard trajectory on the wall clock, with the 3D view (mesh, links,
// readouts and their card reads) redrawn into a window of the console's
// view size at every sample. Run under an X display, e.g.
//     xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/runs_realtime_bench
// One iteration lasts about 28 s. Goals: no sample's work over 20 ms, p99
// lateness of the sample starts under 0.5 ms.
#include <GL/freeglut.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "cards/motion_card.h"
#include "console/scene.h"
#include "lab/lab.h"
#include "quiet_stdout.h"
#include "run_case.h"
#include "runs/runs.h"
#include "view_window.h"

namespace {

void HybridRunWithTheViewInRealTime(benchmark::State& state) {
    runbench::RunCase runCase;
    if (!runCase.ok()) {
        state.SkipWithError("the run's files could not be written");
        return;
    }
    runs::RunResult result;
    for (auto _ : state) {
        state.PauseTiming();
        {
            QuietStdout quiet;
            // At rest at the home pose with counters zeroed, as homing leaves it.
            lab::Reset();
            ResetCards();
            for (int axis = 0; axis < 3; ++axis) {
                MotorAxes[axis].ServoOn();
            }
            HomeMuscles();
        }
        state.ResumeTiming();
        result = RunHybridControl(DisplayView);
    }
    if (result.end != runs::RunEnd::kCompleted) {
        state.SkipWithError("the run did not complete");
    }
    const runs::SampleTiming& t = result.timing;
    state.counters["samples"] = t.samples;
    state.counters["longest_work_ms"] = t.longestWorkMs;
    state.counters["over_20ms"] = t.samplesOver20Ms;
    state.counters["worst_late_ms"] = t.worstLatenessMs;
    state.counters["p99_late_ms"] = t.p99LatenessMs;
    state.counters["drift_ms"] = t.driftMs;
}
BENCHMARK(HybridRunWithTheViewInRealTime)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("DISPLAY") == nullptr) {
        std::fprintf(stderr, "runs_realtime_bench needs an X display (try xvfb-run -a)\n");
        return 1;
    }
    glutInit(&argc, argv);
    benchmark::Initialize(&argc, argv);
    armModel = benchview::ArmMesh();
    benchview::OpenViewWindow("run bench");
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
