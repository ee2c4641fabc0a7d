// The virtual lab: a deterministic simulation of the arm and of both cards,
// standing in for the motion-card and data-acquisition libraries. The
// plant advances lazily, on every library call, to the program clock's
// time, so it runs in real time for the console and on the virtual clock in
// tests. This header is the lab's control surface for tests and tools: reset
// and set states, inject faults, read the call journal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lab/plant_parameters.h"

namespace lab {

// The plant the lab simulates: the built-in one until SetPlant gives it
// another (lab/plant_file.h reads one from a lab directory). Reset keeps it.
// Setting it also sets the sensor noise and restarts its generator from the
// plant's seed.
void SetPlant(const plant::Parameters& parameters);
const plant::Parameters& Plant();

// The arm kept in a lab directory between processes, as a real arm stays
// where the last command left it: axis positions and speeds, muscle
// pressures, the tool joint, the motion card's outputs, servos and counter
// zeros, the valve outputs, the emergency stop and the sensor noise's
// generator, in exact text. Each returns an empty string or one line saying
// what went wrong.
inline constexpr const char* kArmStateFileName = "virtual-arm.state";
// Reads `dir`'s state into the lab; without one the lab stays as it is (at
// rest after start-up). A damaged or incompatible state is refused and
// changes nothing.
std::string RestoreArm(const std::string& dir);
// Writes the lab's state beside the old one, then renames it over it.
std::string SaveArm(const std::string& dir);
// Removes `dir`'s state: the next process starts with the arm at rest.
std::string ResetArm(const std::string& dir);

// Puts the lab into a known state: arm at rest at the home pose with the
// tool joint at 0 (with its muscles vented it then sinks onto its end stop
// under its weight), encoder counters 0, muscles and valves at 0, servos
// off, card and devices closed, emergency stop released, faults cleared,
// sensor noise as the plant sets it, the motors' residual offsets back, journal empty (its
// on/off setting is kept). The axis configuration sent at start-up is card
// memory and stays.
void Reset();

// A pose in physical units: the carriage's travel from home, joint angles.
struct ArmPose {
    double carriageMillimetres = 0.0;  // travel from the home pose
    double shoulderDegrees = 15.0;
    double elbowDegrees = 75.0;
    double toolDegrees = 0.0;  // the muscle-driven joint
};

// Places the arm at rest at the pose; counters keep their zero points. From
// there the tool joint moves as its muscles, its weight and the arm make it.
void SetArmPose(const ArmPose& pose);
// Makes the counters of channels 0 to 4 read these raw values, without
// moving the arm.
void SetEncoderCounts(const std::int32_t counts[5]);
// Sets the four muscle pressures (bar); from then on they follow the valves.
void SetMusclePressures(const double bar[4]);
// Standard deviation of Gaussian noise on the pressure sensor voltages, from
// the plant's seed, restarted by Reset. 0 turns it off.
void SetSensorNoise(double volts);
// With `sealed` true no air passes any valve, as with the supply and the
// exhaust shut by hand: the muscles keep the air they hold. Reset unseals.
void SealValves(bool sealed);
// With `zero` true each motor amplifier's offset is exactly what the card
// layer's zero-offset correction takes out, as on an arm whose offsets
// have been calibrated: a zero command then holds the motors still instead
// of letting them creep. Reset gives them their residual offsets back.
void ZeroResidualOffsets(bool zero);

// What the plant is doing, for tests.
struct Snapshot {
    double axisPosition[3];  // counts from the home pose
    double axisVelocity[3];  // counts per second
    bool servoOn[3];
    float dacOutput[3];
    bool systemInitialised;
    bool dacConverting;
    bool limitCheck;
    bool pressureInputOpen;  // data-acquisition device 0
    bool valveOutputOpen;    // data-acquisition device 1
    double pressureBar[4];
    float valveOutput[4];
    double toolDegrees;  // the muscle-driven joint
    double toolDegreesPerSecond;
};
Snapshot TakeSnapshot();

// Faults.
void PressEmergencyStop();
void ReleaseEmergencyStop();
// A non-zero state holds the switch active and is the state the card
// reports for it; 0 lets the switch follow the arm again.
void HoldLimitSwitch(int axis, int limitSwitch, short state);
void FailInitSystem(bool fail);
void FailDeviceOpen(std::uint32_t deviceNumber, bool fail);

// The call journal: every library call with its scalar arguments, the bytes
// of a record handed over (pointer-holding records with their padding
// zeroed), the values it stored through output pointers and its result.
struct Call {
    const char* function;
    std::vector<double> arguments;
    std::vector<std::uint8_t> record;
    std::vector<double> outputs;
    int result;

    bool operator==(const Call& other) const;
};

void EnableJournal(bool on);
const std::vector<Call>& Journal();
void ClearJournal();

// The operator can also work the emergency stop from outside the process:
// SIGUSR1 presses it, SIGUSR2 releases it (see tools/lab_estop.cpp). The
// handlers are installed when the lab is first used.

}  // namespace lab
