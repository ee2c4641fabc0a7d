// run-report's work on a whole run of the standard sine trajectory (1329
// lines, a log of 1325 samples): the files read, the script written and
// gnuplot drawing the PNG. Goal: under 1 s wall per report. The log is
// make-demo-data's synthetic run of that length, made once before timing.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "reports/report.h"
#include "runfiles/catalogue.h"

namespace {

namespace fs = std::filesystem;

void WholeRunReport(benchmark::State& state) {
    const fs::path dir = fs::temp_directory_path() / ("report-bench-" + std::to_string(getpid()));
    const std::string quiet = " > /dev/null";
    const bool ok =
        std::system(
            (std::string(MAKE_DEMO_DATA) + " --samples 1325 " + dir.string() + quiet).c_str()) ==
            0 &&
        std::system((std::string(TRAJGEN) + " --sine --dir " + dir.string() + quiet).c_str()) == 0;
    std::error_code code;
    fs::copy_file(dir / (std::string("arbiter/") + runfiles::kRunLog.Name()),
                  dir / runfiles::kRunLog.RelativePath(), code);
    if (!ok || code) {
        state.SkipWithError("the run's files could not be written");
        fs::remove_all(dir, code);
        return;
    }
    reports::Request request;
    request.input = dir;
    request.output = dir / "report.png";
    std::ostringstream errors;
    for (auto _ : state) {
        if (!reports::WriteReport(request, errors)) {
            state.SkipWithError(errors.str().c_str());
            break;
        }
    }
    if (fs::exists(request.output)) {
        state.counters["picture_kB"] = double(fs::file_size(request.output)) / 1000.0;
    }
    fs::remove_all(dir, code);
}
BENCHMARK(WholeRunReport)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
