// Stored values of a raster band to the values written on a model grid: the band's scale,
// offset, fill and valid range (or the user's), missing codes and class map, applied value by
// value or, for 8- and 16-bit bands, through a table of every stored value.
#pragma once

#include <gdal.h>

#include <cstddef>
#include <string>
#include <vector>

#include "ingest/raster/convert.hpp"

// Scale, offset, fill and valid range of the stored values.
struct StoredRules {
    double scale = 1.0, offset = 0.0;
    bool hdf4_convention = false;  // physical = scale x (stored - offset)
    std::string scale_origin = "none";
    bool has_fill = false;
    double fill = 0.0;
    bool has_valid = false;
    double valid_min = 0.0, valid_max = 0.0;
};

// A metadata item of a band (band 1 unless named), else of the dataset, else NetCDF's
// global attribute; empty when none.
std::string raster_metadata(GDALDatasetH ds, const char* key, int band = 1);

// Scale, offset, fill and valid range of the band read (band 1 unless rules.band names one).
StoredRules raster_stored_rules(GDALDatasetH ds, bool hdf4, const RasterRules& rules);

// Stored value to the written value, or warp_no_data.
float raster_written_value(double v, const StoredRules& s, const RasterRules& r);

// The written value of every stored value of an 8- or 16-bit band, by the stored value
// (its bits as an unsigned number): raster_written_value() of each, made once.
struct StoredTable {
    GDALDataType type = GDT_Unknown;  // Byte, UInt16 or Int16; Unknown: no table
    std::vector<float> value;
    std::vector<std::size_t> count;  // how often each stored value was read
};

// The table of a band of that type (type Unknown for other types: no table).
StoredTable raster_stored_table(GDALDataType type, const StoredRules& s, const RasterRules& r);

// Reads the band and converts its values into v (row 0 at the top), a few rows at a time:
// the stored values through the table when there is one (counting them), else as floats
// converted one by one. The band's cached blocks are dropped after each strip. False when
// GDAL cannot read it.
bool raster_read_converted(GDALRasterBandH band, int nx, int ny, const StoredRules& s,
                           const RasterRules& rules, StoredTable& table, std::vector<float>& v);
