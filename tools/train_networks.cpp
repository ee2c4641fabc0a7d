// train-networks: fits the valve, link and pressure networks to a lab's
// recordings and writes their weight files into the lab's NeuralFiles/.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "labdir/lab_lock.h"
#include "notebook/notebook.h"
#include "runfiles/catalogue.h"
#include "tools/command_line.h"
#include "trainer/trainer.h"

namespace {

// Each %s is a file name from the catalogue, filled in by main.
constexpr const char* kUsage =
    "Usage: train-networks valves|links|pressure|all [options]\n"
    "\n"
    "Trains networks from the recordings of the training procedures and runs and\n"
    "writes their weight files into NeuralFiles/ of the lab directory. A family is\n"
    "written only when all its networks were fitted; its files are replaced all\n"
    "together. Paths are relative to the lab directory.\n"
    "\n"
    "  valves    %s to 4, from %s to 4\n"
    "  links     %s and %s, from\n"
    "            %s and %s\n"
    "  pressure  %s and the 288 per-bin files, from\n"
    "            %s and %s\n"
    "            (or a run log, --log)\n"
    "  all       the three families from the standard recordings\n"
    "\n"
    "  --dir D              lab directory holding NeuralFiles/ (default .)\n"
    "  --valve-prefix P     valve recordings P1.txt to P4.txt\n"
    "                       (default %s)\n"
    "  --voltages F         motor voltages (default %s)\n"
    "  --velocities F       motor velocities (default "
    "%s)\n"
    "  --encoders F         encoder counts of the combined training run\n"
    "                       (default %s)\n"
    "  --pressures F        pressures of the combined training run\n"
    "                       (default %s)\n"
    "  --log F              train the pressure networks from this run log instead\n"
    "  --seed N             seed of the starts and the held-out split (default 1)\n"
    "  --restarts N         seeded starts per network, 1 to 100 (default 4)\n"
    "  --iterations N       Levenberg-Marquardt steps per start, 1 to 10000 (default 150)\n"
    "  --help               show this text\n"
    "\n"
    "Prints one table per family (samples, train and held-out RMS measured with the\n"
    "written files, the bins whose networks were fitted on neighbouring bins) and\n"
    "writes it as CSV: %s,\n"
    "%s, %s.\n"
    "\n"
    "While another command works in the lab directory, train-networks refuses at\n"
    "once and names it.\n"
    "\n"
    "Exit status: 0 when every family asked for was written, 1 when one was not,\n"
    "2 on a usage error.\n";

// Reports a family, writes its CSV and archives it in the lab's notebook
// (its recordings as inputs, its weight files and report as outputs, its
// held-out errors as figures).
bool Finish(notebook::Recorder& recorder, const trainer::FamilyReport& report,
            const std::string& csv) {
    trainer::PrintReport(stdout, report);
    bool written = report.written;
    if (report.written && !trainer::WriteReportCsv(csv, report)) {
        std::printf("  %s could not be written\n", csv.c_str());
        written = false;
    }
    double worst = 0, sum = 0;
    const char* unit = "";
    // A network in a directory of its own family (WeightsPONNET/) stands for
    // the whole directory, which holds the family's other files too.
    std::set<std::string> outputs;
    for (const trainer::NetworkReport& network : report.networks) {
        const std::size_t slash = network.file.find('/');
        outputs.insert(std::string(runfiles::kLabDirectory) + "/" + network.file.substr(0, slash));
        worst = std::max(worst, network.heldOutRms);
        sum += network.heldOutRms;
        unit = network.unit;
    }
    if (!report.networks.empty()) {
        recorder.Record("networks", double(report.networks.size()));
        recorder.Record(std::string("held_out_rms_mean_") + unit, sum / report.networks.size());
        recorder.Record(std::string("held_out_rms_max_") + unit, worst);
    }
    outputs.insert(csv);
    for (const std::string& output : outputs) {
        if (report.written) {
            recorder.Output(output);
        }
    }
    const std::string detail =
        report.family +
        (written ? ": written"
                 : ": not written" +
                       (report.notes.empty() ? std::string() : "; " + report.notes.back()));
    recorder.Finish(written          ? notebook::Outcome::kCompleted
                    : report.written ? notebook::Outcome::kFailed
                                     : notebook::Outcome::kRefused,
                    detail);
    return written;
}

// The usage with the catalogue's names filled in.
std::string Usage() {
    using namespace runfiles;
    return tools::Formatted(kUsage, kValveWeights.Name(1).c_str(), kValveRecording.Name(1).c_str(),
                            kDoubleLinkWeights.Name(), kUpperLinkWeights.Name(),
                            kMotorVoltages.Name(), kMotorVelocities.Name(),
                            kPonnetGeneralWeights.BelowLabDirectory(), kCombinedEncoders.Name(),
                            kCombinedPressures.Name(), kValveRecording.RelativePrefix(),
                            kMotorVoltages.RelativePath(), kMotorVelocities.RelativePath(),
                            kCombinedEncoders.RelativePath(), kCombinedPressures.RelativePath(),
                            kValveTrainingReport.RelativePath(), kLinkTrainingReport.RelativePath(),
                            kPonnetTrainingReport.RelativePath());
}

}  // namespace

