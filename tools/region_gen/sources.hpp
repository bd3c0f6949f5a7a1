// Example region generator: the sources a user has, in their own formats, made from the
// generator's fields: forecast-model GRIB2 files of the day and the next (the ECMWF
// library), geostationary surface-temperature scans (NetCDF-4 in the ABI level-2 layout)
// and GeoTIFF rasters of leaf area, land cover, snow and the soil-resistance correction
// (GDAL), with the land-cover class table. `ornax_ingest region` turns them into a region.
#pragma once

#include <cpl_string.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ingest/forecast/grib_writer.hpp"
#include "ingest/raster/grid_warp.hpp"
#include "region_gen/files.hpp"
#include "ingest/satellite/abi_writer.hpp"

// Pressure levels of the forecast files (hPa), highest pressure first.
inline const double source_levels_hpa[] = {1000, 975, 950, 925, 900, 850, 800, 700,
                                           600,  500, 400, 300, 250, 200, 150, 100};

// Temperature (K) and height above the surface (m) of a pressure level in an atmosphere
// of 6.5 K/km from the 2 m temperature t2 at the surface pressure ps, isothermal above
// 11 km.
inline void standard_level(double p, double ps, double t2, double& t, double& z) {
    const double lapse = 0.0065, r = 287.04, g = 9.80665, top = 11000.0;
    const double t_top = t2 - lapse * top;
    const double p_top = ps * std::pow(t_top / t2, g / (r * lapse));
    if (p >= p_top) {
        z = t2 / lapse * (1.0 - std::pow(p / ps, r * lapse / g));
        t = t2 - lapse * z;
    } else {
        z = top + r * t_top / g * std::log(p_top / p);
        t = t_top;
    }
}

using WeatherAt = std::function<Weather(double lon, double lat, double utc)>;

