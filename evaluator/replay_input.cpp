// Replay input of the evaluator: the motion the arm really made in a logged
// run, as trajectory records derived from the logged encoder counts.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "arm/arm.h"
#include "evaluator/evaluator.h"
#include "evaluator/run_files.h"
#include "evaluator/trajectory_terms.h"
#include "platform/fixed_messages.h"
#include "platform/stdio_file.h"

namespace evaluator {
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

bool PrepareSimulationInput() {
    StdioFile logFile(std::fopen("LogALLANNETPressures.txt", "r"));
    if (!logFile) {
        std::fputs(messages::kRunLogNotOpened, stdout);
    }
    StdioFile simFile(std::fopen("SimALLWeights.txt", "w"));
    if (!simFile) {
        std::fputs(messages::kReplayInputNotWritten, stdout);
    }

    std::vector<runfiles::PressureLogRecord> log;
    bool ok = logFile && simFile;
    const std::string tooLarge = logFile ? platform::ReadWholeProblem(logFile.get()) : "";
    if (!tooLarge.empty()) {
        std::printf("LogALLANNETPressures.txt %s; not read\n", tooLarge.c_str());
        ok = false;
    } else if (logFile && runfiles::ReadAll(logFile.get(), log).stalled) {
        std::printf("LogALLANNETPressures.txt: unreadable text in line %zu\n", log.size());
        ok = false;
    }

    if (simFile) {
        for (const runfiles::TrajectoryRecord& record : ReplayTrajectory(log)) {
            runfiles::Write(simFile.get(), record);
        }
    }

    logFile.reset();
    if (simFile && (std::ferror(simFile.get()) || std::fclose(simFile.release()) != 0)) {
        std::fputs("SimALLWeights.txt: write failed\n", stdout);
        ok = false;
    }
    return ok;
}

}  // namespace evaluator
