#!/bin/bash
# Starts one process of ornax_mpi.x (what srun or mpirun runs for each task): pins the
# process's OpenMP threads to cores (OMP_PLACES=cores, OMP_PROC_BIND=close) only when the
# launcher bound it to CPUs of its own, that is when it may run on no more CPUs than it has
# threads. Where nothing binds (TaskPlugin=task/none, mpirun --bind-to none) every process
# may run on every CPU of the node, and pinning would put the threads of all processes of
# the node on the same first cores; their threads are then left to the system.
# An OMP_PROC_BIND set by the site or the user is kept. ORNAX_RANK_VERBOSE=1 reports the
# choice of each process on the standard error stream.
#
# Usage: ornax_rank_env.sh PROGRAM [ARGUMENTS...]
set -euo pipefail

if [ $# -lt 1 ]; then
    echo "usage: $0 PROGRAM [ARGUMENTS...]" >&2
    exit 2
fi
threads=${OMP_NUM_THREADS:-1}
# CPUs this process may run on (its affinity mask); nproc alone would answer OMP_NUM_THREADS
allowed=$(env -u OMP_NUM_THREADS -u OMP_THREAD_LIMIT nproc)
if [ -z "${OMP_PROC_BIND:-}" ] && [ "$allowed" -le "$threads" ]; then
    export OMP_PLACES=${OMP_PLACES:-cores} OMP_PROC_BIND=close
fi
if [ "${ORNAX_RANK_VERBOSE:-0}" = 1 ]; then
    # the launcher's own rank first: under mpirun inside an allocation SLURM_PROCID is that
    # of the batch step, the same for every process
    rank=${OMPI_COMM_WORLD_RANK:-${PMIX_RANK:-${SLURM_PROCID:-?}}}
    echo "ornax_rank_env.sh: process $rank on $(hostname): $allowed CPUs for $threads" \
        "threads, OMP_PROC_BIND=${OMP_PROC_BIND:-unset}" >&2
fi
exec "$@"
