#!/bin/bash
# Runs the Slurm recipes of examples/cluster under a throw-away single-node Slurm, as an
# ordinary user and with the commands of the README, and checks that their outputs are
# byte-identical to those of plain ornax.x runs.
#
# Usage: tools/slurm_check.sh BUILD_DIR   (BUILD_DIR holds ornax.x, ornax_mpi.x and
#                                          ornax_make_region)
# Needs root (the daemons run as root) and Debian's slurm-wlm (slurmctld, slurmd, the client
# commands; 22.05 with the auth/none plugin). The jobs are submitted by an unprivileged
# user (ORNAX_SLURM_USER, default ornaxcheck, created for the run and removed after it when
# it did not exist), so that file permissions hold as on a real cluster. The cluster lives
# in a temporary folder: its own slurm.conf (MpiDefault=none, TaskPlugin=task/affinity,
# 2 CPUs, ports of its own), state, spool, logs and a generated region; the daemons and
# every job are ended and the folder is removed on exit (ORNAX_SLURM_KEEP=1 keeps it).
# The commands run are those the README marks with "<!-- slurm_check: NAME -->", taken
# from the README at each run (so they cannot drift), with its example folders
# (/data/na1km, /scratch/na1km) and sizes replaced by this cluster's; they run from a
# submit folder that reaches the recipes by a relative path (examples/cluster/...).
# Checks, each reported as "ok" or "FAILED" with what differed:
#   one large day under MPI: the submit script under SBATCH_EXPORT=NONE with a site file
#   (partition, srun with --mpi=pmix added); mpirun inside the allocation from the site
#   file, each process labelled with its own rank; sbatch with a relative path and no
#   --chdir (the log in the work root, none left in the submit folder); the README's
#   ORNAX_LAUNCHER example with --chdir;
#   the pre-flight check naming the array's 8 CPUs per task on this 2-CPU node;
#   the multi-day recipe on 22 days, one per task (an array of 22 tasks): the day without
#   its next-day forecast a data failure, the day whose ornax.x was killed (signal 9) while
#   it ran one to retry; the resubmission without the first submission's settings in the
#   environment, replayed from the work root; the reports appended, the summary;
#   Slurm's time-limit warning during a day (sent by hand, then the job ended): the day
#   classed "time limit", the task's next days not started;
#   srun without an MPI type: the day names screen.txt, which holds the processes' output;
#   a read-only data folder: every day names the land subset file and the system's reason;
#   a preparation job that fails (program not found) stopping the array.
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
readme=$root/README.md
[ "$(id -u)" -eq 0 ] || skip "needs root (the daemons run as root; the jobs then run as an" \
    "unprivileged user)"
for program in slurmctld slurmd sbatch srun squeue scontrol scancel sinfo runuser useradd; do
    command -v "$program" > /dev/null 2>&1 || skip "no $program (Debian package slurm-wlm)"
done
plugin_dir=$(dirname "$(find /usr/lib -name auth_none.so -path '*slurm*' 2> /dev/null |
    head -n 1)")
[ -f "$plugin_dir/auth_none.so" ] || skip "this Slurm has no auth/none plugin"
for program in ornax.x ornax_mpi.x ornax_make_region; do
    [ -x "$build/$program" ] || skip "no $build/$program"
done
command -v mpirun > /dev/null 2>&1 || skip "no mpirun (Debian package openmpi-bin)"

user=${ORNAX_SLURM_USER:-ornaxcheck}
created_user=0
if ! id -u "$user" > /dev/null 2>&1; then
    useradd --system --no-create-home --shell /bin/bash "$user" 2> /dev/null ||
        skip "cannot create the user $user"
    created_user=1
fi
runuser -u "$user" -- test -x "$build/ornax.x" -a -r "$readme" ||
    skip "$build and $root are not readable for the user $user"

tmp=$(mktemp -d /tmp/ornax-slurm.XXXXXX)
chmod 755 "$tmp"
export SLURM_CONF=$tmp/slurm.conf
daemons=()
teardown() {
    local jobs
    jobs=$(squeue -h -o %A 2> /dev/null | sort -u)
    if [ -n "$jobs" ]; then
        # shellcheck disable=SC2086 # one job id per word
        scancel --quiet --full --signal=KILL $jobs > /dev/null 2>&1 || true
        for _ in $(seq 30); do [ -z "$(squeue -h -o %A 2> /dev/null)" ] && break; sleep 0.5; done
    fi
    for pid in "${daemons[@]}"; do kill "$pid" 2> /dev/null || true; done
    # the step daemons of this cluster's jobs (they carry its SLURM_CONF), should any remain
    for pid in $(pgrep -x slurmstepd 2> /dev/null); do
        grep -qzxF "SLURM_CONF=$SLURM_CONF" "/proc/$pid/environ" 2> /dev/null &&
            kill -9 "$pid" 2> /dev/null
    done
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
        chmod -R u+w "$tmp" 2> /dev/null
        rm -rf "$tmp"
    fi
    [ "$created_user" -eq 0 ] || userdel "$user" 2> /dev/null || true
}
trap teardown EXIT

