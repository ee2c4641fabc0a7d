// One command per lab directory at a time.
//
// Every program that writes into a lab directory holds that directory's lock
// for as long as it writes (the console for its whole life):
//
//     const auto lock = labdir::LabLock::Take(dir, "TOOL");
//     if (!lock) { return 1; }
//
// The lock is an advisory flock on the file kLockFileName in the directory,
// which also holds the holder's PID and command line for the refusal. The
// kernel drops it when the holder exits, however it exits. A program started
// by the holder (an optimiser running arbiter in its own directory) works
// under its ancestor's lock, and the holder may take its lock again.
//
// Taking the lock also completes a family of weight files that a killed
// program left half replaced in the directory's NeuralFiles/ (family_swap.h),
// with a line on standard error saying what was done.
#pragma once

#include <optional>
#include <string>

namespace labdir {

inline constexpr const char* kLockFileName = ".lab-lock";

class LabLock {
  public:
    // Takes the lock of directory `dir` without waiting. When another process
    // holds it, or the lock file cannot be made, returns nothing and prints
    // one line on standard error: "PROGRAM: /abs/DIR is in use by PID 1234
    // (lab-run hybrid); one command per lab directory at a time".
    static std::optional<LabLock> Take(const std::string& dir, const char* program);

    LabLock(LabLock&& other) noexcept;
    LabLock& operator=(LabLock&&) = delete;
    LabLock(const LabLock&) = delete;
    ~LabLock();

  private:
    explicit LabLock(int fd) : fd_(fd) {}
    // Take without the message: the reason is left in `refusal`.
    static std::optional<LabLock> TakeOrExplain(const std::string& dir, std::string& refusal);
    int fd_;  // -1 when held by the parent process, or moved from
};

}  // namespace labdir
