// A control run's working directory for the run benchmarks: the demo
// PONNET, valve and link networks and the standard sine trajectory (1329
// lines), with which a run goes the whole way without a limit switch.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/demo_directory.h"
#include "trajectory/trajectory.h"

namespace runbench {

class RunCase {
  public:
    RunCase() {
        int sine = 1, ramp = 0, step = 0;
        float amplitude = 100.0f, frequency = 0.5f;
        ok_ = demo_.ok() &&
              std::system((std::string(MAKE_DEMO_NETWORKS) + " --dir " + demo_.root().string() +
                           " > /dev/null")
                              .c_str()) == 0 &&
              GenerateTrajectory(&sine, &ramp, &step, &amplitude, &frequency);
    }

    bool ok() const { return ok_; }

  private:
    benchdemo::DemoDirectory demo_{"runs-bench", 10, "."};
    bool ok_ = false;
};

}  // namespace runbench
