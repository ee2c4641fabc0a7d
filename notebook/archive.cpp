// Archiving an action, and finding what was archived.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <set>
#include <thread>
#include <tuple>

#include "notebook/index.h"
#include "notebook/notebook.h"
#include "notebook/store.h"
#include "platform/stdio_file.h"
#include "version/version.h"

namespace notebook {

namespace fs = std::filesystem;

namespace {

constexpr const char* kStoreDirectory = "inputs";

// "2026-12-07T21:52:36.123Z"
std::string UtcNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    char withMs[40];
    std::snprintf(withMs, sizeof withMs, "%s.%03dZ", text, int(ms));
    return withMs;
}

// An entry's name: the end time without separators and the action, with
// everything but letters, digits, '.' and '-' turned into '-'.
std::string EntryName(const std::string& ended, const std::string& action) {
    std::string name;
    for (char c : ended) {
        if (c != '-' && c != ':') {
            name += c;
        }
    }
    name += '-';
    for (char c : action) {
        const bool plain = std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-';
        name += plain ? c : '-';
    }
    return name;
}

// An entry is a directory of Archive/ other than the shared input store.
bool IsEntry(const fs::directory_entry& entry) {
    std::error_code error;
    return entry.is_directory(error) && entry.path().filename() != kStoreDirectory;
}

bool ValidId(const std::string& id) {
    return !id.empty() && id.find('/') == std::string::npos && id != "." && id != ".." &&
           id != kStoreDirectory;
}

}  // namespace

bool WriteWhole(const fs::path& path, std::string_view content, std::string& problem) {
    // Unique to this process and thread, so that archivers never share one.
    const fs::path part = path.string() + ".part-" + std::to_string(getpid()) + "-" +
                          std::to_string(std::hash<std::thread::id>()(std::this_thread::get_id()));
    platform::StdioFile file(std::fopen(part.c_str(), "wb"));
    bool written =
        file && std::fwrite(content.data(), 1, content.size(), file.get()) == content.size();
    written = file && std::fclose(file.release()) == 0 && written;
    const int cause = errno;
    std::error_code error;
    if (written) {
        fs::rename(part, path, error);
    }
    if (!written || error) {
        problem = path.string() + ": cannot be written (" +
                  (error ? error.message() : std::strerror(cause)) + ")";
        fs::remove(part, error);
        return false;
    }
    return true;
}

fs::path CopyPathOf(const fs::path& notebookDir, const std::string& id, const char* role,
                    const std::string& path) {
    return ArchiveOf(notebookDir) / id / role / fs::path(path).relative_path();
}

Recorder::Recorder(fs::path notebookDir, fs::path directory, std::string action,
                   std::vector<std::string> arguments)
    : notebookDir_(std::move(notebookDir)), directory_(std::move(directory)) {
    std::error_code error;
    manifest_.action = std::move(action);
    manifest_.arguments = std::move(arguments);
    const fs::path absolute = fs::absolute(directory_, error).lexically_normal();
    manifest_.directory = (absolute.has_filename() ? absolute : absolute.parent_path()).string();
    manifest_.started = UtcNow();
}

// The path a file is recorded by: relative to the action's directory when
// it lies below it, else absolute.
static std::string RecordedPath(const fs::path& directory, const std::string& path) {
    std::error_code error;
    const fs::path base = fs::absolute(directory, error).lexically_normal();
    const fs::path full = (base / path).lexically_normal();
    const fs::path relative = full.lexically_relative(base);
    if (!relative.empty() && *relative.begin() != ".." && relative != ".") {
        return relative.string();
    }
    return full.string();
}

