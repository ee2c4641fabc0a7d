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
// velocity loop: at rest it breaks away once its input (DAC output plus its
// offset) exceeds breakawayVolts in magnitude; moving, its speed is
// countsPerSecondPerVolt times the input less frictionVolts (Coulomb
// friction, as an input-voltage equivalent), and it comes to rest when that
// is zero. The offsets differ from the card layer's zero-offset correction
// by a few millivolts, so a motor at a zero command creeps until the offset
// is calibrated out.
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

// The physical plant. The meaning, unit and range of every field is in the
// table of PlantKeys().
struct Parameters {
    AxisParameters axes[3];
    double motorTimeConstantSeconds;
    double standstillCountsPerSecond;
    double dacRangeVolts;

    double valveDeadBandVolts;
    double valveBarPerVolt;
    double supplyBar;
    double fillTimeConstantSeconds;
    double ventTimeConstantSeconds;
    double valveRangeVolts;

    double muscleAreaSquareMetres;
    double muscleA;
    double muscleB;
    double muscleRestLengthMetres;
    double mountingContraction;
    double pulleyRadiusMetres;

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
// turn by plus and minus half the joint angle; each counts 8 per degree, so
// (count3 - count4) / 8 is the joint angle and their sum stays 0.
constexpr double kToolEncoderCountsPerDegree = 8.0;

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
