// The card layers as the libraries see them, through the lab's call journal.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cards/card_session.h"
#include "cards/daq_card.h"
#include "cards/motion_card.h"
#include "lab/lab.h"
#include "lab/lab_state.h"
#include "lab/plant_file.h"
#include "platform/clock.h"
#include "runs/runs.h"
#include "tests/lab_session.h"

namespace {

// Little-endian record image built field by field.
class Bytes {
  public:
    explicit Bytes(std::size_t size) : bytes_(size, 0) {}
    template <class T>
    Bytes& Put(std::size_t offset, T value) {
        std::memcpy(bytes_.data() + offset, &value, sizeof value);
        return *this;
    }
    const std::vector<std::uint8_t>& data() const { return bytes_; }

  private:
    std::vector<std::uint8_t> bytes_;
};

using CardsTest = JournalledLabTest;

TEST_F(CardsTest, AxisSendsItsThreeRecordsInOrder) {
    EXPECT_GE(lab::State().configurationsReceived[4], 1);  // the static axes, before main

    MotorAxis axis(3);
    const std::vector<lab::Call>& journal = lab::Journal();
    ASSERT_EQ(JournalFunctions(), (std::vector<std::string>{"EP_SetMacParam", "EP_SetHomeConfig",
                                                            "EP_SetEncoderConfig"}));
    Bytes machine(72);
    machine.Put<std::int16_t>(0, 1).Put<std::int16_t>(2, 300).Put<std::int32_t>(4, 4096);
    machine.Put(8, 12.0).Put(16, 1.0).Put(24, 50000.0).Put(32, -50000.0).Put(40, 5.0).Put(48, 5.0);
    machine.Put<std::int16_t>(56, 1).Put<std::int16_t>(58, 100).Put<std::int16_t>(64, 1);
    machine.Put<std::int16_t>(66, 1);
    Bytes home(48);
    home.Put<std::int16_t>(0, 13).Put<std::int16_t>(2, 1).Put<std::int16_t>(4, 1);
    home.Put(16, 300.0).Put(24, 0.3).Put(32, 0.2).Put(40, 5.0);
    Bytes encoder(12);
    encoder.Put<std::int16_t>(10, 1);
    EXPECT_EQ(journal[0].record, machine.data());
    EXPECT_EQ(journal[1].record, home.data());
    EXPECT_EQ(journal[2].record, encoder.data());
    for (const lab::Call& call : journal) {
        EXPECT_EQ(call.arguments, (std::vector<double>{3, 1}));
    }
}

TEST_F(CardsTest, CardResetClosesThenOpensInOrderAndAnnouncesEachOpen) {
    testing::internal::CaptureStdout();
    ResetCards();
    ResetCards();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Initialization is successfull !\n\nInitialization is successfull !\n\n");
    const std::vector<std::string> once = {
        "EP_StopDACConv",        "EP_CloseSystem",    "DRV_DeviceClose",   "DRV_EnableSyncAO",
        "DRV_DeviceClose",       "EP_SetGroupConfig", "EP_SetSysMaxSpeed", "EP_InitSystem",
        "EP_SetDACClockDivider", "EP_StartDACConv",   "DRV_DeviceOpen",    "DRV_DeviceGetFeatures",
        "DRV_AIGetConfig",       "DRV_MAIConfig",     "DRV_DeviceOpen",    "DRV_EnableSyncAO"};
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(JournalFunctions(), twice);

    const std::vector<lab::Call>& journal = lab::Journal();
    for (const lab::Call& call : journal) {
        EXPECT_EQ(call.result, 0) << call.function;
    }
    std::vector<std::int32_t> words(576, 0);
    for (int word = 1; word < 72; ++word) {
        words[word] = -1;
    }
    const std::int32_t group[] = {1, 0, 1, 2, 3, 4, -1};
    std::copy(std::begin(group), std::end(group), words.begin() + 72);
    std::vector<std::uint8_t> expected(576 * 4);
    std::memcpy(expected.data(), words.data(), expected.size());
    EXPECT_EQ(journal[5].record, expected);
    EXPECT_EQ(journal[6].arguments, std::vector<double>{1000.0});
    EXPECT_EQ(journal[7].arguments, std::vector<double>{5});
    EXPECT_EQ(journal[8].arguments, (std::vector<double>{10, 1}));
    EXPECT_EQ(journal[10].arguments, std::vector<double>{0});  // input device
    EXPECT_EQ(journal[14].arguments, std::vector<double>{1});  // output device
    EXPECT_EQ(journal[15].arguments[1], 1.0);                  // synchronous output on
    EXPECT_EQ(journal[3].arguments[1], 0.0);                   // and off on close
    // Multi-channel input: 12 channels from 0.
    EXPECT_EQ(journal[13].record[0], 12);
    EXPECT_EQ(journal[13].record[2], 0);
}

TEST_F(CardsTest, SetVoltageCorrectsGuardsAndSkipsEncoderOnlyAxes) {
    const struct {
        int axis;
        float volts;
        float written;
    } writes[] = {{0, 0.0f, -0.0082f}, {1, 0.0f, -0.0091f},         {2, 0.0f, -0.0052f},
                  {2, 0.3f, -0.3052f}, {0, 4.99f, 4.99f - 0.0082f}, {2, -1.0f, 1.0f - 0.0052f}};
    for (const auto& write : writes) {
        lab::ClearJournal();
        MotorAxes[write.axis].SetVoltage(write.volts);
        ASSERT_EQ(lab::Journal().size(), 1u);
        EXPECT_EQ(lab::Journal()[0].arguments,
                  (std::vector<double>{write.written, double(write.axis), 1}));
    }

    lab::ClearJournal();
    testing::internal::CaptureStdout();
    for (int axis = 0; axis < 5; ++axis) {
        MotorAxes[axis].SetVoltage(5.0f);
        MotorAxes[axis].SetVoltage(-5.0f);
    }
    MotorAxes[3].SetVoltage(1.0f);
    MotorAxes[4].SetVoltage(1.0f);
    MotorAxes[0].SetVoltage(std::nanf(""));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    testing::internal::CaptureStdout();
    MotorAxes[1].SetVoltage(5.01f);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "TOO Maniac Speed\tssssssssssssssssssssssssssssssss!!!!!\n");
    EXPECT_TRUE(lab::Journal().empty());
    EXPECT_EQ(lab::TakeSnapshot().dacOutput[1], -0.0091f);  // the previous output stays
}

