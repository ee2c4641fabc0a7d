// The program's version, the same text in every program and in whatever
// records which program made a result: "tendon-lab 1.0.0 (commit 1a2b3c4)".
// The commit is captured from git at build time ("unknown" when the sources
// were not built from a git tree).
#pragma once

#include <optional>
#include <string_view>

namespace version {

std::string_view Text();

// For a program that takes no arguments: with none it returns nothing and the
// program goes on; `--help` prints `usage` and `--version` the version on
// standard output (0); anything else is named on standard error with a hint
// (2). Nothing is read or written besides.
std::optional<int> AnswerArguments(std::string_view program, std::string_view usage, int argc,
                                   const char* const* argv);

}  // namespace version
