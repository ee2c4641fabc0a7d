// The valve and link networks of the control runs: small feed-forward
// networks with one hidden layer, trained elsewhere and loaded from weight
// files in ./NeuralFiles/ of the working directory.
//
// Each network is constructed, loaded once with LoadWeights and then
// evaluated any number of times; evaluation allocates nothing. A network
// whose file could not be used stays unloaded: LoadWeights and IsLoaded say
// so, and Evaluate then yields 0 V so that nothing is ever computed from
// undefined weights.
#pragma once

#include <array>

#include "networks/weight_file.h"

namespace networks {

// What a valve network is given for one sample: the desired pressures of the
// sample and of the next two, their differences to the first, and a slope in
// bar per ms. Which slope is the caller's to say.
struct ValveInputs {
    float p0, p1, p2, d1, d2, r;
};
inline constexpr int kValveInputCount = 6;

// The inputs from three successive desired pressures and a slope.
inline ValveInputs ValveInputsOf(float p0, float p1, float p2, float slope) {
    return {p0, p1, p2, p1 - p0, p2 - p0, slope};
}

// The input row the network computes with: each input scaled into its range.
std::array<float, kValveInputCount> ScaledValveInputs(const ValveInputs& in);

// The valve network of one muscle: desired pressures to valve voltage.
// Inputs: the desired pressure at the current sample and the next two, the
// one- and two-step pressure differences and the pressure slope. Logistic
// hidden neurons, one linear output scaled to volts (0 to 8 for a sound
// network).
class AnnetModel {
  public:
    // Muscle 1 to 4; selects the muscle's runfiles::kValveWeights file.
    explicit AnnetModel(int muscle) : muscle_(muscle) {}
    virtual ~AnnetModel() = default;
    AnnetModel(const AnnetModel&) = delete;
    AnnetModel& operator=(const AnnetModel&) = delete;

    // True when the file opened, every number was read and its counts suit
    // this network (six inputs).
    bool LoadWeights();
    bool IsLoaded() const { return weights_.has_value(); }

    void Evaluate(const ValveInputs& inputs, float& voltage) const;

  private:
    int muscle_;
    std::optional<NetworkWeights> weights_;
};

// The network of the shoulder and elbow motors (axes 1 and 2): their two
// desired velocities in encoder counts per millisecond to their two motor
// voltages. Hyperbolic-tangent hidden neurons, outputs scaled by 15.
class DoubleLinkModel {
  public:
    DoubleLinkModel() = default;
    virtual ~DoubleLinkModel() = default;
    DoubleLinkModel(const DoubleLinkModel&) = delete;
    DoubleLinkModel& operator=(const DoubleLinkModel&) = delete;

    // Reads kDoubleLinkWeights, which must declare two inputs.
    bool LoadWeights();
    bool IsLoaded() const { return weights_.has_value(); }

    void Evaluate(float velocity1, float velocity2, float& voltage1, float& voltage2) const;

  private:
    std::optional<NetworkWeights> weights_;
};

// The network of the carriage motor (axis 0): its desired velocity in
// encoder counts per millisecond to its motor voltage. Hyperbolic-tangent
// hidden neurons, output unscaled.
class UpperLinkModel {
  public:
    UpperLinkModel() = default;
    virtual ~UpperLinkModel() = default;
    UpperLinkModel(const UpperLinkModel&) = delete;
    UpperLinkModel& operator=(const UpperLinkModel&) = delete;

    // Reads kUpperLinkWeights, which must declare at least
    // one input; the weights of any further inputs are read and not used.
    bool LoadWeights();
    bool IsLoaded() const { return weights_.has_value(); }

    void Evaluate(float velocity0, float& voltage0) const;

  private:
    std::optional<NetworkWeights> weights_;
};

}  // namespace networks
