// Example region generator: the rasters of the data set (land parameters, leaf area,
// snow, satellite times, temperatures and insolation, forecast-model fields of two days,
// forecast land mask, sparse UMD land cover) and the manifest of engineered pixels.
#pragma once

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "region_gen/landscape.hpp"

// Static land parameters, leaf area index and snow mask on the run grid.
inline void write_land_rasters(const std::string& root, const RegionSpec& s, const Landscape& land,
                               int& status) {
    namespace fs = std::filesystem;
    const GridBox& g = s.run;
    const size_t n = static_cast<size_t>(g.ncols) * g.nrows;
    const char* names[12] = {"landcover", "aleafn", "aleafv", "aleafl",     "adeadn", "adeadv",
                             "adeadl",    "rsoiln", "rsoilv", "rs_correct", "xl",     "lai"};
    std::vector<std::vector<float>> v(12, std::vector<float>(n));
    std::vector<float> snow(n, 0.0f);
    for (int line = 1; line <= g.nrows; ++line)
        for (int col = 1; col <= g.ncols; ++col) {
            const size_t i = static_cast<size_t>(line - 1) * g.ncols + (col - 1);
            const int cls = land.pixel_class(col, line);
            const ClassRow& row = class_table[cls >= 1 ? cls - 1 : 10];
            auto jitter = [&](int ch, double width) {
                return static_cast<float>(width * (hash01(s.seed, col, line, ch) - 0.5));
            };
            const double lon = g.lon(col), lat = g.lat(line);
            v[0][i] = static_cast<float>(cls);
            v[1][i] = row.aleafn + jitter(20, 0.04f);
            v[2][i] = row.aleafv + jitter(21, 0.03f);
            v[3][i] = row.aleafl + jitter(22, 0.02f);
            v[4][i] = row.adeadn + jitter(23, 0.04f);
            v[5][i] = row.adeadv + jitter(24, 0.04f);
            v[6][i] = row.adeadl + jitter(25, 0.02f);
            v[7][i] = 0.38f + jitter(26, 0.05f);  // soil reflectance, near infrared
            v[8][i] = 0.24f + jitter(27, 0.04f);  // soil reflectance, visible
            v[9][i] = static_cast<float>(0.3 + 0.9 * smooth01(s.seed, 28, lon, lat, 0.4));
            v[10][i] = row.xl * (0.9f + 0.2f * static_cast<float>(hash01(s.seed, col, line, 29)));
            v[11][i] = land.pixel_lai(col, line);
            if (cls == 1) snow[i] = 3.0f;  // open water class of the snow product
            if (land.special(col, line) == Special::snow) snow[i] = 4.0f;
        }
    const fs::path st = fs::path(root) / "static";
    for (int k = 0; k < 11; ++k) write_raster(st / (std::string(names[k]) + ".bin"), v[k], status);
    const std::string day = date_dir(s.year, s.doy);
    write_raster(fs::path(root) / "veg" / day / "lai.bin", v[11], status);
    write_raster(fs::path(root) / "snow" / day / "snow_mask.bin", snow, status);
}

// View zenith angle of a geostationary satellite over 75.2 W (degrees).
inline float view_zenith(double lon, double lat) {
    const double cg = std::cos(lat * gen_deg) * std::cos((lon + 75.2) * gen_deg);
    const double sg = std::sqrt(std::max(0.0, 1.0 - cg * cg));
    return static_cast<float>(std::atan2(sg, cg - 6378.0 / 42164.0) / gen_deg);
}

inline float round2(double v) {
    return static_cast<float>(std::round(v * 100.0) / 100.0);
}

