#!/usr/bin/env bash
# Snakemake's cluster status command: prints running, success or failed for
# the Slurm job $1. Asks the controller first (scontrol, no accounting
# needed) and accounting (sacct) for a job the controller has forgotten.
job=$1
state=$(scontrol -o show job "$job" 2>/dev/null | grep -o 'JobState=[A-Z_]*' | cut -d= -f2)
[ -n "$state" ] || state=$(sacct -n -X -P -j "$job" -o State 2>/dev/null | head -n 1 | awk '{print $1}')
case $state in
    COMPLETED) echo success ;;
    PENDING | RUNNING | CONFIGURING | COMPLETING | SUSPENDED | REQUEUED | RESIZING | STAGE_OUT | SIGNALING)
        echo running ;;
    "") echo failed ;;
    *) echo failed ;;
esac
