// Every parameter of the simulated arm and its two cards, in one place.
//
// Positions of the motor axes are in encoder counts of their own channel,
// measured from the home pose (carriage 1000 counts off its lower switch,
// shoulder 15 degrees, elbow 75 degrees). Axis 2's counter counts against
// the elbow angle. On each axis switch 0 sits at the low-count end and
// switch 1 at the high-count end; each switch is active from its position
// outwards up to the hard stop a little further on.
//
// The switch positions are placed so that the homing sequence (onto the
// switches, then back by 1000, -10574 and -27002 counts at its voltages, with
// its 500 ms waits, the shoulder's -0.01 V drift, the elbow driven on through
// its wait, and the motors' coasting) ends within a few counts of position 0
// on every axis, from any start inside the ranges.
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
// freeze the caller for seconds, while a minute (some 30 ms of work) is far
// longer than any of the console's own waits and every lag has settled in it.
constexpr std::int64_t kMaxCatchUpNanoseconds = 60'000'000'000;

// Motor axes 0 (carriage), 1 (shoulder), 2 (elbow).
struct AxisParameters {
    // Steady speed per volt of amplifier input, counts per second.
    double countsPerSecondPerVolt;
    // The amplifier's input offset: the motor stands still at a DAC output of
    // minus this value, which the card layer's zero-offset correction writes.
    double amplifierOffsetVolts;
    double lowerStop;
    double lowerSwitch;
    double upperSwitch;
    double upperStop;
};

constexpr AxisParameters kAxes[3] = {
    // Carriage: 2816 counts per revolution of a 110 mm wheel, 8.1487 counts
    // per mm; 0.3 V moves it 74 mm/s. Room for the 800 mm (6519 counts) run.
    {2000.0, 0.0082, -1200.0, -1000.3, 8500.0, 8700.0},
    // Shoulder: 153600 counts per revolution, about -20 to +40 degrees.
    {7000.0, 0.0091, -15360.0, -14933.0, 10616.0, 11040.0},
    // Elbow (counting against the angle): about 143 down to 10 degrees.
    {7000.0, 0.0052, -29360.0, -28933.0, 27733.0, 28160.0},
};

// Motor speed follows its target with this first-order time constant.
constexpr double kMotorTimeConstantSeconds = 0.002;
// The amplifiers take at most this input.
constexpr double kDacRangeVolts = 10.0;

// Muscles 1 to 4: each valve sets a target pressure proportional to its
// voltage; the muscle pressure follows with a first-order lag.
constexpr double kBarPerValveVolt = 0.75;
constexpr double kPressureTimeConstantSeconds = 0.15;
// The valve outputs take 0 to this voltage.
constexpr double kValveRangeVolts = 10.0;

// Pressure sensors: volts = (bar - 1) * 0.2038 + 1, the inverse of the card
// layer's conversion. Inputs 4 to 11 are unconnected and read 0 V.
constexpr double kSensorVoltsPerBar = 0.2038;
constexpr double kSensorVoltsAtOneBar = 1.0;
constexpr int kInputChannels = 12;
// Seed of the optional sensor noise (lab::SetSensorNoise).
constexpr std::uint32_t kNoiseSeed = 20261207u;

// Tool joint: muscles 1 and 4 pull it positive, 2 and 3 negative; its angle
// settles at kDegreesPerBar times the pressure difference with a
// first-order lag, within +-kToolRangeDegrees.
constexpr double kToolDegreesPerBar = 10.0;
constexpr double kToolTimeConstantSeconds = 0.1;
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
