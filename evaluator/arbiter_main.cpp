// arbiter: scores the candidate file against the run log beside it and
// writes the fitness file (runfiles::kCandidate, kRunLog, kFitness). Takes no
// arguments; --help and --version answer without touching a file.
#include <cstdio>
#include <string>

#include "evaluator/evaluator.h"
#include "labdir/lab_lock.h"
#include "runfiles/catalogue.h"
#include "version/version.h"

namespace {

// One row of the files' table: the file, then what arbiter does with it.
std::string FileRow(const std::string& file, const std::string& what) {
    char row[128];
    std::snprintf(row, sizeof row, "  %-31s%s\n", file.c_str(), what.c_str());
    return row;
}

std::string Usage() {
    using namespace runfiles;
    const std::string candidate = kCandidate.Name(), fitness = kFitness.Name();
    return std::string(
               "Usage: arbiter\n"
               "\n"
               "Scores one parameter vector K0..K9 of the fuzzy supervisor against a logged\n"
               "run. Takes no arguments and works in the current directory, a sub-directory\n"
               "of the one holding ") +
           kLabDirectory + "/. It reads and writes:\n\n" +
           FileRow(std::string("../") + kPonnetDirectory + "/",
                   std::string("in: ") + kPonnetGeneralWeights.Name() + ", the 288 weight files") +
           FileRow(kRunLog.Name(), "in: the run log") +
           FileRow(candidate, "in: the candidate, ten reals") +
           FileRow(kReplayInput.Name(), "out: replay input from the log's counts") +
           FileRow(kFuzzyPressureLog.Name(), "out: own-bin and blended predictions") +
           FileRow(fitness, "out: the fitness, RMS pressure error in bar") +
           "\n"
           "An optimiser writes each candidate to " +
           candidate + ", starts arbiter and reads\n" + fitness +
           ". The fitness is also printed.\n"
           "\n"
           "Options (each alone, reading and writing no file):\n"
           "  --help      show this text\n"
           "  --version   show the version\n"
           "\n"
           "Exit status: 0 when " +
           fitness +
           " holds a fitness; 1 when none could be computed\n"
           "(the reason is printed and " +
           fitness + " holds inf); 2 on a usage error.\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (const auto exit = version::AnswerArguments("arbiter", Usage(), argc, argv)) {
        return *exit;
    }
    // Two evaluations in one directory would overwrite each other's files.
    const auto lock = labdir::LabLock::Take(".", "arbiter");
    if (!lock) {
        return 1;
    }
    return evaluator::RunEvaluation();
}
