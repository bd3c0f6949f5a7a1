// `ornax_ingest raster`: any raster GDAL opens (or an ASCII snow-and-ice grid) onto one
// model grid, as one model raster with its manifest.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ingest/raster/convert.hpp"

int ingest_raster_run(int argc, char** argv);
void ingest_raster_usage(std::FILE* stream);

// The raster of prepare_raster and FILE.manifest.json beside it, both staged and published
// together as one set when complete; existing ones are replaced only when replace is true.
// class_map_text is the class map as the user gave it. Returns an exit code; the message
// names what failed.
int raster_write_outputs(const std::filesystem::path& out, const std::string& command,
                         const std::string& grid_name, const Spatialinfodata& grid,
                         const RasterRules& rules, const std::string& class_map_text,
                         const std::vector<float>& values, const nlohmann::json& details,
                         bool replace = false);
