// Record set-up and release operations.
#include "ornax90/ORNAX_data_mod.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iostream>
#include <new>

#include "baseforcing/GFS/GFS_io_mod.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "utils/fixed_text.hpp"

std::int16_t debug_iflag = 0;

// ===================================================================================
// Core records
// ===================================================================================

void reset_out_var(Ornaxoutputvartype& output) {
    reset_out_lanes(output);
}

Ornaxpointlanes<float> ornax_point_lanes(const Ornaxlandtype& land,
                                         const Ornaxinputvartype& input) {
    Ornaxpointlanes<float> p;
    p.days = ornax_sun_days(input.doy, input.year);
    p.lat = input.lat, p.lon = input.lon;
    p.tloc1 = input.tloc1, p.tloc2 = input.tloc2, p.trad1 = input.trad1, p.trad2 = input.trad2;
    p.sdn1 = input.sdn1, p.sdn2 = input.sdn2, p.lwdn1 = input.lwdn1, p.lwdn2 = input.lwdn2;
    p.taobs2 = input.taobs2, p.pres2 = input.pres2, p.spfh2 = input.spfh2;
    p.xlai = input.xlai, p.clump = input.clump, p.theta = input.theta, p.zu = input.zu;
    p.xl = input.xl, p.fc = input.fc, p.fg = input.fg;
    p.rsoilv = input.rsoilv, p.rsoiln = input.rsoiln, p.emis_soil = input.emis_soil;
    p.rs_correct = input.rs_correct;
    p.aleafv = land.aleafv, p.aleafn = land.aleafn, p.aleafl = land.aleafl;
    p.adeadv = land.adeadv, p.adeadn = land.adeadn, p.adeadl = land.adeadl;
    p.water = land.water_flag == 1 ? 1.0f : 0.0f;
    p.tloc_day = input.tloc_day, p.sdn_day = input.sdn_day, p.lwdn_day = input.lwdn_day;
    p.taobs_day = input.taobs_day, p.pres_day = input.pres_day, p.spfh_day = input.spfh_day;
    p.wind_day = input.wind_day;
    return p;
}

void ornax_error_code(int flag, int code, int& status) {
    if (flag != 0) {
        switch (code) {
            case 0: ornax_log_msg("*** CONVERGED ***"); break;
            case 1: ornax_log_msg("*** HN did not converge. Fail ***"); break;
            case 2: ornax_log_msg("*** Bad input.  Fail ***"); break;
            case 3: ornax_log_msg("*** Exceeded max PBL profile layer. Fail ***"); break;
            default: ornax_log_msg("Unknow error code" + write_i(code, 5)); break;
        }
    }
    status = 0;
}

// ===================================================================================
// Common grid set-up and release
// ===================================================================================

namespace {

// Failure report of the common grid set-up: four 300-character texts in one line.
void write_common_grid_failure(const std::string& error_text) {
    const std::string table[] = {"program:  VESK", "  routine:  VESK_common_grid_init",
                                 "  error during processing:", error_text};
    FreeLine line;
    for (const std::string& text : table) line << write_a(text + std::string(300, ' '), 300);
    std::cout << trim_right(line.str()) << '\n';
}

}  // namespace

void ornax_common_grid_init(Ornaxcommonblock& common, int& status) {
    if (common.ncols < 1 || common.nrows < 1) {
        write_common_grid_failure(FreeLine()
                                  << "Wrong matrix dimension size" << common.ncols << common.nrows);
        status = ornax_status_failure;
        return;
    }
    try {
        const auto cells =
            static_cast<std::size_t>(common.ncols) * static_cast<std::size_t>(common.nrows);
        common.ptr_land_grid.assign(cells, Ornaxsinglegrid{});
    } catch (const std::bad_alloc&) {
        write_common_grid_failure(" Error in allocating the land grid for common grid");
        status = ornax_status_failure;
        return;
    }
    common.land_count = 0;
    if (common.nhours < 1) {
        write_common_grid_failure("  status = wrong time size");
        status = ornax_status_failure;
        return;
    }
    // Whole-grid series are never held: the line processing reads one row at a time.
    if (common.met_flag != 3) {
        std::cout << " Wrong meteorological flag in the input config file\n";
        status = ornax_status_failure;
        return;
    }
    std::cout << std::string(FreeLine() << "CFSR Ini with" << trim_right(common.gfs_config_file))
              << '\n';
    // A configuration that cannot be read reports itself; the store is set up regardless.
    int config_status = 0;
    gfs_read_config(common.gfs_config_file, common.gfs_struc, config_status);
    gfs_init(common.gfs_struc, status);
    if (status != 0) status = ornax_status_failure;
}

void ornax_common_grid_finalize(Ornaxcommonblock& common, int& status) {
    status = 0;
    std::vector<Ornaxsinglegrid>().swap(common.ptr_land_grid);
    std::cout << " Releasing 3-d data in the common grid\n";
    if (common.met_flag == 2 || common.met_flag == 3) {
        int store_status = 0;
        gfs_finalize(common.gfs_struc, store_status);
        if (store_status != 0) status = ornax_status_failure;
    } else {
        status = ornax_status_failure;
    }
}

// ===================================================================================
// Model grid set-up and release
// ===================================================================================

