#include "evaluator/run_files.h"

namespace runfiles {

int WriteTrajectoryLine(std::FILE* file, const double (&v)[TrajectoryRecord::kFieldCount]) {
    return std::fprintf(file, TrajectoryRecord::kFormat, v[0], v[1], v[2], v[3], v[4], v[5], v[6],
                        v[7], v[8], v[9], v[10], v[11], v[12], v[13]);
}

int Write(std::FILE* file, const TrajectoryRecord& r) {
    double values[TrajectoryRecord::kFieldCount];
    for (int i = 0; i < TrajectoryRecord::kFieldCount; ++i)
        values[i] = r.field[i];
    return WriteTrajectoryLine(file, values);
}

int Write(std::FILE* file, const PressureLogRecord& r) {
    return std::fprintf(file, PressureLogRecord::kFormat, r.sample, double(r.desired[0]),
                        double(r.desired[1]), double(r.desired[2]), double(r.desired[3]),
                        double(r.measured[0]), double(r.measured[1]), double(r.measured[2]),
                        double(r.measured[3]), double(r.valve[0]), double(r.valve[1]),
                        double(r.valve[2]), double(r.valve[3]), r.counts[0], r.counts[1],
                        r.counts[2], r.counts[3], r.counts[4]);
}

int Write(std::FILE* file, const FuzzyPressureLogRecord& r) {
    return std::fprintf(file, FuzzyPressureLogRecord::kFormat, double(r.own[0]), double(r.own[1]),
                        double(r.own[2]), double(r.own[3]), double(r.blended[0]),
                        double(r.blended[1]), double(r.blended[2]), double(r.blended[3]));
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

CandidateVector ReadCandidates(std::FILE* file) {
    CandidateVector candidates;
    while (!std::feof(file)) {
        const long before = std::ftell(file);
        float value = 0.0f;
        const int converted = std::fscanf(file, CandidateFile::kValueFormat, &value);
        if (candidates.count < CandidateFile::kCapacity) {
            candidates.k[candidates.count++] = value;
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

}  // namespace runfiles
