// The catalogue of the lab directory's files: one entry per file, with its
// path from the lab's working directory, what one line holds and how many
// lines it has against the trajectory of N samples (the desired encoder
// counts, one line per sample). Every program that writes or reads one of
// these files names it through its entry here.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "runfiles/run_files.h"

namespace runfiles {

// The directory below the lab's working directory that holds these files,
// and the PONNET weights' directory inside it.
inline constexpr const char* kLabDirectory = "NeuralFiles";
inline constexpr const char* kPonnetDirectory = "NeuralFiles/WeightsPONNET";

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
    // The columns, in order, as groups separated by "; ": a name and its
    // unit after a space where it has one ("pressure bar"); "valve1-4 V"
    // stands for valve1 to valve4. See Columns().
    const char* columnList = "";

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
    // The path below kLabDirectory ("WeightsPONNET/GeneralWeights.txt"), for
    // a file that lies there.
    constexpr const char* BelowLabDirectory() const {
        return RelativePath() + std::char_traits<char>::length(kLabDirectory) + 1;
    }
};

// Files that come one per muscle (or per network): the path is the prefix,
// the muscle's number and ".txt".
struct NumberedLabFile {
    const char* prefix;
    int columns;
    Lines lines;
    const char* columnList = "";  // as LabFile's
    std::string Path(int number) const { return prefix + std::to_string(number) + ".txt"; }
    // The path without the leading "./".
    std::string RelativePath(int number) const { return Path(number).substr(2); }
    // The path of `number` below another lab directory `dir` instead of ".".
    std::string In(const std::string& dir, int number) const {
        return dir + "/" + RelativePath(number);
    }
    // The prefix without the leading "./".
    constexpr const char* RelativePrefix() const { return prefix + 2; }
    // The file name of `number` without its directory.
    std::string Name(int number) const {
        const std::string path = Path(number);
        return path.substr(path.rfind('/') + 1);
    }
};

// The fourteen fields of a TrajectoryRecord: the joint and sum angles, then
// the arm's dynamic terms (runfiles/trajectory_terms.h).
inline constexpr const char* kTrajectoryColumns =
    "joint deg; sum_angle deg; shoulder_accel rad_s2; cos_joint_x_shoulder_accel rad_s2; "
    "cos_elbow_joint_x_shoulder_accel rad_s2; elbow_accel rad_s2; cos_joint_x_elbow_accel rad_s2; "
    "joint_accel rad_s2; sin_joint_x_shoulder_rate_sq rad2_s2; sin_elbow_joint_x_shoulder_rate_sq "
    "rad2_s2; sin_joint_x_shoulder_x_elbow_rate rad2_s2; sin_joint_x_elbow_rate_sq rad2_s2; "
    "sin_shoulder_elbow_joint; sum_accel rad_s2";

// The trajectory: desired velocities (counts per ms of axes 0, 1, 2),
// desired encoder counts of axes 0, 1, 2, and one TrajectoryRecord of
// dynamic terms per inner sample.
inline constexpr LabFile kVelocityTrajectory{"./NeuralFiles/SinVelocityTrajectoryDesired.txt", 3,
                                             Lines::kPerSample, -1,
                                             "desired_velocity1-3 counts_per_ms"};
inline constexpr LabFile kEncoderTrajectory{"./NeuralFiles/SinTrajectoryEncoderOutputDesired.txt",
                                            3, Lines::kPerSample, 0, "desired_encoder1-3 counts"};
inline constexpr LabFile kDynamicTerms{"./NeuralFiles/SinTrajectoryALLWeights.txt",
                                       TrajectoryRecord::kFieldCount, Lines::kPerSample, -3,
                                       kTrajectoryColumns};

// A control run's logs: one PressureLogRecord per sample driven, the
// encoder counts and the measured pressures per sample, and the work time
// of every sample.
inline constexpr LabFile kRunLog{
    "./NeuralFiles/LogALLANNETPressures.txt", PressureLogRecord::kFieldCount, Lines::kPerSample, -2,
    "sample; desired_pressure1-4 bar; pressure1-4 bar; valve1-4 V; encoder1-5 counts"};
inline constexpr LabFile kRunEncoderLog{"./NeuralFiles/ALLTrajectoryActualEncoders.txt", 6,
                                        Lines::kPerSample, -2, "encoder1-5 counts; sample"};
inline constexpr LabFile kRunPressureLog{"./NeuralFiles/ALLTrajectoryActualPressureValues.txt", 5,
                                         Lines::kPerSample, -2, "sample; pressure1-4 bar"};
inline constexpr LabFile kRunTimeLog{"./NeuralFiles/LogTimeALL.txt", 1, Lines::kPerSample, -2,
                                     "work_time ms"};

