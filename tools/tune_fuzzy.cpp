// tune-fuzzy: searches the fuzzy supervisor's parameter vector K0..K9 for
// the smallest arbiter fitness on logged runs and writes it to the candidate
// file (runfiles::kCandidate).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "labdir/lab_lock.h"
#include "notebook/notebook.h"
#include "platform/stdio_file.h"
#include "runfiles/catalogue.h"
#include "tools/command_line.h"
#include "tuning/tuning.h"

namespace {

constexpr long kDefaultBudget = 20000;
constexpr long kDefaultArbiterBudget = 200;
// Six decimals hold every candidate value below 16 exactly, so the
// candidate file hands arbiter the very floats that were scored.
constexpr float kBoundLimit = 10.0f;

// Each %s is a file name from the catalogue, filled in by main.
constexpr const char* kUsage =
    "Usage: tune-fuzzy [options] [LOG...]\n"
    "\n"
    "Searches the fuzzy supervisor's ten parameters K0..K9 for the smallest fitness\n"
    "that arbiter would report (RMS pressure error) on the run logs LOG (default\n"
    "%s; with several logs, their mean fitness). Works like\n"
    "arbiter, in a directory below the one holding NeuralFiles/: the PONNET weights\n"
    "come from ../NeuralFiles/WeightsPONNET/. Writes the best vector to %s\n"
    "and the progress (evaluation, best fitness so far) as CSV, and ends with\n"
    "  built-in F0 tuned F1 evaluations N rate R/s\n"
    "the fitnesses of the built-in and the tuned vector as arbiter writes them.\n"
    "\n"
    "  --method M          local (default): subplex from the start vector, then from\n"
    "                      seeded random starts; global: multi-level single-linkage\n"
    "                      over low-discrepancy points with subplex\n"
    "  --budget N          fitness evaluations at most (default 20000; 200 with\n"
    "                      --via-arbiter)\n"
    "  --seed N            seed of the random starts (default 1); equal seeds, equal results\n"
    "  --starts N          random starts of the local method (default 4)\n"
    "  --start FILE        start from the vector in FILE (%s layout) instead of\n"
    "                      the built-in one\n"
    "  --proposal-low X, --proposal-high X\n"
    "                      bounds of K0, K2, K4, K6, K8 (default 0 and 1)\n"
    "  --hedge-low X, --hedge-high X\n"
    "                      bounds of K1, K3, K5, K7, K9 (default 0 and 2)\n"
    "                      (all bounds from -10 to 10)\n"
    "  --progress FILE     the progress CSV (default tune-progress.csv)\n"
    "  --validate LOG      also report both vectors' fitness on LOG, not tuned on\n"
    "  --via-arbiter DIR   score every candidate by running arbiter in DIR (it writes\n"
    "                      %s there, runs arbiter and reads %s) on\n"
    "                      DIR/%s; takes no LOG. At the end the\n"
    "                      best vector's in-process fitness must equal arbiter's text\n"
    "  --arbiter PROGRAM   the arbiter to run (default: arbiter on PATH)\n"
    "  --arbiter-timeout S seconds one arbiter run may take before it is killed and\n"
    "                      the search stops, 1 to 86400 (default 60)\n"
    "  --write-built-in F  only write the built-in vector to F (%s layout),\n"
    "                      for arbiter to score, and search nothing\n"
    "  --help              this text\n"
    "\n"
    "Logs that arbiter could not score are refused before the search. Exit status:\n"
    "0 when a vector with a finite fitness was written, 1 otherwise, 2 on a usage\n"
    "error.\n";

// Output files are written beside their place (PATH.new) and renamed over
// it once complete, so that a failed or killed search leaves the earlier
// file whole; a later run overwrites a PATH.new a kill left behind.
std::string Beside(const std::string& path) {
    return path + ".new";
}

// Opens Beside(path) for writing; nothing when `path` is there and is not
// a regular file: a device or a directory is never renamed over.
platform::StdioFile OpenBeside(const std::string& path) {
    std::error_code error;
    if (std::filesystem::exists(path, error) && !std::filesystem::is_regular_file(path, error)) {
        return {};
    }
    return platform::StdioFile(std::fopen(Beside(path).c_str(), "w"));
}

// Closes `file`, written as Beside(path), and renames it to `path`; removes
// it when it was not written completely.
bool CloseAndRename(platform::StdioFile& file, const std::string& path) {
    const bool written = !std::ferror(file.get()) && std::fclose(file.release()) == 0;
    if (!written || std::rename(Beside(path).c_str(), path.c_str()) != 0) {
        std::remove(Beside(path).c_str());
        return false;
    }
    return true;
}

bool WriteCandidateFile(const std::string& path, const tuning::Candidate& k) {
    platform::StdioFile file = OpenBeside(path);
    return file && runfiles::WriteCandidates(file.get(), k.data()) && CloseAndRename(file, path);
}

// The progress CSV: a header, a row per improvement and a last row at the end.
class ProgressFile {
  public:
    explicit ProgressFile(const std::string& path) : path_(path), file_(OpenBeside(path)) {
        if (file_) {
            std::fputs("evaluation,best\n", file_.get());
        }
    }
    ~ProgressFile() {
        if (file_) {
            file_.reset();
            std::remove(Beside(path_).c_str());
        }
    }
    ProgressFile(const ProgressFile&) = delete;
    ProgressFile& operator=(const ProgressFile&) = delete;
    explicit operator bool() const { return bool(file_); }
    void Row(long evaluation, double best) {
        std::fprintf(file_.get(), "%ld,%.9g\n", evaluation, best);
    }
    bool Close() { return CloseAndRename(file_, path_); }

