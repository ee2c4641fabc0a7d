// The catalogue of the lab directory's files: one entry per file, with its
// path from the lab's working directory, what one line holds and how many
// lines it has against the trajectory of N samples (the desired encoder
// counts, one line per sample). Every program that writes or reads one of
// these files names it through its entry here.
#pragma once

#include <string>

#include "runfiles/run_files.h"

namespace runfiles {

// How many lines a file has.
enum class Lines {
    kPerSample,  // N + lineOffset lines for a trajectory of N samples
    kOwn,        // as many as the procedure that wrote it recorded
    kOne,        // a single line
    kLayout,     // a weight file: the lines its own header declares
};

struct LabFile {
    // From the lab's working directory; files arbiter reads or writes in a
    // directory of its own are opened there by Name().
    const char* path;
    int columns;  // numbers per line; 0 for a weight file
    Lines lines;
    int lineOffset = 0;  // with Lines::kPerSample
    // The columns' names and units, tab-separated; empty until named.
    const char* columnNames = "";
    const char* units = "";

    // The file name without its directory.
    constexpr const char* Name() const {
        const char* name = path;
        for (const char* c = path; *c != '\0'; ++c) {
            if (*c == '/') {
                name = c + 1;
            }
        }
        return name;
    }
    // The path below another lab directory `dir` instead of ".".
    std::string In(const std::string& dir) const { return dir + "/" + RelativePath(); }
    // The path without the leading "./".
    constexpr const char* RelativePath() const {
        return path[0] == '.' && path[1] == '/' ? path + 2 : path;
    }
};

// Files that come one per muscle (or per network): the path is the prefix,
// the muscle's number and ".txt".
struct NumberedLabFile {
    const char* prefix;
    int columns;
    Lines lines;
    std::string Path(int number) const { return prefix + std::to_string(number) + ".txt"; }
    // The path without the leading "./".
    std::string RelativePath(int number) const { return Path(number).substr(2); }
    // The file name of `number` without its directory.
    std::string Name(int number) const {
        const std::string path = Path(number);
        return path.substr(path.rfind('/') + 1);
    }
};

// The directory below the lab's working directory that holds these files,
// and the PONNET weights' directory inside it.
inline constexpr const char* kLabDirectory = "NeuralFiles";
inline constexpr const char* kPonnetDirectory = "NeuralFiles/WeightsPONNET";

// The trajectory: desired velocities (counts per ms of axes 0, 1, 2),
// desired encoder counts of axes 0, 1, 2, and one TrajectoryRecord of
// dynamic terms per inner sample.
inline constexpr LabFile kVelocityTrajectory{"./NeuralFiles/SinVelocityTrajectoryDesired.txt", 3,
                                             Lines::kPerSample, -1};
inline constexpr LabFile kEncoderTrajectory{"./NeuralFiles/SinTrajectoryEncoderOutputDesired.txt",
                                            3, Lines::kPerSample, 0};
inline constexpr LabFile kDynamicTerms{"./NeuralFiles/SinTrajectoryALLWeights.txt",
                                       TrajectoryRecord::kFieldCount, Lines::kPerSample, -3};

// A control run's logs: one PressureLogRecord per sample driven, the
// encoder counts and the measured pressures per sample, and the work time
// of every sample.
inline constexpr LabFile kRunLog{"./NeuralFiles/LogALLANNETPressures.txt",
                                 PressureLogRecord::kFieldCount, Lines::kPerSample, -2};
inline constexpr LabFile kRunEncoderLog{"./NeuralFiles/ALLTrajectoryActualEncoders.txt", 6,
                                        Lines::kPerSample, -2};
inline constexpr LabFile kRunPressureLog{"./NeuralFiles/ALLTrajectoryActualPressureValues.txt", 5,
                                         Lines::kPerSample, -2};
inline constexpr LabFile kRunTimeLog{"./NeuralFiles/LogTimeALL.txt", 1, Lines::kPerSample, -2};

// The motor procedures' recordings: the excitation's commands, velocities
// and counts with its work times, and the velocity-tracking test's
// velocities and counts.
inline constexpr LabFile kMotorVoltages{"./NeuralFiles/VoltageTrainDoubleLink_Input.txt", 3,
                                        Lines::kOwn};
inline constexpr LabFile kMotorVelocities{"./NeuralFiles/VelocitiesTrainDouble_Output.txt", 3,
                                          Lines::kOwn};
inline constexpr LabFile kMotorEncoders{"./NeuralFiles/EncoderTrainDouble_Output.txt", 3,
                                        Lines::kOwn};
inline constexpr LabFile kMotorTimeLog{"./NeuralFiles/LogTimeMotors.txt", 1, Lines::kOwn};
inline constexpr LabFile kTrackedVelocities{"./NeuralFiles/SinTrajectoryActualVelocityOutput.txt",
                                            3, Lines::kPerSample, -1};
inline constexpr LabFile kTrackedEncoders{"./NeuralFiles/SinTrajectoryActualEncoderOutput.txt", 3,
                                          Lines::kPerSample, -1};

// The pressure procedures' recordings: each valve's commands and pressures,
// and the combined run's counts, pressures and desired pressures.
inline constexpr NumberedLabFile kValveRecording{"./NeuralFiles/TrainPressureVoltageANNET", 3,
                                                 Lines::kOwn};
inline constexpr LabFile kCombinedEncoders{"./NeuralFiles/ALLTrainDataEncoders.txt", 5,
                                           Lines::kPerSample, -1};
inline constexpr LabFile kCombinedPressures{"./NeuralFiles/ALLTrainFilteredPressureValues.txt", 4,
                                            Lines::kPerSample, -1};
inline constexpr LabFile kCombinedDesiredPressures{"./NeuralFiles/ALLDesiredPressureTrajectory.txt",
                                                   4, Lines::kPerSample, -1};

// The networks' weight files and the trainer's reports on them.
inline constexpr NumberedLabFile kValveWeights{"./NeuralFiles/WeightsANNET", 0, Lines::kLayout};
inline constexpr LabFile kDoubleLinkWeights{"./NeuralFiles/WeightsDoubleLink.txt", 0,
                                            Lines::kLayout};
inline constexpr LabFile kUpperLinkWeights{"./NeuralFiles/WeightsUpperLink.txt", 0, Lines::kLayout};
inline constexpr LabFile kPonnetGeneralWeights{"./NeuralFiles/WeightsPONNET/GeneralWeights.txt", 0,
                                               Lines::kLayout};
inline constexpr LabFile kValveTrainingReport{"./NeuralFiles/TrainingReportValves.csv", 0,
                                              Lines::kOwn};
inline constexpr LabFile kLinkTrainingReport{"./NeuralFiles/TrainingReportLinks.csv", 0,
                                             Lines::kOwn};
inline constexpr LabFile kPonnetTrainingReport{"./NeuralFiles/WeightsPONNET/TrainingReport.csv", 0,
                                               Lines::kOwn};

// arbiter's files, plain names in its working directory beside the run log
// it scores: the candidate, the fitness, the replay input derived from the
// log (one TrajectoryRecord per inner log record) and the predictions.
inline constexpr LabFile kCandidate{"KFFile.txt", CandidateFile::kCapacity, Lines::kOne};
inline constexpr LabFile kFitness{"FEval.txt", 1, Lines::kOne};
inline constexpr LabFile kReplayInput{"SimALLWeights.txt", TrajectoryRecord::kFieldCount,
                                      Lines::kPerSample, -5};
inline constexpr LabFile kFuzzyPressureLog{"SimLOGFuzzyPressures.txt", 8, Lines::kPerSample, -7};

}  // namespace runfiles
