#include "notebook/index.h"

#include <sqlite3.h>

#include "notebook/store.h"

namespace notebook {

namespace {

// How long a writer waits for another one before it gives up.
constexpr int kBusyTimeoutMs = 30000;

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS actions(
  id TEXT PRIMARY KEY, action TEXT NOT NULL, arguments TEXT NOT NULL,
  directory TEXT NOT NULL, started TEXT NOT NULL, ended TEXT NOT NULL,
  outcome TEXT NOT NULL, detail TEXT NOT NULL, version TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS actions_by_end ON actions(ended);
CREATE TABLE IF NOT EXISTS files(
  id TEXT NOT NULL, role TEXT NOT NULL, path TEXT NOT NULL, sha256 TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS files_by_hash ON files(sha256);
CREATE INDEX IF NOT EXISTS files_by_id ON files(id);
CREATE TABLE IF NOT EXISTS figures(id TEXT NOT NULL, name TEXT NOT NULL, value REAL NOT NULL);
CREATE INDEX IF NOT EXISTS figures_by_id ON figures(id);
CREATE TABLE IF NOT EXISTS settings(id TEXT NOT NULL, name TEXT NOT NULL, value TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS settings_by_id ON settings(id);
)";

// The command line is kept as one text, one argument a line.
std::string Joined(const std::vector<std::string>& arguments) {
    std::string text;
    for (const std::string& argument : arguments) {
        text += text.empty() ? argument : "\n" + argument;
    }
    return text;
}

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n', start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return parts;
}

struct Finaliser {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finaliser>;

Statement Prepare(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr);
    return Statement(statement);
}

// Binds texts to ?1, ?2, ... and runs the statement to its end.
bool Run(sqlite3* db, const char* sql, const std::vector<std::string>& texts) {
    const Statement statement = Prepare(db, sql);
    if (!statement) {
        return false;
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        sqlite3_bind_text(statement.get(), int(i + 1), texts[i].c_str(), -1, SQLITE_TRANSIENT);
    }
    return sqlite3_step(statement.get()) == SQLITE_DONE;
}

std::string Column(sqlite3_stmt* statement, int column) {
    const unsigned char* text = sqlite3_column_text(statement, column);
    return text == nullptr ? std::string() : reinterpret_cast<const char*>(text);
}

}  // namespace

void Index::Closer::operator()(sqlite3* db) const {
    sqlite3_close(db);
}

Index::Index(const std::filesystem::path& notebookDir, bool create) {
    const std::filesystem::path path = ArchiveOf(notebookDir) / kIndexFile;
    std::error_code error;
    if (!create && !std::filesystem::exists(path, error)) {
        problem_ = path.string() + ": no index (nothing archived yet, or run rebuild-index)";
        return;
    }
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    const int status = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    db_.reset(db);
    if (status != SQLITE_OK) {
        Fail(("cannot open " + path.string()).c_str());
        return;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // The journal mode is kept in the file; the schema is made by writers.
    if (create && Execute("PRAGMA journal_mode=WAL") && Execute("BEGIN IMMEDIATE") &&
        Execute(kSchema)) {
        Execute("COMMIT");
    }
}

bool Index::Fail(const char* what) {
    problem_ = std::string(what) + ": " + (db_ ? sqlite3_errmsg(db_.get()) : "no database");
    db_.reset();
    return false;
}

bool Index::Execute(const char* sql) {
    if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        return Fail("index");
    }
    return true;
}

bool Index::Insert(const Manifest& m) {
    sqlite3* db = db_.get();
    if (!Run(db, "INSERT OR REPLACE INTO actions VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)",
             {m.id, m.action, Joined(m.arguments), m.directory, m.started, m.ended,
              OutcomeText(m.outcome), m.detail, m.version})) {
        return false;
    }
    for (const char* table : {"files", "figures", "settings"}) {
        const std::string sql = std::string("DELETE FROM ") + table + " WHERE id = ?1";
        if (!Run(db, sql.c_str(), {m.id})) {
            return false;
        }
    }
    const std::pair<const char*, const std::vector<FileRecord>*> roles[] = {{"input", &m.inputs},
                                                                            {"output", &m.outputs}};
    for (const auto& [role, files] : roles) {
        for (const FileRecord& file : *files) {
            if (!Run(db, "INSERT INTO files VALUES(?1, ?2, ?3, ?4)",
                     {m.id, role, file.path, file.sha256})) {
                return false;
            }
        }
    }
    for (const Setting& setting : m.settings) {
        if (!Run(db, "INSERT INTO settings VALUES(?1, ?2, ?3)",
                 {m.id, setting.name, setting.value})) {
            return false;
        }
    }
    const Statement figure = Prepare(db, "INSERT INTO figures VALUES(?1, ?2, ?3)");
    for (const Figure& f : m.figures) {
        sqlite3_reset(figure.get());
        sqlite3_bind_text(figure.get(), 1, m.id.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(figure.get(), 2, f.name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_double(figure.get(), 3, f.value);
        if (sqlite3_step(figure.get()) != SQLITE_DONE) {
            return false;
        }
    }
    return true;
}

bool Index::Add(const Manifest& manifest) {
    if (!Ok() || !Execute("BEGIN IMMEDIATE")) {
        return false;
    }
    if (!Insert(manifest)) {
        Fail(("indexing " + manifest.id).c_str());
        return false;
    }
    return Execute("COMMIT");
}

bool Index::Replace(const std::vector<Manifest>& manifests) {
    if (!Ok() || !Execute("BEGIN IMMEDIATE")) {
        return false;
    }
    if (!Execute("DELETE FROM actions; DELETE FROM files; DELETE FROM figures; "
                 "DELETE FROM settings")) {
        return false;
    }
    for (const Manifest& manifest : manifests) {
        if (!Insert(manifest)) {
            Fail(("indexing " + manifest.id).c_str());
            return false;
        }
    }
    return Execute("COMMIT");
}

std::optional<std::vector<Manifest>> Index::Select(const Filter& filter) {
    if (!Ok()) {
        return std::nullopt;
    }
    std::string sql =
        "SELECT id, action, arguments, directory, started, ended, outcome, detail, version "
        "FROM actions WHERE 1";
    std::vector<std::string> values;
    // Each condition names its value as '@', which becomes that value's ?N.
    const auto where = [&](const std::string& value, std::string condition) {
        if (value.empty()) {
            return;
        }
        values.push_back(value);
        const std::string parameter = "?" + std::to_string(values.size());
        for (std::size_t at; (at = condition.find('@')) != std::string::npos;) {
            condition.replace(at, 1, parameter);
        }
        sql += " AND " + condition;
    };
    where(filter.action, "(action = @ OR substr(action, 1, length(@) + 1) = @ || ' ')");
    where(filter.on, "substr(ended, 1, length(@)) = @");
    where(filter.since, "ended >= @");
    where(filter.until, "ended < @");
    where(filter.outcome, "outcome = @");
    where(filter.inputHash,
          "id IN (SELECT id FROM files WHERE role = 'input' AND sha256 >= @ AND "
          "sha256 < @ || '~')");
    sql += " ORDER BY ended, id";
    const Statement statement = Prepare(db_.get(), sql);
    if (!statement) {
        Fail("listing");
        return std::nullopt;
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        sqlite3_bind_text(statement.get(), int(i + 1), values[i].c_str(), -1, SQLITE_TRANSIENT);
    }
    std::vector<Manifest> rows;
    int status;
    while ((status = sqlite3_step(statement.get())) == SQLITE_ROW) {
        Manifest m;
        sqlite3_stmt* s = statement.get();
        m.id = Column(s, 0);
        m.action = Column(s, 1);
        m.arguments = Split(Column(s, 2));
        m.directory = Column(s, 3);
        m.started = Column(s, 4);
        m.ended = Column(s, 5);
        m.outcome = OutcomeOf(Column(s, 6)).value_or(Outcome::kFailed);
        m.detail = Column(s, 7);
        m.version = Column(s, 8);
        rows.push_back(std::move(m));
    }
    if (status != SQLITE_DONE) {
        Fail("listing");
        return std::nullopt;
    }
    return rows;
}

std::optional<std::vector<std::string>> Index::Ids() {
    const Statement statement = Ok() ? Prepare(db_.get(), "SELECT id FROM actions") : nullptr;
    if (!statement) {
        return std::nullopt;
    }
    std::vector<std::string> ids;
    while (sqlite3_step(statement.get()) == SQLITE_ROW) {
        ids.push_back(Column(statement.get(), 0));
    }
    return ids;
}

std::optional<std::string> Index::LatestWithOutput(const std::string& sha256) {
    if (!Ok()) {
        return std::nullopt;
    }
    const Statement statement =
        Prepare(db_.get(),
                "SELECT actions.id FROM files JOIN actions ON files.id = actions.id "
                "WHERE files.role = 'output' AND files.sha256 = ?1 "
                "ORDER BY actions.ended DESC, actions.id DESC LIMIT 1");
    if (!statement) {
        return std::nullopt;
    }
    sqlite3_bind_text(statement.get(), 1, sha256.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(statement.get()) != SQLITE_ROW) {
        return std::nullopt;
    }
    return Column(statement.get(), 0);
}

}  // namespace notebook
