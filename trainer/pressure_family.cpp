// The PONNET pressure networks from a run's encoder counts and measured
// pressures. The counts become replay records exactly as the evaluator
// derives them (six-decimal rounding included), record d is paired with the
// pressures of log record d, and each sample goes, for each muscle, to the
// two networks the evaluator predicts it with: that of its own bin and
// direction set, and the neighbour on the nearer side of the bin that the
// fuzzy blend mixes in. A network is thus fitted on every angle it is asked
// about, its own bin and the nearer halves of the bins beside it, and not
// left to extrapolate where the blend leans on it most.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <tuple>

#include "model/ponnet_model.h"
#include "model/replay.h"
#include "platform/stdio_file.h"
#include "runfiles/catalogue.h"
#include "runfiles/run_files.h"
#include "runfiles/strict_reader.h"
#include "trainer/family_support.h"
#include "trainer/trainer.h"

namespace trainer {
namespace {

constexpr int kMuscles = 4;
constexpr int kBins = PonnetModel::kBins;
constexpr int kSets = PonnetModel::kSets;
const NetworkShape kPressureShape{PonnetModel::kInputs, PonnetModel::kHidden, 1,
                                  Activation::kLogistic, 4.0};

struct PressureSample {
    runfiles::TrajectoryRecord record;
    float flag;
    // The bin and direction flag of the sample's neighbour pass.
    int neighbourBin;
    float neighbourFlag;
    float measured[kMuscles];
};

// A group of samples one network is fitted on: one muscle, one set (or both
// sets, kSets), the bins `low` to `high`.
struct Group {
    int muscle, set, low, high;
    auto Key() const { return std::tie(muscle, set, low, high); }
    bool operator<(const Group& other) const { return Key() < other.Key(); }
};

struct GroupFit {
    std::vector<int> training, heldOut;  // sample indices
    FitResult fit;
};

std::string NetworkFile(int muscle, int bin, int set) {
    return "WeightsPONNET/" + PonnetModel::WeightFileName(muscle, bin, set);
}

std::optional<std::vector<runfiles::PressureLogRecord>> ReadRunLog(
    const std::string& path, std::vector<std::string>& notes) {
    std::string error;
    auto log = runfiles::ReadLogRecords(path, error);
    if (!log) {
        notes.push_back(error);
    }
    return log;
}

std::optional<std::vector<runfiles::PressureLogRecord>> ReadCombinedFiles(
    const PressureRecordings& recordings, std::vector<std::string>& notes) {
    const auto counts = ReadColumns(recordings.encoders, 5, notes);
    const auto pressures = ReadColumns(recordings.pressures, 4, notes);
    if (!counts || !pressures) {
        return std::nullopt;
    }
    if (counts->size() != pressures->size()) {
        notes.push_back(recordings.encoders + " and " + recordings.pressures +
                        " differ in length (" + std::to_string(counts->size()) + " and " +
                        std::to_string(pressures->size()) + " lines)");
        return std::nullopt;
    }
    std::vector<runfiles::PressureLogRecord> log(counts->size());
    for (std::size_t j = 0; j < log.size(); ++j) {
        for (int c = 0; c < 5; ++c) {
            // A count beyond an int has no int to become.
            const double count = (*counts)[j][c];
            if (!(std::fabs(count) < 2147483647.0)) {
                notes.push_back(recordings.encoders + ": line " + std::to_string(j + 1) +
                                " holds a count beyond the encoders' range");
                return std::nullopt;
            }
            log[j].counts[c] = int(count);
        }
        for (int m = 0; m < kMuscles; ++m) {
            log[j].measured[m] = float((*pressures)[j][m]);
        }
    }
    return log;
}

// Nothing when the records could not be rounded through text.
std::optional<std::vector<PressureSample>> PressureSamples(
    const std::vector<runfiles::PressureLogRecord>& log) {
    std::vector<runfiles::TrajectoryRecord> records;
    if (!replay::RoundTripThroughText(replay::ReplayTrajectory(log), records)) {
        return std::nullopt;
    }
    std::vector<float> flags;
    replay::ComputeDirectionFlags(records, flags);
    std::vector<PressureSample> samples;
    for (std::size_t d = 1; d + 1 < records.size(); ++d) {
        PressureSample s;
        s.record = records[d];
        s.flag = flags[d];
        // The neighbour the evaluator predicts the sample with.
        const int side = replay::NeighbourSide(replay::BinPhase(s.record.field[0]));
        s.neighbourBin = PonnetModel::BinOf(s.record.field[0], side);
        s.neighbourFlag = side < 0 ? flags[d - 1] : flags[d + 1];
        for (int m = 0; m < kMuscles; ++m) {
            s.measured[m] = log[d].measured[m];
        }
        samples.push_back(s);
    }
    return samples;
}

Samples FitSamples(const std::vector<PressureSample>& samples, const std::vector<int>& rows,
                   int muscle) {
    Samples fit;
    fit.inputs.resize(Eigen::Index(rows.size()), PonnetModel::kInputs);
    fit.targets.resize(Eigen::Index(rows.size()), 1);
    for (std::size_t n = 0; n < rows.size(); ++n) {
        const PressureSample& s = samples[rows[n]];
        for (int q = 0; q < PonnetModel::kInputs; ++q) {
            fit.inputs(Eigen::Index(n), q) = PonnetModel::NormalisedInput(q, s.record.field[q]);
        }
        fit.targets(Eigen::Index(n), 0) = s.measured[muscle - 1];
    }
    return fit;
}

// The 49 rows of a weight file from the fitted parameters.
std::string WeightFileText(const Eigen::VectorXd& p) {
    const NetworkShape& s = kPressureShape;
    float rows[PonnetModel::kRows] = {};
    for (int j = 0; j < s.hidden; ++j) {
        rows[PonnetModel::kOutputWeightRow + j] = float(p[s.OutputWeight(0, j)]);
        rows[PonnetModel::kHiddenBiasRow + j] = float(p[s.HiddenBias(j)]);
        for (int q = 0; q < s.inputs; ++q) {
            rows[PonnetModel::kInputWeightRow + s.inputs * j + q] = float(p[s.InputWeight(j, q)]);
        }
    }
    rows[PonnetModel::kOutputBiasRow] = float(p[s.OutputBias(0)]);
    std::string text;
    char line[32];
    for (float row : rows) {
        // Nine significant digits read back as the same float.
        std::snprintf(line, sizeof line, "%.9g\n", double(row));
        text += line;
    }
    return text;
}

class PressureTrainer {
  public:
    PressureTrainer(std::vector<PressureSample> samples, const TrainingOptions& options)
        : samples_(std::move(samples)), options_(options) {
        for (int n = 0; n < int(samples_.size()); ++n) {
            const PressureSample& s = samples_[n];
            const int bin = PonnetModel::BinOf(s.record.field[0], 0);
            for (int m = 1; m <= kMuscles; ++m) {
                const int set = PonnetModel::SetOf(m, s.flag);
                const int neighbourSet = PonnetModel::SetOf(m, s.neighbourFlag);
                bins_[m - 1][set][bin].push_back(n);
                // At the table's ends the neighbour is the bin itself.
                if (s.neighbourBin != bin || neighbourSet != set) {
                    bins_[m - 1][neighbourSet][s.neighbourBin].push_back(n);
                }
            }
        }
    }

