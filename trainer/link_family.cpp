// The link networks from the motor excitation files. Line i holds the
// voltages commanded on sample i and the velocities (counts per ms, the
// elbow's channel in the sign the runs use) that the counts showed over the
// following 20 ms: the velocities those voltages produced. The last line's
// velocities run into the zero entry after the recording and are not used.
#include <filesystem>

#include "networks/networks.h"
#include "runfiles/catalogue.h"
#include "trainer/family_support.h"
#include "trainer/trainer.h"

namespace trainer {
namespace {

constexpr int kLinkHidden = 10;
// A full excitation gives 2799 samples.
constexpr int kMinLinkSamples = 50;
// The double link's outputs are scaled by 15 in the network; the upper
// link's are not.
const NetworkShape kDoubleLinkShape{2, kLinkHidden, 2, Activation::kTanh, 15.0};
const NetworkShape kUpperLinkShape{1, kLinkHidden, 1, Activation::kTanh, 1.0};

struct MotorSample {
    float velocity[3];
    float volts[3];
};

// Inputs: the velocities of `axes`; targets: their voltages.
Samples FitSamples(const std::vector<MotorSample>& samples, std::initializer_list<int> axes) {
    Samples fit;
    fit.inputs.resize(Eigen::Index(samples.size()), Eigen::Index(axes.size()));
    fit.targets.resize(Eigen::Index(samples.size()), Eigen::Index(axes.size()));
    for (std::size_t n = 0; n < samples.size(); ++n) {
        int column = 0;
        for (int axis : axes) {
            fit.inputs(Eigen::Index(n), column) = samples[n].velocity[axis];
            fit.targets(Eigen::Index(n), column) = samples[n].volts[axis];
            ++column;
        }
    }
    return fit;
}

double DoubleLinkError(const networks::DoubleLinkModel& model,
                       const std::vector<MotorSample>& samples, const std::vector<int>& rows) {
    double sum = 0.0;
    for (int n : rows) {
        const MotorSample& s = samples[n];
        float v1 = 0.0f, v2 = 0.0f;
        model.Evaluate(s.velocity[1], s.velocity[2], v1, v2);
        sum += (double(v1) - s.volts[1]) * (double(v1) - s.volts[1]) +
               (double(v2) - s.volts[2]) * (double(v2) - s.volts[2]);
    }
    return sum;
}

double UpperLinkError(const networks::UpperLinkModel& model,
                      const std::vector<MotorSample>& samples, const std::vector<int>& rows) {
    double sum = 0.0;
    for (int n : rows) {
        const MotorSample& s = samples[n];
        float v0 = 0.0f;
        model.Evaluate(s.velocity[0], v0);
        sum += (double(v0) - s.volts[0]) * (double(v0) - s.volts[0]);
    }
    return sum;
}

NetworkReport Report(const char* file, const Split& split, double trainingSum, double heldOutSum,
                     int outputs) {
    NetworkReport network;
    network.file = file;
    network.unit = "V";
    network.trainingSamples = int(split.training.size());
    network.heldOutSamples = int(split.heldOut.size());
    network.trainingRms = Rms(trainingSum, network.trainingSamples * outputs);
    network.heldOutRms = Rms(heldOutSum, network.heldOutSamples * outputs);
    return network;
}

}  // namespace

FamilyReport TrainLinkNetworks(const MotorRecordings& recordings, const TrainingOptions& options) {
    FamilyReport report;
    report.family = "links";
    auto voltages = ReadColumns(recordings.voltages, 3, report.notes);
    auto velocities = ReadColumns(recordings.velocities, 3, report.notes);
    if (voltages && velocities && voltages->size() != velocities->size()) {
        report.notes.push_back(recordings.voltages + " and " + recordings.velocities +
                               " differ in length (" + std::to_string(voltages->size()) + " and " +
                               std::to_string(velocities->size()) + " lines)");
        voltages.reset();
    }
    if (!voltages || !velocities) {
        report.notes.push_back("link networks not written: their recordings are not usable");
        return report;
    }
    // Samples the procedure never reached hold zero voltages.
    DropTrailing(
        *voltages,
        [](const std::vector<double>& row) {
            return row[0] == 0.0 && row[1] == 0.0 && row[2] == 0.0;
        },
        recordings.voltages, report.notes);
    std::vector<MotorSample> samples;
    for (std::size_t i = 0; i + 1 < voltages->size(); ++i) {
        MotorSample s;
        for (int axis = 0; axis < 3; ++axis) {
            s.volts[axis] = float((*voltages)[i][axis]);
            s.velocity[axis] = float((*velocities)[i][axis]);
        }
        samples.push_back(s);
    }
    if (int(samples.size()) < kMinLinkSamples) {
        report.notes.push_back(recordings.voltages + ": " + std::to_string(samples.size()) +
                               " samples, too short to fit (at least " +
                               std::to_string(kMinLinkSamples) + " needed)");
        report.notes.push_back("link networks not written: their recordings are not usable");
        return report;
    }

    const Samples doubleSamples = FitSamples(samples, {1, 2});
    const Samples upperSamples = FitSamples(samples, {0});
    const FitOptions doubleOptions = NetworkFitOptions(options, 1);
    const FitOptions upperOptions = NetworkFitOptions(options, 2);
    const Split doubleSplit = SplitSamples(int(samples.size()), 0.2, doubleOptions.seed);
    const Split upperSplit = SplitSamples(int(samples.size()), 0.2, upperOptions.seed);
    FitResult doubleFit, upperFit;
    ParallelFor(2, [&](int network) {
        if (network == 0) {
            doubleFit = Fit(kDoubleLinkShape, Select(doubleSamples, doubleSplit.training),
                            Select(doubleSamples, doubleSplit.heldOut), doubleOptions);
        } else {
            upperFit = Fit(kUpperLinkShape, Select(upperSamples, upperSplit.training),
                           Select(upperSamples, upperSplit.heldOut), upperOptions);
        }
    });

    StagedFamily staged(report);
    const std::vector<std::string> entries{runfiles::kDoubleLinkWeights.Name(),
                                           runfiles::kUpperLinkWeights.Name()};
    std::string problem =
        staged.Write(entries[0], ToNetworkWeights(kDoubleLinkShape, doubleFit.parameters));
    if (problem.empty()) {
        problem = staged.Write(entries[1], ToNetworkWeights(kUpperLinkShape, upperFit.parameters));
    }
    if (!problem.empty()) {
        report.notes.push_back("link networks not written: " + problem);
        return report;
    }
    if (!staged.Commit(entries)) {
        return report;
    }

    networks::DoubleLinkModel doubleLink;
    networks::UpperLinkModel upperLink;
    if (!doubleLink.LoadWeights() || !upperLink.LoadWeights()) {
        report.notes.push_back("a link network did not load back");
    }
    report.networks.push_back(Report(runfiles::kDoubleLinkWeights.Name(), doubleSplit,
                                     DoubleLinkError(doubleLink, samples, doubleSplit.training),
                                     DoubleLinkError(doubleLink, samples, doubleSplit.heldOut), 2));
    report.networks.push_back(Report(runfiles::kUpperLinkWeights.Name(), upperSplit,
                                     UpperLinkError(upperLink, samples, upperSplit.training),
                                     UpperLinkError(upperLink, samples, upperSplit.heldOut), 1));
    return report;
}

}  // namespace trainer
