#include "runfiles/strict_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include "platform/stdio_file.h"
#include "runfiles/catalogue.h"

namespace {

using runfiles::PressureLogRecord;

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
}

// The strict reader gives the very values the layout's scanf reader gives,
// for the typed fields of a run log written by the log's own writer.
TEST(StrictReader, TypedRecordsEqualTheLayoutReader) {
    std::mt19937 random(5);
    std::uniform_real_distribution<float> value(-50.0f, 50.0f);
    {
        platform::StdioFile file(std::fopen("log.txt", "w"));
        for (int j = 0; j < 200; ++j) {
            PressureLogRecord r;
            r.sample = j;
            for (int m = 0; m < 4; ++m) {
                r.desired[m] = value(random);
                r.measured[m] = value(random);
                r.valve[m] = value(random);
            }
            for (int c = 0; c < 5; ++c) {
                r.counts[c] = int(random()) - 1000000;
            }
            runfiles::Write(file.get(), r);
        }
    }
    std::vector<PressureLogRecord> expected;
    platform::StdioFile file(std::fopen("log.txt", "r"));
    runfiles::ReadAll(file.get(), expected);

    std::string error;
    const auto records = runfiles::ReadLogRecords("log.txt", error);
    ASSERT_TRUE(records) << error;
    ASSERT_EQ(records->size(), expected.size());
    for (std::size_t j = 0; j < expected.size(); ++j) {
        const PressureLogRecord &a = (*records)[j], &b = expected[j];
        ASSERT_EQ(a.sample, b.sample);
        for (int m = 0; m < 4; ++m) {
            ASSERT_EQ(a.desired[m], b.desired[m]);
            ASSERT_EQ(a.measured[m], b.measured[m]);
            ASSERT_EQ(a.valve[m], b.valve[m]);
        }
        for (int c = 0; c < 5; ++c) {
            ASSERT_EQ(a.counts[c], b.counts[c]);
        }
    }
}

// Each refusal names the file, the line and what is wrong.
TEST(StrictReader, RefusalsNameFileLineAndFault) {
    const std::string fields14 = "1 2 3 4 5 6 7 8 9 10 11 12 13 14\n";
    const std::string log18 = "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18\n";
    struct Case {
        std::string text, error;
    };
    const Case rows[] = {
        {"1 2 3\n1 2\n", "r.txt: line 2 holds 2 numbers, expected 3"},
        {"1 2 3\n\n4 5 6\n", "r.txt: line 3 follows a blank line"},
        {"1 2 3\n1 x 3\n", "r.txt: line 2: '1 x 3' is not a number"},
        {"1 2 3\n1 inf 3\n", "r.txt: line 2 holds a number that is not finite"},
        {"1 2 3\n1 2 3e999\n", "r.txt: line 2 holds a number that is not finite"},
    };
    for (const Case& c : rows) {
        WriteText("r.txt", c.text);
        std::string error;
        EXPECT_FALSE(runfiles::ReadRows("r.txt", 3, 3, error));
        EXPECT_EQ(error, c.error);
    }
    std::string error;
    EXPECT_FALSE(runfiles::ReadRows("absent.txt", 3, 3, error));
    EXPECT_EQ(error, "absent.txt: missing");

    WriteText("t.txt", fields14 + "1 2 3\n");
    EXPECT_FALSE(runfiles::ReadTrajectoryRecords("t.txt", error));
    EXPECT_EQ(error, "t.txt: line 2 holds 3 numbers, expected 14");

    // A count where the log holds a whole number, and one beyond an int.
    WriteText("l.txt", log18 + "1.5 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18\n");
    EXPECT_FALSE(runfiles::ReadLogRecords("l.txt", error));
    EXPECT_EQ(error,
              "l.txt: line 2: '1.5 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18' holds '1.5' "
              "where a whole number belongs");
    WriteText("l.txt", log18 + "2 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 3000000000\n");
    EXPECT_FALSE(runfiles::ReadLogRecords("l.txt", error));
    EXPECT_EQ(error, "l.txt: line 2 holds a count beyond an int");

    // A file beyond what is read whole is refused before it is read.
    std::filesystem::resize_file("r.txt", platform::kReadWholeLimit + 1);
    EXPECT_FALSE(runfiles::ReadRows("r.txt", 3, 3, error));
    EXPECT_EQ(error, "r.txt: holds 268435457 bytes, more than the 268435456 read whole");

    // A megabyte of garbage is quoted by its first 60 characters.
    WriteText("r.txt", "1 2 3\n1 2 " + std::string(1 << 20, 'x') + "\n");
    EXPECT_FALSE(runfiles::ReadRows("r.txt", 3, 3, error));
    EXPECT_EQ(error, "r.txt: line 2: '1 2 " + std::string(56, 'x') + "...' is not a number");
}

// Rows pad short lines within the allowed range; a blank end is fine.
TEST(StrictReader, RowsPadWithinTheirRangeAndMayEndBlank) {
    WriteText("r.txt", "1 2\n3 4 5\n\n\n");
    std::string error;
    const auto rows = runfiles::ReadRows("r.txt", 2, 3, error);
    ASSERT_TRUE(rows) << error;
    EXPECT_EQ(*rows, (runfiles::Rows{{1, 2, 0}, {3, 4, 5}}));
}

// Catalogue names: the name is the path's last part, and a lab directory's
// path drops the "./".
TEST(Catalogue, NamesAndPathsBelowALabDirectory) {
    EXPECT_EQ(std::string("./NeuralFiles/") + runfiles::kRunLog.Name(), runfiles::kRunLog.path);
    EXPECT_EQ(runfiles::kRunLog.In("day"),
              std::string("day/NeuralFiles/") + runfiles::kRunLog.Name());
    EXPECT_STREQ(runfiles::kCandidate.Name(), runfiles::kCandidate.path);
    const runfiles::NumberedLabFile& valve = runfiles::kValveRecording;
    EXPECT_EQ(valve.Path(3), std::string(valve.prefix) + "3.txt");
    EXPECT_EQ("./NeuralFiles/" + valve.Name(3), valve.Path(3));
    EXPECT_EQ(valve.In("day", 3), "day/NeuralFiles/" + valve.Name(3));
    EXPECT_EQ(std::string("NeuralFiles/") + runfiles::kPonnetGeneralWeights.BelowLabDirectory(),
              runfiles::kPonnetGeneralWeights.RelativePath());
    // A PONNET network's file: the muscle, the bin's label and the set.
    EXPECT_EQ(runfiles::PonnetWeightFileName(3, -8, 1), "3-8b.txt");
    EXPECT_EQ(runfiles::PonnetWeightFileName(1, 0, 0), "10f.txt");
}

}  // namespace
