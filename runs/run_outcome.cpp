// The operator's one-line account of how a run ended.
#include <cstdio>

#include "runs/runs.h"

namespace runs {

OutcomeLine DescribeOutcome(const RunResult& result) {
    OutcomeLine line;
    const int ran = result.timing.samples;
    switch (result.end) {
        case RunEnd::kRefusedAtStart:
            std::snprintf(line.text, sizeof line.text, "Run not started: %s", result.problem);
            break;
        case RunEnd::kEmergencyStop:
            std::snprintf(line.text, sizeof line.text,
                          "Run stopped by the emergency stop at sample %d of %d", ran,
                          result.sampleTotal);
            break;
        case RunEnd::kLimitSwitch:
            std::snprintf(line.text, sizeof line.text,
                          "Run stopped by a limit switch at sample %d of %d", ran,
                          result.sampleTotal);
            break;
        case RunEnd::kCompleted:
            if (const int late = result.timing.samplesOver20Ms; late > 0) {
                std::snprintf(line.text, sizeof line.text, "%d %s overran 20 ms", late,
                              late == 1 ? "sample" : "samples");
            }
            break;
    }
    return line;
}

}  // namespace runs
