#include "runs/run_record.h"

#include <string>

#include "figures/figures.h"
#include "model/ponnet_model.h"
#include "trajectory/trajectory.h"

namespace runs {

std::array<std::string, arm::kMuscleCount> ValveNetworkFiles() {
    std::array<std::string, arm::kMuscleCount> files;
    for (int m = 0; m < arm::kMuscleCount; ++m) {
        files[m] = runfiles::kValveWeights.RelativePath(m + 1);
    }
    return files;
}

void RecordRunInputs(notebook::Recorder& recorder) {
    for (const char* file : kLinkNetworkFiles) {
        recorder.Input(file);
    }
    for (const std::string& file : ValveNetworkFiles()) {
        recorder.Input(file);
    }
    recorder.Input(kVelocityTrajectoryFile);
    recorder.Input(kConsoleWeightDirectory);
    recorder.Input(kDynamicTermsFile);
    recorder.Input(kEncoderTrajectoryFile);
}

notebook::Outcome NotebookOutcome(RunEnd end, bool filesWritten) {
    switch (end) {
        case RunEnd::kCompleted:
            return filesWritten ? notebook::Outcome::kCompleted : notebook::Outcome::kFailed;
        case RunEnd::kRefusedAtStart:
            return notebook::Outcome::kRefused;
        case RunEnd::kEmergencyStop:
        case RunEnd::kLimitSwitch:
            break;
    }
    return notebook::Outcome::kStopped;
}

std::vector<notebook::Figure> RunFigures(const RunResult& result) {
    std::vector<notebook::Figure> figures = {{"samples", double(result.timing.samples)}};
    std::string problem;
    if (const auto run = figures::ReadRunFigures(".", problem)) {
        figures.push_back({"pressure_rms_bar", run->pressureRms});
        figures.push_back({"joint_rms_deg", run->jointRmsDegrees});
        figures.push_back({"saturated_samples", double(run->saturation.samples)});
    }
    return figures;
}

}  // namespace runs
