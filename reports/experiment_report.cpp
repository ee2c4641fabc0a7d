// An open-loop experiment: the commands and the arm's responses over time,
// and the muscle-driven joint's angle against the differential pressure of
// its two muscle pairs, where the up and down legs of a sweep part when the
// plant has hysteresis or lags.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "experiments/recording.h"
#include "platform/stdio_file.h"
#include "reports/builders.h"

namespace reports {

namespace {

// Columns of the recording and the one added: the differential pressure.
enum Column {
    kTime,
    kValve1,
    kMotor1 = kValve1 + 4,
    kPressure1 = kMotor1 + 3,
    kEncoder1 = kPressure1 + 4,
    kJoint = kEncoder1 + 5,
    kDifferential,
    kColumns
};

}  // namespace

bool IsExperimentRecording(const std::filesystem::path& file) {
    // Only as much of the first line as the header needs is read.
    std::ifstream in(file);
    std::string header(std::strlen(experiments::kRecordingHeader) + 2, '\0');
    in.getline(header.data(), std::streamsize(header.size()));
    return in && std::strcmp(header.c_str(), experiments::kRecordingHeader) == 0;
}

std::optional<Figure> ExperimentFigure(const std::filesystem::path& recording, std::string& error) {
    const std::optional<std::string> text = platform::ReadWholeFile(recording, error);
    if (!text) {
        return std::nullopt;
    }
    std::istringstream in(*text);
    std::string line;
    if (!std::getline(in, line) || line != experiments::kRecordingHeader) {
        error = recording.string() + ": line 1 is not the experiment recording's header";
        return std::nullopt;
    }
    Table table{std::vector<std::vector<double>>(kColumns)};
    for (int lineNumber = 2; std::getline(in, line); ++lineNumber) {
        std::istringstream numbers(line);
        double value = 0.0;
        int count = 0;
        for (; count < experiments::kRecordingColumns && numbers >> value; ++count) {
            table.columns[count].push_back(count == kTime ? value / 1000.0 : value);
        }
        if (count != experiments::kRecordingColumns || numbers >> value) {
            error = Format("%s: line %d does not hold %d numbers", recording.string().c_str(),
                           lineNumber, experiments::kRecordingColumns);
            return std::nullopt;
        }
        const auto& c = table.columns;
        table.columns[kDifferential].push_back(c[kPressure1].back() + c[kPressure1 + 3].back() -
                                               c[kPressure1 + 1].back() - c[kPressure1 + 2].back());
    }
    if (table.rows() == 0) {
        error = recording.string() + ": no samples";
        return std::nullopt;
    }

    Figure figure;
    Panel valves{"Valve commands as the card kept them", "time (s)", "command (V)"};
    Panel pressures{"Muscle pressures", "time (s)", "pressure (bar)"};
    for (int m = 0; m < 4; ++m) {
        valves.series.emplace_back(0, kTime, kValve1 + m, Format("valve %d", m + 1));
        pressures.series.emplace_back(0, kTime, kPressure1 + m, Format("muscle %d", m + 1));
    }
    Panel motors{"Motor commands as the card kept them", "time (s)", "command (V)"};
    Panel counts{"Motor axes", "time (s)", "encoder (counts)"};
    const char* axes[3] = {"carriage", "shoulder", "elbow"};
    for (int a = 0; a < 3; ++a) {
        motors.series.emplace_back(0, kTime, kMotor1 + a, Format("motor %d (%s)", a + 1, axes[a]));
        counts.series.emplace_back(0, kTime, kEncoder1 + a,
                                   Format("encoder %d (%s)", a + 1, axes[a]));
    }
    Panel joint{"Muscle-driven joint, (encoder 4 - encoder 5) / 8", "time (s)", "angle (deg)"};
    joint.series.emplace_back(0, kTime, kJoint, "joint angle");
    Panel loop{"Joint angle against differential pressure", "(p1 + p4) - (p2 + p3) (bar)",
               "angle (deg)"};
    loop.series.emplace_back(0, kDifferential, kJoint, "joint angle");
    loop.xFromZero = false;
    figure.panels = {valves, pressures, motors, counts, joint, loop};

    const auto& angle = table.columns[kJoint];
    const auto [low, high] = std::minmax_element(angle.begin(), angle.end());
    const double seconds = table.columns[kTime].back();
    figure.title = Format("Experiment %s\n%zu samples over %.3f s; joint from %.2f° to %.2f°",
                          Shown(recording).c_str(), table.rows(), seconds, *low, *high);
    figure.tables = {std::move(table)};
    return figure;
}

}  // namespace reports