passed=0
failed=0
failed_names=()
check() { # check NAME COMMAND...: runs the command, counts and reports it
    local name=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
        echo "ok      $name"
    else
        failed=$((failed + 1))
        failed_names+=("$name")
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
mkdir -p "$tmp/state" "$tmp/spool" "$tmp/log" "$tmp/submit" "$tmp/home"
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


# ---- running as the user, the README's commands -------------------------------------
# as_user COMMAND...: COMMAND as the unprivileged user, in the submit folder
as_user() {
    (cd "$tmp/submit" && runuser -u "$user" -- env HOME="$tmp/home" SLURM_CONF="$SLURM_CONF" \
        PATH="$PATH" "$@")
}
# readme_command NAME: the command block the README marks "<!-- slurm_check: NAME -->",
# with this cluster's folders; an sbatch of the block is given this node's sizes first
# (options given later on its command line win)
sizes="--nodes=1 --ntasks-per-node=2 --cpus-per-task=1"
readme_command() {
    awk -v mark="<!-- slurm_check: $1 -->" '
        { text = $0; sub(/^ +/, "", text) }
        !on { if (text == mark) on = 1; next }
        NF == 0 { if (found) exit; next }
        !found { match($0, /^ +/); indent = RLENGTH; if (indent < 4) exit }
        { if (substr($0, 1, indent) !~ /^ +$/) exit; print substr($0, indent + 1); found = 1 }
        END { if (!found) exit 1 }' "$readme" |
        sed -e "s|/data/na1km|$data|g" -e "s|/scratch/na1km|$work_base|g" -e 's|PE=16|PE=1|g' \
            -e "s|days-TIME.txt|${list_name:-days-TIME.txt}|g" \
            -e "s|^\( *\)sbatch |\1sbatch $sizes |"
}
# run_readme NAME WORK [VAR=VALUE...]: the README's command NAME with the work root WORK, as
# the user with the given variables, its output in $tmp/log/NAME.txt; its exit status
run_readme() {
    local name=$1 command
    work_base=$2
    shift 2
    command=$(readme_command "$name") || { echo "        no command \"$name\" in $readme"; return 99; }
    printf '%s\n' "$command" | sed "s|$tmp|\$TMP|g; s|^|        \$ |"
    as_user "$@" bash -c "$command" > "$tmp/log/$name.txt" 2>&1
}

# ---- the region and its plain runs --------------------------------------------------
# 22 days, 2019 200-221, of a region large enough that one day's run lasts a while; the
# forecast of 2019 222 is missing, so 2019 221 fails on its data.
data=$tmp/data
"$build/ornax_make_region" -o "$data" -c 96 -r 48 -n 22 -y 2019 -d 200 > "$tmp/log/make.txt" 2>&1 ||
    { echo "slurm_check.sh: ornax_make_region failed:"; cat "$tmp/log/make.txt"; exit 1; }
rm -rf "$data/met/2019222"
cp -r "$data" "$tmp/plain"
(cd "$tmp/plain" && HOME_DIR=$PWD "$build/ornax.x" -r0 config/region.cfg 2019 200 221 \
    > "$tmp/log/plain.txt" 2>&1)
plain_status=$?
check "plain range 2019 200-221 ends with exit status 3 (2019221 has no next-day forecast)" \
    [ "$plain_status" -eq 3 ]
plain=$tmp/plain/output
scratch=$tmp/scratch # the user's: every work root
mkdir -p "$scratch"
chown -R "$user" "$data" "$tmp/submit" "$tmp/home" "$scratch"
ln -s "$root/examples" "$tmp/submit/examples" # the recipes by a relative path
mkdir -p "$tmp/bin"
cat > "$tmp/site.sh" << SITE
ORNAX_PARTITION=check
SITE
cat > "$tmp/site_mpirun.sh" << SITE
ORNAX_PARTITION=check
ORNAX_LAUNCHER_CHOICE=mpirun
ORNAX_MPIRUN_OPTIONS="--mca pml ob1"
SITE
# user_files DIR: what the user's jobs left in DIR besides the given names
user_files() {
    local dir=$1
    shift
    ls -A "$dir" | grep -vxF -f <(printf '%s\n' "$@")
}

# ---- one large day under MPI ----------------------------------------------------------
mpi=(ORNAX_EXE="$build/ornax_mpi.x" ORNAX_RANK_VERBOSE=1)
for variant in submit_srun submit_mpirun sbatch_relative readme_launcher; do
    work=$scratch/day-$variant
    name=day_submit
    case $variant in
    submit_srun)
        run_readme day_submit "$work" "${mpi[@]}" SBATCH_EXPORT=NONE ORNAX_SITE_FILE="$tmp/site.sh" \
            ORNAX_SBATCH_OPTIONS="$sizes" ;;
    submit_mpirun)
        run_readme day_submit "$work" "${mpi[@]}" SBATCH_EXPORT=NONE \
            ORNAX_SITE_FILE="$tmp/site_mpirun.sh" ORNAX_SBATCH_OPTIONS="$sizes" ;;
    sbatch_relative) name=day_sbatch && run_readme day_sbatch "$work" "${mpi[@]}" ;;
    readme_launcher) name=day_launcher && run_readme day_launcher "$work" "${mpi[@]}" ;;
    esac
    status=$?
    sed "s|$tmp|\$TMP|g; s/^/        /" "$tmp/log/$name.txt" 2> /dev/null | head -n 5
    check "one large day ($variant): submitted (exit status $status)" [ "$status" -eq 0 ]
    check "one large day ($variant): the job ended" wait_idle 120
    log=$(find "$work" -maxdepth 1 -name 'ornax-day-*.out' | head -n 1)
    check "one large day ($variant): Slurm log in the work root (${log:-none})" [ -n "$log" ]
    check "one large day ($variant): outputs identical to ornax.x" \
        identical "$plain/2019200" "$work/2019200/output"
    grep -h 'ornax_region_day.sbatch:\|ornax_rank_env.sh:\|ornax_day_task.sh:' "$log" 2> /dev/null |
        sort -u | sed "s|$tmp|\$TMP|g; s/^/        /"
    case $variant in
    submit_srun)
        check "one large day ($variant): --mpi=pmix added under MpiDefault=none" \
            contains "$log" "srun --mpi=pmix -c 1 --cpu-bind=cores" ;;
    submit_mpirun)
        check "one large day ($variant): mpirun from the site file" \
            contains "$log" "ornax_region_day.sbatch: mpirun --map-by slot:PE=1 --bind-to core"
        for rank in 0 1; do
            check "one large day ($variant): process $rank labelled with its own rank" \
                contains "$work/2019200/screen.txt" "ornax_rank_env.sh: process $rank on"
        done ;;
    esac
    check "one large day ($variant): nothing left in the submit folder" \
        [ -z "$(user_files "$tmp/submit" examples)" ]
