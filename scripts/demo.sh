#!/usr/bin/env bash
# The main command: installs what the build needs, builds, and runs a whole
# lab day on the virtual arm in a fresh run/ (scripts/lab-day.sh): one line
# per step, then a table of every step's figure and files.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build
echo "Setting up and building into build/ (output in build/setup.log) ..."
if ! bash scripts/setup.sh >build/setup.log 2>&1; then
    tail -n 20 build/setup.log
    echo "The setup or the build failed; see build/setup.log."
    exit 1
fi
# run/ is the demo's own directory, whatever an earlier demo left there.
rm -rf run
exec bash scripts/lab-day.sh run
