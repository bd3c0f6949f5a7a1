// The check of a region recipe's sources before anything is converted: only the metadata
// of every source is read (GRIB keys, the scans' attributes, the rasters' georeferencing),
// every problem is listed, and an inventory says what each source holds.
#pragma once

#include <string>
#include <vector>

#include "ingest/region/config.hpp"
#include "ingest/region/recipe.hpp"

// Appends every problem ("FILE: KEY: reason" or "SOURCE: reason" under the recipe key)
// and the inventory lines of the recipe's sources.
void region_check_sources(const RegionRecipe& recipe, const RegionGrids& grids,
                          std::vector<std::string>& problems, std::vector<std::string>& inventory);