// Observation times, surface temperatures of a plausible morning heating, insolation at
// both times and the view angle, on the satellite grid (the run grid).
inline void write_satellite_rasters(const std::string& root, const RegionSpec& s,
                                    const Landscape& land, const WeatherModel& weather,
                                    int& status) {
    namespace fs = std::filesystem;
    const GridBox& g = s.run;
    const size_t n = static_cast<size_t>(g.ncols) * g.nrows;
    std::vector<float> tloc1(n), tloc2(n), trad1(n), trad2(n), sdn1(n), sdn2(n), theta(n);
    const SunDay sun(s.year, s.doy);
    for (int line = 1; line <= g.nrows; ++line)
        for (int col = 1; col <= g.ncols; ++col) {
            const size_t i = static_cast<size_t>(line - 1) * g.ncols + (col - 1);
            const double lon = g.lon(col), lat = g.lat(line);
            double t1 = 0, t2 = 0;
            observation_times(sun, lon, lat, t1, t2);
            const int zone = zone_hours(lon);
            const Weather w1 = weather.at(lon, lat, t1 - zone),
                          w2 = weather.at(lon, lat, t2 - zone);
            const double fc = 1.0 - std::exp(-0.5 * land.pixel_lai(col, line));
            const double dry = smooth01(s.seed, 30, lon, lat, 0.5);
            const double n1 = hash01(s.seed, col, line, 31) - 0.5,
                         n2 = hash01(s.seed, col, line, 32) - 0.5;
            // Radiometric temperature: near the air at time 1, heated by sun through the morning,
            // more over sparse, dry cover than over dense, moist cover (K).
            double tr1 = w1.t2 + 0.3 + 1.2 * (1.0 - fc) + 0.4 * n1;
            double tr2 = w2.t2 + 1.5 + (4.0 + 8.0 * dry) * (1.0 - fc) + 2.5 * fc * dry + 0.8 * n2;
            if (land.pixel_class(col, line) == 1) {
                tr1 = w1.t2 - 1.0;
                tr2 = w1.t2 - 0.5;
            }
            const double cloud = 1.0 + 0.06 * (hash01(s.seed, col, line, 33) - 0.5);
            tloc1[i] = round2(t1);
            tloc2[i] = round2(t2);
            trad1[i] = round2(tr1);
            trad2[i] = round2(tr2);
            sdn1[i] = round2(w1.swdn * cloud);
            sdn2[i] = round2(w2.swdn * cloud);
            theta[i] = round2(view_zenith(lon, lat));
            if (cloudy(s, lon, lat)) trad2[i] = sat_missing;
            switch (land.special(col, line)) {
                case Special::tloc1_missing: tloc1[i] = sat_missing; break;
                case Special::tloc2_missing: tloc2[i] = -1.0f; break;
                case Special::trad1_missing: trad1[i] = sat_missing; break;
                case Special::trad2_missing: trad2[i] = sat_missing; break;
                case Special::dark_time2: sdn2[i] = 0.0f; break;
                default: break;
            }
        }
    const std::string day = date_dir(s.year, s.doy);
    const fs::path r(root);
    write_raster(r / "goes" / day / "tloc1.bin", tloc1, status);
    write_raster(r / "goes" / day / "tloc2.bin", tloc2, status);
    write_raster(r / "lst" / day / "trad1.bin", trad1, status);
    write_raster(r / "lst" / day / "trad2.bin", trad2, status);
    const std::string ins = date_dir(2011, s.doy == 366 ? 365 : s.doy) + ".dat";  // fixed year 2011
    write_raster(r / "insol" / ("sdn1_" + ins), sdn1, status);
    write_raster(r / "insol" / ("sdn2_" + ins), sdn2, status);
    write_raster(r / "static" / "theta.bin", theta, status);
}

// Forecast-model rasters of one day on the common grid: 8 three-hourly steps from 00 UTC;
// the profile holds 30 layers per step, top layer first.
inline void write_forecast_day(const std::filesystem::path& dir, const RegionSpec& s,
                               const Landscape& land, const WeatherModel& weather,
                               double day_offset, int& status) {
    const GridBox& c = s.common;
    const size_t cells = static_cast<size_t>(c.ncols) * c.nrows;
    std::vector<std::vector<float>> series(8, std::vector<float>(cells * 8));
    std::vector<float> profile(cells * 8 * 30);
    int gap_c = 0, gap_r = 0;
    land.gap_cell(gap_c, gap_r);
    for (int step = 0; step < 8; ++step)
        for (int r = 1; r <= c.nrows; ++r)
            for (int col = 1; col <= c.ncols; ++col) {
                const Weather w = weather.at(c.lon(col), c.lat(r), day_offset + 3.0 * step);
                const size_t i = static_cast<size_t>(step) * cells +
                                 static_cast<size_t>(r - 1) * c.ncols + (col - 1);
                const bool gap = col == gap_c && r == gap_r;
                const double vals[8] = {
                    w.psfc, gap ? forecast_missing : w.t2, w.q2, w.wind, w.lwdn, w.swdn, w.cfslst,
                    w.lhtfl};
                for (int k = 0; k < 8; ++k) series[k][i] = static_cast<float>(vals[k]);
                for (int layer = 0; layer < 30; ++layer)
                    profile[(static_cast<size_t>(step) * 30 + layer) * cells + (i - step * cells)] =
                        static_cast<float>(w.theta[layer]);
            }
    const char* names[8] = {"psfc_series", "t2_series", "q2_series", "wind_surface",
                            "lwdn",        "swdn",      "cfslst",    "lhtfl"};
    for (int k = 0; k < 8; ++k)
        write_raster(dir / (std::string(names[k]) + ".bin"), series[k], status);
    write_raster(dir / "pot_profile.bin", profile, status);
}

