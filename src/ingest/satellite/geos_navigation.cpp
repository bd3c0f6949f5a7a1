// Navigation of the geostationary fixed grid and the satellite view angle.
#include "ingest/satellite/geos_navigation.hpp"
#include "ornax90/type_kinds.hpp"

#include <ogr_srs_api.h>

#include <algorithm>
#include <cmath>
#include <string>

void geos_pixel_lonlat(const GeosScan& scan, int row, int col, double& lon, double& lat,
                       int& status) {
    status = ornax_status_failure;
    OGRSpatialReferenceH geos = OSRNewSpatialReference(nullptr);
    OGRSpatialReferenceH geo = OSRNewSpatialReference(nullptr);
    OSRSetAxisMappingStrategy(geos, OAMS_TRADITIONAL_GIS_ORDER);
    OSRSetAxisMappingStrategy(geo, OAMS_TRADITIONAL_GIS_ORDER);
    // latitude and longitude on the satellite's own ellipsoid
    const std::string lonlat =
        "+proj=longlat +a=" + std::to_string(scan.projection.semi_major_axis) +
        " +b=" + std::to_string(scan.projection.semi_minor_axis) + " +no_defs";
    OGRCoordinateTransformationH t = nullptr;
    if (OSRImportFromProj4(geos, scan.projection.proj_string().c_str()) == OGRERR_NONE &&
        OSRImportFromProj4(geo, lonlat.c_str()) == OGRERR_NONE)
        t = OCTNewCoordinateTransformation(geos, geo);
    double x = scan.x0 + (col + 0.5) * scan.dx, y = scan.y0 + (row + 0.5) * scan.dy;
    if (t != nullptr && OCTTransform(t, 1, &x, &y, nullptr) && std::isfinite(x) &&
        std::isfinite(y)) {
        lon = x, lat = y;
        status = 0;
    }
    if (t != nullptr) OCTDestroyCoordinateTransformation(t);
    OSRDestroySpatialReference(geos);
    OSRDestroySpatialReference(geo);
}

double view_zenith_deg(const GeosProjection& p, double lon, double lat) {
    const double d2r = M_PI / 180.0;
    const double a = p.semi_major_axis, b = p.semi_minor_axis;
    const double e2 = 1.0 - (b * b) / (a * a);
    const double phi = lat * d2r, lam = lon * d2r, lam0 = p.lon_0 * d2r;
    // earth-centred position of the point on the ellipsoid and of the satellite (m)
    const double n = a / std::sqrt(1.0 - e2 * std::sin(phi) * std::sin(phi));
    const double px = n * std::cos(phi) * std::cos(lam), py = n * std::cos(phi) * std::sin(lam),
                 pz = n * (1.0 - e2) * std::sin(phi);
    const double r = a + p.perspective_point_height;
    const double vx = r * std::cos(lam0) - px, vy = r * std::sin(lam0) - py, vz = -pz;
    // local vertical (ellipsoid normal)
    const double ux = std::cos(phi) * std::cos(lam), uy = std::cos(phi) * std::sin(lam),
                 uz = std::sin(phi);
    const double cosz = (vx * ux + vy * uy + vz * uz) / std::sqrt(vx * vx + vy * vy + vz * vz);
    return std::acos(std::clamp(cosz, -1.0, 1.0)) / d2r;
}