done

# srun without an MPI type under MpiDefault=none: OpenMPI cannot start; the day names its
# screen output, which holds what the processes wrote.
work=$scratch/day-no-mpi-type
as_user mkdir -p "$work"
as_user ORNAX_EXE="$build/ornax_mpi.x" ORNAX_LAUNCHER="srun -c 1" sbatch --wait --quiet $sizes \
    --chdir="$work" examples/cluster/ornax_region_day.sbatch "$data" config/region.cfg 2019 200 \
    "$work" > /dev/null 2>&1
status=$?
log=$(find "$work" -maxdepth 1 -name 'ornax-day-*.out' | head -n 1)
check "srun without --mpi under MpiDefault=none: exit status $status (1 expected)" \
    [ "$status" -eq 1 ]
check "srun without --mpi: the message names screen.txt" \
    contains "$log" "ornax wrote no run log, its screen output is in $work/2019200/screen.txt"
check "srun without --mpi: screen.txt holds the processes' output" \
    [ -s "$work/2019200/screen.txt" ]
sed -n 's/^/        /; /screen.txt:$/,+3p' "$log" 2> /dev/null | sed "s|$tmp|\$TMP|g"

# ---- the pre-flight check -------------------------------------------------------------
printf '2019 %s\n' $(seq 200 221) > "$tmp/submit/days.txt"
chown "$user" "$tmp/submit/days.txt"
run_readme days_check "$scratch/days"
status=$?
sed 's/^/        /' "$tmp/log/days_check.txt"
check "pre-flight: exit status $status (3: the array's 8 CPUs per task do not fit)" [ "$status" -eq 3 ]
check "pre-flight: names the CPUs of this node" \
    contains "$tmp/log/days_check.txt" "= 8 CPUs, but the largest node of partition check has 2"
