// The lab day as a newcomer runs it (shortened), and the tracking figures it
// reports for each control run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "figures/figures.h"
#include "runfiles/catalogue.h"
#include "tests/lab_files.h"

namespace {

namespace fs = std::filesystem;

// A trajectory whose joint field 0 is 2 * line degrees.
std::vector<runfiles::TrajectoryRecord> RisingTrajectory(int lines) {
    std::vector<runfiles::TrajectoryRecord> trajectory(lines);
    for (int i = 0; i < lines; ++i) {
        trajectory[i].field[0] = 2.0f * i;
    }
    return trajectory;
}

// Sample j standing `offset` degrees off trajectory line j - 1 (8 counts
// per degree of counts 3 minus 4), with measured pressures `miss` above
// desired.
runfiles::PressureLogRecord Sample(int j, double offset, float miss) {
    const int difference = int(std::lround((2.0 * (j - 1) + offset) * 8));
    runfiles::PressureLogRecord record =
        labtest::LogRecord({0, 0, 0, 100 + difference, 100}, 3.0f + miss);
    record.sample = j;
    for (float& desired : record.desired) {
        desired = 3.0f;
    }
    return record;
}

TEST(RunFigures, CompareEachSampleWithItsTrajectoryLineAndLeaveOutSamplesNotRun) {
    std::vector<runfiles::PressureLogRecord> log;
    for (int j = 1; j <= 6; ++j) {
        log.push_back(Sample(j, j % 2 ? 1.0 : -1.0, j % 2 ? 0.5f : -0.5f));
    }
    // A run stopped after sample 6: the rest logged as zeros.
    for (int j = 7; j <= 10; ++j) {
        runfiles::PressureLogRecord stopped;
        stopped.sample = j;
        log.push_back(stopped);
    }
    std::string problem;
    const auto figures = figures::FiguresOf(log, RisingTrajectory(14), problem);
    ASSERT_TRUE(figures);
    EXPECT_EQ(figures->samples, 6);
    EXPECT_NEAR(figures->jointRmsDegrees, 1.0, 1e-9);
    EXPECT_NEAR(figures->pressureRms, 0.5, 1e-6);

    // A log on track; one line off would miss by 2 degrees.
    std::vector<runfiles::PressureLogRecord> onTrack;
    for (int j = 1; j <= 6; ++j) {
        onTrack.push_back(Sample(j, 0.0, 0.0f));
    }
    EXPECT_NEAR(figures::FiguresOf(onTrack, RisingTrajectory(14), problem)->jointRmsDegrees, 0.0,
                1e-9);

    // A sample that ran with every pressure reading zero still ran: its
    // valve commands and counts were sent and read.
    onTrack[5].measured[0] = onTrack[5].measured[1] = onTrack[5].measured[2] = 0.0f;
    onTrack[5].measured[3] = 0.0f;
    EXPECT_EQ(figures::FiguresOf(onTrack, RisingTrajectory(14), problem)->samples, 6);

    // The first samples only, and the motor axes against their desired
    // counts (line k for sample k): axis 1 misses by 3 counts in each.
    runfiles::Rows counts(14, std::vector<double>{0.0, -3.0, 0.0});
    const auto first = figures::FiguresOf(log, RisingTrajectory(14), problem, {&counts, 4});
    ASSERT_TRUE(first);
    EXPECT_EQ(first->samples, 4);
    EXPECT_NEAR(first->pressureRms, 0.5, 1e-6);
    EXPECT_NEAR(first->axisRmsCounts[1], 3.0, 1e-12);
    EXPECT_NEAR(first->axisRmsCounts[0], 0.0, 1e-12);
    counts.resize(10);  // sample 10 (not run) has no desired counts
    EXPECT_FALSE(figures::FiguresOf(log, RisingTrajectory(14), problem, {&counts}));
    EXPECT_EQ(problem,
              "sample 10 lies outside the trajectory's 14 lines or the desired counts' 10");
}

// Each sample run counts once for a valve command and once for a desired
// pressure the arm cannot follow, whichever muscle asked; the limits
// themselves are within reach.
TEST(RunFigures, CountTheSamplesThatAskedWhatTheArmCannotDo) {
    std::vector<runfiles::PressureLogRecord> log;
    for (int j = 1; j <= 6; ++j) {
        log.push_back(Sample(j, 0.0, 0.0f));
        for (float& volts : log.back().valve) {
            volts = 4.0f;
        }
    }
    log[0].valve[0] = 8.0f, log[0].valve[1] = 0.0f, log[0].desired[2] = 5.5f;
    log[0].desired[3] = 0.0f;
    log[1].valve[1] = -9.3f, log[1].valve[2] = 8.01f;
    log[2].desired[3] = 5.84f;
    log[3].desired[0] = -0.2f, log[3].valve[3] = 8.5f;
    runfiles::PressureLogRecord notRun;  // stopped: zeros, and a desired pressure beyond
    notRun.sample = 7;
    notRun.desired[0] = 9.0f;
    log.push_back(notRun);

    std::string problem;
    const auto figures = figures::FiguresOf(log, RisingTrajectory(14), problem);
    ASSERT_TRUE(figures);
    EXPECT_EQ(figures->samples, 6);
    EXPECT_EQ(figures->saturation.valveByMuscle[1], 1);
    EXPECT_EQ(figures->saturation.pressureByMuscle[3], 1);
    EXPECT_EQ(figures->saturation.valve, 2);
    EXPECT_EQ(figures->saturation.pressure, 2);
    EXPECT_EQ(figures->saturation.samples, 3);
}

TEST(RunFigures, NoFiguresWithoutASampleRunOrTheTrajectoryItRan) {
    std::string problem;
    std::vector<runfiles::PressureLogRecord> notRun(5);
    for (int j = 0; j < 5; ++j) {
        notRun[j].sample = j + 1;
    }
    EXPECT_FALSE(figures::FiguresOf(notRun, RisingTrajectory(14), problem));
    EXPECT_EQ(problem, "no sample was run (nothing measured or sent)");
    std::vector<runfiles::PressureLogRecord> log;
    for (int j = 1; j <= 6; ++j) {
        log.push_back(Sample(j, 0.0, 0.0f));
    }
    EXPECT_FALSE(figures::FiguresOf(log, RisingTrajectory(5), problem));
    EXPECT_EQ(problem, "sample 6 lies outside the trajectory's 5 lines");
    EXPECT_TRUE(figures::FiguresOf(log, RisingTrajectory(6), problem));
    // A record out of order whose sample lies past the trajectory.
    log[2].sample = 40;
    EXPECT_FALSE(figures::FiguresOf(log, RisingTrajectory(6), problem));
    log[2].sample = 0;
    EXPECT_FALSE(figures::FiguresOf(log, RisingTrajectory(6), problem));
    EXPECT_EQ(problem, "sample 0 lies outside the trajectory's 6 lines");

    EXPECT_FALSE(figures::ReadRunFigures("nowhere", problem));
    EXPECT_EQ(problem, runfiles::kRunLog.In("nowhere") + ": missing");
}

struct Row {
    std::string step, value, text, seconds;
    std::vector<std::string> files;
    std::string notebook;  // the step's notebook ids, or -
};

// The closing table's rows after its header line, which must name the columns.
std::vector<Row> ReadTable(const fs::path& path) {
    std::vector<Row> rows;
    std::ifstream in(path);
    std::string header;
    std::getline(in, header);
    EXPECT_EQ(header, "step\tfigure\ttext\twall_s\tfiles\tnotebook") << path;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        Row row;
        std::getline(fields, row.step, '\t');
        std::getline(fields, row.value, '\t');
        std::getline(fields, row.text, '\t');
        std::getline(fields, row.seconds, '\t');
        std::string files;
        std::getline(fields, files, '\t');
        std::istringstream names(files);
        for (std::string name; names >> name;) {
            row.files.push_back(name);
        }
        std::getline(fields, row.notebook, '\t');
        rows.push_back(row);
    }
    return rows;
}

