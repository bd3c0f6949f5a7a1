// Grid geometry of regular latitude/longitude grids: columns and rows of a point, cell
// centres, the overlap of two grids, resampling and block means, and the interpolation
// of a day's equally spaced series.
//
// Columns count from the western edge and rows from the southern edge, both from 1.
// Column c spans west_lon + (c - 1) x dlon to west_lon + c x dlon (degrees); row r spans
// south_lat + (r - 1) x dlat to south_lat + r x dlat.
#pragma once

#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/file_io_mod.hpp"

inline constexpr int grid_outside_index = -9999;           // column or row of a point off the grid
inline constexpr float grid_outside_coordinate = -999.0f;  // centre of a cell off the grid

// Column of longitude lon (degrees east). A longitude on the eastern edge belongs to the
// last column. Off the grid (or a grid without a positive step): col -9999, status 3.
void get_col_by_lon(const Spatialinfodata& grid, float lon, int& col, int& status);
// Row of latitude lat (degrees north), by the same rule from the southern edge.
void get_row_by_lat(const Spatialinfodata& grid, float lat, int& row, int& status);
// Column and row of a point; outside the bounding box both are -9999 and status 3.
void get_col_row_by_lon_lat(const Spatialinfodata& grid, float lon, float lat, int& col, int& row,
                            int& status);

// Centre longitude of column col; col outside 1..ncols gives -999 and status 3.
void get_lon_by_col(const Spatialinfodata& grid, int col, float& lon, int& status);
// Centre of the cell (col, row); either index off the grid gives -999 for both, status 3.
void get_lon_lat_by_col_row(const Spatialinfodata& grid, int col, int row, float& lon, float& lat,
                            int& status);

// Part of input_grid covered by run_grid: its first column and row on input_grid and its
// number of columns and rows. Status 3 when the two boxes do not overlap.
void cal_input_domain_boundary(const Spatialinfodata& input_grid, const Spatialinfodata& run_grid,
                               int& ncols, int& nrows, int& first_col, int& first_row, int& status);

// Samples `input` (column, row) on input_grid onto output_grid, each output cell taking the
// input cell holding its centre (the nearest one), fill_value off the input. Output steps
// of more than 2 input cells are refused (status 3, output untouched).
void extract_2d_real_by_domain(const Spatialinfodata& input_grid, const Real2dArray& input,
                               const Spatialinfodata& output_grid, float fill_value,
                               Real2dArray& output, int& status);

// Means of `input` over blocks of block_cols x block_rows cells (a last partial block is
// averaged over the cells it has). A value counts when it differs from fill_value by more
// than 1e-6; a block without one gets fill_value.
void cal_mean_matrix(const Real2dArray& input, int block_cols, int block_rows, float fill_value,
                     Real2dArray& output, int& status);

// y1 + (x - x1) / (x2 - x1) x (y2 - y1) when |x2 - x1| > 1e-6, else 0.
float linear_interp(float x, float x1, float x2, float y1, float y2);

// Interpolates a day's series of n equally spaced values (value i at hour 24 (i - 1) / n),
// skipping fill values and wrapping past midnight, to hours hour1 and hour2 and to the
// hourly series at hours 0, 1, ..., 23 (slot h at hour h - 1). A series without any
// valid value gives fill_value everywhere and status 3.
void get_value_from_3hours(const std::vector<float>& series, float fill_value, float hour1,
                           float hour2, float& value1, float& value2, std::vector<float>& hourly,
                           int& status);
