// One builder per kind of report: reads the kind's files and turns them into
// a Figure, or names the file that is missing or malformed in `error`.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "figures/figures.h"
#include "reports/figure.h"
#include "reports/report.h"
#include "runfiles/strict_reader.h"

namespace reports {

// A control run's files, read and checked against each other, with its
// figures.
struct LoadedRun {
    runfiles::Rows log, desiredCounts, trajectory;
    figures::RunFigures figures;
};
std::optional<LoadedRun> LoadRun(const RunFiles& files, std::string& error);
std::optional<Figure> RunFigure(const RunFiles& files, std::string& error);
// Several runs' curves over each other, each in its own colour.
std::optional<Figure> OverlayFigure(const std::vector<RunFiles>& runs, std::string& error);
std::optional<Figure> EvaluationFigure(const std::filesystem::path& arbiterDir, std::string& error);
std::optional<Figure> SearchFigure(const std::filesystem::path& progressCsv, std::string& error);
// True when `neuralFiles` holds the files of at least one training procedure.
bool HoldsTrainingRecordings(const std::filesystem::path& neuralFiles);
std::optional<Figure> TrainingFigure(const std::filesystem::path& neuralFiles, std::string& error);
// True when `file` starts with the experiment recording's header.
bool IsExperimentRecording(const std::filesystem::path& file);
std::optional<Figure> ExperimentFigure(const std::filesystem::path& recording, std::string& error);

}  // namespace reports
