// make-demo-networks: writes plausible weight files for the six valve and
// link networks into DIR/NeuralFiles/, so that the control runs have
// networks to load on the virtual lab. The weights are random (from SEED)
// but shaped so that:
//   - each valve network maps a desired pressure of 0 to 4 smoothly and
//     monotonically onto a valve voltage of about 0.5 to 7.5 V, and never
//     leaves that band whatever its inputs;
//   - each link network maps a desired velocity (encoder counts per ms)
//     roughly proportionally onto a motor voltage, 0 V at rest, saturating
//     well inside +-5 V.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "networks/weight_file.h"
#include "tools/arguments.h"

namespace {

using networks::NetworkWeights;

// Hidden layer sizes of the demo networks.
constexpr int kValveHidden = 20;
constexpr int kLinkHidden = 50;

// Valve voltage band of the demo valve networks.
constexpr double kLowestValveVolts = 0.5;
constexpr double kHighestValveVolts = 7.5;

// Saturation level of the link networks' hidden contributions, in volts.
constexpr double kLinkVolts = 3.0;
// Velocities, in counts per ms, at which a link network is well into its
// curve: the carriage runs at a few tenths, the joints at a few counts.
constexpr double kCarriageFullVelocity = 0.5;
constexpr double kJointFullVelocity = 5.0;
// Output scale of the double link network.
constexpr double kDoubleLinkScale = 15.0;

class Random {
  public:
    explicit Random(unsigned long seed) : engine_(seed) {}
    double Uniform(double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(engine_);
    }
    double Sign() { return Uniform(0.0, 1.0) < 0.5 ? -1.0 : 1.0; }

  private:
    std::mt19937 engine_;
};

// Logistic neurons, each a soft step at its own pressure along a blend of
// the current and next two desired pressures (inputs 0 to 2, pressure / 4),
// nudged by the differences and the slope (inputs 3 to 5, 0.5 at rest).
// The output weights are positive and sum to the band, so the voltage rises
// with the pressure and stays inside the band.
NetworkWeights ValveNetwork(Random& random) {
    const double blend[3] = {0.5, 0.3, 0.2};
    NetworkWeights w = NetworkWeights::Zero(kValveHidden, 6, 1);
    double weightSum = 0.0;
    for (int j = 0; j < kValveHidden; ++j) {
        const double steepness = random.Uniform(3.0, 8.0);
        const double centre = random.Uniform(0.05, 0.95);
        double bias = -steepness * centre;
        for (int i = 0; i < 3; ++i)
            w.InputWeight(j, i) = float(steepness * blend[i]);
        for (int i = 3; i < 6; ++i) {
            const double nudge = random.Uniform(-0.5, 0.5);
            w.InputWeight(j, i) = float(nudge);
            bias -= 0.5 * nudge;
        }
        w.hiddenBiases[j] = float(bias);
        w.OutputWeight(0, j) = float(random.Uniform(0.5, 1.5));
        weightSum += w.OutputWeight(0, j);
    }
    const double band = (kHighestValveVolts - kLowestValveVolts) / 8.0;
    for (float& weight : w.outputWeights)
        weight = float(weight * band / weightSum);
    w.outputBiases[0] = float(kLowestValveVolts / 8.0);
    return w;
}

// Hyperbolic-tangent neurons with small biases. Neuron j is driven by input
// j % inputs (with a small cross weight from the others) and feeds output
// j % inputs (with a small cross weight into the others), always with the
// sign that makes the output grow with its own velocity. Each output's
// weights sum to kLinkVolts in magnitude, and its bias cancels the hidden
// contributions at rest, so the output is 0 V at zero velocity and stays
// within 1.3 × kLinkVolts.
NetworkWeights LinkNetwork(Random& random, int inputs, double fullVelocity, double scale) {
    NetworkWeights w = NetworkWeights::Zero(kLinkHidden, inputs, inputs);
    for (int j = 0; j < kLinkHidden; ++j) {
        const int own = j % inputs;
        const double sign = random.Sign();
        const double weight = sign * random.Uniform(0.5, 1.5) / fullVelocity;
        const double influence = random.Uniform(0.5, 1.5);
        for (int k = 0; k < inputs; ++k) {
            const double cross = k == own ? 1.0 : random.Uniform(-0.1, 0.1);
            w.InputWeight(j, k) = float(weight * cross);
            w.OutputWeight(k, j) = float(sign * influence * cross);
        }
        w.hiddenBiases[j] = float(random.Uniform(-0.3, 0.3));
    }
    for (int k = 0; k < inputs; ++k) {
        double magnitude = 0.0;
        for (int j = 0; j < kLinkHidden; ++j)
            magnitude += std::fabs(w.OutputWeight(k, j));
        double atRest = 0.0;
        for (int j = 0; j < kLinkHidden; ++j) {
            float& weight = w.OutputWeight(k, j);
            weight = float(weight * kLinkVolts / scale / magnitude);
            atRest += std::tanh(double(w.hiddenBiases[j])) * weight;
        }
        w.outputBiases[k] = float(-atRest);
    }
    return w;
}

bool Write(const std::filesystem::path& directory, const std::string& name,
           const NetworkWeights& weights) {
    const std::string path = (directory / name).string();
    if (!networks::WriteWeightFile(path, weights)) {
        std::fprintf(stderr, "make-demo-networks: cannot write %s\n", path.c_str());
        return false;
    }
    std::printf("%s\n", path.c_str());
    return true;
}

constexpr const char* kUsage =
    "usage: make-demo-networks [--dir DIR] [--seed SEED]\n"
    "Writes demo weight files of the six valve and link networks into\n"
    "DIR/NeuralFiles/, created when missing (DIR defaults to ., SEED to 1).\n";

}  // namespace

int main(int argc, char** argv) {
    tools::Arguments args("make-demo-networks", kUsage);
    std::string root = ".";
    long seed = 1;
    args.Text("--dir", root);
    args.Integer("--seed", seed, 0, 4294967295L);
    if (const auto exit = args.Parse(argc, argv))
        return *exit;

    const std::filesystem::path directory = std::filesystem::path(root) / "NeuralFiles";
    if (!tools::CreateOutputDirectory(args.program(), directory.string()))
        return 1;

    Random random(static_cast<unsigned long>(seed));
    bool written = true;
    for (int muscle = 1; muscle <= 4; ++muscle) {
        written = Write(directory, "WeightsANNET" + std::to_string(muscle) + ".txt",
                        ValveNetwork(random)) &&
                  written;
    }
    written = Write(directory, "WeightsDoubleLink.txt",
                    LinkNetwork(random, 2, kJointFullVelocity, kDoubleLinkScale)) &&
              written;
    written = Write(directory, "WeightsUpperLink.txt",
                    LinkNetwork(random, 1, kCarriageFullVelocity, 1.0)) &&
              written;
    return written ? 0 : 1;
}
