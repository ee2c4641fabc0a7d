// The training recordings: the excitation and the response of each motor
// and muscle procedure whose files are present.
#include <algorithm>
#include <cmath>

#include "arm/arm.h"
#include "reports/builders.h"
#include "reports/data_files.h"
#include "runfiles/catalogue.h"

namespace reports {
namespace {

const char* const kAxisNames[] = {"carriage (axis 0)", "shoulder (axis 1)", "elbow (axis 2)"};

// A table whose column 0 is the time of each row (row q is sample q),
// followed by `columns`.
Table Timed(std::size_t rows, std::vector<std::vector<double>> columns) {
    std::vector<double> time;
    for (std::size_t q = 0; q < rows; ++q) {
        time.push_back(SampleSeconds(double(q)));
    }
    columns.insert(columns.begin(), std::move(time));
    return {std::move(columns)};
}

// Samples a procedure did not get to (a stop ended its loop) leave rows of
// zeros: the rows up to the last one with a non-zero value in the first
// `columns` columns were recorded.
std::size_t RecordedRows(const Rows& rows, int columns) {
    for (std::size_t r = rows.size(); r > 0; --r) {
        for (int c = 0; c < columns; ++c) {
            if (rows[r - 1][c] != 0.0) {
                return r;
            }
        }
    }
    return 0;
}

// Column `index` of `rows`, undefined (not drawn) from row `valid` on.
std::vector<double> ValidColumn(const Rows& rows, int index, std::size_t valid,
                                std::size_t length) {
    std::vector<double> column = Column(rows, index);
    column.resize(length, NAN);
    for (std::size_t r = valid; r < column.size(); ++r) {
        column[r] = NAN;
    }
    return column;
}

// The stop marker of a recording whose loop ended before its last sample.
void MarkStop(Panel& panel, std::size_t recorded, std::size_t total) {
    if (recorded >= total || recorded == 0) {
        return;
    }
    panel.stopAt = SampleSeconds(double(recorded - 1));
    panel.stopLabel = Format("stopped after sample %zu", recorded - 1);
    panel.stopLabelLeftOfMarker = recorded > total * 2 / 3;
}

bool Present(const std::filesystem::path& file) {
    std::error_code code;
    return std::filesystem::exists(file, code);
}

// A recording in `dir`, every line holding the file's columns.
std::optional<Rows> ReadRecording(const std::filesystem::path& dir, const runfiles::LabFile& file,
                                  std::string& error) {
    return ReadRows(dir / file.Name(), file.columns, file.columns, error);
}

bool AddMotorTraining(const std::filesystem::path& dir, Figure& figure, std::string& error) {
    const auto voltages = ReadRecording(dir, runfiles::kMotorVoltages, error);
    if (!voltages) {
        return false;
    }
    const auto velocities = ReadRecording(dir, runfiles::kMotorVelocities, error);
    if (!velocities) {
        return false;
    }
    // The velocity of the last recorded sample is taken to the zero count
    // after it: not a velocity.
    const std::size_t recorded = RecordedRows(*voltages, 3);
    const std::size_t rows = voltages->size();
    const int table = int(figure.tables.size());
    std::vector<std::vector<double>> columns;
    for (int axis = 0; axis < 3; ++axis) {
        columns.push_back(ValidColumn(*voltages, axis, recorded, rows));
        columns.push_back(ValidColumn(*velocities, axis, recorded > 0 ? recorded - 1 : 0, rows));
    }
    figure.tables.push_back(Timed(voltages->size(), std::move(columns)));
    for (int axis = 0; axis < 3; ++axis) {
        Panel panel{Format("Motor training, %s", kAxisNames[axis]), "time (s)", "motor command (V)",
                    "velocity (counts/ms)"};
        panel.series = {
            {table, 0, 1 + 2 * axis, "command"},
            {table, 0, 2 + 2 * axis, "velocity (right axis)", Series::Style::kRightAxis}};
        MarkStop(panel, recorded, rows);
        figure.panels.push_back(panel);
    }
    return true;
}

bool AddVelocityTest(const std::filesystem::path& dir, Figure& figure, std::string& error) {
    const auto actual = ReadRecording(dir, runfiles::kTrackedVelocities, error);
    if (!actual) {
        return false;
    }
    const auto desired = ReadRecording(dir, runfiles::kVelocityTrajectory, error);
    if (!desired) {
        return false;
    }
    const auto counts = ReadRecording(dir, runfiles::kTrackedEncoders, error);
    if (!counts) {
        return false;
    }
    // Velocity q is formed from the counts of samples q and q + 1; after a
    // stop the last recorded count is followed by a zero.
    const std::size_t rows = actual->size();
    const std::size_t recorded = RecordedRows(*counts, 3);
    const std::size_t valid = recorded == rows ? rows : recorded > 0 ? recorded - 1 : 0;
    const int table = int(figure.tables.size());
    std::vector<std::vector<double>> columns;
    for (int axis = 0; axis < 3; ++axis) {
        columns.push_back(ValidColumn(*desired, axis, rows, rows));
        columns.push_back(ValidColumn(*actual, axis, valid, rows));
    }
    Panel panel{"Velocity test: actual against desired velocities", "time (s)",
                "velocity (counts/ms)"};
    for (int axis = 0; axis < 3; ++axis) {
        const double rms = RmsDifference(columns[2 * axis], columns[2 * axis + 1], valid);
        panel.series.push_back({table, 0, 1 + 2 * axis, Format("%s desired", kAxisNames[axis]),
                                Series::Style::kDashed});
        panel.series.push_back(
            {table, 0, 2 + 2 * axis, Format("actual (RMS %.3f counts/ms)", rms)});
    }
    MarkStop(panel, recorded, rows);
    figure.tables.push_back(Timed(rows, std::move(columns)));
    figure.panels.push_back(panel);
    return true;
}

bool AddPressureTraining(const std::filesystem::path& dir, Figure& figure, std::string& error) {
    for (int m = 1; m <= arm::kMuscleCount; ++m) {
        const auto& recording = runfiles::kValveRecording;
        const auto rows =
            ReadRows(dir / recording.Name(m), recording.columns, recording.columns, error);
        if (!rows) {
            return false;
        }
        // Line q: the voltage of sample q and the pressure one sample later.
        // A stopped loop: the pressure of a line is one sample later than its
        // voltage, so the last recorded line has none.
        const std::size_t recorded = RecordedRows(*rows, 1);
        const std::size_t pressures =
            recorded < rows->size() && recorded > 0 ? recorded - 1 : recorded;
        Table table = Timed(rows->size(), {{},
                                           ValidColumn(*rows, 0, recorded, rows->size()),
                                           ValidColumn(*rows, 1, pressures, rows->size())});
        for (std::size_t q = 0; q < rows->size(); ++q) {
            table.columns[1].push_back(SampleSeconds(double(q + 1)));
        }
        const int index = int(figure.tables.size());
        figure.tables.push_back(std::move(table));
        Panel panel{Format("Pressure training, muscle %d", m), "time (s)", "valve command (V)",
                    "pressure (bar)"};
        panel.series = {{index, 0, 2, "valve command"},
                        {index, 1, 3, "pressure (right axis)", Series::Style::kRightAxis}};
        MarkStop(panel, recorded, rows->size());
        figure.panels.push_back(panel);
    }
    return true;
}

bool AddCombinedTraining(const std::filesystem::path& dir, Figure& figure, std::string& error) {
    const auto desired = ReadRecording(dir, runfiles::kCombinedDesiredPressures, error);
    if (!desired) {
        return false;
    }
    const auto measured = ReadRecording(dir, runfiles::kCombinedPressures, error);
    if (!measured) {
        return false;
    }
    const auto counts = ReadRecording(dir, runfiles::kCombinedEncoders, error);
    if (!counts) {
        return false;
    }
    if (measured->size() != desired->size() || counts->size() != desired->size()) {
        error = Format("%s: %zu lines, %s %zu and %s %zu: not one recording",
                       (dir / runfiles::kCombinedDesiredPressures.Name()).string().c_str(),
                       desired->size(), runfiles::kCombinedPressures.Name(), measured->size(),
                       runfiles::kCombinedEncoders.Name(), counts->size());
        return false;
    }
    const std::size_t rows = desired->size();
    const std::size_t recorded = std::max(RecordedRows(*measured, 4), RecordedRows(*counts, 5));
    std::vector<std::vector<double>> columns;
    for (int m = 0; m < arm::kMuscleCount; ++m) {
        columns.push_back(Column(*desired, m));
        columns.push_back(ValidColumn(*measured, m, recorded, rows));
    }
    std::vector<double> angle(rows, NAN);
    for (std::size_t r = 0; r < recorded; ++r) {
        angle[r] = ((*counts)[r][3] - (*counts)[r][4]) / arm::kMuscleJointCountsPerDegree;
    }
    columns.push_back(std::move(angle));
    const int table = int(figure.tables.size());
    for (int pair = 0; pair < 2; ++pair) {
        Panel panel{Format("Combined training, muscles %d and %d", 2 * pair + 1, 2 * pair + 2),
                    "time (s)", "pressure (bar)"};
        for (int m = 2 * pair; m < 2 * pair + 2; ++m) {
            const double rms = RmsDifference(columns[2 * m], columns[2 * m + 1], recorded);
            panel.series.push_back(
                {table, 0, 1 + 2 * m, Format("muscle %d desired", m + 1), Series::Style::kDashed});
            panel.series.push_back({table, 0, 2 + 2 * m, Format("measured (RMS %.4f bar)", rms)});
        }
        MarkStop(panel, recorded, rows);
        figure.panels.push_back(panel);
    }
    Panel joint{"Combined training, muscle-driven joint", "time (s)", "joint angle (°)"};
    joint.series = {{table, 0, 9, "(encoder 3 - encoder 4) / 8"}};
    MarkStop(joint, recorded, rows);
    figure.panels.push_back(joint);
    figure.tables.push_back(Timed(desired->size(), std::move(columns)));
    return true;
}

struct Procedure {
    const char* name;
    std::string firstFile;  // present when the procedure has recorded
    std::string files;      // the files drawn, for the title
    bool (*add)(const std::filesystem::path&, Figure&, std::string&);
};

const std::string kValveRecordings =
    runfiles::kValveRecording.Name(1) + " to " + runfiles::kValveRecording.Name(arm::kMuscleCount);

const Procedure kProcedures[] = {
    {"motor-training", runfiles::kMotorVoltages.Name(),
     Format("%s, %s", runfiles::kMotorVoltages.Name(), runfiles::kMotorVelocities.Name()),
     AddMotorTraining},
    {"velocity-test", runfiles::kTrackedVelocities.Name(),
     Format("%s, %s, %s", runfiles::kTrackedVelocities.Name(), runfiles::kTrackedEncoders.Name(),
            runfiles::kVelocityTrajectory.Name()),
     AddVelocityTest},
    {"pressure-training", runfiles::kValveRecording.Name(1), kValveRecordings, AddPressureTraining},
    {"combined-training", runfiles::kCombinedDesiredPressures.Name(),
     Format("%s, %s, %s", runfiles::kCombinedDesiredPressures.Name(),
            runfiles::kCombinedPressures.Name(), runfiles::kCombinedEncoders.Name()),
     AddCombinedTraining},
};

}  // namespace

bool HoldsTrainingRecordings(const std::filesystem::path& neuralFiles) {
    for (const Procedure& procedure : kProcedures) {
        if (Present(neuralFiles / procedure.firstFile)) {
            return true;
        }
    }
    return false;
}

std::optional<Figure> TrainingFigure(const std::filesystem::path& neuralFiles, std::string& error) {
    Figure figure;
    std::string recorded;
    for (const Procedure& procedure : kProcedures) {
        if (!Present(neuralFiles / procedure.firstFile)) {
            continue;
        }
        if (!procedure.add(neuralFiles, figure, error)) {
            return std::nullopt;
        }
        recorded += Format("\n%s: %s", procedure.name, procedure.files.c_str());
    }
    if (figure.panels.empty()) {
        error =
            Format("%s: no training recordings (%s, %s, %s or %s)", neuralFiles.string().c_str(),
                   kProcedures[0].firstFile.c_str(), kProcedures[1].firstFile.c_str(),
                   kProcedures[2].firstFile.c_str(), kProcedures[3].firstFile.c_str());
        return std::nullopt;
    }
    figure.title =
        Format("Training recordings in %s%s", Shown(neuralFiles).c_str(), recorded.c_str());
    return figure;
}

}  // namespace reports
