// The fitness through an arbiter program, one process per candidate.
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>

#include "platform/stdio_file.h"
#include "runfiles/catalogue.h"
#include "tuning/tuning.h"

namespace tuning {
namespace {

std::string ProgramPath(const std::string& program) {
    // A path is made absolute before the child changes directory; a bare
    // name is looked up on PATH.
    if (program.find('/') == std::string::npos) {
        return program;
    }
    return std::filesystem::absolute(program).lexically_normal().string();
}

}  // namespace

ArbiterFitness::ArbiterFitness(std::string program, std::string directory, int timeoutSeconds)
    : program_(ProgramPath(program)),
      directory_(std::move(directory)),
      timeoutSeconds_(timeoutSeconds) {}

int ArbiterFitness::Run() {
    // The child reports a failed exec through this pipe, closed on exec.
    int execFailure[2];
    if (pipe2(execFailure, O_CLOEXEC) != 0) {
        problem_ = "cannot run " + program_ + ": " + std::strerror(errno);
        return -1;
    }
    const pid_t child = fork();
    if (child < 0) {
        problem_ = "cannot run " + program_ + ": " + std::strerror(errno);
        close(execFailure[0]);
        close(execFailure[1]);
        return -1;
    }
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, STDOUT_FILENO);
        }
        if (chdir(directory_.c_str()) == 0) {
            execlp(program_.c_str(), program_.c_str(), static_cast<char*>(nullptr));
        }
        const int failure = errno;
        (void)!write(execFailure[1], &failure, sizeof failure);
        _exit(127);
    }
    close(execFailure[1]);
    int failure = 0;
    const bool execFailed = read(execFailure[0], &failure, sizeof failure) == sizeof failure;
    close(execFailure[0]);

    // Waits for the child, at most the timeout when the kernel can say so.
    const int pidfd = int(syscall(SYS_pidfd_open, child, 0));
    if (pidfd >= 0) {
        pollfd exited{pidfd, POLLIN, 0};
        int ready;
        while ((ready = poll(&exited, 1, timeoutSeconds_ * 1000)) < 0 && errno == EINTR) {
        }
        close(pidfd);
        if (ready == 0) {
            kill(child, SIGKILL);
            problem_ = program_ + " ran longer than " + std::to_string(timeoutSeconds_) +
                       " s and was killed";
        }
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    if (execFailed) {
        problem_ = "cannot run " + program_ + ": " + std::strerror(failure);
    }
    return problem_.empty() && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double ArbiterFitness::Of(const Candidate& k) {
    const std::filesystem::path dir(directory_);
    lastText_.clear();
    if (!problem_.empty()) {
        return std::numeric_limits<double>::infinity();
    }
    {
        platform::StdioFile candidate(std::fopen((dir / runfiles::kCandidate.path).c_str(), "w"));
        if (!candidate || !runfiles::WriteCandidates(candidate.get(), k.data()) ||
            std::fclose(candidate.release()) != 0) {
            return std::numeric_limits<double>::infinity();
        }
    }
    // A run that dies before writing must not leave the last candidate's fitness.
    std::error_code ignored;
    std::filesystem::remove(dir / runfiles::kFitness.path, ignored);

    const int status = Run();
    platform::StdioFile result(std::fopen((dir / runfiles::kFitness.path).c_str(), "r"));
    if (result) {
        for (int c; (c = std::fgetc(result.get())) != EOF;) {
            lastText_ += char(c);
        }
    }
    if (status != 0) {
        return std::numeric_limits<double>::infinity();
    }
    char* end = nullptr;
    const double fitness = std::strtod(lastText_.c_str(), &end);
    if (end == lastText_.c_str() || !std::isfinite(fitness)) {
        return std::numeric_limits<double>::infinity();
    }
    return fitness;
}

}  // namespace tuning
