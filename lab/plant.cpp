#include "lab/plant.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lab::plant {

namespace {

constexpr double kPascalPerBar = 1e5;

// Fraction of the remaining distance a first-order lag covers in one step.
double StepFraction(double timeConstantSeconds) {
    return 1.0 - std::exp(-kStepSeconds / timeConstantSeconds);
}

}  // namespace

// Local statics below: the card layer's static constructors may step the
// plant before this file's own dynamic initialisation has run.

double MotorSpeedStep(const AxisParameters& axis, double inputVolts, double speed) {
    static const double fraction = StepFraction(kMotorTimeConstantSeconds);
    const double magnitude = std::fabs(inputVolts);
    double target = 0.0;
    if (speed != 0.0 || magnitude > axis.breakawayVolts) {
        target = std::copysign(std::max(0.0, magnitude - axis.frictionVolts), inputVolts) *
                 axis.countsPerSecondPerVolt;
    }
    speed += (target - speed) * fraction;
    if (target == 0.0 && std::fabs(speed) < kStandstillCountsPerSecond) {
        speed = 0.0;
    }
    return speed;
}

double ValvePressure(double volts) {
    return std::clamp((volts - kValveDeadBandVolts) * kValveBarPerVolt, 0.0, kSupplyBar);
}

double MusclePressureStep(double pressureBar, double valveVolts) {
    static const double fill = StepFraction(kFillTimeConstantSeconds);
    static const double vent = StepFraction(kVentTimeConstantSeconds);
    const double target = ValvePressure(valveVolts);
    return pressureBar + (target - pressureBar) * (target > pressureBar ? fill : vent);
}

double MuscleForce(double pressureBar, double contraction) {
    const double length = 1.0 - contraction;  // relative to the rest length
    const double force = pressureBar * kPascalPerBar * kMuscleAreaSquareMetres *
                         (kMuscleA * length * length - kMuscleB);
    return std::max(0.0, force);  // a muscle pulls or goes slack, it never pushes
}

double MuscleTorque(const double pressureBar[4], double toolRadians) {
    const double shortening = kPulleyRadiusMetres * toolRadians / kMuscleRestLengthMetres;
    double torque = 0.0;
    for (int muscle = 0; muscle < 4; ++muscle) {
        const double sign = kMusclePullSign[muscle];
        const double contraction = kMountingContraction + sign * shortening;
        torque += sign * kPulleyRadiusMetres * MuscleForce(pressureBar[muscle], contraction);
    }
    return torque;
}

ToolLoad ArmLoadOnTool(const ArmMotion& arm, double toolRadians) {
    constexpr double mc = kToolMassKilograms * kToolCentreMetres;
    constexpr double inertia = kToolInertiaKilogramSquareMetres + mc * kToolCentreMetres;
    const double cosTool = std::cos(toolRadians);
    const double sinTool = std::sin(toolRadians);
    const double elbowAndTool = arm.elbow + toolRadians;
    const double cosElbowAndTool = std::cos(elbowAndTool);
    const double sinElbowAndTool = std::sin(elbowAndTool);
    // The tool link's row of the shoulder-elbow-tool arm's equations of
    // motion: the inertia it shares with the shoulder and with the elbow,
    // the centrifugal and Coriolis terms, its weight.
    const double withShoulder =
        inertia + mc * (kUpperArmMetres * cosElbowAndTool + kForearmMetres * cosTool);
    const double withElbow = inertia + mc * kForearmMetres * cosTool;
    const double forearmRate = arm.shoulderRate + arm.elbowRate;
    const double centrifugal =
        mc * (kUpperArmMetres * sinElbowAndTool * arm.shoulderRate * arm.shoulderRate +
              kForearmMetres * sinTool * forearmRate * forearmRate);
    const double weight =
        mc * kGravityMetresPerSecondSquared * std::sin(arm.shoulder + elbowAndTool);
    return {weight - centrifugal - withShoulder * arm.shoulderAcceleration -
                withElbow * arm.elbowAcceleration,
            inertia};
}

ToolJoint ToolStep(ToolJoint tool, const ArmMotion& arm, const double pressureBar[4]) {
    constexpr double range = kToolRangeDegrees * std::numbers::pi / 180.0;
    const ToolLoad load = ArmLoadOnTool(arm, tool.angle);
    const double torque = MuscleTorque(pressureBar, tool.angle) + load.torque -
                          kToolDampingNewtonMetreSeconds * tool.rate;
    tool.rate += torque / load.inertia * kStepSeconds;
    tool.angle += tool.rate * kStepSeconds;
    if (std::fabs(tool.angle) >= range) {
        tool.angle = std::copysign(range, tool.angle);
        if (tool.rate * tool.angle > 0.0) {
            tool.rate = 0.0;
        }
    }
    return tool;
}

}  // namespace lab::plant
