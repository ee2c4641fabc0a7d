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

Model::Model(const Parameters& given)
    : parameters(given),
      motorStepFraction(StepFraction(given.motorTimeConstantSeconds)),
      fillStepFraction(StepFraction(given.fillTimeConstantSeconds)),
      ventStepFraction(StepFraction(given.ventTimeConstantSeconds)) {}

double MotorSpeedStep(const Model& model, const AxisParameters& axis, double inputVolts,
                      double speed) {
    const double fraction = model.motorStepFraction;
    const double magnitude = std::fabs(inputVolts);
    double target = 0.0;
    if (speed != 0.0 || magnitude > axis.breakawayVolts) {
        target = std::copysign(std::max(0.0, magnitude - axis.frictionVolts), inputVolts) *
                 axis.countsPerSecondPerVolt;
    }
    speed += (target - speed) * fraction;
    if (target == 0.0 && std::fabs(speed) < model.parameters.standstillCountsPerSecond) {
        speed = 0.0;
    }
    return speed;
}

double ValvePressure(const Model& model, double volts) {
    const Parameters& p = model.parameters;
    return std::clamp((volts - p.valveDeadBandVolts) * p.valveBarPerVolt, 0.0, p.supplyBar);
}

double MusclePressureStep(const Model& model, double pressureBar, double valveVolts) {
    const double target = ValvePressure(model, valveVolts);
    return pressureBar + (target - pressureBar) * (target > pressureBar ? model.fillStepFraction
                                                                        : model.ventStepFraction);
}

double MuscleForce(const Model& model, double pressureBar, double contraction) {
    const Parameters& p = model.parameters;
    const double length = 1.0 - contraction;  // relative to the rest length
    const double force = pressureBar * kPascalPerBar * p.muscleAreaSquareMetres *
                         (p.muscleA * length * length - p.muscleB);
    return std::max(0.0, force);  // a muscle pulls or goes slack, it never pushes
}

double MuscleTorque(const Model& model, const double pressureBar[4], double toolRadians) {
    const Parameters& p = model.parameters;
    const double shortening = p.pulleyRadiusMetres * toolRadians / p.muscleRestLengthMetres;
    double torque = 0.0;
    for (int muscle = 0; muscle < 4; ++muscle) {
        const double sign = kMusclePullSign[muscle];
        const double contraction = p.mountingContraction + sign * shortening;
        torque +=
            sign * p.pulleyRadiusMetres * MuscleForce(model, pressureBar[muscle], contraction);
    }
    return torque;
}

ToolLoad ArmLoadOnTool(const Model& model, const ArmMotion& arm, double toolRadians) {
    const Parameters& p = model.parameters;
    const double mc = p.toolMassKilograms * p.toolCentreMetres;
    const double inertia = p.toolInertiaKilogramSquareMetres + mc * p.toolCentreMetres;
    const double cosTool = std::cos(toolRadians);
    const double sinTool = std::sin(toolRadians);
    const double elbowAndTool = arm.elbow + toolRadians;
    const double cosElbowAndTool = std::cos(elbowAndTool);
    const double sinElbowAndTool = std::sin(elbowAndTool);
    // The tool link's row of the shoulder-elbow-tool arm's equations of
    // motion: the inertia it shares with the shoulder and with the elbow,
    // the centrifugal and Coriolis terms, its weight.
    const double withShoulder =
        inertia + mc * (p.upperArmMetres * cosElbowAndTool + p.forearmMetres * cosTool);
    const double withElbow = inertia + mc * p.forearmMetres * cosTool;
    const double forearmRate = arm.shoulderRate + arm.elbowRate;
    const double centrifugal =
        mc * (p.upperArmMetres * sinElbowAndTool * arm.shoulderRate * arm.shoulderRate +
              p.forearmMetres * sinTool * forearmRate * forearmRate);
    const double weight =
        mc * p.gravityMetresPerSecondSquared * std::sin(arm.shoulder + elbowAndTool);
    return {weight - centrifugal - withShoulder * arm.shoulderAcceleration -
                withElbow * arm.elbowAcceleration,
            inertia};
}

ToolJoint ToolStep(const Model& model, ToolJoint tool, const ArmMotion& arm,
                   const double pressureBar[4]) {
    const Parameters& p = model.parameters;
    const double range = p.toolRangeDegrees * std::numbers::pi / 180.0;
    const ToolLoad load = ArmLoadOnTool(model, arm, tool.angle);
    const double torque = MuscleTorque(model, pressureBar, tool.angle) + load.torque -
                          p.toolDampingNewtonMetreSeconds * tool.rate;
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
