#!/usr/bin/env bash
# Runs a study: every cell of the study file's grid is a lab day of its own,
# run by Snakemake (workflow/Snakefile) on this machine or on a Slurm
# cluster. One line per finished cell; at the end the table's path.
#
#   bash scripts/study.sh STUDY.toml [--cores N] [--slurm] [--partition P]
#       [--dry-run] [--build BUILD]
#
# Results in Studies/NAME/ of the current directory: results.tsv, report.png
# and cells/CELL/ (lab/ is the cell's lab day, day.log its output). Cells
# with a result are not run again; a cell whose settings changed is.
# --cores N: cells at once on this machine (default: all cores).
# --slurm: each cell a one-core Slurm job, with the settings of
# workflow/profiles/slurm/config.yaml; --partition P overrides its partition.
# --dry-run: list the cells that would run, run none.
# BUILD: the built tools (default build/ of this tree).
# Exit status 0 when every cell is ok, 1 when a cell failed (the table is
# written), 2 when the study file is refused.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
study_file='' cores=$(nproc) slurm=0 partition='' dry_run=0
options="--cores N, --slurm, --partition P, --dry-run, --build BUILD"
while (($#)); do
    case $1 in
        --slurm) slurm=1 ;;
        --dry-run) dry_run=1 ;;
        --cores | --partition | --build)
            if (($# < 2)); then
                echo "study: $1 needs a value; options: $options" >&2
                exit 2
            fi
            case $1 in
                --cores) cores=$2 ;;
                --partition) partition=$2 ;;
                --build) build=$(cd "$2" && pwd) || exit 2 ;;
            esac
            shift
            ;;
        --help) sed -n '2,21p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        -*) echo "study: unknown option '$1'; options: $options" >&2; exit 2 ;;
        *)
            if [ -n "$study_file" ]; then
                echo "study: one study file, not '$study_file' and '$1'" >&2
                exit 2
            fi
            study_file=$1
            ;;
    esac
    shift
done
if [ -z "$study_file" ]; then
    echo "study: no study file; usage: bash scripts/study.sh STUDY.toml [$options]" >&2
    exit 2
fi
if [ -n "$partition" ] && ((!slurm)); then
    echo "study: --partition goes with --slurm" >&2
    exit 2
fi
if ! [[ $cores =~ ^[1-9][0-9]*$ ]]; then
    echo "study: cores '$cores' is not a whole number from 1" >&2
    exit 2
fi

study=(python3 "$root/workflow/study.py")
# Every value is checked before any cell runs.
name=$("${study[@]}" check "$study_file" --build "$build") || exit 2
dir=Studies/$name
study_path=$(cd "$(dirname "$study_file")" && pwd)/$(basename "$study_file")

engine=(--cores "$cores")
if ((slurm)); then
    engine=(--profile "$root/workflow/profiles/slurm")
    [ -z "$partition" ] || export SBATCH_PARTITION=$partition
fi
# snakemake_in DIR STUDY-FILE OPTIONS...
snakemake_in() {
    local in=$1 file=$2
    shift 2
    snakemake --snakefile "$root/workflow/Snakefile" --directory "$in" \
        --config "study=$file" "build=$build" "lab_day=$root/scripts/lab-day.sh" \
        --keep-going --rerun-incomplete "${engine[@]}" "$@"
}

if ((dry_run)); then
    # Nothing is written: the cells with a result are found where they are.
    scratch=$(mktemp -d) || exit 1
    trap 'rm -rf "$scratch"' EXIT
    "${study[@]}" cells "$study_file" >"$scratch/grid" || exit 1
    if [ -d "$dir" ]; then
        snakemake_in "$dir" "$study_path" --dry-run >"$scratch/log" 2>&1 ||
            { tail -n 20 "$scratch/log" >&2; exit 1; }
        sed -n 's/^ *wildcards: cell=//p' "$scratch/log" >"$scratch/run"
    else
        cp "$scratch/grid" "$scratch/run"
    fi
    echo "Study $name: $(wc -l <"$scratch/run") of $(wc -l <"$scratch/grid") cells would run:"
    awk 'NR == FNR {run[$0] = 1; next} $0 in run {print "  " $0}' "$scratch/run" "$scratch/grid"
    exit 0
fi

# A running study keeps its study file; a second run leaves it alone.
locked() {
    echo "study: $name is being run by another study.sh (Snakemake's lock in" \
        "$dir/.snakemake/locks); if none runs, remove that directory" >&2
    exit 1
}
[ -z "$(ls -A "$dir/.snakemake/locks" 2>/dev/null)" ] || locked
mkdir -p "$dir/logs" && cp "$study_file" "$dir/study.toml" || exit 1
dir=$(cd "$dir" && pwd)

echo "Study $name in $dir ($( ((slurm)) && echo "Slurm" || echo "$cores cores")):"
log=$dir/logs/snakemake.log
snakemake_in "$dir" "$dir/study.toml" --log-handler-script "$root/workflow/progress.py" 2>"$log"
snakemake_status=$?
! grep -q "cannot be locked" "$log" || locked
"${study[@]}" results "$dir/study.toml" "$dir"
results_status=$?
echo "Table: $dir/results.tsv  Report: $dir/report.png"
if ((snakemake_status != 0)); then
    echo "study: Snakemake reported a failed job or an error; see $log" >&2
    exit 1
fi
exit $((results_status ? 1 : 0))
