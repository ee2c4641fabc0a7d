#include "runfiles/run_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "platform/stdio_file.h"

namespace {

using platform::StdioFile;
using runfiles::CandidateVector;
using runfiles::PressureLogRecord;
using runfiles::TrajectoryRecord;

// A temporary stream holding exactly `text`, positioned at its start.
StdioFile StreamOf(const std::string& text) {
    StdioFile file(std::tmpfile());
    std::fputs(text.c_str(), file.get());
    std::rewind(file.get());
    return file;
}

std::string Contents(std::FILE* file) {
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) {
        text += char(c);
    }
    return text;
}

TEST(RecordReading, EveryReadCountsUntilEndOfFile) {
    std::vector<TrajectoryRecord> records;

    auto empty = StreamOf("");
    runfiles::ReadAll(empty.get(), records);
    ASSERT_EQ(records.size(), 1u);  // an empty file yields one record of zeros
    for (float v : records[0].field) {
        EXPECT_EQ(v, 0.0f);
    }

    const std::string line = "1  2  3  4  5\t6\t7\t8\t9\t10\t11\t12\t13\t14";
    for (const std::string& text : {line + "\n" + line + "\n", line + "\n" + line}) {
        records.clear();
        auto file = StreamOf(text);
        EXPECT_FALSE(runfiles::ReadAll(file.get(), records).stalled);
        ASSERT_EQ(records.size(), 2u) << "with or without a final newline";
        EXPECT_EQ(records[1].field[13], 14.0f);
    }
}

TEST(RecordLayouts, WritersUseTheExactFormats) {
    StdioFile file(std::tmpfile());
    TrajectoryRecord trajectory;
    for (int i = 0; i < 14; ++i) {
        trajectory.field[i] = float(i) + 0.5f;
    }
    runfiles::Write(file.get(), trajectory);
    EXPECT_EQ(Contents(file.get()),
              "0.500000  1.500000  2.500000  3.500000  4.500000\t5.500000\t6.500000\t"
              "7.500000\t8.500000\t9.500000\t10.500000\t11.500000\t12.500000\t13.500000\n");

    StdioFile log(std::tmpfile());
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

    StdioFile fuzzy(std::tmpfile());
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

// The reading rule carried out with one fscanf per record on the stream
// itself: the reference that ReadAll's in-memory conversion must match.
template <typename Record>
std::pair<std::vector<Record>, bool> ReadWithStdio(const std::string& text) {
    auto file = StreamOf(text);
    std::vector<Record> records;
    while (!std::feof(file.get())) {
        const long before = std::ftell(file.get());
        records.emplace_back();
        const int converted = runfiles::Read(file.get(), records.back());
        if (converted <= 0 && !std::feof(file.get()) && std::ftell(file.get()) == before) {
            return {records, true};
        }
    }
    return {records, false};
}

template <typename Record>
void ExpectSameAsStdio(const std::string& text) {
    const auto [expected, expectedStall] = ReadWithStdio<Record>(text);
    auto file = StreamOf(text);
    std::vector<Record> records;
    const bool stalled = runfiles::ReadAll(file.get(), records).stalled;
    EXPECT_EQ(stalled, expectedStall) << text;
    ASSERT_EQ(records.size(), expected.size()) << text;
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(std::memcmp(&records[i], &expected[i], sizeof(Record)), 0) << text << i;
    }
}

