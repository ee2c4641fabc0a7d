#!/usr/bin/env bash
# A working day on the virtual lab, from an empty directory to a tuned
# controller: training recordings, networks, a sine trajectory, homing, the
# neural-only and hybrid runs, arbiter's fitness, the fuzzy search, a tuned
# hybrid run, reports and the console's view. One line per step; a step
# that fails stops the day, so no step works on a failed one's output.
# Expects the tools built (scripts/demo.sh builds them first).
#
#   bash scripts/lab-day.sh [--short] [--build BUILD] [DIR]
#
# DIR (default run) is emptied first when a day made it (it holds day.tsv)
# or it is empty; BUILD defaults to build/ of this tree.
# --short: a 120-sample trajectory, a search of 300 evaluations and quick
# training, so that a test runs the whole day in seconds.
#
# DIR/day.tsv holds the closing table: step, figure (a number or -), the
# figure's text, wall seconds, the step's files (relative to DIR), and the
# ids of the step's entries in the lab notebook, DIR/Archive/ (comma
# separated; - for a step that archives nothing).
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
day=run
short=0
while (($#)); do
    case $1 in
        --short) short=1 ;;
        --build)
            if (($# < 2)); then
                echo "lab-day: --build needs a directory (the tools' build directory)" >&2
                exit 2
            fi
            build=$(cd "$2" && pwd) || exit 2
            shift
            ;;
        --help) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        -*) echo "lab-day: unknown option '$1'; options: --short, --build BUILD" >&2; exit 2 ;;
        *) day=$1 ;;
    esac
    shift
done

tools=$build/tools
if ((short)); then
    trajectory_records=120 search_budget=300 training_options=(--restarts 1 --iterations 20)
else
    trajectory_records=0 search_budget=20000 training_options=()
fi

# Only a directory a day made (or an empty one) is emptied; anything else
# in its place is left alone.
if [ -e "$day" ] && [ ! -d "$day" ]; then
    echo "lab-day: $day exists and is not a directory; not replacing it" >&2
    exit 2
fi
if [ -d "$day" ] && [ ! -f "$day/day.tsv" ] && [ -n "$(ls -A "$day")" ]; then
    echo "lab-day: $day holds files and no day.tsv, so it is not a lab day's directory;" \
        "not emptying it" >&2
    exit 2
fi
rm -rf "$day" && mkdir -p "$day/logs" "$day/NeuralFiles" || exit 1
lab=$(cd "$day" && pwd)
table=$lab/day.tsv
: >"$table"
day_began=$(date +%s.%N)

# --- step bookkeeping --------------------------------------------------------

# Starts step $1: its tools' output goes to a log of its own in logs/.
begin() {
    step=$1
    log_name=logs/$(echo "$step" | tr -cs 'a-z0-9\n' '-').log
    log=$lab/$log_name
    step_began=$(date +%s.%N)
}

# Stops the day with one line naming the step, the reason and its log.
fail() {
    printf '%-20s FAILED: %s\n' "$step" "$1"
    echo "The day stopped at '$step'; its output is in $day/$log_name."
    exit 1
}

# Fails the step with the log's last line, without the files it lists.
tool_failed() {
    local last
    last=$(grep -v '^notebook: ' "$log" | tail -n 1)
    fail "$(basename "$1") failed: ${last%%; wrote in*}"
}

# Runs a tool with its output in the step's log; a failed tool fails the step.
run() {
    "$@" >>"$log" 2>&1 || tool_failed "$1"
}

# The same in directory $1.
run_in() {
    local dir=$1
    shift
    (cd "$dir" && exec "$@") >>"$log" 2>&1 || tool_failed "$1"
}

