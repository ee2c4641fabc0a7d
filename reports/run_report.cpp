// A control run: per muscle the desired and measured pressure and the valve
// command, the three motor axes against their desired counts, and the
// muscle-driven joint against the trajectory's angle.
#include <algorithm>
#include <cmath>

#include "arm/arm.h"
#include "figures/figures.h"
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

// "1 sample", "3 samples".
std::string SampleCount(int samples) {
    return Format("%d sample%s", samples, samples == 1 ? "" : "s");
}

}  // namespace

std::optional<LoadedRun> LoadRun(const RunFiles& files, std::string& error) {
    LoadedRun run;
    // Drawn as the files' text reads; counted as the runs read it, 32-bit
    // reals, by the run figures that every tool shares.
    auto log = ReadRows(files.log, kLogFields, kLogFields, error);
    if (!log) {
        return std::nullopt;
    }
    if (log->empty()) {
        error = files.log.string() + ": no samples (the run drove none)";
        return std::nullopt;
    }
    auto desiredCounts = ReadRows(files.desiredCounts, runfiles::kEncoderTrajectory.columns,
                                  runfiles::kEncoderTrajectory.columns, error);
    if (!desiredCounts) {
        return std::nullopt;
    }
    auto trajectory = ReadRows(files.trajectory, runfiles::kDynamicTerms.columns,
                               runfiles::kDynamicTerms.columns, error);
    if (!trajectory) {
        return std::nullopt;
    }
    const auto records = runfiles::ReadLogRecords(files.log, error);
    const auto terms =
        records ? runfiles::ReadTrajectoryRecords(files.trajectory, error) : std::nullopt;
    if (!terms) {
        return std::nullopt;
    }
    const auto figures = figures::FiguresOf(*records, *terms, error, {&*desiredCounts});
    if (!figures) {
        error = files.log.string() + " against " + files.trajectory.string() + " and " +
                files.desiredCounts.string() + ": " + error;
        return std::nullopt;
    }
    run.log = std::move(*log);
    run.desiredCounts = std::move(*desiredCounts);
    run.trajectory = std::move(*trajectory);
    run.figures = *figures;
    return run;
}

std::optional<Figure> RunFigure(const RunFiles& files, std::string& error) {
    const std::optional<LoadedRun> loaded = LoadRun(files, error);
    if (!loaded) {
        return std::nullopt;
    }
    const Rows* log = &loaded->log;
    const Rows* desiredCounts = &loaded->desiredCounts;
    const Rows* trajectory = &loaded->trajectory;
    const figures::RunFigures& run = loaded->figures;
    const int lastRun = run.samples - 1;

    // Table 0: every logged sample (what was asked for); table 1: the
    // samples run (what happened); table 2: per muscle, the desired pressure
    // and the valve command of the samples run where they lay beyond what
    // the arm can do, NaN elsewhere.
    Table asked{std::vector<std::vector<double>>(9)};
    Table done{std::vector<std::vector<double>>(15)};
    Table beyond{std::vector<std::vector<double>>(1 + 2 * arm::kMuscleCount)};
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
        asked.columns[8].push_back((*trajectory)[sample - 1][0]);
        if (r > lastRun) {
            continue;
        }
        done.columns[0].push_back(t);
        beyond.columns[0].push_back(t);
        for (int m = 0; m < arm::kMuscleCount; ++m) {
            done.columns[1 + m].push_back(record[kMeasuredField + m]);
            done.columns[5 + m].push_back(record[kValveField + m]);
            const double desired = record[kDesiredField + m], valve = record[kValveField + m];
            beyond.columns[1 + 2 * m].push_back(arm::PressureReachable(desired) ? NAN : desired);
            beyond.columns[2 + 2 * m].push_back(arm::ValveCommandReachable(valve) ? NAN : valve);
        }
        for (int c = 0; c < arm::kEncoderChannelCount; ++c) {
            done.columns[9 + c].push_back(record[kCountField + c]);
        }
        done.columns[14].push_back((record[kCountField + 3] - record[kCountField + 4]) /
                                   arm::kMuscleJointCountsPerDegree);
    }
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
    const figures::Saturation& saturation = run.saturation;
    for (int m = 0; m < arm::kMuscleCount; ++m) {
        const double rms = run.musclePressureRms[m];
        Panel panel{Format("Muscle %d: pressure RMS %.4f bar", m + 1, rms), "time (s)",
                    "pressure (bar)", "valve command (V)"};
        panel.series = {
            {1, 0, 5 + m, "valve command (right axis)", Series::Style::kRightAxis, valveColour},
            {1, 0, 1 + m, Format("measured pressure (RMS %.4f bar)", rms), Series::Style::kSolid,
             measuredColour},
            {0, 0, 1 + m, "desired pressure", Series::Style::kDashed, desiredColour}};
        if (saturation.pressureByMuscle[m] > 0) {
            panel.series.push_back({2, 0, 1 + 2 * m,
                                    Format("desired beyond 0 to %g bar (%s)", arm::kSupplyBar,
                                           SampleCount(saturation.pressureByMuscle[m]).c_str()),
                                    Series::Style::kMarks, kSaturationColour});
        }
        if (saturation.valveByMuscle[m] > 0) {
            panel.series.push_back(
                {2, 0, 2 + 2 * m,
                 Format("valve command beyond 0 to %g V (%s)", arm::kValveCommandCeilingVolts,
                        SampleCount(saturation.valveByMuscle[m]).c_str()),
                 Series::Style::kRightAxisMarks, kSaturationColour});
        }
        panel.stopAt = stopAt;
        panel.stopLabel = stopLabel;
        panel.stopLabelLeftOfMarker = labelLeft;
        figure.panels.push_back(panel);
    }
    const char* axisNames[] = {"Carriage (axis 0)", "Shoulder (axis 1)", "Elbow (axis 2)"};
    for (const int axis : {1, 2, 0}) {
        const double rms = run.axisRmsCounts[axis];
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
    const double jointRms = run.jointRmsDegrees;
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
        "%s\n%d of %zu samples run (%.2f s), %s; pressure RMS %.4f bar over the four muscles, "
        "joint angle RMS %.2f°; %s saturated",
        files.heading.c_str(), run.samples, log->size(), seconds,
        stopped ? Format("stopped early after sample %d", int((*log)[lastRun][0])).c_str()
                : "completed",
        run.pressureRms, jointRms, SampleCount(saturation.samples).c_str());
    figure.tables = {std::move(asked), std::move(done), std::move(beyond)};
    return figure;
}

}  // namespace reports

