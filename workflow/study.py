"""Studies: grids of lab days.

A study file (TOML) names the study, the settings every cell shares
([fixed]) and the axes of the grid ([axes]); every combination of the axes'
values is one cell, one lab day in a directory of its own. This module reads
and checks a study file, names its cells, runs one cell's day (called by the
workflow's cell rule) and gathers the cells' results into the study's table
and report.

Used by workflow/Snakefile and, as a command, by scripts/study.sh:

    python3 workflow/study.py check STUDY.toml --build BUILD
    python3 workflow/study.py cells STUDY.toml
    python3 workflow/study.py results STUDY.toml STUDY_DIR
    python3 workflow/study.py cell STUDY.toml CELL --build BUILD  (in STUDY_DIR)
"""

import argparse
import concurrent.futures
import itertools
import json
import math
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time
import tomllib

# The day's settings a study varies, and the lab-day option that takes each.
DAY_OPTIONS = {
    "day.trajectory": "--trajectory",
    "day.amplitude_mm": "--amplitude",
    "day.frequency_hz": "--frequency",
    "day.seed": "--seed",
}
DAY_KINDS = {
    "day.trajectory": "one of sine, ramp, step",
    "day.amplitude_mm": "a number",
    "day.frequency_hz": "a number",
    "day.seed": "a whole number",
}
PLANT_KEY = re.compile(r"plant\.[A-Za-z0-9_]+\.[A-Za-z0-9_]+")
# The figures of a cell: results.tsv's column and the day.tsv step it comes from.
FIGURES = [
    ("neural_rms_deg", "neural-only run"),
    ("hybrid_rms_deg", "hybrid run"),
    ("tuned_rms_deg", "hybrid run, tuned"),
    ("fitness_builtin", "arbiter, built-in"),
    ("fitness_tuned", "arbiter, tuned"),
]
# Axes whose values are repetitions rather than conditions: the report
# shows their scatter as error bars.
SEED_KEYS = ("day.seed", "plant.sensors.seed")
PLAIN_NAME = re.compile(r"[A-Za-z0-9][A-Za-z0-9._-]*")
RESULT_FILE = "result.tsv"


class Refusal(Exception):
    """A study file that cannot run; the text is the one line that says why."""


def format_value(value):
    """A setting's value as names, tables and plant files show it: numbers in
    their shortest exact form, a whole float as an integer, so that equal
    values always give equal text."""
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, float) and math.isfinite(value) and value == int(value):
        return str(int(value))
    if isinstance(value, (int, float)):
        return repr(value)
    return value


def toml_value(value):
    if isinstance(value, str):
        return json.dumps(value)
    if isinstance(value, float) and not math.isfinite(value):
        return "nan" if math.isnan(value) else ("inf" if value > 0 else "-inf")
    return format_value(value)


class Study:
    def __init__(self, path, name, short, fixed, axes):
        self.path = path
        self.name = name
        self.short = short
        self.fixed = fixed  # key -> value
        self.axes = axes  # key -> list of values, in the file's order
        names = short_names(list(axes))
        self.cells = []
        for values in itertools.product(*axes.values()):
            chosen = dict(zip(axes, values))
            self.cells.append(Cell(cell_name(names, chosen), chosen, {**fixed, **chosen}))
        self.by_name = {cell.name: cell for cell in self.cells}


class Cell:
    def __init__(self, name, values, settings):
        self.name = name
        self.values = values  # the axes' values
        self.settings = settings  # fixed and axes together


def short_names(keys):
    """Each axis key by its last part, or whole where two axes share it."""
    last = [key.rsplit(".", 1)[1] for key in keys]
    return {key: short if last.count(short) == 1 else key for key, short in zip(keys, last)}


def cell_name(names, values):
    """The cell's directory: its axes' values, KEY=VALUE joined by +, in a
    value anything but letters, digits and . _ - written as %XX."""

    def safe(text):
        return "".join(c if c.isascii() and (c.isalnum() or c in "._-") else "%%%02X" % ord(c)
                       for c in text)

    return "+".join(f"{names[key]}={safe(format_value(value))}" for key, value in values.items()) or "default"


