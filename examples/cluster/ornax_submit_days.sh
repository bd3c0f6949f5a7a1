#!/bin/bash
# Submits a list of region days of any length (years of days) as three Slurm jobs:
#   1. ornax-prepare: ornax_prepare.sh checks the program and runs the list's first day,
#      which builds the land subset file and the caches the other days share;
#   2. ornax-days: the job array ornax_days.sbatch, K days per task, after the preparation
#      ended well (--dependency=afterok); K is chosen so that the array stays below the
#      cluster's MaxArraySize (1001 by default: 7,305 days of 20 years need K >= 8);
#   3. ornax-report: ornax_days_status.sh, after the array (or a failed preparation), lists
#      the days without a done stamp and tells data failures from failures worth retrying.
# Run it on a login node from any folder, with relative paths if you like; every Slurm log
# goes to WORK_ROOT/slurm/.
#
# Usage: ornax_submit_days.sh [--dry-run|--check] DATA_DIR CONFIG DAYS_FILE WORK_ROOT [-r0|-r1]
#   DAYS_FILE: "YEAR DOY" per line, for example 20 years:
#     for y in $(seq 2001 2020); do seq -f "$y %g" 1 $((y % 4 ? 365 : 366)); done > days.txt
#   --dry-run prints the sbatch commands instead of submitting them; --check submits
#   nothing and compares the array's sizes with the partition (ornax_check_site.sh).
# The site file (ornax_site.sh beside this script, or ORNAX_SITE_FILE) gives the account,
# partition, QOS and further options of every job, the modules and the launcher.
# Environment: ORNAX_DAYS_PER_TASK (K, default 8; raised when the array would be too large),
#   ORNAX_ARRAY_LIMIT (tasks running at once, default 100), ORNAX_SBATCH_OPTIONS (options
#   for all three jobs, e.g. "--partition=batch --account=et"; an array option such as
#   --cpus-per-task=4 or --time=08:00:00 overrides the line of ornax_days.sbatch),
#   ORNAX_EXE, ORNAX_LAUNCHER, ORNAX_FORCE (passed on to the jobs, by name on every sbatch
#   command: a site default SBATCH_EXPORT=NONE changes nothing), ORNAX_EXPORT=NONE to
#   pass none of this shell's other variables.
# The day list is copied to WORK_ROOT/slurm/days-TIMESTAMP.txt, which the jobs read. The
# submission's settings (the arguments and the variables above) go to
# WORK_ROOT/ornax_submission.txt, which ornax_days_status.sh --resubmit replays.
# Before submitting it warns of every day whose forecast, or the next day's, is missing:
# such a day fails (exit status 3), and the report lists it.
set -euo pipefail

dry_run=0
check_only=0
case ${1:-} in
--dry-run) dry_run=1 && shift ;;
--check) check_only=1 && dry_run=1 && shift ;;
esac
if [ $# -lt 4 ]; then
    echo "usage: $0 [--dry-run|--check] DATA_DIR CONFIG DAYS_FILE WORK_ROOT [-r0|-r1]" >&2
    exit 2
fi
me=ornax_submit_days.sh
cluster_dir=$(cd "$(dirname "$0")" && pwd)
ornax_me=$me
# shellcheck source=examples/cluster/ornax_job_setup.sh
. "$cluster_dir/ornax_job_setup.sh"
ornax_site_load "$cluster_dir" || exit 2
if [ ! -d "$1" ]; then
    echo "$me: no data folder $1 (DATA_DIR, argument 1)" >&2
    exit 2
fi
data_dir=$(cd "$1" && pwd)
config=$2
switch=${5:--r0}
case $switch in -r0 | -r1) ;; *)
    echo "$me: argument 5 is -r0 or -r1, not $switch" >&2
    exit 2 ;;
esac
config_file=$config
[ "${config#/}" != "$config" ] || config_file=$data_dir/$config
if [ ! -f "$config_file" ]; then
    echo "$me: no configuration $config_file (CONFIG, argument 2)" >&2
    exit 2
fi
if [ ! -r "$3" ]; then
    echo "$me: cannot read the day list $3 (DAYS_FILE, argument 3)" >&2
    exit 2
