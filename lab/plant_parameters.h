// Every parameter of the simulated arm and its two cards.
//
// The physical parameters (motors, switches, valves, muscles, tool joint,
// sensors) are values of `Parameters`, one table `PlantKeys()` names them,
// with their units, built-in values, allowed ranges and meanings; the plant
// file `virtual-lab.toml` of a lab directory may change any of them. What
// ties the lab to the card libraries and to the software's view of the arm
// (the simulation step, device handles, channel counts, encoder scales, the
// home pose) is fixed below.
//
// Positions of the motor axes are in encoder counts of their own channel,
// measured from the home pose (carriage 1047 counts off its lower switch,
// shoulder 15 degrees, elbow 75 degrees). Axis 2's counter counts against
// the elbow angle. On each axis switch 0 sits at the low-count end and
// switch 1 at the high-count end; each switch is active from its position
// outwards up to the hard stop a little further on.
//
// The built-in switch positions are placed so that the homing sequence
// (onto the switches, then back by 1000, -10574 and -27002 counts at its
// voltages, with its 500 ms waits, the shoulder's -0.01 V drift, the elbow
// driven on through its wait, and the motors' coasting) ends near position 0
// on every axis, from any start inside the ranges. The carriage and the
// shoulder creep on their residual offsets while the elbow homes, for 7 to
// 19 s depending on where the elbow starts; their switches sit where that
// creep ends them within 19 and 53 counts (2.3 mm, 0.12 degree) of
// position 0.
#pragma once

#include <cstdint>
#include <span>

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
// velocity loop on its motor. Torques are counted in volts of amplifier
// input (the input that would produce them through the loop's proportional
// path): the loop's torque is (input - speed) plus its integral part, and
// the motor's speed, in volts of input, follows
//     T dv/dt = input - v + integral - friction(v) - gravity.
// The integral part leaks (a lag compensator): at rest it builds up to the
// integral gain times the input, so a motor breaks away once its input
// exceeds breakawayVolts / (1 + gain); moving steadily it runs at the input
// less coulombVolts / (1 + gain). Friction is Coulomb, viscous and Stribeck
// (static breakawayVolts falling to coulombVolts above the Stribeck speed),
// stepped without chatter: a motor at rest stays at rest until the torque
// exceeds the static friction. Just above breakaway the loop's integral
// winds up, the motor slips, overshoots and sticks again: stick-slip. The
// offsets differ from the card layer's zero-offset correction by a few
// millivolts, so a motor at a zero command creeps until the offset is
// calibrated out.
struct AxisParameters {
    // Steady speed per volt of amplifier input, counts per second.
    double countsPerSecondPerVolt;
    // The amplifier's input offset, volts, in two parts: what the card
    // layer's zero-offset correction takes out, and the residual it leaves
    // (lab::ZeroResidualOffsets can remove that).
    double correctedOffsetVolts;
    double residualOffsetVolts;
    // Static (breakaway) and Coulomb friction, volts of torque.
    double breakawayVolts;
    double coulombVolts;
    // Weight of the upper arm and of the forearm on this axis where it
    // pulls most (link horizontal), volts of torque.
    double upperArmGravityVolts;
    double forearmGravityVolts;
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

// Braid friction of a muscle: a few Maxwell-slip elements.
constexpr int kSlipElements = 3;

// The physical plant. The meaning, unit, range and source of every field is
// in the table of PlantKeys().
struct Parameters {
    AxisParameters axes[3];
    double motorTimeConstantSeconds;
    double integralGain;
    double integralSeconds;
    double stribeckVolts;
    double viscousFriction;
    double accelerationLimitVoltsPerSecond;
    double dacRangeVolts;

    double valveDeadBandVolts;
    double valveBarPerVolt;
    double maxSetBar;
    double supplyBar;
    double regulatorBandBar;
    double sonicConductance;  // dm^3/(s bar)
    double criticalPressureRatio;
    double laminarPressureRatio;
    double fillingExponent;
    double ventingExponent;
    double volumeExponent;
    double airKelvin;
    double valveRangeVolts;