def scalar(value):
    return isinstance(value, (bool, int, float, str))


def check_key(key, value, where):
    if key in DAY_OPTIONS:
        ok = {
            "day.trajectory": isinstance(value, str) and value in ("sine", "ramp", "step"),
            "day.amplitude_mm": isinstance(value, (int, float)) and not isinstance(value, bool),
            "day.frequency_hz": isinstance(value, (int, float)) and not isinstance(value, bool),
            "day.seed": isinstance(value, int) and not isinstance(value, bool),
        }[key]
        if not ok:
            raise Refusal(f"{where}: {key} = {toml_value(value)} is not {DAY_KINDS[key]}")
    elif PLANT_KEY.fullmatch(key):
        if not scalar(value):
            raise Refusal(f"{where}: {key} must be a single value, not {toml_value(value)}")
    else:
        raise Refusal(f"{where}: unknown key '{key}'; allowed: plant.SECTION.KEY (a key of the"
                      f" plant file), {', '.join(DAY_OPTIONS)}")


def read_study(path):
    """Reads and checks the study file's form; raises Refusal."""
    try:
        with open(path, "rb") as f:
            data = tomllib.load(f)
    except OSError as e:
        raise Refusal(f"{path}: does not open ({e.strerror})")
    except tomllib.TOMLDecodeError as e:
        raise Refusal(f"{path}: not a TOML file: {e}")
    for table in data:
        if table not in ("study", "fixed", "axes"):
            raise Refusal(f"{path}: unknown table [{table}]; allowed: [study], [fixed], [axes]")
    head = data.get("study", {})
    fixed = data.get("fixed", {})
    axes = data.get("axes", {})
    for table, content in (("study", head), ("fixed", fixed), ("axes", axes)):
        if not isinstance(content, dict):
            raise Refusal(f"{path}: {table} must be a table [{table}]")
    for key in head:
        if key not in ("name", "short"):
            raise Refusal(f"{path}: [study] {key} is unknown; allowed: name, short")
    name = head.get("name")
    if not isinstance(name, str) or not PLAIN_NAME.fullmatch(name):
        raise Refusal(f"{path}: [study] name = {toml_value(name) if name is not None else 'missing'}"
                      " must be a plain directory name: letters, digits, . _ -, not starting"
                      " with . or -")
    short = head.get("short", False)
    if not isinstance(short, bool):
        raise Refusal(f"{path}: [study] short = {toml_value(short)} is not true or false")
    for key, value in fixed.items():
        check_key(key, value, f"{path}: [fixed]")
    for key, values in axes.items():
        where = f"{path}: [axes]"
        if not isinstance(values, list):
            raise Refusal(f"{where}: {key} = {toml_value(values)} is not a list of values")
        if not values:
            raise Refusal(f"{where}: {key} is empty; an axis needs at least one value")
        for value in values:
            check_key(key, value, where)
        shown = [format_value(value) for value in values]
        for value in shown:
            if shown.count(value) > 1:
                raise Refusal(f"{where}: {key} holds {value} twice; each value makes one cell")
        if key in fixed:
            raise Refusal(f"{where}: {key} is also in [fixed]; a key is fixed or an axis")
    keys = set(fixed) | set(axes)
    if "day.seed" in keys and "plant.sensors.seed" in keys:
        raise Refusal(f"{path}: day.seed sets the plant's sensor seed too; leave out"
                      " plant.sensors.seed")
    return Study(path, name, short, fixed, axes)


def write_plant(settings, path):
    """Writes the plant.* settings as a plant file; returns whether any."""
    sections = {}
    for key, value in settings.items():
        if key.startswith("plant."):
            _, section, name = key.split(".")
            sections.setdefault(section, []).append(f"{name} = {toml_value(value)}")
    if not sections:
        return False
    with open(path, "w") as f:
        f.write("\n".join(f"[{s}]\n" + "\n".join(lines) + "\n" for s, lines in sections.items()))
    return True


