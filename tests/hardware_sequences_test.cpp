// Homing, manual commands and card reset on the virtual lab, checked through
// the plant's state and the call journal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "cards/daq_card.h"
#include "cards/motion_card.h"
#include "lab/lab.h"
#include "platform/clock.h"
#include "runs/runs.h"
#include "tests/lab_session.h"

namespace {

long CallsTo(const std::string& function) {
    const std::vector<std::string> names = JournalFunctions();
    return std::count(names.begin(), names.end(), function);
}

// Moves the virtual clock to the start of the next clock tick, so that a
// busy wait of n ticks lasts n milliseconds from here.
void AlignToClockTick() {
    const std::int64_t tick = 1'000'000;
    platform::AdvanceVirtualClock(tick - platform::NowNanoseconds() % tick);
}

double ElapsedMs(std::int64_t since) {
    return double(platform::NowNanoseconds() - since) / 1e6;
}

using HardwareSequencesTest = JournalledLabTest;

TEST_F(HardwareSequencesTest, GoHomeEndsAtTheHomePoseReadyForARun) {
    const lab::ArmPose starts[] = {
        {},
        {-100.0, -15.0, 20.0, 0.0},
        {900.0, 38.0, 140.0, 0.0},
        {500.0, 0.0, 100.0, 0.0},
        // The elbow at either end of its range: the longest and shortest creep.
        {-127.0, 39.9, 10.01, 0.0},
        {979.0, -19.9, 142.8, 0.0}};
    lab::EnableJournal(false);  // homing polls a few hundred thousand times
    for (const lab::ArmPose& start : starts) {
        SCOPED_TRACE(testing::Message() << "from carriage " << start.carriageMillimetres
                                        << " shoulder " << start.shoulderDegrees);
        lab::SetArmPose(start);
        const std::int32_t offHome[5] = {5000, -7000, 9000, 11, 12};
        lab::SetEncoderCounts(offHome);
        GoHome();
        const lab::Snapshot now = lab::TakeSnapshot();
        for (int axis = 0; axis < 3; ++axis) {
            EXPECT_NEAR(now.axisPosition[axis], 0.0, HomingToleranceCounts(axis))
                << "axis " << axis;
            EXPECT_EQ(EncoderCounts[axis], 0);
            EXPECT_TRUE(now.servoOn[axis]);
        }
        // Zero commands, written through the axes' offset corrections.
        EXPECT_FLOAT_EQ(now.dacOutput[0], -0.0082f);
        EXPECT_FLOAT_EQ(now.dacOutput[1], -0.0091f);
        EXPECT_FLOAT_EQ(now.dacOutput[2], -0.0052f);
        EXPECT_TRUE(now.limitCheck);
        EXPECT_EQ(CheckLimitSwitches(), 1);
        EXPECT_EQ(CheckEmergencyStop(), 1);
    }
}

TEST_F(HardwareSequencesTest, GoHomeStoppedByTheEmergencyStopKeepsTheCountsAndSaysSo) {
    const std::int32_t offHome[5] = {1562, -700, 900, 11, 12};
    lab::SetEncoderCounts(offHome);
    lab::PressEmergencyStop();
    testing::internal::CaptureStdout();
    EXPECT_EQ(GoHome(), runs::Homing::kEmergencyStop);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Homing stopped: encoders not zeroed\n");

    // The first loop's first test ends it; nothing is cleared, enabled or waited for.
    EXPECT_EQ(CallsTo("EP_GetEmgcStopStatus"), 1);
    EXPECT_EQ(CallsTo("EP_ClearENCCounter"), 0);
    EXPECT_EQ(CallsTo("EP_EnableLimitCheck"), 0);
    ReadEncoderCounts();
    for (int channel = 0; channel < 3; ++channel) {
        EXPECT_EQ(EncoderCounts[channel], channel == 2 ? -offHome[2] : offHome[channel]);
    }
    const lab::Snapshot now = lab::TakeSnapshot();
    for (int axis = 0; axis < 3; ++axis) {
        EXPECT_FALSE(now.servoOn[axis]);
    }
}

TEST_F(HardwareSequencesTest, ManualMotorCommandSwitchesOnOnlyFlagOneAndWaitsWholeTicks) {
    struct Case {
        int flags[3];
        float durationMs;
        double elapsedLow, elapsedHigh;
    };
    const Case cases[] = {
        {{1, 0, 2}, 999.9f, 999.0, 999.5},  // truncated, not rounded
        {{0, 0, 0}, 0.0f, 0.0, 0.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "duration " << c.durationMs);
        lab::ClearJournal();
        AlignToClockTick();
        const std::int64_t start = platform::NowNanoseconds();
        ManualMotorCommand(c.flags[0], c.flags[1], c.flags[2], 0.3f, c.durationMs);
        const double elapsed = ElapsedMs(start);
        EXPECT_GE(elapsed, c.elapsedLow);
        EXPECT_LT(elapsed, c.elapsedHigh);

        std::vector<std::vector<double>> servo, output;
        for (const lab::Call& call : lab::Journal()) {
            if (std::string(call.function) == "EP_SetServoOn") {
                servo.push_back(call.arguments);
            } else if (std::string(call.function) == "EP_SetDACOutput") {
                output.push_back(call.arguments);
            }
        }
        std::vector<std::vector<double>> expectedServo;
        if (c.flags[0] == 1) {
            expectedServo.push_back({1, 0, 1});
        }
        for (int axis = 0; axis < 3; ++axis) {
            expectedServo.push_back({0, double(axis), 1});
        }
        EXPECT_EQ(servo, expectedServo);
        // The voltage goes to every motor whatever the flags.
        ASSERT_EQ(output.size(), 3u);
        EXPECT_FLOAT_EQ(float(output[0][0]), 0.3f - 0.0082f);
        EXPECT_FLOAT_EQ(float(output[1][0]), 0.3f - 0.0091f);
        EXPECT_FLOAT_EQ(float(output[2][0]), -0.3f - 0.0052f);
    }
}

TEST_F(HardwareSequencesTest, ManualPressureCommandDrivesEveryFlaggedMuscleAndZeroesTheRest) {
    ValveVoltages[0] = ValveVoltages[1] = ValveVoltages[2] = ValveVoltages[3] = 4.0f;
    int flags[4] = {2, 0, 1, 0};  // any non-zero flag selects
    float volts = 6.5f;
    ManualPressureCommand(&flags[0], &flags[1], &flags[2], &flags[3], &volts);
    lab::Snapshot now = lab::TakeSnapshot();
    EXPECT_EQ(std::vector<float>(now.valveOutput, now.valveOutput + 4),
              (std::vector<float>{6.5f, 0.0f, 6.5f, 0.0f}));
    EXPECT_EQ(std::vector<float>(ValveVoltages, ValveVoltages + 4),
              (std::vector<float>{4.0f, 4.0f, 4.0f, 4.0f}));

    int none[4] = {0, 0, 0, 0};
    ManualPressureCommand(&none[0], &none[1], &none[2], &none[3], &volts);
    now = lab::TakeSnapshot();
    EXPECT_EQ(std::vector<float>(now.valveOutput, now.valveOutput + 4),
              (std::vector<float>{0.0f, 0.0f, 0.0f, 0.0f}));
}

TEST_F(HardwareSequencesTest, HomeMusclesZeroesTheToolEncodersAtTheReferencePressures) {
    const std::int64_t start = platform::NowNanoseconds();
    HomeMuscles();
    EXPECT_GE(ElapsedMs(start), 2000.0);
    const lab::Snapshot now = lab::TakeSnapshot();
    EXPECT_EQ(std::vector<float>(now.valveOutput, now.valveOutput + 4),
              (std::vector<float>{5.0f, 5.6f, 5.6f, 5.0f}));
    const std::vector<lab::Call>& journal = lab::Journal();
    ASSERT_GE(journal.size(), 2u);
    EXPECT_EQ(journal[journal.size() - 2].arguments, (std::vector<double>{3, 1}));
    EXPECT_EQ(journal.back().arguments, (std::vector<double>{4, 1}));
    EXPECT_EQ(std::string(journal.back().function), "EP_ClearENCCounter");
}

TEST_F(HardwareSequencesTest, HomeMusclesEndsAtOneJointAngleWhereverTheBraidFrictionHeldIt) {
    lab::EnableJournal(false);
    // The muscles' braid friction holds the joint anywhere in a band some
    // 14 degrees wide around the references' balance: the joint hangs on
    // its stop with the muscles vented, or was pushed there, or past the
    // balance from below, by the muscles last driving it. Held at the
    // references for the two seconds of muscle homing, the muscles settle
    // and the joint comes to the one angle their static pulls and the
    // tool's weight balance at, from either side.
    const float before[][4] = {
        {0.0f, 0.0f, 0.0f, 0.0f}, {8.0f, 0.0f, 0.0f, 8.0f}, {4.0f, 7.0f, 7.0f, 4.0f},
        {3.0f, 4.0f, 4.0f, 3.0f}, {8.0f, 8.0f, 8.0f, 8.0f},
    };
    std::vector<double> homed;
    for (const auto& volts : before) {
        for (const double tool : {-50.0, 50.0}) {
            float valves[4] = {volts[0], volts[1], volts[2], volts[3]};
            WriteValveVoltages(valves);
            lab::SetArmPose({0.0, 15.0, 75.0, tool});
            // Moved by changing commands, so that the friction holds.
            for (int k = 0; k < 50; ++k) {
                valves[0] = volts[0] + 0.001f * static_cast<float>(k % 2);
                WriteValveVoltages(valves);
                Sleep(20);
            }
            HomeMuscles();
            homed.push_back(lab::TakeSnapshot().toolDegrees);
        }
    }
    const auto [lowest, highest] = std::minmax_element(homed.begin(), homed.end());
    EXPECT_LT(*highest - *lowest, 0.05);
    EXPECT_NEAR(homed.front(), -2.27, 0.05);
}

TEST_F(HardwareSequencesTest, ResetClosesAllThreeCardsThenOpensThemInOrder) {
    CloseMotionCard();
    ClosePressureInput();
    CloseValveOutput();
    OpenMotionCard();
    OpenPressureInput();
    OpenValveOutput();
    const std::vector<lab::Call> byHand = lab::Journal();
    lab::ClearJournal();
    ResetCards();
    EXPECT_EQ(lab::Journal(), byHand);
    EXPECT_TRUE(lab::TakeSnapshot().systemInitialised);

    lab::ClearJournal();
    CloseCards();
    EXPECT_EQ(JournalFunctions(),
              (std::vector<std::string>{"EP_StopDACConv", "EP_CloseSystem", "DRV_DeviceClose",
                                        "DRV_EnableSyncAO", "DRV_DeviceClose"}));
}

}  // namespace