void Recorder::Input(const std::string& path) {
    const std::string recorded = RecordedPath(directory_, path);
    const fs::path full = directory_ / recorded;
    const fs::path store = ArchiveOf(notebookDir_) / kStoreDirectory;
    std::error_code error;
    fs::create_directories(store, error);
    // Keeps one file's content in the store under its hash.
    const auto keep = [&](const fs::path& file, const std::string& as) -> std::string {
        std::string problem;
        const auto content = platform::ReadWholeFile(file, problem);
        std::string sha256 = content ? Sha256Of(*content) : "";
        std::error_code missing;
        if (content && !fs::exists(store / sha256, missing)) {
            WriteWhole(store / sha256, *content, problem);
        }
        if (!problem.empty() && problem_.empty()) {
            problem_ = problem;
        }
        manifest_.inputs.push_back({as, sha256});
        return sha256;
    };
    if (fs::is_directory(full, error)) {
        std::vector<fs::path> files;
        for (const auto& entry : fs::recursive_directory_iterator(full, error)) {
            if (entry.is_regular_file(error)) {
                files.push_back(entry.path().lexically_relative(full));
            }
        }
        std::sort(files.begin(), files.end());
        std::string listing;
        for (const fs::path& file : files) {
            const std::string sha256 = keep(full / file, (fs::path(recorded) / file).string());
            listing += sha256 + "  " + file.string() + "\n";
        }
        manifest_.inputs.push_back({(fs::path(recorded) / "").string(), Sha256Of(listing)});
    } else if (fs::exists(full, error)) {
        keep(full, recorded);
    }
}

void Recorder::Output(const std::string& path) {
    outputs_.push_back(RecordedPath(directory_, path));
}

void Recorder::Set(std::string name, std::string value) {
    manifest_.settings.push_back({std::move(name), std::move(value)});
}

void Recorder::Record(std::string name, double value) {
    manifest_.figures.push_back({std::move(name), value});
}

std::optional<std::string> Recorder::Finish(Outcome outcome, std::string detail) {
    manifest_.ended = UtcNow();
    manifest_.outcome = outcome;
    manifest_.detail = std::move(detail);
    manifest_.version = std::string(version::Text());
    const fs::path archive = ArchiveOf(notebookDir_);
    std::string problem = problem_;
    std::error_code error;
    fs::path entry;
    if (problem.empty()) {
        fs::create_directories(archive, error);
        const std::string base = EntryName(manifest_.ended, manifest_.action);
        for (int n = 1; !error; ++n) {
            manifest_.id = n == 1 ? base : base + "-" + std::to_string(n);
            if (fs::create_directory(archive / manifest_.id, error)) {
                entry = archive / manifest_.id;
                break;
            }
        }
        if (error) {
            problem = archive.string() + ": " + error.message();
        }
    }
    // A directory written whole stands for every file below it.
    std::vector<std::string> outputs;
    for (const std::string& path : outputs_) {
        std::vector<std::string> files;
        for (const auto& file : fs::recursive_directory_iterator(directory_ / path, error)) {
            if (file.is_regular_file(error)) {
                files.push_back(
                    (fs::path(path) / file.path().lexically_relative(directory_ / path)).string());
            }
        }
        std::sort(files.begin(), files.end());
        if (files.empty()) {
            files.push_back(path);
        }
        outputs.insert(outputs.end(), files.begin(), files.end());
    }
    error.clear();
    for (const std::string& path : outputs) {
        const fs::path full = directory_ / path;
        if (!problem.empty() || !fs::exists(full, error)) {
            continue;
        }
        const auto content = platform::ReadWholeFile(full, problem);
        const fs::path copy = CopyPathOf(notebookDir_, manifest_.id, "outputs", path);
        fs::create_directories(copy.parent_path(), error);
        if (content && WriteWhole(copy, *content, problem)) {
            manifest_.outputs.push_back({path, Sha256Of(*content)});
        }
    }
    for (const FileRecord& input : manifest_.inputs) {
        if (!problem.empty() || IsFileSet(input)) {
            continue;
        }
        const fs::path link = CopyPathOf(notebookDir_, manifest_.id, "inputs", input.path);
        const fs::path stored = archive / kStoreDirectory / input.sha256;
        fs::create_directories(link.parent_path(), error);
        fs::create_hard_link(stored, link, error);
        if (error) {
            fs::copy_file(stored, link, error);
        }
        if (error) {
            problem = link.string() + ": " + error.message();
        }
    }
    if (problem.empty()) {
        WriteManifest(entry / kManifestFile, manifest_, problem);
    }
    if (!problem.empty()) {
        if (!entry.empty()) {
            fs::remove_all(entry, error);
        }
        std::fprintf(stderr, "notebook: archive failed: %s\n", problem.c_str());
        return std::nullopt;
    }
    Index index(notebookDir_, true);
    if (!index.Add(manifest_)) {
        std::fprintf(stderr,
                     "notebook: %s archived but not indexed (%s); lab-notebook rebuild-index "
                     "adds it\n",
                     manifest_.id.c_str(), index.Problem().c_str());
    }
    std::printf("notebook: archived as %s\n", manifest_.id.c_str());
    std::fflush(stdout);
    return manifest_.id;
}

