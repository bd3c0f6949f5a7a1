#!/usr/bin/env python3
"""Writes the bundled example data of site mode: the 20-class land-cover table and three
warm-season site files (cropland, grassland, deciduous forest).

The hourly day is a clear summer day: insolation from the sun's elevation, air
temperature and long-wave from a smooth diurnal cycle; the sounding is a morning
profile with a shallow nocturnal inversion under a layer whose potential temperature
rises a few K per km.  Run from this directory: python3 make_examples.py
"""
import math

# --------------------------------------------------------------------------------------
# Land-cover class table: i3, 10f8.2, 2i8, f8.2, name.  Absorptivities of live and dead
# leaves in the visible, near-infrared and thermal; soil resistance; canopy height range
# (m); leaf size (m); class of the second classification; perennial flag; fcmin.
CLASSES = [
    # aleaf v/n/l        adead v/n/l       rsoil hmin  hmax  xl    modis per fcmin name
    ((0.83, 0.35, 0.95), (0.50, 0.30, 0.95), 0.00, 0.00, 0.00, 0.05, 17, 0, 0.00, "Open water"),
    ((0.90, 0.22, 0.97), (0.70, 0.33, 0.95), 0.80, 8.00, 18.00, 0.03, 1, 1, 0.10, "Evergreen needleleaf forest"),
    ((0.91, 0.21, 0.98), (0.68, 0.34, 0.95), 0.80, 15.00, 30.00, 0.15, 2, 1, 0.15, "Evergreen broadleaf forest"),
    ((0.88, 0.25, 0.97), (0.66, 0.35, 0.95), 0.80, 6.00, 16.00, 0.03, 3, 0, 0.05, "Deciduous needleleaf forest"),
    ((0.87, 0.26, 0.97), (0.62, 0.36, 0.95), 0.80, 10.00, 24.00, 0.10, 4, 0, 0.05, "Deciduous broadleaf forest"),
    ((0.88, 0.24, 0.97), (0.65, 0.35, 0.95), 0.80, 8.00, 20.00, 0.07, 5, 0, 0.05, "Mixed forest"),
    ((0.86, 0.29, 0.96), (0.60, 0.37, 0.95), 1.00, 0.80, 2.50, 0.04, 6, 1, 0.05, "Closed shrubland"),
    ((0.85, 0.32, 0.96), (0.58, 0.38, 0.95), 1.20, 0.30, 1.50, 0.03, 7, 0, 0.02, "Open shrubland"),
    ((0.86, 0.28, 0.96), (0.60, 0.36, 0.95), 1.00, 2.00, 10.00, 0.06, 8, 0, 0.05, "Woody savanna"),
    ((0.85, 0.30, 0.96), (0.58, 0.37, 0.95), 1.00, 0.80, 5.00, 0.04, 9, 0, 0.02, "Savanna"),
    ((0.83, 0.35, 0.95), (0.55, 0.38, 0.95), 1.00, 0.10, 0.80, 0.02, 10, 0, 0.00, "Grassland"),
    ((0.85, 0.30, 0.97), (0.60, 0.35, 0.95), 0.50, 0.30, 2.00, 0.05, 11, 0, 0.05, "Permanent wetland"),
    ((0.85, 0.30, 0.96), (0.58, 0.36, 0.95), 1.00, 0.20, 2.00, 0.06, 12, 0, 0.00, "Cropland"),
    ((0.84, 0.33, 0.95), (0.55, 0.38, 0.95), 2.00, 1.00, 8.00, 0.05, 13, 0, 0.10, "Urban and built-up"),
    ((0.86, 0.29, 0.96), (0.60, 0.36, 0.95), 1.00, 0.30, 3.00, 0.06, 14, 0, 0.02, "Cropland and natural vegetation mosaic"),
    ((0.83, 0.40, 0.95), (0.52, 0.40, 0.95), 2.00, 0.00, 0.10, 0.01, 16, 0, 0.00, "Bare soil and rock"),
    ((0.84, 0.35, 0.95), (0.55, 0.38, 0.95), 1.50, 0.05, 0.40, 0.02, 18, 0, 0.00, "Tundra"),
    ((0.86, 0.28, 0.96), (0.60, 0.36, 0.95), 0.80, 0.20, 1.80, 0.06, 12, 0, 0.00, "Irrigated cropland"),
    ((0.84, 0.33, 0.95), (0.56, 0.37, 0.95), 1.00, 0.10, 0.60, 0.02, 10, 0, 0.02, "Pasture and hay"),
    ((0.83, 0.35, 0.95), (0.50, 0.30, 0.95), 3.00, 0.00, 0.05, 0.01, 15, 0, 0.00, "Permanent snow and ice"),
]


