// Any raster GDAL opens (GeoTIFF, NetCDF variables, HDF4-EOS subdatasets, VRT; any
// projection) onto a model grid: stored values become physical values with the file's
// scale and offset (or the user's), fill and class codes become the grid's missing value
// (never scaled into data), class codes can be mapped to the model's codes, and several
// tiles of one product mosaic into one grid. The daily ASCII snow-and-ice grid is read by
// its own reader and placed by its latitude/longitude files.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <utility>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ingest/raster/grid_warp.hpp"

struct RasterRules {
    Resampling resampling = Resampling::nearest;
    bool scale_given = false;  // otherwise the file's own scale and offset (or none)
    double scale = 1.0, offset = 0.0;
    bool valid_given = false;  // otherwise the file's valid_range (or none), stored values
    double valid_min = 0.0, valid_max = 0.0;
    std::vector<std::pair<double, double>> missing_codes;  // stored values, inclusive ranges
    std::vector<std::pair<double, float>> class_map;       // stored class -> written value
    bool check_day = false;  // the product's period must hold the day (within window_days)
    int year = 0, doy = 0, window_days = 0;
    bool allow_partial = false;      // accept a grid the sources cover only in part
    std::string lat_file, lon_file;  // cell positions of an ASCII snow-and-ice grid
    int band = 0;                    // band to read (1..); 0: the source must have a single band
    std::string quantity;  // row of the plausibility table the written values must fit, or empty
};

// Values of the grid (south row first, the grid's missing value where no source has a
// valid value) and the details for the manifest. Status 0, or 3 with error naming the
// source and the reason.
void prepare_raster(const std::vector<std::string>& sources, const Spatialinfodata& grid,
                    const RasterRules& rules, std::vector<float>& values, nlohmann::json& details,
                    std::string& error, int& status);

// Share of a grid's cells (by their centres) that its sources must cover; a grid covered
// less is refused unless partial cover is allowed.
inline constexpr double raster_required_cover = 1.0;

// What the metadata of one source says, without reading its values.
struct RasterSourceInfo {
    std::string source, driver, product, period, crs;
    bool has_nodata = false;
    double nodata = 0.0;
    double cover = 0.0;  // share of the grid's cells inside its real footprint
};

// The sources of one product: each source's metadata and the share of the grid the
// tiles cover together (cell centres transformed into each source's own projection).
struct RasterInventory {
    std::vector<RasterSourceInfo> sources;
    double cover = 0.0;
};

// Reads only the metadata of the sources and appends every problem found ("SOURCE:
// reason"): a file that is missing or GDAL cannot open, no georeferencing, a tile of
// another product, a period that does not hold the day, a grid covered less than
// raster_required_cover (unless rules.allow_partial) or not at all.
void inspect_raster(const std::vector<std::string>& sources, const Spatialinfodata& grid,
                    const RasterRules& rules, RasterInventory& inventory,
                    std::vector<std::string>& problems);

// "249-255,0" -> {{249, 255}, {0, 0}}; false for anything else.
bool parse_code_list(const std::string& text, std::vector<std::pair<double, double>>& codes);
// "25=0,200=4" -> {{25, 0}, {200, 4}}; false for anything else.
bool parse_class_map(const std::string& text, std::vector<std::pair<double, float>>& map);

// The file behind a GDAL source name (the quoted file of "HDF4_EOS:EOS_GRID:"f":G:F" or
// NETCDF:"f":var, or the name itself).
std::string source_file_name(const std::string& source);
