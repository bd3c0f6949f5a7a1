// A land-product tile on the sinusoidal projection (the projection of the global 8-day and
// yearly land products): the tile is a rectangle in x and y, so its outline on a
// longitude/latitude map is slanted and its bounding box holds land it does not cover.
#pragma once

#include <cpl_conv.h>
#include <cpl_string.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <cmath>
#include <string>
#include <vector>

inline constexpr double sinusoidal_radius_m = 6371007.181;

// Sinusoidal x of a longitude at a latitude (degrees), m.
inline double sinusoidal_x(double lon, double lat) {
    const double r = M_PI / 180.0;
    return sinusoidal_radius_m * lon * r * std::cos(lat * r);
}

// A Byte GeoTIFF of constant value from x_west to x_east and lat_south to lat_north
// (pixels of `pixel` m), with SHORTNAME metadata. status 3 on failure.
inline void write_sinusoidal_tile(const std::string& file, double x_west, double x_east,
                                  double lat_south, double lat_north, double pixel,
                                  const std::string& product, int& status) {
    GDALAllRegister();
    status = 3;
    const double r = M_PI / 180.0;
    const double y_north = sinusoidal_radius_m * lat_north * r,
                 y_south = sinusoidal_radius_m * lat_south * r;
    const int nx = static_cast<int>(std::ceil((x_east - x_west) / pixel)),
              ny = static_cast<int>(std::ceil((y_north - y_south) / pixel));
    GDALDatasetH ds =
        GDALCreate(GDALGetDriverByName("GTiff"), file.c_str(), nx, ny, 1, GDT_Byte, nullptr);
    if (ds == nullptr) return;
    double gt[6] = {x_west, pixel, 0.0, y_north, 0.0, -pixel};
    GDALSetGeoTransform(ds, gt);
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    char* wkt = nullptr;
    const std::string proj =
        "+proj=sinu +lon_0=0 +x_0=0 +y_0=0 +R=" + std::to_string(sinusoidal_radius_m) +
        " +units=m +no_defs";
    if (OSRSetFromUserInput(srs, proj.c_str()) == OGRERR_NONE &&
        OSRExportToWkt(srs, &wkt) == OGRERR_NONE)
        GDALSetProjection(ds, wkt);
    CPLFree(wkt);
    OSRDestroySpatialReference(srs);
    GDALSetMetadataItem(ds, "SHORTNAME", product.c_str(), nullptr);
    GDALRasterBandH band = GDALGetRasterBand(ds, 1);
    GDALSetRasterNoDataValue(band, 255);
    std::vector<unsigned char> v(static_cast<std::size_t>(nx) * ny, 1);
    const CPLErr e = GDALRasterIO(band, GF_Write, 0, 0, nx, ny, v.data(), nx, ny, GDT_Byte, 0, 0);
    GDALClose(ds);
    if (e == CE_None) status = 0;
}
