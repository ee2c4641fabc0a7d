// The physics of the simulated arm, one simulation step at a time: the
// motors behind their velocity loops, with friction and gravity; the valves,
// the air they let into and out of the muscles' chambers and the muscles'
// pull; and the muscle-driven joint as a rigid body loaded by the tool's
// weight and by the motion of the shoulder and elbow. Parameters in
// lab/plant_parameters.h, the table of their meanings and sources in
// lab/plant_parameters.cpp.
#pragma once

#include <array>

#include "lab/plant_parameters.h"

namespace lab::plant {

constexpr double kStepSeconds = static_cast<double>(kStepNanoseconds) * 1e-9;

// The muscles' static law tabulated on a grid of pressures and
// contractions and read bilinearly: solving it takes some fifty tangents, a
// table read a few multiplications.
constexpr double kForceTableBarStep = 0.1;
constexpr int kForceTablePressures = 91;  // 0 to 9 bar
constexpr double kForceTableContractionLow = -0.05;
constexpr double kForceTableContractionStep = 0.005;
constexpr int kForceTableContractions = 81;  // -5 % to 35 %

// The parameters and what every step derives from them, computed once.
struct Model {
    explicit Model(const Parameters& given);

    Parameters parameters;
    double sinBraid;
    double cosBraid;
    // What is left of a held muscle's slip elements after one step.
    double slipRelaxation;
    // The static law's pull, newtons, at the grid's pressures and contractions.
    std::array<std::array<float, kForceTableContractions>, kForceTablePressures> force;
};

// A motor axis: its speed, counts per second, and its velocity loop's
// integral part, volts of torque.
struct Motor {
    double speed;
    double integral;
};

// The motor after one step. `inputVolts` is the amplifier input (DAC
// output plus offset); with the amplifier off the loop drives nothing and
// its integral is empty. `gravityVolts` is the links' weight on the motor,
// in volts of torque along the axis's count direction.
Motor MotorStep(const Model& model, const AxisParameters& axis, bool amplifierOn, double inputVolts,
                double gravityVolts, Motor motor);

// The links' weight on axes 0 to 2, volts of torque along each axis's count
// direction, at shoulder and elbow angles (radians, from the vertical and
// from the upper arm).
void MotorGravity(const Model& model, double shoulderRadians, double elbowRadians,
                  double gravityVolts[3]);

// The gauge pressure, bar, a valve's regulator aims at for its voltage.
double ValveSetPressure(const Model& model, double volts);

// A muscle's chamber volume, m^3, at a contraction.
double MuscleVolume(const Model& model, double contraction);

// A muscle's chamber pressure (gauge, bar) after one step of its valve
// aiming at `setBar`, while its chamber's volume went from `volumeBefore` to
// `volume` (m^3). With `sealed` no air passes the valve.
double ChamberPressureStep(const Model& model, double pressureBar, double setBar,
                           double volumeBefore, double volume, bool sealed);

// Pull of one muscle, newtons, at a gauge pressure and a contraction, as
// its static law gives it (no friction, no damping); 0 below the threshold.
double StaticMuscleForce(const Model& model, double pressureBar, double contraction);

// What a muscle keeps from step to step besides its pressure: the braid's
// slip elements (metres of stretch of each spring, positive while
// contracting), its chamber's volume as the last step left it, which way
// its set pressure last moved, and how long that set pressure has held.
struct MuscleMemory {
    double slip[kSlipElements];
    double volume;        // m^3
    double setReference;  // bar; the set pressure's play operator
    bool inflating;
    double setBar;       // the set pressure of the last step
    double heldSeconds;  // since the set pressure last changed
};

// Follows a valve's set pressure: inflating or deflating once the set
// pressure has moved by the play, held while it does not change at all.
void TrackSetPressure(const Model& model, MuscleMemory& memory, double setBar);

// The braid friction's force, newtons, opposing contraction.
double SlipForce(const Model& model, const MuscleMemory& memory);
// Moves the slip elements by a change of contraction, metres of length, at
// a gauge pressure. A muscle whose set pressure has held for the braid's
// settling time is isometric: its slip elements relax towards no force.
void SlipStep(const Model& model, MuscleMemory& memory, double contractionMetres,
              double pressureBar);

// Pull of one muscle with its braid friction and damping, newtons, at a
// contraction changing at `contractionRate` per second.
double MusclePull(const Model& model, const MuscleMemory& memory, double pressureBar,
                  double contraction, double contractionRate);

// Contraction of muscle `muscle` (0 to 3) at joint angle theta1, radians,
// and its rate per radian of the joint.
double MuscleContraction(const Model& model, int muscle, double toolRadians);
double ContractionPerRadian(const Model& model, int muscle);

// Torque of the four muscles on the joint, N m.
double MuscleTorque(const Model& model, const MuscleMemory memory[4], const double pressureBar[4],
                    double toolRadians, double toolRate);

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

// The joint angle, radians, at which the muscles' static pulls at these
// gauge pressures (bar) balance the tool's weight, the arm at rest at the
// home pose; an end stop when they cannot.
double StaticRestAngle(const Model& model, const double pressureBar[4]);

// The joint after one step (semi-implicit Euler) under a muscle torque,
// held inside its end stops.
ToolJoint ToolStep(const Model& model, ToolJoint joint, const ArmMotion& arm, double muscleTorque);

}  // namespace lab::plant
