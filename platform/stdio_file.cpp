#include "platform/stdio_file.h"

#include <sys/stat.h>

namespace platform {

StdioFile OpenReporting(const char* path, const char* mode, const char* failureMessage) {
    StdioFile file(std::fopen(path, mode));
    if (!file) {
        std::fputs(failureMessage, stdout);
    }
    return file;
}

std::string ReadWholeProblem(std::FILE* file) {
    struct stat status {};
    if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode)) {
        return "is not a regular file";
    }
    if (std::uintmax_t(status.st_size) > kReadWholeLimit) {
        return "holds " + std::to_string(status.st_size) + " bytes, more than the " +
               std::to_string(kReadWholeLimit) + " read whole";
    }
    return "";
}

}  // namespace platform
