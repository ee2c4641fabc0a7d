// The inputs a control run actually ran with, for the tools that compute or
// draw its figures: the trajectory files (and what the notebook says of the
// run: its action and, for a hybrid run, its fuzzy vector). A log is looked
// up in the notebook by its SHA-256, and the archived copies of its inputs
// are used; a log the notebook does not know is only measured against the
// trajectory in NeuralFiles/ when that trajectory is not newer than the log.
// Never a figure from a mismatched pair.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace figures {

struct RunInputs {
    std::filesystem::path log;            // the run's log
    std::filesystem::path trajectory;     // the dynamic terms it ran along
    std::filesystem::path desiredCounts;  // the desired encoder counts
    std::string entry;                    // the notebook entry that wrote the log, or ""
    std::string action;                   // that entry's action: "lab-run hybrid"
    std::string fuzzyVector;              // a hybrid run's K0..K9, as the entry keeps them
    std::string trajectorySha256;         // of the trajectory file
};

// The controller an action ran: "hybrid", "neural"; "" for none.
std::string ControllerOf(const std::string& action);

// The inputs of the run whose log is runfiles::kRunLog in `dir`.
// The notebook is the one in `dir` or the nearest directory above it
// holding Archive/. `trajectory`, when given, names the dynamic terms
// explicitly (the desired counts beside it, or those in `dir`).
// Nothing, with one line naming the files in `problem`, when the inputs
// cannot be known.
std::optional<RunInputs> FindRunInputs(const std::filesystem::path& dir,
                                       const std::optional<std::filesystem::path>& trajectory,
                                       std::string& problem);

// The same for the run of notebook entry `id`: its archived log and inputs.
std::optional<RunInputs> ArchivedRunInputs(const std::filesystem::path& notebookDir,
                                           const std::string& id, std::string& problem);

}  // namespace figures