bool Finite(const std::string& text) {
    std::size_t used = 0;
    try {
        const double value = std::stod(text, &used);
        return used == text.size() && std::isfinite(value);
    } catch (const std::exception&) {
        return false;
    }
}

// Whether a file or a pattern of the table matches something in `dir`.
bool Present(const fs::path& dir, const std::string& pattern) {
    return labtest::RunCommand("cd '" + dir.string() + "' && ls -d " + pattern + " >/dev/null 2>&1")
               .status == 0;
}

std::string DayCommand(const std::string& build, const std::string& dir) {
    // Without DISPLAY the console's view is drawn on a display of its own.
    return "env -u DISPLAY bash " SOURCE_TREE "/scripts/lab-day.sh --short --build " + build + " " +
           dir + " 2>&1";
}

TEST(LabDay, AShortDayRunsEveryStepAndTablesFiniteFiguresAndItsFiles) {
    const labtest::ProgramRun day = labtest::RunCommand(DayCommand(BUILD_TREE, "day"));
    ASSERT_EQ(day.status, 0) << day.console;
    const std::vector<Row> rows = ReadTable("day/day.tsv");
    const std::vector<std::string> steps = {
        "arm mesh",         "calibration",         "motor excitation",
        "valve excitation", "valve+link networks", "sine trajectory",
        "combined run",     "pressure networks",   "homing",
        "neural-only run",  "hybrid run",          "arbiter, built-in",
        "fuzzy search",     "arbiter, tuned",      "hybrid run, tuned",
        "reports",          "console view"};
    ASSERT_EQ(rows.size(), steps.size()) << day.console;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        EXPECT_EQ(row.step, steps[i]);
        // Only homing has no figure of its own.
        EXPECT_TRUE(row.value == "-" ? row.step == "homing" : Finite(row.value))
            << row.step << ": " << row.value;
        EXPECT_FALSE(row.files.empty()) << row.step;
        EXPECT_TRUE(Finite(row.seconds)) << row.step;
        for (const std::string& file : row.files) {
            EXPECT_TRUE(Present("day", file)) << row.step << ": " << file;
        }
        // The table's text is the step's line.
        EXPECT_NE(day.console.find(row.text), std::string::npos) << row.step;
    }
    EXPECT_EQ(rows[1].files, std::vector<std::string>{"logs/calibration.log"});

    // Every step that recorded something names its entries in the notebook.
    const std::vector<std::string> archived = {
        "motor excitation",  "valve excitation", "valve+link networks", "combined run",
        "pressure networks", "neural-only run",  "hybrid run",          "arbiter, built-in",
        "fuzzy search",      "arbiter, tuned",   "hybrid run, tuned"};
    for (const Row& row : rows) {
        const bool expected =
            std::find(archived.begin(), archived.end(), row.step) != archived.end();
        EXPECT_EQ(row.notebook != "-", expected) << row.step << ": " << row.notebook;
        std::istringstream ids(row.notebook);
        for (std::string id; expected && std::getline(ids, id, ',');) {
            EXPECT_TRUE(fs::exists("day/Archive" / fs::path(id) / "manifest.toml")) << id;
        }
    }
    EXPECT_EQ(std::count(rows[4].notebook.begin(), rows[4].notebook.end(), ','), 1)
        << "valves and links, one entry each";
    EXPECT_NE(day.console.find("build/console/tendon"), std::string::npos);
    // The search starts from the vector arbiter scored and cannot end worse.
    EXPECT_LE(std::stod(rows[12].value), std::stod(rows[11].value));
    EXPECT_EQ(rows[13].value, rows[12].value);
}

