// Every helper program as a user meets it: a wrong option is named on
// standard error with exit status 2 and nothing written; --help goes to
// standard output; an output directory is created only with a word.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "runfiles/catalogue.h"
#include "tests/lab_files.h"

namespace {

using labtest::RunTool;
using labtest::ToolRun;

std::string NameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

const char* const kTools[] = {MAKE_ARM_MESH,  MODEL_INFO, MAKE_DEMO_NETWORKS,
                              MAKE_DEMO_DATA, LAB_ESTOP,  TRAJGEN};

TEST(Tools, UnknownOptionsAreNamedAndNothingIsWritten) {
    for (const std::string tool : kTools) {
        const std::string name = NameOf(tool);
        const ToolRun run = RunTool(tool, "--bogus out");
        EXPECT_EQ(run.status, 2) << name;
        EXPECT_EQ(run.out, "") << name;
        EXPECT_EQ(run.err, name + ": unknown option '--bogus'\nTry '" + name + " --help'.\n");
        EXPECT_TRUE(std::filesystem::is_empty(".")) << name;

        const ToolRun help = RunTool(tool, "--help");
        EXPECT_EQ(help.status, 0) << name;
        EXPECT_NE(help.out.find(name), std::string::npos) << name;
        EXPECT_EQ(help.err, "") << name;
    }
}

TEST(Tools, AnUnknownOptionIsNamedBeforeTheArgumentsItLeftMissing) {
    const ToolRun run = RunTool(RUN_REPORT, "--bogus");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "run-report: unknown option '--bogus'\nTry 'run-report --help'.\n");
    EXPECT_EQ(RunTool(RUN_REPORT, "").err, "run-report: missing PATH\nTry 'run-report --help'.\n");
}

TEST(Tools, BadValuesSayWhatIsAllowed) {
    EXPECT_EQ(RunTool(MAKE_DEMO_DATA, "--samples 3 .").err,
              "make-demo-data: samples '3' is not a whole number from 6 to 1000000\n"
              "Try 'make-demo-data --help'.\n");
    EXPECT_EQ(RunTool(MAKE_DEMO_NETWORKS, "--seed -1").err,
              "make-demo-networks: seed '-1' is not a whole number from 0 to 4294967295\n"
              "Try 'make-demo-networks --help'.\n");
    EXPECT_EQ(RunTool(LAB_ESTOP, "push").err,
              "lab-estop: action 'push' is not one of press, release\n"
              "Try 'lab-estop --help'.\n");
    EXPECT_EQ(RunTool(MODEL_INFO, "").err, "model-info: missing FILE\nTry 'model-info --help'.\n");
    EXPECT_TRUE(std::filesystem::is_empty("."));
}

