// The region run shared among the processes of an MPI job.
#pragma once

#include <mpi.h>

#include <string>
#include <vector>

#include "ornax90/ORNAX_run_mod.hpp"

// Region run of every process of `comm`, each running its share of the lines with the
// region driver. Process 0 leads: it alone writes the run log, begins first (preparing the
// land subset, the sunrise cache and the output rasters at full size), and after the line
// loop writes every line's log lines in line order and one summary. Every process returns
// the same status: 0, or 3 when the set-up or any line of any process failed.
// output_folder is the day's folder under the output directory (empty: the directory).
void ornax_mpi_run_region(MPI_Comm comm, const std::string& region_config_file, int region_switch,
                          int year, int doy, const std::string& output_folder, int& status);

// Every day of a range, each run as above: the leader decides which days are published
// complete (skipped unless forced) and reports the progress and the summary of the days.
// Every process returns the same status: 3 when any day failed.
void ornax_mpi_run_region_range(MPI_Comm comm, const Ornaxregionrangetype& range, int& status);
