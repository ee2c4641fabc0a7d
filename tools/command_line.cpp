#include "tools/command_line.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <system_error>
#include <utility>

#include "version/version.h"

namespace tools {
namespace {

// "--frequency" -> "frequency", as error messages name an option.
std::string Bare(const std::string& name) {
    return name.substr(name.find_first_not_of('-'));
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// The whole of `text` as a decimal number (no sign prefix '+', no base prefix).
template <typename T>
bool ParseWhole(const std::string& text, T& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end && !text.empty();
}

// An option of one value that reads its text itself; given twice, the
// last counts.
CLI::Option* AddReader(CLI::App& app, const std::string& name,
                       std::function<void(const std::string&)> read) {
    return app.add_option_function<std::string>(name, std::move(read))
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

template <typename Real>
CLI::Option* AddRealOption(CLI::App& app, const std::string& name, Real& value, Real low,
                           Real high) {
    return AddReader(app, name, [&value, name, low, high](const std::string& text) {
        Real parsed{};
        if (!ParseWhole(text, parsed) || !std::isfinite(parsed) || parsed < low || parsed > high) {
            throw CLI::ValidationError(Bare(name) + " '" + text + "' is not a number from " +
                                       Number(low) + " to " + Number(high));
        }
        value = parsed;
    });
}

std::vector<std::string> ActionNames(const CLI::App& app) {
    std::vector<std::string> names;
    for (const CLI::App* action : app.get_subcommands([](const CLI::App*) { return true; })) {
        names.push_back(action->get_name());
    }
    return names;
}

std::string Joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) {
        text += (text.empty() ? "" : ", ") + word;
    }
    return text;
}

// CLI11's account of a mistake in the tools' words.
std::string Reason(const CLI::ParseError& error) {
    const std::string what = error.what();
    const auto required = what.rfind(" is required");
    if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr &&
        required != std::string::npos) {
        return "missing " + what.substr(0, required);
    }
    // "--dir: 1 required TEXT missing"
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr &&
        what.ends_with(" missing")) {
        return what.substr(0, what.find(':')) + " needs a value";
    }
    return what;
}

}  // namespace

void UseConventions(CLI::App& app, std::string usage) {
    app.set_help_flag("--help", "show this text");
    app.set_version_flag("--version", std::string(version::Text()), "show the version");
    if (!usage.empty()) {
        app.formatter_fn([usage = std::move(usage)](const CLI::App*, const std::string&,
                                                    CLI::AppFormatMode) { return usage; });
    }
    // Words the tool does not know are named after parsing (see Parse), so
    // that an unknown option is told apart from a surplus argument.
    app.allow_extras();
    app.fallthrough();
    app.require_subcommand(0, 1);
}

std::string Formatted(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::va_list measure;
    va_copy(measure, args);
    std::string text(std::size_t(std::vsnprintf(nullptr, 0, format, measure)), '\0');
    va_end(measure);
    std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    return text;
}

CLI::Option* AddReal(CLI::App& app, const std::string& name, float& value, float low, float high) {
    return AddRealOption(app, name, value, low, high);
}

CLI::Option* AddReal(CLI::App& app, const std::string& name, double& value, double low,
                     double high) {
    return AddRealOption(app, name, value, low, high);
}

CLI::Option* AddWhole(CLI::App& app, const std::string& name, long& value, long low, long high) {
    return AddReader(app, name, [&value, name, low, high](const std::string& text) {
        long parsed = 0;
        if (!ParseWhole(text, parsed) || parsed < low || parsed > high) {
            throw CLI::ValidationError(Bare(name) + " '" + text + "' is not a whole number from " +
                                       std::to_string(low) + " to " + std::to_string(high));
        }
        value = parsed;
    });
}

CLI::Option* AddText(CLI::App& app, const std::string& name, std::string& value) {
    return AddReader(app, name, [&value, name](const std::string& text) {
        if (text.empty()) {
            throw CLI::ValidationError(Bare(name) + " needs a non-empty value");
        }
        value = text;
    });
}

CLI::Option* AddChoice(CLI::App& app, const std::string& name, std::string& value,
                       std::vector<std::string> choices) {
    return AddReader(app, name,
                     [&value, name, choices = std::move(choices)](const std::string& text) {
                         if (std::find(choices.begin(), choices.end(), text) == choices.end()) {
                             throw CLI::ValidationError(Bare(name) + " '" + text +
                                                        "' is not one of " + Joined(choices));
                         }
                         value = text;
                     });
}

int UsageError(const CLI::App& app, std::string_view message) {
    const std::string& program = app.get_name();
    std::fprintf(stderr, "%s: %.*s\nTry '%s --help'.\n", program.c_str(), int(message.size()),
                 message.data(), program.c_str());
    return kUsageError;
}

std::optional<int> Parse(CLI::App& app, int argc, const char* const* argv) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& success) {
        return app.exit(success);
    } catch (const CLI::RequiredError& error) {
        // A misspelt option leaves a required argument unmet: name the
        // option, the cause, rather than the argument.
        for (const std::string& word : app.remaining(true)) {
            if (word.size() > 1 && word[0] == '-') {
                return UsageError(app, "unknown option '" + word + "'");
            }
        }
        return UsageError(app, Reason(error));
    } catch (const CLI::ParseError& error) {
        return UsageError(app, Reason(error));
    }
    const CLI::App& parsed = app;
    const std::vector<std::string> actions = ActionNames(parsed);
    const bool actionMissing = !actions.empty() && parsed.get_subcommands().empty();
    const std::vector<std::string> extras = app.remaining(true);
    if (!extras.empty()) {
        const std::string& word = extras.front();
        if (word.size() > 1 && word[0] == '-') {
            return UsageError(app, "unknown option '" + word + "'");
        }
        if (actionMissing) {
            return UsageError(app, "action '" + word + "' is not one of " + Joined(actions));
        }
        return UsageError(app, "unexpected argument '" + word + "'");
    }
    if (actionMissing) {
        return UsageError(app, "an action is required: " + Joined(actions));
    }
    return std::nullopt;
}

bool CreateOutputDirectory(const std::string& program, const std::string& dir) {
    std::error_code error;
    if (std::filesystem::is_directory(dir, error)) {
        return true;
    }
    if (!std::filesystem::create_directories(dir, error) || error) {
        std::fprintf(stderr, "%s: cannot create %s: %s\n", program.c_str(), dir.c_str(),
                     error ? error.message().c_str() : "it exists and is not a directory");
        return false;
    }
    std::printf("%s: created %s\n", program.c_str(), dir.c_str());
    return true;
}

int FinishStandardOutput(const std::string& program, int status) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) {
        return status;
    }
    std::fprintf(stderr, "%s: standard output could not be written (%s)\n", program.c_str(),
                 std::strerror(errno));
    return 1;
}

}  // namespace tools
