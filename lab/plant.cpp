#include "lab/plant.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace lab::plant {

namespace {

constexpr double kPascalPerBar = 1e5;
constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;

// ---- Motors ----------------------------------------------------------------

// Friction a moving motor feels at `speedVolts`, beyond the viscous part.
double SlidingFriction(const AxisParameters& axis, double speedVolts) {
    const double ratio = speedVolts / kStribeckVolts;
    if (ratio * ratio > 40.0) {  // the Stribeck term is below 1e-17 of it
        return axis.coulombVolts;
    }
    return axis.coulombVolts + (axis.breakawayVolts - axis.coulombVolts) * std::exp(-ratio * ratio);
}

// ---- Valves and chambers ----------------------------------------------------

// Mass flow, kg/s, through a fully open port from `upstream` to
// `downstream` (absolute pressures, Pa), at the supply's temperature.
double PortFlow(double upstream, double downstream) {
    constexpr double b = kCriticalPressureRatio;
    constexpr double laminar = kLaminarPressureRatio;
    // The laminar branch joins the subsonic one at `laminar`.
    static const double laminarSlope =
        std::sqrt(1.0 - ((laminar - b) / (1.0 - b)) * ((laminar - b) / (1.0 - b))) /
        (1.0 - laminar);
    const double ratio = downstream / upstream;
    double phi = 1.0;  // choked
    if (ratio >= 1.0) {
        phi = 0.0;
    } else if (ratio > laminar) {
        phi = laminarSlope * (1.0 - ratio);
    } else if (ratio > b) {
        const double x = (ratio - b) / (1.0 - b);
        phi = std::sqrt(1.0 - x * x);
    }
    return kSonicConductance * kReferenceDensity * upstream * phi;
}

// ---- Muscle statics ------------------------------------------------------------

// Gauge pressure, kPa, at which a muscle at contraction e pulls with force
// f, and the largest force at which the law holds (where its tangent ends).
double LawPressure(double force, double e) {
    return kForceLawA0 +
           kForceLawA1 *
               std::tan(kForceLawA2 *
                        (e / (kForceLawA4 * force + kForceLawMaxContraction) + kForceLawA3)) +
           kForceLawA5 * force;
}
double LawForceLimit(double e) {
    const double limit =
        (e / (std::numbers::pi / (2.0 * kForceLawA2) - kForceLawA3) - kForceLawMaxContraction) /
        kForceLawA4;
    return std::min(limit, 20000.0);
}

// The static law solved for the force by bisection: the pressure grows
// with the force below the limit.
double SolveLawForce(double pressureKilopascal, double e) {
    if (pressureKilopascal <= LawPressure(0.0, e)) {
        return 0.0;
    }
    double low = 0.0;
    double high = LawForceLimit(e);
    for (int i = 0; i < 60; ++i) {
        const double middle = 0.5 * (low + high);
        (LawPressure(middle, e) > pressureKilopascal ? high : low) = middle;
    }
    return low;
}

// The law tabulated on a grid of pressures and contractions and read
// bilinearly: solving it costs some sixty tangents, a table read a few
// multiplications.
constexpr double kTableBarStep = 0.05;
constexpr int kTablePressures = 181;  // 0 to 9 bar
constexpr double kTableContractionLow = -0.05;
constexpr double kTableContractionStep = 0.0025;
constexpr int kTableContractions = 161;  // -5 % to 35 %

struct ForceTable {
    ForceTable() {
        for (int i = 0; i < kTablePressures; ++i) {
            for (int j = 0; j < kTableContractions; ++j) {
                force[i][j] = SolveLawForce(i * kTableBarStep * 100.0,
                                            kTableContractionLow + j * kTableContractionStep);
            }
        }
    }
    std::array<std::array<double, kTableContractions>, kTablePressures> force;
};

const ForceTable& Forces() {
    static const ForceTable table;
    return table;
}

}  // namespace

// Local statics in this file: the card layer's static constructors may step
// the plant before this file's own dynamic initialisation has run.

