// The days of a composite range: the dated output folders of the region runs
// (YYYYDDD/ with EDAY.bin, EREFDAY.bin, region_qc.bin and run_info.json), the checks of
// their run records and the reading of their rasters.
#pragma once

#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"

// Grid of the days as their run records give it.
struct Ornaxcompositegridtype {
    Spatialinfodata grid;  // corners, cell sizes, ncols x nrows, missing value
    // same grid: sizes equal, corners and cells within 1e-6 deg, same missing value
    bool same_as(const Ornaxcompositegridtype& other) const;
    std::string text() const;  // "20 x 12 at 100 W 34 N, 0.05 deg"
};

// One calendar day of the range and what was found for it.
struct Ornaxcompositedaytype {
    int year = 0;
    int doy = 0;
    std::string folder;   // its output folder, empty when there is none
    bool usable = false;  // a finished run of this day with the outputs on the grid
    std::string why;      // why the day is not usable
};

// Every day from the first to the last (YYYYDDD, 0 = from the folders found) with the
// dated folder of input_dir it has. Folders are listed, never read here. status 3 with
// `why` when input_dir cannot be listed, holds no dated folder, or the range is invalid.
void ornax_composite_find_days(const std::string& input_dir, int first, int last,
                               std::vector<Ornaxcompositedaytype>& days, std::string& why,
                               int& status);

// Reads each day's run_info.json: a day is usable when its run ended with exit status 0
// for its own year and day and its outputs EDAY, EREFDAY and region_qc are there with the
// grid's size; otherwise `why` says what is wrong. The first usable day sets the grid;
// a later usable day on another grid is refused: status 3, `why` naming that day.
void ornax_composite_check_days(std::vector<Ornaxcompositedaytype>& days,
                                Ornaxcompositegridtype& grid, std::string& why, int& status);

// The three rasters of a usable day (line 1 south first). status 3 with `why` naming the
// file when one is missing or not the grid's size.
struct Ornaxcompositedayrasterstype {
    std::vector<float> eday, erefday, quality;
};
void ornax_composite_read_day(const Ornaxcompositedaytype& day, const Ornaxcompositegridtype& grid,
                              Ornaxcompositedayrasterstype& rasters, std::string& why, int& status);
