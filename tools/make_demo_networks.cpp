// make-demo-networks: writes plausible weight files for the six valve and
// link networks into DIR/NeuralFiles/, so that the control runs have
// networks to load on the virtual lab. The weights are random (from SEED)
// but shaped so that:
//   - each valve network roughly inverts the lab's valve law: a desired
//     pressure of 0 to 5.5 bar onto the voltage that settles it, within
//     about 0.2 bar, rising smoothly and monotonically and never leaving the
//     valves' 0 to 8 V;
//   - each link network maps a desired velocity (encoder counts per ms)
//     onto the voltage at which the lab's motor runs at it, within 15 %
//     over the trajectories' velocities, 0 V at rest, saturating near 3.8 V.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "labdir/lab_lock.h"
#include "networks/weight_file.h"
#include "runfiles/catalogue.h"
#include "tools/command_line.h"

namespace {

using networks::NetworkWeights;

// The virtual lab, approximately (its plant parameters, as `lab-run
// characterise` measures them): a valve settles its muscle at 0.8 bar per
// volt above a 0.35 V dead band, up to its regulator's highest set pressure
// of 5.5 bar (the supply is 6 bar); a motor runs at 2000 (carriage) or 7000
// (shoulder, elbow) counts per second per volt of command.
constexpr double kValveDeadBandVolts = 0.35;
constexpr double kValveBarPerVolt = 0.8;
constexpr double kMaxSetBar = 5.5;
constexpr double kCarriageCountsPerSecondPerVolt = 2000.0;
constexpr double kJointCountsPerSecondPerVolt = 7000.0;

// Hidden layer sizes of the demo networks.
constexpr int kValveHidden = 20;
constexpr int kLinkHidden = 50;

// The valve network's output factor, V, and the pressure, bar, up to which
// its voltage ramps (to about 7.9 V at most, below the 8 V the card takes).
constexpr double kValveOutputScale = 8.0;
constexpr double kValveTopBar = kMaxSetBar + 0.5;
// The link networks' saturation, V.
constexpr double kLinkVolts = 3.8;
// Output scale of the double link network.
constexpr double kDoubleLinkScale = 15.0;

class Random {
  public:
    explicit Random(unsigned long seed) : engine_(seed) {}
    double Uniform(double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(engine_);
    }

