// lab-notebook: lists, shows, compares and restores the actions archived in
// a lab directory's Archive/, and rebuilds its index.
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "figures/run_inputs.h"
#include "notebook/notebook.h"
#include "platform/stdio_file.h"
#include "reports/report.h"
#include "runfiles/catalogue.h"
#include "tools/command_line.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kDescription =
    "The lab notebook: every control run, training procedure, network family, fuzzy\n"
    "search and evaluation is archived in DIR/Archive/ with a manifest of its inputs\n"
    "(by SHA-256), settings, key figures and outcome. Exit status 0 on success, 1 on\n"
    "a failure, 2 on a usage error.";

// The hash prefix shown in tables.
std::string Short(const std::string& sha256) {
    return sha256.substr(0, 12);
}

void Warn(const std::vector<std::string>& warnings) {
    for (const std::string& warning : warnings) {
        std::fprintf(stderr, "lab-notebook: warning: %s\n", warning.c_str());
    }
}

int List(const fs::path& dir, const notebook::Filter& filter) {
    std::string problem;
    const auto rows = notebook::List(dir, filter, problem);
    if (!rows) {
        std::fprintf(stderr, "lab-notebook: %s\n", problem.c_str());
        return tools::kFailure;
    }
    Warn(notebook::UnindexedEntries(dir));
    for (const notebook::Manifest& row : *rows) {
        std::printf("%s\t%s\t%s\t%s\n", row.id.c_str(), row.action.c_str(),
                    notebook::OutcomeText(row.outcome), row.detail.c_str());
    }
    return 0;
}

// Files by hash; a directory read whole stands for its files.
void PrintFiles(const char* title, const std::vector<notebook::FileRecord>& files) {
    std::printf("%s:\n", title);
    for (const notebook::FileRecord& file : files) {
        if (!notebook::IsFileSet(file)) {
            const bool inSet = std::any_of(files.begin(), files.end(), [&](const auto& set) {
                return notebook::Contains(set, file.path);
            });
            if (!inSet) {
                std::printf("  %s  %s\n", file.sha256.c_str(), file.path.c_str());
            }
            continue;
        }
        const auto count = std::count_if(files.begin(), files.end(), [&](const auto& member) {
            return notebook::Contains(file, member.path);
        });
        std::printf("  %s  %s (%d files)\n", file.sha256.c_str(), file.path.c_str(), int(count));
    }
}

int Show(const fs::path& dir, const std::string& id) {
    std::string problem;
    const auto m = notebook::Show(dir, id, problem);
    if (!m) {
        std::fprintf(stderr, "lab-notebook: %s\n", problem.c_str());
        return tools::kFailure;
    }
    std::string arguments;
    for (const std::string& argument : m->arguments) {
        arguments += " " + argument;
    }
    std::printf("id         %s\n", m->id.c_str());
    std::printf("action     %s\n", m->action.c_str());
    std::printf("arguments %s\n", arguments.c_str());
    std::printf("directory  %s\n", m->directory.c_str());
    std::printf("started    %s\n", m->started.c_str());
    std::printf("ended      %s\n", m->ended.c_str());
    std::printf("outcome    %s\n", notebook::OutcomeText(m->outcome));
    std::printf("detail     %s\n", m->detail.c_str());
    std::printf("version    %s\n", m->version.c_str());
    std::error_code error;
    const fs::path entry = fs::absolute(dir / notebook::kArchiveDirectory / m->id, error);
    std::printf("files      %s/ (outputs/, inputs/, %s)\n", entry.lexically_normal().c_str(),
                notebook::kManifestFile);
    std::printf("figures:\n");
    for (const notebook::Figure& figure : m->figures) {
        std::printf("  %-24s %g\n", figure.name.c_str(), figure.value);
    }
    std::printf("settings:\n");
    for (const notebook::Setting& setting : m->settings) {
        std::printf("  %-24s %s\n", setting.name.c_str(), setting.value.c_str());
    }
    PrintFiles("inputs", m->inputs);
    PrintFiles("outputs", m->outputs);
    return 0;
}

// One row of a comparison: a name and a text per entry.
void PrintRow(const std::string& name, const std::vector<std::string>& cells, int width) {
    std::string line = name;
    line.resize(std::max<std::size_t>(name.size(), 28), ' ');
    for (const std::string& cell : cells) {
        line += " " + cell;
        line.append(cell.size() < std::size_t(width) ? width - cell.size() : 0, ' ');
    }
    line.erase(line.find_last_not_of(' ') + 1);
    std::printf("%s\n", line.c_str());
}

