// trajgen: writes the three trajectory files of a control run without the
// console, with the wave choice, amplitude and frequency of the panel.

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "trajectory/trajectory.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kWriteError = 1;

constexpr const char* kUsage =
    "Usage: trajgen [--sine] [--ramp] [--step] [--amplitude A] [--frequency F] [--dir D]\n"
    "\n"
    "Generates the reference trajectory of a control run, as the console's\n"
    "\"Generate Trajectory\" button does, and writes\n"
    "SinVelocityTrajectoryDesired.txt, SinTrajectoryEncoderOutputDesired.txt and\n"
    "SinTrajectoryALLWeights.txt into D/NeuralFiles (created when missing).\n"
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
    "Exit status: 0 when all three files were written, 1 when a file could not be\n"
    "written, 2 on a usage error.\n";

int UsageError(const std::string& message) {
    std::fprintf(stderr, "trajgen: %s\nTry 'trajgen --help'.\n", message.c_str());
    return kUsageError;
}

// Parses the whole of `text` as a finite number within [low, high].
bool ParseWithin(std::string_view text, float low, float high, float& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end && std::isfinite(value) && value >= low &&
           value <= high;
}

}  // namespace

int main(int argc, char** argv) {
    int sine = 0, ramp = 0, step = 0;
    float amplitude = 100.0f, frequency = 0.5f;
    std::filesystem::path dir = ".";

    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (option == "--sine") {
            sine = 1;
        } else if (option == "--ramp") {
            ramp = 1;
        } else if (option == "--step") {
            step = 1;
        } else if (option == "--amplitude" || option == "--frequency" || option == "--dir") {
            if (i + 1 == argc)
                return UsageError(std::string(option) + " needs a value");
            const std::string_view value = argv[++i];
            if (option == "--dir") {
                dir = value;
            } else if (option == "--amplitude" && !ParseWithin(value, -200, 200, amplitude)) {
                return UsageError("amplitude '" + std::string(value) +
                                  "' is not a number from -200 to 200");
            } else if (option == "--frequency" && !ParseWithin(value, 0, 15, frequency)) {
                return UsageError("frequency '" + std::string(value) +
                                  "' is not a number from 0 to 15");
            }
        } else {
            return UsageError("unknown option '" + std::string(option) + "'");
        }
    }

    std::error_code error;
    std::filesystem::current_path(dir, error);
    if (error) {
        std::fprintf(stderr, "trajgen: cannot enter %s: %s\n", dir.c_str(),
                     error.message().c_str());
        return kWriteError;
    }
    std::filesystem::create_directory("NeuralFiles", error);
    if (error) {
        std::fprintf(stderr, "trajgen: cannot create %s/NeuralFiles: %s\n", dir.c_str(),
                     error.message().c_str());
        return kWriteError;
    }
    if (!GenerateTrajectory(&sine, &ramp, &step, &amplitude, &frequency)) {
        std::fprintf(stderr,
                     "trajgen: the trajectory files in %s/NeuralFiles were not all written "
                     "and closed cleanly\n",
                     dir.c_str());
        return kWriteError;
    }
    return 0;
}
