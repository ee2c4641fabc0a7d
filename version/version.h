// The version every program reports and the lab notebook records: the
// project's release and the git commit the program was built from.
#pragma once

#include <optional>
#include <string_view>

namespace version {

// "tendon-lab 1.0.0 (commit 1a2b3c4)"; the commit reads "unknown" when the
// program was built outside a git tree.
std::string_view Text();

// For a program that takes no arguments: with none it returns nothing and the
// program goes on; `--help` prints `usage` and `--version` the version on
// standard output (0); anything else is named on standard error with a hint
// (2). Nothing is read or written besides.
std::optional<int> AnswerArguments(std::string_view program, std::string_view usage, int argc,
                                   const char* const* argv);

}  // namespace version
