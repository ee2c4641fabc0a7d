// A search: the best fitness so far against the evaluations made, from
// tune-fuzzy's progress CSV.
#include <cstdlib>
#include <sstream>

#include "platform/stdio_file.h"
#include "reports/builders.h"

namespace reports {

std::optional<Figure> SearchFigure(const std::filesystem::path& progressCsv, std::string& error) {
    if (std::filesystem::is_directory(progressCsv)) {
        error = progressCsv.string() +
                ": a directory, where a search report reads tune-fuzzy's progress CSV (such as " +
                (progressCsv / "tune-progress.csv").string() + ")";
        return std::nullopt;
    }
    const std::optional<std::string> text = platform::ReadWholeFile(progressCsv, error);
    if (!text) {
        return std::nullopt;
    }
    std::istringstream in(*text);
    std::string line;
    if (!std::getline(in, line) || line != "evaluation,best") {
        error = progressCsv.string() + ": line 1 is not the header 'evaluation,best'";
        return std::nullopt;
    }
    Table progress{std::vector<std::vector<double>>(2)};
    for (int lineNumber = 2; std::getline(in, line); ++lineNumber) {
        if (line.empty()) {
            continue;
        }
        char* end = nullptr;
        const double evaluation = std::strtod(line.c_str(), &end);
        const bool comma = end != line.c_str() && *end == ',';
        const char* rest = comma ? end + 1 : end;
        const double best = std::strtod(rest, &end);
        if (!comma || end == rest || *end != '\0') {
            error = Format("%s: line %d: %s is not 'evaluation,best'", progressCsv.string().c_str(),
                           lineNumber, platform::Quoted(line).c_str());
            return std::nullopt;
        }
        progress.columns[0].push_back(evaluation);
        progress.columns[1].push_back(best);
    }
    if (progress.rows() == 0) {
        error = progressCsv.string() + ": no rows after the header";
        return std::nullopt;
    }
    const double first = progress.columns[1].front(), last = progress.columns[1].back();
    const double evaluations = progress.columns[0].back();

    Figure figure;
    figure.columns = 1;
    // Most of the progress comes early: evaluations on a logarithmic axis.
    const bool logarithmic = progress.columns[0].front() > 0;
    Panel panel{"Best fitness so far",
                logarithmic ? "evaluations (count, logarithmic)" : "evaluations (count)",
                "best fitness (RMS pressure error, bar)"};
    panel.series = {
        {0, 0, 1, Format("best (from %.6f to %.6f)", first, last), Series::Style::kSteps}};
    panel.logX = logarithmic;
    figure.panels.push_back(panel);
    figure.title =
        Format("Search progress %s\nbest fitness %.6f -> %.6f (%.2f %% lower) in %.0f evaluations",
               Shown(progressCsv).c_str(), first, last,
               first != 0.0 ? 100.0 * (first - last) / first : 0.0, evaluations);
    figure.tables = {std::move(progress)};
    return figure;
}

}  // namespace reports
