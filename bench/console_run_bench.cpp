// tendon's window (view, control panel, view panel) on the virtual lab,
// while a control run redraws the view once per 20 ms sample:
//   ConsoleViewFrame      one DisplayView in the console's view port
//   HybridRunRedrawing    a whole hybrid run in real time along the sine
//                         trajectory (run_case.h); its counters are
//                         the run's own timing: samples, longest work time
//                         of a sample (networks, card I/O, redraw) and the
//                         samples whose work took longer than 20 ms
// Run under an X display from the build directory, e.g.
//   xvfb-run -a -s "-screen 0 1280x1024x24" bench/console_run_bench
// A run takes about 27 s of wall time; homing runs on the virtual clock.
#include <GL/freeglut.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "console/console.h"
#include "console/scene.h"
#include "platform/clock.h"
#include "quiet_stdout.h"
#include "run_case.h"
#include "runs/runs.h"

namespace {

int mainWindow = 0;

void ConsoleViewFrame(benchmark::State& state) {
    glutSetWindow(mainWindow);
    for (auto _ : state) {
        DisplayView();
        glFinish();
    }
}
BENCHMARK(ConsoleViewFrame)->Unit(benchmark::kMillisecond);

void HybridRunRedrawing(benchmark::State& state) {
    glutSetWindow(mainWindow);
    runs::RunResult result;
    for (auto _ : state) {
        state.PauseTiming();
        {
            QuietStdout quiet;
            platform::UseVirtualClock();
            GoHome();
            HomeMuscles();
            platform::UseRealClock();
        }
        state.ResumeTiming();
        result = RunHybridControl(DisplayView);
    }
    if (result.end != runs::RunEnd::kCompleted) {
        state.SkipWithError("the run did not complete");
    }
    state.counters["samples"] = result.timing.samples;
    state.counters["longestWorkMs"] = result.timing.longestWorkMs;
    state.counters["samplesOver20Ms"] = result.timing.samplesOver20Ms;
    state.counters["worstLatenessMs"] = result.timing.worstLatenessMs;
}
BENCHMARK(HybridRunRedrawing)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (std::getenv("DISPLAY") == nullptr) {
        std::fputs("console_run_bench: needs an X display\n", stderr);
        return 1;
    }
    // The run's files and the arm mesh in a scratch working directory.
    const runbench::RunCase runCase;
    if (!runCase.ok() || std::system(MAKE_ARM_MESH " > /dev/null") != 0) {
        std::fputs("console_run_bench: cannot prepare the working directory\n", stderr);
        return 1;
    }
    {
        QuietStdout quiet;
        ResetCards();
        BuildConsoleWindows();
    }
    mainWindow = glutGetWindow();
    // Let the panels lay themselves out, as they have before any press.
    for (int i = 0; i < 100; ++i) {
        glutMainLoopEvent();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    CloseCards();
    return 0;
}
