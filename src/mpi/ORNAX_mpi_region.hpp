// The region run shared among the processes of an MPI job.
#pragma once

#include <mpi.h>

#include <string>
#include <vector>

// Region run of every process of `comm`, each running its share of the lines with the
// region driver. Process 0 leads: it alone writes the run log, begins first (preparing the
// land subset, the sunrise cache and the output rasters at full size), and after the line
// loop writes every line's log lines in line order and one summary. Every process returns
// the same status: 0, or 3 when the set-up or any line of any process failed.
void ornax_mpi_run_region(MPI_Comm comm, const std::string& region_config_file, int region_switch,
                          int year, int doy, int& status);
