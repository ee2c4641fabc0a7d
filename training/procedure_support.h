// What the training-data procedures share: reading the desired-velocity file
// of the trajectory, and writing the training files from the tables into the
// result.
#pragma once

#include <cstdio>
#include <vector>

#include "platform/stdio_file.h"
#include "runfiles/run_files.h"
#include "runs/runs.h"
#include "runs/velocity_record.h"
#include "training/training.h"

namespace training {

// Reads the open velocity file `name` to its end, one line per read while
// the end-of-file indicator is clear (an empty file gives one line of
// zeros). A file too large to read whole gives no line, and a line saying so.
std::vector<runs::VelocityRecord> ReadVelocityRecords(std::FILE* file, const char* name);

// Closes an open file; true when it was open and closed cleanly.
bool Close(platform::StdioFile& file);

// Notes a file that was to be written: listed in the result when it was,
// and the result's filesWritten cleared when it was not.
void NoteFile(TrainingResult& result, const char* path, bool written);

// Writes one line per row with `format` ("%d" and "%f" fields) into the
// file, when it is open, closes it and notes it in the result;
// `row(i, values)` fills the values of row i.
template <typename Row>
void WriteTrainingFile(TrainingResult& result, const char* path, platform::StdioFile& file,
                       const char* format, int rows, Row row) {
    bool written = static_cast<bool>(file);
    if (file) {
        double values[8] = {};
        for (int i = 0; i < rows; ++i) {
            row(i, values);
            written = platform::WriteLine(file.get(), format, values) >= 0 && written;
        }
        written = Close(file) && written;
    }
    NoteFile(result, path, written);
}

}  // namespace training
