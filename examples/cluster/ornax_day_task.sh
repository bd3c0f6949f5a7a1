#!/usr/bin/env bash
# One day of a region run in a working folder of its own, WORK_ROOT/YYYYDDD/, so that the
# run logs, the line diagnostic, the land-cell image and the outputs of different days never
# collide. The folder links every entry of the data folder (relative paths of the
# configuration resolve there as in the data folder) except the output directory, which it
# holds itself; HOME_DIR is the folder, so the outputs land in WORK_ROOT/YYYYDDD/<output dir>.
# The day's sunrise cache and the land subset file are written through the links, into the
# data folder, by name of day or atomically, so tasks of other days can share them.
# A day needs the forecast of the day and of the next day (<forecast dir>/YYYYDDD/ of both):
# without the next day's, the day fails too (exit status 3).
#
# Usage: ornax_day_task.sh DATA_DIR CONFIG YEAR DOY WORK_ROOT [-r0|-r1]
#   CONFIG is the region configuration, relative to DATA_DIR or absolute.
# Environment: ORNAX_EXE (default ornax.x), ORNAX_LAUNCHER (e.g. "srun" for ornax_mpi.x),
#   ORNAX_FORCE=1 to run a day again that already finished.
# Exit status: that of the run (0 success, 3 failure of the day: its data), 2 for wrong
# arguments; 126/127 when the program cannot be started, 128+N when a signal N ended it.
# The folder keeps the status in ornax_day.status (written when the run ends), for a
# success the done stamp ornax_day.done, for a failure the reason in ornax_day.reason (the
# file and the system's message where there is one) and the program's screen output, both
# streams, in screen.txt; ornax_days_status.sh reads them. The land subset file is written
# in the data folder (line 4 of the meteorological configuration): a folder this user
# cannot write fails the day before the run (exit status 3), naming the folder and the
# system's reason. ornax_day.time_limit, written by the batch script when Slurm warned of
# the job's time limit, marks a day that the limit ended.
set -euo pipefail

if [ $# -lt 5 ]; then
    echo "usage: $0 DATA_DIR CONFIG YEAR DOY WORK_ROOT [-r0|-r1]" >&2
    exit 2
fi
data_dir=$(cd "$1" && pwd)
config=$2
year=$3
doy=$4
work_root=$5
switch=${6:--r0}
case $year$doy in *[!0-9]*)
    echo "$0: YEAR and DOY must be numbers" >&2
    exit 2 ;;
esac
case $switch in -r0 | -r1) ;; *)
    echo "$0: the switch is -r0 or -r1" >&2
    exit 2 ;;
esac
config_file=$config
[ "${config#/}" != "$config" ] || config_file=$data_dir/$config
if [ ! -f "$config_file" ]; then
    echo "$0: no configuration $config_file" >&2
    exit 2
fi

day=$(printf '%04d%03d' "$((10#$year))" "$((10#$doy))")
mkdir -p "$work_root/$day"
work=$(cd "$work_root/$day" && pwd)
if [ -f "$work/ornax_day.done" ] && [ "${ORNAX_FORCE:-0}" != 1 ]; then
    echo "day $day already done in $work"
    exit 0
fi
rm -f "$work/ornax_day.done" "$work/ornax_day.status" "$work/ornax_day.reason" \
    "$work/ornax_day.time_limit"
# fail DAY_STATUS REASON: records the failure of the day and ends with its status
fail() {
    echo "$1" > "$work/ornax_day.status"
    printf '%s\n' "$2" > "$work/ornax_day.reason"
    echo "$0: day $day failed (exit status $1): $2" >&2
    exit "$1"
}

# The land subset file (line 4 of the meteorological configuration named on line 31) is
# written in its folder of the data folder on the first run of a region: that folder must
# be writable for this user. The system's reason is that of an attempt to create a file.
met_config=$(awk 'NR == 31 { v = substr($0, 31); sub(/[ \t\r]+$/, "", v); print v }' "$config_file")
[ "${met_config#/}" != "$met_config" ] || met_config=$data_dir/$met_config
subset=
[ ! -f "$met_config" ] ||
    subset=$(awk 'NR == 4 { v = substr($0, 31); sub(/[ \t\r]+$/, "", v); print v }' "$met_config")