int main(int argc, char** argv) {
    tools::CommandLine app("train-networks", Usage());
    std::string dir = ".", valvePrefix = trainer::kValveRecordingPrefix;
    trainer::MotorRecordings motors;
    trainer::PressureRecordings pressures;
    long seed = 1, restarts = 4, iterations = 150;
    tools::AddText(app, "--dir", dir);
    tools::AddText(app, "--valve-prefix", valvePrefix);
    tools::AddText(app, "--voltages", motors.voltages);
    tools::AddText(app, "--velocities", motors.velocities);
    tools::AddText(app, "--encoders", pressures.encoders);
    tools::AddText(app, "--pressures", pressures.pressures);
    tools::AddText(app, "--log", pressures.runLog);
    tools::AddWhole(app, "--seed", seed, 0, 4294967295L);
    tools::AddWhole(app, "--restarts", restarts, 1, 100);
    tools::AddWhole(app, "--iterations", iterations, 1, 10000);
    for (const char* family : {"valves", "links", "pressure", "all"}) {
        app.add_subcommand(family);
    }
    if (const auto exit = app.Parse(argc, argv)) {
        return *exit;
    }
    const std::string action = app.get_subcommands().front()->get_name();

    std::error_code error;
    std::filesystem::current_path(dir, error);
    if (error) {
        std::fprintf(stderr, "train-networks: cannot enter %s: %s\n", dir.c_str(),
                     error.message().c_str());
        return 1;
    }
    const auto lock = labdir::LabLock::Take(".", "train-networks");
    if (!lock) {
        return 1;
    }

    trainer::TrainingOptions options;
    options.seed = std::uint64_t(seed);
    options.restarts = int(restarts);
    options.maxIterations = int(iterations);
    // Each family is an entry of the notebook of its own.
    const auto family = [&](const char* name, const std::vector<std::string>& recordings) {
        notebook::Recorder recorder(".", ".", std::string("train-networks ") + name,
                                    std::vector<std::string>(argv + 1, argv + argc));
        for (const std::string& recording : recordings) {
            recorder.Input(recording);
        }
        recorder.Set("seed", std::to_string(seed));
        recorder.Set("restarts", std::to_string(restarts));
        recorder.Set("iterations", std::to_string(iterations));
        return recorder;
    };
    bool written = true;
    if (action == "valves" || action == "all") {
        const auto recordings = trainer::ValveRecordings(valvePrefix);
        auto recorder = family("valves", {recordings.begin(), recordings.end()});
        written = Finish(recorder, trainer::TrainValveNetworks(recordings, options),
                         runfiles::kValveTrainingReport.path) &&
                  written;
    }
    if (action == "links" || action == "all") {
        auto recorder = family("links", {motors.voltages, motors.velocities});
        written = Finish(recorder, trainer::TrainLinkNetworks(motors, options),
                         runfiles::kLinkTrainingReport.path) &&
                  written;
    }
    if (action == "pressure" || action == "all") {
        auto recorder = family(
            "pressure", pressures.runLog.empty()
                            ? std::vector<std::string>{pressures.encoders, pressures.pressures}
                            : std::vector<std::string>{pressures.runLog});
        written = Finish(recorder, trainer::TrainPressureNetworks(pressures, options),
                         runfiles::kPonnetTrainingReport.path) &&
                  written;
    }
    return written ? 0 : 1;
}
