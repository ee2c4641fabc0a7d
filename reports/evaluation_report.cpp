// An evaluation: own-bin and blended predictions against the measured
// pressures, the blend weight of the candidate over the bin phase, and the
// fitness.
#include <cmath>

#include "arm/arm.h"
#include "model/fuzzy_supervisor.h"
#include "model/replay.h"
#include "reports/builders.h"
#include "reports/data_files.h"
#include "runfiles/catalogue.h"

namespace reports {

std::optional<Figure> EvaluationFigure(const std::filesystem::path& arbiterDir,
                                       std::string& error) {
    const auto predictionsPath = arbiterDir / runfiles::kFuzzyPressureLog.Name();
    const auto logPath = arbiterDir / runfiles::kRunLog.Name();
    const auto replayPath = arbiterDir / runfiles::kReplayInput.Name();
    const auto candidatePath = arbiterDir / runfiles::kCandidate.Name();
    const auto fitnessPath = arbiterDir / runfiles::kFitness.Name();
    const auto predictions = ReadRows(predictionsPath, runfiles::kFuzzyPressureLog.columns,
                                      runfiles::kFuzzyPressureLog.columns, error);
    if (!predictions) {
        return std::nullopt;
    }
    if (predictions->empty()) {
        error = predictionsPath.string() + ": no samples (the evaluation replayed none)";
        return std::nullopt;
    }
    const auto log = ReadRows(logPath, runfiles::kRunLog.columns, runfiles::kRunLog.columns, error);
    if (!log) {
        return std::nullopt;
    }
    const auto replay =
        ReadRows(replayPath, runfiles::kReplayInput.columns, runfiles::kReplayInput.columns, error);
    if (!replay) {
        return std::nullopt;
    }
    const auto candidate = ReadValues(candidatePath, error);
    if (!candidate) {
        return std::nullopt;
    }
    if (candidate->size() != fuzzy::kParameterCount) {
        error = Format("%s: %zu values, expected the ten parameters K0..K9",
                       candidatePath.string().c_str(), candidate->size());
        return std::nullopt;
    }
    float k[fuzzy::kParameterCount];
    for (int i = 0; i < fuzzy::kParameterCount; ++i) {
        k[i] = float((*candidate)[i]);
    }
    const auto fitnessRows = ReadRows(fitnessPath, 1, 1, error);
    if (!fitnessRows) {
        return std::nullopt;
    }
    if (fitnessRows->size() != 1) {
        error = Format("%s: %zu lines, expected one fitness", fitnessPath.string().c_str(),
                       fitnessRows->size());
        return std::nullopt;
    }
    // Prediction r belongs to replay record d = r + 1 and is compared with
    // the pressures of log record d.
    const std::size_t samples = predictions->size();
    if (replay->size() != samples + 2 || log->size() < samples + 2) {
        error = Format(
            "%s holds %zu predictions, %s %zu records and %s %zu: not one "
            "evaluation (run arbiter there again)",
            predictionsPath.string().c_str(), samples, replayPath.string().c_str(), replay->size(),
            logPath.string().c_str(), log->size());
        return std::nullopt;
    }

    const double fitness = fitnessRows->front()[0];
    Table replayed{std::vector<std::vector<double>>(15)};
    for (std::size_t r = 0; r < samples; ++r) {
        const std::size_t d = r + 1;
        replayed.columns[0].push_back(SampleSeconds((*log)[d][0]));
        for (int m = 0; m < arm::kMuscleCount; ++m) {
            replayed.columns[1 + m].push_back((*log)[d][5 + m]);
            replayed.columns[5 + m].push_back((*predictions)[r][m]);
            replayed.columns[9 + m].push_back((*predictions)[r][4 + m]);
        }
        const float phase = replay::BinPhase(float((*replay)[d][0]));
        replayed.columns[13].push_back(fuzzy::BlendWeight(phase, k));
        replayed.columns[14].push_back(phase);
    }
    constexpr int kPhaseSteps = 400;
    Table weights{std::vector<std::vector<double>>(3)};
    for (int i = 0; i < kPhaseSteps; ++i) {
        const float phase = 4.0f * i / kPhaseSteps;
        weights.columns[0].push_back(phase);
        weights.columns[1].push_back(fuzzy::BlendWeight(phase, k));
        weights.columns[2].push_back(fuzzy::BlendWeight(phase, fuzzy::kHybridRunVector.data()));
    }

    Figure figure;
    for (int m = 0; m < arm::kMuscleCount; ++m) {
        const double own = RmsDifference(replayed.columns[1 + m], replayed.columns[5 + m], samples);
        const double blended =
            RmsDifference(replayed.columns[1 + m], replayed.columns[9 + m], samples);
        Panel panel{
            Format("Muscle %d: blended RMS %.4f bar, own bin %.4f bar", m + 1, blended, own),
            "time (s)", "pressure (bar)"};
        panel.series = {{0, 0, 1 + m, "measured"},
                        {0, 0, 5 + m, Format("own bin (RMS %.4f bar)", own)},
                        {0, 0, 9 + m, Format("blended (RMS %.4f bar)", blended)}};
        figure.panels.push_back(panel);
    }
    Panel curve{"Blend weight W of the own bin over the bin phase",
                "bin phase (° inside the 4° bin)", "blend weight W (1 = own bin)"};
    curve.series = {{1, 0, 1, Format("candidate (%s)", runfiles::kCandidate.Name())},
                    {1, 0, 2, "built-in vector of the hybrid run", Series::Style::kDashed}};
    figure.panels.push_back(curve);
    Panel applied{"Blend weight applied at each sample", "time (s)",
                  "blend weight W (1 = own bin)"};
    applied.series = {{0, 0, 13, Format("candidate (%s)", runfiles::kCandidate.Name())}};
    figure.panels.push_back(applied);

    std::string vector;
    for (int i = 0; i < fuzzy::kParameterCount; ++i) {
        vector += Format("%s%.4g", i ? " " : "", k[i]);
    }
    figure.title = Format(
        "Evaluation in %s: %s against %s\n"
        "fitness %.6f (%s), %zu samples (%.2f s); candidate K0..K9 (%s): %s",
        Shown(arbiterDir).c_str(), runfiles::kFuzzyPressureLog.Name(), runfiles::kRunLog.Name(),
        fitness, runfiles::kFitness.Name(), samples, SampleSeconds(double(samples)),
        runfiles::kCandidate.Name(), vector.c_str());
    figure.tables = {std::move(replayed), std::move(weights)};
    return figure;
}

}  // namespace reports
