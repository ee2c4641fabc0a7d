#include "figures/run_inputs.h"

#include "notebook/notebook.h"
#include "notebook/store.h"
#include "runfiles/catalogue.h"

namespace figures {
namespace {

namespace fs = std::filesystem;

// The nearest of `dir` and the directories above it that holds a notebook.
std::optional<fs::path> NotebookAbove(const fs::path& dir) {
    std::error_code error;
    for (fs::path at = fs::absolute(dir, error); !error; at = at.parent_path()) {
        if (fs::exists(at / notebook::kArchiveDirectory / notebook::kIndexFile, error)) {
            return at;
        }
        if (at == at.parent_path()) {
            break;
        }
    }
    return std::nullopt;
}

// What the notebook says of the entry and where it keeps the inputs.
std::optional<RunInputs> FromEntry(const fs::path& notebookDir, const std::string& id,
                                   const fs::path& log, std::string& problem) {
    const auto manifest = notebook::Show(notebookDir, id, problem);
    if (!manifest) {
        return std::nullopt;
    }
    RunInputs inputs;
    inputs.log = log;
    inputs.entry = id;
    inputs.action = manifest->action;
    for (const notebook::Setting& setting : manifest->settings) {
        if (setting.name == "fuzzy_vector") {
            inputs.fuzzyVector = setting.value;
        }
    }
    for (const notebook::FileRecord& input : manifest->inputs) {
        if (fs::path(input.path).filename() == runfiles::kDynamicTerms.Name()) {
            inputs.trajectorySha256 = input.sha256;
        }
    }
    for (const auto& [file, path] :
         {std::pair{runfiles::kDynamicTerms, &inputs.trajectory},
          std::pair{runfiles::kEncoderTrajectory, &inputs.desiredCounts}}) {
        const auto copy = notebook::ArchivedInput(notebookDir, id, file.Name());
        if (!copy) {
            problem = log.string() + " was written by notebook entry " + id +
                      ", which keeps no copy of " + file.Name();
            return std::nullopt;
        }
        *path = *copy;
    }
    return inputs;
}

bool NewerThan(const fs::path& file, const fs::path& than) {
    std::error_code error;
    const auto fileTime = fs::last_write_time(file, error);
    const auto thanTime = fs::last_write_time(than, error);
    return error || fileTime > thanTime;
}

// Inputs found outside the notebook, with their trajectory's hash.
std::optional<RunInputs> WithHash(const fs::path& log, const fs::path& trajectory,
                                  const fs::path& desiredCounts, std::string& problem) {
    RunInputs inputs;
    inputs.log = log;
    inputs.trajectory = trajectory;
    inputs.desiredCounts = desiredCounts;
    std::error_code error;
    if (!fs::exists(trajectory, error)) {
        return inputs;  // its reader names it as missing
    }
    const auto sha256 = notebook::Sha256OfFile(inputs.trajectory, problem);
    if (!sha256) {
        return std::nullopt;
    }
    inputs.trajectorySha256 = *sha256;
    return inputs;
}

}  // namespace

std::string ControllerOf(const std::string& action) {
    const std::size_t space = action.rfind(' ');
    return space == std::string::npos ? "" : action.substr(space + 1);
}

std::optional<RunInputs> FindRunInputs(const fs::path& dir,
                                       const std::optional<fs::path>& trajectory,
                                       std::string& problem) {
    const fs::path log = runfiles::kRunLog.In(dir.string());
    std::error_code error;
    if (!fs::is_regular_file(log, error)) {
        problem = log.string() + ": missing";
        return std::nullopt;
    }
    const fs::path encoder = runfiles::kEncoderTrajectory.In(dir.string());
    if (trajectory) {
        const fs::path beside = trajectory->parent_path() / runfiles::kEncoderTrajectory.Name();
        return WithHash(log, *trajectory, fs::exists(beside, error) ? beside : encoder, problem);
    }
    const auto sha256 = notebook::Sha256OfFile(log, problem);
    if (!sha256) {
        return std::nullopt;
    }
    if (const auto notebookDir = NotebookAbove(dir)) {
        if (const auto id = notebook::FindByOutput(*notebookDir, *sha256)) {
            return FromEntry(*notebookDir, *id, log, problem);
        }
    }
    // Not in the notebook: the files in NeuralFiles/ are the run's only if
    // nothing has written them since the run wrote its log.
    const fs::path terms = runfiles::kDynamicTerms.In(dir.string());
    for (const fs::path& file : {terms, encoder}) {
        if (fs::exists(file, error) && NewerThan(file, log)) {
            problem = log.string() + " is not in the notebook and " + file.string() +
                      " is newer than it, so not provably what it ran on (name the trajectory "
                      "with --trajectory FILE)";
            return std::nullopt;
        }
    }
    return WithHash(log, terms, encoder, problem);
}

std::optional<RunInputs> ArchivedRunInputs(const fs::path& notebookDir, const std::string& id,
                                           std::string& problem) {
    const fs::path log =
        notebook::CopyPathOf(notebookDir, id, "outputs", runfiles::kRunLog.RelativePath());
    std::error_code error;
    if (!fs::is_regular_file(log, error)) {
        problem = "notebook entry " + id + " keeps no run log";
        return std::nullopt;
    }
    return FromEntry(notebookDir, id, log, problem);
}

}  // namespace figures
