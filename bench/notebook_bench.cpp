// The lab notebook's costs. Goals: archiving a whole hybrid run (its 289
// PONNET files, six networks and three trajectory files as inputs, its four
// logs as outputs, the manifest and the index row) under 50 ms; `list` over
// 10 000 archived actions under 100 ms.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/quiet_stdout.h"
#include "notebook/notebook.h"
#include "runfiles/catalogue.h"
#include "tools/demo_data.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSamples = 1325;

fs::path ScratchDirectory(const char* name) {
    const fs::path dir =
        fs::temp_directory_path() / (std::string(name) + "_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / demo::kWeightDirectory);
    fs::create_directories(dir / demo::kArbiterDirectory);
    return dir;
}

// A file of `lines` lines of tab-separated numbers, as the run files are.
void WriteNumbers(const fs::path& path, int lines, int columns) {
    std::ofstream out(path);
    for (int i = 0; i < lines; ++i) {
        for (int c = 0; c < columns; ++c) {
            out << (c == 0 ? "" : "\t") << (i * 0.001 + c);
        }
        out << '\n';
    }
}

// A lab directory as a hybrid run leaves it: weights, trajectory and logs.
fs::path MakeRunLab() {
    const fs::path lab = ScratchDirectory("notebook_bench_run");
    demo::WriteDemoData(lab.string(), 1, kSamples);
    fs::rename(lab / demo::kArbiterDirectory / runfiles::kRunLog.Name(),
               lab / runfiles::kRunLog.RelativePath());
    for (int m = 1; m <= 4; ++m) {
        WriteNumbers(lab / runfiles::kValveWeights.RelativePath(m), 80, 1);
    }
    for (const char* network : {runfiles::kDoubleLinkWeights.RelativePath(),
                                runfiles::kUpperLinkWeights.RelativePath()}) {
        WriteNumbers(lab / network, 80, 1);
    }
    WriteNumbers(lab / runfiles::kDynamicTerms.RelativePath(), kSamples + 4, 14);
    WriteNumbers(lab / runfiles::kVelocityTrajectory.RelativePath(), kSamples + 6, 3);
    WriteNumbers(lab / runfiles::kEncoderTrajectory.RelativePath(), kSamples + 7, 3);
    WriteNumbers(lab / runfiles::kRunPressureLog.RelativePath(), kSamples, 12);
    WriteNumbers(lab / runfiles::kRunEncoderLog.RelativePath(), kSamples, 5);
    std::ofstream(lab / runfiles::kRunTimeLog.RelativePath());
    return lab;
}

void ArchiveRun(const fs::path& lab) {
    notebook::Recorder recorder(lab, lab, "lab-run hybrid", {"hybrid"});
    for (const char* input :
         {runfiles::kDoubleLinkWeights.RelativePath(), runfiles::kUpperLinkWeights.RelativePath(),
          runfiles::kVelocityTrajectory.RelativePath(), runfiles::kPonnetDirectory,
          runfiles::kDynamicTerms.RelativePath(), runfiles::kEncoderTrajectory.RelativePath()}) {
        recorder.Input(input);
    }
    for (int m = 1; m <= 4; ++m) {
        recorder.Input(runfiles::kValveWeights.RelativePath(m));
    }
    for (const char* output :
         {runfiles::kRunLog.RelativePath(), runfiles::kRunPressureLog.RelativePath(),
          runfiles::kRunEncoderLog.RelativePath(), runfiles::kRunTimeLog.RelativePath()}) {
        recorder.Output(output);
    }
    recorder.Record("samples", kSamples);
    recorder.Set("fuzzy_vector",
                 "0.1489 0.602 0.2659 0.0067 0.5735 0.5266 0.6143 0.1722 "
                 "0.8195 0.5964");
    if (!recorder.Finish(notebook::Outcome::kCompleted, "hybrid: 1325 samples, completed")) {
        std::fprintf(stderr, "archive failed\n");
    }
}

// The first run with these inputs: their contents are stored too.
void BM_ArchiveRunNewInputs(benchmark::State& state) {
    const fs::path lab = MakeRunLab();
    const QuietStdout quiet;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(lab / notebook::kArchiveDirectory);
        state.ResumeTiming();
        ArchiveRun(lab);
    }
    fs::remove_all(lab);
}
BENCHMARK(BM_ArchiveRunNewInputs)->Unit(benchmark::kMillisecond);

// A later run with the same networks and trajectory.
void BM_ArchiveRunKnownInputs(benchmark::State& state) {
    const fs::path lab = MakeRunLab();
    const QuietStdout quiet;
    ArchiveRun(lab);
    for (auto _ : state) {
        ArchiveRun(lab);
    }
    fs::remove_all(lab);
}
BENCHMARK(BM_ArchiveRunKnownInputs)->Unit(benchmark::kMillisecond);

// `lab-notebook list` over a generated archive of 10 000 actions: the index
// query and the look for entries the index lacks.
void BM_List10000(benchmark::State& state) {
    const fs::path lab = ScratchDirectory("notebook_bench_list");
    const fs::path archive = lab / notebook::kArchiveDirectory;
    for (int i = 0; i < 10000; ++i) {
        notebook::Manifest m;
        char id[64];
        std::snprintf(id, sizeof id, "20261207T%06d.000Z-lab-run-hybrid", i);
        m.id = id;
        m.action = "lab-run hybrid";
        m.arguments = {"hybrid"};
        m.directory = lab.string();
        m.started = m.ended = "2026-12-07T00:00:00.000Z";
        m.detail = "hybrid: 1325 samples, completed";
        m.inputs = {{"NeuralFiles/WeightsPONNET/", std::string(64, 'a' + i % 6)},
                    {runfiles::kDynamicTerms.RelativePath(), std::string(64, 'b')}};
        m.outputs = {{runfiles::kRunLog.RelativePath(), std::to_string(i)}};
        m.figures = {{"samples", 1325}, {"joint_rms_deg", i * 0.001}};
        std::string problem;
        fs::create_directories(archive / m.id);
        notebook::WriteManifest(archive / m.id / notebook::kManifestFile, m, problem);
    }
    std::vector<std::string> warnings;
    std::string problem;
    if (notebook::RebuildIndex(lab, warnings, problem) != 10000) {
        state.SkipWithError(problem.c_str());
    }
    for (auto _ : state) {
        const auto rows = notebook::List(lab, {}, problem);
        benchmark::DoNotOptimize(rows);
        benchmark::DoNotOptimize(notebook::UnindexedEntries(lab));
    }
    fs::remove_all(lab);
}
BENCHMARK(BM_List10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
