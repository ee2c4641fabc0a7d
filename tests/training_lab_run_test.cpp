#include "runfiles/catalogue.h"
// The training actions of lab-run: summary line and exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

struct Outcome {
    int status;
    std::string output;
};

Outcome LabRun(const std::string& action) {
    const std::string command = std::string(LAB_RUN) + " " + action + " 2>&1";
    Outcome outcome{-1, ""};
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return outcome;
    }
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        outcome.output.append(buffer, n);
    }
    const int status = pclose(pipe);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

// The last line of the output.
std::string Summary(const std::string& output) {
    const std::size_t end = output.find_last_not_of('\n');
    const std::size_t start = output.rfind('\n', end);
    return output.substr(start == std::string::npos ? 0 : start + 1, end - start);
}

TEST(TrainingLabRun, ActionsSayWhatTheyRecordedAndWhere) {
    ASSERT_EQ(std::system((std::string(MAKE_DEMO_NETWORKS) + " --dir . > /dev/null").c_str()), 0);
    const Outcome pressure = LabRun("pressure-training");
    EXPECT_EQ(pressure.status, 0);
    const std::string dir = std::filesystem::current_path().string();
    const auto& recording = runfiles::kValveRecording;
    EXPECT_EQ(Summary(pressure.output),
              "lab-run: pressure-training: 5200 samples, completed; wrote in " + dir + ": " +
                  recording.Path(1) + " " + recording.Path(2) + " " + recording.Path(3) + " " +
                  recording.Path(4))
        << pressure.output.substr(0, 200);

    // No velocity file: refused, exit status 1.
    const Outcome combined = LabRun("combined-training");
    EXPECT_EQ(combined.status, 1);
    EXPECT_EQ(Summary(combined.output), "lab-run: combined-training: 0 samples, not started");

    // A velocity file of text that is no record drives nothing.
    std::FILE* garbage = std::fopen(runfiles::kVelocityTrajectory.RelativePath(), "w");
    std::fputs("<html>not a trajectory</html>\n", garbage);
    std::fclose(garbage);
    for (const char* action : {"velocity-test", "combined-training"}) {
        const Outcome refused = LabRun(action);
        EXPECT_EQ(refused.status, 1) << action;
        EXPECT_NE(refused.output.find((std::string("not started: ./") +
                                       runfiles::kVelocityTrajectory.RelativePath() +
                                       " gives no sample to run (1 record")),
                  std::string::npos)
            << refused.output;
        EXPECT_EQ(Summary(refused.output),
                  std::string("lab-run: ") + action + ": 0 samples, not started");
    }

    // The motors creep at a zero command until their offsets are found: one
    // step a second, two lines each, and the summary counts those seconds.
    const Outcome calibrate = LabRun("calibrate");
    EXPECT_EQ(calibrate.status, 0);
    const std::size_t begin = calibrate.output.find("CALIBRATION BEGIN");
    const std::size_t end = calibrate.output.find("CALIBRATION END");
    ASSERT_NE(end, std::string::npos);
    const std::string steps = calibrate.output.substr(begin, end - begin);
    const long lines = std::count(steps.begin(), steps.end(), '\n') - 1;  // less BEGIN's own
    EXPECT_GT(lines, 2);
    EXPECT_EQ(Summary(calibrate.output),
              "lab-run: calibrate: " + std::to_string(lines / 2) + " s, completed");
}

}  // namespace
