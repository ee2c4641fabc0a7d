// Families of files replaced whole: a rename that fails puts the others
// back, and a program killed at any moment of its commit leaves, once the
// lab's lock is taken again, the old family or the new one and no staging.
#include "labdir/family_swap.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "labdir/lab_lock.h"
#include "tests/lab_files.h"

namespace {

namespace fs = std::filesystem;

// Stages `names` holding `version` ("Dir" a directory of two files), and
// commits them.
bool StageAndCommit(const std::vector<std::string>& names, const std::string& version,
                    std::string& done, bool& mixed) {
    std::string error;
    auto swap = labdir::FamilySwap::Begin("NeuralFiles", "test", error);
    if (!swap) {
        done = error;
        return false;
    }
    for (const std::string& name : names) {
        if (name == "Dir") {
            fs::create_directories(swap->Staged(name));
            std::ofstream(swap->Staged(name + "/a.txt")) << version;
            std::ofstream(swap->Staged(name + "/b.txt")) << version;
        } else {
            std::ofstream(swap->Staged(name)) << version;
        }
    }
    return swap->Commit(names, done, mixed);
}

// The versions the family's files hold.
std::set<std::string> Versions(const std::vector<std::string>& names) {
    std::set<std::string> versions;
    for (const std::string& name : names) {
        const fs::path path = fs::path("NeuralFiles") / name;
        if (name == "Dir") {
            versions.insert(labtest::ReadText(path / "a.txt"));
            versions.insert(labtest::ReadText(path / "b.txt"));
        } else {
            versions.insert(labtest::ReadText(path));
        }
    }
    return versions;
}

// The entries of `dir` besides the lock file its families keep.
int Entries(const fs::path& dir) {
    return int(std::count_if(fs::directory_iterator(dir), fs::directory_iterator(),
                             [](const fs::directory_entry& entry) {
                                 return entry.path().filename() != labdir::kFamilyLockName;
                             }));
}

TEST(FamilySwap, ReplacesWholeOrPutsBackWhatItReplacedAndSaysWhich) {
    const std::vector<std::string> names{"W1.txt", "W2.txt", "W3.txt", "Dir"};
    std::string done;
    bool mixed = true;
    // A first family where there was none; a note kept beside the directory
    // family's files survives its replacement.
    ASSERT_TRUE(StageAndCommit(names, "old", done, mixed)) << done;
    EXPECT_FALSE(mixed);
    EXPECT_EQ(done, "replaced together in NeuralFiles: W1.txt W2.txt W3.txt Dir");
    std::ofstream("NeuralFiles/Dir/notes.txt") << "mine";
    ASSERT_TRUE(StageAndCommit(names, "new", done, mixed)) << done;
    EXPECT_EQ(Versions(names), std::set<std::string>{"new"});
    EXPECT_EQ(labtest::ReadText("NeuralFiles/Dir/notes.txt"), "mine");
    EXPECT_EQ(Entries("NeuralFiles"), 4);

    // A directory where the third file belongs: the two before it go back.
    fs::remove("NeuralFiles/W3.txt");
    fs::create_directories("NeuralFiles/W3.txt/inside");
    EXPECT_FALSE(StageAndCommit(names, "newer", done, mixed));
    EXPECT_FALSE(mixed);
    EXPECT_EQ(done,
              "NeuralFiles/W3.txt could not be replaced (a directory is in its place); the 2 "
              "replaced before it were put back");
    EXPECT_EQ(labtest::ReadText("NeuralFiles/W1.txt"), "new");
    EXPECT_EQ(labtest::ReadText("NeuralFiles/W2.txt"), "new");
    EXPECT_TRUE(fs::is_directory("NeuralFiles/W3.txt/inside"));
    EXPECT_EQ(Entries("NeuralFiles"), 4) << "the staging directory is gone";

    // A file where the directory belongs: refused at the last entry.
    fs::remove_all("NeuralFiles/W3.txt");
    fs::remove_all("NeuralFiles/Dir");
    std::ofstream("NeuralFiles/Dir") << "a file";
    EXPECT_FALSE(StageAndCommit(names, "newer", done, mixed));
    EXPECT_EQ(done,
              "NeuralFiles/Dir could not be replaced (it is not a directory); the 3 replaced "
              "before it were put back");
    EXPECT_FALSE(fs::exists("NeuralFiles/W3.txt"));
    EXPECT_EQ(labtest::ReadText("NeuralFiles/Dir"), "a file");
}

// Kills a child at a different moment of its commits each time. Taking the
// lab's lock afterwards (as every command does) leaves one version of the
// family and no staging directory.
TEST(FamilySwap, AKillAtAnyMomentLeavesTheOldFamilyOrTheNewOneOnceTheLockIsTaken) {
    std::vector<std::string> names;
    for (int n = 0; n < 60; ++n) {
        names.push_back("W" + std::to_string(n) + ".txt");
    }
    names.push_back("Dir");
    std::string done;
    bool mixed = false;
    ASSERT_TRUE(StageAndCommit(names, "0", done, mixed)) << done;
    int mixedAtKill = 0, completions = 0;
    for (int round = 1; round <= 40; ++round) {
        int go[2];
        ASSERT_EQ(pipe(go), 0);
        const pid_t child = fork();
        if (child == 0) {
            close(go[0]);
            (void)!write(go[1], "g", 1);
            // Commits one new version after another until killed.
            for (int version = 1;; ++version) {
                StageAndCommit(names, std::to_string(round) + "." + std::to_string(version), done,
                               mixed);
            }
        }
        close(go[1]);
        char started;
        ASSERT_EQ(read(go[0], &started, 1), 1);
        close(go[0]);
        // Odd rounds kill at any moment; even ones just after the journal
        // appears, among the renames.
        if (round % 2 == 1) {
            usleep(useconds_t(700 * round));
        } else {
            while (!fs::exists("NeuralFiles/.new-test/.journal")) {
            }
            usleep(useconds_t(10 * round));
        }
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);

        mixedAtKill += Versions(names).size() > 1;
        testing::internal::CaptureStderr();
        ASSERT_TRUE(labdir::LabLock::Take(".", "test"));
        const std::string lines = testing::internal::GetCapturedStderr();
        completions += lines.find("test: completed the test family") != std::string::npos;
        const std::set<std::string> versions = Versions(names);
        ASSERT_EQ(versions.size(), 1u) << "round " << round << ": " << lines;
        EXPECT_EQ(Entries("NeuralFiles"), int(names.size())) << "round " << round << ": " << lines;
    }
    // The kills did land inside commits, or the test proved nothing.
    EXPECT_GT(mixedAtKill, 0);
    EXPECT_GE(completions, mixedAtKill);
}

TEST(FamilySwap, AJournalNamingAFileOutsideTheLabIsDamagedAndMovesNothing) {
    fs::create_directories("NeuralFiles/.new-test");
    std::ofstream("NeuralFiles/.new-test/W.txt") << "staged";
    struct stat staged {};
    ASSERT_EQ(stat("NeuralFiles/.new-test/W.txt", &staged), 0);
    std::ofstream("outside.txt") << "kept";
    std::ofstream("NeuralFiles/.new-test/.journal") << staged.st_ino << " ../outside.txt\n";
    const std::vector<std::string> lines = labdir::FinishInterruptedSwaps("NeuralFiles");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("has a damaged journal"), std::string::npos) << lines[0];
    EXPECT_EQ(labtest::ReadText("outside.txt"), "kept");
    EXPECT_EQ(labtest::ReadText("NeuralFiles/.new-test/W.txt"), "staged");
}

}  // namespace