inline void write_forecast_rasters(const std::string& root, const RegionSpec& s,
                                   const Landscape& land, const WeatherModel& weather,
                                   int& status) {
    namespace fs = std::filesystem;
    int y2 = 0, d2 = 0;
    s.next_day(y2, d2);
    write_forecast_day(fs::path(root) / "met" / date_dir(s.year, s.doy), s, land, weather, 0.0,
                       status);
    write_forecast_day(fs::path(root) / "met" / date_dir(y2, d2), s, land, weather, 24.0, status);
    // Forecast land mask: 1 land, 0 water, one 4-byte integer per forecast cell.
    const GridBox& c = s.common;
    std::ofstream out(fs::path(root) / "gfs" / "gfs_land.bin", std::ios::binary | std::ios::trunc);
    for (int r = 1; r <= c.nrows; ++r)
        for (int col = 1; col <= c.ncols; ++col)
            put_word(out, land.is_water(c.lon(col), c.lat(r)) ? 0u : 1u, false);
    if (!out) status = 3;
}

// Global UMD land cover (36000 x 15000 at 0.01 deg, big-endian reals, south row first) as a
// sparse file: only the rows and columns around the common grid are written.
inline void write_umd_landcover(const std::string& root, const RegionSpec& s, const Landscape& land,
                                int& status) {
    const long umd_cols = 36000, umd_rows = 15000;
    const GridBox& c = s.common;
    const long col0 = std::max(1L, static_cast<long>((c.west_h + 17999.5) - 3));
    const long col1 = std::min(umd_cols, static_cast<long>(c.east_h() + 18000 + 3));
    const long row0 = std::max(1L, static_cast<long>((c.south_h + 5999.5) - 3));
    const long row1 = std::min(umd_rows, static_cast<long>(c.north_h() + 6000 + 3));
    std::ofstream out(std::filesystem::path(root) / "umd" / "umd_landcover.bin",
                      std::ios::binary | std::ios::trunc);
    std::vector<float> row(static_cast<size_t>(col1 - col0 + 1));
    for (long r = row0; r <= row1; ++r) {
        const double lat = -59.995 + 0.01 * (r - 1);
        out.seekp(static_cast<std::streamoff>(((r - 1) * umd_cols + (col0 - 1)) * 4));
        for (long k = col0; k <= col1; ++k) {
            const double lon = -179.995 + 0.01 * (k - 1);
            const int cls = land.class_at(lon, lat);
            const float umd = cls == 1 ? 0.0f : cls == 5 ? 4.0f : cls == 10 ? 9.0f : 10.0f;
            put_word(out, float_bits(umd), true);
        }
    }
    out.seekp(static_cast<std::streamoff>((umd_cols * umd_rows - 1) * 4));  // full global size
    put_word(out, float_bits(0.0f), true);
    if (!out) status = 3;
}

// Grids and engineered pixels with the quality flags a run must give them.
inline void write_manifest(const std::string& root, const RegionSpec& s, const Landscape& land,
                           int& status) {
    std::vector<std::string> l = {
        "# example region: seed " + std::to_string(s.seed) + ", year " + std::to_string(s.year) +
            ", day " + std::to_string(s.doy),
        "run_grid " + std::to_string(s.run.west_h / 100.0) + " " +
            std::to_string(s.run.south_h / 100.0) + " 0.05 " + std::to_string(s.run.ncols) + " " +
            std::to_string(s.run.nrows),
        "common_grid " + std::to_string(s.common.west_h / 100.0) + " " +
            std::to_string(s.common.south_h / 100.0) + " 0.25 " + std::to_string(s.common.ncols) +
            " " + std::to_string(s.common.nrows),
        "# col line qc why"};
    for (const EngineeredPixel& p : land.engineered())
        l.push_back(std::to_string(p.col) + " " + std::to_string(p.line) + " " +
                    std::to_string(p.qc) + " " + p.why);
    write_text_file(std::filesystem::path(root) / "manifest.txt", l, status);
}

// The whole data set under root; status 0, or 3 when a file cannot be written.
inline void write_example_region(const std::string& root, const RegionSpec& spec, int& status) {
    const WeatherModel weather(spec);
    const Landscape land(spec);
    status = 0;
    write_configuration(root, spec, status);
    if (status == 0) write_land_rasters(root, spec, land, status);
    if (status == 0) write_satellite_rasters(root, spec, land, weather, status);
    if (status == 0) write_forecast_rasters(root, spec, land, weather, status);
    if (status == 0) write_umd_landcover(root, spec, land, status);
    if (status == 0) write_manifest(root, spec, land, status);
}