fi

# The day list: "YEAR DOY" on every line, each a day of its year.
if ! awk -v file="$3" '
    function leap(y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0 }
    {
        if (NF != 2 || $1 !~ /^[0-9]+$/ || $2 !~ /^[0-9]+$/ || $1 < 1 || $2 < 1 ||
            $2 > (leap($1) ? 366 : 365)) {
            printf "%s line %d: \"%s\" is not \"YEAR DOY\" of a day\n", file, NR, $0 > "/dev/stderr"
            bad = 1
            exit
        }
    }
    END { if (NR == 0) { printf "%s: no day\n", file > "/dev/stderr"; bad = 1 }
          exit bad }' "$3"; then
    echo "$me: the day list $3 (DAYS_FILE, argument 3) was not submitted" >&2
    exit 2
fi
days=$(wc -l < "$3")

# K days per task, and the array within MaxArraySize (task numbers 1 .. MaxArraySize - 1).
max_array=1001
if [ "$dry_run" -eq 0 ] || command -v scontrol > /dev/null 2>&1; then
    value=$(scontrol show config 2> /dev/null | awk '$1 == "MaxArraySize" { print $3 }') || true
    case ${value:-x} in *[!0-9]*) ;; *) max_array=$value ;; esac
fi
per_task=${ORNAX_DAYS_PER_TASK:-8}
case $per_task in '' | *[!0-9]* | 0)
    echo "$me: ORNAX_DAYS_PER_TASK=$per_task is not a whole number of days" >&2
    exit 2 ;;
esac
max_tasks=$((max_array - 1))
if [ $(((days + per_task - 1) / per_task)) -gt "$max_tasks" ]; then
    per_task=$(((days + max_tasks - 1) / max_tasks))
    echo "$me: $days days in at most $max_tasks tasks (MaxArraySize $max_array):" \
        "$per_task days per task" >&2
fi
tasks=$(((days + per_task - 1) / per_task))
limit=${ORNAX_ARRAY_LIMIT:-100}

