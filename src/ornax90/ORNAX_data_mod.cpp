// Record set-up and release operations.
#include "ORNAX_data_mod.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iostream>
#include <new>

#include "GFS_io_mod.hpp"
#include "ORNAX_log_mod.hpp"
#include "fixed_text_mod.hpp"

std::int16_t debug_iflag = 0;

// ===================================================================================
// Core records
// ===================================================================================

void reset_out_var(Ornaxoutputvartype& output) {
    const float ts2 = output.TS2;
    const float tc2 = output.TC2;
    output.ZEN1 = output.TA1 = output.SPARE1 = output.RNET1 = 0.0f;
    output.XLES2 = output.HS2 = output.XLEC2 = output.HC2 = 0.0f;
    output.XLE2 = output.H2 = output.G2 = output.ZEN2 = output.TA2 = 0.0f;
    output.SPARE2 = output.RNET2 = output.Z2 = output.RA2 = output.RS2 = output.RX2 = 0.0f;
    output.SWUP = output.LWUP = output.SNETDAY = output.RSOILDAY = output.SDDAY = 0.0f;
    output.SWUPDAY = output.LWUPDAY = output.LWDNDAY = output.EREFDAY = 0.0f;
    output.HDAY = output.GDAY = output.EDAY = output.ESDAY = output.ECDAY = 0.0f;
    output.TS2 = ts2;
    output.TC2 = tc2;
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
    for (const std::string& text : table)
        line << write_a(text + std::string(300, ' '), 300);
    std::cout << trim_right(line.str()) << '\n';
}

}  // namespace

void ornax_common_grid_init(Ornaxcommonblock& common, int& status) {
    if (common.ncols < 1 || common.nrows < 1) {
        write_common_grid_failure(FreeLine()
                                  << "Wrong matrix dimension size" << common.ncols << common.nrows);
        status = 3;
        return;
    }
    try {
        const auto cells =
            static_cast<std::size_t>(common.ncols) * static_cast<std::size_t>(common.nrows);
        common.ptr_land_grid.assign(cells, Ornaxsinglegrid{});
    } catch (const std::bad_alloc&) {
        write_common_grid_failure(" Error in allocating the land grid for common grid");
        status = 3;
        return;
    }
    common.land_count = 0;
    if (common.nhours < 1) {
        write_common_grid_failure("  status = wrong time size");
        status = 3;
        return;
    }
    // Whole-grid series are never held: the line processing reads one row at a time.
    if (common.met_flag != 3) {
        std::cout << " Wrong meteorological flag in the input config file\n";
        status = 3;
        return;
    }
    std::cout << std::string(FreeLine() << "CFSR Ini with" << trim_right(common.gfs_config_file))
              << '\n';
    // A configuration that cannot be read reports itself; the store is set up regardless.
    int config_status = 0;
    gfs_read_config(common.gfs_config_file, common.gfs_struc, config_status);
    gfs_init(common.gfs_struc, status);
    if (status != 0) status = 3;
}

void ornax_common_grid_finalize(Ornaxcommonblock& common, int& status) {
    status = 0;
    std::vector<Ornaxsinglegrid>().swap(common.ptr_land_grid);
    std::cout << " Releasing 3-d data in the common grid\n";
    if (common.met_flag == 2 || common.met_flag == 3) {
        int store_status = 0;
        gfs_finalize(common.gfs_struc, store_status);
        if (store_status != 0) status = 3;
    } else {
        status = 3;
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
    return {&grid.taobs1, &grid.pres1, &grid.spfh1,   &grid.wind1,   &grid.lwdn1,
            &grid.swdn1,  &grid.cfslst1, &grid.lhtfl1, &grid.taobs2, &grid.pres2,
            &grid.spfh2,  &grid.wind2, &grid.lwdn2,   &grid.swdn2,   &grid.cfslst2,
            &grid.lhtfl2, &grid.th_pblk1, &grid.th_pblk2};
}

struct GridArray {
    std::vector<float>* array;
    std::size_t size;
    const char* message;
};

}  // namespace

void ornax_ornax_grid_init(Ornaxmeteoornax& grid, const Ornaxcommonblock& /*common*/,
                           int& status) {
    if (grid.ncols < 2 || grid.nrows < 2) {
        ornax_screen_line(
            (FreeLine() << "ORNAX spatial domain size is not set" << grid.ncols << grid.nrows)
                .str());
        status = 3;
        return;
    }
    const std::size_t nc = static_cast<std::size_t>(grid.ncols);
    const std::size_t nl = static_cast<std::size_t>(std::max(grid.nlayers, 0));
    const std::size_t nh = static_cast<std::size_t>(std::max(grid.nhours, 0));
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
        {&grid.height_profile, nc * nl * nh, "Cannot allocate ORNAX height_profile"},
        {&grid.pot_profile, nc * nl * nh, "Cannot allocate ORNAX pot_profile"},
        {&grid.temp_profile, nc * nl * nh, "Cannot allocate ORNAX temp_profile"},
        {&grid.spfh_profile, nc * nl * nh, "Cannot allocate ORNAX spfh profile."},
        {&grid.pressure_profile, nc * nl * nh, "Cannot allocate ORNAX pressure profile."},
    };
    for (const GridArray& entry : arrays) {
        if (!allocate_line_array(*entry.array, entry.size)) {
            ornax_screen_line((FreeLine() << entry.message).str());
            status = 3;
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
    std::vector<float>* arrays[] = {
        &grid.land, &grid.lat, &grid.lon, &grid.sun_rise_time1, &grid.sun_rise_time2,
        &grid.lwdn_surface_series, &grid.swdn_surface_series, &grid.cfslst_surface_series,
        &grid.lhtfl_surface_series, &grid.wind_surface_series, &grid.temp_surface_series,
        &grid.spfh_surface_series, &grid.pres_surface_series, &grid.temp_profile,
        &grid.pot_profile, &grid.spfh_profile, &grid.pressure_profile, &grid.height_profile};
    // Releasing a vector cannot fail, so none of the release messages can arise.
    for (std::vector<float>* array : arrays) {
        release_line_array(*array);
    }
}

