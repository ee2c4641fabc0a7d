// The helper programs' shared argument reader: what reaches the tool, and
// what a user sees when an argument is wrong.
#include "tools/arguments.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

struct Outcome {
    std::optional<int> exit;
    std::string out, err;
};

Outcome ParseWith(tools::Arguments& args, std::vector<const char*> argv) {
    argv.insert(argv.begin(), "tool");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Outcome outcome;
    outcome.exit = args.Parse(int(argv.size()), argv.data());
    outcome.out = testing::internal::GetCapturedStdout();
    outcome.err = testing::internal::GetCapturedStderr();
    return outcome;
}

struct Options {
    bool sine = false;
    float frequency = 0.5f;
    long samples = 1330;
    std::string dir = ".", method = "hybrid";
    std::vector<std::string> files;
    tools::Arguments args{"tool", "Usage: tool [options] FILE...\n"};
    Options() {
        args.Flag("--sine", sine);
        args.Real("--frequency", frequency, 0, 15);
        args.Integer("--samples", samples, 6, 1000000);
        args.Text("--dir", dir);
        args.Choice("--method", method, {"hybrid", "neural"});
        args.Positionals(files, 1, 2, "FILE");
    }
};

TEST(Arguments, ValuesReachTheToolInAnyOrder) {
    Options o;
    const auto r = ParseWith(o.args, {"a.txt", "--frequency", "2.5", "--sine", "--samples=40",
                                      "--method", "neural", "--dir", "-x", "--", "--b"});
    EXPECT_FALSE(r.exit.has_value()) << r.err;
    EXPECT_TRUE(o.sine);
    EXPECT_EQ(o.frequency, 2.5f);
    EXPECT_EQ(o.samples, 40);
    EXPECT_EQ(o.method, "neural");
    EXPECT_EQ(o.dir, "-x");
    EXPECT_EQ(o.files, (std::vector<std::string>{"a.txt", "--b"}));
}

TEST(Arguments, HelpGoesToStandardOutputAndEndsWithZero) {
    Options o;
    const auto r = ParseWith(o.args, {"--help", "--bogus"});
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out, "Usage: tool [options] FILE...\n");
    EXPECT_EQ(r.err, "");
}

TEST(Arguments, EachMistakeNamesTheOptionAndWhatIsAllowed) {
    const std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
        {{"f", "--bogus"}, "unknown option '--bogus'"},
        {{"f", "--frequency", "abc"}, "frequency 'abc' is not a number from 0 to 15"},
        {{"f", "--frequency", "16"}, "frequency '16' is not a number from 0 to 15"},
        {{"f", "--frequency", "nan"}, "frequency 'nan' is not a number from 0 to 15"},
        {{"f", "--samples", "3"}, "samples '3' is not a whole number from 6 to 1000000"},
        {{"f", "--samples", "7.5"}, "samples '7.5' is not a whole number from 6 to 1000000"},
        {{"f", "--method", "fuzzy"}, "method 'fuzzy' is not one of hybrid, neural"},
        {{"f", "--dir"}, "--dir needs a value"},
        {{"f", "--sine=1"}, "--sine takes no value"},
        {{}, "missing FILE"},
        {{"f", "g", "h"}, "unexpected argument 'h'"},
    };
    for (const auto& [argv, message] : cases) {
        Options o;
        const auto r = ParseWith(o.args, argv);
        EXPECT_EQ(r.exit, 2) << message;
        EXPECT_EQ(r.err, "tool: " + message + "\nTry 'tool --help'.\n");
        EXPECT_EQ(r.out, "");
    }
}

TEST(Arguments, OutputDirectoryIsCreatedWithAWord) {
    testing::internal::CaptureStdout();
    EXPECT_TRUE(tools::CreateOutputDirectory("tool", "made/here"));
    EXPECT_TRUE(tools::CreateOutputDirectory("tool", "made/here"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "tool: created made/here\n");
    EXPECT_TRUE(std::filesystem::is_directory("made/here"));
    std::FILE* file = std::fopen("plain", "w");
    std::fclose(file);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(tools::CreateOutputDirectory("tool", "plain"));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("tool: cannot create plain"),
              std::string::npos);
}

}  // namespace
