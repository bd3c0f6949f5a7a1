"""The outputs of a finished region run as an xarray Dataset: every raster the run record
lists and the quality raster, on lat/lon coordinates, with the program's own units, names
and flag meanings."""
import json
import os
import re
import warnings

import numpy as np

from . import _ornax

_RECORD = "run_info.json"
_DAY_FOLDER = re.compile(r"^\d{7}$")  # YYYYDDD
_QUALITY = "region_qc"
_QUALITY_FILL = 254  # never a flag (flags are 0 or odd), as in the NetCDF export


def _xarray():
    try:
        import xarray
    except ImportError:
        raise ImportError("open_region_outputs needs xarray (Debian: apt-get install python3-xarray)") from None
    return xarray


def _read_record(folder):
    path = os.path.join(folder, _RECORD)
    try:
        with open(path, encoding="utf-8") as f:
            info = json.load(f)
    except FileNotFoundError:
        raise FileNotFoundError(f"{path}: no run record (not the output folder of a finished region run)") from None
    except (ValueError, UnicodeDecodeError) as e:
        raise ValueError(f"{path}: not a readable run record ({e})") from None
    try:
        g = info["run_grid"]
        grid = {k: float(g[k]) for k in ("west_lon", "south_lat", "dlon", "dlat", "missing_value")}
        grid.update(ncols=int(g["ncols"]), nrows=int(g["nrows"]), first_line=g.get("first_line", "south"))
        names = [v["name"] for v in info["outputs"]["variables"]]
        year, doy = int(info["year"]), int(info["day_of_year"])
    except (KeyError, TypeError, ValueError) as e:
        raise ValueError(f"{path}: run record without its grid, day or outputs ({type(e).__name__}: {e})") from None
    if grid["ncols"] < 1 or grid["nrows"] < 1 or grid["dlon"] <= 0 or grid["dlat"] <= 0:
        raise ValueError(f"{path}: run_grid of {grid['ncols']} x {grid['nrows']} cells of "
                         f"{grid['dlon']} x {grid['dlat']} deg is no grid")
    if grid["first_line"] != "south":
        raise ValueError(f"{path}: run_grid first_line = {grid['first_line']!r}; 'south' expected")
    quality = info["outputs"].get("quality_raster", _QUALITY + ".bin")
    return info, grid, names, quality, year, doy


def _read_raster(path, grid):
    expected = 4 * grid["ncols"] * grid["nrows"]
    try:
        size = os.path.getsize(path)
    except OSError:
        raise FileNotFoundError(f"{path}: raster missing") from None
    if size != expected:
        raise ValueError(f"{path}: {size} bytes; the run grid of {grid['ncols']} x {grid['nrows']} "
                         f"4-byte values needs {expected}")
    # line 1 (south) first: row r lies at south_lat + (r + 0.5) dlat
    return np.fromfile(path, dtype="<f4").astype(np.float32).reshape(grid["nrows"], grid["ncols"])


def _quality_values(values):
    ok = np.isfinite(values) & (values >= 0) & (values <= 255) & (values == np.round(values))
    flags = np.full(values.shape, _QUALITY_FILL, dtype=np.uint8)
    flags[ok] = values[ok].astype(np.uint8)
    return flags


def _run_attrs(info):
    """The run record's description of the run as netCDF-safe attributes."""
    program = info.get("program", {})
    attrs = {
        "Conventions": "CF-1.8",
        "title": f"ornax region run, daily evapotranspiration and energy balance, {info.get('date', '')}",
        "source": f"ornax {program.get('version', '')} (commit {program.get('source_commit', '')})",
        "program": program.get("name", ""),
        "history": f"{info.get('finished_utc', '')}: {' '.join(info.get('command_line', []))}",
        "mode": info.get("mode", ""),
        "region_model_switch": int(info.get("region_model_switch", 0)),
        "soil_resistance_correction": int(bool(info.get("soil_resistance_correction", False))),
        "date": info.get("date", ""),
        "year": int(info["year"]),
        "day_of_year": int(info["day_of_year"]),
        "threads": int(info.get("threads", 0)),
        "exit_status": int(info.get("exit_status", 3)),
        "finished_utc": info.get("finished_utc", ""),
        "configuration": info.get("configuration", {}).get("path", ""),
        "crs": info["run_grid"].get("crs", "EPSG:4326"),
        "pixels_total": int(info.get("pixels", {}).get("total", 0)),
        "pixels_computed": int(info.get("pixels", {}).get("computed", 0)),
        "lines_failed": int(info.get("lines", {}).get("failed", 0)),
    }
    return attrs


