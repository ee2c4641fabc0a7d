#!/usr/bin/env bash
# The sanitizer build: the tools and the tests unoptimised (-O0) under
# AddressSanitizer and UndefinedBehaviorSanitizer, in build-sanitize/, then
# the fast tests and a short lab day on it. A fault that optimisation hides
# (code that only works inlined, a read out of bounds, undefined arithmetic)
# stops it with the sanitizer's report and exit status 1. CI runs it after
# the tests (.ci/run).
#   usage: bash scripts/sanitize.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

flags="-O0 -g -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTENDON_BENCHMARKS=OFF \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-sanitize -j "$(nproc)"

# Any report ends the program with a failure; the window tests, the long
# fits, the lab day's own test and the studies' lab days are left to the
# optimised build (the short lab day below runs the same tools). The
# allocation-counting tests replace operator new and delete, which the
# sanitizer's own allocator does not allow inside the GL libraries. The
# console view's GL libraries leak at exit, so the lab days run without the
# leak check.
export ASAN_OPTIONS=abort_on_error=0:halt_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
slow='LabDay\.|Study\.|TendonTest\.|PanelWindowTest\.|SceneTest\.|PanelProgram\.|TrainerChain\.|AllocatesNothing|installed_lab_day'
(cd build-sanitize &&
    xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j "$(nproc)" -E "$slow")

ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0 \
    bash scripts/lab-day.sh --short --build build-sanitize build-sanitize/day
