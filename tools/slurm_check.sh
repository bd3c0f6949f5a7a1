#!/bin/bash
# Runs the Slurm recipes of examples/cluster under a throw-away single-node Slurm and checks
# that their outputs are byte-identical to those of plain ornax.x runs.
#
# Usage: tools/slurm_check.sh BUILD_DIR   (BUILD_DIR holds ornax.x, ornax_mpi.x and
#                                          ornax_make_region)
# Needs root and Debian's slurm-wlm (slurmctld, slurmd, the client commands; 22.05 with the
# auth/none plugin). The cluster lives in a temporary folder: its own slurm.conf
# (MpiDefault=none, TaskPlugin=task/affinity, 2 CPUs, ports of its own), state, spool, logs
# and a generated four-day region; the daemons and every job are ended and the folder is
# removed on exit (ORNAX_SLURM_KEEP=1 keeps the folder).
# Checks, each reported as "ok" or "FAILED" with what differed:
#   one large day under MPI: srun (MpiDefault=none, so --mpi=pmix is added) with 2 processes,
#   with 1 process of 2 CPUs (-c reaches srun, threads pinned), mpirun inside the allocation
#   as ORNAX_LAUNCHER; the Slurm log in the work root, none in the submit folder;
#   the multi-day recipe on 4 days, 2 per task: the warning for the day whose next-day
#   forecast is missing, the report listing it as a data failure and the day whose run was
#   killed (signal 9) as one to retry, the resubmission of that day only; a preparation job
#   that fails (program not found) stopping the array.
# Exit status: 0 when every check passed, 1 otherwise, 77 when it cannot run here (not
# root, slurm-wlm or a program missing).
set -uo pipefail

