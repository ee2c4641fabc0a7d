#include "training/procedure_support.h"

namespace training {

std::vector<runs::VelocityRecord> ReadVelocityRecords(std::FILE* file) {
    std::vector<runs::VelocityRecord> records;
    runfiles::ReadAll(file, records);
    return records;
}

void NoteFile(TrainingResult& result, const char* path, bool written) {
    if (written) {
        result.files.emplace_back(path);
    }
    result.filesWritten = result.filesWritten && written;
}

bool Close(platform::StdioFile& file) {
    return file && std::fclose(file.release()) == 0;
}

}  // namespace training
