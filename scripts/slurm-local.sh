#!/usr/bin/env bash
# A single-node Slurm cluster on this machine, for trying a study's cluster
# path: munged, slurmctld and slurmd with their configuration, keys, state
# and logs under a temporary directory, one node with this machine's cores,
# on free ports, as root (no cgroups, no accounting).
#
#   eval "$(bash scripts/slurm-local.sh start)"   # prints export SLURM_CONF=DIR/slurm.conf
#   bash scripts/study.sh STUDY.toml --slurm
#   bash scripts/slurm-local.sh stop              # the cluster of $SLURM_CONF
#
# stop ends only the daemons start started (by the process ids in DIR) and
# removes DIR. Needs Debian's slurm-wlm and munge (scripts/setup.sh).
set -uo pipefail

usage="usage: bash scripts/slurm-local.sh start|stop"
(($# == 1)) || { echo "slurm-local: $usage" >&2; exit 2; }

stop() {
    local dir=$1 daemon pid
    for daemon in slurmd slurmctld munged; do
        pid=$(cat "$dir/$daemon.pid" 2>/dev/null) || continue
        kill "$pid" 2>/dev/null || continue
        for _ in $(seq 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
    done
    rm -rf "$dir"
}

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

case $1 in
    start) ;;
    stop)
        dir=$(dirname "${SLURM_CONF:-}")
        if [ -z "${SLURM_CONF:-}" ] || [ ! -f "$dir/slurm-local" ]; then
            echo "slurm-local: SLURM_CONF names no cluster slurm-local started" >&2
            exit 1
        fi
        stop "$dir"
        exit 0
        ;;
    --help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "slurm-local: $usage" >&2; exit 2 ;;
esac

if ((EUID != 0)); then
    echo "slurm-local: a one-node cluster runs its daemons as root; run it as root" >&2
    exit 1
fi
for program in munged slurmctld slurmd sbatch; do
    command -v "$program" >/dev/null || PATH=$PATH:/usr/sbin
    if ! command -v "$program" >/dev/null; then
        echo "slurm-local: $program is missing (scripts/setup.sh installs slurm-wlm and munge)" >&2
        exit 1
    fi
done

dir=$(mktemp -d "${TMPDIR:-/tmp}/slurm-local.XXXXXX") && chmod 700 "$dir" || exit 1
touch "$dir/slurm-local"
mkdir -p "$dir/state" "$dir/spool" "$dir/munge"
failed() {
    echo "slurm-local: $1; its log: $2" >&2
    cat "$2" >&2 2>/dev/null
    stop "$dir"
    exit 1
}

dd if=/dev/urandom of="$dir/munge/munge.key" bs=1024 count=1 status=none && chmod 400 "$dir/munge/munge.key"
munged --force --key-file="$dir/munge/munge.key" --socket="$dir/munge/munge.socket" \
    --pid-file="$dir/munged.pid" --log-file="$dir/munged.log" --seed-file="$dir/munge/seed" ||
    failed "munged did not start" "$dir/munged.log"

memory=$(awk '/^MemTotal/ {print int($2 / 1024 * 0.8)}' /proc/meminfo)
cat >"$dir/slurm.conf" <<CONF
ClusterName=local
SlurmctldHost=localhost(127.0.0.1)
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$dir/munge/munge.socket
CredType=cred/munge
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
MpiDefault=none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_Core_Memory
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
ReturnToService=2
MinJobAge=600
NodeName=local NodeHostname=$(hostname -s) NodeAddr=127.0.0.1 CPUs=$(nproc) RealMemory=$memory State=UNKNOWN
PartitionName=local Nodes=local Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF=$dir/slurm.conf
slurmctld -i || failed "slurmctld did not start" "$dir/slurmctld.log"
slurmd -N local || failed "slurmd did not start" "$dir/slurmd.log"
for _ in $(seq 100); do
    state=$(sinfo -h -N -o %t 2>/dev/null)
    [ "$state" = idle ] && break
    sleep 0.2
done
[ "$state" = idle ] || failed "the node did not become idle (state '$state')" "$dir/slurmd.log"
echo "export SLURM_CONF=$SLURM_CONF"
