// Reprojection and resampling onto a model grid with GDAL's warper: in-memory float
// sources in any projection are warped onto a regular latitude/longitude grid given by a
// domain description, and the result is handed back south row first, as the model stores
// its rasters.
#pragma once

#include <gdal.h>

#include <array>
#include <string>
#include <vector>

#include "ornax90/ORNAX_data_mod.hpp"

// Value that marks "no data" inside the in-memory sources and the warped grid; it never
// reaches a written raster (the grid's own missing value replaces it).
inline constexpr float warp_no_data = -1.0e30f;

// Resampling of a warp: GDAL's names are near, average, bilinear, mode.
enum class Resampling { nearest, average, bilinear, mode };
// Parses "nearest", "average", "bilinear" or "mode"; false for anything else.
bool parse_resampling(const std::string& text, Resampling& method);
const char* resampling_name(Resampling method);

// An in-memory single-band Float32 dataset of nx x ny values (row 0 at the top, the
// geotransform's origin), its projection as PROJ or WKT text and warp_no_data as its
// no-data value. The band is the buffer of `values` itself (not a copy): the vector must
// outlive the dataset and keep its size, and writes to the band change it. Returns nullptr
// (error says why) when GDAL cannot make it.
GDALDatasetH make_float_dataset(int nx, int ny, const double geotransform[6],
                                const std::string& projection, std::vector<float>& values,
                                std::string& error);

// Warps every source, in order, onto the grid (later sources fill only the cells they
// cover with valid data) and returns the grid's values south row first, with
// warp_no_data where no source gave a valid value. geolocation: the sources are placed by
// their GEOLOCATION arrays instead of a geotransform. Status 0, or 3 with error set.
void warp_to_grid(const std::vector<GDALDatasetH>& sources, const Spatialinfodata& grid,
                  Resampling method, std::vector<float>& values, std::string& error, int& status,
                  bool geolocation = false);

// Longitude/latitude bounding box of a dataset's footprint (west, south, east, north),
// densified along the edges; status 3 when its projection cannot be read or transformed.
void footprint_lonlat(GDALDatasetH dataset, double box[4], std::string& error, int& status);

// Number of grid cells whose centre lies inside at least one of the boxes.
long cells_inside(const Spatialinfodata& grid, const std::vector<std::array<double, 4>>& boxes);

// Marks (covered[k] = 1, k south row first) every grid cell whose centre, transformed into
// the dataset's own projection, falls inside the dataset's pixels: the real outline of a
// tile (a sinusoidal tile is no longitude/latitude box). Status 3 when the projection
// cannot be read or transformed.
void footprint_cells(GDALDatasetH dataset, const Spatialinfodata& grid, std::vector<char>& covered,
                     std::string& error, int& status);

// Ground size of one source pixel near a point (km), for choosing nearest or average.
double pixel_size_km(GDALDatasetH dataset, double lon, double lat);

// Registers GDAL's drivers once (safe to call many times).
void ingest_gdal_init();

// True for GDAL's lines about points outside a projection's domain (the transformation of
// cells a projection cannot reach): such cells stay without data and the lines are dropped.
bool outside_projection_domain(const std::string& text);
