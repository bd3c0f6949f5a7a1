// Site run and region run drivers.
#pragma once

#include <string>

// Site run: class table, site input file, core, site report. status 0 or 3.
void ornax_run_point(const std::string& landcover_table_file, const std::string& site_input_file,
                     int run_mode, int input_flag, int& status);

// Region run: configuration, static set-up, then every line of the run grid. status 0 or 3.
void ornax_run_region(const std::string& region_config_file, int run_mode, int region_switch,
                      int year, int doy, int& status);
