// The training-data procedures: timed sequences that excite the motors and
// the valves with scripted signals and record what the arm did into the
// training files of ./NeuralFiles/, from which the valve and link networks
// are trained; an offset calibration of the motors and an open-loop test of
// the link networks.
//
// Each runs synchronously and returns when it is done. Each reserves its
// tables before its sample loop and writes its files after it, from the
// tables, however the loop ended: before every sample the emergency stop
// and then the limit switches are checked, and either ends the loop early. None of them knows the
// console: the function a caller hands over is called once per sample, after the sample's work
// (nullptr calls nothing).
#pragma once

#include <string>
#include <vector>

#include "runs/runs.h"

namespace training {

// What a procedure reports to its caller; the procedure itself prints its
// fixed messages only.
struct TrainingResult {
    runs::RunEnd end = runs::RunEnd::kRefusedAtStart;
    int samples = 0;            // samples (calibration: seconds) the loop ran
    runs::SampleTiming timing;  // performance-counter pacing, where used
    // Every file the procedure writes was opened, written and closed without
    // error (false for a refused start and for the calibration, which
    // writes none); `files` lists those that were, as paths.
    bool filesWritten = false;
    std::vector<std::string> files;
};

}  // namespace training

// Switches servos 0 to 2 on at 0 V and, once a second, moves each motor's
// command against the counts it moved in that second, printing counts and
// commands, until every axis has been still for one whole second (an axis
// once still stays marked). Leaves servos 0 to 2 off. Does not home.
training::TrainingResult CalibrateOffsets(runs::Redraw redraw = nullptr);

// Homes the motors, moves the carriage out for two seconds and zeroes its
// counter, then drives all three motors through a 2800-sample scripted
// voltage excitation (56 s) that continues from the commands the previous
// call left. Writes kMotorVoltages,
// kMotorVelocities and kMotorEncoders (2800
// lines each, zeros after an early end) and an empty kMotorTimeLog.
// Leaves servos 0 to 2 off.
training::TrainingResult RecordMotorTrainingData(runs::Redraw redraw = nullptr);

// Drives the motors open-loop from kVelocityTrajectory through
// the two link networks, one line every 20 ms plus the sample's work, and
// writes the velocities and counts that resulted
// (kTrackedVelocities,
// kTrackedEncoders: one line fewer than the velocity
// file). Refuses to start, driving nothing, when the velocity file does not
// open or a network's weights do not load. Leaves servos 0 to 2 off.
training::TrainingResult TestVelocityTracking(runs::Redraw redraw = nullptr);

// Excites one muscle after the other through a 1300-sample valve sequence
// (26 s each) around its reference voltage while the others hold theirs, and
// writes runfiles::kValveRecording 1 to 4 (voltage, next pressure, slope;
// 1299 lines each). The motors are not touched; the valves are left at the
// fourth muscle's last commands.
training::TrainingResult RecordPressureTrainingData(runs::Redraw redraw = nullptr);

// Homes motors and muscles, then drives the motors from
// kVelocityTrajectory through the link networks and the valves
// through the valve networks from desired-pressure waves around the measured
// starting pressures, and writes kCombinedEncoders,
// kCombinedPressures and kCombinedDesiredPressures
// (three lines fewer than the velocity file). Refuses to start, driving
// nothing, when the velocity file does not open or a network's weights do
// not load. Leaves servos 0 to 2 off and the valves at 0.
training::TrainingResult RecordCombinedTrainingData(runs::Redraw redraw = nullptr);