check "pre-flight: lists srun's MPI types" contains "$tmp/log/days_check.txt" "    pmix"
check "pre-flight: submitted nothing, created no work root" [ ! -e "$scratch/days" ]

# ---- many days: an array of 22 tasks, report, resubmission ------------------------------
# A stand-in for ornax.x whose first run of day 202 is killed while ornax.x runs (once it
# has opened its run log), as by the memory limit.
cat > "$tmp/bin/killed_once.x" << KILLED
#!/bin/bash
if [ "\$4" != 202 ] || [ -e "$tmp/bin/killed" ]; then
    exec "$build/ornax.x" "\$@"
fi
: > "$tmp/bin/killed"
"$build/ornax.x" "\$@" &
pid=\$!
while kill -0 "\$pid" 2> /dev/null && ! ls "\$HOME_DIR"/ORNAX-*.log > /dev/null 2>&1; do
    sleep 0.01
done
kill -9 "\$pid" 2> /dev/null && echo "killed_once.x: ornax.x killed while it ran" >&2
wait "\$pid"
KILLED
chmod 755 "$tmp/bin" "$tmp/bin/killed_once.x"
chmod 777 "$tmp/bin" # the stamp of the one kill
days=$scratch/days
run_readme days_submit "$days" ORNAX_SBATCH_OPTIONS=--cpus-per-task=1 ORNAX_DAYS_PER_TASK=1 \
    ORNAX_EXE="$tmp/bin/killed_once.x"
status=$?
sed "s|$tmp|\$TMP|g; s/^/        /" "$tmp/log/days_submit.txt"
check "many days: submitted (exit status $status)" [ "$status" -eq 0 ]
check "many days: warning for 2019221, whose next-day forecast is missing" \
    contains "$tmp/log/days_submit.txt" "2019221 (no $data/met/2019222/)"
check "many days: an array of 22 tasks of 1 day" \
    contains "$tmp/log/days_submit.txt" "22 days in 22 tasks of 1 days"
check "many days: the jobs ended" wait_idle 400
report=$days/ornax_days_report.txt
sed "s|$tmp|\$TMP|g; s/^/        /" "$report" 2> /dev/null
differing=0
for doy in $(seq 200 220); do
    [ "$doy" -eq 202 ] && continue
    identical "$plain/2019$doy" "$days/2019$doy/output" > /dev/null || differing=$((differing + 1))
done
check "many days: 20 days done, outputs identical to ornax.x ($differing differ)" \
    [ "$differing" -eq 0 ]
check "many days: 2019202 killed while ornax.x ran (exit status 137)" \
    [ "$(cat "$days/2019202/ornax_day.status" 2> /dev/null)" = 137 ]
check "many days: 2019202 has its run log (ornax.x had started)" \
    [ -n "$(find "$days/2019202" -maxdepth 1 -name 'ORNAX-*.log')" ]
check "many days: 2019221 failed on its data (exit status 3)" \
    [ "$(cat "$days/2019221/ornax_day.status" 2> /dev/null)" = 3 ]
check "many days: the report lists 2019221 as a data failure" \
    grep -A1 -q "^data failure (exit status 3, not retried) 1:" "$report"
check "many days: the report lists 2019202 to retry (signal 9, SIGKILL)" \
    contains "$report" "2019202 (exit status 137: signal 9: ended by signal 9 (SIGKILL)"
check "many days: Slurm logs of prepare, 22 tasks and report in $days/slurm" \
    [ "$(find "$days/slurm" -name 'ornax-*.out' | wc -l)" -eq 24 ]
report_log=$(find "$days/slurm" -name 'ornax-report-*.out' | head -n 1)
check "many days: the printed resubmission repeats the settings" \
    contains "$report_log" "Resubmit them with: ORNAX_SBATCH_OPTIONS=--cpus-per-task=1 ORNAX_EXE=$tmp/bin/killed_once.x ORNAX_DAYS_PER_TASK=1 "
check "many days: nothing written into the submit folder but the day list" \
    [ -z "$(user_files "$tmp/submit" examples days.txt)" ]

# the README's resubmission, without any of the first submission's settings
list_name=$(basename "$(find "$days/slurm" -name 'days-*.txt' | head -n 1)")
run_readme days_resubmit "$days"
sed "s|$tmp|\$TMP|g; s/^/        /" "$tmp/log/days_resubmit.txt"
check "resubmission: only 2019202, one day per task as first submitted" \
    contains "$tmp/log/days_resubmit.txt" "1 days in 1 tasks of 1 days"
check "resubmission: the jobs ended (one CPU per task, as first submitted)" wait_idle 120
check "resubmission: 2019202 done, outputs identical to ornax.x" \
    identical "$plain/2019202" "$days/2019202/output"
