#include "platform/stdio_file.h"
#include "training/procedure_support.h"

#include "cards/motion_card.h"

namespace training {

runs::RunEnd CheckStops() {
    if (CheckEmergencyStop() != 1)
        return runs::RunEnd::kEmergencyStop;
    if (CheckLimitSwitches() != 1)
        return runs::RunEnd::kLimitSwitch;
    return runs::RunEnd::kCompleted;
}

platform::StdioFile OpenReporting(const char* path, const char* mode, const char* failureMessage) {
    platform::StdioFile file(std::fopen(path, mode));
    if (!file)
        std::fputs(failureMessage, stdout);
    return file;
}

std::vector<runs::VelocityRecord> ReadVelocityRecords(std::FILE* file) {
    std::vector<runs::VelocityRecord> records;
    runfiles::ReadAll(file, records);
    return records;
}

void NoteFile(TrainingResult& result, const char* path, bool written) {
    if (written)
        result.files.emplace_back(path);
    result.filesWritten = result.filesWritten && written;
}

bool Close(platform::StdioFile& file) {
    return file && std::fclose(file.release()) == 0;
}

}  // namespace training
