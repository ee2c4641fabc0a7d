// The one owner of an open stdio stream: closes it when the owner goes.
// Code that must know whether closing succeeded (a full disk shows when the
// buffer is flushed) closes it itself: std::fclose(file.release()).
#pragma once

#include <cstdio>
#include <memory>

namespace platform {

struct StdioFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using StdioFile = std::unique_ptr<std::FILE, StdioFileCloser>;

// Opens `path` with `mode`; when it cannot be opened, prints `failureMessage`
// on standard output and returns an empty owner, which the caller skips.
StdioFile OpenReporting(const char* path, const char* mode, const char* failureMessage);

}  // namespace platform
