#!/usr/bin/env bash
# What a study costs beyond its lab days: runs a 12-cell study of short days
# (two trajectories by six amplitudes) in a scratch directory and compares its
# wall time with the sum of its days' times spread over the cores.
#
#   bash bench/study-bench.sh [--cores N] [--slurm] [--build BUILD]
#
# --slurm runs the cells on the cluster of $SLURM_CONF
# (scripts/slurm-local.sh start). Prints the study's wall time, the days'
# sum, and the overhead per cell: (wall - sum / cores) / cells.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build cores=$(nproc) engine=()
while (($#)); do
    case $1 in
        --cores) cores=$2; shift ;;
        --slurm) engine=(--slurm) ;;
        --build) build=$(cd "$2" && pwd) || exit 2; shift ;;
        --help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "study-bench: unknown argument '$1'" >&2; exit 2 ;;
    esac
    shift
done
((${#engine[@]})) && cores=$(sinfo -h -o %C | awk -F/ '{print $4}')

scratch=$(mktemp -d) || exit 1
trap 'rm -rf "$scratch"' EXIT
cat >"$scratch/bench.toml" <<'STUDY'
[study]
name = "bench"
short = true

[axes]
"day.trajectory" = ["sine", "ramp"]
"day.amplitude_mm" = [50, 60, 70, 80, 90, 100]
STUDY
began=$(date +%s.%N)
(cd "$scratch" && bash "$root/scripts/study.sh" bench.toml --cores "$cores" "${engine[@]}" \
    --build "$build") || exit 1
ended=$(date +%s.%N)
awk -F"\t" -v wall="$(awk -v a="$ended" -v b="$began" 'BEGIN {print a - b}')" -v cores="$cores" '
    NR == 1 {for (i = 1; i <= NF; ++i) if ($i == "wall_s") column = i; next}
    {sum += $column; ++cells}
    END {printf "%d cells on %d cores: study %.1f s, days %.1f s (%.1f s per core),"\
        " overhead %.2f s per cell\n", cells, cores, wall, sum, sum / cores,
        (wall - sum / cores) / cells}' "$scratch/Studies/bench/results.tsv"
