#!/usr/bin/env bash
# A working day on the virtual lab, from an empty directory to a tuned
# controller: training recordings, networks, a sine trajectory, homing, the
# neural-only and hybrid runs, arbiter's fitness, the fuzzy search, a tuned
# hybrid run, reports and the console's view. One line per step; a step
# that fails stops the day, so no step works on a failed one's output.
#
#   lab-day [--short] [--build BUILD] [--plant FILE]
#       [--trajectory sine|ramp|step] [--amplitude MM] [--frequency HZ]
#       [--seed N] [--check] [--version] [DIR]
#
# The programs come from BUILD (a build tree) when given; otherwise from the
# script's own directory when it is installed beside them, else from build/
# of the source tree it lives in (scripts/demo.sh builds them first).
# DIR (default run) is emptied first, all but its notebook Archive/, when a
# day made it (it holds day.tsv) or it holds nothing else.
# --short: a 120-sample trajectory, a search of 300 evaluations and quick
# training, so that a test runs the whole day in seconds.
# --plant FILE: the day's plant file, copied into DIR as virtual-lab.toml.
# --trajectory, --amplitude, --frequency: the day's wave (default the
# panel's sine of 100 mm at 0.5 Hz), as trajgen takes them.
# --seed N: the plant's sensor seed and the fuzzy search's seed.
# --check: only check these settings, through the tools that take them.
# --version: the version of the programs the day would run.
#
# DIR/day.tsv holds the closing table, tab-separated after a header line:
# step, figure (a number or -), the figure's text, wall seconds, the step's
# files (relative to DIR), and the ids of the step's entries in the lab
# notebook, DIR/Archive/ (comma separated; - for a step that archives
# nothing).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=
day=run
short=0 check=0 plant='' trajectory=sine amplitude='' frequency='' seed=''
options="--short, --build BUILD, --plant FILE, --trajectory sine|ramp|step, --amplitude MM,\
 --frequency HZ, --seed N, --check, --version"
show_version=0
while (($#)); do
    case $1 in
        --short) short=1 ;;
        --check) check=1 ;;
        --build | --plant | --trajectory | --amplitude | --frequency | --seed)
            if (($# < 2)); then
                echo "lab-day: $1 needs a value; options: $options" >&2
                exit 2
            fi
            case $1 in
                --build) build=$(cd "$2" && pwd) || exit 2 ;;
                --plant) plant=$2 ;;
                --trajectory) trajectory=$2 ;;
                --amplitude) amplitude=$2 ;;
                --frequency) frequency=$2 ;;
                --seed) seed=$2 ;;
            esac
            shift
            ;;
        --help) sed -n '2,30p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        --version) show_version=1 ;;
        -*) echo "lab-day: unknown option '$1'; options: $options" >&2; exit 2 ;;
        *) day=$1 ;;
    esac
    shift
done

# tendon_virtual: the console's test build, which draws the day's view.
if [ -z "$build" ] && [ -x "$here/arbiter" ]; then
    tools=$here arbiter=$here/arbiter tendon=$here/tendon
    tendon_virtual=$(cd "$here/.." && pwd)/libexec/tendon-lab/tendon-virtual
else
    build=${build:-$(cd "$here/.." && pwd)/build}
    tools=$build/tools arbiter=$build/evaluator/arbiter tendon=$build/console/tendon
    tendon_virtual=$build/console/tendon-virtual
fi
if ((show_version)); then
    exec "$arbiter" --version
fi

case $trajectory in
    sine | ramp | step) ;;
    *) echo "lab-day: trajectory '$trajectory' is not one of sine, ramp, step" >&2; exit 2 ;;
esac
# The lab's plant file, beside NeuralFiles/.
plant_file=virtual-lab.toml
# trajgen's shape of the wave, and the search's seed.
shape=()
[ -z "$amplitude" ] || shape+=(--amplitude "$amplitude")
[ -z "$frequency" ] || shape+=(--frequency "$frequency")
search_seed=()
[ -z "$seed" ] || search_seed=(--seed "$seed")

