// lab-run: runs one of the console's hardware actions on the virtual lab,
// without a window, and prints a one-line summary of how it went.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "arm/arm.h"
#include "experiments/characterise.h"
#include "experiments/experiment.h"
#include "figures/figures.h"
#include "lab/lab.h"
#include "lab/plant.h"
#include "lab/plant_file.h"
#include "labdir/lab_lock.h"
#include "notebook/notebook.h"
#include "platform/clock.h"
#include "platform/stdio_file.h"
#include "runfiles/catalogue.h"
#include "runfiles/run_files.h"
#include "runs/run_record.h"
#include "runs/runs.h"
#include "runs/velocity_record.h"
#include "tools/command_line.h"
#include "training/training.h"
#include "trajectory/trajectory.h"

namespace {

constexpr float kManualDurationMs = 1000.0f;
constexpr float kManualLongestMs = 3000.0f;

// Each %s is a file name from the catalogue, filled in by main.
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
    "an open-loop experiment and the plant's data sheet:\n"
    "\n"
    "  experiment SCHEDULE  applies the valve and motor commands of SCHEDULE through\n"
    "           the card layers and records what the arm did every period. SCHEDULE\n"
    "           holds one breakpoint a line, TIME_MS CHANNEL VALUE [ramp], # starting\n"
    "           a comment; CHANNEL is valve1..valve4 or motor1..motor3 (volts) or\n"
    "           servo1..servo3 (on, off). A channel holds its value until its next\n"
    "           breakpoint; with ramp it moves there linearly from the previous one\n"
    "  characterise  homes the arm, runs a standard set of experiments (valve\n"
    "           steps, slow sweeps, motor steps, the arm's sine motion, the rest with\n"
    "           and without 0.5 kg more on the tool, joint steps up and down with\n"
    "           the braid friction off) and prints the plant's measured figures\n"
    "           beside their targets and sources; the recordings go to --out DIR\n"
    "           (default characterisation)\n"
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
    "                     separated by white space as in %s (default: the\n"
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
    "  --notebook DIR     the lab directory whose notebook (Archive/) keeps the runs\n"
    "                     and recordings (default: the working directory)\n"
    "  --out FILE         experiment: the recording (default\n"
    "                     %s); characterise: the\n"
    "                     directory of its recordings\n"
    "  --period-ms P      experiment: one period every P ms, 1 to 100 (default 20)\n"
    "  --write FILE       plant: write the complete built-in plant file, every key\n"
    "                     with its meaning, unit and range, to FILE as a template\n"
    "  --help             show this text\n"
    "\n"
    "The summary line gives the samples run and why the loop ended; on real time also\n"
    "the longest sample work time, the samples whose work took longer than 20 ms and\n"
    "the lateness of the sample starts. The runs and the procedures that record files\n"
    "are archived in the lab notebook (see lab-notebook --help) before it is printed.\n"
    "\n"
    "One command at a time per directory: while another command works in D, lab-run\n"
    "refuses at once and names it.\n"
    "\n"
    "Exit status: 0 when the action ran to its end, 1 when it could not start or was\n"
    "stopped (emergency stop, limit switch, logs not written), 2 on a usage error or\n"
    "a refused plant file.\n";

struct Options {
    bool realTime = false;
    std::array<float, fuzzy::kParameterCount> fuzzyVector = fuzzy::kHybridRunVector;
    bool motor[arm::kMotorCount] = {};
    float motorVolts = 0.2f;
    float durationMs = -1.0f;  // -1: not given
    experiments::Schedule schedule;
    experiments::Settings experiment;
    std::string characteriseDir = "characterisation";
    bool muscle[arm::kMuscleCount] = {};
    float muscleVolts = 4.0f;
};

// How an action ended: its exit status, its summary line (printed last,
// once the notebook has archived the action), and for the notebook the files
// it wrote and its key figures.
struct Ending {
    int status = 0;
    std::string summary;
    notebook::Outcome outcome = notebook::Outcome::kCompleted;
    std::vector<std::string> files;
    std::vector<notebook::Figure> figures;
};

// printf onto the end of `text`.
[[gnu::format(printf, 2, 3)]] void Append(std::string& text, const char* format, ...) {
    char piece[512];
    std::va_list values;
    va_start(values, format);
    std::vsnprintf(piece, sizeof piece, format, values);
    va_end(values);
    text += piece;
}

// Hands the notebook the files `action` reads, before it runs.
void RecordInputs(const std::string& action, notebook::Recorder& recorder) {
    if (action == "hybrid" || action == "neural") {
        runs::RecordRunInputs(recorder);
        return;
    }
    const bool links = action == "velocity-test" || action == "combined-training";
    for (const char* file : runs::kLinkNetworkFiles) {
        if (links) {
            recorder.Input(file);
        }
    }
    for (const std::string& file : runs::ValveNetworkFiles()) {
        if (action == "combined-training") {
            recorder.Input(file);
        }
    }
    if (links) {
        recorder.Input(kVelocityTrajectoryFile);
    }
}

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

Ending Summarise(const char* action, const runs::RunResult& result, const Options& options) {
    Ending ending;
    std::string& line = ending.summary;
    Append(line, "lab-run: %s: %d samples, %s", action, result.timing.samples, EndText(result.end));
    if (options.realTime) {
        const runs::SampleTiming& t = result.timing;
        Append(line,
               "; longest sample work %.3f ms, %d samples over 20 ms, lateness worst "
               "%.3f ms, p99 %.3f ms, drift %.3f ms",
               t.longestWorkMs, t.samplesOver20Ms, t.worstLatenessMs, t.p99LatenessMs, t.driftMs);
    }
    if (result.end != runs::RunEnd::kRefusedAtStart && !result.logsWritten) {
        Append(line, "; logs not written completely");
    }
    ending.status =
        result.end == runs::RunEnd::kCompleted && result.logsWritten ? 0 : tools::kFailure;
    ending.outcome = runs::NotebookOutcome(result.end, result.logsWritten);
    ending.files.assign(std::begin(runs::kRunLogFiles), std::end(runs::kRunLogFiles));
    ending.figures = runs::RunFigures(result);
    // The samples run that asked what the arm cannot do, said when there are
    // any. A run refused at its start left the earlier run's logs, which are
    // not this run's to report.
    if (result.end == runs::RunEnd::kRefusedAtStart) {
        return ending;
    }
    std::string problem;
    if (const auto run = figures::ReadRunFigures(".", problem);
        run && run->saturation.samples > 0) {
        const figures::Saturation& saturation = run->saturation;
        Append(line,
               "; saturated %d (valve command outside 0 to %g V in %d, desired pressure outside "
               "0 to %g bar in %d)",
               saturation.samples, arm::kValveCommandCeilingVolts, saturation.valve,
               arm::kSupplyBar, saturation.pressure);
    }
    return ending;
}

Ending Home(const Options&) {
    HomeMuscles();
    const bool stopped = GoHome() == runs::Homing::kEmergencyStop;
    Ending ending;
    Append(ending.summary, "lab-run: home: %s",
           stopped ? "stopped by the emergency stop" : "at the home pose");
    ending.status = stopped ? tools::kFailure : 0;
    return ending;
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
    // A parameter that is not a finite number would blend every desired
    // pressure into a non-number and drive the valves with it.
    for (int i = 0; i < fuzzy::kParameterCount; ++i) {
        if (!std::isfinite(read.k[i])) {
            std::fprintf(stderr, "lab-run: %s: K%d is %f, not a finite number\n", path.c_str(), i,
                         double(read.k[i]));
            return false;
        }
    }
    if (read.extra > 0) {
        std::fprintf(stderr, "lab-run: %s: %d values beyond the ten parameters ignored\n",
                     path.c_str(), read.extra);
    }
    std::copy(read.k, read.k + fuzzy::kParameterCount, k.begin());
    return true;
}

Ending Hybrid(const Options& options) {
    GoHome();
    HomeMuscles();
    return Summarise("hybrid", RunHybridControl(nullptr, options.fuzzyVector), options);
}

Ending Neural(const Options& options) {
    GoHome();
    HomeMuscles();
    return Summarise("neural", RunNeuralControl(nullptr), options);
}

Ending Manual(const Options& options) {
    ManualMotorCommand(options.motor[0], options.motor[1], options.motor[2], options.motorVolts,
                       options.durationMs < 0.0f ? kManualDurationMs : options.durationMs);
    int muscles[arm::kMuscleCount] = {options.muscle[0], options.muscle[1], options.muscle[2],
                                      options.muscle[3]};
    float volts = options.muscleVolts;
    ManualPressureCommand(&muscles[0], &muscles[1], &muscles[2], &muscles[3], &volts);
    Ending ending;
    ending.summary = "lab-run: manual: done";
    return ending;
}

// A training procedure's summary: samples, how its loop ended, and where its
// files went.
Ending SummariseTraining(const char* action, const training::TrainingResult& result,
                         const Options& options) {
    const bool calibration = std::string(action) == "calibrate";
    Ending ending;
    std::string& line = ending.summary;
    Append(line, "lab-run: %s: %d %s, %s", action, result.samples, calibration ? "s" : "samples",
           EndText(result.end));
    if (options.realTime && result.timing.samples > 0) {
        Append(line, "; longest sample work %.3f ms, %d samples over 20 ms",
               result.timing.longestWorkMs, result.timing.samplesOver20Ms);
    }
    if (!result.files.empty()) {
        std::error_code error;
        Append(line, "; wrote in %s:", std::filesystem::current_path(error).c_str());
        for (const std::string& file : result.files) {
            Append(line, " %s", file.c_str());
        }
    }
    const bool filesMissing = !calibration && !result.filesWritten;
    if (filesMissing && result.end != runs::RunEnd::kRefusedAtStart) {
        Append(line, "; not every file was written");
    }
    ending.status = result.end == runs::RunEnd::kCompleted && !filesMissing ? 0 : tools::kFailure;
    ending.outcome = runs::NotebookOutcome(result.end, !filesMissing);
    ending.files = result.files;
    ending.figures.push_back({"samples", double(result.samples)});
    return ending;
}

Ending Calibrate(const Options& options) {
    return SummariseTraining("calibrate", CalibrateOffsets(nullptr), options);
}

Ending MotorTraining(const Options& options) {
    return SummariseTraining("motor-training", RecordMotorTrainingData(nullptr), options);
}

Ending VelocityTest(const Options& options) {
    return SummariseTraining("velocity-test", TestVelocityTracking(nullptr), options);
}

Ending PressureTraining(const Options& options) {
    return SummariseTraining("pressure-training", RecordPressureTrainingData(nullptr), options);
}

Ending CombinedTraining(const Options& options) {
    return SummariseTraining("combined-training", RecordCombinedTrainingData(nullptr), options);
}

// Reads the schedule before anything moves; a schedule that does not parse
// is named with its line.
bool ReadSchedule(const std::string& path, experiments::Schedule& schedule) {
    std::string problem;
    const std::optional<std::string> text = platform::ReadWholeFile(path, problem);
    if (!text) {
        std::fprintf(stderr, "lab-run: %s\n", problem.c_str());
        return false;
    }
    if (const std::string wrong = experiments::ParseSchedule(*text, schedule); !wrong.empty()) {
        std::fprintf(stderr, "lab-run: %s: %s\n", path.c_str(), wrong.c_str());
        return false;
    }
    return true;
}

Ending Experiment(const Options& options) {
    const experiments::ExperimentResult result =
        experiments::RunExperiment(options.schedule, options.experiment, nullptr);
    Ending ending;
    std::string& line = ending.summary;
    Append(line, "lab-run: experiment: %d periods of %g ms, %s", result.timing.samples,
           options.experiment.periodMs, EndText(result.end));
    if (options.realTime && result.timing.samples > 0) {
        Append(line, "; longest period work %.3f ms, %d periods over their time",
               result.timing.longestWorkMs, result.timing.samplesOver20Ms);
    }
    const char* recording = options.experiment.recording.c_str();
    if (result.recordingWritten) {
        Append(line, "; recorded in %s", recording);
        ending.files.push_back(options.experiment.recording);
    } else {
        Append(line, "; %s not written", recording);
    }
    ending.status =
        result.end == runs::RunEnd::kCompleted && result.recordingWritten ? 0 : tools::kFailure;
    ending.outcome = runs::NotebookOutcome(result.end, result.recordingWritten);
    ending.figures.push_back({"periods", double(result.timing.samples)});
    return ending;
}

// The velocities of the standard sine motion (100 mm, 0.5 Hz), generated
// into `dir`/NeuralFiles/ so that the lab's own trajectory stays untouched.
bool SineVelocities(const std::string& dir, std::vector<std::array<float, 3>>& velocities) {
    std::error_code error;
    const std::filesystem::path lab = std::filesystem::current_path(error);
    std::filesystem::create_directories(std::filesystem::path(dir) / runfiles::kLabDirectory,
                                        error);
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

// The data sheet's payload figure: how far 0.5 kg more on the tool moves
// the joint's rest at the homing references, measured against what the
// plant's static balance of the muscles' pulls and the tool's weight
// predicts.
void AddPayloadFigure(const std::string& dir, experiments::Characterisation& sheet) {
    constexpr double kExtraKilograms = 0.5;
    namespace plant = lab::plant;
    const plant::Parameters given = lab::Plant();
    plant::Parameters heavier = given;
    heavier.toolMassKilograms += kExtraKilograms;
    const double rest = experiments::RestAngleAtReferences(dir, "rest", sheet.failure);
    lab::SetPlant(heavier);
    const double loaded = experiments::RestAngleAtReferences(dir, "rest-payload", sheet.failure);
    lab::SetPlant(given);
    const plant::Model model(given);
    const plant::Model heavierModel(heavier);
    double bar[arm::kMuscleCount];
    for (int m = 0; m < arm::kMuscleCount; ++m) {
        bar[m] = plant::ValveSetPressure(model, runs::kMuscleReferenceVolts[m]);
    }
    const double predicted =
        (plant::StaticRestAngle(heavierModel, bar) - plant::StaticRestAngle(model, bar)) * 180.0 /
        M_PI;
    char target[32];
    std::snprintf(target, sizeof target, "%.2f +- 0.2", predicted);
    sheet.figures.push_back({"rest angle shift, 0.5 kg more on the tool", loaded - rest, "deg",
                             target, "the plant's static balance"});
}

// The data sheet's damping figure: joint steps up and down with the braid
// friction off, which would otherwise hold the joint until the braid
// settles and leave only a creep to measure.
void AddDampingFigure(const std::string& dir, experiments::Characterisation& sheet) {
    const lab::plant::Parameters given = lab::Plant();
    lab::plant::Parameters frictionless = given;
    for (int i = 0; i < lab::plant::kSlipElements; ++i) {
        frictionless.slipContractingNewtonsPerBar[i] = 0.0;
        frictionless.slipStretchingNewtonsPerBar[i] = 0.0;
    }
    lab::SetPlant(frictionless);
    const double ratio = experiments::JointStepDampingRatio(dir, sheet.failure);
    lab::SetPlant(given);
    sheet.figures.push_back({"damping ratio, positive to negative joint step", ratio, "", ">= 1.5",
                             "three-element model, braid friction off (Serres et al. 2009)"});
}

Ending Characterise(const Options& options) {
    Ending ending;
    std::vector<std::array<float, 3>> velocities;
    if (!SineVelocities(options.characteriseDir, velocities)) {
        ending.summary = "lab-run: characterise: the sine motion could not be generated";
        ending.status = tools::kFailure;
        ending.outcome = notebook::Outcome::kRefused;
        return ending;
    }
    GoHome();
    HomeMuscles();
    experiments::Characterisation sheet =
        experiments::Characterise(options.characteriseDir, velocities);
    if (sheet.failure.empty()) {
        AddPayloadFigure(options.characteriseDir, sheet);
    }
    if (sheet.failure.empty()) {
        AddDampingFigure(options.characteriseDir, sheet);
    }
    // A figure the recordings could not give is a failure, not a data sheet.
    if (sheet.failure.empty()) {
        sheet.failure = experiments::UnmeasuredFigure(sheet.figures);
    }
    std::printf("\nPlant data sheet (recordings in %s)\n%s", options.characteriseDir.c_str(),
                experiments::DataSheet(sheet).c_str());
    for (const experiments::Figure& figure : sheet.figures) {
        ending.figures.push_back({figure.name, figure.value});
    }
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(options.characteriseDir, error)) {
        if (entry.is_regular_file()) {
            ending.files.push_back(entry.path().string());
        }
    }
    if (!sheet.failure.empty()) {
        Append(ending.summary, "lab-run: characterise: %s", sheet.failure.c_str());
        ending.status = tools::kFailure;
        ending.outcome = notebook::Outcome::kStopped;
        return ending;
    }
    Append(ending.summary, "lab-run: characterise: %zu figures", sheet.figures.size());
    return ending;
}

int ResetArm() {
    if (const std::string failure = lab::ResetArm("."); !failure.empty()) {
        std::fprintf(stderr, "lab-run: %s\n", failure.c_str());
        return tools::kFailure;
    }
    std::printf("lab-run: reset-arm: the arm is at rest\n");
    return 0;
}

// Writes the commented built-in plant file, or prints the plant in effect.
int Plant(const std::string& templateFile) {
    if (templateFile.empty()) {
        std::fputs(lab::FormatPlantFile(lab::Plant(), false).c_str(), stdout);
        return 0;
    }
    platform::StdioFile file(std::fopen(templateFile.c_str(), "w"));
    const std::string text = lab::FormatPlantFile(lab::plant::BuiltIn(), true);
    const bool written = file && std::fputs(text.c_str(), file.get()) >= 0;
    if (!written || std::fclose(file.release()) != 0) {
        std::fprintf(stderr, "lab-run: cannot write %s\n", templateFile.c_str());
        return tools::kFailure;
    }
    std::printf("lab-run: plant: wrote the built-in plant to %s\n", templateFile.c_str());
    return 0;
}

// The actions, by name; those that record files are archived.
struct Action {
    const char* name;
    Ending (*run)(const Options&);
    bool archived;
};
constexpr Action kActions[] = {
    {"home", Home, false},
    {"hybrid", Hybrid, true},
    {"neural", Neural, true},
    {"manual", Manual, false},
    {"calibrate", Calibrate, false},
    {"motor-training", MotorTraining, true},
    {"velocity-test", VelocityTest, true},
    {"pressure-training", PressureTraining, true},
    {"combined-training", CombinedTraining, true},
    {"experiment", Experiment, true},
    {"characterise", Characterise, true},
};

// The fuzzy vector as the notebook keeps it: ten numbers.
std::string VectorText(const std::array<float, fuzzy::kParameterCount>& k) {
    std::string text;
    for (const float value : k) {
        Append(text, text.empty() ? "%g" : " %g", double(value));
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string dir = ".";
    std::string fuzzyVectorFile;
    std::string notebookDir;
    std::string templateFile;
    tools::CommandLine app("lab-run",
                           tools::Formatted(kUsage, runfiles::kCandidate.Name(),
                                            runfiles::kExperimentRecording.RelativePath()));
    tools::AddText(app, "--dir", dir);
    app.add_flag("--real-time", options.realTime);
    tools::AddText(app, "--fuzzy-vector", fuzzyVectorFile);
    app.add_flag("--motor1", options.motor[0]);
    app.add_flag("--motor2", options.motor[1]);
    app.add_flag("--motor3", options.motor[2]);
    tools::AddReal(app, "--motor-volts", options.motorVolts, -0.5f, 0.5f);
    tools::AddReal(app, "--duration", options.durationMs, 0.0f, float(experiments::kLongestMs));
    app.add_flag("--muscle1", options.muscle[0]);
    app.add_flag("--muscle2", options.muscle[1]);
    app.add_flag("--muscle3", options.muscle[2]);
    app.add_flag("--muscle4", options.muscle[3]);
    tools::AddReal(app, "--muscle-volts", options.muscleVolts, 0.0f, 8.0f);
    tools::AddText(app, "--notebook", notebookDir);
    tools::AddText(app, "--write", templateFile);
    std::string out;
    tools::AddText(app, "--out", out);
    long periodMs = 20;
    tools::AddWhole(app, "--period-ms", periodMs, 1, 100);
    app.add_subcommand("plant");
    app.add_subcommand("reset-arm");
    std::string schedule;
    for (const Action& candidate : kActions) {
        CLI::App* word = app.add_subcommand(candidate.name);
        if (std::string_view(candidate.name) == "experiment") {
            tools::AddText(*word, "SCHEDULE", schedule);
        }
    }
    if (const auto exit = app.Parse(argc, argv)) {
        return *exit;
    }
    const bool plant = app.got_subcommand("plant");
    const bool resetArm = app.got_subcommand("reset-arm");
    if (!templateFile.empty() && !plant) {
        return tools::UsageError(app, "--write goes with the plant action only");
    }
    if (plant && !templateFile.empty()) {
        return Plant(templateFile);
    }
    const Action* action = nullptr;
    for (const Action& candidate : kActions) {
        if (app.got_subcommand(candidate.name)) {
            action = &candidate;
        }
    }
    if (!fuzzyVectorFile.empty()) {
        if (action == nullptr || std::string(action->name) != "hybrid") {
            return tools::UsageError(app, "--fuzzy-vector goes with the hybrid action only");
        }
        if (!ReadFuzzyVector(fuzzyVectorFile, options.fuzzyVector)) {
            return tools::kFailure;
        }
    }

    const std::string name = action != nullptr ? action->name : "";
    if (name == "experiment" && schedule.empty()) {
        return tools::UsageError(app, "experiment needs a SCHEDULE file");
    }
    if (!out.empty() && name != "experiment" && name != "characterise") {
        return tools::UsageError(app, "--out goes with experiment and characterise only");
    }
    if (!out.empty()) {
        options.experiment.recording = out;
        options.characteriseDir = out;
    }
    if (name == "manual" && options.durationMs > kManualLongestMs) {
        char text[64];
        std::snprintf(text, sizeof text, "duration '%g' is not a number from 0 to %g",
                      options.durationMs, kManualLongestMs);
        return tools::UsageError(app, text);
    }
    if (name == "experiment") {
        if (!ReadSchedule(schedule, options.schedule)) {
            return tools::kFailure;
        }
        options.experiment.periodMs = double(periodMs);
        options.experiment.durationMs = options.durationMs;
    }

    std::error_code error;
    const std::filesystem::path notebookPath =
        std::filesystem::absolute(notebookDir.empty() ? dir : notebookDir, error);
    const std::string fuzzyVectorPath =
        fuzzyVectorFile.empty() ? "" : std::filesystem::absolute(fuzzyVectorFile, error).string();
    std::filesystem::current_path(dir, error);
    if (error) {
        std::fprintf(stderr, "lab-run: cannot enter %s: %s\n", dir.c_str(),
                     error.message().c_str());
        return tools::kFailure;
    }
    if (const std::string refusal = lab::LoadPlantFile("."); !refusal.empty()) {
        std::fprintf(stderr, "lab-run: %s\n", refusal.c_str());
        return tools::kUsageError;
    }
    if (plant) {
        return Plant("");
    }
    const auto lock = labdir::LabLock::Take(".", "lab-run");
    if (!lock) {
        return tools::kFailure;
    }
    if (resetArm) {
        return ResetArm();
    }
    if (const std::string refusal = lab::RestoreArm("."); !refusal.empty()) {
        std::fprintf(stderr, "lab-run: %s\n", refusal.c_str());
        return tools::kFailure;
    }
    if (!options.realTime) {
        platform::UseVirtualClock();
    }
    ResetCards();
    std::optional<notebook::Recorder> recorder;
    if (action->archived) {
        recorder.emplace(notebookPath, ".", std::string("lab-run ") + action->name,
                         std::vector<std::string>(argv + 1, argv + argc));
        RecordInputs(action->name, *recorder);
        recorder->Input(lab::kPlantFileName);
        if (!fuzzyVectorPath.empty()) {
            recorder->Input(fuzzyVectorPath);
        }
        if (std::string(action->name) == "hybrid") {
            recorder->Set("fuzzy_vector", VectorText(options.fuzzyVector));
        }
    }
    Ending ending = action->run(options);
    // The arm stays as the action left it, for the next command here.
    if (const std::string failure = lab::SaveArm("."); !failure.empty()) {
        std::fprintf(stderr, "lab-run: %s\n", failure.c_str());
        ending.status = tools::kFailure;
    }
    if (recorder) {
        for (const std::string& file : ending.files) {
            recorder->Output(file);
        }
        for (const notebook::Figure& figure : ending.figures) {
            recorder->Record(figure.name, figure.value);
        }
        recorder->Finish(ending.outcome, ending.summary.substr(std::strlen("lab-run: ")));
    }
    std::printf("%s\n", ending.summary.c_str());
    return ending.status;
}
