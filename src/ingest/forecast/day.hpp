// The nine forcing rasters of one day from the forecast fields on the common grid: the
// eight three-hourly steps 00 to 21 UTC, the potential-temperature profile at the model's
// 30 heights, 2 m humidity, wind speed and the fluxes as three-hour means.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ingest/forecast/fields.hpp"

inline constexpr int forecast_steps_per_day = 8;  // 00, 03, ..., 21 UTC

// One raster of the day: file name and values (column fastest, rows from the south, then
// the layers of a step, then the steps), NaN where missing until written.
struct ForecastRaster {
    std::string file;
    int layers = 1;
    std::vector<float> values;
};

// The day's rasters in the order of the files, and how each step was made.
struct ForecastDayRasters {
    std::vector<ForecastRaster> rasters;
    nlohmann::json record = nlohmann::json::object();  // raster -> per step: fields, method
    std::vector<std::string> conversions;              // in words, for the manifest
    long cells_above_top = 0;        // profile cells whose heights exceed the highest level
    long radiation_set_to_zero = 0;  // negative de-averaged radiation values set to 0
    // Input: a flux average missing inside the forecast may be replaced by the next step's
    // (said on the standard error stream and in the manifest with the size of the gap).
    // At the forecast's start, where no average can exist, the next step's is always used.
    bool substitute_missing_averages = false;
};

// Makes the nine rasters of day (year, doy). status 3 with a message naming the quantity,
// level and time that are missing, or the cell of a non-monotonic height profile.
void forecast_make_day(const ForecastStore& store, const Spatialinfodata& common, int year, int doy,
                       ForecastDayRasters& day, std::string& error, int& status);

// Potential temperature (K) of air at temperature t (K) and pressure p (Pa).
double forecast_theta(double t, double p);

// 2 m specific humidity (kg/kg) from relative humidity rh (%), temperature t (K) and
// pressure p (Pa): vapour pressure e = rh / 100 x es(t), with the saturation vapour
// pressure over water es(t) = 611.2 exp(17.67 (t - 273.15) / (t - 29.65)) Pa, and
// q = 0.622 e / (p - 0.378 e).
double forecast_specific_humidity(double rh, double t, double p);

// Outcome of one profile column.
enum class ColumnResult { ok, above_top, not_monotonic };

// Potential temperature at the heights (m above the surface, any order) of one cell from
// pressure-level temperatures t (K) and geopotential heights gh (gpm) at pressures p (Pa,
// highest first), surface height zs (m), surface pressure sp (Pa) and 2 m temperature t2
// (K). Levels at or above the surface pressure or not above 2 m are left out; the 2 m
// temperature at the surface pressure is the bottom point at 2 m. Theta is linear in
// height between points. A height above the highest level gives above_top; levels whose
// heights do not rise as the pressure falls give not_monotonic (bad_level then names the
// pressure). theta receives one value per height.
ColumnResult forecast_theta_column(const std::vector<double>& p, const std::vector<double>& t,
                                   const std::vector<double>& gh, double zs, double sp, double t2,
                                   const std::array<float, ornax_common_layer_count>& heights,
                                   std::array<float, ornax_common_layer_count>& theta,
                                   double& bad_level);