# Writes the day's plant file to $1: the --plant file with --seed as its
# sensor seed. Without either there is none and the lab keeps its own plant.
write_plant() {
    if [ -n "$plant" ]; then
        [ -z "$seed" ] && cp "$plant" "$1" && return
        awk -v seed="$seed" '
            /^[ \t]*\[/ {in_sensors = 0}
            /^[ \t]*\[sensors\][ \t]*(#.*)?$/ {print; print "seed = " seed; in_sensors = seen = 1; next}
            in_sensors && /^[ \t]*seed[ \t]*=/ {next}
            {print}
            END {if (!seen) printf "\n[sensors]\nseed = %s\n", seed}' "$plant" >"$1"
    elif [ -n "$seed" ]; then
        printf '[sensors]\nseed = %s\n' "$seed" >"$1"
    fi
}

# Refuses settings a tool of the day would refuse, with that tool's line,
# before anything in DIR is touched: each goes through the tool that takes it.
check_settings() {
    scratch=$(mktemp -d) || exit 1
    trap 'rm -rf "$scratch"' EXIT
    refusal() {
        echo "lab-day: $(head -n 1 "$scratch/out" | sed "s|$scratch/||g")" >&2
        exit 2
    }
    if [ -n "$plant" ] && [ ! -r "$plant" ]; then
        echo "lab-day: plant file '$plant' does not open" >&2
        exit 2
    fi
    if ((${#shape[@]})); then
        "$tools/trajgen" "${shape[@]}" --dir "$scratch" >"$scratch/out" 2>&1 || refusal
    fi
    if [ -n "$seed" ]; then
        "$tools/tune-fuzzy" --seed "$seed" --write-built-in "$scratch/vector.txt" >"$scratch/out" 2>&1 ||
            refusal
    fi
    if [ -n "$plant$seed" ]; then
        write_plant "$scratch/$plant_file" || exit 1
        "$tools/lab-run" --dir "$scratch" plant >"$scratch/out" 2>&1 || refusal
    fi
}
if ((short)); then
    trajectory_records=120 search_budget=300 training_options=(--restarts 1 --iterations 20)
else
    trajectory_records=0 search_budget=20000 training_options=()
fi

if ((check)) || [ -n "$plant$seed" ] || ((${#shape[@]})); then
    check_settings
    if ((check)); then
        echo "lab-day: the settings are accepted"
        exit 0
    fi
fi

# Only a directory a day made (or one holding at most the notebook) is
# emptied, and the notebook of the earlier days stays; anything else in its
# place is left alone.
if [ -e "$day" ] && [ ! -d "$day" ]; then
    echo "lab-day: $day exists and is not a directory; not replacing it" >&2
    exit 2
fi
if [ -d "$day" ] && [ ! -f "$day/day.tsv" ] && [ -n "$(ls -A "$day" | grep -vx Archive)" ]; then
    echo "lab-day: $day holds files and no day.tsv, so it is not a lab day's directory;" \
        "not emptying it" >&2
    exit 2
fi
mkdir -p "$day" && find "$day" -mindepth 1 -maxdepth 1 ! -name Archive -exec rm -rf {} + &&
    mkdir -p "$day/logs" "$day/NeuralFiles" || exit 1
lab=$(cd "$day" && pwd)
table=$lab/day.tsv
write_plant "$lab/$plant_file" || exit 1
printf 'step\tfigure\ttext\twall_s\tfiles\tnotebook\n' >"$table"
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

# The value beside key $1 in the tab-separated key-value lines of file $2.
tsv_value() {
    awk -F'\t' -v key="$1" '$1 == key {print $2}' "$2"
}

# A directory for one control run: its own NeuralFiles/ for the logs, with
# the lab's networks, trajectory and plant file linked in.
run_lab() {
    mkdir -p "$lab/$1/NeuralFiles" || fail "cannot create $day/$1"
    local f
    for f in WeightsANNET1.txt WeightsANNET2.txt WeightsANNET3.txt WeightsANNET4.txt \
        WeightsDoubleLink.txt WeightsUpperLink.txt WeightsPONNET \
        SinTrajectoryALLWeights.txt SinVelocityTrajectoryDesired.txt \
        SinTrajectoryEncoderOutputDesired.txt; do
        ln -s "../../NeuralFiles/$f" "$lab/$1/NeuralFiles/$f" || fail "cannot link $f"
    done
    # The run drives the day's plant.
    if [ -f "$lab/$plant_file" ]; then
        ln -s "../$plant_file" "$lab/$1/$plant_file" || fail "cannot link $plant_file"
    fi
}

# A control run in its own directory and how closely it tracked:
#   control_run NAME LAB-RUN-ARGS...   sets samples and joint_rms
control_run() {
    local name=$1
    shift
    run_lab "$name"
    run "$tools/lab-run" --dir "$lab/$name" --notebook "$lab" "$@"
    local figures=$lab/logs/$name-figures.tsv
    "$tools/run-figures" --tsv --dir "$lab/$name" >"$figures" 2>>"$log" || tool_failed run-figures
    samples=$(tsv_value samples "$figures") joint_rms=$(tsv_value joint-rms "$figures")
}

# Scores the hybrid run's log with arbiter and the vector in $2, in $1.
evaluate() {
    mkdir -p "$lab/$1" && cp "$lab/hybrid/NeuralFiles/LogALLANNETPressures.txt" "$lab/$1/" ||
        fail "cannot prepare $day/$1"
    cp "$2" "$lab/$1/KFFile.txt" || fail "cannot copy the vector $2"
    run "$tools/lab-notebook" evaluate --arbiter "$arbiter" "$lab/$1"
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

# The day's wave (by default the panel's: sine, 100 mm, 0.5 Hz). --short
# keeps the first records, with the velocity and encoder lines they need.
trajectory_step() {
    begin "$trajectory trajectory"
    run "$tools/trajgen" "--$trajectory" "${shape[@]}" --dir "$lab"
    local n=$trajectory_records f=$lab/NeuralFiles
    if ((n > 0)); then
        head -n "$n" "$f/SinTrajectoryALLWeights.txt" >"$f/cut" && mv "$f/cut" "$f/SinTrajectoryALLWeights.txt" &&
            head -n $((n + 2)) "$f/SinVelocityTrajectoryDesired.txt" >"$f/cut" &&
            mv "$f/cut" "$f/SinVelocityTrajectoryDesired.txt" &&
            head -n $((n + 3)) "$f/SinTrajectoryEncoderOutputDesired.txt" >"$f/cut" &&
            mv "$f/cut" "$f/SinTrajectoryEncoderOutputDesired.txt" || fail "cannot shorten the trajectory"
    fi
    local records seconds wave="the $trajectory wave"
    records=$(wc -l <"$f/SinTrajectoryALLWeights.txt")
    seconds=$(awk -v n="$records" 'BEGIN {printf "%.1f", n * 0.02}')
    [ "$trajectory" != sine ] || wave="${amplitude:-100} mm at ${frequency:-0.5} Hz"
    finish "$records" "$records samples, $seconds s of $wave" "NeuralFiles/Sin*.txt"
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
    run_in "$lab" "$tools/tune-fuzzy" --write-built-in logs/built-in-vector.txt
    evaluate arbiter "$lab/logs/built-in-vector.txt"
    built_in_fitness=$fitness
    finish "$fitness" "fitness $fitness" "arbiter/*.txt"
}

fuzzy_search() {
    begin "fuzzy search"
    mkdir -p "$lab/tuning" && cp "$lab/hybrid/NeuralFiles/LogALLANNETPressures.txt" "$lab/tuning/" ||
        fail "cannot prepare $day/tuning"
    run_in "$lab/tuning" "$tools/tune-fuzzy" --budget "$search_budget" "${search_seed[@]}"
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
    local console=("$tendon_virtual" --screenshot "$lab/scene.png" --emergency-stop)
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
    awk -F'\t' 'NR > 1 {row[NR] = $0; if (length($3) > width) width = length($3)}
        END {for (i = 2; i <= NR; ++i) {split(row[i], f, "\t")
            printf "  %-20s %-*s %5s s  %s  (notebook: %s)\n", f[1], width, f[3], f[4], f[5], f[6]}}' "$table"
    echo
    echo "Open the console on this lab (a display, real time):"
    echo "  cd $lab && $tendon"
}

echo "A lab day on the virtual arm in $day ($( ((short)) && echo short || echo full)):"
arm_mesh
calibration
recording "motor excitation" motor-training "NeuralFiles/*TrainDouble*.txt"
recording "valve excitation" pressure-training "NeuralFiles/TrainPressureVoltageANNET?.txt"
valve_and_link_networks
trajectory_step
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
