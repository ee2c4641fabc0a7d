#include "trainer/family_support.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/stdio_file.h"
#include "runfiles/catalogue.h"
#include "runfiles/strict_reader.h"

namespace trainer {
namespace {

using File = platform::StdioFile;

std::optional<labdir::FamilySwap> BeginSwap(FamilyReport& report) {
    std::string error;
    auto swap = labdir::FamilySwap::Begin(runfiles::kLabDirectory, report.family, error);
    if (!swap) {
        report.notes.push_back(error);
    }
    return swap;
}

}  // namespace

std::optional<std::vector<std::vector<double>>> ReadColumns(const std::string& path, int columns,
                                                            std::vector<std::string>& notes) {
    std::string error;
    auto rows = runfiles::ReadRows(path, columns, columns, error);
    if (!rows) {
        notes.push_back(error);
        return std::nullopt;
    }
    if (rows->empty()) {
        notes.push_back(path + ": empty");
        return std::nullopt;
    }
    return rows;
}

networks::NetworkWeights ToNetworkWeights(const NetworkShape& shape,
                                          const Eigen::VectorXd& parameters) {
    networks::NetworkWeights w =
        networks::NetworkWeights::Zero(shape.hidden, shape.inputs, shape.outputs);
    for (int j = 0; j < shape.hidden; ++j) {
        for (int i = 0; i < shape.inputs; ++i) {
            w.InputWeight(j, i) = float(parameters[shape.InputWeight(j, i)]);
        }
        w.hiddenBiases[j] = float(parameters[shape.HiddenBias(j)]);
    }
    for (int o = 0; o < shape.outputs; ++o) {
        for (int j = 0; j < shape.hidden; ++j) {
            w.OutputWeight(o, j) = float(parameters[shape.OutputWeight(o, j)]);
        }
        w.outputBiases[o] = float(parameters[shape.OutputBias(o)]);
    }
    return w;
}

FitOptions NetworkFitOptions(const TrainingOptions& options, int network) {
    FitOptions fit;
    fit.seed = options.seed * 1000003u + std::uint64_t(network);
    fit.restarts = options.restarts;
    fit.maxIterations = options.maxIterations;
    return fit;
}

void ParallelFor(int count, const std::function<void(int)>& work) {
    std::atomic<int> next{0};
    auto worker = [&] {
        for (int i = next++; i < count; i = next++) {
            work(i);
        }
    };
    const int threads = std::clamp(int(std::thread::hardware_concurrency()), 1, std::max(count, 1));
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads; ++t) {
        helpers.emplace_back(worker);
    }
    worker();
    for (std::thread& helper : helpers) {
        helper.join();
    }
}

double Rms(double squaredSum, int count) {
    return count > 0 ? std::sqrt(squaredSum / count) : 0.0;
}

StagedFamily::StagedFamily(FamilyReport& report) : report_(report), swap_(BeginSwap(report)) {}

std::string StagedFamily::Write(const std::string& name, const networks::NetworkWeights& weights) {
    const std::string shown = std::string(runfiles::kLabDirectory) + "/" + name;
    if (!swap_) {
        return shown + " could not be staged";
    }
    for (const std::vector<float>* values : {&weights.outputWeights, &weights.outputBiases,
                                             &weights.inputWeights, &weights.hiddenBiases}) {
        if (!std::all_of(values->begin(), values->end(),
                         [](float w) { return std::isfinite(w); })) {
            return shown + ": a fitted weight is beyond a 32-bit real";
        }
    }
    if (!networks::WriteWeightFile(swap_->Staged(name), weights)) {
        return shown + " could not be written (" + std::strerror(errno) + ")";
    }
    return {};
}

std::string StagedFamily::WriteText(const std::string& name, const std::string& text) {
    const std::string shown = std::string(runfiles::kLabDirectory) + "/" + name;
    if (!swap_) {
        return shown + " could not be staged";
    }
    if (text.find("inf") != std::string::npos || text.find("nan") != std::string::npos) {
        return shown + ": a fitted weight is beyond a 32-bit real";
    }
    const std::string path = swap_->Staged(name);
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    File file(std::fopen(path.c_str(), "w"));
    bool written = file && std::fputs(text.c_str(), file.get()) >= 0;
    written = file && std::fclose(file.release()) == 0 && written;
    return written ? std::string() : shown + " could not be written (" + std::strerror(errno) + ")";
}

bool StagedFamily::Commit(const std::vector<std::string>& entries) {
    if (!swap_) {
        return false;
    }
    std::string done;
    report_.written = swap_->Commit(entries, done, report_.mixed);
    report_.notes.push_back(done);
    if (!report_.written) {
        return false;
    }
    // Files of a family were once written beside their place as PATH.new; a
    // killed run of that kind left them.
    for (const std::string& entry : entries) {
        const std::filesystem::path path = std::filesystem::path(runfiles::kLabDirectory) / entry;
        std::error_code error;
        std::filesystem::remove(path.string() + ".new", error);
        for (const auto& file : std::filesystem::directory_iterator(path, error)) {
            if (file.path().extension() == ".new") {
                std::filesystem::remove(file.path(), error);
            }
        }
    }
    return true;
}

}  // namespace trainer
