// Every parameter of the simulated arm and its two cards, in one place.
//
// Positions of the motor axes are in encoder counts of their own channel,
// measured from the home pose (carriage 1047 counts off its lower switch,
// shoulder 15 degrees, elbow 75 degrees). Axis 2's counter counts against
// the elbow angle. On each axis switch 0 sits at the low-count end and
// switch 1 at the high-count end; each switch is active from its position
// outwards up to the hard stop a little further on.
//
// The switch positions are placed so that the homing sequence (onto the
// switches, then back by 1000, -10574 and -27002 counts at its voltages, with
// its 500 ms waits, the shoulder's -0.01 V drift, the elbow driven on through
// its wait, and the motors' coasting) ends near position 0 on every axis,
// from any start inside the ranges. The carriage and the shoulder creep on
// their residual offsets while the elbow homes, for 7 to 19 s depending on
// where the elbow starts; their switches sit where that creep ends them
// within 19 and 53 counts (2.3 mm, 0.12 degree) of position 0.
#pragma once

#include <cstdint>

namespace lab::plant {

// Simulation step; the plant advances lazily in steps of this size.
constexpr std::int64_t kStepNanoseconds = 100'000;

// Virtual time one library call takes on the virtual clock, so that polling
// loops that call nothing but the card still see the arm move.
constexpr std::int64_t kCallNanoseconds = 5'000;

// The most program time the plant catches up on at once. After a longer gap
// between library calls (a console left idle, a stopped process) it
// simulates this much and lets the rest pass: stepping through hours would
// freeze the caller for seconds, while a minute (some 50 ms of work) is far
// longer than any of the console's own waits and every lag has settled in it.
constexpr std::int64_t kMaxCatchUpNanoseconds = 60'000'000'000;

// Motor axes 0 (carriage), 1 (shoulder), 2 (elbow). Each amplifier runs a
// velocity loop: at rest it breaks away once its input (DAC output plus its
// offset) exceeds breakawayVolts in magnitude; moving, its speed is
// countsPerSecondPerVolt times the input less frictionVolts (Coulomb
// friction, as an input-voltage equivalent), and it comes to rest when that
// is zero. The offsets differ from the card layer's zero-offset correction
// (8.2, 9.1 and 5.2 mV) by a few millivolts, so a motor at a zero command
// creeps until the offset is calibrated out.
struct AxisParameters {
    // Steady speed per volt of amplifier input, counts per second.
    double countsPerSecondPerVolt;
    // The amplifier's input offset, volts, in two parts: what the card
    // layer's zero-offset correction takes out, and the residual it leaves
    // (lab::ZeroResidualOffsets can remove that).
    double correctedOffsetVolts;
    double residualOffsetVolts;
    // Static friction: the input, volts, a motor at rest needs to move.
    double breakawayVolts;
    // Coulomb friction while moving, volts of input lost to it.
    double frictionVolts;
    // Positions of the hard stops and switches, counts from the home pose.
    double lowerStop;
    double lowerSwitch;
    double upperSwitch;
    double upperStop;

