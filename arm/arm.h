// The arm's fixed facts, for the code that drives or describes it: axis and
// channel counts, encoder scales, the encoder zero angles and the link
// lengths. The virtual lab keeps its own copy on purpose: it simulates the
// arm and must not share constants with the code it checks.
#pragma once

namespace arm {

// Motors on axes 0 (carriage), 1 (shoulder) and 2 (elbow); muscles 1 to 4 on
// valve channels 0 to 3; encoders on axes 0 to 4 (3 and 4 read the
// muscle-driven joint); pressure inputs 0 to 11, of which 0 to 3 read the
// muscles and every readout fills all twelve.
inline constexpr int kMotorCount = 3;
inline constexpr int kMuscleCount = 4;
inline constexpr int kEncoderChannelCount = 5;
inline constexpr int kPressureChannelCount = 12;

// The arm is driven, and every run file sampled, once every 20 ms.
inline constexpr double kSamplePeriodMs = 20.0;

// Pi as the system has always spelled it, shortened. Every stored result
// (trajectories, replay inputs, logs) was computed with these literals, so
// outputs stay byte for byte only if they stay as they are.
inline constexpr double kPi = 3.141592653589;
inline constexpr double kHalfPi = 1.5707963267945;
inline constexpr double kTwoPi = 6.283185307178;

// Carriage: 2816 counts per revolution of a 110 mm wheel.
inline constexpr double kCarriageCountsPerRevolution = 2816;
inline constexpr double kCarriageWheelDiameterMm = 110;
// 2816 / (110 pi) with the shortened pi, as the trajectory files use it.
inline constexpr double kCarriageCountsPerMm = 8.148733086307098;

// Shoulder and elbow encoders.
inline constexpr double kJointCountsPerRevolution = 153600;
// Encoders 3 and 4 of the muscle-driven joint.
inline constexpr double kMuscleJointCountsPerDegree = 8;

// Joint angles at encoder count 0, in degrees, and in radians as the replay
// of a logged run has always taken them (shortened as well).
inline constexpr double kShoulderDegreesAtZero = 15;
inline constexpr double kElbowDegreesAtZero = 75;
inline constexpr double kShoulderRadiansAtZero = 0.261;
inline constexpr double kElbowRadiansAtZero = 1.3083;

// What the valves can do. The card puts out valve commands from 0 V (lower
// ones are raised to it) to 8 V (it refuses higher ones), and no valve fills
// a muscle beyond the supply pressure, nor empties it below the atmosphere's
// (pressures are gauge pressures, in bar).
inline constexpr float kValveCommandCeilingVolts = 8.0f;
inline constexpr double kSupplyBar = 5.5;

// Whether a valve command lies within what the card puts out, and a desired
// pressure within what the supply gives.
inline constexpr bool ValveCommandReachable(double volts) {
    return volts >= 0.0 && volts <= kValveCommandCeilingVolts;
}
inline constexpr bool PressureReachable(double bar) {
    return bar >= 0.0 && bar <= kSupplyBar;
}

// Link lengths in millimetres: shoulder to elbow, elbow to the tool joint.
inline constexpr double kUpperLinkMm = 432.0;
inline constexpr double kLowerLinkMm = 380.0;

}  // namespace arm
