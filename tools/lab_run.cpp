// lab-run: runs one of the console's hardware actions on the virtual lab,
// without a window, and prints a one-line summary of how it went.
#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "arm/arm.h"
#include "cards/motion_card.h"
#include "evaluator/run_files.h"
#include "experiments/characterise.h"
#include "experiments/experiment.h"
#include "lab/lab.h"
#include "lab/plant_file.h"
#include "labdir/lab_lock.h"
#include "platform/clock.h"
#include "platform/stdio_file.h"
#include "runs/runs.h"
#include "runs/velocity_record.h"
#include "tools/arguments.h"
#include "training/training.h"
#include "trajectory/trajectory.h"

namespace {

constexpr int kStopped = 1;
constexpr float kManualDurationMs = 1000.0f;
constexpr float kManualLongestMs = 3000.0f;

constexpr const char* kUsage =
    "Usage: lab-run [options] ACTION\n"
    "\n"
    "Opens the cards of the virtual lab as the console's start-up does and runs one\n"
    "action in the working directory, whose NeuralFiles/ holds the weights and the\n"
    "trajectory:\n"
    "\n"
    "  home     HomeMuscles, then GoHome (the \"Go Home\" action)\n"
    "  hybrid   GoHome, HomeMuscles, then the neuro-fuzzy hybrid run\n"
    "  neural   GoHome, HomeMuscles, then the neural-only run\n"
    "  manual   the manual motor command, then the manual pressure command\n"
    "\n"
    "and the training-data procedures, which print where their files went:\n"
    "\n"
    "  calibrate          the motor offset calibration (no homing, no files)\n"
    "  motor-training     the scripted motor excitation and its three training files\n"
    "  velocity-test      the link networks driven open-loop from the velocity file\n"
    "  pressure-training  the valve excitation of each muscle and its training file\n"
    "  combined-training  motors and muscles through all six networks, recorded\n"
    "\n"
    "Their summary lists the files written; calibrate counts seconds, not samples.\n"
    "A training file that could not be written makes the exit status 1.\n"
    "\n"
    "an open-loop experiment:\n"
    "\n"
    "  experiment SCHEDULE  applies the valve and motor commands of SCHEDULE through\n"
    "           the card layers and records what the arm did every period. SCHEDULE\n"
    "           holds one breakpoint a line, TIME_MS CHANNEL VALUE [ramp], # starting\n"
    "           a comment; CHANNEL is valve1..valve4 or motor1..motor3 (volts) or\n"
    "           servo1..servo3 (on, off). A channel holds its value until its next\n"
    "           breakpoint; with ramp it moves there linearly from the previous one\n"
    "\n"
    "  characterise  homes the arm, runs a standard set of experiments (valve\n"
    "           steps, slow sweeps, motor steps, the arm's sine motion) and prints the\n"
    "           plant's measured figures; the recordings go to --out DIR (default\n"
    "           characterisation)\n"
    "\n"
    "and two that move nothing:\n"
    "\n"
    "  plant      prints the plant in effect: the built-in one, changed by the keys\n"
    "             of virtual-lab.toml in the working directory\n"
    "  reset-arm  puts the virtual arm back at rest for the next command\n"
    "\n"
    "Every action first reads virtual-lab.toml, when there is one; a file with an\n"
    "unknown key or a value of the wrong type or outside its range is refused with\n"
    "one line, before anything moves, and the exit status is 2. An action that\n"
    "moves the arm starts where the last one left it (virtual-arm.state, written\n"
    "when it ends; a damaged state is refused with exit status 1).\n"
    "\n"
    "Options:\n"
    "  --dir D            working directory (default .)\n"
    "  --real-time        run on the wall clock (default: the virtual clock, on which\n"
    "                     waits cost no time)\n"
    "  --fuzzy-vector F   hybrid: the fuzzy parameters K0..K9 from F, ten numbers\n"
    "                     separated by white space as in KFFile.txt (default: the\n"
    "                     built-in vector)\n"
    "  --motor1, --motor2, --motor3\n"
    "                     manual: switch that motor's servo on\n"
    "  --motor-volts V    manual: voltage of all three motors, -0.5 to 0.5 (default 0.2)\n"
    "  --duration MS      manual: how long the motors are driven, 0 to 3000 (default 1000);\n"
    "                     experiment: its length, 0 to 600000 (default: up to the last\n"
    "                     breakpoint)\n"
    "  --muscle1, --muscle2, --muscle3, --muscle4\n"
    "                     manual: drive that muscle's valve (the others get 0 V)\n"
    "  --muscle-volts V   manual: valve voltage, 0 to 8 (default 4.0)\n"
    "  --out FILE         experiment: the recording (default\n"
    "                     NeuralFiles/ExperimentRecording.txt); characterise: the\n"
    "                     directory of its recordings\n"
    "  --period-ms P      experiment: one period every P ms, 1 to 100 (default 20)\n"
    "  --write FILE       plant: write the complete built-in plant file, every key\n"
    "                     with its meaning, unit and range, to FILE as a template\n"
    "  --help             show this text\n"
    "\n"
    "The summary line gives the samples run and why the loop ended; on real time also\n"
    "the longest sample work time, the samples whose work took longer than 20 ms and\n"
    "the lateness of the sample starts.\n"
    "\n"
    "One command at a time per directory: while another command works in D, lab-run\n"
    "refuses at once and names it.\n"
    "\n"
    "Exit status: 0 when the action ran to its end, 1 when it could not start or was\n"
    "stopped (emergency stop, limit switch, logs not written), 2 on a usage error or\n"
    "a refused plant file.\n";

struct Options {
    bool realTime = false;
    experiments::Schedule schedule;
    experiments::Settings experiment;
    std::string characteriseDir = "characterisation";
    std::array<float, fuzzy::kParameterCount> fuzzyVector = fuzzy::kHybridRunVector;
    bool motor[arm::kMotorCount] = {};
    float motorVolts = 0.2f;
    float durationMs = -1.0f;  // -1: not given
    bool muscle[arm::kMuscleCount] = {};
    float muscleVolts = 4.0f;
};

const char* EndText(runs::RunEnd end) {
    switch (end) {
        case runs::RunEnd::kCompleted:
            return "completed";
        case runs::RunEnd::kEmergencyStop:
            return "stopped by the emergency stop";
        case runs::RunEnd::kLimitSwitch:
            return "stopped by a limit switch";
        case runs::RunEnd::kRefusedAtStart:
            return "not started";
    }
    return "";
}

int Summarise(const char* action, const runs::RunResult& result, const Options& options) {
    std::printf("lab-run: %s: %d samples, %s", action, result.timing.samples, EndText(result.end));
    if (options.realTime) {
        const runs::SampleTiming& t = result.timing;
        std::printf(
            "; longest sample work %.3f ms, %d samples over 20 ms, lateness worst "
            "%.3f ms, p99 %.3f ms, drift %.3f ms",
            t.longestWorkMs, t.samplesOver20Ms, t.worstLatenessMs, t.p99LatenessMs, t.driftMs);
    }
    if (result.end != runs::RunEnd::kRefusedAtStart && !result.logsWritten) {
        std::printf("; logs not written completely");
    }
    std::printf("\n");
    return result.end == runs::RunEnd::kCompleted && result.logsWritten ? 0 : kStopped;
}

// The emergency stop ends homing early without a word; the card state says so.
bool StoppedDuringHoming() {
    return EmergencyStopStatus == 1;
}

int Home(const Options&) {
    HomeMuscles();
    GoHome();
    const bool stopped = StoppedDuringHoming();
    std::printf("lab-run: home: %s\n",
                stopped ? "stopped by the emergency stop" : "at the home pose");
    return stopped ? kStopped : 0;
}

// Reads K0..K9 from a file in the candidate format.
bool ReadFuzzyVector(const std::string& path, std::array<float, fuzzy::kParameterCount>& k) {
    platform::StdioFile file(std::fopen(path.c_str(), "r"));
    if (!file) {
        std::fprintf(stderr, "lab-run: cannot open %s\n", path.c_str());
        return false;
    }
    const runfiles::CandidateVector read = runfiles::ReadCandidates(file.get());
    if (read.stalled || read.count < fuzzy::kParameterCount) {
        std::fprintf(stderr, "lab-run: %s does not hold ten numbers\n", path.c_str());
        return false;
    }
    if (read.extra > 0) {
        std::fprintf(stderr, "lab-run: %s: %d values beyond the ten parameters ignored\n",
                     path.c_str(), read.extra);
    }
    std::copy(read.k, read.k + fuzzy::kParameterCount, k.begin());
    return true;
}

int Hybrid(const Options& options) {
    GoHome();
    HomeMuscles();
    return Summarise("hybrid", RunHybridControl(nullptr, options.fuzzyVector), options);
}

int Neural(const Options& options) {
    GoHome();
    HomeMuscles();
    return Summarise("neural", RunNeuralControl(nullptr), options);
}

int Manual(const Options& options) {
    ManualMotorCommand(options.motor[0], options.motor[1], options.motor[2], options.motorVolts,
                       options.durationMs < 0.0f ? kManualDurationMs : options.durationMs);
    int muscles[arm::kMuscleCount] = {options.muscle[0], options.muscle[1], options.muscle[2],
                                      options.muscle[3]};
    float volts = options.muscleVolts;
    ManualPressureCommand(&muscles[0], &muscles[1], &muscles[2], &muscles[3], &volts);
    std::printf("lab-run: manual: done\n");
    return 0;
}

// A training procedure's summary: samples, how its loop ended, and where its
// files went.
int SummariseTraining(const char* action, const training::TrainingResult& result,
                      const Options& options) {
    const bool calibration = std::string(action) == "calibrate";
    std::printf("lab-run: %s: %d %s, %s", action, result.samples, calibration ? "s" : "samples",
                EndText(result.end));
    if (options.realTime && result.timing.samples > 0) {
        std::printf("; longest sample work %.3f ms, %d samples over 20 ms",
                    result.timing.longestWorkMs, result.timing.samplesOver20Ms);
    }
    if (!result.files.empty()) {
        std::error_code error;
        std::printf("; wrote in %s:", std::filesystem::current_path(error).c_str());
        for (const std::string& file : result.files) {
            std::printf(" %s", file.c_str());
        }
    }
    const bool filesMissing = !calibration && !result.filesWritten;
    if (filesMissing && result.end != runs::RunEnd::kRefusedAtStart) {
        std::printf("; not every file was written");
    }
    std::printf("\n");
    return result.end == runs::RunEnd::kCompleted && !filesMissing ? 0 : kStopped;
}

int Calibrate(const Options& options) {
    return SummariseTraining("calibrate", CalibrateOffsets(nullptr), options);
}

int MotorTraining(const Options& options) {
    return SummariseTraining("motor-training", RecordMotorTrainingData(nullptr), options);
}

int VelocityTest(const Options& options) {
    return SummariseTraining("velocity-test", TestVelocityTracking(nullptr), options);
}

int PressureTraining(const Options& options) {
    return SummariseTraining("pressure-training", RecordPressureTrainingData(nullptr), options);
}

int CombinedTraining(const Options& options) {
    return SummariseTraining("combined-training", RecordCombinedTrainingData(nullptr), options);
}

// Reads the schedule before anything moves; a schedule that does not parse
// is named with its line.
bool ReadSchedule(const std::string& path, experiments::Schedule& schedule) {
    platform::StdioFile file(std::fopen(path.c_str(), "r"));
    if (!file) {
        std::fprintf(stderr, "lab-run: cannot open %s\n", path.c_str());
        return false;
    }
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0;) {
        text.append(buffer, n);
    }
    if (const std::string wrong = experiments::ParseSchedule(text, schedule); !wrong.empty()) {
        std::fprintf(stderr, "lab-run: %s: %s\n", path.c_str(), wrong.c_str());
        return false;
    }
    return true;
}