  private:
    std::string path_;
    platform::StdioFile file_;
};

// The fitness text without its newline, as the summary line shows it.
std::string Shown(double fitness) {
    std::string text = tuning::FitnessText(fitness);
    text.pop_back();
    return text;
}

// The usage with the catalogue's names filled in.
std::string Usage() {
    using namespace runfiles;
    return tools::Formatted(kUsage, kRunLog.Name(), kCandidate.Name(), kCandidate.Name(),
                            kCandidate.Name(), kFitness.Name(), kRunLog.Name(), kCandidate.Name());
}

}  // namespace

int main(int argc, char** argv) {
    tools::CommandLine app("tune-fuzzy", Usage());
    std::string method = "local", start, progressPath = "tune-progress.csv", validate, viaArbiter;
    std::string arbiter = "arbiter", builtInFile;
    long budget = 0, seed = 1, starts = 4, arbiterTimeout = 60;
    tuning::Bounds bounds;
    std::vector<std::string> logs;
    tools::AddChoice(app, "--method", method, {"local", "global"});
    tools::AddWhole(app, "--budget", budget, 1, 100000000);
    tools::AddWhole(app, "--seed", seed, 0, 0xFFFFFFFFL);
    tools::AddWhole(app, "--starts", starts, 0, 1000);
    tools::AddText(app, "--start", start);
    tools::AddReal(app, "--proposal-low", bounds.proposalLow, -kBoundLimit, kBoundLimit);
    tools::AddReal(app, "--proposal-high", bounds.proposalHigh, -kBoundLimit, kBoundLimit);
    tools::AddReal(app, "--hedge-low", bounds.hedgeLow, -kBoundLimit, kBoundLimit);
    tools::AddReal(app, "--hedge-high", bounds.hedgeHigh, -kBoundLimit, kBoundLimit);
    tools::AddText(app, "--progress", progressPath);
    tools::AddText(app, "--validate", validate);
    tools::AddText(app, "--via-arbiter", viaArbiter);
    tools::AddText(app, "--arbiter", arbiter);
    tools::AddWhole(app, "--arbiter-timeout", arbiterTimeout, 1, 86400);
    tools::AddText(app, "--write-built-in", builtInFile);
    app.add_option("LOG", logs);
    if (const auto exit = app.Parse(argc, argv)) {
        return *exit;
    }
    if (!(bounds.proposalLow < bounds.proposalHigh) || !(bounds.hedgeLow < bounds.hedgeHigh)) {
        return tools::UsageError(app, "each low bound must lie below its high bound");
    }
    if (!viaArbiter.empty() && !logs.empty()) {
        return tools::UsageError(app, std::string("--via-arbiter scores DIR/") +
                                          runfiles::kRunLog.Name() + " and takes no LOG");
    }

    const tuning::Candidate builtIn = fuzzy::kHybridRunVector;
    // Writing the built-in vector touches only the file named, not a lab,
    // so it takes no lock: lab days started side by side check their seed
    // this way in one shared directory.
    if (!builtInFile.empty()) {
        if (WriteCandidateFile(builtInFile, builtIn)) {
            return 0;
        }
        std::fprintf(stderr, "tune-fuzzy: cannot write %s\n", builtInFile.c_str());
        return tools::kFailure;
    }

    // The working directory receives the candidate file and the progress; with
    // --via-arbiter, DIR receives every candidate.
    const auto lock = labdir::LabLock::Take(".", "tune-fuzzy");
    if (!lock) {
        return tools::kFailure;
    }
    const auto arbiterLock = viaArbiter.empty() ? std::optional<labdir::LabLock>()
                                                : labdir::LabLock::Take(viaArbiter, "tune-fuzzy");
    if (!viaArbiter.empty() && !arbiterLock) {
        return tools::kFailure;
    }

    // The search is archived in the notebook of the lab directory, the one
    // holding NeuralFiles/ above the working directory (or above DIR).
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path lab =
        (fs::absolute(viaArbiter.empty() ? "." : viaArbiter, error) / "..").lexically_normal();
    notebook::Recorder recorder(lab, lab, "tune-fuzzy",
                                std::vector<std::string>(argv + 1, argv + argc));
    recorder.Set("method", method);
    // Archives the search as it ended and gives the exit status.
    const auto archived = [&recorder](notebook::Outcome outcome, const std::string& detail) {
        recorder.Finish(outcome, detail);
        return outcome == notebook::Outcome::kCompleted ? 0 : tools::kFailure;
    };
    tuning::Candidate first = builtIn;
    if (!start.empty()) {
        recorder.Input(fs::absolute(start, error).string());
        const auto read = runfiles::ReadCandidateFile(start);
        if (!read || read->stalled) {
            std::fprintf(stderr, "tune-fuzzy: cannot read the start vector %s\n", start.c_str());
            return archived(notebook::Outcome::kRefused, "cannot read the start vector");
        }
        for (int i = 0; i < fuzzy::kParameterCount; ++i) {
            first[i] = runfiles::CandidateValueAsRead(read->k[i]);
            if (!std::isfinite(first[i])) {
                std::fprintf(stderr,
                             "tune-fuzzy: the start vector %s: K%d is not a finite number\n",
                             start.c_str(), i);
                return archived(notebook::Outcome::kRefused, "the start vector is not finite");
            }
        }
    }

    // The logs are prepared in process in both modes: with --via-arbiter to
    // refuse what arbiter could not score and to check its result at the end.
    std::string weights = kEvaluatorWeightDirectory;
    if (!viaArbiter.empty()) {
        weights = viaArbiter + "/" + weights;
        logs = {viaArbiter + "/" + runfiles::kRunLog.Name()};
    } else if (logs.empty()) {
        logs = {runfiles::kRunLog.Name()};
    }
    recorder.Input(fs::absolute(weights, error).string());
    for (const std::string& log : logs) {
        recorder.Input(fs::absolute(log, error).string());
    }
    if (!validate.empty()) {
        recorder.Input(fs::absolute(validate, error).string());
    }
    auto prepared = tuning::PrepareLogs(weights, logs);
    if (!prepared) {
        return archived(notebook::Outcome::kRefused, "a log could not be scored");
    }
    std::optional<tuning::InProcessFitness> validation;
    if (!validate.empty()) {
        auto validationLog = tuning::PrepareLogs(weights, {validate});
        if (!validationLog) {
            return archived(notebook::Outcome::kRefused, "the validation log could not be scored");
        }
        validation.emplace(std::move(*validationLog));
    }
    tuning::InProcessFitness inProcess(std::move(*prepared));
    std::optional<tuning::ArbiterFitness> throughArbiter;
    if (!viaArbiter.empty()) {
        throughArbiter.emplace(arbiter, viaArbiter, int(arbiterTimeout));
    }
    tuning::Fitness& fitness =
        throughArbiter ? static_cast<tuning::Fitness&>(*throughArbiter) : inProcess;

    tuning::SearchSettings settings;
    settings.method = method == "global" ? tuning::Method::kGlobal : tuning::Method::kLocal;
    settings.budget = budget > 0           ? budget
                      : viaArbiter.empty() ? kDefaultBudget
                                           : kDefaultArbiterBudget;
    settings.seed = unsigned(seed);
    settings.randomStarts = int(starts);
    settings.bounds = bounds;

    ProgressFile progress(progressPath);
    if (!progress) {
        std::fprintf(stderr, "tune-fuzzy: cannot create %s\n", progressPath.c_str());
        return archived(notebook::Outcome::kRefused, "cannot create " + progressPath);
    }
    recorder.Output(fs::absolute(progressPath, error).string());
    // An arbiter that cannot be started or hangs stops the search at once.
    const auto arbiterFailed = [&] {
        if (!throughArbiter || throughArbiter->Problem().empty()) {
            return false;
        }
        std::fprintf(stderr, "tune-fuzzy: %s\n", throughArbiter->Problem().c_str());
        return true;
    };
    const double builtInFitness = fitness.Of(builtIn);
    if (arbiterFailed()) {
        return archived(notebook::Outcome::kFailed, throughArbiter->Problem());
    }
    const auto began = std::chrono::steady_clock::now();
    const tuning::SearchResult result = tuning::Search(
        fitness, first, settings,
        [&progress](long evaluation, double best) { progress.Row(evaluation, best); });
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    if (arbiterFailed()) {
        return archived(notebook::Outcome::kFailed, throughArbiter->Problem());
    }
    progress.Row(result.evaluations, result.fitness);
    if (!progress.Close()) {
        std::fprintf(stderr, "tune-fuzzy: cannot write %s; it is left as it was\n",
                     progressPath.c_str());
        return tools::kFailure;
    }

    if (result.failed > 0) {
        std::printf("%ld candidates without a fitness\n", result.failed);
    }
    if (!std::isfinite(result.fitness)) {
        std::fputs("tune-fuzzy: no candidate had a finite fitness\n", stderr);
        return archived(notebook::Outcome::kFailed, "no candidate had a finite fitness");
    }
    if (throughArbiter) {
        // Score the best vector once more so that DIR keeps its files, and
        // hold arbiter's text against the in-process fitness.
        throughArbiter->Of(result.best);
        const std::string inProcessText = tuning::FitnessText(inProcess.Of(result.best));
        if (throughArbiter->LastText() != inProcessText) {
            std::fprintf(stderr, "tune-fuzzy: arbiter wrote %s for the best vector, in process %s",
                         throughArbiter->LastText().c_str(), inProcessText.c_str());
            return archived(notebook::Outcome::kFailed, "arbiter disagrees");
        }
        std::printf("arbiter agrees: %s", inProcessText.c_str());
    }
    if (!WriteCandidateFile(runfiles::kCandidate.path, result.best)) {
        std::fprintf(stderr, "tune-fuzzy: cannot write %s\n", runfiles::kCandidate.path);
        return archived(notebook::Outcome::kFailed,
                        std::string("cannot write ") + runfiles::kCandidate.path);
    }
    if (validation) {
        const double validationBuiltIn = validation->Of(builtIn);
        const double validationTuned = validation->Of(result.best);
        std::printf("validation %s built-in %s tuned %s\n", validate.c_str(),
                    Shown(validationBuiltIn).c_str(), Shown(validationTuned).c_str());
        recorder.Record("validation_builtin", validationBuiltIn);
        recorder.Record("validation_tuned", validationTuned);
    }
    char summary[160];
    std::snprintf(summary, sizeof summary, "built-in %s tuned %s evaluations %ld rate %.0f/s",
                  Shown(builtInFitness).c_str(), Shown(result.fitness).c_str(), result.evaluations,
                  seconds > 0 ? double(result.evaluations) / seconds : 0.0);
    recorder.Record("fitness_builtin", builtInFitness);
    recorder.Record("fitness_tuned", result.fitness);
    recorder.Record("evaluations", double(result.evaluations));
    std::string vector;
    for (const float k : result.best) {
        char value[32];
        std::snprintf(value, sizeof value, vector.empty() ? "%g" : " %g", double(k));
        vector += value;
    }
    recorder.Set("fuzzy_vector", vector);
    recorder.Output(fs::absolute(runfiles::kCandidate.path, error).string());
    archived(notebook::Outcome::kCompleted, summary);
    std::printf("%s\n", summary);
    return 0;
}
