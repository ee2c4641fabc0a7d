#!/usr/bin/env bash
# Formats every C++ source of the tree with the style in .clang-format
# (one brace style: every controlled statement braced). Needs clang-format
# 16 (scripts/setup.sh installs it); the build does not use it.
set -euo pipefail
cd "$(dirname "$0")/.."
format=clang-format-16
command -v "$format" >/dev/null || { echo "format.sh: $format is missing; run scripts/setup.sh" >&2; exit 1; }
git ls-files -z -- '*.h' '*.cpp' | xargs -0 "$format" -i --style=file