Motor MotorStep(const AxisParameters& axis, bool amplifierOn, double inputVolts,
                double gravityVolts, Motor motor) {
    constexpr double t = kMotorTimeConstantSeconds;
    constexpr double dt = kStepSeconds;
    constexpr double denominator = t + dt * (1.0 + kViscousFriction);
    const double input = amplifierOn ? inputVolts : 0.0;
    const double integral = amplifierOn ? motor.integral : 0.0;
    const double speed = motor.speed / axis.countsPerSecondPerVolt;
    // Everything but friction, implicitly in the speed; then friction takes
    // off what it can in one step, and holds the motor at rest when that
    // is all there is.
    const double free = (t * speed + dt * (input + integral - gravityVolts)) / denominator;
    const double friction =
        dt * (speed == 0.0 ? axis.breakawayVolts : SlidingFriction(axis, speed)) / denominator;
    double next = 0.0;
    if (std::fabs(free) > friction) {
        next = free - std::copysign(friction, free);
    }
    constexpr double step = kAccelerationLimitVoltsPerSecond * dt;
    next = std::clamp(next, speed - step, speed + step);
    motor.speed = next * axis.countsPerSecondPerVolt;
    motor.integral = amplifierOn
                         ? (integral + dt * kIntegralGain * (input - next) / kIntegralSeconds) /
                               (1.0 + dt / kIntegralSeconds)
                         : 0.0;
    return motor;
}

void MotorGravity(double shoulderRadians, double elbowRadians, double gravityVolts[3]) {
    // The links fall away from the vertical: towards larger shoulder angles
    // and, for the forearm, larger elbow angles; axis 2 counts against the
    // elbow angle.
    const double upperArm = std::sin(shoulderRadians);
    const double forearm = std::sin(shoulderRadians + elbowRadians);
    gravityVolts[0] = 0.0;
    gravityVolts[1] =
        -(kAxes[1].upperArmGravityVolts * upperArm + kAxes[1].forearmGravityVolts * forearm);
    gravityVolts[2] = kAxes[2].forearmGravityVolts * forearm;
}

double ValveSetPressure(double volts) {
    return std::clamp((volts - kValveDeadBandVolts) * kValveBarPerVolt, 0.0, kMaxSetBar);
}

double MuscleVolume(double contraction) {
    static const double sinBraid = std::sin(kBraidDegrees * kRadiansPerDegree);
    static const double cosBraid = std::cos(kBraidDegrees * kRadiansPerDegree);
    const double length = 1.0 - contraction;
    return std::numbers::pi * kBraidRadiusMetres * kBraidRadiusMetres * kMuscleRestLengthMetres *
               length * (1.0 - length * length * cosBraid * cosBraid) / (sinBraid * sinBraid) +
           kDeadVolumeCubicMetres;
}

double ChamberPressureStep(double pressureBar, double setBar, double volumeBefore, double volume,
                           bool sealed) {
    constexpr double atmosphere = kAtmosphereBar * kPascalPerBar;
    constexpr double supply = (kSupplyBar + kAtmosphereBar) * kPascalPerBar;
    double absolute = (pressureBar + kAtmosphereBar) * kPascalPerBar;
    // The volume work first: polytropic, exactly for a forced jump, to
    // first order for the small changes of one step.
    const double expansion = (volume - volumeBefore) / volume;
    if (std::fabs(expansion) > 1e-3) {
        absolute *= std::pow(volumeBefore / volume, kVolumeExponent);
    } else {
        absolute -= kVolumeExponent * absolute * expansion;
    }
    // The spool opens towards the supply below the set pressure, towards
    // the exhaust above it, fully beyond the regulator's band.
    const double gauge = absolute / kPascalPerBar - kAtmosphereBar;
    const double opening =
        sealed ? 0.0 : std::clamp((setBar - gauge) / kRegulatorBandBar, -1.0, 1.0);
    if (opening > 0.0) {
        absolute += kFillingExponent * kGasConstant * kAirKelvin * opening *
                    PortFlow(supply, absolute) * kStepSeconds / volume;
    } else if (opening < 0.0) {
        absolute += kVentingExponent * kGasConstant * kAirKelvin * opening *
                    PortFlow(absolute, atmosphere) * kStepSeconds / volume;
    }
    return absolute / kPascalPerBar - kAtmosphereBar;
}

