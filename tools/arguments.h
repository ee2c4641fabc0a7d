// One way for every helper program to read its arguments.
//
// A tool declares its options and positionals, then calls Parse:
//
//     tools::Arguments args("trajgen", kUsage);
//     args.Flag("--sine", sine);
//     args.Real("--amplitude", amplitude, -200, 200);
//     args.Text("--dir", dir);
//     if (const auto exit = args.Parse(argc, argv)) return *exit;
//
// Conventions shared by all tools:
// - `--help` prints the usage on standard output, `--version` the program's
//   version (version/version.h); Parse then returns 0.
// - An unknown option, a missing value, a value outside its range or a wrong
//   number of positionals is reported on standard error as
//   "TOOL: MESSAGE" and "Try 'TOOL --help'."; Parse then returns 2.
// - A bad value names its option and what is allowed:
//   "frequency 'abc' is not a number from 0 to 15".
// - Options and positionals may come in any order; "--" ends the options.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

inline constexpr int kUsageError = 2;

class Arguments {
  public:
    Arguments(std::string program, std::string usage);

    // --name sets `value` to true.
    void Flag(std::string name, bool& value);
    // --name R: a finite number within [low, high].
    void Real(std::string name, float& value, float low, float high);
    void Real(std::string name, double& value, double low, double high);
    // --name N: a whole number within [low, high].
    void Integer(std::string name, long& value, long low, long high);
    // --name TEXT: any text (a path, a file name).
    void Text(std::string name, std::string& value);
    // --name WORD: one of `choices`.
    void Choice(std::string name, std::string& value, std::vector<std::string> choices);

    // Positionals in order of appearance: at least `least`, at most `most`;
    // `what` names them in the error message ("DIR", "ACTION").
    void Positionals(std::vector<std::string>& values, int least, int most, std::string what);

    // Reads argv. Returns nothing when the tool should go on, or the exit
    // status it should end with (0 after --help, 2 after a usage error).
    std::optional<int> Parse(int argc, const char* const* argv);

    // Reports a usage error found after Parse (options that do not go
    // together, say) in the same style; returns 2.
    int UsageError(std::string_view message) const;

    const std::string& program() const { return program_; }

  private:
    struct Option {
        std::string name;
        bool takesValue;
        // Stores the value; returns an empty string or what is wrong with it.
        std::function<std::string(std::string_view)> store;
    };

    std::string program_;
    std::string usage_;
    std::vector<Option> options_;
    std::vector<std::string>* positionals_ = nullptr;
    int leastPositionals_ = 0;
    int mostPositionals_ = 0;
    std::string positionalName_;
};

// Creates `dir` (and its parents) when missing and says so on standard
// output ("TOOL: created DIR"). Tools call it only for directories their
// usage says they create. Reports a failure on standard error and returns
// false.
bool CreateOutputDirectory(const std::string& program, const std::string& dir);

}  // namespace tools
