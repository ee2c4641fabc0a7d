#include "lab/plant.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lab::plant {

namespace {

constexpr double kPascalPerBar = 1e5;
constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;
// 1 dm^3/(s bar) of sonic conductance in m^3/(s Pa).
constexpr double kConductancePerUnit = 1e-8;

// ---- Motors ----------------------------------------------------------------

// Friction a moving motor feels at `speedVolts`, beyond the viscous part.
double SlidingFriction(const Parameters& p, const AxisParameters& axis, double speedVolts) {
    const double ratio = speedVolts / p.stribeckVolts;
    if (ratio * ratio > 40.0) {  // the Stribeck term is below 1e-17 of it
        return axis.coulombVolts;
    }
    return axis.coulombVolts + (axis.breakawayVolts - axis.coulombVolts) * std::exp(-ratio * ratio);
}

// ---- Valves ------------------------------------------------------------------

// Mass flow, kg/s, through a fully open port from `upstream` to
// `downstream` (absolute pressures, Pa), at the supply's temperature.
double PortFlow(const Parameters& p, double upstream, double downstream) {
    const double b = p.criticalPressureRatio;
    const double laminar = p.laminarPressureRatio;
    const double ratio = downstream / upstream;
    double phi = 1.0;  // choked
    if (ratio >= 1.0) {
        phi = 0.0;
    } else if (ratio > laminar) {
        // The laminar branch, a straight line that meets the subsonic one.
        const double x = (laminar - b) / (1.0 - b);
        phi = std::sqrt(1.0 - x * x) * (1.0 - ratio) / (1.0 - laminar);
    } else if (ratio > b) {
        const double x = (ratio - b) / (1.0 - b);
        phi = std::sqrt(1.0 - x * x);
    }
    return p.sonicConductance * kConductancePerUnit * kReferenceDensity * upstream * phi;
}

// ---- Muscle statics ------------------------------------------------------------

// Gauge pressure, kPa, at which a muscle at contraction e pulls with force f.
double LawPressure(const Parameters& p, double force, double e) {
    return p.forceLawA0 +
           p.forceLawA1 *
               std::tan(p.forceLawA2 *
                        (e / (p.forceLawA4 * force + p.forceLawMaxContraction) + p.forceLawA3)) +
           p.forceLawA5 * force;
}

// The largest force at which the law holds: where its tangent ends.
double LawForceLimit(const Parameters& p, double e) {
    const double limit =
        (e / (std::numbers::pi / (2.0 * p.forceLawA2) - p.forceLawA3) - p.forceLawMaxContraction) /
        p.forceLawA4;
    return std::clamp(limit, 0.0, 20000.0);
}

// The law solved for the force by bisection: below its limit the pressure
// grows with the force; below the threshold P(0) the muscle is slack.
double SolveLawForce(const Parameters& p, double pressureKilopascal, double e) {
    if (pressureKilopascal <= LawPressure(p, 0.0, e)) {
        return 0.0;
    }
    double low = 0.0;
    double high = LawForceLimit(p, e);
    for (int i = 0; i < 50; ++i) {
        const double middle = 0.5 * (low + high);
        (LawPressure(p, middle, e) > pressureKilopascal ? high : low) = middle;
    }
    return low;
}

}  // namespace

Model::Model(const Parameters& given)
    : parameters(given),
      sinBraid(std::sin(given.braidDegrees * kRadiansPerDegree)),
      cosBraid(std::cos(given.braidDegrees * kRadiansPerDegree)),
      slipRelaxation(std::exp(-kStepSeconds / given.braidRelaxationSeconds)),
      force() {
    for (int i = 0; i < kForceTablePressures; ++i) {
        for (int j = 0; j < kForceTableContractions; ++j) {
            force[i][j] = static_cast<float>(
                SolveLawForce(given, i * kForceTableBarStep * 100.0,
                              kForceTableContractionLow + j * kForceTableContractionStep));
        }
    }
}

Motor MotorStep(const Model& model, const AxisParameters& axis, bool amplifierOn, double inputVolts,
                double gravityVolts, Motor motor) {
    const Parameters& p = model.parameters;
    const double t = p.motorTimeConstantSeconds;
    constexpr double dt = kStepSeconds;
    const double denominator = t + dt * (1.0 + p.viscousFriction);
    const double input = amplifierOn ? inputVolts : 0.0;
    const double integral = amplifierOn ? motor.integral : 0.0;
    const double speed = motor.speed / axis.countsPerSecondPerVolt;
    // Everything but friction, implicitly in the speed; then friction takes
    // off what it can in one step, and holds the motor at rest when that
    // is all there is.
    const double free = (t * speed + dt * (input + integral - gravityVolts)) / denominator;
    const double friction =
        dt * (speed == 0.0 ? axis.breakawayVolts : SlidingFriction(p, axis, speed)) / denominator;
    double next = 0.0;
    if (std::fabs(free) > friction) {
        next = free - std::copysign(friction, free);
    }
    const double step = p.accelerationLimitVoltsPerSecond * dt;
    next = std::clamp(next, speed - step, speed + step);
    motor.speed = next * axis.countsPerSecondPerVolt;
    motor.integral = amplifierOn
                         ? (integral + dt * p.integralGain * (input - next) / p.integralSeconds) /
                               (1.0 + dt / p.integralSeconds)
                         : 0.0;
    return motor;
}