namespace reports {

std::optional<Figure> OverlayFigure(const std::vector<RunFiles>& runs, std::string& error) {
    Figure figure;
    figure.title = Format(
        "%zu control runs overlaid: measured solid, desired dashed, each run in "
        "its colour",
        runs.size());
    const char* axisNames[] = {"Carriage (axis 0)", "Shoulder (axis 1)", "Elbow (axis 2)"};
    const int axisOrder[] = {1, 2, 0};
    for (int m = 0; m < arm::kMuscleCount; ++m) {
        figure.panels.emplace_back(Format("Muscle %d: pressure", m + 1), "time (s)",
                                   "pressure (bar)");
    }
    for (const int axis : axisOrder) {
        figure.panels.emplace_back(Format("%s: encoder count", axisNames[axis]), "time (s)",
                                   "encoder count (counts)");
    }
    figure.panels.emplace_back("Tool joint (muscle-driven, encoders 3 and 4)", "time (s)",
                               "joint angle (°)");
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const std::optional<LoadedRun> run = LoadRun(runs[i], error);
        if (!run) {
            return std::nullopt;
        }
        const figures::RunFigures& f = run->figures;
        // Per sample run: time, desired and measured pressures, desired and
        // measured counts of axes 0 to 2, desired and measured joint angle.
        Table table{std::vector<std::vector<double>>(1 + 2 * arm::kMuscleCount + 6 + 2)};
        for (int r = 0; r < f.samples; ++r) {
            const std::vector<double>& record = run->log[r];
            const int sample = int(record[0]);
            table.columns[0].push_back(SampleSeconds(sample));
            for (int m = 0; m < arm::kMuscleCount; ++m) {
                table.columns[1 + m].push_back(record[kDesiredField + m]);
                table.columns[5 + m].push_back(record[kMeasuredField + m]);
            }
            for (int axis = 0; axis < 3; ++axis) {
                table.columns[9 + axis].push_back(run->desiredCounts[sample][axis]);
                table.columns[12 + axis].push_back(record[kCountField + axis]);
            }
            table.columns[15].push_back(run->trajectory[sample - 1][0]);
            table.columns[16].push_back((record[kCountField + 3] - record[kCountField + 4]) /
                                        arm::kMuscleJointCountsPerDegree);
        }
        const int t = int(figure.tables.size());
        figure.tables.push_back(std::move(table));
        const unsigned colour = kCurveColours[i % kCurveColours.size()];
        const std::string& label = runs[i].label;
        // Each run's desired curve in its colour, named once.
        const std::string desired = i == 0 ? "desired (dashed, each run's own)" : "";
        for (int m = 0; m < arm::kMuscleCount; ++m) {
            auto& series = figure.panels[m].series;
            series.push_back({t, 0, 5 + m,
                              Format("%s (RMS %.4f bar)", label.c_str(), f.musclePressureRms[m]),
                              Series::Style::kSolid, colour});
            series.push_back({t, 0, 1 + m, desired, Series::Style::kDashed, colour});
        }
        for (int p = 0; p < 3; ++p) {
            const int axis = axisOrder[p];
            auto& series = figure.panels[arm::kMuscleCount + p].series;
            series.push_back({t, 0, 12 + axis,
                              Format("%s (RMS %.1f counts)", label.c_str(), f.axisRmsCounts[axis]),
                              Series::Style::kSolid, colour});
            series.push_back({t, 0, 9 + axis, desired, Series::Style::kDashed, colour});
        }
        auto& joint = figure.panels.back().series;
        joint.push_back({t, 0, 16, Format("%s (RMS %.2f°)", label.c_str(), f.jointRmsDegrees),
                         Series::Style::kSolid, colour});
        joint.push_back({t, 0, 15, desired, Series::Style::kDashed, colour});
        figure.title += Format(
            "\n%s: %d of %zu samples run, pressure RMS %.4f bar, joint angle "
            "RMS %.2f°, %s saturated",
            label.c_str(), f.samples, run->log.size(), f.pressureRms, f.jointRmsDegrees,
            SampleCount(f.saturation.samples).c_str());
    }
    return figure;
}

}  // namespace reports