TEST_F(CardsTest, ServoSwitching) {
    MotorAxes[2].ServoOn();
    MotorAxes[2].ServoOff();
    ASSERT_EQ(lab::Journal().size(), 2u);
    EXPECT_EQ(lab::Journal()[0].arguments, (std::vector<double>{1, 2, 1}));
    EXPECT_EQ(lab::Journal()[1].arguments, (std::vector<double>{0, 2, 1}));
}

// The four latched values, or nothing, and whether the sync write followed.
std::vector<double> LatchedVoltages() {
    std::vector<double> latched;
    for (const lab::Call& call : lab::Journal()) {
        if (std::string(call.function) == "DRV_AOVoltageOut") {
            float volts;
            std::memcpy(&volts, call.record.data() + 4, sizeof volts);
            EXPECT_EQ(call.record[0], latched.size());  // channels in order
            latched.push_back(volts);
        }
    }
    EXPECT_EQ(std::string(lab::Journal().back().function), "DRV_WriteSyncAO");
    return latched;
}

TEST_F(CardsTest, ValveWritesFloorRefuseAndAlwaysWriteTogether) {
    float lowFirst[4] = {-1.0f, 2.0f, 3.0f, 4.0f};
    WriteValveVoltages(lowFirst);
    EXPECT_EQ(LatchedVoltages(), (std::vector<double>{0.0, 2.0, 3.0, 4.0}));
    EXPECT_EQ(lowFirst[0], 0.0f);

    lab::ClearJournal();
    float atCeiling[4] = {8.0f, 8.0f, 8.0f, 8.0f};
    WriteValveVoltages(atCeiling);
    EXPECT_EQ(LatchedVoltages(), (std::vector<double>{8.0, 8.0, 8.0, 8.0}));
    EXPECT_EQ(lab::TakeSnapshot().valveOutput[3], 8.0f);

    const std::string refusal =
        "Too Maniac Pressure!!??ppppppppppppppppppppppppppppppppppppppppppppp\n";
    lab::ClearJournal();
    float oneHigh[4] = {1.0f, 8.5f, 1.0f, 1.0f};
    testing::internal::CaptureStdout();
    WriteValveVoltages(oneHigh);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), refusal);
    EXPECT_TRUE(LatchedVoltages().empty());
    EXPECT_EQ(lab::TakeSnapshot().valveOutput[0], 8.0f);  // the previous values go out again

    lab::ClearJournal();
    float clampedThenRefused[4] = {-2.0f, 9.0f, 0.0f, 0.0f};
    testing::internal::CaptureStdout();
    WriteValveVoltages(clampedThenRefused);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), refusal);
    EXPECT_TRUE(LatchedVoltages().empty());
    EXPECT_EQ(clampedThenRefused[0], 0.0f);
}

