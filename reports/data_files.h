// Strict readers of the whitespace-separated number files that runs,
// evaluations and procedures write: every line must hold the expected
// count of numbers, so a truncated or foreign file is named, not drawn.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace reports {

// Rows of numbers, each holding between `least` and `most` values (rows
// with fewer than `most` are padded with zeros). A blank last line is
// allowed. On failure `error` is "FILE: what is wrong".
using Rows = std::vector<std::vector<double>>;
std::optional<Rows> ReadRows(const std::filesystem::path& file, int least, int most,
                             std::string& error);

// Every number of the file, line after line.
std::optional<std::vector<double>> ReadValues(const std::filesystem::path& file,
                                              std::string& error);

// One column of `rows`, optionally scaled.
std::vector<double> Column(const Rows& rows, int index, double scale = 1.0);

}  // namespace reports
