#include "evaluator/run_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

using runfiles::CandidateVector;
using runfiles::PressureLogRecord;
using runfiles::TrajectoryRecord;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// A temporary stream holding exactly `text`, positioned at its start.
File StreamOf(const std::string& text) {
    File file(std::tmpfile());
    std::fputs(text.c_str(), file.get());
    std::rewind(file.get());
    return file;
}

std::string Contents(std::FILE* file) {
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;)
        text += char(c);
    return text;
}

TEST(RecordReading, EveryReadCountsUntilEndOfFile) {
    std::vector<TrajectoryRecord> records;

    auto empty = StreamOf("");
    runfiles::ReadAll(empty.get(), records);
    ASSERT_EQ(records.size(), 1u);  // an empty file yields one record of zeros
    for (float v : records[0].field)
        EXPECT_EQ(v, 0.0f);

    const std::string line = "1  2  3  4  5\t6\t7\t8\t9\t10\t11\t12\t13\t14";
    for (const std::string& text : {line + "\n" + line + "\n", line + "\n" + line}) {
        records.clear();
        auto file = StreamOf(text);
        EXPECT_FALSE(runfiles::ReadAll(file.get(), records).stalled);
        ASSERT_EQ(records.size(), 2u) << "with or without a final newline";
        EXPECT_EQ(records[1].field[13], 14.0f);
    }
}

TEST(RecordReading, TextNoFormatMatchesStopsInsteadOfSpinning) {
    std::vector<TrajectoryRecord> records;
    auto file = StreamOf("1  2  3  4  5\t6\t7\t8\t9\t10\t11\t12\t13\t14\ngarbage\n");
    EXPECT_TRUE(runfiles::ReadAll(file.get(), records).stalled);
    EXPECT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].field[0], 0.0f);
}

TEST(RecordLayouts, WritersUseTheExactFormats) {
    File file(std::tmpfile());
    TrajectoryRecord trajectory;
    for (int i = 0; i < 14; ++i)
        trajectory.field[i] = float(i) + 0.5f;
    runfiles::Write(file.get(), trajectory);
    EXPECT_EQ(Contents(file.get()),
              "0.500000  1.500000  2.500000  3.500000  4.500000\t5.500000\t6.500000\t"
              "7.500000\t8.500000\t9.500000\t10.500000\t11.500000\t12.500000\t13.500000\n");

    File log(std::tmpfile());
    PressureLogRecord record{7, {1, 2, 3, 4}, {5, 6, 7, 8}, {-1, 0, 1, 2}, {10, -20, 30, 40, 50}};
    runfiles::Write(log.get(), record);
    EXPECT_EQ(Contents(log.get()),
              "7\t1.000000\t2.000000\t3.000000\t4.000000\t5.000000\t6.000000\t7.000000\t"
              "8.000000 -1.000000\t0.000000\t1.000000\t2.000000\t10\t-20\t30\t40  50\n");

    std::rewind(log.get());
    std::vector<PressureLogRecord> back;
    runfiles::ReadAll(log.get(), back);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].measured[3], 8.0f);
    EXPECT_EQ(back[0].valve[0], -1.0f);
    EXPECT_EQ(back[0].counts[4], 50);

    File fuzzy(std::tmpfile());
    runfiles::Write(fuzzy.get(), runfiles::FuzzyPressureLogRecord{{1, 2, 3, 4}, {5, 6, 7, 8}});
    EXPECT_EQ(Contents(fuzzy.get()),
              "1.000000\t2.000000\t3.000000\t4.000000 5.000000\t6.000000\t7.000000\t8.000000\n");
}

TEST(CandidateFile, ShortEmptyNewlineSeparatedAndOverlongFiles) {
    auto blanks = StreamOf("0.1 0.2 0.3");
    CandidateVector k = runfiles::ReadCandidates(blanks.get());
    EXPECT_EQ(k.count, 3);
    EXPECT_EQ(k.k[2], 0.3f);
    EXPECT_EQ(k.k[3], 0.0f);

    auto lines = StreamOf("0.1\n0.2\n0.3\n");
    CandidateVector same = runfiles::ReadCandidates(lines.get());
    EXPECT_EQ(same.count, 3);
    EXPECT_EQ(same.k[2], 0.3f);

    auto empty = StreamOf("");
    CandidateVector none = runfiles::ReadCandidates(empty.get());
    EXPECT_EQ(none.count, 1);
    EXPECT_EQ(none.k[0], 0.0f);

    auto twelve = StreamOf("1 2 3 4 5 6 7 8 9 10 11 12\n");
    CandidateVector extra = runfiles::ReadCandidates(twelve.get());
    EXPECT_EQ(extra.count, 10);
    EXPECT_EQ(extra.extra, 2);
    EXPECT_EQ(extra.k[9], 10.0f);
}

}  // namespace
