// The files that make the headerless rasters usable in other tools: a GDAL VRT and a GrADS
// descriptor beside every raster, each written under a temporary name in its folder,
// every write checked, then renamed into place.
#pragma once

#include <string>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ornax90/output/vocabulary.hpp"

// Writes `text` to `path` through a temporary file in the same folder, under the staging
// name of output/publish (every write checked, flushed, closed, then renamed into place). status 0
// or 3; on failure the temporary file is removed and an existing `path` is left untouched.
void ornax_publish_text_file(const std::string& path, const std::string& text, int& status);

// The decimal a float was written from, as a double (0.05f gives 0.05, not
// 0.0500000007): for coordinates and values in text files.
double ornax_decimal_of(float value);

// A run's date as text: "YYYY-MM-DD" for the year and day of year; empty when invalid.
std::string ornax_calendar_date(int year, int doy);

// GDAL VRT that shows the raster `name`.bin (beside it in `directory`) north up in
// geographic WGS 84, without copying: a raw band starting at the last (northern) line
// with a negative line offset, little-endian Float32, nodata = missing (none for the
// quality raster, whose flag meanings go into its metadata). status 0 or 3.
void ornax_write_raster_vrt(const std::string& directory, const Spatialinfodata& grid,
                            const Ornaxoutputvarinfotype& var, float missing, int year, int doy,
                            int& status);
// The VRT text itself (for the writer and for tests).
std::string ornax_raster_vrt_text(const Spatialinfodata& grid, const Ornaxoutputvarinfotype& var,
                                  float missing, int year, int doy);

// GrADS descriptor `name`.ctl beside `name`.bin: the variable with its description and
// unit, little-endian, undef, the run grid's cell centres and the run's day. GrADS takes
// one data file per descriptor, so every raster has its own. status 0 or 3.
void ornax_write_grads_ctl(const std::string& directory, const Spatialinfodata& grid,
                           const Ornaxoutputvarinfotype& var, float missing, int year, int doy,
                           int& status);
std::string ornax_grads_ctl_text(const Spatialinfodata& grid, const Ornaxoutputvarinfotype& var,
                                 float missing, int year, int doy);