# Ends the step: its line, and its row of the closing table.
#   finish VALUE TEXT FILE...   VALUE a number, or - for a step without one
# The step's notebook ids are those its tools said they archived as.
finish() {
    local value=$1 text=$2 seconds ids
    shift 2
    [ -n "$value" ] || fail "no figure in the output; see the log"
    seconds=$(echo "$(date +%s.%N) $step_began" | awk '{printf "%.1f", $1 - $2}')
    ids=$(sed -n 's/^notebook: archived as //p' "$log" | paste -sd, -)
    printf '%-20s %s\n' "$step" "$text"
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$step" "$value" "$text" "$seconds" "$*" "${ids:--}" >>"$table"
}

# The word after $1 on the log's last line that holds $1.
field_after() {
    awk -v key="$1" '{for (i = 1; i < NF; ++i) if ($i == key) v = $(i + 1)} END {print v}' "$log"
}

# A directory for one control run: its own NeuralFiles/ for the logs, with
# the lab's networks and trajectory linked in.
run_lab() {
    mkdir -p "$lab/$1/NeuralFiles" || fail "cannot create $day/$1"
    local f
    for f in WeightsANNET1.txt WeightsANNET2.txt WeightsANNET3.txt WeightsANNET4.txt \
        WeightsDoubleLink.txt WeightsUpperLink.txt WeightsPONNET \
        SinTrajectoryALLWeights.txt SinVelocityTrajectoryDesired.txt \
        SinTrajectoryEncoderOutputDesired.txt; do
        ln -s "../../NeuralFiles/$f" "$lab/$1/NeuralFiles/$f" || fail "cannot link $f"
    done
}

# A control run in its own directory and how closely it tracked:
#   control_run NAME LAB-RUN-ARGS...   sets samples and joint_rms
control_run() {
    local name=$1
    shift
    run_lab "$name"
    run "$tools/lab-run" --dir "$lab/$name" --notebook "$lab" "$@"
    run "$tools/run-figures" --dir "$lab/$name"
    samples=$(field_after samples) joint_rms=$(field_after joint-rms)
}

# Scores the hybrid run's log with arbiter and the vector in $2, in $1.
evaluate() {
    mkdir -p "$lab/$1" && cp "$lab/hybrid/NeuralFiles/LogALLANNETPressures.txt" "$lab/$1/" ||
        fail "cannot prepare $day/$1"
    cp "$2" "$lab/$1/KFFile.txt" || fail "cannot copy the vector $2"
    run "$tools/lab-notebook" evaluate --arbiter "$build/evaluator/arbiter" "$lab/$1"
    fitness=$(cat "$lab/$1/FEval.txt")
}

# --- the day's steps ----------------------------------------------------------

arm_mesh() {
    begin "arm mesh"
    run "$tools/make-arm-mesh" "$lab/Resources/Drawing1.3ds"
    run "$tools/model-info" "$lab/Resources/Drawing1.3ds"
    local objects
    objects=$(awk -F'\t' '$1 == "model" {print $2}' "$log")
    finish "$objects" "$objects objects" Resources/Drawing1.3ds
}

calibration() {
    begin "calibration"
    run "$tools/lab-run" --dir "$lab" calibrate
    local seconds
    seconds=$(sed -n 's/^lab-run: calibrate: \([0-9]*\) s, completed.*/\1/p' "$log")
    finish "$seconds" "motors stand still after $seconds s" "$log_name"
}

# A training procedure of lab-run: $1 the step, $2 the action, then its files.
recording() {
    begin "$1"
    run "$tools/lab-run" --dir "$lab" "$2"
    local samples
    samples=$(sed -n "s/^lab-run: $2: \([0-9]*\) samples, completed.*/\1/p" "$log")
    shift 2
    finish "$samples" "$samples samples" "$@"
}

# The held-out RMS of a trained family from train-networks' summary line.
held_out_rms() {
    awk -v family="$1" '$1 == family":" && /held-out RMS/ {
        for (i = 1; i < NF; ++i) if ($i == "held-out" && $(i + 1) == "RMS") v = $(i + 2) " " $(i + 3)
    } END {print v}' "$log"
}

