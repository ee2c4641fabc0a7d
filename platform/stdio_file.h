// The one owner of an open stdio stream: closes it when the owner goes.
// Code that must know whether closing succeeded (a full disk shows when the
// buffer is flushed) closes it itself: std::fclose(file.release()).
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

struct StdioFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using StdioFile = std::unique_ptr<std::FILE, StdioFileCloser>;

// Opens `path` with `mode`; when it cannot be opened, prints `failureMessage`
// on standard output and returns an empty owner, which the caller skips.
StdioFile OpenReporting(const char* path, const char* mode, const char* failureMessage);

// Files read whole into memory are refused beyond this size: far more than
// any run needs (a 27 s run's log is about 100 kB), far less than the memory
// a device or a runaway file would take.
inline constexpr std::uintmax_t kReadWholeLimit = std::uintmax_t(256) << 20;

// Why `file` cannot be read whole into memory ("is not a regular file",
// "holds N bytes, more than the 268435456 read whole"); empty when it can.
std::string ReadWholeProblem(std::FILE* file);

// The same for the file at `path`, with "missing" or why it cannot be
// examined.
std::string ReadWholeProblem(const std::filesystem::path& path);

// The content of the file at `path`; nothing when it cannot be read whole,
// with "PATH: why" in `problem`. A file that grows past the limit while it
// is read is refused too.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path, std::string& problem);

// A line or field of a file as a refusal quotes it: 'TEXT', cut after 60
// characters ('TEXT...'), so that a megabyte of garbage is not copied to a
// message.
std::string Quoted(std::string_view text);

}  // namespace platform
