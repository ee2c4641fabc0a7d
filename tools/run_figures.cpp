#include "tools/run_figures.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "arm/arm.h"
#include "runfiles/catalogue.h"
#include "runfiles/strict_reader.h"

namespace figures {
namespace {

bool Ran(const runfiles::PressureLogRecord& record) {
    for (float pressure : record.measured) {
        if (pressure != 0.0f) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::size_t SamplesRun(const std::vector<runfiles::PressureLogRecord>& log) {
    std::size_t ran = log.size();
    while (ran > 0 && !Ran(log[ran - 1])) {
        --ran;
    }
    return ran;
}

Saturation SaturationOf(const std::vector<runfiles::PressureLogRecord>& log,
                        std::size_t samplesRun) {
    Saturation saturation;
    for (std::size_t j = 0; j < samplesRun && j < log.size(); ++j) {
        bool valve = false, pressure = false;
        for (int m = 0; m < arm::kMuscleCount; ++m) {
            valve = valve || !arm::ValveCommandReachable(log[j].valve[m]);
            pressure = pressure || !arm::PressureReachable(log[j].desired[m]);
        }
        saturation.valve += valve;
        saturation.pressure += pressure;
        saturation.samples += valve || pressure;
    }
    return saturation;
}

std::optional<RunFigures> FiguresOf(const std::vector<runfiles::PressureLogRecord>& log,
                                    const std::vector<runfiles::TrajectoryRecord>& trajectory) {
    const std::size_t ran = SamplesRun(log);
    if (ran == 0) {
        return std::nullopt;
    }
    double pressureSum = 0, jointSum = 0;
    for (std::size_t j = 0; j < ran; ++j) {
        const runfiles::PressureLogRecord& r = log[j];
        // Each record's own sample number picks its trajectory line, so each
        // is checked: a log out of order must not read outside the trajectory.
        if (r.sample < 1 || trajectory.size() < std::size_t(r.sample)) {
            return std::nullopt;
        }
        for (int m = 0; m < arm::kMuscleCount; ++m) {
            const double miss = double(r.measured[m]) - r.desired[m];
            pressureSum += miss * miss;
        }
        const double angle =
            double(std::int64_t(r.counts[3]) - r.counts[4]) / arm::kMuscleJointCountsPerDegree;
        const double miss = angle - trajectory[std::size_t(r.sample - 1)].field[0];
        jointSum += miss * miss;
    }
    RunFigures figures;
    figures.samples = int(ran);
    figures.pressureRms = std::sqrt(pressureSum / (double(ran) * arm::kMuscleCount));
    figures.jointRmsDegrees = std::sqrt(jointSum / double(ran));
    figures.saturation = SaturationOf(log, ran);
    return figures;
}

std::optional<RunFigures> ReadRunFigures(const std::string& dir, std::string& problem) {
    const auto log = runfiles::ReadLogRecords(runfiles::kRunLog.In(dir), problem);
    if (!log) {
        return std::nullopt;
    }
    const auto trajectory =
        runfiles::ReadTrajectoryRecords(runfiles::kDynamicTerms.In(dir), problem);
    if (!trajectory) {
        return std::nullopt;
    }
    auto figures = FiguresOf(*log, *trajectory);
    if (!figures) {
        problem = "the log holds no sample that ran along its trajectory";
    }
    return figures;
}

}  // namespace figures
