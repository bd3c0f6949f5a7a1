#!/bin/bash
# The pre-flight of a submission (ornax_submit_days.sh --check, ornax_submit_day.sh
# --check): submits nothing, and says what would keep the jobs from running.
#   - The job's sizes, from the #SBATCH lines of BATCH_SCRIPT overridden by OPTIONS (the
#     site file's, then ORNAX_SBATCH_OPTIONS), against the partition (scontrol show
#     partition, sinfo): the partition exists and is up; --nodes within its nodes and
#     MaxNodes; --cpus-per-task times the tasks per node within the CPUs of its largest
#     node; --time within MaxTime. Each mismatch is named with both values: such a job
#     pends for ever (reason PartitionConfig or PartitionTimeLimit) or is refused.
#   - The MPI types srun offers (srun --mpi=list), and those of OpenMPI (ompi_info).
#   - The data folder and the work root writable for this user: the land subset file (line
#     4 of the meteorological configuration) is written in its folder of the data folder.
#
# Usage: ornax_check_site.sh BATCH_SCRIPT DATA_DIR CONFIG WORK_ROOT [OPTIONS...]
# Exit status: 0 when nothing is amiss, 3 when something is (each named on the standard
# error stream), 2 for wrong arguments.
set -uo pipefail

me=ornax_check_site.sh
if [ $# -lt 4 ] || [ ! -f "$1" ]; then
    echo "usage: $me BATCH_SCRIPT DATA_DIR CONFIG WORK_ROOT [OPTIONS...]" >&2
    exit 2
fi
script=$1 data_dir=$2 config=$3 work_root=$4
shift 4
problems=0
problem() {
    echo "$me: $*" >&2
    problems=$((problems + 1))
}

# The job's sizes: the script's #SBATCH lines, then the options (the last one wins).
nodes=1 ntasks=1 per_node='' cpus=1 time_limit='' partition=''
set_option() { # set_option NAME VALUE
    case $1 in
    -N | --nodes) nodes=${2%%-*} ;;
    -n | --ntasks) ntasks=$2 ;;
    --ntasks-per-node) per_node=$2 ;;
    -c | --cpus-per-task) cpus=$2 ;;
    -t | --time) time_limit=$2 ;;
    -p | --partition) partition=$2 ;;
    esac
}
read_options() { # read_options OPTION...: --name=value, --name value, -x value, -xVALUE
    while [ $# -gt 0 ]; do
        case $1 in
        --*=*) set_option "${1%%=*}" "${1#*=}" ;;
        --nodes | --ntasks | --ntasks-per-node | --cpus-per-task | --time | --partition | \
            -[Nnctp])
            set_option "$1" "${2:-}"
            shift ;;
        -[Nnctp]?*) set_option "${1:0:2}" "${1:2}" ;;
        esac
        shift
    done
}
set -f # the words of the #SBATCH lines, never file names
# shellcheck disable=SC2046
read_options $(sed -n 's/^#SBATCH[[:space:]]\{1,\}//p' "$script")
set +f
read_options "$@"
[ -n "$per_node" ] || per_node=$(((ntasks + nodes - 1) / nodes))

# minutes LIMIT: Slurm's time format (MM, MM:SS, HH:MM:SS, D-HH, D-HH:MM, D-HH:MM:SS) in
# minutes, "" for UNLIMITED or INFINITE
minutes() {
    awk -v t="$1" 'BEGIN {
        if (t == "UNLIMITED" || t == "INFINITE" || t == "") exit
        d = 0
        if (index(t, "-")) { d = substr(t, 1, index(t, "-") - 1); t = substr(t, index(t, "-") + 1)
            n = split(t, p, ":"); h = p[1]; m = (n > 1) ? p[2] : 0; s = (n > 2) ? p[3] : 0 }
        else { n = split(t, p, ":")
            if (n == 1) { h = 0; m = p[1]; s = 0 } else if (n == 2) { h = 0; m = p[1]; s = p[2] }
            else { h = p[1]; m = p[2]; s = p[3] } }
        printf "%d\n", d * 1440 + h * 60 + m + (s > 0 ? 1 : 0) }'
}

echo "$me: the job asks for $nodes node(s), $per_node task(s) per node, $cpus CPU(s) per" \
    "task, time ${time_limit:-(the default of the partition)}, partition ${partition:-(the default)}"
if ! command -v scontrol > /dev/null 2>&1 || ! command -v sinfo > /dev/null 2>&1; then
    problem "no scontrol or sinfo here: run the check on a login node of the cluster"
