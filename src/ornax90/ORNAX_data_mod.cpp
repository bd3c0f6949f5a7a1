// Record set-up and release operations.
#include "ORNAX_data_mod.hpp"

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
// Common grid set-up and release (forcing-a work)
// ===================================================================================

#include <iostream>
#include <new>

#include "GFS_io_mod.hpp"

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
        write_common_grid_failure(FreeLine() << "Wrong matrix dimension size" << common.ncols
                                             << common.nrows);
        status = 3;
        return;
    }
    try {
        const auto cells = static_cast<std::size_t>(common.ncols) * static_cast<std::size_t>(common.nrows);
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

// ---- end of common grid ----

// ===================================================================================
// Model grid set-up and release (forcing-b work)
// ===================================================================================

// ---- end of model grid ----
