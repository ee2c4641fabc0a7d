// A control run's working directory for the run benchmarks: the demo
// PONNET, valve and link networks and the standard sine trajectory (1329
// lines), with which a run goes the whole way without a limit switch.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tools/demo_data.h"
#include "trajectory/trajectory.h"

namespace runbench {

class RunCase {
  public:
    RunCase()
        : root_(std::filesystem::temp_directory_path() /
                ("runs-bench-" + std::to_string(getpid()))),
          previous_(std::filesystem::current_path()) {
        std::filesystem::create_directories(root_ / demo::kWeightDirectory);
        std::filesystem::create_directories(root_ / demo::kArbiterDirectory);
        ok_ = demo::WriteDemoData(root_.string(), 1, 10) &&
              std::system(
                  (std::string(MAKE_DEMO_NETWORKS) + " --dir " + root_.string() + " > /dev/null")
                      .c_str()) == 0;
        std::filesystem::current_path(root_);
        int sine = 1, ramp = 0, step = 0;
        float amplitude = 100.0f, frequency = 0.5f;
        ok_ = ok_ && GenerateTrajectory(&sine, &ramp, &step, &amplitude, &frequency);
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
