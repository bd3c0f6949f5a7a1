// Writes a geostationary scan in the ABI level-2 layout (NetCDF-4): the packed variable
// with scale, offset and fill, DQF, the scan-angle axes, goes_imager_projection and the
// scan time. The bundled example and the tests make their real-format inputs with it.
#pragma once

#include <functional>
#include <string>

#include "ingest/satellite/abi_scan.hpp"

struct AbiLayout {
    GeosProjection projection;          // height, axes, lon_0, sweep
    double x0_rad = 0.0, y0_rad = 0.0;  // scan angles of the first column and row centres
    double step_rad = 5.6e-5;           // scan-angle step (2 km at nadir)
    int nx = 0, ny = 0;
    std::string variable = "LST", units = "K";
    double scale = 0.0025, offset = 190.0;  // K = stored x scale + offset
    double scan_time = 0.0;                 // mid-scan, seconds since 1970-01-01 UTC
};

// The value (in units) of pixel (row, col) at (lon, lat); NaN marks a cloudy pixel (DQF 2).
using PixelValue = std::function<double(double lon, double lat)>;

// Writes the file; pixels off the earth get the fill value. Status 0, or 3 with error.
void write_abi_file(const std::string& file, const AbiLayout& layout, const PixelValue& value,
                    std::string& error, int& status);

// The scan-angle window of a fixed grid that covers a longitude/latitude box.
void abi_window(const GeosProjection& projection, double west, double south, double east,
                double north, double step_rad, AbiLayout& layout, int& status);
