// Grid geometry of regular latitude/longitude grids.
#include "ornax90/ORNAX_region_utl_mod.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Share of a cell beyond the last cell's far edge that still belongs to the last cell.
constexpr float edge_tolerance = 0.01f;

// 1-based index of coordinate x on an axis starting at `low` with cells of `step`
// degrees, for x in [low, high]. The integer part truncates toward zero. A coordinate on
// the far edge of the last cell (within a hundredth of a cell) gives count + 1; it belongs
// to the last cell. Returns -9999 off the axis, for a non-positive step, or past the last
// cell (an axis whose span holds more cells than `count`).
int index_on_axis(float low, float high, float step, int count, float x) {
    if (!(step > 0.0f) || !(x >= low && x <= high)) return grid_outside_index;
    const float cells = (x - low) / step;
    int index = static_cast<int>(cells) + 1;
    // the share allows for the rounding of single-precision coordinates on long axes
    const float rounding = 8.0f * std::numeric_limits<float>::epsilon() *
                           std::max(std::fabs(x), std::fabs(low)) / step;
    if (index == count + 1 && cells - static_cast<float>(count) <= edge_tolerance + rounding)
        index = count;
    if (index < 1 || index > count) return grid_outside_index;
    return index;
}

// Centre of cell `index` on an axis, -999 when the index lies outside 1..count.
float centre_on_axis(float low, float step, int count, int index) {
    if (index < 1 || index > count) return grid_outside_coordinate;
    return step * (static_cast<float>(index) - 0.5f) + low;
}

}  // namespace

void get_col_by_lon(const Spatialinfodata& grid, float lon, int& col, int& status) {
    col = index_on_axis(grid.west_lon, grid.east_lon, grid.dlon, grid.ncols, lon);
    status = col == grid_outside_index ? 3 : 0;
}

void get_row_by_lat(const Spatialinfodata& grid, float lat, int& row, int& status) {
    row = index_on_axis(grid.south_lat, grid.north_lat, grid.dlat, grid.nrows, lat);
    status = row == grid_outside_index ? 3 : 0;
}

void get_col_row_by_lon_lat(const Spatialinfodata& grid, float lon, float lat, int& col, int& row,
                            int& status) {
    int col_status = 0, row_status = 0;
    get_col_by_lon(grid, lon, col, col_status);
    get_row_by_lat(grid, lat, row, row_status);
    status = 0;
    if (col_status != 0 || row_status != 0) {
        col = grid_outside_index;
        row = grid_outside_index;
        status = ornax_status_failure;
    }
}

void get_lon_by_col(const Spatialinfodata& grid, int col, float& lon, int& status) {
    lon = centre_on_axis(grid.west_lon, grid.dlon, grid.ncols, col);
    status = col < 1 || col > grid.ncols ? 3 : 0;
}

void get_lon_lat_by_col_row(const Spatialinfodata& grid, int col, int row, float& lon, float& lat,
                            int& status) {
    status = 0;
    if (col < 1 || col > grid.ncols || row < 1 || row > grid.nrows) {
        lon = grid_outside_coordinate;
        lat = grid_outside_coordinate;
        status = ornax_status_failure;
        return;
    }
    lon = centre_on_axis(grid.west_lon, grid.dlon, grid.ncols, col);
    lat = centre_on_axis(grid.south_lat, grid.dlat, grid.nrows, row);
}

namespace {

// First and last cell of input axis (low, step, count) touched by the span [from, to].
// Cells are counted as touched when the span covers more than a tiny sliver of them.
void covered_cells(float low, float step, int count, float from, float to, int& first, int& last) {
    constexpr double sliver = 1.0e-4;  // fraction of a cell treated as rounding noise
    double a = (static_cast<double>(from) - low) / step;
    double b = (static_cast<double>(to) - low) / step;
    first = std::max(1, static_cast<int>(std::floor(a + sliver)) + 1);
    last = std::min(count, static_cast<int>(std::ceil(b - sliver)));
}

}  // namespace

void cal_input_domain_boundary(const Spatialinfodata& input_grid, const Spatialinfodata& run_grid,
                               int& ncols, int& nrows, int& first_col, int& first_row,
                               int& status) {
    status = 0;
    ncols = nrows = 0;
    first_col = first_row = grid_outside_index;
    float west = std::max(input_grid.west_lon, run_grid.west_lon);
    float east = std::min(input_grid.east_lon, run_grid.east_lon);
    float south = std::max(input_grid.south_lat, run_grid.south_lat);
    float north = std::min(input_grid.north_lat, run_grid.north_lat);
    if (!(west < east) || !(south < north) || !(input_grid.dlon > 0.0f) ||
        !(input_grid.dlat > 0.0f)) {
        status = ornax_status_failure;
        return;
    }
    int last_col = 0, last_row = 0;
    covered_cells(input_grid.west_lon, input_grid.dlon, input_grid.ncols, west, east, first_col,
                  last_col);
    covered_cells(input_grid.south_lat, input_grid.dlat, input_grid.nrows, south, north, first_row,
                  last_row);
    if (last_col < first_col || last_row < first_row) {
        first_col = first_row = grid_outside_index;
        status = ornax_status_failure;
        return;
    }
    ncols = last_col - first_col + 1;
    nrows = last_row - first_row + 1;
}

