// The built programs end to end: make-demo-data writes a case, arbiter
// scores it as the outside optimiser would start it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/lab_files.h"

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

}  // namespace
