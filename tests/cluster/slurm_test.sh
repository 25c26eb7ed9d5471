#!/usr/bin/env bash
# Starts a one-node Slurm cluster on this machine, runs a plan of segments over
# two clips through scripts/cluster/plan.sh, and checks that the merged outputs
# equal whole runs (the run's timing aside).
#   slurm_test.sh FRAMEPROBE FRAMEPROBE_SAMPLE
# Exit status 77: skipped, Slurm is not installed (scripts/install-deps.sh installs it).
set -euo pipefail
frameprobe=$(realpath "$1")
sample=$(realpath "$2")
root=$(cd "$(dirname "$0")/../.." && pwd)
began=$SECONDS
step() { echo "[$((SECONDS - began)) s] $*"; }

if ! command -v slurmctld >/dev/null || ! command -v slurmd >/dev/null || ! command -v sbatch >/dev/null ||
    ! command -v munged >/dev/null; then
    echo "skipped: Slurm is not installed; scripts/install-deps.sh installs it"
    exit 77
fi

tmp=$(mktemp -d /tmp/frameprobe-slurm.XXXXXX)
pids=()
stop() {
    status=$?
    if [[ -n ${SLURM_CONF:-} ]]; then scancel --quiet --user="$(id -un)" --name=frameprobe-segment,frameprobe-merge 2>/dev/null || true; fi
    for ((i = ${#pids[@]} - 1; i >= 0; --i)); do kill "${pids[$i]}" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    if ((status != 0)); then
        for log in "$tmp"/*.log "$tmp"/run/logs/*; do [[ -f $log ]] && { echo "--- $log"; tail -n 20 "$log"; }; done
    fi
    rm -rf "$tmp"
    exit "$status"
}
trap stop EXIT
trap 'exit 1' INT TERM

host=$(hostname -s)
# Ports of their own, so that the cluster does not meet another one on the machine.
port=$((20000 + $$ % 20000))
mkdir -p "$tmp/munge" "$tmp/state" "$tmp/spool"
chmod 711 "$tmp/munge"  # clients of other users reach the socket through it
dd if=/dev/urandom of="$tmp/munge.key" bs=1024 count=1 status=none
chmod 400 "$tmp/munge.key"
socket="$tmp/munge/munge.socket.2"
munged --foreground --force --key-file="$tmp/munge.key" --socket="$socket" --pid-file="$tmp/munged.pid" \
    --seed-file="$tmp/munge.seed" --log-file="$tmp/munged.log" 2>>"$tmp/munged.log" &
pids+=($!)

cat >"$tmp/slurm.conf" <<CONF
ClusterName=frameprobe
SlurmctldHost=$host(127.0.0.1)
SlurmUser=root
SlurmctldPort=$port
SlurmdPort=$((port + 1))
AuthType=auth/munge
AuthInfo=socket=$socket
CredType=cred/munge
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/slurmctld.log
SlurmdLogFile=$tmp/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
MpiDefault=none
ReturnToService=2
SchedulerParameters=batch_sched_delay=0,sched_min_interval=0
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
NodeName=$host NodeAddr=127.0.0.1 CPUs=2 State=UNKNOWN
PartitionName=test Nodes=ALL Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF="$tmp/slurm.conf"
for _ in $(seq 50); do [[ -S $socket ]] && break; sleep 0.1; done
slurmctld -D -c -f "$SLURM_CONF" 2>>"$tmp/slurmctld.log" &
pids+=($!)
slurmd -D -f "$SLURM_CONF" 2>>"$tmp/slurmd.log" &
pids+=($!)
step "daemons started"

waited=0
until [[ $(sinfo -h -o %t 2>/dev/null) == idle ]]; do
    ((waited++ < 300)) || { echo "the node never became idle"; exit 1; }
    sleep 0.1
done
step "cluster up"

cd "$tmp"
"$sample" long.yuv 64 64 40 freeze:5-14 black:19-21 freeze:28-33 flicker:0-39 >/dev/null
"$sample" short.yuv 64 64 7 black:2-4 >/dev/null
plan=$(bash "$root/scripts/cluster/plan.sh" --segment 10 --out run --frameprobe "$frameprobe" long.yuv short.yuv \
    -- -s 64x64)
echo "$plan"
array=$(sed -n 's/^submitted: segments job \([0-9]*\), merge job \([0-9]*\)$/\1/p' <<<"$plan")
merge=$(sed -n 's/^submitted: segments job \([0-9]*\), merge job \([0-9]*\)$/\2/p' <<<"$plan")
[[ -n $array && -n $merge ]] || { echo "the plan was not submitted"; exit 1; }
[[ $(wc -l <run/segments.tsv) == 5 ]] || { echo "expected 4 + 1 segments"; cat run/segments.tsv; exit 1; }

# Polling answers sooner than sbatch --wait.
waited=0
while [[ -n $(squeue -h -j "$array,$merge" -o %i 2>/dev/null) ]]; do
    if squeue -h -j "$merge" -o %r 2>/dev/null | grep -q DependencyNeverSatisfied; then
        echo "a segment failed"; exit 1
    fi
    ((waited++ < 1800)) || { echo "the jobs did not end within 180 s"; exit 1; }
    sleep 0.1
done
step "jobs done"

without_timing() {
    python3 -c 'import json, sys
for line in open(sys.argv[1]):
    record = json.loads(line)
    record.pop("run", None)
    print(json.dumps(record, sort_keys=True))' "$1"
}
for clip in long short; do
    "$frameprobe" -s 64x64 -q --format jsonl -o "$clip.whole.jsonl" "$tmp/$clip.yuv"
    merged=$(ls run/results/*-"$clip".yuv.jsonl)
    if ! diff <(without_timing "$clip.whole.jsonl") <(without_timing "$merged") >/dev/null; then
        echo "$clip: the merged output differs from the whole run"
        diff <(without_timing "$clip.whole.jsonl") <(without_timing "$merged") | head -n 20
        exit 1
    fi
done
step "merged outputs equal the whole runs"
