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
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace labdir {

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

}  // namespace labdir
