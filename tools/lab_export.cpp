// lab-export: a run file as CSV, for the tools outside the lab (pandas, a
// spreadsheet): comma-separated, one header line naming each column with
// its unit, every value as the file holds it.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/stdio_file.h"
#include "runfiles/catalogue.h"
#include "tools/command_line.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "Usage: lab-export FILE [--out OUT.csv]\n"
    "       lab-export --catalogue\n"
    "\n"
    "Writes FILE, a run file of the lab directory (a run's logs, a training\n"
    "recording, the trajectory, an experiment recording, arbiter's replay files),\n"
    "as CSV: one header line naming each column with its unit as a suffix\n"
    "(desired_pressure1_bar, valve1_V, encoder1_counts, joint_deg), then one row\n"
    "per line of FILE with its values as FILE holds them, comma-separated. The\n"
    "file is known by its name (an experiment recording also by its header line).\n"
    "--catalogue prints the table of every known file and its columns instead.\n"
    "Exit status 0 when written, 1 when FILE is unknown, missing or a line does not\n"
    "hold its columns (named with its line), 2 on a usage error.\n"
    "\n"
    "Options:\n"
    "  --out OUT.csv  write the CSV here, beside it first and renamed once whole\n"
    "                 (default: standard output)\n"
    "  --catalogue    print the table of the files lab-export knows, their\n"
    "                 columns and units\n"
    "  --help         show this text\n"
    "  --version      show the version\n";

// The entry FILE's name or, for an experiment recording kept under another
// name, its header line calls for.
std::optional<runfiles::RecordFile> EntryOf(const fs::path& file, const std::string& firstLine) {
    if (auto entry = runfiles::RecordFileNamed(file.filename().string())) {
        return entry;
    }
    if (firstLine.starts_with("# time_ms")) {
        return runfiles::RecordFileNamed(runfiles::kExperimentRecording.Name());
    }
    return std::nullopt;
}

// Whether `field` is a number as the lab writes them (nan and inf too).
bool IsNumber(const std::string& field) {
    char* end = nullptr;
    std::strtod(field.c_str(), &end);
    return end != field.c_str() && *end == '\0';
}

// The CSV text of `file`, or nothing with the reason in `problem`.
std::optional<std::string> Export(const fs::path& file, std::string& problem) {
    const std::optional<std::string> text = platform::ReadWholeFile(file, problem);
    if (!text) {
        return std::nullopt;
    }
    std::istringstream in(*text);
    std::string line;
    const bool any = bool(std::getline(in, line));
    const auto entry = EntryOf(file, any ? line : "");
    if (!entry) {
        problem =
            file.string() + ": not a run file the catalogue knows (see lab-export --catalogue)";
        return std::nullopt;
    }
    std::string csv;
    for (const runfiles::Column& column : runfiles::Columns(entry->columnList)) {
        csv += (csv.empty() ? "" : ",") + column.Heading();
    }
    csv += '\n';
    bool blankSeen = false;
    for (int number = 1; any; ++number) {
        std::istringstream words(line);
        std::vector<std::string> fields;
        for (std::string field; words >> field;) {
            fields.push_back(field);
        }
        const bool header = number == 1 && line.starts_with('#');
        if (fields.empty()) {
            blankSeen = true;
        } else if (!header) {
            const std::string where = file.string() + ": line " + std::to_string(number);
            if (blankSeen) {
                problem = where + " follows a blank line";
                return std::nullopt;
            }
            if (int(fields.size()) != entry->columns) {
                problem = where + " holds " + std::to_string(fields.size()) + " values, " +
                          entry->name + " has " + std::to_string(entry->columns);
                return std::nullopt;
            }
            for (std::size_t i = 0; i < fields.size(); ++i) {
                if (!IsNumber(fields[i])) {
                    problem = where + ": " + platform::Quoted(fields[i]) + " is not a number";
                    return std::nullopt;
                }
                csv += (i == 0 ? "" : ",") + fields[i];
            }
            csv += '\n';
        }
        if (!std::getline(in, line)) {
            break;
        }
    }
    return csv;
}

// The catalogue as a Markdown table: every file, its columns and units.
std::string CatalogueTable() {
    std::string table =
        "| file | in | columns (unit) |\n"
        "|---|---|---|\n";
    for (const runfiles::RecordFile& file : runfiles::RecordFiles()) {
        const fs::path path(file.path);
        std::string columns;
        std::istringstream groups(file.columnList);
        for (std::string group; std::getline(groups, group, ';');) {
            std::istringstream words(group);
            std::string name, unit;
            words >> name >> unit;
            columns += (columns.empty() ? "" : ", ") + ("`" + name + "`") +
                       (unit.empty() ? "" : " (" + unit + ")");
        }
        const std::string in =
            path.has_parent_path() ? path.parent_path().string() + "/" : "arbiter's directory";
        table += "| `" + file.name + "` | " + in + " | " + columns + " |\n";
    }
    return table;
}

// Writes `text` beside `path` and renames it, so that a reader never finds
// part of it.
bool WriteWhole(const fs::path& path, const std::string& text, std::string& problem) {
    const fs::path partial = path.string() + ".partial";
    {
        std::ofstream out(partial, std::ios::binary);
        out << text;
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(partial, ignored);
            problem = path.string() + ": cannot be written";
            return false;
        }
    }
    std::error_code code;
    fs::rename(partial, path, code);
    if (code) {
        fs::remove(partial, code);
        problem = path.string() + ": cannot be written";
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    tools::CommandLine app("lab-export", kUsage);
    std::string file, out;
    bool catalogue = false;
    tools::AddText(app, "FILE", file);
    tools::AddText(app, "--out", out);
    app.add_flag("--catalogue", catalogue);
    if (const auto exit = app.Parse(argc, argv)) {
        return *exit;
    }
    if (catalogue) {
        std::cout << CatalogueTable() << std::flush;
        return std::cout ? 0 : tools::FinishStandardOutput("lab-export", tools::kFailure);
    }
    if (file.empty()) {
        return tools::UsageError(app, "FILE is required");
    }
    std::string problem;
    const auto csv = Export(file, problem);
    if (csv && out.empty()) {
        std::cout << *csv << std::flush;
        return std::cout ? 0 : tools::FinishStandardOutput("lab-export", tools::kFailure);
    }
    if (!csv || !WriteWhole(out, *csv, problem)) {
        std::fprintf(stderr, "lab-export: %s\n", problem.c_str());
        return tools::kFailure;
    }
    return 0;
}
