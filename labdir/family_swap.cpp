#include "labdir/family_swap.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "platform/stdio_file.h"

namespace labdir {
namespace {

namespace fs = std::filesystem;

constexpr const char* kStagingPrefix = ".new-";
// In the staging directory: "INODE NAME" per new entry, once all are staged.
constexpr const char* kJournalName = ".journal";

struct Entry {
    std::string name;
    ino_t inode;
};

std::string Path(const std::string& dir, const std::string& name) {
    return dir + "/" + name;
}

// Exchanges `staged` with `target`, or moves it there when there is no
// target; the reason of a failure, or an empty text.
std::string Exchange(const std::string& staged, const std::string& target, bool targetExists) {
    if (renameat2(AT_FDCWD, staged.c_str(), AT_FDCWD, target.c_str(),
                  targetExists ? RENAME_EXCHANGE : RENAME_NOREPLACE) != 0) {
        return std::strerror(errno);
    }
    return {};
}

// Undoes Exchange.
std::string Unexchange(const std::string& staged, const std::string& target, bool targetExisted) {
    const int moved =
        targetExisted
            ? renameat2(AT_FDCWD, staged.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE)
            : renameat2(AT_FDCWD, target.c_str(), AT_FDCWD, staged.c_str(), RENAME_NOREPLACE);
    return moved == 0 ? std::string() : std::strerror(errno);
}

// A directory's family lock when this process may not write there.
constexpr int kNeedsNoLock = -2;

// Takes the family lock of `dir` with `operation` (LOCK_SH or LOCK_EX),
// waiting up to kFamilyLockWaitMs: its descriptor, kNeedsNoLock, or -1 with
// the reason in `why`.
int LockFamilies(const std::string& dir, int operation, std::string& why) {
    const int fd = open(Path(dir, kFamilyLockName).c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EACCES || errno == EROFS) {
            return kNeedsNoLock;
        }
        why = Path(dir, kFamilyLockName) + " cannot be opened: " + std::strerror(errno);
        return -1;
    }
    constexpr int kPollMs = 10;
    for (int waited = 0; flock(fd, operation | LOCK_NB) != 0; waited += kPollMs) {
        if (errno != EWOULDBLOCK || waited >= kFamilyLockWaitMs) {
            why = errno != EWOULDBLOCK
                      ? Path(dir, kFamilyLockName) + " cannot be locked: " + std::strerror(errno)
                      : std::string(operation == LOCK_EX ? "its families were being read"
                                                         : "its families were being replaced") +
                            " for more than " + std::to_string(kFamilyLockWaitMs / 1000) + " s";
            close(fd);
            return -1;
        }
        usleep(kPollMs * 1000);
    }
    return fd;
}

// Holds a family lock until it goes.
struct HeldLock {
    int fd;
    ~HeldLock() {
        if (fd >= 0) {
            close(fd);
        }
    }
};

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : " ") + name;
    }
    return text;
}

// Files of the old directory entry `target` that the new one `staged` does
// not hold are copied into it, so that replacing a family keeps what else was
// kept beside it. Empty text when done.
std::string CarryOver(const std::string& target, const std::string& staged) {
    std::error_code error;
    for (const fs::directory_entry& file : fs::directory_iterator(target, error)) {
        const fs::path copy = fs::path(staged) / file.path().filename();
        if (file.is_regular_file(error) && !fs::exists(copy, error)) {
            fs::copy_file(file.path(), copy, error);
        }
        if (error) {
            return file.path().string() + " could not be kept: " + error.message();
        }
    }
    return error ? target + " could not be read: " + error.message() : std::string();
}

bool WriteJournal(const std::string& staging, const std::vector<Entry>& entries) {
    const std::string journal = Path(staging, kJournalName);
    const std::string beside = journal + ".tmp";
    {
        std::ofstream file(beside);
        for (const Entry& entry : entries) {
            file << entry.inode << ' ' << entry.name << '\n';
        }
        file.close();
        if (!file) {
            return false;
        }
    }
    return std::rename(beside.c_str(), journal.c_str()) == 0;
}

