// The configuration files of a region folder written by `ornax_ingest region`: the
// domain descriptions of the run grid and of the common (forecast) grid, the region,
// meteorological and forecast-model configuration files, the output variable list and
// the land subset file. Every path in them is relative to the region folder, so the run
// is made from that folder (with HOME_DIR unset or empty).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"
#include "ingest/region/recipe.hpp"

inline constexpr float region_missing_value = -9999.0f;  // missing value of every grid

struct RegionGrids {
    Spatialinfodata run;     // the run grid; also the land, vegetation, snow and satellite grids
    Spatialinfodata common;  // the forecast rasters' grid: the run grid with a cell of margin
};

// The grids of a recipe: the common grid's edges are the run grid's moved outwards to
// whole forecast cells, with one cell more on every side.
void region_make_grids(const RegionRecipe& recipe, RegionGrids& grids);

// Texts of the files, from the model's own writers (the domain descriptions are
// domain_info_text of the grids).
std::string region_config_text(const RegionRecipe& recipe);
std::string region_met_config_text(const RegionGrids& grids);
std::string region_gfs_config_text(const RegionGrids& grids);
std::string region_outlist_text(const RegionRecipe& recipe);

// The land subset file config/land_subset.dat under folder (the model's own writer): a
// common-grid cell is land when a run-grid pixel of a land class (2 and above) lies in it
// or takes its forecast values from it. status 3 with error on failure.
void region_write_land_subset(const std::filesystem::path& folder, const RegionGrids& grids,
                              const std::vector<float>& landcover, long& land_cells,
                              std::string& error, int& status);