def _open_day(folder, variables):
    xr = _xarray()
    info, grid, names, quality, year, doy = _read_record(folder)
    record = os.path.join(folder, _RECORD)
    if variables is not None:
        absent = [v for v in variables if v not in names]
        if absent:
            raise KeyError(f"{record}: the run wrote no {', '.join(absent)} (it wrote {', '.join(names)})")
        names = list(variables)
    if int(info.get("exit_status", 3)) != 0:
        warnings.warn(f"{record}: exit_status {info.get('exit_status')}: the run did not finish cleanly", stacklevel=3)
    table = {v["name"]: v for v in _ornax.output_variables()}
    stats = {v["name"]: v for v in info["outputs"]["variables"]}
    lat = grid["south_lat"] + (np.arange(grid["nrows"]) + 0.5) * grid["dlat"]
    lon = grid["west_lon"] + (np.arange(grid["ncols"]) + 0.5) * grid["dlon"]
    missing = np.float32(grid["missing_value"])
    data = {}
    for name in names:
        values = _read_raster(os.path.join(folder, stats[name].get("file", name + ".bin")), grid)
        values[values == missing] = np.nan
        var = table.get(name)
        attrs = {"long_name": var["description"] if var else stats[name].get("description", name),
                 "units": (var["cf_units"] or "1") if var else stats[name].get("units", "1"),
                 "ornax_units": var["units"] if var else stats[name].get("units", ""),
                 "computed_pixels": int(stats[name].get("computed_pixels") or 0),
                 "grid_mapping": "crs"}
        if var and var["standard_name"]:
            attrs["standard_name"] = var["standard_name"]
        data[name] = (("lat", "lon"), values, attrs)
    flags = _ornax.quality_flags()
    data[_QUALITY] = (("lat", "lon"), _quality_values(_read_raster(os.path.join(folder, quality), grid)),
                      {"long_name": "quality flag",
                       "flag_values": np.array([f[0] for f in flags], dtype=np.uint8),
                       "flag_meanings": " ".join(f[1] for f in flags),
                       "grid_mapping": "crs"})
    coords = {
        "lat": ("lat", lat, {"standard_name": "latitude", "long_name": "latitude",
                             "units": "degrees_north", "axis": "Y"}),
        "lon": ("lon", lon, {"standard_name": "longitude", "long_name": "longitude",
                             "units": "degrees_east", "axis": "X"}),
        "crs": ((), np.int32(0), {"grid_mapping_name": "latitude_longitude", "semi_major_axis": 6378137.0,
                                  "inverse_flattening": 298.257223563,
                                  "crs_wkt": info["run_grid"].get("crs", "EPSG:4326")}),
        "time": ((), np.datetime64(f"{year:04d}-01-01") + np.timedelta64(doy - 1, "D"),
                 {"standard_name": "time"}),
    }
    ds = xr.Dataset(data, coords=coords, attrs=_run_attrs(info))
    ds[_QUALITY].encoding["_FillValue"] = np.uint8(_QUALITY_FILL)
    for name in names:
        ds[name].encoding["_FillValue"] = missing
    return ds


def _day_folders(folder):
    dated = sorted(d for d in os.listdir(folder) if _DAY_FOLDER.match(d) and os.path.isdir(os.path.join(folder, d)))
    days = [os.path.join(folder, d) for d in dated if os.path.isfile(os.path.join(folder, d, _RECORD))]
    if days:
        for d in dated:
            if not os.path.isfile(os.path.join(folder, d, _RECORD)):
                warnings.warn(f"{os.path.join(folder, d, _RECORD)}: no run record; the day is left out "
                              "(not finished, or failed)", stacklevel=3)
    return days


def open_region_outputs(folder, variables=None):
    """The outputs of a region run as an xarray.Dataset.

    FOLDER is a run's output folder (its run_info.json, the rasters NAME.bin and
    region_qc.bin) or a folder of dated day folders YYYYDDD from a range of days, which
    gives a `time` dimension. Values are on lat (south to north) and lon cell centres;
    the missing value becomes NaN; units, long and standard names come from the output
    variable table, region_qc's flag_values/flag_meanings from the quality flags (254
    where the raster holds no flag), and the attributes from the run record.
    VARIABLES picks some of the listed outputs (the quality raster always comes).
    """
    xr = _xarray()
    folder = os.fspath(folder)
    if isinstance(variables, str):
        variables = [variables]
    if not os.path.isdir(folder):
        raise FileNotFoundError(f"{folder}: no such folder")
    if os.path.isfile(os.path.join(folder, _RECORD)):
        return _open_day(folder, variables)
    days = _day_folders(folder)
    if not days:
        raise FileNotFoundError(f"{os.path.join(folder, _RECORD)}: no run record, and no dated day "
                                "folder YYYYDDD with one")
    opened = [_open_day(d, variables) for d in days]
    first = opened[0]
    for d, ds in zip(days[1:], opened[1:]):
        if set(ds.data_vars) != set(first.data_vars):
            raise ValueError(f"{os.path.join(d, _RECORD)}: outputs {sorted(ds.data_vars)} differ from "
                             f"{sorted(first.data_vars)} of {days[0]}")
        if not (np.array_equal(ds.lat, first.lat) and np.array_equal(ds.lon, first.lon)):
            raise ValueError(f"{os.path.join(d, _RECORD)}: run grid differs from that of {days[0]}")
    per_day = ("date", "year", "day_of_year", "finished_utc", "history", "title", "exit_status",
               "pixels_computed", "lines_failed")
    merged = xr.concat(opened, dim="time", combine_attrs="override")
    merged = merged.assign_coords(
        day_of_year=("time", np.array([ds.attrs["day_of_year"] for ds in opened], dtype=np.int32)),
        exit_status=("time", np.array([ds.attrs["exit_status"] for ds in opened], dtype=np.int32)))
    attrs = {k: v for k, v in first.attrs.items() if k not in per_day and all(ds.attrs.get(k) == v for ds in opened)}
    attrs["title"] = (f"ornax region run, daily evapotranspiration and energy balance, "
                      f"{first.attrs['date']} to {opened[-1].attrs['date']}")
    attrs["history"] = "\n".join(ds.attrs["history"] for ds in opened)
    merged.attrs = attrs
    for name in merged.data_vars:
        merged[name].attrs = dict(first[name].attrs)
        merged[name].attrs.pop("computed_pixels", None)
        merged[name].encoding = dict(first[name].encoding)
    return merged
