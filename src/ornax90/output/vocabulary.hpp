// What every output variable and the quality raster mean, as the metadata files and the
// exports describe them, and the coordinate reference system of every run grid.
#pragma once

#include <string>

// One output variable as the metadata files describe it.
struct Ornaxoutputvarinfotype {
    std::string name;           // raster name without ".bin", e.g. "EDAY"
    std::string description;    // what the value is
    std::string units;          // unit as the model writes it, e.g. "MJ m-2 day-1"
    std::string cf_units;       // the same unit in UDUNITS notation, e.g. "MJ m-2 d-1"
    std::string standard_name;  // CF standard name, empty where CF has none
    // When the value holds: 1 or 2 at the pixel's first or second morning observation
    // (instantaneous), 0 for a daily total or mean and for the quality raster
    int observation = 0;
};

// Name, description and units of a variable of the 42-name vocabulary, or of the quality
// raster "region_qc". false for any other name.
bool ornax_output_var_info(const std::string& name, Ornaxoutputvarinfotype& info);

// The coordinate reference system of every run grid, geographic WGS 84 (EPSG:4326), as
// OGC WKT2 (2019) text, latitude then longitude as EPSG orders them; files that store
// longitude first say so beside it (GDAL VRT dataAxisToSRSAxisMapping "2,1", CF grid
// mappings by their coordinate variables). The identifier for records is ornax_crs_epsg.
inline constexpr const char* ornax_crs_epsg = "EPSG:4326";
inline constexpr const char* ornax_crs_wkt =
    "GEOGCRS[\"WGS 84\","
    "ENSEMBLE[\"World Geodetic System 1984 ensemble\","
    "MEMBER[\"World Geodetic System 1984 (Transit)\"],"
    "MEMBER[\"World Geodetic System 1984 (G730)\"],"
    "MEMBER[\"World Geodetic System 1984 (G873)\"],"
    "MEMBER[\"World Geodetic System 1984 (G1150)\"],"
    "MEMBER[\"World Geodetic System 1984 (G1674)\"],"
    "MEMBER[\"World Geodetic System 1984 (G1762)\"],"
    "MEMBER[\"World Geodetic System 1984 (G2139)\"],"
    "ELLIPSOID[\"WGS 84\",6378137,298.257223563,LENGTHUNIT[\"metre\",1]],"
    "ENSEMBLEACCURACY[2.0]],"
    "PRIMEM[\"Greenwich\",0,ANGLEUNIT[\"degree\",0.0174532925199433]],"
    "CS[ellipsoidal,2],"
    "AXIS[\"geodetic latitude (Lat)\",north,ORDER[1],ANGLEUNIT[\"degree\",0.0174532925199433]],"
    "AXIS[\"geodetic longitude (Lon)\",east,ORDER[2],ANGLEUNIT[\"degree\",0.0174532925199433]],"
    "USAGE[SCOPE[\"Horizontal component of 3D system.\"],AREA[\"World.\"],BBOX[-90,-180,90,180]],"
    "ID[\"EPSG\",4326]]";