skip() {
    echo "slurm_check.sh: SKIPPED: $*"
    exit 77
}
if [ $# -ne 1 ] || [ ! -d "$1" ]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
cluster=$root/examples/cluster
[ "$(id -u)" -eq 0 ] || skip "needs root (the daemons run as root)"
for program in slurmctld slurmd sbatch srun squeue scontrol scancel; do
    command -v "$program" > /dev/null 2>&1 || skip "no $program (Debian package slurm-wlm)"
done
plugin_dir=$(dirname "$(find /usr/lib -name auth_none.so -path '*slurm*' 2> /dev/null |
    head -n 1)")
[ -f "$plugin_dir/auth_none.so" ] || skip "this Slurm has no auth/none plugin"
for program in ornax.x ornax_mpi.x ornax_make_region; do
    [ -x "$build/$program" ] || skip "no $build/$program"
done
command -v mpirun > /dev/null 2>&1 || skip "no mpirun (Debian package openmpi-bin)"

tmp=$(mktemp -d /tmp/ornax-slurm.XXXXXX)
export SLURM_CONF=$tmp/slurm.conf
daemons=()
teardown() {
    scancel --quiet --full --signal=KILL "$(squeue -h -o %i 2> /dev/null | sort -u)" \
        > /dev/null 2>&1 || true
    for pid in "${daemons[@]}"; do kill "$pid" 2> /dev/null || true; done
    for pid in "${daemons[@]}"; do
        for _ in $(seq 50); do kill -0 "$pid" 2> /dev/null || break; sleep 0.2; done
        kill -9 "$pid" 2> /dev/null || true
        wait "$pid" 2> /dev/null || true
    done
    # job steps still running in this cluster's folders (none when all went well)
    for pid in $(pgrep -f "$tmp/" 2> /dev/null); do kill -9 "$pid" 2> /dev/null || true; done
    if [ "${ORNAX_SLURM_KEEP:-0}" = 1 ]; then
        echo "slurm_check.sh: kept $tmp"
    else
        rm -rf "$tmp"
    fi
}
trap teardown EXIT

passed=0
failed=0
check() { # check NAME COMMAND...: runs the command, counts and reports it
    local name=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
        echo "ok      $name"
    else
        failed=$((failed + 1))
        echo "FAILED  $name"
    fi
}
# identical DIR_A DIR_B: every .bin of DIR_A is in DIR_B with the same bytes
identical() {
    local n=0 f
    for f in "$1"/*.bin; do
        n=$((n + 1))
        [ -f "$2/${f##*/}" ] || { echo "        no $2/${f##*/}"; return 1; }
        cmp -s "$f" "$2/${f##*/}" || { echo "        $2/${f##*/} differs from $f"; return 1; }
    done
    [ "$n" -gt 0 ] || { echo "        no output in $1"; return 1; }
}
# wait_idle SECONDS: until no job is left in the queue
wait_idle() {
    local i
    for i in $(seq "$1"); do
        [ -z "$(squeue -h -o %i 2> /dev/null)" ] && return 0
        sleep 1
    done
    echo "        jobs still queued after $1 s:"
    squeue 2>&1 | sed 's/^/        /'
    return 1
}
contains() { # contains FILE TEXT
    grep -qF -- "$2" "$1" 2> /dev/null || { echo "        no \"$2\" in $1"; return 1; }
}

# ---- the cluster --------------------------------------------------------------------
port_free() { ! ss -ltnH 2> /dev/null | awk '{ print $4 }' | grep -q ":$1\$"; }
port=$((20000 + ($$ % 4000) * 2))
while ! port_free "$port" || ! port_free $((port + 1)); do port=$((port + 2)); done
mkdir -p "$tmp/state" "$tmp/spool" "$tmp/log" "$tmp/submit"
cat > "$SLURM_CONF" << EOF
ClusterName=ornaxcheck
SlurmctldHost=localhost
SlurmctldPort=$port
SlurmdPort=$((port + 1))
AuthType=auth/none
CredType=cred/none
SlurmUser=root
SlurmdUser=root
MpiDefault=none
TaskPlugin=task/affinity
ProctrackType=proctrack/linuxproc
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerType=sched/builtin
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/log/slurmctld.log
SlurmdLogFile=$tmp/log/slurmd.log
ReturnToService=2
MinJobAge=2
NodeName=localhost CPUs=2 State=UNKNOWN
PartitionName=check Nodes=localhost Default=YES MaxTime=INFINITE State=UP
EOF
slurmctld -D -f "$SLURM_CONF" > "$tmp/log/slurmctld.out" 2>&1 &
daemons+=($!)
slurmd -D -N localhost -f "$SLURM_CONF" > "$tmp/log/slurmd.out" 2>&1 &
daemons+=($!)
for _ in $(seq 60); do
    [ "$(sinfo -h -o %T 2> /dev/null)" = idle ] && break
    sleep 0.5
done
if [ "$(sinfo -h -o %T 2> /dev/null)" != idle ]; then
    echo "slurm_check.sh: the node did not become idle; logs:"
    tail -n 20 "$tmp/log/"*.log
    exit 1
fi
echo "slurm_check.sh: Slurm $(sinfo -V | awk '{ print $2 }') in $tmp (ports $port," \
    "$((port + 1))), MpiDefault=$(scontrol show config | awk '$1 == "MpiDefault" { print $3 }')," \
    "TaskPlugin=$(scontrol show config | awk '$1 == "TaskPlugin" { print $3 }')"

# ---- the region and its plain runs --------------------------------------------------
data=$tmp/data
"$build/ornax_make_region" -o "$data" -c 24 -r 12 -n 4 -y 2019 -d 200 > "$tmp/log/make.txt" 2>&1 ||
    { echo "slurm_check.sh: ornax_make_region failed:"; cat "$tmp/log/make.txt"; exit 1; }
rm -rf "$data/met/2019204" # the forecast of the day after 2019203: that day fails
cp -r "$data" "$tmp/plain"
(cd "$tmp/plain" && HOME_DIR=$PWD "$build/ornax.x" -r0 config/region.cfg 2019 200 203 \
    > "$tmp/log/plain.txt" 2>&1)
plain_status=$?
check "plain range 2019 200-203 ends with exit status 3 (2019203 has no next-day forecast)" \
    [ "$plain_status" -eq 3 ]
plain=$tmp/plain/output

# ---- one large day under MPI ----------------------------------------------------------
# day_job NAME WORK SBATCH_OPTIONS...: the one-large-day recipe for 2019 200 from the submit
# folder, with the job's folder WORK; its exit status
day_job() {
    local work=$2
    shift 2
    mkdir -p "$work"
    (cd "$tmp/submit" && sbatch --wait --quiet --chdir="$work" "$@" \
        "$cluster/ornax_region_day.sbatch" "$data" config/region.cfg 2019 200 "$work") \
        > /dev/null 2>&1
}
slurm_log() { find "$1" -maxdepth 1 -name 'ornax-day-*.out' | head -n 1; }
export ORNAX_RANK_VERBOSE=1
for variant in srun2 srun1c2 mpirun; do
    work=$tmp/day-$variant
    case $variant in
    srun2) day_job "$variant" "$work" -N 1 -n 2 -c 1 --export="ALL,ORNAX_EXE=$build/ornax_mpi.x" ;;
    srun1c2) day_job "$variant" "$work" -N 1 -n 1 --ntasks-per-node=1 -c 2 --export="ALL,ORNAX_EXE=$build/ornax_mpi.x" ;;
    mpirun)
        launcher="mpirun --allow-run-as-root --mca pml ob1 -x HOME_DIR -x OMP_NUM_THREADS"
        launcher+=" -x ORNAX_RANK_VERBOSE $cluster/ornax_rank_env.sh"
        ORNAX_LAUNCHER=$launcher day_job "$variant" "$work" -N 1 -n 2 -c 1 \
            --export="ALL,ORNAX_EXE=$build/ornax_mpi.x" ;;
    esac
    status=$?
    log=$(slurm_log "$work")
    check "one large day ($variant): exit status $status" [ "$status" -eq 0 ]
    check "one large day ($variant): Slurm log in the work root (${log:-none})" [ -n "$log" ]
    check "one large day ($variant): outputs identical to ornax.x" \
        identical "$plain/2019200" "$work/2019200/output"
    echo "        $(grep -h 'ornax_region_day.sbatch:\|ornax_rank_env.sh:' "$log" | sort -u |
        tr '\n' '|' | sed 's/|$//; s/|/\n        /g')"
    case $variant in
    srun2)
        check "one large day (srun2): --mpi=pmix added under MpiDefault=none" \
            contains "$log" "srun --mpi=pmix -c 1 --cpu-bind=cores" ;;
    srun1c2)
        check "one large day (srun1c2): srun -c 2, the process has 2 CPUs, threads pinned" \
            contains "$log" "2 CPUs for 2 threads, OMP_PROC_BIND=close" ;;
    mpirun)
        check "one large day (mpirun): ORNAX_LAUNCHER used as given" \
            contains "$log" "ornax_region_day.sbatch: mpirun --allow-run-as-root" ;;
    esac
