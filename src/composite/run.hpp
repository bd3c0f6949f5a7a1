// A composite run over the days of a range.
#pragma once

#include <string>
#include <vector>

#include "composite/options.hpp"

// What a run did: its messages (each on stderr and in the log as it happens) and files.
struct Ornaxcompositereporttype {
    std::vector<std::string> messages;
    std::vector<std::string> skipped_days;  // YYYYDDD
    std::vector<std::string> windows;       // labels of the windows written
    std::string netcdf_file;
};

// Composites of the days in options.input_dir into options.output_dir:
// ornax_composite.nc (every window a time step), a folder per window, with --daily a
// folder per gap-filled day, and the log ornax_composite.log. status 0, or 3 with the
// cause among the messages (nothing published when the days are refused).
void ornax_composite_run(const Ornaxcompositeoptionstype& options, Ornaxcompositereporttype& report,
                         int& status);
