#include "runfiles/run_files.h"

#include <cstdlib>

#include "platform/stdio_file.h"

namespace runfiles {

int WriteTrajectoryLine(std::FILE* file, const double (&v)[TrajectoryRecord::kFieldCount]) {
    return platform::WriteLine(file, TrajectoryRecord::kFormat, v);
}

int Write(std::FILE* file, const TrajectoryRecord& r) {
    double values[TrajectoryRecord::kFieldCount];
    for (int i = 0; i < TrajectoryRecord::kFieldCount; ++i) {
        values[i] = r.field[i];
    }
    return WriteTrajectoryLine(file, values);
}

int Write(std::FILE* file, const PressureLogRecord& r) {
    const double values[PressureLogRecord::kFieldCount] = {
        double(r.sample),    r.desired[0],        r.desired[1],        r.desired[2],
        r.desired[3],        r.measured[0],       r.measured[1],       r.measured[2],
        r.measured[3],       r.valve[0],          r.valve[1],          r.valve[2],
        r.valve[3],          double(r.counts[0]), double(r.counts[1]), double(r.counts[2]),
        double(r.counts[3]), double(r.counts[4])};
    return platform::WriteLine(file, PressureLogRecord::kFormat, values);
}

int Write(std::FILE* file, const FuzzyPressureLogRecord& r) {
    const double values[8] = {r.own[0],     r.own[1],     r.own[2],     r.own[3],
                              r.blended[0], r.blended[1], r.blended[2], r.blended[3]};
    return platform::WriteLine(file, FuzzyPressureLogRecord::kFormat, values);
}

int WriteFitness(std::FILE* file, double fitness) {
    return std::fprintf(file, FitnessFile::kFormat, fitness);
}

int Read(std::FILE* file, TrajectoryRecord& r) {
    float* f = r.field;
    return std::fscanf(file, TrajectoryRecord::kFormat, &f[0], &f[1], &f[2], &f[3], &f[4], &f[5],
                       &f[6], &f[7], &f[8], &f[9], &f[10], &f[11], &f[12], &f[13]);
}

int Read(std::FILE* file, PressureLogRecord& r) {
    return std::fscanf(file, PressureLogRecord::kFormat, &r.sample, &r.desired[0], &r.desired[1],
                       &r.desired[2], &r.desired[3], &r.measured[0], &r.measured[1], &r.measured[2],
                       &r.measured[3], &r.valve[0], &r.valve[1], &r.valve[2], &r.valve[3],
                       &r.counts[0], &r.counts[1], &r.counts[2], &r.counts[3], &r.counts[4]);
}

int Read(platform::TextScanner& text, TrajectoryRecord& r) {
    return text.ScanReals(TrajectoryRecord::kFormat, r.field,
                          [&r](std::FILE* file) { return Read(file, r); });
}

int Read(platform::TextScanner& text, PressureLogRecord& r) {
    platform::Target targets[PressureLogRecord::kFieldCount];
    targets[0].integer = &r.sample;
    for (int i = 0; i < arm::kMuscleCount; ++i) {
        targets[1 + i].real = &r.desired[i];
        targets[5 + i].real = &r.measured[i];
        targets[9 + i].real = &r.valve[i];
    }
    for (int i = 0; i < arm::kEncoderChannelCount; ++i) {
        targets[13 + i].integer = &r.counts[i];
    }
    return text.Scan(PressureLogRecord::kFormat, targets, PressureLogRecord::kFieldCount,
                     [&r](std::FILE* file) { return Read(file, r); });
}

CandidateVector ReadCandidates(std::FILE* file) {
    CandidateVector candidates;
    while (!std::feof(file)) {
        const long before = std::ftell(file);
        float value = 0.0f;
        const int converted = std::fscanf(file, CandidateFile::kValueFormat, &value);
        if (candidates.count < CandidateFile::kCapacity) {
            candidates.k[candidates.count++] = value;
            candidates.converted += converted == 1;
        } else {
            ++candidates.extra;
        }
        if (converted <= 0 && !std::feof(file) && std::ftell(file) == before) {
            candidates.stalled = true;
            break;
        }
    }
    return candidates;
}

std::optional<CandidateVector> ReadCandidateFile(const std::string& path) {
    platform::StdioFile file(std::fopen(path.c_str(), "r"));
    if (!file) {
        return std::nullopt;
    }
    return ReadCandidates(file.get());
}

bool WriteCandidates(std::FILE* file, const float* k) {
    for (int i = 0; i < CandidateFile::kCapacity; ++i) {
        if (std::fprintf(file, CandidateFile::kValueFormat, double(k[i])) < 0) {
            return false;
        }
    }
    return std::fputs("\n", file) >= 0;
}

float CandidateValueAsRead(double value) {
    // strtof rounds the decimal text exactly as fscanf's "%f" does.
    char text[400];  // room for the 309 digits of the largest double
    std::snprintf(text, sizeof text, "%f", value);
    return std::strtof(text, nullptr);
}

}  // namespace runfiles
