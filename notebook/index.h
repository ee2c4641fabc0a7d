// The notebook's index, Archive/notebook.sqlite: a row per archived entry
// with its manifest's fields, its files by hash, its figures and settings.
// WAL mode, so that a reader never blocks a writer; writers wait for each
// other.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "notebook/notebook.h"

struct sqlite3;

namespace notebook {

class Index {
  public:
    // Opens the index of `notebookDir`, creating it when `create` is set.
    Index(const std::filesystem::path& notebookDir, bool create);
    bool Ok() const { return db_ != nullptr; }
    const std::string& Problem() const { return problem_; }

    bool Add(const Manifest& manifest);
    // Replaces every row by those of `manifests`, in one transaction.
    bool Replace(const std::vector<Manifest>& manifests);
    std::optional<std::vector<Manifest>> Select(const Filter& filter);
    std::optional<std::vector<std::string>> Ids();
    std::optional<std::string> LatestWithOutput(const std::string& sha256);

  private:
    struct Closer {
        void operator()(sqlite3* db) const;
    };
    bool Execute(const char* sql);
    bool Insert(const Manifest& manifest);
    bool Fail(const char* what);

    std::unique_ptr<sqlite3, Closer> db_;
    std::string problem_;
};

}  // namespace notebook