namespace {

// Gives an unallocated array n elements; false when it is already allocated or the
// memory cannot be had.
bool allocate_line_array(std::vector<float>& array, std::size_t n) {
    if (!array.empty()) {
        return false;
    }
    try {
        array.assign(n, 0.0f);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void release_line_array(std::vector<float>& array) {
    std::vector<float>().swap(array);
}

// Per-line results at the two observation times, in allocation order.
std::array<std::vector<float>*, 18> observation_arrays(Ornaxmeteoornax& grid) {
    return {&grid.taobs1, &grid.pres1,    &grid.spfh1,   &grid.wind1,  &grid.lwdn1,
            &grid.swdn1,  &grid.cfslst1,  &grid.lhtfl1,  &grid.taobs2, &grid.pres2,
            &grid.spfh2,  &grid.wind2,    &grid.lwdn2,   &grid.swdn2,  &grid.cfslst2,
            &grid.lhtfl2, &grid.th_pblk1, &grid.th_pblk2};
}

struct GridArray {
    std::vector<float>* array;
    std::size_t size;
    const char* message;
};

}  // namespace

void ornax_ornax_grid_init(Ornaxmeteoornax& grid, const Ornaxcommonblock& /*common*/, int& status) {
    if (grid.ncols < 2 || grid.nrows < 2) {
        ornax_screen_line(
            (FreeLine() << "ORNAX spatial domain size is not set" << grid.ncols << grid.nrows)
                .str());
        status = ornax_status_failure;
        return;
    }
    const std::size_t nc = static_cast<std::size_t>(grid.ncols);
    const std::size_t nl = static_cast<std::size_t>(std::max(grid.nlayers, 0));
    const std::size_t nh = static_cast<std::size_t>(std::max(grid.nhours, 0));
    const std::size_t profile = grid.hourly_profiles ? nc * nl * nh : 0;
    // The observation-time results are allocated without a check of their own.
    auto results = observation_arrays(grid);
    for (std::size_t n = 0; n < results.size(); ++n) {
        allocate_line_array(*results[n], n < 16 ? nc : nc * nl);
    }
    const GridArray arrays[] = {
        {&grid.land, nc, "Cannot allocate ORNAX grid land matrix"},
        {&grid.lat, nc, "Cannot allocate ORNAX grid lat matrix"},
        {&grid.lon, nc, "Cannot allocate ORNAX grid lon matrix"},
        {&grid.sun_rise_time1, nc, "Cannot allocate ORNAX grid sun_rise_time1"},
        {&grid.sun_rise_time2, nc, "Cannot allocate ORNAX grid sun_rise_time2"},
        {&grid.lwdn_surface_series, nc * nh, "Cannot allocate lwdn_surface_series"},
        {&grid.swdn_surface_series, nc * nh, "Cannot allocate swdn_surface_series"},
        {&grid.cfslst_surface_series, nc * nh, "Cannot allocate cfslst_surface_series"},
        {&grid.lhtfl_surface_series, nc * nh, "Cannot allocate lhtfl_surface_series"},
        {&grid.wind_surface_series, nc * nh, "Cannot allocate ORNAX wind surface series"},
        {&grid.temp_surface_series, nc * nh, "Cannot allocate ORNAX temp surface series"},
        {&grid.spfh_surface_series, nc * nh, "Cannot allocate ORNAX spfh surface series"},
        {&grid.pres_surface_series, nc * nh, "Cannot allocate ORNAX pres surface series"},
        {&grid.height_profile, profile, "Cannot allocate ORNAX height_profile"},
        {&grid.pot_profile, profile, "Cannot allocate ORNAX pot_profile"},
        {&grid.temp_profile, profile, "Cannot allocate ORNAX temp_profile"},
        {&grid.spfh_profile, profile, "Cannot allocate ORNAX spfh profile."},
        {&grid.pressure_profile, profile, "Cannot allocate ORNAX pressure profile."},
    };
    for (const GridArray& entry : arrays) {
        if (!allocate_line_array(*entry.array, entry.size)) {
            ornax_screen_line((FreeLine() << entry.message).str());
            status = ornax_status_failure;
            return;
        }
    }
    status = 0;
}

void ornax_ornax_grid_finalize(Ornaxmeteoornax& grid, int& status) {
    status = 0;
    for (std::vector<float>* array : observation_arrays(grid)) {
        release_line_array(*array);
    }
    std::vector<float>* arrays[] = {&grid.land,
                                    &grid.lat,
                                    &grid.lon,
                                    &grid.sun_rise_time1,
                                    &grid.sun_rise_time2,
                                    &grid.lwdn_surface_series,
                                    &grid.swdn_surface_series,
                                    &grid.cfslst_surface_series,
                                    &grid.lhtfl_surface_series,
                                    &grid.wind_surface_series,
                                    &grid.temp_surface_series,
                                    &grid.spfh_surface_series,
                                    &grid.pres_surface_series,
                                    &grid.temp_profile,
                                    &grid.pot_profile,
                                    &grid.spfh_profile,
                                    &grid.pressure_profile,
                                    &grid.height_profile};
    // Releasing a vector cannot fail, so none of the release messages can arise.
    for (std::vector<float>* array : arrays) {
        release_line_array(*array);
    }
}
