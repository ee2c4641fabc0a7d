#include "runfiles/catalogue.h"

#include <cctype>
#include <sstream>

namespace runfiles {
namespace {

// "valve1-4" as valve1 to valve4; any other name as itself.
void AppendNumbered(const std::string& name, const std::string& unit,
                    std::vector<Column>& columns) {
    const std::size_t dash = name.rfind('-');
    std::size_t digits = dash;
    while (digits != std::string::npos && digits > 0 && std::isdigit(name[digits - 1])) {
        --digits;
    }
    if (dash == std::string::npos || digits == dash || dash + 1 == name.size()) {
        columns.push_back({name, unit});
        return;
    }
    const std::string stem = name.substr(0, digits);
    const int first = std::stoi(name.substr(digits, dash - digits));
    const int last = std::stoi(name.substr(dash + 1));
    for (int number = first; number <= last; ++number) {
        columns.push_back({stem + std::to_string(number), unit});
    }
}

RecordFile Entry(const LabFile& file) {
    return {file.Name(), file.RelativePath(), file.columns, file.columnList};
}

// A file per muscle, its number shown as N.
RecordFile Entry(const NumberedLabFile& file) {
    const std::string path = file.RelativePath(0);
    const std::string shown = path.substr(0, path.size() - std::string("0.txt").size()) + "N.txt";
    return {shown.substr(shown.rfind('/') + 1), shown, file.columns, file.columnList};
}

}  // namespace

std::string PonnetWeightFileName(int muscle, int binLabel, int set) {
    return std::to_string(muscle) + std::to_string(binLabel) + (set == 0 ? "f.txt" : "b.txt");
}

std::vector<Column> Columns(const char* columnList) {
    std::vector<Column> columns;
    std::istringstream groups(columnList);
    for (std::string group; std::getline(groups, group, ';');) {
        std::istringstream words(group);
        std::string name, unit;
        if (words >> name) {
            words >> unit;
            AppendNumbered(name, unit, columns);
        }
    }
    return columns;
}

const std::vector<RecordFile>& RecordFiles() {
    static const std::vector<RecordFile> files = {
        Entry(kVelocityTrajectory),
        Entry(kEncoderTrajectory),
        Entry(kDynamicTerms),
        Entry(kRunLog),
        Entry(kRunEncoderLog),
        Entry(kRunPressureLog),
        Entry(kRunTimeLog),
        Entry(kMotorVoltages),
        Entry(kMotorVelocities),
        Entry(kMotorEncoders),
        Entry(kMotorTimeLog),
        Entry(kTrackedVelocities),
        Entry(kTrackedEncoders),
        Entry(kValveRecording),
        Entry(kCombinedEncoders),
        Entry(kCombinedPressures),
        Entry(kCombinedDesiredPressures),
        Entry(kExperimentRecording),
        Entry(kCandidate),
        Entry(kFitness),
        Entry(kReplayInput),
        Entry(kFuzzyPressureLog),
    };
    return files;
}

std::optional<RecordFile> RecordFileNamed(const std::string& fileName) {
    for (const RecordFile& file : RecordFiles()) {
        if (file.name == fileName) {
            return file;
        }
    }
    for (int muscle = 1; muscle <= arm::kMuscleCount; ++muscle) {
        if (fileName == kValveRecording.Name(muscle)) {
            return RecordFile{fileName, kValveRecording.RelativePath(muscle),
                              kValveRecording.columns, kValveRecording.columnList};
        }
    }
    return std::nullopt;
}

}  // namespace runfiles
