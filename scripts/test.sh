#!/usr/bin/env bash
# Sets up, builds and runs every test. Tests that open windows run on a
# virtual X display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cd build
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j "$(nproc)"
