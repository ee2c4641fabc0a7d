#include "platform/stdio_file.h"

namespace platform {

StdioFile OpenReporting(const char* path, const char* mode, const char* failureMessage) {
    StdioFile file(std::fopen(path, mode));
    if (!file) {
        std::fputs(failureMessage, stdout);
    }
    return file;
}

}  // namespace platform