    // The motor stands still around a DAC output of minus this value.
    constexpr double amplifierOffsetVolts() const {
        return correctedOffsetVolts + residualOffsetVolts;
    }
};

constexpr AxisParameters kAxes[3] = {
    // Carriage: 2816 counts per revolution of a 110 mm wheel, 8.1487 counts
    // per mm; 0.3 V moves it 74 mm/s. Room for the 800 mm (6519 counts) run.
    // Residual offset +1.8 mV: it creeps 3.2 counts/s (0.4 mm/s) at 0 V.
    {2000.0, 0.0082, 0.0018, 0.0004, 0.0002, -1200.0, -1047.0, 8500.0, 8700.0},
    // Shoulder: 153600 counts per revolution, about -20 to +40 degrees.
    // Residual offset -1.5 mV: it creeps 9.1 counts/s (0.02 deg/s) at 0 V.
    {7000.0, 0.0091, -0.0015, 0.0004, 0.0002, -15360.0, -14933.0, 10742.2, 11040.0},
    // Elbow (counting against the angle): about 143 down to 10 degrees.
    // Residual offset +2.8 mV.
    {7000.0, 0.0052, 0.0028, 0.0004, 0.0002, -29360.0, -28943.5, 27733.0, 28160.0},
};

// Motor speed follows its target with this first-order time constant.
constexpr double kMotorTimeConstantSeconds = 0.002;
// Below this speed, counts per second, a motor whose target is 0 is at rest.
constexpr double kStandstillCountsPerSecond = 0.5;
// The amplifiers take at most this input.
constexpr double kDacRangeVolts = 10.0;

// Valves: a proportional pressure valve per muscle. Its static
// characteristic is 0 bar up to the dead band, then kValveBarPerVolt per
// volt above it, up to the supply pressure. The muscle pressure follows
// with a first-order lag, faster when filling from the supply than when
// venting to the atmosphere. Pressures are gauge pressures.
constexpr double kValveDeadBandVolts = 0.35;
constexpr double kValveBarPerVolt = 0.8;
constexpr double kSupplyBar = 5.5;  // reached from 7.225 V up
constexpr double kFillTimeConstantSeconds = 0.05;
constexpr double kVentTimeConstantSeconds = 0.12;
// The valve outputs take 0 to this voltage.
constexpr double kValveRangeVolts = 10.0;

// Pressure sensors: volts = (bar - 1) * 0.2038 + 1, the inverse of the card
// layer's conversion. Inputs 4 to 11 are unconnected and read 0 V.
constexpr double kSensorVoltsPerBar = 0.2038;
constexpr double kSensorVoltsAtOneBar = 1.0;
constexpr int kInputChannels = 12;
// Seed of the optional sensor noise (lab::SetSensorNoise).
constexpr std::uint32_t kNoiseSeed = 20261207u;

// The muscle-driven joint (angle theta1, 0 along the forearm) is a rigid
// body turned by two antagonistic pairs of braided pneumatic muscles over a
// pulley: muscles 1 and 4 pull it positive, 2 and 3 negative. A muscle's
// contraction is its mounting contraction plus (pulling side) or minus
// (other side) pulley radius x angle / rest length; its pull at gauge
// pressure P is P A (a (1 - contraction)^2 - b), with a = 3 / tan^2 and
// b = 1 / sin^2 of the braid angle: it falls as the muscle shortens and
// is zero at its largest contraction, 1 - sqrt(b / a) = 37.7 %.
constexpr double kMuscleAreaSquareMetres = 3.14159265358979e-4;  // 20 mm bore
constexpr double kMuscleA = 18.38;                               // braid angle 22 degrees
constexpr double kMuscleB = 7.127;
constexpr double kMuscleRestLengthMetres = 0.25;
constexpr double kMountingContraction = 0.12;
constexpr double kPulleyRadiusMetres = 0.010;
// Which way each muscle turns the joint. At the homing references (3.72 bar
// on muscles 1 and 4, 4.20 bar on 2 and 3) the pairs' difference holds the
// level tool against its weight, at -0.2 degrees.
constexpr double kMusclePullSign[4] = {1.0, -1.0, -1.0, 1.0};

// The tool link in the arm's plane, whose x axis points up: the shoulder
// angle theta2 is measured from it, the elbow theta3 from the upper arm and
// theta1 from the forearm, so the tool's absolute angle from the vertical is
// theta2 + theta3 + theta1 (90 degrees, horizontal, at the home pose). The
// shoulder and elbow move as their velocity-controlled motors make them;
// the tool feels their motion through the tool link's equation of motion
// and its weight through m g c sin(theta2 + theta3 + theta1).
constexpr double kUpperArmMetres = 0.432;
constexpr double kForearmMetres = 0.380;
constexpr double kToolMassKilograms = 1.2;
constexpr double kToolCentreMetres = 0.18;                  // joint to the tool's centre of mass
constexpr double kToolInertiaKilogramSquareMetres = 0.008;  // about its centre of mass
constexpr double kGravityMetresPerSecondSquared = 9.81;
// Viscous damping of the joint and its muscles, N m s / rad: about half the
// critical damping at the homing pressures.
constexpr double kToolDampingNewtonMetreSeconds = 0.55;
// The joint's end stops; the tool stops dead on them.
constexpr double kToolRangeDegrees = 60.0;
// Encoders 3 and 4 sit on the two shafts of the joint's differential, which
// turn by plus and minus half the joint angle; each counts 8 per degree, so
// (count3 - count4) / 8 is the joint angle and their sum stays 0.
constexpr double kToolEncoderCountsPerDegree = 8.0;

// Conversions used to set a pose in physical units.
constexpr double kCarriageCountsPerMillimetre = 2816.0 / (110.0 * 3.141592653589793);
constexpr double kJointCountsPerDegree = 153600.0 / 360.0;
constexpr double kShoulderHomeDegrees = 15.0;
constexpr double kElbowHomeDegrees = 75.0;

// Device handles the data-acquisition library gives out: base + device number.
constexpr std::int32_t kHandleBase = 0x4400;
constexpr std::uint32_t kInputDevice = 0;
constexpr std::uint32_t kOutputDevice = 1;
constexpr int kValveChannels = 4;

}  // namespace lab::plant
