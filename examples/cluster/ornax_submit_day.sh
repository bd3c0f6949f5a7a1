#!/bin/bash
# Submits one large region day (ornax_region_day.sbatch) from any folder: the paths made
# absolute, the job's folder and its Slurm log in the work root, the site file's options
# (ornax_site.sh beside this script, or ORNAX_SITE_FILE: account, partition, QOS), then
# ORNAX_SBATCH_OPTIONS (e.g. "--nodes=2 --time=01:00:00"), and the recipes' settings
# (ORNAX_EXE, ORNAX_LAUNCHER, ...) passed by name, so that a site default
# SBATCH_EXPORT=NONE changes nothing.
#
# Usage: ornax_submit_day.sh [--dry-run|--check] DATA_DIR CONFIG YEAR DOY WORK_ROOT [-r0|-r1]
#   --dry-run prints the sbatch command; --check submits nothing and compares the job's
#   sizes with the partition, lists the MPI types and checks the folders are writable
#   (ornax_check_site.sh).
# Exit status: that of sbatch (0: submitted, the job id printed), 2 for wrong arguments;
# with --check that of ornax_check_site.sh.
set -euo pipefail

me=ornax_submit_day.sh
mode=submit
case ${1:-} in --dry-run | --check) mode=${1#--} && shift ;; esac
if [ $# -lt 5 ]; then
    echo "usage: $0 [--dry-run|--check] DATA_DIR CONFIG YEAR DOY WORK_ROOT [-r0|-r1]" >&2
    exit 2
fi
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
work_root=$(ornax_absolute "$5")
# shellcheck disable=SC2206 # ORNAX_SBATCH_OPTIONS holds several options
options=("${ornax_site_options[@]}" ${ORNAX_SBATCH_OPTIONS:-})
if [ "$mode" = check ]; then
    exec "$cluster_dir/ornax_check_site.sh" "$cluster_dir/ornax_region_day.sbatch" "$data_dir" \
        "$2" "$work_root" "${options[@]}"
fi
export ORNAX_CLUSTER_DIR=$cluster_dir
[ -z "$ornax_site_file" ] || export ORNAX_SITE_FILE=$ornax_site_file
export_option=$(ornax_export_option "${ornax_settings[@]}") || exit 2
command=(sbatch --parsable --chdir="$work_root" --output="$work_root/%x-%j.out" "$export_option"
    "${options[@]}"
    "$cluster_dir/ornax_region_day.sbatch" "$data_dir" "$2" "$3" "$4" "$work_root" "${6:--r0}")
if [ "$mode" = dry-run ]; then
    echo "${command[*]}"
    exit 0
fi
mkdir -p "$work_root"
"${command[@]}"