double StaticMuscleForce(double pressureBar, double contraction) {
    const ForceTable& table = Forces();
    const double p = std::clamp(pressureBar / kTableBarStep, 0.0, kTablePressures - 1.000001);
    const double c = std::clamp((contraction - kTableContractionLow) / kTableContractionStep, 0.0,
                                kTableContractions - 1.000001);
    const int i = static_cast<int>(p);
    const int j = static_cast<int>(c);
    const double u = p - i;
    const double v = c - j;
    const auto& low = table.force[i];
    const auto& high = table.force[i + 1];
    return (1.0 - u) * ((1.0 - v) * low[j] + v * low[j + 1]) +
           u * ((1.0 - v) * high[j] + v * high[j + 1]);
}

void TrackSetPressure(MuscleMemory& memory, double setBar) {
    if (setBar > memory.setReference + kDirectionPlayBar) {
        memory.setReference = setBar - kDirectionPlayBar;
        memory.inflating = true;
    } else if (setBar < memory.setReference - kDirectionPlayBar) {
        memory.setReference = setBar + kDirectionPlayBar;
        memory.inflating = false;
    }
}

double SlipForce(const MuscleMemory& memory) {
    double force = 0.0;
    for (int i = 0; i < kSlipElements; ++i) {
        force += kSlipStiffnessNewtonsPerMetre[i] * memory.slip[i];
    }
    return force;
}

void SlipStep(MuscleMemory& memory, double contractionMetres, double pressureBar) {
    const double bar = std::max(pressureBar, 0.0);
    for (int i = 0; i < kSlipElements; ++i) {
        const double k = kSlipStiffnessNewtonsPerMetre[i];
        memory.slip[i] = std::clamp(memory.slip[i] + contractionMetres,
                                    -kSlipStretchingNewtonsPerBar[i] * bar / k,
                                    kSlipContractingNewtonsPerBar[i] * bar / k);
    }
}

double MusclePull(const MuscleMemory& memory, double pressureBar, double contraction,
                  double contractionRate) {
    const double damping = memory.inflating ? kInflatingDampingNewtonSecondsPerMetre
                                            : kDeflatingDampingNewtonSecondsPerMetre;
    const double pull = StaticMuscleForce(pressureBar, contraction) - SlipForce(memory) -
                        damping * contractionRate * kMuscleRestLengthMetres;
    return std::max(0.0, pull);  // a muscle pulls or goes slack, it never pushes
}

double MuscleContraction(int muscle, double toolRadians) {
    return kMountingContraction + ContractionPerRadian(muscle) * toolRadians;
}

double ContractionPerRadian(int muscle) {
    return kMusclePullSign[muscle] * kPulleyRadiusMetres / kMuscleRestLengthMetres;
}

double MuscleTorque(const MuscleMemory memory[4], const double pressureBar[4], double toolRadians,
                    double toolRate) {
    double torque = 0.0;
    for (int muscle = 0; muscle < 4; ++muscle) {
        const double perRadian = ContractionPerRadian(muscle);
        const double pull =
            MusclePull(memory[muscle], pressureBar[muscle], MuscleContraction(muscle, toolRadians),
                       perRadian * toolRate);
        torque += kMusclePullSign[muscle] * kPulleyRadiusMetres * pull;
    }
    return torque;
}

ToolLoad ArmLoadOnTool(const ToolMass& tool, const ArmMotion& arm, double toolRadians) {
    const double mc = tool.kilograms * tool.centreMetres;
    const double inertia = kToolInertiaKilogramSquareMetres + mc * tool.centreMetres;
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

ToolJoint ToolStep(ToolJoint joint, const ToolMass& tool, const ArmMotion& arm,
                   double muscleTorque) {
    constexpr double range = kToolRangeDegrees * kRadiansPerDegree;
    const ToolLoad load = ArmLoadOnTool(tool, arm, joint.angle);
    const double torque = muscleTorque + load.torque - kToolDampingNewtonMetreSeconds * joint.rate;
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
