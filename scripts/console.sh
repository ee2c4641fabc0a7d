#!/usr/bin/env bash
# Prepares a lab directory for the console on the virtual lab (arm mesh,
# demo networks of all ten kinds, a sine trajectory) and starts tendon in it
# on the user's display, in real time.
#
#   bash scripts/console.sh [DIR]      DIR defaults to console-lab
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${1:-console-lab}"

[ -d "$root/build" ] || bash "$root/scripts/setup.sh"
cmake --build "$root/build" -j "$(nproc)" --target tendon lab-estop make-arm-mesh \
    make-demo-data make-demo-networks trajgen >/dev/null

mkdir -p "$dir"
cd "$dir"
"$root/build/tools/make-arm-mesh"                 # Resources/Drawing1.3ds
"$root/build/tools/make-demo-data" . >/dev/null   # NeuralFiles/WeightsPONNET/
"$root/build/tools/make-demo-networks" --dir .    # valve and link networks
"$root/build/tools/trajgen" --sine                # the three trajectory files
exec "$root/build/console/tendon"
