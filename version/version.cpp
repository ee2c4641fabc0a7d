#include "version/version.h"

#include <cstdio>

#include "version_commit.h"

namespace version {

std::string_view Text() {
    return "tendon-lab " TENDON_RELEASE " (commit " TENDON_COMMIT ")";
}

std::optional<int> AnswerArguments(std::string_view program, std::string_view usage, int argc,
                                   const char* const* argv) {
    if (argc < 2) {
        return std::nullopt;
    }
    const std::string_view word = argv[1];
    if (argc == 2 && word == "--help") {
        std::fwrite(usage.data(), 1, usage.size(), stdout);
        return 0;
    }
    if (argc == 2 && word == "--version") {
        std::printf("%.*s\n", int(Text().size()), Text().data());
        return 0;
    }
    std::fprintf(stderr,
                 "%.*s: unexpected argument '%s'; it takes none but --help or --version\n"
                 "Try '%.*s --help'.\n",
                 int(program.size()), program.data(), argc == 2 ? argv[1] : argv[argc - 1],
                 int(program.size()), program.data());
    return 2;
}

}  // namespace version