def day_command(lab_day, build, settings, plant, short=False, check=False):
    """lab-day.sh's command line for these settings."""
    command = ["bash", lab_day, "--build", build]
    command += ["--short"] if short else []
    command += ["--check"] if check else []
    command += ["--plant", plant] if plant else []
    for key, option in DAY_OPTIONS.items():
        if key in settings:
            command += [option, format_value(settings[key])]
    return command


def check_values(study, build, lab_day):
    """Checks every fixed and axis value through lab-day's own checks (the
    plant values through the plant file's), several at once; raises Refusal
    with the first value refused, in the file's order."""
    values = [("[fixed]", key, value) for key, value in study.fixed.items()]
    values += [("[axes]", key, value) for key, axis in study.axes.items() for value in axis]
    with tempfile.TemporaryDirectory() as scratch:

        def check(index):
            table, key, value = values[index]
            plant = os.path.join(scratch, f"plant-{index}.toml")
            has_plant = write_plant({key: value}, plant)
            command = day_command(lab_day, build, {key: value}, plant if has_plant else None,
                                  check=True)
            run = subprocess.run(command, capture_output=True, text=True)
            if run.returncode == 0:
                return None
            lines = (run.stderr or run.stdout).strip().splitlines() or ["refused"]
            reason = lines[0].removeprefix("lab-day: ")
            return f"{study.path}: {table} {key} = {toml_value(value)}: {reason}"

        with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 1) as pool:
            for refusal in pool.map(check, range(len(values))):
                if refusal:
                    raise Refusal(refusal)


# --- one cell ---------------------------------------------------------------


def day_figures(day_table):
    """The figures of a lab day's table (day.tsv), by step."""
    figures = {}
    try:
        with open(day_table) as f:
            for line in f:
                fields = line.rstrip("\n").split("\t")
                if len(fields) > 1:
                    figures[fields[0]] = fields[1]
    except OSError:
        pass
    return [figures.get(step, "") for _, step in FIGURES]


def failure_line(day_log):
    """The day's own failure line: the step's FAILED line, or for a day
    refused before it began, its last line; spaces squeezed."""
    try:
        with open(day_log, errors="replace") as f:
            lines = [line.strip() for line in f if line.strip()]
    except OSError:
        return "the day left no output"
    failed = [line for line in lines if " FAILED: " in line]
    line = (failed or lines or ["the day ended without a word"])[-1]
    return " ".join(line.split())


def run_cell(cell_dir, settings, short, build, lab_day):
    """Runs one cell's lab day in CELL_DIR/lab and writes CELL_DIR/result.tsv:
    status, the day's figures, wall seconds. A failed day is a result too; a
    day killed by a signal is not."""
    os.makedirs(cell_dir, exist_ok=True)
    plant = os.path.join(cell_dir, "plant.toml")
    has_plant = write_plant(settings, plant)
    command = day_command(lab_day, build, settings, plant if has_plant else None, short)
    command.append(os.path.join(cell_dir, "lab"))
    environment = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    began = time.monotonic()
    with open(os.path.join(cell_dir, "day.log"), "w") as log:
        status = subprocess.run(command, stdout=log, stderr=subprocess.STDOUT,
                                env=environment).returncode
    wall = time.monotonic() - began
    if status < 0:
        # Killed, not failed: no result, so that the next run runs it again.
        raise SystemExit(f"study: the day in {cell_dir} was ended by signal {-status}")
    figures = day_figures(os.path.join(cell_dir, "lab", "day.tsv"))
    state = "ok" if status == 0 else "failed: " + failure_line(os.path.join(cell_dir, "day.log"))
    result = os.path.join(cell_dir, RESULT_FILE)
    with open(result + ".part", "w") as f:
        f.write("\t".join([state, *figures, f"{wall:.1f}"]) + "\n")
    os.replace(result + ".part", result)


# --- the study's table and report -------------------------------------------

NOT_RUN = "failed: no result; the cell's job was killed, timed out or did not start"