std::optional<std::vector<Manifest>> List(const fs::path& notebookDir, const Filter& filter,
                                          std::string& problem) {
    Index index(notebookDir, false);
    auto rows = index.Select(filter);
    if (!rows) {
        problem = index.Problem();
    }
    return rows;
}

std::optional<Manifest> Show(const fs::path& notebookDir, const std::string& id,
                             std::string& problem) {
    const fs::path entry = ArchiveOf(notebookDir) / id;
    std::error_code error;
    if (!ValidId(id) || !fs::is_directory(entry, error)) {
        problem = "no entry " + id + " in " + ArchiveOf(notebookDir).string();
        return std::nullopt;
    }
    return ReadManifest(entry / kManifestFile, problem);
}

std::optional<std::string> FindByOutput(const fs::path& notebookDir, const std::string& sha256) {
    return Index(notebookDir, false).LatestWithOutput(sha256);
}

std::optional<fs::path> ArchivedInput(const fs::path& notebookDir, const std::string& id,
                                      const std::string& name) {
    std::string problem;
    const auto manifest = Show(notebookDir, id, problem);
    if (!manifest) {
        return std::nullopt;
    }
    for (const FileRecord& input : manifest->inputs) {
        if (!IsFileSet(input) && (input.path == name || fs::path(input.path).filename() == name)) {
            const fs::path copy = CopyPathOf(notebookDir, id, "inputs", input.path);
            std::error_code error;
            return fs::exists(copy, error) ? std::optional(copy) : std::nullopt;
        }
    }
    return std::nullopt;
}

// Reads every entry's manifest; those that fail are named in `warnings`.
static std::vector<Manifest> ReadAll(const fs::path& notebookDir, const std::set<std::string>& skip,
                                     std::vector<std::string>& warnings) {
    std::vector<Manifest> manifests;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(ArchiveOf(notebookDir), error)) {
        const std::string id = entry.path().filename().string();
        if (!IsEntry(entry) || skip.count(id) > 0) {
            continue;
        }
        std::string problem;
        const fs::path manifest = entry.path() / kManifestFile;
        if (!fs::exists(manifest, error)) {
            warnings.push_back(entry.path().string() + ": no manifest, skipped");
        } else if (auto read = ReadManifest(manifest, problem)) {
            manifests.push_back(std::move(*read));
        } else {
            warnings.push_back(problem + "; skipped");
        }
    }
    std::sort(manifests.begin(), manifests.end(), [](const Manifest& a, const Manifest& b) {
        return std::tie(a.ended, a.id) < std::tie(b.ended, b.id);
    });
    return manifests;
}

std::optional<int> RebuildIndex(const fs::path& notebookDir, std::vector<std::string>& warnings,
                                std::string& problem) {
    std::error_code error;
    if (!fs::is_directory(ArchiveOf(notebookDir), error)) {
        problem = ArchiveOf(notebookDir).string() + ": no archive";
        return std::nullopt;
    }
    const std::vector<Manifest> manifests = ReadAll(notebookDir, {}, warnings);
    Index index(notebookDir, true);
    if (!index.Replace(manifests)) {
        problem = index.Problem();
        return std::nullopt;
    }
    return int(manifests.size());
}

std::vector<std::string> UnindexedEntries(const fs::path& notebookDir) {
    Index index(notebookDir, false);
    const auto ids = index.Ids();
    std::set<std::string> indexed;
    if (ids) {
        indexed.insert(ids->begin(), ids->end());
    }
    std::vector<std::string> warnings;
    for (const Manifest& manifest : ReadAll(notebookDir, indexed, warnings)) {
        warnings.push_back(manifest.id + ": not in the index (lab-notebook rebuild-index adds it)");
    }
    return warnings;
}

}  // namespace notebook
