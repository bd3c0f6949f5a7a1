#!/bin/bash
# Where the days of a list stand, from the folders of ornax_day_task.sh (WORK_ROOT/YYYYDDD:
# the done stamp ornax_day.done, the exit status in ornax_day.status), and the days to run
# again. The report job of ornax_submit_days.sh runs it after the array; run it by hand to
# resubmit.
#
# Usage: ornax_days_status.sh DAYS_FILE WORK_ROOT [--resubmit [DATA_DIR CONFIG [-r0|-r1]]]
#        ornax_days_status.sh --classify STATUS
# Each day of DAYS_FILE ("YEAR DOY" per line) is
#   done          its done stamp is there;
#   data failure  exit status 3: the day's data (a missing forecast of the day or of the
#                 next day, a missing input); not retried, the inputs must be mended first;
#   arguments     exit status 2: the recipe refused the day; not retried;
#   retry         any other exit status (1: the launcher or MPI start-up, 126 and 127: the
#                 program could not be started, 128+N: ended by signal N: time limit,
#                 memory, node failure), or no status (never run, or the job was ended
#                 while the day ran); "time limit" when Slurm's warning of the time limit
#                 came while the day ran (ornax_day.time_limit).
# Each day without a done stamp is named with the reason its folder keeps
# (ornax_day.reason: the file and the system's message). The report lists the days by
# class and is appended to WORK_ROOT/ornax_days_report.txt (one report per run: every
# submission's report job, every run by hand), so no earlier report is lost;
# WORK_ROOT/ornax_days_summary.txt is rewritten with the same report over every day list
# submitted to the work root (WORK_ROOT/slurm/days-*.txt). The days to retry go to
# WORK_ROOT/slurm/retry-TIMESTAMP.txt, which --resubmit submits again with
# ornax_submit_days.sh, replaying the settings of the first submission
# (WORK_ROOT/ornax_submission.txt: the data folder, the configuration, the switch,
# ORNAX_SBATCH_OPTIONS, ORNAX_DAYS_PER_TASK, ORNAX_EXE, ...); a variable set in the
# environment overrides its recorded value. Run by the report job (ORNAX_ARRAY_JOB set)
# after a failed preparation, it cancels the array that then cannot start.
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
if [ $# -lt 2 ] || { [ $# -gt 2 ] && [ "$3" != --resubmit ]; } || [ $# -eq 4 ] ||
    [ $# -gt 6 ]; then
    echo "usage: $me DAYS_FILE WORK_ROOT [--resubmit [DATA_DIR CONFIG [-r0|-r1]]]" >&2
    exit 2
fi
days_file=$1
work_root=$2
[ ! -d "$work_root" ] || work_root=$(cd "$work_root" && pwd)
[ "${days_file#/}" != "$days_file" ] || days_file=$PWD/$days_file
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

# assess LIST: the days of LIST by class, into the arrays below
assess() {
    local list=$1 line_no year doy day folder status class reason why time_limit
    done_days=()
    data_days=()
    argument_days=()
    retry_days=()
    retry_lines=()
    total=0
    while read -r line_no year doy; do
        total=$((total + 1))
        case $year$doy in '' | *[!0-9]*)
            argument_days+=("$list line $line_no")
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
        reason=
        [ ! -f "$folder/ornax_day.reason" ] || reason=$(head -n 1 "$folder/ornax_day.reason")
        if [ -z "$reason" ] && [ "$class" = data ] && [ -d "$folder" ]; then
            reason=$(find "$folder" -maxdepth 1 -name 'ORNAX-*.log' | sort | tail -n 1)
            reason=${reason:-$folder/screen.txt, no run log}
        fi
        time_limit=
        [ ! -f "$folder/ornax_day.time_limit" ] || time_limit="time limit, "
        case $class in
        data) data_days+=("$day (exit status 3: $reason)") ;;
        arguments) argument_days+=("$day (exit status 2: $list line $line_no${reason:+: $reason})") ;;
        *)
            if [ -z "$status" ]; then
                why="${time_limit}not run, or its job ended while it ran"
            elif [ -n "${status//[0-9]/}" ]; then
                why="unreadable status \"$status\" in $folder/ornax_day.status"
            elif [ "$status" -gt 128 ]; then
                why="${time_limit}exit status $status: signal $((status - 128))${reason:+: $reason}"
            else
                why="exit status $status${reason:+: $reason}"
            fi
            retry_days+=("$day ($why)")
            retry_lines+=("$year $doy") ;;
        esac
    done < <(awk 'NF { print NR, $1, $2 }' "$list")
}

