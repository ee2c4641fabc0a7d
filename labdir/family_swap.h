// Replacing a family of files or directories in a lab directory all at once.
//
// The new entries are written into a staging directory DIR/.new-FAMILY and
// exchanged with the entries in DIR by rename (renameat2 RENAME_EXCHANGE, so
// a name is never missing). A journal written before the first exchange
// names each new entry by its inode:
//
//   - a rename that fails puts the entries already exchanged back, so the
//     family is the old one, and says which rename failed and why;
//   - a kill before the journal leaves the old family and a staging
//     directory, which FinishInterruptedSwaps removes;
//   - a kill after it leaves the journal, from which FinishInterruptedSwaps
//     completes the exchanges: the family is the new one.
//
// FinishInterruptedSwaps runs whenever a program takes the lab's lock, so no
// command in the lab ever sees a family half replaced.
//
// A program may read a family in a directory whose lab it does not hold (an
// arbiter below the lab, a run reading its lab's networks through links).
// The exchanges and their completion hold an exclusive flock on the
// directory's kFamilyLockName, and such a reader a shared one while it
// loads (FamilyReadLock): it reads the family before the exchanges or
// after them, never between, and refuses one a killed program left half
// replaced.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace labdir {

inline constexpr const char* kFamilyLockName = ".family-lock";

// How long a reader waits for a replacement to end, and a replacement for
// the readers, before giving up: far longer than the renames take.
inline constexpr int kFamilyLockWaitMs = 10000;

class FamilySwap {
  public:
    // Makes the staging directory of `family` in `dir`, emptying one an
    // earlier run left. Nothing, with the reason in `error`, when it cannot.
    static std::optional<FamilySwap> Begin(const std::string& dir, const std::string& family,
                                           std::string& error);

    FamilySwap(FamilySwap&& other) noexcept;
    FamilySwap& operator=(FamilySwap&&) = delete;
    FamilySwap(const FamilySwap&) = delete;
    // Removes the staging directory, with whatever it holds.
    ~FamilySwap();

    // Where to write `entry` (a name in DIR, or a path below a directory
    // entry) before Commit.
    std::string Staged(const std::string& entry) const;

    // Replaces the entries `names` of DIR by their staged versions, all or
    // none. True when all were replaced; `done` says what happened either
    // way: "replaced together in DIR: A B", or which rename failed, why, and
    // that the others were put back. `mixed` is set only when putting them
    // back failed too; the journal is then kept for the next lock holder.
    bool Commit(const std::vector<std::string>& names, std::string& done, bool& mixed);

  private:
    FamilySwap(std::string dir, std::string staging)
        : dir_(std::move(dir)), staging_(std::move(staging)) {}
    std::string dir_, staging_;  // staging_ empty when moved from or kept
};

// Completes or removes every replacement a killed program left in `dir`;
// one line for each, saying what was done.
std::vector<std::string> FinishInterruptedSwaps(const std::string& dir);

// Keeps the families of the directories that hold `paths` (after links)
// from being replaced while it lives.
class FamilyReadLock {
  public:
    // Waits for a replacement under way to end. Nothing, with "DIR: why" in
    // `refusal`, when one does not end in time or a killed program left one
    // half done. A directory this process may not write needs no lock: no
    // program of its user can replace its files either.
    static std::optional<FamilyReadLock> Take(const std::vector<std::string>& paths,
                                              std::string& refusal);

    FamilyReadLock(FamilyReadLock&& other) noexcept = default;
    FamilyReadLock& operator=(FamilyReadLock&&) = delete;
    FamilyReadLock(const FamilyReadLock&) = delete;
    ~FamilyReadLock();

  private:
    FamilyReadLock() = default;
    std::vector<int> fds_;
};

}  // namespace labdir
