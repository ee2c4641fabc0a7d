#include "reports/report.h"

#include <signal.h>
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

// SIGINT and SIGTERM held back while gnuplot draws, so that an interrupted
// report can end gnuplot and remove what it began; SIGCHLD is held too, to
// be waited for with them.
class HeldSignals {
  public:
    HeldSignals() {
        sigemptyset(&held_);
        sigaddset(&held_, SIGINT);
        sigaddset(&held_, SIGTERM);
        sigaddset(&held_, SIGCHLD);
        pthread_sigmask(SIG_BLOCK, &held_, &previous_);
    }
    ~HeldSignals() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;

    const sigset_t& Held() const { return held_; }
    const sigset_t& Previous() const { return previous_; }

  private:
    sigset_t held_, previous_;
};

// Runs gnuplot on `script`, drawing into `picture`; returns what went wrong,
// or an empty text. Interrupted, it ends gnuplot before it returns.
std::string RunGnuplot(const fs::path& script, const fs::path& picture, const HeldSignals& signals,
                       int& interruptedBy) {
    const std::string scriptText = script.string();
    std::string assignment =
        std::string(kPictureVariable) + " = " + Quoted(fs::absolute(picture).string());
    char gnuplot[] = "gnuplot", e[] = "-e";
    char* argv[] = {gnuplot, e, assignment.data(), const_cast<char*>(scriptText.c_str()), nullptr};
    // gnuplot starts with the signal mask and handling this program had.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigmask(&attributes, &signals.Previous());
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "gnuplot", nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        return "gnuplot could not be started (scripts/setup.sh installs gnuplot-nox)";
    }
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(pid, &status, WNOHANG);
        if (ended == pid) {
            break;
        }
        if (ended < 0) {
            return "gnuplot did not finish on " + scriptText;
        }
        siginfo_t info;
        const int signal = sigwaitinfo(&signals.Held(), &info);
        if (signal == SIGINT || signal == SIGTERM) {
            kill(pid, SIGTERM);
            waitpid(pid, &status, 0);
            interruptedBy = signal;
            return std::string("interrupted by ") + (signal == SIGINT ? "SIGINT" : "SIGTERM") +
                   "; gnuplot ended";
        }
    }
    if (!WIFEXITED(status)) {
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

std::optional<Figure> BuildFigure(Kind kind, const Request& request, std::string& error) {
    const fs::path& input = request.input;
    switch (kind) {
        case Kind::kRun: {
            if (!request.runs.empty()) {
                return request.runs.size() == 1 ? RunFigure(request.runs[0], error)
                                                : OverlayFigure(request.runs, error);
            }
            // The lab directory whose run this is.
            const fs::path neuralFiles = NeuralFilesOf(input);
            const fs::path lab = neuralFiles == input ? input.parent_path() : input;
            const auto inputs =
                figures::FindRunInputs(lab.empty() ? "." : lab, request.trajectory, error);
            if (!inputs) {
                return std::nullopt;
            }
            return RunFigure(RunFilesOf(*inputs, Shown(neuralFiles)), error);
        }
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

RunFiles RunFilesOf(const figures::RunInputs& inputs, const std::string& where) {
    RunFiles files{inputs.log, inputs.desiredCounts, inputs.trajectory, {}, {}};
    const std::string controller = figures::ControllerOf(inputs.action);
    const char* kind = controller == "hybrid"   ? "Hybrid (neuro-fuzzy) run"
                       : controller == "neural" ? "Neural-only run"
                                                : "Control run";
    files.heading = Format("%s in %s", kind, where.c_str());
    files.label = controller.empty() ? where : controller + " " + where;
    if (!inputs.entry.empty()) {
        files.heading += ", notebook entry " + inputs.entry;
    }
    files.heading +=
        Format("\ntrajectory %s (sha256 %.12s)",
               inputs.entry.empty() ? Shown(inputs.trajectory).c_str() : "as archived with the run",
               inputs.trajectorySha256.c_str());
    if (!inputs.fuzzyVector.empty()) {
        files.heading += "; fuzzy vector K0..K9 " + inputs.fuzzyVector;
    }
    return files;
}

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

bool WriteReport(const Request& request, std::ostream& errors, int* interruptedBy) {
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
    const std::optional<Figure> figure = BuildFigure(*kind, request, error);
    if (!figure) {
        errors << error << "\n";
        return false;
    }
    // The script and the picture are written beside their names and renamed
    // once whole, so that neither is ever found half written; a picture left
    // by an earlier report must not pass for this one's.
    fs::path script = request.output;
    script.replace_extension(".gp");
    const fs::path partialScript = script.string() + ".partial";
    const fs::path partialPicture = request.output.string() + ".partial";
    std::error_code code;
    fs::remove(request.output, code);
    {
        std::ofstream out(partialScript);
        const int height = request.height.value_or(
            std::max(kMinimumHeight, kDefaultRowHeight * PanelRows(*figure)));
        out << GnuplotScript(*figure, request.output, request.width, height);
        out.close();
        if (!out || (fs::rename(partialScript, script, code), code)) {
            fs::remove(partialScript, code);
            errors << script.string() << ": cannot be written\n";
            return false;
        }
    }
    int signal = 0;
    {
        const HeldSignals signals;
        error = RunGnuplot(script, partialPicture, signals, signal);
    }
    if (interruptedBy != nullptr) {
        *interruptedBy = signal;
    }
    if (error.empty() && !(fs::file_size(partialPicture, code) > 0 && !code)) {
        error = request.output.string() + ": gnuplot wrote no picture";
    }
    if (error.empty() && (fs::rename(partialPicture, request.output, code), code)) {
        error = request.output.string() + ": cannot be written (" + code.message() + ")";
    }
    if (!error.empty()) {
        fs::remove(partialPicture, code);
        errors << error << "\n";
        return false;
    }
    return true;
}

}  // namespace reports
