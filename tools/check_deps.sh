#!/usr/bin/env bash
# Checks the Debian packages a set-up step needs and installs the missing ones when it
# can (root, or sudo without a password); otherwise prints the one command to run.
# Usage: tools/check_deps.sh [run|test|bench|build]
#   run    the program and its tools: compiler, CMake, Ninja, Highway, libpng, nlohmann-json,
#          OpenSSL's libcrypto (SHA-256 of the inputs), NetCDF, the OpenMP runtime, OpenMPI (for ornax_mpi.x), and the converters'
#          libraries (eccodes, GDAL) for ornax_ingest, which `make run` uses on the example
#          region's sources
#   test   run + GoogleTest, and gdal-bin / netcdf-bin, which the tests read outputs back with;
#          the eccodes tools and Python module the converters' tests compare with; xarray with
#          netCDF4 for the composite tests; dask and dask.distributed for run_dataset's tests
#   bench  run + Google Benchmark
#   build  test + bench (everything)
set -u
need=${1:-build}
missing=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
check_cmd() { have_cmd "$1" || missing+=("$2"); }
check_file() { [ -f "$1" ] || missing+=("$2"); }

check_run() {
    check_cmd cmake cmake
    check_cmd ninja ninja-build
    check_cmd g++ g++
    check_file /usr/include/png.h libpng-dev
    check_file /usr/include/nlohmann/json.hpp nlohmann-json3-dev
    check_file /usr/include/netcdf.h libnetcdf-dev
    check_file /usr/include/hwy/highway.h libhwy-dev
    check_file /usr/include/openssl/evp.h libssl-dev
    # OpenMP runtime of g++ (threads of the region run)
    ls /usr/lib/*/libgomp.so.1 >/dev/null 2>&1 || missing+=(libgomp1)
    # MPI for ornax_mpi.x (the plain ornax.x never needs it)
    check_cmd mpicxx libopenmpi-dev
    check_cmd mpirun openmpi-bin
    check_ingest
}
check_test() {
    check_file /usr/include/gtest/gtest.h libgtest-dev
    check_cmd gdalinfo gdal-bin
    check_cmd ncdump netcdf-bin
    # .ci/run checks the layout of every source against .clang-format
    check_cmd clang-format clang-format
    check_cmd grib_set libeccodes-tools
    /usr/bin/python3 -c 'import eccodes' >/dev/null 2>&1 || missing+=(python3-eccodes)
    # the Python module and its tests (Debian's Python)
    check_file /usr/include/pybind11/pybind11.h pybind11-dev
    /usr/bin/python3 -c 'import pybind11' >/dev/null 2>&1 || missing+=(python3-pybind11)
    /usr/bin/python3 -c 'import numpy' >/dev/null 2>&1 || missing+=(python3-numpy)
    /usr/bin/python3 -c 'import pytest' >/dev/null 2>&1 || missing+=(python3-pytest)
    # the region reader (open_region_outputs) and the example notebook's plot; the
    # composite tests read the NetCDF back with xarray (netCDF4 engine)
    /usr/bin/python3 -c 'import xarray' >/dev/null 2>&1 || missing+=(python3-xarray)
    /usr/bin/python3 -c 'import matplotlib' >/dev/null 2>&1 || missing+=(python3-matplotlib)
    # run_dataset chunk by chunk on dask and on a dask.distributed LocalCluster
    /usr/bin/python3 -c 'import dask' >/dev/null 2>&1 || missing+=(python3-dask)
    /usr/bin/python3 -c 'import distributed' >/dev/null 2>&1 || missing+=(python3-distributed)
    /usr/bin/python3 -c 'import netCDF4' >/dev/null 2>&1 || missing+=(python3-netcdf4)
}
# ornax_ingest (the example region's sources in `make run`): the ECMWF GRIB library and GDAL
check_ingest() {
    compgen -G "/usr/include/*/eccodes.h" >/dev/null ||
        [ -f /usr/include/eccodes.h ] || missing+=(libeccodes-dev)
    check_file /usr/include/gdal/gdal.h libgdal-dev
}
check_bench() {
    check_file /usr/include/benchmark/benchmark.h libbenchmark-dev
}

case "$need" in
    run) check_run ;;
    test) check_run; check_test ;;
    bench) check_run; check_bench ;;
    build) check_run; check_test; check_bench ;;
    *) echo "usage: $0 [run|test|bench|build]" >&2; exit 2 ;;
esac
[ ${#missing[@]} -eq 0 ] && exit 0
# each package once (levels share checks)
mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)

if [ "$(id -u)" -eq 0 ]; then
    installer=(apt-get)
elif have_cmd sudo && sudo -n true 2>/dev/null; then
    installer=(sudo apt-get)
else
    echo "ornax: missing Debian packages. Install them with:" >&2
    echo "    sudo apt-get install -y ${missing[*]}" >&2
    exit 1
fi
echo "ornax: installing the missing Debian packages: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
if ! "${installer[@]}" install -y "${missing[@]}"; then
    # the package lists may be stale or absent on a fresh machine
    "${installer[@]}" update && "${installer[@]}" install -y "${missing[@]}" || {
        echo "ornax: could not install ${missing[*]}; run: sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    }
fi
