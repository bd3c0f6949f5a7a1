// Region data and simulation: the per-line arrays of the region data record, the output
// variables of a region run and the per-pixel run of one line.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/output/file_set.hpp"

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

// Releases every allocated line array; status 0. With keep_memory, the arrays are emptied
// but keep their memory for the next line the same record serves.
void ornax_finalize_region_data(Ornaxregiondatatype& region, int& status, bool keep_memory = false);

// ---- Output variables ----

// Output code (1..42) of a variable name, compared as a blank-padded text of 10
// characters (case matters). An unknown name logs "Invalid name" and gives -999.
int get_var_index(const std::string& name);

// Name of the variable an output code (1..42) stands for; empty for any other code.
std::string_view ornax_output_var_name(int code);

// Value of the output record field that an output code (1..42) stands for; false for
// any other code.
bool ornax_output_value_by_code(const Ornaxoutputvartype& output, int code, float& value);

// Reads an output list file: a header line, then one variable per line, the name in
// columns 1-10 and a one-digit switch in column 11 (1 selects it, another digit skips the
// line, anything else ends the list). The list order is the order of the output rasters.
// Status 3 when the file cannot be opened, names an unknown variable, or holds fewer
// variable lines than a number in columns 31-40 of its header announces; selections past
// the 42nd, and lines after the one that ends the list, are ignored with one log line.
void ornax_read_out_list_file(const std::string& file_name,
                              std::array<Ornaxoutputrecordtype, ornax_max_out_vars>& list,
                              int& count, int& status);

// The text of an output list file, as the reader above reads it: the header line, then one
// line per entry, its name in columns 1-10 (cut or blank-padded) and the switch in column 11:
// 1 for the selected entries, in their order, then 0 for the entries not selected.
std::string ornax_out_list_text(std::span<const Ornaxoutputrecordtype> selected,
                                std::span<const Ornaxoutputrecordtype> not_selected = {});

// Sets every element of the line's output matrix to the missing value; without listed
// variables it logs "Not allocated the output variable matrix". Status 0.
void ornax_reset_region_outputs(Ornaxregiondatatype& region, float missing, int& status);

// Copies the listed variables of one pixel's output record into values (one per list
// entry, in list order). An entry with a code outside 1..42 logs "Invalid num" and
// "Error find var" and gives status 3.
void ornax_get_region_out_var_by_list(
    const std::array<Ornaxoutputrecordtype, ornax_max_out_vars>& list, int count,
    const Ornaxoutputvartype& output, std::span<float> values, int& status);

// ---- Pixel simulation ----

// False for a core result that is an outlier (XLE2 outside [0, 1000) W m-2 or H2 at or
// below -100 W m-2): such a pixel is flagged 1 and its outputs are missing.
bool ornax_result_is_plausible(const Ornaxoutputvartype& output);
// False when the daily ET energy EDAY is negative, missing or above the day's insolation
// SDDAY: the pixel is flagged 1 and its outputs are missing.
bool ornax_daily_et_is_plausible(const Ornaxoutputvartype& output);

// The model core as the pixel simulation calls it (land, input, output, debug flag,
// region model switch, status); tests may stand in their own.
using Ornaxpixelcore = std::function<void(const Ornaxlandtype&, const Ornaxinputvartype&,
                                          Ornaxoutputvartype&, int, int, int&)>;

// Land record of the pixel at column col of the land-cover line: leaf values and leaf
// size from the line, the other class values from entry `class` of the class table.
// Status 3 when the column or row is outside the grid or the line, or the class is not a
// land class 2..20 held by the table.
void ornax_set_land_parms_by_col_row(const Spatialinfodata& grid, const Ornaxregiondatatype& region,
                                     int col, int row,
                                     const std::vector<Ornaxlandtype>& class_table, int class_count,
                                     Ornaxlandtype& land, int& status);

// Vegetation of the input record from the leaf area index at column col: cover fraction
// 1 - exp(-0.5 LAI) within [0, 1], canopy height between the class's minimum and maximum.
void ornax_set_vegetation_by_col_row(const Spatialinfodata& grid, const Ornaxregiondatatype& region,
                                     int col, int row, const Ornaxlandtype& land,
                                     Ornaxinputvartype& input, int& status);

// Satellite observations of the input record at column col (surface temperatures K ->
// deg C). Status 3 when either surface temperature or an hourly insolation value is
// missing, or the column lies outside the satellite line.
void ornax_set_goes_gsip16_by_col_row(const Spatialinfodata& grid,
                                      const Ornaxregiondatatype& region, int col, int row,
                                      Ornaxinputvartype& input, int& status);

// Meteorology of the input record at column col: K -> deg C, humidity x 100, Pa -> mb,
// the sounding turned to rise with the index. Status 3 when an air temperature is
// missing or the column lies outside the meteorological line.
void ornax_set_meteo_by_col_row(const Spatialinfodata& grid, const Ornaxregiondatatype& region,
                                int col, int row, Ornaxinputvartype& input, int& status);

// Runs every pixel of the line held by the region record through the core and fills the
// line's output matrix and quality flags: 0 computed, 1 all inputs present but the core
// failed or gave an outlier, 127 not land / no observation times / snow, otherwise 1 plus
// the bits of the missing inputs (2 land, 32 vegetation, 4 + 8 + 64 satellite,
// 16 meteorology). Status 3 only when the record's line arrays do not fit the run grid.
void ornax_simulate_region(Ornaxregiondatatype& region, const Spatialinfodata& run_grid,
                           const Spatialinfodata& lc_grid, const Spatialinfodata& lai_grid,
                           const Spatialinfodata& snow_grid, const Spatialinfodata& met_grid,
                           const Spatialinfodata& goes_grid,
                           const std::vector<Ornaxlandtype>& class_table, int class_count, int year,
                           int doy, int region_switch, float lat, int& status);

// The same with the given core in place of the model core.
void ornax_simulate_region_with_core(
    Ornaxregiondatatype& region, const Spatialinfodata& run_grid, const Spatialinfodata& lc_grid,
    const Spatialinfodata& lai_grid, const Spatialinfodata& snow_grid,
    const Spatialinfodata& met_grid, const Spatialinfodata& goes_grid,
    const std::vector<Ornaxlandtype>& class_table, int class_count, int year, int doy,
    int region_switch, float lat, const Ornaxpixelcore& core, int& status);

// Writes line `line` of every output raster (unit units[i - 1] for the i-th listed
// variable) from the output matrix, then the same line of the quality raster (unit
// units[count]). A failing write is logged and the others still go out; status 3 when
// any write failed or the units do not cover the list.
void ornax_write_region_outputs(const Spatialinfodata& run_grid, const Ornaxregiondatatype& region,
                                std::span<const int> units, int line, int& status);
// The same into the members of an output set (members[i - 1] for the i-th listed variable,
// members[count] for the quality raster), written at their line's offset.
void ornax_write_region_outputs(const Spatialinfodata& run_grid, const Ornaxregiondatatype& region,
                                Ornaxoutputsettype& outputs, std::span<const int> members, int line,
                                int& status);