def read_result(study_dir, cell):
    try:
        with open(os.path.join(study_dir, "cells", cell.name, RESULT_FILE)) as f:
            fields = f.readline().rstrip("\n").split("\t")
    except OSError:
        fields = []
    if len(fields) != len(FIGURES) + 2:
        return [NOT_RUN] + [""] * (len(FIGURES) + 1)
    return fields


def write_results(study, study_dir):
    """Writes results.tsv (one row per cell, the grid's order) and report.png;
    returns the number of failed cells."""
    header = ["cell", *study.axes, "status", *(column for column, _ in FIGURES), "wall_s"]
    rows = []
    for cell in study.cells:
        result = read_result(study_dir, cell)
        rows.append([cell.name, *(format_value(v) for v in cell.values.values()), *result])
    table = os.path.join(study_dir, "results.tsv")
    with open(table + ".part", "w") as f:
        for row in [header, *rows]:
            f.write("\t".join(row) + "\n")
    os.replace(table + ".part", table)
    draw_report(study, study_dir, rows)
    return sum(row[len(study.axes) + 1] != "ok" for row in rows)


def number(text):
    try:
        value = float(text)
    except ValueError:
        return None
    return value if math.isfinite(value) else None


def tics_of(values):
    """gnuplot tics naming each value at its position 0, 1, ..."""
    return ", ".join(f'"{format_value(v)}" {i}' for i, v in enumerate(values))


