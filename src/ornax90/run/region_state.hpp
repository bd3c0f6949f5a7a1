// State of a region run shared by the files of the region run (set-up and publishing in
// run/region_run.cpp, the line loop in run/region_lines.cpp); other modules use
// ORNAX_run_mod.hpp.
#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "ornax90/output/summary.hpp"
#include "ornax90/output/file_set.hpp"
#include "ornax90/ORNAX_region_io_mod.hpp"
#include "ornax90/ORNAX_region_mod.hpp"
#include "ornax90/ORNAX_run_mod.hpp"

// The grids of a region run; land_copy locates the meteorology's columns.
struct RegionGrids {
    Spatialinfodata land, veg, snow, sat, run, land_copy;
};

// Outputs of the run, written as one output set: one raster per listed variable, then the
// quality raster (members), the line diagnostic raster of the first-observation air
// temperature and the pixel dump. They replace the earlier files only when the run ends.
struct RegionOutputFiles {
    Ornaxoutputsettype set;
    std::vector<int> members;
    int diag_member = -1;
    int dump_member = -1;
};

using region_clock = std::chrono::steady_clock;

inline double seconds_since(region_clock::time_point start) {
    return std::chrono::duration<double>(region_clock::now() - start).count();
}

// Counts and timing of the line loop, and the progress line shown on a terminal.
struct RegionProgress {
    region_clock::time_point start = region_clock::now();
    Ornaxregionruntimes times;
    int nrows = 0;
    bool terminal = isatty(fileno(stderr)) != 0;
    int next_tenth = 1;  // batch jobs: the next tenth of the lines to report
    bool shown = true;   // false: no progress line (a follower's share)

    void show() {
        if (!shown) return;
        ornax_report_region_progress(stderr, terminal, times.lines, nrows, times.computed,
                                     seconds_since(start), next_tenth);
    }
};

// Everything one region run owns. While the lines run, the threads share it: they read the
// grids, tables, common grid and day's sources, and write their lines into the output set
// (safe from several threads); everything else changes only in line order (LinesInOrder).
struct Ornaxregionrunstate {
    std::string config_file;
    int region_switch = 0, year = 0, doy = 0;
    Ornaxregionrole role = Ornaxregionrole::alone;
    bool begun = false;  // the set-up succeeded: lines may run
    RegionGrids grids;
    Ornaxregiondatatype region;
    Ornaxcommonblock common;
    Ornaxmeteoornax met_grid;
    std::vector<Ornaxlandtype> table;
    int nclasses = 0;
    RegionOutputFiles files;
    RegionProgress progress;
    Ornaxoutputsummarytype summary;  // flag counts and statistics for the run record
    RasterInputFiles inputs;         // the per-line input rasters, held open
    Ornaxmetday day;                 // sunrise grids and forecast rows of the day
};

using RegionRun = Ornaxregionrunstate;

// Centre latitude of line `line` (1-based, south first) of a run grid.
inline float region_line_lat(const Spatialinfodata& run, int line) {
    return run.south_lat + (static_cast<float>(line) - 0.5f) * run.dlat;
}

// Step 10: the given lines run over `threads` threads. status 0 or 3.
int run_region_lines(RegionRun& r, int threads, std::span<const int> lines,
                     std::vector<Ornaxlinereporttype>* kept);
