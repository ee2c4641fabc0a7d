// How every helper program reads its arguments: CLI11, with the conventions
// all tools share. A tool declares its options on a CLI::App, then parses:
//
//     CLI::App app("", "trajgen");
//     tools::UseConventions(app, kUsage);
//     app.add_flag("--sine", sine);
//     tools::AddReal(app, "--amplitude", amplitude, -200, 200);
//     tools::AddText(app, "--dir", dir);
//     if (const auto exit = tools::Parse(app, argc, argv)) return *exit;
//
// Conventions shared by all tools:
// - `--help` prints the usage on standard output, `--version` the program's
//   version (version/version.h); Parse then returns 0.
// - An unknown option, a missing value, a value outside its range or a wrong
//   number of positionals is reported on standard error as
//   "TOOL: MESSAGE" and "Try 'TOOL --help'."; Parse then returns 2.
// - A bad value names its option and what is allowed:
//   "frequency 'abc' is not a number from 0 to 15".
// - A tool's actions are subcommands, exactly one of which is required.
// - Options and positionals may come in any order, also after the action's
//   word; "--" ends the options; an option given twice keeps the last value.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tools {

// The exit statuses every tool shares besides 0: a failure (the action did
// not complete) and a usage error.
inline constexpr int kFailure = 1;
inline constexpr int kUsageError = 2;

// Gives `app` the shared conventions. Call it before declaring options and
// actions, which take them over. `usage` is the text --help prints; when it
// is empty, --help prints what CLI11 makes of the declarations.
void UseConventions(CLI::App& app, std::string usage);

// --name R: a finite number within [low, high].
CLI::Option* AddReal(CLI::App& app, const std::string& name, float& value, float low, float high);
CLI::Option* AddReal(CLI::App& app, const std::string& name, double& value, double low,
                     double high);
// --name N: a whole decimal number within [low, high].
CLI::Option* AddWhole(CLI::App& app, const std::string& name, long& value, long low, long high);
// --name TEXT: any non-empty text (a path, a file name); also a positional.
CLI::Option* AddText(CLI::App& app, const std::string& name, std::string& value);
// --name WORD: one of `choices`.
CLI::Option* AddChoice(CLI::App& app, const std::string& name, std::string& value,
                       std::vector<std::string> choices);

// `format` with its printf conversions filled in: a usage text that names
// the catalogue's files (runfiles/catalogue.h) takes each as %s.
std::string Formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Reads argv. Returns nothing when the tool should go on, or the exit status
// it should end with (0 after --help or --version, 2 after a usage error).
std::optional<int> Parse(CLI::App& app, int argc, const char* const* argv);

// A tool's command line: an App named `program` with the shared
// conventions and `usage` as the text of --help, read by Parse.
class CommandLine : public CLI::App {
  public:
    CommandLine(const std::string& program, std::string usage) : CLI::App("", program) {
        UseConventions(*this, std::move(usage));
    }
    std::optional<int> Parse(int argc, const char* const* argv) {
        return tools::Parse(*this, argc, argv);
    }
};

// Reports a usage error found after Parse (options that do not go together,
// say) in the same style; returns 2.
int UsageError(const CLI::App& app, std::string_view message);

// Creates `dir` (and its parents) when missing and says so on standard
// output ("TOOL: created DIR"). Tools call it only for directories their
// usage says they create. Reports a failure on standard error and returns
// false.
bool CreateOutputDirectory(const std::string& program, const std::string& dir);

// The exit status of a tool whose product is its standard output: `status`
// when everything printed reached it, else 1 after "TOOL: standard output
// could not be written (REASON)" on standard error.
int FinishStandardOutput(const std::string& program, int status);

}  // namespace tools
