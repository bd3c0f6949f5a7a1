// Rasters read in a child process (common/isolated_read): a crash of GDAL or of a driver's
// library (HDF4, libtiff), a hang or a memory exhaustion on a corrupt source is a refusal
// naming it, and an error GDAL reports while reading is one too.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "ingest/raster/convert.hpp"

// prepare_raster in a child process: its values and details handed back.
void prepare_raster_isolated(const std::vector<std::string>& sources, const Spatialinfodata& grid,
                             const RasterRules& rules, std::vector<float>& values,
                             nlohmann::json& details, std::string& error, int& status);

// inspect_raster in a child process; a reading that fails is one more problem.
void inspect_raster_isolated(const std::vector<std::string>& sources, const Spatialinfodata& grid,
                             const RasterRules& rules, RasterInventory& inventory,
                             std::vector<std::string>& problems);
