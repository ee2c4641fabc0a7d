// Open-loop experiments: the schedule's grammar and its refusals, what a
// step and a ramp record, the card layers' guards seen in the recording,
// the stops that end an experiment early with what was recorded kept, the
// same bytes from the same state, and the joint steps that show the muscles'
// damping differ inflating and deflating.
#include "experiments/experiment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "experiments/characterise.h"
#include "experiments/recording.h"
#include "lab/lab.h"
#include "platform/stdio_file.h"
#include "tests/lab_files.h"
#include "tests/lab_session.h"

namespace {

using experiments::ParseSchedule;
using experiments::Schedule;

std::string Refusal(const std::string& text) {
    Schedule schedule;
    return ParseSchedule(text, schedule);
}

TEST(ExperimentSchedule, BreakpointsAndCommentsAreRead) {
    Schedule schedule;
    ASSERT_EQ(ParseSchedule("# a step\n\n0 valve1 5.0   # start\n100 valve1 6 ramp\n"
                            "50 servo2 on\n1e3 motor3 -0.25\n",
                            schedule),
              "");
    ASSERT_EQ(schedule.breakpoints.size(), 4u);
    EXPECT_EQ(schedule.lastMs, 1000.0);
    const experiments::Breakpoint& ramp = schedule.breakpoints[1];
    EXPECT_EQ(ramp.channel, 0);
    EXPECT_EQ(ramp.value, 6.0);
    EXPECT_TRUE(ramp.ramp);
    EXPECT_EQ(schedule.breakpoints[2].channel, 8);
    EXPECT_EQ(schedule.breakpoints[2].value, 1.0);
    EXPECT_EQ(schedule.breakpoints[3].channel, 6);
}

TEST(ExperimentSchedule, RefusalsNameTheLine) {
    EXPECT_EQ(Refusal("0 valve1 5\n10 valve5 5\n"),
              "line 2: channel 'valve5' is not one of valve1 .. valve4, motor1 .. motor3, "
              "servo1 .. servo3");
    EXPECT_EQ(Refusal("0 valve1 five\n"), "line 1: valve1 value 'five' is not a number of volts");
    EXPECT_EQ(Refusal("0 servo1 1\n"), "line 1: servo1 value '1' is not on or off");
    EXPECT_EQ(Refusal("-5 valve1 5\n"), "line 1: time '-5' is not a number of ms from 0 to 600000");
    EXPECT_EQ(Refusal("0 valve1\n"),
              "line 1: expected TIME_MS CHANNEL VALUE [ramp], found 2 words");
    EXPECT_EQ(Refusal("0 valve1 5 slowly\n"), "line 1: 'slowly' after the value is not ramp");
    EXPECT_EQ(Refusal("100 valve1 5 ramp\n"), "line 1: ramp needs an earlier breakpoint of valve1");
    EXPECT_EQ(Refusal("0 valve1 5\n200 valve1 6\n100 valve1 7\n"),
              "line 3: time 100 comes before the previous breakpoint of valve1");
    EXPECT_EQ(Refusal("# nothing\n"), "no breakpoints");
}

// A recording's lines after its header, as numbers.
std::vector<std::vector<double>> ReadRecording(const std::string& path) {
    std::vector<std::vector<double>> lines;
    platform::StdioFile file(std::fopen(path.c_str(), "r"));
    char text[1024];
    EXPECT_TRUE(file && std::fgets(text, sizeof text, file.get()));
    EXPECT_EQ(std::string(text), std::string(experiments::kRecordingHeader) + "\n");
    while (file && std::fgets(text, sizeof text, file.get())) {
        std::istringstream numbers(text);
        std::vector<double>& line = lines.emplace_back();
        for (double value; numbers >> value;) {
            line.push_back(value);
        }
        EXPECT_EQ(line.size(), std::size_t(experiments::kRecordingColumns));
    }
    return lines;
}

// Columns of a recording line.
enum { kTime = 0, kValve1 = 1, kMotor1 = 5, kPressure1 = 8, kEncoder1 = 12, kJoint = 17 };

class Experiment : public LabSessionTest {
  protected:
    experiments::ExperimentResult Run(const std::string& text, double durationMs = -1.0,
                                      runs::Redraw redraw = nullptr) {
        Schedule schedule;
        EXPECT_EQ(ParseSchedule(text, schedule), "");
        experiments::Settings settings;
        settings.recording = "recording.txt";
        settings.durationMs = durationMs;
        return experiments::RunExperiment(schedule, settings, redraw);
    }
};

TEST_F(Experiment, StepAndRampAreRecordedEveryPeriod) {
    const auto result =
        Run("0 valve1 2\n0 valve2 2\n0 valve3 2\n0 valve4 2\n"
            "200 valve1 6\n400 valve1 3 ramp\n");
    EXPECT_EQ(result.end, runs::RunEnd::kCompleted);
    EXPECT_TRUE(result.recordingWritten);
    const auto lines = ReadRecording("recording.txt");
    ASSERT_EQ(lines.size(), 21u);  // 0 to 400 ms every 20 ms
    EXPECT_EQ(lines[9][kTime], 180.0);
    EXPECT_EQ(lines[9][kValve1], 2.0);
    EXPECT_EQ(lines[10][kValve1], 6.0);
    EXPECT_EQ(lines[15][kValve1], 4.5);  // halfway down the ramp
    EXPECT_EQ(lines[20][kValve1], 3.0);
    EXPECT_EQ(lines[20][kValve1 + 1], 2.0);
    // The pressure rises after the step: read right after the command, it
    // lags by the muscle's filling.
    EXPECT_LT(lines[10][kPressure1], lines[11][kPressure1]);
    EXPECT_GT(lines[14][kPressure1], 3.0);
    // The joint turns towards muscle 1's pull.
    EXPECT_GT(lines[14][kJoint], lines[9][kJoint] + 5.0);
    EXPECT_EQ(lines[14][kJoint], (lines[14][kEncoder1 + 3] - lines[14][kEncoder1 + 4]) / 8.0);
}

TEST_F(Experiment, TheCardsGuardsApplyAndTheRecordingShowsWhatTheyKept) {
    testing::internal::CaptureStdout();
    Run("0 valve1 5\n0 servo1 on\n0 motor1 0.1\n40 valve1 9\n40 motor1 6\n80 valve1 4\n");
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("Too Maniac Pressure!!??"), std::string::npos);
    EXPECT_NE(printed.find("TOO Maniac Speed"), std::string::npos);
    const auto lines = ReadRecording("recording.txt");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[2][kValve1], 5.0);        // 9 V refused: the card kept 5 V
    EXPECT_FLOAT_EQ(lines[2][kMotor1], 0.1);  // 6 V refused: the card kept 0.1 V
    EXPECT_EQ(lines[4][kValve1], 4.0);
    // Afterwards the servos are off, the valves as they were left.
    EXPECT_FALSE(lab::TakeSnapshot().servoOn[0]);
    EXPECT_EQ(lab::TakeSnapshot().valveOutput[0], 4.0f);
}

