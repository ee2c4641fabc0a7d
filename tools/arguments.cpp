#include "tools/arguments.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

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

template <typename T>
bool ParseWhole(std::string_view text, T& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end && !text.empty();
}

template <typename Real>
std::function<std::string(std::string_view)> RealStore(const std::string& name, Real& value,
                                                       Real low, Real high) {
    return [&value, name, low, high](std::string_view text) -> std::string {
        Real parsed{};
        if (ParseWhole(text, parsed) && std::isfinite(parsed) && parsed >= low && parsed <= high) {
            value = parsed;
            return {};
        }
        return Bare(name) + " '" + std::string(text) + "' is not a number from " + Number(low) +
               " to " + Number(high);
    };
}

}  // namespace

Arguments::Arguments(std::string program, std::string usage)
    : program_(std::move(program)), usage_(std::move(usage)) {}

void Arguments::Flag(std::string name, bool& value) {
    options_.push_back({std::move(name), false, [&value](std::string_view) {
                            value = true;
                            return std::string();
                        }});
}

void Arguments::Real(std::string name, float& value, float low, float high) {
    auto store = RealStore(name, value, low, high);
    options_.push_back({std::move(name), true, std::move(store)});
}

void Arguments::Real(std::string name, double& value, double low, double high) {
    auto store = RealStore(name, value, low, high);
    options_.push_back({std::move(name), true, std::move(store)});
}

void Arguments::Integer(std::string name, long& value, long low, long high) {
    auto store = [&value, name, low, high](std::string_view text) -> std::string {
        long parsed = 0;
        if (ParseWhole(text, parsed) && parsed >= low && parsed <= high) {
            value = parsed;
            return {};
        }
        return Bare(name) + " '" + std::string(text) + "' is not a whole number from " +
               std::to_string(low) + " to " + std::to_string(high);
    };
    options_.push_back({std::move(name), true, std::move(store)});
}

void Arguments::Text(std::string name, std::string& value) {
    auto store = [&value, name](std::string_view text) -> std::string {
        if (text.empty()) {
            return Bare(name) + " needs a non-empty value";
        }
        value = text;
        return {};
    };
    options_.push_back({std::move(name), true, std::move(store)});
}

void Arguments::Choice(std::string name, std::string& value, std::vector<std::string> choices) {
    auto store = [&value, name, choices = std::move(choices)](std::string_view text) {
        for (const auto& choice : choices) {
            if (choice == text) {
                value = choice;
                return std::string();
            }
        }
        std::string allowed;
        for (const auto& choice : choices) {
            allowed += (allowed.empty() ? "" : ", ") + choice;
        }
        return Bare(name) + " '" + std::string(text) + "' is not one of " + allowed;
    };
    options_.push_back({std::move(name), true, std::move(store)});
}

void Arguments::Positionals(std::vector<std::string>& values, int least, int most,
                            std::string what) {
    positionals_ = &values;
    leastPositionals_ = least;
    mostPositionals_ = most;
    positionalName_ = std::move(what);
}

int Arguments::UsageError(std::string_view message) const {
    std::fprintf(stderr, "%s: %.*s\nTry '%s --help'.\n", program_.c_str(), int(message.size()),
                 message.data(), program_.c_str());
    return kUsageError;
}

std::optional<int> Arguments::Parse(int argc, const char* const* argv) {
    std::vector<std::string> positionals;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (!optionsEnded && word == "--help") {
            std::fputs(usage_.c_str(), stdout);
            return 0;
        }
        if (!optionsEnded && word == "--version") {
            std::printf("%.*s\n", int(version::Text().size()), version::Text().data());
            return 0;
        }
        if (!optionsEnded && word == "--") {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            positionals.emplace_back(word);
            continue;
        }
        // --name=value is accepted as well as --name value.
        const auto equals = word.find('=');
        const std::string_view name = word.substr(0, equals);
        const Option* option = nullptr;
        for (const auto& candidate : options_) {
            if (candidate.name == name) {
                option = &candidate;
            }
        }
        if (option == nullptr) {
            return UsageError("unknown option '" + std::string(word) + "'");
        }
        std::string_view value;
        if (equals != std::string_view::npos) {
            if (!option->takesValue) {
                return UsageError(std::string(name) + " takes no value");
            }
            value = word.substr(equals + 1);
        } else if (option->takesValue) {
            if (i + 1 == argc) {
                return UsageError(std::string(name) + " needs a value");
            }
            value = argv[++i];
        }
        if (const std::string problem = option->store(value); !problem.empty()) {
            return UsageError(problem);
        }
    }
    const int count = int(positionals.size());
    if (positionals_ == nullptr && count > 0) {
        return UsageError("unexpected argument '" + positionals.front() + "'");
    }
    if (positionals_ != nullptr) {
        if (count < leastPositionals_) {
            return UsageError("missing " + positionalName_);
        }
        if (count > mostPositionals_) {
            return UsageError("unexpected argument '" + positionals[mostPositionals_] + "'");
        }
        *positionals_ = std::move(positionals);
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

}  // namespace tools
