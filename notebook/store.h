// Inside the notebook: the archive's files and where an entry keeps them.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "notebook/notebook.h"

namespace notebook {

std::string Sha256Of(std::string_view content);

// Writes `content` beside `path` and renames it over `path`, so that a
// reader finds the old file or the whole new one, never a part.
bool WriteWhole(const std::filesystem::path& path, std::string_view content, std::string& problem);

inline std::filesystem::path ArchiveOf(const std::filesystem::path& notebookDir) {
    return notebookDir / kArchiveDirectory;
}

// Where entry `id` keeps its copy of a file it read ("inputs") or wrote
// ("outputs"); an absolute path is kept below that without its root.
std::filesystem::path CopyPathOf(const std::filesystem::path& notebookDir, const std::string& id,
                                 const char* role, const std::string& path);

}  // namespace notebook
