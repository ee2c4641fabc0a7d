// Studies: the study file's checks, the cells' names, and small grids of
// short lab days run by Snakemake locally and on a one-node Slurm cluster.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/lab_files.h"

namespace {

namespace fs = std::filesystem;

const std::string kStudy = "bash " SOURCE_TREE "/scripts/study.sh";
const std::string kStudyModule = "python3 " SOURCE_TREE "/workflow/study.py";

// A study file of the given tables after its [study] head.
void WriteStudy(const fs::path& path, const std::string& name, const std::string& tables) {
    labtest::WriteText(path, "[study]\nname = \"" + name + "\"\nshort = true\n\n" + tables);
}

TEST(StudyFile, EachRefusalNamesTheKeyAndWhatIsAllowed) {
    struct Case {
        std::string tables, line;
    };
    const std::vector<Case> cases = {
        {"[axes]\n\"day.speed\" = [1]\n",
         "study: bad.toml: [axes]: unknown key 'day.speed'; allowed: plant.SECTION.KEY (a key of "
         "the plant file), day.trajectory, day.amplitude_mm, day.frequency_hz, day.seed"},
        {"[axes]\n\"day.trajectory\" = [\"sine\", \"zigzag\"]\n",
         "study: bad.toml: [axes]: day.trajectory = \"zigzag\" is not one of sine, ramp, step"},
        {"[fixed]\n\"day.seed\" = 1.5\n",
         "study: bad.toml: [fixed]: day.seed = 1.5 is not a whole number"},
        {"[axes]\n\"day.seed\" = []\n",
         "study: bad.toml: [axes]: day.seed is empty; an axis needs at least one value"},
        {"[axes]\n\"day.seed\" = [1, 1]\n",
         "study: bad.toml: [axes]: day.seed holds 1 twice; each value makes one cell"},
        // Ranges come from the tool that takes the value.
        {"[axes]\n\"day.amplitude_mm\" = [50, 300]\n",
         "study: bad.toml: [axes] day.amplitude_mm = 300: trajgen: amplitude '300' is not a "
         "number from -200 to 200"},
        {"[fixed]\n\"plant.tool.mass_kg\" = 500\n",
         "study: bad.toml: [fixed] plant.tool.mass_kg = 500: lab-run: ./virtual-lab.toml:2: [tool] "
         "mass_kg = 500 is outside its allowed range 0.001 to 100"},
        {"[fixed]\n\"day.seed\" = 1\n\"plant.sensors.seed\" = 2\n",
         "study: bad.toml: day.seed sets the plant's sensor seed too; leave out "
         "plant.sensors.seed"},
        {"[wave]\nsine = true\n",
         "study: bad.toml: unknown table [wave]; allowed: [study], [fixed], [axes]"},
    };
    for (const Case& c : cases) {
        WriteStudy("bad.toml", "bad", c.tables);
        const auto run = labtest::RunTool(kStudy, "bad.toml --build " BUILD_TREE);
        EXPECT_EQ(run.status, 2) << c.tables;
        EXPECT_EQ(run.err, c.line + "\n") << c.tables;
    }
    // A name that is not a plain directory name; nothing is created.
    WriteStudy("bad.toml", "../elsewhere", "");
    const auto run = labtest::RunTool(kStudy, "bad.toml --build " BUILD_TREE);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err,
              "study: bad.toml: [study] name = \"../elsewhere\" must be a plain directory name: "
              "letters, digits, . _ -, not starting with . or -\n");
    EXPECT_FALSE(fs::exists("Studies"));
}

TEST(StudyFile, ACellIsNamedByItsValuesWhateverElseTheGridHolds) {
    WriteStudy("names.toml", "names",
               "[fixed]\n\"day.amplitude_mm\" = 80\n[axes]\n\"day.frequency_hz\" = [0.5, 1.0]\n"
               "\"day.trajectory\" = [\"sine\"]\n");
    EXPECT_EQ(labtest::RunCommand(kStudyModule + " cells names.toml").console,
              "frequency_hz=0.5+trajectory=sine\nfrequency_hz=1+trajectory=sine\n");
    // One more value adds a cell and renames none.
    WriteStudy("names.toml", "names",
               "[fixed]\n\"day.amplitude_mm\" = 80\n[axes]\n\"day.frequency_hz\" = [0.5, 1, 2]\n"
               "\"day.trajectory\" = [\"sine\"]\n");
    EXPECT_EQ(labtest::RunCommand(kStudyModule + " cells names.toml").console,
              "frequency_hz=0.5+trajectory=sine\nfrequency_hz=1+trajectory=sine\n"
              "frequency_hz=2+trajectory=sine\n");
}

std::vector<std::vector<std::string>> ReadTable(const fs::path& path) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(labtest::ReadText(path));
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string field; std::getline(cells, field, '\t');) {
            fields.push_back(field);
        }
        rows.push_back(fields);
    }
    return rows;
}

// The table without its last column, the cells' wall seconds.
std::vector<std::vector<std::string>> WithoutWallTimes(std::vector<std::vector<std::string>> rows) {
    for (auto& row : rows) {
        row.pop_back();
    }
    return rows;
}

