// The built programs end to end: make-demo-data writes a case, arbiter
// scores it as the outside optimiser would start it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

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
    const std::string fitness = labtest::ReadText(dir.arbiter / "FEval.txt");
    EXPECT_EQ(run.console, fitness);
    EXPECT_GT(std::atof(fitness.c_str()), 0.0);
    EXPECT_LT(std::atof(fitness.c_str()), 1.0);
    EXPECT_EQ(labtest::LineCount(dir.arbiter / "SimALLWeights.txt"), 1327);
    EXPECT_EQ(labtest::LineCount(dir.arbiter / "SimLOGFuzzyPressures.txt"), 1325);

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
    EXPECT_NE(help.console.find("FEval.txt                      out: the fitness"),
              std::string::npos);

    const ProgramRun shown = RunIn(dir.arbiter, std::string(ARBITER_PATH) + " --version 2>&1");
    EXPECT_EQ(shown.status, 0);
    EXPECT_EQ(shown.console, std::string(version::Text()) + "\n");

    const ProgramRun stray = RunIn(dir.arbiter, std::string(ARBITER_PATH) + " KFFile.txt 2>&1");
    EXPECT_EQ(stray.status, 2);
    EXPECT_EQ(stray.console,
              "arbiter: unexpected argument 'KFFile.txt'; it takes none but --help or --version\n"
              "Try 'arbiter --help'.\n");

    EXPECT_EQ(Listing(dir.root), before);
}

}  // namespace