def write_table(path):
    lines = ["Number of land classes:%4d" % len(CLASSES),
             "  #   aleafv  aleafn  aleafl  adeadv  adeadn  adeadl   rsoil    hmin    hmax      xl"
             "   modis   perfl   fcmin name"]
    for i, (live, dead, rsoil, hmin, hmax, xl, modis, per, fcmin, name) in enumerate(CLASSES, 1):
        reals = live + dead + (rsoil, hmin, hmax, xl)
        lines.append("%3d" % i + "".join("%8.2f" % v for v in reals) + "%8d%8d" % (modis, per)
                     + "%8.2f" % fcmin + " " + name)
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


# --------------------------------------------------------------------------------------
# Site files in the fixed-column layout of the reader.
def a(text, width):
    return text.rjust(width)[:width] if len(text) < width else text[:width]


def f(value, width, decimals):
    text = "%.*f" % (decimals, value)
    if len(text) > width and text.startswith("0."):
        text = text[1:]
    return "*" * width if len(text) > width else text.rjust(width)


def e(value, width, decimals):
    exponent = math.floor(math.log10(abs(value))) + 1
    mantissa = abs(value) / 10 ** exponent
    if round(mantissa, decimals) >= 1.0:
        mantissa /= 10
        exponent += 1
    text = ("%.*f" % (decimals, mantissa)) + "E%+03d" % exponent
    if len(text) > width:
        text = text[1:]
    return text.rjust(width)


def row(label, values, kind="f"):
    fields = "".join(("%10d" % v) if kind == "i" else f(v, 10, 3) for v in values)
    return " " + a(label, 30) + fields


def solar_elevation_sin(lat, lon, doy, hour):
    """sine of the sun's elevation at local standard time `hour`."""
    zone = round(lon / 15.0)
    gamma = 2 * math.pi * (doy - 1) / 365.0
    decl = (0.006918 - 0.399912 * math.cos(gamma) + 0.070257 * math.sin(gamma)
            - 0.006758 * math.cos(2 * gamma) + 0.000907 * math.sin(2 * gamma))
    eqt = 229.18 * (0.000075 + 0.001868 * math.cos(gamma) - 0.032077 * math.sin(gamma)
                    - 0.014615 * math.cos(2 * gamma) - 0.040849 * math.sin(2 * gamma))
    solar_hour = hour + (4.0 * (lon - 15.0 * zone) + eqt) / 60.0
    omega = math.radians(15.0 * (solar_hour - 12.0))
    phi = math.radians(lat)
    return math.sin(phi) * math.sin(decl) + math.cos(phi) * math.cos(decl) * math.cos(omega)


def clear_sky_sdn(site, hour):
    mu = solar_elevation_sin(site["lat"], site["lon"], site["doy"], hour)
    # clear-sky insolation at the surface with a transmissivity that falls at low sun (W m-2)
    return 0.0 if mu <= 0.0 else 1361.0 * mu * 0.76 ** (1.0 / max(mu, 0.05) ** 0.678)


def air_temperature(site, hour):
    """diurnal cycle: minimum near sunrise, maximum mid-afternoon (deg C)."""
    tmin, tmax = site["tmin"], site["tmax"]
    return tmin + (tmax - tmin) * 0.5 * (1.0 - math.cos(2 * math.pi * ((hour - 5.0) % 24.0) / 20.0)) \
        if (hour - 5.0) % 24.0 < 10.0 else \
        tmin + (tmax - tmin) * (0.5 + 0.5 * math.cos(math.pi * ((hour - 15.0) % 24.0) / 14.0))


def longwave_down(site, ta):
    return site["emis_air"] * 5.670374e-8 * (ta + 273.15) ** 4


def sounding(site):
    """potential temperature (K) at heights above ground (m): a shallow nocturnal
    inversion under a layer warming `lapse` K per km with height."""
    heights = [10, 25, 50, 80, 120, 170, 230, 300, 400, 520, 660, 820, 1000, 1250, 1500,
               1800, 2150, 2550, 3000, 3500, 4000, 4600, 5300]
    # the lowest level holds the potential temperature of the night's minimum air temperature
    base = (site["tmin"] + 273.15) * (1000.0 / site["pres"]) ** 0.2857
    return [(z, base + site["inversion"] * (1.0 - math.exp(-z / 90.0)) + site["lapse"] * z / 1000.0)
            for z in heights]


