// The rasters, VRTs and quicklooks of a composite window and of a gap-filled day.
#pragma once

#include <string>
#include <vector>

#include "composite/days.hpp"
#include "composite/gapfill.hpp"
#include "composite/window.hpp"

// Writes `values` as little-endian float32 raster `dir`/`name`.bin (temporary name, then
// renamed). status 0 or 3.
void ornax_composite_write_raster(const std::string& dir, const std::string& name,
                                  const std::vector<float>& values, int& status);

// The folder `out_dir`/FIRST_LAST of a window: every composite raster NAME.bin with its
// VRT, and the quicklook map ET_MM.png. status 0, or 3 with `why` naming the file.
void ornax_composite_write_window(const std::string& out_dir,
                                  const Ornaxcompositewindowtype& window,
                                  const Ornaxcompositegridtype& grid,
                                  const std::vector<std::vector<float>>& rasters, std::string& why,
                                  int& status);

// The folder `out_dir`/daily/YYYYDDD of a gap-filled day: its rasters with their VRTs.
void ornax_composite_write_filled_day(const std::string& out_dir, const Ornaxcompositedaytype& day,
                                      const Ornaxcompositegridtype& grid,
                                      const Ornaxfilleddaytype& filled, std::string& why,
                                      int& status);
