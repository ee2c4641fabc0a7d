#!/usr/bin/env bash
# Installs the Debian packages the build needs (when missing), then
# configures and builds everything into ./build.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    g++ cmake make pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    freeglut3-dev libglu1-mesa-dev libgl1-mesa-dev libgl1-mesa-dri libimgui-dev
    libstb-dev libx11-dev
    libnlopt-cxx-dev libeigen3-dev gnuplot-nox
    libsqlite3-dev libssl-dev libtomlplusplus-dev libcli11-dev git
    xvfb xauth xdotool
    clang-format-16  # only for scripts/format.sh
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
