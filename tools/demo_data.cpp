#include "tools/demo_data.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>

#include "arm/arm.h"
#include "model/fuzzy_supervisor.h"
#include "model/ponnet_model.h"
#include "platform/stdio_file.h"
#include "runfiles/catalogue.h"
#include "runfiles/run_files.h"

namespace demo {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kSamplePeriod = arm::kSamplePeriodMs / 1000.0;  // s

using platform::StdioFile;

// Uniform values from the generator's raw output, identical on every platform.
class Uniform {
  public:
    explicit Uniform(unsigned seed) : engine_(seed) {}
    double operator()(double low, double high) {
        return low + (high - low) * double(engine_() >> 8) / double(1u << 24);
    }

  private:
    std::mt19937 engine_;
};

// Pressure (bar) of a muscle at joint angle theta (degrees), roughly as the
// virtual lab's muscles hold the joint: at the homing pressures (3.7 bar in
// muscles 1 and 4, 4.2 in 2 and 3) it rests near -2.4 degrees and turns 8.9
// degrees per bar of differential pressure. Muscles 1 and 4 tighten as the
// angle grows, 2 and 3 as it falls; a muscle that pulls (set `b` of its
// networks) holds a little more pressure.
double PressureLaw(int muscle, double theta, bool pulling) {
    const bool pullsPositive = muscle == 1 || muscle == 4;
    const double slope = pullsPositive ? 0.03 : -0.03;
    const double scale = (muscle <= 2) ? 1.0 : 0.85;
    const double homing = pullsPositive ? 3.7 : 4.2;
    return homing + scale * slope * (theta + 2.4) + (pulling ? 0.2 : -0.2);
}

// A network of one bin and set: small random weights, the output bias chosen
// so that the network gives the pressure law at the bin's centre for a
// joint at rest.
void WriteNetwork(std::FILE* file, Uniform& uniform, int muscle, double centre, bool pulling) {
    constexpr int kHidden = PonnetModel::kHidden, kInputs = PonnetModel::kInputs;
    double v[kHidden], w[kHidden][kInputs], c[kHidden];
    for (double& value : v) {
        value = uniform(-0.3, 0.3);
    }
    for (auto& neuron : w) {
        for (double& value : neuron) {
            value = uniform(-0.4, 0.4);
        }
    }
    for (double& value : c) {
        value = uniform(-0.5, 0.5);
    }

    // Normalised inputs of a joint at rest at the bin's centre: angles over
    // 90 degrees, zero dynamics mapped to offset / divisor, sin term near 1.
    const double rest[kInputs] = {centre / 90, 0,   0.6,          0.5, 0.5, 0.375, 7.0 / 17,
                                  0.6,         0.5, 0.025 / 0.06, 0.5, 0.5, 1,     0.375};
    double output = 0;
    for (int j = 0; j < kHidden; ++j) {
        double u = c[j];
        for (int q = 0; q < kInputs; ++q) {
            u += rest[q] * w[j][q];
        }
        output += v[j] / (1 + std::exp(-u));
    }
    const double bias = PressureLaw(muscle, centre, pulling) / 4 - output;

    for (double value : v) {
        std::fprintf(file, "%f\n", value);
    }
    std::fprintf(file, "%f\n", bias);
    for (const auto& neuron : w) {
        for (double value : neuron) {
            std::fprintf(file, "%f\n", value);
        }
    }
    for (double value : c) {
        std::fprintf(file, "%f\n", value);
    }
}

bool Finish(StdioFile file, const std::filesystem::path& path) {
    if (std::ferror(file.get()) || std::fclose(file.release()) != 0) {
        std::fprintf(stderr, "make-demo-data: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

StdioFile Create(const std::filesystem::path& path) {
    StdioFile file(std::fopen(path.c_str(), "w"));
    if (!file) {
        std::fprintf(stderr, "make-demo-data: cannot create %s\n", path.c_str());
    }
    return file;
}

bool WriteWeights(const std::filesystem::path& directory, Uniform& uniform) {
    StdioFile general = Create(directory / runfiles::kPonnetGeneralWeights.Name());
    if (!general) {
        return false;
    }
    std::fputs("3\n0.100000\n0.900000\n1\n14\n", general.get());
    if (!Finish(std::move(general), directory / runfiles::kPonnetGeneralWeights.Name())) {
        return false;
    }

    for (int muscle = 1; muscle <= 4; ++muscle) {
        for (int set = 0; set < PonnetModel::kSets; ++set) {
            for (int bin = 0; bin < PonnetModel::kBins; ++bin) {
                const int label = -72 + 4 * bin;
                const auto path = directory / PonnetModel::WeightFileName(muscle, bin, set);
                StdioFile file = Create(path);
                if (!file) {
                    return false;
                }
                WriteNetwork(file.get(), uniform, muscle, label + 2.0, set == 1);
                if (!Finish(std::move(file), path)) {
                    return false;
                }
            }
        }
    }
    return true;
}

bool WriteLog(const std::filesystem::path& path, Uniform& uniform, int samples) {
    StdioFile file = Create(path);
    if (!file) {
        return false;
    }

    const double amplitude = uniform(20, 32), period = uniform(5, 8);        // muscle joint
    const double sumAmplitude = uniform(5, 12), sumPeriod = uniform(8, 12);  // sum angle
    const double shoulder = uniform(8, 15), elbow = uniform(10, 20), armPeriod = uniform(9, 14);
    constexpr double kCountsPerDegree = arm::kJointCountsPerRevolution / 360;

    for (int j = 0; j < samples; ++j) {
        const double t = j * kSamplePeriod;
        const double theta1 = amplitude * std::sin(2 * kPi * t / period);
        const double theta4 = sumAmplitude * std::sin(2 * kPi * t / sumPeriod);
        const bool rising = std::cos(2 * kPi * t / period) > 0;

        runfiles::PressureLogRecord r;
        r.sample = j;
        for (int m = 0; m < arm::kMuscleCount; ++m) {
            const bool pulling = (m == 0 || m == 3) == rising;
            r.desired[m] = float(PressureLaw(m + 1, theta1, pulling));
            r.measured[m] = float(r.desired[m] + uniform(-0.05, 0.05));
            r.valve[m] = float(4.0 + 0.8 * (r.desired[m] - 3.0));
        }
        // 8 counts per degree on axes 3 and 4: theta1 = (count3 - count4) / 8,
        // theta4 = (count3 + count4) / 8.
        r.counts[0] = int(std::lround(2000 * std::sin(2 * kPi * t / armPeriod)));
        r.counts[1] =
            int(std::lround(kCountsPerDegree * shoulder * std::sin(2 * kPi * t / armPeriod)));
        r.counts[2] =
            int(std::lround(-kCountsPerDegree * elbow * std::sin(2 * kPi * t / armPeriod)));
        r.counts[3] = int(std::lround(4 * (theta4 + theta1)));
        r.counts[4] = int(std::lround(4 * (theta4 - theta1)));
        runfiles::Write(file.get(), r);
    }
    return Finish(std::move(file), path);
}

bool WriteCandidate(const std::filesystem::path& path) {
    StdioFile file = Create(path);
    if (!file) {
        return false;
    }
    runfiles::WriteCandidates(file.get(), fuzzy::kHybridRunVector.data());
    return Finish(std::move(file), path);
}

}  // namespace

bool WriteDemoData(const std::string& dir, unsigned seed, int samples) {
    const std::filesystem::path root(dir);
    const auto weights = root / kWeightDirectory;
    const auto arbiter = root / kArbiterDirectory;

    Uniform uniform(seed);
    return WriteWeights(weights, uniform) &&
           WriteLog(arbiter / runfiles::kRunLog.Name(), uniform, samples) &&
           WriteCandidate(arbiter / runfiles::kCandidate.Name());
}

}  // namespace demo