// Completes or removes the staging directory `staging` of `dir`.
std::string FinishOne(const std::string& dir, const std::string& staging) {
    const std::string family =
        fs::path(staging).filename().string().substr(std::strlen(kStagingPrefix));
    std::string unlocked;
    const HeldLock lock{LockFamilies(dir, LOCK_EX, unlocked)};
    if (lock.fd == -1) {
        return "the " + family +
               " family a killed run began replacing could not be completed: " + dir + ": " +
               unlocked + "; kept in " + staging + " for the next command";
    }
    const std::string journalPath = Path(staging, kJournalName);
    std::error_code error;
    if (!fs::exists(journalPath, error)) {
        fs::remove_all(staging, error);
        if (error) {
            return "the unfinished " + family + " files of a killed run in " + staging +
                   " could not be removed: " + error.message();
        }
        return "removed the unfinished " + family +
               " files of a killed run; the family was left as it was";
    }
    std::string problem;
    const std::optional<std::string> text = platform::ReadWholeFile(journalPath, problem);
    std::istringstream journal(text.value_or(""));
    std::vector<std::string> completed;
    Entry entry;
    while (text && journal >> entry.inode >> entry.name) {
        // The journal names files of `dir` only: a name that leads elsewhere
        // is a damaged journal, never a rename outside the lab.
        if (entry.name.find('/') != std::string::npos || entry.name == "." || entry.name == "..") {
            break;
        }
        const std::string target = Path(dir, entry.name), staged = Path(staging, entry.name);
        struct stat now {};
        const bool targetExists = lstat(target.c_str(), &now) == 0;
        if (targetExists && now.st_ino == entry.inode) {
            continue;
        }
        struct stat waiting {};
        std::string why = lstat(staged.c_str(), &waiting) != 0 || waiting.st_ino != entry.inode
                              ? std::string("its new version is gone")
                              : Exchange(staged, target, targetExists);
        if (!why.empty()) {
            return "the " + family +
                   " family a killed run began replacing could not be completed: " + target + ": " +
                   why + "; kept in " + staging + " for the next command";
        }
        completed.push_back(entry.name);
    }
    if (!text || !journal.eof()) {
        return "the " + family + " family a killed run began replacing has a damaged journal in " +
               staging + "; kept there, the family may be mixed";
    }
    fs::remove_all(staging, error);
    return "completed the " + family + " family a killed run was replacing" +
           (completed.empty() ? std::string() : " (" + Joined(completed) + ")");
}

}  // namespace

std::optional<FamilySwap> FamilySwap::Begin(const std::string& dir, const std::string& family,
                                            std::string& error) {
    const std::string staging = Path(dir, kStagingPrefix + family);
    std::error_code code;
    if (fs::exists(staging, code)) {
        const std::string line = FinishOne(dir, staging);
        if (fs::exists(staging, code)) {
            error = line;
            return std::nullopt;
        }
    }
    fs::create_directories(staging, code);
    if (code) {
        error = staging + " could not be made: " + code.message();
        return std::nullopt;
    }
    return FamilySwap(dir, staging);
}

FamilySwap::FamilySwap(FamilySwap&& other) noexcept
    : dir_(std::move(other.dir_)), staging_(std::exchange(other.staging_, std::string())) {}

FamilySwap::~FamilySwap() {
    if (!staging_.empty()) {
        std::error_code error;
        fs::remove_all(staging_, error);
    }
}

std::string FamilySwap::Staged(const std::string& entry) const {
    return Path(staging_, entry);
}