def draw_report(study, study_dir, rows):
    """report.png: each figure against the first numeric axis, one line per
    combination of the other axes, seeds as error bars (mean and standard
    deviation); a heat map of the tuned run's RMS over the first two numeric
    axes where there are two. The gnuplot script and its data stay beside."""
    keys = list(study.axes)
    conditions = [k for k in keys if k not in SEED_KEYS]
    numeric = [k for k in conditions if all(number(format_value(v)) is not None for v in study.axes[k])]
    x_key = numeric[0] if numeric else (conditions[0] if conditions else None)
    others = [k for k in conditions if k != x_key]
    x_values = study.axes[x_key] if x_key else [None]
    status_column = len(keys) + 1

    def value_of(row, key):
        return row[1 + keys.index(key)]

    # One block per line: x, then mean and deviation of each figure.
    groups = {}
    for row in rows:
        if row[status_column] != "ok":
            continue
        label = ", ".join(f"{k.split('.')[-1]} {value_of(row, k)}" for k in others) or "all cells"
        x = value_of(row, x_key) if x_key else ""
        groups.setdefault(label, {}).setdefault(x, []).append(
            [number(v) for v in row[status_column + 1:status_column + 1 + len(FIGURES)]])
    data = os.path.join(study_dir, "report.dat")
    with open(data, "w") as f:
        for label, by_x in groups.items():
            f.write(f"# {label}\n")
            for i, x in enumerate(format_value(v) if v is not None else "" for v in x_values):
                if x not in by_x:
                    continue
                position = x if x_key in numeric else str(i)
                fields = [position, json.dumps(x)]
                for j in range(len(FIGURES)):
                    samples = [s[j] for s in by_x[x] if s[j] is not None]
                    mean = statistics.fmean(samples) if samples else math.nan
                    spread = statistics.stdev(samples) if len(samples) > 1 else 0.0
                    fields += [repr(mean), repr(spread)]
                f.write(" ".join(fields) + "\n")
            f.write("\n\n")

    heat = len(numeric) >= 2
    if heat:
        tuned = [c for c, _ in FIGURES].index("tuned_rms_deg")
        cells = {}
        for row in rows:
            if row[status_column] == "ok":
                value = number(row[status_column + 1 + tuned])
                key = (value_of(row, numeric[0]), value_of(row, numeric[1]))
                if value is not None:
                    cells.setdefault(key, []).append(value)
        with open(os.path.join(study_dir, "report-heat.dat"), "w") as f:
            # By the values' positions, so that unevenly spaced values get
            # cells of equal size.
            for i, a in enumerate(study.axes[numeric[0]]):
                for j, b in enumerate(study.axes[numeric[1]]):
                    samples = cells.get((format_value(a), format_value(b)), [])
                    mean = statistics.fmean(samples) if samples else math.nan
                    f.write(f"{i} {j} {mean!r}\n")
                f.write("\n")

    picture = os.path.join(study_dir, "report.png")
    if os.path.exists(picture):
        os.remove(picture)
    if not groups:
        print("study: report.png not drawn: no cell is ok", file=sys.stderr)
        return
    x_label = x_key or "all cells"
    lines = [
        "# Drawn by study.sh from report.dat. Edit and draw again with: gnuplot report.gp",
        'set terminal pngcairo size 1500,900 font "DejaVu Sans,10"',
        'set output "report.png"',
        "set termoption noenhanced",
        f'set multiplot layout 2,3 title "study {study.name}: {len(rows)} cells"',
        f'set xlabel "{x_label}"',
        "set key top left font \",8\"",
        "set grid",
        "set offsets graph 0.05, graph 0.05, graph 0.1, graph 0.1",
    ]
    if x_key is None:
        lines += ['set xtics ("" 0)', "set xrange [-0.5:0.5]"]
    elif x_key not in numeric:
        lines += [f"set xtics ({tics_of(x_values)})", f"set xrange [-0.5:{len(x_values) - 0.5}]"]
    for j, (column, _) in enumerate(FIGURES):
        mean = 3 + 2 * j
        plots = ", ".join(
            f"'report.dat' index {i} using 1:{mean}:{mean + 1} with yerrorlines title \"{label}\""
            for i, label in enumerate(groups))
        lines += [f'set title "{column}"', f'set ylabel "{column}"']
        lines += [f"plot {plots}"]
    if heat:
        lines += [
            'set title "tuned_rms_deg (mean over the other axes)"',
            f'set xlabel "{numeric[0]}"', f'set ylabel "{numeric[1]}"', "set offsets 0, 0, 0, 0",
            f"set xtics ({tics_of(study.axes[numeric[0]])})", f"set ytics ({tics_of(study.axes[numeric[1]])})",
            f"set xrange [-0.5:{len(study.axes[numeric[0]]) - 0.5}]",
            f"set yrange [-0.5:{len(study.axes[numeric[1]]) - 0.5}]", 'set cblabel "deg"',
            "plot 'report-heat.dat' using 1:2:3 with image notitle",
        ]
    lines += ["unset multiplot"]
    script = os.path.join(study_dir, "report.gp")
    with open(script, "w") as f:
        f.write("\n".join(lines) + "\n")
    run = subprocess.run(["gnuplot", "report.gp"], cwd=study_dir, capture_output=True, text=True)
    if run.returncode != 0 or not os.path.exists(picture):
        reason = (run.stderr.strip().splitlines() or ["gnuplot wrote no picture"])[-1]
        print(f"study: report.png not drawn: {reason}", file=sys.stderr)


# --- command ------------------------------------------------------------------


def main():
    parser = argparse.ArgumentParser(prog="study.py", description=__doc__.split("\n\n")[0])
    parser.add_argument("action", choices=["check", "cells", "cell", "results"])
    parser.add_argument("study")
    parser.add_argument("where", nargs="?", help="the study's directory (results), the cell (cell)")
    parser.add_argument("--build", help="the built tools (check)")
    parser.add_argument("--lab-day", default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                           "..", "scripts", "lab-day.sh"))
    args = parser.parse_args()
    try:
        study = read_study(args.study)
        if args.action == "check":
            check_values(study, args.build, args.lab_day)
            print(study.name)
        elif args.action == "cells":
            for cell in study.cells:
                print(cell.name)
        elif args.action == "cell":
            cell = study.by_name[args.where]
            run_cell(os.path.join("cells", cell.name), cell.settings, study.short, args.build,
                     args.lab_day)
        else:
            failed = write_results(study, args.where)
            return 1 if failed else 0
    except Refusal as refusal:
        print(f"study: {refusal}", file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
