// The tuner: its in-process fitness against arbiter's (the replay, the
// program and its fitness file's text), the exact error sum, the search and the
// tune-fuzzy tool end to end.
#include "tuning/tuning.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <regex>

#include "evaluator/evaluator.h"
#include "model/replay.h"
#include "platform/clock.h"
#include "platform/stdio_file.h"
#include "runfiles/catalogue.h"
#include "tests/lab_files.h"
#include "tools/demo_data.h"
#include "tuning/float_sum.h"

namespace {

using tuning::Candidate;

Candidate BuiltIn() {
    Candidate k;
    std::copy(std::begin(fuzzy::kHybridRunVector), std::end(fuzzy::kHybridRunVector), k.begin());
    return k;
}

// The value a candidate file hands arbiter, as the search produces it.
Candidate AsRead(const std::array<double, 10>& values) {
    Candidate k;
    for (int i = 0; i < 10; ++i) {
        k[i] = runfiles::CandidateValueAsRead(values[i]);
    }
    return k;
}

// Random vectors in the default box and around it, and vectors that silence
// rules (hedges 0 or 2, every hedge at once) or sit on the bounds.
std::vector<Candidate> TestVectors(int count, unsigned seed) {
    std::mt19937 engine(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<Candidate> vectors;
    for (int v = 0; v < count; ++v) {
        std::array<double, 10> x;
        for (int i = 0; i < 10; ++i) {
            const bool hedge = i % 2 == 1;
            x[i] = hedge ? 2 * unit(engine) : unit(engine);
            const double pick = unit(engine);
            if (pick < 0.15) {
                x[i] = hedge ? (pick < 0.07 ? 0.0 : 2.0) : (pick < 0.07 ? 0.0 : 1.0);
            } else if (pick < 0.2) {
                x[i] = 6 * unit(engine) - 3;  // outside the box: negative hedge factors
            }
        }
        if (v % 25 == 0) {  // every rule silenced: zero weight sum
            for (int i = 1; i < 10; i += 2) {
                x[i] = v % 50 == 0 ? 0.0 : 2.0;
            }
        }
        vectors.push_back(AsRead(x));
    }
    return vectors;
}

// arbiter's own replay (ReplayErrorSum over the replay input as
// PrepareSimulationInput wrote it), run in the case's arbiter directory.
class ArbiterReplay {
  public:
    explicit ArbiterReplay(const labtest::CaseDirectory& dir) {
        labtest::WorkingDirectory here(dir.arbiter);
        EXPECT_TRUE(replay::LoadModels(kEvaluatorWeightDirectory, models_));
        EXPECT_TRUE(evaluator::PrepareSimulationInput());
        platform::StdioFile trajectory(std::fopen(runfiles::kReplayInput.Name(), "r"));
        runfiles::ReadAll(trajectory.get(), trajectory_);
        platform::StdioFile log(std::fopen(runfiles::kRunLog.Name(), "r"));
        runfiles::ReadAll(log.get(), measured_);
        replay::ComputeDirectionFlags(trajectory_, flags_);
    }
    double FitnessOf(const Candidate& k) {
        const float errorSum =
            replay::ReplayErrorSum(models_, trajectory_, flags_, k.data(), measured_, nullptr);
        return replay::FitnessOf(errorSum, trajectory_.size());
    }

  private:
    replay::MuscleModels models_;
    std::vector<runfiles::TrajectoryRecord> trajectory_;
    std::vector<runfiles::PressureLogRecord> measured_;
    std::vector<float> flags_;
};

tuning::PreparedLog Prepare(const labtest::CaseDirectory& dir) {
    auto logs = tuning::PrepareLogs(dir.weights.string() + "/",
                                    {(dir.arbiter / runfiles::kRunLog.Name()).string()});
    EXPECT_TRUE(logs);
    return std::move(logs->front());
}

// Bit for bit: the demo case, and a case whose networks miss by up to 135
// bar so that the error sum crosses many binades.
TEST(InProcessFitness, EqualsArbitersReplayBitForBit) {
    const auto dir = labtest::MakeCaseDirectory();
    ASSERT_TRUE(demo::WriteDemoData(dir.root.string(), 5, 1332));
    {
        const tuning::PreparedLog log = Prepare(dir);
        EXPECT_EQ(log.SampleCount(), 1327u);
        ArbiterReplay arbiter(dir);
        for (const Candidate& k : TestVectors(300, 1)) {
            const double fast = log.FitnessOf(k), replayed = arbiter.FitnessOf(k);
            ASSERT_EQ(std::memcmp(&fast, &replayed, sizeof fast), 0)
                << fast << " against " << replayed;
        }
    }

    labtest::WriteWeightSet(dir.weights, labtest::IdentifyingNetwork);
    const tuning::PreparedLog log = Prepare(dir);
    ArbiterReplay arbiter(dir);
    for (const Candidate& k : TestVectors(100, 2)) {
        ASSERT_EQ(log.FitnessOf(k), arbiter.FitnessOf(k));
    }
}

// The program's text: RunEvaluation's fitness file for candidates written to
// the candidate file, and the arbiter program through ArbiterFitness.
TEST(InProcessFitness, GivesArbitersFitnessText) {
    const auto dir = labtest::MakeCaseDirectory();
    ASSERT_TRUE(demo::WriteDemoData(dir.root.string(), 7, 400));
    tuning::InProcessFitness inProcess({Prepare(dir)});
    const auto vectors = TestVectors(40, 3);
    {
        platform::VirtualClockScope noPauses;
        labtest::WorkingDirectory here(dir.arbiter);
        for (const Candidate& k : vectors) {
            platform::StdioFile file(std::fopen(runfiles::kCandidate.Name(), "w"));
            ASSERT_TRUE(runfiles::WriteCandidates(file.get(), k.data()));
            file.reset();
            testing::internal::CaptureStdout();
            evaluator::RunEvaluation();
            testing::internal::GetCapturedStdout();
            ASSERT_EQ(labtest::ReadText(runfiles::kFitness.Name()),
                      tuning::FitnessText(inProcess.Of(k)));
        }
    }
    tuning::ArbiterFitness program(ARBITER_PATH, dir.arbiter.string(), 60);
    for (int v = 0; v < 3; ++v) {
        const double fitness = program.Of(vectors[v]);
        EXPECT_EQ(program.LastText(), tuning::FitnessText(inProcess.Of(vectors[v])));
        EXPECT_EQ(tuning::FitnessText(fitness), program.LastText());
    }

    // A failed run counts as no fitness.
    std::filesystem::remove(dir.arbiter / runfiles::kRunLog.Name());
    EXPECT_TRUE(std::isinf(program.Of(vectors[0])));
    EXPECT_EQ(program.LastText(), "inf\n");
    tuning::ArbiterFitness missing("/nonexistent/arbiter", dir.arbiter.string(), 60);
    EXPECT_TRUE(std::isinf(missing.Of(vectors[0])));
    EXPECT_EQ(missing.Problem(), "cannot run /nonexistent/arbiter: No such file or directory");
}

TEST(InProcessFitness, RefusesWhatArbiterCannotScore) {
    const auto dir = labtest::MakeCaseDirectory();
    ASSERT_TRUE(demo::WriteDemoData(dir.root.string(), 1, 5));  // two trajectory records
    const std::string log = (dir.arbiter / runfiles::kRunLog.Name()).string();
    const std::string weights = dir.weights.string() + "/";
    testing::internal::CaptureStdout();
    EXPECT_FALSE(tuning::PrepareLogs(weights, {log}));
    EXPECT_FALSE(tuning::PrepareLogs(weights, {log + ".missing"}));
    labtest::WriteText(log, "12 words\n");
    EXPECT_FALSE(tuning::PrepareLogs(weights, {log}));
    std::filesystem::remove(dir.weights / runfiles::PonnetWeightFileName(2, -8, 1));
    EXPECT_FALSE(tuning::PrepareLogs(weights, {log}));
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_NE(console.find(log + ": No fitness computed: fewer than three trajectory records"),
              std::string::npos)
        << console;
    EXPECT_NE(console.find(".missing: No fitness computed: "), std::string::npos);
    EXPECT_NE(console.find(log + ": No fitness computed: " + log + " could not be read"),
              std::string::npos);
    EXPECT_NE(console.find("No fitness computed: the PONNET weights could not all be read"),
              std::string::npos);
}

// E = float(E + x), one square at a time.
float PlainSum(const std::vector<tuning::Lanes>& groups) {
    float e = 0.0f;
    for (std::size_t g = 0; g + 3 < groups.size(); g += 4) {
        for (int lane = 0; lane < tuning::kLanes; ++lane) {
            for (int m = 0; m < 4; ++m) {
                e = float(e + groups[g + m][lane]);
            }
        }
    }
    return e;
}

float GroupedSum(const std::vector<tuning::Lanes>& groups) {
    tuning::FloatSum sum;
    for (std::size_t g = 0; g + 3 < groups.size(); g += 4) {
        const tuning::Lanes columns[4] = {groups[g], groups[g + 1], groups[g + 2], groups[g + 3]};
        sum.AddGroup(columns);
    }
    return sum.Value();
}

// Squares of every scale, many of them ties at the float quantum (a large
// first value, then values of a few bits at half its quantum), zeros,
// subnormals, sums crossing binades, a NaN.
TEST(FloatSum, EqualsTheOneByOneChain) {
    std::mt19937 engine(4);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int run = 0; run < 400; ++run) {
        std::vector<tuning::Lanes> groups(4 * (1 + run % 40));
        const int scale = int(unit(engine) * 80) - 60;
        // Even runs: small squares onto a large sum, odd runs: squares of
        // the sum's own size, so that it crosses binades.
        const int small = run % 2 == 0 ? scale - 12 : scale;
        for (tuning::Lanes& column : groups) {
            for (int lane = 0; lane < tuning::kLanes; ++lane) {
                const double pick = unit(engine);
                double x = std::ldexp(unit(engine), small);
                if (pick < 0.3) {  // ties once E is about 2^scale: half a float quantum
                    x = std::ldexp(std::floor(unit(engine) * 8), scale - 24);
                } else if (pick < 0.35) {
                    x = 0.0;
                } else if (pick < 0.37) {
                    x = std::ldexp(unit(engine), -140);
                }
                column[lane] = x;
            }
        }
        if (run % 2 == 0) {
            groups[0][0] = std::ldexp(1.0 + unit(engine), scale);
        }
        const float plain = PlainSum(groups), grouped = GroupedSum(groups);
        ASSERT_EQ(std::memcmp(&plain, &grouped, sizeof plain), 0) << run << ": " << plain;
    }
    std::vector<tuning::Lanes> groups(8, tuning::Lanes{} + 0.25);
    groups[5][3] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(std::isnan(GroupedSum(groups)));
}

// The demo log made with the built-in vector; the search starts from a
// perturbed one and must end at least as good as the built-in vector.
TEST(Search, FromAPerturbedVectorBeatsTheBuiltInOne) {
    const auto dir = labtest::MakeCaseDirectory();
    ASSERT_TRUE(demo::WriteDemoData(dir.root.string(), 9, 600));
    tuning::InProcessFitness fitness({Prepare(dir)});
    std::array<double, 10> perturbed;
    for (int i = 0; i < 10; ++i) {
        perturbed[i] = std::clamp(fuzzy::kHybridRunVector[i] + (i % 3 == 0 ? 0.3 : -0.25), 0.0,
                                  i % 2 == 1 ? 2.0 : 1.0);
    }
    const Candidate start = AsRead(perturbed);
    const double builtIn = fitness.Of(BuiltIn());
    ASSERT_GT(fitness.Of(start), builtIn);

    for (const tuning::Method method : {tuning::Method::kLocal, tuning::Method::kGlobal}) {
        tuning::SearchSettings settings;
        settings.method = method;
        settings.budget = 4000;
        std::vector<std::pair<long, double>> progress;
        const auto report = [&progress](long n, double best) { progress.push_back({n, best}); };
        const tuning::SearchResult result = tuning::Search(fitness, start, settings, report);
        EXPECT_LE(result.fitness, builtIn);
        EXPECT_LE(result.evaluations, settings.budget);
        EXPECT_EQ(result.fitness, fitness.Of(result.best));
        for (int i = 0; i < 10; ++i) {
            const bool hedge = i % 2 == 1;
            EXPECT_GE(result.best[i], 0.0f);
            EXPECT_LE(result.best[i], hedge ? 2.0f : 1.0f);
        }
        ASSERT_FALSE(progress.empty());
        EXPECT_EQ(progress.front().first, 1);
        EXPECT_EQ(progress.back().second, result.fitness);

        // The same seed, the same search.
        const tuning::SearchResult again = tuning::Search(fitness, start, settings, {});
        EXPECT_EQ(again.best, result.best);
        EXPECT_EQ(again.evaluations, result.evaluations);
    }
}

// A fitness that fails everywhere but at one vector: the failures are
// counted and the only finite one is reported; with none, none is.
class FailingFitness : public tuning::Fitness {
  public:
    double Of(const Candidate& k) override {
        return k == BuiltIn() ? 1.0 : std::numeric_limits<double>::infinity();
    }
};

TEST(Search, NeverReportsANonFiniteFitness) {
    FailingFitness fitness;
    tuning::SearchSettings settings;
    settings.budget = 200;
    const tuning::SearchResult found = tuning::Search(fitness, BuiltIn(), settings, {});
    EXPECT_EQ(found.fitness, 1.0);
    EXPECT_EQ(found.best, BuiltIn());
    EXPECT_EQ(found.failed, found.evaluations - 1);

    Candidate elsewhere = BuiltIn();
    elsewhere[0] = 0.5f;
    const tuning::SearchResult none = tuning::Search(fitness, elsewhere, settings, {});
    EXPECT_TRUE(std::isinf(none.fitness));
    EXPECT_EQ(none.failed, none.evaluations);
}

labtest::ProgramRun RunIn(const std::filesystem::path& directory, const std::string& command) {
    return labtest::RunCommand("cd '" + directory.string() + "' && " + command + " 2>&1");
}

std::string LastLine(const std::string& text) {
    const std::size_t end = text.find_last_not_of('\n');
    const std::size_t start = text.rfind('\n', end);
    return text.substr(start == std::string::npos ? 0 : start + 1, end - start);
}

TEST(TuneFuzzy, TunesWritesCandidateAndArbiterAgrees) {
    const auto dir = labtest::MakeCaseDirectory();
    ASSERT_TRUE(demo::WriteDemoData(dir.root.string(), 3, 500));
    std::filesystem::create_directories(dir.root / "other" / demo::kWeightDirectory);
    std::filesystem::create_directories(dir.root / "other" / demo::kArbiterDirectory);
    ASSERT_TRUE(demo::WriteDemoData((dir.root / "other").string(), 4, 400));
    const std::string tool = TUNE_FUZZY_PATH;
    const labtest::ProgramRun run =
        RunIn(dir.arbiter,
              tool + " --budget 3000 --validate ../other/arbiter/" + runfiles::kRunLog.Name());
    ASSERT_EQ(run.status, 0) << run.console;
    const std::regex summary(
        "built-in ([0-9]+\\.[0-9]{6}) tuned ([0-9]+\\.[0-9]{6}) evaluations ([0-9]+) rate "
        "[0-9]+/s");
    std::smatch match;
    const std::string last = LastLine(run.console);
    ASSERT_TRUE(std::regex_match(last, match, summary)) << run.console;
    EXPECT_LE(std::stod(match[2]), std::stod(match[1]));
    EXPECT_LE(std::stol(match[3]), 3000);
    EXPECT_NE(run.console.find(std::string("validation ../other/arbiter/") +
                               runfiles::kRunLog.Name() + " built-in "),
              std::string::npos);
    const std::string progress = labtest::ReadText(dir.arbiter / "tune-progress.csv");
    EXPECT_EQ(progress.rfind("evaluation,best\n1,", 0), 0u) << progress;

    // arbiter, run there next, scores the written vector as reported.
    ASSERT_EQ(RunIn(dir.arbiter, ARBITER_PATH).status, 0);
    EXPECT_EQ(labtest::ReadText(dir.arbiter / runfiles::kFitness.Name()), match[2].str() + "\n");

    // The same seed, the same vector; through arbiter, the same text.
    const std::string tuned = labtest::ReadText(dir.arbiter / runfiles::kCandidate.Name());
    ASSERT_EQ(RunIn(dir.arbiter, tool + " --budget 3000").status, 0);
    EXPECT_EQ(labtest::ReadText(dir.arbiter / runfiles::kCandidate.Name()), tuned);
    const labtest::ProgramRun via =
        RunIn(dir.root, tool + " --budget 3 --via-arbiter arbiter --arbiter " + ARBITER_PATH +
                            " --progress arbiter/via.csv");
    ASSERT_EQ(via.status, 0) << via.console;
    EXPECT_NE(via.console.find("arbiter agrees: "), std::string::npos) << via.console;
    EXPECT_NE(LastLine(via.console).find(" evaluations 3 "), std::string::npos) << via.console;
}

// An arbiter that cannot be started or never ends stops the search with its
// reason, and the earlier progress is kept.
TEST(TuneFuzzy, AnArbiterThatCannotRunOrHangsIsNamedAndEndsTheSearch) {
    const auto dir = labtest::MakeCaseDirectory();
    ASSERT_TRUE(demo::WriteDemoData(dir.root.string(), 3, 40));
    const std::string via = std::string(TUNE_FUZZY_PATH) +
                            " --budget 3 --via-arbiter arbiter --progress arbiter/progress.csv ";
    labtest::WriteText(dir.arbiter / "progress.csv", "earlier\n");

    const labtest::ProgramRun missing = RunIn(dir.root, via + "--arbiter /nonexistent/arbiter");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.console.rfind(
                  "tune-fuzzy: cannot run /nonexistent/arbiter: No such file or directory\n", 0),
              0u)
        << missing.console;

