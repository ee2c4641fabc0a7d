// A control run's working directory for the run benchmarks: the demo
// PONNET and valve networks, the standard sine trajectory (1329 lines) and
// link networks of the demo networks' size whose outputs are 0 V. The demo
// link networks are not matched to the lab's motors and would drive the
// carriage onto its limit switch within a few seconds; a benchmark needs
// the whole run.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "networks/weight_file.h"
#include "tools/demo_data.h"
#include "trajectory/trajectory.h"

namespace runbench {

constexpr int kDemoLinkHidden = 50;

class RunCase {
  public:
    RunCase()
        : root_(std::filesystem::temp_directory_path() /
                ("runs-bench-" + std::to_string(getpid()))),
          previous_(std::filesystem::current_path()) {
        std::filesystem::create_directories(root_);
        ok_ = demo::WriteDemoData(root_.string(), 1, 10) &&
              std::system((std::string(MAKE_DEMO_NETWORKS) + " --dir " + root_.string() +
                           " > /dev/null")
                              .c_str()) == 0;
        std::filesystem::current_path(root_);
        int sine = 1, ramp = 0, step = 0;
        float amplitude = 100.0f, frequency = 0.5f;
        ok_ = ok_ && GenerateTrajectory(&sine, &ramp, &step, &amplitude, &frequency) &&
              networks::WriteWeightFile("NeuralFiles/WeightsUpperLink.txt",
                                        networks::NetworkWeights::Zero(kDemoLinkHidden, 1, 1)) &&
              networks::WriteWeightFile("NeuralFiles/WeightsDoubleLink.txt",
                                        networks::NetworkWeights::Zero(kDemoLinkHidden, 2, 2));
    }
    ~RunCase() {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(root_);
    }
    RunCase(const RunCase&) = delete;
    RunCase& operator=(const RunCase&) = delete;

    bool ok() const { return ok_; }

  private:
    std::filesystem::path root_, previous_;
    bool ok_ = false;
};

}  // namespace runbench
