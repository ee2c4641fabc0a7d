#include "platform/stdio_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace platform {

StdioFile OpenReporting(const char* path, const char* mode, const char* failureMessage) {
    StdioFile file(std::fopen(path, mode));
    if (!file) {
        std::fputs(failureMessage, stdout);
    }
    return file;
}

namespace {

std::string TooLarge(std::uintmax_t size) {
    return "holds " + std::to_string(size) + " bytes, more than the " +
           std::to_string(kReadWholeLimit) + " read whole";
}

std::string StatusProblem(const struct stat& status) {
    if (!S_ISREG(status.st_mode)) {
        return "is not a regular file";
    }
    if (std::uintmax_t(status.st_size) > kReadWholeLimit) {
        return TooLarge(std::uintmax_t(status.st_size));
    }
    return "";
}

}  // namespace

std::string ReadWholeProblem(std::FILE* file) {
    // A stream in memory (fmemopen) holds no more than memory already does.
    if (fileno(file) < 0) {
        return "";
    }
    struct stat status {};
    if (fstat(fileno(file), &status) != 0) {
        return "is not a regular file";
    }
    return StatusProblem(status);
}

std::string ReadWholeProblem(const std::filesystem::path& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        const int cause = errno;
        return cause == ENOENT ? "missing" : std::string("cannot be read: ") + std::strerror(cause);
    }
    return StatusProblem(status);
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path, std::string& problem) {
    StdioFile file(std::fopen(path.c_str(), "r"));
    if (!file) {
        const int cause = errno;
        problem = path.string() + ": " +
                  (cause == ENOENT ? std::string("missing")
                                   : std::string("cannot be read: ") + std::strerror(cause));
        return std::nullopt;
    }
    if (std::string why = ReadWholeProblem(file.get()); !why.empty()) {
        problem = path.string() + ": " + why;
        return std::nullopt;
    }
    std::string text;
    char block[1 << 16];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, file.get())) > 0;) {
        if (text.size() + n > kReadWholeLimit) {
            problem = path.string() + ": " + TooLarge(text.size() + n);
            return std::nullopt;
        }
        text.append(block, n);
    }
    if (std::ferror(file.get())) {
        problem = path.string() + ": cannot be read: " + std::strerror(errno);
        return std::nullopt;
    }
    return text;
}

std::string Quoted(std::string_view text) {
    constexpr std::size_t kShown = 60;
    return "'" +
           (text.size() <= kShown ? std::string(text)
                                  : std::string(text.substr(0, kShown)) + "...") +
           "'";
}

}  // namespace platform
