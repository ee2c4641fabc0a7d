// tendon's window (view, control panel, view panel) on the virtual lab,
// while a control run redraws the view once per 20 ms sample:
//   ConsoleViewFrame      one DisplayView in the console's view port
//   HybridRunRedrawing    a whole hybrid run in real time along the sine
//                         trajectory on the demo networks; its counters are
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
#include <filesystem>
#include <string>
#include <thread>

#include "console/console.h"
#include "console/scene.h"
#include "platform/clock.h"
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
    for (auto _ : state) {
        state.PauseTiming();
        platform::UseVirtualClock();
        GoHome();
        HomeMuscles();
        platform::UseRealClock();
        state.ResumeTiming();
        const runs::RunResult result = RunHybridControl(DisplayView);
        state.counters["samples"] = result.timing.samples;
        state.counters["longestWorkMs"] = result.timing.longestWorkMs;
        state.counters["samplesOver20Ms"] = result.timing.samplesOver20Ms;
        state.counters["worstLatenessMs"] = result.timing.worstLatenessMs;
    }
}
BENCHMARK(HybridRunRedrawing)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

bool PrepareLab(const std::filesystem::path& dir) {
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "NeuralFiles");
    std::filesystem::current_path(dir);
    for (const std::string& command :
         {std::string(MAKE_ARM_MESH), std::string(MAKE_DEMO_DATA) + " --samples 6 .",
          std::string(MAKE_DEMO_NETWORKS) + " --dir .", std::string(TRAJGEN) + " --sine"}) {
        if (std::system((command + " > /dev/null").c_str()) != 0) {
            std::fprintf(stderr, "console_run_bench: %s failed\n", command.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (std::getenv("DISPLAY") == nullptr) {
        std::fputs("console_run_bench: needs an X display\n", stderr);
        return 1;
    }
    if (!PrepareLab(std::filesystem::temp_directory_path() / "console_run_bench")) {
        return 1;
    }
    ResetCards();
    BuildConsoleWindows();
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
