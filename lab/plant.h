// The physics of the simulated arm, one simulation step at a time: the
// velocity-controlled motors, the valves and muscle pressures, and the
// muscle-driven joint as a rigid body loaded by the tool's weight and by the
// motion of the shoulder and elbow. Parameters in lab/plant_parameters.h.
#pragma once

#include "lab/plant_parameters.h"

namespace lab::plant {

constexpr double kStepSeconds = static_cast<double>(kStepNanoseconds) * 1e-9;

// The parameters and what every step derives from them, computed once.
struct Model {
    explicit Model(const Parameters& given);

    Parameters parameters;
    // Fraction of the remaining distance each first-order lag covers in a step.
    double motorStepFraction;
    double fillStepFraction;
    double ventStepFraction;
};

// A motor's speed after one step, counts per second, from its speed before
// and its amplifier input (DAC output plus offset, volts; 0 with the servo
// off). Friction holds it at rest until the input breaks it away.
double MotorSpeedStep(const Model& model, const AxisParameters& axis, double inputVolts,
                      double speed);

// The gauge pressure, bar, a valve settles a muscle at for its output voltage.
double ValvePressure(const Model& model, double volts);
// A muscle's pressure after one step towards its valve's pressure.
double MusclePressureStep(const Model& model, double pressureBar, double valveVolts);

// Pull of one muscle, newtons, at a gauge pressure and a contraction.
double MuscleForce(const Model& model, double pressureBar, double contraction);
// Torque of the four muscles on the joint at angle theta1, N m.
double MuscleTorque(const Model& model, const double pressureBar[4], double toolRadians);

// Shoulder (theta2) and elbow (theta3) as the tool link feels them: angles,
// rates and accelerations, radians and seconds.
struct ArmMotion {
    double shoulder, shoulderRate, shoulderAcceleration;
    double elbow, elbowRate, elbowAcceleration;
};

// The muscle-driven joint: angle theta1 and its rate, radians and seconds.
struct ToolJoint {
    double angle;
    double rate;
};

// Torque on the joint from the tool's weight and the arm's motion, N m, and
// the joint's own inertia, kg m^2.
struct ToolLoad {
    double torque;
    double inertia;
};
ToolLoad ArmLoadOnTool(const Model& model, const ArmMotion& arm, double toolRadians);

// The joint after one step (semi-implicit Euler), held inside its end stops.
ToolJoint ToolStep(const Model& model, ToolJoint tool, const ArmMotion& arm,
                   const double pressureBar[4]);

}  // namespace lab::plant
