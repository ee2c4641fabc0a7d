// The simulated arm behind the card layers: motors, switches, homing,
// emergency stop, muscles and determinism.
#include "lab/lab.h"

#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "cards/daq_card.h"
#include "cards/motion_card.h"
#include "lab/plant_parameters.h"
#include "platform/clock.h"
#include "runs/runs.h"
#include "tests/lab_session.h"

namespace {

using LabTest = LabSessionTest;

TEST_F(LabTest, HomingEndsAtTheHomePoseFromAnyPoseInsideTheRanges) {
    const lab::ArmPose starts[] = {
        {},
        {-100.0, -15.0, 20.0, 0.0},
        {900.0, 38.0, 140.0, 0.0},
        {500.0, 0.0, 100.0, 0.0},
        {-120.0, 39.9, 12.0, 0.0},
    };
    for (const lab::ArmPose& start : starts) {
        lab::SetArmPose(start);
        GoHome();
        for (int run = 0; run < 2; ++run) {  // a second homing with limit checking on
            const lab::Snapshot now = lab::TakeSnapshot();
            SCOPED_TRACE(testing::Message()
                         << "from carriage " << start.carriageMillimetres << " run " << run);
            for (int k = 0; k < 3; ++k) {
                EXPECT_NEAR(now.axisPosition[k], 0.0, HomingToleranceCounts(k));
                EXPECT_EQ(EncoderCounts[k], 0);
                EXPECT_TRUE(now.servoOn[k]);
            }
            EXPECT_EQ(CheckLimitSwitches(), 1);
            GoHome();
        }
    }
}
// Drives one axis with its servo on until the switch reports active, in
// 20 ms sleeps; returns the virtual milliseconds it took, or -1.
int DriveToSwitch(int axis, float volts, int limitSwitch) {
    MotorAxes[axis].ServoOn();
    MotorAxes[axis].SetVoltage(volts);
    for (int ms = 0; ms < 60000; ms += 20) {
        ReadLimitSwitches();
        if (LimitStatus[2 * axis + limitSwitch] == 1) {
            return ms;
        }
        Sleep(20);
    }
    return -1;
}

TEST_F(LabTest, EachMotorReachesBothOfItsSwitchesAndStopsAtTheHardStop) {
    // Positive commands move the carriage and shoulder to switch 1 and the
    // elbow (counting against its angle) to switch 0.
    const struct {
        int axis;
        float volts;
        int limitSwitch;
    } drives[] = {{0, -0.5f, 0}, {0, 0.5f, 1}, {1, -0.5f, 0},
                  {1, 0.5f, 1},  {2, 0.5f, 0}, {2, -0.5f, 1}};
    for (const auto& drive : drives) {
        lab::Reset();
        OpenMotionCard();
        SCOPED_TRACE(testing::Message()
                     << "axis " << drive.axis << " switch " << drive.limitSwitch);
        EXPECT_GE(DriveToSwitch(drive.axis, drive.volts, drive.limitSwitch), 0);
        Sleep(5000);  // on into the hard stop
        const double stopped = lab::TakeSnapshot().axisPosition[drive.axis];
        Sleep(100);
        EXPECT_EQ(lab::TakeSnapshot().axisPosition[drive.axis], stopped);
        ReadLimitSwitches();
        EXPECT_EQ(LimitStatus[2 * drive.axis + drive.limitSwitch], 1);
    }
}

TEST_F(LabTest, CarriageHasRoomForTheFullRunFromHome) {
    // 800 mm at 8.1487 counts/mm, plus the homing offset, fit between the switches.
    lab::SetArmPose({810.0, 15.0, 75.0, 0.0});
    EXPECT_EQ(CheckLimitSwitches(), 1);
}

TEST_F(LabTest, SleepMovesTheArmByThatTime) {
    MotorAxes[0].ServoOn();
    MotorAxes[0].SetVoltage(0.2f);
    Sleep(100);  // up to speed
    const double before = lab::TakeSnapshot().axisPosition[0];
    Sleep(20);
    EXPECT_NEAR(lab::TakeSnapshot().axisPosition[0] - before, 0.2 * 2000.0 * 0.020, 0.5);
}

TEST_F(LabTest, LongGapBetweenCallsIsCaughtUpOnlyForAMinute) {
    MotorAxes[0].ServoOn();
    MotorAxes[0].SetVoltage(0.05f);  // about 100 counts/s: the upper stop is 85 s away
    // The card corrects all but the residual offset; friction takes its part.
    const lab::plant::AxisParameters& carriage = lab::plant::BuiltIn().axes[0];
    const double speed =
        carriage.countsPerSecondPerVolt *
        (0.05 + carriage.residualOffsetVolts - lab::plant::BuiltIn().RunningLossVolts(0));
    Sleep(2 * 3600 * 1000);
    const double afterGap = lab::TakeSnapshot().axisPosition[0];
    EXPECT_NEAR(afterGap, 60.0 * speed, 1.0);
    Sleep(1000);
    EXPECT_NEAR(lab::TakeSnapshot().axisPosition[0] - afterGap, speed, 0.5);
}

TEST_F(LabTest, EmergencyStopAbortsMotionAndSwitchesServosOff) {
    for (int axis = 0; axis < 3; ++axis) {
        MotorAxes[axis].ServoOn();
        MotorAxes[axis].SetVoltage(0.3f);
    }
    Sleep(200);
    EXPECT_EQ(CheckEmergencyStop(), 1);
    lab::PressEmergencyStop();
    EXPECT_EQ(CheckEmergencyStop(), 0);
    EXPECT_EQ(EmergencyStopStatus, 1);
    const lab::Snapshot stopped = lab::TakeSnapshot();
    Sleep(500);
    const lab::Snapshot later = lab::TakeSnapshot();
    for (int axis = 0; axis < 3; ++axis) {
        EXPECT_FALSE(later.servoOn[axis]);
        EXPECT_EQ(later.axisPosition[axis], stopped.axisPosition[axis]);
    }
    lab::ReleaseEmergencyStop();
    EXPECT_EQ(CheckEmergencyStop(), 1);
    EXPECT_EQ(EmergencyStopStatus, 0);
}

TEST_F(LabTest, CompanionCommandPressesAndReleasesTheEmergencyStop) {
    // lab-estop signals only the lab's own commands: this process poses as one.
    char name[16] = {};
    prctl(PR_GET_NAME, name);
    prctl(PR_SET_NAME, "lab-run");
    const std::string command = std::string(LAB_ESTOP) + " %s " + std::to_string(getpid());
    char line[512];
    std::snprintf(line, sizeof line, command.c_str(), "press");
    ASSERT_EQ(std::system(line), 0);
    EXPECT_EQ(CheckEmergencyStop(), 0);
    std::snprintf(line, sizeof line, command.c_str(), "release");
    ASSERT_EQ(std::system(line), 0);
    EXPECT_EQ(CheckEmergencyStop(), 1);
    prctl(PR_SET_NAME, name);
}

TEST_F(LabTest, CompanionCommandSignalsNothingButTheLabsCommands) {
    const std::string command = std::string(LAB_ESTOP) + " press ";
    const std::string self = std::to_string(getpid());
    const std::string out = "lab-estop-out.txt";
    EXPECT_NE(std::system((command + self + " 2>" + out).c_str()), 0);
    std::ifstream first(out);
    std::string line;
    std::getline(first, line);
    EXPECT_EQ(line, "lab-estop: process " + self +
                        " is lab_test, not tendon or lab-run; nothing "
                        "signalled");
    EXPECT_EQ(CheckEmergencyStop(), 1);
    // A PID no process has (above the kernel's limit).
    EXPECT_NE(std::system((command + "2147483647 2>" + out).c_str()), 0);
    std::ifstream second(out);
    std::getline(second, line);
    EXPECT_EQ(line, "lab-estop: no process 2147483647; nothing signalled");
}

TEST_F(LabTest, ActiveLimitSwitchStopsMotionAndSwitchesServosOff) {
    MotorAxes[1].ServoOn();
    MotorAxes[1].SetVoltage(0.3f);
    Sleep(200);
    EXPECT_EQ(CheckLimitSwitches(), 1);
    lab::HoldLimitSwitch(1, 0, 1);
    EXPECT_EQ(CheckLimitSwitches(), 0);
    const double stopped = lab::TakeSnapshot().axisPosition[1];
    Sleep(500);
    EXPECT_EQ(lab::TakeSnapshot().axisPosition[1], stopped);
    EXPECT_FALSE(lab::TakeSnapshot().servoOn[1]);
}

TEST_F(LabTest, CardLimitCheckHoldsAnAxisAtItsSwitchButLetsItBackOff) {
    EP_EnableLimitCheck(1, 1);
    ASSERT_GE(DriveToSwitch(0, -0.5f, 0), 0);
    Sleep(1000);
    EXPECT_NEAR(lab::TakeSnapshot().axisPosition[0], lab::plant::BuiltIn().axes[0].lowerSwitch,
                1.0);
    MotorAxes[0].SetVoltage(0.5f);
    Sleep(2000);
    EXPECT_GT(lab::TakeSnapshot().axisPosition[0], 0.0);
}

TEST_F(LabTest, FailedInitialisationIsPassedOverSilentlyAndLeavesTheMotorsDead) {
    lab::FailInitSystem(true);
    testing::internal::CaptureStdout();
    CloseMotionCard();
    OpenMotionCard();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    MotorAxes[0].ServoOn();
    MotorAxes[0].SetVoltage(0.3f);
    Sleep(1000);
    EXPECT_EQ(lab::TakeSnapshot().axisPosition[0], 0.0);
    EXPECT_FALSE(lab::TakeSnapshot().systemInitialised);
}

TEST_F(LabTest, FailedDeviceOpenLeavesReadsOnTheirLastVoltages) {
    float pressures[12];
    ReadPressures(pressures);
    const double rest[4] = {2.0, 2.0, 2.0, 2.0};
    lab::SetMusclePressures(rest);
    lab::FailDeviceOpen(0, true);
    ClosePressureInput();
    OpenPressureInput();
    float again[12];
    ReadPressures(again);
    EXPECT_EQ(again[0], pressures[0]);
    const lab::Snapshot devices = lab::TakeSnapshot();
    EXPECT_FALSE(devices.pressureInputOpen);
    EXPECT_TRUE(devices.valveOutputOpen);
}

// One scripted session: homing-like moves, valve steps, reads with the
// sensors' built-in noise.
std::vector<std::int32_t> ScriptedSession() {
    lab::Reset();
    lab::EnableJournal(true);
    OpenMotionCard();
    OpenPressureInput();
    OpenValveOutput();
    std::vector<std::int32_t> counts;
    float valves[4] = {3.0f, 5.0f, 4.0f, 6.0f};
    float pressures[12];
    for (int axis = 0; axis < 3; ++axis) {
        MotorAxes[axis].ServoOn();
    }
    for (int sample = 0; sample < 200; ++sample) {
        WriteValveVoltages(valves);
        ReadPressures(pressures);
        for (int axis = 0; axis < 3; ++axis) {
            MotorAxes[axis].SetVoltage(0.2f * std::sin(sample * 0.05 + axis));
        }
        ReadEncoderCounts();
        counts.insert(counts.end(), EncoderCounts, EncoderCounts + 5);
        valves[sample % 4] += 0.01f;
        Sleep(20);
    }
    lab::EnableJournal(false);
    return counts;
}

TEST_F(LabTest, IdenticalSessionsGiveIdenticalJournalsAndCounts) {
    const std::vector<std::int32_t> first = ScriptedSession();
    const std::vector<lab::Call> firstJournal = lab::Journal();
    Sleep(1234);  // a different start time on the clock
    const std::vector<std::int32_t> second = ScriptedSession();
    EXPECT_EQ(first, second);
    EXPECT_TRUE(firstJournal == lab::Journal());
    EXPECT_GT(firstJournal.size(), 2000u);
}

}  // namespace