valve_and_link_networks() {
    begin "valve+link networks"
    run "$tools/train-networks" valves --dir "$lab" "${training_options[@]}"
    run "$tools/train-networks" links --dir "$lab" "${training_options[@]}"
    local valves links
    valves=$(held_out_rms valves) links=$(held_out_rms links)
    finish "${valves%% *}" "trained, held-out RMS valves $valves, links $links" \
        "NeuralFiles/WeightsANNET?.txt" "NeuralFiles/TrainingReport*.csv"
}

# The panel's defaults: sine, 100 mm, 0.5 Hz. --short keeps the first
# records, with the velocity and encoder lines they need.
sine_trajectory() {
    begin "sine trajectory"
    run "$tools/trajgen" --sine --dir "$lab"
    local n=$trajectory_records f=$lab/NeuralFiles
    if ((n > 0)); then
        head -n "$n" "$f/SinTrajectoryALLWeights.txt" >"$f/cut" && mv "$f/cut" "$f/SinTrajectoryALLWeights.txt" &&
            head -n $((n + 2)) "$f/SinVelocityTrajectoryDesired.txt" >"$f/cut" &&
            mv "$f/cut" "$f/SinVelocityTrajectoryDesired.txt" &&
            head -n $((n + 3)) "$f/SinTrajectoryEncoderOutputDesired.txt" >"$f/cut" &&
            mv "$f/cut" "$f/SinTrajectoryEncoderOutputDesired.txt" || fail "cannot shorten the trajectory"
    fi
    local records seconds
    records=$(wc -l <"$f/SinTrajectoryALLWeights.txt")
    seconds=$(awk -v n="$records" 'BEGIN {printf "%.1f", n * 0.02}')
    finish "$records" "$records samples, $seconds s of 100 mm at 0.5 Hz" \
        "NeuralFiles/Sin*.txt"
}

pressure_networks() {
    begin "pressure networks"
    run "$tools/train-networks" pressure --dir "$lab" "${training_options[@]}"
    local rms
    rms=$(held_out_rms pressure)
    finish "${rms%% *}" "288 trained, held-out RMS $rms" NeuralFiles/WeightsPONNET/
}

homing() {
    begin "homing"
    run "$tools/lab-run" --dir "$lab" home
    finish - "$(sed -n 's/^lab-run: home: //p' "$log")" "$log_name"
}

neural_run() {
    begin "neural-only run"
    control_run neural neural
    finish "$joint_rms" "$samples samples, tool joint RMS $joint_rms deg" neural/NeuralFiles/
}

hybrid_run() {
    begin "hybrid run"
    control_run hybrid hybrid
    built_in_joint_rms=$joint_rms
    finish "$joint_rms" "$samples samples, tool joint RMS $joint_rms deg" hybrid/NeuralFiles/
}

built_in_evaluation() {
    begin "arbiter, built-in"
    run "$tools/tune-fuzzy" --write-built-in "$lab/logs/built-in-vector.txt"
    evaluate arbiter "$lab/logs/built-in-vector.txt"
    built_in_fitness=$fitness
    finish "$fitness" "fitness $fitness" "arbiter/*.txt"
}

fuzzy_search() {
    begin "fuzzy search"
    mkdir -p "$lab/tuning" && cp "$lab/hybrid/NeuralFiles/LogALLANNETPressures.txt" "$lab/tuning/" ||
        fail "cannot prepare $day/tuning"
    run_in "$lab/tuning" "$tools/tune-fuzzy" --budget "$search_budget"
    local from evaluations
    from=$(field_after built-in) tuned_fitness=$(field_after tuned) evaluations=$(field_after evaluations)
    [ "$from" = "$built_in_fitness" ] || fail "built-in fitness $from, arbiter wrote $built_in_fitness"
    finish "$tuned_fitness" "fitness $from -> $tuned_fitness in $evaluations evaluations" \
        tuning/KFFile.txt tuning/tune-progress.csv
}

