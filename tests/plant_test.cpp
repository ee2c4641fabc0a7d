// The physics of the simulated arm, seen through the card layers: the tool
// joint pushed by the arm's motion and its weight, the valves' dead band,
// saturation and lags, the motors' residual offsets and friction, and a
// joint that never gains energy.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <vector>

#include "cards/daq_card.h"
#include "cards/motion_card.h"
#include "lab/lab.h"
#include "lab/plant_parameters.h"
#include "platform/clock.h"
#include "platform/stdio_file.h"
#include "tests/lab_session.h"
#include "trajectory/trajectory.h"

namespace {

namespace plant = lab::plant;

constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;

using PlantTest = LabSessionTest;

// The valves at the homing references, settled as after muscle homing.
void HoldHomingReferences() {
    ValveVoltages[0] = 5.0f;
    ValveVoltages[1] = 5.6f;
    ValveVoltages[2] = 5.6f;
    ValveVoltages[3] = 5.0f;
    WriteValveVoltages(ValveVoltages);
    Sleep(2000);
}

// Desired velocities (counts per ms of axes 0, 1, 2) of the standard sine
// trajectory: amplitude 100 mm, 0.5 Hz.
std::vector<std::array<float, 3>> SineTrajectoryVelocities() {
    std::filesystem::create_directories("NeuralFiles");
    int sine = 1, ramp = 0, step = 0;
    float amplitude = 100.0f, frequency = 0.5f;
    EXPECT_TRUE(GenerateTrajectory(&sine, &ramp, &step, &amplitude, &frequency));
    std::vector<std::array<float, 3>> rows;
    const platform::StdioFile file(std::fopen(kVelocityTrajectoryFile, "r"));
    std::array<float, 3> row;
    while (file && std::fscanf(file.get(), "%f\t\t%f\t\t%f\n", &row[0], &row[1], &row[2]) == 3) {
        rows.push_back(row);
    }
    EXPECT_EQ(rows.size(), 1331u);
    return rows;
}

// Largest departure of the tool joint from `rest`, degrees, over a run in
// which the motors follow `velocities` as ideal link networks would.
double LargestToolDeparture(const std::vector<std::array<float, 3>>& velocities, double rest) {
    for (int axis = 0; axis < 3; ++axis) {
        MotorAxes[axis].ServoOn();
    }
    double largest = 0.0;
    for (const auto& row : velocities) {
        for (int axis = 0; axis < 3; ++axis) {
            // Counts per ms to volts; the elbow's card output is inverted, as
            // its count is.
            MotorAxes[axis].SetVoltage(static_cast<float>(
                row[axis] * 1000.0 / plant::BuiltIn().axes[axis].countsPerSecondPerVolt));
        }
        for (int ms = 0; ms < 20; ms += 2) {
            Sleep(2);
            largest = std::max(largest, std::fabs(lab::TakeSnapshot().toolDegrees - rest));
        }
    }
    return largest;
}

TEST_F(PlantTest, ArmMotionAndWeightPushTheToolJointOffItsRestAngle) {
    HoldHomingReferences();
    const lab::Snapshot home = lab::TakeSnapshot();
    // The homing references hold the tool level against its weight.
    EXPECT_NEAR(home.toolDegrees, 0.0, 1.0);
    EXPECT_NEAR(home.toolDegreesPerSecond, 0.0, 1e-3);

    // Its weight alone: at rest at the sine's top pose (tool point 100 mm
    // up) the forearm leans 14.7 degrees further, the tool's weight pulls
    // less and the muscles turn it up by about half a degree.
    lab::SetArmPose({0.0, 16.716, 87.989, home.toolDegrees});
    Sleep(2000);
    const double weightOnly = lab::TakeSnapshot().toolDegrees - home.toolDegrees;
    EXPECT_LT(weightOnly, -0.3);
    EXPECT_GT(weightOnly, -1.0);

    // Moving along the sine, the arm's accelerations throw it about by
    // several degrees (between -4.6 and +2.3 around its rest angle, up to
    // 5.9 while the motion starts).
    lab::SetArmPose({0.0, 15.0, 75.0, home.toolDegrees});
    Sleep(2000);
    const double moving = LargestToolDeparture(SineTrajectoryVelocities(), home.toolDegrees);
    EXPECT_GT(moving, 4.0);
    EXPECT_LT(moving, 8.0);
}

TEST_F(PlantTest, AJointThatStartsTurningLeavesTheToolBehind) {
    // A positive command turns the shoulder and (counting against it) the
    // elbow towards larger angles; the tool lags, to negative angles.
    for (const int axis : {1, 2}) {
        SCOPED_TRACE(testing::Message() << "axis " << axis);
        lab::SetArmPose({});
        HoldHomingReferences();
        const double rest = lab::TakeSnapshot().toolDegrees;
        MotorAxes[axis].ServoOn();
        MotorAxes[axis].SetVoltage(0.5f);
        double lowest = 0.0;
        double highest = 0.0;
        for (int ms = 0; ms < 150; ++ms) {
            Sleep(1);
            const double departure = lab::TakeSnapshot().toolDegrees - rest;
            lowest = std::min(lowest, departure);
            highest = std::max(highest, departure);
        }
        MotorAxes[axis].ServoOff();
        EXPECT_LT(lowest, -0.5);
        EXPECT_LT(highest, 0.05);
    }
}

// Pressure of muscle 1 as the card reads it.
double MuscleOnePressure() {
    float pressures[12];
    ReadPressures(pressures);
    return pressures[0];
}

// Milliseconds until muscle 1's pressure first crosses `level`, polled every ms.
int MillisecondsUntilPressureCrosses(double level, bool rising) {
    for (int ms = 0; ms < 5000; ++ms) {
        const double now = MuscleOnePressure();
        if (rising ? now >= level : now <= level) {
            return ms;
        }
        Sleep(1);
    }
    return -1;
}

void SetMuscleOneValve(float volts) {
    float valves[4] = {volts, 0.0f, 0.0f, 0.0f};
    WriteValveVoltages(valves);
}

TEST_F(PlantTest, ValveStepsShowDeadBandSaturationAndFasterFillingThanVenting) {
    // Static characteristic: nothing inside the dead band, linear above it,
    // the supply pressure at the top.
    const struct {
        float volts;
        double bar;
    } levels[] = {{0.0f, 0.0},  {0.3f, 0.0}, {1.0f, 0.52}, {4.0f, 2.92},
                  {7.0f, 5.32}, {7.5f, 5.5}, {8.0f, 5.5}};
    for (const auto& level : levels) {
        SetMuscleOneValve(level.volts);
        Sleep(3000);
        EXPECT_NEAR(MuscleOnePressure(), level.bar, 1e-4) << level.volts << " V";
    }

    // A step up fills with the fill time constant, a step down vents with
    // the longer vent time constant: 63 % of the step after one of each.
    SetMuscleOneValve(0.0f);
    Sleep(3000);
    SetMuscleOneValve(4.0f);
    const int fill = MillisecondsUntilPressureCrosses(2.92 * (1 - std::exp(-1.0)), true);
    Sleep(3000);
    SetMuscleOneValve(0.0f);
    const int vent = MillisecondsUntilPressureCrosses(2.92 * std::exp(-1.0), false);
    EXPECT_NEAR(fill, plant::BuiltIn().fillTimeConstantSeconds * 1000, 1.5);
    EXPECT_NEAR(vent, plant::BuiltIn().ventTimeConstantSeconds * 1000, 1.5);
}

TEST_F(PlantTest, ValveRampIsFollowedOneTimeConstantLate) {
    // A ramp of 2 V/s (1.6 bar/s), updated every millisecond: the pressure
    // trails the valve's static pressure by the fill time constant rising
    // and by the vent time constant falling, 2.5 and 6 control samples.
    const auto lagAfterRamp = [&](double from, double to) {
        SetMuscleOneValve(static_cast<float>(from));
        Sleep(3000);
        const double slope = to > from ? 2.0 : -2.0;  // volts per second
        const std::int64_t start = platform::NowNanoseconds();
        const auto volts = [&] {
            return from + slope * static_cast<double>(platform::NowNanoseconds() - start) * 1e-9;
        };
        while ((volts() - to) * slope < 0.0) {  // 1 s: eight vent time constants
            SetMuscleOneValve(static_cast<float>(volts()));
            Sleep(1);
        }
        const double pressure = MuscleOnePressure();
        const double target =
            (volts() - plant::BuiltIn().valveDeadBandVolts) * plant::BuiltIn().valveBarPerVolt;
        return (target - pressure) / (slope * plant::BuiltIn().valveBarPerVolt);
    };
    EXPECT_NEAR(lagAfterRamp(2.0, 4.0), plant::BuiltIn().fillTimeConstantSeconds, 0.002);
    EXPECT_NEAR(lagAfterRamp(6.0, 4.0), plant::BuiltIn().ventTimeConstantSeconds, 0.002);
}

TEST_F(PlantTest, EachMuscleTurnsTheJointItsWayAndTheSumAngleStaysZero) {
    HoldHomingReferences();
    EP_ClearENCCounter(3, 1);
    EP_ClearENCCounter(4, 1);
    // One volt more on muscle 1 or 4 turns the joint positive, on 2 or 3
    // negative; the pair's pulls add.
    const float raise[4][4] = {{6.0f, 5.6f, 5.6f, 5.0f},
                               {5.0f, 6.6f, 5.6f, 5.0f},
                               {5.0f, 5.6f, 6.6f, 5.0f},
                               {5.0f, 5.6f, 5.6f, 6.0f}};
    const double sign[4] = {1.0, -1.0, -1.0, 1.0};
    float angles[5];
    float turned[4];
    for (int muscle = 0; muscle < 4; ++muscle) {
        float valves[4];
        std::copy(raise[muscle], raise[muscle] + 4, valves);
        WriteValveVoltages(valves);
        Sleep(2000);
        ReadJointAngles(angles);
        turned[muscle] = angles[3];
        EXPECT_GT(angles[3] * sign[muscle], 3.0) << "muscle " << muscle + 1;
        EXPECT_LT(angles[3] * sign[muscle], 25.0) << "muscle " << muscle + 1;
        EXPECT_EQ(angles[4], 0.0f);
    }
    float pair[4] = {6.0f, 5.6f, 5.6f, 6.0f};
    WriteValveVoltages(pair);
    Sleep(2000);
    ReadJointAngles(angles);
    EXPECT_GT(angles[3], 1.6 * turned[0]);
}

// The offset calibration's rule: once a second, each motor's command moves
// against the counts it crept by, until every axis has stood still for a
// second.
TEST_F(PlantTest, OffsetCalibrationRuleFindsTheResidualOffsetsWithinAMillivolt) {
    for (int axis = 0; axis < 3; ++axis) {
        MotorAxes[axis].ServoOn();
    }
    float u[3] = {0.0f, 0.0f, 0.0f};
    const float gain[3] = {10.0f, 10.0f, 8.0f};
    std::int32_t previous[3] = {0, 0, 0};
    bool still[3] = {false, false, false};
    float dacAtZero[3];
    for (int axis = 0; axis < 3; ++axis) {
        MotorAxes[axis].SetVoltage(u[axis]);
        dacAtZero[axis] = lab::TakeSnapshot().dacOutput[axis];
    }
    int seconds = 0;
    while (CheckEmergencyStop() == 1 && CheckLimitSwitches() == 1 &&
           !(still[0] && still[1] && still[2]) && seconds < 600) {
        Sleep(1000);
        ++seconds;
        ReadEncoderCounts();
        for (int axis = 0; axis < 3; ++axis) {
            const std::int32_t moved = EncoderCounts[axis] - previous[axis];
            previous[axis] = EncoderCounts[axis];
            u[axis] += static_cast<float>(moved) * -0.0001f / gain[axis];
            MotorAxes[axis].SetVoltage(u[axis]);
            still[axis] = still[axis] || moved == 0;
        }
    }
    EXPECT_LT(seconds, 600);
    const lab::Snapshot now = lab::TakeSnapshot();
    for (int axis = 0; axis < 3; ++axis) {
        SCOPED_TRACE(testing::Message() << "axis " << axis);
        // The motor stands at a DAC output of minus its amplifier's offset;
        // the card's own correction left more than a millivolt to find.
        const double offset = plant::BuiltIn().axes[axis].amplifierOffsetVolts();
        EXPECT_NEAR(now.dacOutput[axis], -offset, 0.001);
        EXPECT_GT(std::fabs(dacAtZero[axis] + offset), 0.001);
    }
}

TEST_F(PlantTest, MotorsCreepOnTheirResidualOffsetsAndStickBelowBreakaway) {
    for (int axis = 0; axis < 3; ++axis) {
        SCOPED_TRACE(testing::Message() << "axis " << axis);
        const plant::AxisParameters& p = plant::BuiltIn().axes[axis];
        MotorAxes[axis].ServoOn();
        const auto speedAt = [&](double inputVolts) {
            EP_SetDACOutput(static_cast<float>(inputVolts - p.amplifierOffsetVolts()),
                            static_cast<short>(axis), 1);
            Sleep(500);
            const double before = lab::TakeSnapshot().axisPosition[axis];
            Sleep(1000);
            return lab::TakeSnapshot().axisPosition[axis] - before;
        };
        // At rest, an input below the breakaway voltage does not move it.
        EXPECT_EQ(speedAt(0.0), 0.0);
        EXPECT_EQ(speedAt(0.9 * p.breakawayVolts), 0.0);
        EXPECT_EQ(speedAt(-0.9 * p.breakawayVolts), 0.0);
        // Above it, it runs at its gain times the input less friction...
        const double running = 2 * p.breakawayVolts;
        EXPECT_NEAR(speedAt(running), p.countsPerSecondPerVolt * (running - p.frictionVolts), 0.05);
        // ...and keeps running below the breakaway voltage, down to friction.
        const double slower = 0.5 * (p.breakawayVolts + p.frictionVolts);
        EXPECT_NEAR(speedAt(slower), p.countsPerSecondPerVolt * (slower - p.frictionVolts), 0.05);
        EXPECT_EQ(speedAt(0.9 * p.frictionVolts), 0.0);
        // The card's zero command leaves the residual offset: the motor creeps,
        // unless the residual offsets are zeroed.
        MotorAxes[axis].SetVoltage(0.0f);
        Sleep(1000);
        EXPECT_NE(lab::TakeSnapshot().axisVelocity[axis], 0.0);
        lab::ZeroResidualOffsets(true);
        Sleep(100);
        const double stopped = lab::TakeSnapshot().axisPosition[axis];
        Sleep(1000);
        EXPECT_EQ(lab::TakeSnapshot().axisPosition[axis], stopped);
        lab::ZeroResidualOffsets(false);
    }
}

// Energy of the tool joint with the shoulder and elbow at rest at the home
// pose and the muscle pressures constant, joules: kinetic energy, the work
// the muscles can still do as they contract, and the tool's height.
double ToolEnergy(const lab::Snapshot& state) {
    const double angle = state.toolDegrees * kRadiansPerDegree;
    const double rate = state.toolDegreesPerSecond * kRadiansPerDegree;
    const double inertia = plant::BuiltIn().toolInertiaKilogramSquareMetres +
                           plant::BuiltIn().toolMassKilograms * plant::BuiltIn().toolCentreMetres *
                               plant::BuiltIn().toolCentreMetres;
    double energy = 0.5 * inertia * rate * rate;
    for (int muscle = 0; muscle < 4; ++muscle) {
        // Pull P A (a u^2 - b) over the length u L: potential P A L (a u^3 / 3 - b u).
        const double length = 1.0 - plant::BuiltIn().mountingContraction -
                              plant::kMusclePullSign[muscle] * plant::BuiltIn().pulleyRadiusMetres *
                                  angle / plant::BuiltIn().muscleRestLengthMetres;
        energy += state.pressureBar[muscle] * 1e5 * plant::BuiltIn().muscleAreaSquareMetres *
                  plant::BuiltIn().muscleRestLengthMetres *
                  (plant::BuiltIn().muscleA * length * length * length / 3 -
                   plant::BuiltIn().muscleB * length);
    }
    const double fromVertical = (15.0 + 75.0) * kRadiansPerDegree + angle;
    return energy + plant::BuiltIn().toolMassKilograms *
                        plant::BuiltIn().gravityMetresPerSecondSquared *
                        plant::BuiltIn().toolCentreMetres * std::cos(fromVertical);
}

TEST_F(PlantTest, ToolJointReleasedAtFixedValvesSettlesAndNeverGainsEnergy) {
    float valves[4] = {3.0f, 6.0f, 2.0f, 5.0f};
    WriteValveVoltages(valves);
    Sleep(3000);  // pressures settled: the muscles are springs now
    for (const double start : {-40.0, 55.0}) {
        SCOPED_TRACE(testing::Message() << "released at " << start << " degrees");
        lab::SetArmPose({0.0, 15.0, 75.0, start});
        double energy = ToolEnergy(lab::TakeSnapshot());
        double largestGain = 0.0;
        for (int ms = 0; ms < 4000; ms += 5) {
            Sleep(5);
            const double now = ToolEnergy(lab::TakeSnapshot());
            largestGain = std::max(largestGain, now - energy);
            energy = now;
        }
        EXPECT_LT(largestGain, 1e-9);  // joules: rounding only
        const lab::Snapshot settled = lab::TakeSnapshot();
        EXPECT_NEAR(settled.toolDegreesPerSecond, 0.0, 1e-3);
        Sleep(1000);
        EXPECT_NEAR(lab::TakeSnapshot().toolDegrees, settled.toolDegrees, 1e-4);
    }
}

}  // namespace
