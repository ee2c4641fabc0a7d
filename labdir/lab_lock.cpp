#include "labdir/lab_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "labdir/family_swap.h"
#include "runfiles/catalogue.h"

namespace labdir {
namespace {

// The holder's line in the lock file is read back this far: enough for any
// command a refusal needs to name.
constexpr std::size_t kHolderLineLimit = 512;

// This process's command line, arguments separated by blanks, cut to what
// the holder's line keeps.
std::string OwnCommandLine() {
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    std::string text(kHolderLineLimit - 32, '\0');  // the PID and a blank come first
    file.read(text.data(), std::streamsize(text.size()));
    text.resize(std::size_t(file.gcount()));
    while (!text.empty() && text.back() == '\0') {
        text.pop_back();
    }
    for (char& c : text) {
        if (c == '\0' || c == '\n') {
            c = ' ';
        }
    }
    return text;
}

// The holder's "PID COMMAND" line as its lock file keeps it; empty while the
// holder has not written it yet.
std::string HolderLine(int fd) {
    char buffer[kHolderLineLimit] = {};
    const ssize_t got = pread(fd, buffer, sizeof buffer - 1, 0);
    std::string line(buffer, got > 0 ? std::size_t(got) : 0);
    return line.substr(0, line.find('\n'));
}

// The holder's PID from its line, 0 when there is none.
long HolderPid(const std::string& line) {
    long pid = 0;
    std::istringstream(line) >> pid;
    return pid;
}

// Whether `pid` is this process or its parent, grandparent and so on: a
// program started by the holder, directly or through a shell, works under its
// lock, and the holder may take it again.
bool IsSelfOrAncestor(long pid) {
    for (long current = long(getpid()); current > 1;) {
        if (current == pid) {
            return true;
        }
        std::ifstream stat("/proc/" + std::to_string(current) + "/stat");
        std::string line;
        std::getline(stat, line);
        // "PID (COMMAND) STATE PPID ...": the command may hold blanks and
        // parentheses, so the fields are counted after the last ')'.
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos) {
            return false;
        }
        char state = 0;
        long parent = 0;
        if (!(std::istringstream(line.substr(close + 1)) >> state >> parent)) {
            return false;
        }
        current = parent;
    }
    return false;
}

// The directory as one absolute path, for messages.
std::string Shown(const std::string& dir) {
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(dir, error).lexically_normal();
    if (!path.has_filename() && path.has_parent_path() && path != path.root_path()) {
        path = path.parent_path();
    }
    return error ? dir : path.string();
}

}  // namespace

std::optional<LabLock> LabLock::Take(const std::string& dir, const char* program) {
    std::string refusal;
    std::optional<LabLock> lock = TakeOrExplain(dir, refusal);
    if (!lock) {
        std::fprintf(stderr, "%s: %s\n", program, refusal.c_str());
        return lock;
    }
    // A family of weight files a killed program was replacing is completed
    // (or its unfinished new files removed) before anything reads it.
    if (lock->fd_ >= 0) {
        for (const std::string& line :
             FinishInterruptedSwaps(dir + "/" + runfiles::kLabDirectory)) {
            std::fprintf(stderr, "%s: %s\n", program, line.c_str());
        }
    }
    return lock;
}

std::optional<LabLock> LabLock::TakeOrExplain(const std::string& dir, std::string& refusal) {
    const std::string path = dir + "/" + kLockFileName;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        refusal = "cannot lock " + Shown(dir) + ": " + std::strerror(errno);
        return std::nullopt;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int lockError = errno;
        const std::string holder = HolderLine(fd);
        close(fd);
        if (lockError != EWOULDBLOCK) {
            refusal = "cannot lock " + Shown(dir) + ": " + std::strerror(lockError);
            return std::nullopt;
        }
        const long pid = HolderPid(holder);
        if (pid != 0 && IsSelfOrAncestor(pid)) {
            return LabLock(-1);
        }
        const std::size_t blank = holder.find(' ');
        refusal =
            Shown(dir) + " is in use by " +
            (pid == 0 ? std::string("another command")
                      : "PID " + std::to_string(pid) + " (" +
                            (blank == std::string::npos ? "" : holder.substr(blank + 1)) + ")") +
            "; one command per lab directory at a time";
        return std::nullopt;
    }
    const std::string line = std::to_string(long(getpid())) + " " + OwnCommandLine() + "\n";
    if (ftruncate(fd, 0) != 0 || pwrite(fd, line.data(), line.size(), 0) != ssize_t(line.size())) {
        refusal = "cannot lock " + Shown(dir) + ": " + std::strerror(errno);
        close(fd);
        return std::nullopt;
    }
    return LabLock(fd);
}

LabLock::LabLock(LabLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

LabLock::~LabLock() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

}  // namespace labdir
