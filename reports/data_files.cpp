#include "reports/data_files.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "reports/figure.h"

namespace reports {

namespace {

// Reads `file` line by line into rows of numbers; `accept` checks each
// row and returns what is wrong with it, or an empty text.
template <typename Accept>
std::optional<Rows> ParseRows(const std::filesystem::path& file, std::string& error,
                              Accept accept) {
    std::error_code code;
    if (!std::filesystem::is_regular_file(file, code)) {
        error = file.string() + ": missing";
        return std::nullopt;
    }
    std::ifstream in(file);
    if (!in) {
        error = file.string() + ": cannot be opened";
        return std::nullopt;
    }
    Rows rows;
    std::string line;
    int lineNumber = 0;
    bool blankSeen = false;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (line.find_first_not_of(" \t\r") == std::string::npos) {
            blankSeen = true;
            continue;
        }
        if (blankSeen) {
            error = Format("%s: line %d follows a blank line", file.string().c_str(), lineNumber);
            return std::nullopt;
        }
        std::vector<double> row;
        const char* text = line.c_str();
        while (true) {
            while (*text == ' ' || *text == '\t' || *text == '\r') {
                ++text;
            }
            if (*text == '\0') {
                break;
            }
            char* end = nullptr;
            const double value = std::strtod(text, &end);
            if (end == text || (*end != '\0' && *end != ' ' && *end != '\t' && *end != '\r')) {
                error = Format("%s: line %d: '%s' is not a number", file.string().c_str(),
                               lineNumber, line.c_str());
                return std::nullopt;
            }
            row.push_back(value);
            text = end;
        }
        const std::string wrong = accept(row);
        if (!wrong.empty()) {
            error = Format("%s: line %d %s", file.string().c_str(), lineNumber, wrong.c_str());
            return std::nullopt;
        }
        rows.push_back(std::move(row));
    }
    if (in.bad()) {
        error = file.string() + ": read error";
        return std::nullopt;
    }
    return rows;
}

}  // namespace

std::optional<Rows> ReadRows(const std::filesystem::path& file, int least, int most,
                             std::string& error) {
    auto rows = ParseRows(file, error, [least, most](const std::vector<double>& row) {
        if (int(row.size()) >= least && int(row.size()) <= most) {
            return std::string();
        }
        return least == most
                   ? Format("holds %zu numbers, expected %d", row.size(), least)
                   : Format("holds %zu numbers, expected %d to %d", row.size(), least, most);
    });
    if (rows) {
        for (auto& row : *rows) {
            row.resize(most, 0.0);
        }
    }
    return rows;
}

std::optional<std::vector<double>> ReadValues(const std::filesystem::path& file,
                                              std::string& error) {
    const auto rows =
        ParseRows(file, error, [](const std::vector<double>&) { return std::string(); });
    if (!rows) {
        return std::nullopt;
    }
    std::vector<double> values;
    for (const auto& row : *rows) {
        values.insert(values.end(), row.begin(), row.end());
    }
    return values;
}

std::vector<double> Column(const Rows& rows, int index, double scale) {
    std::vector<double> column;
    column.reserve(rows.size());
    for (const auto& row : rows) {
        column.push_back(row[index] * scale);
    }
    return column;
}

}  // namespace reports
