#!/usr/bin/env bash
# Runs the main job on the bundled example data and prints what it reports.
# Usage: tools/run_examples.sh path/to/ornax.x   (make run does this)
# Run logs (ORNAX-*.log) are written in <build>/example-runs, not in the source tree.
set -u
exe=$(realpath "$1")
root=$(cd "$(dirname "$0")/.." && pwd)
run_dir=$(dirname "$exe")/example-runs
mkdir -p "$run_dir"
failed=0

# ==== site mode: one report per bundled site =========================================
site_table="$root/examples/site/landcover.txt"
for site in "$root"/examples/site/*_site.dat; do
    echo "==== site $(basename "$site") with $(basename "$site_table") ===="
    report=$(cd "$run_dir" && "$exe" -s "$site" -l "$site_table")
    code=$?
    printf '%s\n' "$report"
    if [ $code -ne 0 ] || ! grep -q "ORNAX finish successfully" <<<"$report"; then
        echo "==== site run failed (exit status $code): $site; see the log in $run_dir"
        failed=1
    fi
    echo
done
# ==== end of site mode ===============================================================

# ==== region mode: the generated example region ======================================
# Generated once (git-ignored) with tools' ornax_make_region, then run with -r0 from the
# region's directory (HOME_DIR = that directory); the run log stays there.
region_dir="$root/examples/region/generated"
bin_dir=$(dirname "$exe")
if [ ! -f "$region_dir/config/region.cfg" ]; then
    echo "==== generating the example region in $region_dir"
    "$bin_dir/ornax_make_region" -o "$region_dir" || failed=1
fi
if [ -f "$region_dir/config/region.cfg" ]; then
    read -r year doy < <(awk 'NR == 4 { print substr($0, 31) }' "$region_dir/config/region.cfg")
    echo "==== region run: ornax.x -r0 config/region.cfg $year $doy in $region_dir"
    start=$(date +%s.%N)
    (cd "$region_dir" && HOME_DIR="$region_dir" "$exe" -r0 config/region.cfg "$year" "$doy" \
        > "$region_dir/screen.txt")
    code=$?
    seconds=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }')
    if [ $code -ne 0 ]; then
        echo "==== region run failed (exit status $code); see the ORNAX-*.log in $region_dir"
        failed=1
    fi
    # the run's own end-of-run summary (the last lines of its screen output)
    sed -n '/Region run finished/,$p' "$region_dir/screen.txt"
    echo "     screen messages in $region_dir/screen.txt, run log ORNAX-*.log beside them"
    if [ -x "$bin_dir/ornax_to_netcdf" ] && [ -f "$region_dir/output/run_info.json" ]; then
        "$bin_dir/ornax_to_netcdf" "$region_dir/output" || failed=1
    fi
    echo "==== whole-run elapsed time: $seconds s"
fi
# ==== end of region mode =============================================================

# ==== region from real formats: sources -> ornax_ingest region -> region run ==========
# The sources (GRIB2 forecasts, NetCDF-4 scans, GeoTIFFs; git-ignored) are written from
# the generator's fields, the bundled recipe examples/region/recipe.txt turns them into a
# region folder, and the model runs there (HOME_DIR unset: the folder's paths are relative).
recipe="$root/examples/region/recipe.txt"
sources="$root/examples/region/sources"
from_recipe="$root/examples/region/from_recipe"
if [ -x "$bin_dir/ornax_ingest" ] && [ -x "$bin_dir/ornax_make_region_sources" ]; then
    if [ ! -d "$sources/lst" ]; then
        echo "==== writing the example sources in $sources"
        "$bin_dir/ornax_make_region_sources" -o "$sources" || failed=1
    fi
    echo "==== ornax_ingest region $recipe"
    start=$(date +%s.%N)
    if "$bin_dir/ornax_ingest" --log "$run_dir/ORNAX_INGEST-example.log" region --replace \
        "$recipe" 2> "$run_dir/ingest_screen.txt"; then
        tail -n 1 "$run_dir/ingest_screen.txt"
        read -r year doy < <(awk 'NR == 2 { print substr($0, 31) }' "$from_recipe/config/region.cfg")
        echo "==== region run: ornax.x -r0 config/region.cfg $year $doy in $from_recipe"
        (cd "$from_recipe" && env -u HOME_DIR "$exe" -r0 config/region.cfg "$year" "$doy" \
            > "$from_recipe/screen.txt")
        code=$?
        if [ $code -ne 0 ]; then
            echo "==== region run failed (exit status $code); see the ORNAX-*.log in $from_recipe"
            failed=1
        fi
        sed -n '/Region run finished/,$p' "$from_recipe/screen.txt"
        if [ -x "$bin_dir/ornax_to_netcdf" ] && [ -f "$from_recipe/output/run_info.json" ]; then
            "$bin_dir/ornax_to_netcdf" "$from_recipe/output" || failed=1
        fi
    else
        echo "==== ornax_ingest region failed; its messages:"
        cat "$run_dir/ingest_screen.txt"
        failed=1
    fi
    seconds=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }')
    echo "==== conversion and run elapsed time: $seconds s"
else
    echo "==== ornax_ingest not built (libeccodes-dev, libgdal-dev): region from real formats skipped"
    failed=1
fi
# ==== end of region from real formats ================================================

exit $failed
