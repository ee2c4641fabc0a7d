// The strict reader of the lab's number files, for the programs that check
// a recording before they use it (reports, trainer, run figures). Every
// line must hold the expected count of numbers, each a finite number, so a
// truncated or foreign file is named with its line and what is wrong
// instead of being used. Blank lines may only end a file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "runfiles/run_files.h"

namespace runfiles {

// Rows of numbers, each holding between `least` and `most` values (rows
// with fewer than `most` are padded with zeros). On failure `error` is
// "FILE: what is wrong".
using Rows = std::vector<std::vector<double>>;
std::optional<Rows> ReadRows(const std::filesystem::path& file, int least, int most,
                             std::string& error);

// Every number of the file, line after line.
std::optional<std::vector<double>> ReadValues(const std::filesystem::path& file,
                                              std::string& error);

// The records of a file in a record layout: every line holds the record's
// fields, each converted as the layout's reader converts it (32-bit reals,
// whole numbers where the layout holds counts).
std::optional<std::vector<PressureLogRecord>> ReadLogRecords(const std::filesystem::path& file,
                                                             std::string& error);
std::optional<std::vector<TrajectoryRecord>> ReadTrajectoryRecords(
    const std::filesystem::path& file, std::string& error);

}  // namespace runfiles
