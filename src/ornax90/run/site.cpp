// Site run: the site file and class table read, the core run on the site, and the
// report written to the screen.
#include "ornax90/ORNAX_run_mod.hpp"

#include <iostream>
#include <vector>

#include "ornax90/ORNAX_core_mod.hpp"
#include "ornax90/ORNAX_io_mod.hpp"
#include "ornax90/ORNAX_log_mod.hpp"
#include "utils/fixed_text.hpp"

namespace {

inline constexpr int site_last_class = 19;  // classes a site may use: 1..19

void site_screen(const std::string& line) {
    std::cout << line << '\n';
}

// The site's class must lie in 1..19 and inside the part of the table that was read.
bool site_class_known(int landcover, int nclasses) {
    if (landcover >= 1 && landcover <= site_last_class && landcover <= nclasses) return true;
    site_screen(FreeLine() << "Unknown land cover class" << landcover);
    site_screen(FreeLine() << "ORNAX exit error");
    return false;
}

}  // namespace

void ornax_run_point(const std::string& landcover_table_file, const std::string& site_input_file,
                     int run_mode, int input_flag, int& status) {
    status = ornax_status_failure;
    std::vector<Ornaxlandtype> table;
    int nclasses = 0, step = 0;
    ornax_read_landcover_table(landcover_table_file, table, nclasses, step);
    if (step != 0 || nclasses < 1) {
        site_screen("Land cover read in error" + write_i(nclasses, 4) + "read");
        if (step == 0)  // opened and read, but no class in it
            ornax_log_failure("the land-cover class table \"" + trim_right(landcover_table_file) +
                              "\" holds no land-cover class");
        std::cout.flush();
        return;
    }
    if (input_flag != 2) {
        ornax_log_msg((FreeLine() << "Invalid input flag" << input_flag).str());
        return;
    }
    Ornaxlandtype land;
    Ornaxinputvartype input;
    ornax_read_site_inputs(site_input_file, land, input, step);
    if (step != 0) {
        site_screen("Error in reading ORNAX input data");
        std::cout.flush();
        return;
    }
    const int landcover = input.landcover;
    if (!site_class_known(landcover, nclasses)) {
        std::cout.flush();
        return;
    }
    const Ornaxlandtype& entry = table[static_cast<std::size_t>(landcover - 1)];
    site_screen(" Site soil resistance:" + write_i(entry.landcover, 4) +
                write_f(entry.rsoil, 10, 2));
    site_screen("Read in data done.");
    site_screen("Start executing ORNAX at lat " + write_f(input.lat, 8, 2) + " lon " +
                write_f(input.lon, 8, 2));
    // class values replace the file's, leaf values and the derived fc, hc, xl stay
    ornax_copy_land_parameters(entry, land, step);
    input.rs_correct = 0.0f;  // no soil-resistance correction in site mode
    site_screen(FreeLine() << "Use read in lc" << landcover << " to run ORNAX");
    ornax_display_inputs(land, input);

    Ornaxoutputvartype output;
    ornax(land, input, output, run_mode, 0, step);
    if (step == 0) {
        ornax_write_site_outputs(land, input, output, step);
        site_screen("ORNAX finish successfully");
        status = 0;
    } else {
        site_screen("Error in running ORNAX model");
    }
    std::cout.flush();
}
