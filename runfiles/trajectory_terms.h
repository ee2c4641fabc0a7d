// The fourteen fields of a trajectory record, built from the joint motion of
// one 20 ms sample, and the finite differences that give its rates and
// accelerations. The replay of a logged run and the trajectory generator
// both build their records here.
#pragma once

#include "arm/arm.h"
#include "runfiles/run_files.h"

namespace runfiles {

using arm::kSamplePeriodMs;

// Rate in rad/s between two samples 20 ms apart, stored as a float.
inline float SampleRate(double next, double current) {
    return float((next - current) / kSamplePeriodMs * 1000);
}

// Central second difference at the middle of three samples, in rad/s^2,
// stored as a float.
inline float SampleAcceleration(double next, double current, double previous) {
    return float((next - 2 * current + previous) / (kSamplePeriodMs * kSamplePeriodMs) * 1000000);
}

// The motion of one sample. Angles in radians: the muscle-driven joint's
// difference angle, shoulder, elbow, and the joint's sum angle. Rates are
// taken towards the next sample, accelerations centred on this one.
struct JointSample {
    double theta1, theta2, theta3, theta4;
    float rate2, rate3;
    float accel1, accel2, accel3, accel4;
};

// The record's fields: the two angles in degrees as computed, the twelve
// dynamic terms already stored in single precision. Callers choose the
// precision of the angles: write the values as they are, or take RecordOf.
struct TrajectoryTerms {
    double values[TrajectoryRecord::kFieldCount];
};

TrajectoryTerms DynamicTerms(const JointSample& sample);

// The terms as a record, every field in single precision.
TrajectoryRecord RecordOf(const TrajectoryTerms& terms);

}  // namespace runfiles