int periodsUntilStop = 0;
void PressTheStopAfterAFewPeriods() {
    if (--periodsUntilStop == 0) {
        lab::PressEmergencyStop();
    }
}

// Joint steps up (every muscle inflating) and down (every muscle deflating)
// with the braid friction off: the muscles' damping, 2000 N s/m inflating
// and 1083 deflating, makes the damping ratios differ by more than 1.5
// times; with the same damping both ways the ratio is near 1.
TEST_F(Experiment, JointStepsUpAndDownSettleWithTheirOwnDampingRatios) {
    lab::plant::Parameters frictionless = lab::plant::BuiltIn();
    for (int i = 0; i < lab::plant::kSlipElements; ++i) {
        frictionless.slipContractingNewtonsPerBar[i] = 0.0;
        frictionless.slipStretchingNewtonsPerBar[i] = 0.0;
    }
    const auto ratio = [](const lab::plant::Parameters& plant) {
        ResetLabWithCardsOpen();
        lab::SetPlant(plant);
        std::string failure;
        const double value = experiments::JointStepDampingRatio(".", failure);
        EXPECT_EQ(failure, "");
        return value;
    };
    EXPECT_GE(ratio(frictionless), 1.5);
    lab::plant::Parameters even = frictionless;
    even.deflatingDampingNewtonSecondsPerMetre = even.inflatingDampingNewtonSecondsPerMetre;
    EXPECT_NEAR(ratio(even), 1.0, 0.15);
    lab::SetPlant(lab::plant::BuiltIn());
}

