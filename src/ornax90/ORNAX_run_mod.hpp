// Site run and region run drivers.
#pragma once

#include <string>

#include "ORNAX_data_mod.hpp"

// Largest grids a run accepts. Extents are checked before anything is allocated, so a
// mistyped description is refused with a message instead of exhausting the memory.
inline constexpr int ornax_max_grid_cols = 100000;   // columns of any grid
inline constexpr int ornax_max_grid_rows = 100000;   // rows of any grid
inline constexpr int ornax_max_grid_layers = 1000;   // sounding layers
inline constexpr int ornax_max_grid_hours = 1000;    // time steps
// Values held at once by the line arrays of a region run (4 bytes each: 512 MiB).
inline constexpr long long ornax_max_line_values = 128LL * 1024 * 1024;

// Checks the extents of a grid (`what`, read from `file`) against the maxima; a negative
// or too large extent logs the cause and gives status 3.
void ornax_check_grid_limits(const Spatialinfodata& grid, const std::string& what,
                             const std::string& file, int& status);
// The same for the common grid of a meteorological configuration file.
void ornax_check_common_grid_limits(const Ornaxcommonblock& common, const std::string& file,
                                    int& status);
// Values the line arrays of one region line hold with these grids and output count.
long long ornax_region_line_values(const Spatialinfodata& run, const Spatialinfodata& land,
                                   const Spatialinfodata& veg, const Spatialinfodata& snow,
                                   const Spatialinfodata& met, const Spatialinfodata& sat,
                                   int out_var_count);

// Site run: class table, site input file, core, site report. status 0 or 3.
void ornax_run_point(const std::string& landcover_table_file, const std::string& site_input_file,
                     int run_mode, int input_flag, int& status);

// Region run: configuration, static set-up, then every line of the run grid. status 0 or 3.
void ornax_run_region(const std::string& region_config_file, int run_mode, int region_switch,
                      int year, int doy, int& status);


// Counts and wall-clock split of one region run (seconds).
struct Ornaxregionruntimes {
    int lines = 0, failed_lines = 0;
    long long pixels = 0, computed = 0;  // pixels visited, pixels with quality flag 0
    double setup_s = 0;   // configuration, class table, outputs, forcing grid, land cells
    // summed over the threads
    double read_s = 0;    // line inputs with the meteorology, line arrays
    double core_s = 0;    // pixel simulation
    double write_s = 0;   // output, quality and diagnostic lines
    double total_s = 0;
    int threads = 1;  // threads that ran the lines
};

// Threads a region run spreads its lines over: OMP_NUM_THREADS when set, else every core
// the process may use (1 in a build without OpenMP).
int ornax_region_threads();

// Region run that also hands back its counts and timing.
void ornax_run_region_timed(const std::string& region_config_file, int run_mode,
                            int region_switch, int year, int doy, Ornaxregionruntimes& times,
                            int& status);

// Static set-up of a region run: the meteorological configuration into the common grid
// and the model grid, the common grid's arrays and forcing store, and its land cells.
// status 0, or 3 when any of them fails (with a screen or log line naming the cause).
void ornax_get_static_region_data(Ornaxcommonblock& common, Ornaxmeteoornax& met_grid,
                                  const Ornaxregiondatatype& region, int year, int doy,
                                  int& status);
