// Writes forecast-model fields as GRIB2 messages with the ECMWF library (simple packing
// on a regular latitude/longitude grid, rows from the north), under the codes the
// converter selects them by. The bundled example, the tests and the benchmarks make
// their real-format forecast files with it.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// A regular latitude/longitude grid of GRIB points: ni points per row from lon_first
// eastwards, nj rows from lat_first southwards, step degrees apart both ways.
struct GribLatLonGrid {
    long ni = 0, nj = 0;
    double lat_first = 0.0, lon_first = 0.0, step = 0.25;
    double lat(long j) const { return lat_first - step * static_cast<double>(j); }
    double lon(long i) const { return lon_first + step * static_cast<double>(i); }
};

// One field: a quantity of the converter's table ("t", "gh", "orog", "lsm", "sp", "2t",
// "2sh", "2r", "10u", "10v", "skin t", "dlwrf", "dswrf", "lhtfl"), its pressure for the
// pressure-level quantities (Pa), the reference time and the step (an average over
// [start, end] hours for the fluxes, the instant end otherwise).
struct GribFieldSpec {
    std::string variable;
    double pressure = 0.0;
    long date = 0, time = 0;  // reference YYYYMMDD and HHMM
    long start = 0, end = 0;
    int bits = 16;  // bits per packed value
};

// Appends one message of ni x nj values (rows from the north) to an open file. status 3
// with error naming the variable for an unknown quantity or an encoding failure.
void grib_write_field(std::FILE* out, const GribLatLonGrid& grid, const GribFieldSpec& field,
                      const std::vector<double>& values, std::string& error, int& status);