void extract_2d_real_by_domain(const Spatialinfodata& input_grid, const Real2dArray& input,
                               const Spatialinfodata& output_grid, float fill_value,
                               Real2dArray& output, int& status) {
    status = 0;
    bool steps_ok = input_grid.dlon > 0.0f && input_grid.dlat > 0.0f &&
                    output_grid.dlon <= 2.0f * input_grid.dlon &&
                    output_grid.dlat <= 2.0f * input_grid.dlat;
    if (!steps_ok || input.n1 != input_grid.ncols || input.n2 != input_grid.nrows) {
        status = ornax_status_failure;
        return;
    }
    output.allocate(output_grid.ncols, output_grid.nrows, fill_value);
    for (int row = 1; row <= output_grid.nrows; ++row) {
        float lat = centre_on_axis(output_grid.south_lat, output_grid.dlat, output_grid.nrows, row);
        int in_row = index_on_axis(input_grid.south_lat, input_grid.north_lat, input_grid.dlat,
                                   input_grid.nrows, lat);
        if (in_row == grid_outside_index) continue;
        for (int col = 1; col <= output_grid.ncols; ++col) {
            float lon =
                centre_on_axis(output_grid.west_lon, output_grid.dlon, output_grid.ncols, col);
            int in_col = index_on_axis(input_grid.west_lon, input_grid.east_lon, input_grid.dlon,
                                       input_grid.ncols, lon);
            if (in_col != grid_outside_index) output(col, row) = input(in_col, in_row);
        }
    }
}

void cal_mean_matrix(const Real2dArray& input, int block_cols, int block_rows, float fill_value,
                     Real2dArray& output, int& status) {
    status = 0;
    if (block_cols < 1 || block_rows < 1 || input.n1 < 1 || input.n2 < 1) {
        status = ornax_status_failure;
        return;
    }
    int out_cols = (input.n1 + block_cols - 1) / block_cols;
    int out_rows = (input.n2 + block_rows - 1) / block_rows;
    output.allocate(out_cols, out_rows, fill_value);
    for (int j = 1; j <= out_rows; ++j) {
        for (int i = 1; i <= out_cols; ++i) {
            double sum = 0.0;
            int count = 0;
            for (int r = (j - 1) * block_rows + 1; r <= std::min(j * block_rows, input.n2); ++r) {
                for (int c = (i - 1) * block_cols + 1; c <= std::min(i * block_cols, input.n1);
                     ++c) {
                    float value = input(c, r);
                    if (std::fabs(value - fill_value) <= 1.0e-6f) continue;
                    sum += value;
                    ++count;
                }
            }
            if (count > 0) output(i, j) = static_cast<float>(sum / count);
        }
    }
}

float linear_interp(float x, float x1, float x2, float y1, float y2) {
    if (std::fabs(x2 - x1) <= 1.0e-6f) return 0.0f;
    return y1 + (x - x1) / (x2 - x1) * (y2 - y1);
}

namespace {

// Value of the series at `hour` (0..24, local or UTC as the series is), interpolated
// between the nearest valid values before and after it; the search wraps around midnight.
float interpolate_day(const std::vector<float>& series, float fill_value, float hour) {
    int n = static_cast<int>(series.size());
    float step = 24.0f / static_cast<float>(n);
    auto valid = [&](int i) {
        return std::fabs(series[static_cast<std::size_t>(i)] - fill_value) > 1.0e-6f;
    };
    int base = static_cast<int>(std::floor(hour / step));
    // Walk back from the sample at or before the hour, and forward from the one after it.
    for (int back = 0; back < n; ++back) {
        int i = base - back;
        int wrapped_i = ((i % n) + n) % n;
        if (!valid(wrapped_i)) continue;
        for (int ahead = 1; ahead <= n; ++ahead) {
            int j = base + ahead;
            int wrapped_j = ((j % n) + n) % n;
            if (!valid(wrapped_j)) continue;
            float x1 = step * static_cast<float>(i), x2 = step * static_cast<float>(j);
            if (wrapped_i == wrapped_j) return series[static_cast<std::size_t>(wrapped_i)];
            return linear_interp(hour, x1, x2, series[static_cast<std::size_t>(wrapped_i)],
                                 series[static_cast<std::size_t>(wrapped_j)]);
        }
    }
    return fill_value;
}

}  // namespace

void get_value_from_3hours(const std::vector<float>& series, float fill_value, float hour1,
                           float hour2, float& value1, float& value2, std::vector<float>& hourly,
                           int& status) {
    status = 0;
    hourly.assign(ornax_hours_per_day, fill_value);
    value1 = value2 = fill_value;
    bool any_valid = std::any_of(series.begin(), series.end(),
                                 [&](float v) { return std::fabs(v - fill_value) > 1.0e-6f; });
    if (!any_valid) {
        status = ornax_status_failure;
        return;
    }
    auto day_hour = [](float hour) { return std::fmod(std::fmod(hour, 24.0f) + 24.0f, 24.0f); };
    value1 = interpolate_day(series, fill_value, day_hour(hour1));
    value2 = interpolate_day(series, fill_value, day_hour(hour2));
    for (int h = 1; h <= ornax_hours_per_day; ++h)
        hourly[static_cast<std::size_t>(h - 1)] =
            interpolate_day(series, fill_value, static_cast<float>(h - 1));
}