// Inputs whose hash is not the same in every entry; a directory's files are
// named only through the directory when it differs as a whole.
std::vector<std::string> DifferingInputs(const std::vector<notebook::Manifest>& entries) {
    std::set<std::string> paths;
    for (const notebook::Manifest& m : entries) {
        for (const notebook::FileRecord& input : m.inputs) {
            paths.insert(input.path);
        }
    }
    const auto hashOf = [](const notebook::Manifest& m, const std::string& path) {
        for (const notebook::FileRecord& input : m.inputs) {
            if (input.path == path) {
                return input.sha256;
            }
        }
        return std::string();
    };
    std::vector<std::string> differing;
    for (const std::string& path : paths) {
        const bool same = std::all_of(entries.begin(), entries.end(), [&](const auto& m) {
            return hashOf(m, path) == hashOf(entries.front(), path);
        });
        const bool inSet = std::any_of(differing.begin(), differing.end(), [&](const auto& d) {
            return notebook::Contains({d, ""}, path);
        });
        if (!same && !inSet) {
            differing.push_back(path);
        }
    }
    return differing;
}

// The runs' curves overlaid, each against the trajectory it ran along (the
// copies the notebook keeps), drawn into `picture` by run-report's library.
int CompareReport(const fs::path& dir, const std::vector<std::string>& ids,
                  const std::string& picture) {
    reports::Request request;
    request.input = dir;
    request.output = picture;
    request.kind = reports::Kind::kRun;
    for (const std::string& id : ids) {
        std::string problem;
        const auto inputs = figures::ArchivedRunInputs(dir, id, problem);
        if (!inputs) {
            std::fprintf(stderr, "lab-notebook: %s\n", problem.c_str());
            return tools::kFailure;
        }
        // Named in the legends by the time of the entry, the id's first part.
        request.runs.push_back(reports::RunFilesOf(*inputs, id.substr(0, id.find('-'))));
    }
    std::ostringstream errors;
    int interruptedBy = 0;
    if (!reports::WriteReport(request, errors, &interruptedBy)) {
        std::fprintf(stderr, "lab-notebook: %s", errors.str().c_str());
        if (interruptedBy != 0) {
            std::signal(interruptedBy, SIG_DFL);
            std::raise(interruptedBy);
        }
        return tools::kFailure;
    }
    std::printf("report     %s\n", picture.c_str());
    return 0;
}

int Compare(const fs::path& dir, const std::vector<std::string>& ids) {
    std::vector<notebook::Manifest> entries;
    for (const std::string& id : ids) {
        std::string problem;
        auto m = notebook::Show(dir, id, problem);
        if (!m) {
            std::fprintf(stderr, "lab-notebook: %s\n", problem.c_str());
            return tools::kFailure;
        }
        entries.push_back(std::move(*m));
    }
    int width = 12;
    for (const std::string& id : ids) {
        width = std::max(width, int(id.size()));
    }
    PrintRow("", ids, width);
    const auto row = [&](const std::string& name, auto cellOf) {
        std::vector<std::string> cells;
        for (const notebook::Manifest& m : entries) {
            cells.push_back(cellOf(m));
        }
        PrintRow(name, cells, width);
    };
    row("action", [](const auto& m) { return m.action; });
    row("outcome", [](const auto& m) { return std::string(notebook::OutcomeText(m.outcome)); });
    std::vector<std::string> figures;
    for (const notebook::Manifest& m : entries) {
        for (const notebook::Figure& figure : m.figures) {
            if (std::find(figures.begin(), figures.end(), figure.name) == figures.end()) {
                figures.push_back(figure.name);
            }
        }
    }
    for (const std::string& name : figures) {
        row(name, [&](const notebook::Manifest& m) {
            for (const notebook::Figure& figure : m.figures) {
                if (figure.name == name) {
                    char text[32];
                    std::snprintf(text, sizeof text, "%g", figure.value);
                    return std::string(text);
                }
            }
            return std::string("-");
        });
    }
    std::map<std::string, std::vector<std::string>> settings;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        for (const notebook::Setting& setting : entries[i].settings) {
            settings[setting.name].resize(entries.size(), "-");
            settings[setting.name][i] = setting.value;
        }
    }
    for (auto& [name, values] : settings) {
        values.resize(entries.size(), "-");
        if (std::adjacent_find(values.begin(), values.end(), std::not_equal_to<>()) !=
            values.end()) {
            std::printf("setting %s differs:\n", name.c_str());
            for (std::size_t i = 0; i < entries.size(); ++i) {
                std::printf("  %-*s %s\n", width, ids[i].c_str(), values[i].c_str());
            }
        }
    }
    const std::vector<std::string> differing = DifferingInputs(entries);
    std::printf(differing.empty() ? "inputs: the same\n" : "inputs that differ:\n");
    for (const std::string& path : differing) {
        row("  " + path, [&](const notebook::Manifest& m) {
            for (const notebook::FileRecord& input : m.inputs) {
                if (input.path == path) {
                    return Short(input.sha256);
                }
            }
            return std::string("-");
        });
    }
    return 0;
}

