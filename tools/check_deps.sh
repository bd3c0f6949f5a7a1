#!/usr/bin/env bash
# Checks that the Debian packages the build needs are present and names the missing ones.
missing=()
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v ninja >/dev/null 2>&1 || missing+=(ninja-build)
command -v g++ >/dev/null 2>&1 || missing+=(g++)
[ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
[ -f /usr/include/benchmark/benchmark.h ] || missing+=(libbenchmark-dev)
# MPI for ornax_mpi.x (the plain ornax.x never needs it)
command -v mpicxx >/dev/null 2>&1 || missing+=(libopenmpi-dev)
command -v mpirun >/dev/null 2>&1 || missing+=(openmpi-bin)
# OpenMP runtime of g++ (threads of the region run)
ls /usr/lib/*/libgomp.so.1 >/dev/null 2>&1 || missing+=(libgomp1)
if [ ${#missing[@]} -gt 0 ]; then
    echo "ornax: missing build dependencies. Install them with:" >&2
    echo "    sudo apt-get install ${missing[*]}" >&2
    exit 1
fi