tuned_evaluation() {
    begin "arbiter, tuned"
    evaluate arbiter-tuned "$lab/tuning/KFFile.txt"
    [ "$fitness" = "$tuned_fitness" ] || fail "arbiter wrote $fitness, the search found $tuned_fitness"
    finish "$fitness" "fitness $fitness (built-in $built_in_fitness)" arbiter-tuned/FEval.txt
}

tuned_hybrid_run() {
    begin "hybrid run, tuned"
    control_run hybrid-tuned hybrid --fuzzy-vector "$lab/tuning/KFFile.txt"
    finish "$joint_rms" "$samples samples, tool joint RMS $joint_rms deg (built-in $built_in_joint_rms)" \
        hybrid-tuned/NeuralFiles/
}

# Paths relative to the lab, as the pictures' titles show them.
reports() {
    begin "reports"
    local pictures=(neural.png hybrid.png hybrid-tuned.png evaluation.png search.png recordings.png)
    run_in "$lab" "$tools/run-report" --kind run neural neural.png
    run_in "$lab" "$tools/run-report" --kind run hybrid hybrid.png
    run_in "$lab" "$tools/run-report" --kind run hybrid-tuned hybrid-tuned.png
    run_in "$lab" "$tools/run-report" --kind evaluation arbiter evaluation.png
    run_in "$lab" "$tools/run-report" --kind search tuning/tune-progress.csv search.png
    run_in "$lab" "$tools/run-report" --kind training . recordings.png
    finish "${#pictures[@]}" "${#pictures[@]} pictures" "${pictures[@]}"
}

# tendon's own windows, drawn by its test build on the day's lab, with the
# virtual emergency stop pressed so that the message line shows.
console_view() {
    begin "console view"
    local console=("$build/console/tendon-virtual" --screenshot "$lab/scene.png" --emergency-stop)
    [ -n "${DISPLAY:-}" ] || console=(xvfb-run -a -s "-screen 0 1280x1024x24" "${console[@]}")
    run_in "$lab" "${console[@]}"
    # Without the picture the size below would abort the step unreported.
    [ -s "$lab/scene.png" ] || fail "tendon-virtual wrote no scene.png"
    # The arm kept in the lab keeps its stop pressed until it is released.
    run "$tools/lab-estop" --dir "$lab" release
    local kb
    kb=$(($(stat -c %s "$lab/scene.png") / 1024))
    finish "$kb" "tendon's window, emergency stop pressed, $kb KB" scene.png
}

closing_table() {
    local seconds
    seconds=$(echo "$(date +%s.%N) $day_began" | awk '{printf "%.1f", $1 - $2}')
    echo
    echo "The day in $day ($seconds s):"
    awk -F'\t' '{row[NR] = $0; if (length($3) > width) width = length($3)}
        END {for (i = 1; i <= NR; ++i) {split(row[i], f, "\t")
            printf "  %-20s %-*s %5s s  %s  (notebook: %s)\n", f[1], width, f[3], f[4], f[5], f[6]}}' "$table"
    echo
    echo "Open the console on this lab (a display, real time):"
    echo "  cd $lab && $build/console/tendon"
}

echo "A lab day on the virtual arm in $day ($( ((short)) && echo short || echo full)):"
arm_mesh
calibration
recording "motor excitation" motor-training "NeuralFiles/*TrainDouble*.txt"
recording "valve excitation" pressure-training "NeuralFiles/TrainPressureVoltageANNET?.txt"
valve_and_link_networks
sine_trajectory
recording "combined run" combined-training "NeuralFiles/ALL*.txt"
pressure_networks
homing
neural_run
hybrid_run
built_in_evaluation
fuzzy_search
tuned_evaluation
tuned_hybrid_run
reports
console_view
closing_table
