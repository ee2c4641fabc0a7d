#include "figures/figures.h"

#include <cmath>
#include <cstdint>

#include "runfiles/catalogue.h"

namespace figures {

bool Ran(const runfiles::PressureLogRecord& record) {
    for (int m = 0; m < arm::kMuscleCount; ++m) {
        if (record.measured[m] != 0.0f || record.valve[m] != 0.0f) {
            return true;
        }
    }
    for (int count : record.counts) {
        if (count != 0) {
            return true;
        }
    }
    return false;
}

std::size_t SamplesRun(const std::vector<runfiles::PressureLogRecord>& log) {
    std::size_t ran = log.size();
    while (ran > 0 && !Ran(log[ran - 1])) {
        --ran;
    }
    return ran;
}

double JointAngleDegrees(const runfiles::PressureLogRecord& record) {
    return double(std::int64_t(record.counts[3]) - record.counts[4]) /
           arm::kMuscleJointCountsPerDegree;
}

Saturation SaturationOf(const std::vector<runfiles::PressureLogRecord>& log, std::size_t samples) {
    Saturation saturation;
    for (std::size_t j = 0; j < samples && j < log.size(); ++j) {
        bool valve = false, pressure = false;
        for (int m = 0; m < arm::kMuscleCount; ++m) {
            const bool valveOut = !arm::ValveCommandReachable(log[j].valve[m]);
            const bool pressureOut = !arm::PressureReachable(log[j].desired[m]);
            saturation.valveByMuscle[m] += valveOut;
            saturation.pressureByMuscle[m] += pressureOut;
            valve = valve || valveOut;
            pressure = pressure || pressureOut;
        }
        saturation.valve += valve;
        saturation.pressure += pressure;
        saturation.samples += valve || pressure;
    }
    return saturation;
}

std::optional<RunFigures> FiguresOf(const std::vector<runfiles::PressureLogRecord>& log,
                                    const std::vector<runfiles::TrajectoryRecord>& trajectory,
                                    std::string& problem, const Options& options) {
    const std::size_t counts = options.desiredCounts ? options.desiredCounts->size() : 0;
    for (const runfiles::PressureLogRecord& r : log) {
        // Each record's own sample number picks its trajectory line, so each
        // is checked: a log out of order must not read outside the trajectory.
        const bool onTrajectory = r.sample >= 1 && std::size_t(r.sample) <= trajectory.size();
        if (!onTrajectory || (options.desiredCounts && std::size_t(r.sample) >= counts)) {
            problem = "sample " + std::to_string(r.sample) + " lies outside the trajectory's " +
                      std::to_string(trajectory.size()) + " lines" +
                      (options.desiredCounts ? " or the desired counts' " + std::to_string(counts)
                                             : std::string());
            return std::nullopt;
        }
    }
    const std::size_t ran = std::min(SamplesRun(log), options.samples);
    if (ran == 0) {
        problem = "no sample was run (nothing measured or sent)";
        return std::nullopt;
    }
    double pressureSum[arm::kMuscleCount] = {}, axisSum[kMotorAxisCount] = {}, jointSum = 0;
    for (std::size_t j = 0; j < ran; ++j) {
        const runfiles::PressureLogRecord& r = log[j];
        for (int m = 0; m < arm::kMuscleCount; ++m) {
            const double miss = double(r.measured[m]) - r.desired[m];
            pressureSum[m] += miss * miss;
        }
        if (options.desiredCounts) {
            const std::vector<double>& desired = (*options.desiredCounts)[std::size_t(r.sample)];
            for (int axis = 0; axis < kMotorAxisCount; ++axis) {
                const double miss = r.counts[axis] - desired[axis];
                axisSum[axis] += miss * miss;
            }
        }
        const double miss = JointAngleDegrees(r) - trajectory[std::size_t(r.sample - 1)].field[0];
        jointSum += miss * miss;
    }
    RunFigures figures;
    figures.samples = int(ran);
    double allMuscles = 0;
    for (int m = 0; m < arm::kMuscleCount; ++m) {
        figures.musclePressureRms[m] = std::sqrt(pressureSum[m] / double(ran));
        allMuscles += pressureSum[m];
    }
    figures.pressureRms = std::sqrt(allMuscles / (double(ran) * arm::kMuscleCount));
    for (int axis = 0; axis < kMotorAxisCount; ++axis) {
        figures.axisRmsCounts[axis] = std::sqrt(axisSum[axis] / double(ran));
    }
    figures.jointRmsDegrees = std::sqrt(jointSum / double(ran));
    figures.saturation = SaturationOf(log, ran);
    return figures;
}

std::optional<RunFigures> ReadRunFigures(const std::string& logPath,
                                         const std::string& trajectoryPath, std::string& problem) {
    const auto log = runfiles::ReadLogRecords(logPath, problem);
    if (!log) {
        return std::nullopt;
    }
    const auto trajectory = runfiles::ReadTrajectoryRecords(trajectoryPath, problem);
    if (!trajectory) {
        return std::nullopt;
    }
    auto figures = FiguresOf(*log, *trajectory, problem);
    if (!figures) {
        problem = logPath + ": " + problem;
    }
    return figures;
}

std::optional<RunFigures> ReadRunFigures(const std::string& dir, std::string& problem) {
    return ReadRunFigures(runfiles::kRunLog.In(dir), runfiles::kDynamicTerms.In(dir), problem);
}

}  // namespace figures
