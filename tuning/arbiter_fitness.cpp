// The fitness through an arbiter program, one process per candidate.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>

#include "platform/stdio_file.h"
#include "runfiles/catalogue.h"
#include "tuning/tuning.h"

namespace tuning {
namespace {

// Runs `program` with `directory` as its working directory and its standard
// output discarded; returns its exit status, or -1 when it did not exit.
int RunIn(const std::string& program, const std::string& directory) {
    const pid_t child = fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, STDOUT_FILENO);
        }
        if (chdir(directory.c_str()) == 0) {
            execlp(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        }
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ProgramPath(const std::string& program) {
    // A path is made absolute before the child changes directory; a bare
    // name is looked up on PATH.
    if (program.find('/') == std::string::npos) {
        return program;
    }
    return std::filesystem::absolute(program).string();
}

}  // namespace

ArbiterFitness::ArbiterFitness(std::string program, std::string directory)
    : program_(ProgramPath(program)), directory_(std::move(directory)) {}

double ArbiterFitness::Of(const Candidate& k) {
    const std::filesystem::path dir(directory_);
    lastText_.clear();
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

    const int status = RunIn(program_, directory_);
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
