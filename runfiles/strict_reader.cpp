#include "runfiles/strict_reader.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string_view>

#include "platform/stdio_file.h"

namespace runfiles {
namespace {

using Fields = std::vector<std::string_view>;

std::string Where(const std::filesystem::path& file, int line) {
    return file.string() + ": line " + std::to_string(line);
}

// The white-space separated fields of a line.
Fields Split(const std::string& line) {
    Fields fields;
    std::size_t at = 0;
    while ((at = line.find_first_not_of(" \t\r", at)) != std::string::npos) {
        const std::size_t end = std::min(line.find_first_of(" \t\r", at), line.size());
        fields.emplace_back(line.data() + at, end - at);
        at = end;
    }
    return fields;
}

// Reads `file` line by line; `take(fields)` converts one line's fields and
// returns what is wrong with them, or an empty text.
template <typename Take>
bool ParseLines(const std::filesystem::path& file, std::string& error, Take take) {
    std::error_code code;
    if (!std::filesystem::is_regular_file(file, code)) {
        error = file.string() + ": missing";
        return false;
    }
    // Every row is kept in memory: a runaway file is refused, not read.
    if (const std::string why = platform::ReadWholeProblem(file); !why.empty()) {
        error = file.string() + ": " + why;
        return false;
    }
    std::ifstream in(file);
    if (!in) {
        error = file.string() + ": cannot be opened (" + std::strerror(errno) + ")";
        return false;
    }
    std::string line;
    int lineNumber = 0;
    bool blankSeen = false;
    while (std::getline(in, line)) {
        ++lineNumber;
        const Fields fields = Split(line);
        if (fields.empty()) {
            blankSeen = true;
            continue;
        }
        if (blankSeen) {
            error = Where(file, lineNumber) + " follows a blank line";
            return false;
        }
        const std::string wrong = take(fields, line);
        if (!wrong.empty()) {
            error = Where(file, lineNumber) + wrong;
            return false;
        }
    }
    if (in.bad()) {
        error = file.string() + ": read error";
        return false;
    }
    return true;
}

// One field as a number of type T; what is wrong with it, or an empty text.
template <typename T>
std::string Convert(std::string_view field, const std::string& line, T& value) {
    const std::string text(field);
    char* end = nullptr;
    errno = 0;
    if constexpr (std::is_same_v<T, int>) {
        const long whole = std::strtol(text.c_str(), &end, 10);
        if (end != text.c_str() + text.size()) {
            return ": " + platform::Quoted(line) + " holds " + platform::Quoted(text) +
                   " where a whole number belongs";
        }
        if (errno == ERANGE || whole < INT_MIN || whole > INT_MAX) {
            return " holds a count beyond an int";
        }
        value = int(whole);
    } else {
        if constexpr (std::is_same_v<T, float>) {
            value = std::strtof(text.c_str(), &end);
        } else {
            value = std::strtod(text.c_str(), &end);
        }
        if (end != text.c_str() + text.size()) {
            return ": " + platform::Quoted(line) + " is not a number";
        }
        if (!std::isfinite(value)) {
            return " holds a number that is not finite";
        }
    }
    return {};
}

std::string CountMismatch(std::size_t count, int least, int most) {
    std::string wrong =
        " holds " + std::to_string(count) + " numbers, expected " + std::to_string(least);
    if (least != most) {
        wrong += " to " + std::to_string(most);
    }
    return wrong;
}

// Reads records whose fields are the layout's numbers in order; `field(r,
// i, fields, line)` converts field i of record r.
template <typename Record, typename Field>
std::optional<std::vector<Record>> ReadRecordFile(const std::filesystem::path& file,
                                                  std::string& error, int count, Field field) {
    std::vector<Record> records;
    const bool read = ParseLines(file, error, [&](const Fields& fields, const std::string& line) {
        if (int(fields.size()) != count) {
            return CountMismatch(fields.size(), count, count);
        }
        Record& record = records.emplace_back();
        for (int i = 0; i < count; ++i) {
            std::string wrong = field(record, i, fields[i], line);
            if (!wrong.empty()) {
                return wrong;
            }
        }
        return std::string();
    });
    if (!read) {
        return std::nullopt;
    }
    return records;
}

}  // namespace

std::optional<Rows> ReadRows(const std::filesystem::path& file, int least, int most,
                             std::string& error) {
    Rows rows;
    const bool read = ParseLines(file, error, [&](const Fields& fields, const std::string& line) {
        if (int(fields.size()) < least || int(fields.size()) > most) {
            return CountMismatch(fields.size(), least, most);
        }
        std::vector<double> row(std::size_t(most), 0.0);
        for (std::size_t i = 0; i < fields.size(); ++i) {
            std::string wrong = Convert(fields[i], line, row[i]);
            if (!wrong.empty()) {
                return wrong;
            }
        }
        rows.push_back(std::move(row));
        return std::string();
    });
    if (!read) {
        return std::nullopt;
    }
    return rows;
}

std::optional<std::vector<double>> ReadValues(const std::filesystem::path& file,
                                              std::string& error) {
    std::vector<double> values;
    const bool read = ParseLines(file, error, [&](const Fields& fields, const std::string& line) {
        for (std::string_view field : fields) {
            std::string wrong = Convert(field, line, values.emplace_back());
            if (!wrong.empty()) {
                return wrong;
            }
        }
        return std::string();
    });
    if (!read) {
        return std::nullopt;
    }
    return values;
}

std::optional<std::vector<PressureLogRecord>> ReadLogRecords(const std::filesystem::path& file,
                                                             std::string& error) {
    constexpr int kMuscles = arm::kMuscleCount;
    return ReadRecordFile<PressureLogRecord>(
        file, error, PressureLogRecord::kFieldCount,
        [](PressureLogRecord& r, int i, std::string_view field, const std::string& line) {
            if (i == 0) {
                return Convert(field, line, r.sample);
            }
            if (i <= kMuscles) {
                return Convert(field, line, r.desired[i - 1]);
            }
            if (i <= 2 * kMuscles) {
                return Convert(field, line, r.measured[i - 1 - kMuscles]);
            }
            if (i <= 3 * kMuscles) {
                return Convert(field, line, r.valve[i - 1 - 2 * kMuscles]);
            }
            return Convert(field, line, r.counts[i - 1 - 3 * kMuscles]);
        });
}

std::optional<std::vector<TrajectoryRecord>> ReadTrajectoryRecords(
    const std::filesystem::path& file, std::string& error) {
    return ReadRecordFile<TrajectoryRecord>(
        file, error, TrajectoryRecord::kFieldCount,
        [](TrajectoryRecord& r, int i, std::string_view field, const std::string& line) {
            return Convert(field, line, r.field[i]);
        });
}

}  // namespace runfiles
