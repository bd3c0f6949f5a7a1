// The region run shared among the processes of an MPI job.
#pragma once

#include <mpi.h>

#include <string>
#include <vector>

// Lines of a run grid of nrows lines that process `rank` of `size` runs: every size-th line
// from line rank + 1, so that each process gets an equal share of every part of the
// region (neighbouring lines cost about the same; water, snow and land come in bands).
std::vector<int> ornax_mpi_region_lines(int nrows, int rank, int size);

// Region run of every process of `comm`, each running its share of the lines with the
// region driver. Process 0 leads: it alone writes the run log, begins first (preparing the
// land subset, the sunrise cache and the output rasters at full size), and after the line
// loop writes every line's log lines in line order and one summary. Every process returns
// the same status: 0, or 3 when the set-up or any line of any process failed.
void ornax_mpi_run_region(MPI_Comm comm, const std::string& region_config_file, int region_switch,
                          int year, int doy, int& status);
