// run-figures: how closely a control run followed its trajectory, on one
// line a script can read.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "figures/figures.h"
#include "figures/run_inputs.h"
#include "runfiles/catalogue.h"
#include "tools/command_line.h"

namespace {

// Each %s is a file name from the catalogue, filled in by main.
constexpr const char* kUsage =
    "Usage: run-figures [--tsv] [--dir D] [--trajectory FILE]\n"
    "\n"
    "Reads the log of the last control run in D (default .),\n"
    "%s, and the trajectory it ran along: the\n"
    "copy the lab notebook keeps of it (the notebook in D or the nearest directory\n"
    "above holding Archive/; the log is found by its SHA-256), or, for a log the\n"
    "notebook does not know, %s when it is\n"
    "not newer than the log (else it is refused, naming both files); --trajectory\n"
    "names the trajectory file instead. Prints\n"
    "  samples N pressure-rms P joint-rms J saturated S valve-saturated V\n"
    "  pressure-saturated D\n"
    "N the samples the loop ran (a run stopped early logs zeros after its last\n"
    "sample; those are left out), P the RMS of measured against desired pressure\n"
    "over the four muscles in bar, J the RMS of the muscle-driven joint's angle\n"
    "(encoders 3 and 4) against the trajectory's first field, in degrees.\n"
    "S the samples run that asked what the arm cannot do: V of them a valve\n"
    "command outside the card's 0 to 8 V, D a desired pressure outside 0 bar to\n"
    "the 5.5 bar supply (in any muscle).\n"
    "With --tsv the same figures are printed for scripts, one per line as the key,\n"
    "a tab and the value: samples, pressure-rms, joint-rms,\n"
    "saturated, valve-saturated, pressure-saturated.\n"
    "\n"
    "Exit status: 0 with the line printed, 1 when a file is missing or holds no\n"
    "sample that ran or the trajectory the run ran along is not known, 2 on a usage\n"
    "error.\n";

}  // namespace

int main(int argc, char** argv) {
    tools::CommandLine app("run-figures", tools::Formatted(kUsage, runfiles::kRunLog.RelativePath(),
                                                           runfiles::kDynamicTerms.RelativePath()));
    std::string dir = ".", trajectory;
    bool tsv = false;
    tools::AddText(app, "--dir", dir);
    tools::AddText(app, "--trajectory", trajectory);
    app.add_flag("--tsv", tsv);
    if (const auto exit = app.Parse(argc, argv)) {
        return *exit;
    }
    std::string problem;
    const auto inputs = figures::FindRunInputs(
        dir, trajectory.empty() ? std::nullopt : std::optional<std::filesystem::path>(trajectory),
        problem);
    const auto figures =
        inputs ? figures::ReadRunFigures(inputs->log, inputs->trajectory, problem) : std::nullopt;
    if (!figures) {
        std::fprintf(stderr, "run-figures: %s\n", problem.c_str());
        return 1;
    }
    const figures::Saturation& saturation = figures->saturation;
    std::printf(tsv ? "samples\t%d\npressure-rms\t%.4f\njoint-rms\t%.4f\nsaturated\t%d\n"
                      "valve-saturated\t%d\npressure-saturated\t%d\n"
                    : "samples %d pressure-rms %.4f joint-rms %.4f saturated %d valve-saturated %d "
                      "pressure-saturated %d\n",
                figures->samples, figures->pressureRms, figures->jointRmsDegrees,
                saturation.samples, saturation.valve, saturation.pressure);
    return tools::FinishStandardOutput("run-figures", 0);
}
