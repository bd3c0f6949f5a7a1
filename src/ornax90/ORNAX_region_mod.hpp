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

// ---- Output variables ----

// Output code (1..42) of a variable name, compared as a blank-padded text of 10
// characters (case matters). An unknown name logs "Invalid name" and gives -999.
int get_var_index(const std::string& name);

// Value of the output record field that an output code (1..42) stands for; false for
// any other code.
bool ornax_output_value_by_code(const Ornaxoutputvartype& output, int code, float& value);

// Reads an output list file: a header line, then one variable per line, the name in
// columns 1-10 and a one-digit switch in column 11 (1 selects it, another digit skips the
// line, anything else ends the list). The list order is the order of the output rasters.
// Status 3 when the file cannot be opened or names an unknown variable; selections past
// the 42nd are ignored with one log line.
void ornax_read_out_list_file(const std::string& file_name,
                              std::array<Ornaxoutputrecordtype, ornax_max_out_vars>& list,
                              int& count, int& status);

// Sets every element of the line's output matrix to the missing value; without listed
// variables it logs "Not allocated the output variable matrix". Status 0.
void ornax_reset_region_outputs(Ornaxregiondatatype& region, float missing, int& status);

// Copies the listed variables of one pixel's output record into values (one per list
// entry, in list order). An entry with a code outside 1..42 logs "Invalid num" and
// "Error find var" and gives status 3.
void ornax_get_region_out_var_by_list(
    const std::array<Ornaxoutputrecordtype, ornax_max_out_vars>& list, int count,
    const Ornaxoutputvartype& output, std::span<float> values, int& status);
