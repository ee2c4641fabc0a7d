#!/usr/bin/env bash
# The main job for now: sets up and builds, writes a demo data set into
# run/ and scores it with arbiter, printing the fitness.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

# The arm mesh the console draws.
[ -f Resources/Drawing1.3ds ] || build/tools/make-arm-mesh

rm -rf run
build/tools/make-demo-data --seed 1 run
cd run/arbiter
echo "Evaluating the hybrid run's parameter vector on the demo log (run/arbiter):"
status=0
../../build/evaluator/arbiter || status=$?
echo "Fitness (RMS pressure error) in run/arbiter/FEval.txt: $(cat FEval.txt)"
exit "$status"
