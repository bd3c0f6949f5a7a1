// Region configuration, land mask, line-by-line meteorology and the reading of one line
// of region inputs.
#pragma once

#include <string>

#include "ORNAX_data_mod.hpp"

// ===================================================================================
// Region configuration file (raster work)
// ===================================================================================

#include <array>

// Lines of a region configuration file that hold values (lines 1-5 are a header).
inline constexpr int region_config_first_line = 6;
inline constexpr int region_config_last_line = 65;
// Longest stored path (characters).
inline constexpr int region_config_path_length = 300;

// Stored path of each line of a region configuration file, indexed by line number;
// lines without a stored path (directory lines, separators) and lines not reached stay empty.
using RegionConfigPaths = std::array<std::string, region_config_last_line + 1>;

// Reads a region configuration file for one year and day of year: lines 6 to 65, each
// value taken from columns 31-286, turned into a path by its line's rule (plain, under
// HOME_DIR, in the current directory, in its dated subdirectory "/YYYYDDD/", or in the
// fixed-year insolation name "<value>2011DDD.dat") and checked for existence where the
// line requires it. A missing required file stops reading (status 3); a missing warned
// file is only logged. Year outside 1900-2100 or day outside 1-366: status 3, no message.
// A file that ends before line 64, or a path longer than 300 characters, is a failure
// (status 3) whose log line names the file and the line.
void ornax_read_region_config_paths(const std::string& config_file, int year, int doy,
                                    RegionConfigPaths& paths, int& status);

// ---- end of region configuration file ----


// ===================================================================================
// Land mask and land subset (forcing-a work)
// ===================================================================================


// ---- end of land mask and land subset ----


// ===================================================================================
// Line-by-line meteorological processing (forcing-b work)
// ===================================================================================


// ---- end of line-by-line meteorological processing ----


// ===================================================================================
// Per-pixel meteorology at observation times (forcing-b work)
// ===================================================================================


// ---- end of per-pixel meteorology at observation times ----


// ===================================================================================
// Region inputs (region-driver work)
// ===================================================================================


// ---- end of region inputs ----