int Restore(const fs::path& dir, const std::string& id, bool force,
            const std::vector<std::string>& arguments) {
    std::string problem;
    const auto m = notebook::Show(dir, id, problem);
    if (!m) {
        std::fprintf(stderr, "lab-notebook: %s\n", problem.c_str());
        return tools::kFailure;
    }
    struct Put {
        std::string path;
        fs::path copy;
    };
    std::vector<Put> puts;
    std::vector<std::string> changed;
    int unchanged = 0;
    for (const notebook::FileRecord& input : m->inputs) {
        if (notebook::IsFileSet(input)) {
            continue;
        }
        const auto copy = notebook::ArchivedInput(dir, id, input.path);
        if (!copy) {
            std::fprintf(stderr, "lab-notebook: %s: the archived copy of %s is missing\n",
                         id.c_str(), input.path.c_str());
            return tools::kFailure;
        }
        if (fs::path(input.path).is_absolute()) {
            std::printf("lab-notebook: %s lies outside the lab directory; its copy is %s\n",
                        input.path.c_str(), copy->c_str());
            continue;
        }
        std::error_code error;
        const fs::path target = dir / input.path;
        if (fs::exists(target, error)) {
            const auto current = notebook::Sha256OfFile(target, problem);
            if (current == input.sha256) {
                ++unchanged;
                continue;
            }
            changed.push_back(input.path);
        }
        puts.push_back({input.path, *copy});
    }
    if (!changed.empty() && !force) {
        for (const std::string& path : changed) {
            std::fprintf(stderr,
                         "lab-notebook: %s differs from the archived copy; not restoring "
                         "(--force replaces it, archiving the current file)\n",
                         path.c_str());
        }
        return tools::kFailure;
    }
    notebook::Recorder recorder(dir, dir, "lab-notebook restore", arguments);
    for (const std::string& path : changed) {
        recorder.Input(path);
    }
    for (const Put& put : puts) {
        std::error_code error;
        const fs::path target = dir / put.path;
        const fs::path part = target.string() + ".restoring";
        fs::create_directories(target.parent_path(), error);
        fs::copy_file(put.copy, part, fs::copy_options::overwrite_existing, error);
        if (!error) {
            fs::rename(part, target, error);
        }
        if (error) {
            fs::remove(part, error);
            std::fprintf(stderr, "lab-notebook: %s: cannot be restored: %s\n", target.c_str(),
                         error.message().c_str());
            return tools::kFailure;
        }
        recorder.Output(put.path);
    }
    const std::string summary = "restored " + std::to_string(puts.size()) + " files of " + id +
                                " (" + std::to_string(unchanged) + " unchanged, " +
                                std::to_string(changed.size()) + " replaced)";
    if (!changed.empty()) {
        recorder.Set("restored", id);
        recorder.Finish(notebook::Outcome::kCompleted, summary);
    }
    std::printf("lab-notebook: %s\n", summary.c_str());
    return 0;
}

