// make-demo-data: writes a demo weight set and run log for arbiter.
#include <filesystem>
#include <string>

#include "labdir/lab_lock.h"
#include "runfiles/catalogue.h"
#include "tools/command_line.h"
#include "tools/demo_data.h"

namespace {

// Each %s is a file name from the catalogue, filled in by main.
constexpr const char* kUsage =
    "Usage: make-demo-data [--seed N] [--samples N] DIR\n"
    "\n"
    "Writes synthetic demo data laid out as arbiter expects, from a seed:\n"
    "  DIR/NeuralFiles/WeightsPONNET/  %s and the 288 PONNET\n"
    "                                  weight files (muscles 1-4, labels -72..68, f and b)\n"
    "  DIR/arbiter/%s  a logged run: a smooth swing of the\n"
    "                                  muscle joint with measured pressures\n"
    "  DIR/arbiter/%s          the hybrid run's fuzzy parameter vector\n"
    "The two directories are created when missing. Then run arbiter in DIR/arbiter.\n"
    "\n"
    "  --seed N     random seed (default 1); equal seeds give equal files\n"
    "  --samples N  log records, 20 ms apart (default 1330; at least 6, the fewest\n"
    "               arbiter can score)\n"
    "  --help       this text\n";

}  // namespace

int main(int argc, char** argv) {
    tools::CommandLine app("make-demo-data",
                           tools::Formatted(kUsage, runfiles::kPonnetGeneralWeights.Name(),
                                            runfiles::kRunLog.Name(), runfiles::kCandidate.Name()));
    long seed = 1, samples = 1330;
    std::string dir;
    tools::AddWhole(app, "--seed", seed, 0, 0xFFFFFFFFL);
    tools::AddWhole(app, "--samples", samples, 6, 1000000);
    tools::AddText(app, "DIR", dir)->required();
    if (const auto exit = app.Parse(argc, argv)) {
        return *exit;
    }

    const std::filesystem::path root = dir;
    if (!tools::CreateOutputDirectory(app.get_name(), (root / demo::kWeightDirectory).string()) ||
        !tools::CreateOutputDirectory(app.get_name(), (root / demo::kArbiterDirectory).string())) {
        return 1;
    }
    const auto lock = labdir::LabLock::Take(root.string(), "make-demo-data");
    if (!lock) {
        return 1;
    }
    return demo::WriteDemoData(dir, unsigned(seed), int(samples)) ? 0 : 1;
}