// GRIB2 files "gfs.tYYYYMMDD00z.fSSS.grib2" of the steps first..last (3-hourly) from
// 00 UTC of the run's day: instant fields and three-hour averages ending at each step.
inline void write_forecast_gribs(const std::filesystem::path& dir, const GribLatLonGrid& grid,
                                 int year, int doy, int first_step, int last_step,
                                 const WeatherAt& weather,
                                 const std::function<bool(double, double)>& water, int bits,
                                 std::vector<std::string>& files, std::string& error, int& status) {
    status = 0;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mday = doy;
    timegm(&tm);
    const long date = (tm.tm_year + 1900) * 10000L + (tm.tm_mon + 1) * 100L + tm.tm_mday;
    const std::size_t n = static_cast<std::size_t>(grid.ni * grid.nj);
    std::vector<double> orog(n), lsm(n);
    for (long j = 0; j < grid.nj; ++j)
        for (long i = 0; i < grid.ni; ++i) {
            const std::size_t k = static_cast<std::size_t>(j * grid.ni + i);
            const Weather w = weather(grid.lon(i), grid.lat(j), 0.0);
            orog[k] = 8430.0 * std::log(101325.0 / (w.psfc + 60.0));
            lsm[k] = water(grid.lon(i), grid.lat(j)) ? 0.0 : 1.0;
        }
    const int nlev = static_cast<int>(sizeof source_levels_hpa / sizeof source_levels_hpa[0]);
    // sp, 2t, 2sh, 10u, 10v, skin t, dlwrf, dswrf, lhtfl, then t and gh of every level
    const char* names[9] = {"sp", "2t", "2sh", "10u", "10v", "skin t", "dlwrf", "dswrf", "lhtfl"};
    std::vector<std::vector<double>> f(9 + 2 * nlev, std::vector<double>(n));
    for (int s = first_step; s <= last_step && status == 0; s += 3) {
        char name[64];
        std::snprintf(name, sizeof name, "gfs.t%08ld00z.f%03d.grib2", date, s);
        const std::string file = (dir / name).string();
        for (long j = 0; j < grid.nj; ++j)
            for (long i = 0; i < grid.ni; ++i) {
                const std::size_t k = static_cast<std::size_t>(j * grid.ni + i);
                const Weather w = weather(grid.lon(i), grid.lat(j), s);
                const double vals[6] = {w.psfc, w.t2, w.q2, 0.6 * w.wind, 0.8 * w.wind, w.cfslst};
                for (int q = 0; q < 6; ++q) f[static_cast<std::size_t>(q)][k] = vals[q];
                double lw = 0, sw = 0, lh = 0;  // trapezoid mean of the three hours before s
                for (int h = 0; h <= 3 && s > 0; ++h) {
                    const double wt = (h == 0 || h == 3) ? 0.5 / 3.0 : 1.0 / 3.0;
                    const Weather a = h == 3 ? w : weather(grid.lon(i), grid.lat(j), s - 3 + h);
                    lw += wt * a.lwdn, sw += wt * a.swdn, lh += wt * a.lhtfl;
                }
                f[6][k] = lw, f[7][k] = sw, f[8][k] = lh;
                for (int l = 0; l < nlev; ++l) {
                    double t = 0, z = 0;
                    standard_level(100.0 * source_levels_hpa[l], w.psfc, w.t2, t, z);
                    f[static_cast<std::size_t>(9 + l)][k] = t;
                    f[static_cast<std::size_t>(9 + nlev + l)][k] = orog[k] + z;
                }
            }
        std::FILE* out = std::fopen(file.c_str(), "wb");
        if (out == nullptr) {
            error = "cannot write " + file;
            status = 3;
            return;
        }
        auto put = [&](const char* var, double p, long a, const std::vector<double>& v) {
            const GribFieldSpec spec{var, p, date, 0, a, s, bits};
            if (status == 0) grib_write_field(out, grid, spec, v, error, status);
        };
        put("orog", 0, s, orog);
        put("lsm", 0, s, lsm);
        for (int q = 0; q < 6; ++q) put(names[q], 0, s, f[static_cast<std::size_t>(q)]);
        for (int q = 6; q < 9 && s > 0; ++q)
            put(names[q], 0, s - 3, f[static_cast<std::size_t>(q)]);
        for (int l = 0; l < nlev; ++l) {
            put("t", 100.0 * source_levels_hpa[l], s, f[static_cast<std::size_t>(9 + l)]);
            put("gh", 100.0 * source_levels_hpa[l], s, f[static_cast<std::size_t>(9 + nlev + l)]);
        }
        if (std::fclose(out) != 0 && status == 0) {
            error = "cannot write " + file;
            status = 3;
        }
        files.push_back(file);
    }
}

// GDAL's errors (CE_Failure and worse) while it exists, kept instead of printed.
class GdalFailures {
public:
    GdalFailures() { CPLPushErrorHandlerEx(keep, &texts_); }
    ~GdalFailures() { CPLPopErrorHandler(); }
    GdalFailures(const GdalFailures&) = delete;
    GdalFailures& operator=(const GdalFailures&) = delete;
    const std::vector<std::string>& texts() const { return texts_; }

private:
    static void keep(CPLErr level, CPLErrorNum, const char* text) {
        auto* texts = static_cast<std::vector<std::string>*>(CPLGetErrorHandlerUserData());
        if (level >= CE_Failure && texts != nullptr) texts->push_back(text);
    }
    std::vector<std::string> texts_;
};

