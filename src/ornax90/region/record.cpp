// Region data record: allocation and release of the per-line arrays.
#include "ornax90/ORNAX_region_mod.hpp"

#include <algorithm>
#include <new>

#include "ornax90/ORNAX_log_mod.hpp"
#include "utils/fixed_text.hpp"

namespace {

using R = Ornaxregiondatatype;

// One line array of the record, its extents (n2 = 0 for a one-dimensional array), its
// initial value and the text of its allocation message.
struct LineArrayShape {
    std::vector<float> R::*array;
    int n1;
    int n2;
    float fill;
    const char* text;
};

void log_cannot_allocate(int n1, int n2, const char* text) {
    FreeLine message;
    message << "Cannot allocate" << n1;
    if (n2 > 0) message << n2;
    message << text;
    ornax_log_msg(message.str());
}

// Allocates one line array. False (after the log line) when it is already allocated or
// the memory cannot be had. A negative extent gives an empty array.
bool allocate_line_array(Ornaxregiondatatype& region, const LineArrayShape& shape) {
    std::vector<float>& array = region.*(shape.array);
    const std::size_t extent1 = static_cast<std::size_t>(std::max(shape.n1, 0));
    const std::size_t extent2 = shape.n2 > 0 ? static_cast<std::size_t>(shape.n2) : 1;
    bool ok = array.empty();
    if (ok) {
        try {
            array.assign(extent1 * extent2, shape.fill);
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    if (!ok) log_cannot_allocate(shape.n1, shape.n2, shape.text);
    return ok;
}

template <std::size_t N>
bool allocate_all(Ornaxregiondatatype& region, const LineArrayShape (&shapes)[N]) {
    for (const LineArrayShape& shape : shapes) {
        if (!allocate_line_array(region, shape)) return false;
    }
    return true;
}

// Land-cover, snow-mask and vegetation columns.
bool allocate_surface_arrays(Ornaxregiondatatype& region, int land, int snow, int veg) {
    const LineArrayShape shapes[] = {
        {&R::Landcover, land, 0, 0.0f, " for regional Landcover matrix."},
        {&R::aleafn, land, 0, 0.0f, " for regional aleafn matrix."},
        {&R::aleafv, land, 0, 0.0f, " for regional aleafv matrix."},
        {&R::aleafl, land, 0, 0.0f, " for regional aleafl matrix."},
        {&R::adeadn, land, 0, 0.0f, " for regional adeadn matrix."},
        {&R::adeadv, land, 0, 0.0f, " for regional adeadv matrix."},
        {&R::adeadl, land, 0, 0.0f, " for regional adeadl matrix."},
        {&R::xl, land, 0, 0.0f, " for regional xl matrix."},
        {&R::rsoilv, land, 0, 0.0f, " for regional rsoilv matrix."},
        {&R::rsoiln, land, 0, 0.0f, " for regional rsoiln matrix."},
        {&R::rs_correct, land, 0, 0.0f, " for regional rs correction matrix."},
        {&R::snow_mask, snow, 0, 0.0f, " for regional snow_mask matrix."},
        {&R::clump, veg, 0, 0.0f, " for regional clump matrix."},
        {&R::fg, veg, 0, 0.0f, " for regional fg matrix."},
        {&R::xlai, veg, 0, 0.0f, " for regional xlai matrix."},
    };
    return allocate_all(region, shapes);
}

// Meteorological columns, their hourly series and their soundings.
bool allocate_meteo_arrays(Ornaxregiondatatype& region, const Spatialinfodata& met) {
    const int n = met.ncols, hours = met.nhours, levels = met.nlayers;
    const LineArrayShape shapes[] = {
        {&R::taobs1, n, 0, 0.0f, " for regional taobs1 matrix."},
        {&R::spfh1, n, 0, 0.0f, " for regional spfh1 matrix."},
        {&R::wind1, n, 0, 0.0f, " for regional wind1 matrix."},
        {&R::pres1, n, 0, 0.0f, " for regional pres1 matrix."},
        {&R::lwdn1, n, 0, 0.0f, " for regional lwdn1 matrix."},
        {&R::taobs2, n, 0, 0.0f, " for regional taobs2 matrix."},
        {&R::spfh2, n, 0, 0.0f, " for regional spfh2 matrix."},
        {&R::wind2, n, 0, 0.0f, " for regional wind2 matrix."},
        {&R::pres2, n, 0, 0.0f, " for regional pres2 matrix."},
        {&R::lwdn2, n, 0, 0.0f, " for regional lwdn2 matrix."},
        {&R::taobs_day, n, hours, 0.0f, " for taobs_day matrix."},
        {&R::spfh_day, n, hours, 0.0f, " for spfh_day matrix."},
        {&R::wind_day, n, hours, 0.0f, " for wind_day matrix."},
        {&R::pres_day, n, hours, 0.0f, " for pres_day matrix."},
        {&R::lwdn_day, n, hours, 0.0f, " for lwdn_day matrix."},
        {&R::th_pblk, n, levels, 0.0f, " for th_pblk matrix."},
        {&R::z_pbli, n, levels, 0.0f, " for z_pbli matrix."},
    };
    return allocate_all(region, shapes);
}

// Satellite columns, starting at the satellite grid's missing value.
bool allocate_satellite_arrays(Ornaxregiondatatype& region, const Spatialinfodata& sat) {
    const int n = sat.ncols;
    const float missing = sat.spare_value;
    const LineArrayShape shapes[] = {
        {&R::theta, n, 0, missing, " for View Angle (theta) matrix."},
        {&R::tloc1, n, 0, missing, " for tloc1 matrix."},
        {&R::trad1, n, 0, missing, " for trad1 matrix."},
        {&R::tloc2, n, 0, missing, " for tloc2 matrix."},
        {&R::trad2, n, 0, missing, " for trad2 matrix."},
        {&R::sdn1, n, 0, missing, " for sdn1 matrix."},
        {&R::sdn2, n, 0, missing, " for sdn2 matrix."},
        {&R::sdn_day, n, sat.nhours, missing, " for sdn_day matrix."},
    };
    return allocate_all(region, shapes);
}

// Run-grid columns: pixel positions, output matrix (when variables are listed) and the
// quality flags, which start at 0.
bool allocate_run_arrays(Ornaxregiondatatype& region, int n) {
    const LineArrayShape positions[] = {
        {&R::xlat, n, 0, 0.0f, " for xlat matrix."},
        {&R::xlon, n, 0, 0.0f, " for xlat matrix."},
    };
    if (!allocate_all(region, positions)) return false;
    if (region.out_var_count > 0 &&
        !allocate_line_array(region, {&R::out_var_matrix, n, region.out_var_count, 0.0f,
                                      " for output variable matrix."})) {
        return false;
    }
    return allocate_line_array(region, {&R::qc_flag, n, 0, 0.0f, " for Meteorological matrix."});
}

}  // namespace

void ornax_init_region_data(Ornaxregiondatatype& region, const Spatialinfodata& run_grid,
                            const Spatialinfodata& land_grid, const Spatialinfodata& veg_grid,
                            const Spatialinfodata& snow_grid, const Spatialinfodata& met_grid,
                            const Spatialinfodata& sat_grid, int& status) {
    status = 0;
    if (region.line_allocated) {
        // The previous line was not released: its first array is still held.
        log_cannot_allocate(land_grid.ncols, 0, " for regional Landcover matrix.");
        status = ornax_status_failure;
        return;
    }
    region.line_allocated = true;
    region.forcing_read_failures = 0;
    region.run_ncols = run_grid.ncols;
    region.land_ncols = land_grid.ncols;
    region.veg_ncols = veg_grid.ncols;
    region.snow_ncols = snow_grid.ncols;
    region.met_ncols = met_grid.ncols;
    region.met_nlayers = met_grid.nlayers;
    region.met_nhours = met_grid.nhours;
    region.sat_ncols = sat_grid.ncols;
    region.sat_nhours = sat_grid.nhours;
    region.sdn_day_ncols = sat_grid.ncols;
    region.sdn_day_nhours = sat_grid.nhours;
    const bool ok =
        allocate_surface_arrays(region, land_grid.ncols, snow_grid.ncols, veg_grid.ncols) &&
        allocate_meteo_arrays(region, met_grid) && allocate_satellite_arrays(region, sat_grid) &&
        allocate_run_arrays(region, run_grid.ncols);
    if (!ok) status = ornax_status_failure;
}

void ornax_finalize_region_data(Ornaxregiondatatype& region, int& status, bool keep_memory) {
    status = 0;
    std::vector<float> R::*const arrays[] = {
        &R::Landcover, &R::aleafn,    &R::aleafv,         &R::aleafl,
        &R::adeadn,    &R::adeadv,    &R::adeadl,         &R::xl,
        &R::rsoilv,    &R::rsoiln,    &R::rs_correct,     &R::snow_mask,
        &R::clump,     &R::fg,        &R::xlai,           &R::taobs1,
        &R::spfh1,     &R::wind1,     &R::pres1,          &R::lwdn1,
        &R::taobs2,    &R::spfh2,     &R::wind2,          &R::pres2,
        &R::lwdn2,     &R::taobs_day, &R::spfh_day,       &R::wind_day,
        &R::pres_day,  &R::lwdn_day,  &R::th_pblk,        &R::z_pbli,
        &R::theta,     &R::tloc1,     &R::trad1,          &R::tloc2,
        &R::trad2,     &R::sdn1,      &R::sdn2,           &R::sdn_day,
        &R::xlat,      &R::xlon,      &R::out_var_matrix, &R::qc_flag,
    };
    for (std::vector<float> R::*array : arrays) {
        // Swapping with an empty vector gives the memory back.
        if (keep_memory)
            (region.*array).clear();
        else
            std::vector<float>().swap(region.*array);
    }
    region.line_allocated = false;
}