void MotorGravity(const Model& model, double shoulderRadians, double elbowRadians,
                  double gravityVolts[3]) {
    const AxisParameters* axes = model.parameters.axes;
    // The links fall away from the vertical: towards larger shoulder angles
    // and, for the forearm, larger elbow angles; axis 2 counts against the
    // elbow angle.
    const double upperArm = std::sin(shoulderRadians);
    const double forearm = std::sin(shoulderRadians + elbowRadians);
    gravityVolts[0] = 0.0;
    gravityVolts[1] =
        -(axes[1].upperArmGravityVolts * upperArm + axes[1].forearmGravityVolts * forearm);
    gravityVolts[2] = axes[2].forearmGravityVolts * forearm;
}

double ValveSetPressure(const Model& model, double volts) {
    const Parameters& p = model.parameters;
    return std::clamp((volts - p.valveDeadBandVolts) * p.valveBarPerVolt, 0.0, p.maxSetBar);
}

double MuscleVolume(const Model& model, double contraction) {
    const Parameters& p = model.parameters;
    const double length = 1.0 - contraction;
    return std::numbers::pi * p.braidRadiusMetres * p.braidRadiusMetres * p.muscleRestLengthMetres *
               length * (1.0 - length * length * model.cosBraid * model.cosBraid) /
               (model.sinBraid * model.sinBraid) +
           p.deadVolumeCubicMetres;
}

double ChamberPressureStep(const Model& model, double pressureBar, double setBar,
                           double volumeBefore, double volume, bool sealed) {
    const Parameters& p = model.parameters;
    const double atmosphere = kAtmosphereBar * kPascalPerBar;
    const double supply = (p.supplyBar + kAtmosphereBar) * kPascalPerBar;
    double absolute = (pressureBar + kAtmosphereBar) * kPascalPerBar;
    // The volume work first: polytropic, exactly for a forced jump, to
    // first order for the small changes of one step.
    const double expansion = (volume - volumeBefore) / volume;
    if (std::fabs(expansion) > 1e-3) {
        absolute *= std::pow(volumeBefore / volume, p.volumeExponent);
    } else {
        absolute -= p.volumeExponent * absolute * expansion;
    }
    // The spool opens towards the supply below the set pressure, towards
    // the exhaust above it, fully beyond the regulator's band.
    const double gauge = absolute / kPascalPerBar - kAtmosphereBar;
    const double opening =
        sealed ? 0.0 : std::clamp((setBar - gauge) / p.regulatorBandBar, -1.0, 1.0);
    const double perKilogram = kGasConstant * p.airKelvin * kStepSeconds / volume;
    if (opening > 0.0) {
        absolute += p.fillingExponent * perKilogram * opening * PortFlow(p, supply, absolute);
    } else if (opening < 0.0) {
        absolute += p.ventingExponent * perKilogram * opening * PortFlow(p, absolute, atmosphere);
    }
    return absolute / kPascalPerBar - kAtmosphereBar;
}

double StaticMuscleForce(const Model& model, double pressureBar, double contraction) {
    const double u = std::clamp(pressureBar / kForceTableBarStep, 0.0,
                                static_cast<double>(kForceTablePressures - 1) - 1e-9);
    const double v =
        std::clamp((contraction - kForceTableContractionLow) / kForceTableContractionStep, 0.0,
                   static_cast<double>(kForceTableContractions - 1) - 1e-9);
    const int i = static_cast<int>(u);
    const int j = static_cast<int>(v);
    const double du = u - i;
    const double dv = v - j;
    const auto& low = model.force[i];
    const auto& high = model.force[i + 1];
    return (1.0 - du) * ((1.0 - dv) * low[j] + dv * low[j + 1]) +
           du * ((1.0 - dv) * high[j] + dv * high[j + 1]);
}

