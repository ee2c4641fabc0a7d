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

runfiles::File OpenReporting(const char* path, const char* mode, const char* failureMessage) {
    runfiles::File file(std::fopen(path, mode));
    if (!file)
        std::fputs(failureMessage, stdout);
    return file;
}

int Read(platform::TextScanner& text, VelocityLine& line) {
    platform::Target targets[3];
    for (int k = 0; k < 3; ++k)
        targets[k].real = &line.velocity[k];
    return text.Scan(VelocityLine::kFormat, targets, 3, [&line](std::FILE* file) {
        return std::fscanf(file, VelocityLine::kFormat, &line.velocity[0], &line.velocity[1],
                           &line.velocity[2]);
    });
}

std::vector<VelocityLine> ReadVelocityLines(std::FILE* file) {
    std::vector<VelocityLine> lines;
    runfiles::ReadAll(file, lines);
    return lines;
}

}  // namespace training
