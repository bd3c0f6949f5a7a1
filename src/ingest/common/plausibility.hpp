// Checks of the values a converter is about to write: every field against the physical
// range of its quantity (the model's own plausibility table), fill values that carry no
// bitmap, and recipe numbers against the model's input ranges. Each check appends one
// line per problem to `problems` (naming the file, the field, the unit found and the
// likely cause) and never stops at the first, so that a recipe check can list them all.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

// True for a value that stands for "no data" whether or not a bitmap says so: not finite,
// the file's own missing value, 9999 or 9.999e20 (and beyond, the usual fills of GRIB and
// NetCDF writers).
bool ingest_is_fill(double value, double file_missing);

// Checks the valid values (NaN where missing) of one field of the plausibility row `key`
// ("2t", "trad", "lai"...). `unit_found` is the unit the file declares for it. Appends
// "FILE: FIELD: values M median (unit U): CAUSE expected LOW..HIGH UNIT" when the median
// is outside, the count and extremes when values lie outside the physical bounds, and a
// line when no value is valid. An empty `file` leaves the file out (the caller names it).
void check_field_plausible(const std::string& file, const std::string& field,
                           const std::string& unit_found, const std::string& key,
                           std::span<const float> values, std::vector<std::string>& problems);
void check_field_plausible(const std::string& file, const std::string& field,
                           const std::string& unit_found, const std::string& key,
                           std::span<const double> values, std::vector<std::string>& problems);

// One value and how often it occurs.
struct ValueCount {
    float value = 0.0f;
    std::size_t count = 0;
};

// check_field_plausible of the values given as distinct values and their counts (any
// order): the same lines as for the values one by one. Values not finite are missing.
void check_counted_field_plausible(const std::string& file, const std::string& field,
                                   const std::string& unit_found, const std::string& key,
                                   std::span<const ValueCount> counted,
                                   std::vector<std::string>& problems);

// A geopotential-height field on a pressure level (Pa) must lie near the height of that
// level in the standard atmosphere (a field multiplied by g, or geopotential in m2 s-2,
// does not).
void check_height_of_level(const std::string& file, const std::string& field, double pressure,
                           std::span<const double> values, std::vector<std::string>& problems);

// A recipe number for the model input `quantity` (a row of the model's range table, e.g.
// "soil reflectance"), given under `key` at `where`.
void check_number_in_range(const std::string& where, const std::string& key,
                           const std::string& quantity, double value,
                           std::vector<std::string>& problems);

// The problems as one message (lines joined by "; ").
std::string ingest_problems_text(const std::vector<std::string>& problems);