if [ -n "$subset" ]; then
    [ "${subset#/}" != "$subset" ] || subset=$data_dir/$subset
    probe="$(dirname "$subset")/.ornax_write_probe.$$"
    if ! why=$( (: > "$probe") 2>&1); then
        fail 3 "cannot write the land subset file $subset in $(dirname "$subset") (line 4 of $met_config): ${why##*: }; the data folder must be writable"
    fi
    rm -f "$probe"
fi

# Output directory: line 64 of the configuration, under HOME_DIR (no separator added).
out_value=$(awk 'NR == 64 { v = substr($0, 31); sub(/[ \t\r]+$/, "", v); print v }' "$config_file")
out_top=${out_value#/}
out_top=${out_top%%/*}
for entry in "$data_dir"/*; do
    name=${entry##*/}
    case $name in ORNAX-*.log | testMETtemp15.bin | common_lc.dat) continue ;; esac
    [ -n "$out_top" ] && [ "$name" = "$out_top" ] && continue
    case "$work/" in "$entry"/*) continue ;; esac # the work root inside the data folder
    [ -e "$work/$name" ] || [ -L "$work/$name" ] || ln -s "$entry" "$work/$name"
done
mkdir -p "$work$out_value"

cd "$work"
# TERM (scancel, the time limit) also reaches the program: the day then ends with its status
trap 'echo "$0: day $day: TERM received" >&2' TERM
started="$work/.ornax_day.started"
: > "$started"
status=0
# shellcheck disable=SC2086 # the launcher may be a command with its own options
HOME_DIR=$work ${ORNAX_LAUNCHER:-} "${ORNAX_EXE:-ornax.x}" "$switch" "$config" "$year" "$doy" \
    > "$work/screen.txt" 2>&1 || status=$?
if [ "$status" -eq 0 ]; then
    echo 0 > "$work/ornax_day.status"
    date -u +'%Y-%m-%dT%H:%M:%SZ' > "$work/ornax_day.done"
    rm -f "$started"
    exit 0
fi
# The run log of this run, if the program got as far as writing one.
run_log=$(find "$work" -maxdepth 1 -name 'ORNAX-*.log' -newer "$started" -print 2> /dev/null |
    sort | tail -n 1)
rm -f "$started"
# The program's own last words: the last lines of its screen output, into the Slurm log too.
if [ -s "$work/screen.txt" ]; then
    echo "$0: day $day: the last lines of $work/screen.txt:" >&2
    grep -v '^ *Line [0-9]* of ' "$work/screen.txt" | tail -n 5 | sed 's/^/    /' >&2
fi
# The first message the program or the shell wrote about the failure.
said=$(grep -m 1 -E '^[^ ]*(ornax[^ :]*|line [0-9]+): ' "$work/screen.txt" 2> /dev/null) || true
if [ "$status" -gt 128 ]; then
    signal=$(kill -l "$((status - 128))" 2> /dev/null) || signal=$((status - 128))
    reason="ended by signal $((status - 128)) (SIG$signal)"
    [ ! -f "$work/ornax_day.time_limit" ] || reason="$reason at the job's time limit"
elif [ "$status" -eq 126 ] || [ "$status" -eq 127 ]; then
    reason="${ORNAX_LAUNCHER:+$ORNAX_LAUNCHER }${ORNAX_EXE:-ornax.x} could not be started on"
    reason="$reason $(hostname): ${said:-no message}"
else
    reason=${said:-no message on the screen}
fi
if [ -n "$run_log" ]; then
    reason="$reason; see $run_log"
else
    reason="$reason; ornax wrote no run log, its screen output is in $work/screen.txt"
fi
fail "$status" "$reason"
