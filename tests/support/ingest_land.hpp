// Helpers of the satellite and land input tests: the real samples (skipped when absent),
// small grids and synthetic fixed-grid scans.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ingest/satellite/abi_writer.hpp"

namespace land_test {

// A real sample under ../shared/realinputs/ (or under $ORNAX_REALINPUTS), or "" when it
// is absent.
inline std::string real_sample(const std::string& relative) {
    const char* env = std::getenv("ORNAX_REALINPUTS");
    const std::filesystem::path root =
        env != nullptr && *env != '\0'
            ? std::filesystem::path(env)
            : std::filesystem::path(ORNAX_SOURCE_DIR) / ".." / "shared" / "realinputs";
    const std::filesystem::path p = root / relative;
    return std::filesystem::exists(p) ? p.string() : std::string();
}

inline const char* lst_sample =
    "goes/OR_ABI-L2-LSTM2-M6_G16_s20211381700538_e20211381700595_c20211381701211.nc";

// A regular grid from its south-west corner, spacing and size.
inline Spatialinfodata make_grid(float west, float south, float step, int ncols, int nrows,
                                 float missing = -9999.0f) {
    Spatialinfodata g;
    g.west_lon = west, g.south_lat = south, g.dlon = g.dlat = step;
    g.east_lon = west + step * ncols, g.north_lat = south + step * nrows;
    g.ncols = ncols, g.nrows = nrows, g.spare_value = missing;
    return g;
}

// The east satellite's fixed grid as the agency's files give it (GRS80, 75 W, sweep x).
inline GeosProjection east_projection() {
    GeosProjection p;
    p.perspective_point_height = 35786023.0;
    p.semi_major_axis = 6378137.0;
    p.semi_minor_axis = 6356752.31414;
    p.lon_0 = -75.0;
    p.sweep = "x";
    return p;
}

// Writes a 2 km scan over a box with a value function; returns false on failure.
inline bool write_scan(const std::string& file, double west, double south, double east,
                       double north, double scan_time, const PixelValue& value,
                       const std::string& units = "K", const std::string& variable = "LST") {
    AbiLayout layout;
    int st = 0;
    abi_window(east_projection(), west, south, east, north, 5.6e-5, layout, st);
    if (st != 0) return false;
    layout.scan_time = scan_time;
    layout.units = units;
    layout.variable = variable;
    if (variable != "LST") layout.scale = 0.05, layout.offset = 0.0;
    std::string error;
    write_abi_file(file, layout, value, error, st);
    return st == 0;
}

}  // namespace land_test
