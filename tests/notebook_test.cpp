// The lab notebook: what an entry keeps (manifest, hashes, copies of inputs
// as they were read), its index and its rebuild, concurrent archivers, and
// lab-notebook's compare and restore on runs made with lab-run.
#include "notebook/notebook.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "runfiles/catalogue.h"
#include "tests/lab_files.h"

namespace {

namespace fs = std::filesystem;
using labtest::ReadText;
using labtest::RunTool;
using labtest::WriteText;

// SHA-256 of "abc" and of the empty text.
constexpr const char* kAbc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
constexpr const char* kEmpty = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

// A filter on one field.
notebook::Filter Where(std::string notebook::Filter::*field, std::string value) {
    notebook::Filter filter;
    filter.*field = std::move(value);
    return filter;
}

const notebook::FileRecord* Find(const std::vector<notebook::FileRecord>& files,
                                 const std::string& path) {
    const auto at = std::find_if(files.begin(), files.end(),
                                 [&](const auto& file) { return file.path == path; });
    return at == files.end() ? nullptr : &*at;
}

// Archives one action of `lab` that read `lab/in.txt` and wrote `lab/out.txt`.
std::optional<std::string> ArchiveOne(const fs::path& lab, const std::string& output,
                                      double figure) {
    notebook::Recorder recorder(lab, lab, "test action", {"--flag", "value"});
    recorder.Input("in.txt");
    WriteText(lab / "out.txt", output);
    recorder.Output("out.txt");
    recorder.Record("figure", figure);
    recorder.Set("vector", "1 2 3");
    return recorder.Finish(notebook::Outcome::kCompleted, "done");
}

TEST(Notebook, AnEntryKeepsItsManifestHashesAndTheInputsAsRead) {
    fs::create_directories("lab/NeuralFiles/Set");
    WriteText("lab/NeuralFiles/in.txt", "abc");
    WriteText("lab/NeuralFiles/Set/a.txt", "abc");
    WriteText("lab/NeuralFiles/Set/b.txt", "");
    notebook::Recorder recorder("lab", "lab", "lab-run hybrid", {"hybrid"});
    recorder.Input("NeuralFiles/in.txt");
    recorder.Input("NeuralFiles/Set");
    recorder.Input("NeuralFiles/missing.txt");
    // The action replaces its input and writes its output.
    WriteText("lab/NeuralFiles/in.txt", "changed");
    WriteText("lab/NeuralFiles/log.txt", "abc");
    recorder.Output("NeuralFiles/log.txt");
    recorder.Output("NeuralFiles/never-written.txt");
    recorder.Record("joint_rms_deg", 3.25);
    const auto id = recorder.Finish(notebook::Outcome::kStopped, "hybrid: 7 samples, stopped");
    ASSERT_TRUE(id);
    EXPECT_TRUE(id->ends_with("Z-lab-run-hybrid")) << *id;

    std::string problem;
    const auto m = notebook::Show("lab", *id, problem);
    ASSERT_TRUE(m) << problem;
    EXPECT_EQ(m->action, "lab-run hybrid");
    EXPECT_EQ(m->outcome, notebook::Outcome::kStopped);
    EXPECT_EQ(m->detail, "hybrid: 7 samples, stopped");
    EXPECT_EQ(m->directory, fs::absolute("lab").string());
    EXPECT_TRUE(m->version.starts_with("tendon-lab ")) << m->version;
    EXPECT_LE(m->started, m->ended);
    ASSERT_EQ(m->figures.size(), 1u);
    EXPECT_EQ(m->figures[0].value, 3.25);

    // The input as it was read, not as the action left it.
    ASSERT_NE(Find(m->inputs, "NeuralFiles/in.txt"), nullptr);
    EXPECT_EQ(Find(m->inputs, "NeuralFiles/in.txt")->sha256, kAbc);
    EXPECT_EQ(Find(m->inputs, "NeuralFiles/Set/a.txt")->sha256, kAbc);
    EXPECT_EQ(Find(m->inputs, "NeuralFiles/Set/b.txt")->sha256, kEmpty);
    EXPECT_NE(Find(m->inputs, "NeuralFiles/Set/"), nullptr);
    EXPECT_EQ(Find(m->inputs, "NeuralFiles/missing.txt"), nullptr);
    ASSERT_EQ(m->outputs.size(), 1u);
    EXPECT_EQ(m->outputs[0].sha256, kAbc);

    const auto copy = notebook::ArchivedInput("lab", *id, "in.txt");
    ASSERT_TRUE(copy);
    EXPECT_EQ(ReadText(*copy), "abc");
    EXPECT_EQ(ReadText(fs::path("lab/Archive") / *id / "outputs/NeuralFiles/log.txt"), "abc");
    EXPECT_EQ(notebook::FindByOutput("lab", kAbc), id);
    EXPECT_FALSE(notebook::FindByOutput("lab", kEmpty));

    // The set's hash covers its files: one query finds every run that read it.
    notebook::Filter byInput;
    byInput.inputHash = Find(m->inputs, "NeuralFiles/Set/")->sha256;
    const auto rows = notebook::List("lab", byInput, problem);
    ASSERT_TRUE(rows) << problem;
    ASSERT_EQ(rows->size(), 1u);
    EXPECT_EQ((*rows)[0].id, *id);
}

TEST(Notebook, AFailedArchiveSaysWhyAndLeavesNoEntry) {
    fs::create_directories("lab");
    WriteText("lab/in.txt", "abc");
    WriteText("lab/Archive", "a file where the archive belongs");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(ArchiveOne("lab", "out", 1));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(err.starts_with("notebook: archive failed: ")) << err;
    EXPECT_EQ(ReadText("lab/out.txt"), "out");
}

TEST(Notebook, FiltersSelectByActionDateOutcomeAndInput) {
    fs::create_directories("lab");
    WriteText("lab/in.txt", "abc");
    ASSERT_TRUE(ArchiveOne("lab", "1", 1));
    notebook::Recorder other("lab", "lab", "train-networks valves", {});
    ASSERT_TRUE(other.Finish(notebook::Outcome::kRefused, "refused"));
    std::string problem;
    const auto count = [&](notebook::Filter filter) {
        const auto rows = notebook::List("lab", filter, problem);
        return rows ? int(rows->size()) : -1;
    };
    EXPECT_EQ(count({}), 2);
    EXPECT_EQ(count(Where(&notebook::Filter::action, "test")), 1);
    EXPECT_EQ(count(Where(&notebook::Filter::action, "train-networks valves")), 1);
    EXPECT_EQ(count(Where(&notebook::Filter::action, "train")), 0);
    EXPECT_EQ(count(Where(&notebook::Filter::outcome, "refused")), 1);
    EXPECT_EQ(count(Where(&notebook::Filter::inputHash, std::string(kAbc).substr(0, 8))), 1);
    EXPECT_EQ(count(Where(&notebook::Filter::inputHash, kEmpty)), 0);
    notebook::Filter between = Where(&notebook::Filter::since, "2000-01-01");
    between.until = "3000-01-01";
    EXPECT_EQ(count(between), 2);
    EXPECT_EQ(count(Where(&notebook::Filter::on, "1999")), 0);
}

TEST(Notebook, TwoArchiversAtOnceBothSucceed) {
    fs::create_directories("lab");
    WriteText("lab/in.txt", "abc");
    constexpr int kEach = 15;
    pid_t children[2];
    for (pid_t& child : children) {
        child = fork();
        if (child == 0) {
            int archived = 0;
            for (int i = 0; i < kEach; ++i) {
                archived += ArchiveOne("lab", "same output", i) ? 1 : 0;
            }
            _exit(archived == kEach ? 0 : 1);
        }
    }
    for (const pid_t child : children) {
        int status = -1;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::string problem;
    const auto rows = notebook::List("lab", {}, problem);
    ASSERT_TRUE(rows) << problem;
    EXPECT_EQ(rows->size(), 2u * kEach);
    EXPECT_TRUE(notebook::UnindexedEntries("lab").empty());
}

TEST(Notebook, RebuildIndexGivesTheRowsOfTheLiveIndexAndSkipsBrokenEntries) {
    fs::create_directories("lab");
    WriteText("lab/in.txt", "abc");
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(ArchiveOne("lab", std::to_string(i), i));
    }
    fs::create_directories("lab/Archive/20261207T000000.000Z-no-manifest");
    fs::create_directories("lab/Archive/20261207T000000.001Z-broken");
    WriteText("lab/Archive/20261207T000000.001Z-broken/manifest.toml", "id = [");
    EXPECT_EQ(notebook::UnindexedEntries("lab").size(), 2u);

    std::string problem;
    const auto live = notebook::List("lab", {}, problem);
    ASSERT_TRUE(live) << problem;
    for (const char* file : {"notebook.sqlite", "notebook.sqlite-wal", "notebook.sqlite-shm"}) {
        fs::remove(fs::path("lab/Archive") / file);
    }
    std::vector<std::string> warnings;
    EXPECT_EQ(notebook::RebuildIndex("lab", warnings, problem), 3) << problem;
    ASSERT_EQ(warnings.size(), 2u);
    std::sort(warnings.begin(), warnings.end());
    EXPECT_NE(warnings[0].find("no-manifest: no manifest, skipped"), std::string::npos);
    EXPECT_NE(warnings[1].find("broken/manifest.toml:1"), std::string::npos) << warnings[1];

    const auto rebuilt = notebook::List("lab", {}, problem);
    ASSERT_TRUE(rebuilt) << problem;
    ASSERT_EQ(rebuilt->size(), live->size());
    for (std::size_t i = 0; i < live->size(); ++i) {
        const notebook::Manifest& a = (*live)[i];
        const notebook::Manifest& b = (*rebuilt)[i];
        EXPECT_EQ(std::tie(a.id, a.action, a.arguments, a.directory, a.started, a.ended, a.outcome,
                           a.detail, a.version),
                  std::tie(b.id, b.action, b.arguments, b.directory, b.started, b.ended, b.outcome,
                           b.detail, b.version));
    }
    const auto latest = live->back();
    EXPECT_EQ(notebook::FindByOutput("lab", notebook::Sha256OfFile("lab/out.txt", problem).value()),
              latest.id);
}

TEST(NotebookTool, HelpOnStandardOutputAndUsageErrorsWithExitStatus2) {
    const labtest::ToolRun help = RunTool(LAB_NOTEBOOK, "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("rebuild-index"), std::string::npos);
    EXPECT_EQ(help.err, "");
    const labtest::ToolRun bad = RunTool(LAB_NOTEBOOK, "list --outcome lost");
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err,
              "lab-notebook: outcome 'lost' is not one of completed, stopped, refused, failed\n"
              "Try 'lab-notebook --help'.\n");
    // An unknown word is named, not taken for a missing action.
    const labtest::ToolRun unknown = RunTool(LAB_NOTEBOOK, "bogus");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("action 'bogus' is not one of list, show, compare"),
              std::string::npos)
        << unknown.err;
    const labtest::ToolRun none = RunTool(LAB_NOTEBOOK, "");
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("an action is required"), std::string::npos) << none.err;
    const labtest::ToolRun empty = RunTool(LAB_NOTEBOOK, "list");
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.err,
              "lab-notebook: ./Archive/notebook.sqlite: no index (nothing archived "
              "yet, or run rebuild-index)\n");
    EXPECT_FALSE(fs::exists("Archive"));
}

