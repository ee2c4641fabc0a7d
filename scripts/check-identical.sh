#!/usr/bin/env bash
# Runs the tools of two builds on the same fixed inputs and compares every
# file they write, byte for byte: trajectories (trajgen with its defaults and
# with other settings), a short lab day, arbiter on demo data, the run logs
# the day leaves and the velocity test and calibration on the day's lab.
# Shows that a change of structure changed no output.
#
#   bash scripts/check-identical.sh OLD_BUILD NEW_BUILD [WORK]
#
# Each build runs the lab-day script of its own source tree. WORK (default a
# fresh temporary directory) receives old/ and new/. Files that hold wall
# times (the work-time logs, the day's table, the step logs, the notebook's
# archive and stamps, the lab locks, the reports' titles) are compared without
# them. Exit 0 when everything matches.
set -uo pipefail

if [ "${1:-}" = --help ]; then
    sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'
    exit 0
fi
if [ $# -lt 2 ]; then
    echo "usage: check-identical.sh OLD_BUILD NEW_BUILD [WORK]" >&2
    exit 2
fi
old=$(cd "$1" && pwd) || exit 2
new=$(cd "$2" && pwd) || exit 2
work=${3:-$(mktemp -d)}
mkdir -p "$work"
work=$(cd "$work" && pwd)

# The source tree a build was configured from.
source_of() {
    sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$1/CMakeCache.txt"
}

produce() {
    local build=$1 out=$2 tools=$1/tools
    rm -rf "$out" && mkdir -p "$out"
    "$tools/trajgen" --dir "$out/trajgen-default" >"$out/trajgen-default.out" 2>&1
    "$tools/trajgen" --sine --amplitude 60 --frequency 0.8 --dir "$out/trajgen-sine" \
        >"$out/trajgen-sine.out" 2>&1
    "$tools/trajgen" --ramp --step --dir "$out/trajgen-step" >"$out/trajgen-step.out" 2>&1
    "$tools/make-demo-data" --seed 7 --samples 500 "$out/demo" >"$out/demo.out" 2>&1
    (cd "$out/demo/arbiter" && "$build/evaluator/arbiter" >../../arbiter.out 2>&1)
    bash "$(source_of "$build")/scripts/lab-day.sh" --short --build "$build" "$out/day" \
        >"$out/day.out" 2>&1
    # The procedures the day does not run, on a copy of the day's lab.
    cp -r "$out/day" "$out/procedures" && rm -rf "$out/procedures/logs" "$out/procedures/day.tsv"
    (cd "$out/procedures" && "$tools/lab-run" velocity-test >velocity-test.out 2>&1 &&
        "$tools/lab-run" calibrate >calibrate.out 2>&1)
    # The build's own path, named in the day's closing hint.
    sed -i "s|$build|BUILD|g" "$out/day.out"
    # Wall times: the closing table's seconds and the work-time logs.
    for f in "$out"/day.out "$out"/day/day.tsv; do
        [ -f "$f" ] && sed -i -E 's/[0-9]+\.[0-9] s\b/T s/g; s/\t[0-9]+\.[0-9]\t/\tT\t/g' "$f"
    done
    find "$out" -name 'LogTime*.txt' -delete
    rm -rf "$out/day/logs"
    # The lab notebook's archive and the locks hold wall times and process
    # ids; the day's table and closing lines name the notebook entries by
    # their wall-time stamps.
    find "$out" -name Archive -type d -prune -exec rm -rf {} +
    find "$out" -name .lab-lock -delete
    for f in "$out"/day.out "$out"/day/day.tsv "$out"/procedures/*.out; do
        [ -f "$f" ] && sed -i -E 's/[0-9]{8}T[0-9]{6}\.[0-9]{3}Z-/STAMP-/g' "$f"
    done
    # A report's title names its notebook entry, so its gnuplot script is
    # compared with the stamp masked, and its picture, drawn from that script
    # alone, through the script.
    find "$out" -name '*.gp' -print0 | while IFS= read -r -d '' gp; do
        sed -i -E 's/[0-9]{8}T[0-9]{6}\.[0-9]{3}Z-/STAMP-/g' "$gp"
        rm -f "${gp%.gp}.png"
    done
}

# Both run in the same place, so paths the tools print or embed agree.
produce "$old" "$work/out" && rm -rf "$work/old" && mv "$work/out" "$work/old"
produce "$new" "$work/out" && rm -rf "$work/new" && mv "$work/out" "$work/new"
if diff -r "$work/old" "$work/new" >"$work/diff.txt"; then
    echo "identical: $(find "$work/old" -type f | wc -l) files in $work/old and $work/new"
    exit 0
fi
echo "DIFFERENT (see $work/diff.txt):"
grep -E '^(Only|Binary|diff)' "$work/diff.txt" | head -40
exit 1
