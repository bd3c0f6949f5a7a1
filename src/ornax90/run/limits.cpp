// Grid-size maxima of a run: every extent is checked before the arrays it sizes exist.
#include <algorithm>
#include <string>

#include "ornax90/ORNAX_log_mod.hpp"
#include "ornax90/ORNAX_run_mod.hpp"

namespace {

// One extent against its maximum; false (cause logged) when outside 0..maximum.
bool extent_fits(const char* extent, int value, int maximum, const std::string& what,
                 const std::string& file) {
    if (value >= 0 && value <= maximum) return true;
    ornax_log_failure("The " + what + " of " + file + " has " + std::to_string(value) + " " +
                      extent + ", outside 0 to " + std::to_string(maximum));
    return false;
}

long long at_least_zero(int value) {
    return std::max(value, 0);
}

}  // namespace

void ornax_check_grid_limits(const Spatialinfodata& grid, const std::string& what,
                             const std::string& file, int& status) {
    const bool fits = extent_fits("columns", grid.ncols, ornax_max_grid_cols, what, file) &&
                      extent_fits("rows", grid.nrows, ornax_max_grid_rows, what, file) &&
                      extent_fits("layers", grid.nlayers, ornax_max_grid_layers, what, file) &&
                      extent_fits("hours", grid.nhours, ornax_max_grid_hours, what, file);
    status = fits ? 0 : 3;
}

void ornax_check_common_grid_limits(const Ornaxcommonblock& common, const std::string& file,
                                    int& status) {
    const std::string what = "common grid";
    const bool fits = extent_fits("columns", common.ncols, ornax_max_grid_cols, what, file) &&
                      extent_fits("rows", common.nrows, ornax_max_grid_rows, what, file) &&
                      extent_fits("layers", common.nlayers, ornax_max_grid_layers, what, file) &&
                      extent_fits("hours", common.nhours, ornax_max_grid_hours, what, file);
    status = fits ? 0 : 3;
}

long long ornax_region_line_values(const Spatialinfodata& run, const Spatialinfodata& land,
                                   const Spatialinfodata& veg, const Spatialinfodata& snow,
                                   const Spatialinfodata& met, const Spatialinfodata& sat,
                                   int out_var_count) {
    // Arrays per column of each grid, as the region data record allocates them: 11 land
    // parameters; the snow mask; clumping, green fraction and leaf area; 10 values at the
    // observation times, 5 hourly series and 2 soundings of the meteorology; 7 satellite
    // values and the hourly insolation; positions, quality and the listed outputs.
    const long long met_per_col =
        10 + 5 * at_least_zero(met.nhours) + 2 * at_least_zero(met.nlayers);
    return 11 * at_least_zero(land.ncols) + at_least_zero(snow.ncols) +
           3 * at_least_zero(veg.ncols) + met_per_col * at_least_zero(met.ncols) +
           (7 + at_least_zero(sat.nhours)) * at_least_zero(sat.ncols) +
           (3 + at_least_zero(out_var_count)) * at_least_zero(run.ncols);
}