// A north-up GeoTIFF on a latitude/longitude grid (EPSG:4326) of nx x ny pixels from its
// north-west corner; values row by row from the north. Byte or Float32 storage, with a
// no-data value, scale and offset, and metadata items ("KEY=VALUE"). status 3 on failure
// (a coordinate system that cannot be made, as without PROJ's database, or any error GDAL
// reports), with the file removed and error naming it and GDAL's text.
inline void write_geotiff(const std::string& file, double west, double north, double step, int nx,
                          int ny, bool bytes, const std::vector<double>& stored, double nodata,
                          double scale, double offset, const std::vector<std::string>& metadata,
                          std::string& error, int& status) {
    ingest_gdal_init();
    status = 3;
    const GdalFailures failures;
    GDALDriverH driver = GDALGetDriverByName("GTiff");
    char** options = nullptr;
    options = CSLSetNameValue(options, "COMPRESS", "DEFLATE");
    GDALDatasetH ds = driver == nullptr ? nullptr
                                        : GDALCreate(driver, file.c_str(), nx, ny, 1,
                                                     bytes ? GDT_Byte : GDT_Float32, options);
    CSLDestroy(options);
    const auto failed = [&](const std::string& what) {
        error = file + ": " + what;
        for (const std::string& t : failures.texts()) error += "; GDAL: " + t;
    };
    if (ds == nullptr) {
        failed("GDAL cannot create it");
        return;
    }
    const double gt[6] = {west, step, 0.0, north, 0.0, -step};
    GDALSetGeoTransform(ds, const_cast<double*>(gt));
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    char* wkt = nullptr;
    const bool crs = OSRImportFromEPSG(srs, 4326) == OGRERR_NONE &&
                     OSRExportToWkt(srs, &wkt) == OGRERR_NONE &&
                     GDALSetProjection(ds, wkt) == CE_None;
    CPLFree(wkt);
    OSRDestroySpatialReference(srs);
    for (const std::string& m : metadata) {
        const std::size_t eq = m.find('=');
        GDALSetMetadataItem(ds, m.substr(0, eq).c_str(), m.substr(eq + 1).c_str(), nullptr);
    }
    GDALRasterBandH band = GDALGetRasterBand(ds, 1);
    GDALSetRasterNoDataValue(band, nodata);
    if (scale != 1.0 || offset != 0.0) {
        GDALSetRasterScale(band, scale);
        GDALSetRasterOffset(band, offset);
    }
    std::vector<double> v(stored);
    const CPLErr e =
        GDALRasterIO(band, GF_Write, 0, 0, nx, ny, v.data(), nx, ny, GDT_Float64, 0, 0);
    GDALClose(ds);
    if (crs && e == CE_None && failures.texts().empty()) {
        status = 0;
        return;
    }
    failed(crs ? "GDAL could not write it"
               : "no coordinate system EPSG:4326 could be made (is PROJ's database proj.db "
                 "found? PROJ_DATA names its folder)");
    VSIUnlink(file.c_str());
}

// "YYYY-MM-DD" of a day of year.
inline std::string iso_day(int year, int doy) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mday = doy;
    timegm(&tm);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &tm);
    return text;
}

// Surface temperature (K) of a point at a time (hours after 00 UTC of the day): the air
// temperature plus a morning excess that rises from its value at the first observation
// time to that at the second, as the generator's satellite rasters have it.
inline double surface_temperature(const RegionSpec& s, const Landscape& land,
                                  const WeatherModel& weather, double lon, double lat, double utc) {
    const GridBox& g = s.run;
    const int col =
        std::clamp(static_cast<int>((lon - g.west_h / 100.0) / g.step()) + 1, 1, g.ncols);
    const int line =
        std::clamp(static_cast<int>((lat - g.south_h / 100.0) / g.step()) + 1, 1, g.nrows);
    const SunDay sun(s.year, s.doy);
    double t1 = 0, t2 = 0;
    observation_times(sun, lon, lat, t1, t2);
    const int zone = zone_hours(lon);
    const Weather now = weather.at(lon, lat, utc);
    const double fc = 1.0 - std::exp(-0.5 * land.pixel_lai(col, line));
    const double dry = smooth01(s.seed, 30, lon, lat, 0.5);
    double e1 = 0.3 + 1.2 * (1.0 - fc), e2 = 1.5 + (4.0 + 8.0 * dry) * (1.0 - fc) + 2.5 * fc * dry;
    if (land.pixel_class(col, line) == 1) e1 = -1.0, e2 = -0.5;
    const double a = t1 - zone, b = t2 - zone;  // UTC hours of the two observations
    return now.t2 + e1 + (e2 - e1) * (utc - a) / (b - a);
}