// A build whose lab-run refuses every action: a day on it ends at the
// calibration, and nothing after it runs.
void MakeBrokenBuild() {
    fs::create_directories("broken/tools");
    fs::create_directory_symlink(fs::path(BUILD_TREE) / "evaluator", "broken/evaluator");
    for (const auto& tool : fs::directory_iterator(fs::path(BUILD_TREE) / "tools")) {
        if (tool.is_regular_file() && tool.path().filename() != "lab-run") {
            fs::create_symlink(tool.path(), "broken/tools" / tool.path().filename());
        }
    }
    labtest::WriteText("broken/tools/lab-run",
                       "#!/bin/sh\necho 'lab-run: the cards did not open'\nexit 1\n");
    fs::permissions("broken/tools/lab-run", fs::perms::owner_all);
}

TEST(LabDay, AFailedStepStopsTheDayWithALineNamingIt) {
    MakeBrokenBuild();
    const labtest::ProgramRun day = labtest::RunCommand(DayCommand("broken", "day"));
    EXPECT_EQ(day.status, 1);
    EXPECT_NE(day.console.find(
                  "calibration          FAILED: lab-run failed: lab-run: the cards did not open"),
              std::string::npos)
        << day.console;
    EXPECT_NE(day.console.find("day/logs/calibration.log"), std::string::npos);
    const std::vector<Row> rows = ReadTable("day/day.tsv");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].step, "arm mesh");
    EXPECT_FALSE(fs::exists(runfiles::kDynamicTerms.In("day")));
}

// A new day in an earlier day's directory empties it but for the notebook.
TEST(LabDay, ANewDayKeepsTheNotebookOfTheEarlierDays) {
    MakeBrokenBuild();
    fs::create_directories("day/Archive/first-run");
    labtest::WriteText("day/Archive/first-run/manifest.toml", "action = \"hybrid\"\n");
    labtest::WriteText("day/day.tsv", "step\tfigure\ttext\twall_s\tfiles\tnotebook\n");
    labtest::WriteText("day/hybrid.png", "earlier picture");
    EXPECT_EQ(labtest::RunCommand(DayCommand("broken", "day")).status, 1);
    EXPECT_EQ(labtest::ReadText("day/Archive/first-run/manifest.toml"), "action = \"hybrid\"\n");
    EXPECT_FALSE(fs::exists("day/hybrid.png"));

    // A directory holding only a notebook is a lab's too.
    fs::remove_all("day");
    fs::create_directories("day/Archive");
    EXPECT_EQ(labtest::RunCommand(DayCommand("broken", "day")).status, 1);
    EXPECT_TRUE(fs::is_directory("day/Archive"));
    EXPECT_EQ(ReadTable("day/day.tsv").size(), 1u);
}

TEST(LabDay, ADirectoryADayDidNotMakeIsLeftAlone) {
    fs::create_directory("notes");
    labtest::WriteText("notes/thesis.txt", "chapter 1\n");
    const labtest::ProgramRun day = labtest::RunCommand(DayCommand(BUILD_TREE, "notes"));
    EXPECT_EQ(day.status, 2);
    EXPECT_NE(day.console.find("not emptying it"), std::string::npos) << day.console;
    EXPECT_EQ(labtest::ReadText("notes/thesis.txt"), "chapter 1\n");

    labtest::WriteText("precious", "precious\n");
    const labtest::ProgramRun onAFile = labtest::RunCommand(DayCommand(BUILD_TREE, "precious"));
    EXPECT_EQ(onAFile.status, 2);
    EXPECT_NE(onAFile.console.find("lab-day: precious exists and is not a directory; not "
                                   "replacing it"),
              std::string::npos)
        << onAFile.console;
    EXPECT_EQ(labtest::ReadText("precious"), "precious\n");
}

}  // namespace