# Forecast folders (<forecast dir>/YYYYDDD/, line 6 of the meteorological configuration
# named on line 31 of CONFIG): a day needs its own and the next day's. A folder counts
# when it holds every forecast raster (*.bin) that the first day's folder holds.
met_config=$(awk 'NR == 31 { v = substr($0, 31); sub(/[ \t\r]+$/, "", v); print v }' "$config_file")
[ "${met_config#/}" != "$met_config" ] || met_config=$data_dir/$met_config
missing=()
if [ -f "$met_config" ]; then
    forecast_dir=$data_dir$(awk 'NR == 6 { v = substr($0, 31); sub(/[ \t\r]+$/, "", v); print v }' "$met_config")
    pairs=$(awk -v dir="$forecast_dir" '
        function leap(y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0 }
        { ny = $1; nd = $2 + 1
          if (nd > (leap($1) ? 366 : 365)) { ny = $1 + 1; nd = 1 }
          printf "%04d%03d %s/%04d%03d %s/%04d%03d\n", $1, $2, dir, $1, $2, dir, ny, nd }' "$3")
    first_dir=${pairs#* }
    first_dir=${first_dir%% *}
    names=()
    for f in "$first_dir"/*.bin; do [ -f "$f" ] && names+=("${f##*/}"); done
    gap=
    check() { # sets gap to the first missing piece of a forecast folder
        gap=
        if [ ! -d "$1" ]; then
            gap="$1/"
            return
        fi
        for n in "${names[@]}"; do
            if [ ! -f "$1/$n" ]; then
                gap="$1/$n"
                return
            fi
        done
    }
    while read -r day this next; do
        check "$this"
        [ -n "$gap" ] || check "$next"
        [ -z "$gap" ] || missing+=("$day (no $gap)")
    done <<< "$pairs"
else
    echo "$me: warning: no meteorological configuration $met_config (line 31 of" \
        "$config_file): the forecast folders were not checked" >&2
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "$me: warning: ${#missing[@]} of $days days of $3 lack the forecast of the day or" \
        "of the next day and will fail (exit status 3); the report will list them:" >&2
    printf '    %s\n' "${missing[@]:0:10}" >&2
    [ ${#missing[@]} -le 10 ] || echo "    ... and $((${#missing[@]} - 10)) more" >&2
fi


# shellcheck disable=SC2206 # ORNAX_SBATCH_OPTIONS holds several options
site_options=("${ornax_site_options[@]}" ${ORNAX_SBATCH_OPTIONS:-})
if [ "$check_only" -eq 1 ]; then
    exec "$cluster_dir/ornax_check_site.sh" "$cluster_dir/ornax_days.sbatch" "$data_dir" "$config" \
        "$4" "${site_options[@]}"
fi

# The jobs: logs and the frozen day list under WORK_ROOT/slurm.
work_root=$4
if [ "$dry_run" -eq 0 ]; then
    mkdir -p "$work_root/slurm"
    work_root=$(cd "$work_root" && pwd)
    stem=$work_root/slurm/days-$(date -u +%Y%m%dT%H%M%SZ)
    list=$stem.txt
    n=1
    while [ -e "$list" ]; do # two submissions within a second
        n=$((n + 1))
        list=$stem-$n.txt
    done
    cp "$3" "$list"
else
    [ "${work_root#/}" != "$work_root" ] || work_root=$PWD/$work_root
    list=$work_root/slurm/days-TIMESTAMP.txt
fi
logs=$work_root/slurm
export ORNAX_CLUSTER_DIR=$cluster_dir ORNAX_DAYS_PER_TASK=$per_task
[ -z "$ornax_site_file" ] || export ORNAX_SITE_FILE=$ornax_site_file
export_option=$(ornax_export_option "${ornax_settings[@]}") || exit 2
common=(--parsable --chdir="$work_root" "$export_option")
submit() { # prints the job id of sbatch "${@:2}", or the stand-in $1 with --dry-run
    local stand_in=$1
    shift
    if [ "$dry_run" -eq 1 ]; then
        echo "sbatch $*" >&2
        echo "$stand_in"
    else
        local id
        id=$(sbatch "$@") || {
            echo "$me: sbatch $* failed" >&2
            return 1
        }
        echo "${id%%;*}"
    fi
}
run_args=("$data_dir" "$config" "$list" "$work_root" "$switch")
prepare=$(submit PREPARE "${common[@]}" "${site_options[@]}" --job-name=ornax-prepare --ntasks=1 \
    --output="$logs/%x-%j.out" "$cluster_dir/ornax_prepare.sh" "${run_args[@]}")
array=$(submit ARRAY "${common[@]}" "${site_options[@]}" \
    --dependency="afterok:$prepare" --array="1-$tasks%$limit" --output="$logs/%x-%A_%a.out" \
    "$cluster_dir/ornax_days.sbatch" "${run_args[@]}")
report=$(submit REPORT "${common[@]},ORNAX_PREPARE_JOB=$prepare,ORNAX_ARRAY_JOB=$array" \
    "${site_options[@]}" --dependency="afterany:$array?afternotok:$prepare" \
    --job-name=ornax-report --ntasks=1 --output="$logs/%x-%j.out" \
    "$cluster_dir/ornax_days_status.sh" "$list" "$work_root")
# The settings of this submission, for a resubmission to replay.
if [ "$dry_run" -eq 0 ]; then
    {
        echo "# $me $(date -u +%Y-%m-%dT%H:%M:%SZ): the settings that ornax_days_status.sh --resubmit replays"
        printf 'DATA_DIR=%q\nCONFIG=%q\nSWITCH=%q\n' "$data_dir" "$config" "$switch"
        for name in ORNAX_SBATCH_OPTIONS ORNAX_ARRAY_LIMIT ORNAX_EXPORT "${ornax_settings[@]}"; do
            case $name in ORNAX_CLUSTER_DIR) continue ;; esac
            [ -z "${!name+x}" ] || printf '%s=%q\n' "$name" "${!name}"
        done
    } > "$work_root/ornax_submission.txt"
fi
echo "$me: $days days in $tasks tasks of $per_task days (at most $limit at once):" \
    "preparation $prepare, array $array, report $report; Slurm logs in $logs," \
    "the report in $work_root/ornax_days_report.txt"
