#!/bin/bash
# The preparation job of ornax_submit_days.sh: checks that the program starts on the node,
# then runs the first day of the list (ornax_day_task.sh), which builds the land subset file
# and the day's sunrise cache in the data folder, so that the tasks of the array load the
# land subset instead of each building it. A data failure of that day (exit status 3) does
# not stop the array (the report lists the day); a program that cannot start or a run that
# was killed does (exit status 126, 127, 128+N), and so do wrong arguments (2).
#
# Usage: ornax_prepare.sh DATA_DIR CONFIG DAYS_FILE WORK_ROOT [-r0|-r1]
# Environment: ORNAX_CLUSTER_DIR (the examples/cluster folder; set by ornax_submit_days.sh),
#   ORNAX_EXE (default ornax.x).
set -euo pipefail

me=ornax_prepare.sh
if [ $# -lt 4 ]; then
    echo "usage: $me DATA_DIR CONFIG DAYS_FILE WORK_ROOT [-r0|-r1]" >&2
    exit 2
fi
cluster_dir=${ORNAX_CLUSTER_DIR:-$(cd "$(dirname "$0")" && pwd)}
if [ ! -x "$cluster_dir/ornax_day_task.sh" ]; then
    echo "$me: no ornax_day_task.sh in '$cluster_dir': set ORNAX_CLUSTER_DIR to the" \
        "examples/cluster folder" >&2
    exit 2
fi
ornax_me=$me
# shellcheck source=examples/cluster/ornax_job_setup.sh
. "$cluster_dir/ornax_job_setup.sh"
ornax_job_begin "$cluster_dir" "$4" "slurm/ornax-prepare-${SLURM_JOB_ID:-0}.out" || exit 2
exe=${ORNAX_EXE:-ornax.x}
if ! command -v "$exe" > /dev/null 2>&1; then
    echo "$me: the program $exe (ORNAX_EXE) is not found on $(hostname) (PATH=$PATH)" >&2
    exit 127
fi
version=$("$exe" --version 2>&1) || {
    status=$?
    echo "$me: $exe --version ended with exit status $status on $(hostname): $version" >&2
    exit "$status"
}
echo "$me: $exe on $(hostname): ${version%%$'\n'*}"
read -r year doy < <(awk 'NF { print $1, $2; exit }' "$3") || true
if [ -z "${doy:-}" ]; then
    echo "$me: no day on the first line of $3 (DAYS_FILE)" >&2
    exit 2
fi
status=0
day=$(printf '%04d%03d' "$((10#$year))" "$((10#$doy))" 2> /dev/null) || day=$year$doy
ornax_run_watched "$4/$day" "$cluster_dir/ornax_day_task.sh" "$1" "$2" "$year" "$doy" "$4" \
    "${5:--r0}" || status=$?
case $status in
0) echo "$me: first day $year $doy done; the array may start" ;;
3) echo "$me: the first day $year $doy failed on its data (exit status 3); the array starts" \
    "all the same and the report will list the day" >&2
    status=0 ;;
*) echo "$me: the first day $year $doy ended with exit status $status: the array is not" \
    "started" >&2 ;;
esac
exit "$status"
