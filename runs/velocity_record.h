// One line of the desired-velocity file of a trajectory: the velocities of
// axes 0, 1 and 2 in encoder counts per millisecond. Read with
// runfiles::ReadAll like the other run files.
#pragma once

#include <cstdio>

#include "arm/arm.h"
#include "platform/stdio_text.h"

namespace runs {

struct VelocityRecord {
    static constexpr const char* kFormat = "%f\t\t%f\t\t%f\n";
    float velocity[arm::kMotorCount] = {};
};

// One fscanf with the record's format; the scanner gives the same results faster.
int Read(std::FILE* file, VelocityRecord& record);
int Read(platform::TextScanner& text, VelocityRecord& record);

}  // namespace runs
