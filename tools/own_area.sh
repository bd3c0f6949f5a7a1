#!/usr/bin/env bash
# The README's walk-through "Your own area", step by step, on the example sources:
#   tools/own_area.sh BUILD_DIR [WORK_DIR]
# makes the sources (build/ornax_make_region_sources), writes a recipe for an area inside
# them, checks it (--check), converts it, runs the region mode, runs the day as a range
# into its dated folder, composites it, draws an ET map and opens the outputs with xarray.
# Exit 0 when every step succeeds; the first failing step is named.
set -eu
bin=$(realpath "$1")
if [ $# -ge 2 ]; then
    work=$2
else
    work=$(mktemp -d /tmp/ornax_own_area_XXXXXX)
    trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work" && cd "$work"
step() { echo "== $*"; }
fail() { echo "own_area: step failed: $*" >&2; exit 1; }

step "1. sources of the example area (in place of your downloads)"
[ -d sources ] || "$bin/ornax_make_region_sources" -o sources > /dev/null || fail "sources"

rm -rf my_area
step "2. the recipe: bounds of the area, the day and the downloaded files"
cat > recipe.txt <<'RECIPE'
out              = my_area
year             = 2019
doy              = 200
west             = -99.00
east             = -97.00
south            = 35.00
north            = 36.50
spacing          = 0.05
forecast         = sources/forecast/gfs.t*.grib2
lst              = sources/lst/OR_ABI-L2-LSTC-*.nc
class_table      = sources/landcover_classes.txt
landcover        = sources/landcover.tif
landcover_missing_codes = 255
lai              = sources/lai_8day.tif
lai_missing_codes = 255
lai_window       = 0
snow             = sources/snow.tif
snow_missing_codes = 255
rsoilv           = 0.24
rsoiln           = 0.38
rs_correction    = sources/rs_correction.tif
RECIPE

step "3. check: every problem at once, nothing written"
"$bin/ornax_ingest" --log check.log region --check recipe.txt > inventory.txt || fail "--check"
[ ! -e my_area ] || fail "--check wrote my_area"

step "4. convert"
"$bin/ornax_ingest" --log convert.log region --replace recipe.txt || fail "convert"

step "5. run the day"
(cd my_area && HOME_DIR= "$bin/ornax.x" -r0 config/region.cfg 2019 200 > run.txt) || fail "run"
[ -s my_area/output/EDAY.bin ] || fail "no EDAY.bin"

step "6. the day as a range, into its dated folder"
(cd my_area && HOME_DIR= "$bin/ornax.x" --dated -r0 config/region.cfg 2019 200 > range.txt) ||
    fail "range"
[ -s my_area/output/2019200/EDAY.bin ] || fail "no dated EDAY.bin"

step "7. a composite of the days"
"$bin/ornax_composite" -o my_area/composite -w 1 my_area/output > composite.txt ||
    fail "composite"
[ -s my_area/composite/ornax_composite.nc ] || fail "no composite"

step "8. a map of ET and the outputs in xarray"
"$bin/ornax_to_netcdf" my_area/output > /dev/null || fail "NetCDF export"
"${PYTHON:-/usr/bin/python3}" - <<'PY' || fail "map or xarray"
import json
import numpy as np
import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt
import xarray as xr

g = json.load(open("my_area/output/run_info.json"))["run_grid"]
a = np.fromfile("my_area/output/EDAY.bin", dtype="<f4").reshape(g["nrows"], g["ncols"])
a = np.ma.masked_equal(a, g["missing_value"])
extent = [g["west_lon"], g["east_lon"], g["south_lat"], g["north_lat"]]
plt.imshow(a, origin="lower", extent=extent)            # row 0 is the southern line: a map
plt.colorbar(label="ET (MJ m-2 day-1)")
plt.savefig("my_area/eday_map.png")
ds = xr.open_dataset("my_area/output/ornax_outputs.nc")
eday = ds.EDAY.isel(time=0)
print("EDAY mean", float(eday.mean()), eday.attrs.get("units", ""))
assert np.isfinite(float(eday.mean()))
PY
echo "own_area: every step done in $work"