TEST_F(Experiment, StopsEndItWithTheRecordingKept) {
    periodsUntilStop = 7;
    auto result = Run("0 valve1 5\n10000 valve1 6\n", -1.0, PressTheStopAfterAFewPeriods);
    EXPECT_EQ(result.end, runs::RunEnd::kEmergencyStop);
    EXPECT_EQ(result.timing.samples, 7);
    EXPECT_TRUE(result.recordingWritten);
    EXPECT_EQ(ReadRecording("recording.txt").size(), 7u);
    lab::ReleaseEmergencyStop();

    // The carriage driven onto its lower switch, about a second away.
    result = Run("0 servo1 on\n0 motor1 -0.5\n", 5000.0);
    EXPECT_EQ(result.end, runs::RunEnd::kLimitSwitch);
    const auto lines = ReadRecording("recording.txt");
    EXPECT_GT(lines.size(), 40u);
    EXPECT_LT(lines.size(), 70u);
    EXPECT_LT(lines.back()[kEncoder1], -900.0);
}

TEST(ExperimentCommand, SameScheduleFromTheSameStateGivesTheSameBytes) {
    labtest::WriteText("steps.txt",
                       "0 valve1 4\n0 valve4 4\n100 valve1 6\n300 valve1 3 ramp\n"
                       "0 servo2 on\n100 motor2 0.05\n400 motor2 0\n");
    std::string recordings[2];
    for (int i = 0; i < 2; ++i) {
        const std::string dir = "lab" + std::to_string(i);
        std::filesystem::create_directories(dir + "/NeuralFiles");
        const labtest::ToolRun run =
            labtest::RunTool(LAB_RUN, "--dir " + dir + " experiment steps.txt --period-ms 5");
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out.substr(run.out.rfind("lab-run:")),
                  std::string("lab-run: experiment: 81 periods of 5 ms, completed; recorded in ") +
                      runfiles::kExperimentRecording.RelativePath() + "\n");
        recordings[i] = labtest::ReadText(runfiles::kExperimentRecording.In(dir));
    }
    EXPECT_GT(recordings[0].size(), 81u * 60u);
    EXPECT_EQ(recordings[0], recordings[1]);

    const labtest::ToolRun refused = labtest::RunTool(LAB_RUN, "experiment missing.txt");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "lab-run: missing.txt: missing\n");
    // A schedule beyond what is read whole is refused before it is read.
    labtest::WriteText("huge.txt", "");
    std::filesystem::resize_file("huge.txt", platform::kReadWholeLimit + 1);
    EXPECT_EQ(labtest::RunTool(LAB_RUN, "experiment huge.txt").err,
              "lab-run: huge.txt: holds 268435457 bytes, more than the 268435456 read whole\n");
    labtest::WriteText("bad.txt", "0 valve1 4\n10 valve9 1\n");
    EXPECT_EQ(labtest::RunTool(LAB_RUN, "experiment bad.txt").err,
              "lab-run: bad.txt: line 2: channel 'valve9' is not one of valve1 .. valve4, motor1 "
              ".. motor3, servo1 .. servo3\n");
    EXPECT_FALSE(std::filesystem::exists(lab::kArmStateFileName));  // nothing moved
}

}  // namespace

