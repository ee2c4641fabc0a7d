#include "trajectory/trajectory.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "runfiles/catalogue.h"
#include "runfiles/run_files.h"

namespace {

namespace fs = std::filesystem;
using Table = std::vector<std::vector<double>>;

constexpr const char* kNotOpened = "Dosya Ac\375lmad\375\n";

std::string Text(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One row of numbers per line.
Table Rows(const char* path) {
    Table rows;
    std::istringstream lines(Text(path));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        rows.emplace_back();
        for (double v; fields >> v;) {
            rows.back().push_back(v);
        }
    }
    return rows;
}

// The wave value that a line of the encoder file stands for, found by
// forward kinematics of the shoulder and elbow counts (the arm-plane point is
// (417.28 - w, 491.8098)); y receives the plane's second coordinate.
double WaveOf(const std::vector<double>& encoderRow, double* y = nullptr) {
    const double pi = 3.141592653589;
    const double th2 = (15 + encoderRow[1] * 360 / 153600) * pi / 180;
    const double th3 = (75 + encoderRow[2] * 360 / 153600) * pi / 180;
    if (y) {
        *y = 432 * std::sin(th2) + 380 * std::sin(th2 + th3);
    }
    return 417.28 - (432 * std::cos(th2) + 380 * std::cos(th2 + th3));
}

// Each test works in a directory of its own, so that tests may run in parallel.
class Trajectory : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::current_path() / testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "NeuralFiles");
        fs::current_path(dir_);
    }
    void TearDown() override { fs::current_path(dir_.parent_path()); }

    static bool Generate(int sine, int ramp, int step, float amplitude = 100,
                         float frequency = 0.5) {
        return GenerateTrajectory(&sine, &ramp, &step, &amplitude, &frequency);
    }
    fs::path dir_;
};

TEST_F(Trajectory, LineCountsAndCarriageColumns) {
    for (int wave : {0, 1}) {
        ASSERT_TRUE(Generate(wave, 0, 0));
        const Table velocities = Rows(kVelocityTrajectoryFile);
        const Table counts = Rows(kEncoderTrajectoryFile);
        ASSERT_EQ(velocities.size(), 1331u);
        ASSERT_EQ(counts.size(), 1332u);
        EXPECT_EQ(Rows(kDynamicTermsFile).size(), 1329u);
        for (size_t i = 0; i < velocities.size(); ++i) {
            ASSERT_EQ(velocities[i][0], wave ? 0.244462 : 0.0);
            // Shoulder and elbow: the change of the desired count per ms.
            ASSERT_NEAR(velocities[i][1], (counts[i + 1][1] - counts[i][1]) / 20, 1e-6);
            ASSERT_NEAR(velocities[i][2], (counts[i + 1][2] - counts[i][2]) / 20, 1e-6);
        }
        EXPECT_EQ(counts[0][0], 0.0);
        for (size_t i = 1; i < counts.size(); ++i) {
            ASSERT_NEAR(counts[i][0] - counts[i - 1][0], 4.889240, 2e-6) << i;
        }
    }
}

TEST_F(Trajectory, NoWaveHoldsTheHomePose) {
    ASSERT_TRUE(Generate(0, 0, 0));
    for (const auto& row : Rows(kEncoderTrajectoryFile)) {
        ASSERT_NEAR(row[1], -0.0016, 5e-5);
        ASSERT_NEAR(row[2], -0.0007, 5e-5);
    }
    for (const auto& row : Rows(kDynamicTermsFile)) {
        for (int column = 3; column <= 14; ++column) {
            if (column != 13) {
                ASSERT_EQ(row[column - 1], 0.0) << column;
            }
        }
        ASSERT_EQ(row[12], 1.0);  // sin(th2 + th3 + th1) with th1 = pi/2 - th2 - th3
    }
}

TEST_F(Trajectory, SineWithPanelDefaultsPeaksAtHundred) {
    ASSERT_TRUE(Generate(1, 0, 0));
    const Table counts = Rows(kEncoderTrajectoryFile);
    EXPECT_NEAR(counts[25][1], 732.29, 0.005);
    EXPECT_NEAR(counts[25][2], 5542.10, 0.005);
    for (int peak : {25, 75, 125, 1325}) {
        double y = 0;
        EXPECT_NEAR(WaveOf(counts[peak], &y), peak % 100 == 25 ? 100 : -100, 1e-6) << peak;
        EXPECT_NEAR(y, 491.8098, 1e-6);
    }
}

