// lab-export as a researcher meets it: every kind of run file the catalogue
// knows comes out as CSV that reads back equal to the file, under a header
// naming each column with its unit; the README's table is the catalogue's.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/stdio_file.h"
#include "runfiles/catalogue.h"
#include "tests/lab_files.h"

namespace {

namespace fs = std::filesystem;

using labtest::RunTool;
using labtest::ToolRun;

std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, separator);) {
        fields.push_back(field);
    }
    return fields;
}

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

// Three lines of `columns` values as the lab's writers print them: tabs
// and spaces mixed, signs, whole numbers and six decimals.
std::string Lines(int columns) {
    const char* values[] = {"-0.000123", "1325", "5.840000", "-9.300000", "0", "3.141593"};
    const char* separators[] = {"\t", "  ", "\t\t", " "};
    std::string text;
    for (int line = 0; line < 3; ++line) {
        for (int c = 0; c < columns; ++c) {
            text += values[(line + c) % 6];
            text += c + 1 < columns ? separators[(line + c) % 4] : "\n";
        }
    }
    return text;
}

TEST(LabExport, EveryKindOfRunFileReadsBackEqualWithNamedColumns) {
    for (const runfiles::RecordFile& entry : runfiles::RecordFiles()) {
        std::string name = entry.name;
        if (const std::size_t n = name.find("N.txt"); n != std::string::npos) {
            name.replace(n, 1, "3");
        }
        std::string text = Lines(entry.columns);
        const bool experiment = name == runfiles::kExperimentRecording.Name();
        if (experiment) {
            text = "# time_ms valve1 ...\n" + text;
        }
        fs::create_directories("lab");
        labtest::WriteText("lab/" + name, text);
        const ToolRun run = RunTool(LAB_EXPORT, "lab/" + name + " --out out.csv");
        ASSERT_EQ(run.status, 0) << name << ": " << run.err;
        const std::vector<std::string> csv = Split(labtest::ReadText("out.csv"), '\n');
        const std::vector<std::string> lines = Split(text, '\n');
        ASSERT_EQ(csv.size(), experiment ? lines.size() : lines.size() + 1) << name;

        std::vector<std::string> header;
        for (const runfiles::Column& column : runfiles::Columns(entry.columnList)) {
            header.push_back(column.Heading());
        }
        EXPECT_EQ(int(header.size()), entry.columns) << name;
        EXPECT_EQ(Split(csv[0], ','), header) << name;
        for (std::size_t row = 1; row < csv.size(); ++row) {
            EXPECT_EQ(Split(csv[row], ','), Words(lines[experiment ? row : row - 1]))
                << name << " row " << row;
        }
    }
    // The names a researcher reads first.
    const ToolRun run = RunTool(LAB_EXPORT, std::string("lab/") + runfiles::kRunLog.Name());
    EXPECT_EQ(run.out.substr(0, run.out.find('\n')),
              "sample,desired_pressure1_bar,desired_pressure2_bar,desired_pressure3_bar,"
              "desired_pressure4_bar,pressure1_bar,pressure2_bar,pressure3_bar,pressure4_bar,"
              "valve1_V,valve2_V,valve3_V,valve4_V,encoder1_counts,encoder2_counts,"
              "encoder3_counts,encoder4_counts,encoder5_counts");
}

TEST(LabExport, FilesItCannotExportAreNamedWithTheReason) {
    fs::create_directories("lab");
    const auto refused = [](const std::string& arguments, const std::string& message) {
        const ToolRun run = RunTool(LAB_EXPORT, arguments);
        EXPECT_EQ(run.status, 1) << arguments;
        EXPECT_EQ(run.err, "lab-export: " + message + "\n") << arguments;
        EXPECT_FALSE(fs::exists("out.csv")) << arguments;
    };
    const std::string fitness = std::string("lab/") + runfiles::kFitness.Name();
    refused(fitness + " --out out.csv", fitness + ": missing");
    labtest::WriteText("lab/notes.txt", "1 2 3\n");
    refused("lab/notes.txt --out out.csv",
            "lab/notes.txt: not a run file the catalogue knows (see lab-export --catalogue)");
    const std::string pressures = std::string("lab/") + runfiles::kCombinedPressures.Name();
    labtest::WriteText(pressures, "1 2 3 4\n1 2 3\n");
    refused(pressures + " --out out.csv", pressures + ": line 2 holds 3 values, " +
                                              runfiles::kCombinedPressures.Name() + " has 4");
    labtest::WriteText(fitness, "0.05,1\n");
    refused(fitness + " --out out.csv", fitness + ": line 1: '0.05,1' is not a number");
    EXPECT_EQ(RunTool(LAB_EXPORT, "").status, 2);
}

// A file too large to read whole, a megabyte of garbage and a full output
// are each refused with a line naming the file, not read, copied or lost.
TEST(LabExport, AHugeFileAGarbageLineAndAFullOutputAreNamed) {
    fs::create_directories("lab");
    const std::string fitness = std::string("lab/") + runfiles::kFitness.Name();
    labtest::WriteText(fitness, "");
    fs::resize_file(fitness, platform::kReadWholeLimit + 1);
    ToolRun run = RunTool(LAB_EXPORT, fitness);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "lab-export: " + fitness +
                           ": holds 268435457 bytes, more than the 268435456 read whole\n");

    labtest::WriteText(fitness, std::string(1 << 20, 'x') + "\n");
    run = RunTool(LAB_EXPORT, fitness);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "lab-export: " + fitness + ": line 1: '" + std::string(60, 'x') +
                           "...' is not a number\n");

    labtest::WriteText(fitness, "0.05\n");
    for (const std::string& arguments : {fitness, std::string("--catalogue")}) {
        run = RunTool(LAB_EXPORT, arguments + " >/dev/full");
        EXPECT_EQ(run.status, 1) << arguments;
        EXPECT_EQ(run.err,
                  "lab-export: standard output could not be written (No space left on device)\n")
            << arguments;
    }
}

TEST(LabExport, TheReadmeTableIsTheCatalogues) {
    const ToolRun run = RunTool(LAB_EXPORT, "--catalogue");
    ASSERT_EQ(run.status, 0);
    EXPECT_NE(labtest::ReadText(SOURCE_TREE "/README.md").find(run.out), std::string::npos)
        << "README.md's table of run files differs from lab-export --catalogue:\n"
        << run.out;
}

}  // namespace