namespace {

// The figure of the data sheet named `name`.
double FigureOf(const std::string& sheet, const std::string& name) {
    const std::size_t at = sheet.find("\n" + name + " ");
    return at == std::string::npos ? NAN
                                   : std::strtod(sheet.c_str() + at + name.size() + 2, nullptr);
}

// The data sheet measures the plant it is given: the built-in one's flow-limited
// valves, noise and motors, and a valve of half the conductance as slower.
TEST(Characterise, TheDataSheetMeasuresThePlant) {
    const labtest::ToolRun run = labtest::RunTool(LAB_RUN, "characterise --out sheet");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string& sheet = run.out;
    EXPECT_NE(sheet.find("lab-run: characterise: 30 figures\n"), std::string::npos) << sheet;
    // Each figure beside its target and where that comes from.
    EXPECT_NE(sheet.find("\nfall to rise time ratio, 6 V step "), std::string::npos);
    EXPECT_NE(sheet.find(" 2.3 +- 0.3      sheet step table: exhaust/fill [D]\n"),
              std::string::npos)
        << sheet;
    // Filling through the valve's orifice: a large step is flow-limited, so it
    // takes several times longer than a small one, and venting to the
    // atmosphere is slower than filling from the supply.
    const double small_rise = FigureOf(sheet, "pressure rise time 10-90 %, 0.25 V step");
    const double large_rise = FigureOf(sheet, "pressure rise time 10-90 %, 6 V step");
    EXPECT_GT(large_rise, 3 * small_rise);
    EXPECT_GT(FigureOf(sheet, "pressure fall time 10-90 %, 6 V step"), 1.5 * large_rise);
    EXPECT_NEAR(FigureOf(sheet, "valve dead band"), 0.35, 0.01);
    EXPECT_NEAR(FigureOf(sheet, "valve gain above the dead band"), 0.8, 0.01);
    EXPECT_NEAR(FigureOf(sheet, "carriage motor speed per volt"), 2000, 60);
    EXPECT_NEAR(FigureOf(sheet, "elbow motor speed per volt"), 7000, 210);
    // The built-in plant's seeded pressure noise of 0.005 bar.
    EXPECT_NEAR(FigureOf(sheet, "pressure noise (standard deviation)"), 0.005, 0.001);
    // The braid friction's loop: as wide at 0.01 Hz as at 0.05 Hz, its
    // branches 31 kPa apart per muscle.
    EXPECT_GE(FigureOf(sheet, "loop width ratio, 0.01 Hz to 0.05 Hz sweep"), 0.5);
    EXPECT_NEAR(FigureOf(sheet, "muscle pressure gap at equal angle, 0.01 Hz sweep"), 31.2, 6.2);
    // Half a kilogram more on the tool moves the rest as the plant's static
    // balance predicts (the target column), within the joint encoders'
    // eighth of a degree.
    const std::string payload = "rest angle shift, 0.5 kg more on the tool";
    const double predicted =
        std::strtod(sheet.c_str() + sheet.find(" deg ", sheet.find("\n" + payload)) + 5, nullptr);
    EXPECT_NEAR(predicted, 3.67, 0.05);
    EXPECT_NEAR(FigureOf(sheet, payload), predicted, 0.2);
    EXPECT_GT(FigureOf(sheet, "joint swing from the arm's motion, below rest"), 1.0);
    EXPECT_GE(FigureOf(sheet, "damping ratio, positive to negative joint step"), 1.5);
    for (const char* recording :
         {"valve-steps", "dead-band", "sweep-slow", "sweep-fast", "motor-steps", "arm-motion",
          "rest", "rest-payload", "joint-steps"}) {
        EXPECT_TRUE(std::filesystem::exists(std::string("sheet/") + recording + ".txt"))
            << recording;
    }

    // Half the valve's conductance: the flow-limited step takes about twice as long.
    labtest::WriteText("virtual-lab.toml", "[valves]\nsonic_conductance_dm3_per_s_bar = 0.225\n");
    const std::string slower = labtest::RunTool(LAB_RUN, "characterise --out slower").out;
    EXPECT_NEAR(FigureOf(slower, "pressure rise time 10-90 %, 6 V step"), 2 * large_rise,
                0.2 * large_rise);
}

}  // namespace

// A figure the recordings could not give (NaN from a threshold never
// crossed) fails the data sheet, named, instead of printing as a value.
TEST(Characterise, AFigureThatIsNotANumberIsNamedAsUnmeasured) {
    std::vector<experiments::Figure> figures = {{"valve dead band", 0.35, "V", "-", ""},
                                                {"pressure rise time", NAN, "s", "-", ""},
                                                {"joint gain", INFINITY, "deg/bar", "-", ""}};
    EXPECT_EQ(experiments::UnmeasuredFigure(figures),
              "\"pressure rise time\" could not be measured");
    figures.erase(figures.begin() + 1, figures.end());
    EXPECT_EQ(experiments::UnmeasuredFigure(figures), "");
}