// Runs `program` (a path, or a name looked up on PATH) in `dir`; its exit
// status, or -1 when it could not be started or did not exit.
int RunIn(const std::string& program, const fs::path& dir) {
    std::error_code error;
    const std::string path =
        program.find('/') == std::string::npos ? program : fs::absolute(program, error).string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    char* arguments[] = {const_cast<char*>(path.c_str()), nullptr};
    pid_t child = 0;
    const int started = posix_spawnp(&child, path.c_str(), &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) {
        return -1;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs arbiter in `dir` and archives the evaluation in the notebook of the
// lab directory above it: the candidate, the log and the PONNET weights it
// read, the files it wrote and the fitness.
int Evaluate(const std::string& program, const fs::path& dir,
             const std::vector<std::string>& arguments) {
    std::error_code error;
    const fs::path lab = (fs::absolute(dir, error) / "..").lexically_normal();
    const fs::path work = fs::absolute(dir, error).lexically_normal();
    notebook::Recorder recorder(lab, lab, "arbiter", arguments);
    for (const char* input : {runfiles::kCandidate.Name(), runfiles::kRunLog.Name()}) {
        recorder.Input((work / input).string());
    }
    recorder.Input((lab / runfiles::kPonnetDirectory).string());
    const int status = RunIn(program, dir);
    if (status < 0) {
        std::fprintf(stderr, "lab-notebook: %s could not be run in %s\n", program.c_str(),
                     dir.c_str());
        recorder.Finish(notebook::Outcome::kFailed, program + " could not be run");
        return tools::kFailure;
    }
    for (const char* output : {runfiles::kReplayInput.Name(), runfiles::kFuzzyPressureLog.Name(),
                               runfiles::kFitness.Name()}) {
        recorder.Output((work / output).string());
    }
    platform::StdioFile feval(std::fopen((work / runfiles::kFitness.Name()).c_str(), "r"));
    double fitness = 0;
    const bool scored = status == 0 && feval && std::fscanf(feval.get(), "%lf", &fitness) == 1 &&
                        std::isfinite(fitness);
    std::string summary = "no fitness computed";
    if (scored) {
        recorder.Record("fitness", fitness);
        char text[64];
        std::snprintf(text, sizeof text, "fitness %f", fitness);
        summary = text;
    }
    recorder.Finish(scored ? notebook::Outcome::kCompleted : notebook::Outcome::kRefused, summary);
    std::printf("lab-notebook: arbiter: %s\n", summary.c_str());
    return scored ? 0 : tools::kFailure;
}

int RebuildIndex(const fs::path& dir) {
    std::vector<std::string> warnings;
    std::string problem;
    const auto count = notebook::RebuildIndex(dir, warnings, problem);
    Warn(warnings);
    if (!count) {
        std::fprintf(stderr, "lab-notebook: %s\n", problem.c_str());
        return tools::kFailure;
    }
    std::printf("lab-notebook: indexed %d entries\n", *count);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app(kDescription, "lab-notebook");
    tools::UseConventions(app, "");
    std::string dir = ".";
    tools::AddText(app, "--dir", dir)
        ->description("the lab directory holding Archive/ (default .)");

    notebook::Filter filter;
    CLI::App* list = app.add_subcommand("list",
                                        "one line per archived action: id, action, "
                                        "outcome, summary; oldest first");
    list->add_option("--action", filter.action, "an action (\"lab-run hybrid\") or a program");
    list->add_option("--on", filter.on, "ended on this date or in this month (2026-12-07)");
    list->add_option("--since", filter.since, "ended at or after this UTC time");
    list->add_option("--until", filter.until, "ended before this UTC time");
    tools::AddChoice(*list, "--outcome", filter.outcome,
                     {"completed", "stopped", "refused", "failed"})
        ->description("how it ended");
    list->add_option("--input", filter.inputHash, "read a file with this SHA-256 (or prefix)");

    std::string id;
    CLI::App* show = app.add_subcommand("show", "an entry's manifest and where its files are");
    show->add_option("ID", id)->required();

    std::vector<std::string> ids;
    CLI::App* compare = app.add_subcommand(
        "compare", "key figures side by side, and the settings and inputs that differ");
    compare->add_option("ID", ids)->required()->expected(2, 1000);
    std::string report;
    compare->add_option("--report", report,
                        "draw the runs' curves overlaid into this picture (.png, .pdf or .svg)");

    bool force = false;
    CLI::App* restore = app.add_subcommand(
        "restore",
        "put an entry's inputs back in place, to run it again; files that differ "
        "are refused unless --force, which archives them first");
    restore->add_option("ID", id)->required();
    restore->add_flag("--force", force, "replace files that differ");

    std::string arbiter = "arbiter";
    std::string arbiterDir = ".";
    CLI::App* evaluate =
        app.add_subcommand("evaluate",
                           "run arbiter in DIR (a directory below the lab directory) and archive "
                           "the evaluation in the lab's notebook");
    evaluate->add_option("--arbiter", arbiter, "the arbiter program (default: arbiter on PATH)");
    evaluate->add_option("DIR", arbiterDir, "arbiter's working directory (default .)");

    CLI::App* rebuild = app.add_subcommand("rebuild-index",
                                           "rebuild the index from the "
                                           "manifests");
    if (const auto exit = tools::Parse(app, argc, argv)) {
        return *exit;
    }
    if (*list) {
        return tools::FinishStandardOutput("lab-notebook", List(dir, filter));
    }
    if (*show) {
        return tools::FinishStandardOutput("lab-notebook", Show(dir, id));
    }
    if (*compare) {
        const int status = tools::FinishStandardOutput("lab-notebook", Compare(dir, ids));
        return status != 0 || report.empty() ? status : CompareReport(dir, ids, report);
    }
    if (*restore) {
        return Restore(dir, id, force, std::vector<std::string>(argv + 1, argv + argc));
    }
    if (*evaluate) {
        return Evaluate(arbiter, arbiterDir, std::vector<std::string>(argv + 1, argv + argc));
    }
    return *rebuild ? RebuildIndex(dir) : tools::kUsageError;
}