done
unset ORNAX_RANK_VERBOSE
# srun without an MPI type under MpiDefault=none: OpenMPI cannot start, and the day task
# says that ornax wrote no run log rather than pointing at one.
ORNAX_LAUNCHER="srun -c 1" day_job none "$tmp/day-none" -N 1 -n 2 -c 1 \
    --export="ALL,ORNAX_EXE=$build/ornax_mpi.x"
status=$?
log=$(slurm_log "$tmp/day-none")
check "srun without --mpi under MpiDefault=none: exit status $status (1 expected)" \
    [ "$status" -eq 1 ]
check "srun without --mpi: the message says no run log was written" \
    contains "$log" "day 2019200 failed (exit status 1) before ornax wrote a run log"
check "nothing written into the submit folder" [ -z "$(ls -A "$tmp/submit")" ]

# ---- many days: preparation, array of 2 tasks of 2 days, report, resubmission ----------
# A stand-in for ornax.x whose first run of day 202 is killed, as by the memory limit.
mkdir -p "$tmp/bin"
cat > "$tmp/bin/killed_once.x" << EOF
#!/bin/bash
if [ "\$4" = 202 ] && [ ! -e "$tmp/bin/killed" ]; then
    : > "$tmp/bin/killed"
    kill -9 \$\$
fi
exec "$build/ornax.x" "\$@"
EOF
chmod +x "$tmp/bin/killed_once.x"
printf '2019 %s\n' 200 201 202 203 > "$tmp/submit/days.txt"
days=$tmp/days
# the array's 8 CPUs per task are more than this node has: one CPU per task here
export ORNAX_SBATCH_OPTIONS=--cpus-per-task=1
(cd "$tmp/submit" && ORNAX_EXE=$tmp/bin/killed_once.x ORNAX_DAYS_PER_TASK=2 \
    "$cluster/ornax_submit_days.sh" "$data" config/region.cfg days.txt "$days") \
    > "$tmp/log/submit.txt" 2>&1
