// Site run and region run drivers.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "ORNAX_data_mod.hpp"
#include "ORNAX_log_mod.hpp"

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

// Part a process plays in a region run. One process runs it alone; processes that share one
// run (each writing its own lines) have one leader, which prepares what the day's lines
// share before the others start: the land cells and the land subset file, the sunrise cache
// rasters, and the output rasters created at their full size. Followers use what the leader
// prepared: they open its output rasters and read only the forecast-model land mask.
enum class Ornaxregionrole { alone, leader, follower };

// Everything one region run owns (configuration, grids, class table, forcing, open outputs,
// counts); defined by the region driver.
struct Ornaxregionrunstate;

// A region run taken in phases, so that one driver serves a whole run and a share of it:
// ornax_region_begin, then ornax_region_run_lines for any set of lines, then ornax_region_end.
struct Ornaxregionruntype {
    Ornaxregionruntype();
    ~Ornaxregionruntype();
    std::unique_ptr<Ornaxregionrunstate> state;
};

// Configuration, grid descriptions, output list, log header, class table, output rasters
// and static set-up, as the role asks. status 0 or 3 (logged); after a failure no line runs.
void ornax_region_begin(Ornaxregionruntype& run, const std::string& region_config_file,
                        int region_switch, int year, int doy, Ornaxregionrole role,
                        int& status);
// Lines of the run grid (0 when the run did not begin).
int ornax_region_line_count(const Ornaxregionruntype& run);
// What one line of a region run left: its messages, not yet out, and its status.
struct Ornaxlinereporttype {
    Ornaxmessagebuffer messages;
    int status = 0;
};
// Prepares, reads, simulates and writes each of `lines` (1-based, south to north, any order)
// at its place in the outputs, spread over the threads. Messages go out in the order of
// `lines`; with `line_reports`, line i's messages (log, screen, appends) and status go to
// (*line_reports)[i] instead of going out. status 3 when any line failed; the other lines still run.
void ornax_region_run_lines(Ornaxregionruntype& run, std::span<const int> lines,
                            std::vector<Ornaxlinereporttype>* line_reports, int& status);
// Releases the forcing and the grids and closes the outputs; `times` receives the run's
// counts and timing. status 3 when an output could not be closed.
void ornax_region_end(Ornaxregionruntype& run, Ornaxregionruntimes& times, int& status);
// After ornax_region_end of every process of the run, by the one that ran alone or led:
// the descriptors beside every raster, the quicklook maps, the screen summary and the run
// record, with `times` for the whole run. Lines this process did not run are taken from
// the closed rasters; those of `failed_lines` count as failed. status (the run's status so
// far) becomes 3 when a file cannot be written.
void ornax_region_publish(Ornaxregionruntype& run, const Ornaxregionruntimes& times,
                          std::span<const int> failed_lines, int& status);
// The run's summary in the log: lines, failures, pixels computed, and the time split.
void ornax_log_region_summary(const Ornaxregionruntimes& times);

// Static set-up of a region run: the meteorological configuration into the common grid
// and the model grid, the common grid's arrays and forcing store, and its land cells.
// status 0, or 3 when any of them fails (with a screen or log line naming the cause).
void ornax_get_static_region_data(Ornaxcommonblock& common, Ornaxmeteoornax& met_grid,
                                  const Ornaxregiondatatype& region, int year, int doy,
                                  int& status);
