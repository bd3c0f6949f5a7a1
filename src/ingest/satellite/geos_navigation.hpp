// Navigation of the geostationary fixed grid with PROJ (+proj=geos) and the satellite's
// view zenith angle at a point of the earth.
#pragma once

#include "ingest/satellite/abi_scan.hpp"

// Longitude and latitude (deg) of the centre of pixel (row, col), 0-based from the upper
// left, through PROJ's geostationary projection. Status 3 off the earth's disk.
void geos_pixel_lonlat(const GeosScan& scan, int row, int col, double& lon, double& lat,
                       int& status);

// Zenith angle (deg) of the line from a point on the ellipsoid (lon, lat in deg) to the
// satellite, from the satellite's position above lon_0 at the projection's height; above
// 90 the satellite is below the horizon.
double view_zenith_deg(const GeosProjection& projection, double lon, double lat);