    // The group a bin's network is fitted on: the samples it predicts when
    // they are enough, else the nearest bins around it in the same set that hold
    // enough, else every sample of the muscle. Nothing when even those are
    // too few.
    std::optional<Group> GroupOf(int muscle, int set, int bin) const {
        const auto& bins = bins_[muscle - 1][set];
        for (int radius = 0; radius < kBins; ++radius) {
            const int low = std::max(bin - radius, 0), high = std::min(bin + radius, kBins - 1);
            std::size_t count = 0;
            int first = kBins, last = -1;  // bins of the window that hold samples
            for (int b = low; b <= high; ++b) {
                count += bins[b].size();
                if (!bins[b].empty()) {
                    first = std::min(first, b);
                    last = std::max(last, b);
                }
            }
            if (int(count) >= kMinPressureSamples) {
                return Group{muscle, set, first, last};
            }
        }
        if (int(samples_.size()) >= kMinPressureSamples) {
            return Group{muscle, kSets, 0, kBins - 1};
        }
        return std::nullopt;
    }

    // Fits every group of `groups` (repeats allowed) once, in parallel.
    void FitAll(const std::vector<Group>& groups) {
        for (const Group& group : groups) {
            fits_[group];
        }
        std::vector<std::pair<const Group, GroupFit>*> entries;
        for (auto& entry : fits_) {
            entries.push_back(&entry);
        }
        ParallelFor(int(entries.size()),
                    [&](int e) { entries[e]->second = FitGroup(entries[e]->first); });
    }

