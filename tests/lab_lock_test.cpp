// One command per lab directory: a tool started while another process holds
// the directory refuses at once and names the holder; one started by the
// holder works under its lock.
#include "labdir/lab_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "labdir/family_swap.h"
#include "runfiles/catalogue.h"
#include "tests/lab_files.h"

namespace {

// A child process that holds the lock of `dir` until the object goes.
class OtherHolder {
  public:
    explicit OtherHolder(const std::filesystem::path& dir) {
        int ready[2], release[2];
        EXPECT_EQ(pipe(ready), 0);
        EXPECT_EQ(pipe(release), 0);
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            close(release[1]);
            const auto lock = labdir::LabLock::Take(dir.string(), "holder");
            const char held = lock ? 'y' : 'n';
            (void)!write(ready[1], &held, 1);
            char ignored;
            (void)!read(release[0], &ignored, 1);
            _exit(0);
        }
        close(ready[1]);
        close(release[0]);
        release_ = release[1];
        char held = 0;
        EXPECT_EQ(read(ready[0], &held, 1), 1);
        EXPECT_EQ(held, 'y');
        close(ready[0]);
    }
    ~OtherHolder() {
        close(release_);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    OtherHolder(const OtherHolder&) = delete;
    OtherHolder& operator=(const OtherHolder&) = delete;
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    int release_ = -1;
};

TEST(LabLock, ASecondCommandIsRefusedWithTheHoldersPidAndNothingIsWritten) {
    const std::filesystem::path lab = std::filesystem::current_path() / "lab";
    std::filesystem::remove_all(lab);
    std::filesystem::create_directories(lab);
    const std::string d = lab.string();
    const std::string commands[] = {
        std::string(TRAJGEN) + " --sine --dir " + d,
        std::string(LAB_RUN) + " --dir " + d + " hybrid",
        std::string(TRAIN_NETWORKS) + " --dir " + d + " valves",
        std::string(MAKE_DEMO_NETWORKS) + " --dir " + d,
        "(cd " + d + " && " + ARBITER + ")",
        "(cd " + d + " && " + TUNE_FUZZY + ")",
    };
    {
        const OtherHolder holder(lab);
        const std::string inUse =
            lab.string() + " is in use by PID " + std::to_string(holder.pid()) + " (";
        for (const std::string& command : commands) {
            const labtest::ToolRun run = labtest::RunTool(command, "");
            EXPECT_EQ(run.status, 1) << command;
            EXPECT_NE(run.err.find(inUse), std::string::npos) << command << "\n" << run.err;
            EXPECT_NE(run.err.find("one command per lab directory at a time"), std::string::npos);
        }
        // At most the empty NeuralFiles/ a tool creates before it locks.
        EXPECT_TRUE(!std::filesystem::exists(lab / "NeuralFiles") ||
                    std::filesystem::is_empty(lab / "NeuralFiles"));
        EXPECT_FALSE(std::filesystem::exists(lab / runfiles::kFitness.Name()));
        EXPECT_FALSE(std::filesystem::exists(lab / runfiles::kCandidate.Name()));
        // Writing the built-in vector to a named file is no lab command: lab
        // days started side by side do it in their shared directory.
        const labtest::ToolRun vector = labtest::RunTool(
            "(cd " + d + " && " + TUNE_FUZZY + " --write-built-in vector.txt)", "");
        EXPECT_EQ(vector.status, 0) << vector.err;
        EXPECT_TRUE(std::filesystem::exists(lab / "vector.txt"));
    }
    // Once the holder has gone, the directory is free again.
    EXPECT_EQ(labtest::RunTool(std::string(TRAJGEN) + " --sine --dir " + d, "").status, 0);
    EXPECT_TRUE(std::filesystem::exists(lab / "NeuralFiles" / runfiles::kDynamicTerms.Name()));
}

TEST(LabLock, AProgramStartedByTheHolderWorksUnderItsLock) {
    std::filesystem::create_directories("held");
    const auto lock = labdir::LabLock::Take("held", "lab_lock_test");
    ASSERT_TRUE(lock);
    const auto again = labdir::LabLock::Take("held", "lab_lock_test");
    EXPECT_TRUE(again);
    // Through a shell, as a grandchild.
    const labtest::ToolRun run = labtest::RunTool(std::string(TRAJGEN) + " --dir held", "");
    EXPECT_EQ(run.status, 0) << run.err;
}

// arbiter below a lab reads the lab's PONNET family without holding the lab:
// it waits while a replacement holds the family, and refuses a family that a
// killed program left half replaced until a command in the lab completes it.
TEST(LabLock, AReaderBelowTheLabWaitsForAReplacementAndRefusesAHalfDoneOne) {
    namespace fs = std::filesystem;
    const fs::path lab = fs::current_path() / "family-lab";
    fs::remove_all(lab);
    ASSERT_EQ(labtest::RunTool(std::string(MAKE_DEMO_DATA) + " " + lab.string(), "").status, 0);
    const std::string arbiter = "(cd " + (lab / "arbiter").string() + " && " + ARBITER + ")";
    const std::string notRead = "PONNET weights not read: " + (lab / "NeuralFiles").string();

    fs::create_directories(lab / "NeuralFiles/.new-WeightsPONNET");
    labtest::WriteText(lab / "NeuralFiles/.new-WeightsPONNET/.journal", "");
    labtest::ToolRun run = labtest::RunTool(arbiter, "");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find(notRead +
                           ": a killed program left a family half replaced (.new-WeightsPONNET); "
                           "the next command to take its lab's lock completes it\n"),
              std::string::npos)
        << run.out;

    // A command taking the lab's lock completes the family; then it is read.
    run = labtest::RunTool(std::string(TRAJGEN) + " --dir " + lab.string(), "");
    EXPECT_NE(run.err.find("completed the WeightsPONNET family"), std::string::npos) << run.err;
    {
        // A replacement under way holds the family's lock for a second.
        const int fd =
            open((lab / "NeuralFiles" / labdir::kFamilyLockName).c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(flock(fd, LOCK_EX), 0);
        std::thread release([fd] {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            close(fd);
        });
        const auto start = std::chrono::steady_clock::now();
        run = labtest::RunTool(arbiter, "");
        const auto waited = std::chrono::steady_clock::now() - start;
        release.join();
        EXPECT_GE(waited, std::chrono::seconds(1));
        EXPECT_EQ(run.status, 0) << run.out;
    }
}

TEST(LabLock, ADirectoryThatCannotHoldTheLockIsNamed) {
    const labtest::ToolRun run = labtest::RunTool(std::string(LAB_RUN) + " --dir /proc home", "");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("lab-run: cannot lock /proc: "), std::string::npos) << run.err;
}

}  // namespace