else
    if [ -z "$partition" ]; then
        partition=$(sinfo -h -o %P 2> /dev/null | sed -n 's/\*$//p' | head -n 1)
        [ -n "$partition" ] || problem "no default partition (sinfo -o %P marks none with *):" \
            "give --partition (ORNAX_PARTITION in the site file)"
    fi
    if [ -n "$partition" ]; then
        info=$(scontrol show partition "$partition" 2> /dev/null | tr ' ' '\n')
        if [ -z "$info" ]; then
            problem "no partition $partition (scontrol show partition $partition); the" \
                "partitions: $(sinfo -h -o %P 2> /dev/null | tr '\n' ' ')"
        else
            field() { printf '%s\n' "$info" | sed -n "s/^$1=//p" | head -n 1; }
            state=$(field State) max_nodes=$(field MaxNodes) max_time=$(field MaxTime)
            total_nodes=$(field TotalNodes)
            node_cpus=$(sinfo -h -p "$partition" -o %c 2> /dev/null | tr -d '+' | sort -n |
                tail -n 1)
            echo "$me: partition $partition: State=$state TotalNodes=$total_nodes" \
                "MaxNodes=$max_nodes MaxTime=$max_time, ${node_cpus:-?} CPUs on its largest node"
            [ "$state" = UP ] || problem "partition $partition is $state, not UP"
            if [ -n "$total_nodes" ] && [ "$nodes" -gt "$total_nodes" ] 2> /dev/null; then
                problem "--nodes=$nodes but partition $partition has $total_nodes node(s)"
            fi
            if [ "$max_nodes" != UNLIMITED ] && [ "$nodes" -gt "$max_nodes" ] 2> /dev/null; then
                problem "--nodes=$nodes but partition $partition allows MaxNodes=$max_nodes"
            fi
            if [ -n "$node_cpus" ] && [ $((cpus * per_node)) -gt "$node_cpus" ] 2> /dev/null; then
                problem "--cpus-per-task=$cpus x $per_node task(s) per node = $((cpus * per_node))" \
                    "CPUs, but the largest node of partition $partition has $node_cpus"
            fi
            asked=$(minutes "$time_limit") allowed=$(minutes "$max_time")
            if [ -n "$asked" ] && [ -n "$allowed" ] && [ "$asked" -gt "$allowed" ]; then
                problem "--time=$time_limit is more than MaxTime=$max_time of partition $partition"
            fi
        fi
    fi
fi

# MPI types: what srun can wire up, and what OpenMPI was built for.
if command -v srun > /dev/null 2>&1; then
    echo "$me: MPI types of srun (srun --mpi=list; choose one with ORNAX_MPI_TYPE):"
    srun --mpi=list 2>&1 | sed -n 's/^[[:space:]]*\([a-z0-9_]\{1,\}\)[[:space:]]*$/    \1/p'
fi
if command -v ompi_info > /dev/null 2>&1; then
    echo "$me: OpenMPI's PMI support (ompi_info | grep -i pmi):"
    ompi_info 2> /dev/null | grep -i pmi | grep -iv configure | sed 's/^[[:space:]]*/    /'
else
    echo "$me: OpenMPI's PMI support: ompi_info | grep -i pmi on a node (no ompi_info here)"
fi

# Writable folders: the work root and the land subset file's folder of the data folder.
probe() { # probe FOLDER WHAT: names the folder and the system's reason when it cannot be written
    local why
    if ! why=$( (: > "$1/.ornax_write_probe.$$") 2>&1); then
        problem "cannot write in $1 ($2): ${why##*: }"
        return
    fi
    rm -f "$1/.ornax_write_probe.$$"
}
if [ ! -d "$data_dir" ]; then
    problem "no data folder $data_dir"
else
    config_file=$config
    [ "${config#/}" != "$config" ] || config_file=$data_dir/$config
    met=$(awk 'NR == 31 { v = substr($0, 31); sub(/[ \t\r]+$/, "", v); print v }' \
        "$config_file" 2> /dev/null)
    [ -z "$met" ] || [ "${met#/}" != "$met" ] || met=$data_dir/$met
    subset=
    [ -z "$met" ] || [ ! -f "$met" ] ||
        subset=$(awk 'NR == 4 { v = substr($0, 31); sub(/[ \t\r]+$/, "", v); print v }' "$met")
    [ -z "$subset" ] || [ "${subset#/}" != "$subset" ] || subset=$data_dir/$subset
    probe "$data_dir" "the data folder"
    if [ -n "$subset" ] && [ "$(dirname "$subset")" != "$data_dir" ]; then
        probe "$(dirname "$subset")" "the folder of the land subset file $subset, line 4 of $met"
    fi
fi
parent=$work_root # the work root, or the folder it will be created in
while [ ! -d "$parent" ] && [ "$parent" != "$(dirname "$parent")" ]; do
    parent=$(dirname "$parent")
done
probe "$parent" "the work root $work_root"

if [ "$problems" -gt 0 ]; then
    echo "$me: $problems problem(s): the jobs would pend, be refused or fail" >&2
    exit 3
fi
echo "$me: the job fits partition ${partition:-?}; the folders are writable"
