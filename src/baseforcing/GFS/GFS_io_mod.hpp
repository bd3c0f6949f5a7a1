// Forecast-model (GFS) file readers: the forecast-model configuration file and the
// forecast-model land-mask raster. Their messages go to the forecast-model log unit
// (the standard error stream).
#pragma once

#include <string>

#include "baseforcing/GFS/GFS_forcing_mod.hpp"

// Reads the forecast-model configuration file into the store, which is reset first.
// Status 0, or 3 when the file cannot be opened, ends early or holds an unreadable value.
void gfs_read_config(const std::string& file_name, Gfs_struc_block& store, int& status);

// Reads the land-mask raster (nlon x nlat little-endian 4-byte integers, longitude
// fastest) into the store's land mask; land_file receives the trimmed file name.
// Status 0 or 3.
void gfs_read_land_data(const std::string& file_name, Gfs_struc_block& store, int& status);
