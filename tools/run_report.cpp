// run-report: draws what a control run, an evaluation, a parameter search or
// the training recordings did into one picture, through gnuplot.
#include <csignal>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "reports/report.h"
#include "runfiles/catalogue.h"
#include "tools/command_line.h"

namespace {

// Each %s is a file name from the catalogue, filled in by main.
constexpr const char* kUsage =
    "Usage: run-report [options] PATH OUTPUT\n"
    "\n"
    "Draws the files at PATH into the picture OUTPUT (.png, .pdf or .svg) with\n"
    "gnuplot, and keeps the gnuplot script beside it (OUTPUT with .gp), with the\n"
    "data inside, to adjust and run again. The kinds, recognised from the files\n"
    "present unless --kind names one:\n"
    "\n"
    "  run         PATH holds NeuralFiles/ after a hybrid or neural-only run:\n"
    "              per muscle desired and measured pressure and the valve command;\n"
    "              shoulder, elbow and carriage counts against the desired counts;\n"
    "              the muscle-driven joint against the trajectory; a marker where\n"
    "              a run stopped early. The trajectory is the one the run ran\n"
    "              along: the lab notebook's copy (the notebook in PATH or above it,\n"
    "              the log found by its SHA-256), else NeuralFiles/'s when it is not\n"
    "              newer than the log (else refused); --trajectory names it\n"
    "  evaluation  PATH is an arbiter working directory: own-bin and blended\n"
    "              predictions against the measured pressures, the blend weight\n"
    "              over the bin phase, the fitness\n"
    "  search      PATH is tune-fuzzy's progress CSV: best fitness against\n"
    "              evaluations\n"
    "  training    PATH holds NeuralFiles/ with training recordings: excitation\n"
    "              and response of each motor and muscle procedure\n"
    "  experiment  PATH is an experiment recording (or holds\n"
    "              %s): valve and motor commands,\n"
    "              pressures, axes and the joint over time, and the joint against\n"
    "              the differential pressure, where hysteresis shows\n"
    "\n"
    "Times are in seconds (20 ms per sample). A missing or malformed file is named\n"
    "with what is wrong, and no picture is written. The picture is drawn beside\n"
    "OUTPUT (OUTPUT.partial) and renamed once whole; interrupted (SIGINT, SIGTERM),\n"
    "run-report ends gnuplot, removes the partial picture and ends by the signal.\n"
    "\n"
    "Options:\n"
    "  --kind KIND     run, evaluation, search, training or experiment\n"
    "  --trajectory FILE  run: the trajectory file the run ran along (the desired\n"
    "                  counts beside it, or PATH's)\n"
    "  --width PX      picture width in pixels, 320 to 10000 (default 1600; PDF: 96 px\n"
    "                  to the inch)\n"
    "  --height PX     picture height in pixels, 240 to 10000 (default 300 per row of\n"
    "                  panels, at least 600)\n"
    "  --help          show this text\n"
    "\n"
    "Exit status: 0 when the picture was written, 1 when it was not, 2 on a usage\n"
    "error.\n";

}  // namespace

int main(int argc, char** argv) {
    std::string kind, trajectory;
    long width = reports::kDefaultWidth, height = 0;
    std::string input, output;
    tools::CommandLine app("run-report",
                           tools::Formatted(kUsage, runfiles::kExperimentRecording.RelativePath()));
    tools::AddChoice(app, "--kind", kind,
                     {"run", "evaluation", "search", "training", "experiment"});
    tools::AddText(app, "--trajectory", trajectory);
    tools::AddWhole(app, "--width", width, 320, 10000);
    tools::AddWhole(app, "--height", height, 240, 10000);
    tools::AddText(app, "PATH", input)->required();
    tools::AddText(app, "OUTPUT", output)->required();
    if (const auto exit = app.Parse(argc, argv)) {
        return *exit;
    }
    const std::string extension = std::filesystem::path(output).extension().string();
    if (extension != ".png" && extension != ".pdf" && extension != ".svg") {
        return tools::UsageError(app, "OUTPUT '" + output + "' does not end in .png, .pdf or .svg");
    }

    reports::Request request;
    request.input = input;
    request.output = output;
    if (!kind.empty()) {
        request.kind = reports::KindFromName(kind);
    }
    if (!trajectory.empty()) {
        request.trajectory = trajectory;
    }
    request.width = int(width);
    if (height > 0) {
        request.height = int(height);
    }
    std::ostringstream errors;
    int interruptedBy = 0;
    if (!reports::WriteReport(request, errors, &interruptedBy)) {
        std::cerr << "run-report: " << errors.str();
        if (interruptedBy != 0) {
            std::signal(interruptedBy, SIG_DFL);
            std::raise(interruptedBy);
        }
        return 1;
    }
    std::cout << "run-report: wrote " << request.output.string() << " and "
              << std::filesystem::path(request.output).replace_extension(".gp").string() << "\n";
    return 0;
}
