// make-demo-data: writes a demo weight set and run log for arbiter.
#include <filesystem>
#include <string>
#include <vector>

#include "labdir/lab_lock.h"
#include "tools/arguments.h"
#include "tools/demo_data.h"

namespace {

constexpr const char* kUsage =
    "Usage: make-demo-data [--seed N] [--samples N] DIR\n"
    "\n"
    "Writes synthetic demo data laid out as arbiter expects, from a seed:\n"
    "  DIR/NeuralFiles/WeightsPONNET/  GeneralWeights.txt and the 288 PONNET\n"
    "                                  weight files (muscles 1-4, labels -72..68, f and b)\n"
    "  DIR/arbiter/LogALLANNETPressures.txt  a logged run: a smooth swing of the\n"
    "                                  muscle joint with measured pressures\n"
    "  DIR/arbiter/KFFile.txt          the hybrid run's fuzzy parameter vector\n"
    "The two directories are created when missing. Then run arbiter in DIR/arbiter.\n"
    "\n"
    "  --seed N     random seed (default 1); equal seeds give equal files\n"
    "  --samples N  log records, 20 ms apart (default 1330; at least 6, the fewest\n"
    "               arbiter can score)\n"
    "  --help       this text\n";

}  // namespace

int main(int argc, char** argv) {
    tools::Arguments args("make-demo-data", kUsage);
    long seed = 1, samples = 1330;
    std::vector<std::string> dirs;
    args.Integer("--seed", seed, 0, 0xFFFFFFFFL);
    args.Integer("--samples", samples, 6, 1000000);
    args.Positionals(dirs, 1, 1, "DIR");
    if (const auto exit = args.Parse(argc, argv)) {
        return *exit;
    }

    const std::filesystem::path root = dirs.front();
    if (!tools::CreateOutputDirectory(args.program(), (root / demo::kWeightDirectory).string()) ||
        !tools::CreateOutputDirectory(args.program(), (root / demo::kArbiterDirectory).string())) {
        return 1;
    }
    const auto lock = labdir::LabLock::Take(root.string(), "make-demo-data");
    if (!lock) {
        return 1;
    }
    return demo::WriteDemoData(dirs.front(), unsigned(seed), int(samples)) ? 0 : 1;
}
