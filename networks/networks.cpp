#include "networks/networks.h"

#include <cmath>
#include <string>

#include "platform/fixed_messages.h"
#include "runfiles/catalogue.h"

namespace networks {

namespace {

float Logistic(float sum) {
    return float(1.0 / (1.0 + std::exp(-double(sum))));
}

// The hyperbolic tangent in the form 2 / (1 + e^(-2x)) - 1, which saturates
// at -1 and +1 without overflow trouble.
float Tanh(float sum) {
    return float(2.0 / (1.0 + std::exp(double(-2.0f) * sum)) - 1.0);
}

// output + activation × weight, stored back as a float.
float Accumulate(float output, float activation, float weight) {
    return float(output + double(activation) * weight);
}

}  // namespace

bool AnnetModel::LoadWeights() {
    const std::string path = runfiles::kValveWeights.Path(muscle_);
    weights_ = LoadWeightFile(path, {1, kValveInputCount, kValveInputCount},
                              messages::kValveWeightsNotOpened);
    return IsLoaded();
}

std::array<float, kValveInputCount> ScaledValveInputs(const ValveInputs& in) {
    return {
        in.p0 / 4.0f,
        in.p1 / 4.0f,
        in.p2 / 4.0f,
        float((in.d1 + 0.3) / 0.6),
        float((in.d2 + 0.3) / 0.6),
        float((in.r * 100.0 + 1.0) / 2.0),
    };
}

void AnnetModel::Evaluate(const ValveInputs& in, float& voltage) const {
    voltage = 0.0f;
    if (!weights_) {
        return;
    }
    const NetworkWeights& w = *weights_;
    const std::array<float, kValveInputCount> inputs = ScaledValveInputs(in);
    float output = w.outputBiases[0];
    for (int j = 0; j < w.hiddenCount; ++j) {
        output = Accumulate(output, Logistic(w.HiddenSum(j, inputs.data(), kValveInputCount)),
                            w.outputWeights[j]);
    }
    voltage = float(output * 8.0);
}

bool DoubleLinkModel::LoadWeights() {
    weights_ = LoadWeightFile(runfiles::kDoubleLinkWeights.path, {2, 2, 2},
                              messages::kDoubleLinkWeightsNotOpened);
    return IsLoaded();
}

void DoubleLinkModel::Evaluate(float velocity1, float velocity2, float& voltage1,
                               float& voltage2) const {
    voltage1 = voltage2 = 0.0f;
    if (!weights_) {
        return;
    }
    const NetworkWeights& w = *weights_;
    const int hidden = w.hiddenCount;
    const float inputs[2] = {velocity1, velocity2};
    float output1 = w.outputBiases[0];
    float output2 = w.outputBiases[1];
    for (int j = 0; j < hidden; ++j) {
        const float activation = Tanh(w.HiddenSum(j, inputs, 2));
        output1 = Accumulate(output1, activation, w.outputWeights[j]);
        output2 = Accumulate(output2, activation, w.outputWeights[hidden + j]);
    }
    voltage1 = float(output1 * 15.0);
    voltage2 = float(output2 * 15.0);
}

bool UpperLinkModel::LoadWeights() {
    weights_ = LoadWeightFile(runfiles::kUpperLinkWeights.path, {1, 1, kMaxCount},
                              messages::kUpperLinkWeightsNotOpened);
    return IsLoaded();
}

void UpperLinkModel::Evaluate(float velocity0, float& voltage0) const {
    voltage0 = 0.0f;
    if (!weights_) {
        return;
    }
    const NetworkWeights& w = *weights_;
    float output = w.outputBiases[0];
    for (int j = 0; j < w.hiddenCount; ++j) {
        output = Accumulate(output, Tanh(w.HiddenSum(j, &velocity0, 1)), w.outputWeights[j]);
    }
    voltage0 = output;
}

}  // namespace networks
