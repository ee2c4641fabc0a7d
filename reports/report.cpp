#include "reports/report.h"

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>

#include "experiments/recording.h"
#include "reports/builders.h"
#include "runfiles/catalogue.h"

extern char** environ;

namespace reports {
namespace {

namespace fs = std::filesystem;

constexpr const char* kKindNames[] = {"run", "evaluation", "search", "training", "experiment"};

bool Exists(const fs::path& path) {
    std::error_code code;
    return fs::exists(path, code);
}

// The NeuralFiles directory of a lab directory, or the directory itself
// when it is one.
fs::path NeuralFilesOf(const fs::path& dir) {
    return Exists(dir / runfiles::kLabDirectory) ? dir / runfiles::kLabDirectory : dir;
}

// Runs gnuplot on `script`; returns what went wrong, or an empty text.
std::string RunGnuplot(const fs::path& script) {
    const std::string scriptText = script.string();
    char gnuplot[] = "gnuplot";
    char* argv[] = {gnuplot, const_cast<char*>(scriptText.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "gnuplot", nullptr, nullptr, argv, environ) != 0) {
        return "gnuplot could not be started (scripts/setup.sh installs gnuplot-nox)";
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return "gnuplot did not finish on " + scriptText;
    }
    if (WEXITSTATUS(status) == 127) {
        return "gnuplot is not installed (scripts/setup.sh installs gnuplot-nox)";
    }
    if (WEXITSTATUS(status) != 0) {
        return scriptText + ": gnuplot failed on it (status " +
               std::to_string(WEXITSTATUS(status)) + ")";
    }
    return {};
}

std::optional<Figure> BuildFigure(Kind kind, const fs::path& input, std::string& error) {
    switch (kind) {
        case Kind::kRun:
            return RunFigure(NeuralFilesOf(input), error);
        case Kind::kEvaluation:
            return EvaluationFigure(input, error);
        case Kind::kSearch:
            return SearchFigure(input, error);
        case Kind::kTraining:
            return TrainingFigure(NeuralFilesOf(input), error);
        case Kind::kExperiment:
            return ExperimentFigure(
                fs::is_directory(input) ? input / experiments::kRecordingFile : input, error);
    }
    return std::nullopt;
}

}  // namespace

std::string_view KindName(Kind kind) {
    return kKindNames[int(kind)];
}

std::optional<Kind> KindFromName(std::string_view name) {
    for (int i = 0; i < int(std::size(kKindNames)); ++i) {
        if (name == kKindNames[i]) {
            return Kind(i);
        }
    }
    return std::nullopt;
}

std::optional<Kind> RecogniseKind(const fs::path& path) {
    std::error_code code;
    if (fs::is_regular_file(path, code)) {
        return IsExperimentRecording(path) ? Kind::kExperiment : Kind::kSearch;
    }
    if (!fs::is_directory(path, code)) {
        return std::nullopt;
    }
    if (Exists(path / runfiles::kFuzzyPressureLog.Name()) ||
        Exists(path / runfiles::kCandidate.Name())) {
        return Kind::kEvaluation;
    }
    const fs::path neuralFiles = NeuralFilesOf(path);
    if (Exists(neuralFiles / runfiles::kRunLog.Name())) {
        return Kind::kRun;
    }
    if (HoldsTrainingRecordings(neuralFiles)) {
        return Kind::kTraining;
    }
    if (Exists(path / experiments::kRecordingFile)) {
        return Kind::kExperiment;
    }
    return std::nullopt;
}

bool WriteReport(const Request& request, std::ostream& errors) {
    const std::string extension = request.output.extension().string();
    if (extension != ".png" && extension != ".pdf" && extension != ".svg") {
        errors << request.output.string()
               << ": the picture's name must end in .png, .pdf or .svg\n";
        return false;
    }
    if (!Exists(request.input)) {
        errors << request.input.string() << ": missing\n";
        return false;
    }
    const std::optional<Kind> kind = request.kind ? request.kind : RecogniseKind(request.input);
    if (!kind) {
        errors << request.input.string()
               << ": neither a run's NeuralFiles, an arbiter directory, a progress CSV, "
                  "training recordings nor an experiment recording (name the kind with "
                  "--kind)\n";
        return false;
    }
    std::string error;
    const std::optional<Figure> figure = BuildFigure(*kind, request.input, error);
    if (!figure) {
        errors << error << "\n";
        return false;
    }
    fs::path script = request.output;
    script.replace_extension(".gp");
    {
        std::ofstream out(script);
        const int height = request.height.value_or(
            std::max(kMinimumHeight, kDefaultRowHeight * PanelRows(*figure)));
        out << GnuplotScript(*figure, request.output, request.width, height);
        out.close();
        if (!out) {
            errors << script.string() << ": cannot be written\n";
            return false;
        }
    }
    // A picture left by an earlier report must not pass for this one's.
    std::error_code code;
    fs::remove(request.output, code);
    error = RunGnuplot(script);
    if (error.empty() && !Exists(request.output)) {
        error = request.output.string() + ": gnuplot wrote no picture";
    }
    if (!error.empty()) {
        fs::remove(request.output, code);
        errors << error << "\n";
        return false;
    }
    return true;
}

}  // namespace reports
