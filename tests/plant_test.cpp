// The physics of the simulated arm, seen through the card layers: the tool
// joint pushed by the arm's motion and its weight and held by its payload,
// the valves' dead band, ceiling and flow-limited steps, the chambers'
// volume work, the braid friction's rate-independent loop, the muscles'
// damping, the motors' friction and residual offsets, the joint's two
// encoders, and a joint that never gains energy with its valves sealed.
#include "lab/plant.h"

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
    // The homing references hold the tool about level against its weight;
    // held there, the muscles' braid friction has settled and the joint
    // creeps the last hundredths of a degree to its balance.
    EXPECT_NEAR(home.toolDegrees, 0.0, 3.0);
    EXPECT_NEAR(home.toolDegreesPerSecond, 0.0, 0.02);

    // Its weight alone: at rest at the sine's top pose (tool point 100 mm
    // up) the forearm leans 14.7 degrees further and the tool's weight pulls
    // less, by less than the braid friction holds: it stays within a degree.
    lab::SetArmPose({0.0, 16.716, 87.989, home.toolDegrees});
    Sleep(2000);
    const double weightOnly = lab::TakeSnapshot().toolDegrees - home.toolDegrees;
    EXPECT_LT(std::fabs(weightOnly), 1.0);

    // Moving along the sine, the arm's accelerations throw it about by a few
    // degrees, as far as the muscles' damping and the braid's slip elements
    // let them (1.9).
    lab::SetArmPose({0.0, 15.0, 75.0, home.toolDegrees});
    Sleep(2000);
    const double moving = LargestToolDeparture(SineTrajectoryVelocities(), home.toolDegrees);
    EXPECT_GT(moving, 1.5);
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
        EXPECT_LT(lowest, -0.2);
        EXPECT_LT(highest, 0.3);
    }
}

// Pressure of muscle `muscle` (0 to 3) as the card reads it.
double MusclePressure(int muscle = 0) {
    float pressures[12];
    ReadPressures(pressures);
    return pressures[muscle];
}

void SetValves(float v1, float v2, float v3, float v4) {
    float valves[4] = {v1, v2, v3, v4};
    WriteValveVoltages(valves);
}

void SetMuscleOneValve(float volts) {
    SetValves(volts, 0.0f, 0.0f, 0.0f);
}

// Valve volts for a set pressure, bar.
float VoltsFor(double bar) {
    return static_cast<float>(plant::BuiltIn().valveDeadBandVolts +
                              bar / plant::BuiltIn().valveBarPerVolt);
}

