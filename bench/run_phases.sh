#!/usr/bin/env bash
# Set-up and publishing of the region run against another build, side by side: a generated
# region (NCOLS x NROWS, default 400 x 300) run alternately by BASE_DIR/ornax.x and
# BUILD_DIR/ornax.x, REPEAT times each (default 5) with THREADS OpenMP threads (default 2),
# after one run that builds the land subset and the sunrise cache. Prints the median of the
# run record's set-up, publish (the SHA-256 of every input is taken there) and total
# seconds and the wall-clock seconds of each build, their ratios (base / this build), the
# machine and its load, and checks that both wrote the same rasters and digests.
#
# Usage: bench/run_phases.sh BASE_DIR [BUILD_DIR] [NCOLS] [NROWS]
set -euo pipefail
base=$(cd "$1" && pwd)
build=$(cd "${2:-build}" && pwd)
ncols=${3:-400}
nrows=${4:-300}
repeat=${REPEAT:-5}
export OMP_NUM_THREADS=${THREADS:-2}
work=$(mktemp -d /tmp/ornax_phase_bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

"$build/ornax_make_region" -o "$work/data" -c "$ncols" -r "$nrows" > /dev/null
cd "$work/data"
export HOME_DIR=$PWD
"$build/ornax.x" -r0 config/region.cfg 2019 200 > /dev/null 2>&1

# one run: "SETUP PUBLISH TOTAL WALL" of the run record and the clock
run_once() {
    local start end
    start=$(date +%s.%N)
    "$1/ornax.x" -r0 config/region.cfg 2019 200 > /dev/null 2>&1
    end=$(date +%s.%N)
    python3 - "$start" "$end" <<'PY'
import json, sys
t = json.load(open("output/run_info.json"))["time_seconds"]
print(t["setup"], t["publish"], t["total"], float(sys.argv[2]) - float(sys.argv[1]))
PY
}
: > "$work/base.txt"
: > "$work/new.txt"
for ((i = 0; i < repeat; ++i)); do
    run_once "$base" >> "$work/base.txt"
    cp output/run_info.json "$work/base_info.json"
    cp output/EDAY.bin "$work/base_EDAY.bin"
    run_once "$build" >> "$work/new.txt"
done
cmp -s output/EDAY.bin "$work/base_EDAY.bin" || echo "EDAY.bin differs between the builds" >&2
python3 - "$work" <<'PY'
import json, statistics, sys, os
w = sys.argv[1]
def med(name):
    rows = [list(map(float, l.split())) for l in open(os.path.join(w, name))]
    return [statistics.median(c) for c in zip(*rows)]
b, n = med("base.txt"), med("new.txt")
digests = lambda p: [e["sha256"] for e in json.load(open(p))["inputs"]]
same = digests(os.path.join(w, "base_info.json")) == digests("output/run_info.json")
print(f"{'':10}{'set-up':>9}{'publish':>9}{'total':>9}{'wall':>9}")
print(f"{'base':10}" + "".join(f"{x:9.3f}" for x in b))
print(f"{'this':10}" + "".join(f"{x:9.3f}" for x in n))
print(f"{'ratio':10}" + "".join(f"{x / y:9.2f}" if y > 0 else f"{'-':>9}" for x, y in zip(b, n)))
print("input digests", "equal" if same else "DIFFER")
PY
echo "threads $OMP_NUM_THREADS, $ncols x $nrows, medians of $repeat alternating runs"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
