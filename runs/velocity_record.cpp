#include "runs/velocity_record.h"

namespace runs {

int Read(std::FILE* file, VelocityRecord& r) {
    return std::fscanf(file, VelocityRecord::kFormat, &r.velocity[0], &r.velocity[1],
                       &r.velocity[2]);
}

int Read(platform::TextScanner& text, VelocityRecord& r) {
    return text.ScanReals(VelocityRecord::kFormat, r.velocity,
                          [&r](std::FILE* file) { return Read(file, r); });
}

}  // namespace runs
