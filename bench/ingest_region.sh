#!/usr/bin/env bash
# `ornax_ingest region` against another build, side by side: the sources of a generated
# region (NCOLS x NROWS, default 1200 x 500, from the south-west corner -100 E, 34 N) and
# the example recipe on that grid, converted alternately by BASE_DIR/ornax_ingest and
# BUILD_DIR/ornax_ingest, REPEAT times each (default 3). Prints the median wall-clock
# seconds of each, their ratio, the count of GDAL error lines on the standard error, the
# machine and its load, and checks that both wrote the same files (the manifests' times,
# commands and staging names aside). Then runs the day each build converted with that
# build's ornax.x -r0 on THREADS OpenMP threads (default 2), alternately, REPEAT times each,
# and prints the median run and the conversion's share of it (RUN=0 skips the runs).
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
run_day() {  # BIN FOLDER -> wall seconds of ornax.x -r0 in the converted folder
    local start end
    start=$(date +%s.%N)
    (cd "$2" && HOME_DIR= OMP_NUM_THREADS=${THREADS:-2} "$1/ornax.x" -r0 config/region.cfg 2019 200 \
        > /dev/null 2>&1)
    end=$(date +%s.%N)
    python3 -c "print($end - $start)"
}
: > "$work/base_run.txt"
: > "$work/new_run.txt"
if [ "${RUN:-1}" != 0 ]; then
    for ((i = 0; i < repeat; ++i)); do
        run_day "$base" "$work/out_base" >> "$work/base_run.txt"
        run_day "$build" "$work/out_new" >> "$work/new_run.txt"
    done
    cmp -s "$work/out_base/output/EDAY.bin" "$work/out_new/output/EDAY.bin" ||
        echo "the runs' EDAY.bin differ between the builds" >&2
fi
python3 - "$work" "$same" "${THREADS:-2}" <<'PY'
import statistics, sys, os
w, same, threads = sys.argv[1], sys.argv[2], sys.argv[3]
def med(name):
    values = [float(x) for x in open(os.path.join(w, name))]
    return statistics.median(values) if values else None
b, n = med("base.txt"), med("new.txt")
gdal = lambda name: sum(l.startswith("ERROR") for l in open(os.path.join(w, name)))
print(f"base {b:.2f} s, this build {n:.2f} s, this / base {n / b:.2f}; files equal: {same}")
print(f"GDAL error lines: base {gdal('out_base.err')}, this build {gdal('out_new.err')}")
rb, rn = med("base_run.txt"), med("new_run.txt")
if rb is not None:
    print(f"the day's run on {threads} threads: base {rb:.2f} s, this build {rn:.2f} s; "
          f"conversion / run: base {b / rb:.2f}, this build {n / rn:.2f}")
PY
echo "$ncols x $nrows, medians of $repeat alternating runs"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
