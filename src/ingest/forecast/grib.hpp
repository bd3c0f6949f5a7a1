// Reading forecast-model GRIB2 files with the ECMWF library: every field (multi-field
// messages on) is identified by its keys, checked (grid type, grid, unit, plausibility)
// and, when the conversion needs it, decoded and interpolated to the common grid.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ingest/forecast/fields.hpp"

// What the reading found, for the messages and the manifest.
struct ForecastReadSummary {
    ForecastGrid grid;           // the forecast grid of the fields used
    std::vector<double> shifts;  // longitude shifts that bring the common grid onto it
    long fields_read = 0;        // fields seen in all files
    long fields_used = 0;        // fields decoded and interpolated
    long fields_off_axis = 0;    // fields valid off the 3-hour axis (hourly files): not used
};

// Reads the files, keeping instant fields valid from keep_from to keep_to (hours since
// 1970) and averages whose window ends in that span; constants are kept at any time.
// status 3 with a message naming the file and field on the first refusal.
void forecast_read_files(const std::vector<std::string>& files, const Spatialinfodata& common,
                         std::int64_t keep_from, std::int64_t keep_to, ForecastStore& store,
                         ForecastReadSummary& summary, std::string& error, int& status);
