// Assembly of one pixel's land and input records from the line arrays of the region
// record, with the conversion of the gridded inputs to the core's units.
#include <algorithm>
#include <cmath>

#include "ornax90/ORNAX_region_mod.hpp"
#include "ornax90/ornax_constants_mod.hpp"

namespace {

constexpr float pascal_to_mb = 0.01f;        // 1 mb = 100 Pa
constexpr float humidity_to_input = 100.0f;  // humidity as the core takes it
constexpr float missing_tolerance = 1e-6f;   // a value within this of the missing value is missing

bool inside_grid(const Spatialinfodata& grid, int col, int row) {
    return row >= 1 && row <= grid.nrows && col >= 1 && col <= grid.ncols;
}

// Element of a line array at a 0-based index; false when the array does not hold it.
bool element_at(const std::vector<float>& array, std::size_t index, float& value) {
    if (index >= array.size()) return false;
    value = array[index];
    return true;
}

bool is_present(float value, float missing) {
    return std::fabs(value - missing) > missing_tolerance;
}

}  // namespace

void ornax_set_land_parms_by_col_row(const Spatialinfodata& grid, const Ornaxregiondatatype& region,
                                     int col, int row,
                                     const std::vector<Ornaxlandtype>& class_table, int class_count,
                                     Ornaxlandtype& land, int& status) {
    status = ornax_status_failure;
    const std::size_t i = static_cast<std::size_t>(col - 1);
    float class_value = 0.0f;
    if (!inside_grid(grid, col, row) || !element_at(region.Landcover, i, class_value)) return;
    // Land classes are 2..20; the value is truncated toward zero.
    if (!(class_value >= 2.0f && class_value < 21.0f)) return;
    const int land_class = static_cast<int>(class_value);
    if (land_class > class_count || land_class > static_cast<int>(class_table.size())) return;
    Ornaxlandtype line_values;
    const bool held = element_at(region.aleafv, i, line_values.aleafv) &&
                      element_at(region.aleafn, i, line_values.aleafn) &&
                      element_at(region.aleafl, i, line_values.aleafl) &&
                      element_at(region.adeadv, i, line_values.adeadv) &&
                      element_at(region.adeadn, i, line_values.adeadn) &&
                      element_at(region.adeadl, i, line_values.adeadl) &&
                      element_at(region.xl, i, line_values.xl);
    if (!held) return;
    const Ornaxlandtype& entry = class_table[static_cast<std::size_t>(land_class - 1)];
    land.landcover = land_class;
    land.aleafv = line_values.aleafv;
    land.aleafn = line_values.aleafn;
    land.aleafl = line_values.aleafl;
    land.adeadv = line_values.adeadv;
    land.adeadn = line_values.adeadn;
    land.adeadl = line_values.adeadl;
    land.xl = line_values.xl;
    land.rsoil = entry.rsoil;
    land.hmin = entry.hmin;
    land.hmax = entry.hmax;
    land.fcmin = entry.fcmin;
    land.water_flag = entry.water_flag;
    land.perennial_flag = entry.perennial_flag;
    land.modis_class = entry.modis_class;
    status = 0;
}

void ornax_set_vegetation_by_col_row(const Spatialinfodata& grid, const Ornaxregiondatatype& region,
                                     int col, int row, const Ornaxlandtype& land,
                                     Ornaxinputvartype& input, int& status) {
    status = ornax_status_failure;
    float lai = 0.0f;
    if (!inside_grid(grid, col, row) ||
        !element_at(region.xlai, static_cast<std::size_t>(col - 1), lai)) {
        return;
    }
    input.xlai = lai;
    input.xndvi = 1.0f;
    input.xl = land.xl;
    input.fg = 1.0f;
    input.clump = 1.0f;
    // Cover fraction of a random canopy with a leaf projection of 0.5.
    input.fc = std::clamp(1.0f - std::exp(-0.5f * lai), 0.0f, 1.0f);
    input.hc = (land.hmax - land.hmin) * input.fc + land.hmin;
    status = 0;
}

