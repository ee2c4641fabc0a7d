#include "model/replay.h"

#include <algorithm>
#include <cstdint>

#include "labdir/family_swap.h"
#include "model/fuzzy_supervisor.h"
#include "platform/stdio_file.h"
#include "runfiles/trajectory_terms.h"

namespace replay {
namespace {

using platform::StdioFile;

// Joint angles (radians), rates and accelerations of every log record.
struct Motion {
    explicit Motion(std::size_t size)
        : theta1(size),
          theta2(size),
          theta3(size),
          theta4(size),
          rate2(size),
          rate3(size),
          accel1(size),
          accel2(size),
          accel3(size),
          accel4(size) {}
    std::vector<float> theta1, theta2, theta3, theta4;
    std::vector<float> rate2, rate3;
    std::vector<float> accel1, accel2, accel3, accel4;
};

float DifferenceAngle(std::int64_t counts) {
    return float(double(counts) / arm::kMuscleJointCountsPerDegree / 360 * arm::kPi * 2);
}

float RevolutionAngle(int counts, double atZero) {
    return float(counts / arm::kJointCountsPerRevolution * arm::kPi * 2 + atZero);
}

float Rate(const std::vector<float>& theta, std::size_t j) {
    return runfiles::SampleRate(theta[j + 1], theta[j]);
}

// Central second difference at j + 1.
float Acceleration(const std::vector<float>& theta, std::size_t j) {
    return runfiles::SampleAcceleration(theta[j + 2], theta[j + 1], theta[j]);
}

Motion MotionOf(const std::vector<runfiles::PressureLogRecord>& log) {
    const std::size_t count = log.size();
    Motion m(count);
    for (std::size_t j = 0; j < count; ++j) {
        const int* c = log[j].counts;
        m.theta1[j] = DifferenceAngle(std::int64_t(c[3]) - c[4]);
        m.theta2[j] = RevolutionAngle(c[1], arm::kShoulderRadiansAtZero);
        m.theta3[j] = RevolutionAngle(c[2], arm::kElbowRadiansAtZero);
        m.theta4[j] = DifferenceAngle(std::int64_t(c[3]) + c[4]);
    }
    for (std::size_t j = 0; j + 3 <= count; ++j) {
        m.rate2[j] = Rate(m.theta2, j);
        m.rate3[j] = Rate(m.theta3, j);
        m.accel1[j + 1] = Acceleration(m.theta1, j);
        m.accel2[j + 1] = Acceleration(m.theta2, j);
        m.accel3[j + 1] = Acceleration(m.theta3, j);
        m.accel4[j + 1] = Acceleration(m.theta4, j);
    }
    return m;
}

// Every field of the replay's records is stored in single precision.
runfiles::TrajectoryRecord RecordOf(const Motion& m, std::size_t j) {
    return runfiles::RecordOf(runfiles::DynamicTerms({
        m.theta1[j],
        m.theta2[j],
        m.theta3[j],
        m.theta4[j],
        m.rate2[j],
        m.rate3[j],
        m.accel1[j],
        m.accel2[j],
        m.accel3[j],
        m.accel4[j],
    }));
}

}  // namespace

using runfiles::PressureLogRecord;
using runfiles::TrajectoryRecord;

std::vector<runfiles::TrajectoryRecord> ReplayTrajectory(
    const std::vector<runfiles::PressureLogRecord>& log) {
    std::vector<runfiles::TrajectoryRecord> records;
    const Motion motion = MotionOf(log);
    for (std::size_t j = 1; j + 3 <= log.size(); ++j) {
        records.push_back(RecordOf(motion, j));
    }
    return records;
}

bool RoundTripThroughText(const std::vector<runfiles::TrajectoryRecord>& written,
                          std::vector<runfiles::TrajectoryRecord>& read) {
    StdioFile text(std::tmpfile());
    if (!text) {
        return false;
    }
    for (const runfiles::TrajectoryRecord& record : written) {
        runfiles::Write(text.get(), record);
    }
    if (std::ferror(text.get()) || std::fflush(text.get()) != 0) {
        return false;
    }
    std::rewind(text.get());
    read.clear();
    return ReadRoundedReplayInput(text.get(), read);
}

bool ReadRoundedReplayInput(std::FILE* file, std::vector<TrajectoryRecord>& trajectory) {
    return !runfiles::ReadAll(file, trajectory).stalled;
}

float BinPhase(float angle) {
    const double c = angle;
    return float(c - 4 * std::floor(c / 4));
}

void ComputeDirectionFlags(const std::vector<TrajectoryRecord>& trajectory,
                           std::vector<float>& flags) {
    const std::size_t n = trajectory.size();
    flags.assign(n, 0.0f);
    for (std::size_t i = 1; i < n; ++i) {
        const float previous = trajectory[i - 1].field[0], current = trajectory[i].field[0];
        if (previous < current) {
            flags[i] = 1.0f;
        } else if (previous > current) {
            flags[i] = 0.0f;
        } else {
            flags[i] = flags[i - 1];
        }
    }
    if (n >= 2) {
        flags[0] = flags[1];
    }
}

bool LoadModels(const std::string& weightDirectory, MuscleModels& models) {
    std::string refusal;
    const auto held = labdir::FamilyReadLock::Take({weightDirectory}, refusal);
    if (!held) {
        std::printf("PONNET weights not read: %s\n", refusal.c_str());
        return false;
    }
    bool loaded = true;
    for (int m = 0; m < arm::kMuscleCount; ++m) {
        models[m] = std::make_unique<PonnetModel>(m + 1, weightDirectory);
        loaded = models[m]->LoadWeights() && loaded;
    }
    return loaded;
}

float PredictSample(const MuscleModels& models, const std::vector<TrajectoryRecord>& trajectory,
                    const std::vector<float>& flags, std::size_t d, float* own, float* neighbour) {
    const float* fields = trajectory[d].field;
    float x[PonnetModel::kInputSize];
    std::copy(fields, fields + TrajectoryRecord::kFieldCount, x);

    const float phase = BinPhase(fields[0]);
    const int side = NeighbourSide(phase);
    x[PonnetModel::kInputs] = side < 0 ? flags[d - 1] : flags[d + 1];
    for (int m = 0; m < arm::kMuscleCount; ++m) {
        models[m]->Evaluate(x, &neighbour[m], side);
    }

    x[PonnetModel::kInputs] = flags[d];
    for (int m = 0; m < arm::kMuscleCount; ++m) {
        models[m]->Evaluate(x, &own[m], 0);
    }
    return phase;
}

float ReplayErrorSum(const MuscleModels& models, const std::vector<TrajectoryRecord>& trajectory,
                     const std::vector<float>& flags, const float* k,
                     const std::vector<PressureLogRecord>& measured, std::FILE* fuzzyLog) {
    float errorSum = 0.0f;
    for (std::size_t d = 1; d + 1 < trajectory.size(); ++d) {
        runfiles::FuzzyPressureLogRecord record;
        float neighbour[arm::kMuscleCount];
        const float phase = PredictSample(models, trajectory, flags, d, record.own, neighbour);
        fuzzy::Blend(fuzzy::BlendWeight(phase, k), record.own, neighbour, record.blended);
        errorSum = AddSquaredMisses(errorSum, measured[d].measured, record.blended);
        if (fuzzyLog) {
            runfiles::Write(fuzzyLog, record);
        }
    }
    return errorSum;
}

}  // namespace replay
