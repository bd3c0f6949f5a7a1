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

exit $failed