// Each way an argument can be wrong, with the reason the user reads.
TEST(Tools, EachMistakeNamesTheOptionAndWhatIsAllowed) {
    const std::pair<const char*, std::string> cases[] = {
        {"--frequency abc", "trajgen: frequency 'abc' is not a number from 0 to 15"},
        {"--frequency 16", "trajgen: frequency '16' is not a number from 0 to 15"},
        {"--frequency nan", "trajgen: frequency 'nan' is not a number from 0 to 15"},
        {"--amplitude=-201", "trajgen: amplitude '-201' is not a number from -200 to 200"},
        {"--dir", "trajgen: --dir needs a value"},
        {"--sine here", "trajgen: unexpected argument 'here'"},
    };
    for (const auto& [arguments, message] : cases) {
        const ToolRun run = RunTool(TRAJGEN, arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_EQ(run.err, message + "\nTry 'trajgen --help'.\n");
        EXPECT_EQ(run.out, "") << arguments;
    }
    EXPECT_EQ(RunTool(MAKE_DEMO_DATA, "--samples 7.5 .").err,
              "make-demo-data: samples '7.5' is not a whole number from 6 to 1000000\n"
              "Try 'make-demo-data --help'.\n");
    EXPECT_EQ(RunTool(MODEL_INFO, "a.3ds b.3ds").err,
              "model-info: unexpected argument 'b.3ds'\nTry 'model-info --help'.\n");
    EXPECT_EQ(RunTool(LAB_ESTOP, "").err,
              "lab-estop: an action is required: press, release\nTry 'lab-estop --help'.\n");
    EXPECT_EQ(RunTool(LAB_ESTOP, "press 12x").err,
              "lab-estop: PID '12x' is not a positive whole number\nTry 'lab-estop --help'.\n");
    EXPECT_EQ(RunTool(LAB_ESTOP, "press 12 13").err,
              "lab-estop: unexpected argument '13'\nTry 'lab-estop --help'.\n");
    EXPECT_TRUE(std::filesystem::is_empty("."));
}

// lab-run's actions are words of their own, each with what it may take.
TEST(Tools, LabRunNamesItsActions) {
    const std::pair<const char*, std::string> cases[] = {
        {"fly",
         "action 'fly' is not one of plant, reset-arm, home, hybrid, neural, manual, "
         "calibrate, motor-training, velocity-test, pressure-training, "
         "combined-training, experiment, characterise"},
        {"experiment", "experiment needs a SCHEDULE file"},
        {"home extra", "unexpected argument 'extra'"},
        {"hybrid neural", "unexpected argument 'neural'"},
        {"neural --fuzzy-vector vector.txt", "--fuzzy-vector goes with the hybrid action only"},
        {"manual --duration 4000", "duration '4000' is not a number from 0 to 3000"},
    };
    for (const auto& [arguments, message] : cases) {
        const ToolRun run = RunTool(LAB_RUN, arguments);
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_EQ(run.err, "lab-run: " + message + "\nTry 'lab-run --help'.\n");
    }
    EXPECT_TRUE(std::filesystem::is_empty("."));
}

// Options go before or after the positionals, as --name value or
// --name=value, and numbers are decimal whatever their leading zeros.
TEST(Tools, OptionsInAnyOrderAndDecimalNumbers) {
    const ToolRun data = RunTool(MAKE_DEMO_DATA, "demo --samples=010 --seed 2");
    EXPECT_EQ(data.status, 0) << data.err;
    std::ifstream log(std::string("demo/arbiter/") + runfiles::kRunLog.Name());
    std::string line;
    int lines = 0;
    while (std::getline(log, line)) {
        ++lines;
    }
    EXPECT_EQ(lines, 10);
    const ToolRun help = RunTool(TRAJGEN, "--help --bogus");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: trajgen ", 0), 0u);
}

TEST(Tools, OutputDirectoriesAreCreatedWithAWord) {
    const ToolRun mesh = RunTool(MAKE_ARM_MESH, "made/arm.3ds");
    EXPECT_EQ(mesh.status, 0);
    EXPECT_EQ(mesh.out.substr(0, mesh.out.find('\n')), "make-arm-mesh: created made");
    EXPECT_TRUE(std::filesystem::exists("made/arm.3ds"));

    const ToolRun data = RunTool(MAKE_DEMO_DATA, "--samples 6 demo");
    EXPECT_EQ(data.status, 0);
    EXPECT_EQ(data.out,
              "make-demo-data: created demo/NeuralFiles/WeightsPONNET\n"
              "make-demo-data: created demo/arbiter\n");

    // Once they exist, nothing is said.
    EXPECT_EQ(RunTool(MAKE_DEMO_DATA, "--samples 6 demo").out, "");
    EXPECT_EQ(RunTool(TRAJGEN, "--dir made").out, "trajgen: created made/NeuralFiles\n");
    EXPECT_EQ(RunTool(TRAJGEN, "--dir made").out, "");
}

TEST(Tools, TrajgenNamesEachFileItCouldNotWrite) {
    const std::string terms = runfiles::kDynamicTerms.In("lab");
    const std::string velocities = runfiles::kVelocityTrajectory.In("lab");
    std::filesystem::create_directories(terms);
    std::filesystem::create_symlink("/dev/full", velocities);
    const ToolRun run = RunTool(TRAJGEN, "--dir lab");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "trajgen: " + velocities + " was not written and closed cleanly\n" +
                           "trajgen: " + terms + " was not written and closed cleanly\n");
}

// The trainer reads its recordings line by line: a line short a column is
// named with its real line number even when a later line's extra number
// would make the count come out even, and a run log's counts are held to
// an int as the recordings' are.
TEST(Tools, TrainNetworksNamesTheLineOfARecordingThatIsNotAligned) {
    std::filesystem::create_directories("NeuralFiles");
    for (int m = 1; m <= 4; ++m) {
        std::string text;
        for (int line = 1; line <= 100; ++line) {
            text += m == 2 && line == 5 ? "1 2\n" : m == 2 && line == 9 ? "1 2 3 4\n" : "1 2 3\n";
        }
        labtest::WriteText(runfiles::kValveRecording.Path(m), text);
    }
    const ToolRun valves = RunTool(TRAIN_NETWORKS, "valves");
    EXPECT_EQ(valves.status, 1);
    EXPECT_NE(valves.out.find(runfiles::kValveRecording.Path(2) +
                              ": line 5 holds 2 numbers, expected 3\n"),
              std::string::npos)
        << valves.out;

    std::string log;
    for (int line = 1; line <= 50; ++line) {
        log += std::to_string(line) + " 1 1 1 1 2 2 2 2 5 5 5 5 0 0 0 " +
               (line == 3 ? "3000000000" : "0") + " 0\n";
    }
    labtest::WriteText("run.txt", log);
    const ToolRun counts = RunTool(TRAIN_NETWORKS, "pressure --log run.txt");
    EXPECT_EQ(counts.status, 1);
    EXPECT_NE(counts.out.find("run.txt: line 3 holds a count beyond an int\n"), std::string::npos)
        << counts.out;

    // A megabyte of garbage on a line is not copied to the output.
    labtest::WriteText("run.txt", "1 " + std::string(1 << 20, '#') + "\n");
    const ToolRun garbage = RunTool(TRAIN_NETWORKS, "pressure --log run.txt");
    EXPECT_EQ(garbage.status, 1);
    EXPECT_LT(garbage.out.size() + garbage.err.size(), 1000u);
    EXPECT_NE(garbage.out.find("run.txt: line 1 holds 2 numbers, expected 18"), std::string::npos)
        << garbage.out;
}

}  // namespace
