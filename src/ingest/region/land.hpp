// The land rasters of a region folder: land cover (classes of the class table), leaf
// area of the day, snow mask of the day and the ten static land parameters, each from
// rasters GDAL opens (through `ornax_ingest raster`'s own preparation), from a constant,
// or, for the leaf values and the leaf size, from the class table by land-cover class.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ingest/region/recipe.hpp"

struct RegionLandJob {
    const RegionRecipe* recipe = nullptr;
    Spatialinfodata grid;              // the run grid
    std::filesystem::path folder;      // the staged region folder
    std::string command;               // for the manifests
    std::vector<Ornaxlandtype> table;  // the class table
    int nclasses = 0;
    std::vector<float> landcover;                      // filled by region_land_cover
    nlohmann::json record = nlohmann::json::object();  // raster -> how it was made, counts
};

// Share of missing cells above which a converted raster is warned about on stderr.
inline constexpr double region_mostly_missing_share = 0.5;

// A converted raster with no valid cell is refused (exit 3, the message names it and its
// recipe key); one missing at more than region_mostly_missing_share of its cells is
// warned about with that share. Returns an exit code.
int region_refuse_empty(const RegionRecipe& recipe, const std::string& key, const std::string& name,
                        const std::vector<float>& values, float missing);

// static/landcover.bin: classes must be whole numbers from 0 to the table's count.
// Returns an exit code; the message names the source or the first offending cell.
int region_land_cover(RegionLandJob& job);
// lai/YYYYDDD/lai.bin and snow/YYYYDDD/snow_mask.bin (zeros with snow = none).
int region_day_rasters(RegionLandJob& job);
// static/*.bin of the ten parameters.
int region_land_parameters(RegionLandJob& job);
// All of the above: the land cover first, then the day's rasters and the parameters side
// by side (in turn unless side_by_side), their messages in that order, up to the first
// failure. Returns an exit code.
int region_land_rasters(RegionLandJob& job, bool side_by_side);

// Value of a class-table column ("aleafv", ..., "xl") for a land-cover value, or the
// missing value for a cell without a class of the table (0, missing or above the count).
float region_class_value(const std::vector<Ornaxlandtype>& table, int nclasses,
                         const std::string& field, float landcover, float missing);