report() { # report TITLE
    echo "$1"
    echo "done ${#done_days[@]}"
    echo "data failure (exit status 3, not retried) ${#data_days[@]}:"
    [ ${#data_days[@]} -eq 0 ] || printf '    %s\n' "${data_days[@]}"
    echo "refused (exit status 2, not retried) ${#argument_days[@]}:"
    [ ${#argument_days[@]} -eq 0 ] || printf '    %s\n' "${argument_days[@]}"
    echo "to retry ${#retry_days[@]}:"
    [ ${#retry_days[@]} -eq 0 ] || printf '    %s\n' "${retry_days[@]}"
    echo "Days without a done stamp: $((total - ${#done_days[@]}))"
}

# The summary over every list submitted to this work root (days already done are skipped
# when a list runs again, so each day counts once).
lists=()
for f in "$work_root"/slurm/days-*.txt; do [ ! -f "$f" ] || lists+=("$f"); done
if [ ${#lists[@]} -gt 0 ]; then
    all=$(mktemp "${TMPDIR:-/tmp}/ornax_days_all.XXXXXX")
    awk 'NF && !seen[$1 " " $2]++ { print $1, $2 }' "${lists[@]}" "$days_file" > "$all"
    assess "$all"
    report "All days submitted to $work_root: $total ($(date -u +%Y-%m-%dT%H:%M:%SZ); lists ${lists[*]##*/})" \
        > "$work_root/ornax_days_summary.txt"
    rm -f "$all"
fi
assess "$days_file"
title="Days of $days_file: $total (work root $work_root, $(date -u +%Y-%m-%dT%H:%M:%SZ)${SLURM_JOB_ID:+, job $SLURM_JOB_ID})"
report "$title" | tee -a "$work_root/ornax_days_report.txt"
echo >> "$work_root/ornax_days_report.txt"
[ ${#lists[@]} -eq 0 ] || echo "Every day submitted to this work root: $work_root/ornax_days_summary.txt"

retry_file=
if [ ${#retry_lines[@]} -gt 0 ]; then
    mkdir -p "$work_root/slurm"
    retry_file=$work_root/slurm/retry-$(date -u +%Y%m%dT%H%M%SZ).txt
    printf '%s\n' "${retry_lines[@]}" > "$retry_file"
    echo "The days to retry are in $retry_file"
fi
# The settings of the first submission (ornax_submit_days.sh), each as NAME=value in the
# shell's quoting; the environment's own value of a variable wins.
record=$work_root/ornax_submission.txt
recorded=()
if [ -f "$record" ]; then
    record_line=0
    while IFS= read -r line; do
        record_line=$((record_line + 1))
        name=${line%%=*}
        case $line in '#'* | '') continue ;; esac
        case $name in DATA_DIR | CONFIG | SWITCH | ORNAX_* | SLURM_MPI_TYPE) ;; *) name= ;; esac
        if [ -z "$name" ] || [ -n "${name//[A-Z0-9_]/}" ] ||
            ! (eval "value=${line#*=}") 2> /dev/null; then
            echo "$me: $record line $record_line: not a setting of the recipes, ignored: $line" >&2
            continue
        fi
        eval "value=${line#*=}"
        case $name in
        DATA_DIR | CONFIG | SWITCH) eval "recorded_$name=\$value" ;;
        *)
            [ -z "${!name+x}" ] || value=${!name}
            recorded+=("$name=$value") ;;
        esac
    done < "$record"
fi
if [ "${3:-}" = --resubmit ]; then
    data_arg=${4:-${recorded_DATA_DIR:-}}
    config_arg=${5:-${recorded_CONFIG:-}}
    switch_arg=${6:-${recorded_SWITCH:--r0}}
    if [ -z "$retry_file" ]; then
        echo "$me: nothing to resubmit: every day is done or failed on its data or arguments"
    elif [ -z "$data_arg" ] || [ -z "$config_arg" ]; then
        echo "$me: no DATA_DIR and CONFIG given and no record of the first submission" \
            "($record)" >&2
        exit 2
    else
        [ ${#recorded[@]} -eq 0 ] || echo "$me: settings of $record: ${recorded[*]}"
        for setting in "${recorded[@]}"; do export "${setting?}"; done
        "$cluster_dir/ornax_submit_days.sh" "$data_arg" "$config_arg" "$retry_file" \
            "$work_root" "$switch_arg"
    fi
elif [ -n "$retry_file" ]; then
    command=
    for setting in "${recorded[@]}"; do command+="${setting%%=*}=$(printf '%q' "${setting#*=}") "; done
    command+="$cluster_dir/ornax_days_status.sh $(printf '%q' "$days_file") $(printf '%q' "$work_root") --resubmit"
    [ -z "${recorded_DATA_DIR:-}" ] || command+=" $(printf '%q %q %q' "$recorded_DATA_DIR" "$recorded_CONFIG" "${recorded_SWITCH:--r0}")"
    [ -n "${recorded_DATA_DIR:-}" ] || command+=" DATA_DIR CONFIG"
    echo "Resubmit them with: $command"
fi
[ ${#done_days[@]} -eq "$total" ] || exit 3
