#!/usr/bin/env bash
# `ornax_ingest region` against another build, side by side: the sources of a generated
# region (NCOLS x NROWS, default 1200 x 500, from the south-west corner -100 E, 34 N) and
# the example recipe on that grid, converted alternately by BASE_DIR/ornax_ingest and
# BUILD_DIR/ornax_ingest, REPEAT times each (default 3). Prints the medians of each's
# wall-clock seconds, CPU seconds and peak memory of the whole process tree (the converter
# and its reading processes, bench/process_tree_peak.py), their ratios, the count of GDAL
# error lines on the standard error, the machine and its load, and checks that both wrote the same
# files (the manifests' times, commands and staging names aside).
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

run_once() {  # BIN OUT -> "wall CPU peak" (s, s, MB of the whole process tree)
    (cd "$work" && "$here/bench/process_tree_peak.py" "$1/ornax_ingest" region --replace \
        --out "$2" recipe.txt 2> "$2.err")
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
def med(name):
    rows = [list(map(float, l.split())) for l in open(os.path.join(w, name))]
    return [statistics.median(c) for c in zip(*rows)]
(bw, bc, bp), (nw, nc, np) = med("base.txt"), med("new.txt")
gdal = lambda name: sum(l.startswith("ERROR") for l in open(os.path.join(w, name)))
print(f"wall: base {bw:.2f} s, this build {nw:.2f} s, this / base {nw / bw:.2f}; files equal: {same}")
print(f"CPU (user + system): base {bc:.2f} s, this build {nc:.2f} s, this / base {nc / bc:.2f}")
print(f"peak memory of the process tree (Pss): base {bp:.0f} MB, this build {np:.0f} MB")
print(f"GDAL error lines: base {gdal('out_base.err')}, this build {gdal('out_new.err')}")
PY
echo "$ncols x $nrows, medians of $repeat alternating runs"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
