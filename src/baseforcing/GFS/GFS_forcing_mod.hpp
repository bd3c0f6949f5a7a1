// Forecast-model (GFS) forcing store: the description of the forecast-model grid and its
// land mask, with the store's set-up and release.
//
// Region runs read their forecast-model fields from preprocessed rasters line by line, so
// the store owns only the land mask; the surface fields and profiles of a whole day on a
// global forecast-model grid (gigabytes) are never held here.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

// Number of pressure levels of the default level table.
inline constexpr int gfs_default_level_count = 21;

struct Gfs_struc_block {
    int nlat = 0;   // grid rows (second index of the land mask)
    int nlon = 0;   // grid columns (first, fastest index)
    int nlev = 0;   // pressure levels of the pressure-level profiles
    int ntime = 0;  // time steps of one day (8 three-hourly steps)
    int nspare = 0;
    float spare_e = 0.0f;
    float grid_value_1 = 0.0f;
    float grid_value_2 = 0.0f;
    float grid_value_3 = 0.0f;
    float grid_value_4 = 0.0f;
    float grid_value_5 = 0.0f;
    float grid_value_6 = 0.0f;
    std::string gfs_text_1, gfs_text_2, gfs_text_3, gfs_text_4, gfs_text_5;
    std::string gfs_text_6, gfs_text_7, gfs_text_8, gfs_text_9, gfs_text_10;
    std::string gfs_text_11, gfs_text_12, gfs_text_13, gfs_text_14, gfs_text_15;
    std::string land_file;  // path of the land-mask file once the mask is read
    // pressure levels (Pa)
    std::array<float, gfs_default_level_count> plevels = {
        10000.0f, 15000.0f, 20000.0f, 25000.0f, 30000.0f, 35000.0f, 40000.0f,
        45000.0f, 50000.0f, 55000.0f, 60000.0f, 65000.0f, 70000.0f, 75000.0f,
        80000.0f, 85000.0f, 90000.0f, 92500.0f, 95000.0f, 97500.0f, 100000.0f};
    // land/water class of every forecast-model cell, (nlon, nlat), longitude fastest
    std::vector<int> land;
    bool land_allocated = false;  // true between gfs_init and gfs_finalize
};

// Writes one line on the forecast-model log unit (the standard error stream, since that
// unit is never opened).
void vesk_write_line(const std::string& text);
// A line whose text runs straight into a file name: `text` as it is goes into the run log
// (when one is open), and `readable`, the same words with the name set apart, on the
// forecast-model log unit.
void vesk_write_named_line(const std::string& text, const std::string& readable);

// Allocates the land mask (nlon x nlat). Status 0, or 3 with "Allocate GFS land error"
// on the forecast-model log unit.
void gfs_init(Gfs_struc_block& store, int& status);
// Releases the land mask when it is allocated. Status 0.
void gfs_finalize(Gfs_struc_block& store, int& status);