status=$?
sed 's/^/        /' "$tmp/log/submit.txt"
check "many days: submitted (exit status $status)" [ "$status" -eq 0 ]
check "many days: warning for 2019203, whose next-day forecast is missing" \
    contains "$tmp/log/submit.txt" "2019203 (no $data/met/2019204/)"
check "many days: 2 tasks of 2 days" contains "$tmp/log/submit.txt" "4 days in 2 tasks of 2 days"
check "many days: the jobs ended" wait_idle 240
report=$days/ornax_days_report.txt
sed 's/^/        /' "$report" 2> /dev/null
for day in 2019200 2019201; do
    check "many days: $day done, outputs identical to ornax.x" \
        identical "$plain/$day" "$days/$day/output"
done
check "many days: 2019202 killed (exit status 137)" \
    [ "$(cat "$days/2019202/ornax_day.status" 2> /dev/null)" = 137 ]
check "many days: 2019203 failed on its data (exit status 3)" \
    [ "$(cat "$days/2019203/ornax_day.status" 2> /dev/null)" = 3 ]
check "many days: the report lists 2019203 as a data failure" \
    grep -A1 -q "^data failure (exit status 3, not retried) 1:" "$report"
check "many days: the report lists 2019202 to retry (signal 9)" \
    contains "$report" "2019202 (exit status 137: signal 9)"
check "many days: the report counts 2 days without a done stamp" \
    contains "$report" "Days without a done stamp: 2"
check "many days: Slurm logs of prepare, both tasks and report in $days/slurm" \
    [ "$(find "$days/slurm" -name 'ornax-*.out' | wc -l)" -eq 4 ]
check "many days: nothing written into the submit folder but the day list" \
    [ "$(ls -A "$tmp/submit")" = days.txt ]

list=$(find "$days/slurm" -name 'days-*.txt' | head -n 1)
ORNAX_EXE=$tmp/bin/killed_once.x "$cluster/ornax_days_status.sh" "$list" "$days" \
    --resubmit "$data" config/region.cfg > "$tmp/log/resubmit.txt" 2>&1
sed 's/^/        /' "$tmp/log/resubmit.txt"
check "resubmission: only 2019202 (1 day in 1 task)" \
    contains "$tmp/log/resubmit.txt" "1 days in 1 tasks of"
check "resubmission: the jobs ended" wait_idle 240
sed 's/^/        /' "$report" 2> /dev/null
check "resubmission: 2019202 done, outputs identical to ornax.x" \
    identical "$plain/2019202" "$days/2019202/output"
check "resubmission: its report has the one day, done" \
    contains "$report" "Days without a done stamp: 0"
"$cluster/ornax_days_status.sh" "$list" "$days" > "$tmp/log/status.txt" 2>&1
status=$?
sed 's/^/        /' "$tmp/log/status.txt"
check "after the resubmission: exit status 3 (a day is not done)" [ "$status" -eq 3 ]
check "after the resubmission: 3 days done, none to retry" \
    grep -q "^to retry 0:" "$tmp/log/status.txt"
check "after the resubmission: 2019203 the one day without a done stamp" \
    grep -A1 -q "^data failure (exit status 3, not retried) 1:" "$tmp/log/status.txt"

# ---- a preparation that fails stops the array ----------------------------------------------
bad=$tmp/bad
(cd "$tmp/submit" && ORNAX_EXE=$tmp/bin/no_such.x "$cluster/ornax_submit_days.sh" "$data" \
    config/region.cfg days.txt "$bad") > "$tmp/log/submit_bad.txt" 2>&1
check "failed preparation: the jobs ended (array cancelled by the report job)" wait_idle 120
prepare_log=$(find "$bad/slurm" -name 'ornax-prepare-*.out' | head -n 1)
check "failed preparation: its log names the missing program" \
    contains "$prepare_log" "the program $tmp/bin/no_such.x (ORNAX_EXE) is not found"
check "failed preparation: no task ran" \
    [ "$(find "$bad/slurm" -name 'ornax-days-*.out' | wc -l)" -eq 0 ]
check "failed preparation: the report lists the 4 days to retry" \
    contains "$bad/ornax_days_report.txt" "to retry 4:"

echo "slurm_check.sh: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