// A build whose trajgen, for a ramp, kills its lab day the first time (as
// a job killed from outside) and fails from then on: the ramp's day fails
// at its trajectory step.
void MakeBuildFailingOnRamps() {
    fs::create_directories("broken/tools");
    for (const char* folder : {"evaluator", "console"}) {
        fs::create_directory_symlink(fs::path(BUILD_TREE) / folder, fs::path("broken") / folder);
    }
    for (const auto& tool : fs::directory_iterator(fs::path(BUILD_TREE) / "tools")) {
        if (tool.is_regular_file() && tool.path().filename() != "trajgen") {
            fs::create_symlink(tool.path(), "broken/tools" / tool.path().filename());
        }
    }
    const std::string killed = fs::absolute("broken/killed").string();
    labtest::WriteText("broken/tools/trajgen",
                       "#!/bin/sh\ncase \" $* \" in *' --ramp '*)\n"
                       "  [ -e " +
                           killed + " ] || { touch " + killed +
                           "; kill -9 $PPID; }\n"
                           "  echo 'trajgen: the disk is full'; exit 1 ;;\nesac\n"
                           "exec " BUILD_TREE "/tools/trajgen \"$@\"\n");
    fs::permissions("broken/tools/trajgen", fs::perms::owner_all);
}

// Stops the cluster slurm-local.sh started, however the test ends.
struct LocalCluster {
    std::string conf;
    ~LocalCluster() {
        if (!conf.empty()) {
            labtest::RunCommand("SLURM_CONF=" + conf +
                                " bash " SOURCE_TREE "/scripts/slurm-local.sh stop");
        }
    }
};

TEST(Study, CellsRunOnceAFailedDayIsACellAKilledOneRunsAgainAndSlurmAgrees) {
    MakeBuildFailingOnRamps();
    WriteStudy("grid.toml", "grid",
               "[fixed]\n\"plant.sensors.pressure_noise_bar\" = 0.01\n\"day.seed\" = 3\n"
               "[axes]\n\"day.trajectory\" = [\"sine\", \"ramp\"]\n");
    const std::string run = kStudy + " ../grid.toml --cores 2 --build ../broken 2>&1";
    fs::create_directory("local");
    const auto local = labtest::RunCommand("cd local && " + run);
    EXPECT_EQ(local.status, 1) << local.console;
    EXPECT_NE(local.console.find("2/2 done, 1 failed"), std::string::npos) << local.console;
    EXPECT_NE(local.console.find("trajectory=ramp: failed: the job ended without a result"),
              std::string::npos);
    const fs::path study = "local/Studies/grid";
    auto table = ReadTable(study / "results.tsv");
    ASSERT_EQ(table.size(), 3u) << local.console;
    EXPECT_EQ(table[0], (std::vector<std::string>{
                            "cell", "day.trajectory", "status", "neural_rms_deg", "hybrid_rms_deg",
                            "tuned_rms_deg", "fitness_builtin", "fitness_tuned", "wall_s"}));
    EXPECT_EQ(table[1][0], "trajectory=sine");
    EXPECT_EQ(table[1][2], "ok");
    // The figures are the day's own.
    const auto day = ReadTable(study / "cells/trajectory=sine/lab/day.tsv");
    for (const auto& step : day) {
        if (step[0] == "hybrid run, tuned") {
            EXPECT_EQ(table[1][5], step[1]);
        }
    }
    // The day ran the study's plant, its seed the day's.
    EXPECT_EQ(labtest::ReadText(study / "cells/trajectory=sine/lab/virtual-lab.toml"),
              "[sensors]\nseed = 3\npressure_noise_bar = 0.01\n");
    EXPECT_TRUE(fs::exists(study / "cells/trajectory=sine/lab/hybrid/virtual-lab.toml"));
    EXPECT_TRUE(fs::exists(study / "report.png"));
    // The killed day left no result.
    EXPECT_EQ(table[2][0], "trajectory=ramp");
    EXPECT_EQ(table[2][2],
              "failed: no result; the cell's job was killed, timed out or did not start");

    // The next run runs only the killed cell, whose day now fails.
    const auto written = fs::last_write_time(study / "cells/trajectory=sine/lab/day.tsv");
    const auto again = labtest::RunCommand("cd local && " + run);
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.console.find("1/1 done, 1 failed"), std::string::npos) << again.console;
    table = ReadTable(study / "results.tsv");
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[2][2],
              "failed: ramp trajectory FAILED: trajgen failed: trajgen: the disk is full");
    // A failed day is a result: the run after runs no cell.
    const auto third = labtest::RunCommand("cd local && " + run);
    EXPECT_EQ(third.status, 1);
    EXPECT_EQ(third.console.find(" done, "), std::string::npos) << third.console;
    EXPECT_EQ(fs::last_write_time(study / "cells/trajectory=sine/lab/day.tsv"), written);
    EXPECT_EQ(ReadTable(study / "results.tsv"), table);

    if (geteuid() != 0 || labtest::RunCommand("command -v slurmd >/dev/null").status != 0) {
        GTEST_SKIP() << "the one-node Slurm cluster needs root and slurm-wlm";
    }
    LocalCluster cluster;
    const auto started = labtest::RunCommand("bash " SOURCE_TREE "/scripts/slurm-local.sh start");
    ASSERT_EQ(started.status, 0) << started.console;
    cluster.conf = started.console.substr(started.console.find('=') + 1);
    cluster.conf.pop_back();
    fs::create_directory("slurm");
    const auto slurm = labtest::RunCommand("cd slurm && SLURM_CONF=" + cluster.conf + " " + kStudy +
                                           " ../grid.toml --slurm --build ../broken 2>&1");
    EXPECT_EQ(slurm.status, 1) << slurm.console;
    EXPECT_EQ(WithoutWallTimes(ReadTable("slurm/Studies/grid/results.tsv")),
              WithoutWallTimes(table));
}

}  // namespace
