#!/usr/bin/env bash
# Writes forecast GRIB2 files of the steps of one reference time from a real forecast
# file with the ECMWF library's own tools: the instant fields re-stamped to each step, the
# fluxes as averages over GFS-style windows (0-3, 0-6, 6-9, 6-12, ... h) holding known
# three-hour means m(s) = 100 + 10 s / 3 W m-2 (dswrf; dlwrf + 200, lhtfl - 50).
# Usage: make_forecast_day.sh SOURCE.grib2 OUTDIR YYYYMMDD FIRST_STEP LAST_STEP
set -eu
src=$1 out=$2 date=$3 first=$4 last=$5
mkdir -p "$out"
grib_copy -w shortName=t/gh/orog/sp/2t/2r/10u/10v/lsm,stepType=instant "$src" "$out/instant.grib2"
grib_copy -w shortName=dlwrf/dswrf/lhtfl "$src" "$out/avg.grib2"
mean() { echo $((100 + 10 * $1 / 3)); }
for ((s = first; s <= last; s += 3)); do
    f="$out/gfs.t00z.f$(printf %03d "$s").grib2"
    grib_set -s dataDate="$date",dataTime=0,stepRange="$s" "$out/instant.grib2" "$f"
    [ "$s" -eq 0 ] && continue
    if [ $((s % 6)) -eq 3 ]; then a=$((s - 3)); v=$(mean "$s"); else
        a=$((s - 6)); v=$((($(mean $((s - 3))) + $(mean "$s")) / 2)); fi
    for spec in dswrf:0 dlwrf:200 lhtfl:-50; do
        name=${spec%%:*} add=${spec#*:}
        grib_set -w shortName="$name" -s dataDate="$date",dataTime=0,stepRange="$a-$s" \
            -d $((v + add)) "$out/avg.grib2" "$out/part.grib2"
        grib_copy -w shortName="$name" "$out/part.grib2" "$out/one.grib2"
        cat "$out/one.grib2" >> "$f"
    done
done
rm -f "$out/instant.grib2" "$out/avg.grib2" "$out/part.grib2" "$out/one.grib2"
