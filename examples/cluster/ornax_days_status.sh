#!/bin/bash
# Where the days of a list stand, from the folders of ornax_day_task.sh (WORK_ROOT/YYYYDDD:
# the done stamp ornax_day.done, the exit status in ornax_day.status), and the days to run
# again. The report job of ornax_submit_days.sh runs it after the array; run it by hand to
# resubmit.
#
# Usage: ornax_days_status.sh DAYS_FILE WORK_ROOT [--resubmit DATA_DIR CONFIG [-r0|-r1]]
#        ornax_days_status.sh --classify STATUS
# Each day of DAYS_FILE ("YEAR DOY" per line) is
#   done          its done stamp is there;
#   data failure  exit status 3: the day's data (a missing forecast of the day or of the
#                 next day, a missing input); not retried, the inputs must be mended first;
#   arguments     exit status 2: the recipe refused the day; not retried;
#   retry         any other exit status (1: the launcher or MPI start-up, 126 and 127: the
#                 program could not be started, 128+N: ended by signal N: time limit,
#                 memory, node failure), or no status (never run, or the job was ended
#                 while the day ran).
# The report (also written to WORK_ROOT/ornax_days_report.txt) lists the days without a
# done stamp by class; the days to retry go to WORK_ROOT/slurm/retry-TIMESTAMP.txt, which
# --resubmit submits again with ornax_submit_days.sh. Run by the report job
# (ORNAX_ARRAY_JOB set) after a failed preparation, it cancels the array that then
# cannot start.
# Exit status: 0 when every day is done, 3 otherwise, 2 for wrong arguments.
set -euo pipefail

me=ornax_days_status.sh
# The class of a day's exit status ("" when the day left no status).
classify() {
    case $1 in
    0) echo done ;;
    2) echo arguments ;;
    3) echo data ;;
    *) echo retry ;;
    esac
}
if [ "${1:-}" = --classify ]; then
    if [ $# -ne 2 ]; then
        echo "usage: $me --classify STATUS" >&2
        exit 2
    fi
    classify "$2"
    exit 0
fi
if [ $# -lt 2 ] || { [ $# -gt 2 ] && [ "$3" != --resubmit ]; } || [ $# -eq 3 ]; then
    echo "usage: $me DAYS_FILE WORK_ROOT [--resubmit DATA_DIR CONFIG [-r0|-r1]]" >&2
    exit 2
fi
days_file=$1
work_root=$2
cluster_dir=${ORNAX_CLUSTER_DIR:-$(cd "$(dirname "$0")" && pwd)}
if [ ! -r "$days_file" ]; then
    echo "$me: cannot read the day list $days_file (DAYS_FILE, argument 1)" >&2
    exit 2
fi
if [ ! -d "$work_root" ]; then
    echo "$me: no work root $work_root (WORK_ROOT, argument 2)" >&2
    exit 2
fi

# A report job started because the preparation failed: the array waits for nothing.
if [ -n "${ORNAX_ARRAY_JOB:-}" ] && command -v squeue > /dev/null 2>&1; then
    if [ -n "$(squeue -h -j "$ORNAX_ARRAY_JOB" -t PENDING -o %i 2> /dev/null)" ]; then
        echo "$me: the preparation job ${ORNAX_PREPARE_JOB:-} failed (see its log in" \
            "$work_root/slurm): array $ORNAX_ARRAY_JOB cancelled before it started" >&2
        scancel "$ORNAX_ARRAY_JOB" || true
    fi
fi

done_days=()
data_days=()
argument_days=()
retry_days=()
retry_lines=()
total=0
while read -r line_no year doy; do
    total=$((total + 1))
    case $year$doy in '' | *[!0-9]*)
        argument_days+=("$days_file line $line_no")
        continue ;;
    esac
    day=$(printf '%04d%03d' "$((10#$year))" "$((10#$doy))")
    folder=$work_root/$day
    if [ -f "$folder/ornax_day.done" ]; then
        done_days+=("$day")
        continue
    fi
    status=
    [ -f "$folder/ornax_day.status" ] && read -r status < "$folder/ornax_day.status" || true
    case $status in '' | *[!0-9]*) class=retry ;; *) class=$(classify "$status") ;; esac
    log=
    [ ! -d "$folder" ] || log=$(find "$folder" -maxdepth 1 -name 'ORNAX-*.log' | sort | tail -n 1)
    where=${log:-$folder/screen.txt, no run log}
    case $class in
    data) data_days+=("$day (exit status 3: $where)") ;;
    arguments) argument_days+=("$day (exit status 2: $days_file line $line_no)") ;;
    *)
        if [ -z "$status" ]; then
            why="not run, or its job ended while it ran"
        elif [ "$class" = retry ] && [ -n "${status//[0-9]/}" ]; then
            why="unreadable status \"$status\" in $folder/ornax_day.status"
        elif [ "$status" -gt 128 ] 2> /dev/null; then
            why="exit status $status: signal $((status - 128))"
        else
            why="exit status $status"
        fi
        retry_days+=("$day ($why)")
        retry_lines+=("$year $doy") ;;
    esac
done < <(awk 'NF { print NR, $1, $2 }' "$days_file")

report() {
    echo "Days of $days_file: $total (work root $work_root)"
    echo "done ${#done_days[@]}"
    echo "data failure (exit status 3, not retried) ${#data_days[@]}:"
    [ ${#data_days[@]} -eq 0 ] || printf '    %s\n' "${data_days[@]}"
    echo "refused (exit status 2, not retried) ${#argument_days[@]}:"
    [ ${#argument_days[@]} -eq 0 ] || printf '    %s\n' "${argument_days[@]}"
    echo "to retry ${#retry_days[@]}:"
    [ ${#retry_days[@]} -eq 0 ] || printf '    %s\n' "${retry_days[@]}"
    echo "Days without a done stamp: $((total - ${#done_days[@]}))"
}
report | tee "$work_root/ornax_days_report.txt"

retry_file=
if [ ${#retry_lines[@]} -gt 0 ]; then
    mkdir -p "$work_root/slurm"
    retry_file=$work_root/slurm/retry-$(date -u +%Y%m%dT%H%M%SZ).txt
    printf '%s\n' "${retry_lines[@]}" > "$retry_file"
    echo "The days to retry are in $retry_file"
fi
if [ "${3:-}" = --resubmit ]; then
    if [ -z "$retry_file" ]; then
        echo "$me: nothing to resubmit: every day is done or failed on its data or arguments"
    else
        "$cluster_dir/ornax_submit_days.sh" "$4" "$5" "$retry_file" "$work_root" "${6:--r0}"
    fi
elif [ -n "$retry_file" ]; then
    echo "Resubmit them with: $cluster_dir/ornax_days_status.sh $days_file $work_root --resubmit DATA_DIR CONFIG"
fi
[ ${#done_days[@]} -eq "$total" ] || exit 3
