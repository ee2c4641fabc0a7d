// Replay input of the evaluator: the motion the arm really made in a logged
// run, as trajectory records derived from the logged encoder counts.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "evaluator/evaluator.h"
#include "evaluator/run_files.h"

namespace evaluator {
namespace {

constexpr double kPi = 3.141592653589;
constexpr double kCountsPerDegree = 8;           // encoders of axes 3 and 4
constexpr double kCountsPerRevolution = 153600;  // shoulder and elbow encoders
constexpr double kShoulderAtZero = 0.261;        // rad
constexpr double kElbowAtZero = 1.3083;          // rad
constexpr double kSamplePeriodMs = 20;

using runfiles::File;

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
    return float(double(counts) / kCountsPerDegree / 360 * kPi * 2);
}

float RevolutionAngle(int counts, double atZero) {
    return float(counts / kCountsPerRevolution * kPi * 2 + atZero);
}

float Rate(const std::vector<float>& theta, std::size_t j) {
    return float((double(theta[j + 1]) - theta[j]) / kSamplePeriodMs * 1000);
}

// Central second difference at j + 1.
float Acceleration(const std::vector<float>& theta, std::size_t j) {
    return float((double(theta[j + 2]) - 2.0 * theta[j + 1] + theta[j]) /
                 (kSamplePeriodMs * kSamplePeriodMs) * 1000000);
}

Motion MotionOf(const std::vector<runfiles::PressureLogRecord>& log) {
    const std::size_t count = log.size();
    Motion m(count);
    for (std::size_t j = 0; j < count; ++j) {
        const int* c = log[j].counts;
        m.theta1[j] = DifferenceAngle(std::int64_t(c[3]) - c[4]);
        m.theta2[j] = RevolutionAngle(c[1], kShoulderAtZero);
        m.theta3[j] = RevolutionAngle(c[2], kElbowAtZero);
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

runfiles::TrajectoryRecord RecordOf(const Motion& m, std::size_t j) {
    const double t1 = m.theta1[j], t2 = m.theta2[j], t3 = m.theta3[j];
    const double rate2 = m.rate2[j], rate3 = m.rate3[j];
    const double accel2 = m.accel2[j], accel3 = m.accel3[j];
    runfiles::TrajectoryRecord r;
    r.field[0] = float(t1 * 360 / 2 / kPi);
    r.field[1] = float(double(m.theta4[j]) * 360 / 2 / kPi);
    r.field[2] = m.accel2[j];
    r.field[3] = float(std::cos(t1) * accel2);
    r.field[4] = float(std::cos(t3 + t1) * accel2);
    r.field[5] = m.accel3[j];
    r.field[6] = float(std::cos(t1) * accel3);
    r.field[7] = m.accel1[j];
    r.field[8] = float(std::sin(t1) * rate2 * rate2);
    r.field[9] = float(std::sin(t3 + t1) * rate2 * rate2);
    r.field[10] = float(std::sin(t1) * rate2 * rate3);
    r.field[11] = float(std::sin(t1) * rate3 * rate3);
    r.field[12] = float(std::sin(t2 + t3 + t1));
    r.field[13] = m.accel4[j];
    return r;
}

}  // namespace

std::vector<runfiles::TrajectoryRecord> ReplayRecords(
    const std::vector<runfiles::PressureLogRecord>& log) {
    const Motion motion = MotionOf(log);
    std::vector<runfiles::TrajectoryRecord> records;
    for (std::size_t j = 1; j + 3 <= log.size(); ++j)
        records.push_back(RecordOf(motion, j));
    return records;
}

bool PrepareSimulationInput() {
    File logFile(std::fopen("LogALLANNETPressures.txt", "r"));
    if (!logFile)
        std::fputs("LogALLANNETPressures.txt Dosya Ac\375lmad\375\n", stdout);
    File simFile(std::fopen("SimALLWeights.txt", "w"));
    if (!simFile)
        std::fputs("SimALLWeights Dosya Ac\375lmad\375\n", stdout);

    std::vector<runfiles::PressureLogRecord> log;
    bool ok = logFile && simFile;
    if (logFile && runfiles::ReadAll(logFile.get(), log).stalled) {
        std::printf("LogALLANNETPressures.txt: unreadable text in line %zu\n", log.size());
        ok = false;
    }

    if (simFile) {
        for (const runfiles::TrajectoryRecord& record : ReplayRecords(log))
            runfiles::Write(simFile.get(), record);
    }

    logFile.reset();
    if (simFile && (std::ferror(simFile.get()) || std::fclose(simFile.release()) != 0)) {
        std::fputs("SimALLWeights.txt: write failed\n", stdout);
        ok = false;
    }
    return ok;
}

}  // namespace evaluator
