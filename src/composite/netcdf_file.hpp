// CF-1.8 NetCDF-4 files of composites: one file per run of the program with an unlimited
// time axis, one step per window (time at the window's middle, time_bnds its first day and
// the day after its last), every variable with its units, cell_methods, fill value and the
// grid mapping of the daily export. Steps are appended as windows finish, so the file never
// holds more than one window in memory; it is written under a temporary name and renamed
// into place when closed.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "composite/vocabulary.hpp"
#include "composite/days.hpp"
#include "composite/window.hpp"
#include "netcdf/writer.hpp"

struct Ornaxcompositenctype {
    Ornaxncfiletype nc;
    std::string target, temp;
    Ornaxncgridtype grid;
    float missing = -999.0f;
    int time_var = -1, bnds_var = -1;
    std::vector<int> vars;
    std::size_t steps = 0;
};

// Creates the file for the variables `vars` on the grid. status 0, or 3 with `why`.
void ornax_composite_nc_open(Ornaxcompositenctype& file, const std::string& target,
                             const Ornaxcompositegridtype& grid,
                             const std::vector<Ornaxcompositevarinfotype>& vars, std::string& why,
                             int& status);
// Appends the window's rasters (one per variable, line 1 south first) as the next step.
void ornax_composite_nc_append(Ornaxcompositenctype& file, const Ornaxcompositewindowtype& window,
                               const std::vector<std::vector<float>>& rasters, std::string& why,
                               int& status);
// Writes the global attributes (Conventions, title, source, history, comment and the
// given ones), closes and renames the file into place. status 0, or 3 with `why` (the
// temporary file removed).
void ornax_composite_nc_close(Ornaxcompositenctype& file, const std::string& title,
                              const std::map<std::string, std::string>& globals, std::string& why,
                              int& status);
// Closes and removes the temporary file.
void ornax_composite_nc_abort(Ornaxcompositenctype& file);

// Flag values and meanings of a flag variable (FILL_FLAG, ANOMALY_FLAG); null otherwise.
const std::vector<Ornaxfillflaginfotype>* ornax_composite_flags_of(const std::string& name);