    double forceLawA0;
    double forceLawA1;
    double forceLawA2;
    double forceLawA3;
    double forceLawA4;
    double forceLawA5;
    double forceLawMaxContraction;
    double muscleRestLengthMetres;
    double mountingContraction;
    double pulleyRadiusMetres;
    double braidRadiusMetres;
    double braidDegrees;
    double deadVolumeCubicMetres;
    double slipContractingNewtonsPerBar[kSlipElements];
    double slipStretchingNewtonsPerBar[kSlipElements];
    double slipStiffnessNewtonsPerMetre[kSlipElements];
    double inflatingDampingNewtonSecondsPerMetre;
    double deflatingDampingNewtonSecondsPerMetre;
    double directionPlayBar;
    double braidSettleSeconds;
    double braidRelaxationSeconds;

    double upperArmMetres;
    double forearmMetres;
    double toolMassKilograms;
    double toolCentreMetres;
    double toolInertiaKilogramSquareMetres;
    double gravityMetresPerSecondSquared;
    double toolDampingNewtonMetreSeconds;
    double toolRangeDegrees;

    double sensorVoltsPerBar;
    double sensorVoltsAtOneBar;
    double pressureNoiseBar;
    double noiseSeed;  // a whole number, 0 to 2^32 - 1
    double toolEncoderScale[2];

    // What Coulomb friction takes off a steadily running motor's input.
    double RunningLossVolts(int axis) const {
        return axes[axis].coulombVolts / (1.0 + integralGain);
    }
    // The input at which a motor held at rest without gravity breaks away.
    double BreakawayInputVolts(int axis) const {
        return axes[axis].breakawayVolts / (1.0 + integralGain);
    }
};

// One parameter of the plant file: `[group] name = value`, the name ending
// in its unit. Whole numbers only where `whole` is set.
struct PlantKey {
    const char* group;
    const char* name;
    double builtIn;
    double low;
    double high;
    bool whole;
    double& (*field)(Parameters&);
    const char* description;
};

// Every key, grouped, in the order the template lists them.
std::span<const PlantKey> PlantKeys();

// The plant with every key at its built-in value.
const Parameters& BuiltIn();

// Which way each muscle turns the joint: muscles 1 and 4 pull it positive,
// 2 and 3 negative.
constexpr double kMusclePullSign[4] = {1.0, -1.0, -1.0, 1.0};

// Encoders 3 and 4 sit on the two shafts of the joint's differential, which
// turn by plus and minus half the joint angle; each counts 8 per degree of
// its shaft's half angle, so (count3 - count4) / 8 is the joint angle. Each
// channel counts whole steps on its own, and their gear trains differ a
// little (the plant's encoder scales), so their sum is not identically 0.
constexpr double kToolEncoderCountsPerDegree = 8.0;

// Air: the atmosphere's pressure (absolute, bar), the density of the
// reference air of a valve's sonic conductance (kg/m^3, 20 degrees C, 1 bar,
// 65 % humidity) and the gas constant of air (J/(kg K)).
constexpr double kAtmosphereBar = 1.01325;
constexpr double kReferenceDensity = 1.185;
constexpr double kGasConstant = 287.0;

// Conversions used to set a pose in physical units.
constexpr double kCarriageCountsPerMillimetre = 2816.0 / (110.0 * 3.141592653589793);
constexpr double kJointCountsPerDegree = 153600.0 / 360.0;
constexpr double kShoulderHomeDegrees = 15.0;
constexpr double kElbowHomeDegrees = 75.0;

// Pressure sensors: inputs 0 to 3; inputs 4 to 11 are unconnected and read 0 V.
constexpr int kInputChannels = 12;

// Device handles the data-acquisition library gives out: base + device number.
constexpr std::int32_t kHandleBase = 0x4400;
constexpr std::uint32_t kInputDevice = 0;
constexpr std::uint32_t kOutputDevice = 1;
constexpr int kValveChannels = 4;

}  // namespace lab::plant
