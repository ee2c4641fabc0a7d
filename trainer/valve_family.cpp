// The valve networks, one per muscle, from the pressure training
// procedure's excitation files. Line q of a file holds the valve voltage
// the card accepted on sample q, the pressure measured on the sample after
// (the pressure that voltage produced) and a slope. The network learns the
// voltage of sample q as the control runs ask for it, from the desired
// pressures of this sample and the next two: the pressure read on sample q
// (before the voltage acts, line q - 1), the one it produced and the one
// after, with the one- and two-step differences and the forward slope over
// 20 ms. A run's valves then bring each sample's measured pressure to that
// sample's desired one, not to the one before.
#include <array>
#include <filesystem>

#include "arm/arm.h"
#include "networks/networks.h"
#include "runfiles/catalogue.h"
#include "trainer/family_support.h"
#include "trainer/trainer.h"

namespace trainer {
namespace {

constexpr int kMuscles = 4;
constexpr int kValveHidden = 8;
// Below this many samples a recording is too short to fit (a full
// excitation gives 1297).
constexpr int kMinValveSamples = 50;
const NetworkShape kValveShape{6, kValveHidden, 1, Activation::kLogistic, 8.0};

struct ValveSample {
    networks::ValveInputs inputs;
    float volts;
};

std::vector<ValveSample> ValveSamples(const std::vector<std::vector<double>>& rows) {
    std::vector<ValveSample> samples;
    for (std::size_t q = 1; q + 1 < rows.size(); ++q) {
        ValveSample s;
        const float p0 = float(rows[q - 1][1]);
        const float p1 = float(rows[q][1]);
        // The slope towards the next sample, as the control runs give it.
        s.inputs = networks::ValveInputsOf(p0, p1, float(rows[q + 1][1]),
                                           (p1 - p0) / float(arm::kSamplePeriodMs));
        s.volts = float(rows[q][0]);
        samples.push_back(s);
    }
    return samples;
}

// The input row as AnnetModel::Evaluate scales it.
Samples FitSamples(const std::vector<ValveSample>& samples) {
    Samples fit;
    fit.inputs.resize(Eigen::Index(samples.size()), 6);
    fit.targets.resize(Eigen::Index(samples.size()), 1);
    for (std::size_t n = 0; n < samples.size(); ++n) {
        const std::array<float, networks::kValveInputCount> row =
            networks::ScaledValveInputs(samples[n].inputs);
        for (int i = 0; i < networks::kValveInputCount; ++i) {
            fit.inputs(Eigen::Index(n), i) = row[std::size_t(i)];
        }
        fit.targets(Eigen::Index(n), 0) = samples[n].volts;
    }
    return fit;
}

double SquaredError(const networks::AnnetModel& model, const std::vector<ValveSample>& samples,
                    const std::vector<int>& rows) {
    double sum = 0.0;
    for (int n : rows) {
        const ValveSample& s = samples[n];
        float volts = 0.0f;
        model.Evaluate(s.inputs, volts);
        sum += (double(volts) - s.volts) * (double(volts) - s.volts);
    }
    return sum;
}

}  // namespace

std::array<std::string, 4> ValveRecordings(const std::string& prefix) {
    std::array<std::string, 4> paths;
    for (int m = 1; m <= kMuscles; ++m) {
        paths[m - 1] = runfiles::NumberedLabFile{prefix.c_str(), 0, runfiles::Lines::kOwn}.Path(m);
    }
    return paths;
}

FamilyReport TrainValveNetworks(const std::array<std::string, 4>& recordings,
                                const TrainingOptions& options) {
    FamilyReport report;
    report.family = "valves";
    std::array<std::vector<ValveSample>, kMuscles> samples;
    bool usable = true;
    for (int m = 0; m < kMuscles; ++m) {
        auto rows = ReadColumns(recordings[m], 3, report.notes);
        if (!rows) {
            usable = false;
            continue;
        }
        // A sample the procedure never reached reads as zero pressure.
        DropTrailing(
            *rows, [](const std::vector<double>& row) { return row[1] == 0.0; }, recordings[m],
            report.notes);
        samples[m] = ValveSamples(*rows);
        if (int(samples[m].size()) < kMinValveSamples) {
            report.notes.push_back(recordings[m] + ": " + std::to_string(samples[m].size()) +
                                   " samples, too short to fit (at least " +
                                   std::to_string(kMinValveSamples) + " needed)");
            usable = false;
        }
    }
    if (!usable) {
        report.notes.push_back("valve networks not written: their recordings are not all usable");
        return report;
    }

    std::array<Split, kMuscles> splits;
    std::array<FitResult, kMuscles> fits;
    ParallelFor(kMuscles, [&](int m) {
        const Samples all = FitSamples(samples[m]);
        const FitOptions fitOptions = NetworkFitOptions(options, m + 1);
        splits[m] = SplitSamples(all.Count(), 0.2, fitOptions.seed);
        fits[m] = Fit(kValveShape, Select(all, splits[m].training), Select(all, splits[m].heldOut),
                      fitOptions);
    });

    StagedFamily staged(report);
    std::vector<std::string> entries;
    for (int m = 0; m < kMuscles; ++m) {
        entries.push_back(runfiles::kValveWeights.Name(m + 1));
        const std::string problem =
            staged.Write(entries.back(), ToNetworkWeights(kValveShape, fits[m].parameters));
        if (!problem.empty()) {
            report.notes.push_back("valve networks not written: " + problem);
            return report;
        }
    }
    if (!staged.Commit(entries)) {
        return report;
    }

    for (int m = 0; m < kMuscles; ++m) {
        networks::AnnetModel model(m + 1);
        if (!model.LoadWeights()) {
            report.notes.push_back(runfiles::kValveWeights.Name(m + 1) + " did not load back");
        }
        NetworkReport network;
        network.file = runfiles::kValveWeights.Name(m + 1);
        network.unit = "V";
        network.trainingSamples = int(splits[m].training.size());
        network.heldOutSamples = int(splits[m].heldOut.size());
        network.trainingRms =
            Rms(SquaredError(model, samples[m], splits[m].training), network.trainingSamples);
        network.heldOutRms =
            Rms(SquaredError(model, samples[m], splits[m].heldOut), network.heldOutSamples);
        report.networks.push_back(network);
    }
    return report;
}

}  // namespace trainer