TEST(RecordReading, InMemoryConversionMatchesFscanf) {
    const std::string line = "1  -2.5  3.25  -0.000001  5\t6\t7\t8\t9\t10\t11\t12\t13\t14";
    const std::string odd[] = {"1e3",
                               "-INF",
                               "nan",
                               "+7",
                               "-",
                               "1.",
                               ".5",
                               "0x1p4",
                               "1e+",
                               "3.4028236e38",
                               "99999999999999999999999999999999999999999",
                               "0.000000000000000000000000000000000000000000000001",
                               "abc",
                               "1,5",
                               "-.",
                               "12a",
                               "\f9"};
    std::vector<std::string> texts = {"",
                                      "\n",
                                      "\n\n",
                                      line,
                                      line + "\n",
                                      line + "\n\n",
                                      line + "  \t\n" + line,
                                      line + "\r\n" + line + "\r\n",
                                      "1  2  3\n",
                                      "1  2  3",
                                      line + "\n4 5"};
    for (const std::string& value : odd) {
        texts.push_back(value + "  2  3  4  5\t6\t7\t8\t9\t10\t11\t12\t13\t14\n" + line);
        texts.push_back(line + "\n1  2  " + value + "\n" + line + "\n");
        texts.push_back(line + "\n" + value);
    }
    for (const std::string& text : texts) {
        ExpectSameAsStdio<TrajectoryRecord>(text);
    }

    const std::string log = "7\t1\t2\t3\t4\t5\t6\t7\t8 -1\t0\t1\t2\t10\t-20\t30\t40  50\n";
    const std::string logs[] = {log + log, log + "8\t1.5\t2\n", "2147483648\t1\n" + log,
                                log + "-2147483649\t1\n",
                                log +
                                    "1\t2\t3\t4\t5\t6\t7\t8\t9 10\t"
                                    "11\t12\t13\t1.5\t2\t3\t4  5\n"};
    for (const std::string& text : logs) {
        ExpectSameAsStdio<PressureLogRecord>(text);
    }
}

TEST(RecordLayouts, WritersPrintAsPrintfDoes) {
    std::mt19937 engine(3);
    std::uniform_int_distribution<std::uint32_t> bits;
    for (int round = 0; round < 2000; ++round) {
        PressureLogRecord r;
        r.sample = int(bits(engine));
        for (float* group : {r.desired, r.measured, r.valve}) {
            for (int i = 0; i < 4; ++i) {
                const std::uint32_t b = bits(engine);
                std::memcpy(&group[i], &b, sizeof b);  // any float: tiny, huge, inf, nan
            }
        }
        for (int& count : r.counts) {
            count = int(bits(engine));
        }
        char expected[8192];
        std::snprintf(expected, sizeof expected, PressureLogRecord::kFormat, r.sample,
                      double(r.desired[0]), double(r.desired[1]), double(r.desired[2]),
                      double(r.desired[3]), double(r.measured[0]), double(r.measured[1]),
                      double(r.measured[2]), double(r.measured[3]), double(r.valve[0]),
                      double(r.valve[1]), double(r.valve[2]), double(r.valve[3]), r.counts[0],
                      r.counts[1], r.counts[2], r.counts[3], r.counts[4]);
        StdioFile file(std::tmpfile());
        EXPECT_EQ(runfiles::Write(file.get(), r), int(std::strlen(expected)));
        ASSERT_EQ(Contents(file.get()), expected);
    }
}

TEST(RecordLayouts, FixedPointValuesPrintAsPrintfDoes) {
    // Values in the ranges the files hold, ties at the seventh decimal
    // (multiples of 1/128 and 1/2^20) and values that are not 32-bit floats.
    std::mt19937 engine(4);
    std::uniform_real_distribution<float> pressure(-5000.0f, 5000.0f);
    std::uniform_real_distribution<double> wide(-1e13, 1e13);
    std::uniform_int_distribution<int> ticks(-1 << 24, 1 << 24);
    StdioFile file(std::tmpfile());
    std::string expected;
    for (int round = 0; round < 20000; ++round) {
        const double values[8] = {pressure(engine),
                                  pressure(engine) * 1e-4,
                                  ticks(engine) / 128.0,
                                  ticks(engine) / 1048576.0,
                                  -ticks(engine) / 2097152.0,
                                  wide(engine),
                                  std::ldexp(pressure(engine), -30),
                                  pressure(engine) / 3.0};
        char line[2048];
        std::snprintf(line, sizeof line, runfiles::FuzzyPressureLogRecord::kFormat, values[0],
                      values[1], values[2], values[3], values[4], values[5], values[6], values[7]);
        expected += line;
        platform::WriteLine(file.get(), runfiles::FuzzyPressureLogRecord::kFormat, values);
    }
    EXPECT_TRUE(Contents(file.get()) == expected);
}

}  // namespace
