// The satellite inputs of a region run from geostationary scans: the surface temperatures
// at the two morning observations (trad1, trad2, K), their local standard times
// (tloc1, tloc2, hours), the view zenith angle (theta, deg) and, when a source is given,
// the insolation at both observations (sdn1, sdn2, W m-2), all on one satellite grid.
#pragma once

#include <nlohmann/json.hpp>

#include <map>
#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ingest/raster/grid_warp.hpp"
#include "ingest/satellite/morning_scans.hpp"

struct SatelliteRequest {
    Spatialinfodata grid;  // the satellite grid; its spare_value is the missing value
    int year = 0, doy = 0;
    std::vector<std::string> lst_files;
    std::vector<std::string> insolation_files;  // ABI-style NetCDF, variable insolation_variable
    std::string insolation_variable = "DSR";
    std::string met_root;      // forecast rasters of `ornax_ingest forecast`
    Spatialinfodata met_grid;  // their common grid (when met_root is set)
    double tolerance_s = default_scan_tolerance_s;
    bool resampling_given = false;  // otherwise chosen from the pixel sizes
    Resampling resampling = Resampling::nearest;
    // with met_root: the insolation is left to satellite_forecast_insolation (the forecast
    // rasters may not be written yet), the observation times kept in the result for it
    bool insolation_later = false;
};

struct SatelliteResult {
    std::map<std::string, std::vector<float>> rasters;  // file stem -> values, south row first
    nlohmann::json manifest;         // per scan, resampling, targets, conversions, counts
    std::vector<std::string> notes;  // what the user should be told
    std::vector<double> obs1, obs2;  // observation times (else target times) of insolation_later
};

// Decodes, warps and selects; status 0, or 3 with error naming the file and the reason.
void prepare_satellite(const SatelliteRequest& request, SatelliteResult& result, std::string& error,
                       int& status);
// The insolation a prepare_satellite of insolation_later left out, from the forecast
// shortwave under request.met_root: sdn1 and sdn2 join the result's rasters.
void satellite_forecast_insolation(const SatelliteRequest& request, SatelliteResult& result,
                                   std::string& error, int& status);

// Insolation (W m-2) at a time from a day's three-hourly forecast shortwave rasters:
// linear in time between the steps at 00, 03, ..., 21 UTC of each day held in `days`
// (day 0 = the run's day, day 1 the next); NaN outside them or at a missing value.
struct ForecastShortwave {
    Spatialinfodata grid;
    std::vector<std::vector<float>> days;  // per day: 8 steps of ncols x nrows, south first
    float at(double hours_since_day_start, double lon, double lat) const;
};
void read_forecast_shortwave(const std::string& met_root, const Spatialinfodata& grid, int year,
                             int doy, ForecastShortwave& swdn, std::string& error, int& status);