def write_site(path, site):
    cls = CLASSES[site["landcover"] - 1]
    live, dead, rsoil, hmin, hmax, xl, modis, per, fcmin, _ = cls
    t1, t2 = site["tloc"]
    lines = [" " + "-" * 42,
             row("Land cover type:", [site["landcover"]], "i"),
             row("MODIS, WATER, Perennial :", [modis, 1 if site["landcover"] == 1 else 0, per], "i"),
             row("Live leaf reflectances  :", live),
             row("Dead leaf reflectances  :", dead),
             row("Adjusted leaf size :", [xl]),
             row("Canopy Height min max   :", [hmin, hmax]),
             row("Soil resisance and fcmin :", [rsoil, fcmin]),
             " " + "-" * 42,
             row("ORNAX run at :", [site["lon"], site["lat"]]),
             row(" on :", [site["year"], site["doy"]], "i"),
             row("Vegetation  lai  NDVI :", [site["lai"], site["ndvi"]]),
             row("GOES view angel :", [site["theta"]]),
             row("Local Time 1 and 2 :", [t1, t2]),
             row("GOES observed temp(C) :", site["trad"]),
             row("GSIP observed sdn(k) :", [clear_sky_sdn(site, t) for t in (t1, t2)]),
             row("Long wave down(W) :", [longwave_down(site, air_temperature(site, t)) for t in (t1, t2)]),
             row("Wind speed (m s-1) :", site["wind"]),
             row("Air temperature(C) :", [air_temperature(site, t) for t in (t1, t2)]),
             row("Surface pressure(mbar) :", [site["pres"], site["pres"] - 0.4]),
             " " + a("Specific humidity(%) :", 30) + e(site["ea"], 10, 5) + e(site["ea"] + 0.3, 10, 5)]
    levels = sounding(site)
    lines.append(row("Number of PBL layers:", [len(levels)], "i"))
    lines.append(" " + a("Index", 5) + a("PBL surface height(m)", 25) + a("PBL potential temperature(K) :", 30))
    for k, (z, th) in enumerate(levels, 1):
        lines.append(" %3d" % k + f(z, 20, 4) + f(th, 20, 4))
    lines.append(" " + a("Hour", 4) + "".join(a(h, 12) for h in (
        "SDN(K)", "Air Temp(C)", "SPFH(%)", "Pres(mbar)", "Wind(m s-1)", "Long wave(W)")))
    for hour in range(24):
        ta = air_temperature(site, hour)
        ea = site["ea"] + 0.6 * math.sin(2 * math.pi * (hour - 9.0) / 24.0)
        pres = site["pres"] + 0.6 * math.cos(2 * math.pi * (hour - 10.0) / 12.0)
        wind = site["wind"][0] - 1.0 + 2.0 * max(0.0, math.sin(math.pi * (hour - 6.0) / 14.0))
        values = [clear_sky_sdn(site, hour), ta, ea, pres, wind, longwave_down(site, ta)]
        lines.append(" " + f(float(hour), 4, 1) + "".join(f(v, 12, 4) for v in values))
    with open(path, "w") as out:
        out.write("\n".join(lines) + "\n")


SITES = {
    # rain-fed maize and soybean in the southern Great Plains, mid-July
    "cropland_site.dat": dict(landcover=13, lat=36.605, lon=-97.488, year=2021, doy=196, lai=3.2, ndvi=0.78,
                              theta=44.6, tloc=(8.0, 11.0), trad=(22.4, 30.0), wind=(3.4, 4.6), pres=972.8,
                              ea=21.5, tmin=20.5, tmax=32.0, emis_air=0.86, inversion=2.5,
                              lapse=3.5),
    # short-grass steppe on the high plains (about 1650 m), drier air, late June
    "grassland_site.dat": dict(landcover=11, lat=40.815, lon=-104.745, year=2021, doy=177, lai=1.1, ndvi=0.41,
                               theta=50.2, tloc=(7.5, 10.5), trad=(18.0, 30.0), wind=(3.0, 4.2), pres=838.5,
                               ea=9.5, tmin=13.0, tmax=30.0, emis_air=0.76, inversion=3.0,
                               lapse=4.0),
    # deciduous broadleaf forest in New England in full leaf, late July
    "forest_site.dat": dict(landcover=5, lat=42.538, lon=-72.172, year=2021, doy=205, lai=5.0, ndvi=0.88,
                            theta=49.5, tloc=(7.5, 10.5), trad=(18.9, 24.5), wind=(2.4, 3.1), pres=970.4,
                            ea=18.0, tmin=16.5, tmax=28.0, emis_air=0.87, inversion=2.0,
                            lapse=3.0),
}

if __name__ == "__main__":
    write_table("landcover.txt")
    for name, site in SITES.items():
        write_site(name, site)
