// The lab notebook: every action that records something (a control run, a
// training procedure, a network family, a fuzzy search, an evaluation) is
// kept in Archive/ of the lab directory once it has ended, with a manifest
// that says what ran, how it ended, what it read (by SHA-256) and its key
// figures, so that a result can be found, compared and run again later.
//
//   Archive/ID/manifest.toml    the manifest (written last: an entry without
//                               one is incomplete and skipped with a warning)
//   Archive/ID/outputs/PATH     copies of the files the action wrote
//   Archive/ID/inputs/PATH      the files it read, as they were when it began
//   Archive/inputs/SHA256       one copy of each input's content, shared by
//                               the entries (theirs are links to it)
//   Archive/notebook.sqlite     the index: a row per entry, files by hash
//
// PATH is relative to the directory the action ran in. ID is the UTC time
// the action ended and its name, "20261207T215236.123Z-lab-run-hybrid", with
// "-2", "-3", ... when two actions end in the same millisecond.
//
// Archiving happens after the action's own files are closed; when it fails
// it says so on standard error and the action's result stands as it was.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace notebook {

inline constexpr const char* kArchiveDirectory = "Archive";
inline constexpr const char* kManifestFile = "manifest.toml";
inline constexpr const char* kIndexFile = "notebook.sqlite";

enum class Outcome { kCompleted, kStopped, kRefused, kFailed };
// "completed", "stopped" (ended early), "refused" (did not start),
// "failed" (started, but its files were not all written).
const char* OutcomeText(Outcome outcome);
std::optional<Outcome> OutcomeOf(const std::string& text);

struct FileRecord {
    std::string path;    // relative to the action's directory
    std::string sha256;  // lowercase hex
};

// A directory read as a whole is recorded as one more input whose path ends
// in '/' and whose hash covers its files' paths and hashes; its files are
// recorded one by one besides. The set has no copy of its own.
inline bool IsFileSet(const FileRecord& record) {
    return !record.path.empty() && record.path.back() == '/';
}
// Whether `path` is one of the files of `set`.
inline bool Contains(const FileRecord& set, const std::string& path) {
    return IsFileSet(set) && path.size() > set.path.size() && path.starts_with(set.path);
}

struct Figure {
    std::string name;  // with its unit where it has one: "joint_rms_deg"
    double value = 0;
};

// A setting that is no file, such as the fuzzy vector a run used.
struct Setting {
    std::string name;
    std::string value;
};

struct Manifest {
    std::string id;
    std::string action;                  // "lab-run hybrid", "train-networks valves"
    std::vector<std::string> arguments;  // the command line after the program
    std::string directory;               // where the action ran (absolute)
    std::string started;                 // UTC, "2026-12-07T21:52:36.123Z"
    std::string ended;
    Outcome outcome = Outcome::kCompleted;
    std::string detail;   // the action's own summary line
    std::string version;  // of the program that ran it
    std::vector<Setting> settings;
    std::vector<FileRecord> inputs;
    std::vector<FileRecord> outputs;
    std::vector<Figure> figures;
};

// Records one action, from its start to its archive entry. Inputs are copied
// when they are named, before the action can replace them; outputs when the
// action has ended.
class Recorder {
  public:
    // `notebookDir` receives Archive/ (usually the lab directory itself);
    // `directory` is where the action reads and writes its files.
    Recorder(std::filesystem::path notebookDir, std::filesystem::path directory, std::string action,
             std::vector<std::string> arguments);

    // A file (or every file below a directory, and the directory as a set)
    // the action reads, relative to the action's directory or absolute.
    // A file that does not exist is left out.
    void Input(const std::string& path);
    // A file (or every file below a directory) the action writes; read when
    // the action has ended. One it did not write is left out.
    void Output(const std::string& path);
    void Set(std::string name, std::string value);
    void Record(std::string name, double value);

    // Archives the action and says so on standard output
    // ("notebook: archived as ID"); on failure says why on standard error
    // ("notebook: archive failed: REASON") and returns nothing.
    std::optional<std::string> Finish(Outcome outcome, std::string detail);

  private:
    std::filesystem::path notebookDir_;
    std::filesystem::path directory_;
    Manifest manifest_;
    std::vector<std::string> outputs_;
    std::string problem_;  // the first input that could not be kept
};

// The SHA-256 of a file's content, or nothing (with the reason in `problem`).
std::optional<std::string> Sha256OfFile(const std::filesystem::path& path, std::string& problem);

// Manifests as TOML.
bool WriteManifest(const std::filesystem::path& path, const Manifest& manifest,
                   std::string& problem);
std::optional<Manifest> ReadManifest(const std::filesystem::path& path, std::string& problem);

// What `list` selects; empty fields select everything. Dates compare as
// text against the end time, so "2026-12-07" selects that day with `on`.
struct Filter {
    std::string action;     // the action's name or its first word ("lab-run")
    std::string on;         // a prefix of the end time: "2026-12", "2026-12-07"
    std::string since;      // end time at or after
    std::string until;      // end time before
    std::string outcome;    // "completed", ...
    std::string inputHash;  // a prefix of an input's SHA-256
};

// One row of the index (no files, no figures), oldest first. Problems
// (no index, a database error) go to `problem`; an empty notebook is no
// problem.
std::optional<std::vector<Manifest>> List(const std::filesystem::path& notebookDir,
                                          const Filter& filter, std::string& problem);

// The manifest of entry `id`, read from its directory.
std::optional<Manifest> Show(const std::filesystem::path& notebookDir, const std::string& id,
                             std::string& problem);

// The entry whose action wrote a file with this SHA-256 (the latest when
// several did), e.g. the run that wrote a log.
std::optional<std::string> FindByOutput(const std::filesystem::path& notebookDir,
                                        const std::string& sha256);

// The archived copy of an input of entry `id`, named by its path or its file
// name alone.
std::optional<std::filesystem::path> ArchivedInput(const std::filesystem::path& notebookDir,
                                                   const std::string& id, const std::string& name);

// Rebuilds the index from the manifests. Entries without a manifest or with
// one that does not parse are skipped, each with a line in `warnings`.
// Returns the number of entries indexed.
std::optional<int> RebuildIndex(const std::filesystem::path& notebookDir,
                                std::vector<std::string>& warnings, std::string& problem);

// Entry directories the index lacks, a line each: no manifest, a manifest
// that does not parse, or one that was never indexed.
std::vector<std::string> UnindexedEntries(const std::filesystem::path& notebookDir);

}  // namespace notebook
