// train-networks: fits the valve, link and pressure networks to a lab's
// recordings and writes their weight files into the lab's NeuralFiles/.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "labdir/lab_lock.h"
#include "runfiles/catalogue.h"
#include "tools/arguments.h"
#include "trainer/trainer.h"

namespace {

constexpr const char* kUsage =
    "Usage: train-networks valves|links|pressure|all [options]\n"
    "\n"
    "Trains networks from the recordings of the training procedures and runs and\n"
    "writes their weight files into NeuralFiles/ of the lab directory. A family is\n"
    "written only when all its networks were fitted; its files are replaced all\n"
    "together. Paths are relative to the lab directory.\n"
    "\n"
    "  valves    WeightsANNET1.txt to 4, from TrainPressureVoltageANNET1.txt to 4\n"
    "  links     WeightsDoubleLink.txt and WeightsUpperLink.txt, from\n"
    "            VoltageTrainDoubleLink_Input.txt and VelocitiesTrainDouble_Output.txt\n"
    "  pressure  WeightsPONNET/GeneralWeights.txt and the 288 per-bin files, from\n"
    "            ALLTrainDataEncoders.txt and ALLTrainFilteredPressureValues.txt\n"
    "            (or a run log, --log)\n"
    "  all       the three families from the standard recordings\n"
    "\n"
    "  --dir D              lab directory holding NeuralFiles/ (default .)\n"
    "  --valve-prefix P     valve recordings P1.txt to P4.txt\n"
    "                       (default NeuralFiles/TrainPressureVoltageANNET)\n"
    "  --voltages F         motor voltages (default NeuralFiles/VoltageTrainDoubleLink_Input.txt)\n"
    "  --velocities F       motor velocities (default "
    "NeuralFiles/VelocitiesTrainDouble_Output.txt)\n"
    "  --encoders F         encoder counts of the combined training run\n"
    "                       (default NeuralFiles/ALLTrainDataEncoders.txt)\n"
    "  --pressures F        pressures of the combined training run\n"
    "                       (default NeuralFiles/ALLTrainFilteredPressureValues.txt)\n"
    "  --log F              train the pressure networks from this run log instead\n"
    "  --seed N             seed of the starts and the held-out split (default 1)\n"
    "  --restarts N         seeded starts per network, 1 to 100 (default 4)\n"
    "  --iterations N       Levenberg-Marquardt steps per start, 1 to 10000 (default 150)\n"
    "  --help               show this text\n"
    "\n"
    "Prints one table per family (samples, train and held-out RMS measured with the\n"
    "written files, the bins whose networks were fitted on neighbouring bins) and\n"
    "writes it as CSV: NeuralFiles/TrainingReportValves.csv,\n"
    "NeuralFiles/TrainingReportLinks.csv, NeuralFiles/WeightsPONNET/TrainingReport.csv.\n"
    "\n"
    "While another command works in the lab directory, train-networks refuses at\n"
    "once and names it.\n"
    "\n"
    "Exit status: 0 when every family asked for was written, 1 when one was not,\n"
    "2 on a usage error.\n";

bool Finish(const trainer::FamilyReport& report, const std::string& csv) {
    trainer::PrintReport(stdout, report);
    if (report.written && !trainer::WriteReportCsv(csv, report)) {
        std::printf("  %s could not be written\n", csv.c_str());
        return false;
    }
    return report.written;
}

}  // namespace

int main(int argc, char** argv) {
    tools::Arguments args("train-networks", kUsage);
    std::vector<std::string> actions;
    std::string dir = ".", valvePrefix = trainer::kValveRecordingPrefix;
    trainer::MotorRecordings motors;
    trainer::PressureRecordings pressures;
    long seed = 1, restarts = 4, iterations = 150;
    args.Positionals(actions, 1, 1, "ACTION");
    args.Text("--dir", dir);
    args.Text("--valve-prefix", valvePrefix);
    args.Text("--voltages", motors.voltages);
    args.Text("--velocities", motors.velocities);
    args.Text("--encoders", pressures.encoders);
    args.Text("--pressures", pressures.pressures);
    args.Text("--log", pressures.runLog);
    args.Integer("--seed", seed, 0, 4294967295L);
    args.Integer("--restarts", restarts, 1, 100);
    args.Integer("--iterations", iterations, 1, 10000);
    if (const auto exit = args.Parse(argc, argv)) {
        return *exit;
    }
    const std::string& action = actions[0];
    if (action != "valves" && action != "links" && action != "pressure" && action != "all") {
        return args.UsageError("ACTION '" + action +
                               "' is not one of valves, links, pressure, all");
    }

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
    bool written = true;
    if (action == "valves" || action == "all") {
        written =
            Finish(trainer::TrainValveNetworks(trainer::ValveRecordings(valvePrefix), options),
                   runfiles::kValveTrainingReport.path) &&
            written;
    }
    if (action == "links" || action == "all") {
        written = Finish(trainer::TrainLinkNetworks(motors, options),
                         runfiles::kLinkTrainingReport.path) &&
                  written;
    }
    if (action == "pressure" || action == "all") {
        written = Finish(trainer::TrainPressureNetworks(pressures, options),
                         runfiles::kPonnetTrainingReport.path) &&
                  written;
    }
    return written ? 0 : 1;
}