    const GroupFit& FitOf(const Group& group) const { return fits_.at(group); }

    const std::vector<int>& SamplesOf(int muscle, int set, int bin) const {
        return bins_[muscle - 1][set][bin];
    }
    const std::vector<PressureSample>& Samples() const { return samples_; }

  private:
    GroupFit FitGroup(const Group& group) const {
        std::vector<int> rows;
        if (group.set == kSets) {
            for (int n = 0; n < int(samples_.size()); ++n) {
                rows.push_back(n);
            }
        } else {
            for (int b = group.low; b <= group.high; ++b) {
                const auto& bin = bins_[group.muscle - 1][group.set][b];
                rows.insert(rows.end(), bin.begin(), bin.end());
            }
            // A sample can serve two bins of the window.
            std::sort(rows.begin(), rows.end());
            rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        }
        const int network =
            ((group.muscle * (kSets + 1) + group.set) * kBins + group.low) * kBins + group.high;
        const FitOptions fitOptions = NetworkFitOptions(options_, network);
        const Split split = SplitSamples(int(rows.size()), 0.2, fitOptions.seed);
        GroupFit result;
        for (int n : split.training) {
            result.training.push_back(rows[n]);
        }
        for (int n : split.heldOut) {
            result.heldOut.push_back(rows[n]);
        }
        std::sort(result.training.begin(), result.training.end());
        std::sort(result.heldOut.begin(), result.heldOut.end());
        result.fit = Fit(kPressureShape, FitSamples(samples_, result.training, group.muscle),
                         FitSamples(samples_, result.heldOut, group.muscle), fitOptions);
        return result;
    }

