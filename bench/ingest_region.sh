#!/usr/bin/env bash
# `ornax_ingest region` against another build, side by side: the sources of a generated
# region (NCOLS x NROWS, default 1200 x 500, from the south-west corner -100 E, 34 N) and
# the example recipe on that grid, converted alternately by BASE_DIR/ornax_ingest and
# BUILD_DIR/ornax_ingest, REPEAT times each (default 3). Prints the median wall-clock
# seconds of each, their ratio, the count of GDAL error lines on the standard error, the
# machine and its load, and checks that both wrote the same files (the manifests' times,
# commands and staging names aside).
#
# Usage: bench/ingest_region.sh BASE_DIR [BUILD_DIR] [NCOLS] [NROWS]
set -euo pipefail
base=$(cd "$1" && pwd)
build=$(cd "${2:-build}" && pwd)
ncols=${3:-1200}
nrows=${4:-500}
repeat=${REPEAT:-3}
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d /tmp/ornax_ingest_bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

"$build/ornax_make_region_sources" -o "$work/sources" -c "$ncols" -r "$nrows" > /dev/null 2>&1
east=$(python3 -c "print(f'{-100 + $ncols * 0.05:.2f}')")
north=$(python3 -c "print(f'{34 + $nrows * 0.05:.2f}')")
sed -e "s/^east .*/east             = $east/" -e "s/^north .*/north            = $north/" \
    "$here/examples/region/recipe.txt" > "$work/recipe.txt"

run_once() {  # BIN OUT -> wall seconds; stderr into OUT.err
    local start end
    start=$(date +%s.%N)
    (cd "$work" && "$1/ornax_ingest" region --replace --out "$2" recipe.txt > /dev/null 2> "$2.err")
    end=$(date +%s.%N)
    python3 -c "print($end - $start)"
}
: > "$work/base.txt"
: > "$work/new.txt"
for ((i = 0; i < repeat; ++i)); do
    run_once "$base" "$work/out_base" >> "$work/base.txt"
    run_once "$build" "$work/out_new" >> "$work/new.txt"
done
same=yes
while IFS= read -r f; do
    case "$f" in *manifest.json) continue ;; esac
    cmp -s "$work/out_base/$f" "$work/out_new/$f" || { same=no; echo "differs: $f" >&2; }
done < <(cd "$work/out_base" && find . -type f | sort)
python3 - "$work" "$same" <<'PY'
import statistics, sys, os
w, same = sys.argv[1], sys.argv[2]
b = statistics.median(float(x) for x in open(os.path.join(w, "base.txt")))
n = statistics.median(float(x) for x in open(os.path.join(w, "new.txt")))
gdal = lambda name: sum(l.startswith("ERROR") for l in open(os.path.join(w, name)))
print(f"base {b:.2f} s, this build {n:.2f} s, this / base {n / b:.2f}; files equal: {same}")
print(f"GDAL error lines: base {gdal('out_base.err')}, this build {gdal('out_new.err')}")
PY
echo "$ncols x $nrows, medians of $repeat alternating runs"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
