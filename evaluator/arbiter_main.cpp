// arbiter: scores the candidate in KFFile.txt against LogALLANNETPressures.txt
// and writes the fitness to FEval.txt. Takes no arguments; --help and
// --version answer without touching a file.
#include "evaluator/evaluator.h"
#include "labdir/lab_lock.h"
#include "version/version.h"

namespace {

constexpr const char* kUsage =
    "Usage: arbiter\n"
    "\n"
    "Scores one parameter vector K0..K9 of the fuzzy supervisor against a logged\n"
    "run. Takes no arguments and works in the current directory, a sub-directory\n"
    "of the one holding NeuralFiles/. It reads and writes:\n"
    "\n"
    "  ../NeuralFiles/WeightsPONNET/  in: GeneralWeights.txt, the 288 weight files\n"
    "  LogALLANNETPressures.txt       in: the run log\n"
    "  KFFile.txt                     in: the candidate, ten reals\n"
    "  SimALLWeights.txt              out: replay input from the log's counts\n"
    "  SimLOGFuzzyPressures.txt       out: own-bin and blended predictions\n"
    "  FEval.txt                      out: the fitness, RMS pressure error in bar\n"
    "\n"
    "An optimiser writes each candidate to KFFile.txt, starts arbiter and reads\n"
    "FEval.txt. The fitness is also printed.\n"
    "\n"
    "Options (each alone, reading and writing no file):\n"
    "  --help      show this text\n"
    "  --version   show the version\n"
    "\n"
    "Exit status: 0 when FEval.txt holds a fitness; 1 when none could be computed\n"
    "(the reason is printed and FEval.txt holds inf); 2 on a usage error.\n";

}  // namespace

int main(int argc, char** argv) {
    if (const auto exit = version::AnswerArguments("arbiter", kUsage, argc, argv)) {
        return *exit;
    }
    // Two evaluations in one directory would overwrite each other's files.
    const auto lock = labdir::LabLock::Take(".", "arbiter");
    if (!lock) {
        return 1;
    }
    return evaluator::RunEvaluation();
}
