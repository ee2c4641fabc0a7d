// The control runs and the short hardware sequences of the console: homing,
// manual motor and valve commands, closing and resetting the cards, and the
// two real-time runs along a prepared trajectory.
//
// Everything here runs synchronously on the caller's thread and returns when
// the sequence is done. None of it knows the console: a run redraws through
// the function its caller hands over.
#pragma once

#include <array>
#include <optional>

#include "arm/arm.h"
#include "model/fuzzy_supervisor.h"
#include "runs/pacing.h"

// ---------------------------------------------------------------------------
// Hardware sequences
// ---------------------------------------------------------------------------

namespace runs {
// The valve voltages of muscles 1 to 4 at the muscles' home.
inline constexpr float kMuscleReferenceVolts[arm::kMuscleCount] = {5.0f, 5.6f, 5.6f, 5.0f};
}  // namespace runs

// Writes the reference voltages to ValveVoltages and to the valves.
void SetValvesToReference();

// Valves to their reference voltages, two seconds to settle, then encoder
// channels 3 and 4 zeroed: the muscle-driven joint reads 0 in this state.
void HomeMuscles();

namespace runs {

// How homing ended.
enum class Homing {
    kAtHome,         // encoders 0 to 2 zeroed at the home pose
    kEmergencyStop,  // stopped on the way: encoders left as they were
};

// What homing prints, and the console shows, when the stop ended it.
inline constexpr const char* kHomingStoppedText = "Homing stopped: encoders not zeroed";

}  // namespace runs

// Drives carriage and shoulder onto their limit switches and back by a fixed
// count, then the elbow the same way, and zeroes encoder channels 0 to 2 at
// that home pose. Leaves servos 0 to 2 on with 0 V and the card's own limit
// checking on. When a polling loop finds the emergency stop active (motion
// aborted), the rest of the sequence is skipped: the servos are switched
// off, the counters keep their counts, since zeroing them where the arm
// happened to stop would give every later run a wrong reference, and
// kHomingStoppedText is printed. There is no time-out: a switch that is
// never reached keeps it polling.
runs::Homing GoHome();

// Switches on the servo of each motor whose flag is exactly 1, writes `volts`
// to all three motors whatever the flags, holds for trunc(durationMs) clock
// ticks and switches all three servos off. No limit or emergency check is
// made meanwhile; only the card's own limit checking guards the move.
void ManualMotorCommand(int motor1, int motor2, int motor3, float volts, float durationMs);

// Writes *volts to the valve of every muscle whose flag is non-zero and 0 V
// to the others, from a local array (ValveVoltages is left alone).
void ManualPressureCommand(int* muscle1, int* muscle2, int* muscle3, int* muscle4, float* volts);

// Switches the servos of the three motors off.
void SwitchServosOff();

// Switches the servos of the three motors off and writes 0 V to every valve
// (ValveVoltages included): how the runs and procedures leave the arm.
void StopMotorsAndValves();

// Closes the motion card, then the pressure input, then the valve output.
void CloseCards();

// The card reset of start-up and of the "  Reset Cards  " button: closes the
// motion card, the pressure input and the valve output, then opens the same
// three in that order. Closing first makes it work whether or not the cards
// were open.
void ResetCards();

// ---------------------------------------------------------------------------
// Control runs
// ---------------------------------------------------------------------------

namespace runs {

// Why a run's loop ended.
enum class RunEnd {
    kCompleted,       // every sample of the trajectory ran
    kEmergencyStop,   // the emergency stop was found active before a sample
    kLimitSwitch,     // a limit switch was found active before a sample
    kRefusedAtStart,  // a network, an input or a log file was missing, or the
                      // trajectory did not fit: nothing was driven
};

// Room for the reason a run did not start, with its terminating zero (a
// reason may name a path).
inline constexpr int kProblemCapacity = 512;

// The checks before every sample, in this order: nothing while all is well,
// else why the loop must end (the card layer has then aborted motion and
// switched the servos off).
std::optional<RunEnd> CheckStops();

// What a run reports to its caller; the run itself prints only its fixed
// messages.
struct RunResult {
    RunEnd end = RunEnd::kRefusedAtStart;
    int sampleTotal = 0;                  // samples the trajectory holds
    SampleTiming timing;                  // samples run, work times and lateness
    bool logsWritten = false;             // all three logs written and closed without error
    char problem[kProblemCapacity] = {};  // kRefusedAtStart: why, e.g. "X did not load"
};

// Room for an outcome line, with its terminating zero.
inline constexpr int kOutcomeCapacity = kProblemCapacity + 32;

// How a run ended, in one line for the operator, when it did not simply
// complete: "Run not started: PROBLEM", "Run stopped by the emergency stop
// at sample S of T" (S samples ran), "Run stopped by a limit switch at
// sample S of T", or "N samples overran 20 ms" after a complete but late
// loop. Empty for a plain completion. Allocates nothing.
struct OutcomeLine {
    char text[kOutcomeCapacity] = {};
};
OutcomeLine DescribeOutcome(const RunResult& result);

// Called once per sample to redraw the operator's view; nullptr redraws nothing.
using Redraw = void (*)();

}  // namespace runs

// Moves the arm once along the trajectory in ./NeuralFiles/
// (kDynamicTerms, kVelocityTrajectory), one
// sample every 20 ms: valves from desired pressures that the PONNET
// networks of two neighbouring angle bins predict and the fuzzy supervisor
// blends with parameters `k`, motors from desired velocities. The caller
// has homed the arm (GoHome, then HomeMuscles) and left the servos on.
// Writes the run log, the pressure and encoder logs and an empty time log
// (runfiles::kRunLog, kRunPressureLog, kRunEncoderLog, kRunTimeLog), then
// switches servos 0 to 2 off and zeroes the valves, however the loop ended.
// The tables grow with the trajectory, so a trajectory of any length runs
// whole. Every network is loaded and both input files are read before any
// log is opened, so a run that cannot start (a network or an input file
// missing, a velocity file shorter than the trajectory needs) leaves the
// previous run's logs as they were; it switches servos 0 to 2 off, zeroes
// the valves and drives nothing. A run that did not simply complete prints
// its DescribeOutcome line. A log that could not be written completely is
// reported on one line.
runs::RunResult RunHybridControl(
    runs::Redraw redraw,
    const std::array<float, fuzzy::kParameterCount>& k = fuzzy::kHybridRunVector);

// The same run with the desired pressures of the own angle bin's PONNET
// networks alone, one trajectory line earlier than the hybrid run takes
// them, and no fuzzy supervisor.
runs::RunResult RunNeuralControl(runs::Redraw redraw);