    labtest::WriteText(dir.root / "hang.sh", "#!/bin/sh\nexec sleep 30\n");
    std::filesystem::permissions(dir.root / "hang.sh", std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    const labtest::ProgramRun hung =
        RunIn(dir.root, via + "--arbiter ./hang.sh --arbiter-timeout 1");
    EXPECT_EQ(hung.status, 1);
    EXPECT_EQ(hung.console.rfind("tune-fuzzy: " + (dir.root / "hang.sh").string() +
                                     " ran longer than 1 s and was killed\n",
                                 0),
              0u)
        << hung.console;
    EXPECT_EQ(labtest::ReadText(dir.arbiter / "progress.csv"), "earlier\n");
}

TEST(TuneFuzzy, RefusesUnscorableLogsAndBadOptions) {
    const auto dir = labtest::MakeCaseDirectory();
    ASSERT_TRUE(demo::WriteDemoData(dir.root.string(), 3, 5));
    const std::string tool = TUNE_FUZZY_PATH;
    const labtest::ProgramRun shortLog = RunIn(dir.arbiter, tool);
    EXPECT_EQ(shortLog.status, 1);
    EXPECT_NE(shortLog.console.find("No fitness computed: fewer than three trajectory records"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.arbiter / "tune-progress.csv"));

    EXPECT_EQ(RunIn(dir.arbiter, tool + " --hedge-low 1 --hedge-high 1").status, 2);
    EXPECT_EQ(RunIn(dir.arbiter, tool + " --via-arbiter . " + runfiles::kRunLog.Name()).status, 2);
    const labtest::ProgramRun method = RunIn(dir.arbiter, tool + " --method fast");
    EXPECT_EQ(method.status, 2);
    EXPECT_NE(method.console.find("method 'fast' is not one of local, global"), std::string::npos);
}

TEST(TuneFuzzy, RefusesNonFiniteLogsAndStartVectorsBeforeTheSearch) {
    const auto dir = labtest::MakeCaseDirectory();
    ASSERT_TRUE(demo::WriteDemoData(dir.root.string(), 3, 40));
    const std::string tool = TUNE_FUZZY_PATH;
    labtest::WriteText(dir.arbiter / "tune-progress.csv", "evaluation,best\n1,0.5\n");
    labtest::WriteText(dir.arbiter / "nan.txt", "0 0 0 nan 0 0 0 0 0 0\n");
    const labtest::ProgramRun start = RunIn(dir.arbiter, tool + " --start nan.txt");
    EXPECT_EQ(start.status, 1);
    EXPECT_NE(start.console.find("the start vector nan.txt: K3 is not a finite number"),
              std::string::npos)
        << start.console;

    std::vector<runfiles::PressureLogRecord> log;
    for (int j = 0; j < 40; ++j) {
        log.push_back(labtest::LogRecord({0, 10 * j, 5 * j, 40 * j, -40 * j}, 1.0f));
    }
    log[7].measured[2] = std::numeric_limits<float>::quiet_NaN();
    labtest::WriteLog(dir.arbiter / runfiles::kRunLog.Name(), log);
    const labtest::ProgramRun nan = RunIn(dir.arbiter, tool);
    EXPECT_EQ(nan.status, 1);
    EXPECT_NE(
        nan.console.find(std::string("No fitness computed: the measured pressures of line 8 of ") +
                         runfiles::kRunLog.Name() + " are not all finite numbers"),
        std::string::npos)
        << nan.console;
    EXPECT_EQ(labtest::ReadText(dir.arbiter / "tune-progress.csv"), "evaluation,best\n1,0.5\n");
}

TEST(TuneFuzzy, ReplacesItsFilesWholeAndNeverADevice) {
    const auto dir = labtest::MakeCaseDirectory();
    ASSERT_TRUE(demo::WriteDemoData(dir.root.string(), 3, 40));
    const std::string tool = std::string(TUNE_FUZZY_PATH) + " --budget 20";
    labtest::WriteText(dir.arbiter / "tune-progress.csv", "evaluation,best\n1,0.5\n");
    const labtest::ProgramRun device = RunIn(dir.arbiter, tool + " --progress /dev/full");
    EXPECT_EQ(device.status, 1);
    EXPECT_NE(device.console.find("tune-fuzzy: cannot create /dev/full"), std::string::npos)
        << device.console;
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
    EXPECT_FALSE(std::filesystem::exists("/dev/full.new"));

    ASSERT_EQ(RunIn(dir.arbiter, tool).status, 0);
    EXPECT_NE(labtest::ReadText(dir.arbiter / "tune-progress.csv"), "evaluation,best\n1,0.5\n");
    EXPECT_FALSE(std::filesystem::exists(dir.arbiter / "tune-progress.csv.new"));
    EXPECT_FALSE(
        std::filesystem::exists(dir.arbiter / (std::string(runfiles::kCandidate.Name()) + ".new")));
}

}  // namespace
