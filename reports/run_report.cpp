// A control run: per muscle the desired and measured pressure and the valve
// command, the three motor axes against their desired counts, and the
// muscle-driven joint against the trajectory's angle.
#include <algorithm>
#include <cmath>

#include "arm/arm.h"
#include "reports/builders.h"
#include "reports/data_files.h"
#include "reports/report.h"
#include "runfiles/catalogue.h"

namespace reports {
namespace {

using runfiles::PressureLogRecord;
constexpr int kLogFields = PressureLogRecord::kFieldCount;
constexpr int kDesiredField = PressureLogRecord::kDesiredField;
constexpr int kMeasuredField = PressureLogRecord::kMeasuredField;
constexpr int kValveField = PressureLogRecord::kValveField;
constexpr int kCountField = PressureLogRecord::kCountField;

// The last record the loop reached: samples it did not reach log zeros for
// everything measured and sent. -1 when it reached none.
int LastSampleRun(const Rows& log) {
    for (int r = int(log.size()) - 1; r >= 0; --r) {
        for (int field = kMeasuredField; field < kLogFields; ++field) {
            if (log[r][field] != 0.0) {
                return r;
            }
        }
    }
    return -1;
}

}  // namespace

std::optional<Figure> RunFigure(const std::filesystem::path& neuralFiles, std::string& error) {
    const auto logPath = neuralFiles / runfiles::kRunLog.Name();
    const auto countsPath = neuralFiles / runfiles::kEncoderTrajectory.Name();
    const auto trajectoryPath = neuralFiles / runfiles::kDynamicTerms.Name();
    const auto log = ReadRows(logPath, kLogFields, kLogFields, error);
    if (!log) {
        return std::nullopt;
    }
    if (log->empty()) {
        error = logPath.string() + ": no samples (the run drove none)";
        return std::nullopt;
    }
    const int lastRun = LastSampleRun(*log);
    if (lastRun < 0) {
        error = logPath.string() + ": no sample was run (nothing measured or sent)";
        return std::nullopt;
    }
    const auto desiredCounts = ReadRows(countsPath, runfiles::kEncoderTrajectory.columns,
                                        runfiles::kEncoderTrajectory.columns, error);
    if (!desiredCounts) {
        return std::nullopt;
    }
    const auto trajectory = ReadRows(trajectoryPath, runfiles::kDynamicTerms.columns,
                                     runfiles::kDynamicTerms.columns, error);
    if (!trajectory) {
        return std::nullopt;
    }
    // Sample k's desired counts are line k of the encoder file, its joint
    // angle line k − 1 of the trajectory file. Every record's sample number
    // is checked, not only the last one's: it indexes both files.
    double highestSample = log->back()[0];
    for (const auto& record : *log) {
        if (!(record[0] == std::floor(record[0]) && record[0] >= 0.0)) {
            error = Format("%s: sample number %g is not a whole number from 0 up",
                           logPath.string().c_str(), record[0]);
            return std::nullopt;
        }
        highestSample = std::max(highestSample, record[0]);
    }
    if (double(desiredCounts->size()) <= highestSample ||
        double(trajectory->size()) < highestSample) {
        error = Format("%s (%zu lines) and %s (%zu lines) do not cover the %.0f samples of %s",
                       countsPath.string().c_str(), desiredCounts->size(),
                       trajectoryPath.string().c_str(), trajectory->size(), highestSample,
                       logPath.string().c_str());
        return std::nullopt;
    }

    // Table 0: every logged sample (what was asked for); table 1: the
    // samples run (what happened); table 2: per muscle, the desired pressure
    // and the valve command of the samples run where they lay beyond what
    // the arm can do, NaN elsewhere.
    Table asked{std::vector<std::vector<double>>(9)};
    Table done{std::vector<std::vector<double>>(15)};
    Table beyond{std::vector<std::vector<double>>(1 + 2 * arm::kMuscleCount)};
    int pressureBeyond[arm::kMuscleCount] = {}, valveBeyond[arm::kMuscleCount] = {};
    int samplesBeyond = 0;
    for (int r = 0; r < int(log->size()); ++r) {
        const auto& record = (*log)[r];
        const int sample = int(record[0]);
        const double t = SampleSeconds(sample);
        asked.columns[0].push_back(t);
        for (int m = 0; m < arm::kMuscleCount; ++m) {
            asked.columns[1 + m].push_back(record[kDesiredField + m]);
        }
        for (int axis = 0; axis < 3; ++axis) {
            asked.columns[5 + axis].push_back((*desiredCounts)[sample][axis]);
        }
        asked.columns[8].push_back(sample >= 1 ? (*trajectory)[sample - 1][0] : NAN);
        if (r > lastRun) {
            continue;
        }
        done.columns[0].push_back(t);
        beyond.columns[0].push_back(t);
        bool sampleBeyond = false;
        for (int m = 0; m < arm::kMuscleCount; ++m) {
            done.columns[1 + m].push_back(record[kMeasuredField + m]);
            done.columns[5 + m].push_back(record[kValveField + m]);
            const double desired = record[kDesiredField + m], valve = record[kValveField + m];
            const bool pressureOut = !arm::PressureReachable(desired);
            const bool valveOut = !arm::ValveCommandReachable(valve);
            pressureBeyond[m] += pressureOut;
            valveBeyond[m] += valveOut;
            beyond.columns[1 + 2 * m].push_back(pressureOut ? desired : NAN);
            beyond.columns[2 + 2 * m].push_back(valveOut ? valve : NAN);
            sampleBeyond = sampleBeyond || pressureOut || valveOut;
        }
        samplesBeyond += sampleBeyond;
        for (int c = 0; c < arm::kEncoderChannelCount; ++c) {
            done.columns[9 + c].push_back(record[kCountField + c]);
        }
        done.columns[14].push_back((record[kCountField + 3] - record[kCountField + 4]) /
                                   arm::kMuscleJointCountsPerDegree);
    }
    const std::size_t run = lastRun + 1;

    Figure figure;
    const double seconds = SampleSeconds((*log)[lastRun][0]);
    const bool stopped = lastRun + 1 < int(log->size());
    std::optional<double> stopAt;
    std::string stopLabel;
    const bool labelLeft = lastRun > int(log->size()) * 2 / 3;
    if (stopped) {
        stopAt = seconds;
        stopLabel = Format("stopped after sample %d", int((*log)[lastRun][0]));
    }

    // Desired curves dashed and drawn last, so that they lie over the
    // measured ones; each kind of curve keeps its colour in every panel.
    const unsigned desiredColour = kCurveColours[0], measuredColour = kCurveColours[1],
                   valveColour = kCurveColours[2];
    double pressureSquares = 0.0;
    for (int m = 0; m < arm::kMuscleCount; ++m) {
        const double rms = RmsDifference(asked.columns[1 + m], done.columns[1 + m], run);
        pressureSquares += rms * rms;
        Panel panel{Format("Muscle %d: pressure RMS %.4f bar", m + 1, rms), "time (s)",
                    "pressure (bar)", "valve command (V)"};
        panel.series = {
            {1, 0, 5 + m, "valve command (right axis)", Series::Style::kRightAxis, valveColour},
            {1, 0, 1 + m, Format("measured pressure (RMS %.4f bar)", rms), Series::Style::kSolid,
             measuredColour},
            {0, 0, 1 + m, "desired pressure", Series::Style::kDashed, desiredColour}};
        if (pressureBeyond[m] > 0) {
            panel.series.push_back({2, 0, 1 + 2 * m,
                                    Format("desired beyond 0 to %g bar (%d samples)",
                                           arm::kSupplyBar, pressureBeyond[m]),
                                    Series::Style::kMarks, kSaturationColour});
        }
        if (valveBeyond[m] > 0) {
            panel.series.push_back({2, 0, 2 + 2 * m,
                                    Format("valve command beyond 0 to %g V (%d samples)",
                                           arm::kValveCommandCeilingVolts, valveBeyond[m]),
                                    Series::Style::kRightAxisMarks, kSaturationColour});
        }
        panel.stopAt = stopAt;
        panel.stopLabel = stopLabel;
        panel.stopLabelLeftOfMarker = labelLeft;
        figure.panels.push_back(panel);
    }
    const char* axisNames[] = {"Carriage (axis 0)", "Shoulder (axis 1)", "Elbow (axis 2)"};
    for (const int axis : {1, 2, 0}) {
        const double rms = RmsDifference(asked.columns[5 + axis], done.columns[9 + axis], run);
        Panel panel{Format("%s: RMS %.1f counts", axisNames[axis], rms), "time (s)",
                    "encoder count (counts)"};
        panel.series = {{1, 0, 9 + axis, Format("measured count (RMS %.1f counts)", rms),
                         Series::Style::kSolid, measuredColour},
                        {0, 0, 5 + axis, "desired count", Series::Style::kDashed, desiredColour}};
        panel.stopAt = stopAt;
        panel.stopLabel = stopLabel;
        panel.stopLabelLeftOfMarker = labelLeft;
        figure.panels.push_back(panel);
    }
    // The trajectory's angle for the samples run, aligned with the measured one.
    const double jointRms = RmsDifference(asked.columns[8], done.columns[14], run);
    Panel joint{Format("Tool joint (muscle-driven, encoders 3 and 4): RMS %.2f°", jointRms),
                "time (s)", "joint angle (°)"};
    joint.series = {{1, 0, 14, Format("measured joint angle (RMS %.2f°)", jointRms),
                     Series::Style::kSolid, measuredColour},
                    {0, 0, 8, "desired joint angle", Series::Style::kDashed, desiredColour}};
    joint.stopAt = stopAt;
    joint.stopLabel = stopLabel;
    joint.stopLabelLeftOfMarker = labelLeft;
    figure.panels.push_back(joint);

    figure.title = Format(
        "Control run in %s: %s, %s, %s\n%d of %zu samples run (%.2f s), %s; pressure RMS %.4f bar "
        "over the four muscles, joint angle RMS %.2f°; %d samples saturated",
        Shown(neuralFiles).c_str(), runfiles::kRunLog.Name(), runfiles::kEncoderTrajectory.Name(),
        runfiles::kDynamicTerms.Name(), lastRun + 1, log->size(), seconds,
        stopped ? Format("stopped early after sample %d", int((*log)[lastRun][0])).c_str()
                : "completed",
        std::sqrt(pressureSquares / arm::kMuscleCount), jointRms, samplesBeyond);
    figure.tables = {std::move(asked), std::move(done), std::move(beyond)};
    return figure;
}

}  // namespace reports
