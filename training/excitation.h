// The scripted signals of the training-data procedures, as pure functions of
// the sample number, so that a schedule can be checked without the arm.
// Values are single precision; sums and products are formed in double and
// stored back as floats.
#pragma once

#include <cstdint>
#include <vector>

#include "arm/arm.h"

namespace training {

// Step of the incremental segments, per sample (volts).
inline constexpr float kStep = 0.02f;

// The motor excitation runs samples 0 to kMotorSamples - 1.
inline constexpr int kMotorSamples = 2800;

// Advances the motor commands of axes 0, 1 and 2 to `sample`. Incremental
// segments change the values they are given (the first ones build triangles
// from whatever the previous call left); the sine and parabolic segments
// overwrite them, the parabolic ones from d = 0 on their first sample.
void AdvanceMotorCommands(int sample, float (&volts)[arm::kMotorCount]);

// Samples per muscle of the valve excitation.
inline constexpr int kValveSamples = 1300;

// The valve command of the excited muscle on sample q, from its command of
// the previous sample and its reference voltage.
float NextValveCommand(int q, float previous, float reference);

// The desired-pressure sequences of muscles 1 to 4 of the combined run for a
// velocity file of m lines: entries 0 to m, starting at the measured
// pressures with slope 0.
struct DesiredPressures {
    std::vector<float> pressure[arm::kMuscleCount];
    std::vector<float> slope[arm::kMuscleCount];
};
DesiredPressures MakeDesiredPressures(const float (&start)[arm::kMuscleCount], int m);

// The offset calibration's bookkeeping: an axis is marked still the first
// time a whole second passes without a count; a mark is never cleared.
class StillAxes {
  public:
    void Observe(const std::int32_t (&moved)[arm::kMotorCount]);
    bool All() const { return still_[0] && still_[1] && still_[2]; }

  private:
    bool still_[arm::kMotorCount] = {};
};

// The calibration's command change for a movement of `moved` counts in one
// second on `axis` (the elbow reacts more strongly).
float CalibratedCommand(int axis, float command, std::int32_t moved);

}  // namespace training