TEST_F(Trajectory, StepLevelsAndTheirShortLastFalls) {
    ASSERT_TRUE(Generate(0, 0, 1));
    const Table counts = Rows(kEncoderTrajectoryFile);
    const auto expectLevel = [&](int from, int to, double level) {
        for (int i = from; i <= to; ++i) {
            ASSERT_NEAR(WaveOf(counts[i]), level, 1e-6) << i;
        }
    };
    expectLevel(0, 190, 0);
    expectLevel(200, 390, 40);
    expectLevel(400, 590, 80);
    expectLevel(600, 790, 120);
    expectLevel(800, 990, 80);
    expectLevel(999, 1190, 44);  // 9 falls of 4
    expectLevel(1199, 1331, 8);  // again 9, and it never returns to 0
    EXPECT_NEAR(WaveOf(counts[195]), 20, 1e-6);
}

// The ramp block runs last, so with the sine also selected the ramp is written.
TEST_F(Trajectory, RampAddsInSinglePrecisionAndOverwritesSine) {
    ASSERT_TRUE(Generate(0, 1, 0));
    const Table counts = Rows(kEncoderTrajectoryFile);
    const double tolerance = 2e-5;  // well below the 1.3e-4 that exact sums would differ by
    EXPECT_NEAR(WaveOf(counts[0]), 0.7, tolerance);
    EXPECT_NEAR(WaveOf(counts[150]), 105.69987, tolerance);
    EXPECT_NEAR(WaveOf(counts[450]), -104.29987, tolerance);
    EXPECT_NEAR(WaveOf(counts[750]), 105.69987, tolerance);
    EXPECT_NEAR(WaveOf(counts[1050]), -104.29987, tolerance);
    EXPECT_NEAR(WaveOf(counts[1331]), 92.39993, tolerance);

    const std::string rampVelocities = Text(kVelocityTrajectoryFile);
    const std::string rampCounts = Text(kEncoderTrajectoryFile);
    const std::string rampTerms = Text(kDynamicTermsFile);
    ASSERT_TRUE(Generate(1, 1, 0));
    EXPECT_EQ(Text(kVelocityTrajectoryFile), rampVelocities);
    EXPECT_EQ(Text(kEncoderTrajectoryFile), rampCounts);
    EXPECT_EQ(Text(kDynamicTermsFile), rampTerms);
}

// Line k - 1 of the dynamic-terms file describes sample k: its terms agree
// with those formed from the joint angles of the encoder file's lines k - 1,
// k and k + 1.
TEST_F(Trajectory, DynamicTermsDescribeTheSampleOfTheirLine) {
    ASSERT_TRUE(Generate(1, 0, 0));
    const Table counts = Rows(kEncoderTrajectoryFile);
    const Table terms = Rows(kDynamicTermsFile);
    const double pi = 3.141592653589;
    struct Angles {
        double th1, th2, th3;
    };
    const auto anglesOf = [&](size_t i) {
        const double th2 = (15 + counts[i][1] * 360 / 153600) * pi / 180;
        const double th3 = (75 + counts[i][2] * 360 / 153600) * pi / 180;
        return Angles{pi / 2 - th2 - th3, th2, th3};
    };
    for (size_t k = 1; k <= terms.size(); ++k) {
        const Angles before = anglesOf(k - 1), at = anglesOf(k), after = anglesOf(k + 1);
        const double w2 = (after.th2 - at.th2) * 50, w3 = (after.th3 - at.th3) * 50;
        const double a1 = (after.th1 - 2 * at.th1 + before.th1) * 2500;
        const double a2 = (after.th2 - 2 * at.th2 + before.th2) * 2500;
        const double a3 = (after.th3 - 2 * at.th3 + before.th3) * 2500;
        const double expected[14] = {at.th1 * 180 / pi,
                                     0,
                                     a2,
                                     std::cos(at.th1) * a2,
                                     std::cos(at.th3 + at.th1) * a2,
                                     a3,
                                     std::cos(at.th1) * a3,
                                     a1,
                                     std::sin(at.th1) * w2 * w2,
                                     std::sin(at.th3 + at.th1) * w2 * w2,
                                     std::sin(at.th1) * w2 * w3,
                                     std::sin(at.th1) * w3 * w3,
                                     std::sin(at.th2 + at.th3 + at.th1),
                                     0};
        const auto& row = terms[k - 1];
        ASSERT_EQ(row.size(), 14u);
        EXPECT_EQ(row[1], 0.0);
        EXPECT_EQ(row[13], 0.0);
        for (int column = 0; column < 14; ++column) {
            ASSERT_NEAR(row[column], expected[column], 1e-5)
                << "line " << k - 1 << " column " << column + 1;
        }
    }
}

