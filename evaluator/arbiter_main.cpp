// arbiter: scores the candidate in KFFile.txt against LogALLANNETPressures.txt
// and writes the fitness to FEval.txt. Takes no arguments.
#include "evaluator/evaluator.h"
#include "labdir/lab_lock.h"

int main() {
    // Two evaluations in one directory would overwrite each other's files.
    const auto lock = labdir::LabLock::Take(".", "arbiter");
    if (!lock) {
        return 1;
    }
    return evaluator::RunEvaluation();
}
