#include "networks/weight_file.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/stdio_file.h"

namespace networks {

namespace {

using platform::StdioFile;

// Reads the numbers of one file in order and remembers the first problem.
class NumberReader {
  public:
    explicit NumberReader(std::FILE* file) : file_(file) {}

    int ReadInt() {
        int value = 0;
        const int converted = std::fscanf(file_, "%d\n", &value);
        Check(converted, true);
        return value;
    }

    // A weight: a finite real.
    float ReadReal() {
        float value = 0.0f;
        const int converted = std::fscanf(file_, "%f\n", &value);
        Check(converted, std::isfinite(value));
        return value;
    }

    // A real whose value does not matter, so it may be anything %f reads.
    void SkipReal() {
        float value = 0.0f;
        const int converted = std::fscanf(file_, "%f\n", &value);
        Check(converted, true);
    }

    void ReadReals(std::vector<float>& values, std::size_t count) {
        values.resize(count);
        for (float& value : values) {
            value = ReadReal();
        }
    }

    // Empty while every number so far was read.
    const std::string& Problem() const { return problem_; }

  private:
    void Check(int converted, bool finite) {
        if (!problem_.empty()) {
            return;
        }
        ++numbersRead_;
        if (converted == EOF) {
            problem_ = "the file ends before number " + std::to_string(numbersRead_);
        } else if (converted != 1) {
            problem_ = "number " + std::to_string(numbersRead_) + " is not a number";
        } else if (!finite) {
            problem_ = "number " + std::to_string(numbersRead_) + " is not finite";
        }
    }

    std::FILE* file_;
    std::string problem_;
    long numbersRead_ = 0;
};

std::string CountProblem(const char* name, int count, int low, int high) {
    if (count >= low && count <= high) {
        return "";
    }
    std::string problem = std::string(name) + " " + std::to_string(count) + " is ";
    if (count < 0) {
        return problem + "negative";
    }
    if (count > kMaxCount) {
        return problem + "above " + std::to_string(kMaxCount);
    }
    if (low == high) {
        return problem + "not the " + std::to_string(low) + " this network takes";
    }
    return problem + "below the " + std::to_string(low) + " this network needs";
}

void ReportNotLoaded(const std::string& path, const std::string& problem) {
    std::printf("Weight file %s not loaded: %s\n", path.c_str(), problem.c_str());
}

}  // namespace

NetworkWeights NetworkWeights::Zero(int hiddenCount, int inputCount, int outputCount) {
    NetworkWeights weights;
    weights.hiddenCount = hiddenCount;
    weights.inputCount = inputCount;
    weights.outputWeights.assign(std::size_t(outputCount) * hiddenCount, 0.0f);
    weights.outputBiases.assign(outputCount, 0.0f);
    weights.inputWeights.assign(std::size_t(hiddenCount) * inputCount, 0.0f);
    weights.hiddenBiases.assign(hiddenCount, 0.0f);
    return weights;
}

std::optional<NetworkWeights> LoadWeightFile(const std::string& path, const WeightFileShape& shape,
                                             const char* openFailureMessage) {
    const StdioFile file(std::fopen(path.c_str(), "r"));
    if (!file) {
        const int openError = errno;
        std::printf("%s", openFailureMessage);
        ReportNotLoaded(path, std::string("cannot open it (") + std::strerror(openError) + ")");
        return std::nullopt;
    }

    NumberReader reader(file.get());
    NetworkWeights weights;
    weights.hiddenCount = reader.ReadInt();
    reader.SkipReal();  // two reals and two integers that nothing uses
    reader.SkipReal();
    reader.ReadInt();
    reader.ReadInt();
    weights.inputCount = reader.ReadInt();
    std::string problem = reader.Problem();
    if (problem.empty()) {
        problem = CountProblem("hidden count", weights.hiddenCount, 0, kMaxCount);
    }
    if (problem.empty()) {
        problem = CountProblem("input count", weights.inputCount, shape.minInputs,
                               std::min(shape.maxInputs, kMaxCount));
    }
    if (!problem.empty()) {
        ReportNotLoaded(path, problem);
        return std::nullopt;
    }

    const std::size_t hidden = weights.hiddenCount;
    weights.outputWeights.resize(shape.outputCount * hidden);
    weights.outputBiases.resize(shape.outputCount);
    for (int output = 0; output < shape.outputCount; ++output) {
        for (std::size_t j = 0; j < hidden; ++j) {
            weights.outputWeights[output * hidden + j] = reader.ReadReal();
        }
        weights.outputBiases[output] = reader.ReadReal();
    }
    // The input weights are the bulk of the file: stop at the first bad
    // number instead of first sizing an array for all the header promises.
    for (std::size_t n = hidden * weights.inputCount; n > 0 && reader.Problem().empty(); --n) {
        weights.inputWeights.push_back(reader.ReadReal());
    }
    reader.ReadReals(weights.hiddenBiases, hidden);
    if (!reader.Problem().empty()) {
        ReportNotLoaded(path, reader.Problem());
        return std::nullopt;
    }
    return weights;
}

bool WriteWeightFile(const std::string& path, const NetworkWeights& weights) {
    const std::size_t hidden = weights.hiddenCount;
    const std::size_t outputs = weights.outputBiases.size();
    if (weights.hiddenCount < 0 || weights.inputCount < 0 || weights.hiddenCount > kMaxCount ||
        weights.inputCount > kMaxCount || weights.outputWeights.size() != outputs * hidden ||
        weights.inputWeights.size() != hidden * weights.inputCount ||
        weights.hiddenBiases.size() != hidden) {
        return false;
    }
    // The reader refuses what is not a finite number: such a file would not load.
    for (const auto* block : {&weights.outputWeights, &weights.outputBiases, &weights.inputWeights,
                              &weights.hiddenBiases}) {
        if (!std::all_of(block->begin(), block->end(), [](float w) { return std::isfinite(w); })) {
            return false;
        }
    }
    StdioFile file(std::fopen(path.c_str(), "w"));
    if (!file) {
        return false;
    }

    bool written = std::fprintf(file.get(), "%d\n0\n0\n0\n0\n%d\n", weights.hiddenCount,
                                weights.inputCount) > 0;
    // Nine significant digits read back as the same float.
    auto writeReal = [&](float value) {
        written = std::fprintf(file.get(), "%.9g\n", double(value)) > 0 && written;
    };
    for (std::size_t output = 0; output < outputs; ++output) {
        for (std::size_t j = 0; j < hidden; ++j) {
            writeReal(weights.outputWeights[output * hidden + j]);
        }
        writeReal(weights.outputBiases[output]);
    }
    for (float weight : weights.inputWeights) {
        writeReal(weight);
    }
    for (float bias : weights.hiddenBiases) {
        writeReal(bias);
    }
    return std::fclose(file.release()) == 0 && written;
}

}  // namespace networks
