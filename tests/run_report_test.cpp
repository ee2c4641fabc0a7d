// run-report as a user meets it: real runs and evaluations of the virtual
// lab drawn at the size asked for, every panel holding its curves, and
// files that are missing or malformed refused without a picture.
#include <gtest/gtest.h>
#include <stb/stb_image.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "reports/report.h"
#include "runfiles/catalogue.h"
#include "tests/lab_files.h"

namespace {

namespace fs = std::filesystem;

using labtest::RunTool;
using labtest::ToolRun;

ToolRun Report(const std::string& arguments) {
    return RunTool(RUN_REPORT, arguments);
}

// Twelve times the desired carriage speed: a run along it ends on the
// carriage's limit switch.
void SpeedUpTheCarriage() {
    const fs::path velocities = runfiles::kVelocityTrajectory.In("lab");
    std::ifstream in(velocities);
    std::string text;
    for (double v0, v1, v2; in >> v0 >> v1 >> v2;) {
        char line[96];
        std::snprintf(line, sizeof line, "%f\t\t%f\t\t%f\n", 12 * v0, v1, v2);
        text += line;
    }
    in.close();
    labtest::WriteText(velocities, text);
}

// A lab directory after a hybrid run of the first `lines` trajectory lines
// with the demo networks (all lines, with the carriage sped up: the run stops
// at a limit switch).
void PrepareHybridRun(int lines) {
    ASSERT_EQ(RunTool(MAKE_DEMO_DATA, "lab").status, 0);
    ASSERT_EQ(RunTool(MAKE_DEMO_NETWORKS, "--dir lab").status, 0);
    ASSERT_EQ(RunTool(TRAJGEN, "--sine --dir lab").status, 0);
    if (lines == 0) {
        SpeedUpTheCarriage();
    }
    if (lines > 0) {
        const fs::path trajectory = runfiles::kDynamicTerms.In("lab");
        std::ifstream in(trajectory);
        std::string text, line;
        for (int i = 0; i < lines && std::getline(in, line); ++i) {
            text += line + "\n";
        }
        in.close();
        labtest::WriteText(trajectory, text);
    }
    RunTool(LAB_RUN, "--dir lab hybrid");
}

struct Picture {
    int width = 0, height = 0;
    std::unique_ptr<unsigned char, decltype(&stbi_image_free)> pixels{nullptr, stbi_image_free};

