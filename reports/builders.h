// One builder per kind of report: reads the kind's files and turns them into
// a Figure, or names the file that is missing or malformed in `error`.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "reports/figure.h"

namespace reports {

// `neuralFiles` is the NeuralFiles directory of a lab directory.
std::optional<Figure> RunFigure(const std::filesystem::path& neuralFiles, std::string& error);
std::optional<Figure> EvaluationFigure(const std::filesystem::path& arbiterDir, std::string& error);
std::optional<Figure> SearchFigure(const std::filesystem::path& progressCsv, std::string& error);
// True when `neuralFiles` holds the files of at least one training procedure.
bool HoldsTrainingRecordings(const std::filesystem::path& neuralFiles);
std::optional<Figure> TrainingFigure(const std::filesystem::path& neuralFiles, std::string& error);
// True when `file` starts with the experiment recording's header.
bool IsExperimentRecording(const std::filesystem::path& file);
std::optional<Figure> ExperimentFigure(const std::filesystem::path& recording, std::string& error);

}  // namespace reports