void TrackSetPressure(const Model& model, MuscleMemory& memory, double setBar) {
    memory.heldSeconds = setBar == memory.setBar ? memory.heldSeconds + kStepSeconds : 0.0;
    memory.setBar = setBar;
    const double play = model.parameters.directionPlayBar;
    if (setBar > memory.setReference + play) {
        memory.setReference = setBar - play;
        memory.inflating = true;
    } else if (setBar < memory.setReference - play) {
        memory.setReference = setBar + play;
        memory.inflating = false;
    }
}

double SlipForce(const Model& model, const MuscleMemory& memory) {
    double force = 0.0;
    for (int i = 0; i < kSlipElements; ++i) {
        force += model.parameters.slipStiffnessNewtonsPerMetre[i] * memory.slip[i];
    }
    return force;
}

void SlipStep(const Model& model, MuscleMemory& memory, double contractionMetres,
              double pressureBar) {
    const Parameters& p = model.parameters;
    const double bar = std::max(pressureBar, 0.0);
    const double kept = memory.heldSeconds >= p.braidSettleSeconds ? model.slipRelaxation : 1.0;
    for (int i = 0; i < kSlipElements; ++i) {
        const double k = p.slipStiffnessNewtonsPerMetre[i];
        memory.slip[i] = kept * std::clamp(memory.slip[i] + contractionMetres,
                                           -p.slipStretchingNewtonsPerBar[i] * bar / k,
                                           p.slipContractingNewtonsPerBar[i] * bar / k);
    }
}

double MusclePull(const Model& model, const MuscleMemory& memory, double pressureBar,
                  double contraction, double contractionRate) {
    const Parameters& p = model.parameters;
    const double damping = memory.inflating ? p.inflatingDampingNewtonSecondsPerMetre
                                            : p.deflatingDampingNewtonSecondsPerMetre;
    const double pull = StaticMuscleForce(model, pressureBar, contraction) -
                        SlipForce(model, memory) -
                        damping * contractionRate * p.muscleRestLengthMetres;
    return std::max(0.0, pull);  // a muscle pulls or goes slack, it never pushes
}

double MuscleContraction(const Model& model, int muscle, double toolRadians) {
    return model.parameters.mountingContraction + ContractionPerRadian(model, muscle) * toolRadians;
}

double ContractionPerRadian(const Model& model, int muscle) {
    return kMusclePullSign[muscle] * model.parameters.pulleyRadiusMetres /
           model.parameters.muscleRestLengthMetres;
}

double MuscleTorque(const Model& model, const MuscleMemory memory[4], const double pressureBar[4],
                    double toolRadians, double toolRate) {
    double torque = 0.0;
    for (int muscle = 0; muscle < 4; ++muscle) {
        const double perRadian = ContractionPerRadian(model, muscle);
        const double pull =
            MusclePull(model, memory[muscle], pressureBar[muscle],
                       MuscleContraction(model, muscle, toolRadians), perRadian * toolRate);
        torque += kMusclePullSign[muscle] * model.parameters.pulleyRadiusMetres * pull;
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

double StaticRestAngle(const Model& model, const double pressureBar[4]) {
    const ArmMotion home = {kShoulderHomeDegrees * kRadiansPerDegree, 0.0, 0.0,
                            kElbowHomeDegrees * kRadiansPerDegree,    0.0, 0.0};
    // The torque turning the joint positive falls as it turns: bisection.
    const auto torque = [&](double angle) {
        double muscles = 0.0;
        for (int m = 0; m < 4; ++m) {
            muscles += kMusclePullSign[m] * model.parameters.pulleyRadiusMetres *
                       StaticMuscleForce(model, pressureBar[m], MuscleContraction(model, m, angle));
        }
        return muscles + ArmLoadOnTool(model, home, angle).torque;
    };
    double low = -model.parameters.toolRangeDegrees * kRadiansPerDegree;
    double high = -low;
    for (int i = 0; i < 60; ++i) {
        const double middle = 0.5 * (low + high);
        (torque(middle) > 0.0 ? low : high) = middle;
    }
    return 0.5 * (low + high);
}

ToolJoint ToolStep(const Model& model, ToolJoint joint, const ArmMotion& arm, double muscleTorque) {
    const Parameters& p = model.parameters;
    const double range = p.toolRangeDegrees * kRadiansPerDegree;
    const ToolLoad load = ArmLoadOnTool(model, arm, joint.angle);
    const double torque = muscleTorque + load.torque - p.toolDampingNewtonMetreSeconds * joint.rate;
    joint.rate += torque / load.inertia * kStepSeconds;
    joint.angle += joint.rate * kStepSeconds;
    if (std::fabs(joint.angle) >= range) {
        joint.angle = std::copysign(range, joint.angle);
        if (joint.rate * joint.angle > 0.0) {
            joint.rate = 0.0;
        }
    }
    return joint;
}

}  // namespace lab::plant
