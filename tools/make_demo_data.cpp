// make-demo-data: writes a demo weight set and run log for arbiter.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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
    "Then run arbiter in DIR/arbiter.\n"
    "\n"
    "  --seed N     random seed (default 1); equal seeds give equal files\n"
    "  --samples N  log records, 20 ms apart (default 1330; at least 6, the fewest\n"
    "               arbiter can score)\n"
    "  --help       this text\n";

bool ParseCount(const char* text, long low, long high, long& value) {
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && value >= low && value <= high;
}

}  // namespace

int main(int argc, char** argv) {
    long seed = 1, samples = 1330;
    const char* dir = nullptr;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (std::strcmp(argv[i], "--seed") == 0 && hasValue &&
                   ParseCount(argv[i + 1], 0, 0xFFFFFFFFL, seed)) {
            ++i;
        } else if (std::strcmp(argv[i], "--samples") == 0 && hasValue &&
                   ParseCount(argv[i + 1], 6, 1000000, samples)) {
            ++i;
        } else if (argv[i][0] != '-' && dir == nullptr) {
            dir = argv[i];
        } else {
            std::fprintf(stderr, "make-demo-data: bad argument '%s'\n\n%s", argv[i], kUsage);
            return 2;
        }
    }
    if (dir == nullptr) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    return demo::WriteDemoData(dir, unsigned(seed), int(samples)) ? 0 : 1;
}
