#include "model/ponnet_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "platform/fixed_messages.h"
#include "platform/stdio_file.h"
#include "platform/stdio_text.h"
#include "runfiles/catalogue.h"

namespace {

using platform::StdioFile;

// Normalisation of the 14 network inputs: x = (X + offset) / divisor.
constexpr double kInputOffset[PonnetModel::kInputs] = {0,   0,    3,     2,    2.5, 6, 7,
                                                       120, 0.04, 0.025, 0.25, 2,   1, 60};
constexpr double kInputDivisor[PonnetModel::kInputs] = {90,  90,   5,    4,   5, 16, 17,
                                                        200, 0.08, 0.06, 0.5, 4, 2,  160};

constexpr int kFirstLabel = -72;  // angle label of bin 0, in degrees
constexpr int kBinWidth = 4;      // degrees

}  // namespace

PonnetModel::PonnetModel(int muscle, std::string weightDirectory)
    : muscle_(muscle), directory_(std::move(weightDirectory)) {
    generalRead_ = ReadGeneralWeights();
}

PonnetModel::~PonnetModel() = default;

bool PonnetModel::ReadGeneralWeights() {
    StdioFile file(std::fopen((directory_ + runfiles::kPonnetGeneralWeights.Name()).c_str(), "r"));
    if (!file) {
        std::fputs(messages::kGeneralWeightsNotOpened, stdout);
        return false;
    }
    int hidden = 0, ignoredCount = 0, inputs = 0;
    float ignoredRate = 0.0f, ignoredMomentum = 0.0f;
    const bool read = std::fscanf(file.get(), "%d\n", &hidden) == 1 &&
                      std::fscanf(file.get(), "%f\n", &ignoredRate) == 1 &&
                      std::fscanf(file.get(), "%f\n", &ignoredMomentum) == 1 &&
                      std::fscanf(file.get(), "%d\n", &ignoredCount) == 1 &&
                      std::fscanf(file.get(), "%d\n", &inputs) == 1;
    if (!read) {
        std::printf("%s: expected five numbers\n", runfiles::kPonnetGeneralWeights.Name());
        return false;
    }
    // The weight files' row layout only holds 3 hidden neurons and 14 inputs;
    // other counts would index past a network's 49 parameters.
    if (hidden != kHidden || inputs != kInputs) {
        std::printf("%s: hidden count %d and input count %d, expected %d and %d\n",
                    runfiles::kPonnetGeneralWeights.Name(), hidden, inputs, kHidden, kInputs);
        return false;
    }
    return true;
}

bool PonnetModel::LoadWeights() {
    const bool forward = LoadSet(0);
    const bool backward = LoadSet(1);
    loaded_ = generalRead_ && forward && backward;
    return loaded_;
}

int PonnetModel::BinLabel(int bin) {
    return kFirstLabel + kBinWidth * bin;
}

std::string PonnetModel::WeightFileName(int muscle, int bin, int set) {
    return runfiles::PonnetWeightFileName(muscle, BinLabel(bin), set);
}

bool PonnetModel::LoadSet(int set) {
    const char* openFailure =
        set == 0 ? "aaa dosyasi olusturulamadi\n" : "weights.txt dosyasi olusturulamadi\n";
    bool complete = true;
    for (int bin = 0; bin < kBins; ++bin) {
        const std::string name = directory_ + WeightFileName(muscle_, bin, set);
        StdioFile file(std::fopen(name.c_str(), "r"));
        if (!file) {
            std::fputs(openFailure, stdout);
            complete = false;
            continue;
        }
        platform::TextScanner text(file.get());
        int read = 0;
        for (float& parameter : weights_[set][bin]) {
            const platform::Target target{nullptr, &parameter};
            auto scan = [&parameter](std::FILE* rest) {
                return std::fscanf(rest, "%f\n", &parameter);
            };
            if (text.Scan("%f\n", &target, 1, scan) != 1) {
                break;
            }
            ++read;
        }
        if (read != kRows) {
            std::printf("%s: %d of %d weights read\n", name.c_str(), read, kRows);
            complete = false;
        }
        // "%f" reads nan and inf, which would make every prediction of the
        // network a non-number.
        const auto& weights = weights_[set][bin];
        const auto bad = std::find_if(weights.begin(), weights.begin() + read,
                                      [](float w) { return !std::isfinite(w); });
        if (bad != weights.begin() + read) {
            std::printf("%s: weight %d is not a finite number\n", name.c_str(),
                        int(bad - weights.begin()) + 1);
            complete = false;
        }
    }
    return complete;
}

int PonnetModel::BinOf(float angle, int binOffset) {
    // Whole bins between the angle and 0; capped (NaN included) so that the
    // conversion to int stays defined for angles far beyond the table.
    double steps = std::trunc(std::fabs(double(angle)) / kBinWidth);
    if (!(steps < kBins)) {
        steps = kBins;
    }
    int bin = angle < 0 ? 17 - int(steps) : int(steps) + 18;
    bin += binOffset;
    if (bin <= 0) {
        bin = 0;
    }
    if (bin >= kBins - 1) {
        bin = kBins - 1;
    }
    return bin;
}

int PonnetModel::SetOf(int muscle, float directionFlag) {
    const bool risingUsesB = muscle == 1 || muscle == 4;
    if (directionFlag == 1.0f) {
        return risingUsesB ? 1 : 0;
    }
    if (directionFlag == 0.0f) {
        return risingUsesB ? 0 : 1;
    }
    return 0;
}

float PonnetModel::NormalisedInput(int q, float value) {
    return float((double(value) + kInputOffset[q]) / kInputDivisor[q]);
}

void PonnetModel::Evaluate(const float* input, float* output, int binOffset) const {
    float x[kInputs];
    for (int q = 0; q < kInputs; ++q) {
        x[q] = NormalisedInput(q, input[q]);
    }

    // Each hidden sum adds its products in input order, rounded to a 32-bit
    // real after every addition; the three sums advance side by side.
    // ReadGeneralWeights guarantees H = kHidden and N = kInputs.
    static_assert(kHidden == 3);
    const auto& rows = weights_[SetOf(muscle_, input[kInputs])][BinOf(input[0], binOffset)];
    const float* w = &rows[kInputWeightRow];  // input q to hidden j at w[kInputs * j + q]
    float u[kHidden] = {rows[kHiddenBiasRow], rows[kHiddenBiasRow + 1], rows[kHiddenBiasRow + 2]};
    for (int q = 0; q < kInputs; ++q) {
        const double xq = x[q];
        u[0] = float(u[0] + xq * w[q]);
        u[1] = float(u[1] + xq * w[kInputs + q]);
        u[2] = float(u[2] + xq * w[2 * kInputs + q]);
    }
    float sum = rows[kOutputBiasRow];
    for (int j = 0; j < kHidden; ++j) {
        const float h = float(1.0 / (1.0 + std::exp(-double(u[j]))));
        sum = float(double(sum) + double(h) * rows[kOutputWeightRow + j]);
    }
    *output = float(4.0 * sum);
}