    std::vector<PressureSample> samples_;
    TrainingOptions options_;
    // Sample indices per muscle, set and bin: those the bin's network
    // predicts, as their own bin's or as their neighbour.
    std::array<std::array<std::array<std::vector<int>, kBins>, kSets>, kMuscles> bins_;
    std::map<Group, GroupFit> fits_;
};

std::string Describe(const Group& group, std::size_t samples) {
    std::string text = group.set == kSets
                           ? "all bins, both sets"
                           : "bins " + std::to_string(PonnetModel::BinLabel(group.low)) + " to " +
                                 std::to_string(PonnetModel::BinLabel(group.high));
    return text + " (" + std::to_string(samples) + " samples)";
}

bool Contains(const std::vector<int>& sorted, int value) {
    return std::binary_search(sorted.begin(), sorted.end(), value);
}

}  // namespace

FamilyReport TrainPressureNetworks(const PressureRecordings& recordings,
                                   const TrainingOptions& options) {
    FamilyReport report;
    report.family = "pressure";
    const std::string source = recordings.runLog.empty() ? recordings.encoders : recordings.runLog;
    auto log = recordings.runLog.empty() ? ReadCombinedFiles(recordings, report.notes)
                                         : ReadRunLog(recordings.runLog, report.notes);
    // A pressure that is not finite as a float ("nan" in a run log, or too
    // large) would give weights that are not numbers.
    for (std::size_t j = 0; log && j < log->size(); ++j) {
        const float* measured = (*log)[j].measured;
        if (!std::all_of(measured, measured + kMuscles, [](float p) { return std::isfinite(p); })) {
            report.notes.push_back(
                (recordings.runLog.empty() ? recordings.pressures : recordings.runLog) + ": line " +
                std::to_string(j + 1) + " holds a pressure that is not finite in 32 bits");
            log.reset();
        }
    }
    if (!log) {
        report.notes.push_back("pressure networks not written: their recording is not usable");
        return report;
    }
    // Samples a stopped run never reached hold zero counts and pressures.
    DropTrailing(
        *log,
        [](const runfiles::PressureLogRecord& r) {
            for (int c : r.counts) {
                if (c != 0) {
                    return false;
                }
            }
            for (float p : r.measured) {
                if (p != 0.0f) {
                    return false;
                }
            }
            return true;
        },
        source, report.notes);
    auto samples = PressureSamples(*log);
    if (!samples) {
        report.notes.push_back(
            "pressure networks not written: the replay records could not be "
            "rounded through a temporary file");
        return report;
    }
    PressureTrainer trainer(std::move(*samples), options);
    if (int(trainer.Samples().size()) < kMinPressureSamples) {
        report.notes.push_back(source + ": " + std::to_string(trainer.Samples().size()) +
                               " samples, too short to fit (at least " +
                               std::to_string(kMinPressureSamples) + " needed)");
        report.notes.push_back("pressure networks not written: their recording is not usable");
        return report;
    }

    // Fit every network first; nothing is written unless all were fitted.
    std::array<std::array<std::array<Group, kBins>, kSets>, kMuscles> groups;
    std::vector<Group> all;
    for (int m = 1; m <= kMuscles; ++m) {
        for (int set = 0; set < kSets; ++set) {
            for (int bin = 0; bin < kBins; ++bin) {
                groups[m - 1][set][bin] = *trainer.GroupOf(m, set, bin);
                all.push_back(groups[m - 1][set][bin]);
            }
        }
    }
    trainer.FitAll(all);

    StagedFamily staged(report);
    const std::string directory = std::filesystem::path(runfiles::kPonnetDirectory).filename();
    std::string problem = staged.WriteText(directory + "/" + runfiles::kPonnetGeneralWeights.Name(),
                                           "3\n0\n0\n0\n14\n");
    for (int m = 1; m <= kMuscles && problem.empty(); ++m) {
        for (int set = 0; set < kSets && problem.empty(); ++set) {
            for (int bin = 0; bin < kBins && problem.empty(); ++bin) {
                problem = staged.WriteText(
                    directory + "/" + PonnetModel::WeightFileName(m, bin, set),
                    WeightFileText(trainer.FitOf(groups[m - 1][set][bin]).fit.parameters));
            }
        }
    }
    if (!problem.empty()) {
        report.notes.push_back("pressure networks not written: " + problem);
        return report;
    }
    if (!staged.Commit({directory})) {
        return report;
    }

    // Errors through the models, on the samples each network predicts, own
    // bin or neighbour, asked as the evaluator asks it.
    for (int m = 1; m <= kMuscles; ++m) {
        PonnetModel model(m, kConsoleWeightDirectory);
        if (!model.LoadWeights()) {
            report.notes.push_back("the pressure networks of muscle " + std::to_string(m) +
                                   " did not load back");
        }
        for (int set = 0; set < kSets; ++set) {
            for (int bin = 0; bin < kBins; ++bin) {
                const Group& group = groups[m - 1][set][bin];
                const GroupFit& fit = trainer.FitOf(group);
                NetworkReport network;
                network.file = NetworkFile(m, bin, set);
                network.unit = "bar";
                double trainingSum = 0.0, heldOutSum = 0.0;
                for (int n : trainer.SamplesOf(m, set, bin)) {
                    const PressureSample& s = trainer.Samples()[n];
                    const int ownBin = PonnetModel::BinOf(s.record.field[0], 0);
                    const bool own = ownBin == bin && PonnetModel::SetOf(m, s.flag) == set;
                    float input[PonnetModel::kInputSize];
                    std::copy(std::begin(s.record.field), std::end(s.record.field), input);
                    input[PonnetModel::kInputs] = own ? s.flag : s.neighbourFlag;
                    float predicted = 0.0f;
                    model.Evaluate(input, &predicted, own ? 0 : s.neighbourBin - ownBin);
                    const double miss = double(predicted) - s.measured[m - 1];
                    if (Contains(fit.heldOut, n)) {
                        heldOutSum += miss * miss;
                        ++network.heldOutSamples;
                    } else {
                        trainingSum += miss * miss;
                        ++network.trainingSamples;
                    }
                }
                network.trainingRms = Rms(trainingSum, network.trainingSamples);
                network.heldOutRms = Rms(heldOutSum, network.heldOutSamples);
                if (group.set != set || group.low != bin || group.high != bin) {
                    network.fallback = Describe(group, fit.training.size() + fit.heldOut.size());
                }
                report.networks.push_back(network);
            }
        }
    }
    return report;
}

}  // namespace trainer