  private:
    std::mt19937 engine_;
};

double Logistic(double x) {
    return 1.0 / (1.0 + std::exp(-x));
}

// A staircase of logistic steps, evenly spaced (with a little jitter) from
// 0 to kValveTopBar, each as wide as the spacing: their sum ramps up with the
// pressure at the valve law's inverse slope, on past the highest set pressure so
// that the ramp has not yet rounded off where the valve saturates. The pressure
// is a blend of the current and the next two desired pressures (inputs 0 to
// 2, pressure / 4) that looks ahead against the muscles' lag; the
// differences and the slope (inputs 3 to 5, 0.5 at rest) nudge it a little.
// The output weights are positive, so the voltage rises with the pressure
// and stays between the output bias and the bias plus their sum.
NetworkWeights ValveNetwork(Random& random) {
    const double blend[3] = {0.2, 0.4, 0.4};
    const double spacing = kValveTopBar / kValveHidden;
    NetworkWeights w = NetworkWeights::Zero(kValveHidden, 6, 1);
    double weightSum = 0.0;
    double centres[kValveHidden];
    double widths[kValveHidden];
    for (int j = 0; j < kValveHidden; ++j) {
        const double centre = (j + 0.5 + random.Uniform(-0.1, 0.1)) * spacing;
        const double width = spacing * random.Uniform(0.9, 1.1);
        double bias = -centre / width;
        for (int i = 0; i < 3; ++i) {
            w.InputWeight(j, i) = float(blend[i] * 4.0 / width);
        }
        for (int i = 3; i < 6; ++i) {
            const double nudge = random.Uniform(-0.2, 0.2);
            w.InputWeight(j, i) = float(nudge);
            bias -= 0.5 * nudge;
        }
        w.hiddenBiases[j] = float(bias);
        w.OutputWeight(0, j) = float(random.Uniform(0.9, 1.1));
        weightSum += w.OutputWeight(0, j);
        centres[j] = centre;
        widths[j] = width;
    }
    const double rise = kValveTopBar / kValveBarPerVolt / kValveOutputScale;
    for (float& weight : w.outputWeights) {
        weight = float(weight * rise / weightSum);
    }
    // The bias that fits the valve law best (least squares) from 0 bar to
    // the highest set pressure.
    constexpr int kFitPoints = 56;
    double offset = 0.0;
    for (int i = 0; i < kFitPoints; ++i) {
        const double bar = kMaxSetBar * i / (kFitPoints - 1);
        double volts = kValveDeadBandVolts + bar / kValveBarPerVolt;
        for (int j = 0; j < kValveHidden; ++j) {
            volts -=
                kValveOutputScale * w.OutputWeight(0, j) * Logistic((bar - centres[j]) / widths[j]);
        }
        offset += volts / kFitPoints;
    }
    w.outputBiases[0] = float(offset / kValveOutputScale);
    return w;
}

// Hyperbolic-tangent steps, evenly spaced (with a little jitter) over the
// velocities from -fullVelocity to +fullVelocity, each as wide as the
// spacing. Neuron j reads input j % inputs only and feeds that output only,
// so each output ramps with its own velocity and saturates near kLinkVolts
// beyond the range. Each output's weights are scaled to fit the motor's
// voltage per velocity (least squares over 80 % of the range), and its bias
// cancels the steps at rest, so the output is 0 V at zero velocity.
NetworkWeights LinkNetwork(Random& random, int inputs, double voltsPerVelocity, double scale) {
    const double fullVelocity = kLinkVolts / voltsPerVelocity;
    const int perOutput = kLinkHidden / inputs;
    const double spacing = 2.0 * fullVelocity / perOutput;
    NetworkWeights w = NetworkWeights::Zero(kLinkHidden, inputs, inputs);
    double centres[kLinkHidden];
    for (int j = 0; j < kLinkHidden; ++j) {
        const int own = j % inputs;
        const int step = j / inputs;
        centres[j] = -fullVelocity + (step + 0.5 + random.Uniform(-0.1, 0.1)) * spacing;
        const double width = spacing * random.Uniform(0.9, 1.1);
        w.InputWeight(j, own) = float(1.0 / width);
        w.hiddenBiases[j] = float(-centres[j] / width);
        w.OutputWeight(own, j) = float(random.Uniform(0.9, 1.1));
    }
    for (int k = 0; k < inputs; ++k) {
        const auto steps = [&](double velocity) {
            double sum = 0.0;
            for (int j = k; j < kLinkHidden; j += inputs) {
                sum += w.OutputWeight(k, j) *
                       std::tanh(w.InputWeight(j, k) * velocity + w.hiddenBiases[j]);
            }
            return sum;
        };
        const double atRest = steps(0.0);
        double fit = 0.0;
        double norm = 0.0;
        for (int i = -20; i <= 20; ++i) {
            const double velocity = 0.8 * fullVelocity * i / 20.0;
            const double ramp = steps(velocity) - atRest;
            fit += voltsPerVelocity * velocity * ramp;
            norm += ramp * ramp;
        }
        const double gain = fit / norm / scale;
        for (int j = k; j < kLinkHidden; j += inputs) {
            w.OutputWeight(k, j) = float(w.OutputWeight(k, j) * gain);
        }
        w.outputBiases[k] = float(-atRest * gain);
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
    tools::CommandLine app("make-demo-networks", kUsage);
    std::string root = ".";
    long seed = 1;
    tools::AddText(app, "--dir", root);
    tools::AddWhole(app, "--seed", seed, 0, 4294967295L);
    if (const auto exit = app.Parse(argc, argv)) {
        return *exit;
    }

    const std::filesystem::path directory = std::filesystem::path(root) / runfiles::kLabDirectory;
    if (!tools::CreateOutputDirectory(app.get_name(), directory.string())) {
        return 1;
    }
    const auto lock = labdir::LabLock::Take(root, "make-demo-networks");
    if (!lock) {
        return 1;
    }

    Random random(static_cast<unsigned long>(seed));
    bool written = true;
    for (int muscle = 1; muscle <= 4; ++muscle) {
        written =
            Write(directory, runfiles::kValveWeights.Name(muscle), ValveNetwork(random)) && written;
    }
    // Volts per desired velocity: counts per ms against counts per second.
    written =
        Write(directory, runfiles::kDoubleLinkWeights.Name(),
              LinkNetwork(random, 2, 1000.0 / kJointCountsPerSecondPerVolt, kDoubleLinkScale)) &&
        written;
    written = Write(directory, runfiles::kUpperLinkWeights.Name(),
                    LinkNetwork(random, 1, 1000.0 / kCarriageCountsPerSecondPerVolt, 1.0)) &&
              written;
    return written ? 0 : 1;
}