// The 10 % to 90 % time, ms, of muscle 1's pressure after its valve steps
// from `from` to `to` volts (others as `others`), read every 0.5 ms.
double RiseMilliseconds(float from, float to, const float others[3]) {
    SetValves(from, others[0], others[1], others[2]);
    Sleep(3000);
    const double start = MusclePressure();
    SetValves(to, others[0], others[1], others[2]);
    Sleep(3000);
    const double end = MusclePressure();
    SetValves(from, others[0], others[1], others[2]);
    Sleep(3000);
    SetValves(to, others[0], others[1], others[2]);
    const std::int64_t t0 = platform::NowNanoseconds();
    std::int64_t t10 = -1;
    for (int step = 0; step < 20000; ++step) {
        const double fraction = (MusclePressure() - start) / (end - start);
        const std::int64_t now = platform::NowNanoseconds() - t0;
        if (t10 < 0 && fraction >= 0.1) {
            t10 = now;
        }
        if (fraction >= 0.9) {
            return static_cast<double>(now - t10) * 1e-6;
        }
        platform::AdvanceVirtualClock(500'000);
    }
    return -1.0;
}

TEST_F(PlantTest, ValvesRegulateToTheirSetPressureAndLargeStepsAreFlowLimited) {
    lab::SetSensorNoise(0.0);
    // Static characteristic: nothing inside the dead band, linear above it,
    // the regulator's ceiling at the top.
    const struct {
        float volts;
        double bar;
    } levels[] = {{0.0f, 0.0},  {0.3f, 0.0}, {1.0f, 0.52}, {4.0f, 2.92},
                  {7.0f, 5.32}, {7.5f, 5.5}, {8.0f, 5.5}};
    for (const auto& level : levels) {
        SetMuscleOneValve(level.volts);
        Sleep(3000);
        EXPECT_NEAR(MusclePressure(), level.bar, 1e-3) << level.volts << " V";
    }

    // A large step is limited by the flow the valve passes, a small one by
    // the regulator: 0 to 5.5 bar takes several times as long as 0 to 0.8.
    // Venting to the atmosphere is slower than filling from the supply.
    const float vented[3] = {0.0f, 0.0f, 0.0f};
    const double small = RiseMilliseconds(0.0f, VoltsFor(0.8), vented);
    const double large = RiseMilliseconds(0.0f, VoltsFor(5.5), vented);
    const double vent = RiseMilliseconds(VoltsFor(5.5), 0.0f, vented);
    EXPECT_GT(large, 3.0 * small);
    EXPECT_GT(vent, 2.0 * large);
    EXPECT_LT(vent, 4.0 * large);

    // A contracted muscle holds more air than a stretched one and fills
    // more slowly: muscle 4 at full pressure holds the joint on its positive
    // stop (muscle 1 contracted), muscles 2 and 3 on its negative stop.
    const float contracting[3] = {0.0f, 0.0f, 8.0f};
    const float stretching[3] = {8.0f, 8.0f, 0.0f};
    const double contracted = RiseMilliseconds(0.0f, VoltsFor(2.0), contracting);
    const double stretched = RiseMilliseconds(0.0f, VoltsFor(2.0), stretching);
    EXPECT_GT(contracted, 1.2 * stretched);
}

TEST_F(PlantTest, AForcedTurnOfTheJointChangesThePressuresByTheVolumeChange) {
    lab::SetSensorNoise(0.0);
    HoldHomingReferences();
    const double before[2] = {MusclePressure(0), MusclePressure(1)};
    const double angle = lab::TakeSnapshot().toolDegrees;
    // Turned by hand 10 degrees further: muscle 1 contracts and its chamber
    // grows, muscle 2 stretches and its chamber shrinks; the air in them is
    // compressed or expanded polytropically before the valves react.
    lab::SetArmPose({0.0, 15.0, 75.0, angle + 10.0});
    platform::AdvanceVirtualClock(2 * plant::kStepNanoseconds);
    const double turned = (angle + 10.0) * kRadiansPerDegree;
    const plant::Model model(plant::BuiltIn());
    for (int muscle = 0; muscle < 2; ++muscle) {
        SCOPED_TRACE(testing::Message() << "muscle " << muscle + 1);
        const double volumeBefore = plant::MuscleVolume(
            model, plant::MuscleContraction(model, muscle, angle * kRadiansPerDegree));
        const double volumeAfter =
            plant::MuscleVolume(model, plant::MuscleContraction(model, muscle, turned));
        const double atmosphere = plant::kAtmosphereBar;
        const double expected =
            (before[muscle] + atmosphere) *
                std::pow(volumeBefore / volumeAfter, plant::BuiltIn().volumeExponent) -
            atmosphere;
        EXPECT_GT(std::fabs(expected - before[muscle]), 0.1);
        EXPECT_NEAR(MusclePressure(muscle), expected, 0.02);
    }
    // The regulators then bring them back to their set pressures.
    Sleep(300);
    EXPECT_NEAR(MusclePressure(0), before[0], 0.01);
    EXPECT_NEAR(MusclePressure(1), before[1], 0.01);
}

// Two periods of a slow differential sweep around the homing references,
// `amplitude` volts: muscles 1 and 4 up and back, 2 and 3 the other way.
// Returns the loop's width in the second period, bar: at the joint angle
// midway through the swing, the inflating branch's differential pressure
// (per muscle) less the deflating branch's. (The first starts from the
// references' settled state, inside the loop.)
double SweepLoopWidth(double amplitude, double periodSeconds) {
    SetValves(5.0f, 5.6f, 5.6f, 5.0f);
    Sleep(3000);
    struct Point {
        double differential;
        double degrees;
    };
    std::vector<Point> rising;
    std::vector<Point> falling;
    const int samples = static_cast<int>(periodSeconds * 50.0);
    float angles[5];
    float pressures[12];
    for (int k = 0; k <= 2 * samples; ++k) {
        const double phase = 2.0 * std::numbers::pi * k / samples;
        const float offset = static_cast<float>(amplitude * std::sin(phase));
        SetValves(5.0f + offset, 5.6f - offset, 5.6f - offset, 5.0f + offset);
        Sleep(20);
        if (k < samples) {
            continue;
        }
        ReadPressures(pressures);
        ReadEncoderCounts();
        ReadJointAngles(angles);
        const Point point = {((pressures[0] + pressures[3]) - (pressures[1] + pressures[2])) / 4.0,
                             angles[3]};
        (std::cos(phase) > 0.0 ? rising : falling).push_back(point);
    }
    double lowest = 1e9;
    double highest = -1e9;
    for (const Point& point : rising) {
        lowest = std::min(lowest, point.degrees);
        highest = std::max(highest, point.degrees);
    }
    const double middle = 0.5 * (lowest + highest);
    // Where a branch crosses the middle angle, interpolated.
    const auto crossing = [middle](const std::vector<Point>& branch) {
        for (std::size_t i = 1; i < branch.size(); ++i) {
            const double a = branch[i - 1].degrees - middle;
            const double b = branch[i].degrees - middle;
            if ((a < 0.0) != (b < 0.0)) {
                return branch[i - 1].differential +
                       (branch[i].differential - branch[i - 1].differential) * a / (a - b);
            }
        }
        return std::nan("");
    };
    return crossing(rising) - crossing(falling);
}

TEST_F(PlantTest, SlowSweepOpensALoopWhoseWidthDoesNotShrinkWithTheRate) {
    lab::SetSensorNoise(0.0);
    const double at005Hz = SweepLoopWidth(0.5, 20.0);
    const double at001Hz = SweepLoopWidth(0.5, 100.0);
    // The braid friction's loop: branches about 31 kPa apart at equal angle
    // (equal pull and contraction), whatever the rate.
    EXPECT_NEAR(at001Hz, 0.312, 0.2 * 0.312);
    EXPECT_GT(at001Hz, 0.5 * at005Hz);
    EXPECT_LT(at001Hz, at005Hz * 1.1);
}

TEST_F(PlantTest, APayloadShiftsTheRestAngleAsTheStaticBalancePredicts) {
    lab::SetSensorNoise(0.0);
    // Valves raised slowly from vented to the homing references: the joint
    // comes down from its stop to the angle where the muscles' static pulls
    // balance the tool's weight. Solving that balance with the muscles' law
    // gives -2.27 degrees for the 1.2 kg tool and +1.40 degrees with 0.5 kg
    // more.
    const auto restAngle = [](double kilograms) {
        lab::Reset();
        lab::SetSensorNoise(0.0);
        OpenMotionCard();
        OpenPressureInput();
        OpenValveOutput();
        plant::Parameters loaded = plant::BuiltIn();
        loaded.toolMassKilograms = kilograms;
        lab::SetPlant(loaded);
        Sleep(3000);
        for (int k = 0; k <= 250; ++k) {
            const float fraction = static_cast<float>(k) / 250.0f;
            SetValves(5.0f * fraction, 5.6f * fraction, 5.6f * fraction, 5.0f * fraction);
            Sleep(20);
        }
        Sleep(3000);
        float angles[5];
        ReadEncoderCounts();
        ReadJointAngles(angles);
        return static_cast<double>(angles[3]);
    };
    const double tool = restAngle(plant::BuiltIn().toolMassKilograms);
    const double loaded = restAngle(plant::BuiltIn().toolMassKilograms + 0.5);
    lab::SetPlant(plant::BuiltIn());
    EXPECT_NEAR(tool, -2.27, 0.2);
    EXPECT_NEAR(loaded - tool, 3.67, 0.2);
}

TEST_F(PlantTest, EachMuscleTurnsTheJointItsWayAndBothEncodersCountOnTheirOwn) {
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
        HoldHomingReferences();
        ReadJointAngles(angles);
        const float before = angles[3];
        WriteValveVoltages(valves);
        Sleep(2000);
        ReadJointAngles(angles);
        turned[muscle] = angles[3] - before;
        EXPECT_GT(turned[muscle] * sign[muscle], 0.5) << "muscle " << muscle + 1;
        EXPECT_LT(turned[muscle] * sign[muscle], 25.0) << "muscle " << muscle + 1;
    }
    HoldHomingReferences();
    ReadJointAngles(angles);
    const float before = angles[3];
    float pair[4] = {6.0f, 5.6f, 5.6f, 6.0f};
    WriteValveVoltages(pair);
    Sleep(2000);
    ReadJointAngles(angles);
    EXPECT_GT(angles[3] - before, 1.6 * turned[0]);

    // Each shaft's encoder counts whole steps of its own: their sum (the
    // second angle) is a count or two off 0, not identically 0.
    bool sumMoved = false;
    for (int k = 0; k < 400; ++k) {
        const float offset = static_cast<float>(0.8 * std::sin(k * 0.05));
        SetValves(5.0f + offset, 5.6f - offset, 5.6f - offset, 5.0f + offset);
        Sleep(20);
        ReadEncoderCounts();
        ReadJointAngles(angles);
        EXPECT_LE(std::fabs(angles[4]), 0.25f);
        sumMoved = sumMoved || angles[4] != 0.0f;
    }
    EXPECT_TRUE(sumMoved);
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

// How often a motor stood still, and how far it moved, in a second.
struct Motion {
    int stops;
    double counts;
};

// The carriage, which carries no weight: friction alone decides whether it
// moves. `motionAt(input)` gives the stops and the counts moved in a second.
template <class MotionAt>
void FrictionOfAHorizontalAxis(MotionAt motionAt) {
    const plant::Parameters& plant = plant::BuiltIn();
    const plant::AxisParameters& p = plant.axes[0];
    // Held at rest, the velocity loop's integral builds up to ten times the
    // input: below a tenth of the breakaway torque nothing moves.
    const double breakaway = plant.BreakawayInputVolts(0);
    EXPECT_EQ(motionAt(0.95 * breakaway).counts, 0.0);
    EXPECT_EQ(motionAt(-0.95 * breakaway).counts, 0.0);
    // Just above it the motor breaks away, friction drops, it overshoots
    // and sticks again: stick-slip, many stops a second.
    const Motion slipping = motionAt(1.1 * breakaway);
    EXPECT_GT(slipping.stops, 5);
    EXPECT_GT(slipping.counts, 0.0);
    // Well above it, it runs smoothly at its gain times the input less
    // what Coulomb friction takes.
    const double running = 10.0 * breakaway;
    const Motion smooth = motionAt(running);
    EXPECT_EQ(smooth.stops, 0);
    EXPECT_NEAR(smooth.counts, p.countsPerSecondPerVolt * (running - plant.RunningLossVolts(0)),
                0.02 * smooth.counts);
}

TEST_F(PlantTest, MotorsStickBelowBreakawayStickSlipJustAboveAndCreepOnTheirOffsets) {
    for (int axis = 0; axis < 3; ++axis) {
        SCOPED_TRACE(testing::Message() << "axis " << axis);
        const plant::AxisParameters& p = plant::BuiltIn().axes[axis];
        MotorAxes[axis].ServoOn();
        // How often the motor stood still and how far it moved in a second,
        // read every millisecond, at an amplifier input.
        const auto motionAt = [&](double inputVolts) -> Motion {
            EP_SetDACOutput(static_cast<float>(inputVolts - p.amplifierOffsetVolts()),
                            static_cast<short>(axis), 1);
            Sleep(1000);
            Motion motion = {0, lab::TakeSnapshot().axisPosition[axis]};
            bool moving = lab::TakeSnapshot().axisVelocity[axis] != 0.0;
            for (int ms = 0; ms < 1000; ++ms) {
                Sleep(1);
                const bool now = lab::TakeSnapshot().axisVelocity[axis] != 0.0;
                motion.stops += moving && !now ? 1 : 0;
                moving = now;
            }
            motion.counts = lab::TakeSnapshot().axisPosition[axis] - motion.counts;
            return motion;
        };
        EXPECT_EQ(motionAt(0.0).counts, 0.0);
        if (axis == 0) {
            FrictionOfAHorizontalAxis(motionAt);
        }
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

TEST_F(PlantTest, SealedMusclesReleasedOffTheirRestNeverSwingFurtherOut) {
    float valves[4] = {3.0f, 6.0f, 2.0f, 5.0f};
    WriteValveVoltages(valves);
    Sleep(3000);  // pressures settled and the valves' directions holding
    for (const double start : {-40.0, 55.0}) {
        SCOPED_TRACE(testing::Message() << "released at " << start << " degrees");
        lab::SealValves(true);
        lab::SetArmPose({0.0, 15.0, 75.0, start});
        // With no air passing the valves, the muscles are gas springs and
        // friction and damping only take energy out: each turning point of
        // the swing lies nearer the final rest than the one before on its
        // side, and the joint comes to rest.
        std::vector<double> turningPoints;
        double previousRate = 0.0;
        for (int ms = 0; ms < 4000; ++ms) {
            Sleep(1);
            const lab::Snapshot now = lab::TakeSnapshot();
            if (now.toolDegreesPerSecond * previousRate < 0.0) {
                turningPoints.push_back(now.toolDegrees);
            }
            previousRate = now.toolDegreesPerSecond;
        }
        const lab::Snapshot settled = lab::TakeSnapshot();
        EXPECT_NEAR(settled.toolDegreesPerSecond, 0.0, 1e-3);
        double reach[2] = {std::fabs(start - settled.toolDegrees), 1e9};
        for (std::size_t i = 0; i < turningPoints.size(); ++i) {
            const double distance = std::fabs(turningPoints[i] - settled.toolDegrees);
            EXPECT_LE(distance, reach[(i + 1) % 2] + 1e-6) << "turning point " << i;
            reach[(i + 1) % 2] = distance;
        }
        Sleep(1000);
        EXPECT_NEAR(lab::TakeSnapshot().toolDegrees, settled.toolDegrees, 1e-4);
        lab::SealValves(false);
        Sleep(1000);
    }
}

}  // namespace