// lab-run and lab-notebook together, on a short trajectory.
class NotebookTools : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(RunTool(MAKE_DEMO_DATA, "lab").status, 0);
        ASSERT_EQ(RunTool(MAKE_DEMO_NETWORKS, "--dir lab").status, 0);
        ASSERT_EQ(RunTool(TRAJGEN, "--sine --dir lab").status, 0);
        const fs::path trajectory = (std::string("lab/") + runfiles::kDynamicTerms.RelativePath());
        std::ifstream in(trajectory);
        std::string text, line;
        for (int i = 0; i < 30 && std::getline(in, line); ++i) {
            text += line + "\n";
        }
        in.close();
        WriteText(trajectory, text);
    }

    // The id lab-run printed for its archive entry.
    static std::string IdOf(const labtest::ToolRun& run) {
        const std::string key = "notebook: archived as ";
        const std::size_t at = run.out.find(key);
        return at == std::string::npos
                   ? ""
                   : run.out.substr(at + key.size(), run.out.find('\n', at) - at - key.size());
    }
};

TEST_F(NotebookTools, CompareNamesTheFuzzyVectorThatDiffersAndBothFigures) {
    const labtest::ToolRun builtIn = RunTool(LAB_RUN, "--dir lab hybrid");
    ASSERT_EQ(builtIn.status, 0) << builtIn.out << builtIn.err;
    EXPECT_TRUE(builtIn.out.ends_with("\nlab-run: hybrid: 26 samples, completed\n"));
    WriteText("kf.txt", "0.5 1 0.5 1 0.5 1 0.5 1 0.5 1\n");
    const labtest::ToolRun tuned = RunTool(LAB_RUN, "--dir lab --fuzzy-vector kf.txt hybrid");
    ASSERT_EQ(tuned.status, 0) << tuned.out << tuned.err;
    const std::string a = IdOf(builtIn), b = IdOf(tuned);
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());

    const labtest::ToolRun list = RunTool(LAB_NOTEBOOK, "--dir lab list --action lab-run");
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out, a + "\tlab-run hybrid\tcompleted\thybrid: 26 samples, completed\n" + b +
                            "\tlab-run hybrid\tcompleted\thybrid: 26 samples, completed\n");

    const labtest::ToolRun compare = RunTool(LAB_NOTEBOOK, "--dir lab compare " + a + " " + b);
    EXPECT_EQ(compare.status, 0) << compare.err;
    const std::string& out = compare.out;
    EXPECT_NE(out.find("setting fuzzy_vector differs:\n  " + a +
                       " 0.1489 0.602 0.2659 0.0067 0.5735 0.5266 0.6143 0.1722 0.8195 "
                       "0.5964\n  " +
                       b + " 0.5 1 0.5 1 0.5 1 0.5 1 0.5 1\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("inputs that differ:\n  " + fs::absolute("kf.txt").string()),
              std::string::npos)
        << out;
    // Both runs' figures, side by side.
    std::string problem;
    for (const std::string& id : {a, b}) {
        const auto m = notebook::Show("lab", id, problem);
        ASSERT_TRUE(m) << problem;
        ASSERT_EQ(m->figures.size(), 4u);  // samples, both RMS, saturated samples
        for (const notebook::Figure& figure : m->figures) {
            char text[32];
            std::snprintf(text, sizeof text, "%g", figure.value);
            EXPECT_NE(out.find(text), std::string::npos) << figure.name << "\n" << out;
        }
    }
    EXPECT_EQ(RunTool(LAB_NOTEBOOK, "--dir lab compare " + a).status, 2);
    const labtest::ToolRun missing = RunTool(LAB_NOTEBOOK, "--dir lab compare " + a + " nothing");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "lab-notebook: no entry nothing in lab/Archive\n");
}

