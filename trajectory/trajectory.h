// The reference motion of a control run. The carriage (axis 0) travels
// 800 mm at 30 mm/s while the tool point follows a sine, ramp or step wave in
// the arm's plane; the shoulder-elbow arm is solved by inverse kinematics at
// every 20 ms sample and the third joint keeps the tool's orientation.
#pragma once

#include <string>
#include <vector>

#include "runfiles/catalogue.h"

// The three files, relative to the working directory, in the order they are
// written: desired velocities (counts per ms of axes 0, 1, 2), desired
// encoder counts of axes 0, 1, 2, and one runfiles::TrajectoryRecord of
// dynamic terms per sample.
inline constexpr const char* kVelocityTrajectoryFile = runfiles::kVelocityTrajectory.path;
inline constexpr const char* kEncoderTrajectoryFile = runfiles::kEncoderTrajectory.path;
inline constexpr const char* kDynamicTermsFile = runfiles::kDynamicTerms.path;

// Writes the three trajectory files for the panel's wave choice (non-zero =
// selected; step, sine and ramp are evaluated in this order and the last
// selected one wins) and its sine amplitude (mm) and frequency (Hz). A file
// that cannot be opened is reported on standard output and skipped; an
// unreachable point is reported and still computed. Returns true only when
// all three files were opened, written and closed without error; the paths
// of those that were not are added to `unwritten` when it is given.
bool GenerateTrajectory(int* sine, int* ramp, int* step, float* amplitude, float* frequency,
                        std::vector<std::string>* unwritten = nullptr);