void ornax_set_goes_gsip16_by_col_row(const Spatialinfodata& grid,
                                      const Ornaxregiondatatype& region, int col, int row,
                                      Ornaxinputvartype& input, int& status) {
    status = ornax_status_failure;
    const std::size_t i = static_cast<std::size_t>(col - 1);
    float theta = 0, trad1 = 0, trad2 = 0, tloc1 = 0, tloc2 = 0, sdn1 = 0, sdn2 = 0;
    const bool held = inside_grid(grid, col, row) && grid.nhours <= ornax_hours_per_day &&
                      element_at(region.theta, i, theta) && element_at(region.trad1, i, trad1) &&
                      element_at(region.trad2, i, trad2) && element_at(region.tloc1, i, tloc1) &&
                      element_at(region.tloc2, i, tloc2) && element_at(region.sdn1, i, sdn1) &&
                      element_at(region.sdn2, i, sdn2);
    if (!held) return;
    status = 0;
    const float missing = grid.spare_value;
    input.theta = theta;
    if (is_present(trad1, missing) && is_present(trad2, missing)) {
        input.trad1 = trad1 - ornax_tkelvin;
        input.trad2 = trad2 - ornax_tkelvin;
        input.tloc1 = tloc1;
        input.tloc2 = tloc2;
    } else {
        status = ornax_status_failure;
    }
    input.sdn1 = sdn1;
    input.sdn2 = sdn2;
    // Hourly insolation at the satellite column of the array as it is held; a negative
    // value, or an hour or column the array does not hold, is missing.
    for (int h = 1; h <= grid.nhours; ++h) {
        float sdn = -1.0f;
        if (col <= region.sdn_day_ncols && h <= region.sdn_day_nhours) {
            element_at(region.sdn_day, region_2d_index(col, h, region.sdn_day_ncols), sdn);
        }
        if (sdn >= 0.0f) {
            input.sdn_day[static_cast<std::size_t>(h - 1)] = sdn;
        } else {
            input.sdn_day[static_cast<std::size_t>(h - 1)] = missing;
            status = ornax_status_failure;
        }
    }
}

void ornax_set_meteo_by_col_row(const Spatialinfodata& grid, const Ornaxregiondatatype& region,
                                int col, int row, Ornaxinputvartype& input, int& status) {
    status = ornax_status_failure;
    const std::size_t i = static_cast<std::size_t>(col - 1);
    const int nlayers = grid.nlayers, nhours = grid.nhours, ncols = region.met_ncols;
    const std::size_t last_level = region_2d_index(col, std::max(nlayers, 1), ncols);
    const std::size_t last_hour = region_2d_index(col, std::max(nhours, 1), ncols);
    float taobs1 = 0, taobs2 = 0, check = 0;
    const bool held = inside_grid(grid, col, row) && col <= ncols &&
                      nlayers <= ornax_max_pbl_levels && nhours <= ornax_hours_per_day &&
                      element_at(region.taobs1, i, taobs1) &&
                      element_at(region.taobs2, i, taobs2) && element_at(region.spfh1, i, check) &&
                      element_at(region.spfh2, i, check) && element_at(region.wind1, i, check) &&
                      element_at(region.wind2, i, check) && element_at(region.pres1, i, check) &&
                      element_at(region.pres2, i, check) && element_at(region.lwdn1, i, check) &&
                      element_at(region.lwdn2, i, check) &&
                      (nlayers < 1 || (element_at(region.z_pbli, last_level, check) &&
                                       element_at(region.th_pblk, last_level, check))) &&
                      (nhours < 1 || (element_at(region.taobs_day, last_hour, check) &&
                                      element_at(region.spfh_day, last_hour, check) &&
                                      element_at(region.wind_day, last_hour, check) &&
                                      element_at(region.pres_day, last_hour, check) &&
                                      element_at(region.lwdn_day, last_hour, check)));
    if (!held || !is_present(taobs1, grid.spare_value) || !is_present(taobs2, grid.spare_value)) {
        return;
    }
    input.taobs1 = taobs1 - ornax_tkelvin;
    input.taobs2 = taobs2 - ornax_tkelvin;
    input.spfh1 = humidity_to_input * region.spfh1[i];
    input.spfh2 = humidity_to_input * region.spfh2[i];
    input.wind1 = region.wind1[i];
    input.wind2 = region.wind2[i];
    input.lwdn1 = region.lwdn1[i];
    input.lwdn2 = region.lwdn2[i];
    input.pres1 = pascal_to_mb * region.pres1[i];
    input.pres2 = pascal_to_mb * region.pres2[i];
    // The line holds the sounding from the top down; the core wants it rising.
    for (int level = 1; level <= nlayers; ++level) {
        const std::size_t from = region_2d_index(col, level, ncols);
        const std::size_t to = static_cast<std::size_t>(nlayers - level);
        input.z_pbli[to] = region.z_pbli[from];
        input.th_pblk[to] = region.th_pblk[from];
    }
    for (int h = 1; h <= nhours; ++h) {
        const std::size_t from = region_2d_index(col, h, ncols);
        const std::size_t to = static_cast<std::size_t>(h - 1);
        input.taobs_day[to] = region.taobs_day[from] - ornax_tkelvin;
        input.spfh_day[to] = humidity_to_input * region.spfh_day[from];
        input.wind_day[to] = region.wind_day[from];
        input.pres_day[to] = pascal_to_mb * region.pres_day[from];
        input.lwdn_day[to] = region.lwdn_day[from];
    }
    status = 0;
}
