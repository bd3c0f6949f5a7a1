// What forecast GRIB2 files hold, from their keys alone (no field is decoded): per file
// the reference times, the steps of the instant fields and the averaging windows, and
// the problems a conversion of some days would meet (a file that is no GRIB, a unit
// other than the table's, a quantity missing at a time the days need).
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

struct ForecastFileInventory {
    std::string file;
    long fields = 0;
    std::set<std::int64_t> references;        // hours since 1970-01-01 00 UTC
    std::set<long> steps;                     // instant fields, hours after the reference
    std::set<std::pair<long, long>> windows;  // averages: first and last step, hours
};

// Reads the keys of every field of the files and appends every problem ("FILE: reason")
// for a conversion of `days` days from 00 UTC of the day `first` (hours since 1970).
void forecast_inventory(const std::vector<std::string>& files, std::int64_t first, int days,
                        std::vector<ForecastFileInventory>& inventory,
                        std::vector<std::string>& problems);

// "2019-07-19 00 UTC: steps 0-24 every 3 h; averages 0-3 ... 21-24" for the listing.
std::string forecast_inventory_text(const ForecastFileInventory& file);
