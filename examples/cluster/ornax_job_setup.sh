# shellcheck shell=bash
# Sourced by the recipes of examples/cluster (not run): what every submission and every job
# of the recipes shares.
#   - The site file: ORNAX_SITE_FILE, else ornax_site.sh beside the recipes, sourced when
#     present (see ornax_site.sh.example): account, partition, QOS and further sbatch
#     options for every submission, the modules every job loads, the launcher.
#   - The environment of a submission: --export=ALL (ORNAX_EXPORT=NONE: none of the
#     submitting shell's) and the recipes' own settings, named on every sbatch command, so
#     that a site default SBATCH_EXPORT=NONE changes nothing; inside a job the steps of srun
#     get the job's environment (SLURM_EXPORT_ENV=ALL).
#   - Inside a job: the job's log in the work root whatever --output and --chdir said, and
#     Slurm's warning of the time limit (--signal=B:USR1@300) or a cancellation (TERM):
#     the running day is marked (ornax_day.time_limit) and no further day starts.
# Every function returns 0, or 2 with a message on the standard error stream.

ornax_me=${ornax_me:-${0##*/}}

# ornax_absolute PATH: PATH from the submit folder (SLURM_SUBMIT_DIR in a job, whose own
# folder is that of --chdir) made absolute.
ornax_absolute() {
    case $1 in
    /*) echo "$1" ;;
    *) echo "${SLURM_SUBMIT_DIR:-$PWD}/$1" ;;
    esac
}

# ornax_site_load CLUSTER_DIR: sources the site file and sets ornax_site_options, the sbatch
# options of every submission (--account, --partition, --qos, ORNAX_SITE_SBATCH_OPTIONS).
ornax_site_load() {
    ornax_site_file=${ORNAX_SITE_FILE:-$1/ornax_site.sh}
    ornax_site_options=()
    if [ -f "$ornax_site_file" ]; then
        # shellcheck source=/dev/null
        if ! . "$ornax_site_file"; then
            echo "$ornax_me: the site file $ornax_site_file ended with an error" >&2
            return 2
        fi
    elif [ -n "${ORNAX_SITE_FILE:-}" ]; then
        echo "$ornax_me: no site file $ORNAX_SITE_FILE (ORNAX_SITE_FILE)" >&2
        return 2
    else
        ornax_site_file=
    fi
    [ -z "${ORNAX_ACCOUNT:-}" ] || ornax_site_options+=("--account=$ORNAX_ACCOUNT")
    [ -z "${ORNAX_PARTITION:-}" ] || ornax_site_options+=("--partition=$ORNAX_PARTITION")
    [ -z "${ORNAX_QOS:-}" ] || ornax_site_options+=("--qos=$ORNAX_QOS")
    # shellcheck disable=SC2206 # several options in one variable
    ornax_site_options+=(${ORNAX_SITE_SBATCH_OPTIONS:-})
    return 0
}

# ornax_export_option NAME...: prints the --export option of a submission: ALL (or nothing
# of the submitting shell with ORNAX_EXPORT=NONE) and NAME=value of each NAME that is set.
ornax_export_option() {
    local value name
    case ${ORNAX_EXPORT:-ALL} in
    ALL) value=ALL ;;
    NONE) value= ;;
    *)
        echo "$ornax_me: ORNAX_EXPORT is ALL or NONE, not $ORNAX_EXPORT" >&2
        return 2 ;;
    esac
    for name in "$@"; do
        [ -n "${!name+x}" ] || continue
        case ${!name} in *,*)
            echo "$ornax_me: $name=${!name} holds a comma, which sbatch --export cannot pass" >&2
            return 2 ;;
        esac
        value+="${value:+,}$name=${!name}"
    done
    echo "--export=${value:-NONE}"
}

# The settings of the recipes that a submission passes to its jobs.
ornax_settings=(ORNAX_CLUSTER_DIR ORNAX_SITE_FILE ORNAX_EXE ORNAX_LAUNCHER ORNAX_FORCE
    ORNAX_RANK_VERBOSE ORNAX_DAYS_PER_TASK SLURM_MPI_TYPE)

# ornax_load_modules: module load ORNAX_MODULES (from the site file), if any.
ornax_load_modules() {
    [ -n "${ORNAX_MODULES:-}" ] || return 0
    local init
    if ! type module > /dev/null 2>&1; then
        for init in /etc/profile.d/lmod.sh /etc/profile.d/modules.sh \
            /usr/share/modules/init/bash; do
            # shellcheck source=/dev/null
            [ ! -f "$init" ] || { . "$init" && break; }
        done
    fi
    if ! type module > /dev/null 2>&1; then
        echo "$ornax_me: ORNAX_MODULES=\"$ORNAX_MODULES\" (${ornax_site_file:-environment}):" \
            "no module command on $(hostname)" >&2
        return 2
    fi
    # shellcheck disable=SC2086 # a list of modules
    if ! module load $ORNAX_MODULES; then
        echo "$ornax_me: module load $ORNAX_MODULES (${ornax_site_file:-environment}) failed" \
            "on $(hostname)" >&2
        return 2
    fi
}

# ornax_job_log WORK_ROOT NAME: inside a job whose Slurm log is not in WORK_ROOT (sbatch
# without --chdir or --output), the rest of the job's output goes to WORK_ROOT/NAME; the
# log Slurm opened elsewhere is removed at the end when nothing was written to it.
ornax_stray_log=
ornax_job_log() {
    [ -n "${SLURM_JOB_ID:-}" ] || return 0
    local stdout root
    stdout=$(scontrol show job "$SLURM_JOB_ID" 2> /dev/null |
        sed -n 's/^ *StdOut=//p' | head -n 1) || true
    [ -n "$stdout" ] && [ "$stdout" != /dev/null ] || return 0
    mkdir -p "$1" || return 2
    root=$(cd "$1" && pwd)
    case $stdout in "$root"/*) return 0 ;; esac
    exec >> "$root/$2" 2>&1
    echo "$ornax_me: this job's log is $root/$2 (the work root), not $stdout" >&2
    ornax_stray_log=$stdout
}
ornax_job_end() {
    [ -z "$ornax_stray_log" ] || [ -s "$ornax_stray_log" ] || rm -f "$ornax_stray_log"
}

# ornax_job_begin CLUSTER_DIR WORK_ROOT LOG_NAME: the site file, the modules, the srun
# steps' environment and the job's log, in a job.
ornax_job_begin() {
    ornax_site_load "$1" || return 2
    ornax_load_modules || return 2
    export SLURM_EXPORT_ENV=ALL
    ornax_job_log "$2" "$3" || return 2
    trap ornax_job_end EXIT
    trap 'ornax_stop USR1' USR1
    trap 'ornax_stop TERM' TERM
}

# The time limit: Slurm sends USR1 (--signal=B:USR1@300) before it ends the job; scancel
# and the limit itself send TERM. The running day is marked and no further day starts.
ornax_stopping=
ornax_running_day=
ornax_stop() {
    ornax_stopping=$1
    if [ "$1" = USR1 ]; then
        echo "$ornax_me: Slurm warned of the job's time limit${ornax_running_day:+ during}" \
            "${ornax_running_day:-}; no further day starts" >&2
    else
        echo "$ornax_me: the job was ended (TERM: time limit or scancel)" \
            "${ornax_running_day:+during $ornax_running_day}" >&2
    fi
    [ "$1" != USR1 ] || [ -z "$ornax_running_day" ] ||
        : > "$ornax_running_day/ornax_day.time_limit"
}

# ornax_run_watched DAY_FOLDER COMMAND...: runs COMMAND and returns its exit status; a
# signal of the time limit that arrives meanwhile marks DAY_FOLDER.
ornax_run_watched() {
    ornax_running_day=$1
    shift
    local pid status
    "$@" < /dev/null &
    pid=$!
    while :; do
        status=0
        wait "$pid" || status=$?
        if [ "$status" -gt 128 ] && kill -0 "$pid" 2> /dev/null; then
            continue # a trapped signal ended the wait, not the command
        fi
        break
    done
    ornax_running_day=
    return "$status"
}
