#include "training/procedure_support.h"

namespace training {

std::vector<runs::VelocityRecord> ReadVelocityRecords(std::FILE* file, const char* name) {
    std::vector<runs::VelocityRecord> records;
    const std::string unread = runfiles::ReadAll(file, records).unread;
    if (!unread.empty()) {
        std::printf("%s %s; not read\n", name, unread.c_str());
    }
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
