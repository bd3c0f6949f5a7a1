// The check of a region run's input rasters against what their quantities can be, on a
// sample of each raster, before the line loop.
#pragma once

#include "ornax90/ORNAX_data_mod.hpp"

#include <span>
#include <string>
#include <vector>

// What the valid values of one whole raster or field of a quantity can look like, in the
// unit it is stored in (K, Pa, kg/kg, m s-1, W m-2, gpm): the median inside its bounds, the
// 95th percentile under a ceiling, in daylight a tenth of the values above 0, and every
// value between `value_low` and `value_high`. One row per quantity; the region run checks
// its input rasters with the median rows, the converters every field they write.
struct Ornaxplausible {
    const char* key;  // name of the row (the converters' field names: "2t", "dswrf")
    const char* quantity;
    const char* unit;
    float median_low;  // the median must lie in [median_low, median_high]
    float median_high;
    bool median_open;    // the bounds themselves are excluded
    float p95_high;      // the 95th percentile must not exceed this (unbounded: a large value)
    bool some_positive;  // at least a tenth of the values above 0 (daylight insolation)
    float value_low;     // every valid value must lie in [value_low, value_high]
    float value_high;
};

inline constexpr float ornax_plausible_unbounded = 3.0e38f;

// The whole plausibility table.
std::span<const Ornaxplausible> ornax_plausible_table();
// Row by key; nullptr when none.
const Ornaxplausible* ornax_plausible(const std::string& key);

// The values at fractions (0..1, ascending) of the sorted `values` (the element at place
// fraction x (count - 1), rounded down), into quantiles[0..fractions.size()); the order of
// `values` is changed. values must not be empty.
void ornax_sample_quantiles(std::vector<float>& values, std::span<const double> fractions,
                            float* quantiles);

// Before the line loop, after the size checks: a sample of every input raster (at most
// 65,536 values: the whole raster, or 256 runs of 256 consecutive values spread evenly
// over the file) is compared with what its quantity can be. Forecast rasters: medians of
// 2 m temperature 180..340 K, potential temperature 200..700 K, pressure 30000..110000 Pa,
// humidity strictly between 0 and 0.05 kg/kg, wind 0..50 m s-1, long-wave 100..600 W m-2,
// short-wave 0..1500 W m-2 with a 90th percentile above 0. Satellite: surface temperature
// medians 213..343 K, insolation at the observations strictly between 0 and 1500 W m-2,
// and the surface temperature must not fall from the first to the second observation
// over more than half of the sampled pixels. Leaf area: 95th percentile at most 10.
// Every raster: not its grid's missing value everywhere. 0, or 3 with each failing raster
// named with its median and the expected range.
int ornax_check_region_input_plausibility(const Ornaxregiondatatype& region,
                                          const Spatialinfodata& land, const Spatialinfodata& veg,
                                          const Spatialinfodata& snow, const Spatialinfodata& sat,
                                          const Ornaxcommonblock& common, int year, int doy);