int Experiment(const Options& options) {
    const experiments::ExperimentResult result =
        experiments::RunExperiment(options.schedule, options.experiment, nullptr);
    std::printf("lab-run: experiment: %d periods of %g ms, %s", result.timing.samples,
                options.experiment.periodMs, EndText(result.end));
    if (options.realTime && result.timing.samples > 0) {
        std::printf("; longest period work %.3f ms, %d periods over their time",
                    result.timing.longestWorkMs, result.timing.samplesOver20Ms);
    }
    if (result.recordingWritten) {
        std::printf("; recorded in %s\n", options.experiment.recording.c_str());
    } else {
        std::printf("; %s not written\n", options.experiment.recording.c_str());
    }
    return result.end == runs::RunEnd::kCompleted && result.recordingWritten ? 0 : kStopped;
}

// The velocities of the standard sine motion (100 mm, 0.5 Hz), generated
// into `dir`/NeuralFiles/ so that the lab's own trajectory stays untouched.
bool SineVelocities(const std::string& dir, std::vector<std::array<float, 3>>& velocities) {
    std::error_code error;
    const std::filesystem::path lab = std::filesystem::current_path(error);
    std::filesystem::create_directories(std::filesystem::path(dir) / "NeuralFiles", error);
    std::filesystem::current_path(dir, error);
    if (error) {
        std::fprintf(stderr, "lab-run: cannot use %s: %s\n", dir.c_str(), error.message().c_str());
        return false;
    }
    int sine = 1, ramp = 0, step = 0;
    float amplitude = 100.0f, frequency = 0.5f;
    const bool generated = GenerateTrajectory(&sine, &ramp, &step, &amplitude, &frequency);
    std::vector<runs::VelocityRecord> records;
    if (generated) {
        platform::StdioFile file(std::fopen(kVelocityTrajectoryFile, "r"));
        if (file) {
            runfiles::ReadAll(file.get(), records);
        }
    }
    std::filesystem::current_path(lab, error);
    for (const runs::VelocityRecord& record : records) {
        velocities.push_back({record.velocity[0], record.velocity[1], record.velocity[2]});
    }
    return generated && !velocities.empty() && !error;
}

