// Forecast-model (GFS) file readers: the forecast-model configuration file and the
// forecast-model land-mask raster. Their messages go to the forecast-model log unit
// (the standard error stream).
#pragma once

#include <string>
#include <vector>

#include "baseforcing/GFS/GFS_forcing_mod.hpp"

// Reads the forecast-model configuration file into the store, which is reset first.
// Status 0, or 3 when the file cannot be opened, ends early or holds an unreadable value.
void gfs_read_config(const std::string& file_name, Gfs_struc_block& store, int& status);

// The 33 lines of a forecast-model configuration file, as the reader above reads it (line n
// at index n - 1): the header with `description`, two free lines of notes, the data
// directory, the grid's edges and spacings, its sizes and spare value, and the 13 file
// stems, each value labelled in columns 1-30.
std::vector<std::string> gfs_config_lines(const std::string& description, const std::string& note_1,
                                          const std::string& note_2, const Gfs_struc_block& store);

// Reads the land-mask raster (nlon x nlat little-endian 4-byte integers, longitude
// fastest) into the store's land mask; land_file receives the trimmed file name.
// Status 0 or 3.
void gfs_read_land_data(const std::string& file_name, Gfs_struc_block& store, int& status);

// Three-hourly steps of a day in the forecast-model rasters.
inline constexpr int gfs_steps_per_day = 8;

// The configuration record of a forecast-model grid with data directory `dir`: its edges,
// spacings and sizes, the 21 pressure levels, 8 steps a day, no spare values (-9999.0) and
// the file stems of the 13 forecast fields (surface height, long- and short-wave down,
// temperature, latent heat, pressure, 2 m humidity, 10 m wind; the four profiles).
Gfs_struc_block gfs_config_record(const std::string& dir, float west, float east, float dlon,
                                  float south, float north, float dlat, int nlon, int nlat);