    // Pixels of `rgb` (within antialiasing) in the middle part of the panel
    // at `row`, `column` of a rows × columns grid.
    int Count(unsigned rgb, int row, int column, int rows, int columns) const {
        const int cellWidth = width / columns, cellHeight = height / rows;
        int count = 0;
        for (int y = row * cellHeight + cellHeight / 4; y < (row + 1) * cellHeight - cellHeight / 4;
             ++y) {
            for (int x = column * cellWidth + cellWidth / 8;
                 x < (column + 1) * cellWidth - cellWidth / 8; ++x) {
                const unsigned char* p = pixels.get() + 3 * (std::size_t(y) * width + x);
                const int difference = std::abs(p[0] - int(rgb >> 16 & 0xff)) +
                                       std::abs(p[1] - int(rgb >> 8 & 0xff)) +
                                       std::abs(p[2] - int(rgb & 0xff));
                count += difference < 40;
            }
        }
        return count;
    }
};

Picture Load(const fs::path& png) {
    Picture picture;
    int channels = 0;
    picture.pixels.reset(stbi_load(png.c_str(), &picture.width, &picture.height, &channels, 3));
    return picture;
}

constexpr int kCurvePixels = 30;
constexpr int kMarkerPixels = 10;  // a dashed vertical line

TEST(RunReport, AShortHybridRunIsDrawnAtTheSizeAskedWithCurvesInEveryPanel) {
    PrepareHybridRun(60);
    const ToolRun run = Report("--width 1200 --height 900 lab report.png");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const Picture picture = Load("report.png");
    ASSERT_TRUE(picture.pixels);
    EXPECT_EQ(picture.width, 1200);
    EXPECT_EQ(picture.height, 900);
    // Muscles 1 to 4, shoulder, elbow, carriage, joint angle: desired and measured.
    for (int panel = 0; panel < 8; ++panel) {
        const int row = panel / 2, column = panel % 2;
        EXPECT_GT(picture.Count(reports::kCurveColours[0], row, column, 4, 2), kCurvePixels)
            << "panel " << panel;
        EXPECT_GT(picture.Count(reports::kCurveColours[1], row, column, 4, 2), kCurvePixels)
            << "panel " << panel;
        EXPECT_EQ(picture.Count(reports::kStopMarkerColour, row, column, 4, 2), 0)
            << "a completed run has no stop marker, panel " << panel;
    }
    // The muscle panels hold the valve command as well.
    for (int panel = 0; panel < 4; ++panel) {
        EXPECT_GT(picture.Count(reports::kCurveColours[2], panel / 2, panel % 2, 4, 2),
                  kCurvePixels);
    }
    // The script stays beside the picture and draws it again.
    ASSERT_TRUE(fs::exists("report.gp"));
    fs::remove("report.png");
    EXPECT_EQ(labtest::RunCommand("gnuplot report.gp").status, 0);
    EXPECT_EQ(Load("report.png").width, 1200);
}

TEST(RunReport, ARunStoppedEarlyIsMarkedAtItsLastSample) {
    PrepareHybridRun(0);
    ASSERT_EQ(Report("lab stopped.png").status, 0);
    const Picture picture = Load("stopped.png");
    ASSERT_TRUE(picture.pixels);
    EXPECT_EQ(picture.height, reports::kDefaultRowHeight * 4);
    for (int panel = 0; panel < 8; ++panel) {
        EXPECT_GT(picture.Count(reports::kStopMarkerColour, panel / 2, panel % 2, 4, 2),
                  kMarkerPixels)
            << "panel " << panel;
    }
    EXPECT_NE(labtest::ReadText("stopped.gp").find("stopped early after sample"),
              std::string::npos);
}

TEST(RunReport, AnEvaluationShowsPredictionsAndTheBlendWeight) {
    ASSERT_EQ(RunTool(MAKE_DEMO_DATA, "--samples 300 case").status, 0);
    ASSERT_EQ(labtest::RunCommand("cd case/arbiter && " ARBITER " > /dev/null").status, 0);
    const std::string fitness =
        labtest::ReadText((std::string("case/arbiter/") + runfiles::kFitness.Name()));
    const ToolRun run = Report("--width 1000 --height 750 case/arbiter evaluation.png");
    ASSERT_EQ(run.status, 0) << run.err;
    const Picture picture = Load("evaluation.png");
    ASSERT_TRUE(picture.pixels);
    EXPECT_EQ(picture.width, 1000);
    EXPECT_EQ(picture.height, 750);
    // Four muscles (measured, own bin, blended), the weight over the phase
    // (candidate, built-in), the weight applied per sample.
    for (int panel = 0; panel < 6; ++panel) {
        EXPECT_GT(picture.Count(reports::kCurveColours[0], panel / 2, panel % 2, 3, 2),
                  kCurvePixels)
            << "panel " << panel;
    }
    for (int panel = 0; panel < 5; ++panel) {
        EXPECT_GT(picture.Count(reports::kCurveColours[1], panel / 2, panel % 2, 3, 2),
                  kCurvePixels)
            << "panel " << panel;
    }
    EXPECT_NE(labtest::ReadText("evaluation.gp").find("fitness " + fitness.substr(0, 8)),
              std::string::npos);
}

TEST(RunReport, TrainingRecordingsShowEachProcedureAndWhereOneStopped) {
    ASSERT_EQ(RunTool(MAKE_DEMO_DATA, "lab").status, 0);
    ASSERT_EQ(RunTool(MAKE_DEMO_NETWORKS, "--dir lab").status, 0);
    ASSERT_EQ(RunTool(TRAJGEN, "--sine --dir lab").status, 0);
    ASSERT_EQ(RunTool(LAB_RUN, "--dir lab pressure-training").status, 0);
    SpeedUpTheCarriage();
    ASSERT_EQ(RunTool(LAB_RUN, "--dir lab combined-training").status, 1);
    // Wide enough for the legends beside the panels.
    const ToolRun run = Report("--width 1400 --height 1000 lab training.png");
    ASSERT_EQ(run.status, 0) << run.err;
    const Picture picture = Load("training.png");
    ASSERT_TRUE(picture.pixels);
    // Pressure training of muscles 1 to 4 (valve command, pressure), ran to
    // its end; the combined recording's two pressure panels and its joint
    // angle, stopped early. The pressures of muscles 1 and 4 follow their
    // commands so closely that they cover them; 2 and 3 part from theirs
    // above the valves' highest set pressure.
    for (int panel = 0; panel < 7; ++panel) {
        const int row = panel / 2, column = panel % 2;
        const int hidden = panel == 0 || panel == 3 ? kCurvePixels / 2 : kCurvePixels;
        EXPECT_GT(picture.Count(reports::kCurveColours[0], row, column, 4, 2), hidden)
            << "panel " << panel;
        if (panel < 6) {
            EXPECT_GT(picture.Count(reports::kCurveColours[1], row, column, 4, 2), kCurvePixels)
                << "panel " << panel;
        }
        const int marker = picture.Count(reports::kStopMarkerColour, row, column, 4, 2);
        if (panel < 4) {
            EXPECT_EQ(marker, 0) << "panel " << panel;
        } else {
            EXPECT_GT(marker, kMarkerPixels) << "panel " << panel;
        }
    }
}

// An experiment's recording, found in its lab directory: commands and
// responses over time, and the joint against the differential pressure.
TEST(RunReport, AnExperimentShowsCommandsResponsesAndTheJointAgainstPressure) {
    fs::create_directories("lab/NeuralFiles");
    labtest::WriteText("sweep.txt",
                       "0 valve1 4.5\n0 valve4 4.2\n0 valve2 6.1\n0 valve3 5.8\n"
                       "0 servo2 on\n0 motor2 0\n3000 motor2 0.1 ramp\n"
                       "1000 valve1 4.5\n1000 valve4 4.2\n1000 valve2 6.1\n1000 valve3 5.8\n"
                       "3000 valve1 5.5 ramp\n3000 valve4 5.2 ramp\n3000 valve2 5.1 ramp\n"
                       "3000 valve3 4.8 ramp\n");
    ASSERT_EQ(RunTool(LAB_RUN, "--dir lab experiment sweep.txt").status, 0);
    const ToolRun run = Report("--width 1000 --height 900 lab experiment.png");
    ASSERT_EQ(run.status, 0) << run.err;
    const Picture picture = Load("experiment.png");
    ASSERT_TRUE(picture.pixels);
    // Valve, muscle, joint and loop in the first colour (the carriage stood).
    for (int panel : {0, 1, 4, 5}) {
        EXPECT_GT(picture.Count(reports::kCurveColours[0], panel / 2, panel % 2, 3, 2),
                  kCurvePixels)
            << "panel " << panel;
    }
    // Valve 2, muscle 2 and the shoulder's command and count in the second.
    for (int panel = 0; panel < 4; ++panel) {
        EXPECT_GT(picture.Count(reports::kCurveColours[1], panel / 2, panel % 2, 3, 2),
                  kCurvePixels)
            << "panel " << panel;
    }
    const std::string recording = runfiles::kExperimentRecording.In("lab");
    labtest::WriteText(recording, labtest::ReadText(recording) + "1 2 3\n");
    EXPECT_EQ(Report("--kind experiment " + recording + " x.png").err,
              "run-report: " + recording + ": line 153 does not hold 18 numbers\n");
}

TEST(RunReport, TheExtensionPicksTheFormat) {
    labtest::WriteText("progress.csv", "evaluation,best\n1,0.05\n40,0.047\n300,0.0464\n");
    ASSERT_EQ(Report("progress.csv search.svg").status, 0);
    EXPECT_NE(labtest::ReadText("search.svg").find("<svg"), std::string::npos);
    ASSERT_EQ(Report("progress.csv search.pdf").status, 0);
    EXPECT_EQ(labtest::ReadText("search.pdf").substr(0, 4), "%PDF");
    EXPECT_EQ(Report("progress.csv search.jpg").status, 2);
}

// Starts run-report with a stand-in gnuplot first on the PATH (`gnuplot`, a
// shell script, in bin/); returns its process id.
pid_t StartReportWithGnuplot(const std::string& gnuplot) {
    fs::create_directories("bin");
    labtest::WriteText("bin/gnuplot", "#!/bin/sh\n" + gnuplot);
    fs::permissions("bin/gnuplot", fs::perms::owner_all);
    const std::string path = fs::absolute("bin").string() + ":" + std::getenv("PATH");
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("PATH", path.c_str(), 1);
        freopen("stderr.txt", "w", stderr);
        execl(RUN_REPORT, RUN_REPORT, "progress.csv", "search.png", static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// Interrupted while gnuplot draws, run-report ends gnuplot, leaves no picture
// (not even an empty one) and ends by the signal; a gnuplot that writes an
// empty picture has written none.
TEST(RunReport, AnInterruptedReportEndsGnuplotAndLeavesNoPicture) {
    labtest::WriteText("progress.csv", "evaluation,best\n1,0.05\n40,0.047\n");
    for (const int signal : {SIGTERM, SIGINT}) {
        fs::remove("gnuplot.pid");
        const pid_t report = StartReportWithGnuplot(
            ": > search.png.partial\necho $$ > gnuplot.pid.new\nmv gnuplot.pid.new gnuplot.pid\n"
            "exec sleep 60\n");
        while (!fs::exists("gnuplot.pid")) {
            usleep(10000);
        }
        const pid_t gnuplot = std::stoi(labtest::ReadText("gnuplot.pid"));
        ASSERT_EQ(kill(report, signal), 0);
        int status = 0;
        ASSERT_EQ(waitpid(report, &status, 0), report);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_NE(labtest::ReadText("stderr.txt").find("gnuplot ended"), std::string::npos);
        // gnuplot was ended and waited for: no such process is left.
        EXPECT_EQ(kill(gnuplot, 0), -1);
        EXPECT_FALSE(fs::exists("search.png"));
        EXPECT_FALSE(fs::exists("search.png.partial"));
    }

    const pid_t report = StartReportWithGnuplot(": > search.png.partial\n");
    int status = 0;
    ASSERT_EQ(waitpid(report, &status, 0), report);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(labtest::ReadText("stderr.txt").find("search.png: gnuplot wrote no picture"),
              std::string::npos);
    EXPECT_FALSE(fs::exists("search.png"));
    EXPECT_FALSE(fs::exists("search.png.partial"));
}

// The figures and the report of a run come from the trajectory it ran
// along: the notebook's copy after the trajectory was replaced; a log the
// notebook does not know is refused against a newer trajectory, unless the
// trajectory is named.
TEST(RunReport, FiguresComeFromTheTrajectoryTheRunRanAlong) {
    PrepareHybridRun(120);
    const ToolRun ran = RunTool(RUN_FIGURES, "--dir lab");
    ASSERT_EQ(ran.status, 0) << ran.err;
    ASSERT_EQ(RunTool(TRAJGEN, "--ramp --dir lab").status, 0);
    EXPECT_EQ(RunTool(RUN_FIGURES, "--dir lab").out, ran.out);
    ASSERT_EQ(Report("--kind run lab run.png").status, 0);
    const std::string script = labtest::ReadText("run.gp");
    EXPECT_NE(script.find("Hybrid (neuro-fuzzy) run in lab/NeuralFiles, notebook entry "),
              std::string::npos);
    EXPECT_NE(script.find("trajectory as archived with the run"), std::string::npos);
    EXPECT_NE(script.find("fuzzy vector K0..K9 "), std::string::npos);

    fs::remove_all("lab/Archive");
    const std::string trajectory = runfiles::kDynamicTerms.In("lab");
    const std::string refusal =
        runfiles::kRunLog.In("lab") + " is not in the notebook and " + trajectory +
        " is newer than it, so not provably what it ran on (name the trajectory with "
        "--trajectory FILE)\n";
    const ToolRun refused = RunTool(RUN_FIGURES, "--dir lab");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "run-figures: " + refusal);
    EXPECT_EQ(Report("--kind run lab run.png").err, "run-report: " + refusal);
    const ToolRun named = RunTool(RUN_FIGURES, "--dir lab --trajectory " + trajectory);
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_NE(named.out, ran.out);  // the ramp is not the sine the run ran along
}

TEST(RunReport, MissingOrMalformedFilesAreNamedAndNoPictureIsWritten) {
    const auto refused = [](const std::string& arguments, const std::string& message) {
        const ToolRun run = Report(arguments);
        EXPECT_EQ(run.status, 1) << arguments;
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists("out.png")) << arguments;
        EXPECT_FALSE(fs::exists("out.gp")) << arguments;
    };
    refused("nowhere out.png", "nowhere: missing");

    fs::create_directories("lab/NeuralFiles");
    refused("--kind run lab out.png", runfiles::kRunLog.In("lab") + ": missing");
    labtest::WriteText(runfiles::kRunLog.In("lab"), "");
    refused("lab out.png", std::string(runfiles::kRunLog.Name()) + ": no samples");
    labtest::WriteText(runfiles::kRunLog.In("lab"),
                       "1\t2.5\t2.5\t2.5\t2.5\t2.4\t2.4\t2.4\t2.4 5\t5\t5\t5\t0\t10\t20\t8  0\n"
                       "2\t2.5\t2.5\n");
    refused("lab out.png",
            std::string(runfiles::kRunLog.Name()) + ": line 2 holds 3 numbers, expected 18");
    labtest::WriteText(runfiles::kRunLog.In("lab"),
                       "1\t2.5\t2.5\t2.5\t2.5\t2.4\t2.4\t2.4\t2.4 5\t5\t5\t5\t0\t10\t20\t8  0\n");
    refused("lab out.png", std::string(runfiles::kEncoderTrajectory.Name()) + ": missing");
    // A record out of order whose sample lies past both files, and one that
    // is no sample number.
    labtest::WriteText(runfiles::kEncoderTrajectory.In("lab"), "0 0 0\n0 0 0\n0 0 0\n");
    labtest::WriteText(runfiles::kDynamicTerms.In("lab"),
                       "0 0 0 0 0 0 0 0 0 0 0 0 0 0\n0 0 0 0 0 0 0 0 0 0 0 0 0 0\n");
    const std::string restOfRecord =
        "\t2.5\t2.5\t2.5\t2.5\t2.4\t2.4\t2.4\t2.4 5\t5\t5\t5\t0\t10\t20\t8  0\n";
    labtest::WriteText(runfiles::kRunLog.In("lab"),
                       "1" + restOfRecord + "5000" + restOfRecord + "2" + restOfRecord);
    refused("lab out.png", "sample 5000 lies outside the trajectory's 2 lines");
    labtest::WriteText(runfiles::kRunLog.In("lab"),
                       "1" + restOfRecord + "-7" + restOfRecord + "2" + restOfRecord);
    refused("lab out.png", "sample -7 lies outside the trajectory's 2 lines");

    fs::create_directories("arbiter");
    labtest::WriteText((std::string("arbiter/") + runfiles::kCandidate.Name()), "0.1 0.2\n");
    refused("arbiter out.png",
            (std::string("arbiter/") + runfiles::kFuzzyPressureLog.Name() + ": missing"));

    labtest::WriteText("progress.csv", "evaluation;best\n");
    refused("progress.csv out.png", "progress.csv: line 1 is not the header");
    labtest::WriteText("progress.csv", "evaluation,best\n1,0.05\n2,x\n");
    refused("progress.csv out.png", "progress.csv: line 3");
    // A megabyte of garbage is quoted by its start only.
    labtest::WriteText("progress.csv", "evaluation,best\n" + std::string(1 << 20, '#') + "\n");
    refused("progress.csv out.png",
            "progress.csv: line 2: '" + std::string(60, '#') + "...' is not 'evaluation,best'\n");
    EXPECT_LT(Report("progress.csv out.png").err.size(), 200u);
    // A directory where the search's CSV belongs is named as one.
    refused("--kind search . out.png",
            ".: a directory, where a search report reads tune-fuzzy's progress CSV (such as "
            "./tune-progress.csv)");

    fs::create_directories("empty");
    refused("empty out.png", "empty: neither");
    refused("--kind training empty out.png", "no training recordings");
}

}  // namespace
