// trajgen: writes the three trajectory files of a control run without the
// console, with the wave choice, amplitude and frequency of the panel.

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "labdir/lab_lock.h"
#include "runfiles/catalogue.h"
#include "tools/command_line.h"
#include "trajectory/trajectory.h"

namespace {

// Each %s is a file name from the catalogue, filled in by main.
constexpr const char* kUsage =
    "Usage: trajgen [--sine] [--ramp] [--step] [--amplitude A] [--frequency F] [--dir D]\n"
    "\n"
    "Generates the reference trajectory of a control run, as the console's\n"
    "\"Generate Trajectory\" button does, and writes\n"
    "%s, %s and\n"
    "%s into D/NeuralFiles (created when missing).\n"
    "\n"
    "  --sine         the tool point follows a sine wave of the amplitude and frequency\n"
    "  --ramp         triangle wave, 0.7 mm per sample between about -104 and 106 mm\n"
    "  --step         steps to 40, 80, 120, 80, 44 and 8 mm\n"
    "  --amplitude A  sine amplitude in mm, -200 to 200 (default 100)\n"
    "  --frequency F  sine frequency in Hz, 0 to 15 (default 0.5)\n"
    "  --dir D        directory whose NeuralFiles/ receives the files (default .)\n"
    "  --help         show this text\n"
    "\n"
    "Waves combine as on the panel: step, sine and ramp are evaluated in this order\n"
    "and the last selected one is written; step and ramp share their running value.\n"
    "With no wave the arm holds its home pose and all desired velocities are 0.\n"
    "\n"
    "While another command works in D, trajgen refuses at once and names it.\n"
    "\n"
    "Exit status: 0 when all three files were written, 1 when a file could not be\n"
    "written, 2 on a usage error.\n";

}  // namespace

int main(int argc, char** argv) {
    tools::CommandLine app("trajgen", tools::Formatted(kUsage, runfiles::kVelocityTrajectory.Name(),
                                                       runfiles::kEncoderTrajectory.Name(),
                                                       runfiles::kDynamicTerms.Name()));
    bool sine = false, ramp = false, step = false;
    float amplitude = 100.0f, frequency = 0.5f;
    std::string dir = ".";
    app.add_flag("--sine", sine);
    app.add_flag("--ramp", ramp);
    app.add_flag("--step", step);
    tools::AddReal(app, "--amplitude", amplitude, -200, 200);
    tools::AddReal(app, "--frequency", frequency, 0, 15);
    tools::AddText(app, "--dir", dir);
    if (const auto exit = app.Parse(argc, argv)) {
        return *exit;
    }

    // D is locked and D/NeuralFiles created from here, before entering D, so
    // that the messages name it as the user gave it; a D that cannot be
    // entered is reported below.
    const bool isDirectory = std::filesystem::is_directory(dir);
    const auto lock = isDirectory ? labdir::LabLock::Take(dir, "trajgen") : std::nullopt;
    if (isDirectory && (!lock || !tools::CreateOutputDirectory(
                                     app.get_name(), dir + "/" + runfiles::kLabDirectory))) {
        return tools::kFailure;
    }
    std::error_code error;
    std::filesystem::current_path(dir, error);
    if (error) {
        std::fprintf(stderr, "trajgen: cannot enter %s: %s\n", dir.c_str(),
                     error.message().c_str());
        return tools::kFailure;
    }
    int sineSelected = sine, rampSelected = ramp, stepSelected = step;
    std::vector<std::string> unwritten;
    if (!GenerateTrajectory(&sineSelected, &rampSelected, &stepSelected, &amplitude, &frequency,
                            &unwritten)) {
        for (const std::string& path : unwritten) {
            std::fprintf(stderr, "trajgen: %s/%s was not written and closed cleanly\n", dir.c_str(),
                         path.substr(2).c_str());
        }
        return tools::kFailure;
    }
    return 0;
}
