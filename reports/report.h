// Pictures of what a control run, an evaluation, a parameter search or the
// training recordings did, drawn by gnuplot from the files they left.
//
//     reports::Request request;
//     request.input = "lab";
//     request.output = "lab/run.png";
//     if (!reports::WriteReport(request, std::cerr)) return 1;
//
// The picture's format follows the output name's extension (.png, .pdf,
// .svg); the gnuplot script that drew it is kept beside it (same name, .gp)
// with its data inside, so it can be edited and run again.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "figures/run_inputs.h"

namespace reports {

enum class Kind {
    kRun,         // a directory holding NeuralFiles/ after a hybrid or neural-only run
    kEvaluation,  // an arbiter working directory
    kSearch,      // tune-fuzzy's progress CSV
    kTraining,    // a directory holding NeuralFiles/ with training recordings
    kExperiment,  // an experiment recording, or a directory holding NeuralFiles/ with one
};

// "run", "evaluation", "search", "training", "experiment"
std::string_view KindName(Kind kind);
std::optional<Kind> KindFromName(std::string_view name);

// The kind the files at `path` call for; nothing when none fits.
std::optional<Kind> RecogniseKind(const std::filesystem::path& path);

inline constexpr int kDefaultWidth = 1600;
// The default height: this much per row of panels, at least kMinimumHeight.
inline constexpr int kDefaultRowHeight = 300;
inline constexpr int kMinimumHeight = 600;

// A control run's files: its log, the desired encoder counts and the
// trajectory it ran along; the title's lines naming the run, its controller,
// trajectory and fuzzy vector; and a short name for legends.
struct RunFiles {
    std::filesystem::path log, desiredCounts, trajectory;
    std::string heading;
    std::string label;
};
// The files of a run found by figures::FindRunInputs or ArchivedRunInputs,
// `where` naming its place in the title.
RunFiles RunFilesOf(const figures::RunInputs& inputs, const std::string& where);

struct Request {
    std::filesystem::path input;
    std::filesystem::path output;  // ending in .png, .pdf or .svg
    std::optional<Kind> kind;      // recognised from the files when not given
    int width = kDefaultWidth;     // pixels (PDF: 96 pixels to the inch)
    std::optional<int> height;     // pixels; by default from the panel rows
    // Kind run: the trajectory the run ran along, instead of the one the
    // notebook keeps for its log (or NeuralFiles/ holds, when provably its).
    std::optional<std::filesystem::path> trajectory;
    // Kind run: these runs, overlaid, instead of the one at `input`.
    std::vector<RunFiles> runs;
};

// Reads the files, writes the script and runs gnuplot on it. A missing or
// malformed file, an unknown kind or a failing gnuplot is reported as one
// line on `errors` naming the file and the problem; then no picture is
// written (a partial one is removed) and the result is false. The script
// and the picture are written beside their names and renamed when whole.
// SIGINT or SIGTERM while gnuplot draws ends gnuplot, and the report with
// false; the signal is then in `interruptedBy` (else 0), for the caller to
// end as it asked once it has said so.
bool WriteReport(const Request& request, std::ostream& errors, int* interruptedBy = nullptr);

// The curve colours, 0xRRGGBB, in the order each panel uses them: the first
// series of a panel is drawn in the first colour, and so on, unless a series
// names its own.
inline constexpr std::array<unsigned, 6> kCurveColours = {0x1f5fbf, 0xe07000, 0x2a9d2a,
                                                          0xb02ab0, 0x8c564b, 0x17a2b8};
// The vertical line at the last sample of a run that stopped early.
inline constexpr unsigned kStopMarkerColour = 0xd00000;
// The marks of a run's samples whose commands the arm could not follow.
inline constexpr unsigned kSaturationColour = 0xe6007e;

}  // namespace reports
