// Line layouts of the run files that the console and the evaluator share.
// Each record owns its printf-style format string; readers use the same
// string with the scanf conventions. Files are read record by record while
// the end-of-file indicator is clear, and every read counts as a record, so
// an empty file yields one record of zeros.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "arm/arm.h"
#include "platform/stdio_file.h"
#include "platform/stdio_text.h"

namespace runfiles {

// One sample of a trajectory: the muscle-driven joint angle and the sum
// angle in degrees, then twelve dynamic terms of the arm.
struct TrajectoryRecord {
    static constexpr int kFieldCount = 14;
    static constexpr const char* kFormat =
        "%f  %f  %f  %f  %f\t%f\t%f\t%f\t%f\t%f\t%f\t%f\t%f\t%f\n";
    float field[kFieldCount] = {};
};

// One control step of a run: sample index, desired and measured pressures
// and valve voltages of muscles 1 to 4, and the five encoder counts.
struct PressureLogRecord {
    static constexpr int kFieldCount = 18;
    static constexpr const char* kFormat =
        "%d\t%f\t%f\t%f\t%f\t%f\t%f\t%f\t%f %f\t%f\t%f\t%f\t%d\t%d\t%d\t%d  %d\n";
    // Where each group starts on a line.
    static constexpr int kDesiredField = 1;
    static constexpr int kMeasuredField = kDesiredField + arm::kMuscleCount;
    static constexpr int kValveField = kMeasuredField + arm::kMuscleCount;
    static constexpr int kCountField = kValveField + arm::kMuscleCount;
    int sample = 0;
    float desired[arm::kMuscleCount] = {};
    float measured[arm::kMuscleCount] = {};
    float valve[arm::kMuscleCount] = {};
    int counts[arm::kEncoderChannelCount] = {};
};

// One evaluated sample of the replay: own-bin and blended predictions.
struct FuzzyPressureLogRecord {
    static constexpr const char* kFormat = "%f\t%f\t%f\t%f %f\t%f\t%f\t%f\n";
    float own[arm::kMuscleCount] = {};
    float blended[arm::kMuscleCount] = {};
};

// The candidate vector K0..K9, read one value at a time.
struct CandidateFile {
    static constexpr int kCapacity = 10;
    static constexpr const char* kValueFormat = "%f ";
};

// The fitness, one line.
struct FitnessFile {
    static constexpr const char* kFormat = "%f\n";
};

// Writers: each prints its line as fprintf would with every value passed as
// a double, and returns fprintf's result (negative on a write error).
int Write(std::FILE* file, const TrajectoryRecord& record);
// A trajectory line from values kept in the precision they are written with
// (the generator writes the two angles unrounded).
int WriteTrajectoryLine(std::FILE* file, const double (&values)[TrajectoryRecord::kFieldCount]);
int Write(std::FILE* file, const PressureLogRecord& record);
int Write(std::FILE* file, const FuzzyPressureLogRecord& record);
int WriteFitness(std::FILE* file, double fitness);

// Single-record readers: one fscanf with the record's format into a record
// that the caller has zero-filled. They return fscanf's result.
int Read(std::FILE* file, TrajectoryRecord& record);
int Read(std::FILE* file, PressureLogRecord& record);

// The same reads from a scanner holding the stream's text: fscanf's results,
// faster.
int Read(platform::TextScanner& text, TrajectoryRecord& record);
int Read(platform::TextScanner& text, PressureLogRecord& record);

// How a record-by-record read ended.
struct ReadOutcome {
    // The stream stopped advancing before its end (text that no record
    // format matches); reading stopped there instead of spinning for ever.
    bool stalled = false;
    // Why nothing was read: the stream is not a regular file or is larger
    // than what is read whole (platform::ReadWholeProblem); empty otherwise.
    std::string unread;
};

// Reads records while the end-of-file indicator is clear, appending one
// zero-filled record per read whether or not the read converted anything.
// A read that neither converts nor consumes anything cannot make progress,
// so reading stops after counting it. The stream is read to its end.
template <typename Record>
ReadOutcome ReadAll(std::FILE* file, std::vector<Record>& records) {
    ReadOutcome outcome;
    if (std::feof(file)) {
        return outcome;
    }
    outcome.unread = platform::ReadWholeProblem(file);
    if (!outcome.unread.empty()) {
        return outcome;
    }
    platform::TextScanner text(file);
    while (!text.AtEnd()) {
        const std::size_t before = text.Position();
        records.emplace_back();
        const int converted = Read(text, records.back());
        if (converted <= 0 && !text.AtEnd() && text.Position() == before) {
            outcome.stalled = true;
            break;
        }
    }
    return outcome;
}

// Reads the candidate vector: values while the end-of-file indicator is
// clear, each read counting as one value (zero where nothing converted).
// Values beyond the capacity are read and counted in `extra`, not stored.
struct CandidateVector {
    float k[CandidateFile::kCapacity] = {};
    int count = 0;      // reads made, at most kCapacity stored
    int converted = 0;  // stored values that were read as numbers
    int extra = 0;      // reads beyond the capacity
    bool stalled = false;
};
CandidateVector ReadCandidates(std::FILE* file);

// Reads the candidate file at `path`; nothing when it does not open.
std::optional<CandidateVector> ReadCandidateFile(const std::string& path);

// Writes K0..K9, each with "%f " as its value format, then a newline.
// Returns false on a write error.
bool WriteCandidates(std::FILE* file, const float* k);

// The value a candidate file holding `value` written with "%f" gives back.
float CandidateValueAsRead(double value);

}  // namespace runfiles