int Characterise(const Options& options) {
    std::vector<std::array<float, 3>> velocities;
    if (!SineVelocities(options.characteriseDir, velocities)) {
        std::printf("lab-run: characterise: the sine motion could not be generated\n");
        return kStopped;
    }
    GoHome();
    HomeMuscles();
    const experiments::Characterisation sheet =
        experiments::Characterise(options.characteriseDir, velocities);
    std::printf("\nPlant data sheet (recordings in %s)\n%s", options.characteriseDir.c_str(),
                experiments::DataSheet(sheet).c_str());
    if (!sheet.failure.empty()) {
        std::printf("lab-run: characterise: %s\n", sheet.failure.c_str());
        return kStopped;
    }
    std::printf("lab-run: characterise: %zu figures\n", sheet.figures.size());
    return 0;
}

// Writes the commented built-in plant file to `path`.
int WritePlantTemplate(const std::string& path) {
    platform::StdioFile file(std::fopen(path.c_str(), "w"));
    const std::string text = lab::FormatPlantFile(lab::plant::BuiltIn(), true);
    const bool written = file && std::fputs(text.c_str(), file.get()) >= 0;
    if (!written || std::fclose(file.release()) != 0) {
        std::fprintf(stderr, "lab-run: cannot write %s\n", path.c_str());
        return kStopped;
    }
    std::printf("lab-run: plant: wrote the built-in plant to %s\n", path.c_str());
    return 0;
}