bool FamilySwap::Commit(const std::vector<std::string>& names, std::string& done, bool& mixed) {
    mixed = false;
    std::vector<Entry> entries;
    for (const std::string& name : names) {
        struct stat staged {
        }, old{};
        if (lstat(Staged(name).c_str(), &staged) != 0) {
            done = Staged(name) + " was not written; nothing was replaced";
            return false;
        }
        if (S_ISDIR(staged.st_mode) && lstat(Path(dir_, name).c_str(), &old) == 0 &&
            S_ISDIR(old.st_mode)) {
            const std::string problem = CarryOver(Path(dir_, name), Staged(name));
            if (!problem.empty()) {
                done = problem + "; nothing was replaced";
                return false;
            }
        }
        entries.push_back({name, staged.st_ino});
    }
    std::string why;
    const HeldLock lock{LockFamilies(dir_, LOCK_EX, why)};
    if (lock.fd == -1) {
        done = dir_ + ": " + why + "; nothing was replaced";
        return false;
    }
    if (!WriteJournal(staging_, entries)) {
        done = Path(staging_, kJournalName) + " could not be written; nothing was replaced";
        return false;
    }

    std::vector<bool> existed;  // per entry exchanged so far: whether it had an old version
    for (const Entry& entry : entries) {
        const std::string target = Path(dir_, entry.name);
        struct stat old {
        }, staged{};
        const bool exists = lstat(target.c_str(), &old) == 0;
        lstat(Staged(entry.name).c_str(), &staged);
        why.clear();
        if (exists && S_ISDIR(old.st_mode) && !S_ISDIR(staged.st_mode)) {
            why = "a directory is in its place";
        } else if (exists && !S_ISDIR(old.st_mode) && S_ISDIR(staged.st_mode)) {
            why = "it is not a directory";
        } else {
            why = Exchange(Staged(entry.name), target, exists);
        }
        if (why.empty()) {
            existed.push_back(exists);
            continue;
        }
        done = target + " could not be replaced (" + why + ")";
        std::vector<std::string> stuck;
        for (std::size_t k = existed.size(); k-- > 0;) {
            const std::string back =
                Unexchange(Staged(entries[k].name), Path(dir_, entries[k].name), existed[k]);
            if (!back.empty()) {
                stuck.push_back(entries[k].name + " (" + back + ")");
            }
        }
        if (!stuck.empty()) {
            // The journal stays: the next lock holder completes the family.
            mixed = true;
            staging_.clear();
            done += "; " + Joined(stuck) +
                    " could not be put back: the family is mixed until the next command in " +
                    dir_ + " completes it";
            return false;
        }
        std::remove(Path(staging_, kJournalName).c_str());
        done += existed.empty() ? "; nothing was replaced"
                                : "; the " + std::to_string(existed.size()) +
                                      " replaced before it were put back";
        return false;
    }
    // Without its journal the staging directory is only the old family's
    // leftovers: readers may go on.
    std::remove(Path(staging_, kJournalName).c_str());
    done = "replaced together in " + dir_ + ": " + Joined(names);
    return true;
}

std::vector<std::string> FinishInterruptedSwaps(const std::string& dir) {
    std::vector<std::string> stagings, lines;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kStagingPrefix, 0) == 0 && entry.is_directory(error)) {
            stagings.push_back(entry.path().string());
        }
    }
    for (const std::string& staging : stagings) {
        lines.push_back(FinishOne(dir, staging));
    }
    return lines;
}

std::optional<FamilyReadLock> FamilyReadLock::Take(const std::vector<std::string>& paths,
                                                   std::string& refusal) {
    FamilyReadLock held;
    std::vector<std::string> dirs;
    for (const std::string& path : paths) {
        // The directory that holds the entry once links are followed; a
        // missing entry is left to its loader to report.
        std::error_code error;
        std::string named = path;
        while (named.size() > 1 && named.back() == '/') {
            named.pop_back();
        }
        const std::string dir = fs::weakly_canonical(named, error).parent_path().string();
        if (error || !fs::is_directory(dir, error) ||
            std::find(dirs.begin(), dirs.end(), dir) != dirs.end()) {
            continue;
        }
        dirs.push_back(dir);
        std::string why;
        const int fd = LockFamilies(dir, LOCK_SH, why);
        if (fd == -1) {
            refusal = dir + ": " + why;
            return std::nullopt;
        }
        if (fd == kNeedsNoLock) {
            continue;
        }
        held.fds_.push_back(fd);
        for (const fs::directory_entry& entry : fs::directory_iterator(dir, error)) {
            if (entry.path().filename().string().rfind(kStagingPrefix, 0) == 0 &&
                fs::exists(entry.path() / kJournalName, error)) {
                refusal = dir + ": a killed program left a family half replaced (" +
                          entry.path().filename().string() +
                          "); the next command to take its lab's lock completes it";
                return std::nullopt;
            }
        }
    }
    return held;
}

FamilyReadLock::~FamilyReadLock() {
    for (const int fd : fds_) {
        close(fd);
    }
}

}  // namespace labdir