TEST_F(NotebookTools, RestoreRefusesAChangedFileUnlessForcedAndArchivesWhatItReplaces) {
    const labtest::ToolRun run = RunTool(LAB_RUN, "--dir lab neural");
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const std::string id = IdOf(run);
    const std::string trajectory =
        ReadText((std::string("lab/") + runfiles::kDynamicTerms.RelativePath()));
    WriteText((std::string("lab/") + runfiles::kDynamicTerms.RelativePath()),
              "a trajectory of today\n");
    fs::remove(runfiles::kValveWeights.In("lab", 2));

    const labtest::ToolRun refused = RunTool(LAB_NOTEBOOK, "--dir lab restore " + id);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, (std::string("lab-notebook: ") + runfiles::kDynamicTerms.RelativePath() +
                            " differs from the archived copy; not restoring (--force replaces it, "
                            "archiving the current file)\n"));
    EXPECT_EQ(ReadText((std::string("lab/") + runfiles::kDynamicTerms.RelativePath())),
              "a trajectory of today\n");
    EXPECT_FALSE(fs::exists(runfiles::kValveWeights.In("lab", 2)));

    const labtest::ToolRun forced = RunTool(LAB_NOTEBOOK, "--dir lab restore --force " + id);
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_NE(forced.out.find("lab-notebook: restored 2 files of " + id), std::string::npos)
        << forced.out;
    EXPECT_EQ(ReadText((std::string("lab/") + runfiles::kDynamicTerms.RelativePath())), trajectory);
    EXPECT_TRUE(fs::exists(runfiles::kValveWeights.In("lab", 2)));

    // The replaced trajectory is kept by the restore's own entry.
    std::string problem;
    const auto restores =
        notebook::List("lab", Where(&notebook::Filter::action, "lab-notebook restore"), problem)
            .value();
    ASSERT_EQ(restores.size(), 1u);
    const auto kept =
        notebook::ArchivedInput("lab", restores[0].id, runfiles::kDynamicTerms.Name());
    ASSERT_TRUE(kept);
    EXPECT_EQ(ReadText(*kept), "a trajectory of today\n");
}

}  // namespace
