#!/usr/bin/env bash
# The installed tree on its own: installs BUILD into a fresh prefix, then,
# from an empty directory and with the installed programs only, runs the
# short lab day, asks every program its version, checks its man page and
# starts the console on the day's lab.
#
#   bash tests/installed_lab_day.sh BUILD WORK
set -euo pipefail
build=$1 work=$2
rm -rf "$work" && mkdir -p "$work/empty"
cmake --install "$build" --prefix "$work/prefix" >"$work/install.log"
prefix=$work/prefix bin=$work/prefix/bin
cd "$work/empty"

fail() {
    echo "installed tree: $*" >&2
    exit 1
}

version=$("$bin/arbiter" --version)
pattern='^tendon-lab [0-9]+\.[0-9]+\.[0-9]+ \(commit ([0-9a-f]{7}|unknown)\)$'
[[ $version =~ $pattern ]] ||
    fail "arbiter --version printed '$version'"
for program in "$bin"/*; do
    name=$(basename "$program")
    [ "$("$program" --version)" = "$version" ] || fail "$name --version differs from arbiter's"
    [ -s "$prefix/share/man/man1/$name.1" ] || fail "no man page for $name"
done
[ -s "$prefix/share/tendon-lab/Resources/Drawing1.3ds" ] || fail "no arm mesh for the console"

# Without DISPLAY the day draws the console's view on a display of its own.
env -u DISPLAY "$bin/lab-day" --short day >day.log 2>&1 || { cat day.log; fail "the lab day failed"; }
[ "$(wc -l <day/day.tsv)" = 18 ] || fail "day.tsv holds $(wc -l <day/day.tsv) lines, not 18"
grep -q "cd $work/empty/day && $bin/tendon" day.log || fail "the day does not name the installed console"
[ "$(ls -A | tr '\n' ' ')" = "day day.log " ] || fail "the day wrote beside its directory"

# The console comes up on the day's lab and stays until it is closed.
if [ -n "${DISPLAY:-}" ]; then
    status=0
    (cd day && timeout 3 "$bin/tendon" >console.log 2>&1) || status=$?
    [ "$status" = 124 ] || { cat day/console.log; fail "tendon ended with status $status"; }
fi
echo "installed tree: the short lab day ran from $bin"
