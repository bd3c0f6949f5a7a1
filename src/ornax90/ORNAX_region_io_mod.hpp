// Region configuration, land mask, line-by-line meteorology and the reading of one line
// of region inputs.
#pragma once

#include <string>
#include <vector>

#include "ORNAX_data_mod.hpp"

// ===================================================================================
// Region configuration file (raster work)
// ===================================================================================

#include <array>

// Lines of a region configuration file that hold values (lines 1-5 are a header).
inline constexpr int region_config_first_line = 6;
inline constexpr int region_config_last_line = 65;
// Longest stored path (characters).
inline constexpr int region_config_path_length = 300;

// Stored path of each line of a region configuration file, indexed by line number;
// lines without a stored path (directory lines, separators) and lines not reached stay empty.
using RegionConfigPaths = std::array<std::string, region_config_last_line + 1>;

// Reads a region configuration file for one year and day of year: lines 6 to 65, each
// value taken from columns 31-286, turned into a path by its line's rule (plain, under
// HOME_DIR, in the current directory, in its dated subdirectory "/YYYYDDD/", or in the
// fixed-year insolation name "<value>2011DDD.dat") and checked for existence where the
// line requires it. A missing required file stops reading (status 3); a missing warned
// file is only logged. Year outside 1900-2100 or day outside 1-366: status 3, no message.
// A file that ends before line 64, or a path longer than 300 characters, is a failure
// (status 3) whose log line names the file and the line.
void ornax_read_region_config_paths(const std::string& config_file, int year, int doy,
                                    RegionConfigPaths& paths, int& status);

// ---- end of region configuration file ----


// ===================================================================================
// Land mask and land subset (forcing-a work)
// ===================================================================================

// UMD land-cover raster: global, 0.01 degree, column 1 centred at -179.995, row 1 centred
// at -59.995, rows from the south, 4-byte big-endian reals.
inline constexpr int ornax_umd_ncols = 36000;
inline constexpr int ornax_umd_nrows = 15000;

// Columns, rows and first pixel (1-based) of the UMD window that covers a common grid,
// and the UMD pixels per common-grid cell.
struct Ornaxumdwindow {
    int ncols = 0;
    int nrows = 0;
    int first_col = 0;
    int first_row = 0;
    int block_cols = 0;
    int block_rows = 0;
};

// Window and block sizes of the UMD raster for the common grid's edges and spacing.
Ornaxumdwindow ornax_umd_window(const Ornaxcommonblock& common);

// Sets the common grid's land cells (from the land subset file, or built from the UMD
// land cover) and reads the forecast-model land mask. Status 0 or 3.
void ornax_load_land_data(Ornaxcommonblock& common, int& status);

// Loads land cells from a land subset file after checking it against the grid; writes
// common_lc.dat in every case. Status 0, or 3 when the file is missing, short or mismatched.
void ornax_load_land_subset(int ncols, int nrows, float west_lon, float east_lon, float dlon,
                            float south_lat, float north_lat, float dlat,
                            const std::string& file_name, int& land_count,
                            std::vector<Ornaxsinglegrid>& land_cells, int& status);

// Builds the land cells from the UMD land cover: a cell is land when at least one UMD
// pixel of its block is land; then writes the land subset file. Status 0 or 3.
void ornax_set_umd_land_mask(Ornaxcommonblock& common, const std::string& umd_file,
                             float spare_value, int& status);

// Writes the land subset file (replacing it atomically) and common_lc.dat. Status 0 or 3.
void ornax_write_out_land_index(int land_count, int ncols, int nrows, float west_lon,
                                float east_lon, float dlon, float south_lat, float north_lat,
                                float dlat, const std::vector<Ornaxsinglegrid>& land_cells,
                                const std::string& file_name, int& status);

// Counts the values > 0 in the block of the (ncols x nrows, column fastest) matrix that
// starts at 1-based (first_col, first_row); positions outside the matrix are skipped with
// "Out of bound". Status 0.
void ornax_subset_integer_matrix(const std::vector<int>& matrix, int ncols, int nrows,
                                 int first_col, int first_row, int block_cols, int block_rows,
                                 int& count, int& status);

// ---- end of land mask and land subset ----


// ===================================================================================
// Line-by-line meteorological processing (forcing-b work)
// ===================================================================================


// ---- end of line-by-line meteorological processing ----


// ===================================================================================
// Per-pixel meteorology at observation times (forcing-b work)
// ===================================================================================


// ---- end of per-pixel meteorology at observation times ----


// ===================================================================================
// Region inputs (region-driver work)
// ===================================================================================


// ---- end of region inputs ----