// The motor procedures' recordings: the excitation's commands, velocities
// and counts with its work times, and the velocity-tracking test's
// velocities and counts.
inline constexpr LabFile kMotorVoltages{"./NeuralFiles/VoltageTrainDoubleLink_Input.txt", 3,
                                        Lines::kOwn, 0, "motor1-3 V"};
inline constexpr LabFile kMotorVelocities{"./NeuralFiles/VelocitiesTrainDouble_Output.txt", 3,
                                          Lines::kOwn, 0, "velocity1-3 counts_per_ms"};
inline constexpr LabFile kMotorEncoders{"./NeuralFiles/EncoderTrainDouble_Output.txt", 3,
                                        Lines::kOwn, 0, "encoder1-3 counts"};
inline constexpr LabFile kMotorTimeLog{"./NeuralFiles/LogTimeMotors.txt", 1, Lines::kOwn, 0,
                                       "work_time ms"};
inline constexpr LabFile kTrackedVelocities{"./NeuralFiles/SinTrajectoryActualVelocityOutput.txt",
                                            3, Lines::kPerSample, -1, "velocity1-3 counts_per_ms"};
inline constexpr LabFile kTrackedEncoders{"./NeuralFiles/SinTrajectoryActualEncoderOutput.txt", 3,
                                          Lines::kPerSample, -1, "encoder1-3 counts"};

// The pressure procedures' recordings: each valve's commands and pressures,
// and the combined run's counts, pressures and desired pressures.
inline constexpr NumberedLabFile kValveRecording{"./NeuralFiles/TrainPressureVoltageANNET", 3,
                                                 Lines::kOwn,
                                                 "valve V; pressure bar; pressure_rate bar_per_ms"};
inline constexpr LabFile kCombinedEncoders{"./NeuralFiles/ALLTrainDataEncoders.txt", 5,
                                           Lines::kPerSample, -1, "encoder1-5 counts"};
inline constexpr LabFile kCombinedPressures{"./NeuralFiles/ALLTrainFilteredPressureValues.txt", 4,
                                            Lines::kPerSample, -1, "pressure1-4 bar"};
inline constexpr LabFile kCombinedDesiredPressures{"./NeuralFiles/ALLDesiredPressureTrajectory.txt",
                                                   4, Lines::kPerSample, -1,
                                                   "desired_pressure1-4 bar"};

// An experiment's recording (its default place): a header line starting
// with '#', then a line per period.
inline constexpr LabFile kExperimentRecording{
    "./NeuralFiles/ExperimentRecording.txt", 18, Lines::kOwn, 0,
    "time ms; valve1-4 V; motor1-3 V; pressure1-4 bar; encoder1-5 counts; joint deg"};

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
// A PONNET network's weight file in kPonnetDirectory: the muscle's number,
// the angle label of its bin in degrees and "f.txt" or "b.txt" for set 0 or
// 1 ("3-8b.txt").
std::string PonnetWeightFileName(int muscle, int binLabel, int set);
inline constexpr LabFile kPonnetTrainingReport{"./NeuralFiles/WeightsPONNET/TrainingReport.csv", 0,
                                               Lines::kOwn};

// arbiter's files, plain names in its working directory beside the run log
// it scores: the candidate, the fitness, the replay input derived from the
// log (one TrajectoryRecord per inner log record) and the predictions.
inline constexpr LabFile kCandidate{"KFFile.txt", CandidateFile::kCapacity, Lines::kOne, 0, "k0-9"};
inline constexpr LabFile kFitness{"FEval.txt", 1, Lines::kOne, 0, "fitness"};
inline constexpr LabFile kReplayInput{"SimALLWeights.txt", TrajectoryRecord::kFieldCount,
                                      Lines::kPerSample, -5, kTrajectoryColumns};
inline constexpr LabFile kFuzzyPressureLog{"SimLOGFuzzyPressures.txt", 8, Lines::kPerSample, -7,
                                           "own_prediction1-4 bar; blended_prediction1-4 bar"};

// One column of a file: its name and its unit ("" where it has none).
struct Column {
    std::string name, unit;
    // The name with the unit as a suffix: "desired_pressure1_bar".
    std::string Heading() const { return unit.empty() ? name : name + "_" + unit; }
};
// The columns a column list names, in order.
std::vector<Column> Columns(const char* columnList);

// The files holding one record a line, whose columns are named: name (for a
// file per muscle, "TrainPressureVoltageANNET1.txt" to 4 as "...N.txt"),
// where it lies, how many numbers a line holds and the columns.
struct RecordFile {
    std::string name;
    std::string path;
    int columns;
    const char* columnList;
};
const std::vector<RecordFile>& RecordFiles();
// The entry of a file by its name (a file per muscle by its own number).
std::optional<RecordFile> RecordFileNamed(const std::string& fileName);

}  // namespace runfiles
