// The experiment recording: a header line, then one tab-separated line per
// period. Written by the experiments, drawn by run-report.
#pragma once

#include "runfiles/catalogue.h"

namespace experiments {

// Where the recording goes unless told otherwise, in the lab directory.
inline constexpr const char* kRecordingFile = runfiles::kExperimentRecording.RelativePath();
inline constexpr const char* kRecordingHeader =
    "# time_ms valve1 valve2 valve3 valve4 motor1 motor2 motor3 pressure1 pressure2 "
    "pressure3 pressure4 encoder1 encoder2 encoder3 encoder4 encoder5 joint_deg";
// Numbers on each line after the header.
inline constexpr int kRecordingColumns = runfiles::kExperimentRecording.columns;

}  // namespace experiments
