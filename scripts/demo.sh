#!/usr/bin/env bash
# The main job: sets up and builds, scores a demo run log with arbiter
# (printing the fitness), and draws the console's 3D view of the arm on the
# virtual lab into run/scene.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

# The arm mesh the console draws.
[ -f Resources/Drawing1.3ds ] || build/tools/make-arm-mesh

rm -rf run
build/tools/make-demo-data --seed 1 run
echo "Evaluating the hybrid run's parameter vector on the demo log (run/arbiter):"
status=0
(cd run/arbiter && ../../build/evaluator/arbiter) || status=$?
echo "Fitness (RMS pressure error) in run/arbiter/FEval.txt: $(cat run/arbiter/FEval.txt)"

echo "Drawing the arm and its readouts on the virtual lab:"
xvfb-run -a -s "-screen 0 1280x1024x24" build/tools/scene-preview --screenshot run/scene.png
echo "The console's view with both panels: run/scene.png"
exit "$status"