// Hourly scans from first_hour to last_hour UTC over the run grid (2 km at nadir, the
// east satellite's fixed grid), "OR_ABI-L2-LSTC-M6_G16_sYYYYDDDhh00000.nc".
inline void write_lst_scans(const std::filesystem::path& dir, const RegionSpec& s,
                            const Landscape& land, const WeatherModel& weather, int first_hour,
                            int last_hour, std::vector<std::string>& files, std::string& error,
                            int& status, double step_rad = 5.6e-5) {
    GeosProjection p;
    p.perspective_point_height = 35786023.0;
    p.semi_major_axis = 6378137.0;
    p.semi_minor_axis = 6356752.31414;
    p.lon_0 = -75.0;
    p.sweep = "x";
    const GridBox& g = s.run;
    AbiLayout layout;
    abi_window(p, g.west_h / 100.0 - 0.1, g.south_h / 100.0 - 0.1, g.east_h() / 100.0 + 0.1,
               g.north_h() / 100.0 + 0.1, step_rad, layout, status);
    if (status != 0) {
        error = "the run grid is not seen from the east satellite";
        return;
    }
    for (int h = first_hour; h <= last_hour && status == 0; ++h) {
        layout.scan_time = day_start_seconds(s.year, s.doy) + 3600.0 * h;
        char name[96];
        std::snprintf(name, sizeof name, "OR_ABI-L2-LSTC-M6_G16_s%04d%03d%02d00000.nc", s.year,
                      s.doy, h);
        const std::string file = (dir / name).string();
        write_abi_file(
            file, layout,
            [&](double lon, double lat) {
                return surface_temperature(s, land, weather, lon, lat, h);
            },
            error, status);
        files.push_back(file);
    }
}

// Leaf area (0.1 m2 m-2 per count, 255 fill, an 8-day period holding the day), land cover
// (the class numbers), snow (0 none, 3 water, 4 snow, of the day) and the soil-resistance
// correction (Float32) as GeoTIFFs at 0.01 deg over the run grid with a margin.
inline void write_land_geotiffs(const std::filesystem::path& dir, const RegionSpec& s,
                                const Landscape& land, std::string& error, int& status,
                                double step = 0.01) {
    const GridBox& g = s.run;
    const double west = g.west_h / 100.0 - 0.05, north = g.north_h() / 100.0 + 0.05;
    const int nx = static_cast<int>(std::lround((g.ncols * g.step() + 0.1) / step));
    const int ny = static_cast<int>(std::lround((g.nrows * g.step() + 0.1) / step));
    const std::size_t n = static_cast<std::size_t>(nx) * ny;
    std::vector<double> lai(n), cover(n), snow(n), rs(n);
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            const std::size_t k = static_cast<std::size_t>(j) * nx + i;
            const double lon = west + (i + 0.5) * step, lat = north - (j + 0.5) * step;
            const int col =
                std::clamp(static_cast<int>((lon - g.west_h / 100.0) / g.step()) + 1, 1, g.ncols);
            const int line =
                std::clamp(static_cast<int>((lat - g.south_h / 100.0) / g.step()) + 1, 1, g.nrows);
            const int cls = land.pixel_class(col, line);
            lai[k] = std::round(land.pixel_lai(col, line) * 10.0);
            cover[k] = cls;
            snow[k] = land.special(col, line) == Special::snow ? 4.0 : cls == 1 ? 3.0 : 0.0;
            rs[k] = 0.3 + 0.9 * smooth01(s.seed, 28, lon, lat, 0.4);
        }
    // the 8-day period of the leaf area product that holds the day
    const int first = (s.doy - 1) / 8 * 8 + 1;
    const int last = std::min(first + 7, s.doy > 365 ? 366 : 365);
    status = 0;
    int st = 0;
    write_geotiff((dir / "lai_8day.tif").string(), west, north, step, nx, ny, true, lai, 255, 0.1,
                  0.0,
                  {"SHORTNAME=LAI8D", "RANGEBEGINNINGDATE=" + iso_day(s.year, first),
                   "RANGEENDINGDATE=" + iso_day(s.year, last)},
                  error, st);
    status = std::max(status, st);
    write_geotiff((dir / "landcover.tif").string(), west, north, step, nx, ny, true, cover, 255,
                  1.0, 0.0, {"SHORTNAME=LANDCOVER"}, error, st);
    status = std::max(status, st);
    write_geotiff((dir / "snow.tif").string(), west, north, step, nx, ny, true, snow, 255, 1.0, 0.0,
                  {"SHORTNAME=SNOWCOVER", "RANGEBEGINNINGDATE=" + iso_day(s.year, s.doy),
                   "RANGEENDINGDATE=" + iso_day(s.year, s.doy)},
                  error, st);
    status = std::max(status, st);
    write_geotiff((dir / "rs_correction.tif").string(), west, north, step, nx, ny, false, rs,
                  -9999.0, 1.0, 0.0, {"SHORTNAME=RSCORRECTION"}, error, st);
    status = std::max(status, st);
    if (status != 0 && error.empty())
        error = "GDAL could not write the GeoTIFFs under " + dir.string();
}

