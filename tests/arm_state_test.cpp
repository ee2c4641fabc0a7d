// The virtual arm between processes: a command starts where the last one
// left the arm, reset-arm puts it at rest, a damaged state is refused, the
// emergency stop stays pressed until released, and the same commands from
// the same state leave the same bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "cards/motion_card.h"
#include "lab/lab.h"
#include "platform/stdio_file.h"
#include "tests/lab_files.h"
#include "tests/lab_session.h"

namespace {

using labtest::RunTool;
using labtest::ToolRun;

std::string ReadFile(const std::string& path) {
    std::string text;
    platform::StdioFile file(std::fopen(path.c_str(), "r"));
    char buffer[4096];
    for (std::size_t n; file && (n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0;) {
        text.append(buffer, n);
    }
    return text;
}

void WriteFile(const std::string& path, const std::string& text) {
    platform::StdioFile file(std::fopen(path.c_str(), "w"));
    ASSERT_TRUE(file);
    std::fputs(text.c_str(), file.get());
}

// The carriage's count as the next process would read it first.
std::int32_t CarriageCountInNextProcess() {
    lab::Reset();
    EXPECT_EQ(lab::RestoreArm("."), "");
    OpenMotionCard();
    ReadEncoderCounts();
    return EncoderCounts[0];
}

using ArmState = LabSessionTest;

TEST_F(ArmState, SavedArmComesBackBitForBit) {
    lab::SetArmPose({12.5, 20.0, 70.0, 3.0});
    const double bar[4] = {1.0 / 3.0, 2.0, 3.5, 0.25};
    lab::SetMusclePressures(bar);
    MotorAxes[1].ServoOn();
    MotorAxes[1].SetVoltage(0.25f);
    Sleep(300);
    lab::PressEmergencyStop();
    const lab::Snapshot saved = lab::TakeSnapshot();
    ASSERT_EQ(lab::SaveArm("."), "");

    lab::Reset();
    EXPECT_EQ(lab::TakeSnapshot().axisPosition[0], 0.0);
    ASSERT_EQ(lab::RestoreArm("."), "");
    const lab::Snapshot restored = lab::TakeSnapshot();
    EXPECT_EQ(std::memcmp(restored.axisPosition, saved.axisPosition, sizeof saved.axisPosition), 0);
    EXPECT_EQ(std::memcmp(restored.axisVelocity, saved.axisVelocity, sizeof saved.axisVelocity), 0);
    EXPECT_EQ(std::memcmp(restored.pressureBar, saved.pressureBar, sizeof saved.pressureBar), 0);
    EXPECT_EQ(restored.toolDegrees, saved.toolDegrees);
    EXPECT_EQ(restored.toolDegreesPerSecond, saved.toolDegreesPerSecond);
    EXPECT_TRUE(restored.servoOn[1]);
    EXPECT_EQ(restored.dacOutput[1], saved.dacOutput[1]);
    EXPECT_EQ(CheckEmergencyStop(), 0);
    // The file is replaced whole: nothing is left beside it.
    EXPECT_FALSE(std::filesystem::exists(std::string(lab::kArmStateFileName) + ".new"));
}

TEST_F(ArmState, DamagedOrForeignStateIsRefusedAndChangesNothing) {
    ASSERT_EQ(lab::SaveArm("."), "");
    const std::string good = ReadFile(lab::kArmStateFileName);
    std::string damaged = good;
    damaged.replace(damaged.find("position_counts"), 15, "place");
    WriteFile(lab::kArmStateFileName, damaged);
    lab::SetArmPose({50.0, 15.0, 75.0, 0.0});
    EXPECT_EQ(lab::RestoreArm("."),
              "./virtual-arm.state: damaged: line 2 should hold position_counts and 3 "
              "numbers; lab-run reset-arm puts the arm back at rest");
    EXPECT_NEAR(lab::TakeSnapshot().axisPosition[0], 50.0 * 8.1487, 0.01);

    WriteFile(lab::kArmStateFileName, good.substr(0, good.size() / 2));
    EXPECT_NE(lab::RestoreArm(".").find(": damaged: line "), std::string::npos);
    WriteFile(lab::kArmStateFileName, "virtual-arm 0\n");
    EXPECT_EQ(lab::RestoreArm("."),
              "./virtual-arm.state: not a state of this virtual lab (first line 'virtual-arm "
              "0', expected 'virtual-arm 3'); lab-run reset-arm puts the arm back at rest");
}

TEST(ArmStateCommands, NextCommandStartsWhereTheLastLeftTheArm) {
    const ToolRun moved = RunTool(LAB_RUN, "manual --motor1 --motor-volts 0.3 --duration 1000");
    ASSERT_EQ(moved.status, 0) << moved.err;
    const std::int32_t after = CarriageCountInNextProcess();
    EXPECT_GT(after, 400);  // 0.3 V for a second at 2000 counts/s/V
    // A second command moves on from there.
    ASSERT_EQ(RunTool(LAB_RUN, "manual --motor1 --motor-volts 0.3 --duration 1000").status, 0);
    EXPECT_NEAR(CarriageCountInNextProcess(), 2 * after, 20);

    const ToolRun reset = RunTool(LAB_RUN, "reset-arm");
    EXPECT_EQ(reset.status, 0);
    EXPECT_EQ(reset.out, "lab-run: reset-arm: the arm is at rest\n");
    EXPECT_EQ(CarriageCountInNextProcess(), 0);
    lab::Reset();
}

TEST(ArmStateCommands, DamagedStateStopsACommandBeforeAnythingMoves) {
    WriteFile(lab::kArmStateFileName, "virtual-arm 3\nposition_counts 1 2\n");
    const ToolRun refused = RunTool(LAB_RUN, "manual --motor1");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err,
              "lab-run: ./virtual-arm.state: damaged: line 2 should hold position_counts and 3 "
              "numbers; lab-run reset-arm puts the arm back at rest\n");
    EXPECT_EQ(ReadFile(lab::kArmStateFileName), "virtual-arm 3\nposition_counts 1 2\n");
}

TEST(ArmStateCommands, PressedStopStaysPressedUntilReleased) {
    const ToolRun pressed = RunTool(LAB_ESTOP, "press --dir .");
    ASSERT_EQ(pressed.status, 0) << pressed.err;
    EXPECT_EQ(pressed.out, "lab-estop: pressed the emergency stop of the arm kept in .\n");
    const std::string stopped = RunTool(LAB_RUN, "home").out;
    EXPECT_EQ(stopped.substr(stopped.rfind("lab-run:")),
              "lab-run: home: stopped by the emergency stop\n");
    EXPECT_EQ(RunTool(LAB_RUN, "home").status, 1);  // still pressed
    ASSERT_EQ(RunTool(LAB_ESTOP, "release --dir .").status, 0);
    const ToolRun homed = RunTool(LAB_RUN, "home");
    EXPECT_EQ(homed.status, 0);
    EXPECT_EQ(homed.out.substr(homed.out.rfind("lab-run:")), "lab-run: home: at the home pose\n");
}

TEST(ArmStateCommands, SameCommandsFromTheSameStateLeaveTheSameBytes) {
    for (const char* dir : {"a", "b"}) {
        std::filesystem::create_directory(dir);
        const std::string options = std::string(" --dir ") + dir;
        ASSERT_EQ(RunTool(LAB_RUN, "manual --motor2 --muscle1 --duration 500" + options).status, 0);
        ASSERT_EQ(RunTool(LAB_RUN, "manual --motor3 --motor-volts -0.1" + options).status, 0);
    }
    const std::string a = ReadFile(std::string("a/") + lab::kArmStateFileName);
    EXPECT_GT(a.size(), 100u);
    EXPECT_EQ(a, ReadFile(std::string("b/") + lab::kArmStateFileName));
}

}  // namespace
