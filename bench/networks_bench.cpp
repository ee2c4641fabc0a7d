// Evaluation cost of the valve and link networks at the sizes the control
// runs use (20 hidden neurons per valve network, 50 per link network). Each
// control sample evaluates four valve and two link networks within 20 ms.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "networks/networks.h"
#include "runfiles/catalogue.h"

namespace {

using networks::NetworkWeights;

// Random weights of the given shape, written where the networks look for
// them: ./NeuralFiles/ of a fresh temporary working directory.
class NetworkFiles {
  public:
    NetworkFiles() : previous_(std::filesystem::current_path()) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "networks_bench.XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::abort();
        }
        directory_ = pattern;
        std::filesystem::create_directory(directory_ / "NeuralFiles");
        std::filesystem::current_path(directory_);
    }
    ~NetworkFiles() {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(directory_);
    }

    void Write(const std::string& name, int hidden, int inputs, int outputs) {
        NetworkWeights w = NetworkWeights::Zero(hidden, inputs, outputs);
        std::normal_distribution<float> value(0.0f, 1.0f);
        for (auto* block : {&w.outputWeights, &w.outputBiases, &w.inputWeights, &w.hiddenBiases}) {
            for (float& x : *block) {
                x = value(engine_);
            }
        }
        networks::WriteWeightFile("./NeuralFiles/" + name, w);
    }

  private:
    std::filesystem::path previous_;
    std::filesystem::path directory_;
    std::mt19937 engine_{1};
};

void BM_AnnetEvaluate(benchmark::State& state) {
    NetworkFiles files;
    files.Write(runfiles::kValveWeights.Name(1), int(state.range(0)), 6, 1);
    networks::AnnetModel model(1);
    if (!model.LoadWeights()) {
        state.SkipWithError("weights not loaded");
    }
    float p = 2.0f, volts = 0.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(p);
        model.Evaluate({p, p, p, 0.01f, 0.02f, 0.001f}, volts);
        benchmark::DoNotOptimize(volts);
    }
}
BENCHMARK(BM_AnnetEvaluate)->Arg(20);

void BM_DoubleLinkEvaluate(benchmark::State& state) {
    NetworkFiles files;
    files.Write(runfiles::kDoubleLinkWeights.Name(), int(state.range(0)), 2, 2);
    networks::DoubleLinkModel model;
    if (!model.LoadWeights()) {
        state.SkipWithError("weights not loaded");
    }
    float velocity = 0.3f, shoulder = 0.0f, elbow = 0.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(velocity);
        model.Evaluate(velocity, -velocity, shoulder, elbow);
        benchmark::DoNotOptimize(shoulder);
        benchmark::DoNotOptimize(elbow);
    }
}
BENCHMARK(BM_DoubleLinkEvaluate)->Arg(20)->Arg(50);

void BM_UpperLinkEvaluate(benchmark::State& state) {
    NetworkFiles files;
    files.Write(runfiles::kUpperLinkWeights.Name(), int(state.range(0)), 1, 1);
    networks::UpperLinkModel model;
    if (!model.LoadWeights()) {
        state.SkipWithError("weights not loaded");
    }
    float velocity = 0.25f, volts = 0.0f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(velocity);
        model.Evaluate(velocity, volts);
        benchmark::DoNotOptimize(volts);
    }
}
BENCHMARK(BM_UpperLinkEvaluate)->Arg(20)->Arg(50);

}  // namespace

BENCHMARK_MAIN();