TEST_F(Trajectory, DynamicTermsReadBackByTheEvaluator) {
    ASSERT_TRUE(Generate(1, 0, 0, -150, 2.5));
    std::FILE* file = std::fopen(kDynamicTermsFile, "r");
    ASSERT_NE(file, nullptr);
    std::vector<runfiles::TrajectoryRecord> records;
    EXPECT_FALSE(runfiles::ReadAll(file, records).stalled);
    std::fclose(file);
    ASSERT_EQ(records.size(), 1329u);

    // Each record holds, in single precision, the numbers its line shows.
    const Table written = Rows(kDynamicTermsFile);
    for (std::size_t line = 0; line < records.size(); ++line) {
        for (int column = 0; column < 14; ++column) {
            ASSERT_EQ(records[line].field[column], float(written[line][column]))
                << "line " << line << " column " << column + 1;
        }
    }
}

TEST_F(Trajectory, UnopenableFilesAreReportedAndSkipped) {
    fs::create_directory(kVelocityTrajectoryFile);  // a directory cannot be opened for writing
    testing::internal::CaptureStdout();
    EXPECT_FALSE(Generate(1, 0, 0));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kNotOpened);
    EXPECT_EQ(Rows(kEncoderTrajectoryFile).size(), 1332u);
    EXPECT_EQ(Rows(kDynamicTermsFile).size(), 1329u);

    fs::remove_all("NeuralFiles");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(Generate(1, 0, 0));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              std::string(kNotOpened) + kNotOpened + kNotOpened);
}

TEST_F(Trajectory, UnreachablePointsAreReportedAndComputed) {
    testing::internal::CaptureStdout();
    EXPECT_TRUE(Generate(1, 0, 0, -400, 0.5));  // beyond the panel's limits
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Infesible Solution for Cos tetha 3\n"),
              std::string::npos);
    const Table terms = Rows(kDynamicTermsFile);
    ASSERT_EQ(terms.size(), 1329u);
    for (const auto& row : terms) {
        for (double v : row) {
            ASSERT_TRUE(std::isfinite(v));
        }
    }
}

// The tool, run as operators run it.
int RunTool(const std::string& arguments) {
    const int status = std::system(
        (std::string(TRAJGEN_PATH) + " " + arguments + " 2>/dev/null >/dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Trajectory, ToolRefusesValuesOutsideThePanelLimits) {
    fs::remove_all("NeuralFiles");
    for (const char* arguments :
         {"--sine --amplitude 200.5", "--amplitude -201", "--frequency 15.01", "--frequency -1",
          "--amplitude nan", "--amplitude 5x", "--frequency", "--wave"}) {
        EXPECT_EQ(RunTool(arguments), 2) << arguments;
    }
    EXPECT_FALSE(fs::exists("NeuralFiles"));
    EXPECT_EQ(RunTool("--help"), 0);
}

TEST_F(Trajectory, ToolWritesIntoDirAndReportsWriteErrors) {
    fs::create_directory("lab");
    EXPECT_EQ(RunTool("--step --sine --amplitude -200 --frequency 15 --dir lab"), 0);
    EXPECT_EQ(Rows(runfiles::kDynamicTerms.In("lab").c_str()).size(), 1329u);
    EXPECT_EQ(RunTool("--dir missing"), 1);

    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    fs::remove((std::string("lab/") + runfiles::kVelocityTrajectory.RelativePath()));
    fs::create_symlink("/dev/full",
                       (std::string("lab/") + runfiles::kVelocityTrajectory.RelativePath()));
    EXPECT_EQ(RunTool("--ramp --dir lab"), 1);
}

}  // namespace
