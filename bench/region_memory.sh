#!/usr/bin/env bash
# Peak memory of the region run against another build, side by side: a generated region
# (NCOLS x NROWS, default 1200 x 500) run alternately by BASE_DIR/ornax.x and
# BUILD_DIR/ornax.x with THREADS OpenMP threads (default 2), REPEAT times each (default 3),
# after one run that builds the land subset and the sunrise cache. Prints the median
# maximum resident size (/usr/bin/time) and wall seconds of each, their ratios (this build
# / base), the machine and its load, and checks that both wrote the same rasters.
#
# Usage: bench/region_memory.sh BASE_DIR [BUILD_DIR] [NCOLS] [NROWS]
set -euo pipefail
base=$(cd "$1" && pwd)
build=$(cd "${2:-build}" && pwd)
ncols=${3:-1200}
nrows=${4:-500}
repeat=${REPEAT:-3}
export OMP_NUM_THREADS=${THREADS:-2}
work=$(mktemp -d /tmp/ornax_memory_bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

"$build/ornax_make_region" -o "$work/data" -c "$ncols" -r "$nrows" > /dev/null
cd "$work/data"
export HOME_DIR=$PWD
"$build/ornax.x" -r0 config/region.cfg 2019 200 > /dev/null 2>&1

run_once() {  # BIN -> "KB SECONDS"
    /usr/bin/time -f "%M %e" -o "$work/time.txt" "$1/ornax.x" -r0 config/region.cfg 2019 200 \
        > /dev/null 2>&1
    cat "$work/time.txt"
}
: > "$work/base.txt"
: > "$work/new.txt"
for ((i = 0; i < repeat; ++i)); do
    run_once "$base" >> "$work/base.txt"
    cp output/EDAY.bin "$work/base_EDAY.bin"
    run_once "$build" >> "$work/new.txt"
done
same=yes
cmp -s output/EDAY.bin "$work/base_EDAY.bin" || same=no
python3 - "$work" "$same" <<'PY'
import statistics, sys, os
w, same = sys.argv[1], sys.argv[2]
def med(name):
    rows = [list(map(float, l.split())) for l in open(os.path.join(w, name))]
    return [statistics.median(c) for c in zip(*rows)]
(bm, bs), (nm, ns) = med("base.txt"), med("new.txt")
print(f"peak memory: base {bm / 1024:.1f} MB, this build {nm / 1024:.1f} MB, this / base {nm / bm:.2f}")
print(f"wall: base {bs:.2f} s, this build {ns:.2f} s; EDAY.bin equal: {same}")
PY
echo "threads $OMP_NUM_THREADS, $ncols x $nrows, medians of $repeat alternating runs"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
