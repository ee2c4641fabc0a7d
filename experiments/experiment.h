// Open-loop experiments: a schedule of valve and motor commands applied to
// the arm through the card layers, one period at a time, and a recording of
// what the arm did, for identifying the plant (steps, slow sweeps, chirps).
#pragma once

#include <string>
#include <vector>

#include "arm/arm.h"
#include "experiments/recording.h"
#include "runs/pacing.h"
#include "runs/runs.h"

namespace experiments {

// What a schedule can drive: valve1 .. valve4 (volts, the valve commands of
// muscles 1 to 4), motor1 .. motor3 (volts, motor axes 0 to 2) and
// servo1 .. servo3 (on or off, the servos of axes 0 to 2).
inline constexpr int kValveChannels = 4;
inline constexpr int kMotorChannels = 3;
inline constexpr int kChannelCount = kValveChannels + 2 * kMotorChannels;

// One line of a schedule: from `timeMs` on, `channel` (0 to 3 the valves,
// 4 to 6 the motors, 7 to 9 the servos) holds `value` (servos: 1 on, 0 off);
// with `ramp` it moves linearly to it from its previous breakpoint.
struct Breakpoint {
    double timeMs;
    int channel;
    double value;
    bool ramp;
};

struct Schedule {
    std::vector<Breakpoint> breakpoints;  // each channel's in time order
    double lastMs = 0.0;                  // time of the last breakpoint
};

// Reads a schedule: one breakpoint a line, `TIME_MS CHANNEL VALUE [ramp]`,
// `#` starting a comment. Returns an empty string and fills `schedule`, or
// "line N: " and what is wrong with it.
std::string ParseSchedule(const std::string& text, Schedule& schedule);

// The longest experiment, ms: its recording is sized before it starts.
inline constexpr double kLongestMs = 600'000.0;

struct Settings {
    double periodMs = arm::kSamplePeriodMs;  // 1 to 100
    double durationMs = -1.0;                // below 0: up to the schedule's last breakpoint
    std::string recording = kRecordingFile;
};

struct ExperimentResult {
    runs::RunEnd end = runs::RunEnd::kRefusedAtStart;
    runs::SampleTiming timing;  // periods run
    bool recordingWritten = false;
};

// Applies `schedule` from time 0, every period: the channels whose first
// breakpoint has come are sent their values (the four valves together,
// those not yet driven at the card layer's ValveVoltages), then the
// pressures and encoders are read and one line recorded: the commands the
// cards kept (a refused command leaves the previous one), the pressures
// (bar), the five counts and the muscle-driven joint's angle,
// (count 4 - count 5) / 8 degrees. The emergency stop and the limit
// switches end it early. Afterwards the motors driven get 0 V and the
// servos of axes 0 to 2 go off; the valves keep their commands. The
// recording is written after the loop, however it ended. Each period: no
// allocation, no file, no output of its own.
ExperimentResult RunExperiment(const Schedule& schedule, const Settings& settings,
                               runs::Redraw redraw);

}  // namespace experiments
