// arbiter: scores the candidate in KFFile.txt against LogALLANNETPressures.txt
// and writes the fitness to FEval.txt. Takes no arguments.
#include "evaluator/evaluator.h"

int main() {
    return evaluator::RunEvaluation();
}
