// The built programs end to end: make-demo-data writes a case, arbiter
// scores it as the outside optimiser would start it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "runfiles/catalogue.h"
#include "tests/lab_files.h"
#include "version/version.h"

namespace {

using labtest::ProgramRun;

// Runs `command` in `directory` and collects its standard output.
ProgramRun RunIn(const std::filesystem::path& directory, const std::string& command) {
    return labtest::RunCommand("cd '" + directory.string() + "' && " + command);
}

TEST(Arbiter, ScoresAGeneratedCase) {
    const auto dir = labtest::MakeCaseDirectory();
    const ProgramRun made =
        RunIn(dir.root, std::string(MAKE_DEMO_DATA_PATH) + " --seed 11 --samples 1330 .");
    ASSERT_EQ(made.status, 0);

    const ProgramRun run = RunIn(dir.arbiter, ARBITER_PATH);
    EXPECT_EQ(run.status, 0);
    const std::string fitness = labtest::ReadText(dir.arbiter / runfiles::kFitness.Name());
    EXPECT_EQ(run.console, fitness);
    EXPECT_GT(std::atof(fitness.c_str()), 0.0);
    EXPECT_LT(std::atof(fitness.c_str()), 1.0);
    EXPECT_EQ(labtest::LineCount(dir.arbiter / runfiles::kReplayInput.Name()), 1327);
    EXPECT_EQ(labtest::LineCount(dir.arbiter / runfiles::kFuzzyPressureLog.Name()), 1325);

    // The same seed gives the same case, hence the same fitness.
    const auto again = dir.root / "again";
    ASSERT_EQ(RunIn(dir.root, std::string(MAKE_DEMO_DATA_PATH) + " --seed 11 again").status, 0);
    EXPECT_EQ(RunIn(again / "arbiter", ARBITER_PATH).console, fitness);
}

// Names and sizes of everything below `root`, to see that nothing changed.
std::string Listing(const std::filesystem::path& root) {
    std::string listing;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        listing += entry.path().string() + " " +
                   (entry.is_regular_file() ? std::to_string(entry.file_size()) : "dir") + "\n";
    }
    return listing;
}

// --help, --version and a stray argument answer without an evaluation: a
// directory ready for one is left exactly as it was.
TEST(Arbiter, AnswersItsOptionsWithoutTouchingAFile) {
    const auto dir = labtest::MakeCaseDirectory();
    ASSERT_EQ(RunIn(dir.root, std::string(MAKE_DEMO_DATA_PATH) + " --seed 3 .").status, 0);
    const std::string before = Listing(dir.root);

    const ProgramRun help = RunIn(dir.arbiter, std::string(ARBITER_PATH) + " --help 2>&1");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.console.rfind("Usage: arbiter\n", 0), 0u) << help.console;
    EXPECT_NE(help.console.find((std::string(runfiles::kFitness.Name()) +
                                 "                      out: the fitness")),
              std::string::npos);

    const ProgramRun shown = RunIn(dir.arbiter, std::string(ARBITER_PATH) + " --version 2>&1");
    EXPECT_EQ(shown.status, 0);
    EXPECT_EQ(shown.console, std::string(version::Text()) + "\n");

    const ProgramRun stray =
        RunIn(dir.arbiter, std::string(ARBITER_PATH) +
                               (std::string(" ") + runfiles::kCandidate.Name() + " 2>&1"));
    EXPECT_EQ(stray.status, 2);
    EXPECT_EQ(stray.console,
              (std::string("arbiter: unexpected argument '") + runfiles::kCandidate.Name() +
               "'; it takes none but --help or --version\nTry 'arbiter --help'.\n"));

    EXPECT_EQ(Listing(dir.root), before);
}

// A generated case in the test's directory; returns its arbiter directory.
std::filesystem::path MadeCase() {
    const auto dir = labtest::MakeCaseDirectory();
    EXPECT_EQ(RunIn(dir.root, std::string(MAKE_DEMO_DATA_PATH) + " --samples 200 .").status, 0);
    return dir.arbiter;
}

TEST(Arbiter, ExitsWithOneWheneverTheFitnessIsNotFiniteOrAnOutputIsIncomplete) {
    const auto arbiter = MadeCase();
    const std::string log = labtest::ReadText(arbiter / runfiles::kRunLog.Name());

    // A measured pressure of inf in the log's third record.
    std::string lines;
    int line = 0;
    for (std::size_t start = 0, end; (end = log.find('\n', start)) != std::string::npos;
         start = end + 1, ++line) {
        std::string text = log.substr(start, end - start + 1);
        if (line == 2) {
            // Fields: sample, four desired, then the first measured pressure.
            std::size_t field = 0;
            for (int blank = 0; blank < 5; ++blank) {
                field = text.find_first_of(" \t", text.find_first_not_of(" \t", field));
            }
            field = text.find_first_not_of(" \t", field);
            text.replace(field, text.find_first_of(" \t", field) - field, "inf");
        }
        lines += text;
    }
    labtest::WriteText(arbiter / runfiles::kRunLog.Name(), lines);
    ProgramRun run = RunIn(arbiter, ARBITER_PATH);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.console.find(std::string("No fitness computed: the replay of ") +
                               runfiles::kRunLog.Name() +
                               " gave "
                               "an error that is not a finite number"),
              std::string::npos)
        << run.console;
    EXPECT_EQ(labtest::ReadText(arbiter / runfiles::kFitness.Name()), "inf\n");

    // The fuzzy log on a full device: the fitness is written, the exit says
    // an output is incomplete.
    labtest::WriteText(arbiter / runfiles::kRunLog.Name(), log);
    std::filesystem::remove(arbiter / runfiles::kFuzzyPressureLog.Name());
    std::filesystem::create_symlink("/dev/full", arbiter / runfiles::kFuzzyPressureLog.Name());
    run = RunIn(arbiter, ARBITER_PATH);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(
        run.console.find((std::string(runfiles::kFuzzyPressureLog.Name()) + ": write failed")),
        std::string::npos)
        << run.console;
    EXPECT_GT(std::atof(labtest::ReadText(arbiter / runfiles::kFitness.Name()).c_str()), 0.0);
}

TEST(Arbiter, AReplayInputThatWasNotWrittenIsNotReadBack) {
    const auto arbiter = MadeCase();
    // Reading the full device back would never end.
    std::filesystem::remove(arbiter / runfiles::kReplayInput.Name());
    std::filesystem::create_symlink("/dev/full", arbiter / runfiles::kReplayInput.Name());
    const ProgramRun run = RunIn(arbiter, ARBITER_PATH);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.console.find((std::string(runfiles::kReplayInput.Name()) + ": write failed")),
              std::string::npos)
        << run.console;
    EXPECT_NE(run.console.find("No fitness computed: the replay input could not be prepared"),
              std::string::npos);
    EXPECT_EQ(labtest::ReadText(arbiter / runfiles::kFitness.Name()), "inf\n");

    // A log that is not a regular file is not read whole.
    std::filesystem::remove(arbiter / runfiles::kReplayInput.Name());
    std::filesystem::remove(arbiter / runfiles::kRunLog.Name());
    std::filesystem::create_symlink("/dev/zero", arbiter / runfiles::kRunLog.Name());
    const ProgramRun device = RunIn(arbiter, ARBITER_PATH);
    EXPECT_EQ(device.status, 1);
    EXPECT_NE(device.console.find(std::string(runfiles::kRunLog.Name()) +
                                  " is not a regular file; not read"),
              std::string::npos)
        << device.console;
}

}  // namespace
