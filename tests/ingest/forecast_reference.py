#!/usr/bin/python3
"""Independent values of the forcing rasters at a few common-grid cells, computed with
the ECMWF library's Python module from one GRIB2 file of a step.

Usage: forecast_reference.py FILE LAT,LON [LAT,LON ...]
Prints one JSON object per point: t2, psfc, cfslst, wind, q2 (from 2 m relative
humidity) and theta at 1400 m and 80 m above the surface."""
import json
import math
import sys

import eccodes

KAPPA = 287.04 / 1004.64


def fields(path):
    eccodes.codes_grib_multi_support_on()
    out = {}
    with open(path, "rb") as f:
        while True:
            h = eccodes.codes_grib_new_from_file(f)
            if h is None:
                break
            key = (eccodes.codes_get(h, "shortName"), eccodes.codes_get(h, "typeOfLevel"),
                   eccodes.codes_get(h, "level"))
            grid = {k: eccodes.codes_get(h, k) for k in (
                "Ni", "Nj", "latitudeOfFirstGridPointInDegrees",
                "longitudeOfFirstGridPointInDegrees", "iDirectionIncrementInDegrees",
                "jDirectionIncrementInDegrees")}
            out.setdefault(key, (grid, eccodes.codes_get_values(h)))
            eccodes.codes_release(h)
    return out


def bilinear(field, lat, lon):
    g, v = field
    ni, nj = g["Ni"], g["Nj"]
    x = ((lon - g["longitudeOfFirstGridPointInDegrees"]) % 360.0) / g["iDirectionIncrementInDegrees"]
    y = (g["latitudeOfFirstGridPointInDegrees"] - lat) / g["jDirectionIncrementInDegrees"]
    i0, j0 = int(math.floor(x)), int(math.floor(y))
    fx, fy = x - i0, y - j0
    i1 = (i0 + 1) % ni
    at = lambda i, j: v[j * ni + i]
    return ((1 - fx) * (1 - fy) * at(i0, j0) + fx * (1 - fy) * at(i1, j0) +
            (1 - fx) * fy * at(i0, j0 + 1) + fx * fy * at(i1, j0 + 1))


def theta_at(f, lat, lon, heights):
    zs = bilinear(f[("orog", "surface", 0)], lat, lon)
    sp = bilinear(f[("sp", "surface", 0)], lat, lon)
    t2 = bilinear(f[("2t", "heightAboveGround", 2)], lat, lon)
    pts = [(2.0, t2 * (1e5 / sp) ** KAPPA)]
    levels = sorted({k[2] for k in f if k[1] == "isobaricInhPa" and k[0] == "t"}, reverse=True)
    for lev in levels:
        p = lev * 100.0
        if p >= sp:
            continue
        h = bilinear(f[("gh", "isobaricInhPa", lev)], lat, lon) - zs
        if h > 2.0:
            pts.append((h, bilinear(f[("t", "isobaricInhPa", lev)], lat, lon) * (1e5 / p) ** KAPPA))
    out = []
    for z in heights:
        for (z0, t0), (z1, t1) in zip(pts, pts[1:]):
            if z0 <= z <= z1:
                out.append(t0 + (z - z0) / (z1 - z0) * (t1 - t0))
                break
    return out


def main():
    f = fields(sys.argv[1])
    for point in sys.argv[2:]:
        lat, lon = (float(x) for x in point.split(","))
        t2 = bilinear(f[("2t", "heightAboveGround", 2)], lat, lon)
        sp = bilinear(f[("sp", "surface", 0)], lat, lon)
        rh = bilinear(f[("2r", "heightAboveGround", 2)], lat, lon)
        e = rh / 100.0 * 611.2 * math.exp(17.67 * (t2 - 273.15) / (t2 - 29.65))
        u = bilinear(f[("10u", "heightAboveGround", 10)], lat, lon)
        v = bilinear(f[("10v", "heightAboveGround", 10)], lat, lon)
        th = theta_at(f, lat, lon, [1400.0, 80.0])
        print(json.dumps({"t2": t2, "psfc": sp, "cfslst": bilinear(f[("t", "surface", 0)], lat, lon),
                          "wind": math.hypot(u, v), "q2": 0.622 * e / (sp - 0.378 * e),
                          "theta1400": th[0], "theta80": th[1]}))


main()
