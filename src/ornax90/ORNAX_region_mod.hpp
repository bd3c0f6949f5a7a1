// Region data and simulation: the per-line arrays of the region data record, the output
// variables of a region run and the per-pixel run of one line.
#pragma once

#include <span>
#include <string>

#include "ORNAX_data_mod.hpp"

// ---- Line arrays of the region data record ----

// Allocates the line arrays of the region record: land-cover, vegetation, snow-mask,
// meteorological and satellite columns from each grid, sounding levels and hours from
// the meteorological grid (hours of sdn_day from the satellite grid), the output matrix
// when variables are listed and the quality flags (set to 0). The satellite arrays start
// at the satellite grid's missing value. An array already allocated, or one that cannot
// be allocated, ends the routine with status 3 and a "Cannot allocate" log line.
void ornax_init_region_data(Ornaxregiondatatype& region, const Spatialinfodata& run_grid,
                            const Spatialinfodata& land_grid, const Spatialinfodata& veg_grid,
                            const Spatialinfodata& snow_grid, const Spatialinfodata& met_grid,
                            const Spatialinfodata& sat_grid, int& status);

// Releases every allocated line array; status 0.
void ornax_finalize_region_data(Ornaxregiondatatype& region, int& status);