// The forecast grid of the example: 0.25 deg points over the run grid with a degree of
// margin, rows from the north.
inline GribLatLonGrid example_forecast_grid(const RegionSpec& s) {
    GribLatLonGrid g;
    g.step = 0.25;
    const double west = std::floor(s.run.west_h / 100.0) - 1.0;
    const double east = std::ceil(s.run.east_h() / 100.0) + 1.0;
    const double south = std::floor(s.run.south_h / 100.0) - 1.0;
    const double north = std::ceil(s.run.north_h() / 100.0) + 1.0;
    g.lon_first = west;
    g.lat_first = north;
    g.ni = std::lround((east - west) / g.step) + 1;
    g.nj = std::lround((north - south) / g.step) + 1;
    return g;
}

// Every source of the example region under dir: forecast files of the day and the next
// (steps 0 to 45 h), the scans of the morning, the GeoTIFFs and the class table.
inline void write_example_sources(const std::filesystem::path& dir, const RegionSpec& s,
                                  std::string& error, int& status, double scan_step_rad = 5.6e-5,
                                  double raster_step = 0.01) {
    std::error_code ec;
    std::filesystem::create_directories(dir / "forecast", ec);
    std::filesystem::create_directories(dir / "lst", ec);
    status = ec ? 3 : 0;
    if (status != 0) {
        error = "cannot create " + dir.string();
        return;
    }
    const WeatherModel weather(s);
    const Landscape land(s);
    std::vector<std::string> files;
    write_forecast_gribs(
        dir / "forecast", example_forecast_grid(s), s.year, s.doy, 0, 45,
        [&](double lon, double lat, double utc) { return weather.at(lon, lat, utc); },
        [&](double lon, double lat) { return land.is_water(lon, lat); }, 16, files, error, status);
    // the hours around the two observation times of the grid's corners
    double first = 24.0, last = 0.0;
    const SunDay sun(s.year, s.doy);
    for (int col : {1, s.run.ncols})
        for (int line : {1, s.run.nrows}) {
            double t1 = 0, t2 = 0;
            const double lon = s.run.lon(col), lat = s.run.lat(line);
            observation_times(sun, lon, lat, t1, t2);
            first = std::min(first, t1 - zone_hours(lon));
            last = std::max(last, t2 - zone_hours(lon));
        }
    if (status == 0)
        write_lst_scans(dir / "lst", s, land, weather, static_cast<int>(std::floor(first)),
                        static_cast<int>(std::ceil(last)), files, error, status, scan_step_rad);
    if (status == 0) {
        write_land_geotiffs(dir, s, land, error, status, raster_step);
    }
    if (status == 0) {
        write_text_file(dir / "landcover_classes.txt", class_table_lines(), status);
        if (status != 0) error = "cannot write the class table under " + dir.string();
    }
}