# three reports: the first report job's, that of the resubmission run by hand, and the
# second report job's (of the one retried day)
check "resubmission: its reports appended to the first" \
    [ "$(grep -c '^Days of ' "$report")" -eq 3 ]
check "resubmission: the first report's data failure kept" \
    [ "$(grep -c '^    2019221 (exit status 3' "$report")" -eq 2 ]
sed "s|$tmp|\$TMP|g; s/^/        /" "$days/ornax_days_summary.txt" 2> /dev/null
check "resubmission: the summary of all days has one left, 2019221" \
    contains "$days/ornax_days_summary.txt" "Days without a done stamp: 1"

# ---- the time limit ------------------------------------------------------------------
# Slurm's warning (USR1 to the batch shell, as --signal=B:USR1@300 sends it), sent by hand
# while the task's second day runs, then the end of the job (TERM): that day is classed
# "time limit", the task's later days are not started.
cat > "$tmp/bin/slow.x" << SLOW
#!/bin/bash
[ "\$4" != 201 ] || sleep 60 # the second day only (not the check of --version)
exec "$build/ornax.x" "\$@"
SLOW
chmod 755 "$tmp/bin/slow.x"
limited=$scratch/days_time_limit
run_readme days_submit "$limited" ORNAX_SBATCH_OPTIONS=--cpus-per-task=1 \
    ORNAX_DAYS_PER_TASK=22 ORNAX_EXE="$tmp/bin/slow.x"
for _ in $(seq 240); do [ -e "$limited/2019201/.ornax_day.started" ] && break; sleep 0.5; done
array_job=$(squeue -h -n ornax-days -t RUNNING -o %A | head -n 1)
scancel --signal=USR1 --batch "$array_job" 2> /dev/null
for _ in $(seq 80); do [ -e "$limited/2019201/ornax_day.time_limit" ] && break; sleep 0.25; done
scancel "$array_job" 2> /dev/null
check "time limit: the jobs ended" wait_idle 120
grep -h 'time limit\|2019201\|2019202 ' "$limited/ornax_days_report.txt" 2> /dev/null |
    head -n 3 | sed "s|$tmp|\$TMP|g; s/^/        /"
check "time limit: the day that ran is classed \"time limit\"" \
    contains "$limited/ornax_days_report.txt" "2019201 (time limit, exit status 143: signal 15"
check "time limit: the task's next day did not start" \
    contains "$limited/ornax_days_report.txt" "2019202 (not run, or its job ended while it ran)"

# ---- a read-only data folder ------------------------------------------------------------
full_data=$data
data=$tmp/data_read_only
mkdir -p "$data"
cp -r "$full_data"/. "$data"
rm -f "$data/config/land_subset.dat"
chown -R "$user" "$data"
chmod -R a-w "$data"
readonly_days=$scratch/days_read_only
run_readme days_submit "$readonly_days" ORNAX_SBATCH_OPTIONS=--cpus-per-task=1 \
    ORNAX_EXE="$build/ornax.x"
check "read-only data: the jobs ended" wait_idle 120
sed "s|$tmp|\$TMP|g; s/^/        /" "$readonly_days/ornax_days_report.txt" 2> /dev/null | head -n 8
check "read-only data: each day names the land subset file and the system's reason" \
    [ "$(grep -c "land_subset.dat .*: Permission denied" "$readonly_days/ornax_days_report.txt" 2> /dev/null)" -eq 22 ]
data=$full_data

# ---- a preparation that fails stops the array ----------------------------------------------
bad=$scratch/bad
run_readme days_submit "$bad" ORNAX_SBATCH_OPTIONS=--cpus-per-task=1 ORNAX_EXE="$tmp/bin/no_such.x"
check "failed preparation: the jobs ended (array cancelled by the report job)" wait_idle 120
prepare_log=$(find "$bad/slurm" -name 'ornax-prepare-*.out' | head -n 1)
check "failed preparation: its log names the missing program" \
    contains "$prepare_log" "the program $tmp/bin/no_such.x (ORNAX_EXE) is not found"
check "failed preparation: no task ran" \
    [ "$(find "$bad/slurm" -name 'ornax-days-*.out' | wc -l)" -eq 0 ]
check "failed preparation: the report lists the 22 days to retry" \
    contains "$bad/ornax_days_report.txt" "to retry 22:"

echo "slurm_check.sh: $passed passed, $failed failed"
[ "$failed" -eq 0 ] || printf 'slurm_check.sh: FAILED: %s\n' "${failed_names[@]}"
[ "$failed" -eq 0 ]
