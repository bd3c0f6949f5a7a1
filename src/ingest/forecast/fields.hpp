// Forecast-model fields of a day: which GRIB2 fields the forcing rasters are made of, the
// forecast grid and its bilinear weights at the common-grid cell centres, and the store of
// the fields interpolated to the common grid.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"

// Fill value of the forcing rasters (the meteorological configuration's missing value).
inline constexpr float forecast_fill = -9999.0f;

// Role of a field in the conversion.
enum class FieldRole { profile, surface, constant };

// One input quantity: how it is selected (GRIB2 shortName, level type and level, step
// type) and the unit it must carry. Pressure-level fields take every level given.
struct ForecastVariable {
    const char* name;        // name in messages and the manifest
    const char* short_name;  // GRIB shortName
    const char* level_type;  // typeOfLevel ("isobaric" for both isobaricInhPa and isobaricInPa)
    long level;              // level (ignored for isobaric fields)
    const char* step_type;   // stepType: instant or avg
    const char* units;       // units the library gives for the field
    FieldRole role;
    const char* meaning;
};

// The table of input quantities; one row per quantity.
const std::vector<ForecastVariable>& forecast_variables();
// Row of the table by name; nullptr when unknown.
const ForecastVariable* forecast_variable(const std::string& name);

// A regular latitude/longitude forecast grid, values row by row from the first row, west
// to east within a row.
struct ForecastGrid {
    long ni = 0, nj = 0;      // points per row and rows
    double lat_first = 0.0;   // latitude of the first row (degrees north)
    double lat_last = 0.0;    // latitude of the last row
    double lon_first = 0.0;   // longitude of the first column, in the grid's own convention
    double dlon = 0.0;        // column step eastwards (degrees)
    bool global_lon = false;  // the rows go once around the globe
    bool same_as(const ForecastGrid& other) const;
    std::string describe() const;  // "144 x 73, lat 90..-90, lon 0..357.5 step 2.5"
};

// Bilinear weights of one common-grid cell centre: four grid points and their weights.
struct CellWeights {
    std::array<std::uint32_t, 4> point{};
    std::array<float, 4> weight{};
};

// Weights of every common-grid cell centre (columns fastest, rows from the south) on the
// forecast grid. The common grid's longitudes are brought into the forecast grid's own
// convention (a shift of +-360 degrees); shifts lists the shifts used. status 3 with a message
// naming the cell when a centre lies outside the forecast grid.
void forecast_bilinear_weights(const ForecastGrid& forecast, const Spatialinfodata& common,
                               std::vector<CellWeights>& weights, std::vector<double>& shifts,
                               std::string& error, int& status);

// Interpolates a decoded field (missing points NaN) to the cells; a cell with a missing
// point of non-zero weight is NaN.
void forecast_interpolate(const std::vector<double>& field, const std::vector<CellWeights>& weights,
                          std::vector<float>& cells);

// One field interpolated to the common grid.
struct StoredField {
    std::string variable;        // table name
    double pressure = 0.0;       // Pa, pressure-level fields only
    std::int64_t reference = 0;  // reference time, hours since 1970-01-01 00 UTC
    long start = 0, end = 0;     // step range in hours (start = end for instant fields)
    std::string source;          // "FILE message N field M"
    double precision = 0.0;      // packing step of the stored values (0: exact)
    std::vector<float> cells;    // NaN where missing
    std::int64_t valid() const { return reference + end; }
};

// Fields of a conversion, found by quantity, level and valid time.
class ForecastStore {
public:
    // Adds a field; of two fields with the same quantity, level and step window of the same
    // reference time the first is kept (duplicates counts the others). Two that differ by
    // more than their packing step somewhere are a conflict: `conflicts` receives a line
    // naming both sources and the largest difference.
    void add(StoredField field);
    // Instant field valid at time t (the latest reference time among several); nullptr if none.
    const StoredField* instant(const std::string& variable, double pressure, std::int64_t t) const;
    // Any field of a constant quantity (orography, land-sea mask).
    const StoredField* constant(const std::string& variable) const;
    // Averages over windows ending at time t, and the one of a given window.
    std::vector<const StoredField*> averages_ending(const std::string& variable,
                                                    std::int64_t t) const;
    const StoredField* average(const std::string& variable, std::int64_t reference, long start,
                               long end) const;
    // Pressure levels (Pa) of a quantity at time t, highest pressure first.
    std::vector<double> levels(const std::string& variable, std::int64_t t) const;
    // Every field kept, by its key.
    const std::map<std::string, StoredField>& all() const { return fields_; }
    int duplicates = 0;
    std::vector<std::string> conflicts;

private:
    std::map<std::string, StoredField> fields_;
};

// Hours since 1970-01-01 00 UTC of a date (YYYYMMDD) and time (HHMM).
std::int64_t forecast_hours(long yyyymmdd, long hhmm);
// "2019-07-19 06 UTC".
std::string forecast_time_text(std::int64_t hours);
