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

}  // namespace platform