TEST_F(CardsTest, ElbowCountIsNegatedForControlAndRawForAngles) {
    // The vented tool resting on its end stop, so that the counts stay as set.
    lab::SetArmPose({0.0, 15.0, 75.0, 60.0});
    const std::int32_t counts[5] = {1408, 153600 / 4, 153600 / 8, 81, -40};
    lab::SetEncoderCounts(counts);
    ReadEncoderCounts();
    EXPECT_EQ(EncoderCounts[2], -153600 / 8);
    EXPECT_EQ(JournalFunctions(), std::vector<std::string>(5, "EP_GetENCCounter"));
    for (int channel = 0; channel < 5; ++channel) {
        EXPECT_EQ(lab::Journal()[channel].arguments, (std::vector<double>{double(channel), 1}));
    }
    float angles[5];
    ReadJointAngles(angles);
    EXPECT_EQ(EncoderCounts[2], 153600 / 8);
    EXPECT_EQ(angles[0], 180.0f);
    EXPECT_EQ(angles[1], 105.0f);
    EXPECT_EQ(angles[2], 30.0f);
    EXPECT_EQ(angles[3], 15.125f);  // counts divided as reals, not integers
    EXPECT_EQ(angles[4], 5.125f);

    const std::int32_t zeros[5] = {};
    lab::SetEncoderCounts(zeros);
    ReadJointAngles(angles);
    EXPECT_EQ(std::vector<float>(angles, angles + 5), (std::vector<float>{0, 15, 75, 0, 0}));
}

TEST_F(CardsTest, AnyNonZeroSwitchStateCountsAsActive) {
    EXPECT_EQ(CheckLimitSwitches(), 1);
    lab::HoldLimitSwitch(2, 1, 2);
    lab::ClearJournal();
    EXPECT_EQ(CheckLimitSwitches(), 0);
    EXPECT_EQ(LimitStatus[5], 2);
    const std::vector<std::string> stop = {
        "EP_GetLimitStatus", "EP_GetLimitStatus", "EP_GetLimitStatus", "EP_GetLimitStatus",
        "EP_GetLimitStatus", "EP_GetLimitStatus", "EP_AbortMotion",    "EP_SetServoOn",
        "EP_SetServoOn",     "EP_SetServoOn"};
    EXPECT_EQ(JournalFunctions(), stop);
    const std::vector<lab::Call>& journal = lab::Journal();
    EXPECT_EQ(journal[1].arguments, (std::vector<double>{1, 0, 1}));  // switch 1 of axis 0
    EXPECT_EQ(journal[2].arguments, (std::vector<double>{0, 1, 1}));
    EXPECT_EQ(journal[6].arguments, std::vector<double>{0});
    EXPECT_EQ(journal[9].arguments, (std::vector<double>{0, 2, 1}));
}

TEST_F(CardsTest, PressuresConvertFromSensorVoltsInChannelOrder) {
    const double bar[4] = {1.0, 2.0, 3.0, 0.0};
    lab::SetSensorNoise(0.0);  // the conversion alone
    lab::SetMusclePressures(bar);
    float pressures[12];
    ReadPressures(pressures);
    EXPECT_EQ(pressures[0], 1.0f);
    EXPECT_NEAR(pressures[1], 2.0f, 1e-6);
    EXPECT_NEAR(pressures[2], 3.0f, 1e-6);
    EXPECT_NEAR(pressures[3], 0.0f, 1e-6);
    EXPECT_EQ(pressures[11], -3.9067714f);
    ASSERT_EQ(lab::Journal().size(), 1u);
    EXPECT_EQ(lab::Journal()[0].outputs.size(), 12u);
    EXPECT_EQ(lab::Journal()[0].record[0], 12);  // channel count, then trigger mode 0
    EXPECT_EQ(lab::Journal()[0].record[16], 0);
}

}  // namespace

namespace {

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
}

// What the console reads and keeps through the card library's session: with
// the virtual lab, the plant file and the arm the last command left.
using CardSession = LabSessionTest;

TEST_F(CardSession, KeepsTheArmAndSaysWhatItRefused) {
    std::filesystem::create_directory("day");
    lab::SetArmPose({20.0, 30.0, 60.0, 5.0});
    const lab::Snapshot kept = lab::TakeSnapshot();
    EXPECT_EQ(cards::EndSession("day"), "");
    lab::Reset();
    EXPECT_EQ(cards::BeginSession("day"), "");
    EXPECT_NEAR(lab::TakeSnapshot().axisPosition[1], kept.axisPosition[1], 1.0);

    WriteText("day/" + std::string(lab::kPlantFileName), "[tool]\nmass_kg = 'heavy'\n");
    WriteText("day/" + std::string(lab::kArmStateFileName), "not a state\n");
    const std::string said = cards::BeginSession("day");
    EXPECT_NE(said.find("mass_kg = 'heavy' is not a number"), std::string::npos) << said;
    EXPECT_NE(said.find("\nThe virtual lab keeps its built-in plant.\n"), std::string::npos);
    EXPECT_TRUE(said.ends_with("\nThe virtual arm starts at rest.\n")) << said;
}

}  // namespace
