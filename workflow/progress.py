# Snakemake log handler (--log-handler-script): one line per finished cell
# on standard output, with the study's progress and an estimate of the time
# left; Snakemake's own messages go to its log as usual.
import re
import sys
import time

began = time.monotonic()
total = done = failed = 0
outputs = {}  # a running cell job's id -> its result file


def clock(seconds):
    seconds = int(seconds)
    return f"{seconds // 3600}:{seconds // 60 % 60:02d}:{seconds % 60:02d}"


def report(cell, state):
    elapsed = time.monotonic() - began
    left = elapsed / done * (total - done) if done else 0
    print(f"{done}/{total} done, {failed} failed, elapsed {clock(elapsed)}, "
          f"about {clock(left)} left  {cell}: {state}", flush=True)


def log_handler(msg):
    global total, done, failed
    level = msg["level"]
    if level == "run_info":
        found = re.search(r"^cell\s+(\d+)", msg["msg"], re.MULTILINE)
        total = int(found.group(1)) if found else 0
    elif level == "job_info" and msg.get("name") == "cell":
        outputs[msg["jobid"]] = msg["output"][0]
    elif level == "job_finished" and msg["jobid"] in outputs:
        result = outputs.pop(msg["jobid"])
        try:
            with open(result) as f:
                state = f.readline().split("\t")[0]
        except OSError:
            state = "failed: no result"
        done += 1
        failed += state != "ok"
        report(result.split("/")[-2], state)
    elif level == "job_error" and msg.get("name") == "cell":
        done += 1
        failed += 1
        outputs.pop(msg["jobid"], None)
        report(msg["output"][0].split("/")[-2], "failed: the job ended without a result")