// Prints the plant in effect.
int Plant(const Options&) {
    std::fputs(lab::FormatPlantFile(lab::Plant(), false).c_str(), stdout);
    return 0;
}

int ResetArm(const Options&) {
    if (const std::string failure = lab::ResetArm("."); !failure.empty()) {
        std::fprintf(stderr, "lab-run: %s\n", failure.c_str());
        return kStopped;
    }
    std::printf("lab-run: reset-arm: the arm is at rest\n");
    return 0;
}

// The actions, by name; each returns the exit status. Those that move the
// arm run with the cards opened, on the arm as the last command left it.
struct Action {
    const char* name;
    int (*run)(const Options&);
    bool movesArm;
};
constexpr Action kActions[] = {
    {"plant", Plant, false},
    {"reset-arm", ResetArm, false},
    {"home", Home, true},
    {"hybrid", Hybrid, true},
    {"neural", Neural, true},
    {"manual", Manual, true},
    {"calibrate", Calibrate, true},
    {"motor-training", MotorTraining, true},
    {"velocity-test", VelocityTest, true},
    {"pressure-training", PressureTraining, true},
    {"combined-training", CombinedTraining, true},
    {"experiment", Experiment, true},
    {"characterise", Characterise, true},
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string dir = ".";
    std::string fuzzyVectorFile;
    std::string templateFile;
    std::vector<std::string> positionals;
    tools::Arguments args("lab-run", kUsage);
    args.Text("--dir", dir);
    args.Flag("--real-time", options.realTime);
    args.Text("--fuzzy-vector", fuzzyVectorFile);
    args.Flag("--motor1", options.motor[0]);
    args.Flag("--motor2", options.motor[1]);
    args.Flag("--motor3", options.motor[2]);
    args.Real("--motor-volts", options.motorVolts, -0.5f, 0.5f);
    args.Real("--duration", options.durationMs, 0.0f, float(experiments::kLongestMs));
    args.Flag("--muscle1", options.muscle[0]);
    args.Flag("--muscle2", options.muscle[1]);
    args.Flag("--muscle3", options.muscle[2]);
    args.Flag("--muscle4", options.muscle[3]);
    args.Real("--muscle-volts", options.muscleVolts, 0.0f, 8.0f);
    args.Text("--write", templateFile);
    std::string out;
    args.Text("--out", out);
    long periodMs = 20;
    args.Integer("--period-ms", periodMs, 1, 100);
    args.Positionals(positionals, 1, 2, "ACTION (and the experiment's SCHEDULE)");
    if (const auto exit = args.Parse(argc, argv)) {
        return *exit;
    }
    const Action* action = nullptr;
    std::string names;
    for (const Action& candidate : kActions) {
        names += names.empty() ? candidate.name : std::string(", ") + candidate.name;
        if (positionals[0] == candidate.name) {
            action = &candidate;
        }
    }
    if (action == nullptr) {
        return args.UsageError("action '" + positionals[0] + "' is not one of " + names);
    }
    const std::string name = action->name;
    if ((name == "experiment") != (positionals.size() == 2)) {
        return args.UsageError(name == "experiment" ? "experiment needs a SCHEDULE file"
                                                    : "only experiment takes a second argument");
    }
    if (!out.empty() && name != "experiment" && name != "characterise") {
        return args.UsageError("--out goes with experiment and characterise only");
    }
    if (!out.empty()) {
        options.experiment.recording = out;
        options.characteriseDir = out;
    }
    if (name == "experiment") {
        if (!ReadSchedule(positionals[1], options.schedule)) {
            return kStopped;
        }
        options.experiment.periodMs = double(periodMs);
        options.experiment.durationMs = options.durationMs;
    } else if (name == "manual" && options.durationMs > kManualLongestMs) {
        char text[64];
        std::snprintf(text, sizeof text, "duration '%g' is not a number from 0 to %g",
                      options.durationMs, kManualLongestMs);
        return args.UsageError(text);
    }
    if (!templateFile.empty()) {
        if (name != "plant") {
            return args.UsageError("--write goes with the plant action only");
        }
        return WritePlantTemplate(templateFile);
    }
    if (!fuzzyVectorFile.empty()) {
        if (name != "hybrid") {
            return args.UsageError("--fuzzy-vector goes with the hybrid action only");
        }
        if (!ReadFuzzyVector(fuzzyVectorFile, options.fuzzyVector)) {
            return kStopped;
        }
    }

    std::error_code error;
    std::filesystem::current_path(dir, error);
    if (error) {
        std::fprintf(stderr, "lab-run: cannot enter %s: %s\n", dir.c_str(),
                     error.message().c_str());
        return kStopped;
    }
    if (const std::string refusal = lab::LoadPlantFile("."); !refusal.empty()) {
        std::fprintf(stderr, "lab-run: %s\n", refusal.c_str());
        return tools::kUsageError;
    }
    if (name == "plant") {
        return action->run(options);  // reads, writes nothing
    }
    const auto lock = labdir::LabLock::Take(".", "lab-run");
    if (!lock) {
        return kStopped;
    }
    if (!action->movesArm) {
        return action->run(options);
    }
    if (const std::string refusal = lab::RestoreArm("."); !refusal.empty()) {
        std::fprintf(stderr, "lab-run: %s\n", refusal.c_str());
        return kStopped;
    }
    if (!options.realTime) {
        platform::UseVirtualClock();
    }
    ResetCards();
    const int status = action->run(options);
    if (const std::string failure = lab::SaveArm("."); !failure.empty()) {
        std::fprintf(stderr, "lab-run: %s\n", failure.c_str());
        return kStopped;
    }
    return status;
}
